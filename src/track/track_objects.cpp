// Billboards, decals, cameras and the map of the loaded track, and the objects' place in the
// track loader.
#include "track/track_objects.h"

#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "track/track_flaggers.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"
#include "track/track_roost.h"
#include "track/track_terrain.h"

objects_state objects;

int objects_write_atomic(const char *dir, const char *file, const char *text);

namespace {

unsigned load_texture(const char *name) {
    return name && name[0] && track_render.texture_load ? track_render.texture_load(name) : 0;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "#RRGGBB#name": the tint and where the name starts; 0 when there is no tint.
int tint_of(const char *name, uint8_t rgb[3], const char **rest) {
    if (name[0] != '#' || strlen(name) < 8 || name[7] != '#') return 0;
    for (int i = 0; i < 6; i++)
        if (hex_digit(name[1 + i]) < 0) return 0;
    for (int i = 0; i < 3; i++)
        rgb[i] = (uint8_t)(hex_digit(name[1 + 2 * i]) * 16 + hex_digit(name[2 + 2 * i]));
    *rest = name + 8;
    return 1;
}

char *dup(const char *s) {
    size_t n = strlen(s);
    char *d = (char *)zv_alloc(n + 1);
    memcpy(d, s, n + 1);
    return d;
}

void bucket_add(int b, int decal) {
    if (objects.decal_bucket_count[b] == objects.decal_bucket_cap[b]) {
        int cap = objects.decal_bucket_cap[b] ? objects.decal_bucket_cap[b] * 2 : 16;
        objects.decal_bucket[b] =
            (int *)zv_realloc(objects.decal_bucket[b], (size_t)cap * sizeof(int));
        objects.decal_bucket_cap[b] = cap;
    }
    objects.decal_bucket[b][objects.decal_bucket_count[b]++] = decal;
}

int bucket_of(float v) {
    float size = terrain_present() ? terrain.extent : 0;
    if (!(size > 0) || !std::isfinite(v)) return 0;
    float c = floorf(v / size * (float)OBJECTS_GRID);
    if (!(c >= 0)) return 0;
    return c > OBJECTS_GRID - 1 ? OBJECTS_GRID - 1 : (int)c;
}

unsigned first_existing(const char *stem, const char *a, const char *b) {
    for (const char *ext : {a, b}) {
        char name[OBJECTS_NAME_MAX + 16];
        snprintf(name, sizeof name, "%s%s", stem, ext);
        data_file *f = data_open(name, "rb");
        if (!f) continue;
        data_close(f);
        return load_texture(name);
    }
    return 0;
}

// Loading steps.
void decals_step(const char *dir) {
    objects_free();
    decals_load(dir[0] == '@' ? dir + 1 : dir);
}
int shape_files(const char **names, int max) {
    int n = 0;
    for (int i = 0; i < objects.statue_count && n < max; i++) {
        const char *s = objects.statues[i].shape_name;
        if (!s) continue;
        int seen = 0;
        for (int k = 0; k < n && !seen; k++)
            seen = strcmp(names[k], s) == 0;
        if (!seen) names[n++] = s;
    }
    return n;
}

} // namespace

int billboard_add(float x, float y, float z, float size, float aspect, const char *name) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(size) ||
        !std::isfinite(aspect))
        return -1;
    if (objects.billboard_count == objects.billboard_cap) {
        int cap = objects.billboard_cap ? objects.billboard_cap * 2 : 16;
        objects.billboards = (track_billboard *)zv_realloc(objects.billboards,
                                                           (size_t)cap * sizeof(track_billboard));
        objects.billboard_cap = cap;
    }
    int index = objects.billboard_count++;
    track_billboard *b = &objects.billboards[index];
    memset(b, 0, sizeof *b);
    memset(b->colour, 255, sizeof b->colour);
    b->x = x, b->z = z, b->height = y, b->size = size, b->aspect = aspect;
    b->y = (terrain_present() ? terrain_height(x, z) : 0.0f) + y;
    if (name && name[0]) {
        const char *rest = name;
        uint8_t rgb[3];
        if (tint_of(name, rgb, &rest)) memcpy(b->colour, rgb, 3);
        b->name = dup(rest);
        b->texture = load_texture(rest);
    }
    return index;
}

void billboard_set_texture(int index, unsigned texture, int tic) {
    if (index < 0 || index >= objects.billboard_count) return;
    track_billboard *b = &objects.billboards[index];
    if (b->texture == texture) return;
    b->texture = texture;
    b->anim_tic = tic;
}

