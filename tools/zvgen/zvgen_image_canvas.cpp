// The canvas of zvgen's pictures: floating-point RGBA with anti-aliased discs, rings, lines,
// rectangles, polygons and text, written out as PNG or PPM.
#include "zvgen.h"
#include "zvgen_image.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void zvgen_canvas_init(zvgen_canvas *c, int width, int height, zvgen_rgba fill) {
    c->width = width;
    c->height = height;
    c->px = (float *)zv_alloc(sizeof(float) * 4 * (size_t)width * height);
    for (int i = 0; i < width * height; i++) {
        c->px[i * 4 + 0] = fill.r;
        c->px[i * 4 + 1] = fill.g;
        c->px[i * 4 + 2] = fill.b;
        c->px[i * 4 + 3] = fill.a;
    }
}

void zvgen_canvas_free(zvgen_canvas *c) {
    zv_free(c->px);
    c->px = nullptr;
}

void zvgen_canvas_blend(zvgen_canvas *c, int x, int y, zvgen_rgba col, float coverage) {
    if (x < 0 || y < 0 || x >= c->width || y >= c->height || coverage <= 0) return;
    if (coverage > 1) coverage = 1;
    float *p = c->px + ((size_t)y * c->width + x) * 4;
    float a = col.a * coverage;
    float out_a = a + p[3] * (1 - a);
    if (out_a <= 0) return;
    // Straight-alpha "over": clear pixels take the colour as it is.
    p[0] = (col.r * a + p[0] * p[3] * (1 - a)) / out_a;
    p[1] = (col.g * a + p[1] * p[3] * (1 - a)) / out_a;
    p[2] = (col.b * a + p[2] * p[3] * (1 - a)) / out_a;
    p[3] = out_a;
}

// Supersamples a shape given as an inside test over a bounding box: 4 x 4 samples per pixel.
template <typename F>
static void fill_shape(zvgen_canvas *c, float x0, float y0, float x1, float y1, zvgen_rgba col,
                       F inside) {
    int ix0 = (int)std::floor(x0) - 1, iy0 = (int)std::floor(y0) - 1;
    int ix1 = (int)std::ceil(x1) + 1, iy1 = (int)std::ceil(y1) + 1;
    if (ix0 < 0) ix0 = 0;
    if (iy0 < 0) iy0 = 0;
    if (ix1 > c->width) ix1 = c->width;
    if (iy1 > c->height) iy1 = c->height;
    for (int y = iy0; y < iy1; y++)
        for (int x = ix0; x < ix1; x++) {
            int n = 0;
            for (int sy = 0; sy < 4; sy++)
                for (int sx = 0; sx < 4; sx++)
                    n += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
            if (n) zvgen_canvas_blend(c, x, y, col, n / 16.0f);
        }
}

void zvgen_canvas_disc(zvgen_canvas *c, float cx, float cy, float r, zvgen_rgba col) {
    fill_shape(c, cx - r, cy - r, cx + r, cy + r, col, [&](float x, float y) {
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    });
}

void zvgen_canvas_ring(zvgen_canvas *c, float cx, float cy, float r0, float r1, zvgen_rgba col) {
    fill_shape(c, cx - r1, cy - r1, cx + r1, cy + r1, col, [&](float x, float y) {
        float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        return d <= r1 * r1 && d >= r0 * r0;
    });
}

void zvgen_canvas_line(zvgen_canvas *c, float x0, float y0, float x1, float y1, float width,
                       zvgen_rgba col) {
    float h = width / 2, dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    fill_shape(c, std::fmin(x0, x1) - h, std::fmin(y0, y1) - h, std::fmax(x0, x1) + h,
               std::fmax(y0, y1) + h, col, [&](float x, float y) {
                   float t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
                   t = t < 0 ? 0 : t > 1 ? 1 : t;
                   float ex = x - (x0 + t * dx), ey = y - (y0 + t * dy);
                   return ex * ex + ey * ey <= h * h;
               });
}

void zvgen_canvas_rect(zvgen_canvas *c, float x0, float y0, float x1, float y1, zvgen_rgba col) {
    fill_shape(c, x0, y0, x1, y1, col,
               [&](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; });
}

