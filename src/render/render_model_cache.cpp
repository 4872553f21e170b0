// The model cache: models by name, stamped with the track-load generation of their last use,
// and the level-of-detail variants found by file name in the data index.
#include "render/render_model.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "base/zv_alloc.h"
#include "data/data_index.h"

void model_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

render_model_cache model_cache;
float model_lod_scale = 1.0f, model_lod_bias = 0.0f;

render_model *model_find(const char *name) {
    render_model *found = nullptr;
    for (int i = 0; i < model_cache.count && !found; i++)
        if (!strcmp(model_cache.models[i]->name, name)) found = model_cache.models[i];
    for (int i = 0; i < model_cache.count && !found; i++)
        if (!strcasecmp(model_cache.models[i]->name, name)) {
            model_log("Warning: case mismatch on '%.900s'\n", name);
            found = model_cache.models[i];
        }
    // Models loaded before the first track carry 0 and live until exit; restamping one would
    // let a later sweep free it while the start-up code still holds it.
    if (found && found->generation != 0) found->generation = model_cache.generation;
    return found;
}

void model_find_lods(render_model *m, const char *name, const char *const *files, int count) {
    if (!m || name[0] != '@') return;
    char base[1024];
    snprintf(base, sizeof base, "%s", name + 1);
    char *dot = strrchr(base, '.');
    char *slash = strrchr(base, '/');
    if (dot && (!slash || dot > slash)) *dot = 0;
    size_t base_len = strlen(base);
    int levels = 0;
    for (int i = 0; i < count && levels < MODEL_LOD_MAX; i++) {
        const char *f = files[i];
        if (strncasecmp(f, base, base_len) || strncasecmp(f + base_len, "_lod", 4)) continue;
        const char *num = f + base_len + 4;
        char *end;
        double d = strtod(num, &end);
        if (end == num || !std::isfinite(d) || d < -60 || d > 60) continue;
        char lod_name[1100];
        snprintf(lod_name, sizeof lod_name, "@%s", f);
        size_t n = strlen(lod_name);
        if (n > 3 && !strcmp(lod_name + n - 3, ".gz")) lod_name[n - 3] = 0;
        render_model *l = model_parse(lod_name);
        if (!l) continue;
        l->lod_threshold = (float)std::pow(2.0, d);
        // After every level whose threshold is not above the new one.
        render_model *at = m;
        while (at->lod && at->lod->lod_threshold <= l->lod_threshold)
            at = at->lod;
        l->lod = at->lod;
        at->lod = l;
        levels++;
    }
}

const render_model *model_choose_lod(const render_model *m, float dist2, float bias) {
    const render_model *choice = m;
    for (const render_model *e = m ? m->lod : nullptr; e; e = e->lod) {
        float t = e->lod_threshold - bias;
        if (t > 0 && t * t > dist2) break;
        choice = e;
    }
    return choice;
}

render_model *model_load(const char *name) {
    if (!name || !name[0]) return nullptr;
    if (render_model *m = model_find(name)) return m;
    render_model *m = model_parse(name);
    if (!m) return nullptr;
    if (name[0] == '@') {
        const char *const *list = file_index_build();
        int n = 0;
        while (list && list[n])
            n++;
        model_find_lods(m, name, list, n);
    }
    if (model_cache.count == model_cache.capacity) {
        int cap = model_cache.capacity ? model_cache.capacity * 2 : 16;
        model_cache.models =
            (render_model **)zv_realloc(model_cache.models, sizeof(render_model *) * (size_t)cap);
        model_cache.capacity = cap;
    }
    m->generation = model_cache.generation;
    model_cache.models[model_cache.count++] = m;
    return m;
}

void model_sweep(int all) {
    int kept = 0, freed = 0;
    for (int i = 0; i < model_cache.count; i++) {
        render_model *m = model_cache.models[i];
        if (all || (m->generation != 0 && m->generation != model_cache.generation)) {
            if (model_verbose) model_log("deleting model %.900s\n", m->name);
            model_free(m);
            freed++;
        } else {
            model_cache.models[kept++] = m;
        }
    }
    model_cache.count = kept;
    if (freed) model_cache.sweeps++;
    if (all) {
        zv_free(model_cache.models);
        model_cache.models = nullptr;
        model_cache.capacity = 0;
    }
}

void model_new_generation(void) {
    model_cache.generation++;
}
