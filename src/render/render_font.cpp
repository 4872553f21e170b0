// Cutting fonts out of grid images, and the game's three fonts.
#include "render/render_font.h"

#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "data/data_file.h"
#include "data/data_image.h"
#include "platform/platform.h"
#include "render/render_texture.h"
#include "render/zvgl.h"

#include <cstring>

render_font render_font_main;
render_font render_font_numbers;
render_font render_font_condensed;

static const char ascii_glyphs[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                   "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
static const char digit_glyphs[] = "0123456789";

static int same_pixel(const uint8_t *a, const uint8_t *b) {
    return !memcmp(a, b, 4);
}

void render_font_release(render_font *font) {
    if (font->texture && zvglStarted()) zvglDeleteTextures(1, &font->texture);
    zv_free(font->chain);
    memset(font, 0, sizeof *font);
}

int render_font_cut(render_font *font, uint8_t *chain, int width, int height, const char *glyphs) {
    render_font_release(font);
    for (int c = 0; c < 256; c++)
        font->advance[c] = 2.0f / 3.0f;
    if (!chain || width < 1 || height < 1) {
        zv_free(chain);
        return 0;
    }
    uint8_t marker[4];
    memcpy(marker, chain, 4);
    const size_t stride = (size_t)width * 4;
    auto px = [&](int x, int y) { return chain + (size_t)y * stride + (size_t)x * 4; };
    const unsigned char *g = (const unsigned char *)glyphs;
    // Rows of cells: runs of non-marker pixels down the left column.
    int y = 0;
    while (y < height && *g) {
        while (y < height && same_pixel(px(0, y), marker))
            y++;
        int top = y;
        while (y < height && !same_pixel(px(0, y), marker))
            y++;
        int bottom = y;
        if (bottom <= top) break;
        // Cells: runs of non-marker pixels along the row's top line.
        int x = 0;
        while (x < width && *g) {
            while (x < width && same_pixel(px(x, top), marker))
                x++;
            int left = x;
            while (x < width && !same_pixel(px(x, top), marker))
                x++;
            if (x <= left) break;
            unsigned char c = *g++;
            font->s0[c] = (float)left / width;
            font->s1[c] = (float)x / width;
            font->t0[c] = (float)top / height;
            font->t1[c] = (float)bottom / height;
            font->advance[c] = (float)(x - left) / (float)(bottom - top);
        }
    }
    font->advance[' '] = font->advance['-'];
    // Grid lines vanish: marker pixels become clear white, and the levels are rebuilt so the
    // lines leave no trace in the smaller ones either.
    for (int yy = 0; yy < height; yy++)
        for (int xx = 0; xx < width; xx++) {
            uint8_t *p = px(xx, yy);
            if (same_pixel(p, marker)) {
                p[0] = p[1] = p[2] = 255;
                p[3] = 0;
            }
        }
    data_mip_build(chain, width, height, 4, 0);
    font->chain = chain;
    font->width = width;
    font->height = height;
    font->loaded = 1;
    return 1;
}

int render_font_load_file(render_font *font, const char *name, const char *glyphs, int gl) {
    render_font_release(font);
    for (int c = 0; c < 256; c++)
        font->advance[c] = 2.0f / 3.0f;
    uint8_t *bytes;
    size_t len;
    data_texture_pixels px = {};
    int ok = data_image_read_file(name, &bytes, &len);
    if (ok) {
        char info_name[600];
        snprintf(info_name, sizeof info_name, "%s.info", name);
        char *info = file_to_string(info_name);
        ok = data_image_texture_pixels(bytes, len, name, info, &px) && px.png;
        zv_free(info);
        zv_free(bytes);
    }
    if (!ok) {
        data_texture_pixels_free(&px);
        zv_message_add("Can't open font '%.512s'", name);
        return 0;
    }
    // The cutter works on RGBA; RGB pictures get full alpha.
    uint8_t *rgba = (uint8_t *)zv_alloc(data_mip_chain_bytes(px.width, px.height, 4));
    size_t n = (size_t)px.width * px.height;
    for (size_t i = 0; i < n; i++) {
        memcpy(rgba + i * 4, px.chain + i * px.bpp, 3);
        rgba[i * 4 + 3] = px.bpp == 4 ? px.chain[i * 4 + 3] : 255;
    }
    int w = px.width, h = px.height;
    data_texture_pixels_free(&px);
    if (!render_font_cut(font, rgba, w, h, glyphs)) {
        zv_message_add("Can't open font '%.512s'", name);
        return 0;
    }
    if (gl) font->texture = render_texture_create_plain(font->chain, w, h, 4);
    return 1;
}

void render_font_load_all(void) {
    render_font_load_file(&render_font_main, "@font.png", ascii_glyphs, 1);
    render_font_load_file(&render_font_numbers, "@numbers.png", digit_glyphs, 0);
    render_font_load_file(&render_font_condensed, "@numbers-condensed.png", digit_glyphs, 0);
}

void render_font_free_all(void) {
    render_font_release(&render_font_main);
    render_font_release(&render_font_numbers);
    render_font_release(&render_font_condensed);
}
