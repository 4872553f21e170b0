// Bike parts against the ground: spheres against the height-field triangles, the terrain
// contact test that runs the tires and the part shapes, and the pre-step.
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "track/track_terrain.h"

namespace {

// Cells a sphere may span per axis; a sphere this large is not a bike part.
const int max_cells = 64;

double dot3(const double *a, const double *b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double corner_height(int i, int k) {
    int n = terrain.size - 1;
    int ci = i < 0 ? 0 : (i > n ? n : i);
    int ck = k < 0 ? 0 : (k > n ? n : k);
    return terrain.heights[ci + ck * terrain.size];
}

// Closest point of triangle abc to p.
void closest_on_triangle(const double *p, const double *a, const double *b, const double *c,
                         double *out) {
    double ab[3], ac[3], ap[3];
    for (int k = 0; k < 3; k++) {
        ab[k] = b[k] - a[k];
        ac[k] = c[k] - a[k];
        ap[k] = p[k] - a[k];
    }
    double d1 = dot3(ab, ap), d2 = dot3(ac, ap);
    if (d1 <= 0 && d2 <= 0) {
        memcpy(out, a, 3 * sizeof(double));
        return;
    }
    double bp[3];
    for (int k = 0; k < 3; k++)
        bp[k] = p[k] - b[k];
    double d3 = dot3(ab, bp), d4 = dot3(ac, bp);
    if (d3 >= 0 && d4 <= d3) {
        memcpy(out, b, 3 * sizeof(double));
        return;
    }
    double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) {
        double v = d1 / (d1 - d3);
        for (int k = 0; k < 3; k++)
            out[k] = a[k] + v * ab[k];
        return;
    }
    double cp[3];
    for (int k = 0; k < 3; k++)
        cp[k] = p[k] - c[k];
    double d5 = dot3(ab, cp), d6 = dot3(ac, cp);
    if (d6 >= 0 && d5 <= d6) {
        memcpy(out, c, 3 * sizeof(double));
        return;
    }
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) {
        double w = d2 / (d2 - d6);
        for (int k = 0; k < 3; k++)
            out[k] = a[k] + w * ac[k];
        return;
    }
    double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
        double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        for (int k = 0; k < 3; k++)
            out[k] = b[k] + w * (c[k] - b[k]);
        return;
    }
    double den = 1 / (va + vb + vc);
    double v = vb * den, w = vc * den;
    for (int k = 0; k < 3; k++)
        out[k] = a[k] + ab[k] * v + ac[k] * w;
}

struct sphere_hit {
    double depth;
    double point[3], normal[3];
};

void triangle_test(const double *c, double r, const double *a, const double *b, const double *d,
                   sphere_hit *best) {
    double e1[3], e2[3], n[3];
    for (int k = 0; k < 3; k++) {
        e1[k] = b[k] - a[k];
        e2[k] = d[k] - a[k];
    }
    n[0] = e1[1] * e2[2] - e1[2] * e2[1];
    n[1] = e1[2] * e2[0] - e1[0] * e2[2];
    n[2] = e1[0] * e2[1] - e1[1] * e2[0];
    double len = sqrt(dot3(n, n));
    if (len < 1e-12) return;
    if (n[1] < 0) len = -len; // outward = upward side of the height field
    for (int k = 0; k < 3; k++)
        n[k] /= len;
    double ca[3];
    for (int k = 0; k < 3; k++)
        ca[k] = c[k] - a[k];
    double sd = dot3(ca, n);
    if (sd > r) return;
    double q[3];
    closest_on_triangle(c, a, b, d, q);
    double v[3];
    for (int k = 0; k < 3; k++)
        v[k] = c[k] - q[k];
    double dist = sqrt(dot3(v, v));
    double depth, normal[3];
    if (sd >= 0) {
        depth = r - dist;
        if (dist > 1e-9)
            for (int k = 0; k < 3; k++)
                normal[k] = v[k] / dist;
        else
            memcpy(normal, n, sizeof normal);
    } else {
        // Centre below the plane: only the triangle right under it answers, with the plane.
        if (fabs(dist + sd) > 1e-6) return;
        depth = r - sd;
        memcpy(normal, n, sizeof normal);
    }
    if (depth <= 0 || depth <= best->depth) return;
    best->depth = depth;
    memcpy(best->point, q, sizeof best->point);
    memcpy(best->normal, normal, sizeof best->normal);
}

