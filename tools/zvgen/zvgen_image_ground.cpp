// Ground tile textures that tile seamlessly: hard-packed dirt with pebbles, dark clumpy loam,
// rippled sand and grass blades over soil. Every feature wraps around the tile's edges (noise
// on a periodic lattice, strokes drawn modulo the size), so a tiled ground shows no seams.
#include "zvgen.h"
#include "zvgen_image.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"

#include <cmath>

namespace {

const int T = 128; // tile size in pixels

uint32_t hash3(int x, int y, uint32_t seed) {
    uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Value noise on a lattice of `cells` x `cells` cells across the tile, wrapping at its edges.
float tile_noise(float x, float y, int cells, uint32_t seed) {
    float u = x * cells / T, v = y * cells / T;
    int ix = (int)std::floor(u), iy = (int)std::floor(v);
    float fx = u - ix, fy = v - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    auto at = [&](int i, int j) {
        return (hash3(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed) &
                0xffff) /
               65535.0f;
    };
    float a = at(ix, iy), b = at(ix + 1, iy), c = at(ix, iy + 1), d = at(ix + 1, iy + 1);
    float top = a + (b - a) * fx, bottom = c + (d - c) * fx;
    return top + (bottom - top) * fy;
}

float fractal(float x, float y, int cells, int octaves, uint32_t seed) {
    float v = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; o++) {
        v += amp * tile_noise(x, y, cells << o, seed + (uint32_t)o * 101u);
        norm += amp;
        amp *= 0.5f;
    }
    return v / norm;
}

struct tile {
    float px[T * T * 3];
};

void set(tile *t, int x, int y, float r, float g, float b) {
    x = ((x % T) + T) % T;
    y = ((y % T) + T) % T;
    float *p = t->px + (y * T + x) * 3;
    p[0] = r;
    p[1] = g;
    p[2] = b;
}

void blend(tile *t, int x, int y, const float *c, float a) {
    x = ((x % T) + T) % T;
    y = ((y % T) + T) % T;
    float *p = t->px + (y * T + x) * 3;
    for (int k = 0; k < 3; k++)
        p[k] = p[k] * (1 - a) + c[k] * a;
}

// A soft round speck (pebble, clod) centred at (cx, cy), wrapping.
void speck(tile *t, float cx, float cy, float r, const float *c, float a) {
    for (int y = (int)std::floor(cy - r - 1); y <= (int)std::ceil(cy + r + 1); y++)
        for (int x = (int)std::floor(cx - r - 1); x <= (int)std::ceil(cx + r + 1); x++) {
            float d =
                std::sqrt((x + 0.5f - cx) * (x + 0.5f - cx) + (y + 0.5f - cy) * (y + 0.5f - cy));
            float cover = r + 0.5f - d;
            if (cover > 0) blend(t, x, y, c, a * (cover > 1 ? 1 : cover));
        }
}

void hardpack(tile *t, zvgen_rng *rng) {
    for (int y = 0; y < T; y++)
        for (int x = 0; x < T; x++) {
            float n = fractal((float)x, (float)y, 4, 4, 31);
            float grain = (hash3(x, y, 7) & 255) / 255.0f - 0.5f;
            float v = 0.85f + 0.3f * (n - 0.5f) + 0.08f * grain;
            set(t, x, y, 0.62f * v, 0.47f * v, 0.33f * v);
        }
    // Pebbles, lighter and darker, with a shadow on their lower right.
    for (int i = 0; i < 70; i++) {
        float cx = (float)zvgen_rng_range(rng, 0, T), cy = (float)zvgen_rng_range(rng, 0, T);
        float r = (float)zvgen_rng_range(rng, 0.6, 1.8);
        float shade = (float)zvgen_rng_range(rng, 0.7, 1.25);
        const float dark[3] = {0.25f, 0.19f, 0.13f};
        const float stone[3] = {0.66f * shade, 0.58f * shade, 0.48f * shade};
        speck(t, cx + 0.7f, cy + 0.7f, r, dark, 0.5f);
        speck(t, cx, cy, r, stone, 0.9f);
    }
}

void loam(tile *t, zvgen_rng *rng) {
    for (int y = 0; y < T; y++)
        for (int x = 0; x < T; x++) {
            float n = fractal((float)x, (float)y, 8, 3, 41);
            float clods = fractal((float)x, (float)y, 8, 3, 43);
            // Gaps between clods are darker and slightly moist.
            float gap = clods < 0.4f ? (0.4f - clods) * 1.5f : 0;
            float v = 0.8f + 0.35f * (n - 0.5f) - gap;
            set(t, x, y, 0.40f * v, 0.28f * v, 0.19f * v);
        }
    for (int i = 0; i < 120; i++) {
        float cx = (float)zvgen_rng_range(rng, 0, T), cy = (float)zvgen_rng_range(rng, 0, T);
        float r = (float)zvgen_rng_range(rng, 0.8, 2.5);
        const float light[3] = {0.5f, 0.37f, 0.26f};
        const float dark[3] = {0.16f, 0.11f, 0.07f};
        speck(t, cx + 0.8f, cy + 0.8f, r, dark, 0.45f);
        speck(t, cx, cy, r, light, 0.55f);
    }
}

void sand(tile *t, zvgen_rng *) {
    const float pi = 3.14159265f;
    for (int y = 0; y < T; y++)
        for (int x = 0; x < T; x++) {
            // Wind ripples: a stripe pattern bent by noise; 6 waves across the tile so it wraps.
            float warp = fractal((float)x, (float)y, 4, 2, 51) * 2.5f;
            float ripple = std::sin(2 * pi * (6.0f * y / T + 1.0f * x / T + warp));
            float grain = (hash3(x, y, 53) & 255) / 255.0f - 0.5f;
            float v = 0.92f + 0.05f * ripple + 0.07f * grain +
                      0.1f * (fractal((float)x, (float)y, 8, 2, 57) - 0.5f);
            set(t, x, y, 0.86f * v, 0.76f * v, 0.56f * v);
        }
}

void grass(tile *t, zvgen_rng *rng) {
    for (int y = 0; y < T; y++)
        for (int x = 0; x < T; x++) {
            float n = fractal((float)x, (float)y, 4, 3, 61);
            float v = 0.7f + 0.3f * n;
            set(t, x, y, 0.22f * v, 0.3f * v, 0.12f * v);
        }
    // Blades: short slanted strokes in varied greens, darker at the root.
    for (int i = 0; i < 2600; i++) {
        float x = (float)zvgen_rng_range(rng, 0, T), y = (float)zvgen_rng_range(rng, 0, T);
        float len = (float)zvgen_rng_range(rng, 2, 6);
        float lean = (float)zvgen_rng_range(rng, -0.6, 0.6);
        float g = (float)zvgen_rng_range(rng, 0.75, 1.2);
        float dry = fractal(x, y, 4, 2, 67) > 0.62f ? 0.12f : 0; // faint, so repeats do not show
        float tip[3] = {(0.30f + dry) * g, 0.52f * g, (0.16f + dry * 0.3f) * g};
        for (int s = 0; s <= (int)(len * 2); s++) {
            float f = s / (len * 2);
            float c[3] = {tip[0] * (0.6f + 0.4f * f), tip[1] * (0.6f + 0.4f * f),
                          tip[2] * (0.6f + 0.4f * f)};
            blend(t, (int)std::floor(x + lean * f * len), (int)std::floor(y - f * len), c, 0.85f);
        }
    }
}

} // namespace

int zvgen_image_ground_tile(const char *name, int kind, uint64_t seed) {
    tile *t = (tile *)zv_alloc(sizeof(tile));
    zvgen_rng rng;
    zvgen_rng_seed(&rng, seed);
    switch (kind) {
    case ZVGEN_GROUND_HARDPACK:
        hardpack(t, &rng);
        break;
    case ZVGEN_GROUND_LOAM:
        loam(t, &rng);
        break;
    case ZVGEN_GROUND_SAND:
        sand(t, &rng);
        break;
    default:
        grass(t, &rng);
        break;
    }
    data_image img;
    int ok = data_image_alloc(&img, T, T, 3, 8);
    if (ok) {
        uint8_t *d = (uint8_t *)img.pixels;
        for (int i = 0; i < T * T * 3; i++) {
            float v = t->px[i];
            d[i] = (uint8_t)std::lround((v < 0 ? 0 : v > 1 ? 1 : v) * 255);
        }
        uint8_t *png;
        size_t len;
        ok = data_image_encode_png(&img, &png, &len);
        data_image_free(&img);
        if (ok) {
            ok = zvgen_write_file(name, png, len);
            zv_free(png);
        }
    }
    zv_free(t);
    return ok;
}
