// Number plates: a rider's number painted with the digit fonts into a small RGBA texture, the
// digits in the fill colour with an outline so they read against any plate colour.
#include "render/render_font.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"
#include "render/render_texture.h"

#include <cmath>
#include <cstring>

static const int PLATE = RENDER_PLATE_SIZE, PLATE_OUTLINE = 3;

// Bilinear alpha of the font image at (u, v) in pixels.
static float font_alpha(const render_font *f, float u, float v) {
    u -= 0.5f;
    v -= 0.5f;
    int x0 = (int)std::floor(u), y0 = (int)std::floor(v);
    float fx = u - x0, fy = v - y0;
    float sum = 0;
    for (int j = 0; j < 2; j++)
        for (int i = 0; i < 2; i++) {
            int x = x0 + i, y = y0 + j;
            x = x < 0 ? 0 : x >= f->width ? f->width - 1 : x;
            y = y < 0 ? 0 : y >= f->height ? f->height - 1 : y;
            float w = (i ? fx : 1 - fx) * (j ? fy : 1 - fy);
            sum += w * f->chain[((size_t)y * f->width + x) * 4 + 3];
        }
    return sum / 255.0f;
}

uint8_t *render_font_plate_pixels(const char *text, uint32_t fill, uint32_t outline) {
    if (!text) return nullptr;
    char digits[8];
    int n = 0;
    for (const char *p = text; *p && n < 7; p++)
        if (*p >= '0' && *p <= '9') digits[n++] = *p;
    digits[n] = 0;
    // Two digits or fewer use the wide font, longer numbers the condensed one.
    const render_font *f = n <= 2 ? &render_font_numbers : &render_font_condensed;
    if (!f->loaded) f = render_font_numbers.loaded ? &render_font_numbers : &render_font_condensed;
    uint8_t *chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(PLATE, PLATE, 4));
    for (int i = 0; i < PLATE * PLATE; i++) {
        chain[i * 4 + 0] = chain[i * 4 + 1] = chain[i * 4 + 2] = 255;
        chain[i * 4 + 3] = 0;
    }
    if (f->loaded && n > 0) {
        float width_units = 0;
        for (int i = 0; i < n; i++)
            width_units += f->advance[(unsigned char)digits[i]];
        float height = 96, room = (float)(PLATE - 2 * (PLATE_OUTLINE + 2));
        if (width_units * height > room) height = room / width_units;
        float left = ((float)PLATE - width_units * height) / 2, top = ((float)PLATE - height) / 2;
        static float cover[PLATE * PLATE], edge[PLATE * PLATE];
        memset(cover, 0, sizeof cover);
        float x = left;
        for (int i = 0; i < n; i++) {
            unsigned char c = (unsigned char)digits[i];
            float w = f->advance[c] * height;
            float s0 = f->s0[c] * f->width, s1 = f->s1[c] * f->width;
            float t0 = f->t0[c] * f->height, t1 = f->t1[c] * f->height;
            for (int py = (int)top; py < (int)(top + height) && py < PLATE; py++)
                for (int px = (int)x; px < (int)(x + w) && px < PLATE; px++) {
                    if (px < 0 || py < 0) continue;
                    float u = s0 + (px + 0.5f - x) / w * (s1 - s0);
                    float v = t0 + (py + 0.5f - top) / height * (t1 - t0);
                    float a = font_alpha(f, u, v);
                    if (a > cover[py * PLATE + px]) cover[py * PLATE + px] = a;
                }
            x += w;
        }
        // The outline: coverage spread over a small disc.
        for (int y = 0; y < PLATE; y++)
            for (int xx = 0; xx < PLATE; xx++) {
                float m = 0;
                for (int dy = -PLATE_OUTLINE; dy <= PLATE_OUTLINE; dy++)
                    for (int dx = -PLATE_OUTLINE; dx <= PLATE_OUTLINE; dx++) {
                        int sx = xx + dx, sy = y + dy;
                        if (sx < 0 || sy < 0 || sx >= PLATE || sy >= PLATE) continue;
                        if (dx * dx + dy * dy > PLATE_OUTLINE * PLATE_OUTLINE + 1) continue;
                        if (cover[sy * PLATE + sx] > m) m = cover[sy * PLATE + sx];
                    }
                edge[y * PLATE + xx] = m;
            }
        for (int i = 0; i < PLATE * PLATE; i++) {
            float fc = cover[i], oc = edge[i];
            if (oc <= 0) continue;
            for (int c = 0; c < 3; c++) {
                int shift = 16 - 8 * c;
                float fv = (float)((fill >> shift) & 255), ov = (float)((outline >> shift) & 255);
                chain[i * 4 + c] = (uint8_t)std::lround(fv * fc + ov * (1 - fc));
            }
            chain[i * 4 + 3] = (uint8_t)std::lround(255 * (oc > fc ? oc : fc));
        }
    }
    data_mip_build(chain, PLATE, PLATE, 4, 0);
    return chain;
}

GLuint render_font_plate_texture(const char *text, uint32_t fill, uint32_t outline) {
    uint8_t *chain = render_font_plate_pixels(text, fill, outline);
    if (!chain) return 0;
    GLuint id = render_texture_create_plain(chain, PLATE, PLATE, 4);
    zv_free(chain);
    return id;
}
