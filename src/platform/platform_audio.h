// The audio device record every driver shares: one driver is open at a time, voices go to the
// installed software mixer under the mixer lock, and fragments are silence until a mixer exists.
#pragma once

#include "platform/platform.h"

#include <mutex>

enum {
    PLATFORM_AUDIO_DEFAULT_RATE = 22050,
    PLATFORM_AUDIO_MIN_RATE = 4000,
    PLATFORM_AUDIO_MAX_RATE = 192000,
    PLATFORM_AUDIO_MAX_BLOCK = 65536,
    PLATFORM_AUDIO_MAX_CHANNELS = 256,
};

struct platform_audio {
    int open;
    const platform_audio_ops *ops;
    std::mutex lock; // the mixer lock
    const platform_mixer_ops *mixer_ops;
    platform_mixer *mixer;
    int rate;
    int channel_budget;
    int stereo;
    int sample_bits;
    int fragment_samples; // frames per mix call
    void *driver;         // the driver's own state
};

// Claims the single device record for a driver; null (and "Audio already open") when taken.
platform_audio *platform_audio_claim(const platform_audio_ops *ops);
// Opens the installed mixer for the output format (no mixer: silence, no voices).
void platform_audio_attach_mixer(platform_audio *a, int rate, int channel_budget, int stereo,
                                 int sample_bits, int fragment_samples);
// Closes the mixer and frees the record.
void platform_audio_release(platform_audio *a);
// Mixes one fragment into out under the mixer lock.
void platform_audio_mix(platform_audio *a, void *out);
// The option read with range checking: outside [lo, hi] logs "unrecognized setting" and gives def.
int platform_audio_option(const char *name, int def, int lo, int hi);

// Voice operations through the mixer, under the mixer lock; the same in every software driver.
platform_voice *platform_audio_create_voice(platform_audio *a, const void *bytes, int samples,
                                            int rate);
platform_voice *platform_audio_clone_voice(platform_audio *a, platform_voice *v);
void platform_audio_free_voice(platform_audio *a, platform_voice *v);
void platform_audio_start(platform_audio *a, platform_voice *v);
void platform_audio_stop(platform_audio *a, platform_voice *v);
void platform_audio_set_rate(platform_audio *a, platform_voice *v, int rate);
void platform_audio_set_volume(platform_audio *a, platform_voice *v, int volume);
void platform_audio_set_pan(platform_audio *a, platform_voice *v, int pan);
void platform_audio_set_loop(platform_audio *a, platform_voice *v, int loop);
int platform_audio_play_position(platform_audio *a, platform_voice *v);
void platform_audio_write_samples(platform_audio *a, platform_voice *v, int offset,
                                  const void *bytes, int count);
