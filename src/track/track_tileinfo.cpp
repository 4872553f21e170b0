// Readers of the ground type table (tileinfo, or texturelist for old tracks) and of the tile map.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "track/track_hooks.h"
#include "track/track_status.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

enum { TILEINFO_LINE = 1024, TILES_TEXNAME = 1024 };

// The record tileinfo's properties accumulate in, with the counts that addtile needs.
struct tileinfo_current {
    tiles_type type;
    char texture_name[TILES_TEXNAME];
    int friction_points;
    int roll_points;
    int roost_types;
    int limits;
};

// Texture handle by name through the drawing code; 0 headless.
static unsigned tiles_load_texture(const char *name) {
    if (track_render.ground_texture_load) return track_render.ground_texture_load(name);
    return track_render.texture_load ? track_render.texture_load(name) : 0;
}

static void tileinfo_reset(tileinfo_current *c, unsigned roost_texture) {
    tiles_default_type(&c->type);
    for (int r = 0; r < TILES_ROOST_TYPES; r++)
        c->type.roost[r].texture = roost_texture;
    c->texture_name[0] = 0;
    c->friction_points = 0;
    c->roll_points = 0;
    c->roost_types = 0;
    c->limits = 0;
}

// Texture names for transition codes: without '@' and directory.
static const char *tiles_base_name(const char *name) {
    if (name[0] == '@') name++;
    const char *slash = strrchr(name, '/');
    return slash ? slash + 1 : name;
}

// Sorts the first n points of parallel arrays by the key, values moving with their key.
static void tiles_sort_points(float *key, float *a, float *b, int n) {
    for (int i = 1; i < n; i++)
        for (int j = i; j > 0 && key[j - 1] > key[j]; j--) {
            float t = key[j];
            key[j] = key[j - 1];
            key[j - 1] = t;
            t = a[j];
            a[j] = a[j - 1];
            a[j - 1] = t;
            if (b) {
                t = b[j];
                b[j] = b[j - 1];
                b[j - 1] = t;
            }
        }
}

static void tileinfo_addtile(tileinfo_current *c, tiles_type *out, char **kept_name) {
    tiles_type *t = &c->type;
    if (!t->name[0]) snprintf(t->name, TILES_NAME_SIZE, "%.47s", c->texture_name);
    tiles_sort_points(t->friction_speed, t->friction_coef, nullptr, c->friction_points);
    tiles_sort_points(t->roll_speed, t->roll_light, t->roll_full, c->roll_points);
    if (c->limits == 0) {
        t->erosion.limit_depth[0] = 0;
        t->erosion.limit_outer[0] = 1;
        t->erosion.limit_inner[0] = 1;
        t->erosion.limit_count = 1;
    } else {
        t->erosion.limit_count = c->limits;
    }
    *out = *t;
    const char *base = tiles_base_name(c->texture_name);
    size_t len = strlen(base);
    *kept_name = (char *)zv_alloc(len + 1);
    memcpy(*kept_name, base, len + 1);
}

// Reads all numbers of a "%f..." value; non-finite numbers count as bad.
static int tileinfo_floats(const char *value, const char *fmt, int want, float *v) {
    int got;
    if (want == 1)
        got = sscanf(value, fmt, &v[0]);
    else if (want == 2)
        got = sscanf(value, fmt, &v[0], &v[1]);
    else
        got = sscanf(value, fmt, &v[0], &v[1], &v[2]);
    if (got != want) return 0;
    for (int i = 0; i < want; i++)
        if (!std::isfinite(v[i])) return 0;
    return 1;
}

struct tileinfo_erode_key {
    const char *key;
    size_t offset;
};

#define ERODE_KEY(k, f)                                                                            \
    { k, offsetof(tiles_erosion, f) }
