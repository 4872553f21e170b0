// The laws a robot rides by.
#include "base/zv_shared.h"
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_input.h"
#include "bike/bike_input_ride.h"
#include "robot/robot_geometry.h"
#include "robot/robot_ride.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

static const double RACE_START_FLAGGER_S = zv::FLAGGER_MARK_TICS * zv::TIC; // after race setup

using zv::clamp;
// Seconds of path a close follower steers ahead of itself at the usual reach of 2 samples.
static const double LOOK_AHEAD_S = 1.0;
// A robot jammed against another bike backs away after 5 s (2 s when the other bike stands in
// its way), for 2 s, at most every 6 s.
static const int JAM_TICS = 5 * 128, GIVE_WAY_TICS = 2 * 128, BACK_OFF_TICS = 2 * 128,
                 JAM_RETRY_TICS = 4 * 128;
// Below this a riding robot puts a foot down (ft/s): held up in traffic it stands instead of
// toppling onto the rider beside it.
static const double DAB_SPEED = 5.0;
// x moved toward 0 by d (a dead band that keeps the sign).
static double toward0(double x, double d) {
    return x > d ? x - d : x < -d ? x + d : 0;
}

float robot_random(robot_rider *r, float lo, float hi) {
    // xorshift32: small, seeded, the same on every machine.
    uint32_t x = r->rng ? r->rng : 0x9e3779b9u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r->rng = x;
    return lo + (hi - lo) * (float)((x >> 8) * (1.0 / 16777216.0));
}

void robot_rider_reset(robot_rider *r, int personality, uint32_t seed) {
    robot_path keep = r->path;
    memset(r, 0, sizeof *r);
    r->path = keep;
    robot_path_clear(&r->path);
    r->personality = personality;
    r->rng = seed;
    const robot_personality *p =
        &robot_personalities[personality > 0 && personality < ROBOT_PERSONALITIES ? personality
                                                                                  : 1];
    r->reaction = robot_random(r, p->reaction_lo, p->reaction_hi);
}

int robot_path_should_advance(const robot_path *p, const float pos[3], const double heading[2],
                              int first_recovery) {
    if (p->progress + 1 >= p->count) return 0;
    const robot_sample *cur = &p->samples[p->progress];
    double dx = cur->pos[0] - pos[0], dz = cur->pos[2] - pos[2];
    double dist = std::sqrt(dx * dx + dz * dz);
    if (dist > (first_recovery ? 30.0 : 60.0)) return 0;
    if (dist > 4 && p->progress > 0) {
        const robot_sample *prev = &p->samples[p->progress - 1];
        double sx = cur->pos[0] - prev->pos[0], sz = cur->pos[2] - prev->pos[2];
        // A segment pointing back against the bike is a loop in the path not reached yet.
        if (sx * sx + sz * sz > 1 && sx * heading[0] + sz * heading[1] < 0) return 0;
    }
    return 1;
}

void robot_speed_control(const robot_speed_in *in, robot_controls *out) {
    if (in->rear_contact) {
        double v = in->v, u = in->target;
        if (v < u - 1) {
            out->throttle = 1;
            out->front_brake = out->rear_brake = 0;
        } else if (v < u) {
            out->throttle = (float)(u - v);
            out->front_brake = out->rear_brake = 0;
        } else {
            out->throttle = 0;
            out->front_brake = out->rear_brake = (float)clamp<double>(v - u, 0, 1);
        }
        if (in->gear > 0)
            out->clutch = 1;
        else
            out->clutch = (float)clamp<double>((in->rpm - (in->downshift_rpm - 1000)) / 1000, 0, 1);
        return;
    }
    out->front_brake = out->rear_brake = 0;
    if ((in->front_above_rear < 0 && in->pitch_rate < 0) || in->pitch_rate < -M_PI / 4) {
        // Driving the rear wheel lifts the nose.
        out->throttle = 1;
        out->clutch = 0.125f;
        return;
    }
    out->throttle = 0;
    out->clutch = 0.125f;
    if (in->front_above_rear > 1 && in->pitch_rate >= -M_PI / 8) {
        // Braking the spinning rear wheel drops the nose.
        out->rear_brake = 1;
        out->clutch = 0;
    }
}

double robot_turn_radius(double v, double k, double roll) {
    double t = std::tan(roll);
    if (std::fabs(t) < 1e-9 || v == 0) return 0; // upright or still: no turn, no division
    return -v * v / (32 * k * t);
}

double robot_low_speed_fade(double v) {
    return clamp<double>((v - 7.5) / 2.5, 0, 1);
}

