// The robot's riding control: the start at the gate, following its path, speed and steering,
// traffic and recovery. Each law is a plain function of the values it needs so it can be checked
// alone; robot_update gathers them from the bike record once per tic.
#pragma once

#include <cstdint>

#include "robot/robot.h"

struct bike_record;

struct robot_rider {
    int personality;
    robot_path path;
    int last_advance_tic;
    int recovery;       // 0 normal, 1..3 recovering
    int back_off_until; // tic until which a robot jammed against another bike backs away
    float start_timer;  // seconds; 0 not drawn, > 0 next moment, < 0 end of a blip
    float reaction;     // seconds after the gate drop
    float launch_open;  // moment the pre-drop throttle opens (from the flagger mark)
    int grip_tic;
    float last_throttle;
    int auto_shift;
    float gap; // seconds behind the rider just ahead at the last gate both passed
    uint32_t rng;
    int finished; // the race is over for it: no new lines, the path runs out slowing down
    // Steers and keeps speed from the nearest point of its path (searched forward from where it
    // was last), not from the path near the progress index: the starter rider on a tight track.
    int close_follow;
    double follow_at; // fractional path index of that point
    // Share by which an exploring robot rides faster than its path (learning mode), so that a
    // ride can beat the line it follows; 0 otherwise.
    float push;
};

// The seeded generator every robot draws from: uniform in [lo, hi).
float robot_random(robot_rider *r, float lo, float hi);
void robot_rider_reset(robot_rider *r, int personality, uint32_t seed);
// The robot has finished: the speeds of the rest of its path fall from 100 % to 25 % toward the
// path's end and no further line is picked, so it rolls to a stop.
void robot_finish(robot_rider *r);

// Path progress: 1 when the index moved to the next sample. heading is the bike's horizontal
// unit forward (x, z); first_recovery halves the reach.
int robot_path_should_advance(const robot_path *p, const float pos[3], const double heading[2],
                              int first_recovery);

struct robot_speed_in {
    double v, target;
    int rear_contact;
    int gear; // 0 = first
    double rpm, downshift_rpm;
    double pitch_rate;       // nose up positive
    double front_above_rear; // ft; negative when the front is lower
};
struct robot_controls {
    float throttle, clutch, front_brake, rear_brake, steering, sit_dab;
};
void robot_speed_control(const robot_speed_in *in, robot_controls *out);

// Turning radius of the bike (infinite when upright: returned as 0 meaning straight).
double robot_turn_radius(double v, double k, double roll);
// Target lean for path radius r (0 = straight) at speed v with load factor k, faded in from
// 7.5 ft/s to 10 ft/s.
double robot_target_lean(double v, double r, double k);
// Fade factor of the steering below 10 ft/s.
double robot_low_speed_fade(double v);

// The steering controller of normal riding, from the look-ahead point T (lat to the right, ahead
// along the velocity, in ft) to the bar input. K is the load factor (at least 1); the grip
// ranges (lo, hi) are the leans the ground allows at the points checked.
struct robot_steer_in {
    double v, k, roll, roll_rate; // ft/s, -, rad (positive leaning left), rad/s
    double t_lat, t_ahead;        // look-ahead point
    int straight;                 // straight samples among the next six
    int grip_count;
    double grip_lo[8], grip_hi[8];
    double travel_angle, steer_angle, steer_rate; // front wheel's travel angle, bars, bar rate
    int front_contact;
    double front_slip;   // speed of the front contact point
    double time_left;    // seconds of path left (large when plenty)
    double sample_speed; // |speed| of the current sample
    double target;       // target speed so far
};
struct robot_steer_out {
    double radius;          // path radius, positive turning right
    double lean;            // target lean
    double omega;           // target roll rate
    double steering;        // bar input
    double target;          // target speed after the grip and hand-over limits
    double traction;        // throttle factor e
    double restricted_lock; // degrees
    int grip_limited;
};
void robot_steer(const robot_steer_in *in, robot_steer_out *out);
// The bars-to-path term: steers the bars toward the front wheel's travel angle.
double robot_bars_to_path(double travel_angle, double steer_angle, double steer_rate);
// Load factor from the tires' vertical contact force and the bike's total mass.
double robot_load_factor(double vertical_force, double total_mass);

// Traffic: the target speed for a rider ahead at distance d with speed g along the robot's
// course, race time t (s since the drop) and robot speed v. *forget is set when the robot should
// drop its picks to look for a line that passes.
double robot_traffic_target(double target, double v, double g, double d, double t, int *forget);

// Start procedure. time is seconds since race setup, flagger the mark (5 s), drop the gate drop
// (seconds since setup). Fills out and returns 1 while the start procedure rules; 0 once the
// launch is over. held is whether the gate still holds the bike.
int robot_start_control(robot_rider *r, double time, double flagger, double drop, int held,
                        robot_controls *out);

// Recovery stage from the tics since the last advance: 0 riding, 1 riding for the sample,
// 2 dragged toward it, 3 the path index jumps.
int robot_recovery_stage(int tics_since_advance, int tics_since_setup, int recovery);
// Recovery riding toward the sample at lateral offset lat and distance ahead: target lean.
double robot_recovery_lean(double v, double lat, double ahead);
double robot_recovery_speed(double v, double roll);

// Stuck-recovery forces for this tic: the frame lifted by 16 x total mass, the front wheel
// pulled toward target at 5 ft/s.
void robot_recovery_lift(bike_record *b, const float target[3]);
// The per-tic update of a robot's bike (before its bike update).
void robot_update(bike_record *b, robot_rider *r);
// The traffic rule inside robot_update: the nearest rider ahead whose corridor overlaps this
// bike's. Fills its distance and speed along the robot's course (turning centre at lateral
// offset rho, 0 = straight) and returns 1, or 0 when nobody is in the way.
int robot_traffic_find(const bike_record *b, double rho, double *distance, double *course_speed);
