// The laws a robot rides by.
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_input.h"
#include "robot/robot_ride.h"

static const double RACE_START_FLAGGER_S = 5.0; // the flagger mark after race setup

static double clampd(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

float robot_random(robot_rider *r, float lo, float hi)
{
    // xorshift32: small, seeded, the same on every machine.
    uint32_t x = r->rng ? r->rng : 0x9e3779b9u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    r->rng = x;
    return lo + (hi - lo) * (float)((x >> 8) * (1.0 / 16777216.0));
}

void robot_rider_reset(robot_rider *r, int personality, uint32_t seed)
{
    robot_path keep = r->path;
    memset(r, 0, sizeof *r);
    r->path = keep;
    robot_path_clear(&r->path);
    r->personality = personality;
    r->rng = seed;
    const robot_personality *p = &robot_personalities[personality > 0 && personality < ROBOT_PERSONALITIES ? personality : 1];
    r->reaction = robot_random(r, p->reaction_lo, p->reaction_hi);
}

int robot_path_should_advance(const robot_path *p, const float pos[3], const double heading[2], int first_recovery)
{
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

void robot_speed_control(const robot_speed_in *in, robot_controls *out)
{
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
            out->front_brake = out->rear_brake = (float)clampd(v - u, 0, 1);
        }
        if (in->gear > 0) out->clutch = 1;
        else out->clutch = (float)clampd((in->rpm - (in->downshift_rpm - 1000)) / 1000, 0, 1);
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

double robot_turn_radius(double v, double k, double roll)
{
    double t = std::tan(roll);
    if (std::fabs(t) < 1e-9 || v == 0) return 0; // upright or still: no turn, no division
    return -v * v / (32 * k * t);
}

double robot_low_speed_fade(double v) { return clampd((v - 7.5) / 2.5, 0, 1); }

double robot_target_lean(double v, double r, double k)
{
    if (r == 0 || !std::isfinite(r)) return 0;
    return std::atan2(-v * v / r, 32 * k) * robot_low_speed_fade(v);
}

double robot_traffic_target(double target, double v, double g, double d, double t, int *forget)
{
    double s = clampd((t - 3) / 2, 0, 1) * clampd((120 - std::fmin(t, 100)) / 100, 0, 1);
    double gap = 12 + 8 * s;
    if (forget) *forget = 0;
    if (d < gap) return std::fmin(target, g * (1 - 0.25 * s));
    if (target > g) {
        double tau = (v - g) / 5;
        double gp = d + g * tau - v * tau + 2.5 * tau * tau;
        if (gp < gap) {
            if (forget) *forget = 1;
            target += (g - target) * clampd((gap - gp) / 3, 0, 1);
        }
    }
    return target;
}

int robot_start_control(robot_rider *r, double time, double flagger, double drop, int held, robot_controls *out)
{
    if (time >= drop + 5 && !held) return 0;
    double go = drop + r->reaction;
    if (time >= go && time < go + 2) {
        double y = clampd(4 * (time - go), 0, 1);
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

int robot_recovery_stage(int tics_since_advance, int tics_since_setup, int recovery)
{
    double s = tics_since_advance * bike_tic;
    if (s >= 40) return 3;
    if (recovery > 0 && s >= 19) return 2;
    if (recovery > 0) return 1;
    if (s >= 3 && tics_since_setup * bike_tic >= 33) return 1;
    return 0;
}

static double recovery_limit(double v) { return v < 10 ? 1.0 / 6 : v > 20 ? 0.5 : 1.0 / 6 + (v - 10) / 10 * (0.5 - 1.0 / 6); }

double robot_recovery_lean(double v, double lat, double ahead)
{
    double u = recovery_limit(v);
    // Positive lateral offset is to the left, where a positive roll leans.
    if (std::fabs(lat) > ahead) return lat > 0 ? u : -u;
    return clampd(lat / (2 * ahead), -u, u);
}

double robot_recovery_speed(double v, double roll) { return v < 10 && std::fabs(roll) > 1.0 / 6 ? 5 : 15; }

// ---- the per-tic update ---------------------------------------------------------------------

static void hold_bike(bike_record *b, robot_controls *c)
{
    c->throttle = 0;
    c->clutch = 0;
    c->front_brake = c->rear_brake = 1;
    c->steering = 0;
    c->sit_dab = bike_crashed(b) ? 0 : 1;
}

// Horizontal look-ahead point at fractional index a along the path.
static void path_point(const robot_path *p, double a, double out[3])
{
    int i = (int)std::floor(a);
    if (i < 0) i = 0;
    if (i >= p->count - 1) {
        for (int k = 0; k < 3; k++) out[k] = p->samples[p->count - 1].pos[k];
        return;
    }
    double f = a - i;
    for (int k = 0; k < 3; k++) out[k] = p->samples[i].pos[k] * (1 - f) + p->samples[i + 1].pos[k] * f;
}

void robot_recovery_lift(bike_record *b, const float target[3])
{
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

void robot_update(bike_record *b, robot_rider *r)
{
    robot_controls c = {b->ctl.throttle, b->ctl.clutch, b->ctl.front_brake, b->ctl.rear_brake,
                        b->ctl.steering, b->ctl.sit_dab};
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
    if (p->count - p->progress < 10) {
        robot_pick_input in = {};
        in.section = p->sections_entered;
        in.mode = robot_personality_mode(r->personality, 0);
        in.tic = tic;
        in.race_time = time - drop;
        memcpy(in.pos, fpos, sizeof fpos);
        if (robot_pick(p, &in) >= 0) p->sections_entered++;
    }

    if (robot_start_control(r, time, RACE_START_FLAGGER_S, drop, bike_world.gate_drop_tic < 0, &c)) {
        if (time < drop + r->reaction) b->engine.gear = b->m && b->m->engine.gear_ratio[1] > 0 ? 1 : 0;
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
        if (stage == 2) {
            // Long stuck (a bike lying on its side never counts as crashed): lift the frame and
            // drag the front wheel toward the sample, bars centred, nothing driven.
            robot_recovery_lift(b, cur->pos);
            double d = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
            double dr = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_STEER]);
            c.steering = (float)clampd(-(d + dr) / 4, -1, 1);
            c.sit_dab = 1;
            c.clutch = 0;
            c.throttle = c.front_brake = c.rear_brake = 0;
            r->last_throttle = 0;
        } else if (stage > 0 || r->recovery > 0) {
            si.target = robot_recovery_speed(v, roll);
            lean = robot_recovery_lean(v, lat, std::fmax(ahead, 1e-3));
            robot_speed_control(&si, &c);
            double rate = 4 * clampd(lean - roll, -1, 1);
            double s = 2 * (av[2] - rate);
            c.steering = (float)(std::fabs(s) > 0.5 ? (s > 0 ? 1 : -1) : s);
            c.sit_dab = v < 10 ? 1 : 0;
            if (ahead >= 4 * std::fabs(lat) && p->count - p->progress > 8 && stage == 1) {
                // Well ahead again: the counter runs down with each advance.
            } else {
                r->recovery = 3;
            }
        } else {
            // Target speed and lean from the path ahead.
            double target = std::fabs(cur->speed);
            double la[3];
            path_point(p, p->progress + 2.0, la);
            double tx = la[0] - pos[0], tz = la[2] - pos[2];
            double t_ahead = tx * heading[0] + tz * heading[1];
            double t_lat = -(tx * -heading[1] + tz * heading[0]);
            double radius;
            if (t_ahead <= 0) radius = t_lat >= 0 ? 10 : -10;
            else {
                double l = std::fabs(t_lat) < 1e-6 ? (t_lat < 0 ? -1e-6 : 1e-6) : t_lat;
                radius = (l * l + t_ahead * t_ahead) / (2 * l);
            }
            // Positive radius turns left, where a positive roll leans: the lean sign follows.
            double k = 1;
            lean = robot_target_lean(v, -radius, k);
            lean = clampd(lean, -1.1780972, 1.1780972);
            double omega = clampd(4 * (lean - roll), -M_PI, M_PI);
            double s = av[2] - omega;
            s = s > 0.125 ? s - 0.125 : s < -0.125 ? s + 0.125 : 0;
            c.steering = (float)clampd(4 * s * robot_low_speed_fade(v), -1, 1);
            si.target = target;
            robot_speed_control(&si, &c);
            c.sit_dab = 0;
        }
        // The throttle falls at most 1/32 a tic so the rear wheel keeps its grip.
        if (stage != 2 && c.throttle < r->last_throttle - 1.0f / 32) c.throttle = r->last_throttle - 1.0f / 32;
        if (bike_crashed(b)) c.throttle = c.sit_dab = 0;
    }
    r->last_throttle = c.throttle;
    // Robots ride simulation physics (their control assumes real crash detection and steering)
    // with every aid: no wheelies or stoppies, no locked wheels.
    b->applied.arcade = 0;
    b->applied.flags |= BIKE_FLAG_STOP_WHEELIES | BIKE_FLAG_STOP_STOPPIES | BIKE_FLAG_FRONT_ANTILOCK |
                        BIKE_FLAG_REAR_ANTILOCK;
    if (r->auto_shift) b->applied.flags |= BIKE_FLAG_AUTO_SHIFT;
    else b->applied.flags &= ~BIKE_FLAG_AUTO_SHIFT;
    b->ctl.throttle = c.throttle;
    b->ctl.clutch = c.clutch;
    b->ctl.front_brake = c.front_brake;
    b->ctl.rear_brake = c.rear_brake;
    b->ctl.steering = c.steering;
    b->ctl.sit_dab = c.sit_dab;
}
