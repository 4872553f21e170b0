// The rider setup: bike choice, name, number, graphics choices and the tuning values, their
// key=value text form, the stability preset, and how a setup becomes a bike's applied values.
#pragma once

#include <cstddef>

struct bike_model;

// Numeric setup values, in the order they are written.
enum bike_setup_value {
    SETUP_STABILITY,
    SETUP_LEVELING,
    SETUP_ROLL_DAMPING,
    SETUP_ROLL_LIMIT_ANGLE,
    SETUP_ROLL_LIMIT_FACTOR,
    SETUP_STEERING_DAMPING,
    SETUP_STEERING_STRENGTH,
    SETUP_MAX_STEERING_FORCE,
    SETUP_DIRECT_STEERING,
    SETUP_SLOW_DAMPING_SPEED,
    SETUP_SLOW_DAMPING_FACTOR,
    SETUP_LAND_DAMPING_RAMPUP,
    SETUP_LAND_DAMPING_FALLOFF,
    SETUP_LAND_DAMPING_FACTOR,
    SETUP_FULL_LOCK_SPEED,
    SETUP_RESTRICTED_LOCK_SPEED,
    SETUP_RESTRICTED_LOCK,
    SETUP_AUTO_CLUTCH_RPMS,
    SETUP_BRAKE_TORQUE,
    SETUP_REAR_BRAKE_TORQUE,
    SETUP_MAX_DAB_SPEED,
    SETUP_FRONT_SPROCKET,
    SETUP_REAR_SPROCKET,
    SETUP_FORK_COMPRESSION,
    SETUP_FORK_SLOW_COMPRESSION,
    SETUP_FORK_REBOUND,
    SETUP_FORK_SLOW_REBOUND,
    SETUP_FORK_SPRING_RATE,
    SETUP_FORK_PRELOAD,
    SETUP_FORK_OIL_LEVEL,
    SETUP_SHOCK_COMPRESSION,
    SETUP_SHOCK_SLOW_COMPRESSION,
    SETUP_SHOCK_REBOUND,
    SETUP_SHOCK_SLOW_REBOUND,
    SETUP_SHOCK_SPRING_RATE,
    SETUP_SHOCK_PRELOAD,
    SETUP_RIDER_YSPRING,
    SETUP_RIDER_YDAMPING,
    SETUP_RIDER_ZSPRING,
    SETUP_RIDER_ZDAMPING,
    SETUP_RIDER_MASS_DISTRIBUTION,
    SETUP_VALUE_COUNT,
    // Numeric values before this one are written ahead of the choice lines.
    SETUP_VALUES_BEFORE_CHOICES = SETUP_AUTO_CLUTCH_RPMS,
};

enum bike_setup_choice {
    SETUP_ARCADE,
    SETUP_FRONT_BRAKE,
    SETUP_REAR_BRAKE,
    SETUP_STOP_WHEELIES,
    SETUP_AUTO_SHIFT,
    SETUP_AUTO_DAB,
    SETUP_AUTO_ALIGN,
    SETUP_STICKY_DAB,
    SETUP_REVERSE_STEERING,
    SETUP_LEAN_INDICATOR,
    SETUP_CHOICE_COUNT,
};

enum bike_graphics_kind { GFX_RIDER, GFX_HEAD, GFX_BIKE, GFX_WHEEL, GFX_KIND_COUNT };

struct bike_setup_slider {
    const char *key;
    const char *label;
    float def, step, min, max;
};

struct bike_setup_choice_info {
    const char *key;
    const char *label;
    const char *labels[3];
    int count;
    int def;
};

struct bike_graphics_entry {
    char label[64];
    char file[128]; // "" for the model's own texture
};

struct bike_graphics_list {
    bike_graphics_entry *entries; // zv_alloc'd, grows by doubling from 16
    int count, capacity;
    int choice;
};

struct bike_setup {
    int bike; // index into the bike menu list
    char name[64];
    char number[4];
    float value[SETUP_VALUE_COUNT];
    int choice[SETUP_CHOICE_COUNT];
    bike_graphics_list gfx[GFX_KIND_COUNT];
    // Texture labels read from a setup, applied once the whole setup has been read.
    char pending_texture[GFX_KIND_COUNT][1024];
    int pending_set[GFX_KIND_COUNT];
    int changed;
};

// The setup-change report: the 40 tuning values after the stability preset (leveling to rider
// mass distribution), each with its letter ('a' to 'z', then 'A' to 'N').
enum { SETUP_TRACKED_FIRST = SETUP_LEVELING, SETUP_TRACKED = SETUP_VALUE_COUNT - SETUP_LEVELING };
static_assert(SETUP_TRACKED == 40, "the report tracks 40 values");
struct bike_setup_tracker {
    float seen[SETUP_TRACKED];
};
// Marks every tracked value unchanged.
void bike_setup_track(bike_setup_tracker *t, const bike_setup *s);
// Writes "letters" (one per tracked value: its letter when it changed since the last call or
// bike_setup_track, '-' otherwise; zero-terminated, size at least 41), marks them unchanged and
// returns how many changed.
int bike_setup_changes(bike_setup_tracker *t, const bike_setup *s, char *letters, int size);

