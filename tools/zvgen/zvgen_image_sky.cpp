// Sky pictures and plain colours: the five sky-box faces "sky-n/e/s/w/u.ppm" (a blue gradient
// to a hazy horizon at the bottom edge of the side faces, with soft fair-weather clouds from
// seeded value noise), the angular environment map "sky-env.ppm" (straight up at the centre,
// the horizon at a quarter of the width from it, the ground beyond), and "colors/white.png".
#include "zvgen.h"
#include "zvgen_image.h"

#include <cmath>
#include <cstdint>

static const float pi = 3.14159265358979f;

// Lattice noise from a hash of the integer corners: the same everywhere, no tables to seed.
static float lattice(int x, int y, uint32_t seed) {
    uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return (float)((h ^ (h >> 16)) & 0xffff) / 65535.0f;
}

// period (lattice cells across) makes the noise wrap around horizontally.
static float value_noise(float x, float y, uint32_t seed, int period) {
    int ix = (int)std::floor(x), iy = (int)std::floor(y);
    float fx = x - ix, fy = y - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    int x0 = ((ix % period) + period) % period, x1 = (x0 + 1) % period;
    float a = lattice(x0, iy, seed), b = lattice(x1, iy, seed);
    float c = lattice(x0, iy + 1, seed), d = lattice(x1, iy + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

static float clouds(float x, float y, uint32_t seed, int period) {
    float v = 0, amp = 0.5f, f = 1;
    for (int o = 0; o < 5; o++) {
        v += amp * value_noise(x * f, y * f, seed + o, period * (int)f);
        amp *= 0.5f;
        f *= 2;
    }
    float c = (v - 0.52f) * 3;
    return c < 0 ? 0 : c > 1 ? 1 : c;
}

// Sky colour for elevation e (0 horizon .. 1 zenith).
static void sky_colour(float e, float *rgb) {
    e = e < 0 ? 0 : e > 1 ? 1 : e;
    float t = std::pow(e, 0.6f);
    rgb[0] = 0.78f - 0.6f * t;
    rgb[1] = 0.86f - 0.42f * t;
    rgb[2] = 0.95f - 0.17f * t;
}

static void paint(float *p, const float *sky, float cloud) {
    for (int k = 0; k < 3; k++) p[k] = sky[k] * (1 - cloud) + 0.97f * cloud;
    p[3] = 1;
}

static int make_side(const char *name, int face) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, {0, 0, 0, 1});
    for (int y = 0; y < S; y++) {
        float e = 1 - (y + 0.5f) / S; // the bottom row is the horizon, the top row 45 degrees up
        for (int x = 0; x < S; x++) {
            float sky[3];
            sky_colour(e * 0.5f, sky);
            // Clouds thin out towards the horizon; each face has its own stretch of noise,
            // continuous across the shared edges all the way round.
            float u = (face * S + x) / 64.0f, v = y / 40.0f;
            float cl = clouds(u, v, 17, 4 * S / 64) * (0.25f + 0.75f * e);
            paint(c.px + ((size_t)y * S + x) * 4, sky, cl * 0.85f);
        }
    }
    int ok = zvgen_canvas_write_ppm(&c, name);
    zvgen_canvas_free(&c);
    return ok;
}

static int make_up(void) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, {0, 0, 0, 1});
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float dx = (x + 0.5f) / S - 0.5f, dy = (y + 0.5f) / S - 0.5f;
            float e = 1 - std::sqrt(dx * dx + dy * dy); // the edges meet the side faces' tops
            float sky[3];
            sky_colour(0.5f + 0.5f * e, sky);
            float cl = clouds(x / 64.0f + 40, y / 64.0f + 40, 23, 1 << 20) * 0.6f;
            paint(c.px + ((size_t)y * S + x) * 4, sky, cl);
        }
    int ok = zvgen_canvas_write_ppm(&c, "sky-u.ppm");
    zvgen_canvas_free(&c);
    return ok;
}

static int make_env(void) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, {0, 0, 0, 1});
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float dx = (x + 0.5f) / S - 0.5f, dy = (y + 0.5f) / S - 0.5f;
            // The angle from straight up is the radius times 2 pi.
            float angle = std::sqrt(dx * dx + dy * dy) * 2 * pi;
            float *p = c.px + ((size_t)y * S + x) * 4;
            if (angle < pi / 2) {
                float sky[3];
                sky_colour(1 - angle / (pi / 2), sky);
                paint(p, sky, 0);
            } else {
                // Ground: brown dirt, darker further down.
                float g = (angle - pi / 2) / (pi / 2);
                g = g > 1 ? 1 : g;
                p[0] = 0.45f - 0.15f * g;
                p[1] = 0.36f - 0.12f * g;
                p[2] = 0.26f - 0.08f * g;
                p[3] = 1;
            }
        }
    int ok = zvgen_canvas_write_ppm(&c, "sky-env.ppm");
    zvgen_canvas_free(&c);
    return ok;
}

static int make_white(void) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, 8, 8, {1, 1, 1, 1});
    int ok = zvgen_canvas_write_png(&c, "colors/white.png", 0);
    zvgen_canvas_free(&c);
    return ok;
}

int zvgen_image_sky(void) {
    return make_side("sky-n.ppm", 0) && make_side("sky-e.ppm", 1) && make_side("sky-s.ppm", 2) &&
           make_side("sky-w.ppm", 3) && make_up() && make_env() && make_white();
}
