// A headless riding harness for tests and benchmarks: puts one bike on a test ground or on the
// default track and drives it with scripted control vectors, reporting speed, rpm, gear, roll
// and crash state per tic. Not part of the game.
#pragma once

#include "bike/bike.h"
#include "bike/bike_input.h"

struct ride_sample {
    int tic;
    double speed; // |frame velocity|, ft/s
    double rpm;
    int gear;    // 0 = first
    double roll; // rad, positive leaning left
    int crashed;
    double pos[3];   // frame position
    double heading;  // yaw of the frame's forward direction: atan2(-fz, fx) style, see .cpp
    double yaw_rate; // world angular velocity about y
};

// Flat ground at height 0 (2^(n+1) cells of spacing s per side) and a fresh world.
void ride_harness_flat(int n = 7, float spacing = 2.0f);
// The default track's terrain and ground types from the data set built beside the tests
// (ZV_BINARY_DIR/zzzz.saf); the start point and heading come from its racing line.
// Returns 0 when the data set or the track cannot be read.
int ride_harness_default_track(const char *binary_dir, double *x, double *z, double *heading);
// A bike with the menu's default setup (arcade off unless asked) placed at (x, z) facing heading
// (radians about y, 0 = toward -z). The engine, tire and input steps are installed.
bike_record *ride_harness_bike(const char *model, double x, double z, double heading,
                               int arcade = 0);
// An open ride instead of a race: no lineup and no timing, every bike in the world a local rider.
// With race_on the gate has dropped (tic 0), else it never drops. The race clock starts at 0.
void ride_harness_race_reset(int race_on);
// One race tic (the game's only tic) with every present bike taking part as a local rider.
void ride_harness_step(void);
// One race tic with a controls vector (the nine channels, no reverse steering), then the tires'
// erosion producers (strokes wait in the stroke queue).
void ride_harness_tic(bike_record *b, const float controls[BIKE_INPUT_CHANNELS],
                      ride_sample *out = nullptr);
void ride_harness_sample(const bike_record *b, ride_sample *out);
// True when every body value of the bike is finite.
bool ride_harness_finite(const bike_record *b);
// Destroys the bikes, the world and the terrain.
void ride_harness_end(void);
