#include "bike/bike_tire.h"

#include "track/track_terrain.h"
#include "track/track_tiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct v3 {
    double x, y, z;
};
inline v3 operator+(v3 a, v3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline v3 operator-(v3 a, v3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline v3 operator*(v3 a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}
inline double dot(v3 a, v3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline v3 cross(v3 a, v3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double len(v3 a) {
    return std::sqrt(dot(a, a));
}
inline v3 from(const double *p) {
    return {p[0], p[1], p[2]};
}
inline void store(v3 a, double *p) {
    p[0] = a.x, p[1] = a.y, p[2] = a.z;
}

const double TIRE_PI = 3.14159265358979323846;

// Plain comparisons: heights and depths are finite, and the library's fmin and fmax are calls.
inline double min2(double a, double b) {
    return a < b ? a : b;
}
inline double max2(double a, double b) {
    return a > b ? a : b;
}

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// A unit vector perpendicular to a (any one).
v3 perpendicular(v3 a) {
    v3 p = std::fabs(a.x) < 0.9 ? cross(a, v3{1, 0, 0}) : cross(a, v3{0, 1, 0});
    return p * (1.0 / len(p));
}

struct ring {
    v3 c, a;
    double R;
};

// Nearest point of the ring circle to x; returns the distance.
double ring_nearest(const ring &g, v3 x, v3 *nearest) {
    v3 w = x - g.c;
    v3 wp = w - g.a * dot(w, g.a);
    double rho = len(wp);
    v3 u = rho > 1e-12 ? wp * (1.0 / rho) : perpendicular(g.a);
    *nearest = g.c + u * g.R;
    return len(x - *nearest);
}

// Nearest and farthest distance from the ring's centre to the segment p..q.
void segment_span(v3 c, v3 p, v3 q, double *near, double *far) {
    v3 d = q - p;
    double dd = dot(d, d);
    double t = dd > 0 ? clampd(dot(c - p, d) / dd, 0.0, 1.0) : 0.0;
    *near = len(p + d * t - c);
    double a = len(p - c), b = len(q - c);
    *far = a > b ? a : b;
}

// Closest approach between the ring and the segment p..q: sampled, then refined around the best
// sample. The distance along a segment is smooth, and a wheel-sized ring against cell-sized edges
// has at most a couple of local minima, which the sampling separates. The refinement is Newton's
// on the squared distance g(t) = |w|^2 - 2 R rho + R^2 (w from the centre, rho its distance from
// the axle), which converges in a few steps where g is convex; golden section where it is not.
double ring_segment(const ring &g, v3 p, v3 q, v3 *on_segment, v3 *on_ring) {
    const int N = 16;
    v3 d = q - p;
    // The samples compare g(t): with w = p + d t - c, |w|^2 and its part off the axle are
    // quadratics in t, so each sample costs one square root.
    v3 w0 = p - g.c;
    double wa = dot(w0, g.a), da = dot(d, g.a);
    double ww = dot(w0, w0), wd = dot(w0, d), dd0 = dot(d, d);
    double best_g = 1e300, best_t = 0.0;
    for (int i = 0; i <= N; i++) {
        double t = (double)i / N;
        double w2 = ww + t * (2.0 * wd + t * dd0), along = wa + t * da;
        double rho2 = w2 - along * along;
        double gt = w2 - 2.0 * g.R * std::sqrt(rho2 > 0.0 ? rho2 : 0.0);
        if (gt < best_g) best_g = gt, best_t = t;
    }
    v3 best_n;
    double best = ring_nearest(g, p + d * best_t, &best_n);
    double lo = clampd(best_t - 1.0 / N, 0.0, 1.0), hi = clampd(best_t + 1.0 / N, 0.0, 1.0);
    v3 dp = d - g.a * dot(d, g.a);
    double dd = dot(d, d), dpp = dot(dp, dp);
    double t = best_t;
    bool newton = true;
    for (int it = 0; it < 12; it++) {
        v3 w = p + d * t - g.c;
        v3 u = w - g.a * dot(w, g.a);
        double rho = len(u);
        if (!(rho > 1e-9)) {
            newton = false;
            break;
        }
        double ud = dot(u, d);
        double g1 = 2.0 * dot(w, d) - 2.0 * g.R * ud / rho;
        double g2 = 2.0 * dd - 2.0 * g.R * (dpp / rho - ud * ud / (rho * rho * rho));
        if (!(g2 > 0.0)) {
            newton = false;
            break;
        }
        double next = clampd(t - g1 / g2, lo, hi);
        double step = next - t;
        t = next;
        if (std::fabs(step) < 1e-13) break;
    }
    if (!newton) {
        const double gr = 0.6180339887498949;
        double t1 = hi - gr * (hi - lo), t2 = lo + gr * (hi - lo);
        v3 n;
        double f1 = ring_nearest(g, p + d * t1, &n), f2 = ring_nearest(g, p + d * t2, &n);
        for (int it = 0; it < 28; it++) {
            if (f1 < f2) {
                hi = t2, t2 = t1, f2 = f1;
                t1 = hi - gr * (hi - lo);
                f1 = ring_nearest(g, p + d * t1, &n);
            } else {
                lo = t1, t1 = t2, f1 = f2;
                t2 = lo + gr * (hi - lo);
                f2 = ring_nearest(g, p + d * t2, &n);
            }
        }
        t = 0.5 * (lo + hi);
    }
    v3 n;
    double dist = ring_nearest(g, p + d * t, &n);
    if (dist > best) t = best_t, dist = ring_nearest(g, p + d * t, &n);
    *on_segment = p + d * t;
    *on_ring = n;
    return dist;
}

// Whether x's x-z projection lies in the triangle's (edges included).
bool inside_xz(v3 x, const v3 *t) {
    double d1 = (t[1].x - t[0].x) * (x.z - t[0].z) - (t[1].z - t[0].z) * (x.x - t[0].x);
    double d2 = (t[2].x - t[1].x) * (x.z - t[1].z) - (t[2].z - t[1].z) * (x.x - t[1].x);
    double d3 = (t[0].x - t[2].x) * (x.z - t[2].z) - (t[0].z - t[2].z) * (x.x - t[2].x);
    const double eps = 1e-9;
    bool neg = d1 < -eps || d2 < -eps || d3 < -eps;
    bool pos = d1 > eps || d2 > eps || d3 > eps;
    return !(neg && pos);
}

float corner_height(int i, int k) {
    int n = terrain.size;
    i = i < 0 ? 0 : (i >= n ? n - 1 : i);
    k = k < 0 ? 0 : (k >= n ? n - 1 : k);
    return terrain.heights[i + k * n];
}

// A triangle's plane as the ring meets it: the unit normal (upward), the ring points P and Q
// nearest to and farthest from the plane side, and their heights above it. Shared by the bound
// pass and the contact test, so both see the same numbers. The ring's points lie at heights
// s +- R sqrt(1 - (n.a)^2) above the plane (s the centre's), so a ring the tube cannot reach
// from there (dP >= r) is told apart without finding P and Q, which it never needs.
struct tri_plane {
    v3 n, P, Q;
    double dP, dQ;
    bool ok;
};

tri_plane plane_of(const ring &g, double r, const v3 *tri) {
    tri_plane pl;
    v3 n = cross(tri[1] - tri[0], tri[2] - tri[0]);
    if (n.y < 0) n = n * -1.0;
    double nl = len(n);
    pl.ok = nl > 1e-12;
    if (!pl.ok) return pl;
    n = n * (1.0 / nl);
    pl.n = n;
    double na = dot(n, g.a);
    double ml = std::sqrt(max2(0.0, 1.0 - na * na)); // |n projected on the wheel plane|
    double sc = dot(g.c - tri[0], n);
    pl.dP = sc - g.R * ml;
    pl.dQ = sc + g.R * ml;
    if (pl.dP >= r) return pl; // out of reach: P and Q are never read
    v3 mp = g.a * na - n;
    v3 dir = ml > 1e-9 ? mp * (1.0 / ml) : perpendicular(g.a);
    pl.P = g.c + dir * g.R;
    pl.Q = g.c - dir * g.R;
    if (!(ml > 1e-9)) pl.dP = pl.dQ = sc; // a ring lying flat on the plane
    return pl;
}

// One triangle against the ring: depth r - d with the contact and normal; false when the ring
// cannot reach it.
bool torus_triangle(const ring &g, double r, const v3 *tri, const tri_plane &pl, int mode,
                    double floor_depth, bike_tire_hit *hit) {
    if (!pl.ok) return false;
    v3 n = pl.n, P = pl.P, Q = pl.Q;
    double dP = pl.dP, dQ = pl.dQ;
    if (dP >= r) return false; // the ring's lowest point is out of the tube's reach
    bool buried_possible = dP <= 0.0 && dQ <= 0.0;
    if (!buried_possible && r - dP <= floor_depth) return false;

    double d;
    v3 contact, normal;
    if (buried_possible && inside_xz(g.c, tri)) {
        // Sunk past the axle: push straight up, as hard as the tire can.
        v3 near;
        ring_nearest(g, P, &near);
        store(near - v3{0, 1, 0} * r, hit->pos);
        hit->normal[0] = 0, hit->normal[1] = 1, hit->normal[2] = 0;
        hit->depth = 2.0 * g.R;
        return hit->depth > floor_depth;
    }
    bool face = false;
    if (dP < 0.0) {
        if (dQ > 0.0) {
            double t = dQ / (dQ - dP);
            face = inside_xz(Q + (P - Q) * t, tri);
        }
    } else {
        face = inside_xz(P - n * dP, tri);
    }
    if (face) {
        d = dP;
        normal = n;
        contact = P - n * dP;
    } else {
        d = 1e300;
        if (mode == BIKE_TIRE_ROOST)
            // An edge through the wheel plane inside the ring counts as a full tube's
            // penetration: the nearest there can be, so no edge needs searching then.
            for (int e = 0; e < 3; e++) {
                v3 a = tri[e], b = tri[(e + 1) % 3];
                double sa = dot(a - g.c, g.a), sb = dot(b - g.c, g.a);
                if ((sa <= 0 && sb >= 0) || (sa >= 0 && sb <= 0)) {
                    double t = sa != sb ? sa / (sa - sb) : 0.0;
                    v3 y = a + (b - a) * t;
                    if (len(y - g.c) < g.R) {
                        d = 0.0;
                        contact = y;
                        normal = n;
                        break;
                    }
                }
            }
        for (int e = 0; e < 3 && d > 0.0; e++) {
            v3 a = tri[e], b = tri[(e + 1) % 3];
            double sa = dot(a - g.c, g.a), sb = dot(b - g.c, g.a);
            // A ring point is at least | |x - c| - R | from any point x: segments entirely
            // beyond the tube's reach need no search.
            double limit = d < r - floor_depth ? d : r - floor_depth;
            // Every ring point lies in the wheel plane: an edge wholly on one side of it, limit
            // or more away, is no nearer than that.
            if ((sa >= limit && sb >= limit) || (sa <= -limit && sb <= -limit)) continue;
            double span_near, span_far;
            segment_span(g.c, a, b, &span_near, &span_far);
            if (span_near - g.R >= limit || g.R - span_far >= limit) continue;
            v3 on_seg, on_ring;
            double dist = ring_segment(g, a, b, &on_seg, &on_ring);
            if (dist < d) {
                d = dist;
                contact = on_seg;
                v3 towards = on_ring - on_seg;
                double tl = len(towards);
                normal = tl > 1e-9 ? towards * (1.0 / tl) : n;
            }
        }
    }
    double depth = r - d;
    if (!(depth > floor_depth) || !(depth > 0.0)) return false;
    v3 near;
    ring_nearest(g, contact, &near);
    store(near - normal * r, hit->pos);
    store(normal, hit->normal);
    hit->depth = depth;
    return true;
}

// The depth torus_triangle finds on the triangle's face (or buried under it), 0 when the
// nearest part is an edge or nothing: a cheap lower bound on the deepest contact.
double face_depth(const ring &g, double r, const v3 *tri, const tri_plane &pl) {
    if (!pl.ok) return 0.0;
    double dP = pl.dP, dQ = pl.dQ;
    if (dP >= r) return 0.0;
    if (dP <= 0.0 && dQ <= 0.0 && inside_xz(g.c, tri)) return 2.0 * g.R;
    bool face = false;
    if (dP < 0.0) {
        if (dQ > 0.0) face = inside_xz(pl.Q + (pl.P - pl.Q) * (dQ / (dQ - dP)), tri);
    } else {
        face = inside_xz(pl.P - pl.n * dP, tri);
    }
    return face && r - dP > 0.0 ? r - dP : 0.0;
}

// The two triangles of cell (i, k) (corner heights given), split along the diagonal the grid
// alternates.
void cell_triangles(int i, int k, double s, double h00, double h10, double h01, double h11,
                    v3 tris[2][3]) {
    v3 p00{i * s, h00, k * s};
    v3 p10{(i + 1) * s, h10, k * s};
    v3 p01{i * s, h01, (k + 1) * s};
    v3 p11{(i + 1) * s, h11, (k + 1) * s};
    if (((i + k) & 1) == 0) {
        tris[0][0] = p00, tris[0][1] = p10, tris[0][2] = p11;
        tris[1][0] = p00, tris[1][1] = p11, tris[1][2] = p01;
    } else {
        tris[0][0] = p00, tris[0][1] = p10, tris[0][2] = p01;
        tris[1][0] = p10, tris[1][1] = p11, tris[1][2] = p01;
    }
}

} // namespace

int bike_tire_collide(const double centre[3], const double axle[3], double R, double r, int mode,
                      bike_tire_hit *hit, const int *try_first) {
    hit->depth = 0.0;
    if (!terrain_present() || !terrain.heights || !(terrain.spacing > 0.0f)) return 0;
    ring g{from(centre), from(axle), R};
    double al = len(g.a);
    if (!std::isfinite(g.c.x) || !std::isfinite(g.c.y) || !std::isfinite(g.c.z) || !(al > 1e-9) ||
        !std::isfinite(al))
        return 0;
    g.a = g.a * (1.0 / al);

    double s = terrain.spacing, ext = R + r;
    // The tire's box: a circle of radius R about axis a reaches R sqrt(1 - a_x^2) along x (and so
    // for z), the tube r beyond. An upright wheel is narrow across its heading, so this leaves
    // out most of the cells a square of R + r would hold.
    double ext_x = R * std::sqrt(max2(0.0, 1.0 - g.a.x * g.a.x)) + r;
    double ext_z = R * std::sqrt(max2(0.0, 1.0 - g.a.z * g.a.z)) + r;
    double pad = 1e-9 * (1.0 + ext);
    ext_x += pad, ext_z += pad;
    // Beyond the grid the ground continues its edge heights, as the height query does; far
    // coordinates are clamped before they become cell numbers.
    double lim = terrain.size + 1e6;
    double fi0 = clampd(std::floor((g.c.x - ext_x) / s), -1e6, lim);
    double fi1 = clampd(std::floor((g.c.x + ext_x) / s), -1e6, lim);
    double fk0 = clampd(std::floor((g.c.z - ext_z) / s), -1e6, lim);
    double fk1 = clampd(std::floor((g.c.z + ext_z) / s), -1e6, lim);
    int i0 = (int)fi0, i1 = (int)fi1, k0 = (int)fk0, k1 = (int)fk1;
    // Very fine grids under a wheel are still bounded work.
    if (i1 - i0 > 32) i1 = i0 + 32;
    if (k1 - k0 > 32) k1 = k0 + 32;

    // Every ring point lies within R of the centre, so a cell whose box is farther than R + r
    // from it cannot be touched; and with the centre above the box it cannot be buried in it.
    // Every point the tube reaches lies within r of the wheel plane, so a cell whose box lies
    // wholly off that slab cannot be touched either, unless the centre stands over the cell
    // (buried under a steep face).
    double reach2 = ext * ext * (1.0 + 1e-9);
    double slab = r * (1.0 + 1e-9) + 1e-9;
    v3 abs_a{std::fabs(g.a.x), std::fabs(g.a.y), std::fabs(g.a.z)};
    auto reachable = [&](int i, int k, double h00, double h10, double h01, double h11) {
        double hmin = min2(min2(h00, h10), min2(h01, h11));
        double hmax = max2(max2(h00, h10), max2(h01, h11));
        double x0 = i * s, x1 = (i + 1) * s, z0 = k * s, z1 = (k + 1) * s;
        // The sphere first: it is the cheaper test and turns away most cells.
        if (g.c.y > hmax) {
            double dx = g.c.x < x0 ? x0 - g.c.x : g.c.x > x1 ? g.c.x - x1 : 0.0;
            double dz = g.c.z < z0 ? z0 - g.c.z : g.c.z > z1 ? g.c.z - z1 : 0.0;
            double dy = g.c.y - hmax;
            if (dx * dx + dy * dy + dz * dz > reach2) return false;
        }
        const double edge = 1e-6;
        bool over =
            g.c.x >= x0 - edge && g.c.x <= x1 + edge && g.c.z >= z0 - edge && g.c.z <= z1 + edge;
        if (over) return true;
        v3 mid{0.5 * (x0 + x1), 0.5 * (hmin + hmax), 0.5 * (z0 + z1)};
        v3 half{0.5 * (x1 - x0), 0.5 * (hmax - hmin), 0.5 * (z1 - z0)};
        return !(std::fabs(dot(mid - g.c, g.a)) - dot(half, abs_a) > slab);
    };
    int cell_now[3] = {0, 0, 0}; // the triangle being tried: cell i, k and which of its two
    // Under a wheel inside the grid (nearly always) the corners need no clamping.
    const int n = terrain.size;
    const bool inside = i0 >= 0 && k0 >= 0 && i1 + 1 < n && k1 + 1 < n;
    auto corner = [&](int i, int k) {
        return inside ? terrain.heights[i + k * n] : corner_height(i, k);
    };
    // The triangles of cell (i, k) when the ring may touch the cell.
    auto cell_reachable = [&](int i, int k, v3 tris[2][3]) {
        double h00 = corner(i, k), h10 = corner(i + 1, k);
        double h01 = corner(i, k + 1), h11 = corner(i + 1, k + 1);
        if (!reachable(i, k, h00, h10, h01, h11)) return false;
        cell_triangles(i, k, s, h00, h10, h01, h11, tris);
        return true;
    };
    // The triangles the ring may touch, in grid order; fn returns false to stop.
    auto each_triangle = [&](auto fn) {
        for (int k = k0; k <= k1; k++)
            for (int i = i0; i <= i1; i++) {
                v3 tris[2][3];
                if (!cell_reachable(i, k, tris)) continue;
                for (int t = 0; t < 2; t++) {
                    cell_now[0] = i, cell_now[1] = k, cell_now[2] = t;
                    if (!fn(tris[t], plane_of(g, r, tris[t]))) return;
                }
            }
    };
    // The deepest contact is the first triangle (in grid order) reaching the greatest depth. Face
    // contacts are cheap and give a lower bound on that depth; triangles that cannot beat it are
    // turned away before their costly edge search, which leaves the answer as it was. The bound
    // pass keeps the triangles it saw (all of them under an ordinary wheel) for the contact pass.
    struct seen_triangle {
        v3 tri[3];
        tri_plane pl;
        int cell[3];
    };
    enum { SEEN_MAX = 48 };
    seen_triangle seen[SEEN_MAX];
    int seen_count = 0;
    bool seen_all = true;
    double floor0 = 0.0;
    if (mode == BIKE_TIRE_DEEPEST) {
        double bound = 0.0;
        each_triangle([&](const v3 *tri, const tri_plane &pl) {
            bound = max2(bound, face_depth(g, r, tri, pl));
            if (seen_count < SEEN_MAX) {
                seen_triangle &e = seen[seen_count++];
                e.tri[0] = tri[0], e.tri[1] = tri[1], e.tri[2] = tri[2];
                e.pl = pl;
                std::memcpy(e.cell, cell_now, sizeof e.cell);
            } else {
                seen_all = false;
            }
            return true;
        });
        if (bound > 0.0) floor0 = bound - 1e-9 * (1.0 + bound);
    }
    bike_tire_hit best;
    best.depth = 0.0;
    auto contact = [&](const v3 *tri, const tri_plane &pl) {
        bike_tire_hit h;
        double floor_depth = best.depth > floor0 ? best.depth : floor0;
        if (!torus_triangle(g, r, tri, pl, mode, floor_depth, &h)) return true;
        best = h;
        std::memcpy(best.cell, cell_now, sizeof best.cell);
        return mode != BIKE_TIRE_ROOST;
    };
    if (mode == BIKE_TIRE_DEEPEST && seen_all) {
        for (int e = 0; e < seen_count; e++) {
            std::memcpy(cell_now, seen[e].cell, sizeof cell_now);
            contact(seen[e].tri, seen[e].pl);
        }
    } else {
        // Any penetrated triangle will do for the roost: the one the caller names (the tire
        // contact's, usually penetrated as well) saves searching the triangles before it.
        v3 tris[2][3];
        if (mode == BIKE_TIRE_ROOST && try_first && try_first[0] >= i0 && try_first[0] <= i1 &&
            try_first[1] >= k0 && try_first[1] <= k1 && (try_first[2] & ~1) == 0 &&
            cell_reachable(try_first[0], try_first[1], tris)) {
            std::memcpy(cell_now, try_first, sizeof cell_now);
            const v3 *tri = tris[try_first[2]];
            contact(tri, plane_of(g, r, tri));
        }
        if (!(best.depth > 0.0)) each_triangle(contact);
    }
    if (!(best.depth > 0.0)) return 0;
    if (mode == BIKE_TIRE_ROOST && best.normal[1] < 0.0) {
        // Spray never goes into the ground: a downward normal keeps only its horizontal part.
        double hx = best.normal[0], hz = best.normal[2], hl = std::hypot(hx, hz);
        if (hl < 1.0 / 32.0)
            best.normal[0] = 0, best.normal[1] = 1, best.normal[2] = 0;
        else
            best.normal[0] = hx / hl, best.normal[1] = 0, best.normal[2] = hz / hl;
    }
    *hit = best;
    return 1;
}

void bike_tire_init(bike_tire *t, dBodyID wheel, double R, double r) {
    std::memset(t, 0, sizeof *t);
    t->wheel = wheel;
    t->axle_local[0] = 1.0;
    t->R = R;
    t->r = r;
    t->roost_tic = -1;
}

void bike_tire_clear(bike_tire *t) {
    std::memset(t->pos, 0, sizeof t->pos);
    std::memset(t->vel, 0, sizeof t->vel);
    std::memset(t->normal, 0, sizeof t->normal);
    std::memset(&t->feedback, 0, sizeof t->feedback);
    t->depth = 0.0;
    t->mu = 0.0;
    t->tile = 0;
    t->roost_tic = -1;
    t->roost_touch = 0;
    t->ground_cell_ok = 0;
    t->erode_force[0] = t->erode_force[1] = 0.0;
    bike_erosion_reset(&t->erosion);
}

double bike_tire_friction(const tiles_type *type, double v) {
    if (!type) return 1.0;
    const float *sp = type->friction_speed, *cf = type->friction_coef;
    if (sp[0] >= TILES_FRICTION_EMPTY || !(v >= sp[0])) return cf[0];
    int squared = type->slip_function != 1 && type->slip_function != 2;
    int last = 0;
    for (int k = 1; k < TILES_CURVE_POINTS; k++) {
        if (sp[k] >= TILES_FRICTION_EMPTY) break;
        last = k;
        if (sp[k] > v) {
            double a = sp[k - 1], b = sp[k];
            double t = squared ? (v * v - a * a) / (b * b - a * a) : (v - a) / (b - a);
            return cf[k - 1] + t * (cf[k] - cf[k - 1]);
        }
    }
    return cf[last];
}

double bike_tire_friction_argument(int mode, const double u[3], const double v[3],
                                   const double w[3], const double axle[3], const double rho[3]) {
    double ul = len(from(u));
    if (mode != 2) return ul;
    if (!(ul >= 1.0 / 16.0)) return 0.0;
    v3 a = from(axle);
    double al = len(a);
    if (al > 1e-12) a = a * (1.0 / al);
    v3 om = from(w);
    om = om - a * dot(om, a);
    v3 ground = from(v) + cross(om, from(rho));
    return clampd(dot(ground, from(u)) / ul, -ul, ul);
}

double bike_tire_arcade_factor(double roll) {
    double k = 4.0 * std::fabs(roll) / TIRE_PI;
    return 1.0 - 0.375 * (k < 1.0 ? k : 1.0);
}

bike_tire_soft bike_tire_softness(double depth, double r, double h) {
    double c = r > 0.0 ? depth / r : 1.0;
    c = clampd(c, 0.0, 1.0);
    double c3 = c * c * c;
    bike_tire_soft s;
    s.spring = 1000.0 + 24000.0 * c3;
    s.damping = 200.0 + 2300.0 * c3;
    s.cfm = 1.0 / (s.damping + h * s.spring);
    s.erp = h * s.spring * s.cfm;
    return s;
}

double bike_tire_roll_resist(const tiles_type *type, double W, double c) {
    if (!type) return 0.0;
    const float *sp = type->roll_speed;
    if (!(sp[0] > TILES_ROLL_EMPTY)) return 0.0;
    double light, full;
    if (!(W >= sp[0])) {
        light = type->roll_light[0], full = type->roll_full[0];
    } else {
        int last = 0, found = 0;
        light = full = 0.0;
        for (int k = 1; k < TILES_CURVE_POINTS; k++) {
            if (!(sp[k] > TILES_ROLL_EMPTY)) break;
            last = k;
            if (sp[k] > W) {
                double t = (W - sp[k - 1]) / ((double)sp[k] - sp[k - 1]);
                light =
                    type->roll_light[k - 1] + t * (type->roll_light[k] - type->roll_light[k - 1]);
                full = type->roll_full[k - 1] + t * (type->roll_full[k] - type->roll_full[k - 1]);
                found = 1;
                break;
            }
        }
        if (!found) light = type->roll_light[last], full = type->roll_full[last];
    }
    c = clampd(c, 0.0, 1.0);
    return light + c * (full - light);
}

int bike_tire_contact(bike_tire *t, dWorldID world, dJointGroupID group, double friction_factor,
                      double h) {
    const dReal *cp = dBodyGetPosition(t->wheel);
    dVector3 axle;
    dBodyVectorToWorld(t->wheel, t->axle_local[0], t->axle_local[1], t->axle_local[2], axle);
    double centre[3] = {cp[0], cp[1], cp[2]}, ax[3] = {axle[0], axle[1], axle[2]};
    bike_tire_hit hit;
    if (!bike_tire_collide(centre, ax, t->R, t->r, BIKE_TIRE_DEEPEST, &hit)) {
        // No joint this tic: stale forces must not reach erosion or the robots.
        t->depth = 0.0;
        t->mu = 0.0;
        t->ground_cell_ok = 0;
        std::memset(&t->feedback, 0, sizeof t->feedback);
        return 0;
    }
    std::memcpy(t->ground_cell, hit.cell, sizeof t->ground_cell);
    t->ground_cell_ok = 1;
    std::memcpy(t->pos, hit.pos, sizeof t->pos);
    std::memcpy(t->normal, hit.normal, sizeof t->normal);
    t->depth = hit.depth;
    dVector3 u;
    dBodyGetPointVel(t->wheel, hit.pos[0], hit.pos[1], hit.pos[2], u);
    t->vel[0] = u[0], t->vel[1] = u[1], t->vel[2] = u[2];

    t->tile = tile_at((float)hit.pos[0], (float)hit.pos[2]);
    const tiles_type *type = tiles_type_get(t->tile);
    const dReal *lv = dBodyGetLinearVel(t->wheel);
    const dReal *av = dBodyGetAngularVel(t->wheel);
    double v[3] = {lv[0], lv[1], lv[2]}, w[3] = {av[0], av[1], av[2]};
    double rho[3] = {hit.pos[0] - cp[0], hit.pos[1] - cp[1], hit.pos[2] - cp[2]};
    int mode = type ? type->slip_function : 0;
    double arg = bike_tire_friction_argument(mode, t->vel, v, w, ax, rho);
    double mu = bike_tire_friction(type, arg) * friction_factor;
    if (!std::isfinite(mu) || mu < 0.0) mu = 0.0;
    t->mu = mu;
    if (!group) return 1;

    bike_tire_soft soft = bike_tire_softness(hit.depth, t->r, h);
    dContact c;
    std::memset(&c, 0, sizeof c);
    c.surface.mode = dContactSoftERP | dContactSoftCFM | dContactApprox1;
    c.surface.mu = mu;
    c.surface.soft_erp = soft.erp;
    c.surface.soft_cfm = soft.cfm;
    v3 n = from(hit.normal);
    v3 f = cross(n, from(t->vel));
    if (dot(f, f) < 1.0 / 1024.0) f = cross(n, from(ax));
    double fl = len(f);
    if (fl > 1e-9) {
        // One friction axis across the slip, the other along it.
        c.surface.mode |= dContactFDir1;
        f = f * (1.0 / fl);
        c.fdir1[0] = f.x, c.fdir1[1] = f.y, c.fdir1[2] = f.z;
    }
    c.geom.pos[0] = hit.pos[0], c.geom.pos[1] = hit.pos[1], c.geom.pos[2] = hit.pos[2];
    c.geom.normal[0] = n.x, c.geom.normal[1] = n.y, c.geom.normal[2] = n.z;
    c.geom.depth = hit.depth;
    dJointID j = dJointCreateContact(world, group, &c);
    dJointAttach(j, t->wheel, 0);
    dJointSetFeedback(j, &t->feedback);

    // Rolling resistance, fading to nothing at rest instead of dividing by a vanishing speed.
    v3 vt = from(v) - n * dot(from(v), n);
    double W = len(vt);
    double mag = bike_tire_roll_resist(type, W, hit.depth / t->r);
    v3 force = W > 1.0 ? vt * (-mag / W) : vt * -mag;
    if (std::isfinite(force.x) && std::isfinite(force.y) && std::isfinite(force.z))
        dBodyAddForce(t->wheel, force.x, force.y, force.z);
    return 1;
}

int bike_tire_roost_contact(bike_tire *t, int tic) {
    if (t->roost_tic == tic) return t->roost_touch;
    t->roost_tic = tic;
    const dReal *cp = dBodyGetPosition(t->wheel);
    dVector3 axle;
    dBodyVectorToWorld(t->wheel, t->axle_local[0], t->axle_local[1], t->axle_local[2], axle);
    double centre[3] = {cp[0], cp[1], cp[2]}, ax[3] = {axle[0], axle[1], axle[2]};
    bike_tire_hit hit;
    t->roost_touch = bike_tire_collide(centre, ax, t->R, t->r, BIKE_TIRE_ROOST, &hit,
                                       t->ground_cell_ok ? t->ground_cell : nullptr);
    if (t->roost_touch) {
        std::memcpy(t->roost_pos, hit.pos, sizeof t->roost_pos);
        std::memcpy(t->roost_normal, hit.normal, sizeof t->roost_normal);
        dVector3 u;
        dBodyGetPointVel(t->wheel, hit.pos[0], hit.pos[1], hit.pos[2], u);
        t->roost_vel[0] = u[0], t->roost_vel[1] = u[1], t->roost_vel[2] = u[2];
    }
    return t->roost_touch;
}

int bike_tire_roost_rounds(double density, unsigned random) {
    if (!std::isfinite(density) || density <= 0.0) return 0;
    if (density > 10000.0) density = 10000.0;
    int rounds = (int)std::floor(density / 100.0);
    if ((double)(random % 100u) < std::fmod(density, 100.0)) rounds++;
    return rounds;
}

enum { ROOST_QUEUE = 64 };
static struct {
    bike_roost_contact items[ROOST_QUEUE];
    int head, count;
} roost_queue;

void bike_tire_roost_emit(const bike_roost_contact *c) {
    if (roost_queue.count >= ROOST_QUEUE) {
        roost_queue.head = (roost_queue.head + 1) % ROOST_QUEUE;
        roost_queue.count--;
    }
    roost_queue.items[(roost_queue.head + roost_queue.count) % ROOST_QUEUE] = *c;
    roost_queue.count++;
}

int bike_tire_roost_take(bike_roost_contact *out) {
    if (roost_queue.count == 0) return 0;
    *out = roost_queue.items[roost_queue.head];
    roost_queue.head = (roost_queue.head + 1) % ROOST_QUEUE;
    roost_queue.count--;
    return 1;
}

void bike_tire_roost_clear(void) {
    roost_queue.head = roost_queue.count = 0;
}

void bike_tire_erode(bike_tire *t, int front, int tic, double extent, bike_stroke_sink sink,
                     void *ctx) {
    double ex, ez;
    int sampled = 0;
    if (t->depth > 0.0) {
        bike_erosion_input in;
        in.depth = t->depth;
        std::memcpy(in.pos, t->pos, sizeof in.pos);
        in.slip = len(from(t->vel));
        const dReal *lv = dBodyGetLinearVel(t->wheel);
        in.vel[0] = lv[0], in.vel[1] = lv[1], in.vel[2] = lv[2];
        in.force[0] = t->feedback.f1[0], in.force[1] = t->feedback.f1[1];
        in.force[2] = t->feedback.f1[2];
        float gn[3];
        terrain_normal((float)t->pos[0], (float)t->pos[2], gn);
        in.normal[0] = gn[0], in.normal[1] = gn[1], in.normal[2] = gn[2];
        in.front = front;
        sampled = bike_erosion_force(&in, tiles_erosion_get(t->tile), &ex, &ez, t->erode_force);
    } else {
        t->erode_force[0] = t->erode_force[1] = 0.0;
    }
    if (sampled)
        bike_erosion_sample(&t->erosion, t->pos[0], t->pos[2], ex, ez, tic, extent, sink, ctx);
    else
        bike_erosion_idle(&t->erosion, tic, extent, sink, ctx);
}

int bike_tire_debug_text(const bike_tire *t, char *buf, int size) {
    if (!buf || size <= 0) return 0;
    const dReal *lv = dBodyGetLinearVel(t->wheel);
    dVector3 axle;
    dBodyVectorToWorld(t->wheel, t->axle_local[0], t->axle_local[1], t->axle_local[2], axle);
    v3 a = from(axle), n = t->depth > 0 ? from(t->normal) : v3{0, 1, 0};
    // Lateral along the axle, longitudinal along the rolling direction on the ground.
    v3 roll = cross(n, a);
    double rl = len(roll);
    if (rl > 1e-9) roll = roll * (1.0 / rl);
    v3 f{t->feedback.f1[0], t->feedback.f1[1], t->feedback.f1[2]};
    v3 e{t->erode_force[0], 0.0, t->erode_force[1]};
    int n_out = std::snprintf(buf, (size_t)size,
                              "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\npfz=%.2f\n",
                              len(v3{lv[0], lv[1], lv[2]}), len(from(t->vel)), -dot(f, a),
                              -dot(f, roll), -dot(e, a), -dot(e, roll));
    return n_out < 0 ? 0 : (n_out >= size ? size - 1 : n_out);
}
