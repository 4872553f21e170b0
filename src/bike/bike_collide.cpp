// Body collisions between spheres: the contact rule and its three modes, tires and part shapes
// against object shapes and against other bikes, and what a touch does to the riders.
#include "bike/bike_collide.h"

#include <cmath>
#include <cstring>

int bike_knocks;

namespace {

const double FORCE_LIMIT = 1000;  // lbf, penalty forces
const double DEPTH_SPRING = 2500; // k x e above this reduces k to 2500 / e
const double TIRE_FRICTION = 1, TIRE_SPRING = 25000, TIRE_DAMPING = 2500;
const double CRASH_SPEED = 20; // ft/s, rider against an object

double dot3(const double *a, const double *b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double dot3_f(const float *a) {
    return (double)a[0] * a[0] + (double)a[1] * a[1] + (double)a[2] * a[2];
}

void point_velocity(dBodyID body, const double *p, double *v) {
    if (!body) {
        v[0] = v[1] = v[2] = 0;
        return;
    }
    dVector3 out;
    dBodyGetPointVel(body, p[0], p[1], p[2], out);
    v[0] = out[0], v[1] = out[1], v[2] = out[2];
}

void place(const bike_placed_shape *s, const bike_sphere *sp, bike_world_sphere *out) {
    const double *r = s->rot;
    for (int k = 0; k < 3; k++)
        out->pos[k] = r[k * 3] * sp->centre[0] + r[k * 3 + 1] * sp->centre[1] +
                      r[k * 3 + 2] * sp->centre[2] + s->pos[k];
    out->radius = sp->radius;
    out->friction = sp->friction;
    out->spring = sp->spring;
    out->damping = sp->damping;
    out->body = s->body;
}

int far_apart(const double *a, const double *b, double reach) {
    double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    return dot3(d, d) > reach * reach;
}

const int part_bodies[BIKE_BODIES] = {BIKE_FRAME,      BIKE_FRONT_WHEEL, BIKE_REAR_WHEEL,
                                      BIKE_FORK_UPPER, BIKE_FORK_LOWER,  BIKE_SWINGARM,
                                      BIKE_RIDER};
const int part_bits[BIKE_BODIES] = {BIKE_PART_FRAME,      BIKE_PART_FRONT_TIRE, BIKE_PART_REAR_TIRE,
                                    BIKE_PART_FORK_UPPER, BIKE_PART_FORK_LOWER, BIKE_PART_SWINGARM,
                                    BIKE_PART_RIDER};

} // namespace

void bike_contact_softness(double k, double c, double h, double *cfm, double *erp) {
    double den = c + h * k;
    if (!(den > 1e-3)) den = 1e-3;
    *cfm = 1.0 / den;
    *erp = h * k * *cfm;
    if (!(*erp >= 0)) *erp = 0;
    if (*erp > 1) *erp = 1;
}

int bike_sphere_contact(const bike_world_sphere *a, const bike_world_sphere *b, int mode,
                        bike_contact_result *out) {
    double dv[3] = {b->pos[0] - a->pos[0], b->pos[1] - a->pos[1], b->pos[2] - a->pos[2]};
    double d2 = dot3(dv, dv);
    double reach = a->radius + b->radius;
    if (!(d2 < reach * reach)) return 0; // also refuses non-finite positions
    if (!a->body && !b->body) return 1;
    double rmin = a->radius < b->radius ? a->radius : b->radius;
    // Coinciding centres: touching, but no direction to push along.
    if (d2 < 1.0 / 256 && (d2 < rmin * rmin / 256 || d2 < 1e-18)) {
        if (out) memset(out, 0, sizeof *out);
        return 1;
    }
    double d = sqrt(d2);
    bike_contact_result c;
    c.depth = reach - d;
    for (int k = 0; k < 3; k++) {
        c.normal[k] = dv[k] / d;
        c.point[k] = a->pos[k] + c.normal[k] * (a->radius - c.depth / 2);
    }
    c.friction = a->friction < b->friction ? a->friction : b->friction;
    c.spring = a->spring < b->spring ? a->spring : b->spring;
    if (c.spring * c.depth > DEPTH_SPRING) c.spring = DEPTH_SPRING / c.depth;
    c.damping = a->damping < b->damping ? a->damping : b->damping;
    if (out) *out = c;
    if (mode == BIKE_CONTACT_JOINT && bike_world.world && bike_world.contacts) {
        dContact ct;
        memset(&ct, 0, sizeof ct);
        ct.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
        ct.surface.mu = c.friction;
        bike_contact_softness(c.spring, c.damping, bike_tic, &ct.surface.soft_cfm,
                              &ct.surface.soft_erp);
        for (int k = 0; k < 3; k++) {
            ct.geom.pos[k] = c.point[k];
            ct.geom.normal[k] = c.normal[k];
        }
        ct.geom.depth = c.depth;
        dJointID j = dJointCreateContact(bike_world.world, bike_world.contacts, &ct);
        dJointAttach(j, b->body, a->body);
    } else if (mode == BIKE_CONTACT_FORCE) {
        double va[3], vb[3];
        point_velocity(a->body, c.point, va);
        point_velocity(b->body, c.point, vb);
        double f = c.spring * c.depth + c.damping * (dot3(va, c.normal) - dot3(vb, c.normal));
        if (!std::isfinite(f)) return 1;
        if (f > FORCE_LIMIT) f = FORCE_LIMIT;
        if (f < -FORCE_LIMIT) f = -FORCE_LIMIT;
        if (b->body && dBodyIsEnabled(b->body))
            dBodyAddForceAtPos(b->body, f * c.normal[0], f * c.normal[1], f * c.normal[2],
                               c.point[0], c.point[1], c.point[2]);
        if (a->body && dBodyIsEnabled(a->body))
            dBodyAddForceAtPos(a->body, -f * c.normal[0], -f * c.normal[1], -f * c.normal[2],
                               c.point[0], c.point[1], c.point[2]);
    }
    return 1;
}

bike_placed_shape bike_shape_on_body(const bike_shape *shape, dBodyID body) {
    bike_placed_shape s;
    s.shape = shape;
    s.body = body;
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body); // 3 x 4, row-major
    for (int k = 0; k < 3; k++) {
        s.pos[k] = p[k];
        for (int j = 0; j < 3; j++)
            s.rot[k * 3 + j] = r[k * 4 + j];
    }
    return s;
}

