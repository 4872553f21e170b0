// Statues: models with collision shapes standing on the ground (hay bales, tuff blocks, tire
// walls, the starting-gate objects), their orientation rules, the editor's save, and the 8 x 8
// grid through which a bike finds the objects near it.
#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "track/track_hooks.h"
#include "track/track_objects.h"
#include "track/track_terrain.h"

namespace {

char *dup_name(const char *s) {
    if (!s || !s[0] || strcmp(s, "null") == 0) return nullptr;
    size_t n = strlen(s);
    char *d = (char *)zv_alloc(n + 1);
    memcpy(d, s, n + 1);
    return d;
}

float ground(float x, float z) {
    return terrain_present() ? terrain_height(x, z) : 0.0f;
}

void upright(float a, float r[9]) {
    float c = cosf(a), s = sinf(a);
    const float m[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
    memcpy(r, m, sizeof m);
}

unsigned load_texture(const char *name) {
    return name && track_render.texture_load ? track_render.texture_load(name) : 0;
}

// The texture's companion map (suffix "_norm" or "_spec"): the texture's name with its extension
// replaced, then the model's; 0 when none exists.
unsigned companion(const char *texture, const char *model, const char *suffix) {
    static const char *const ext[3] = {".seq", ".png", ".ppm"};
    const char *bases[2] = {texture, model};
    for (const char *base : bases) {
        if (!base) continue;
        char stem[OBJECTS_NAME_MAX];
        snprintf(stem, sizeof stem, "%s", base);
        const char *tail = "";
        size_t n = strlen(stem);
        int repeat = 0;
        for (const char *r : {"-repeat.png", "-repeat.ppm", "-repeat.seq"})
            if (n > strlen(r) && strcmp(stem + n - strlen(r), r) == 0) repeat = 1;
        char *cut = repeat ? strrchr(stem, '-') : strrchr(stem, '.');
        if (cut) *cut = 0;
        if (repeat) tail = "-repeat";
        for (const char *e : ext) {
            char name[OBJECTS_NAME_MAX + 32];
            snprintf(name, sizeof name, "%s%s%s%s", stem, suffix, tail, e);
            data_file *f = data_open(name, "rb");
            if (!f) continue;
            data_close(f);
            return load_texture(name);
        }
    }
    return 0;
}

void sync_body(track_statue *s) {
    bike_object *o = &s->body;
    o->shape = s->shape;
    o->pos[0] = s->x, o->pos[1] = s->y, o->pos[2] = s->z;
    for (int k = 0; k < 9; k++)
        o->rot[k] = s->rot[k];
    o->body = 0;
}

const float GATE_HINGE = 0.5890486f;

} // namespace

float statue_orientation(float x, float z, float angle, float rot[9]) {
    if (angle >= 3.25f) {
        upright(0, rot);
        return exp2f(angle);
    }
    upright(angle, rot);
    if (angle <= -2 * (float)M_PI) return 0;
    // Tilt the turned statue so its up axis is the ground normal there.
    float h = ground(x, z), hx = ground(x + 1, z), hz = ground(x, z + 1);
    float n[3] = {h - hx, 1, h - hz};
    float l = sqrtf(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (float &v : n)
        v /= l;
    // Rotation taking (0,1,0) to n (Rodrigues about (0,1,0) x n).
    float ax[3] = {n[2], 0, -n[0]};
    float s = sqrtf(ax[0] * ax[0] + ax[2] * ax[2]), c = n[1];
    float t[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (s > 1e-6f) {
        ax[0] /= s, ax[2] /= s;
        float k = 1 - c;
        float m[9] = {
            c + ax[0] * ax[0] * k, -ax[2] * s, ax[0] * ax[2] * k,    ax[2] * s, c, -ax[0] * s,
            ax[2] * ax[0] * k,     ax[0] * s,  c + ax[2] * ax[2] * k};
        memcpy(t, m, sizeof t);
    }
    float out[9];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            out[i * 3 + j] =
                t[i * 3] * rot[j] + t[i * 3 + 1] * rot[3 + j] + t[i * 3 + 2] * rot[6 + j];
    memcpy(rot, out, sizeof out);
    return 0;
}

int statue_add(float x, float y, float z, float angle, const char *model, const char *texture,
               const char *shape) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) || !std::isfinite(angle))
        return -1;
    if (objects.statue_count == objects.statue_cap) {
        int cap = objects.statue_cap ? objects.statue_cap * 2 : 16;
        objects.statues =
            (track_statue *)zv_realloc(objects.statues, (size_t)cap * sizeof(track_statue));
        objects.statue_cap = cap;
    }
    int index = objects.statue_count++;
    track_statue *s = &objects.statues[index];
    memset(s, 0, sizeof *s);
    s->model = dup_name(model);
    s->texture = dup_name(texture);
    s->shape_name = dup_name(shape);
    if (s->model && s->texture) {
        s->tex = load_texture(s->texture);
        s->norm = companion(s->texture, s->model, "_norm");
        s->spec = companion(s->texture, s->model, "_spec");
    }
    if (s->shape_name) {
        s->shape = bike_shape_load(s->shape_name);
        if (!s->shape) track_message("Warning: missing shape file %.900s\n", s->shape_name);
    }
    s->x = x, s->z = z, s->height = y, s->angle = angle;
    s->y = ground(x, z) + y;
    s->facing = statue_orientation(x, z, angle, s->rot);
    memcpy(s->draw_rot, s->rot, sizeof s->rot);
    s->body.touch_tic = -1;
    sync_body(s);
    return index;
}

