// The software mixer behind every software audio driver.
#include "sound/sound_mixer.h"

#include "base/zv_alloc.h"

#include <cstring>

namespace {

// Contributions of a sample byte at each level; built on the first voice creation.
int8_t g_table[SOUND_LEVELS][256];
int g_table_ready;

void build_tables(void) {
    if (g_table_ready) return;
    for (int l = 0; l < SOUND_LEVELS; l++)
        for (int s = 0; s < 256; s++)
            g_table[l][s] = (int8_t)((s - 128) * l / 32); // C++ division rounds toward zero
    g_table_ready = 1;
}

int clampi(int v, int lo, int hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

int sides_of(const platform_mixer *m) {
    return m->stereo ? 2 : 1;
}

void unlink_voice(platform_mixer *m, platform_voice *v) {
    if (!v->linked) return;
    for (int s = 0; s < sides_of(m); s++) {
        if (v->prev[s])
            v->prev[s]->next[s] = v->next[s];
        else
            m->lists[s][v->list_level[s]] = v->next[s];
        if (v->next[s]) v->next[s]->prev[s] = v->prev[s];
        v->next[s] = v->prev[s] = nullptr;
    }
    v->linked = 0;
}

void link_voice(platform_mixer *m, platform_voice *v) {
    if (v->linked) return;
    for (int s = 0; s < sides_of(m); s++) {
        int l = v->level[s];
        v->list_level[s] = l;
        v->prev[s] = nullptr;
        v->next[s] = m->lists[s][l];
        if (v->next[s]) v->next[s]->prev[s] = v;
        m->lists[s][l] = v;
    }
    v->linked = 1;
}

void update_levels(platform_mixer *m, platform_voice *v) {
    int was_linked = v->linked;
    unlink_voice(m, v);
    sound_mixer_levels(v->volume, v->pan, &v->level[0], &v->level[1]);
    if (was_linked) link_voice(m, v);
}

// Samples per output sample in 32.31 fixed point.
int64_t step_of(const platform_voice *v) {
    if (v->device_rate <= 0 || v->play_rate <= 0) return 0;
    return ((int64_t)v->play_rate << 31) / v->device_rate;
}

int64_t start_fixed(const platform_voice *v) {
    return v->restart ? 0 : (v->pos << 31) | v->frac;
}

// Adds one side of a voice into acc, from the fragment's start position. The side sounds at
// its last level until the waveform's sign flips, then at the target level; a switch that sees
// no flip completes with the fragment, when the side's level is stored.
void mix_side_at(const platform_voice *v, int side, int target, int32_t *acc, int frames) {
    int cur = v->mixed[side];
    if (cur == 0 && target == 0) return;
    const unsigned char *b = v->buffer->samples;
    int64_t len = (int64_t)v->buffer->length << 31;
    int64_t fixed = start_fixed(v), step = step_of(v);
    int top = b[fixed >> 31] & 0x80;
    for (int i = 0; i < frames; i++) {
        int s = b[fixed >> 31];
        if (cur != target && (s & 0x80) != top) cur = target;
        top = s & 0x80;
        acc[i] += g_table[cur][s];
        fixed += step;
        if (fixed >= len) {
            if (!v->loop) break;
            while (fixed >= len)
                fixed -= len;
        }
    }
}

// Where a voice stands after a fragment, as mixing would leave it.
void advance(platform_voice *v, int frames) {
    int64_t len = (int64_t)v->buffer->length << 31;
    int64_t fixed = start_fixed(v) + (int64_t)frames * step_of(v);
    if (fixed >= len) {
        if (v->loop)
            fixed %= len;
        else {
            fixed = 0;
            v->ended = 1;
        }
    }
    v->pos = fixed >> 31;
    v->frac = (uint32_t)(fixed & 0x7fffffff);
}

platform_voice *new_voice(platform_mixer *m, sound_buffer *buf) {
    platform_voice *v = (platform_voice *)zv_alloc_zeroed(1, sizeof *v);
    if (!v) return nullptr;
    v->mixer = m;
    v->buffer = buf;
    buf->refs++;
    v->device_rate = v->play_rate = m->rate;
    v->volume = SOUND_MAX_VOLUME;
    v->stereo = m->stereo;
    v->pan = m->stereo ? 0 : SOUND_MIN_PAN;
    sound_mixer_levels(v->volume, v->pan, &v->level[0], &v->level[1]);
    v->all_next = m->voices;
    if (m->voices) m->voices->all_prev = v;
    m->voices = v;
    return v;
}

} // namespace

unsigned sound_mixer_generation;

int sound_mixer_table(int level, int s) {
    build_tables();
    return g_table[clampi(level, 0, SOUND_LEVELS - 1)][s & 255];
}

void sound_mixer_levels(int volume, int pan, int *left, int *right) {
    *left = (int)(((int64_t)(32767 - pan) * volume) >> 26);
    *right = (int)(((int64_t)volume * (pan + 32768)) >> 26);
    *left = clampi(*left, 0, SOUND_LEVELS - 1);
    *right = clampi(*right, 0, SOUND_LEVELS - 1);
}

platform_mixer *sound_mixer_open(int rate, int channel_budget, int stereo, int sample_bits,
                                 int fragment_samples) {
    if (rate <= 0 || fragment_samples <= 0 || fragment_samples > SOUND_MAX_FRAGMENT ||
        (sample_bits != 8 && sample_bits != 16))
        return nullptr;
    platform_mixer *m = (platform_mixer *)zv_alloc_zeroed(1, sizeof *m);
    if (!m) return nullptr;
    m->rate = rate;
    m->budget = channel_budget < 0 ? 0 : channel_budget;
    m->stereo = stereo ? 1 : 0;
    m->bits = sample_bits;
    m->fragment = fragment_samples;
    for (int s = 0; s < 2; s++)
        m->acc[s] = (int32_t *)zv_alloc_zeroed((size_t)fragment_samples, sizeof(int32_t));
    build_tables();
    sound_mixer_generation++;
    return m;
}

void sound_mixer_close(platform_mixer *m) {
    if (!m) return;
    sound_mixer_generation++;
    while (m->voices)
        sound_mixer_free_voice(m, m->voices);
    zv_free(m->acc[0]);
    zv_free(m->acc[1]);
    zv_free(m);
}

void sound_mixer_mix(platform_mixer *m, void *out) {
    int frames = m->fragment, sides = sides_of(m);
    for (int s = 0; s < sides; s++)
        memset(m->acc[s], 0, sizeof(int32_t) * (size_t)frames);
    int budget = m->budget;
    // Loudest first; sides beyond the budget (and level 0) only fade out what they sounded.
    for (int l = SOUND_LEVELS - 1; l >= 0; l--)
        for (int s = 0; s < sides; s++)
            for (platform_voice *v = m->lists[s][l]; v; v = v->next[s]) {
                if (v->ended || !v->playing) continue;
                int target = 0;
                if (l > 0 && budget > 0) {
                    budget--;
                    target = l;
                }
                mix_side_at(v, s, target, m->acc[s], frames);
                v->mixed[s] = -1 - target; // marked; stored below
            }
    for (platform_voice *v = m->voices, *next; v; v = next) {
        next = v->all_next;
        if (!v->linked) continue;
        for (int s = 0; s < sides; s++)
            v->mixed[s] = v->mixed[s] < 0 ? -1 - v->mixed[s] : 0;
        if (!v->ended) advance(v, frames);
        v->restart = 0;
        if (v->ended) {
            v->playing = 0;
            v->mixed[0] = v->mixed[1] = 0;
            unlink_voice(m, v);
        }
    }
    if (m->bits == 8) {
        unsigned char *o = (unsigned char *)out;
        for (int i = 0; i < frames; i++)
            for (int s = 0; s < sides; s++) {
                int a = m->acc[s][i];
                *o++ = (unsigned char)(a < -127 ? 0 : a >= 127 ? 255 : a + 128);
            }
    } else {
        int16_t *o = (int16_t *)out;
        for (int i = 0; i < frames; i++)
            for (int s = 0; s < sides; s++) {
                int a = m->acc[s][i];
                *o++ = (int16_t)(a < -126 ? -32512 : a > 126 ? 32512 : a * 256);
            }
    }
}

platform_voice *sound_mixer_create_voice(platform_mixer *m, const void *bytes, int samples,
                                         int rate) {
    if (!m || !bytes || samples <= 0 || rate < 0) return nullptr;
    build_tables();
    int64_t n = rate > 0 ? (int64_t)samples * m->rate / rate : samples;
    if (n <= 0 || n > SOUND_MAX_VOICE_SAMPLES) return nullptr;
    sound_buffer *buf = (sound_buffer *)zv_alloc_zeroed(1, sizeof *buf);
    buf->samples = (unsigned char *)zv_alloc((size_t)n);
    buf->length = (int)n;
    const unsigned char *src = (const unsigned char *)bytes;
    if (rate > 0)
        for (int64_t i = 0; i < n; i++) {
            int64_t k = i * rate / m->rate;
            buf->samples[i] = src[k < samples ? k : samples - 1];
        }
    else
        memcpy(buf->samples, src, (size_t)n);
    return new_voice(m, buf);
}

platform_voice *sound_mixer_clone_voice(platform_mixer *m, platform_voice *v) {
    if (!m || !v) return nullptr;
    platform_voice *c = new_voice(m, v->buffer);
    c->device_rate = v->device_rate;
    c->play_rate = v->play_rate;
    c->volume = v->volume;
    c->pan = v->pan;
    c->loop = v->loop;
    sound_mixer_levels(c->volume, c->pan, &c->level[0], &c->level[1]);
    return c;
}

void sound_mixer_free_voice(platform_mixer *m, platform_voice *v) {
    if (!m || !v) return;
    unlink_voice(m, v);
    if (v->all_prev)
        v->all_prev->all_next = v->all_next;
    else
        m->voices = v->all_next;
    if (v->all_next) v->all_next->all_prev = v->all_prev;
    if (--v->buffer->refs <= 0) {
        zv_free(v->buffer->samples);
        zv_free(v->buffer);
    }
    zv_free(v);
}

void sound_mixer_start(platform_mixer *m, platform_voice *v) {
    v->restart = 1;
    v->ended = 0;
    if (!v->playing) {
        v->playing = 1;
        v->mixed[0] = v->mixed[1] = 0;
        link_voice(m, v);
    }
}

void sound_mixer_stop(platform_mixer *, platform_voice *v) {
    if (v->playing) v->ended = 1;
}

void sound_mixer_set_rate(platform_mixer *, platform_voice *v, int rate) {
    v->play_rate = rate < 0 ? 0 : rate;
}

void sound_mixer_set_volume(platform_mixer *m, platform_voice *v, int volume) {
    v->volume = clampi(volume, 0, SOUND_MAX_VOLUME);
    update_levels(m, v);
}

void sound_mixer_set_pan(platform_mixer *m, platform_voice *v, int pan) {
    if (!v->stereo) return; // mono voices stay on the one side
    v->pan = clampi(pan, SOUND_MIN_PAN, SOUND_MAX_PAN);
    update_levels(m, v);
}

void sound_mixer_set_loop(platform_mixer *, platform_voice *v, int loop) {
    v->loop = loop ? 1 : 0;
}

int sound_mixer_play_position(platform_mixer *, platform_voice *v) {
    if (!v->playing || v->restart) return 0;
    return (int)v->pos;
}

void sound_mixer_write_samples(platform_mixer *, platform_voice *v, int offset, const void *bytes,
                               int count) {
    if (!v || !bytes || count <= 0) return;
    int len = v->buffer->length;
    const unsigned char *src = (const unsigned char *)bytes;
    int64_t at = offset;
    if (count > len) {
        // Only the last length bytes land; they start where the excess would have ended.
        at += count - len;
        src += count - len;
        count = len;
    }
    int start = (int)(((at % len) + len) % len);
    int first = count < len - start ? count : len - start;
    memcpy(v->buffer->samples + start, src, (size_t)first);
    if (count > first) memcpy(v->buffer->samples, src + first, (size_t)(count - first));
}

const platform_mixer_ops sound_mixer_ops = {
    .open = sound_mixer_open,
    .close = sound_mixer_close,
    .mix = sound_mixer_mix,
    .create_voice = sound_mixer_create_voice,
    .clone_voice = sound_mixer_clone_voice,
    .free_voice = sound_mixer_free_voice,
    .start = sound_mixer_start,
    .stop = sound_mixer_stop,
    .set_rate = sound_mixer_set_rate,
    .set_volume = sound_mixer_set_volume,
    .set_pan = sound_mixer_set_pan,
    .set_loop = sound_mixer_set_loop,
    .play_position = sound_mixer_play_position,
    .write_samples = sound_mixer_write_samples,
};
