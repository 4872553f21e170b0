// The ground of the loaded track: a square grid of heights with its light map, tile map and the
// map of blocks changed by deformation. One instance, `terrain`, belongs to the loaded track.
// Queries are a few arithmetic operations with no allocation: every tire asks them every tic.
#pragma once

#include <cstdint>

enum {
    TERRAIN_MIN_EXP = 1,
    TERRAIN_MAX_EXP = 12,
    TERRAIN_BLOCK = 128,       // side of one changed block, in height elements
    TERRAIN_DETAIL_SPARE = 16, // slot of the spare texture set of the detail levels
    TERRAIN_DETAIL_SLOTS = 17,
};

// One ground texture level: three T x T textures covering `coverage` x `coverage` elements.
struct terrain_detail_level {
    int coverage; // 0 = slot unused
    unsigned textures[3];
};

struct terrain_state {
    int size_exp;          // n
    int size;              // heights per side: 2^(n+1) + 1
    float spacing;         // s
    float inv_spacing;     // 1 / s
    float extent;          // s * 2^(n+1)
    float double_spacing;  // 2 s, the side of one tile
    float top;             // highest height
    float bottom;          // lowest height
    float *heights;        // size * size, element (i, k) at i + k * size
    float *loaded_heights; // copy of the heights as loaded
    uint8_t *light_map;    // size * size, 0 = full light, 255 = full shadow
    uint8_t *tile_map;     // 2^n * 2^n ground types
    uint8_t *changed;      // one bit per block, blocks * blocks bits
    int blocks;            // B = max(1, (size - 1) / 128)
    int sync_cursor;       // where the cyclic texture sync goes on
    uint32_t change_counter;
    unsigned height_texture;
    unsigned light_texture;
    int detail_texture_size; // T
    terrain_detail_level detail[TERRAIN_DETAIL_SLOTS];
};

// Limits of terrain.hf's parameters (feet): outside them slopes and normals would overflow.
#define TERRAIN_MIN_SPACING 0.001f
#define TERRAIN_MAX_SPACING 10000.0f
#define TERRAIN_MAX_HEIGHT 1000000.0f

extern terrain_state terrain;
// Ground texture detail setting k (configuration): detail textures are 128 * 2^k texels square.
extern int terrain_texture_detail;

// Loads the terrain of a track directory given as "@" + directory. 1 ok; 0 with everything freed.
int terrain_load(const char *dir);
// Frees everything (tile tables included), deletes the textures, leaves the state empty.
void terrain_free(void);
// Builds a terrain in memory (tests, tools): exponent n (1..12), spacing s within the limits, and
// (2^(n+1)+1)^2 heights in grid order, or null for flat ground at 0. The tile map is all type 0
// and one default ground type is supplied. Frees any previous terrain. 1 ok, 0 bad arguments
// (a height that is not finite or beyond TERRAIN_MAX_HEIGHT included).
int terrain_create(int n, float spacing, const float *heights);
// Sets the size fields and allocates zeroed tables for exponent n and spacing s; 0 (and nothing
// allocated) when n is outside 1..12 or s is outside TERRAIN_MIN_SPACING..TERRAIN_MAX_SPACING.
int terrain_alloc(int n, float spacing);
// 1 when a terrain is loaded or created.
int terrain_present(void);

// Height at (x, z); outside the grid the edge heights continue. Non-finite or far coordinates
// are clamped onto the edge.
float terrain_height(float x, float z);
// Upward normal of the ground triangle under (x, z), not normalised, y component s^2.
void terrain_normal(float x, float z, float out[3]);

// Sets up the detail levels of the ground texture for the current grid (logged per level).
void terrain_make_detail_levels(void);
// Recomputes top and bottom from the heights.
void terrain_update_range(void);
// Marks the blocks holding elements (i0..i1, k0..k1) as changed and counts the change; indices
// are clamped onto the grid.
void terrain_mark_changed(int i0, int k0, int i1, int k1);
int terrain_block_changed(int bi, int bk);
// Brings up to budget changed blocks into the height texture; returns how many were synced.
int terrain_sync(int budget);
void terrain_sync_all(void);