void statues_face_camera(const float camera[3], float lod_scale, float lod_bias) {
    for (int i = 0; i < objects.statue_count; i++) {
        track_statue *s = &objects.statues[i];
        if (!(s->facing > 0)) continue;
        float dx = camera[0] - s->x, dz = camera[2] - s->z, dy = camera[1] - s->y;
        float r = s->facing - lod_bias;
        if ((dx * dx + dy * dy + dz * dz) * lod_scale * lod_scale > r * r)
            upright(atan2f(dx, dz), s->draw_rot);
    }
}

int statue_gate_create(const char *model, const char *texture, const char *shape, float x, float y,
                       float z, float angle) {
    int i = statue_add(x, y, z, angle <= -2 * (float)M_PI ? angle : angle - 4 * (float)M_PI, model,
                       texture, shape);
    if (i < 0) return -1;
    track_statue *s = &objects.statues[i];
    s->angle = angle;
    s->gate = 1;
    statue_gate_turn(i, GATE_HINGE);
    return i;
}

void statue_gate_turn(int index, float hinge) {
    if (index < 0 || index >= objects.statue_count || !std::isfinite(hinge)) return;
    track_statue *s = &objects.statues[index];
    // The race turns the hinge by fall x 33.75 degrees; our gate's board stands upright at the
    // full angle and lies flat ahead of the riders at 0, so the board turns a quarter circle.
    float fall = hinge / GATE_HINGE;
    fall = fall < 0 ? 0 : (fall > 1 ? 1 : fall);
    float t = (1 - fall) * (float)M_PI_2, c = cosf(t), sn = sinf(t);
    const float pitch[9] = {1, 0, 0, 0, c, sn, 0, -sn, c};
    float yaw[9];
    upright(s->angle, yaw);
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            s->rot[i * 3 + j] = yaw[i * 3] * pitch[j] + yaw[i * 3 + 1] * pitch[3 + j] +
                                yaw[i * 3 + 2] * pitch[6 + j];
    memcpy(s->draw_rot, s->rot, sizeof s->rot);
    sync_body(s);
}

int statues_parse(const char *text) {
    int n = 0;
    const char *p = text;
    for (;;) {
        float x, y, z, a;
        char model[OBJECTS_NAME_MAX], tex[OBJECTS_NAME_MAX], shape[OBJECTS_NAME_MAX];
        int used = 0;
        if (sscanf(p, " [ %f %f %f ] %f %1023s %1023s %1023s %n", &x, &y, &z, &a, model, tex, shape,
                   &used) != 7 ||
            used <= 0)
            break;
        p += used;
        int i = statue_add(x, y, z, a, model, tex, shape);
        if (i < 0) break;
        objects.statues[i].from_file = 1;
        n++;
        if (track_render.status) track_render.status("Loading statues");
    }
    return n;
}

int statues_load(const char *dir) {
    char name[OBJECTS_NAME_MAX];
    snprintf(name, sizeof name, "@%s/statues", dir ? dir : "");
    char *text = file_to_string(name);
    if (!text) return 0;
    statues_parse(text);
    zv_free(text);
    return 1;
}

