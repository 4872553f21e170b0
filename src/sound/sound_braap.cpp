// ".braap" engine sound definitions: line-matched keywords over a built-in model.
#include "sound/sound_engine.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads up to max finite numbers after the keyword; the list is kept when none is given.
void read_list(const char *p, float *list, int *count, int max) {
    float v[SOUND_LIST_MAX];
    int n = 0;
    while (n < max) {
        char *end;
        double d = strtod(p, &end);
        if (end == p || !std::isfinite(d)) break;
        v[n++] = (float)d;
        p = end;
    }
    if (n == 0) return;
    memcpy(list, v, sizeof(float) * (size_t)n);
    *count = n;
}

int finite_value(const char *rest, float *out) {
    float v;
    if (sscanf(rest, "%f", &v) != 1 || !std::isfinite(v)) return 0;
    *out = v;
    return 1;
}

} // namespace

int sound_braap_parse(sound_engine *e, const char *text, sound_table_source *load_table) {
    int understood = 0;
    const char *p = text;
    char line[2048];
    while (p && *p) {
        const char *nl = strchr(p, '\n');
        size_t len = nl ? (size_t)(nl - p) : strlen(p);
        size_t keep = len < sizeof line - 1 ? len : sizeof line - 1;
        memcpy(line, p, keep);
        line[keep] = 0;
        p = nl ? nl + 1 : nullptr;
        if (char *hash = strchr(line, '#')) *hash = 0;
        char word[32];
        int used = 0;
        if (sscanf(line, " %31s%n", word, &used) != 1) continue;
        const char *rest = line + used;
        if (strcmp(word, "pipe") == 0) {
            float L = 5, S = 0.91820717f, G = -0.85f;
            int a = 0, b = 15;
            sscanf(rest, "%f %f %f %d %d", &L, &S, &G, &a, &b);
            sound_engine_pipe(e, L, S, G, a, b);
        } else if (strcmp(word, "minrpm") == 0) {
            float v;
            if (!finite_value(rest, &v)) continue;
            e->min_rpm = v < 0 ? 0 : v > 100000 ? 100000 : v;
        } else if (strcmp(word, "lowtorque") == 0) {
            if (!finite_value(rest, &e->low_torque)) continue;
        } else if (strcmp(word, "hightorque") == 0) {
            if (!finite_value(rest, &e->high_torque)) continue;
        } else if (strcmp(word, "bias") == 0) {
            read_list(rest, e->bias, &e->bias_count, SOUND_LIST_MAX);
        } else if (strcmp(word, "scale") == 0) {
            read_list(rest, e->scale, &e->scale_count, SOUND_LIST_MAX);
        } else if (strcmp(word, "soundtable") == 0) {
            char name[1024];
            if (sscanf(rest, " %1023s", name) != 1) continue;
            const sound_table *t = load_table ? load_table(name) : nullptr;
            if (t) e->table = t;
        } else {
            continue;
        }
        understood++;
    }
    return understood;
}