void zvgen_canvas_polygon(zvgen_canvas *c, const float *xy, int count, zvgen_rgba col) {
    if (count < 3) return;
    float x0 = xy[0], x1 = xy[0], y0 = xy[1], y1 = xy[1];
    for (int i = 1; i < count; i++) {
        x0 = std::fmin(x0, xy[2 * i]);
        x1 = std::fmax(x1, xy[2 * i]);
        y0 = std::fmin(y0, xy[2 * i + 1]);
        y1 = std::fmax(y1, xy[2 * i + 1]);
    }
    fill_shape(c, x0, y0, x1, y1, col, [&](float x, float y) {
        int in = 0;
        for (int i = 0, j = count - 1; i < count; j = i++) {
            float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) in = !in;
        }
        return in;
    });
}

float zvgen_text_width(const char *text, float sx) {
    float w = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        int first, last;
        if (zvgen_glyph_span(*p, &first, &last))
            w += (last - first + 2) * sx;
        else
            w += 4 * sx; // a space is as wide as a hyphen's cell
    }
    return w;
}

float zvgen_canvas_text(zvgen_canvas *c, float x, float y, float sx, float sy, float bold,
                        const char *text, zvgen_rgba col) {
    float start = x;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        int first, last;
        if (!zvgen_glyph_span(*p, &first, &last)) {
            x += 4 * sx;
            continue;
        }
        int code = *p;
        // Glyph column `first` starts half a column in from the cell's left edge.
        float gx = x + sx * 0.5f - first * sx;
        float gw = (last - first + 2) * sx;
        int ix0 = (int)std::floor(x) - 1, ix1 = (int)std::ceil(x + gw) + 1;
        int iy0 = (int)std::floor(y) - 1,
            iy1 = (int)std::ceil(y + sy * (float)ZVGEN_GLYPH_ROWS) + 1;
        for (int py = iy0; py < iy1; py++)
            for (int px = ix0; px < ix1; px++) {
                int n = 0;
                for (int s = 0; s < 16; s++) {
                    float u = (px + ((s & 3) + 0.5f) / 4 - gx) / sx;
                    float v = (py + ((s >> 2) + 0.5f) / 4 - y) / sy;
                    int on = zvgen_glyph_coverage(code, u, v) > 0;
                    if (!on && bold > 0) on = zvgen_glyph_coverage(code, u - bold, v) > 0;
                    n += on;
                }
                if (n) zvgen_canvas_blend(c, px, py, col, n / 16.0f);
            }
        x += gw;
    }
    return x - start;
}

static uint8_t to_byte(float v) {
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    return (uint8_t)std::lround(v * 255);
}

int zvgen_canvas_write_png(const zvgen_canvas *c, const char *name, int alpha) {
    data_image img;
    int ch = alpha ? 4 : 3;
    if (!data_image_alloc(&img, c->width, c->height, ch, 8)) return 0;
    uint8_t *d = (uint8_t *)img.pixels;
    for (int i = 0; i < c->width * c->height; i++)
        for (int k = 0; k < ch; k++)
            d[i * ch + k] = to_byte(c->px[i * 4 + k]);
    uint8_t *png;
    size_t len;
    int ok = data_image_encode_png(&img, &png, &len);
    data_image_free(&img);
    if (!ok) return 0;
    ok = zvgen_write_file(name, png, len);
    zv_free(png);
    return ok;
}

int zvgen_canvas_write_ppm(const zvgen_canvas *c, const char *name) {
    char head[64];
    int n = snprintf(head, sizeof head, "P6\n%d %d\n255\n", c->width, c->height);
    size_t len = (size_t)n + (size_t)c->width * c->height * 3;
    uint8_t *buf = (uint8_t *)zv_alloc(len);
    memcpy(buf, head, (size_t)n);
    for (int i = 0; i < c->width * c->height; i++)
        for (int k = 0; k < 3; k++)
            buf[n + i * 3 + k] = to_byte(c->px[i * 4 + k]);
    // Stored compressed: the game opens the ".gz" variant under the plain name.
    int ok = zvgen_write_file_gz(name, buf, len);
    zv_free(buf);
    return ok;
}
