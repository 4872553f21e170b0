// The command line and the settings it fills: start-up settings held by the entry for the run,
// program-wide values other modules read, and the render settings block. Parsing is a pure
// function over argc/argv so every option can be checked without ending the process.
#pragma once

#include <cstdio>

#include <cstddef>
#include <cstdint>

struct core_render_settings {
    int32_t xres;
    int32_t yres;
    int32_t fugly;          // lowest-quality drawing paths
    int32_t novertexarrays; // draw without vertex arrays
    int32_t roost_frequency;
    int32_t debug_level; // 1 --debug, 2 --super-debug
    int32_t practice;
    int32_t model_texture_reduction;  // halvings of model textures
    int32_t ground_texture_reduction; // halvings of ground textures
    int32_t ground_texture_size;
    // The reserved fields hold the block's layout for the drawing code; start-up leaves them.
    int32_t reserved_flag0;
    int32_t reserved_flag1;
    int32_t texture_compression; // 0 No, 1 Yes, 2 Always
    int32_t reserved_flag2;
    int32_t reflections;
    int32_t reserved_value0;
    float detail; // terrain geometric detail
    float max_detail_distance;
    float max_detail_distance_plus5; // always max_detail_distance + 5
    float lod_bias;
    float lod_scale;
    int32_t reserved_value1;
};

extern core_render_settings core_render;

enum { CORE_SERVER_ADDRESS_SIZE = 128 }; // 127 characters and the terminator

struct core_settings {
    // Start-up settings of the entry (not saved).
    int sound_off;
    int warp;
    int record_video;
    int show_pause_text;
    int show_hud;
    int glfinish;
    float lock_fps;                // frames per second, 0 off
    const char *record_audio_path; // points into argv; null none
    int depth;                     // colour bits
    int zdepth;                    // depth-buffer bits
    float chase_center[3];
    int gl_major, gl_minor, gl_dialect; // dialect as platform_gl_dialect

    // Program-wide values other modules read.
    const char *file_arg;                           // at most one; points into argv
    const char *start_track;                        // track to load at start; points into argv
    char connect_address[CORE_SERVER_ADDRESS_SIZE]; // empty: do not connect at start
    const char *password;
    int learning;
    int lineup_rotation;
    int editor;
    int print_orientation;
    int accurate_skip;
    float fake_lag;   // seconds, 0..1
    int fake_loss;    // percent, 0..100
    int erosion_rate; // per tic, scaled by 1024
    int draw_fps, draw_time, draw_ping, draw_speed, draw_render_stats;
    int open_home; // --open-home was given
};

extern core_settings core_options;

// Values start-up derives the render settings from. Each defaults to the menu item's own
// initial value; the configuration reader overwrites them.
struct core_render_inputs {
    int xres, yres;
    double roost_density;          // "Roost Density"
    double model_texture_detail;   // "Model Texture Detail"
    double ground_texture_levels;  // "Ground Texture Levels"
    int ground_texture_dim_choice; // "Ground Texture Resolution" (ground_texture_dim_new) index
    int texture_compress_choice;   // "Compress Textures" index
    int reflections_choice;        // "Enable Reflections" index
    double ground_detail;          // "Ground Geometric Detail"
    double model_detail;           // "Model Geometric Detail"
};

void core_settings_defaults(core_settings *s);
void core_render_defaults(core_render_settings *r);
void core_render_inputs_defaults(core_render_inputs *in);
void core_render_derive(const core_render_inputs *in, core_render_settings *r);

enum { CORE_OPTIONS_GO_ON = -1, CORE_OPTIONS_TEXT_SIZE = 1024 };

struct core_options_result {
    int exit_code;  // CORE_OPTIONS_GO_ON, or the code to end the process with
    int show_usage; // --help or -h: print the usage to standard output
    char stderr_text[CORE_OPTIONS_TEXT_SIZE]; // what to print to standard error first
};

// Scans argv[1..argc-1] over the settings and render settings, which hold the defaults and
// derived values to override. Stops at the first error.
void core_options_parse(int argc, char **argv, core_settings *s, core_render_settings *r,
                        core_options_result *out);

// One line per option with its argument and what it does.
void core_options_usage(FILE *out);
// Number of entries in the option table and the name of entry i in matching order.
int core_options_count(void);
const char *core_options_name(int i);

// The display-mode list: "Default Fullscreen", "Windowed", then "%dx%d" for every platform mode
// with the first mode's colour depth.
enum { CORE_DISPLAY_MODE_NAME = 30 };

struct core_display_mode {
    char name[CORE_DISPLAY_MODE_NAME];
    int width, height; // 0 x 0: the desktop size (entry 0) or xres x yres (entry 1)
};

enum { CORE_DISPLAY_MODE_FULLSCREEN = 0, CORE_DISPLAY_MODE_WINDOWED = 1 };

// Builds the list from a platform list ended by a zero width (null: no modes); returns the count.
int core_display_modes_build(const struct platform_display_mode *modes);
void core_display_modes_free(void);
int core_display_mode_count(void);
const core_display_mode *core_display_mode_at(int i);
// Index of the entry with this name, or -1.
int core_display_mode_find(const char *name);