int billboards_parse(const char *text) {
    int n = 0;
    const char *p = text;
    for (;;) {
        float x, y, z, size, aspect;
        char pic[OBJECTS_NAME_MAX];
        int used = 0;
        if (sscanf(p, " [ %f %f %f ] %f %f %1023s %n", &x, &y, &z, &size, &aspect, pic, &used) !=
                6 ||
            used <= 0)
            break;
        p += used;
        int i = billboard_add(x, y, z, size, aspect, pic);
        if (i < 0) break;
        objects.billboards[i].from_file = 1;
        n++;
        if (track_render.status) track_render.status("Loading billboards");
    }
    return n;
}

int billboards_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/billboards", dir ? dir : "");
    char *text = file_to_string(name);
    if (!text) return 0;
    billboards_parse(text);
    zv_free(text);
    return 1;
}

char *billboards_format(void) {
    size_t cap = 256, len = 0;
    char *out = (char *)zv_alloc(cap);
    out[0] = 0;
    for (int i = 0; i < objects.billboard_count; i++) {
        const track_billboard *b = &objects.billboards[i];
        if (!b->from_file || !b->name) continue;
        char line[OBJECTS_NAME_MAX + 160];
        int n = snprintf(line, sizeof line, "[%f %f %f] %f %f ", b->x, b->height, b->z, b->size,
                         b->aspect);
        if (b->colour[0] == 255 && b->colour[1] == 255 && b->colour[2] == 255)
            n += snprintf(line + n, sizeof line - (size_t)n, "%s\n", b->name);
        else
            n += snprintf(line + n, sizeof line - (size_t)n, "#%02x%02x%02x#%s\n", b->colour[0],
                          b->colour[1], b->colour[2], b->name);
        if (n <= 0 || n >= (int)sizeof line) continue;
        while (len + (size_t)n + 1 > cap) {
            cap *= 2;
            out = (char *)zv_realloc(out, cap);
        }
        memcpy(out + len, line, (size_t)n + 1);
        len += (size_t)n;
    }
    return out;
}

int billboards_save(const char *dir) {
    char *text = billboards_format();
    int ok = objects_write_atomic(dir, "billboards", text);
    zv_free(text);
    return ok;
}

int decal_add(float x, float z, float angle, float size, float aspect, const char *name) {
    if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(angle) || !std::isfinite(size) ||
        !std::isfinite(aspect) || !name)
        return -1;
    unsigned tex = load_texture(name);
    if (!tex) return -1;
    if (objects.decal_count == objects.decal_cap) {
        int cap = objects.decal_cap ? objects.decal_cap * 2 : 16;
        objects.decals =
            (track_decal *)zv_realloc(objects.decals, (size_t)cap * sizeof(track_decal));
        objects.decal_cap = cap;
    }
    int index = objects.decal_count++;
    track_decal *d = &objects.decals[index];
    d->x = x, d->z = z, d->angle = angle, d->size = size, d->aspect = aspect;
    d->s = sinf(angle), d->c = cosf(angle);
    d->tex = tex;
    char stem[OBJECTS_NAME_MAX];
    snprintf(stem, sizeof stem, "%s", name);
    if (char *dot = strrchr(stem, '.')) *dot = 0;
    d->norm = first_existing(stem, "_tnorm.png", "_tnorm.ppm");
    d->spec = first_existing(stem, "_tspec.png", "_tspec.ppm");
    // The rotated rectangle's corners bound the buckets it may touch.
    float hw = size / 2, hl = size * aspect / 2, ex = fabsf(d->c) * hw + fabsf(d->s) * hl,
          ez = fabsf(d->s) * hw + fabsf(d->c) * hl;
    int i0 = bucket_of(x - ex), i1 = bucket_of(x + ex), k0 = bucket_of(z - ez),
        k1 = bucket_of(z + ez);
    for (int k = k0; k <= k1; k++)
        for (int i = i0; i <= i1; i++)
            bucket_add(k * OBJECTS_GRID + i, index);
    return index;
}

int decals_parse(const char *text) {
    int n = 0;
    const char *p = text;
    for (;;) {
        float x, z, a, size, aspect;
        char pic[OBJECTS_NAME_MAX];
        int used = 0;
        if (sscanf(p, " [ %f %f ] %f %f %f %1023s %n", &x, &z, &a, &size, &aspect, pic, &used) !=
                6 ||
            used <= 0)
            break;
        p += used;
        n += decal_add(x, z, a, size, aspect, pic) >= 0; // a picture that does not load is skipped
    }
    return n;
}

void decals_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/decals", dir ? dir : "");
    char *text = file_to_string(name);
    if (!text) return;
    if (track_render.status) track_render.status("Loading decals");
    decals_parse(text);
    zv_free(text);
}

