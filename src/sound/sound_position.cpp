// Distance gain, Doppler factor and pan of positioned sounds.
#include "sound/sound_position.h"

#include <cmath>

namespace {

const float SPEED_INVERSE = 0.0008767085f; // seconds per unit: one over the speed of sound
const float NEAR2 = 1.0f / 1024.0f;        // within 2^-5 of the listener
const float DOPPLER_MAX = 8.0f, DOPPLER_MIN = 0.125f;

float dot(const float a[3], const float b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

float distance2(const float a[3], const float b[3]) {
    float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return dot(d, d);
}

} // namespace

float sound_distance_gain(float volume, float distance) {
    if (!std::isfinite(volume) || !std::isfinite(distance)) return 0;
    float att = (distance - 1.0f) * 0.020833334f + 1.0f;
    float g = volume / (att > 1.0f ? att : 1.0f);
    return g < 0 ? 0 : g > 1 ? 1 : g;
}

float sound_doppler(const sound_listener *l, const float source[3], const float velocity[3]) {
    float d2 = distance2(l->position, source);
    if (!(d2 >= NEAR2) || !std::isfinite(d2)) return 1.0f;
    float d = std::sqrt(d2);
    float u[3] = {(l->position[0] - source[0]) / d, (l->position[1] - source[1]) / d,
                  (l->position[2] - source[2]) / d};
    float num = 1.0f - SPEED_INVERSE * dot(l->velocity, u);
    float den = 1.0f - SPEED_INVERSE * dot(velocity, u);
    if (!std::isfinite(num) || !std::isfinite(den)) return 1.0f;
    // A source at or beyond the speed of sound towards the listener, and any factor above the
    // limit, sound at the limit.
    if (den <= 0 || num > DOPPLER_MAX * den) return DOPPLER_MAX;
    float f = num / den;
    return f < DOPPLER_MIN ? DOPPLER_MIN : f;
}

int sound_pan(const sound_listener *l, const float source[3]) {
    float d2 = distance2(l->position, source);
    if (!(d2 >= NEAR2) || !std::isfinite(d2)) return 0;
    float rel[3] = {l->position[0] - source[0], l->position[1] - source[1],
                    l->position[2] - source[2]};
    float p = -32767.0f * dot(rel, l->right) / std::sqrt(d2);
    if (!std::isfinite(p)) return 0;
    return (int)(p < -32767 ? -32767 : p > 32767 ? 32767 : p);
}

int sound_rate(double hz) {
    if (!std::isfinite(hz) || hz < (double)SOUND_MIN_RATE) return SOUND_MIN_RATE;
    return hz > (double)SOUND_MAX_RATE ? SOUND_MAX_RATE : (int)hz;
}
