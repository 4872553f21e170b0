// Starter lines: the path through the checkpoints, its speeds, and the headless ride whose laps
// are learned through the same calls race control makes for a human rider.
#include "robot/robot_starter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "bike/bike.h"
#include "platform/platform.h"
#include "race/race.h"
#include "robot/robot.h"
#include "robot/robot_race.h"
#include "track/track_gates.h"
#include "track/track_status.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

namespace {

const char *const STEP = "Making starter lines";
const char *const MODEL = "crf250(2008)";
const double SAMPLE_STEP = 5.0;  // ft between path samples
const int LAPS = 3;              // normal laps ridden after the first lap; two would cover them all
const int LAPS_MAX = 8;          // laps while a section still has no line (trouble there each lap)
const double STALL_SECONDS = 40; // without a gate passed the rider cannot get through
const double START_SPEED = 10;   // ft/s the path's speeds rise from at the start

struct skill_speeds {
    double grip;         // share of the ground's friction used in corners
    double top;          // ft/s
    double rough;        // ft/s over jumps and bumps
    double brake, accel; // ft/s^2 toward a slower place and after it
};
// The rider follows its path closely enough to use the grip and speeds the default track's
// lines are laid out with.
const skill_speeds SKILLS[3] = {
    {0.30, 20, 14, 8, 6}, {0.38, 26, 17, 10, 8}, {0.46, 32, 20, 12, 10}};

char problem[256];

struct point_list {
    double *x, *z, *dx, *dz; // position and unit direction of travel
    int *checkpoint;         // -1 for the start
    int count, cap;
};

int points_add(point_list *p, double x, double z, double dx, double dz, int cp) {
    if (p->count >= p->cap) {
        int cap = p->cap ? p->cap * 2 : 64;
        double **arrays[4] = {&p->x, &p->z, &p->dx, &p->dz};
        for (double **a : arrays) {
            double *t = (double *)zv_realloc(*a, sizeof(double) * (size_t)cap);
            if (!t) return 0;
            *a = t;
        }
        int *t = (int *)zv_realloc(p->checkpoint, sizeof(int) * (size_t)cap);
        if (!t) return 0;
        p->checkpoint = t;
        p->cap = cap;
    }
    p->x[p->count] = x;
    p->z[p->count] = z;
    p->dx[p->count] = dx;
    p->dz[p->count] = dz;
    p->checkpoint[p->count++] = cp;
    return 1;
}

void points_free(point_list *p) {
    zv_free(p->x);
    zv_free(p->z);
    zv_free(p->dx);
    zv_free(p->dz);
    zv_free(p->checkpoint);
    memset(p, 0, sizeof *p);
}

int inside_terrain(double x, double z) {
    return std::isfinite(x) && std::isfinite(z) && x > 1 && z > 1 && x < terrain.extent - 1 &&
           z < terrain.extent - 1;
}

void set_problem(const char *fmt, int value) {
    snprintf(problem, sizeof problem, fmt, value);
    zv_message_add("%s", problem);
}

// The start spot, then every checkpoint of the first lap and LAPS_MAX + 1 normal laps in riding
// order, each with the direction it is crossed in.
int gate_points(point_list *out, double sx, double sz, double heading) {
    if (!points_add(out, sx, sz, -std::sin(heading), -std::cos(heading), -1)) return 0;
    int entries = gates.first_count + (LAPS_MAX + 1) * gates.normal_count;
    for (int i = 0; i < entries; i++) {
        int e = i < gates.first_count
                    ? i
                    : gates.first_count + (i - gates.first_count) % gates.normal_count;
        int cp = gates_sequence_checkpoint(e);
        if (cp < 0 || cp >= gates.checkpoint_count) continue;
        const gates_checkpoint *c = &gates.checkpoints[cp];
        if (!inside_terrain(c->origin[0], c->origin[2])) {
            set_problem("Starter lines: checkpoint %d lies outside the terrain; robots stay held",
                        cp);
            return 0;
        }
        double px = out->x[out->count - 1], pz = out->z[out->count - 1];
        double dx = c->direction[0], dz = c->direction[2], l = std::hypot(dx, dz);
        if (!(l > 1e-6) || !std::isfinite(l)) {
            dx = c->origin[0] - px;
            dz = c->origin[2] - pz;
            l = std::hypot(dx, dz);
        }
        if (!(l > 1e-6)) continue; // the same place again
        if (std::hypot(c->origin[0] - px, c->origin[2] - pz) < 1) continue;
        if (!points_add(out, c->origin[0], c->origin[2], dx / l, dz / l, cp)) return 0;
    }
    return out->count >= 2;
}

// Samples every SAMPLE_STEP ft along Hermite curves from point to point, each leaving and
// reaching its points along their directions; *count receives the sample count.
robot_sample *sample_path(const point_list *p, int *count) {
    int cap = 1024, n = 0;
    robot_sample *s = (robot_sample *)zv_alloc(sizeof(robot_sample) * (size_t)cap);
    if (!s) return nullptr;
    double carried = 0, lx = p->x[0], lz = p->z[0];
    s[n++] = {{(float)lx, terrain_height((float)lx, (float)lz), (float)lz}, 0, 0};
    for (int k = 0; k + 1 < p->count; k++) {
        double ax = p->x[k], az = p->z[k], bx = p->x[k + 1], bz = p->z[k + 1];
        double chord = std::hypot(bx - ax, bz - az);
        double m0x = p->dx[k] * chord, m0z = p->dz[k] * chord;
        double m1x = p->dx[k + 1] * chord, m1z = p->dz[k + 1] * chord;
        int steps = (int)std::ceil(chord * 4) + 1;
        for (int i = 1; i <= steps; i++) {
            double t = (double)i / steps, t2 = t * t, t3 = t2 * t;
            double h00 = 2 * t3 - 3 * t2 + 1, h10 = t3 - 2 * t2 + t, h01 = -2 * t3 + 3 * t2,
                   h11 = t3 - t2;
            double x = h00 * ax + h10 * m0x + h01 * bx + h11 * m1x;
            double z = h00 * az + h10 * m0z + h01 * bz + h11 * m1z;
            carried += std::hypot(x - lx, z - lz);
            lx = x;
            lz = z;
            if (carried < SAMPLE_STEP) continue;
            carried = 0;
            if (!inside_terrain(x, z)) {
                zv_free(s);
                set_problem("Starter lines: the way to checkpoint %d leaves the terrain; robots "
                            "stay held",
                            p->checkpoint[k + 1]);
                return nullptr;
            }
            if (n >= cap) {
                if (cap >= ROBOT_SAMPLES_MAX * 4) break;
                cap *= 2;
                robot_sample *t = (robot_sample *)zv_realloc(s, sizeof(robot_sample) * (size_t)cap);
                if (!t) {
                    zv_free(s);
                    return nullptr;
                }
                s = t;
            }
            s[n++] = {{(float)x, terrain_height((float)x, (float)z), (float)z}, 0, 0};
        }
    }
    *count = n;
    return s;
}

// Radius of the circle through three points in the ground plane; 0 when they lie in a line.
double radius_through(const float *a, const float *b, const float *c) {
    double abx = b[0] - a[0], abz = b[2] - a[2], bcx = c[0] - b[0], bcz = c[2] - b[2];
    double cax = a[0] - c[0], caz = a[2] - c[2];
    double cross = std::fabs(abx * bcz - abz * bcx);
    if (cross < 1e-9) return 0;
    return std::hypot(abx, abz) * std::hypot(bcx, bcz) * std::hypot(cax, caz) / (2 * cross);
}

// Speeds along the path: corners by their radius and the ground's grip, jumps and bumps by how
// far the ground bends, then braking before each slow place and accelerating after it.
void path_speeds(robot_sample *s, int n, int skill) {
    const skill_speeds *k = &SKILLS[skill < 0 ? 0 : skill > 2 ? 2 : skill];
    for (int i = 0; i < n; i++) {
        const float *a = s[i >= 2 ? i - 2 : 0].pos, *c = s[i + 2 < n ? i + 2 : n - 1].pos;
        const tiles_type *t = tiles_type_at(s[i].pos[0], s[i].pos[2]);
        double mu = t ? t->friction_coef[0] : 1.0;
        double v = robot_starter_corner_speed(skill, radius_through(a, s[i].pos, c), mu);
        double bend = 0;
        for (int j = i - 2; j <= i + 2; j++) {
            if (j < 1 || j + 1 >= n) continue;
            bend =
                std::fmax(bend, std::fabs(s[j].pos[1] - 0.5 * (s[j - 1].pos[1] + s[j + 1].pos[1])));
        }
        // Up to a quarter foot of bend rides at full speed, a foot or more at the rough speed.
        if (bend > 0.25)
            v = std::fmin(v, k->rough + (v - k->rough) * std::fmax(0.0, 1 - (bend - 0.25) / 0.75));
        s[i].speed = (float)v;
    }
    for (int i = n - 2; i >= 0; i--)
        s[i].speed = (float)std::fmin(
            s[i].speed, std::sqrt(s[i + 1].speed * s[i + 1].speed + 2 * k->brake * SAMPLE_STEP));
    s[0].speed = (float)std::fmin(s[0].speed, START_SPEED);
    for (int i = 1; i < n; i++)
        s[i].speed = (float)std::fmin(
            s[i].speed, std::sqrt(s[i - 1].speed * s[i - 1].speed + 2 * k->accel * SAMPLE_STEP));
}

// Where the starter rider lines up: the middle spot of the start pad, which the riders' way out
// of the gate passes. 0 without spots.
int start_spot(double *x, double *z, double *heading) {
    if (gates.slot_count <= 0) return 0;
    const gates_slot *g = &gates.slots[gates.slot_count / 2];
    *x = g->pos[0];
    *z = g->pos[2];
    *heading = g->angle;
    return inside_terrain(*x, *z);
}

int free_slot(void) {
    for (int s = 0; s < RACE_SLOTS && s < BIKE_SLOTS; s++)
        if (!bike_world.bikes[s].present) return s;
    return -1;
}

// Sections from..to-1 of the store without a line.
int missing_between(int from, int to) {
    int missing = 0;
    for (int s = from; s < to && s < robot_lines.sections; s++) {
        int any = 0;
        for (int i = 0; i < ROBOT_SLOTS && !any; i++)
            any = robot_line_at(s, i)->count > 0;
        missing += !any;
    }
    return missing;
}

// The ride itself on a borrowed slot, the first lap and `laps` normal laps (more while a normal
// lap section still has no line); 0 when the rider could not get round (the problem is set).
int ride(int slot, const robot_sample *path, int count, double x, double z, double heading,
         int laps) {
    bike_record *b = bike_create(slot, MODEL, 1);
    if (!b) {
        set_problem("Starter lines: no bike for slot %d; robots stay held", slot);
        return 0;
    }
    bike_place(b, x, z, heading);
    race.lineup[slot] = RACE_ROBOT;
    race.status[slot] = RACE_ROBOT_DRIVEN;
    race.present[slot] = 1;
    race.viewed_slot = slot;
    robot_set_personality(slot, "mike", 1);
    robot_reset_slot(slot);
    robot_set_teacher(slot, 1);
    robot_riders[slot].close_follow = 1;
    robot_path_append(&robot_riders[slot].path, path, count);
    race_reset();
    // The gate drops just after the flagger mark: the wait at the gate teaches nothing.
    race.gate_drop_tic = RACE_FLAGGER_MARK + 64;
    bike_world.gate_drop_tic = -1;
    int target = gates.first_count + laps * gates.normal_count, last = 0, last_tic = 0, slowed = -1;
    int stall = (int)(STALL_SECONDS * 128);
    int ok = 0;
    for (;;) {
        race_tic();
        int p = race.riders[slot].progress;
        if (p != last) {
            // A checkpoint passed by is one the rider could not go through.
            int skipped = -1;
            for (int q = last; q < p && skipped < 0; q++)
                if (race_pass_tic(slot, q) < 0) skipped = q;
            if (skipped >= 0) {
                int cp = gates_sequence_checkpoint(race_position_entry(skipped));
                set_problem("Starter lines: the rider cannot reach checkpoint %d; robots stay held",
                            cp);
                break;
            }
            last = p;
            last_tic = race.tic;
        }
        int lap_sections = missing_between(robot_lines.first_sections, robot_lines.sections);
        if (p >= target && lap_sections == 0) {
            ok = 1;
            break;
        }
        if (p >= target && (p - gates.first_count) % gates.normal_count == 0 && p != slowed) {
            // A lap more for the sections still without a line, a tenth slower each time.
            slowed = p;
            robot_path *rp = &robot_riders[slot].path;
            for (int i = rp->progress; i < rp->count; i++)
                rp->samples[i].speed *= 0.9f;
        }
        if (p >= gates.first_count + LAPS_MAX * gates.normal_count) {
            ok = 1;
            break;
        }
        if (race.tic - (last_tic > race.gate_drop_tic ? last_tic : race.gate_drop_tic) > stall ||
            robot_riders[slot].path.progress >= robot_riders[slot].path.count - 1) {
            int cp = gates_sequence_checkpoint(race_position_entry(p));
            set_problem("Starter lines: the rider cannot reach checkpoint %d; robots stay held",
                        cp);
            break;
        }
        if ((race.tic & 255) == 0) track_status_progress(STEP, (double)p / target);
    }
    robot_set_teacher(slot, 0);
    robot_set_personality(slot, "empty", 1);
    robot_reset_slot(slot);
    bike_destroy(b);
    return ok;
}

} // namespace

