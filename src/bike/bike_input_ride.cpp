// Rider input and balance on a simulated bike: the local rider's controls, the steering law or
// arcade steering, backing up, dabbing and holding a stopped bike, realigning after a fall.
#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

#include <cmath>

int (*bike_input_realign_target)(bike_record *b, double *x, double *z);

namespace {

const double PI = 3.14159265358979323846;
const double STOPPED_SPEED = 5.0;
const double DAB_SPEED_LIMIT = 15.0;

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// The local player's sticky sit/dab toggle lives for the whole run.
bike_input_latch local_latch;

double frame_speed(const bike_record *b) {
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Unit steering axis in model coordinates (from the lower to the upper fork).
void steering_axis_model(const bike_record *b, double s[3]) {
    const bike_geometry *g = &b->m->geo;
    double l = 0;
    for (int k = 0; k < 3; k++) {
        s[k] = g->fork_upper_pos[k] - g->fork_lower_pos[k];
        l += s[k] * s[k];
    }
    l = std::sqrt(l);
    for (int k = 0; k < 3; k++)
        s[k] = l > 0 ? s[k] / l : (k == 1);
}

// A one-axis angular motor in the tic's joint group; rel 0 = world axis, 1 = frame axis.
void angular_motor(bike_record *b, int rel, double ax, double ay, double az, double rate,
                   double fmax) {
    if (!std::isfinite(rate) || !std::isfinite(fmax)) return;
    dJointID j = dJointCreateAMotor(bike_world.world, bike_world.contacts);
    dJointAttach(j, b->body[BIKE_FRAME], 0);
    dJointSetAMotorMode(j, dAMotorUser);
    dJointSetAMotorNumAxes(j, 1);
    // The motor takes its axis in world coordinates whatever rel says (rel only ties it to the
    // body afterwards), so a frame axis is turned into the world first.
    if (rel == 1) {
        dVector3 w;
        dBodyVectorToWorld(b->body[BIKE_FRAME], ax, ay, az, w);
        ax = w[0];
        ay = w[1];
        az = w[2];
    }
    dJointSetAMotorAxis(j, 0, rel, ax, ay, az);
    dJointSetAMotorParam(j, dParamVel, rate);
    dJointSetAMotorParam(j, dParamFMax, fmax);
}

// Pulls the frame's horizontal velocity toward (tx, tz) with at most gain lbf.
void pull_horizontal(bike_record *b, double tx, double tz, double gain) {
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double fx, fz;
    bike_input_hold_force(v[0] - tx, v[2] - tz, gain, &fx, &fz);
    if (fx != 0 || fz != 0) dBodyAddForce(b->body[BIKE_FRAME], fx, 0, fz);
}

void back_up(bike_record *b) {
    int tic = bike_world.tic;
    b->ctl.sit_dab = 1.0f;
    int drop = bike_world.gate_drop_tic;
    if (drop < 0 || tic < ((drop + 128) / 128) * 128) {
        // Waiting at the gate a rider only shuffles now and then.
        if ((tic & 511) >= 128) return;
    }
    double w = bike_input_backup_cycle(tic);
    dVector3 z;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, 1, z);
    double zl = std::hypot(z[0], z[2]);
    if (zl > 1e-6) pull_horizontal(b, 4 * w * z[0] / zl, 4 * w * z[2] / zl, 2000);
    angular_motor(b, 0, 0, 1, 0, w * (-b->ctl.steering * PI / 2), 2000);
}

void dab_when_stopped(bike_record *b, double v, double roll) {
    double u = b->applied.max_dab_speed;
    if (!bike_input_dab_active(v, u, roll)) return;
    bike_control_values *c = &b->ctl;
    int idle = c->throttle == 0.0f || c->clutch == 0.0f;
    if (idle || v < STOPPED_SPEED || std::fabs(roll) > PI / 16)
        c->sit_dab = (float)bike_input_dab_amount(v, u, c->sit_dab);
    if (v < STOPPED_SPEED && idle && b->tire[0].depth > 0 && b->tire[1].depth > 0) {
        c->front_brake = 1.0f;
        c->rear_brake = 1.0f;
        pull_horizontal(b, 0, 0, 1000);
    }
}

void arcade_steering(bike_record *b, double roll) {
    dBodyID f = b->body[BIKE_FRAME];
    const bike_applied *a = &b->applied;
    double steer = b->ctl.steering;
    double delta = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    const dReal *p = dBodyGetPosition(f);
    const dReal *v = dBodyGetLinearVel(f);
    if (b->tire[0].depth <= 0) {
        // Well clear of the ground a second ahead: centre the bars, steer directly.
        double y1 = p[1] + v[1] - 16.0;
        double ground = terrain_height((float)(p[0] + v[0]), (float)(p[2] + v[2]));
        if (y1 - ground >= 1.98) {
            bike_input_steering_torque(
                b, 1.5 * (-50.0 * delta + a->direct_steering * steer * a->steering_strength));
            return;
        }
    }
    angular_motor(b, 1, 0, 0, 1, bike_input_arcade_lean_rate(steer, roll, a->roll_damping), 1000);
    double rate = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_STEER]);
    bike_input_steering_torque(b, bike_input_arcade_steer_torque(a->steering_strength, steer,
                                                                 bike_input_front_travel_angle(b),
                                                                 delta, rate));
    // A fin 20 ft behind the bike keeps it pointing along its path.
    dVector3 fin;
    dBodyGetRelPointVel(f, 0, 0, 20, fin);
    dBodyAddForceAtRelPos(f, -0.25 * fin[0], -0.25 * fin[1], -0.25 * fin[2], 0, 0, 20);
}

