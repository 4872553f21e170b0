// Positioned sounds: a source's gain from its distance to the listener, its pitch factor from
// their velocities and its pan from its direction across the listener's right axis.
#pragma once

struct sound_listener {
    float position[3];
    float right[3]; // the camera's right axis, unit length
    float velocity[3];
};

enum {
    SOUND_MIN_RATE = 100,
    SOUND_MAX_RATE = 1000000,
};

// Distance gain of a source of volume 0-1: volume / max(1, (d - 1) / 48 + 1), clamped to 0-1.
float sound_distance_gain(float volume, float distance);
// Doppler factor, limited to 1/8 to 8; 1 when the source is at the listener.
float sound_doppler(const sound_listener *l, const float source[3], const float velocity[3]);
// Pan -32767 (left) to 32767 (right); 0 at the listener.
int sound_pan(const sound_listener *l, const float source[3]);
// A play rate clamped to the mixer's range.
int sound_rate(double hz);
