// The calls the program core makes into modules that sit above it (drawing, sound, menus,
// editor) or beside it (track, race, bikes, demos, network). Each module installs its entries
// at start-up; an entry left null means the module is not part of this build, and the core then
// does the least that keeps the loop sound (no picture, no sound, no race). This keeps the
// simulation library free of GL and lets tests drive the loop with the pieces they need.
#pragma once

#include "platform/platform.h"

struct core_hooks {
    // ---- world state the loop reads -----------------------------------------------------------
    int (*track_loaded)(void);
    int (*bike_in_slot)(int slot);
    int (*slot_status)(int slot); // 0 local, 1 replayed/remote/empty, 2 robot
    // Slot one place ahead (dir -1) or behind (dir +1) in the running order; slot when none.
    int (*running_order_step)(int slot, int dir);
    int (*track_camera_count)(void);
    int (*local_has_race_slot)(void);

    // ---- simulation steps ---------------------------------------------------------------------
    void (*race_tic)(void);
    // The local rider's controls vector of this tic (9 values, the bike's channel order).
    void (*set_rider_inputs)(int slot, const float *controls);
    // The time-trial abort rule: back up pressed again after release restarts the attempt.
    void (*time_trial_abort)(int slot);
    int (*time_trial_active)(void);
    void (*time_trial_started)(int slot);
    // Warp: 1 when the leader has completed the race's laps; restart rotates the lineup.
    int (*race_finished)(void);
    void (*race_restart_rotated)(void);
    void (*erode)(int rate); // rate per tic scaled by 1024
    void (*terrain_update)(int budget);
    void (*settle_bikes)(void); // Tab out of the editor
    void (*demo_rewind)(void);
    void (*demo_skip)(void);
    // Fills one character per tracked setup value ('-' when unchanged) and marks them
    // unchanged; returns how many changed.
    int (*setup_changes)(char *letters, int size);
    void (*free_camera_step)(float speed, float dt); // track cameras: move the free camera

    // ---- network ------------------------------------------------------------------------------
    int (*connected)(void);
    void (*net_step)(void);
    // Server tic estimate minus tic counter minus 1, in tics; *before_start when the race start
    // tic lies ahead.
    double (*server_lead_tics)(int *before_start);
    int (*synchronised)(void); // server tic estimate at least 1
    void (*send_chat)(const char *text);

    // ---- menus, editor, chat ------------------------------------------------------------------
    int (*menu_key)(int code); // returns non-zero when it used the key
    void (*menu_reset_highlight)(void);
    void (*menu_pointer)(int x, int y, int dragging);
    int (*editor_key)(int code); // non-zero when the editor consumed the key
    void (*editor_tic)(void);
    int (*editor_available)(void); // 0 when the build links no editor: --editor adds no view

    // ---- drawing and sound --------------------------------------------------------------------
    void (*draw_view)(int view_mode, int width, int height);
    void (*draw_overlays)(int view_mode);
    void (*draw_text_centred)(const char *text, float size, float dy);
    void (*draw_menus)(void);
    void (*gl_finish)(void);
    // RGB bytes of the last frame, rows from the bottom as the frame buffer reads back; null when
    // memory ran out (frame skipped).
    unsigned char *(*read_back_rgb)(int width, int height);
    int (*write_png)(const char *name, const unsigned char *rgb, int width, int height);
    void (*sound_update)(float competitor_factor);
    int (*audio_open)(void);
    void (*audio_push)(void);
    void (*audio_record_tic)(void); // appends this tic's audio period to the record file
    void (*status_line)(const char *text);
    void (*reshade_terrain)(void); // every ground texture level drawn again (decals toggled)

    // ---- start-up and shutdown of the drawing side -------------------------------------------
    // Loads the GL entry points and logs the context strings; 0 when that failed. *major and
    // *minor receive the context version, *es 1 for an OpenGL ES context.
    int (*gl_start)(platform_window *w, int *major, int *minor, int *es);
    int (*gl_programs)(void); // compiles the shader programs; 0 on failure
    void (*gl_flush)(void);
    void (*gl_setup)(void); // clear colour and fixed state
    void (*gl_stop)(void);
    void (*load_fonts)(void);
    void (*load_hud_pictures)(void);
    void (*delete_textures)(void);
    void (*delete_models)(void); // the model cache with its GL buffers
    void (*free_fonts)(void);

    // ---- data ---------------------------------------------------------------------------------
    const char *const *(*file_list)(void); // every distinct data file name, null-terminated
};

extern core_hooks core_hook;