// Flag bits of a bike's applied values (bit n of the setup's list is 1 << n).
enum {
    BIKE_FLAG_STOP_WHEELIES = 1 << 1,
    BIKE_FLAG_STOP_STOPPIES = 1 << 2,
    BIKE_FLAG_FRONT_ANTILOCK = 1 << 3,
    BIKE_FLAG_REAR_ANTILOCK = 1 << 4,
    BIKE_FLAG_AUTO_SHIFT = 1 << 5,
    BIKE_FLAG_AUTO_DAB = 1 << 6,
    BIKE_FLAG_REALIGN = 1 << 7,
};

// What the physics reads, one copy per bike (angles in radians, speeds in ft/s).
struct bike_applied {
    float leveling, roll_damping, roll_limit_angle, roll_limit_factor;
    float steering_damping, steering_strength, max_steering_force, direct_steering;
    float slow_damping_speed, slow_damping_factor;
    float land_rampup, land_falloff, land_factor;
    float full_lock_speed, restricted_lock_speed, restricted_lock;
    float auto_clutch_rpms, brake_torque, rear_brake_torque, max_dab_speed;
    int flags;
    int arcade;
    int front_teeth, rear_teeth;
    float final_drive;
    // Fork: HS compression, LS compression, HS rebound, LS rebound, spring, preload, air gap.
    float fork_hs_comp, fork_ls_comp, fork_hs_reb, fork_ls_reb;
    float fork_spring, fork_preload, fork_air_gap;
    float shock_hs_comp, shock_ls_comp, shock_hs_reb, shock_ls_reb;
    float shock_spring, shock_preload;
    float rider_yspring, rider_ydamping, rider_zspring, rider_zdamping;
    float rider_mass_distribution;
};

const bike_setup_slider *bike_setup_slider_info(int value);
const bike_setup_choice_info *bike_setup_choice_info_get(int choice);

// Defaults of every value with the stability preset applied; graphics lists holding only
// "default". The record's old contents are not looked at (use reset on a live setup).
void bike_setup_init(bike_setup *s);
void bike_setup_free(bike_setup *s);
// Frees a live setup's lists and initialises it again.
void bike_setup_reset(bike_setup *s);
// Overwrites the advanced stability sliders from a stability value of 0-100.
void bike_setup_apply_stability(bike_setup *s, float stability);

// One key=value pair; returns 1 for every key this module owns (even with a bad value).
int bike_setup_read_line(bike_setup *s, const char *key, const char *value);
// A whole setup text, line by line; then the pending texture labels are resolved against the
// given file names (the data file list) and the setup is marked changed.
void bike_setup_read_text(bike_setup *s, const char *text, const char *const *file_names,
                          int file_count);
// Resolves remembered texture labels after a read.
void bike_setup_read_finish(bike_setup *s, const char *const *file_names, int file_count);

// "@setups/" + name read line by line (graphics resolved against the data file list);
// reports "Setup updated" or "Error reading setup". 1 ok; 0 leaves the setup unchanged.
int bike_setup_read_file(bike_setup *s, const char *name);
// Writes "@setups/" + name; reports "Setup written" or "Error writing setup". 1 ok.
int bike_setup_write_file(const bike_setup *s, const char *name);
// The data file list as graphics candidates (empty before the index is built).
const char *const *bike_setup_file_list(int *count);

// Each line (with its newline) goes to the sink, in the fixed order.
typedef void (*bike_setup_sink)(void *ctx, const char *line);
void bike_setup_write(const bike_setup *s, bike_setup_sink sink, void *ctx);
// Convenience: writes into buf (always terminated); returns the length the whole text needs.
size_t bike_setup_write_buffer(const bike_setup *s, char *buf, size_t size);

// Rebuilds the four graphics lists from the file list (bike graphics for the chosen bike).
void bike_setup_rebuild_graphics(bike_setup *s, const char *const *file_names, int file_count);
void bike_setup_rebuild_bike_graphics(bike_setup *s, const char *const *file_names, int file_count);
// Selects the entry with this label; 0 when there is none (the choice stays).
int bike_setup_select_graphics(bike_setup *s, int kind, const char *label);
const char *bike_setup_graphics_file(const bike_setup *s, int kind);
const char *bike_setup_graphics_label(const bike_setup *s, int kind);

// Sets the bike choice by menu name (the "crf250" style short names included); 0 if unknown.
int bike_setup_select_bike(bike_setup *s, const char *name);

// Applied values of a freshly created bike.
void bike_applied_defaults(bike_applied *a, const bike_model *m);
// Copies the setup into a bike's applied values, clamping every value on the way in.
void bike_setup_apply(const bike_setup *s, const bike_model *m, int arcade_allowed,
                      bike_applied *a);

// The one-line rider description; returns buf.
const char *bike_setup_info_line(const bike_setup *s, char *buf, size_t size);

// Menu text of the physical values behind a slider ("0.280 kg/mm" etc.); "" when none.
const char *bike_setup_display(const bike_setup *s, const bike_model *m, int value, char *buf,
                               size_t size);
