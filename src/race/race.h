// Race control: the lineup at the gate, the gate drop, the per-tic update of every bike, the
// riders' progress through the timing gates, laps and lap times, the running order, time
// limits, penalties, finishing and final results, and time-trial attempts.
#pragma once

#include <cstdint>

#include "base/zv_shared.h"

enum {
    RACE_SLOTS = 160,
    RACE_NONE = 160,         // "no slot"
    RACE_UNSET = 1000000,    // halfway lap / lap total not yet known
    RACE_FLAGGER_MARK = 640, // 5 s
    RACE_TIME_TRIAL_TIC = 38400,
    RACE_PASS_MAX = 1 << 20, // gate positions a rider may pass in one race
    RACE_ROBOTS = 80,
};

static_assert(RACE_SLOTS == zv::SLOTS && RACE_NONE == zv::NO_SLOT, "rider slots");
static_assert(RACE_FLAGGER_MARK == zv::FLAGGER_MARK_TICS, "the flagger mark");

enum race_rider_type {
    RACE_EMPTY = 0,
    RACE_HUMAN = 1,
    RACE_ROBOT = 2,
    RACE_ROBOT_125 = 3,
    RACE_ROBOT_250 = 4,
    RACE_REMOTE_HUMAN = 5,
    RACE_ROBOT_NUMBER = 1000, // + the robot's number
};

enum race_status { RACE_LOCAL = 0, RACE_REPLAYED = 1, RACE_ROBOT_DRIVEN = 2 };

struct race_rider {
    int progress; // gate positions passed (index of the next expected one)
    int *pass;    // pass tic per position, -1 for a skipped one; valid below progress
    int pass_cap;
    int finished;
    float distance;   // feet the frame travelled over the ground since the race started
    float last_xz[2]; // frame position at the previous tic
    int tracked;      // last_xz holds a position
};

struct race_order_entry {
    int slot;
    int progress;
    int tic; // of the last passed position (0 when progress < 1); results: plus penalty
};

struct race_start_gate {
    float fall; // 1 up, 0 down
    float speed;
    int touch_tic;
};

struct race_state {
    int tic;
    int gate_drop_tic;
    int remote_delay;
    int time_limit; // tics; 0 = laps only
    int laps;
    int halfway_lap;
    int lap_total;
    int time_trial;
    int results_final;
    int network;
    int demo_playback;
    int erosion_rate; // 1024 x erosion factor; 0 or less is off

    int lineup[RACE_SLOTS];
    int status[RACE_SLOTS];
    int present[RACE_SLOTS];  // the slot has a bike in this race
    int robot_of[RACE_SLOTS]; // roster entry of a robot slot, -1 otherwise
    int viewed_slot;
    int local_slot; // online race slot of the local user; -1 none (offline: 0)

    race_rider riders[RACE_SLOTS];
    race_order_entry order[RACE_SLOTS];
    int order_count;
    race_order_entry results[RACE_SLOTS];
    int results_count;
    int cut_penalty[RACE_SLOTS]; // tics, as counted at the last results

    float off_course_scale;
    float off_course_bias; // seconds

    float start_pos[3];
    int penalty_countdown;

    int attempt_state, backup_latch, last_lap, best_lap; // time trial (lap times in tics)
    int tt_player_laps, tt_ghost_laps;

    race_start_gate start_gates[RACE_SLOTS];
    int start_gate_count;
};

extern race_state race;

// Steps of the tic and of setup that belong to modules built elsewhere. Null means nothing to do.
struct race_step_hooks {
    void (*script_tic)(int tic);
    void (*history_pose)(int slot, int display_tic); // replayed and remote riders
    int (*history_newest_tic)(int slot);             // -1 when none
    void (*contacts)(void);                          // bikes with objects and each other
    void (*robot_control)(int slot);
    // Gives a slot's rider its auto pilot personality ("empty" for riders that are not robots)
    // and the seed of its random draws.
    void (*robot_personality)(int slot, const char *name, unsigned seed);
    void (*autopilot_learn)(int slot);
    void (*robot_forget_picks)(int slot); // another bike touched this rider's bike
    void (*debris)(void);
    void (*gate_object_turn)(int object, float angle);
    void (*demo_tic)(void);
    void (*demo_history_clear)(void);
    void (*suspension_graph)(int slot);
    void (*results_write)(void);
    void (*series_store)(void);
    void (*message)(const char *text);
    int (*heard_within)(int slot, int tics); // online: a packet came from the slot lately
    // Time trial demo files: restart closes playback and recording; a completed lap copies
    // the last lap over the fastest (when asked) and starts the ghost and a new recording.
    void (*trial_demo_stop)(void);
    int (*trial_fastest_exists)(void);
    void (*trial_keep_last_lap)(void);
    int (*trial_ghost_start)(void); // number of ghost riders placed from slot 1 onward
    void (*trial_record_start)(void);
};
extern race_step_hooks race_steps;

// Players' choices for human slots.
extern char race_player_model[64];
extern int race_player_number;
extern char race_player_name[64];
// The player's rider setup: its bike (of the menu list), number and name for the next race, and
// its values for the player's bike at the end of every race start. The program owns the setup.
struct bike_setup;
extern const bike_setup *race_player_setup;
void race_player_from_setup(const bike_setup *setup);
// Practice (the program's --practice): every robot rides as "tester".
extern int race_practice;