void simulation_steering(bike_record *b, double roll) {
    bike_steer_state s;
    const bike_tire *ft = &b->tire[0];
    dBodyID fw = b->body[BIKE_FRONT_WHEEL];
    const dReal *wp = dBodyGetPosition(fw);
    s.steering = b->ctl.steering;
    s.roll = roll;
    s.roll_rate = bike_input_roll_rate(b);
    s.steer_angle = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    s.front_rate = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_FRONT_AXLE]);
    s.front_radius = ft->R + ft->r;
    s.speed = frame_speed(b);
    s.front_contact = ft->depth > 0;
    const tiles_type *t = tiles_type_at((float)wp[0], (float)wp[2]);
    s.mu0 = t ? t->friction_coef[0] : 1.0;
    s.clearance = wp[1] - terrain_height((float)wp[0], (float)wp[2]) - s.front_radius;
    s.travel_angle = bike_input_front_travel_angle(b);
    s.knock = b->knock;
    double m = b->landing_mult;
    bike_steer_result r = bike_input_steer(&b->applied, &s, &m, bike_tic);
    b->landing_mult = (float)m;
    b->lock_indicator = (float)r.lock_indicator;
    bike_input_steering_torque(b, r.torque);
}

// Turns a stopped, propped bike toward its target. Returns 1 when the dab force should follow.
int realign(bike_record *b, double roll) {
    double a = std::fabs(roll);
    if (!(b->applied.flags & BIKE_FLAG_REALIGN) || b->ctl.back_up > 0.125f) return 1;
    if (a < PI / 8 || a > 0.35 * PI || !bike_input_realign_target) return 1;
    double tx, tz;
    if (!bike_input_realign_target(b, &tx, &tz)) return 1;
    dBodyID f = b->body[BIKE_FRAME];
    const dReal *p = dBodyGetPosition(f);
    dVector3 z;
    dBodyVectorToWorld(f, 0, 0, 1, z);
    double zl = std::hypot(z[0], z[2]);
    if (zl < 1e-6) return 1;
    double zx = z[0] / zl, zz = z[2] / zl;
    double ox = tx - p[0], oz = tz - p[2];
    double F = -(ox * zx + oz * zz);
    // z_h turned 90 degrees about y: (zz, -zx).
    double P = ox * zz + oz * -zx;
    double fmax = 320.0 * b->total_mass;
    int ahead = F > 0 && std::fabs(P) < 0.25 * F;
    if (ahead) fmax *= std::fabs(4 * P / F);
    angular_motor(b, 0, 0, 1, 0, P >= 0 ? -PI / 2 : PI / 2, fmax);
    if (ahead) return 1;
    // Lifted off its tires while it turns.
    for (int w = 0; w < 2; w++)
        if (b->tire[w].depth > 0)
            dBodyAddForce(b->body[w == 0 ? BIKE_FRONT_WHEEL : BIKE_REAR_WHEEL], 0,
                          32.0 * b->total_mass, 0);
    return 0;
}

void dab_force(bike_record *b, double v, double roll) {
    double u = b->applied.max_dab_speed;
    int front = b->tire[0].depth > 0, rear = b->tire[1].depth > 0;
    if (!front) {
        // The ground within the rider's reach (1 ft plus 4.5 ft around the rider's body).
        const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
        double c[3] = {rp[0], rp[1], rp[2]};
        if (!bike_ground_within(c, 5.5)) return;
    }
    if (v > u) return;
    if (v > DAB_SPEED_LIMIT && (!front || !rear || std::fabs(roll) < 0.5890486)) return;
    b->ctl.dab_pose += (float)(8 * bike_tic);
    if (b->ctl.dab_pose > 1) b->ctl.dab_pose = 1;
    if (b->applied.arcade) return;
    if (v >= STOPPED_SPEED && b->knock > 0) return;
    if (v < STOPPED_SPEED && !realign(b, roll)) return;

    bike_dab_state s;
    s.roll = roll;
    s.roll_rate = bike_input_roll_rate(b);
    s.speed = v;
    s.steering = b->ctl.steering;
    s.back_up = b->ctl.back_up;
    s.lock_indicator = b->lock_indicator;
    s.max_dab_speed = u;
    s.roll_limit_angle = b->applied.roll_limit_angle;
    double e = bike_input_dab_force(&s);
    if (e == 0.0 || !std::isfinite(e)) return;
    dBodyID f = b->body[BIKE_FRAME];
    dVector3 up;
    dBodyVectorToWorld(f, 0, 1, 0, up);
    if (up[1] < 0.707) {
        dBodyAddForceAtRelPos(f, 0, std::fabs(e), 0, 0, 4, 0);
    } else {
        dBodyAddForceAtRelPos(f, 0, std::fabs(e) / 8, 0, 0, 4, 0);
        dBodyAddRelForceAtRelPos(f, e, 0, 0, 0, 4, 0);
    }
}

} // namespace