double robot_starter_corner_speed(int skill, double r, double mu) {
    const skill_speeds *k = &SKILLS[skill < 0 ? 0 : skill > 2 ? 2 : skill];
    if (!(r > 0) || !std::isfinite(r)) return k->top;
    mu = std::isfinite(mu) ? std::fmin(std::fmax(mu, 0.1), 2.0) : 1.0;
    return std::fmin(k->top, std::sqrt(32 * k->grip * mu * r));
}

const char *robot_starter_problem(void) {
    return problem;
}

int robot_starter_needed(void) {
    if (robot_lines.sections == 0) return 0;
    return missing_between(0, robot_lines.sections) > 0;
}

int robot_starter_make(const char *dir, int skill) {
    problem[0] = 0;
    if (!gates.valid || robot_lines.sections == 0 || !bike_world.world || !dir) {
        set_problem("Starter lines: the track has no timing gates to ride; robots stay held", 0);
        return 0;
    }
    track_status_begin(STEP);
    double x, z, heading;
    int slot = free_slot();
    point_list points = {};
    robot_sample *path = nullptr;
    int count = 0;
    if (!start_spot(&x, &z, &heading)) {
        set_problem("Starter lines: the start pad lies outside the terrain; robots stay held", 0);
    } else if (slot >= 0 && gate_points(&points, x, z, heading) &&
               (path = sample_path(&points, &count)) != nullptr) {
        path_speeds(path, count, skill);
        // Everything the ride touches of the race is put back afterwards; its own gate passes
        // live in arrays of their own.
        static race_state saved;
        saved = race;
        race_step_hooks saved_steps = race_steps;
        for (int s = 0; s < RACE_SLOTS; s++) {
            race.riders[s].pass = nullptr;
            race.riders[s].pass_cap = 0;
            race.lineup[s] = RACE_EMPTY;
            race.status[s] = RACE_REPLAYED;
            race.present[s] = 0;
            race.robot_of[s] = -1;
        }
        race.network = race.time_trial = race.demo_playback = 0;
        race.time_limit = 0;
        race.laps = 1000; // nobody finishes: a finished rider teaches nothing
        race.erosion_rate = 0;
        race.remote_delay = 0;
        race.local_slot = 0;
        race_steps = race_step_hooks{};
        // The rider meets what a racer meets, the starting gate's boards among them, and the
        // boards go down at the drop.
        race_steps.contacts = saved_steps.contacts;
        race_steps.gate_object_turn = saved_steps.gate_object_turn;
        race_steps.robot_control = robot_race_control;
        race_steps.autopilot_learn = robot_race_learn;
        int learning = robot_learning;
        robot_learning = 1;
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        int rode = ride(slot, path, count, x, z, heading, LAPS);
        // The first lap's sections are ridden once a ride: trouble in one of them (a fall)
        // takes another start, a tenth slower each time.
        for (int again = 0; rode && again < 3 && missing_between(0, robot_lines.first_sections);
             again++) {
            for (int i = 0; i < count; i++)
                path[i].speed *= 0.9f;
            rode = ride(slot, path, count, x, z, heading, 1);
        }
        robot_learning = learning;
        race_free();
        race = saved;
        race_steps = saved_steps;
        // Wall time on a shared machine says little alone: the processor time goes with it.
        platform_log("Starter lines: %d sections, %s in %.2f s (%.2f s of processor time)\n",
                     robot_lines.sections, rode ? "ridden" : "not ridden",
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
                     (double)(std::clock() - c0) / CLOCKS_PER_SEC);
    } else if (slot < 0) {
        set_problem("Starter lines: no free rider slot; robots stay held", 0);
    }
    points_free(&points);
    zv_free(path);
    int whole = !robot_starter_needed(), missing = missing_between(0, robot_lines.sections);
    if (whole) {
        robot_lines_analyze(nullptr, nullptr);
        if (!robot_lines_save(dir, skill))
            platform_log("Starter lines: %s/%s not written\n", dir, robot_lines_file_name(skill));
    } else {
        // Half a lap of starter lines would only take robots to where they stop: the store goes
        // back to what the lines file holds.
        robot_lines.changed = 0;
        robot_lines_load(dir, skill);
    }
    if (!whole && !problem[0])
        set_problem("Starter lines: %d sections got no line; robots stay held there", missing);
    track_status_done(STEP);
    return whole;
}