double robot_target_lean(double v, double r, double k) {
    if (r == 0 || !std::isfinite(r)) return 0;
    return std::atan2(-v * v / r, 32 * k) * robot_low_speed_fade(v);
}

double robot_load_factor(double vertical_force, double total_mass) {
    if (!(total_mass > 0) || !std::isfinite(vertical_force)) return 1;
    return std::fmax(1.0, vertical_force / (32 * total_mass) - 1);
}

double robot_bars_to_path(double travel_angle, double steer_angle, double steer_rate) {
    double p = toward0(clamp<double>(travel_angle - steer_angle, -0.25, 0.25), 1.0 / 32);
    double q = toward0(8 * p - steer_rate, 1.0 / 2400);
    return q < -4.0 / 3 ? -2.0 / 3 : q > 4.0 / 3 ? 2.0 / 3 : q / 2;
}

void robot_steer(const robot_steer_in *in, robot_steer_out *out) {
    double v = in->v, k = in->k > 1 ? in->k : 1;
    double c = clamp<double>((20.0 - in->straight) / 17, 0, 1);
    double gain = 4 * c, rate_limit = c * M_PI / k;
    // Path radius: the circle that leaves the bike along its velocity and passes through the
    // look-ahead point pushed out by twice its miss of the circle the bike rides now.
    double r;
    if (in->t_ahead <= 0)
        r = in->t_lat >= 0 ? 10 : -10;
    else {
        double rho = robot_turn_radius(v, k, in->roll); // positive: centre to the right
        double pc_lat = 0, pc_ahead = in->t_ahead;      // upright: the circle is the straight line
        if (rho != 0) {
            double dl = in->t_lat - rho, da = in->t_ahead, d = std::hypot(dl, da);
            pc_lat = d > 1e-9 ? rho + std::fabs(rho) * dl / d : in->t_lat;
            pc_ahead = d > 1e-9 ? std::fabs(rho) * da / d : in->t_ahead;
        }
        double a_lat = in->t_lat + 2 * (in->t_lat - pc_lat),
               a_ahead = in->t_ahead + 2 * (in->t_ahead - pc_ahead);
        if (std::fabs(a_lat) < 1e-6) a_lat = a_lat < 0 ? -1e-6 : 1e-6;
        r = (a_lat * a_lat + a_ahead * a_ahead) / (2 * a_lat);
    }
    double lean = std::atan2(-v * v / r, 32 * k);
    double target = in->target;
    // The ground's grip along the next samples bounds the lean; a bounded lean bounds the speed.
    int limited = 0;
    for (int i = 0; i < in->grip_count && i < 8; i++) {
        double l = clamp<double>(lean, in->grip_lo[i], in->grip_hi[i]);
        if (l != lean) limited = 1;
        lean = l;
    }
    if (limited)
        target = std::fmin(target, std::sqrt(32 * k * std::fabs(r) * std::tan(std::fabs(lean))));
    double e = in->front_contact ? clamp<double>(1 - in->front_slip / 16, 0, 1) : 1;
    double fade = robot_low_speed_fade(v);
    lean *= fade;
    e = 1 + (e - 1) * fade;
    if (in->time_left < 3) {
        // The path is running out: straighten up, let the throttle through, hold the speed.
        double o = clamp<double>((3 - in->time_left) / 2, 0, 1);
        e += (1 - e) * o;
        double lim = M_PI / 2 - 7 * M_PI / 16 * o;
        lean = clamp<double>(lean, -lim, lim);
        target += (std::fmax(in->sample_speed + 2, v) - target) * o;
        rate_limit += (M_PI / 8 - rate_limit) * clamp<double>((3 - in->time_left) / 3, 0, 1);
    }
    double w = gain * (lean - in->roll);
    double lim = w * in->roll < 0 ? 2 * rate_limit : rate_limit; // righting the bike may go faster
    double omega = clamp<double>(w, -lim, lim);
    double s0 = robot_bars_to_path(in->travel_angle, in->steer_angle, in->steer_rate);
    double steering = s0;
    if (in->front_contact) {
        // A lean-rate controller while the front tire grips; the bars follow the wheel's path
        // as it slides.
        double kk = clamp<double>((4 - in->front_slip) / 4, 0, 1);
        steering =
            clamp<double>(s0 + kk * (4 * toward0(in->roll_rate - omega, 1.0 / 8) - s0), -1, 1);
    }
    out->radius = r;
    out->lean = lean;
    out->omega = omega;
    out->steering = steering;
    out->target = target;
    out->traction = e;
    out->restricted_lock = 1 + 4 * std::fmin(std::fabs(omega) / M_PI, 1);
    out->grip_limited = limited;
}

