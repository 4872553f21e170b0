#include "bike/bike_input.h"

#include <cmath>

static const double INPUT_PI = 3.14159265358979323846;
static const double QUARTER_PI = INPUT_PI / 4.0;

static double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}
static float channel(const float *in, int i, float lo, float hi) {
    float v = in[i];
    if (!std::isfinite(v)) return 0.0f;
    return v < lo ? lo : (v > hi ? hi : v);
}
// Shrinks |v| by band, giving 0 inside the band.
static double dead_band(double v, double band) {
    return v - clampd(v, -band, band);
}

float bike_input_clutch_ramp(float current, float lever, double tic) {
    if (!std::isfinite(lever)) lever = 0.0f;
    double target = clampd(1.0 - lever * 8.0 / 7.0, 0.0, 1.0);
    if (!std::isfinite(current)) current = 0.0f;
    if (target < current) return (float)target;
    double next = current + 4.0 * tic;
    return (float)(next < target ? next : target);
}

int bike_input_apply(const float inputs[BIKE_INPUT_CHANNELS], int reverse_steering, int sticky_dab,
                     bike_input_latch *latch, bike_control_values *v, double tic) {
    float steer = channel(inputs, BIKE_INPUT_STEER, -1.0f, 1.0f);
    v->steering = reverse_steering ? -steer : steer;
    v->front_brake = channel(inputs, BIKE_INPUT_FRONT_BRAKE, 0.0f, 1.0f);
    v->rear_brake = channel(inputs, BIKE_INPUT_REAR_BRAKE, 0.0f, 1.0f);
    v->throttle = channel(inputs, BIKE_INPUT_THROTTLE, 0.0f, 1.0f);
    float dab = channel(inputs, BIKE_INPUT_SIT_DAB, 0.0f, 1.0f);
    if (sticky_dab) {
        if (dab > 0.5f && !(latch->last_dab_channel > 0.5f)) latch->sticky_on = !latch->sticky_on;
        v->sit_dab = latch->sticky_on ? 1.0f : 0.0f;
    } else {
        v->sit_dab = dab;
    }
    latch->last_dab_channel = dab;
    v->back_up = channel(inputs, BIKE_INPUT_BACK_UP, 0.0f, 1.0f);
    v->lean = channel(inputs, BIKE_INPUT_LEAN, -1.0f, 1.0f);
    v->clutch =
        bike_input_clutch_ramp(v->clutch, channel(inputs, BIKE_INPUT_CLUTCH, 0.0f, 1.0f), tic);
    float shift = channel(inputs, BIKE_INPUT_SHIFT, -1.0f, 1.0f);
    return shift > 0.5f ? 1 : (shift < -0.5f ? -1 : 0);
}

void bike_input_hold(bike_control_values *v) {
    v->front_brake = 1.0f;
    v->rear_brake = 1.0f;
    v->sit_dab = 1.0f;
    v->back_up = 0.0f;
    v->clutch = 0.0f;
    v->throttle = 0.0f;
}

void bike_input_crashed(bike_control_values *v) {
    v->throttle = 0.0f;
    v->sit_dab = 0.0f;
    v->back_up = 0.0f;
    v->lean = 0.0f;
}

double bike_input_lock_limit(const bike_applied *p, double vf, double mu0) {
    double n = p->restricted_lock / (mu0 > 0.125 ? mu0 : 0.125);
    if (n > QUARTER_PI) n = QUARTER_PI;
    double full = p->full_lock_speed >= 1.0f ? p->full_lock_speed : 1.0;
    double restricted = p->restricted_lock_speed;
    double b = 1.0 / (1.0 + full > restricted ? 1.0 + full : restricted);
    double o = clampd((1.0 / (vf > 1.0 ? vf : 1.0) - b) / (1.0 / full - b), 0.0, 1.0);
    return n + o * (QUARTER_PI - n);
}

