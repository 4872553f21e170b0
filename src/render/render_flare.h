// Lens flares: where a flare's light falls on the screen, whether it is seen (one pixel read
// back: bright and not covered), how it fades toward the edges, and where its elements go.
#pragma once

#include "track/track_lighting.h"

// Takes a world vector into camera axes (rows of `axes`: right, up, back). A point flare's
// position is taken relative to the eye; a vector flare's direction as it is.
void flare_to_camera(const lighting_flare *f, const float eye[3], const float axes[9],
                     float out[3]);
// Screen position (X, Y) at unit distance of a camera-axes vector; 0 when outside the view.
int flare_project(const float c[3], float h, float v, float *x, float *y);
// Window pixel under (X, Y) (rows from the bottom); 0 when it falls outside the window.
int flare_pixel(float x, float y, float h, float v, int width, int height, int *px, int *py);
// The read-back test: the pixel is bright in all three channels and its depth fraction is at
// least the flare's own (0.4 for vector flares, by distance for point flares).
int flare_seen(const unsigned char rgb[3], float depth, float near_plane, float far_plane, int kind,
               float distance);
// Visibility of a seen flare: 1, fading over the last 32nd of the view toward each edge.
float flare_fade(float x, float y, float h, float v);
// Centre of an element with placement (a, b) for a light at (X, Y).
void flare_element_centre(float a, float b, float x, float y, float out[2]);
// Runs the whole test for every flare of the lighting, reading pixels through `read_pixel`
// (colour and depth at a window pixel; 0 when it cannot be read) and fills screen_x, screen_y
// and visibility.
typedef int (*flare_pixel_reader)(int x, int y, unsigned char rgb[3], float *depth);
void flare_update_all(const float eye[3], const float axes[9], float h, float v, int width,
                      int height, flare_pixel_reader read_pixel);
// Draws the visible flares' elements as additive squares (after the scene).
void flare_draw_all(void);

// Counts since start: pixels read back for the visibility test, elements drawn.
struct flare_statistics {
    long read_backs, elements;
};
extern flare_statistics flare_stats;
