// Sky pictures and plain colours: the five sky-box faces "sky-n/e/s/w/u.ppm" (a blue gradient
// by elevation to a hazy horizon, soft fair-weather clouds from seeded value noise, and the
// default track's sun), the lens flare pictures "flare-glow.png" and "flare-ring.png", the
// angular environment map "sky-env.ppm" (straight up at the centre, the horizon at a quarter of
// the width from it, the ground beyond), and "colors/white.png".
#include "zvgen.h"
#include "zvgen_image.h"
#include "zvgen_track.h"

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
    for (int k = 0; k < 3; k++)
        p[k] = sky[k] * (1 - cloud) + 0.97f * cloud;
    p[3] = 1;
}

// Direction of a sky-box texel from the eye, as the frame lays the faces out: pictures top row
// first, side faces seen from inside with their top up, the up face's top row toward south (+z)
// and its left column toward west (-x). Faces: 0 north (-z), 1 east, 2 south, 3 west, 4 up.
static void face_direction(int face, float u, float v, float d[3]) {
    float a = 2 * u - 1, b = 1 - 2 * v; // across (left to right), up (bottom to top)
    switch (face) {
    case 0:
        d[0] = a, d[1] = b, d[2] = -1;
        break;
    case 1:
        d[0] = 1, d[1] = b, d[2] = a;
        break;
    case 2:
        d[0] = -a, d[1] = b, d[2] = 1;
        break;
    case 3:
        d[0] = -1, d[1] = b, d[2] = -a;
        break;
    default:
        d[0] = a, d[1] = 1, d[2] = b;
        break;
    }
    float l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; k++)
        d[k] /= l;
}

// The sun: a white disc of about 2 degrees (large enough to stay white through the texture's
// reduction, for the lens flare's brightness test) with a warm glow around it.
static void add_sun(const float d[3], float *p) {
    float s[3] = {(float)ZVGEN_SUN_X, (float)ZVGEN_SUN_Y, (float)ZVGEN_SUN_Z};
    float l = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    float c = (d[0] * s[0] + d[1] * s[1] + d[2] * s[2]) / l;
    float angle = std::acos(c > 1 ? 1 : c < -1 ? -1 : c);
    float disc = angle < 0.03f ? 1 : angle < 0.038f ? (0.038f - angle) / 0.008f : 0;
    float glow = 0.55f * std::exp(-angle / 0.05f) + 0.2f * std::exp(-angle / 0.3f);
    const float warm[3] = {1, 0.93f, 0.78f};
    for (int k = 0; k < 3; k++) {
        float v = p[k] + glow * warm[k];
        v = v * (1 - disc) + disc;
        p[k] = v > 1 ? 1 : v;
    }
}

// One face: sky colour by true elevation (the haze at the horizon, where the ground's fog meets
// it), clouds, and the sun where it falls on the face.
static int make_face(const char *name, int face) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, {0, 0, 0, 1});
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float d[3];
            face_direction(face, (x + 0.5f) / S, (y + 0.5f) / S, d);
            float e = std::asin(d[1] > 0 ? d[1] : 0) / (pi / 2); // 0 horizon .. 1 zenith
            float sky[3];
            sky_colour(e, sky);
            // Clouds lie on one plane overhead, so they run on across the faces' edges; they
            // crowd and fade toward the horizon.
            float cl = 0;
            if (d[1] > 0.02f) {
                float fade = (d[1] - 0.02f) / 0.25f;
                fade = fade > 1 ? 1 : fade;
                cl = clouds(d[0] / d[1] * 2.5f + 40, d[2] / d[1] * 2.5f + 40, 17, 1 << 20) * fade *
                     0.8f;
            }
            float *p = c.px + ((size_t)y * S + x) * 4;
            paint(p, sky, cl);
            add_sun(d, p);
        }
    int ok = zvgen_canvas_write_ppm(&c, name);
    zvgen_canvas_free(&c);
    return ok;
}

// Lens flare elements: a soft glow and a thin ring, white on transparent black.
static int make_flare(const char *name, int ring) {
    const int S = 64;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, {0, 0, 0, 0});
    for (int y = 0; y < S; y++)
        for (int x = 0; x < S; x++) {
            float dx = (x + 0.5f) / S * 2 - 1, dy = (y + 0.5f) / S * 2 - 1;
            float r = std::sqrt(dx * dx + dy * dy);
            float a = ring ? std::exp(-(r - 0.8f) * (r - 0.8f) / 0.004f) +
                                 0.15f * (r < 0.8f ? 1 - r / 0.8f : 0)
                           : (r < 1 ? (1 - r) * (1 - r) : 0);
            a = a > 1 ? 1 : a;
            float *p = c.px + ((size_t)y * S + x) * 4;
            p[0] = p[1] = p[2] = a;
            p[3] = a;
        }
    int ok = zvgen_canvas_write_png(&c, name, 1);
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
    return make_face("sky-n.ppm", 0) && make_face("sky-e.ppm", 1) && make_face("sky-s.ppm", 2) &&
           make_face("sky-w.ppm", 3) && make_face("sky-u.ppm", 4) && make_env() && make_white() &&
           make_flare("flare-glow.png", 0) && make_flare("flare-ring.png", 1);
}