// ---- setup ------------------------------------------------------------------------------------
void race_limits_set(int network, int time_limit, int laps);
// Seeds the race's own generator (the gate drop moment): the same seed, the same race.
void race_seed(uint32_t seed);
// seam: non-zero (benchmarks) seeds every race's roster and gate drop with it instead of the
// clock, so that runs ride the same race.
extern uint32_t race_fixed_seed;
// Stores the lineup (null: time trial) and gives every slot its status.
void race_lineup_set(const int *lineup);
// Creates and places the bike of one slot from the lineup; 1 when the slot has a bike.
int race_bike_create(int slot);
// Gate drop tic from a random value r (13 to 15 s after setup).
int race_gate_drop_from(uint32_t r);
// The rest of setup after the bikes exist: counters, gates, time trial, first running order.
void race_reset(void);
// Grid spot of slot k: x, z and heading. Returns 1.
int race_grid_position(int slot, float *x, float *z, float *heading);
// Frees the pass arrays.
void race_free(void);
// Race length for users: "%d laps", "%d minutes" or "%d minutes + %d laps".
void race_length_text(char *buf, int size);

// ---- the tic ----------------------------------------------------------------------------------
void race_tic(void);
// The stages of the tic, for timing it.
enum race_stage {
    RACE_STAGE_POSES,    // script tic, replayed riders, time-trial notes
    RACE_STAGE_CONTACTS, // bikes with objects and each other
    RACE_STAGE_PRESTEP,  // tire contacts and roost
    RACE_STAGE_WORLD,    // the world step
    RACE_STAGE_EROSION,  // tire strokes into the ground
    RACE_STAGE_ROBOTS,   // robot riding control
    RACE_STAGE_UPDATE,   // the bike update
    RACE_STAGE_RIDERS,   // learning, gates, distances
    RACE_STAGE_REST,     // debris, starting gates, clock, demo, time trial
    RACE_STAGES
};
// seam: when set (benchmarks), every race tic from the gate drop on adds each stage's wall time
// in seconds here and counts itself in race_stage_tics.
extern double *race_stage_seconds;
extern long race_stage_tics;
// Adds the frame's ground distance moved since the previous call to the slot's record.
void race_track_distance(int slot, float x, float z);
// Logs how far the local rider rode in the race now ending, and how far from the start it ended
// ("Local rider rode ..."); nothing without a local rider.
void race_log_local_distance(void);
// The contact stage: bikes against each other and against the track objects near them.
void race_contacts(void);
// Bike-against-bike touches since the program started (a count for tests and benchmarks).
extern int race_contact_bikes;
// Installs the race into the track loader's and the main loop's named calls.
void race_install(void);

// ---- gates and laps ---------------------------------------------------------------------------
// Sequence entry of gate position p; -1 without laps.
int race_position_entry(int p);
int race_position_ends_lap(int p);
// End position of lap k (k >= 1).
int race_lap_end(int k);
// Crossing test of checkpoint cp at (x, z).
int race_checkpoint_crossed(int cp, float x, float z);
// The once-per-tic gate test of a rider at front-wheel position (x, z); 1 when progress moved.
int race_gate_test(int slot, float x, float z);
// Pass tic of position p (bounds-checked): -1 when skipped or not yet reached.
int race_pass_tic(int slot, int p);
// Moves a rider's progress to p: positions newly below it count as skipped, those at or
// above it as not yet reached.
void race_rider_set_progress(int slot, int p);
int race_laps_completed(int slot);
int race_current_gate(int slot);
// Lap time of lap k in seconds; 0 when it has no time.
double race_lap_time(int slot, int k);
int race_lap_tics(int slot, int k);
// Best lap (laps 2 onward) in tics; 0 when none.
int race_best_lap(int slot);
int race_finished(int slot);

// ---- results file -----------------------------------------------------------------------------
// The rider's number as results and the HUD show it: a robot's roster number, a replayed rider's
// recorded number, the player's number, else the slot number counted from 1.
void race_rider_number(int slot, char *out, int size);
// Writes the results file (header, one line per finished rider, then their pass times); 0 when
// it cannot be opened.
int race_results_write(const char *name);
// The finish rule: marks every rider whose last completed lap ended at or after the winner's
// finish.
void race_check_finish(void);
// Cutting penalty in tics.
int race_cut_penalty(int slot);
int race_off_course(int slot);
int race_live(int slot);
int race_rider_shown(int slot);

// ---- order and results ------------------------------------------------------------------------
void race_update_order(void);
int race_leader(void);
// Position in the running order one place ahead (-1) or behind (+1); slot itself when none.
int race_order_step(int slot, int dir);

// ---- time trial -------------------------------------------------------------------------------
void race_restart_attempt(void);
void race_time_trial_abort(float back_up, float throttle, int backing_aborts);
// Tic steps: note the player's and the ghost's laps before the tic, handle completed laps after.
void race_time_trial_note(void);
void race_time_trial_tic(void);
