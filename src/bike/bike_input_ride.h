// The engine, tire and rider-input laws wired into a simulated bike: the three steps of the bike
// update (controls, drivetrain, aids), the local rider's controls, and the helpers the robots
// and the race code share.
#pragma once

#include "bike/bike_input.h"

struct bike_record;

// Installs the controls, drivetrain and aids steps into the bike update. Call once after the
// world exists (idempotent).
void bike_input_install(void);

// Step 7: back up, dab when stopped, the steering law or arcade steering.
void bike_input_controls_step(bike_record *b);
// Step 12: dab force and realign after a fall; the aids' values written back clamped.
void bike_input_aids_step(bike_record *b);
// Step 10: automatic shifting, engine and driveline, brakes, steering damping.
void bike_engine_drivetrain_step(bike_record *b);

// The local rider's controls vector into the bike (reverse steering and sticky dab from the
// setup); held: the false-start hold. Shift requests go to the gearbox.
void bike_input_apply_local(bike_record *b, const float inputs[BIKE_INPUT_CHANNELS],
                            int reverse_steering, int sticky_dab, int held);
// 1 while the local rider's sticky sit/dab toggle is latched on (the HUD shows "Dabbing!").
int bike_input_local_sticky(void);
// Robots and remote riders: the same mapping without the local options and latch.
void bike_input_apply_values(bike_record *b, const float inputs[BIKE_INPUT_CHANNELS]);

// Adds torque tau about the steering axis: to the front wheel, and its opposite to the frame.
void bike_input_steering_torque(bike_record *b, double tau);
// The steering angle that would point the front wheel along its path.
double bike_input_front_travel_angle(const bike_record *b);
// The frame's angular velocity about its own z axis (the roll rate).
double bike_input_roll_rate(const bike_record *b);

// Where a fallen rider stopped on the track should turn to: race control and the auto pilot
// answer it once gates and lines exist. Null (the default) or a 0 answer: no realign.
extern int (*bike_input_realign_target)(bike_record *b, double *x, double *z);