char *statues_format(void) {
    size_t cap = 256, len = 0;
    char *out = (char *)zv_alloc(cap);
    out[0] = 0;
    for (int i = 0; i < objects.statue_count; i++) {
        const track_statue *s = &objects.statues[i];
        if (!s->from_file) continue;
        char line[3 * OBJECTS_NAME_MAX + 128];
        int n = snprintf(line, sizeof line, "[%f %f %f] %f %s %s %s\n", s->x, s->height, s->z,
                         s->angle, s->model ? s->model : "null", s->texture ? s->texture : "null",
                         s->shape_name ? s->shape_name : "null");
        if (n < 0) continue;
        while (len + (size_t)n + 1 > cap) {
            cap *= 2;
            out = (char *)zv_realloc(out, cap);
        }
        memcpy(out + len, line, (size_t)n + 1);
        len += (size_t)n;
    }
    return out;
}

// Writes text to "@" + dir + "/" + file through a temporary file renamed over it.
int objects_write_atomic(const char *dir, const char *file, const char *text) {
    char name[OBJECTS_NAME_MAX], tmp[OBJECTS_NAME_MAX + 8];
    snprintf(name, sizeof name, "@%s/%s", dir ? dir : "", file);
    snprintf(tmp, sizeof tmp, "%s.tmp", name);
    data_file *f = dir ? data_open(tmp, "wb") : nullptr;
    if (!f) {
        track_message("Can't open '%s'\n", file);
        return 0;
    }
    int n = (int)strlen(text);
    int ok = data_write(f, text, n) == n;
    ok &= data_close(f);
    if (ok) ok = data_rename(tmp, name);
    if (!ok) track_message("Can't open '%s'\n", file);
    return ok;
}

int statues_save(const char *dir) {
    char *text = statues_format();
    int ok = objects_write_atomic(dir, "statues", text);
    zv_free(text);
    return ok;
}

int objects_cell(float v) {
    float size = terrain_present() ? terrain.extent : 0;
    if (!(size > 0) || !std::isfinite(v)) return 0;
    float c = floorf((v / size - 0.125f) * (4.0f / 3.0f) * (float)OBJECTS_GRID);
    if (!(c >= 0)) return 0;
    return c > OBJECTS_GRID - 1 ? OBJECTS_GRID - 1 : (int)c;
}

void objects_grid_rebuild(void) {
    for (int c = 0; c < OBJECTS_GRID * OBJECTS_GRID; c++)
        objects.grid_count[c] = 0;
    for (int i = 0; i < objects.statue_count; i++) {
        const track_statue *s = &objects.statues[i];
        if (!s->shape || s->shape->count <= 0) continue;
        float r = s->shape->bound;
        int i0 = objects_cell(s->x - r), i1 = objects_cell(s->x + r);
        int k0 = objects_cell(s->z - r), k1 = objects_cell(s->z + r);
        for (int k = k0; k <= k1; k++)
            for (int j = i0; j <= i1; j++) {
                int c = k * OBJECTS_GRID + j;
                if (objects.grid_count[c] == objects.grid_cap[c]) {
                    int cap = objects.grid_cap[c] ? objects.grid_cap[c] * 2 : 16;
                    objects.grid[c] = (int *)zv_realloc(objects.grid[c], (size_t)cap * sizeof(int));
                    objects.grid_cap[c] = cap;
                }
                objects.grid[c][objects.grid_count[c]++] = i;
            }
    }
}

int objects_near(float x, float z, float reach, int *out, int max) {
    int n = 0;
    int i0 = objects_cell(x - reach), i1 = objects_cell(x + reach);
    int k0 = objects_cell(z - reach), k1 = objects_cell(z + reach);
    for (int k = k0; k <= k1; k++)
        for (int j = i0; j <= i1; j++) {
            int c = k * OBJECTS_GRID + j;
            for (int e = 0; e < objects.grid_count[c]; e++) {
                int id = objects.grid[c][e], seen = 0;
                for (int q = 0; q < n && !seen; q++)
                    seen = out[q] == id;
                if (!seen && n < max) out[n++] = id;
            }
        }
    return n;
}
