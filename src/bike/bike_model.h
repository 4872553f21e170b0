// The compiled-in table of 80 bike models, looked up by name, with the menu order and the
// graphics prefixes that go with it.
#pragma once

#include "bike/bike_engine.h"

enum {
    BIKE_MODEL_COUNT = 80,
    BIKE_MODEL_NONE = -1,
    BIKE_FILE_COUNT = 23,
};

// Which file slot of a model record holds which data file name.
enum bike_file_slot {
    BIKE_FILE_FRAME_MODEL,
    BIKE_FILE_FRAME_SHAPE,
    BIKE_FILE_BIKE_TEXTURE,
    BIKE_FILE_FORK_UPPER_MODEL,
    BIKE_FILE_FORK_UPPER_SHAPE,
    BIKE_FILE_FORK_LOWER_MODEL,
    BIKE_FILE_FORK_LOWER_SHAPE,
    BIKE_FILE_SWINGARM_MODEL,
    BIKE_FILE_SWINGARM_SHAPE,
    BIKE_FILE_FRONT_WHEEL_MODEL,
    BIKE_FILE_FRONT_WHEEL_SHAPE,
    BIKE_FILE_REAR_WHEEL_MODEL,
    BIKE_FILE_REAR_WHEEL_SHAPE,
    BIKE_FILE_WHEEL_TEXTURE,
    BIKE_FILE_HEAD_MODEL,
    BIKE_FILE_HEAD_TEXTURE,
    BIKE_FILE_BODY_MODEL,
    BIKE_FILE_BODY_FP_MODEL,
    BIKE_FILE_RIDER_SHAPE,
    BIKE_FILE_BODY_TEXTURE,
    BIKE_FILE_SIDE_PLATES_MODEL,
    BIKE_FILE_FRONT_PLATE_MODEL,
    BIKE_FILE_BACK_PLATE_MODEL,
};

// Geometry shared by every model (feet; model coordinates, facing -z).
struct bike_geometry {
    float frame_pos[3];
    float front_wheel_pos[3];
    float rear_wheel_pos[3];
    float fork_upper_pos[3];
    float fork_lower_pos[3];
    float swingarm_pos[3];
    float rider_pos[3];
    float frame_box[3];
    float front_ring_radius, front_ring_element_radius, front_ring_mass;
    float front_hub_radius, front_hub_mass;
    float rear_ring_radius, rear_ring_element_radius, rear_ring_mass;
    float rear_hub_radius, rear_hub_mass;
    float fork_spacing, fork_tube_length;
    float swingarm_pivot[3];
    float tire_radius; // tube radius of both tires
    float rider_radius;
    float steer_limit;
    float rider_anchor[3];
};

// Points the rider's limbs use, in the coordinates of the body named beside each.
struct bike_rider_points {
    float shoulder[2][3]; // rider body (left, right)
    float grip[2][3];     // upper fork
    float hip[2][3];      // rider body, where the legs hang from
    float foot_peg[2][3]; // frame
    float knee[2][3];     // frame, riding pose
    float head[3];        // rider body
    float leg_length;     // hip to foot, stretched
    float upper_arm, forearm;
};

struct bike_model {
    char name[16];
    char engine_class[8];
    bike_geometry geo;
    float frame_mass;
    float fork_tube_mass;
    float swingarm_side_mass;
    // Fork: spring 0/100, preload 0/100, air gap 0/100, HS comp, LS comp, HS rebound, LS rebound.
    float fork[10];
    float fork_travel;
    // Shock: spring 0/100, preload 0/100, HS comp, LS comp, HS rebound, LS rebound.
    float shock[8];
    // Rear linkage: P1, P2, theta max, break fraction, slopes T0, T1, T2.
    float linkage[7];
    bike_engine_spec engine; // drivetrain: ratios, sprockets, gears, inertia, torque curves
    float rider_upper_pos[3];
    float rider_mass;
    char files[BIKE_FILE_COUNT][64];
    bike_rider_points rider;
};

// Index of the model with exactly this name, or BIKE_MODEL_NONE.
int bike_model_find(const char *name);
// Index chosen for a name that is not in the table (any name is accepted).
int bike_model_fallback(const char *name);
// Find, else fall back, logging the not-found message.
int bike_model_lookup(const char *name);
const bike_model *bike_model_get(int index);

// The menu list: entry i names the table index bike_menu_model(i).
int bike_menu_model(int menu_index);
const char *bike_menu_name(int menu_index);
const char *bike_menu_prefix(int menu_index);
int bike_menu_find(const char *name);
