// Calls the track module makes into subsystems that are built later or that live outside the
// simulation library: GPU textures (installed by the drawing code), the loading screen, and
// the loading steps of other modules. Every entry may be null, which means "nothing to do", so
// a headless load (tests, tools, the race server) runs the same sequence and logs the same lines.
#pragma once

#include <cstdint>

struct track_render_hooks {
    // A texture by game-relative name ("@dirt.png"); 0 when none.
    unsigned (*texture_load)(const char *name);
    // A ground tile's texture, shrunk by the ground's own texture setting; null: texture_load.
    unsigned (*ground_texture_load)(const char *name);
    // One-channel 32-bit float texture of w x h texels from rows of `stride` floats.
    unsigned (*height_texture_create)(const float *heights, int stride, int w, int h);
    void (*height_texture_update)(unsigned tex, const float *heights, int stride, int x, int y,
                                  int w, int h);
    // One-channel 8-bit texture with mipmaps.
    unsigned (*light_texture_create)(const uint8_t *light, int stride, int w, int h);
    // RGB texture of t x t texels.
    unsigned (*rgb_texture_create)(const uint8_t *rgb, int t);
    void (*texture_delete)(unsigned tex);
    // Uniforms of the ground shader: spacing and 1 / (size - 1).
    void (*terrain_uniforms)(float spacing, float inv_cells);
    // Texture memory counter of the texture cache.
    unsigned long (*texture_memory)(void);
    void (*texture_memory_reset)(void);
    // Releases textures and models the loaded track does not use.
    void (*sweep_unused)(void);
    // Loading screen: draws the status text; pump processes window events, and redraws the
    // loading screen when redraw is 1 (at most every 0.0625 s).
    void (*status)(const char *text);
    void (*pump)(int redraw);
};

// The steps of a track load that belong to other modules, in the order the loader calls them.
struct track_step_hooks {
    // The points-series event being raced ends with the race it was: its result is kept before
    // the old race goes.
    void (*series_store)(void);
    void (*robot_lines_save)(void); // remember lines learned on the old track
    void (*demo_finish)(void);      // finish the demo being recorded
    void (*bikes_destroy)(void);    // every rider's bike and rider bodies
    void (*race_limits_set)(int network, int time_limit, int laps);
    // The track directory a demo asks for; null when none or the demo does not open.
    const char *(*demo_track)(void);
    const char *(*network_track)(void); // the race server's track for a network race, else null
    void (*script_reset)(void);         // reset the script host and free its sounds
    void (*lighting_load)(const char *dir);
    void (*decals_load)(const char *dir);
    void (*gates_load)(const char *dir);
    void (*roost_pool_create)(void);
    void (*flaggers_load)(const char *dir);
    int (*billboards_load)(const char *dir); // 1 when the file opened
    int (*statues_load)(const char *dir);    // 1 when the file opened
    void (*map_load)(const char *dir);
    void (*object_grid_rebuild)(void);
    // Collision shape files of statues and gate objects, each once, in creation order.
    int (*object_shape_files)(const char **names, int max);
    int (*cameras_load)(const char *dir); // number of cameras
    void (*lineup_set)(const int *riders);
    void (*robot_lines_load)(const char *dir, int level);
    // Creates the bike of one slot; returns 0 when the slot is empty. Called for slots 0..159.
    int (*bike_create)(int slot);
    void (*bikes_finish)(void); // state histories emptied, roost particles freed
    void (*demo_record_start)(void);
    // Runs the track script; frills is 1 for frills.js.
    void (*script_run)(const char *name, int frills);
    void (*race_reset)(void);
    void (*bike_setup_apply)(void);
    // Gate counts for the track info file.
    void (*gate_counts)(int *first_lap, int *normal_lap, int *gate_count);
    // Robot list shuffle of a new load.
    void (*robots_shuffle)(void);
};

extern track_render_hooks track_render;
extern track_step_hooks track_steps;

// Log line tap for tests and tools: receives every line the track module logs.
extern void (*track_log_tap)(const char *line); // seam: tests and tools read the log

// Logs through the platform log (and the tap).
void track_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// A message the user should see: the message log (which also writes the platform log).
void track_message(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Verbose level of the program (command line): 1 logs progress details, 2 also digests.
extern int track_verbose;