void soft_contact(dContact *c, double spring, double damping) {
    memset(c, 0, sizeof *c);
    c->surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
    double cfm = 1.0 / (damping + bike_tic * spring);
    c->surface.soft_cfm = cfm;
    c->surface.soft_erp = bike_tic * spring * cfm;
}

} // namespace

int bike_sphere_terrain(const double centre[3], double radius, double point[3], double normal[3],
                        double *depth) {
    *depth = 0;
    if (!terrain_present() || !(radius > 0)) return 0;
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(centre[k])) return 0;
    double s = terrain.spacing;
    // Beyond the grid the ground repeats its edge along that axis, so a far sphere is tested
    // at a stand-in position just outside the edge and the result moved back.
    double c[3] = {centre[0], centre[1], centre[2]};
    double lo = -2 * s - radius, hi = terrain.extent + 2 * s + radius;
    double shift[2] = {0, 0};
    for (int a = 0; a < 2; a++) {
        double &v = c[a * 2];
        double clamped = v < lo ? lo : (v > hi ? hi : v);
        shift[a] = v - clamped;
        v = clamped;
    }
    double fi0 = floor((c[0] - radius) / s), fi1 = floor((c[0] + radius) / s);
    double fk0 = floor((c[2] - radius) / s), fk1 = floor((c[2] + radius) / s);
    if (fi1 - fi0 >= max_cells) fi1 = fi0 + max_cells - 1;
    if (fk1 - fk0 >= max_cells) fk1 = fk0 + max_cells - 1;
    sphere_hit best = {};
    for (int k = (int)fk0; k <= (int)fk1; k++) {
        for (int i = (int)fi0; i <= (int)fi1; i++) {
            double h00 = corner_height(i, k), h10 = corner_height(i + 1, k);
            double h01 = corner_height(i, k + 1), h11 = corner_height(i + 1, k + 1);
            // A cell wholly below the sphere cannot touch it (nor have its plane above the centre).
            double top = h00 > h10 ? h00 : h10;
            top = h01 > top ? h01 : top;
            top = h11 > top ? h11 : top;
            if (c[1] - radius > top) continue;
            double p00[3] = {i * s, h00, k * s};
            double p10[3] = {(i + 1) * s, h10, k * s};
            double p01[3] = {i * s, h01, (k + 1) * s};
            double p11[3] = {(i + 1) * s, h11, (k + 1) * s};
            if (((i + k) & 1) == 0) {
                triangle_test(c, radius, p00, p10, p11, &best);
                triangle_test(c, radius, p00, p11, p01, &best);
            } else {
                triangle_test(c, radius, p00, p10, p01, &best);
                triangle_test(c, radius, p10, p11, p01, &best);
            }
        }
    }
    if (best.depth <= 0) return 0;
    *depth = best.depth;
    memcpy(point, best.point, sizeof best.point);
    point[0] += shift[0];
    point[2] += shift[1];
    memcpy(normal, best.normal, sizeof best.normal);
    return 1;
}

int bike_ground_within(const double centre[3], double radius) {
    if (!terrain_present() || !(radius > 0)) return 0;
    // A centre over the ground is above the plane of the triangle straight below it, and no
    // farther from it than from its point below: nearer than the radius (less a margin for the
    // height's float), the sphere reaches the ground. A wide sphere (the dab's reach) covers a
    // hundred cells or more, and this is nearly always its answer.
    double x = centre[0], z = centre[2];
    if (x >= 0 && z >= 0 && x < terrain.extent && z < terrain.extent) {
        double above = centre[1] - terrain_height((float)x, (float)z);
        if (above >= 1.0 / 64 && above < radius - 1.0 / 64) return 1;
    }
    double point[3], normal[3], depth;
    return bike_sphere_terrain(centre, radius, point, normal, &depth);
}

namespace {

// Whether the ground under the box x0..x1, z0..z1 (inside the grid) stays below y: then no
// sphere within the box and above y can touch it. False when the box is not worth the walk.
bool ground_below(double x0, double x1, double z0, double z1, double y) {
    double s = terrain.spacing;
    if (!(x0 >= 0 && z0 >= 0 && x1 < terrain.extent && z1 < terrain.extent)) return false;
    int i0 = (int)floor(x0 / s), i1 = (int)floor(x1 / s) + 1;
    int k0 = (int)floor(z0 / s), k1 = (int)floor(z1 / s) + 1;
    if (i1 - i0 > 24 || k1 - k0 > 24) return false;
    for (int k = k0; k <= k1; k++)
        for (int i = i0; i <= i1; i++)
            if (!(corner_height(i, k) < y)) return false;
    return true;
}

} // namespace

