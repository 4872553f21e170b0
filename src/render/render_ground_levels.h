// Redrawing the ground texture levels around the camera, one level at a time, one step per frame.
#pragma once

enum {
    GROUND_NO_REDRAW = 16,
    GROUND_TILE_REPEAT = 8,  // tiles covered by one copy of a ground type's texture
    GROUND_TILE_FEATHER = 2, // cells over which a ground type fades into its neighbour
};

struct ground_redraw_state {
    int level;              // mesh level being redrawn, GROUND_NO_REDRAW for none
    int origin_u, origin_v; // its new origin
    int step;               // next step, 1..3
    int valid[4];           // level drawn since the last invalidation
    int track_load;         // the track load the levels were drawn for
};
extern ground_redraw_state ground_redraw;
// Decals drawn into the ground levels since start-up (render statistics take the difference).
extern long ground_decals_drawn;

// The drawing of one step (1 tiles, 2 light map, 3 base) into the spare set; replaceable for
// tests. 1 when drawn.
extern int (*ground_level_step)(int slot, int step, int origin_u, int origin_v); // seam: tests
int ground_level_draw_step(int slot, int step, int origin_u, int origin_v);

// Deletes the framebuffer of the redraws (before the GL layer stops) and forgets any redraw.
void ground_levels_free(void);
// Marks every level for redrawing (new track, decals toggled or edited).
void ground_levels_invalidate(void);
// One frame of upkeep for the camera at grid position (g, h); 1 when a step was done.
int ground_levels_update(float g, float h);
// 1 when no level has been drawn since the last invalidation (a new track): the levels still
// show their test pattern.
int ground_levels_none_drawn(void);
