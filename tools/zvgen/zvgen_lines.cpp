// Robot lines of the default track at the three skills, laid along its racing line in lanes
// across the track and cut at the timing gates' major checkpoints. Speeds follow the line's
// curvature with a grip and a top speed per skill, so expert lines are faster than novice ones.
// The lines carry no test runs: robots rate them as they race. Written with the game's own
// lines writer.
#include <cmath>
#include <cstdio>

#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "robot/robot.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"
#include "zvgen.h"
#include "zvgen_track.h"

namespace {

const double SAMPLE_STEP = 6.0; // ft; a sample every quarter second near 24 ft/s
const float LANES[] = {-4.0f, 0.0f, 4.0f};
struct skill_speeds {
    double top, grip;    // ft/s, lateral acceleration / g
    double rough;        // ft/s over jumps, whoops and rhythm bumps
    double brake, accel; // ft/s^2 the speed may fall toward a slower place and rise after it
};
const skill_speeds SKILLS[3] = {
    {20, 0.30, 14, 8, 6}, {26, 0.38, 17, 10, 8}, {32, 0.46, 20, 12, 10}};
const double PROFILE_STEP = 1.0; // ft between speed profile points

// Arc length of the centre line point nearest to (x, z).
double arc_of(const track_centerline *c, float x, float z) {
    double best = 1e30, at = 0;
    double step = c->length / c->count;
    for (int i = 0; i < c->count; i++) {
        const track_centerline_point *p = &c->points[i];
        double d = (p->x - x) * (p->x - x) + (p->z - z) * (p->z - z);
        if (d < best) {
            best = d;
            at = i * step;
        }
    }
    return at;
}

double curve_speed(const track_centerline *c, double t, const skill_speeds *s) {
    track_centerline_point a = track_centerline_at(c, (float)(t - 8)),
                           p = track_centerline_at(c, (float)t),
                           b = track_centerline_at(c, (float)(t + 8));
    double h1 = atan2(p.z - a.z, p.x - a.x), h2 = atan2(b.z - p.z, b.x - p.x);
    double turn = fabs(remainder(h2 - h1, 2 * M_PI));
    double radius = turn > 1e-4 ? 8 / turn : 1e6;
    return fmin(s->top, sqrt(32 * s->grip * radius));
}

// How far the ground along the line bends up or down within 12 ft of t: jumps, whoops and bumps
// throw a bike at speed, so the line slows there.
double roughness(const track_centerline *c, double t) {
    double worst = 0;
    for (double u = t - 12; u <= t + 12; u += 2) {
        double y0 = track_centerline_at(c, (float)(u - 6)).y,
               y1 = track_centerline_at(c, (float)u).y,
               y2 = track_centerline_at(c, (float)(u + 6)).y;
        worst = fmax(worst, fabs(y1 - 0.5 * (y0 + y2)));
    }
    return worst;
}

// The skill's speed at every PROFILE_STEP of the lap: the corner and rough-ground limits, then
// braking before each slow place and accelerating after it, around the closed lap.
double *speed_profile(const track_centerline *c, const skill_speeds *s, int *count) {
    int n = (int)ceil(c->length / PROFILE_STEP);
    double *v = (double *)zv_alloc(sizeof(double) * (size_t)n);
    if (!v) return nullptr;
    for (int i = 0; i < n; i++) {
        double t = i * PROFILE_STEP;
        v[i] = curve_speed(c, t, s);
        double r = roughness(c, t);
        // Up to a quarter foot of bend rides at full speed, a foot or more at the rough speed.
        if (r > 0.25)
            v[i] = fmin(v[i], s->rough + (v[i] - s->rough) * fmax(0.0, 1 - (r - 0.25) / 0.75));
    }
    for (int i = 2 * n - 1; i >= 0; i--) { // braking toward a slow place: v^2 <= v_next^2 + 2 a d
        double next = v[(i + 1) % n];
        v[i % n] = fmin(v[i % n], sqrt(next * next + 2 * s->brake * PROFILE_STEP));
    }
    for (int i = 1; i < 2 * n; i++) { // accelerating out of it
        double prev = v[(i - 1) % n];
        v[i % n] = fmin(v[i % n], sqrt(prev * prev + 2 * s->accel * PROFILE_STEP));
    }
    *count = n;
    return v;
}

double profile_at(const double *v, int n, double t) {
    double u = fmod(t, n * PROFILE_STEP);
    if (u < 0) u += n * PROFILE_STEP;
    int i = (int)(u / PROFILE_STEP);
    double f = u / PROFILE_STEP - i;
    return v[i % n] * (1 - f) + v[(i + 1) % n] * f;
}

// One lane's line from arc t0 to t1; returns the sample count and the riding time in tics.
int lane_line(const track_centerline *c, double t0, double t1, float lane, const double *profile,
              int pn, robot_sample *out, int max, int *tics) {
    int n = (int)ceil((t1 - t0) / SAMPLE_STEP);
    if (n < 2) n = 2;
    if (n >= max) n = max - 1;
    double time = 0;
    for (int i = 0; i <= n; i++) {
        double t = t0 + (t1 - t0) * i / n;
        track_centerline_point a = track_centerline_at(c, (float)(t - 2)),
                               p = track_centerline_at(c, (float)t),
                               b = track_centerline_at(c, (float)(t + 2));
        double nx = -(b.z - a.z), nz = b.x - a.x, nl = hypot(nx, nz);
        nx = nl > 0 ? nx / nl : 0;
        nz = nl > 0 ? nz / nl : 0;
        double v = profile_at(profile, pn, t);
        out[i].pos[0] = (float)(p.x + nx * lane);
        out[i].pos[1] = p.y;
        out[i].pos[2] = (float)(p.z + nz * lane);
        out[i].speed = (float)v;
        out[i].roll = 0;
        if (i > 0) time += (t1 - t0) / n / v;
    }
    *tics = (int)lround(time * 128);
    return n + 1;
}

} // namespace

