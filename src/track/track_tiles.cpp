// The ground type table: defaults, lookups and the friction / rolling-resistance curves.
#include "track/track_tiles.h"

#include <cmath>
#include <cstring>

#include "base/zv_alloc.h"
#include "track/track_terrain.h"

tiles_state tiles;

void tiles_default_type(tiles_type *t) {
    memset(t, 0, sizeof *t);
    for (int i = 0; i < TILES_CURVE_POINTS; i++) {
        t->friction_speed[i] = TILES_FRICTION_EMPTY;
        t->friction_coef[i] = 1.0f;
        t->roll_speed[i] = TILES_ROLL_EMPTY;
        t->roll_light[i] = 5.0f;
        t->roll_full[i] = 15.0f;
    }
    t->friction_speed[0] = 1.0f;
    t->roll_speed[0] = 1.0f;
    for (int r = 0; r < TILES_ROOST_TYPES; r++) {
        tiles_roost *o = &t->roost[r];
        o->kind = 0;
        o->texture = 0;
        o->count = 10;
        o->dig = 1;
        o->slip_threshold = 4;
        o->slow_angle = 1.5707964f;
        o->fast_angle = 0.19634955f;
        o->slow_speed = 0;
        o->fast_speed = 64;
        o->size = 0.25f;
        o->grow = 4;
        o->drag = 0.5f;
        o->vscale = 1;
        o->randomize = 15;
        for (int c = 0; c < 4; c++)
            o->colour[c] = 255;
        o->fade[0] = o->fade[1] = o->fade[2] = 0;
        o->fade[3] = -2;
    }
    tiles_erosion *e = &t->erosion;
    e->depth = 1;
    e->lower = 50;
    e->upper = 150;
    e->displacement = 2;
    e->radius = 4;
    e->inner_depth = 0.125f;
    e->inner_radius = 2;
    e->min_slope = -0.5f;
    e->max_slope = 0.5f;
    e->off_speed = 10;
    e->on_speed = 15;
    e->slip_lower = 0;
    e->slip_upper = 5;
    e->slip_base_scale = 1;
    e->slip_scale = 1.5f;
    e->downhill_scale = 0;
    e->limit_depth[0] = 0;
    e->limit_outer[0] = 1;
    e->limit_inner[0] = 1;
    e->project_to_ground = 1;
    e->lateral_scale = 1;
    e->front_scale = 1;
    e->limit_count = 1;
}

void tiles_free(void) {
    zv_free(tiles.types);
    tiles.types = nullptr;
    tiles.count = 0;
}

void tiles_set_default_table(void) {
    tiles_free();
    tiles.types = (tiles_type *)zv_alloc(sizeof(tiles_type));
    tiles_default_type(&tiles.types[0]);
    tiles.types[0].roost[0].kind = 1;
    tiles.types[0].transition = 0;
    tiles.count = 1;
}

// Tile column or row of a world coordinate, clamped onto the map; NaN gives 0.
static inline int tiles_index(float v, int last) {
    double c = std::floor((double)v / (double)terrain.double_spacing);
    if (!(c >= 0)) return 0;
    return c > last ? last : (int)c;
}

int tile_at(float x, float z) {
    if (!terrain.tile_map || terrain.size_exp < 1 || !(terrain.double_spacing > 0)) return 0;
    int side = 1 << terrain.size_exp;
    int c = tiles_index(x, side - 1);
    int r = tiles_index(z, side - 1);
    return terrain.tile_map[c + r * side];
}

const tiles_type *tiles_type_get(int type) {
    static tiles_type fallback;
    static int fallback_ready;
    if (tiles.count > 0 && tiles.types) {
        if (type < 0 || type >= tiles.count) type = 0;
        return &tiles.types[type];
    }
    if (!fallback_ready) {
        tiles_default_type(&fallback);
        fallback_ready = 1;
    }
    return &fallback;
}

const tiles_type *tiles_type_at(float x, float z) {
    return tiles_type_get(tile_at(x, z));
}