double robot_traffic_target(double target, double v, double g, double d, double t, int *forget) {
    double s =
        clamp<double>((t - 3) / 2, 0, 1) * clamp<double>((120 - std::fmin(t, 100)) / 100, 0, 1);
    double gap = 12 + 8 * s;
    if (forget) *forget = 0;
    if (d < gap) return std::fmin(target, g * (1 - 0.25 * s));
    if (target > g) {
        double tau = (v - g) / 5;
        double gp = d + g * tau - v * tau + 2.5 * tau * tau;
        if (gp < gap) {
            if (forget) *forget = 1;
            target += (g - target) * clamp<double>((gap - gp) / 3, 0, 1);
        }
    }
    return target;
}

int robot_start_control(robot_rider *r, double time, double flagger, double drop, int held,
                        robot_controls *out) {
    if (time >= drop + 5 && !held) return 0;
    double go = drop + r->reaction;
    if (time >= go && time < go + 2) {
        double y = clamp<double>(4 * (time - go), 0, 1);
        out->throttle = 1;
        out->clutch = (float)y;
        out->sit_dab = (float)(1 - y);
        out->front_brake = out->rear_brake = 0;
        out->steering = 0;
        r->auto_shift = y >= 0.75;
        return 1;
    }
    if (time >= go + 2) {
        r->auto_shift = 1;
        return 0;
    }
    out->sit_dab = 1;
    out->clutch = 0;
    out->front_brake = out->rear_brake = 1;
    out->steering = 0;
    r->auto_shift = 0;
    if (time < flagger) {
        if (r->start_timer == 0) r->start_timer = robot_random(r, 0, 2);
        if (r->start_timer > 0 && time >= r->start_timer)
            r->start_timer = -(float)(time + robot_random(r, 0.25f, 0.75f)); // blip until then
        if (r->start_timer < 0 && time >= -r->start_timer)
            r->start_timer = (float)std::fmin(time + robot_random(r, 2, 2.5f), flagger);
        out->throttle = r->start_timer < 0 ? 1 : 0;
        return 1;
    }
    if (r->launch_open == 0) r->launch_open = (float)(flagger + robot_random(r, 0.125f, 0.5f));
    out->throttle = time >= r->launch_open ? 1 : 0;
    return 1;
}

int robot_recovery_stage(int tics_since_advance, int tics_since_setup, int recovery) {
    double s = tics_since_advance * bike_tic;
    if (s >= 40) return 3;
    if (recovery > 0 && s >= 19) return 2;
    if (recovery > 0) return 1;
    if (s >= 3 && tics_since_setup * bike_tic >= 33) return 1;
    return 0;
}

static double recovery_limit(double v) {
    return v < 10 ? 1.0 / 6 : v > 20 ? 0.5 : 1.0 / 6 + (v - 10) / 10 * (0.5 - 1.0 / 6);
}

double robot_recovery_lean(double v, double lat, double ahead) {
    double u = recovery_limit(v);
    // Positive lateral offset is to the left, where a positive roll leans.
    if (std::fabs(lat) > ahead) return lat > 0 ? u : -u;
    return clamp<double>(lat / (2 * ahead), -u, u);
}

double robot_recovery_speed(double v, double roll) {
    return v < 10 && std::fabs(roll) > 1.0 / 6 ? 5 : 15;
}

// ---- the per-tic update ---------------------------------------------------------------------

static void hold_bike(bike_record *b, robot_controls *c) {
    c->throttle = 0;
    c->clutch = 0;
    c->front_brake = c->rear_brake = 1;
    c->steering = 0;
    c->sit_dab = bike_crashed(b) ? 0 : 1;
}

// Horizontal look-ahead point at fractional index a along the path.
static void path_point(const robot_path *p, double a, double out[3]) {
    int i = (int)std::floor(a);
    if (i < 0) i = 0;
    if (i >= p->count - 1) {
        for (int k = 0; k < 3; k++)
            out[k] = p->samples[p->count - 1].pos[k];
        return;
    }
    double f = a - i;
    for (int k = 0; k < 3; k++)
        out[k] = p->samples[i].pos[k] * (1 - f) + p->samples[i + 1].pos[k] * f;
}

