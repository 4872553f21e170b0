// The simulated bike: seven rigid bodies and six joints in the one physics world, the bike
// record that the other modules read, and the per-tic update with crashing and getting back on.
#pragma once

#include <cstdint>

#include <ode/ode.h>

#include "bike/bike_engine.h"
#include "bike/bike_input.h"
#include "bike/bike_model.h"
#include "bike/bike_setup.h"
#include "bike/bike_shape.h"
#include "bike/bike_tire.h"
#include "base/zv_shared.h"

enum {
    BIKE_SLOTS = 160,
    BIKE_BODIES = 7,
    BIKE_JOINTS = 6,
    BIKE_STATE_SIZE = 39,
    BIKE_CRASH_DELAYS = 16,
    BIKE_CRASH_DELAY_MAX = 460800,
    BIKE_PLACE_TRIES = 400, // placement raises a bike by 0.25 ft at most this often (100 ft)
};

static_assert(BIKE_SLOTS == zv::SLOTS, "one bike record per rider slot");

enum bike_body_index {
    BIKE_FRAME,
    BIKE_FRONT_WHEEL,
    BIKE_REAR_WHEEL,
    BIKE_FORK_UPPER,
    BIKE_FORK_LOWER,
    BIKE_SWINGARM,
    BIKE_RIDER,
};

enum bike_joint_index {
    BIKE_JOINT_FRONT_AXLE,
    BIKE_JOINT_REAR_AXLE,
    BIKE_JOINT_STEER,
    BIKE_JOINT_FORK,
    BIKE_JOINT_SWINGARM,
    BIKE_JOINT_RIDER,
};

// Touched-part bits of the collision tests.
enum {
    BIKE_PART_FRAME = 1,
    BIKE_PART_FRONT_TIRE = 2,
    BIKE_PART_REAR_TIRE = 4,
    BIKE_PART_FORK_UPPER = 8,
    BIKE_PART_FORK_LOWER = 16,
    BIKE_PART_SWINGARM = 32,
    BIKE_PART_RIDER = 64,
};

struct bike_record {
    int present;
    int slot;
    int model;
    const bike_model *m;
    dBodyID body[BIKE_BODIES];
    dJointID joint[BIKE_JOINTS];
    dJointFeedback feedback[BIKE_JOINTS];
    bike_tire tire[2];              // front, rear
    bike_shape *shape[BIKE_BODIES]; // per-bike copies; null when the file is missing

    bike_control_values ctl;
    bike_engine_state engine;
    bike_applied applied;
    float landing_mult;   // landing damping multiplier (1 .. landing factor)
    float lock_indicator; // 0-1
    float total_mass;     // of the seven bodies
    // How much one tic's push can speed the suspension up, per unit of push: the fork's (1/m0 +
    // 1/m1 and the sum of the least inverse moments, for the torque arm) and the shock's; 0 where
    // the masses bound nothing (bike_suspension_push_bounds).
    double fork_push_k[2], shock_push_k;

    // Timing-gate progress (kept by race control).
    int gates_passed;
    int last_gate_tic;

    int crash_timer; // tics; 0 = riding
    int crash_count;
    int knock;             // tics; while positive the balance torque is cut
    int knock_count;       // knocks this bike took (counter raised by another bike's hit)
    int bike_contact_tic;  // tic of the last contact with another bike, -1 none
    int airborne_tic;      // when the bike last left the ground
    int landing_tic;       // when it last landed
    int riding_tics;       // tics simulated since the last reset or re-attachment
    float rider_vel[4][3]; // rider body velocity, one per tic, index tic mod 4

    float activity; // 0-1; 0.25 or less: bodies disabled
    float foot_pos[2][3], foot_vel[2][3];
    int trouble;
    int touched_parts; // parts touching the ground in the last contact test

    void *autopilot; // robot and line-learning state (robot module)
    void *graphics;  // models and textures (render module)
};

// The world every bike lives in, and the race facts the bike update reads.
struct bike_world_state {
    dWorldID world;
    dJointGroupID contacts; // every contact and per-tic motor joint; emptied after each step
    // The race clock as the bike layer sees it: race control's tic writes both after each tic
    // (the race clock is the only clock; nothing else writes these).
    int tic;           // the race's tic counter
    int gate_drop_tic; // -1 until the gate drops
    int crash_delay[BIKE_CRASH_DELAYS];
    int arcade_allowed;
    bike_record bikes[BIKE_SLOTS];
    // The slots holding a bike, in slot order (kept by bike_create and bike_destroy), so a walk
    // over the riders does not touch 160 records for a field of a few.
    int present_count;
    int present_slots[BIKE_SLOTS];
};

extern bike_world_state bike_world;