int bike_tire_shape(bike_tire *t, const bike_placed_shape *s, int mode) {
    if (!t->wheel || !s->shape || s->shape->count <= 0) return 0;
    const dReal *cp = dBodyGetPosition(t->wheel);
    double c[3] = {cp[0], cp[1], cp[2]};
    if (far_apart(c, s->pos, t->R + t->r + s->shape->bound)) return 0;
    dVector3 ax;
    dBodyVectorToWorld(t->wheel, t->axle_local[0], t->axle_local[1], t->axle_local[2], ax);
    double axle[3] = {ax[0], ax[1], ax[2]};
    int touching = 0;
    bike_contact_result deepest = {};
    for (int i = 0; i < s->shape->count; i++) {
        bike_world_sphere sp;
        place(s, &s->shape->spheres[i], &sp);
        double v[3] = {sp.pos[0] - c[0], sp.pos[1] - c[1], sp.pos[2] - c[2]};
        double along = dot3(v, axle);
        for (int k = 0; k < 3; k++)
            v[k] -= along * axle[k];
        double len = sqrt(dot3(v, v));
        if (!(len > 1e-9)) {
            // On the axle: any direction in the wheel plane serves; the wheel's own up first.
            dVector3 up;
            dBodyVectorToWorld(t->wheel, 0, 1, 0, up);
            v[0] = up[0], v[1] = up[1], v[2] = up[2];
            along = dot3(v, axle);
            for (int k = 0; k < 3; k++)
                v[k] -= along * axle[k];
            len = sqrt(dot3(v, v));
            if (!(len > 1e-9)) continue;
        }
        bike_world_sphere tire;
        for (int k = 0; k < 3; k++)
            tire.pos[k] = c[k] + v[k] / len * t->R;
        tire.radius = t->r;
        tire.friction = TIRE_FRICTION;
        tire.spring = TIRE_SPRING;
        tire.damping = TIRE_DAMPING;
        tire.body = t->wheel;
        bike_contact_result r;
        if (!bike_sphere_contact(&sp, &tire, mode, &r)) continue;
        touching = 1;
        if (r.depth > deepest.depth) deepest = r;
    }
    // A tire off the ground carries this contact as its own, so the tire's contact data (roost,
    // sound, readouts) see what it touches.
    if (deepest.depth > 0 && !(t->depth > 0)) {
        for (int k = 0; k < 3; k++) {
            t->pos[k] = deepest.point[k];
            t->normal[k] = deepest.normal[k];
        }
        point_velocity(t->wheel, t->pos, t->vel);
        t->depth = deepest.depth;
    }
    return touching;
}

