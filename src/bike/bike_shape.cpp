// Reading ".shp" files and the shape cache.
#include "bike/bike_shape.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"

namespace {

struct shape_entry {
    char *name;
    bike_shape *shape; // separately allocated: copies point at it while the table grows
};

struct shape_cache {
    shape_entry *entries;
    int count, capacity;
};

shape_cache cache;

// strtod over the text, refusing non-finite values; advances *p.
int read_number(const char **p, double *out) {
    char *end;
    double v = strtod(*p, &end);
    if (end == *p || !std::isfinite(v)) return 0;
    *p = end;
    *out = v;
    return 1;
}

bike_shape *copy_of(const bike_shape *src) {
    bike_shape *s = (bike_shape *)zv_alloc_zeroed(1, sizeof *s);
    s->count = src->count;
    s->bound = src->bound;
    s->spheres =
        (bike_sphere *)zv_alloc((size_t)(src->count ? src->count : 1) * sizeof(bike_sphere));
    if (src->count) memcpy(s->spheres, src->spheres, (size_t)src->count * sizeof(bike_sphere));
    s->cached = src;
    return s;
}

shape_entry *cache_add(const char *name, const bike_shape *shape) {
    if (cache.count == cache.capacity) {
        int cap = cache.capacity ? cache.capacity * 2 : 16;
        cache.entries =
            (shape_entry *)zv_realloc(cache.entries, (size_t)cap * sizeof *cache.entries);
        cache.capacity = cap;
    }
    shape_entry *e = &cache.entries[cache.count++];
    size_t n = strlen(name);
    e->name = (char *)zv_alloc(n + 1);
    memcpy(e->name, name, n + 1);
    e->shape = (bike_shape *)zv_alloc(sizeof(bike_shape));
    *e->shape = *shape;
    return e;
}

shape_entry *cache_find(const char *name) {
    for (int i = 0; i < cache.count; i++)
        if (strcmp(cache.entries[i].name, name) == 0) return &cache.entries[i];
    for (int i = 0; i < cache.count; i++) {
        if (strcasecmp(cache.entries[i].name, name) == 0) {
            platform_log("Warning: case mismatch on '%.900s'\n", name);
            return &cache.entries[i];
        }
    }
    return nullptr;
}

} // namespace

int bike_shape_parse(const char *text, bike_shape *out) {
    memset(out, 0, sizeof *out);
    if (!text) return 0;
    const char *p = text;
    double n;
    if (!read_number(&p, &n) || n < 0 || n > (double)BIKE_SHAPE_MAX_SPHERES || n != floor(n))
        return 0;
    int count = (int)n;
    bike_sphere *spheres = (bike_sphere *)zv_alloc((size_t)(count ? count : 1) * sizeof *spheres);
    float bound = 0;
    for (int i = 0; i < count; i++) {
        double v[7];
        for (int k = 0; k < 7; k++) {
            if (!read_number(&p, &v[k])) {
                zv_free(spheres);
                return 0;
            }
        }
        bike_sphere *s = &spheres[i];
        for (int k = 0; k < 3; k++)
            s->centre[k] = (float)v[k];
        s->radius = (float)v[3];
        s->friction = (float)v[4];
        s->spring = (float)v[5];
        s->damping = (float)v[6];
        // A sphere without size, spring or damping would divide by zero or never push back.
        if (!(s->radius > 0) || !(s->spring > 0) || !(s->damping > 0) || !(s->friction >= 0)) {
            zv_free(spheres);
            return 0;
        }
        float r = sqrtf(s->centre[0] * s->centre[0] + s->centre[1] * s->centre[1] +
                        s->centre[2] * s->centre[2]) +
                  s->radius;
        if (r > bound) bound = r;
    }
    out->count = count;
    out->bound = bound;
    out->spheres = spheres;
    return 1;
}

int bike_shape_register(const char *name, const char *text) {
    bike_shape s;
    if (!bike_shape_parse(text, &s)) return 0;
    shape_entry *e = nullptr;
    for (int i = 0; i < cache.count; i++)
        if (strcmp(cache.entries[i].name, name) == 0) e = &cache.entries[i];
    if (e) {
        // Same name again: keep the entry (copies point at it) and refresh its spheres.
        zv_free(e->shape->spheres);
        *e->shape = s;
        return 1;
    }
    cache_add(name, &s);
    return 1;
}

bike_shape *bike_shape_load(const char *name) {
    if (!name) return nullptr;
    shape_entry *e = cache_find(name);
    if (!e) {
        char *text = file_to_string(name);
        if (!text) return nullptr;
        bike_shape s;
        int ok = bike_shape_parse(text, &s);
        zv_free(text);
        if (!ok) return nullptr;
        e = cache_add(name, &s);
    }
    return copy_of(e->shape);
}

void bike_shape_free(bike_shape *s) {
    if (!s) return;
    zv_free(s->spheres);
    zv_free(s);
}

void bike_shape_cache_clear(void) {
    for (int i = 0; i < cache.count; i++) {
        zv_free(cache.entries[i].name);
        zv_free(cache.entries[i].shape->spheres);
        zv_free(cache.entries[i].shape);
    }
    zv_free(cache.entries);
    memset(&cache, 0, sizeof cache);
}
