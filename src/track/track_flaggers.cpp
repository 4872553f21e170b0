// Flaggers: reading the flaggers file and choosing their pictures from the race state.
#include "track/track_flaggers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"
#include "track/track_objects.h"
#include "track/track_terrain.h"

flaggers_state flaggers = {-1, -1, {}, {}, 1, {}, {}, 0, nullptr, 0, nullptr, 0};

namespace {

unsigned tex(const char *name) {
    return track_render.texture_load ? track_render.texture_load(name) : 0;
}

int word(const char **p, char *out) {
    int used = 0;
    if (sscanf(*p, " %1023s %n", out, &used) != 1 || used <= 0) return 0;
    *p += used;
    return 1;
}

const double TIC = 1.0 / 128;

} // namespace

void flaggers_free(void) {
    zv_free(flaggers.list);
    zv_free(flaggers.flags);
    memset(&flaggers, 0, sizeof flaggers);
    flaggers.start_billboard = flaggers.lap_billboard = -1;
    flaggers.walk = 1;
}

void flaggers_parse(const char *text, int checkpoints) {
    flaggers_free();
    if (checkpoints > 0) {
        flaggers.flags = (unsigned char *)zv_alloc_zeroed((size_t)checkpoints, 1);
        flaggers.flag_count = checkpoints;
    }
    const char *p = text;
    char name[OBJECTS_NAME_MAX];
    float a[3], b[3], size, aspect, k = 1;
    int used = 0;
    // The starting flagger: path, size, aspect, walk time, five pictures.
    if (sscanf(p, " [ %f %f %f ] [ %f %f %f ] %f %f %f %n", &a[0], &a[1], &a[2], &b[0], &b[1],
               &b[2], &size, &aspect, &k, &used) != 9 ||
        used <= 0 || !word(&(p += used), name))
        return;
    flaggers.start_billboard = billboard_add(a[0], a[1], a[2], size, aspect, name);
    memcpy(flaggers.p1, a, sizeof a);
    memcpy(flaggers.p2, b, sizeof b);
    flaggers.walk = std::isfinite(k) ? k : 1;
    flaggers.start_tex[0] = flaggers.start_billboard >= 0
                                ? objects.billboards[flaggers.start_billboard].texture
                                : tex(name);
    for (int i = 1; i < 5; i++) {
        if (!word(&p, name)) return;
        flaggers.start_tex[i] = tex(name);
    }
    // The lap-board flagger: place, size, aspect, four pictures.
    used = 0;
    if (sscanf(p, " [ %f %f %f ] %f %f %n", &a[0], &a[1], &a[2], &size, &aspect, &used) != 5 ||
        used <= 0 || !word(&(p += used), name))
        return;
    flaggers.lap_billboard = billboard_add(a[0], a[1], a[2], size, aspect, name);
    flaggers.lap_tex[0] =
        flaggers.lap_billboard >= 0 ? objects.billboards[flaggers.lap_billboard].texture : 0;
    for (int i = 1; i < 4; i++) {
        if (!word(&p, name)) return;
        flaggers.lap_tex[i] = tex(name);
    }
    // Ordinary flaggers watching up to four checkpoints each.
    while (flaggers.count < FLAGGERS_MAX) {
        int cp[4];
        used = 0;
        if (sscanf(p, " [ %f %f %f ] %f %f %d %d %d %d%n", &a[0], &a[1], &a[2], &size, &aspect,
                   &cp[0], &cp[1], &cp[2], &cp[3], &used) != 9 ||
            used <= 0)
            return;
        p += used;
        char second[OBJECTS_NAME_MAX];
        if (!word(&p, name) || !word(&p, second)) return;
        if (flaggers.count == flaggers.cap) {
            int cap = flaggers.cap ? flaggers.cap * 2 : 16;
            flaggers.list = (flaggers_state::ordinary *)zv_realloc(
                flaggers.list, (size_t)cap * sizeof *flaggers.list);
            flaggers.cap = cap;
        }
        flaggers_state::ordinary *o = &flaggers.list[flaggers.count++];
        o->billboard = billboard_add(a[0], a[1], a[2], size, aspect, name);
        o->tex[0] = o->billboard >= 0 ? objects.billboards[o->billboard].texture : 0;
        o->tex[1] = tex(second);
        for (int i = 0; i < 4; i++)
            o->checkpoint[i] =
                cp[i] < -1 ? -1 : (cp[i] > checkpoints - 1 ? checkpoints - 1 : cp[i]);
    }
}