int bike_shape_terrain(const bike_shape *shape, dBodyID body, dJointGroupID group) {
    if (!shape || !body || shape->count <= 0) return 0;
    // The spheres in the world, and the box they fill: a shape held clear of the ground (most
    // parts of a riding bike) is done with one walk over the heights under it.
    int count = shape->count < BIKE_SHAPE_MAX_SPHERES ? shape->count : BIKE_SHAPE_MAX_SPHERES;
    double centre[BIKE_SHAPE_MAX_SPHERES][3];
    double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
    for (int i = 0; i < count; i++) {
        const bike_sphere *sp = &shape->spheres[i];
        dVector3 w;
        dBodyGetRelPointPos(body, sp->centre[0], sp->centre[1], sp->centre[2], w);
        for (int k = 0; k < 3; k++) {
            centre[i][k] = w[k];
            if (w[k] - sp->radius < lo[k]) lo[k] = w[k] - sp->radius;
            if (w[k] + sp->radius > hi[k]) hi[k] = w[k] + sp->radius;
        }
    }
    if (terrain_present() && ground_below(lo[0], hi[0], lo[2], hi[2], lo[1])) return 0;
    int touching = 0;
    for (int i = 0; i < count; i++) {
        const bike_sphere *sp = &shape->spheres[i];
        double point[3], normal[3], depth;
        if (!bike_sphere_terrain(centre[i], sp->radius, point, normal, &depth)) continue;
        touching = 1;
        if (!group) continue;
        dContact ct;
        soft_contact(&ct, 2500, 250);
        ct.surface.mu = sp->friction;
        for (int k = 0; k < 3; k++) {
            ct.geom.pos[k] = point[k];
            ct.geom.normal[k] = normal[k];
        }
        ct.geom.depth = depth;
        dJointID j = dJointCreateContact(bike_world.world, group, &ct);
        dJointAttach(j, body, 0);
    }
    return touching;
}

int bike_terrain_contact(bike_record *b, float friction_factor, dJointGroupID group) {
    int bits = 0;
    if (bike_tire_contact(&b->tire[0], bike_world.world, group, friction_factor, bike_tic))
        bits |= BIKE_PART_FRONT_TIRE;
    if (bike_tire_contact(&b->tire[1], bike_world.world, group, friction_factor, bike_tic))
        bits |= BIKE_PART_REAR_TIRE;
    static const int parts[5] = {BIKE_FRAME, BIKE_FORK_UPPER, BIKE_FORK_LOWER, BIKE_SWINGARM,
                                 BIKE_RIDER};
    static const int part_bits[5] = {BIKE_PART_FRAME, BIKE_PART_FORK_UPPER, BIKE_PART_FORK_LOWER,
                                     BIKE_PART_SWINGARM, BIKE_PART_RIDER};
    for (int i = 0; i < 5; i++)
        if (bike_shape_terrain(b->shape[parts[i]], b->body[parts[i]], group)) bits |= part_bits[i];
    if (group) {
        // Trouble: a part other than the frame and the tires on the ground.
        if (bits &
            (BIKE_PART_FORK_UPPER | BIKE_PART_FORK_LOWER | BIKE_PART_SWINGARM | BIKE_PART_RIDER))
            b->trouble = 1;
        // A rider on his head on the ground, moving, comes off.
        if ((bits & BIKE_PART_RIDER) && !bike_crashed(b)) {
            dVector3 up;
            dBodyVectorToWorld(b->body[BIKE_RIDER], 0, 1, 0, up);
            const dReal *v = dBodyGetLinearVel(b->body[BIKE_RIDER]);
            double speed2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
            if (up[1] < 0 && speed2 > 25) bike_crash(b);
        }
        b->touched_parts = bits;
    }
    return bits;
}

void bike_prestep(bike_record *b) {
    if (!b->present || b->activity <= 0.25f) return;
    float factor = 1;
    if (b->applied.arcade) factor = (float)bike_tire_arcade_factor(bike_roll(b->body[BIKE_FRAME]));
    bike_terrain_contact(b, factor, bike_world.contacts);
}
