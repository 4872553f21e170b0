// Engine and drivetrain: one rotating mass with a throttle-blended torque curve, six gears, a
// final drive and a compliant driveline with a clutch, plus the brakes as axle motors. The laws
// here work over explicit state so they can be driven by the bike update and by tests alike.
#pragma once

#include "bike/bike_setup.h" // BIKE_FLAG_* bits of the applied values

enum {
    BIKE_ENGINE_CURVE_POINTS = 50, // torque sampled every 500 rpm from 0
    BIKE_ENGINE_GEARS = 6,
};

// Drivetrain data of one bike model.
struct bike_engine_spec {
    float primary_ratio;
    int front_sprocket, rear_sprocket;
    float gear_ratio[BIKE_ENGINE_GEARS]; // <= 0: no such gear
    float inertia;                       // slug ft^2
    float driveline_stiffness;           // lbf ft / rad
    float driveline_damping;             // lbf ft s / rad
    float closed_torque[BIKE_ENGINE_CURVE_POINTS];
    float full_torque[BIKE_ENGINE_CURVE_POINTS];
    float downshift_rpm, upshift_rpm;
};

// Engine-side state of one bike.
struct bike_engine_state {
    int gear;                // 0 = first ... 5 = sixth; -1 or less = neutral
    int shift_request;       // last request seen (-1, 0, +1): a held input shifts once
    double omega;            // engine angular velocity, rad/s
    double phi;              // driveline angle (rear-axle angle without wind-up), -pi..pi
    double driveline_torque; // last torque passed to the rear wheel (0 when declutched)
};

// What the driveline step needs from the bodies (read before the step).
struct bike_driveline_input {
    double axle_rate;  // rear axle hinge rate, rad/s, positive rolling forward
    double axle_angle; // rear axle hinge angle, rad
    float clutch;      // rider's engagement 0-1 (1 = engaged)
    float auto_clutch_rpm;
    float throttle; // 0-1
    int cut_drive;  // stop-wheelies cut: positive engine torque limited to 0
};

// Clears the state: first gear, engine stopped, no wind-up.
void bike_engine_reset(bike_engine_state *s);
double bike_engine_rpm(const bike_engine_state *s);
// Crankshaft torque at rpm for the throttle (0-1), linear in the curve and in the throttle.
double bike_engine_curve_torque(const bike_engine_spec *spec, double rpm, double throttle);
// Final drive ratio from sprockets plus adjustments (each clamped to -2..2, teeth at least 3).
double bike_engine_final_drive(int front_teeth, int rear_teeth, float front_adjust,
                               float rear_adjust);
// Overall ratio of a gear (primary x gear x final drive); 0 for neutral or a missing gear.
double bike_engine_ratio(const bike_engine_spec *spec, int gear, double final_drive);
// The gear a shift toward target lands in: first gear when target <= 0, else target clamped to
// sixth and lowered to the next existing gear.
int bike_engine_gear_for(const bike_engine_spec *spec, int target);
// Manual shift with the held-input latch; ignored while crashed. Returns 1 when the gear changed.
int bike_engine_shift(const bike_engine_spec *spec, bike_engine_state *s, int request, int crashed);
// Automatic shifting from the wheel-side rpm: up above the upshift speed, down below the
// downshift speed. Returns the new gear.
int bike_engine_auto_shift_gear(const bike_engine_spec *spec, int gear, double wheel_rpm);
// The automatic clutch's limit on the engagement while the engine is slow.
double bike_engine_auto_clutch(double clutch, double rpm, double auto_clutch_rpm);
// One tic of driveline and engine: returns the torque T for the rear wheel (the wheel receives
// (-T, 0, 0) in its own frame, the frame +T), integrates the engine speed and the driveline angle.
double bike_engine_step(const bike_engine_spec *spec, bike_engine_state *s, double final_drive,
                        const bike_driveline_input *in, double tic);

// Brake torque for one axle motor. contact: the wheel touches the ground; slip2: squared speed
// of its contact point; other_contact: the other wheel touches (stop stoppies, front only).
double bike_engine_front_brake(double input, double brake_torque, int flags, int contact,
                               double slip2, int rear_contact);
double bike_engine_rear_brake(double input, double brake_torque, int flags, int contact,
                              double slip2);
// Whether stop wheelies cut the drive: front wheel up, rear down, nose not already dropping.
int bike_engine_wheelie_cut(int flags, int front_contact, int rear_contact, double pitch_rate);