void flaggers_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/flaggers", dir ? dir : "");
    char *text = file_to_string(name);
    flaggers_parse(text ? text : "", gates_checkpoints());
    zv_free(text);
}

int flaggers_start_picture(double t, double walk, float *w) {
    const double mark = floor(640 * TIC); // the flagger mark, whole seconds
    double k = walk;
    double f = k > 0 ? (t - 1 - mark) / k : (t - 1 - mark >= 0 ? 1 : 0);
    if (!(f >= 0)) f = 0;
    if (f > 1) f = 1;
    *w = (float)f;
    if (t < mark + 0.1) return 0;
    if (t < mark + 0.4) return 1;
    if (t < mark + 1) return 2;
    if (t < mark + 1 + k) return 3;
    return 4;
}

int flaggers_position_of(int p, int first, int normal) {
    if (p < 0) return 0;
    if (p < first || normal <= 0) return p;
    return first + (p - first) % normal;
}

int flaggers_lap_picture(const flagger_race_view *v) {
    int P = v->leader_progress < 0 ? 0 : v->leader_progress;
    int F = v->first, N = v->normal;
    int A = (N == 0 || P + 1 < F) ? 0 : (P + 1 - F) / N + 1;
    int total = v->lap_total;
    int ends = N == 0 ? P == 0 : P == F + (A - 1) * N - 1;
    if (ends && v->time_limit > 0 && v->tic >= v->gate_drop_tic + v->time_limit &&
        A + v->laps < total)
        total = A + v->laps;
    if (A >= total) return 3;
    if (A == total - 1) return 2;
    if (A == v->halfway_lap) return 1;
    return 0;
}

void flaggers_update(const flagger_race_view *v) {
    if (v->first == 0 && v->normal == 0) return;
    double t = v->tic * TIC;
    if (flaggers.start_billboard >= 0 && flaggers.start_billboard < objects.billboard_count) {
        float w;
        int pic = flaggers_start_picture(t, flaggers.walk, &w);
        billboard_set_texture(flaggers.start_billboard, flaggers.start_tex[pic], v->tic);
        track_billboard *b = &objects.billboards[flaggers.start_billboard];
        b->x = flaggers.p1[0] + (flaggers.p2[0] - flaggers.p1[0]) * w;
        b->z = flaggers.p1[2] + (flaggers.p2[2] - flaggers.p1[2]) * w;
        b->height = flaggers.p1[1] + (flaggers.p2[1] - flaggers.p1[1]) * w;
        b->y = b->height + (terrain_present() ? terrain_height(b->x, b->z) : 0.0f);
    }
    if (flaggers.lap_billboard >= 0 && v->leader_progress >= 0)
        billboard_set_texture(flaggers.lap_billboard, flaggers.lap_tex[flaggers_lap_picture(v)],
                              v->tic);
    if (flaggers.flag_count > 0) memset(flaggers.flags, 0, (size_t)flaggers.flag_count);
    int seq_len = v->first + v->normal;
    for (int i = 0; i < v->down_count; i++) {
        int pos = flaggers_position_of(v->down_progress[i], v->first, v->normal);
        if (pos < 0 || pos >= seq_len || !v->sequence) continue;
        int cp = gates_sequence_checkpoint(pos);
        if (cp >= 0 && cp < flaggers.flag_count) flaggers.flags[cp] = 1;
    }
    for (int i = 0; i < flaggers.count; i++) {
        const flaggers_state::ordinary *o = &flaggers.list[i];
        int waving = 0;
        for (int c : o->checkpoint)
            if (c >= 0 && c < flaggers.flag_count && flaggers.flags[c]) waving = 1;
        billboard_set_texture(o->billboard, o->tex[waving], v->tic);
    }
}
