// Sound tables (rpm rows by load columns of waves) and raw 16-bit waves, cached by name.
#include "sound/sound_engine.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// A word scanner over the table text.
struct scan {
    const char *p;
};

int next_word(scan *s, char *out, int size) {
    while (*s->p == ' ' || *s->p == '\t' || *s->p == '\n' || *s->p == '\r')
        s->p++;
    int n = 0;
    while (*s->p && *s->p != ' ' && *s->p != '\t' && *s->p != '\n' && *s->p != '\r') {
        if (n < size - 1) out[n++] = *s->p;
        s->p++;
    }
    out[n] = 0;
    return n > 0;
}

int next_float(scan *s, float *v) {
    char w[64];
    if (!next_word(s, w, sizeof w)) return 0;
    char *end;
    double d = strtod(w, &end);
    if (*end || end == w || !std::isfinite(d)) return 0;
    *v = (float)d;
    return 1;
}

int next_int(scan *s, long *v) {
    char w[64];
    if (!next_word(s, w, sizeof w)) return 0;
    char *end;
    long d = strtol(w, &end, 10);
    if (*end || end == w) return 0;
    *v = d;
    return 1;
}

template <typename T> struct cache {
    T **items;
    int count, capacity;
};

cache<sound_table> g_tables;
cache<sound_wave> g_waves;

template <typename T> T *cache_find(cache<T> *c, const char *name) {
    for (int i = 0; i < c->count; i++)
        if (strcmp(c->items[i]->name, name) == 0) return c->items[i];
    for (int i = 0; i < c->count; i++)
        if (strcasecmp(c->items[i]->name, name) == 0) {
            platform_log("Warning: case mismatch on '%.900s'\n", name);
            return c->items[i];
        }
    return nullptr;
}

template <typename T> void cache_add(cache<T> *c, T *item) {
    if (c->count == c->capacity) {
        c->capacity = c->capacity ? c->capacity * 2 : 16;
        c->items = (T **)zv_realloc(c->items, sizeof(T *) * (size_t)c->capacity);
    }
    c->items[c->count++] = item;
}

} // namespace

sound_wave *sound_wave_from_bytes(const char *name, const unsigned char *bytes, int length) {
    int n = length / 2;
    if (!bytes || n <= 0 || n > SOUND_WAVE_MAX) return nullptr;
    sound_wave *w = (sound_wave *)zv_alloc_zeroed(1, sizeof *w);
    snprintf(w->name, sizeof w->name, "%s", name ? name : "");
    w->samples = (float *)zv_alloc(sizeof(float) * (size_t)n);
    w->length = n;
    for (int i = 0; i < n; i++)
        w->samples[i] = (int16_t)(bytes[2 * i] | bytes[2 * i + 1] << 8) / 32768.0f;
    return w;
}

void sound_wave_free(sound_wave *w) {
    if (!w) return;
    zv_free(w->samples);
    zv_free(w);
}

void sound_table_free(sound_table *t) {
    if (!t) return;
    if (t->cells)
        for (int i = 0; i < t->rows * t->cols; i++)
            zv_free(t->cells[i].remap);
    zv_free(t->cells);
    zv_free(t->rpm);
    zv_free(t->load);
    zv_free(t);
}

sound_table *sound_table_parse(const char *name, const char *text, sound_wave_source *load_wave) {
    scan s = {text ? text : ""};
    char word[1024];
    long rows = 0, cols = 0;
    if (!next_word(&s, word, sizeof word) || strcmp(word, "SOUNDTABLE") != 0 ||
        !next_int(&s, &rows) || !next_int(&s, &cols) || rows <= 0 || cols <= 0 ||
        rows > SOUND_TABLE_MAX_CELLS || cols > SOUND_TABLE_MAX_CELLS ||
        rows * cols > SOUND_TABLE_MAX_CELLS) {
        platform_log("Error reading '%.512s'\n", name);
        return nullptr;
    }
    sound_table *t = (sound_table *)zv_alloc_zeroed(1, sizeof *t);
    snprintf(t->name, sizeof t->name, "%s", name);
    t->rows = (int)rows;
    t->cols = (int)cols;
    t->rpm = (float *)zv_alloc_zeroed((size_t)rows, sizeof(float));
    t->load = (float *)zv_alloc_zeroed((size_t)cols, sizeof(float));
    t->cells = (sound_cell *)zv_alloc_zeroed((size_t)(rows * cols), sizeof(sound_cell));
    for (int r = 0; r < rows; r++)
        if (!next_float(&s, &t->rpm[r])) goto bad_table;
    for (int c = 0; c < cols; c++)
        if (!next_float(&s, &t->load[c])) goto bad_table;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            sound_cell *cell = &t->cells[r * cols + c];
            long remap[SOUND_REMAP_MAX];
            int n = 0;
            for (;;) {
                long v;
                if (!next_int(&s, &v) || v < -1 || v > 1000000000 ||
                    (v >= 0 && n == SOUND_REMAP_MAX)) {
                    platform_log("(%d, %d) Bad remap entry\n", r, c);
                    sound_table_free(t);
                    return nullptr;
                }
                if (v == -1) break;
                remap[n++] = v;
            }
            float periods = 0;
            char wave[1024];
            int ok = next_float(&s, &periods) && next_word(&s, wave, sizeof wave);
            const sound_wave *w = ok && load_wave ? load_wave(wave) : nullptr;
            // A whole number of periods, each at least one sample long.
            if (!w || !(periods >= 1) || periods != std::floor(periods) || periods > w->length) {
                platform_log("(%d, %d) Error reading '%.512s'\n", r, c, ok ? wave : name);
                sound_table_free(t);
                return nullptr;
            }
            cell->wave = w;
            cell->periods = (int)periods;
            if (n > 0) {
                cell->remap = (int *)zv_alloc(sizeof(int) * (size_t)n);
                for (int i = 0; i < n; i++)
                    cell->remap[i] = (int)(remap[i] % cell->periods);
                cell->remap_count = n;
            }
        }
    return t;
bad_table:
    platform_log("Error reading '%.512s'\n", name);
    sound_table_free(t);
    return nullptr;
}

const sound_wave *sound_wave_load(const char *name) {
    if (sound_wave *w = cache_find(&g_waves, name)) return w;
    int len = 0;
    char *bytes = file_to_string(name, &len);
    if (!bytes) return nullptr;
    sound_wave *w = sound_wave_from_bytes(name, (const unsigned char *)bytes, len);
    zv_free(bytes);
    if (w) cache_add(&g_waves, w);
    return w;
}

const sound_table *sound_table_load(const char *name) {
    if (sound_table *t = cache_find(&g_tables, name)) return t;
    char *text = file_to_string(name);
    if (!text) {
        platform_log("Error reading '%.512s'\n", name);
        return nullptr;
    }
    sound_table *t = sound_table_parse(name, text, sound_wave_load);
    zv_free(text);
    if (t) cache_add(&g_tables, t);
    return t;
}

void sound_cache_free(void) {
    for (int i = 0; i < g_tables.count; i++)
        sound_table_free(g_tables.items[i]);
    for (int i = 0; i < g_waves.count; i++)
        sound_wave_free(g_waves.items[i]);
    zv_free(g_tables.items);
    zv_free(g_waves.items);
    g_tables = {};
    g_waves = {};
}
