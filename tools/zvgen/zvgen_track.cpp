// The default track. The layout is a closed spline through hand-placed points; every height
// element takes its shape from the nearest point of the racing line (grade, jump profiles, berms)
// and blends into rolling hills away from the track. Everything is a pure function of the code.
#include "zvgen_track.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_image.h"
#include "platform/platform.h"
#include "zvgen.h"
#include "zvgen_image.h"

namespace {

const int GRID_EXP = 9;
const int GRID = (1 << (GRID_EXP + 1)) + 1; // 1025 heights per side
const double SPACING = 0.75;
const double EXTENT = SPACING * (GRID - 1); // 768 ft
const double BOTTOM = -20.0, TOP = 100.0;
const int TILE_SIDE = 1 << GRID_EXP;
const double SAMPLE_STEP = 1.0; // ft between racing-line samples

const double START_HALF_WIDTH = 72.0; // 144 ft: 40 gate slots of 3.3 ft with room at the sides
const double TRACK_HALF_WIDTH = 15.0;

enum { HARDPACK = 0, LOAM = 1, SAND = 2, GRASS = 3 };

// Layout points in race direction (ft, before scaling): start straight east, then a sweeper,
// a hairpin, an S through the middle, the back straight and the long run home along the west.
const double layout[][2] = {
    {180, 140}, {560, 140}, {760, 160}, {860, 260}, {840, 400}, {700, 440}, {560, 400}, {420, 430},
    {330, 520}, {360, 660}, {520, 700}, {700, 660}, {860, 700}, {900, 840}, {780, 920}, {560, 900},
    {360, 920}, {180, 860}, {120, 700}, {170, 560}, {130, 400}, {90, 260},  {120, 160},
};
const int LAYOUT_COUNT = sizeof layout / sizeof layout[0];
const double LAYOUT_SCALE = 0.75, LAYOUT_OFFSET = 39.0;

// Where the features sit: a layout point index and the distance after it.
struct feature_place {
    int point;
    double after;
};
const feature_place TABLETOP = {6, 20};
const feature_place DOUBLE_JUMP = {11, 30};
const feature_place WHOOPS = {15, 35};
const feature_place RHYTHM = {19, 25};
const double TABLETOP_LEN = 85, DOUBLE_LEN = 82, WHOOPS_LEN = 96, RHYTHM_LEN = 80;

struct line_sample {
    double x, z;    // position
    double tx, tz;  // unit tangent
    double t;       // arc length from the start line
    double w;       // half width
    double turn;    // 0..1 berm strength
    double outside; // +1 when the outside of the turn is the left side, -1 right
    double grade;   // base height of the riding surface
};

struct track_gen {
    line_sample *line;
    int count;
    double length;
    double point_t[LAYOUT_COUNT];
    float *height;  // GRID * GRID
    float *best;    // squared distance to the nearest line sample
    int *nearest;   // its index, -1 when none is near
    float *lateral; // signed distance to the left of the line
    float *along;   // distance along the line from the sample
};

double smooth01(double u) {
    if (u <= 0) return 0;
    if (u >= 1) return 1;
    return u * u * (3 - 2 * u);
}

double smoothstep(double a, double b, double v) {
    return smooth01((v - a) / (b - a));
}

// Rolling ground with higher rims: the arena lies in a hollow. The last 14 ft rise 50 ft as a
// bank too steep to ride (up to 80 degrees) and higher than a rider at full speed can coast, so
// one who leaves the track stops against the hills instead of riding off the edge of the world.
// It stays clear of the track's shoulders, which reach to 15 ft from the edge.
double base_height(double x, double z) {
    double h = 10.0 + 6.0 * sin(x * 0.011 + 0.7) * cos(z * 0.008 - 0.4) +
               3.5 * sin(x * 0.023 - z * 0.017 + 1.3) + 1.5 * sin(x * 0.061 + z * 0.047);
    double edge = fmin(fmin(x, EXTENT - x), fmin(z, EXTENT - z));
    h += 22.0 * (1.0 - smoothstep(0.0, 70.0, edge));
    h += 50.0 * (1.0 - smoothstep(0.0, 14.0, edge));
    return h;
}

// Catmull-Rom point of a closed layout.
void layout_point(int i, double *x, double *z) {
    i = ((i % LAYOUT_COUNT) + LAYOUT_COUNT) % LAYOUT_COUNT;
    *x = layout[i][0] * LAYOUT_SCALE + LAYOUT_OFFSET;
    *z = layout[i][1] * LAYOUT_SCALE + LAYOUT_OFFSET;
}

void spline_point(int seg, double u, double *x, double *z) {
    double p[4][2];
    for (int k = 0; k < 4; k++)
        layout_point(seg - 1 + k, &p[k][0], &p[k][1]);
    double u2 = u * u, u3 = u2 * u;
    for (int c = 0; c < 2; c++) {
        double v = 0.5 * ((2 * p[1][c]) + (-p[0][c] + p[2][c]) * u +
                          (2 * p[0][c] - 5 * p[1][c] + 4 * p[2][c] - p[3][c]) * u2 +
                          (-p[0][c] + 3 * p[1][c] - 3 * p[2][c] + p[3][c]) * u3);
        if (c == 0)
            *x = v;
        else
            *z = v;
    }
}

// The racing line resampled at equal steps, with widths, berm strength and grade.
void build_line(track_gen *g) {
    const int sub = 256;
    int dense_n = LAYOUT_COUNT * sub;
    double *dx = (double *)zv_alloc(sizeof(double) * (dense_n + 1));
    double *dz = (double *)zv_alloc(sizeof(double) * (dense_n + 1));
    double *dt = (double *)zv_alloc(sizeof(double) * (dense_n + 1));
    double len = 0;
    for (int i = 0; i <= dense_n; i++) {
        spline_point(i / sub, (double)(i % sub) / sub, &dx[i], &dz[i]);
        if (i == dense_n) spline_point(0, 0, &dx[i], &dz[i]);
        if (i > 0) len += hypot(dx[i] - dx[i - 1], dz[i] - dz[i - 1]);
        dt[i] = len;
        if (i % sub == 0 && i / sub < LAYOUT_COUNT) g->point_t[i / sub] = len;
    }
    g->length = len;
    g->count = (int)floor(len / SAMPLE_STEP);
    double step = len / g->count;
    g->line = (line_sample *)zv_alloc_zeroed((size_t)g->count, sizeof(line_sample));
    int j = 0;
    for (int i = 0; i < g->count; i++) {
        double t = i * step;
        while (j < dense_n - 1 && dt[j + 1] < t)
            j++;
        double span = dt[j + 1] - dt[j];
        double f = span > 0 ? (t - dt[j]) / span : 0;
        line_sample *s = &g->line[i];
        s->x = dx[j] + f * (dx[j + 1] - dx[j]);
        s->z = dz[j] + f * (dz[j + 1] - dz[j]);
        s->t = t;
    }
    zv_free(dx);
    zv_free(dz);
    zv_free(dt);

    int n = g->count;
    double *curv = (double *)zv_alloc(sizeof(double) * n);
    for (int i = 0; i < n; i++) {
        const line_sample &a = g->line[(i + n - 1) % n], &b = g->line[(i + 1) % n];
        double tx = b.x - a.x, tz = b.z - a.z, l = hypot(tx, tz);
        g->line[i].tx = tx / l;
        g->line[i].tz = tz / l;
    }
    const int span = 8;
    for (int i = 0; i < n; i++) {
        const line_sample &a = g->line[(i + n - span) % n], &b = g->line[(i + span) % n];
        double cross = a.tx * b.tz - a.tz * b.tx; // sin of the heading change
        curv[i] = cross / (2.0 * span * step);
    }
    // Berm strength from the curvature, smoothed so berms build up and fade out.
    const int window = 20;
    for (int i = 0; i < n; i++) {
        double sum = 0, signed_sum = 0;
        for (int k = -window; k <= window; k++) {
            double c = curv[(i + k + n) % n];
            sum += smoothstep(1.0 / 220.0, 1.0 / 70.0, fabs(c));
            signed_sum += c;
        }
        g->line[i].turn = sum / (2 * window + 1);
        // Left normal is (-tz, tx); with x east and z south a positive cross turns toward it.
        g->line[i].outside = signed_sum > 0 ? -1.0 : 1.0;
    }
    zv_free(curv);
    for (int i = 0; i < n; i++) {
        double t = g->line[i].t;
        // The start pad is wide from a little behind the gate line to 60 ft past it, then
        // narrows to the first turn; the lap's last corner opens into it.
        double wide = t < g->length / 2 ? 1.0 - smoothstep(60.0, 240.0, t)
                                        : smoothstep(g->length - 80.0, g->length - 15.0, t);
        double w = TRACK_HALF_WIDTH + (START_HALF_WIDTH - TRACK_HALF_WIDTH) * wide;
        g->line[i].w = w;
        g->line[i].grade = base_height(g->line[i].x, g->line[i].z);
    }
    // The riding surface follows the ground, smoothed twice over 121 ft so it never gets steep.
    double *tmp = (double *)zv_alloc(sizeof(double) * n);
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < n; i++) {
            double sum = 0;
            for (int k = -60; k <= 60; k++)
                sum += g->line[(i + k + n) % n].grade;
            tmp[i] = sum / 121.0;
        }
        for (int i = 0; i < n; i++)
            g->line[i].grade = tmp[i];
    }
    zv_free(tmp);
}