int bike_shape_shape(const bike_placed_shape *a, const bike_placed_shape *b, int mode) {
    if (!a->shape || !b->shape || a->shape->count <= 0 || b->shape->count <= 0) return 0;
    if (far_apart(a->pos, b->pos, a->shape->bound + b->shape->bound)) return 0;
    // b's spheres are placed when the first of a's comes within reach of b's bound: parts whose
    // bounds overlap while no sphere of one reaches the other are common, and cheap that way.
    bike_world_sphere sb[BIKE_SHAPE_MAX_SPHERES];
    bool placed = false;
    int touching = 0;
    for (int i = 0; i < a->shape->count; i++) {
        bike_world_sphere sa;
        place(a, &a->shape->spheres[i], &sa);
        if (far_apart(sa.pos, b->pos, sa.radius + b->shape->bound)) continue;
        if (!placed) {
            for (int j = 0; j < b->shape->count; j++)
                place(b, &b->shape->spheres[j], &sb[j]);
            placed = true;
        }
        for (int j = 0; j < b->shape->count; j++)
            if (bike_sphere_contact(&sa, &sb[j], mode, nullptr)) touching = 1;
    }
    return touching;
}

namespace {

// A wheel's spokes against another bike's part. The tire test sees only the ring, so a part
// could pass between ring and hub and thread a handlebar through the wheel, hooking the two
// bikes together; the wheel's spheres inside the ring (its hub) meet the part as spheres.
int wheel_spokes_shape(const bike_placed_shape *wheel, const bike_tire *t,
                       const bike_placed_shape *s, int mode) {
    if (!wheel->shape || !s->shape || s->shape->count <= 0) return 0;
    if (far_apart(wheel->pos, s->pos, t->R + s->shape->bound)) return 0;
    bike_sphere spokes[BIKE_SHAPE_MAX_SPHERES];
    bike_shape hub = {0, 0, spokes, nullptr};
    for (int i = 0; i < wheel->shape->count; i++) {
        const bike_sphere *sp = &wheel->shape->spheres[i];
        double reach = sqrt(dot3_f(sp->centre)) + sp->radius;
        if (!(reach < t->R)) continue;
        spokes[hub.count++] = *sp;
        if (reach > hub.bound) hub.bound = (float)reach;
    }
    if (!hub.count) return 0;
    bike_placed_shape h = *wheel;
    h.shape = &hub;
    return bike_shape_shape(&h, s, mode);
}

} // namespace

// How far any part's spheres reach from the frame's centre this tic.
double bike_reach(const bike_record *b) {
    const dReal *f = dBodyGetPosition(b->body[BIKE_FRAME]);
    double reach = 0;
    for (int i = 0; i < BIKE_BODIES; i++) {
        if (!b->shape[i]) continue;
        const dReal *p = dBodyGetPosition(b->body[i]);
        double d[3] = {p[0] - f[0], p[1] - f[1], p[2] - f[2]};
        double r = sqrt(dot3(d, d)) + b->shape[i]->bound;
        if (r > reach) reach = r;
    }
    return reach;
}

