// Drawing the ground mesh: fans from the quadtree gathered into a streamed vertex buffer of
// 16384 vertices, one draw per run of fans that share a texture level.
#pragma once

enum {
    GROUND_BATCH_VERTICES = 16384, // 196608 bytes of x, y, z
    GROUND_DRAWS_MAX = 512,        // runs per buffer; a full table flushes early
    GROUND_LEVELS_MAX = 4,
};

struct ground_level_origin {
    int origin_u, origin_v; // lower corner of the level's square on the grid
};

struct ground_stats {
    int buffers;   // buffer uploads this frame
    int draws;     // draw calls this frame
    int triangles; // triangles this frame
};

extern ground_level_origin ground_origins[GROUND_LEVELS_MAX];
extern ground_stats ground_frame_stats;

// Chooses and draws the ground for the eye and view direction with program "terrain" current.
// Returns the triangle count.
int ground_draw(const float eye[3], const float dir[3], float ground_detail);
// Frees the GL buffers.
void ground_free(void);
