#include "bike/bike_engine.h"

#include <cmath>

static const double ENGINE_PI = 3.14159265358979323846;
static const double RAD_TO_RPM = 60.0 / (2.0 * ENGINE_PI);

static double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Keeps an angle in -pi..pi so the driveline angle never loses precision over a long race.
static double wrap_angle(double a) {
    if (!std::isfinite(a)) return 0.0;
    return std::remainder(a, 2.0 * ENGINE_PI);
}

void bike_engine_reset(bike_engine_state *s) {
    s->gear = 0;
    s->shift_request = 0;
    s->omega = 0.0;
    s->phi = 0.0;
    s->driveline_torque = 0.0;
}

double bike_engine_rpm(const bike_engine_state *s) {
    return s->omega * RAD_TO_RPM;
}

double bike_engine_curve_torque(const bike_engine_spec *spec, double rpm, double throttle) {
    double i = clampd(rpm * 0.002, 0.0, BIKE_ENGINE_CURVE_POINTS - 1);
    if (!std::isfinite(i)) i = 0.0;
    int k = (int)i;
    int k1 = k + 1 < BIKE_ENGINE_CURVE_POINTS ? k + 1 : BIKE_ENGINE_CURVE_POINTS - 1;
    double f = i - k;
    double closed = spec->closed_torque[k] + f * (spec->closed_torque[k1] - spec->closed_torque[k]);
    double full = spec->full_torque[k] + f * (spec->full_torque[k1] - spec->full_torque[k]);
    return closed + throttle * (full - closed);
}

double bike_engine_final_drive(int front_teeth, int rear_teeth, float front_adjust,
                               float rear_adjust) {
    double fa = clampd(std::isfinite(front_adjust) ? front_adjust : 0.0, -2.0, 2.0);
    double ra = clampd(std::isfinite(rear_adjust) ? rear_adjust : 0.0, -2.0, 2.0);
    double front = std::floor(front_teeth + fa);
    double rear = std::floor(rear_teeth + ra);
    if (front < 3) front = 3;
    if (rear < 3) rear = 3;
    return rear / front;
}

double bike_engine_ratio(const bike_engine_spec *spec, int gear, double final_drive) {
    if (gear < 0 || gear >= BIKE_ENGINE_GEARS) return 0.0;
    double g = spec->gear_ratio[gear];
    if (g <= 0.0) return 0.0;
    return spec->primary_ratio * g * final_drive;
}

int bike_engine_gear_for(const bike_engine_spec *spec, int target) {
    if (target <= 0) return 0;
    if (target > BIKE_ENGINE_GEARS - 1) target = BIKE_ENGINE_GEARS - 1;
    while (target > 0 && !(spec->gear_ratio[target] > 0.0f))
        target--;
    return target;
}

int bike_engine_shift(const bike_engine_spec *spec, bike_engine_state *s, int request,
                      int crashed) {
    if (request > 1) request = 1;
    if (request < -1) request = -1;
    if (request == s->shift_request || crashed) return 0;
    s->shift_request = request;
    if (request == 0) return 0;
    int old = s->gear;
    s->gear = bike_engine_gear_for(spec, s->gear + request);
    return s->gear != old;
}

int bike_engine_auto_shift_gear(const bike_engine_spec *spec, int gear, double wheel_rpm) {
    if (gear < 0) return gear;
    if (wheel_rpm >= spec->downshift_rpm && wheel_rpm > spec->upshift_rpm)
        return bike_engine_gear_for(spec, gear + 1);
    if (wheel_rpm < spec->downshift_rpm) return gear > 0 ? bike_engine_gear_for(spec, gear - 1) : 0;
    return gear;
}

double bike_engine_auto_clutch(double clutch, double rpm, double auto_clutch_rpm) {
    if (rpm <= auto_clutch_rpm + 2000.0) {
        double limit = clampd((rpm - auto_clutch_rpm) / 2000.0, 0.0, 1.0);
        if (clutch > limit) clutch = limit;
    }
    return clutch;
}

double bike_engine_step(const bike_engine_spec *spec, bike_engine_state *s, double final_drive,
                        const bike_driveline_input *in, double tic) {
    if (!std::isfinite(s->omega)) s->omega = 0.0;
    double rpm = bike_engine_rpm(s);
    double engine_torque = bike_engine_curve_torque(spec, rpm, clampd(in->throttle, 0.0, 1.0));
    if (in->cut_drive && engine_torque > 0.0) engine_torque = 0.0;

    double G = bike_engine_ratio(spec, s->gear, final_drive);
    double rider_c = clampd(in->clutch, 0.0, 1.0);
    double T = 0.0;
    if (G > 0.0) {
        double c = bike_engine_auto_clutch(rider_c, rpm, in->auto_clutch_rpm);
        double d_omega = s->omega - in->axle_rate * G;
        double Td = clampd(d_omega * spec->driveline_damping, -500.0, 500.0);
        double M = wrap_angle(s->phi - in->axle_angle);
        T = Td + spec->driveline_stiffness * M;
        // Engine braking goes through the rider's clutch alone: the automatic clutch only
        // protects a slow engine from stalling under drive.
        if (T < 0.0) c = rider_c;
        double slip = ENGINE_PI / 4.0 * c;
        if (M > slip)
            s->phi = wrap_angle(in->axle_angle + slip);
        else if (M < -slip)
            s->phi = wrap_angle(in->axle_angle - slip);
        T = clampd(T, -1e6, 1e6) * c * c;
        if (!std::isfinite(T)) T = 0.0;
    } else {
        // Neutral: nothing is coupled; the engine side follows the axle.
        s->phi = wrap_angle(in->axle_angle);
    }

    double load = G > 0.0 ? T / G : 0.0;
    double inertia = spec->inertia > 1e-6 ? spec->inertia : 1e-6;
    s->omega += (engine_torque - load) / inertia * tic;
    if (!std::isfinite(s->omega)) s->omega = 0.0;
    if (G > 0.0) s->phi = wrap_angle(s->phi + s->omega * tic / G);
    s->driveline_torque = T;
    return T;
}

double bike_engine_front_brake(double input, double brake_torque, int flags, int contact,
                               double slip2, int rear_contact) {
    double t = clampd(input, 0.0, 1.0) * brake_torque;
    if ((flags & BIKE_FLAG_FRONT_ANTILOCK) && contact && slip2 > 4.0) t = 0.0;
    if ((flags & BIKE_FLAG_STOP_STOPPIES) && contact && !rear_contact) t = 0.0;
    return t;
}

double bike_engine_rear_brake(double input, double brake_torque, int flags, int contact,
                              double slip2) {
    double t = clampd(input, 0.0, 1.0) * brake_torque;
    if ((flags & BIKE_FLAG_REAR_ANTILOCK) && contact && slip2 > 4.0) t = 0.0;
    return t;
}

int bike_engine_wheelie_cut(int flags, int front_contact, int rear_contact, double pitch_rate) {
    return (flags & BIKE_FLAG_STOP_WHEELIES) && !front_contact && rear_contact &&
           pitch_rate > -1.0 / 32.0;
}