// Creates the world with gravity (0, -32, 0) and its contact group. 1 ok.
int bike_world_create(void);
void bike_world_destroy(void);
// One world step of one tic, then empties the contact group.
void bike_world_step(void);
// Crash delays from the race server: up to 16 values, a missing one repeats the one before,
// each clamped to 0-460800 tics. count 0 clears them.
void bike_world_set_crash_delays(const int *values, int count);

// Tic length in seconds.
constexpr double bike_tic = zv::TIC;

// Creates the bike of a rider slot (0-159) with a model name (unknown names fall back).
bike_record *bike_create(int slot, const char *model_name, int active);
void bike_destroy(bike_record *b);
void bike_reset(bike_record *b);
void bike_rotate(bike_record *b, const double axis[3], double angle);
void bike_move(bike_record *b, double dx, double dy, double dz);
// Reset, turn to the heading, set down at (x, ground, z) and raise until nothing touches.
// Returns the number of 0.25 ft raises made.
int bike_place(bike_record *b, double x, double z, double heading);
void bike_set_activity(bike_record *b, float level);
// Another bike touched this one: a parked bike (0) wakes fully, a dozing one (up to 0.25)
// comes to 0.25.
void bike_wake_by_contact(bike_record *b);
// Online, a remote rider's bike dozes off by one tic length per tic.
void bike_activity_decay(bike_record *b);
// Copies the setup into the bike (masses follow the rider mass distribution).
void bike_apply_setup(bike_record *b, const bike_setup *s);
// Values of replayed and remote riders' bikes.
void bike_apply_remote_values(bike_record *b);
// Frame box and rider sphere masses for a rider mass distribution d (0.33-0.5).
void bike_set_mass_distribution(bike_record *b, float d);

// Raises the bike by 1/4 ft until it no longer touches the ground (at most BIKE_PLACE_TRIES
// times), leaving no force from the tests; returns the number of raises.
int bike_lift_clear(bike_record *b);
// The terrain contact test: both tires and the part shapes against the ground. group 0 only
// tests. Returns the touched-part bits.
int bike_terrain_contact(bike_record *b, float friction_factor, dJointGroupID group);
// Pre-step of a bike before the world step (tire and part contacts).
void bike_prestep(bike_record *b);
// The per-tic update after the world step.
void bike_update(bike_record *b);
// Detaches the rider and starts the crash timer.
void bike_crash(bike_record *b);
int bike_crashed(const bike_record *b);
// Riders fallen off since the program started (a count for tests and benchmarks).
extern int bike_crashes;
// Puts the rider back on the bike in the riding pose.
void bike_put_rider_on(bike_record *b);
// Joins rider and frame with the hinge-2 joint for the bodies' current (riding) poses.
void bike_attach_rider_joint(bike_record *b);
// Sphere-against-terrain: the deepest penetration of a sphere into the height-field triangles
// under it. Returns 1 with point, outward unit normal and depth (> 0) when it penetrates.
int bike_sphere_terrain(const double centre[3], double radius, double point[3], double normal[3],
                        double *depth);
// Whether the ground comes within radius of centre: bike_sphere_terrain's answer, found at once
// when the ground straight below is near enough.
int bike_ground_within(const double centre[3], double radius);
// Shape on a body against the terrain; contacts go to group (0: test only). Returns touching.
int bike_shape_terrain(const bike_shape *shape, dBodyID body, dJointGroupID group);

// Roll angle of a body (positive leaning to its left).
double bike_roll(dBodyID body);

// Compact state.
void bike_encode(const bike_record *b, uint8_t out[BIKE_STATE_SIZE]);
// Rebuilds the seven bodies from a newer record; velocities from the older one over tics
// (0 tics: zero velocities). older may be null.
void bike_decode(bike_record *b, const uint8_t newer[BIKE_STATE_SIZE],
                 const uint8_t older[BIKE_STATE_SIZE], int tics);

// Suspension laws (exposed for tests and the drawing code).
struct bike_linkage {
    double s;        // shock compression, ft
    double leverage; // ds/dx
};
bike_linkage bike_linkage_curve(const float link[7], double x);
double bike_fork_force(const bike_applied *a, double travel, double p, double v);
double bike_shock_torque(const bike_applied *a, const float link[7], double theta, double omega);
// Sets the fork's and the shock's forces for the next step (a push on the bodies, a hold as the
// joint's motor).
void bike_suspension_motors(bike_record *b);
// Works out the push bounds from the bodies' masses, after any of them changes.
void bike_suspension_push_bounds(bike_record *b);

// Steps of the update the tire, engine and rider-input code fill in: set before bikes tic,
// null means the step does nothing. Each runs inside bike_update at its place.
struct bike_update_hooks {
    void (*controls)(bike_record *b);   // back up, dab, realign, steering torques, arcade
    void (*drivetrain)(bike_record *b); // steering aids, shifting, engine, driveline, brakes
    void (*aids)(bike_record *b);       // dab and realign after a fall, controls written back
};
extern bike_update_hooks bike_hooks;
