// Fonts and text. All on-screen text is drawn from one bitmap font cut from a grid image by
// marker pixels, one textured quad per character, with ANSI colour escapes inside strings. Two
// digit-only fonts stay on the CPU to paint riders' number plates. Text is laid out in font
// units: a glyph is one unit high and as wide as its cell's aspect ratio.
#pragma once

#include <GL/glcorearb.h>

#include <cstdint>

struct render_font {
    GLuint texture; // the main font only
    uint8_t *chain; // RGBA levels, marker lines made clear
    int width, height;
    float s0[256], t0[256], s1[256], t1[256];
    float advance[256];
    int loaded;
};

extern render_font render_font_main;      // "@font.png", '!' to '~'
extern render_font render_font_numbers;   // "@numbers.png", "0123456789"
extern render_font render_font_condensed; // "@numbers-condensed.png", "0123456789"

// Text flags.
enum {
    RENDER_TEXT_COLOR_MASK = 0x0f, // palette index; bit 3 is the bright half
    RENDER_TEXT_BRIGHT = 0x08,
    RENDER_TEXT_CALLER_COLOR = 0x10,
    RENDER_TEXT_SHADOW = 0x20,
    RENDER_TEXT_RAW = 0x40,
};

extern const float render_text_palette[16][3];

// Cuts a font from an RGBA image (levels after the first need not be built): the top-left pixel
// is the marker colour; marker pixels in the left column separate rows of cells, marker pixels
// in a row's top line separate its cells; the glyph set takes the cells in reading order. Takes
// ownership of chain (a zv_alloc block sized for all levels). Returns 1 on success.
int render_font_cut(render_font *font, uint8_t *chain, int width, int height, const char *glyphs);
// Loads one font image by name; gl != 0 makes its texture. On failure the font stays empty and
// "Can't open font '%.512s'" goes to the message log.
int render_font_load_file(render_font *font, const char *name, const char *glyphs, int gl);
void render_font_release(render_font *font);

// The three fonts of the game (start-up) and their release (exit).
void render_font_load_all(void);
void render_font_free_all(void);

// ---- text layout and drawing -------------------------------------------------------------------

// One glyph placed by the layout: the quad from (x, y) to (x + w, y + 1) in font units.
struct render_glyph {
    float x, y, w;
    unsigned char code;
    float r, g, b, a;
};
typedef void (*render_glyph_fn)(void *ctx, const render_glyph *g);

// Walks the text as drawing does (escapes, tabs, line breaks, colours) and reports each glyph.
void render_text_layout(const render_font *font, const char *text, int flags, float r, float g,
                        float b, float a, render_glyph_fn fn, void *ctx);
// The widest line in font units.
float render_text_width(const char *text);
float render_text_width_in(const render_font *font, const char *text);

// Draws at the model-view origin through the "unlit" program.
void render_text_draw_flags(float r, float g, float b, float a, const char *text, int flags);
void render_text_draw(float r, float g, float b, float a, const char *text);
void render_text_white(const char *text);
void render_text_shadowed(float r, float g, float b, float a, const char *text);
void render_text_grey_shadowed(const char *text);
void render_text_centred(float r, float g, float b, float a, float left, float right,
                         const char *text);
void render_text_centred_shadowed(float r, float g, float b, float a, float left, float right,
                                  const char *text);
void render_text_right(float r, float g, float b, float a, float right, const char *text);

// ---- number plates -----------------------------------------------------------------------------

enum { RENDER_PLATE_SIZE = 128 };

// Paints text with the digit fonts into a 128 x 128 RGBA image (levels included, zv_alloc) on a
// clear white background: digits in fill colour with an outline colour (0xRRGGBB). Returns the
// chain, or null when it could not be made.
uint8_t *render_font_plate_pixels(const char *text, uint32_t fill, uint32_t outline);
// The same as a plain texture; 0 on failure.
GLuint render_font_plate_texture(const char *text, uint32_t fill, uint32_t outline);