int zvgen_lines(void) {
    size_t len = 0, glen = 0;
    const uint8_t *text = zvgen_find_file(ZVGEN_TRACK_DIR "/centerline", &len);
    const uint8_t *gtext = zvgen_find_file(ZVGEN_TRACK_DIR "/timing_gates", &glen);
    track_centerline c;
    if (!text || !gtext || !track_centerline_parse((const char *)text, len, &c)) {
        platform_log("zvgen: no racing line or gates for the robot lines\n");
        return 0;
    }
    if (!gates_parse((const char *)gtext, glen)) {
        track_centerline_free(&c);
        gates_clear();
        return 0;
    }
    // Arc positions of the section ends: first lap, then the normal lap.
    int sf = gates.first_length, sn = gates.normal_length, sections = sf + sn;
    double *ends = (double *)zv_alloc(sizeof(double) * (size_t)(sections + 1));
    int k = 0;
    for (int e = 0; e < gates.first_count + gates.normal_count && ends; e++) {
        if (gates.sequence[e] >= GATES_MARK) continue;
        const gates_checkpoint *cp = &gates.checkpoints[gates.sequence[e]];
        ends[k++] = arc_of(&c, cp->origin[0], cp->origin[2]);
    }
    robot_sample *buf = (robot_sample *)zv_alloc(sizeof(robot_sample) * ROBOT_SAMPLES_MAX);
    int ok = ends && buf && k == sections;
    for (int skill = 0; skill < 3 && ok; skill++) {
        int pn = 0;
        double *profile = speed_profile(&c, &SKILLS[skill], &pn);
        ok = profile && robot_lines_reset(sf, sn);
        int tics[ROBOT_SECTIONS_MAX][3] = {};
        // First pass: section times; second: store with t2 over the following section.
        for (int pass = 0; pass < 2 && ok; pass++)
            for (int s = 0; s < sections && ok; s++) {
                double t0 = s == 0 ? 0 : s == sf ? ends[sf - 1] : ends[s - 1];
                double t1 = ends[s];
                if (s >= sf && t1 <= t0) t1 += c.length; // the lap line wraps past the start
                while (t1 <= t0)
                    t1 += c.length;
                for (int lane = 0; lane < 3; lane++) {
                    int n = lane_line(&c, t0, t1, LANES[lane], profile, pn, buf, ROBOT_SAMPLES_MAX,
                                      &tics[s][lane]);
                    if (pass == 0) continue;
                    int next = s + 1 < sections ? s + 1 : sf;
                    ok = robot_line_set(s, lane, buf, n, tics[s][lane],
                                        tics[s][lane] + tics[next][lane]);
                }
            }
        zv_free(profile);
        int out_len = 0;
        char *out = ok ? robot_lines_format(&out_len) : nullptr;
        char name[256];
        snprintf(name, sizeof name, ZVGEN_TRACK_DIR "/%s", robot_lines_file_name(skill));
        ok = out && zvgen_write_file(name, out, (size_t)out_len);
        zv_free(out);
    }
    robot_lines_free();
    zv_free(buf);
    zv_free(ends);
    track_centerline_free(&c);
    gates_clear();
    if (!ok) platform_log("zvgen: robot lines failed\n");
    return ok;
}