float tiles_friction(int type, float v) {
    const tiles_type *t = tiles_type_get(type);
    const float *sp = t->friction_speed, *co = t->friction_coef;
    if (sp[0] == TILES_FRICTION_EMPTY || !(v >= sp[0])) return co[0];
    int k = 1;
    while (k < TILES_CURVE_POINTS && !(sp[k] > v))
        k++;
    if (k == TILES_CURVE_POINTS || sp[k] == TILES_FRICTION_EMPTY) return co[k - 1];
    double a = sp[k - 1], b = sp[k], num, den;
    if (t->slip_function == 1 || t->slip_function == 2) {
        num = (double)v - a;
        den = b - a;
    } else {
        num = (double)v * v - a * a;
        den = b * b - a * a;
    }
    // Negative or coinciding speeds can make the squared span empty: take the upper point.
    double f = den > 0 ? num / den : 1.0;
    if (!(f >= 0)) f = 0;
    if (f > 1) f = 1;
    return (float)(co[k - 1] + f * (co[k] - co[k - 1]));
}

void tiles_roll_resist(int type, float v, float *light, float *full) {
    const tiles_type *t = tiles_type_get(type);
    const float *sp = t->roll_speed;
    if (sp[0] == TILES_ROLL_EMPTY || !(v >= sp[0])) {
        *light = t->roll_light[0];
        *full = t->roll_full[0];
        return;
    }
    int k = 1;
    while (k < TILES_CURVE_POINTS && sp[k] != TILES_ROLL_EMPTY && !(sp[k] > v))
        k++;
    if (k == TILES_CURVE_POINTS || sp[k] == TILES_ROLL_EMPTY) {
        *light = t->roll_light[k - 1];
        *full = t->roll_full[k - 1];
        return;
    }
    double den = (double)sp[k] - sp[k - 1];
    double f = den > 0 ? ((double)v - sp[k - 1]) / den : 1.0;
    if (!(f >= 0)) f = 0;
    if (f > 1) f = 1;
    *light = (float)(t->roll_light[k - 1] + f * (t->roll_light[k] - t->roll_light[k - 1]));
    *full = (float)(t->roll_full[k - 1] + f * (t->roll_full[k] - t->roll_full[k - 1]));
}

int tiles_slip_function(int type) {
    return tiles_type_get(type)->slip_function;
}

const tiles_roost *tiles_roost_get(int type, int index) {
    if (index < 0 || index >= TILES_ROOST_TYPES) index = 0;
    return &tiles_type_get(type)->roost[index];
}

const tiles_erosion *tiles_erosion_get(int type) {
    return &tiles_type_get(type)->erosion;
}
unsigned tiles_texture(int type) {
    return tiles_type_get(type)->texture;
}
int32_t tiles_transition(int type) {
    return tiles_type_get(type)->transition;
}
const char *tiles_name(int type) {
    return tiles_type_get(type)->name;
}

// Index of the first name that is `base` (len characters) followed by '.', or -1.
static int tiles_find_base(const char *const *names, int count, const char *base, size_t len) {
    if (len == 0) return -1;
    for (int j = 0; j < count; j++) {
        const char *n = names[j];
        if (n && strncmp(n, base, len) == 0 && n[len] == '.') return j;
    }
    return -1;
}

int32_t tiles_transition_code(const char *const *names, int count, int t) {
    int32_t self = (int32_t)(((uint32_t)t << 16) | ((uint32_t)t << 8));
    const char *name = (t >= 0 && t < count) ? names[t] : nullptr;
    if (!name) return self;
    const char *dash = strchr(name, '-');
    if (!dash) return self;
    int j = tiles_find_base(names, count, name, (size_t)(dash - name));
    if (j < 0) return self;
    uint32_t code = ((uint32_t)j << 16) | ((uint32_t)j << 8);
    const char *rest = dash + 1;
    if (strncmp(rest, "alt", 3) == 0 && rest[3] >= '0' && rest[3] <= '9') return (int32_t)code;
    // rest is other-mask.ext (or other.ext)
    size_t olen = strcspn(rest, "-.");
    int l = tiles_find_base(names, count, rest, olen);
    if (l < 0) return -256;
    code = ((uint32_t)j << 16) | ((uint32_t)l << 8);
    if (rest[olen] == '-') {
        const char *mask = rest + olen + 1;
        size_t mlen = strcspn(mask, ".");
        if (mlen == 4) {
            uint32_t bits = 0;
            int ok = 1;
            for (int i = 0; i < 4; i++) {
                if (mask[i] != '0' && mask[i] != '1') ok = 0;
                bits = (bits << 1) | (uint32_t)(mask[i] == '1');
            }
            if (ok) code |= bits;
        }
    }
    return (int32_t)code;
}
