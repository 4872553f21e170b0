// Script sounds: one table of positioned voices, each from a raw 16-bit file kept as the high
// bytes of its samples.
#include "sound/sound_script.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "sound/sound_mixer.h"
#include "sound/sound_position.h"

#include <cmath>
#include <cstring>

namespace {

struct script_sound {
    platform_voice *voice;
    char name[256];
    float position[3], velocity[3];
    float frequency, volume;
    unsigned generation;
};

struct script_state {
    script_sound sounds[SOUND_SCRIPT_MAX];
    int count;
};

script_state g_script;

script_sound *valid(int index) {
    if (index < 0 || index >= g_script.count) return nullptr;
    script_sound *s = &g_script.sounds[index];
    if (!s->voice || s->generation != sound_mixer_generation) return nullptr;
    return s;
}

int finite3(const float v[3]) {
    return v && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

} // namespace

int sound_script_add(const char *name) {
    platform_audio *a = platform_audio_current();
    const platform_audio_ops *ops = platform_audio_driver();
    if (!a || !ops || !name || g_script.count >= SOUND_SCRIPT_MAX) return -1;
    platform_voice *v = nullptr;
    for (int i = 0; i < g_script.count && !v; i++)
        if (valid(i) && strcmp(g_script.sounds[i].name, name) == 0)
            v = ops->clone_voice(a, g_script.sounds[i].voice);
    if (!v) {
        int len = 0;
        char *bytes = file_to_string(name, &len);
        if (!bytes) return -1;
        int n = len / 2; // a trailing odd byte is no sample
        if (n > 0) {
            unsigned char *high = (unsigned char *)zv_alloc((size_t)n);
            for (int i = 0; i < n; i++)
                high[i] = (unsigned char)(bytes[2 * i + 1] + 128);
            v = ops->create_voice(a, high, n, 0);
            zv_free(high);
        }
        zv_free(bytes);
        if (!v) return -1;
    }
    ops->set_loop(a, v, 0);
    script_sound *s = &g_script.sounds[g_script.count];
    memset(s, 0, sizeof *s);
    s->voice = v;
    s->generation = sound_mixer_generation;
    snprintf(s->name, sizeof s->name, "%s", name);
    return g_script.count++;
}

#define SCRIPT_CALL(index, body)                                                                   \
    script_sound *s = valid(index);                                                                \
    platform_audio *a = platform_audio_current();                                                  \
    const platform_audio_ops *ops = platform_audio_driver();                                       \
    if (!s || !a || !ops) return 0;                                                                \
    body;                                                                                          \
    return 1

int sound_script_start(int index) {
    SCRIPT_CALL(index, ops->start(a, s->voice));
}
int sound_script_stop(int index) {
    SCRIPT_CALL(index, ops->stop(a, s->voice));
}
int sound_script_loop(int index, int loop) {
    SCRIPT_CALL(index, ops->set_loop(a, s->voice, loop));
}
int sound_script_frequency(int index, float hz) {
    SCRIPT_CALL(index, s->frequency = std::isfinite(hz) ? hz : 0);
}
int sound_script_volume(int index, float volume) {
    SCRIPT_CALL(index, s->volume = std::isfinite(volume) ? volume : 0);
}
int sound_script_position(int index, const float p[3]) {
    SCRIPT_CALL(index, if (finite3(p)) memcpy(s->position, p, sizeof s->position));
}
int sound_script_velocity(int index, const float v[3]) {
    SCRIPT_CALL(index, if (finite3(v)) memcpy(s->velocity, v, sizeof s->velocity));
}

void sound_script_place(const sound_listener *l, float gain) {
    platform_audio *a = platform_audio_current();
    const platform_audio_ops *ops = platform_audio_driver();
    if (!a || !ops) return;
    for (int i = 0; i < g_script.count; i++) {
        script_sound *s = valid(i);
        if (!s) continue;
        float d[3] = {l->position[0] - s->position[0], l->position[1] - s->position[1],
                      l->position[2] - s->position[2]};
        float dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        double v = sound_distance_gain(s->volume, dist) * gain * 32767.0;
        ops->set_volume(a, s->voice, (int)(v < 0 ? 0 : v > 32767 ? 32767 : v));
        ops->set_rate(
            a, s->voice,
            sound_rate((double)s->frequency * sound_doppler(l, s->position, s->velocity)));
        ops->set_pan(a, s->voice, sound_pan(l, s->position));
    }
}

void sound_script_clear(void) {
    platform_audio *a = platform_audio_current();
    const platform_audio_ops *ops = platform_audio_driver();
    for (int i = 0; i < g_script.count; i++)
        if (valid(i) && a && ops) ops->free_voice(a, g_script.sounds[i].voice);
    g_script.count = 0;
}

int sound_script_count(void) {
    return g_script.count;
}