// Horizontal travel direction of a bike: its velocity, or its heading when nearly still.
static void travel_dir(const bike_record *b, double out[2]) {
    const dReal *vel = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double h = std::hypot(vel[0], vel[2]);
    if (h > 0.5) {
        out[0] = vel[0] / h;
        out[1] = vel[2] / h;
        return;
    }
    dVector3 f;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, -1, f);
    double l = std::hypot(f[0], f[2]);
    out[0] = l > 1e-9 ? f[0] / l : 0;
    out[1] = l > 1e-9 ? f[2] / l : -1;
}

struct corridor {
    double c[2]; // centre
    double u[2]; // along
    double half_len, half_wid;
};

// The strip from 4 ft behind a bike to (speed + 4) ft ahead of it, 4 ft wide.
static corridor corridor_of(const double pos[2], const double dir[2], double speed) {
    corridor k;
    double back = 4, front = speed + 4;
    k.half_len = (back + front) / 2;
    k.half_wid = 2;
    k.u[0] = dir[0];
    k.u[1] = dir[1];
    double mid = (front - back) / 2;
    k.c[0] = pos[0] + dir[0] * mid;
    k.c[1] = pos[1] + dir[1] * mid;
    return k;
}

// Separating axes of two rectangles: no axis of either separates them.
static int corridors_overlap(const corridor *a, const corridor *b) {
    const corridor *k[2] = {a, b};
    double d[2] = {b->c[0] - a->c[0], b->c[1] - a->c[1]};
    for (int i = 0; i < 2; i++)
        for (int side = 0; side < 2; side++) {
            double ax[2] = {side ? -k[i]->u[1] : k[i]->u[0], side ? k[i]->u[0] : k[i]->u[1]};
            double reach = 0;
            for (int j = 0; j < 2; j++) {
                double along = std::fabs(ax[0] * k[j]->u[0] + ax[1] * k[j]->u[1]);
                double across = std::fabs(-ax[0] * k[j]->u[1] + ax[1] * k[j]->u[0]);
                reach += k[j]->half_len * along + k[j]->half_wid * across;
            }
            if (std::fabs(d[0] * ax[0] + d[1] * ax[1]) > reach) return 0;
        }
    return 1;
}

int robot_traffic_find(const bike_record *b, double rho, double *distance, double *course_speed) {
    if (!b->body[BIKE_FRAME]) return 0;
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double me[2] = {p[0], p[2]}, dir[2];
    travel_dir(b, dir);
    corridor mine = corridor_of(me, dir, std::hypot(v[0], v[2]));
    double mine_reach = std::hypot(v[0], v[2]) + 4.5;
    double best = 1e30;
    const bike_record *near = nullptr;
    for (int i = 0; i < bike_world.present_count; i++) {
        const bike_record *o = &bike_world.bikes[bike_world.present_slots[i]];
        if (o == b || !o->body[BIKE_FRAME]) continue;
        const dReal *op = dBodyGetPosition(o->body[BIKE_FRAME]);
        const dReal *ov = dBodyGetLinearVel(o->body[BIKE_FRAME]);
        double there[2] = {op[0], op[2]}, odir[2];
        double dx = there[0] - me[0], dz = there[1] - me[1];
        double h = dx * dx + dz * dz;
        if (h >= best) continue;
        // Each corridor lies within (speed + 4.5) ft of its rider: farther apart, no overlap.
        // |vx| + |vz| bounds the speed, which turns most of the field away without a root.
        double bound = mine_reach + std::fabs(ov[0]) + std::fabs(ov[2]) + 4.5;
        if (h > bound * bound) continue;
        double reach = mine_reach + std::sqrt(ov[0] * ov[0] + ov[2] * ov[2]) + 4.5;
        if (h > reach * reach) continue;
        travel_dir(o, odir);
        if (dx * (dir[0] + odir[0]) + dz * (dir[1] + odir[1]) <= 0) continue; // not ahead
        corridor theirs = corridor_of(there, odir, std::hypot(ov[0], ov[2]));
        if (!corridors_overlap(&mine, &theirs)) continue;
        best = h;
        near = o;
    }
    if (!near) return 0;
    const dReal *op = dBodyGetPosition(near->body[BIKE_FRAME]);
    const dReal *ov = dBodyGetLinearVel(near->body[BIKE_FRAME]);
    double g;
    if (rho == 0) {
        g = ov[0] * dir[0] + ov[2] * dir[1]; // riding straight: the course is the heading
    } else {
        // Its speed around the robot's turning centre (rho to the right of the robot).
        double cx = me[0] - dir[1] * rho, cz = me[1] + dir[0] * rho;
        double ux = op[0] - cx, uz = op[2] - cz, ul = std::hypot(ux, uz);
        double tx = ov[0], tz = ov[2];
        if (ul > 1e-9) {
            double radial = (tx * ux + tz * uz) / (ul * ul);
            tx -= radial * ux;
            tz -= radial * uz;
        }
        g = tx * dir[0] + tz * dir[1] > 0 ? std::hypot(tx, tz) : 0;
    }
    double dx = op[0] - p[0], dy = op[1] - p[1], dz = op[2] - p[2];
    *distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    *course_speed = g > 0 ? g : 0;
    return 1;
}

