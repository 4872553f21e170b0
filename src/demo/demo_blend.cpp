// Field-by-field blend of two compact bike states, for posing replayed riders between (and a
// little past) the recorded tics.
#include <cmath>
#include <cstring>

#include "demo/demo.h"

namespace {

long get16(const uint8_t *p) {
    return (long)p[0] | ((long)p[1] << 8);
}
long get24(const uint8_t *p) {
    return get16(p) | ((long)p[2] << 16);
}

long lerp_clamped(long a, long b, double f, long hi) {
    double v = std::floor(a + (b - a) * f + 0.5);
    return v < 0 ? 0 : v > hi ? hi : (long)v;
}

void put(uint8_t *p, long v, int bytes) {
    for (int i = 0; i < bytes; i++)
        p[i] = (uint8_t)(v >> (8 * i));
}

// Quaternions are stored as (q + 1) * 32767.5 per component; q and -q are the same turn, so
// the newer one is flipped to the older one's side before blending.
void blend_quat(const uint8_t *a, const uint8_t *b, double f, uint8_t *out) {
    long qa[4], qb[4];
    double dot = 0;
    for (int k = 0; k < 4; k++) {
        qa[k] = get16(a + 2 * k);
        qb[k] = get16(b + 2 * k);
        dot += (qa[k] - 32767.5) * (qb[k] - 32767.5);
    }
    for (int k = 0; k < 4; k++)
        put(out + 2 * k, lerp_clamped(qa[k], dot < 0 ? 65535 - qb[k] : qb[k], f, 65535), 2);
}

// A wheel angle byte wraps around: blend the short way.
uint8_t blend_angle(uint8_t a, uint8_t b, double f) {
    int d = (int)b - (int)a;
    if (d > 128) d -= 256;
    if (d < -128) d += 256;
    return (uint8_t)((long)std::floor(a + d * f + 0.5) & 255);
}

} // namespace

void demo_blend(const uint8_t older[DEMO_STATE], const uint8_t newer[DEMO_STATE], double f,
                uint8_t out[DEMO_STATE]) {
    if (!(f > 0)) { // also NaN
        memcpy(out, older, DEMO_STATE);
        return;
    }
    if (f == 1.0) {
        memcpy(out, newer, DEMO_STATE);
        return;
    }
    for (int k = 0; k < 3; k++)
        put(out + 3 * k, lerp_clamped(get24(older + 3 * k), get24(newer + 3 * k), f, 16777215), 3);
    blend_quat(older + 9, newer + 9, f, out + 9);
    for (int k = 17; k < 20; k++)
        out[k] = (uint8_t)lerp_clamped(older[k], newer[k], f, 255);
    for (int k = 0; k < 3; k++)
        put(out + 20 + 2 * k,
            lerp_clamped(get16(older + 20 + 2 * k), get16(newer + 20 + 2 * k), f, 65535), 2);
    blend_quat(older + 26, newer + 26, f, out + 26);
    out[34] = blend_angle(older[34], newer[34], f);
    out[35] = blend_angle(older[35], newer[35], f);
    out[36] = f < 0.5 ? older[36] : newer[36]; // gear, pose and crash flags do not blend
    put(out + 37, lerp_clamped(get16(older + 37), get16(newer + 37), f, 65535), 2);
}