double feature_start(const track_gen *g, feature_place p) {
    return g->point_t[p.point] + p.after;
}

// Height added by the jumps and bumps at arc length t.
double feature_height(const track_gen *g, double t) {
    double u = t - feature_start(g, TABLETOP);
    if (u >= 0 && u < TABLETOP_LEN) {
        if (u < 22)
            return 5.0 *
                   pow(u / 22, 1.4); // the face ends in a lip that carries riders over the table
        if (u < 57) return 5.0;
        return 5.0 * (1 - smooth01((u - 57) / 28));
    }
    u = t - feature_start(g, DOUBLE_JUMP);
    if (u >= 0 && u < DOUBLE_LEN) {
        // Fast riders jump from the lip to the second jump's back; slower ones roll the gap, so
        // its faces stay gentle enough to ride up at walking pace without stuffing the front.
        if (u < 16) return 5.5 * pow(u / 16, 1.6); // steepening face with a lip
        if (u < 34) // a long back that lands riders who come up short of the second jump
            return 5.5 * (1 - smooth01((u - 16) / 18));
        if (u < 40) return 0;
        if (u < 56) return 5.5 * smooth01((u - 40) / 16);
        return 5.5 * (1 - smooth01((u - 56) / 26));
    }
    u = t - feature_start(g, WHOOPS);
    if (u >= 0 && u < WHOOPS_LEN) {
        double s = sin(M_PI * u / 12.0);
        return 1.3 * s * s;
    }
    u = t - feature_start(g, RHYTHM);
    if (u >= 0 && u < RHYTHM_LEN) {
        if (u >= 60) // the last bump's back is a long landing, not a drop to the flat
            return 2.0 * (1 - smooth01((u - 60) / 20));
        double s = sin(M_PI * u / 24.0);
        return 2.0 * s * s;
    }
    return 0;
}