// Whether another bike stands in this one's way: its frame within 8 ft (about a bike's length),
// ahead within 45 degrees of the heading (pos the frame, heading its horizontal unit direction).
static int bike_in_the_way(const bike_record *b, const dReal *pos, const double heading[2]) {
    for (int i = 0; i < bike_world.present_count; i++) {
        const bike_record *o = &bike_world.bikes[bike_world.present_slots[i]];
        if (o == b || !o->body[BIKE_FRAME]) continue;
        const dReal *q = dBodyGetPosition(o->body[BIKE_FRAME]);
        double dx = q[0] - pos[0], dz = q[2] - pos[2];
        double ahead = dx * heading[0] + dz * heading[1];
        double lat = -dx * heading[1] + dz * heading[0];
        if (ahead > 0 && ahead >= std::fabs(lat) && dx * dx + dz * dz < 8.0 * 8.0) return 1;
    }
    return 0;
}

void robot_recovery_lift(bike_record *b, const float target[3]) {
    if (!b->body[BIKE_FRAME] || !b->body[BIKE_FRONT_WHEEL]) return;
    dBodyAddForce(b->body[BIKE_FRAME], 0, 16.0 * b->total_mass, 0);
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    const dReal *fv = dBodyGetLinearVel(b->body[BIKE_FRONT_WHEEL]);
    double dx = target[0] - fp[0], dz = target[2] - fp[2], l = std::hypot(dx, dz);
    double tx = l > 1e-6 ? 5 * dx / l : 0, tz = l > 1e-6 ? 5 * dz / l : 0;
    double fx, fz;
    bike_input_hold_force(fv[0] - tx, fv[2] - tz, 2000, &fx, &fz);
    if (std::isfinite(fx) && std::isfinite(fz)) dBodyAddForce(b->body[BIKE_FRONT_WHEEL], fx, 0, fz);
}

// Where the bike is along the path: the index of the nearest point of the segments around the
// progress, with the fraction between samples.
static double fractional_progress(const robot_path *p, const double pos[3]) {
    double best = 1e30, at = p->progress;
    for (int i = p->progress - 1; i <= p->progress; i++) {
        if (i < 0 || i + 1 >= p->count) continue;
        const robot_sample *a = &p->samples[i], *c = &p->samples[i + 1];
        double ex = c->pos[0] - a->pos[0], ez = c->pos[2] - a->pos[2], l2 = ex * ex + ez * ez;
        double f =
            l2 > 1e-9
                ? clamp<double>(((pos[0] - a->pos[0]) * ex + (pos[2] - a->pos[2]) * ez) / l2, 0, 1)
                : 0;
        double dx = a->pos[0] + f * ex - pos[0], dz = a->pos[2] + f * ez - pos[2];
        if (dx * dx + dz * dz < best) {
            best = dx * dx + dz * dz;
            at = i + f;
        }
    }
    return at;
}

// The nearest point of the path from the one found last up to the progress index (never
// backward, so a path that loops past itself is not cut short).
static double nearest_progress(robot_rider *r, const double pos[3]) {
    const robot_path *p = &r->path;
    int from = (int)r->follow_at;
    if (from < 0 || from >= p->count) from = 0;
    double best = 1e30, at = from;
    for (int i = from; i <= p->progress && i < from + 40; i++) {
        if (i + 1 >= p->count) break;
        const robot_sample *a = &p->samples[i], *c = &p->samples[i + 1];
        double ex = c->pos[0] - a->pos[0], ez = c->pos[2] - a->pos[2], l2 = ex * ex + ez * ez;
        double f =
            l2 > 1e-9
                ? clamp<double>(((pos[0] - a->pos[0]) * ex + (pos[2] - a->pos[2]) * ez) / l2, 0, 1)
                : 0;
        double dx = a->pos[0] + f * ex - pos[0], dz = a->pos[2] + f * ez - pos[2];
        if (dx * dx + dz * dz < best) {
            best = dx * dx + dz * dz;
            at = i + f;
        }
    }
    r->follow_at = at;
    return at;
}

