// The ground mesh: a quadtree over the height grid whose nodes are drawn as triangle fans, fine
// near the camera and coarse far away, with an error pyramid that follows deformation in slices.
// The mesh is handed to a sink fan by fan, so the choice runs (and is tested) without GL.
#pragma once

#include <cstdint>

enum {
    MESH_LEVELS_MAX = 4,      // texture levels that force refinement
    MESH_ERROR_BUDGET = 8000, // height elements measured per frame after a change
    MESH_FAN_TRIANGLES_MAX = 8,
};

// A texture level as the mesh sees it: its square on the grid.
struct mesh_texture_level {
    int coverage; // in grid cells; 0 = unused
    int origin_u, origin_v;
};

struct mesh_view {
    float eye[3];        // camera position (world units)
    float dir[3];        // viewing direction
    float ground_detail; // configuration value; tolerance = 0.125 / detail
    int refine_all;      // draw the whole grid at full resolution (exact ground)
    int level_count;     // texture levels, finest first
    mesh_texture_level levels[MESH_LEVELS_MAX];
};

// Receives one fan: its node and its triangles (three vertices of x, y, z each), and the texture
// level that covers the node (level_count when only the whole grid does).
struct mesh_sink {
    void *user;
    void (*fan)(void *user, int level, int i, int j, const float *xyz, int triangles,
                int texture_level);
};

struct mesh_state {
    int n; // size exponent of the terrain the pyramid belongs to
    int node_count;
    float *errors;                 // squared error radius per node
    uint8_t *refined;              // one byte per node: drawn with its own fan or finer
    float tolerance;               // tolerance the pyramid was built with
    uint32_t built_for;            // terrain change counter the pyramid reflects
    int valid;                     // pyramid complete for built_for
    int cursor_level, cursor_node; // where the slice update goes on
    int pending;                   // a recomputation is in progress
    uint32_t pending_for;
};
extern mesh_state ground_mesh;

// Index of node (k, i, j): levels stored one after the other, rows (j) of columns (i).
inline int mesh_node_index(int k, int i, int j) {
    return ((1 << (2 * k)) - 1) / 3 + (j << k) + i;
}

// Frees the pyramid and the bitmap.
void mesh_free(void);
// Brings the error pyramid up to date with the terrain, measuring at most `budget` height
// elements (a negative budget: no limit). 1 when the pyramid is complete.
int mesh_update_errors(float ground_detail, int budget);
// Chooses the mesh for a view and hands it to the sink; returns the number of triangles.
int mesh_draw(const mesh_view *view, const mesh_sink *sink);

// A texture level's new origin along one axis for the camera at grid position g: steps of a
// quarter of the coverage c, clamped to 0 .. size - 1 - c.
int mesh_level_origin(int c, float g, int size);
// 1 when a level with coverage c at origin (u, v) is off centre for the camera at (g, h).
int mesh_level_needs_redraw(int c, int u, int v, float g, float h);