int in_range(const track_gen *g, feature_place p, double len, double t) {
    double u = t - feature_start(g, p);
    return u >= -5 && u < len + 5;
}

// Nearest racing-line sample of every height element near the track.
void stamp_line(track_gen *g) {
    size_t cells = (size_t)GRID * GRID;
    for (size_t i = 0; i < cells; i++) {
        g->best[i] = 1e30f;
        g->nearest[i] = -1;
    }
    for (int i = 0; i < g->count; i++) {
        const line_sample &s = g->line[i];
        double r = s.w + 30.0;
        int i0 = (int)floor((s.x - r) / SPACING), i1 = (int)ceil((s.x + r) / SPACING);
        int k0 = (int)floor((s.z - r) / SPACING), k1 = (int)ceil((s.z + r) / SPACING);
        i0 = i0 < 0 ? 0 : i0;
        k0 = k0 < 0 ? 0 : k0;
        i1 = i1 > GRID - 1 ? GRID - 1 : i1;
        k1 = k1 > GRID - 1 ? GRID - 1 : k1;
        for (int k = k0; k <= k1; k++)
            for (int c = i0; c <= i1; c++) {
                double px = c * SPACING - s.x, pz = k * SPACING - s.z;
                double d2 = px * px + pz * pz;
                size_t idx = (size_t)c + (size_t)k * GRID;
                if (d2 < g->best[idx] && d2 < r * r) {
                    g->best[idx] = (float)d2;
                    g->nearest[idx] = i;
                    g->lateral[idx] = (float)(-px * s.tz + pz * s.tx);
                    g->along[idx] = (float)(px * s.tx + pz * s.tz);
                }
            }
    }
}