double bike_input_lock_indicator(double vf, double lock_limit, double roll, double travel_angle,
                                 double steer_angle) {
    double k = clampd((vf - 5.0) / 10.0, 0.0, 1.0);
    double x = 0.25 * k * lock_limit;
    double y = (0.375 * k + 0.125) * lock_limit;
    double path, bars;
    double off = roll < 0.0 ? travel_angle - x : -(travel_angle + x);
    // A lock limit of 0 (the slider allows it) leaves no room: any excess counts as full lock.
    if (y > 1e-9)
        path = off / y;
    else
        path = off > 0.0 ? 1.0 : 0.0;
    if (path > 1.0) path = 1.0;
    if (roll < 0.0)
        bars = clampd((steer_angle + INPUT_PI / 12.0) * -12.0 / INPUT_PI, 0.0, 1.0);
    else
        bars = clampd((steer_angle - INPUT_PI / 12.0) * 12.0 / INPUT_PI, 0.0, 1.0);
    return path > bars ? path : bars;
}

bike_steer_result bike_input_steer(const bike_applied *p, const bike_steer_state *s,
                                   double *landing, double tic) {
    bike_steer_result r = {0.0, 0.0, 0.0};
    double steering = clampd(s->steering, -1.0, 1.0);
    double vf = s->front_rate * s->front_radius;
    double cy = steering * p->steering_strength * p->direct_steering;

    double lock = bike_input_lock_limit(p, vf, s->mu0);
    r.lock_limit = lock;

    double upper = p->max_steering_force, lower = -p->max_steering_force;
    double alpha = s->travel_angle;
    if (vf > 1.0 && s->clearance < 0.5) {
        // Near the ground the bars are pushed back toward the wheel's path once the path
        // angle passes the lock limit.
        double P = lock + clampd(2.0 * s->clearance, 0.0, 1.0) * (QUARTER_PI - lock);
        double S = 1.125 * P + 0.015;
        if (alpha > P)
            lower = (0.25 - 1.25 * clampd((alpha - S) / (P - S), 0.0, 1.0)) * p->max_steering_force;
        if (alpha < -P)
            upper = p->max_steering_force * (1.25 * clampd((alpha + S) / (S - P), 0.0, 1.0) - 0.25);
    }

    double c;
    double m = *landing;
    double factor = p->land_factor;
    if (!s->front_contact || s->front_rate <= QUARTER_PI) {
        if (p->land_rampup != 0.0f) {
            m = m + (factor - 1.0) * tic / p->land_rampup;
            if (m > factor) m = factor;
        } else {
            m = factor;
        }
        c = -50.0 * s->steer_angle;
    } else {
        if (m > 1.0 && p->land_falloff != 0.0f) {
            m = m - (factor - 1.0) * tic / p->land_falloff;
            if (m < 1.0) m = 1.0;
        }
        double phi = s->roll, phi_rate = s->roll_rate;
        double cm = p->leveling * phi;
        c = p->roll_damping * m * phi_rate;
        if (s->speed < p->slow_damping_speed) {
            double f = p->slow_damping_factor + clampd(s->speed / p->slow_damping_speed, 0.0, 1.0) *
                                                    (1.0 - p->slow_damping_factor);
            cm *= f;
            c *= f;
        }
        if (phi * phi_rate > 0.0 && std::fabs(phi) > p->roll_limit_angle)
            c *= 1.0 + p->roll_limit_factor * (std::fabs(phi) - p->roll_limit_angle);
        c += cm;

        double d = p->direct_steering;
        if (d < 1.0) {
            double target = -(steering * p->roll_limit_angle + phi) * 2.5;
            double limit = target * phi < 0.0 ? 9.817477 : 3.926991;
            target = clampd(target, -limit, limit);
            double e = dead_band(phi_rate - target, 0.125);
            double cv;
            if (e < -0.25)
                cv = -p->steering_strength;
            else if (e > 0.25)
                cv = p->steering_strength;
            else
                cv = 4.0 * p->steering_strength * e;
            cy = cv + d * (cy - cv);
        }
    }
    *landing = m;

    if (s->knock > 0) {
        double k = 200.0 * clampd((64.0 - s->knock) / 64.0, 0.0, 1.0);
        c = clampd(c, -k, k);
    }

    r.lock_indicator =
        bike_input_lock_indicator(vf, lock, s->roll, s->travel_angle, s->steer_angle);
    double tau = 1.5 * (c + cy);
    if (tau > upper) tau = upper;
    if (tau < lower) tau = lower;
    if (!std::isfinite(tau)) tau = 0.0;
    r.torque = tau;
    return r;
}

