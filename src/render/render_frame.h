// One frame of the race view in its fixed pass order: sky, ground, riders, transparent
// billboards, a second rider pass, lines, name tags, lens flares. Passes whose objects belong to
// modules not wired yet are hooks; an unset hook draws nothing.
#pragma once

struct frame_camera {
    float position[3];
    float axes[9]; // rows: right, up, back (the view looks along -back)
    float fov;     // horizontal field of view in degrees
};

struct frame_pass_hooks {
    void (*riders)(int pass); // 0 before the billboards, 1 after them
    void (*billboards)(void);
    void (*lines)(void);
    void (*name_tags)(void);
};
extern frame_pass_hooks frame_passes;

struct frame_settings {
    float ground_detail;
    int clear_colour; // clear the colour buffer too (the sky may not cover everything)
    int lens_flares;  // "Enable Lens Flares"
};
extern frame_settings frame_config;

// Draws the scene for the camera into a width x height window.
void frame_draw(const frame_camera *camera, int width, int height);
// The projection of the HUD and menus: pixels, bottom-left origin, its own depth range, so a
// track's clipping planes never reach it.
void frame_overlay_projection(int width, int height);
// The model-view matrix (column-major) of a camera: rotation into its axes, then minus the eye.
void frame_view_matrix(const frame_camera *camera, int with_translation, float m[16]);