void shape_heights(track_gen *g) {
    for (int k = 0; k < GRID; k++)
        for (int c = 0; c < GRID; c++) {
            size_t idx = (size_t)c + (size_t)k * GRID;
            double x = c * SPACING, z = k * SPACING;
            double base = base_height(x, z);
            int n = g->nearest[idx];
            if (n < 0) {
                g->height[idx] = (float)base;
                continue;
            }
            const line_sample &s = g->line[n];
            double t = fmod(s.t + g->along[idx] + g->length, g->length);
            double d = g->lateral[idx], e = fabs(d), w = s.w;
            double surface = s.grade + feature_height(g, t) * (1 - smoothstep(w + 1, w + 7, e));
            double out = d * s.outside;
            double berm = 0;
            // Berms on the racing width only; the start pad's corner stays flat.
            if (out > 0 && s.turn > 0)
                berm =
                    5.0 * s.turn * (1 - smoothstep(20, 40, w)) * smoothstep(0.15 * w, w + 2, out);
            surface += berm;
            double reach = berm > 0.5 ? 8.0 : 3.0;
            double blend = smoothstep(w + reach, w + 28, e);
            g->height[idx] = (float)(surface + (base - surface) * blend);
        }
    // The gate line is level across the whole pad: a rider on an outside gate would otherwise
    // stand on the slope of the ground beside the track and fall over before the drop. The strip
    // is narrow, so the last corner opening into the pad keeps its shape.
    const line_sample &st = g->line[0];
    // Along the pad the ground keeps the riding surface's own rise; only the slope across goes.
    int ahead = 0;
    while (ahead + 1 < g->count && g->line[ahead].t < 16)
        ahead++;
    double rise = ahead > 0 ? (g->line[ahead].grade - st.grade) / g->line[ahead].t : 0;
    for (int k = 0; k < GRID; k++)
        for (int c = 0; c < GRID; c++) {
            double dx = c * SPACING - st.x, dz = k * SPACING - st.z;
            double along = dx * st.tx + dz * st.tz, across = fabs(dx * -st.tz + dz * st.tx);
            // The middle, where the lap's riders pass, keeps its shape.
            double keep = smoothstep(16, 26, across) *
                          (1 - smoothstep(START_HALF_WIDTH - 4, START_HALF_WIDTH + 6, across)) *
                          smoothstep(-16, -8, along) * (1 - smoothstep(14, 24, along));
            if (keep <= 0) continue;
            size_t idx = (size_t)c + (size_t)k * GRID;
            double level = st.grade + rise * along;
            g->height[idx] = (float)(g->height[idx] + (level - g->height[idx]) * keep);
        }
}