static const tileinfo_erode_key tileinfo_erode_keys[] = {
    ERODE_KEY("erode_depth", depth),
    ERODE_KEY("erode_lower", lower),
    ERODE_KEY("erode_upper", upper),
    ERODE_KEY("erode_displacement", displacement),
    ERODE_KEY("erode_radius", radius),
    ERODE_KEY("erode_inner_depth", inner_depth),
    ERODE_KEY("erode_inner_radius", inner_radius),
    ERODE_KEY("erode_min_slope", min_slope),
    ERODE_KEY("erode_max_slope", max_slope),
    ERODE_KEY("erode_off_speed", off_speed),
    ERODE_KEY("erode_on_speed", on_speed),
    ERODE_KEY("erode_slip_lower", slip_lower),
    ERODE_KEY("erode_slip_upper", slip_upper),
    ERODE_KEY("erode_slip_base_scale", slip_base_scale),
    ERODE_KEY("erode_slip_scale", slip_scale),
    ERODE_KEY("erode_downhill_scale", downhill_scale),
    ERODE_KEY("erode_project_to_ground", project_to_ground),
    ERODE_KEY("erode_lateral_scale", lateral_scale),
    ERODE_KEY("erode_front_scale", front_scale),
};
#undef ERODE_KEY

// Splits a roost value into tokens; a double quote starts a part that runs to the next one
// and may hold separators. Returns the next token in buf (quotes removed), or 0 at the end.
static int roost_next_token(const char **p, char *buf, size_t size) {
    const char *s = *p;
    while (*s && strchr(" \t\r\n\f\b", *s))
        s++;
    if (!*s) {
        *p = s;
        return 0;
    }
    size_t n = 0;
    int quoted = 0;
    for (; *s; s++) {
        if (*s == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && strchr(" \t\r\n\f\b", *s)) break;
        if (n + 1 < size) buf[n++] = *s;
    }
    buf[n] = 0;
    *p = s;
    return 1;
}

static int clamp_int(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return (int)v; // truncation
}

static void tileinfo_roost(tiles_roost *r, const char *value) {
    static const char *const keys[] = {
        "texture=",    "splash=",     "count=",      "dig=",        "slip_threshold=",
        "slow_angle=", "fast_angle=", "slow_speed=", "fast_speed=", "size=",
        "grow=",       "drag=",       "vscale=",     "randomize=",  "r=",
        "g=",          "b=",          "a=",          "fade_r=",     "fade_g=",
        "fade_b=",     "fade_a=",
    };
    float *floats[] = {
        nullptr,        nullptr,        &r->count,      &r->dig,        &r->slip_threshold,
        &r->slow_angle, &r->fast_angle, &r->slow_speed, &r->fast_speed, &r->size,
        &r->grow,       &r->drag,       &r->vscale,     &r->randomize};
    char token[TILEINFO_LINE];
    const char *p = value;
    while (roost_next_token(&p, token, sizeof token)) {
        int key = -1;
        size_t klen = 0;
        for (int i = 0; i < (int)(sizeof keys / sizeof keys[0]); i++) {
            klen = strlen(keys[i]);
            if (strncmp(token, keys[i], klen) == 0) {
                key = i;
                break;
            }
        }
        if (key < 0) {
            track_message("tileinfo warning: unknown roost parameter '%.40s'\n", token);
            continue;
        }
        const char *v = token + klen;
        if (key == 0) {
            r->texture = tiles_load_texture(v);
            continue;
        }
        char *end;
        double d = strtod(v, &end);
        int ok = end != v && std::isfinite(d);
        if (key == 1) {
            if (ok && d != 0) r->kind = 2;
            continue;
        }
        if (!ok) {
            track_message("tileinfo warning: bad %.*s\n", (int)klen - 1, keys[key]);
            d = 0;
        }
        if (key < 14) {
            *floats[key] = (float)d;
        } else if (key < 18) {
            r->colour[key - 14] = (uint8_t)clamp_int(d, 0, 255);
        } else {
            // Given per second, stored per simulation tic.
            r->fade[key - 18] = (int8_t)clamp_int(d * (1.0 / 128.0), -128, 127);
        }
    }
}

