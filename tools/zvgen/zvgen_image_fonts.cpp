// The font pictures: "@font.png" with the 94 printable ASCII glyphs, and the two digit fonts
// "@numbers.png" and "@numbers-condensed.png" for number plates. Each is a grid of cells on a
// clear background, cut apart by the game at the magenta marker lines: marker pixels down the
// left column separate rows of cells, marker pixels along a row's first line separate its cells.
#include "zvgen.h"
#include "zvgen_image.h"

#include <cmath>
#include <cstring>

static const zvgen_rgba marker = {1, 0, 1, 1};
static const zvgen_rgba clear_white = {1, 1, 1, 0};
static const zvgen_rgba ink = {1, 1, 1, 1};

struct sheet_style {
    float sx, sy, bold;
    int rows;  // glyph rows drawn: 9 with descenders, 7 for digits
    int width; // picture width
};

static int cell_width(int code, const sheet_style *s) {
    int first, last;
    if (!zvgen_glyph_span(code, &first, &last)) return (int)(4 * s->sx);
    return (int)std::lround((last - first + 2) * s->sx + s->bold * s->sx);
}

static int write_sheet(const char *name, const char *glyphs, const sheet_style *s) {
    int cell_h = (int)std::lround((s->rows + 2) * s->sy);
    // Lay the cells out in rows first to learn the height.
    int rows = 1, x = 0;
    for (const char *g = glyphs; *g; g++) {
        int w = cell_width((unsigned char)*g, s);
        if (x > 0 && x + w > s->width) {
            rows++;
            x = 0;
        }
        x += w + 1;
    }
    int height = 1 + rows * (cell_h + 1);
    zvgen_canvas c;
    zvgen_canvas_init(&c, s->width, height, clear_white);
    // Marker line above every row of cells (the first one includes the top-left pixel).
    for (int r = 0; r <= rows; r++)
        zvgen_canvas_rect(&c, 0, (float)(r * (cell_h + 1)), (float)s->width,
                          (float)(r * (cell_h + 1) + 1), marker);
    int top = 1;
    x = 0;
    for (const char *g = glyphs; *g; g++) {
        int code = (unsigned char)*g;
        int w = cell_width(code, s);
        if (x > 0 && x + w > s->width) {
            // The rest of the row is marker, so the cutter finds no cell there.
            zvgen_canvas_rect(&c, (float)x, (float)top, (float)s->width, (float)(top + cell_h),
                              marker);
            top += cell_h + 1;
            x = 0;
        }
        char text[2] = {(char)code, 0};
        zvgen_canvas_text(&c, (float)x, top + s->sy, s->sx, s->sy, s->bold, text, ink);
        // The separator after the cell.
        zvgen_canvas_rect(&c, (float)(x + w), (float)top, (float)(x + w + 1), (float)(top + cell_h),
                          marker);
        x += w + 1;
    }
    if (x < s->width)
        zvgen_canvas_rect(&c, (float)x, (float)top, (float)s->width, (float)(top + cell_h), marker);
    int ok = zvgen_canvas_write_png(&c, name, 1);
    zvgen_canvas_free(&c);
    return ok;
}

int zvgen_image_fonts(void) {
    char ascii[95];
    for (int i = 0; i < 94; i++)
        ascii[i] = (char)(0x21 + i);
    ascii[94] = 0;
    // Four canvas pixels per glyph pixel: 44 pixels a line, so the mip levels serve small text
    // and the smoothed diagonals keep large text clean.
    sheet_style text = {4, 4, 0, ZVGEN_GLYPH_ROWS, 512};
    sheet_style numbers = {10, 10, 0.35f, 7, 256};
    sheet_style condensed = {6, 10, 0.3f, 7, 256};
    return write_sheet("font.png", ascii, &text) &&
           write_sheet("numbers.png", "0123456789", &numbers) &&
           write_sheet("numbers-condensed.png", "0123456789", &condensed);
}