double bike_input_roll_rate(const bike_record *b) {
    const dReal *w = dBodyGetAngularVel(b->body[BIKE_FRAME]);
    dVector3 local;
    dBodyVectorFromWorld(b->body[BIKE_FRAME], w[0], w[1], w[2], local);
    return local[2];
}

void bike_input_steering_torque(bike_record *b, double tau) {
    if (!std::isfinite(tau) || tau == 0.0) return;
    double s[3];
    steering_axis_model(b, s);
    dVector3 a;
    dBodyVectorToWorld(b->body[BIKE_FRAME], s[0], s[1], s[2], a);
    dBodyAddTorque(b->body[BIKE_FRONT_WHEEL], tau * a[0], tau * a[1], tau * a[2]);
    dBodyAddTorque(b->body[BIKE_FRAME], -tau * a[0], -tau * a[1], -tau * a[2]);
}

double bike_input_front_travel_angle(const bike_record *b) {
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRONT_WHEEL]);
    dVector3 local;
    dBodyVectorFromWorld(b->body[BIKE_FORK_UPPER], v[0], v[1], v[2], local);
    double s[3];
    steering_axis_model(b, s);
    double vf[3] = {local[0], local[1], local[2]};
    return bike_input_travel_angle(vf, s[1], s[2]);
}

void bike_input_controls_step(bike_record *b) {
    if (bike_crashed(b)) {
        bike_input_crashed(&b->ctl);
        return;
    }
    double v = frame_speed(b);
    double roll = bike_roll(b->body[BIKE_FRAME]);
    int backing = b->ctl.back_up > 0.0f && v < STOPPED_SPEED;
    if (backing)
        back_up(b);
    else if (b->applied.flags & BIKE_FLAG_AUTO_DAB)
        dab_when_stopped(b, v, roll);
    if (b->applied.arcade)
        arcade_steering(b, roll);
    else
        simulation_steering(b, roll);
}

void bike_input_aids_step(bike_record *b) {
    if (bike_crashed(b)) {
        b->ctl.dab_pose += (float)(8 * bike_tic);
        if (b->ctl.dab_pose > 1) b->ctl.dab_pose = 1;
    } else if (b->ctl.sit_dab != 0.0f) {
        dab_force(b, frame_speed(b), bike_roll(b->body[BIKE_FRAME]));
    }
    b->ctl.front_brake = (float)clampd(b->ctl.front_brake, 0, 1);
    b->ctl.rear_brake = (float)clampd(b->ctl.rear_brake, 0, 1);
    b->ctl.sit_dab = (float)clampd(b->ctl.sit_dab, 0, 1);
}

int bike_input_local_sticky(void) {
    return local_latch.sticky_on != 0;
}

void bike_input_apply_local(bike_record *b, const float inputs[BIKE_INPUT_CHANNELS],
                            int reverse_steering, int sticky_dab, int held) {
    int request =
        bike_input_apply(inputs, reverse_steering, sticky_dab, &local_latch, &b->ctl, bike_tic);
    if (held) {
        bike_input_hold(&b->ctl);
        request = 0;
    }
    if (bike_crashed(b)) bike_input_crashed(&b->ctl);
    if (b->m) bike_engine_shift(&b->m->engine, &b->engine, request, bike_crashed(b));
}

void bike_input_apply_values(bike_record *b, const float inputs[BIKE_INPUT_CHANNELS]) {
    bike_input_latch latch = {0, 0.0f};
    int request = bike_input_apply(inputs, 0, 0, &latch, &b->ctl, bike_tic);
    if (bike_crashed(b)) bike_input_crashed(&b->ctl);
    if (b->m) bike_engine_shift(&b->m->engine, &b->engine, request, bike_crashed(b));
}

void bike_input_install(void) {
    bike_hooks.controls = bike_input_controls_step;
    bike_hooks.drivetrain = bike_engine_drivetrain_step;
    bike_hooks.aids = bike_input_aids_step;
}