// One tileinfo line. Returns 1 after an addtile.
static int tileinfo_line(char *line, tileinfo_current *c, tiles_type *table, char **names,
                         int *count) {
    char *s = line;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')
        s++;
    if (!*s) return 0;
    char *kw = s;
    while (*s && *s != ' ' && *s != '\t' && *s != '\r' && *s != '\n')
        s++;
    char kwbuf[TILEINFO_LINE];
    size_t kwlen = (size_t)(s - kw);
    memcpy(kwbuf, kw, kwlen);
    kwbuf[kwlen] = 0;
    while (*s == ' ' || *s == '\t')
        s++;
    char *value = s;
    value[strcspn(value, "\r\n")] = 0;

    tiles_type *t = &c->type;
    if (strcmp(kwbuf, "addtile") == 0) {
        tileinfo_addtile(c, &table[*count], &names[*count]);
        (*count)++;
        tileinfo_reset(c, tiles_load_texture("@roost.png"));
        return 1;
    }
    if (strcmp(kwbuf, "name") == 0) {
        snprintf(t->name, TILES_NAME_SIZE, "%.47s", value);
    } else if (strcmp(kwbuf, "texture") == 0) {
        snprintf(c->texture_name, sizeof c->texture_name, "%s", value);
        t->texture = tiles_load_texture(value);
    } else if (strcmp(kwbuf, "friction") == 0) {
        float v[2];
        if (c->friction_points >= TILES_CURVE_POINTS) {
            track_message("tileinfo warning: too many friction points\n");
        } else if (!tileinfo_floats(value, "%f %f", 2, v)) {
            track_message("tileinfo warning: bad friction parameters\n");
        } else {
            int k = c->friction_points++;
            t->friction_coef[k] = v[0] < 0 ? 0 : v[0];
            t->friction_speed[k] =
                v[1] > TILES_FRICTION_MAX_SPEED ? TILES_FRICTION_MAX_SPEED : v[1];
        }
    } else if (strcmp(kwbuf, "slip_function") == 0) {
        int f;
        if (sscanf(value, "%d", &f) != 1) {
            track_message("tileinfo warning: bad slip_function\n");
        } else {
            if (f < 0 || f > 2) track_message("tileinfo warning: bad slip_function\n");
            t->slip_function = f;
        }
    } else if (strcmp(kwbuf, "roll_resist") == 0) {
        float v[3];
        if (c->roll_points >= TILES_CURVE_POINTS) {
            track_message("tileinfo warning: too many roll_resist points\n");
        } else if (!tileinfo_floats(value, "%f %f %f", 3, v)) {
            track_message("tileinfo warning: bad roll_resist parameters\n");
        } else {
            int k = c->roll_points++;
            t->roll_light[k] = v[0] < 0 ? 0 : v[0];
            t->roll_full[k] = v[1] < 0 ? 0 : v[1];
            t->roll_speed[k] = v[2] < TILES_ROLL_MIN_SPEED ? TILES_ROLL_MIN_SPEED : v[2];
        }
    } else if (strcmp(kwbuf, "roost") == 0) {
        if (c->roost_types >= TILES_ROOST_TYPES) {
            track_message("tileinfo warning: too many roost types\n");
        } else {
            tiles_roost *r = &t->roost[c->roost_types++];
            r->kind = 1;
            tileinfo_roost(r, value);
        }
    } else if (strcmp(kwbuf, "erode_limit") == 0) {
        float v[3];
        tiles_erosion *e = &t->erosion;
        if (c->limits >= TILES_ERODE_LIMITS) {
            track_message("tileinfo warning: too many erode limits\n");
        } else if (!tileinfo_floats(value, "%f %f %f", 3, v)) {
            track_message("tileinfo warning: bad erode_limit\n");
        } else if (c->limits > 0 && !(v[0] > e->limit_depth[c->limits - 1])) {
            track_message("tileinfo warning: erode_limit depth <= prev depth\n");
        } else {
            e->limit_depth[c->limits] = v[0];
            e->limit_outer[c->limits] = v[1];
            e->limit_inner[c->limits] = v[2];
            c->limits++;
        }
    } else {
        for (const tileinfo_erode_key &k : tileinfo_erode_keys)
            if (strcmp(kwbuf, k.key) == 0) {
                float v;
                if (!tileinfo_floats(value, "%f", 1, &v))
                    track_message("tileinfo warning: bad %s\n", k.key);
                else
                    *(float *)((char *)&t->erosion + k.offset) = v;
                return 0;
            }
        track_message("tileinfo warning: Unknown identifier '%.950s'\n", kwbuf);
    }
    return 0;
}

