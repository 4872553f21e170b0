// Engine sound synthesis: the built-in models and the per-sample firing and pipe loop.
#include "sound/sound_engine.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const uint32_t PHASE_ONE = 1u << 24;
const double PHASE_PER_HZ = 380.43573; // 2^24 / 44100
const float MIN_FIRING_HZ = 5.0f;
// Firing more often than every other sample would need more than one firing per sample.
const float MAX_FIRING_HZ = SOUND_ENGINE_RATE / 2.0f;

struct builtin {
    sound_wave wave[2];
    sound_cell cell[2];
    float rpm, load[2];
    sound_table table;
    float samples[2][1024];
};

builtin g_builtin[2];
int g_builtin_ready;

void make_builtin(builtin *b, const char *name, int two_stroke) {
    for (int i = 0; i < 1024; i++) {
        double d = i / 1023.0, y;
        if (two_stroke) {
            y = d < 0.25 ? (1 - 4 * d) * std::sin(8 * M_PI * d) : 0.0;
        } else {
            double e = (std::fabs(std::sin(3 * M_PI * d + 0.5246)) - 0.5) * 0.5;
            y = d < 0.25 ? (1 - 4 * d) * std::sin(16 * M_PI * d) + e : e;
        }
        b->samples[1][i] = (float)y;
        b->samples[0][i] = (float)(y * 0.25);
    }
    snprintf(b->table.name, sizeof b->table.name, "%s", name);
    for (int c = 0; c < 2; c++) {
        snprintf(b->wave[c].name, sizeof b->wave[c].name, "%s %d", name, c);
        b->wave[c].samples = b->samples[c];
        b->wave[c].length = 1024;
        b->cell[c].wave = &b->wave[c];
        b->cell[c].periods = 1;
        b->load[c] = (float)c;
    }
    b->rpm = 1000;
    b->table.rows = 1;
    b->table.cols = 2;
    b->table.rpm = &b->rpm;
    b->table.load = b->load;
    b->table.cells = b->cell;
}

// The row (or column) pair around x and the fraction between them, clamped to the edges.
void pair(const float *v, int n, float x, int *i0, int *i1, float *frac) {
    *i0 = *i1 = 0;
    *frac = 0;
    if (n <= 1 || !(x > v[0])) return;
    if (x >= v[n - 1]) {
        *i0 = *i1 = n - 1;
        return;
    }
    int i = 0;
    while (i + 2 < n && x >= v[i + 1])
        i++;
    *i0 = i;
    *i1 = i + 1;
    float span = v[i + 1] - v[i];
    float f = span > 0 ? (x - v[i]) / span : 0;
    *frac = f < 0 ? 0 : f > 1 ? 1 : f;
}

// One firing: the next firing frequency, and the four voices of the cells around (q, load).
void fire(sound_engine *e, float q, float load) {
    uint32_t c = e->firings++;
    if (e->bias_count > 0) q += e->bias[c % (uint32_t)e->bias_count];
    if (e->scale_count > 0) q *= e->scale[c % (uint32_t)e->scale_count];
    if (!std::isfinite(q) || q < e->min_rpm) q = e->min_rpm;
    float f = e->firings_per_rev * q / 60.0f;
    if (!std::isfinite(f) || f < MIN_FIRING_HZ) f = MIN_FIRING_HZ;
    if (f > MAX_FIRING_HZ) f = MAX_FIRING_HZ;
    e->freq = f;
    const sound_table *t = e->table;
    if (!t || t->rows <= 0 || t->cols <= 0) return;
    int r[2], k[2];
    float fr, fc;
    pair(t->rpm, t->rows, q, &r[0], &r[1], &fr);
    pair(t->load, t->cols, load, &k[0], &k[1], &fc);
    for (int i = 0; i < 4; i++) {
        sound_engine_voice *v = &e->voice[i];
        float w = (i & 2 ? fr : 1 - fr) * (i & 1 ? fc : 1 - fc);
        const sound_cell *cell = &t->cells[r[i >> 1] * t->cols + k[i & 1]];
        v->wave = nullptr;
        if (!(w > 0) || !cell->wave || cell->periods <= 0 || cell->wave->length <= 0) continue;
        int len = cell->wave->length;
        uint32_t period = cell->remap_count > 0 ? (uint32_t)cell->remap[c % cell->remap_count]
                                                : c % (uint32_t)cell->periods;
        period %= (uint32_t)cell->periods;
        double plen = (double)len / cell->periods;
        v->wave = cell->wave->samples;
        v->length = len;
        v->pos = (int64_t)(period * plen * 1024.0);
        v->inc = (int64_t)(plen * f / SOUND_ENGINE_RATE * 1024.0);
        v->weight = w;
    }
}

} // namespace

const sound_table *sound_builtin_table(int two_stroke) {
    if (!g_builtin_ready) {
        make_builtin(&g_builtin[0], "default_four_stroke", 0);
        make_builtin(&g_builtin[1], "default_two_stroke", 1);
        g_builtin_ready = 1;
    }
    return &g_builtin[two_stroke ? 1 : 0].table;
}

sound_engine_kind sound_engine_class_kind(const char *engine_class) {
    if (!engine_class) return SOUND_TWO_STROKE;
    if (strcmp(engine_class, "50") == 0) return SOUND_FIFTY;
    size_t n = strlen(engine_class);
    if (n > 0 && tolower((unsigned char)engine_class[n - 1]) == 'f') return SOUND_FOUR_STROKE;
    return SOUND_TWO_STROKE;
}