int ground_type(const track_gen *g, int c, int k) {
    size_t idx = (size_t)c + (size_t)k * GRID;
    int n = g->nearest[idx];
    if (n < 0) return GRASS;
    const line_sample &s = g->line[n];
    double e = fabs(g->lateral[idx]);
    if (e > s.w + 5) return GRASS;
    if (e > s.w + 0.5) return SAND;
    double t = fmod(s.t + g->along[idx] + g->length, g->length);
    if (in_range(g, WHOOPS, WHOOPS_LEN, t)) return SAND;
    if (s.turn > 0.25) return LOAM;
    if (t > g->point_t[16] && t < g->point_t[18]) return LOAM;
    return HARDPACK;
}

// The sun the light map is baked for; the lighting file gives the same one to the renderer, so
// baked shadows and lit slopes agree.
const double SUN[3] = {ZVGEN_SUN_X, ZVGEN_SUN_Y, ZVGEN_SUN_Z};

// Light per element: sun on the slope, darker in cast shadows. 255 = full light.
void shade(const track_gen *g, uint8_t *light) {
    const double lx = SUN[0], ly = SUN[1], lz = SUN[2];
    const double norm = sqrt(lx * lx + ly * ly + lz * lz);
    const double sx = lx / norm, sy = ly / norm, sz = lz / norm;
    const double horiz = hypot(sx, sz);
    const double step = 1.5;
    for (int k = 0; k < GRID; k++)
        for (int c = 0; c < GRID; c++) {
            size_t idx = (size_t)c + (size_t)k * GRID;
            int cl = c > 0 ? c - 1 : c, cr = c < GRID - 1 ? c + 1 : c;
            int kl = k > 0 ? k - 1 : k, kr = k < GRID - 1 ? k + 1 : k;
            double dhdx = (g->height[cr + (size_t)k * GRID] - g->height[cl + (size_t)k * GRID]) /
                          ((cr - cl) * SPACING);
            double dhdz = (g->height[c + (size_t)kr * GRID] - g->height[c + (size_t)kl * GRID]) /
                          ((kr - kl) * SPACING);
            double nx = -dhdx, ny = 1, nz = -dhdz, nl = sqrt(nx * nx + ny * ny + nz * nz);
            double lambert = (nx * sx + ny * sy + nz * sz) / nl;
            if (lambert < 0) lambert = 0;
            double x = c * SPACING, z = k * SPACING, y = g->height[idx] + 0.05;
            double lit = 1.0;
            for (double dist = step; dist < 220; dist += step) {
                double px = x + sx / horiz * dist, pz = z + sz / horiz * dist;
                double py = y + sy / horiz * dist;
                if (px < 0 || pz < 0 || px > EXTENT || pz > EXTENT || py > TOP) break;
                int gi = (int)(px / SPACING + 0.5), gk = (int)(pz / SPACING + 0.5);
                if (g->height[gi + (size_t)gk * GRID] > py) {
                    lit = 0.45;
                    break;
                }
            }
            double v = 255.0 * (0.32 + 0.68 * lambert * lit);
            light[idx] = (uint8_t)(v > 255 ? 255 : (v < 0 ? 0 : v + 0.5));
        }
}

// The ground types' pictures: seamless tiles of dirt, loam, sand and grass.
int write_texture(const char *name, int kind, uint64_t seed) {
    char path[256];
    snprintf(path, sizeof path, "%s/%s", ZVGEN_TRACK_DIR, name);
    return zvgen_image_ground_tile(path, kind, seed);
}