int decals_in_bucket(int bucket, const int **list) {
    if (bucket < 0) bucket = 0;
    if (bucket > OBJECTS_GRID * OBJECTS_GRID - 1) bucket = OBJECTS_GRID * OBJECTS_GRID - 1;
    *list = objects.decal_bucket[bucket];
    return objects.decal_bucket_count[bucket];
}

int cameras_parse(const char *text) {
    for (int &c : objects.camera_of_gate)
        c = -1;
    objects.camera_count = 0;
    float fov = 90, autofov = 0;
    int pending[OBJECTS_CAMERA_GATES], pending_count = 0;
    const char *p = text;
    while (p && *p) {
        const char *end = strchr(p, '\n');
        size_t n = end ? (size_t)(end - p) : strlen(p);
        char line[1024];
        if (n > sizeof line - 1) n = sizeof line - 1;
        memcpy(line, p, n);
        line[n] = 0;
        p = end ? end + 1 : nullptr;
        const char *l = line;
        while (*l == ' ' || *l == '\t' || *l == '\r')
            l++;
        float a, b, c;
        if (sscanf(l, "fov %f", &a) == 1 && std::isfinite(a)) {
            fov = fabsf(a);
        } else if (sscanf(l, "autofovsize %f", &a) == 1 && std::isfinite(a)) {
            autofov = fabsf(a);
        } else if (strncmp(l, "gate", 4) == 0) {
            const char *q = l + 4;
            for (;;) {
                char *stop;
                long v = strtol(q, &stop, 10);
                if (stop == q || v < 0 || v >= OBJECTS_CAMERA_GATES) break;
                if (pending_count < OBJECTS_CAMERA_GATES) pending[pending_count++] = (int)v;
                q = stop;
            }
        } else if (sscanf(l, "addcamera %f %f %f", &a, &b, &c) == 3 && std::isfinite(a) &&
                   std::isfinite(b) && std::isfinite(c)) {
            if (objects.camera_count == objects.camera_cap) {
                int cap = objects.camera_cap ? objects.camera_cap * 2 : 16;
                objects.cameras =
                    (track_camera *)zv_realloc(objects.cameras, (size_t)cap * sizeof(track_camera));
                objects.camera_cap = cap;
            }
            track_camera *cam = &objects.cameras[objects.camera_count];
            cam->pos[0] = a;
            cam->pos[1] = (terrain_present() ? terrain_height(a, c) : 0.0f) + b;
            cam->pos[2] = c;
            cam->fov = fov < 10 ? 10 : (fov > 170 ? 170 : fov);
            cam->autofov = autofov;
            for (int i = 0; i < pending_count; i++)
                objects.camera_of_gate[pending[i]] = objects.camera_count;
            objects.camera_count++;
            fov = 90, autofov = 0, pending_count = 0;
        }
    }
    return objects.camera_count;
}

int cameras_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/cameras", dir ? dir : "");
    char *text = file_to_string(name);
    int n = cameras_parse(text ? text : "");
    zv_free(text);
    return n;
}

int camera_for_checkpoint(int n) {
    if (n < 0 || n >= OBJECTS_CAMERA_GATES) return -1;
    return objects.camera_of_gate[n];
}

void objects_map_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/map.png", dir ? dir : "");
    data_file *f = data_open(name, "rb");
    objects.map_texture = 0;
    if (!f) return;
    data_close(f);
    objects.map_texture = load_texture(name);
}

void objects_free(void) {
    for (int i = 0; i < objects.billboard_count; i++)
        zv_free(objects.billboards[i].name);
    for (int i = 0; i < objects.statue_count; i++) {
        track_statue *s = &objects.statues[i];
        zv_free(s->model);
        zv_free(s->texture);
        zv_free(s->shape_name);
        bike_shape_free(s->shape);
    }
    objects.billboard_count = objects.statue_count = objects.decal_count = 0;
    objects.camera_count = 0;
    for (int c = 0; c < OBJECTS_GRID * OBJECTS_GRID; c++)
        objects.grid_count[c] = objects.decal_bucket_count[c] = 0;
    for (int &c : objects.camera_of_gate)
        c = -1;
    objects.map_texture = 0;
    roost_clear();
    roost.made = 0;
    flaggers_free();
}

void objects_install(void) {
    track_steps.decals_load = decals_step;
    track_steps.roost_pool_create = roost_pool_create;
    track_steps.flaggers_load = flaggers_load;
    track_steps.billboards_load = billboards_load;
    track_steps.statues_load = statues_load;
    // The HUD, where there is one, loads the overview map for itself.
    if (!track_steps.map_load) track_steps.map_load = objects_map_load;
    track_steps.object_grid_rebuild = objects_grid_rebuild;
    track_steps.object_shape_files = shape_files;
    track_steps.cameras_load = cameras_load;
    gates_object_create = statue_gate_create;
}