// Installs a parsed table and computes the transition codes; frees the kept names.
static void tiles_install(tiles_type *table, char **names, int count) {
    for (int t = 0; t < count; t++)
        table[t].transition = tiles_transition_code(names, count, t);
    for (int t = 0; t < count; t++)
        zv_free(names[t]);
    tiles_free();
    if (count == 0) {
        // Every later lookup expects a type: an empty table gets one default ground.
        zv_free(table);
        track_message("tileinfo warning: no ground types, using a default one\n");
        tiles_set_default_table();
        return;
    }
    tiles.types = table;
    tiles.count = count;
}

int tiles_load_tileinfo(data_file *f) {
    tiles_type *table = (tiles_type *)zv_alloc(sizeof(tiles_type) * TILES_MAX_TYPES);
    char **names = (char **)zv_alloc_zeroed(TILES_MAX_TYPES, sizeof(char *));
    tileinfo_current *cur = (tileinfo_current *)zv_alloc(sizeof(tileinfo_current));
    tileinfo_reset(cur, tiles_load_texture("@roost.png"));
    int count = 0;
    char line[TILEINFO_LINE];
    while (count < TILES_MAX_TYPES && data_gets(f, line, sizeof line)) {
        track_status_update("Loading tileinfo");
        tileinfo_line(line, cur, table, names, &count);
    }
    zv_free(cur);
    tiles_install(table, names, count);
    zv_free(names);
    return 1;
}

int tiles_load_texturelist(data_file *f) {
    tiles_type *table = (tiles_type *)zv_alloc(sizeof(tiles_type) * TILES_MAX_TYPES);
    char **names = (char **)zv_alloc_zeroed(TILES_MAX_TYPES, sizeof(char *));
    unsigned roost_texture = tiles_load_texture("@roost.png");
    int count = 0;
    char line[TILEINFO_LINE];
    while (count < TILES_MAX_TYPES && data_gets(f, line, TILEINFO_LINE - 1)) {
        track_status_update("Loading textures");
        char *s = line;
        while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n' || *s == '\f' || *s == '\v')
            s++;
        if (!*s) continue;
        float coef = 1, light = 5, full = 15;
        int used = 0;
        float a, b, c;
        if (sscanf(s, "%f %f %f %n", &a, &b, &c, &used) == 3 && used > 0 && std::isfinite(a) &&
            std::isfinite(b) && std::isfinite(c)) {
            coef = a < 0 ? 0 : a;
            light = b < 0 ? 0 : b;
            full = c < 0 ? 0 : c;
            s += used;
        }
        // Only the line end goes: a last line without one keeps all its characters.
        size_t len = strlen(s);
        while (len > 0 && (s[len - 1] == '\n' || s[len - 1] == '\r'))
            s[--len] = 0;
        tiles_type *t = &table[count];
        tiles_default_type(t);
        for (int i = 0; i < TILES_CURVE_POINTS; i++) {
            t->friction_coef[i] = coef;
            t->friction_speed[i] = i == 0 ? 1.0f : TILES_FRICTION_EMPTY;
            t->roll_light[i] = light;
            t->roll_full[i] = full;
            t->roll_speed[i] = i == 0 ? 1.0f : TILES_ROLL_EMPTY;
        }
        for (int r = 0; r < TILES_ROOST_TYPES; r++)
            t->roost[r].texture = roost_texture;
        t->roost[0].kind = 1;
        char path[TILES_TEXNAME + 2];
        snprintf(path, sizeof path, "@%s", s);
        t->texture = tiles_load_texture(path);
        const char *base = tiles_base_name(s);
        size_t blen = strlen(base);
        names[count] = (char *)zv_alloc(blen + 1);
        memcpy(names[count], base, blen + 1);
        count++;
    }
    tiles_install(table, names, count);
    zv_free(names);
    return 1;
}

int tilemap_load(data_file *f) {
    if (!terrain.tile_map || terrain.size_exp < 1) return 0;
    int side = 1 << terrain.size_exp;
    int total = side * side;
    // A short file leaves the rest of the map at type 0.
    memset(terrain.tile_map, 0, (size_t)total);
    int got = data_read(f, terrain.tile_map, total);
    (void)got;
    int last = tiles.count > 0 ? tiles.count - 1 : 0;
    for (int i = 0; i < total; i++)
        if (terrain.tile_map[i] > last) terrain.tile_map[i] = (uint8_t)last;
    return 1;
}