const char *const TILEINFO_TEXT = "name Hard-packed dirt\n"
                                  "texture @" ZVGEN_TRACK_DIR "/hardpack.png\n"
                                  "friction 1.05 0\n"
                                  "friction 0.85 12\n"
                                  "friction 0.75 40\n"
                                  "roll_resist 3 10 1\n"
                                  "roll_resist 4 14 60\n"
                                  "roost count=6 r=150 g=112 b=78 size=0.2 fade_a=-200\n"
                                  "erode_depth 0.3\n"
                                  "erode_displacement 1\n"
                                  "addtile\n"
                                  "name Loam\n"
                                  "texture @" ZVGEN_TRACK_DIR "/loam.png\n"
                                  "friction 1.15 0\n"
                                  "friction 0.9 12\n"
                                  "friction 0.8 40\n"
                                  "roll_resist 6 18 1\n"
                                  "roll_resist 8 22 60\n"
                                  "roost count=14 r=92 g=64 b=44 size=0.3 grow=5\n"
                                  "erode_depth 1.5\n"
                                  "erode_displacement 2.5\n"
                                  "erode_limit 0 1 1\n"
                                  "erode_limit 1.5 0.6 0.8\n"
                                  "erode_limit 3 0.2 0.4\n"
                                  "addtile\n"
                                  "name Sand\n"
                                  "texture @" ZVGEN_TRACK_DIR "/sand.png\n"
                                  "friction 0.85 0\n"
                                  "friction 0.65 10\n"
                                  "slip_function 1\n"
                                  "roll_resist 14 36 1\n"
                                  "roll_resist 18 44 60\n"
                                  "roost count=18 r=214 g=190 b=140 size=0.25 drag=0.7\n"
                                  "erode_depth 2\n"
                                  "erode_displacement 3\n"
                                  "erode_radius 5\n"
                                  "addtile\n"
                                  "name Grass\n"
                                  "texture @" ZVGEN_TRACK_DIR "/grass.png\n"
                                  "friction 0.8 0\n"
                                  "friction 0.55 15\n"
                                  "roll_resist 5 15 1\n"
                                  "roll_resist 6 18 60\n"
                                  "roost count=4 r=74 g=120 b=52 size=0.15\n"
                                  "erode_depth 0.5\n"
                                  "addtile\n";

const char *const SCRIPT_TEXT =
    "// Pine Hollow runs without scripted extras: no animated objects, no sounds.\n"
    "var pine_hollow = { name: \"Pine Hollow Motocross\", laps_suggested: 6 };\n";

int write_centerline(const track_gen *g) {
    int points = (int)floor(g->length / ZVGEN_TRACK_STEP);
    double step = g->length / points;
    zvgen_text t = {};
    zvgen_text_printf(&t, "centerline 1\npoints %d\nlength %.3f\n", points, g->length);
    for (int i = 0; i < points; i++) {
        double at = i * step / (g->length / g->count);
        int a = (int)floor(at) % g->count, b = (a + 1) % g->count;
        double f = at - floor(at);
        const line_sample &sa = g->line[a], &sb = g->line[b];
        double x = sa.x + f * (sb.x - sa.x), z = sa.z + f * (sb.z - sa.z);
        double w = sa.w + f * (sb.w - sa.w);
        // Height from the generated grid (bilinear is close enough for a line description).
        double u = x / SPACING, v = z / SPACING;
        int c = (int)u, k = (int)v;
        double fu = u - c, fv = v - k;
        const float *h = g->height;
        double y =
            (1 - fv) * ((1 - fu) * h[c + (size_t)k * GRID] + fu * h[c + 1 + (size_t)k * GRID]) +
            fv *
                ((1 - fu) * h[c + (size_t)(k + 1) * GRID] + fu * h[c + 1 + (size_t)(k + 1) * GRID]);
        zvgen_text_printf(&t, "%.3f %.3f %.3f %.3f\n", x, y, z, w);
    }
    return zvgen_text_write(&t, ZVGEN_TRACK_DIR "/centerline");
}

