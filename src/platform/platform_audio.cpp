// The audio device record, the mixer hook and the fragment arithmetic shared by the drivers.
#include "platform/platform_audio.h"

#include <cstring>

namespace {

struct audio_state {
    std::mutex lock; // guards the record's open flag and the mixer hook
    platform_audio device;
    const platform_mixer_ops *mixer_ops;
};

audio_state g_audio;

} // namespace

void platform_audio_set_mixer(const platform_mixer_ops *ops) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    g_audio.mixer_ops = ops;
}

const platform_audio_ops *platform_audio_driver(void) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    return g_audio.device.open ? g_audio.device.ops : nullptr;
}

platform_audio *platform_audio_current(void) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    return g_audio.device.open ? &g_audio.device : nullptr;
}

platform_audio *platform_audio_claim(const platform_audio_ops *ops) {
    std::lock_guard<std::mutex> hold(g_audio.lock);
    platform_audio *a = &g_audio.device;
    if (a->open) {
        platform_log("Audio already open\n");
        return nullptr;
    }
    a->open = 1;
    a->ops = ops;
    a->mixer_ops = g_audio.mixer_ops;
    a->mixer = nullptr;
    a->rate = 0;
    a->channel_budget = 0;
    a->stereo = 0;
    a->sample_bits = 16;
    a->fragment_samples = 0;
    a->driver = nullptr;
    return a;
}

void platform_audio_attach_mixer(platform_audio *a, int rate, int channel_budget, int stereo,
                                 int sample_bits, int fragment_samples) {
    a->rate = rate;
    a->channel_budget = channel_budget;
    a->stereo = stereo ? 1 : 0;
    a->sample_bits = sample_bits;
    a->fragment_samples = fragment_samples;
    std::lock_guard<std::mutex> hold(a->lock);
    if (a->mixer_ops && a->mixer_ops->open)
        a->mixer = a->mixer_ops->open(rate, channel_budget, stereo, sample_bits, fragment_samples);
}

void platform_audio_release(platform_audio *a) {
    if (!a) return;
    {
        std::lock_guard<std::mutex> hold(a->lock);
        if (a->mixer && a->mixer_ops && a->mixer_ops->close) a->mixer_ops->close(a->mixer);
        a->mixer = nullptr;
    }
    std::lock_guard<std::mutex> hold(g_audio.lock);
    a->open = 0;
    a->ops = nullptr;
    a->driver = nullptr;
}

void platform_audio_mix(platform_audio *a, void *out) {
    std::lock_guard<std::mutex> hold(a->lock);
    if (a->mixer && a->mixer_ops->mix) {
        a->mixer_ops->mix(a->mixer, out);
        return;
    }
    size_t frames = (size_t)a->fragment_samples * (a->stereo ? 2 : 1);
    if (a->sample_bits == 8)
        memset(out, 128, frames);
    else
        memset(out, 0, frames * 2);
}

int platform_audio_option(const char *name, int def, int lo, int hi) {
    int v = platform_number_option(name, def);
    if (v < lo || v > hi) {
        // A rate of 0 would make zero-length fragments and spin the audio thread.
        platform_log("unrecognized setting for %s\n", name);
        return def;
    }
    return v;
}

int platform_audio_mixahead_fragments(int milliseconds) {
    long long a = (long long)milliseconds * 64;
    if (a > 32960) return 32;
    if (a <= 960) return 1;
    return (int)(a / 1000);
}

int platform_audio_fragment_samples(int rate) {
    return rate / 64;
}

void platform_close_audio(platform_audio *a) {
    // Only one device exists; a null handle means it (shutdown paths that lost the handle).
    if (!a) a = &g_audio.device;
    if (!a->open || !a->ops || !a->ops->close) {
        platform_log("Can't close audio, not open\n");
        return;
    }
    a->ops->close(a);
}

// ---- voice operations --------------------------------------------------------------------------

#define WITH_MIXER(op)                                                                             \
    std::lock_guard<std::mutex> hold(a->lock);                                                     \
    if (!a->mixer || !a->mixer_ops->op)

platform_voice *platform_audio_create_voice(platform_audio *a, const void *bytes, int samples,
                                            int rate) {
    if (!a || !bytes || samples <= 0 || rate < 0) return nullptr;
    WITH_MIXER(create_voice) return nullptr;
    return a->mixer_ops->create_voice(a->mixer, bytes, samples, rate);
}

platform_voice *platform_audio_clone_voice(platform_audio *a, platform_voice *v) {
    if (!a || !v) return nullptr;
    WITH_MIXER(clone_voice) return nullptr;
    return a->mixer_ops->clone_voice(a->mixer, v);
}

void platform_audio_free_voice(platform_audio *a, platform_voice *v) {
    if (!a || !v) return;
    WITH_MIXER(free_voice) return;
    a->mixer_ops->free_voice(a->mixer, v);
}

void platform_audio_start(platform_audio *a, platform_voice *v) {
    if (!a || !v) return;
    WITH_MIXER(start) return;
    a->mixer_ops->start(a->mixer, v);
}

void platform_audio_stop(platform_audio *a, platform_voice *v) {
    if (!a || !v) return;
    WITH_MIXER(stop) return;
    a->mixer_ops->stop(a->mixer, v);
}

void platform_audio_set_rate(platform_audio *a, platform_voice *v, int rate) {
    if (!a || !v) return;
    WITH_MIXER(set_rate) return;
    a->mixer_ops->set_rate(a->mixer, v, rate);
}

void platform_audio_set_volume(platform_audio *a, platform_voice *v, int volume) {
    if (!a || !v) return;
    WITH_MIXER(set_volume) return;
    a->mixer_ops->set_volume(a->mixer, v, volume);
}

void platform_audio_set_pan(platform_audio *a, platform_voice *v, int pan) {
    if (!a || !v) return;
    WITH_MIXER(set_pan) return;
    a->mixer_ops->set_pan(a->mixer, v, pan);
}

void platform_audio_set_loop(platform_audio *a, platform_voice *v, int loop) {
    if (!a || !v) return;
    WITH_MIXER(set_loop) return;
    a->mixer_ops->set_loop(a->mixer, v, loop);
}

int platform_audio_play_position(platform_audio *a, platform_voice *v) {
    if (!a || !v) return 0;
    WITH_MIXER(play_position) return 0;
    return a->mixer_ops->play_position(a->mixer, v);
}

void platform_audio_write_samples(platform_audio *a, platform_voice *v, int offset,
                                  const void *bytes, int count) {
    if (!a || !v || !bytes || count <= 0) return;
    WITH_MIXER(write_samples) return;
    a->mixer_ops->write_samples(a->mixer, v, offset, bytes, count);
}
