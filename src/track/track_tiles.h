// Ground types of the loaded track and the tile map that places them: which type lies under a
// point, how it grips (friction over sliding speed, rolling resistance over speed), the dirt it
// throws and how it deforms. The tables belong to the terrain and are freed with it.
#pragma once

#include <cstdint>

struct data_file;

enum {
    TILES_MAX_TYPES = 256,
    TILES_CURVE_POINTS = 8,
    TILES_ROOST_TYPES = 4,
    TILES_ERODE_LIMITS = 8,
    TILES_NAME_SIZE = 48,
};

// Speeds marking empty curve entries; user speeds are clamped so they never reach them.
#define TILES_FRICTION_EMPTY 1048576.0f
#define TILES_FRICTION_MAX_SPEED 1048575.0f
#define TILES_ROLL_EMPTY 0.0f
#define TILES_ROLL_MIN_SPEED 0.00000095367431640625f

struct tiles_roost {
    int kind; // 0 none, 1 normal, 2 splash
    unsigned texture;
    float count, dig, slip_threshold, slow_angle, fast_angle, slow_speed, fast_speed;
    float size, grow, drag, vscale, randomize;
    uint8_t colour[4]; // r g b a
    int8_t fade[4];    // change per tic, r g b a
};

struct tiles_erosion {
    float depth, lower, upper, displacement, radius, inner_depth, inner_radius;
    float min_slope, max_slope, off_speed, on_speed, slip_lower, slip_upper;
    float slip_base_scale, slip_scale, downhill_scale;
    float limit_depth[TILES_ERODE_LIMITS];
    float limit_outer[TILES_ERODE_LIMITS];
    float limit_inner[TILES_ERODE_LIMITS];
    float project_to_ground, lateral_scale, front_scale;
    int limit_count; // 1..8
};

struct tiles_type {
    char name[TILES_NAME_SIZE];
    unsigned texture;
    int32_t transition;
    int slip_function; // 0, 1, 2; anything else acts as 0
    float friction_speed[TILES_CURVE_POINTS];
    float friction_coef[TILES_CURVE_POINTS];
    float roll_speed[TILES_CURVE_POINTS];
    float roll_light[TILES_CURVE_POINTS];
    float roll_full[TILES_CURVE_POINTS];
    tiles_roost roost[TILES_ROOST_TYPES];
    tiles_erosion erosion;
};

struct tiles_state {
    int count;         // number of types
    tiles_type *types; // count entries
};

extern tiles_state tiles;

// Type-table readers over an open file; both return 1 (problems are warnings).
int tiles_load_tileinfo(data_file *f);
int tiles_load_texturelist(data_file *f);
// Reads 4^n bytes of tile map into terrain.tile_map, clamping each to the type count - 1.
int tilemap_load(data_file *f);
// Frees the type table (the terrain's tile map stays with the terrain).
void tiles_free(void);
// One type with every default, as tileinfo's current record starts; name left empty.
void tiles_default_type(tiles_type *t);
// Replaces the table with one default type (terrain_create, and tracks without any addtile).
void tiles_set_default_table(void);

// Type number under (x, z): 0 when nothing is loaded; non-finite or far coordinates clamp.
int tile_at(float x, float z);
// The type record; out-of-range numbers give type 0 (or a built-in default with no table).
const tiles_type *tiles_type_get(int type);
const tiles_type *tiles_type_at(float x, float z);

// Friction coefficient of a type at argument speed v (the slip function picks the
// interpolation: 1 and 2 linear, others in squared speed).
float tiles_friction(int type, float v);
// Rolling resistance of a type at speed v along the ground: the (light, full) pair.
void tiles_roll_resist(int type, float v, float *light, float *full);
int tiles_slip_function(int type);
const tiles_roost *tiles_roost_get(int type, int index);
const tiles_erosion *tiles_erosion_get(int type);
unsigned tiles_texture(int type);
int32_t tiles_transition(int type);
const char *tiles_name(int type);

// Transition code of texture name `names[t]` among `names[0..count-1]` (names without '@' and
// directory). Exposed for the editor and tests.
int32_t tiles_transition_code(const char *const *names, int count, int t);
