// Picture generators of zvgen: a small floating-point canvas with anti-aliased shapes, the
// built-in bitmap font, and the PNG / PPM writers that add the results to the data set.
#pragma once

#include <cstdint>

struct zvgen_canvas {
    int width, height;
    float *px; // RGBA, 0..1, rows top to bottom
};

struct zvgen_rgba {
    float r, g, b, a;
};

void zvgen_canvas_init(zvgen_canvas *c, int width, int height, zvgen_rgba fill);
void zvgen_canvas_free(zvgen_canvas *c);
// Blends colour over pixel (x, y) with coverage (0..1); outside the canvas nothing happens.
void zvgen_canvas_blend(zvgen_canvas *c, int x, int y, zvgen_rgba colour, float coverage);
// Anti-aliased shapes (coordinates in pixels, pixel centres at +0.5).
void zvgen_canvas_disc(zvgen_canvas *c, float cx, float cy, float radius, zvgen_rgba colour);
void zvgen_canvas_ring(zvgen_canvas *c, float cx, float cy, float r0, float r1, zvgen_rgba colour);
void zvgen_canvas_line(zvgen_canvas *c, float x0, float y0, float x1, float y1, float width,
                       zvgen_rgba colour);
void zvgen_canvas_rect(zvgen_canvas *c, float x0, float y0, float x1, float y1, zvgen_rgba colour);
void zvgen_canvas_polygon(zvgen_canvas *c, const float *xy, int count, zvgen_rgba colour);
// Adds these to the data set: 8-bit RGBA (alpha != 0) or RGB PNG, or a binary PPM (gzipped).
int zvgen_canvas_write_png(const zvgen_canvas *c, const char *name, int alpha);
int zvgen_canvas_write_ppm(const zvgen_canvas *c, const char *name);

// ---- the built-in bitmap font: 5 columns, 7 rows above the baseline and 2 below -------------

enum { ZVGEN_GLYPH_COLS = 5, ZVGEN_GLYPH_ROWS = 9, ZVGEN_GLYPH_BASE = 7 };

// Whether pixel (col, row) of the glyph for code is set; codes without a glyph have none.
int zvgen_glyph_pixel(int code, int col, int row);
// The glyph's first and last used columns; 0 when it has no pixels (space).
int zvgen_glyph_span(int code, int *first, int *last);
// Coverage (0..1) of a glyph at (u, v) in glyph pixels, with diagonal steps smoothed so large
// sizes look drawn rather than blocky.
float zvgen_glyph_coverage(int code, float u, float v);
// Draws text with its top-left at (x, y), each glyph pixel sx by sy canvas pixels; returns the
// advance in canvas pixels. bold widens strokes by a fraction of a glyph pixel.
float zvgen_canvas_text(zvgen_canvas *c, float x, float y, float sx, float sy, float bold,
                        const char *text, zvgen_rgba colour);
float zvgen_text_width(const char *text, float sx);

// The generators (each returns 1 on success).
int zvgen_image_fonts(void);
int zvgen_image_hud(void);
int zvgen_image_sky(void);

// Seamless 128 x 128 ground tile textures, written as PNG under name (e.g.
// "tracks/x/loam.png"). 1 on success.
enum { ZVGEN_GROUND_HARDPACK, ZVGEN_GROUND_LOAM, ZVGEN_GROUND_SAND, ZVGEN_GROUND_GRASS };
int zvgen_image_ground_tile(const char *name, int kind, uint64_t seed);