// The lean range the ground allows at (x, z): the tile's grip about the current roll less the
// ground's bank under the bike.
static void grip_range(dBodyID frame, double roll, double x, double z, double *lo, double *hi) {
    const tiles_type *t = tiles_type_at((float)x, (float)z);
    double mu = t ? t->friction_coef[0] : 1.0;
    double psi = std::fmin(std::atan(mu > 0 ? mu : 0), 1.1780972);
    float n[3];
    terrain_normal((float)x, (float)z, n);
    dVector3 nb;
    dBodyVectorFromWorld(frame, n[0], n[1], n[2], nb);
    double beta = roll - std::atan2(nb[0], nb[1]);
    *lo = beta - psi;
    *hi = beta + psi;
}

// Normal riding along the path: traffic, steering, speed. Returns the target roll rate.
static double ride_path(bike_record *b, robot_rider *r, double v, double roll, double drop,
                        robot_speed_in *si, robot_controls *c) {
    robot_path *p = &r->path;
    const dReal *pos = dBodyGetPosition(b->body[BIKE_FRAME]);
    double dir[2];
    travel_dir(b, dir);
    double right[2] = {-dir[1], dir[0]};
    double here[3] = {pos[0], pos[1], pos[2]};
    double frac = r->close_follow ? nearest_progress(r, here) : fractional_progress(p, here);
    // Target speed: the path's speed at the bike's place along it.
    int i0 = (int)frac;
    if (i0 >= p->count - 1) i0 = p->count - 2;
    double f = frac - i0;
    double target =
        std::fabs(p->samples[i0].speed) * (1 - f) + std::fabs(p->samples[i0 + 1].speed) * f;
    target *= 1 + r->push;

    double fy = 0;
    for (int w = 0; w < 2; w++)
        if (b->tire[w].depth > 0) fy += b->tire[w].feedback.f1[1];
    double k = robot_load_factor(fy, b->total_mass);
    double rho = robot_turn_radius(v, k, roll);

    // Traffic ahead.
    double distance, g;
    if (robot_traffic_find(b, rho, &distance, &g)) {
        int forget = 0;
        target =
            robot_traffic_target(target, v, g, distance, bike_world.tic * bike_tic - drop, &forget);
        if (forget) robot_path_forget_picks(p);
    }

    robot_steer_in in = {};
    in.v = v;
    in.k = k;
    in.roll = roll;
    in.roll_rate = bike_input_roll_rate(b);
    for (int i = p->progress + 1; i <= p->progress + 6 && i < p->count; i++) {
        double dx = p->samples[i].pos[0] - pos[0], dz = p->samples[i].pos[2] - pos[2];
        double ahead = dx * dir[0] + dz * dir[1], lat = dx * right[0] + dz * right[1];
        in.straight += ahead > 0 && std::fabs(lat) <= ahead / 8;
    }
    double reach = b->gates_passed == 0 ? 4 : in.straight > 4 && std::fabs(roll) < M_PI / 8 ? 3 : 2;
    if (r->close_follow) {
        // A close follower's path is sampled every few feet, not every quarter second: reach
        // counted in samples would look a few feet ahead, and at speed the bike weaves.
        double want = v * LOOK_AHEAD_S * reach / 2, along = 0;
        int i = (int)frac;
        while (i + 1 < p->count && along < want) {
            along += robot_horizontal_distance(p->samples[i].pos, p->samples[i + 1].pos);
            i++;
        }
        if (i - frac > reach) reach = i - frac;
    }
    double la[3];
    path_point(p, frac + reach, la);
    double tx = la[0] - pos[0], tz = la[2] - pos[2];
    in.t_ahead = tx * dir[0] + tz * dir[1];
    in.t_lat = tx * right[0] + tz * right[1];
    for (int i = p->progress + 4; i >= p->progress; i--) {
        const robot_sample *s = &p->samples[i < p->count ? i : p->count - 1];
        grip_range(b->body[BIKE_FRAME], roll, s->pos[0], s->pos[2], &in.grip_lo[in.grip_count],
                   &in.grip_hi[in.grip_count]);
        in.grip_count++;
    }
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    const dReal *fv = dBodyGetLinearVel(b->body[BIKE_FRONT_WHEEL]);
    grip_range(b->body[BIKE_FRAME], roll, fp[0] + 0.25 * fv[0], fp[2] + 0.25 * fv[2],
               &in.grip_lo[in.grip_count], &in.grip_hi[in.grip_count]);
    in.grip_count++;
    in.travel_angle = bike_input_front_travel_angle(b);
    in.steer_angle = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    in.steer_rate = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_STEER]);
    in.front_contact = b->tire[0].depth > 0;
    const double *u = b->tire[0].vel;
    in.front_slip = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const robot_sample *cur = &p->samples[p->progress];
    double cx = cur->pos[0] - pos[0], cz = cur->pos[2] - pos[2];
    in.time_left = v > 0.1 ? std::hypot(cx, cz) / v + 0.25 * (p->count - 1 - p->progress) : 1e9;
    in.sample_speed = std::fabs(cur->speed);
    in.target = target;
    robot_steer_out out;
    robot_steer(&in, &out);
    if (out.grip_limited) r->grip_tic = bike_world.tic;
    si->target = out.target;
    robot_speed_control(si, c);
    c->throttle = (float)(c->throttle * out.traction);
    c->steering = (float)out.steering;
    c->sit_dab = v < DAB_SPEED ? 1 : 0;
    return out.omega;
}

