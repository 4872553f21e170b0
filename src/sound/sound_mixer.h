// The software mixer: 8-bit voices in level lists, added into fragments loudest first up to a
// channel budget, switching gain only where the waveform changes sign. It serves as the
// platform's mixer (sound_mixer_ops); every call is made under the output's mixer lock.
#pragma once

#include "platform/platform.h"

#include <cstdint>

enum {
    SOUND_LEVELS = 32, // side levels 0 (silent) to 31
    SOUND_MAX_VOLUME = 32767,
    SOUND_MIN_PAN = -32768,
    SOUND_MAX_PAN = 32767,
    SOUND_MAX_FRAGMENT = 65536,
    // A voice buffer is at most this long (bytes); longer sounds are refused.
    SOUND_MAX_VOICE_SAMPLES = 64 << 20,
};

struct sound_buffer {
    int refs;
    int length;
    unsigned char *samples; // unsigned 8-bit, 128 is silence
};

// A voice; the platform layer knows it only by pointer.
struct platform_voice {
    platform_mixer *mixer;
    sound_buffer *buffer;
    int64_t pos;   // whole samples into the buffer
    uint32_t frac; // 31-bit fraction of a sample
    int device_rate, play_rate;
    int volume, pan;
    int level[2]; // left (or mono) and right levels derived from volume and pan
    int mixed[2]; // the level each side sounded at in the last fragment (0 = silent)
    int loop, playing, stereo, restart, ended;
    int linked;
    int list_level[2];
    platform_voice *next[2], *prev[2];
    platform_voice *all_next, *all_prev; // every voice of the mixer, for close
};

struct platform_mixer {
    int rate, budget, stereo, bits, fragment;
    int32_t *acc[2];
    platform_voice *lists[2][SOUND_LEVELS];
    platform_voice *voices;
};

extern const platform_mixer_ops sound_mixer_ops;
// Counts mixer opens and closes: a voice made under another count was freed with its mixer.
extern unsigned sound_mixer_generation;

// The contribution of sample byte s at level l (1-31): (s - 128) * l / 32, toward zero.
int sound_mixer_table(int level, int s);
// The two side levels of a volume and pan: left = ((32767 - pan) * volume) >> 26, right =
// (volume * (pan + 32768)) >> 26.
void sound_mixer_levels(int volume, int pan, int *left, int *right);

// The mixer operations, callable directly (the offline mix of tests and tools).
platform_mixer *sound_mixer_open(int rate, int channel_budget, int stereo, int sample_bits,
                                 int fragment_samples);
void sound_mixer_close(platform_mixer *m);
void sound_mixer_mix(platform_mixer *m, void *out);
platform_voice *sound_mixer_create_voice(platform_mixer *m, const void *bytes, int samples,
                                         int rate);
platform_voice *sound_mixer_clone_voice(platform_mixer *m, platform_voice *v);
void sound_mixer_free_voice(platform_mixer *m, platform_voice *v);
void sound_mixer_start(platform_mixer *m, platform_voice *v);
void sound_mixer_stop(platform_mixer *m, platform_voice *v);
void sound_mixer_set_rate(platform_mixer *m, platform_voice *v, int rate);
void sound_mixer_set_volume(platform_mixer *m, platform_voice *v, int volume);
void sound_mixer_set_pan(platform_mixer *m, platform_voice *v, int pan);
void sound_mixer_set_loop(platform_mixer *m, platform_voice *v, int loop);
int sound_mixer_play_position(platform_mixer *m, platform_voice *v);
void sound_mixer_write_samples(platform_mixer *m, platform_voice *v, int offset, const void *bytes,
                               int count);