void sound_engine_pipe(sound_engine *e, float length, float spread, float gain, int a, int b) {
    if (!std::isfinite(length) || !std::isfinite(spread) || !std::isfinite(gain)) return;
    if (a < 0) a = 0;
    if (a > SOUND_TAPS - 1) a = SOUND_TAPS - 1;
    if (b > SOUND_TAPS - 1) b = SOUND_TAPS - 1;
    if (b < a) return;
    int n = b - a;
    double s = length < spread ? length : spread;
    for (int j = 0; j <= n; j++) {
        double frac = n > 0 ? (double)j / n : 0.0; // a single tap sits at the full length
        double d = (length - (frac * frac + j) * s / (n + 1)) * 77.32569;
        int delay = std::isfinite(d) ? (d < 1                ? 1
                                        : d > SOUND_RING - 1 ? SOUND_RING - 1
                                                             : (int)d)
                                     : 1;
        e->tap_delay[a + j] = delay;
        e->tap_gain[a + j] = gain / (float)(n + 1);
    }
}

void sound_engine_builtin(sound_engine *e, sound_engine_kind kind) {
    memset(e, 0, sizeof *e);
    int two = kind != SOUND_FOUR_STROKE;
    e->table = sound_builtin_table(two);
    e->firings_per_rev = two ? 1.0f : 0.5f;
    e->low_torque = kind == SOUND_FOUR_STROKE ? -2.5f : -3.5f;
    e->high_torque = kind == SOUND_FOUR_STROKE ? 2.5f : kind == SOUND_FIFTY ? 1.5f : 3.5f;
    e->min_rpm = 1000;
    if (two)
        sound_engine_pipe(e, 1.75f, 0.3f, -0.75f, 0, 15);
    else
        sound_engine_pipe(e, 5.0f, 0.9182072f, -0.85f, 0, 15);
    e->bias[0] = 0;
    e->scale[0] = 1;
    e->bias_count = e->scale_count = 1;
    e->write = 11025;
    e->fresh = 1;
    e->freq = 10;
    e->rpm_prev = 1000;
}

float sound_engine_load(const sound_engine *e, float torque) {
    float span = e->high_torque - e->low_torque;
    if (!std::isfinite(torque)) return 0;
    if (!(span > 0)) return torque >= e->high_torque ? 1.0f : 0.0f;
    float l = (torque - e->low_torque) / span;
    return l < 0 ? 0 : l > 1 ? 1 : l;
}

int sound_engine_needed(sound_engine *e, int play_position) {
    int play = play_position & SOUND_RING_MASK;
    if (e->fresh) {
        // Whatever the wrap, the writer starts the margin ahead of the reader.
        e->write = (play + SOUND_AHEAD) & SOUND_RING_MASK;
        e->fresh = 0;
        return 0;
    }
    int n = (play + SOUND_AHEAD - e->write) & SOUND_RING_MASK;
    return n > SOUND_MAX_FILL ? SOUND_MAX_FILL : n;
}

int sound_engine_synth(sound_engine *e, int n, float rpm, float load, unsigned char *out) {
    int start = e->write;
    if (n <= 0) return start;
    if (n > SOUND_MAX_FILL) n = SOUND_MAX_FILL;
    if (!std::isfinite(rpm)) rpm = e->min_rpm;
    if (!std::isfinite(load)) load = 0;
    int taps = 0, delay[SOUND_TAPS];
    float gain[SOUND_TAPS];
    for (int t = 0; t < SOUND_TAPS; t++)
        if (e->tap_gain[t] != 0) {
            delay[taps] = e->tap_delay[t] < 1 ? 1 : e->tap_delay[t] & SOUND_RING_MASK;
            gain[taps++] = e->tap_gain[t];
        }
    float r0 = e->rpm_prev;
    for (int k = 0; k < n; k++) {
        int w = e->write;
        float y = 0;
        for (int t = 0; t < taps; t++)
            y += gain[t] * e->ring[(w - delay[t]) & SOUND_RING_MASK];
        for (int i = 0; i < SOUND_ENGINE_VOICES; i++) {
            sound_engine_voice *v = &e->voice[i];
            if (!v->wave) continue;
            int64_t idx = v->pos >> 10;
            if (idx >= v->length || idx < 0) {
                v->wave = nullptr; // the last period ends with the wave
                continue;
            }
            y += v->weight * v->wave[idx];
            v->pos += v->inc;
        }
        if (!std::isfinite(y)) y = 0;
        y = y < -16 ? -16 : y > 16 ? 16 : y;
        e->ring[w] = y;
        long b = std::lround((y + 1) * 127);
        out[k] = (unsigned char)(b < 0 ? 0 : b > 255 ? 255 : b);
        e->write = (w + 1) & SOUND_RING_MASK;
        e->phase += (uint32_t)std::lround(PHASE_PER_HZ * e->freq);
        if (e->phase >= PHASE_ONE) {
            e->phase -= PHASE_ONE;
            fire(e, r0 + (float)k / n * (rpm - r0), load);
        }
    }
    e->rpm_prev = rpm;
    return start;
}