double bike_input_travel_angle(const double v_fork[3], double sy, double sz) {
    double a = v_fork[2] * sy;
    double e = v_fork[1] * sz;
    double vx = v_fork[0];
    if ((a - e) * (a - e) + vx * vx > 1.0) return -std::atan2(vx, e - a);
    return 0.0;
}

double bike_input_arcade_lean_rate(double steering, double roll, double roll_damping) {
    double target = -QUARTER_PI * steering;
    double off = std::fabs(QUARTER_PI * steering + roll);
    double rate = (off < 1.0 / 16.0 ? off : 1.0 / 16.0) * 16.0 *
                  (1.5 - 0.5 * clampd((roll_damping - 40.0) * 0.025, 0.0, 1.0));
    return roll > target ? -rate : rate;
}

double bike_input_arcade_steer_torque(double steering_strength, double steering,
                                      double travel_angle, double steer_angle, double steer_rate) {
    double l = clampd(travel_angle - 0.5 * steering - steer_angle, -0.25, 0.25);
    l = dead_band(l, 1.0 / 32.0);
    double b = dead_band(8.0 * l - steer_rate, 1.0 / 2400.0);
    double k;
    if (b < -4.0 / 3.0)
        k = -2.0 / 3.0;
    else if (b > 4.0 / 3.0)
        k = 2.0 / 3.0;
    else
        k = b / 2.0;
    return steering_strength * k;
}

int bike_input_dab_active(double speed, double max_dab_speed, double roll) {
    if (speed > max_dab_speed) return 0;
    if (speed > 15.0 && std::fabs(roll) < clampd((speed - 15.0) / 15.0, 0.0, 1.0) * QUARTER_PI)
        return 0;
    return 1;
}

double bike_input_dab_amount(double speed, double max_dab_speed, double sit_dab_input) {
    double u = max_dab_speed > 1.0 ? max_dab_speed : 1.0;
    double lo = sit_dab_input > 0.0 ? sit_dab_input : 0.0;
    return clampd((u - speed) / u, lo, 1.0 > lo ? 1.0 : lo);
}

void bike_input_hold_force(double wx, double wz, double gain, double *fx, double *fz) {
    double w2 = wx * wx + wz * wz;
    *fx = *fz = 0.0;
    if (!(w2 >= 1.0 / 16.0)) return;
    double w = std::sqrt(w2);
    double k = clampd((w - 0.25) * 0.8, 0.0, 1.0) * gain;
    *fx = -k * wx / w;
    *fz = -k * wz / w;
}

double bike_input_dab_force(const bike_dab_state *s) {
    double phi = s->roll, aphi = std::fabs(phi), v = s->speed;
    double P = phi < 0.0 ? INPUT_PI / 8.0 : -INPUT_PI / 8.0;
    if (aphi < INPUT_PI / 16.0) P *= aphi * 16.0 / INPUT_PI;
    double e = 0.0;
    if (P > 0.0 && s->roll_rate < P)
        e = -400.0;
    else if (P < 0.0 && s->roll_rate > P)
        e = 400.0;
    if (aphi < INPUT_PI / 32.0) e *= aphi * 32.0 / INPUT_PI;

    if (s->back_up < 0.125 || v > 5.0) {
        double u = s->max_dab_speed > 1.0 ? s->max_dab_speed : 1.0;
        double lim = s->roll_limit_angle;
        double D;
        if (v * v >= u * u)
            D = 5.0 * INPUT_PI / 2.0;
        else if (v > 15.0)
            D = (lim +
                 clampd((v * v - 225.0) / (u * u - 225.0), 0.0, 1.0) * (2.0 * INPUT_PI - lim)) *
                1.25;
        else {
            double q = 1.0 - (v * v / (u * u) < 1.0 ? v * v / (u * u) : 1.0);
            D = lim * 1.25 * (1.0 - std::pow(q, 32.0));
        }
        double g = clampd(4.0 * (aphi - D), 0.0, 1.0);
        double steer = P >= 0.0 ? -s->steering : s->steering;
        e *= clampd((steer - 0.5) * 2.0, 0.0, 1.0) * (1.0 - g) + g;
        if (v > 5.0) e *= s->lock_indicator;
    }
    return e;
}

double bike_input_backup_cycle(int tic) {
    int t = tic % 128;
    if (t < 0) t += 128;
    return (1.0 - std::cos(2.0 * INPUT_PI * t / 127.0)) / 2.0;
}