double bike_frame_speed(const bike_record *b) {
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

int bike_against_object(bike_record *b, bike_object *o, int tic) {
    if (!b->present || !o->shape || o->shape->count <= 0) return 0;
    bike_placed_shape os;
    os.shape = o->shape;
    memcpy(os.pos, o->pos, sizeof os.pos);
    memcpy(os.rot, o->rot, sizeof os.rot);
    os.body = o->body;
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
    double f[3] = {fp[0], fp[1], fp[2]};
    // The whole bike fits in 8 ft of its frame.
    if (far_apart(f, o->pos, 8 + o->shape->bound)) return 0;
    int bits = 0;
    if (bike_tire_shape(&b->tire[0], &os, BIKE_CONTACT_JOINT)) bits |= BIKE_PART_FRONT_TIRE;
    if (bike_tire_shape(&b->tire[1], &os, BIKE_CONTACT_JOINT)) bits |= BIKE_PART_REAR_TIRE;
    static const int parts[5] = {0, 3, 4, 5, 6};
    for (int i : parts) {
        int body = part_bodies[i];
        if (!b->shape[body]) continue;
        bike_placed_shape ps = bike_shape_on_body(b->shape[body], b->body[body]);
        if (bike_shape_shape(&ps, &os, BIKE_CONTACT_JOINT)) bits |= part_bits[i];
    }
    if (!bits) return 0;
    o->touch_tic = tic;
    if ((bits & BIKE_PART_RIDER) && !bike_crashed(b)) {
        const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
        const dReal *rv = dBodyGetLinearVel(b->body[BIKE_RIDER]);
        double p[3] = {rp[0], rp[1], rp[2]}, ov[3];
        point_velocity(o->body, p, ov);
        double rel[3] = {rv[0] - ov[0], rv[1] - ov[1], rv[2] - ov[2]};
        if (dot3(rel, rel) > CRASH_SPEED * CRASH_SPEED) bike_crash(b);
    }
    return bits;
}

int bike_against_bike(bike_record *a, bike_record *b, int mode, int tic) {
    if (!a->present || !b->present || a == b) return 0;
    const dReal *pa = dBodyGetPosition(a->body[BIKE_FRAME]);
    const dReal *pb = dBodyGetPosition(b->body[BIKE_FRAME]);
    double fa[3] = {pa[0], pa[1], pa[2]}, fb[3] = {pb[0], pb[1], pb[2]};
    // Most pairs are far apart: the frames farther than two whole bikes.
    if (far_apart(fa, fb, 16)) return 0;
    if (far_apart(fa, fb, bike_reach(a) + bike_reach(b))) return 0;
    bike_placed_shape sa[BIKE_BODIES], sb[BIKE_BODIES];
    for (int i = 0; i < BIKE_BODIES; i++) {
        int body = part_bodies[i];
        sa[i] = bike_shape_on_body(a->shape[body], a->body[body]);
        sb[i] = bike_shape_on_body(b->shape[body], b->body[body]);
    }
    int bits_a = 0, bits_b = 0;
    for (int i = 0; i < BIKE_BODIES; i++)
        for (int j = 0; j < BIKE_BODIES; j++) {
            int touch;
            // A wheel meets the other bike as a tire and spokes where the other side is not a
            // wheel (both tests run: each makes its own contacts).
            if (i == 1 || i == 2)
                touch = j == 1 || j == 2
                            ? bike_shape_shape(&sa[i], &sb[j], mode)
                            : bike_tire_shape(&a->tire[i - 1], &sb[j], mode) |
                                  wheel_spokes_shape(&sa[i], &a->tire[i - 1], &sb[j], mode);
            else if (j == 1 || j == 2)
                touch = bike_tire_shape(&b->tire[j - 1], &sa[i], mode) |
                        wheel_spokes_shape(&sb[j], &b->tire[j - 1], &sa[i], mode);
            else
                touch = bike_shape_shape(&sa[i], &sb[j], mode);
            if (touch) {
                bits_a |= part_bits[i];
                bits_b |= part_bits[j];
            }
        }
    if (!bits_a) return 0;
    const int front = BIKE_PART_FRONT_TIRE | BIKE_PART_FORK_LOWER;
    double va = bike_frame_speed(a), vb = bike_frame_speed(b);
    auto knock = [](bike_record *r, int level) {
        if (r->knock < level) {
            r->knock = level;
            r->knock_count++;
            bike_knocks++;
        }
    };
    if ((bits_a & front) && (bits_b & front)) {
        if (va >= 10) knock(a, 64);
        if (vb >= 10) knock(b, 64);
    } else if ((bits_a & front) && va >= 5 && vb >= 10) {
        knock(b, 128);
    } else if ((bits_b & front) && vb >= 5 && va >= 10) {
        knock(a, 128);
    }
    a->bike_contact_tic = tic;
    b->bike_contact_tic = tic;
    return bits_a | bits_b << 8;
}