void robot_finish(robot_rider *r) {
    robot_path *p = &r->path;
    r->finished = 1;
    int n = p->count - p->progress;
    for (int i = 0; i < n; i++) {
        float f = n > 1 ? 1.0f - 0.75f * (float)i / (float)(n - 1) : 0.25f;
        p->samples[p->progress + i].speed *= f;
    }
}

void robot_update(bike_record *b, robot_rider *r) {
    robot_controls c = {b->ctl.throttle,   b->ctl.clutch,   b->ctl.front_brake,
                        b->ctl.rear_brake, b->ctl.steering, b->ctl.sit_dab};
    double omega = 0; // target roll rate of normal riding, for the lock values
    int backing = 0;  // backing away from a bike it is jammed against
    const dReal *pos = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *vel = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    dVector3 fwd, right, av;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, -1, fwd);
    dBodyVectorToWorld(b->body[BIKE_FRAME], 1, 0, 0, right);
    const dReal *w = dBodyGetAngularVel(b->body[BIKE_FRAME]);
    dBodyVectorFromWorld(b->body[BIKE_FRAME], w[0], w[1], w[2], av);
    double v = std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
    double hl = std::sqrt(fwd[0] * fwd[0] + fwd[2] * fwd[2]);
    double heading[2] = {hl > 1e-9 ? fwd[0] / hl : 0, hl > 1e-9 ? fwd[2] / hl : -1};
    double roll = bike_roll(b->body[BIKE_FRAME]);
    int tic = bike_world.tic;
    double time = tic * bike_tic;
    double drop = bike_world.gate_drop_tic >= 0 ? bike_world.gate_drop_tic * bike_tic : 1e9;
    float fpos[3] = {(float)pos[0], (float)pos[1], (float)pos[2]};

    // Keep a line ahead.
    robot_path *p = &r->path;
    if (!r->finished && p->count - p->progress < 10) {
        robot_pick_input in = {};
        in.section = p->sections_entered;
        in.mode = robot_personality_mode(r->personality, r->gap);
        in.tic = tic;
        in.race_time = time - drop;
        memcpy(in.pos, fpos, sizeof fpos);
        if (robot_pick(p, &in) >= 0) p->sections_entered++;
    }

    if (robot_start_control(r, time, RACE_START_FLAGGER_S, drop, bike_world.gate_drop_tic < 0,
                            &c)) {
        if (time < drop + r->reaction)
            b->engine.gear = b->m && b->m->engine.gear_ratio[1] > 0 ? 1 : 0;
    } else if (p->count == 0 || p->progress >= p->count - 1) {
        hold_bike(b, &c);
    } else {
        int first = r->recovery > 0 && r->last_advance_tic < tic - 1;
        if (robot_path_should_advance(p, fpos, heading, first && r->recovery == 3)) {
            p->progress++;
            r->last_advance_tic = tic;
            if (r->recovery > 0) r->recovery--;
        }
        int stage = robot_recovery_stage(tic - r->last_advance_tic, tic, r->recovery);
        if (stage == 3) {
            p->progress = tic % p->count;
            r->last_advance_tic = tic;
        } else if (stage > 0 && r->recovery == 0) {
            r->recovery = 3;
        }
        const robot_sample *cur = &p->samples[p->progress];
        double dx = cur->pos[0] - pos[0], dz = cur->pos[2] - pos[2];
        double ahead = dx * heading[0] + dz * heading[1];
        double lat = -(dx * -heading[1] + dz * heading[0]); // positive to the left
        int rear_contact = b->tire[1].depth > 0;
        robot_speed_in si = {};
        si.v = v;
        si.rear_contact = rear_contact;
        si.gear = b->engine.gear;
        si.rpm = b->engine.omega * 60 / (2 * M_PI);
        si.downshift_rpm = b->m ? b->m->engine.downshift_rpm : 0;
        si.pitch_rate = av[0];
        si.front_above_rear = b->tire[0].pos[1] - b->tire[1].pos[1];
        double lean;
        // Two bikes locked together push against each other and neither moves: a front wheel
        // resting on the bike ahead, which cannot drive out from under it while the one behind
        // waits for it, or two robots each riding for a sample behind the other. The one behind
        // gives way after 2 s; any robot jammed for 5 s backs away. Backing lasts 2 s and is
        // tried again every 6 s.
        int jammed = stage < 2 && b->bike_contact_tic == tic && v < 1 && !bike_crashed(b);
        int since = tic - r->last_advance_tic;
        if (jammed && since >= GIVE_WAY_TICS && tic >= r->back_off_until + JAM_RETRY_TICS &&
            (since >= JAM_TICS || bike_in_the_way(b, pos, heading)))
            r->back_off_until = tic + BACK_OFF_TICS;
        backing = stage < 2 && tic < r->back_off_until;
        if (backing) {
            c.throttle = c.clutch = c.front_brake = c.rear_brake = c.steering = 0;
            c.sit_dab = 1;
        } else if (stage == 2) {
            // Long stuck (a bike lying on its side never counts as crashed): lift the frame and
            // drag the front wheel toward the sample, bars centred, nothing driven.
            robot_recovery_lift(b, cur->pos);
            double d = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
            double dr = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_STEER]);
            c.steering = (float)clamp<double>(-(d + dr) / 4, -1, 1);
            c.sit_dab = 1;
            c.clutch = 0;
            c.throttle = c.front_brake = c.rear_brake = 0;
            r->last_throttle = 0;
        } else if (stage > 0 || r->recovery > 0) {
            si.target = robot_recovery_speed(v, roll);
            lean = robot_recovery_lean(v, lat, std::fmax(ahead, 1e-3));
            robot_speed_control(&si, &c);
            double rate = 4 * clamp<double>(lean - roll, -1, 1);
            double s = 2 * (av[2] - rate);
            c.steering = (float)(std::fabs(s) > 0.5 ? (s > 0 ? 1 : -1) : s);
            c.sit_dab = v < 10 ? 1 : 0;
            if (ahead >= 4 * std::fabs(lat) && p->count - p->progress > 8 && stage == 1) {
                // Well ahead again: the counter runs down with each advance.
            } else {
                r->recovery = 3;
            }
        } else {
            omega = ride_path(b, r, v, roll, drop, &si, &c);
        }
        // Just after a grip-limited tic the throttle comes back slowly; otherwise it is let off
        // slowly, so the rear wheel keeps its grip either way.
        if (stage != 2) {
            const float step = 1.0f / 32;
            if (tic - r->grip_tic <= 16 && r->grip_tic > 0) {
                if (c.throttle > r->last_throttle + step) c.throttle = r->last_throttle + step;
            } else if (c.throttle < r->last_throttle - step) {
                c.throttle = r->last_throttle - step;
            }
        }
        if (bike_crashed(b)) c.throttle = c.sit_dab = 0;
    }
    r->last_throttle = c.throttle;
    // Robots ride simulation physics (their control assumes real crash detection and steering)
    // with every aid: no wheelies or stoppies, no locked wheels.
    b->applied.arcade = 0;
    b->applied.flags |= BIKE_FLAG_STOP_WHEELIES | BIKE_FLAG_STOP_STOPPIES |
                        BIKE_FLAG_FRONT_ANTILOCK | BIKE_FLAG_REAR_ANTILOCK;
    // The robot's own lock values: bars free at walking pace, a lock that opens with the roll
    // rate it asks for.
    b->applied.full_lock_speed = 1;
    b->applied.restricted_lock_speed = 50;
    b->applied.restricted_lock =
        (float)((1 + 4 * std::fmin(std::fabs(omega) / M_PI, 1)) * M_PI / 180);
    if (r->auto_shift)
        b->applied.flags |= BIKE_FLAG_AUTO_SHIFT;
    else
        b->applied.flags &= ~BIKE_FLAG_AUTO_SHIFT;
    b->ctl.throttle = c.throttle;
    b->ctl.clutch = c.clutch;
    b->ctl.front_brake = c.front_brake;
    b->ctl.rear_brake = c.rear_brake;
    b->ctl.steering = c.steering;
    b->ctl.sit_dab = c.sit_dab;
    b->ctl.back_up = backing ? 1.0f : 0.0f;
}
