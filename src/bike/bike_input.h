// Rider input and balance: the nine control channels become the bike's control values, and each
// tic the steering law turns steering input, lean and roll into a torque about the steering head,
// with the riding aids (leveling, roll damping and limit, lean-rate steering, lock limits, landing
// damping, knock cut, dab, holding a stopped bike, backing up, arcade steering). The laws work
// over explicit values; the bike update gathers them from the bodies.
#pragma once

#include "bike/bike_setup.h" // bike_applied: the stability and steering values

enum {
    BIKE_INPUT_STEER = 0,
    BIKE_INPUT_THROTTLE,
    BIKE_INPUT_FRONT_BRAKE,
    BIKE_INPUT_REAR_BRAKE,
    BIKE_INPUT_SHIFT,
    BIKE_INPUT_CLUTCH,
    BIKE_INPUT_SIT_DAB,
    BIKE_INPUT_BACK_UP,
    BIKE_INPUT_LEAN,
    BIKE_INPUT_CHANNELS,
};

// The control values the physics reads (kept in the bike record).
struct bike_control_values {
    float throttle;    // 0-1
    float clutch;      // engagement 0-1, 1 = engaged
    float front_brake; // 0-1
    float rear_brake;  // 0-1
    float steering;    // -1..1
    float sit_dab;     // 0-1
    float dab_pose;    // 0-1, drawn and sent in the compact state
    float back_up;     // 0-1
    float lean;        // -1..1
};

// Per-rider memory of the input mapping: the sticky sit/dab toggle and the level it last saw.
struct bike_input_latch {
    int sticky_on;
    float last_dab_channel;
};

// Turns a controls vector into control values; returns the shift request (-1, 0, +1).
// Non-finite channels count as 0.
int bike_input_apply(const float inputs[BIKE_INPUT_CHANNELS], int reverse_steering, int sticky_dab,
                     bike_input_latch *latch, bike_control_values *v, double tic);
// The false-start hold: brakes on, sitting, no throttle, clutch out.
void bike_input_hold(bike_control_values *v);
// Forces the values a crashed rider cannot use to 0 (throttle, sit/dab, back up, lean).
void bike_input_crashed(bike_control_values *v);
// The clutch engagement after one tic toward the lever's target (drops at once, rises 4/s).
float bike_input_clutch_ramp(float current, float lever, double tic);

// The bike's state as the steering law sees it.
struct bike_steer_state {
    double steering;     // control value -1..1
    double roll;         // roll angle, positive leaning left
    double roll_rate;    // frame angular velocity about its own z axis
    double steer_angle;  // steering hinge angle
    double front_rate;   // front axle hinge rate, positive rolling forward
    double front_radius; // R + r of the front tire
    double speed;        // |frame velocity|
    int front_contact;
    double mu0;          // first friction coefficient of the tile under the front wheel
    double clearance;    // front tire's height above the terrain (centre - ground - (R + r))
    double travel_angle; // steering angle that points the front wheel along its path
    int knock;           // knock counter (tics)
};

struct bike_steer_result {
    double torque;         // about the steering axis: front wheel +, frame -
    double lock_indicator; // 0-1
    double lock_limit;     // the lock limit in force this tic
};

// The lock limit from the front tire's rolling speed and grip.
double bike_input_lock_limit(const bike_applied *p, double vf, double mu0);
// The simulation steering law (arcade off, riding). landing holds the landing damping
// multiplier between calls (starts at 1).
bike_steer_result bike_input_steer(const bike_applied *p, const bike_steer_state *s,
                                   double *landing, double tic);
// The lock indicator for the law's values; a zero lock limit does not divide by zero.
double bike_input_lock_indicator(double vf, double lock_limit, double roll, double travel_angle,
                                 double steer_angle);
// The angle the front wheel's velocity (in upper-fork coordinates) asks of the bars, given the
// steering axis (sy, sz) in model coordinates; 0 when the wheel barely moves.
double bike_input_travel_angle(const double v_fork[3], double sy, double sz);

// Arcade steering on the ground: the lean motor's target rate (signed toward -pi/4 x steering)
// and the bar torque from the path angle.
double bike_input_arcade_lean_rate(double steering, double roll, double roll_damping);
double bike_input_arcade_steer_torque(double steering_strength, double steering,
                                      double travel_angle, double steer_angle, double steer_rate);

// Dab when stopped: whether the aid acts at this speed and lean.
int bike_input_dab_active(double speed, double max_dab_speed, double roll);
// The sit/dab value the aid asks for (never below the rider's own input).
double bike_input_dab_amount(double speed, double max_dab_speed, double sit_dab_input);
// The holding force on a stopped bike's horizontal velocity (wx, wz) -> (fx, fz).
void bike_input_hold_force(double wx, double wz, double gain, double *fx, double *fz);

// The dab force's sideways push e (lbf) for a bike leaning roll at roll_rate.
struct bike_dab_state {
    double roll, roll_rate, speed, steering, back_up, lock_indicator;
    double max_dab_speed, roll_limit_angle;
};
double bike_input_dab_force(const bike_dab_state *s);

// Back-up push cycle weight at a tic (0..1 over 128 tics).
double bike_input_backup_cycle(int tic);