// The overview map the HUD shows in the corner: the track seen from above, x to the right and z
// down the picture, the track's dirt opaque and the grass around it see-through.
int write_map(const track_gen *g) {
    const int S = 256;
    data_image img = {};
    if (!data_image_alloc(&img, S, S, 4, 8)) return 0;
    uint8_t *px = (uint8_t *)img.pixels;
    auto type_at = [&](int u, int v) {
        int c = (int)((u + 0.5) * (GRID - 1) / S), k = (int)((v + 0.5) * (GRID - 1) / S);
        return ground_type(g, c, k);
    };
    for (int v = 0; v < S; v++)
        for (int u = 0; u < S; u++) {
            int t = type_at(u, v);
            int c = (int)((u + 0.5) * (GRID - 1) / S), k = (int)((v + 0.5) * (GRID - 1) / S);
            int cr = c < GRID - 2 ? c + 2 : c, kr = k < GRID - 2 ? k + 2 : k;
            double dx = g->height[cr + (size_t)k * GRID] - g->height[c + (size_t)k * GRID];
            double dz = g->height[c + (size_t)kr * GRID] - g->height[c + (size_t)k * GRID];
            // Slopes facing the upper left are lit, the others shaded.
            double lit = 1 - 0.25 * (dx + dz);
            lit = lit < 0.6 ? 0.6 : (lit > 1.25 ? 1.25 : lit);
            double r, gr, b, a;
            int edge = 0;
            if (t != GRASS)
                for (int d = 0; d < 4 && !edge; d++) {
                    int nu = u + (d == 0) - (d == 1), nv = v + (d == 2) - (d == 3);
                    if (nu >= 0 && nv >= 0 && nu < S && nv < S && type_at(nu, nv) == GRASS)
                        edge = 1;
                }
            if (t == GRASS) {
                r = 0.16, gr = 0.34, b = 0.14, a = 0.55;
            } else if (edge) {
                r = 0.18, gr = 0.11, b = 0.06, a = 1;
            } else if (t == SAND) {
                r = 0.86, gr = 0.74, b = 0.5, a = 1;
            } else if (t == LOAM) {
                r = 0.55, gr = 0.38, b = 0.24, a = 1;
            } else {
                r = 0.7, gr = 0.52, b = 0.34, a = 1;
            }
            uint8_t *p = px + ((size_t)v * S + u) * 4;
            double rgb[3] = {r * lit, gr * lit, b * lit};
            for (int i = 0; i < 3; i++)
                p[i] = (uint8_t)(rgb[i] > 1 ? 255 : rgb[i] * 255 + 0.5);
            p[3] = (uint8_t)(a * 255 + 0.5);
        }
    uint8_t *png;
    size_t len;
    int ok = data_image_encode_png(&img, &png, &len);
    data_image_free(&img);
    if (!ok) return 0;
    ok = zvgen_write_file(ZVGEN_TRACK_DIR "/map.png", png, len);
    zv_free(png);
    return ok;
}

int write_track(track_gen *g) {
    size_t cells = (size_t)GRID * GRID;
    int ok = 1;
    ok &= zvgen_printf_file(ZVGEN_TRACK_DIR "/desc", "Pine Hollow Motocross\n");
    ok &= zvgen_printf_file(ZVGEN_TRACK_DIR "/terrain.hf", "%d %.2f %.1f %.1f\n", GRID_EXP, SPACING,
                            BOTTOM, TOP);
    // Heights as a 16-bit grey picture.
    data_image img = {};
    if (!data_image_alloc(&img, GRID, GRID, 1, 16)) return 0;
    uint16_t *px = (uint16_t *)img.pixels;
    for (size_t i = 0; i < cells; i++) {
        double v = (g->height[i] - BOTTOM) / (TOP - BOTTOM) * 65535.0 + 0.5;
        px[i] = (uint16_t)(v < 0 ? 0 : (v > 65535 ? 65535 : v));
    }
    uint8_t *png;
    size_t len;
    ok &= data_image_encode_png(&img, &png, &len);
    data_image_free(&img);
    if (!ok) return 0;
    ok &= zvgen_write_file(ZVGEN_TRACK_DIR "/terrain.png", png, len);
    zv_free(png);

    // Shading from the heights as they will be loaded (16-bit steps).
    for (size_t i = 0; i < cells; i++) {
        double v = (g->height[i] - BOTTOM) / (TOP - BOTTOM) * 65535.0 + 0.5;
        v = floor(v < 0 ? 0 : (v > 65535 ? 65535 : v));
        g->height[i] = (float)(BOTTOM + (TOP - BOTTOM) * v / 65535.0);
    }
    char header[64];
    int hl = snprintf(header, sizeof header, "P5\n%d %d\n255\n", GRID, GRID);
    uint8_t *pgm = (uint8_t *)zv_alloc(hl + cells);
    memcpy(pgm, header, hl);
    shade(g, pgm + hl);
    ok &= zvgen_write_file_gz(ZVGEN_TRACK_DIR "/shadows.pgm", pgm, hl + cells);
    zv_free(pgm);

    ok &= write_map(g);

    uint8_t *map = (uint8_t *)zv_alloc((size_t)TILE_SIDE * TILE_SIDE);
    for (int r = 0; r < TILE_SIDE; r++)
        for (int c = 0; c < TILE_SIDE; c++)
            map[c + (size_t)r * TILE_SIDE] = (uint8_t)ground_type(g, 2 * c + 1, 2 * r + 1);
    ok &= zvgen_write_file_gz(ZVGEN_TRACK_DIR "/tilemap", map, (size_t)TILE_SIDE * TILE_SIDE);
    zv_free(map);

    ok &= zvgen_printf_file(ZVGEN_TRACK_DIR "/tileinfo", "%s", TILEINFO_TEXT);
    // A warm afternoon sun, cool sky light, and a light haze of the sky's horizon colour. Ground
    // and bikes take the light alike: sun plus sky stay a little above 1 so sunlit dirt keeps
    // its colour instead of washing out.
    ok &= zvgen_printf_file(ZVGEN_TRACK_DIR "/lighting",
                            "sun_vector [ %.2f %.2f %.2f ]\n"
                            "sun_color [ 0.78 0.75 0.69 ]\n"
                            "ambient [ 0.32 0.34 0.37 ]\n"
                            "global_ambient [ 0.1 0.1 0.1 ]\n"
                            "fog [ 0.78 0.86 0.95 ] 0.0008\n"
                            "flare_element [ 0 1 ] [ 1 0.95 0.8 ] 0.3 @flare-glow.png\n"
                            "flare_element [ 0 0.45 ] [ 0.25 0.3 0.45 ] 0.06 @flare-ring.png\n"
                            "flare_element [ 0 -0.2 ] [ 0.3 0.25 0.15 ] 0.1 @flare-glow.png\n"
                            "flare_element [ 0 -0.7 ] [ 0.2 0.3 0.4 ] 0.16 @flare-ring.png\n"
                            "flare_vector [ %.2f %.2f %.2f ]\n",
                            SUN[0], SUN[1], SUN[2], SUN[0], SUN[1], SUN[2]);
    ok &= zvgen_printf_file(ZVGEN_TRACK_DIR "/nofrills.js", "%s", SCRIPT_TEXT);
    ok &= write_texture("hardpack.png", ZVGEN_GROUND_HARDPACK, 11);
    ok &= write_texture("loam.png", ZVGEN_GROUND_LOAM, 12);
    ok &= write_texture("sand.png", ZVGEN_GROUND_SAND, 13);
    ok &= write_texture("grass.png", ZVGEN_GROUND_GRASS, 14);
    ok &= write_centerline(g);
    return ok;
}

} // namespace

int zvgen_track(void) {
    track_gen g = {};
    size_t cells = (size_t)GRID * GRID;
    build_line(&g);
    g.height = (float *)zv_alloc(sizeof(float) * cells);
    g.best = (float *)zv_alloc(sizeof(float) * cells);
    g.nearest = (int *)zv_alloc(sizeof(int) * cells);
    g.lateral = (float *)zv_alloc(sizeof(float) * cells);
    g.along = (float *)zv_alloc(sizeof(float) * cells);
    stamp_line(&g);
    shape_heights(&g);
    platform_log("zvgen_track: lap of %.0f ft\n", g.length);
    int ok = write_track(&g);
    zv_free(g.line);
    zv_free(g.height);
    zv_free(g.best);
    zv_free(g.nearest);
    zv_free(g.lateral);
    zv_free(g.along);
    return ok;
}
