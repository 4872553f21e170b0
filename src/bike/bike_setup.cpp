// Rider setup values, the stability preset, the setup text and applying a setup to a bike.
#include "bike/bike_setup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bike/bike_model.h"
#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "data/data_file.h"
#include "data/data_index.h"

namespace {

const bike_setup_slider sliders[SETUP_VALUE_COUNT] = {
    {"stability", "Stability", 100, 1, 0, 100},
    {"leveling", "Leveling", 20, 1, 0, 100},
    {"roll_damping", "Roll Damping", 60, 1, 0, 100},
    {"roll_limit_angle", "Roll Limit Angle", 45, 1, 0, 180},
    {"roll_limit_factor", "Roll Limit Factor", 10, 1, 0, 64},
    {"steering_damping", "Steering Damping", 45, 1, 0, 100},
    {"steering_strength", "Steering Strength", 75, 1, 0, 100},
    {"max_steering_force", "Max Steering Force", 400, 5, 0, 1000},
    {"direct_steering", "Direct Steering", 1, 0.125f, 0, 1},
    {"slow_damping_speed", "Slow Damping Speed", 40, 1, 0, 100},
    {"slow_damping_factor", "Slow Damping Factor", 2, 0.25f, 1, 10},
    {"land_damping_rampup", "Landing Damping Ramp Up", 0.0625f, 0.0078125f, 0, 0.5f},
    {"land_damping_falloff", "Landing Damping Falloff", 0.25f, 0.0625f, 0, 0.5f},
    {"land_damping_factor", "Landing Damping Factor", 2, 0.25f, 1, 3},
    {"full_lock_speed", "Full Lock Speed", 10, 1, 1, 100},
    {"restricted_lock_speed", "Restricted Lock Speed", 50, 1, 1, 100},
    {"restricted_lock", "Restricted Lock Angle", 7.5f, 0.125f, 0, 45},
    {"auto_clutch_rpms", "Auto Clutch RPMs", 5000, 100, 0, 5000},
    {"brake_torque", "Braking Torque (Front)", 500, 10, 0, 500},
    {"rear_brake_torque", "Braking Torque (Rear)", 250, 10, 0, 500},
    {"max_dab_speed", "Max Dab Speed (MPH)", 60, 1, 5, 60},
    {"front_sprocket_adjustment", "Countershaft Sprocket", 0, 1, -2, 2},
    {"rear_sprocket_adjustment", "Rear Sprocket", 0, 1, -2, 2},
    {"fork_compression_adjustment", "Fork High Speed Compression Damping", 50, 1, 0, 100},
    {"fork_slow_compression_adjustment", "Fork Low Speed Compression Damping", 50, 1, 0, 100},
    {"fork_rebound_adjustment", "Fork High Speed Rebound Damping", 50, 1, 0, 100},
    {"fork_slow_rebound_adjustment", "Fork Low Speed Rebound Damping", 50, 1, 0, 100},
    {"fork_spring_rate_adjustment", "Fork Spring Rate", 50, 1, 0, 100},
    {"fork_preload_adjustment", "Fork Preload", 50, 1, 0, 100},
    {"fork_oil_level_adjustment", "Fork Oil Level", 50, 1, 0, 100},
    {"shock_compression_adjustment", "Shock High Speed Compression Damping", 75, 1, 0, 100},
    {"shock_slow_compression_adjustment", "Shock Low Speed Compression Damping", 50, 1, 0, 100},
    {"shock_rebound_adjustment", "Shock High Speed Rebound Damping", 75, 1, 0, 100},
    {"shock_slow_rebound_adjustment", "Shock Low Speed Rebound Damping", 50, 1, 0, 100},
    {"shock_spring_rate_adjustment", "Shock Spring Rate", 50, 1, 0, 100},
    {"shock_preload_adjustment", "Shock Preload", 50, 1, 0, 100},
    {"rider_yspring", "Rider Vertical Spring", 50, 1, 0, 100},
    {"rider_ydamping", "Rider Vertical Damping", 50, 1, 0, 100},
    {"rider_zspring", "Rider Forward Spring", 50, 1, 0, 100},
    {"rider_zdamping", "Rider Forward Damping", 50, 1, 0, 100},
    {"rider_mass_distribution", "Rider Mass Distribution", 0.33f, 0.01f, 0.33f, 0.5f},
};

const bike_setup_choice_info choices[SETUP_CHOICE_COUNT] = {
    {"arcade", "Arcade Physics", {"No", "Yes"}, 2, 1},
    {"front_brake", "Front Brake", {"Normal", "Antilock"}, 2, 1},
    {"rear_brake", "Rear Brake", {"Normal", "Antilock"}, 2, 0},
    {"stop_wheelies", "Stop Wheelies", {"No", "Yes", "Front Only"}, 3, 1},
    {"auto_shift", "Automatic Shifting", {"No", "Yes"}, 2, 1},
    {"auto_dab", "Dab When Stopped", {"No", "Yes"}, 2, 1},
    {"auto_align", "Realign After Fall", {"No", "Yes"}, 2, 1},
    {"sticky_dab", "Sticky Sit/Dab", {"No", "Yes"}, 2, 0},
    {"reverse_steering", "Reversed Steering", {"No", "Yes"}, 2, 1},
    {"lean_indicator", "Lean Indicator", {"No", "Yes"}, 2, 1},
};

const char *const texture_keys[GFX_KIND_COUNT] = {"rider_texture", "head_texture", "bike_texture",
                                                  "wheel_texture"};
const char *const graphics_prefix[GFX_KIND_COUNT] = {"rider_body-", "rider_head-", nullptr,
                                                     "wheels-"};

// The stability preset: six points at stability 0, 20, 40, 60, 80, 100.
struct preset_row {
    int value;
    float t[6];
};
const preset_row preset[] = {
    {SETUP_LEVELING, {20, 20, 20, 20, 20, 20}},
    {SETUP_ROLL_DAMPING, {40, 50, 60, 70, 75, 80}},
    {SETUP_ROLL_LIMIT_ANGLE, {90, 45, 45, 45, 45, 45}},
    {SETUP_ROLL_LIMIT_FACTOR, {0, 5, 10, 32, 32, 32}},
    {SETUP_STEERING_DAMPING, {45, 45, 45, 45, 50, 60}},
    {SETUP_STEERING_STRENGTH, {75, 75, 75, 75, 75, 75}},
    {SETUP_DIRECT_STEERING, {1, 1, 1, 1, 1, 0.125f}},
    {SETUP_MAX_STEERING_FORCE, {400, 400, 400, 400, 400, 400}},
    {SETUP_SLOW_DAMPING_SPEED, {40, 40, 40, 40, 40, 40}},
    {SETUP_SLOW_DAMPING_FACTOR, {1, 1, 1.5f, 2, 2, 2}},
    {SETUP_LAND_DAMPING_RAMPUP, {0.0625f, 0.0625f, 0.0625f, 0.0625f, 0.0625f, 0.0625f}},
    {SETUP_LAND_DAMPING_FALLOFF, {0, 0.125f, 0.25f, 0.25f, 0.25f, 0.25f}},
    {SETUP_LAND_DAMPING_FACTOR, {1, 1.5f, 2, 2, 2, 2}},
    {SETUP_FULL_LOCK_SPEED, {10, 10, 10, 10, 10, 10}},
    {SETUP_RESTRICTED_LOCK_SPEED, {50, 50, 50, 50, 50, 50}},
    {SETUP_RESTRICTED_LOCK, {45, 15, 10, 5, 2.5f, 1}},
};

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

float deg_to_rad(float d) {
    return d * (float)(M_PI / 180.0);
}

void copy_cut(char *dst, size_t dst_size, const char *src, size_t max_chars) {
    size_t n = strlen(src);
    if (n > max_chars) n = max_chars;
    if (n >= dst_size) n = dst_size - 1;
    memcpy(dst, src, n);
    dst[n] = 0;
}

void list_clear(bike_graphics_list *l) {
    l->count = 0;
    l->choice = 0;
}

int list_push(bike_graphics_list *l, const char *label, const char *file) {
    if (strlen(label) >= sizeof l->entries[0].label || strlen(file) >= sizeof l->entries[0].file)
        return 0; // names that do not fit are not offered
    if (l->count == l->capacity) {
        int cap = l->capacity ? l->capacity * 2 : 16;
        l->entries =
            (bike_graphics_entry *)zv_realloc(l->entries, (size_t)cap * sizeof *l->entries);
        l->capacity = cap;
    }
    bike_graphics_entry *e = &l->entries[l->count++];
    snprintf(e->label, sizeof e->label, "%s", label);
    snprintf(e->file, sizeof e->file, "%s", file);
    return 1;
}

int ends_with(const char *s, const char *tail) {
    size_t n = strlen(s), t = strlen(tail);
    return n >= t && strcmp(s + n - t, tail) == 0;
}

void list_build(bike_graphics_list *l, const char *prefix, const char *const *names, int count) {
    list_clear(l);
    list_push(l, "default", "");
    if (!prefix) return;
    size_t plen = strlen(prefix);
    for (int i = 0; i < count; i++) {
        const char *name = names[i];
        if (!name) continue;
        if (!ends_with(name, ".png") && !ends_with(name, ".png.scram")) continue;
        if (ends_with(name, "_norm.png") || ends_with(name, "_spec.png") ||
            ends_with(name, "_norm.png.scram") || ends_with(name, "_spec.png.scram"))
            continue;
        const char *base = strrchr(name, '/');
        base = base ? base + 1 : name;
        if (strncmp(base, prefix, plen) != 0) continue;
        char file[160];
        size_t n = strlen(name);
        if (ends_with(name, ".scram")) n -= 6;
        if (n + 2 > sizeof file) continue;
        file[0] = '@';
        memcpy(file + 1, name, n);
        file[n + 1] = 0;
        char label[96];
        size_t blen = strlen(base) - plen;
        if (ends_with(base, ".scram")) blen -= 6;
        blen -= 4; // ".png"
        if (blen >= sizeof label) continue;
        memcpy(label, base + plen, blen);
        label[blen] = 0;
        list_push(l, label, file);
    }
}

void write_line(bike_setup_sink sink, void *ctx, const char *fmt, const char *key,
                const char *text) {
    char line[1200];
    snprintf(line, sizeof line, fmt, key, text);
    sink(ctx, line);
}

void write_value(const bike_setup *s, int v, bike_setup_sink sink, void *ctx) {
    char line[160];
    snprintf(line, sizeof line, "%s=%f\n", sliders[v].key, (double)s->value[v]);
    sink(ctx, line);
}

struct buffer_sink {
    char *buf;
    size_t size, used;
};

void buffer_sink_put(void *ctx, const char *line) {
    buffer_sink *b = (buffer_sink *)ctx;
    size_t n = strlen(line);
    if (b->size && b->used < b->size - 1) {
        size_t room = b->size - 1 - b->used;
        size_t k = n < room ? n : room;
        memcpy(b->buf + b->used, line, k);
        b->buf[b->used + k] = 0;
    }
    b->used += n;
}

// A number; infinities (and values too large for a float) come back infinite for the caller to
// clamp into range, as any other value out of range is. Not-a-number is refused.
int parse_number(const char *text, float *out) {
    float v;
    if (sscanf(text, "%f", &v) != 1) return 0;
    if (std::isnan(v)) return 0;
    *out = v;
    return 1;
}

float mult_hs(float v) {
    return clampf(powf(2.0f, v * 0.04f - 2.0f), 0.25f, 4.0f);
}
float factor_ls(float v) {
    return clampf(v * 0.02f - 1.0f, -1.0f, 1.0f);
}
float fraction(float v) {
    return clampf(v / 100.0f, 0.0f, 1.0f);
}

} // namespace

const bike_setup_slider *bike_setup_slider_info(int value) {
    return value >= 0 && value < SETUP_VALUE_COUNT ? &sliders[value] : nullptr;
}

const bike_setup_choice_info *bike_setup_choice_info_get(int choice) {
    return choice >= 0 && choice < SETUP_CHOICE_COUNT ? &choices[choice] : nullptr;
}

void bike_setup_reset(bike_setup *s) {
    bike_setup_free(s);
    bike_setup_init(s);
}

void bike_setup_init(bike_setup *s) {
    // Whatever the record held is overwritten, never read: it may be uninitialised memory.
    memset(s, 0, sizeof *s);
    for (int k = 0; k < GFX_KIND_COUNT; k++)
        list_push(&s->gfx[k], "default", "");
    s->bike = 0;
    snprintf(s->name, sizeof s->name, "%s", "Joe Motocross");
    snprintf(s->number, sizeof s->number, "%s", "999");
    for (int v = 0; v < SETUP_VALUE_COUNT; v++)
        s->value[v] = sliders[v].def;
    for (int c = 0; c < SETUP_CHOICE_COUNT; c++)
        s->choice[c] = choices[c].def;
    bike_setup_apply_stability(s, s->value[SETUP_STABILITY]);
}

void bike_setup_free(bike_setup *s) {
    for (int k = 0; k < GFX_KIND_COUNT; k++) {
        zv_free(s->gfx[k].entries);
        s->gfx[k].entries = nullptr;
        s->gfx[k].count = s->gfx[k].capacity = 0;
    }
}

void bike_setup_apply_stability(bike_setup *s, float stability) {
    float u = clampf(stability * 5.0f / 100.0f, 0.0f, 5.0f);
    int i = (int)floorf(u);
    if (i > 4) i = 4;
    if (i < 0) i = 0;
    float f = u - (float)i;
    for (const preset_row &r : preset)
        s->value[r.value] = r.t[i] + f * (r.t[i + 1] - r.t[i]);
}

int bike_setup_select_bike(bike_setup *s, const char *name) {
    static const char *const short_names[4][2] = {{"crf250", "crf250(2008)"},
                                                  {"kx250f", "kx250f(2008)"},
                                                  {"rmz250", "rmz250(2008)"},
                                                  {"yz250f", "yz250f(2008)"}};
    for (auto &p : short_names)
        if (strcmp(name, p[0]) == 0) name = p[1];
    int i = bike_menu_find(name);
    if (i < 0) return 0;
    s->bike = i;
    return 1;
}

int bike_setup_read_line(bike_setup *s, const char *key, const char *value) {
    if (strcmp(key, "bike") == 0) {
        bike_setup_select_bike(s, value);
        return 1;
    }
    if (strcmp(key, "name") == 0) {
        copy_cut(s->name, sizeof s->name, value, 63);
        return 1;
    }
    if (strcmp(key, "number") == 0) {
        copy_cut(s->number, sizeof s->number, value, 3);
        return 1;
    }
    for (int k = 0; k < GFX_KIND_COUNT; k++) {
        if (strcmp(key, texture_keys[k]) != 0) continue;
        copy_cut(s->pending_texture[k], sizeof s->pending_texture[k], value, 1023);
        s->pending_set[k] = 1;
        return 1;
    }
    for (int v = 0; v < SETUP_VALUE_COUNT; v++) {
        if (strcmp(key, sliders[v].key) != 0) continue;
        float x;
        if (!parse_number(value, &x)) return 1;
        x = clampf(x, sliders[v].min, sliders[v].max);
        s->value[v] = x;
        if (v == SETUP_STABILITY) bike_setup_apply_stability(s, floorf(x));
        return 1;
    }
    for (int c = 0; c < SETUP_CHOICE_COUNT; c++) {
        if (strcmp(key, choices[c].key) != 0) continue;
        for (int i = 0; i < choices[c].count; i++)
            if (strcmp(value, choices[c].labels[i]) == 0) s->choice[c] = i;
        return 1;
    }
    return 0;
}

void bike_setup_read_finish(bike_setup *s, const char *const *file_names, int file_count) {
    bike_setup_rebuild_bike_graphics(s, file_names, file_count);
    for (int k = 0; k < GFX_KIND_COUNT; k++) {
        if (!s->pending_set[k]) continue;
        bike_setup_select_graphics(s, k, s->pending_texture[k]);
        s->pending_set[k] = 0;
    }
    s->changed = 1;
}

void bike_setup_read_text(bike_setup *s, const char *text, const char *const *file_names,
                          int file_count) {
    const char *p = text;
    while (p && *p) {
        const char *end = strchr(p, '\n');
        size_t n = end ? (size_t)(end - p) : strlen(p);
        char line[1025];
        size_t k = n < sizeof line - 1 ? n : sizeof line - 1; // lines are read up to 1024 chars
        memcpy(line, p, k);
        line[k] = 0;
        p = end ? end + 1 : p + n;
        char *eq = strchr(line, '=');
        if (!eq) continue;
        *eq = 0;
        char *value = eq + 1;
        size_t vl = strlen(value);
        while (vl && (value[vl - 1] == '\r' || value[vl - 1] == '\n'))
            value[--vl] = 0;
        bike_setup_read_line(s, line, value);
    }
    bike_setup_read_finish(s, file_names, file_count);
}

void bike_setup_write(const bike_setup *s, bike_setup_sink sink, void *ctx) {
    write_line(sink, ctx, "%s=%s\n", "bike", bike_menu_name(s->bike));
    write_line(sink, ctx, "%s=%s\n", "name", s->name);
    write_line(sink, ctx, "%s=%s\n", "number", s->number);
    for (int k = 0; k < GFX_KIND_COUNT; k++)
        write_line(sink, ctx, "%s=%s\n", texture_keys[k], bike_setup_graphics_label(s, k));
    for (int v = 0; v < SETUP_VALUES_BEFORE_CHOICES; v++)
        write_value(s, v, sink, ctx);
    for (int c = 0; c < SETUP_CHOICE_COUNT; c++) {
        int i = s->choice[c];
        if (i < 0 || i >= choices[c].count) i = choices[c].def;
        write_line(sink, ctx, "%s=%s\n", choices[c].key, choices[c].labels[i]);
    }
    for (int v = SETUP_VALUES_BEFORE_CHOICES; v < SETUP_VALUE_COUNT; v++)
        write_value(s, v, sink, ctx);
}

size_t bike_setup_write_buffer(const bike_setup *s, char *buf, size_t size) {
    buffer_sink b = {buf, size, 0};
    if (size) buf[0] = 0;
    bike_setup_write(s, buffer_sink_put, &b);
    return b.used;
}

void bike_setup_rebuild_bike_graphics(bike_setup *s, const char *const *file_names,
                                      int file_count) {
    list_build(&s->gfx[GFX_BIKE], bike_menu_prefix(s->bike), file_names, file_count);
}

void bike_setup_rebuild_graphics(bike_setup *s, const char *const *file_names, int file_count) {
    for (int k = 0; k < GFX_KIND_COUNT; k++) {
        const char *prefix = k == GFX_BIKE ? bike_menu_prefix(s->bike) : graphics_prefix[k];
        list_build(&s->gfx[k], prefix, file_names, file_count);
    }
}

int bike_setup_select_graphics(bike_setup *s, int kind, const char *label) {
    if (kind < 0 || kind >= GFX_KIND_COUNT) return 0;
    bike_graphics_list *l = &s->gfx[kind];
    for (int i = 0; i < l->count; i++) {
        if (strcmp(l->entries[i].label, label) == 0) {
            l->choice = i;
            return 1;
        }
    }
    return 0;
}

const char *bike_setup_graphics_file(const bike_setup *s, int kind) {
    if (kind < 0 || kind >= GFX_KIND_COUNT) return "";
    const bike_graphics_list *l = &s->gfx[kind];
    if (l->choice < 0 || l->choice >= l->count) return "";
    return l->entries[l->choice].file;
}

const char *bike_setup_graphics_label(const bike_setup *s, int kind) {
    if (kind < 0 || kind >= GFX_KIND_COUNT) return "default";
    const bike_graphics_list *l = &s->gfx[kind];
    if (l->choice < 0 || l->choice >= l->count) return "default";
    return l->entries[l->choice].label;
}

void bike_applied_defaults(bike_applied *a, const bike_model *m) {
    memset(a, 0, sizeof *a);
    a->leveling = 20;
    a->roll_damping = 60;
    a->roll_limit_angle = (float)(M_PI / 4);
    a->roll_limit_factor = 10;
    a->steering_damping = 45;
    a->steering_strength = 75;
    a->max_steering_force = 400;
    a->direct_steering = 1;
    a->slow_damping_speed = 0;
    a->slow_damping_factor = 1;
    a->land_rampup = 0.0625f;
    a->land_falloff = 0.25f;
    a->land_factor = 2;
    a->full_lock_speed = 10;
    a->restricted_lock_speed = 50;
    a->restricted_lock = 0.08726646f;
    a->auto_clutch_rpms = 5000;
    a->brake_torque = 250;
    a->rear_brake_torque = 250;
    a->max_dab_speed = 30;
    a->arcade = 0;
    a->flags = BIKE_FLAG_STOP_STOPPIES | BIKE_FLAG_FRONT_ANTILOCK | BIKE_FLAG_REALIGN;
    a->fork_hs_comp = m->fork[6];
    a->fork_ls_comp = 0;
    a->fork_hs_reb = m->fork[8];
    a->fork_ls_reb = 0;
    a->fork_spring = m->fork[0] + 0.5f * (m->fork[1] - m->fork[0]);
    a->fork_preload = m->fork[2] + 0.5f * (m->fork[3] - m->fork[2]);
    a->fork_air_gap = m->fork[4];
    a->shock_hs_comp = m->shock[4] * 2;
    a->shock_ls_comp = 0;
    a->shock_hs_reb = m->shock[6] * 2;
    a->shock_ls_reb = m->shock[7];
    a->shock_spring = m->shock[0] + 0.5f * (m->shock[1] - m->shock[0]);
    a->shock_preload = m->shock[2] + 0.5f * (m->shock[3] - m->shock[2]);
    a->rider_yspring = 0.5f;
    a->rider_ydamping = 0.75f;
    a->rider_zspring = 0.5f;
    a->rider_zdamping = 0.75f;
    a->rider_mass_distribution = 1.0f / 3.0f;
    a->front_teeth = m->engine.front_sprocket;
    a->rear_teeth = m->engine.rear_sprocket;
    a->final_drive = (float)(m->engine.rear_sprocket < 3 ? 3 : m->engine.rear_sprocket) /
                     (float)(m->engine.front_sprocket < 3 ? 3 : m->engine.front_sprocket);
}

void bike_setup_apply(const bike_setup *s, const bike_model *m, int arcade_allowed,
                      bike_applied *a) {
    // Every value is clamped again: a setup may have been edited behind the reader's back.
    auto val = [s](int v) { return clampf(s->value[v], sliders[v].min, sliders[v].max); };
    auto choice = [s](int c) {
        int i = s->choice[c];
        return i < 0 || i >= choices[c].count ? choices[c].def : i;
    };
    a->leveling = val(SETUP_LEVELING);
    a->roll_damping = val(SETUP_ROLL_DAMPING);
    a->roll_limit_angle = clampf(deg_to_rad(val(SETUP_ROLL_LIMIT_ANGLE)), 0, (float)M_PI);
    a->roll_limit_factor = val(SETUP_ROLL_LIMIT_FACTOR);
    a->steering_damping = val(SETUP_STEERING_DAMPING);
    a->steering_strength = val(SETUP_STEERING_STRENGTH);
    a->max_steering_force = val(SETUP_MAX_STEERING_FORCE);
    a->arcade = arcade_allowed ? choice(SETUP_ARCADE) : 0;
    int flags = a->flags;
    flags = choice(SETUP_FRONT_BRAKE) ? flags | BIKE_FLAG_FRONT_ANTILOCK
                                      : flags & ~BIKE_FLAG_FRONT_ANTILOCK;
    flags = choice(SETUP_REAR_BRAKE) ? flags | BIKE_FLAG_REAR_ANTILOCK
                                     : flags & ~BIKE_FLAG_REAR_ANTILOCK;
    flags &= ~(BIKE_FLAG_STOP_WHEELIES | BIKE_FLAG_STOP_STOPPIES);
    switch (choice(SETUP_STOP_WHEELIES)) {
    case 1:
        flags |= BIKE_FLAG_STOP_WHEELIES | BIKE_FLAG_STOP_STOPPIES;
        break;
    case 2:
        flags |= BIKE_FLAG_STOP_STOPPIES;
        break;
    default:
        break;
    }
    flags = choice(SETUP_AUTO_SHIFT) ? flags | BIKE_FLAG_AUTO_SHIFT : flags & ~BIKE_FLAG_AUTO_SHIFT;
    flags = choice(SETUP_AUTO_DAB) ? flags | BIKE_FLAG_AUTO_DAB : flags & ~BIKE_FLAG_AUTO_DAB;
    flags = choice(SETUP_AUTO_ALIGN) ? flags | BIKE_FLAG_REALIGN : flags & ~BIKE_FLAG_REALIGN;
    a->flags = flags;
    a->direct_steering = val(SETUP_DIRECT_STEERING);
    a->slow_damping_speed = val(SETUP_SLOW_DAMPING_SPEED);
    a->slow_damping_factor = val(SETUP_SLOW_DAMPING_FACTOR);
    a->land_rampup = val(SETUP_LAND_DAMPING_RAMPUP);
    a->land_falloff = val(SETUP_LAND_DAMPING_FALLOFF);
    a->land_factor = val(SETUP_LAND_DAMPING_FACTOR);
    a->full_lock_speed = clampf(val(SETUP_FULL_LOCK_SPEED), 1, 100);
    a->restricted_lock_speed = clampf(val(SETUP_RESTRICTED_LOCK_SPEED), 1, 100);
    a->restricted_lock = clampf(deg_to_rad(val(SETUP_RESTRICTED_LOCK)), 0, (float)(M_PI / 4));
    a->auto_clutch_rpms = val(SETUP_AUTO_CLUTCH_RPMS);
    a->brake_torque = val(SETUP_BRAKE_TORQUE);
    a->rear_brake_torque = val(SETUP_REAR_BRAKE_TORQUE);
    a->max_dab_speed = clampf(val(SETUP_MAX_DAB_SPEED) * 1.4666667f, 7, 100);

    int front = (int)floorf((float)m->engine.front_sprocket + val(SETUP_FRONT_SPROCKET));
    int rear = (int)floorf((float)m->engine.rear_sprocket + val(SETUP_REAR_SPROCKET));
    a->front_teeth = front < 3 ? 3 : front;
    a->rear_teeth = rear < 3 ? 3 : rear;
    a->final_drive = (float)a->rear_teeth / (float)a->front_teeth;

    a->fork_hs_comp = m->fork[6] * mult_hs(val(SETUP_FORK_COMPRESSION));
    a->fork_ls_comp = m->fork[7] * factor_ls(val(SETUP_FORK_SLOW_COMPRESSION));
    a->fork_hs_reb = m->fork[8] * mult_hs(val(SETUP_FORK_REBOUND));
    a->fork_ls_reb = m->fork[9] * factor_ls(val(SETUP_FORK_SLOW_REBOUND));
    a->fork_spring = m->fork[0] + fraction(val(SETUP_FORK_SPRING_RATE)) * (m->fork[1] - m->fork[0]);
    a->fork_preload = m->fork[2] + fraction(val(SETUP_FORK_PRELOAD)) * (m->fork[3] - m->fork[2]);
    a->fork_air_gap = m->fork[4] + fraction(val(SETUP_FORK_OIL_LEVEL)) * (m->fork[5] - m->fork[4]);
    a->shock_hs_comp = m->shock[4] * mult_hs(val(SETUP_SHOCK_COMPRESSION));
    a->shock_ls_comp = m->shock[5] * factor_ls(val(SETUP_SHOCK_SLOW_COMPRESSION));
    a->shock_hs_reb = m->shock[6] * mult_hs(val(SETUP_SHOCK_REBOUND));
    a->shock_ls_reb = m->shock[7] * factor_ls(val(SETUP_SHOCK_SLOW_REBOUND));
    a->shock_spring =
        m->shock[0] + fraction(val(SETUP_SHOCK_SPRING_RATE)) * (m->shock[1] - m->shock[0]);
    a->shock_preload =
        m->shock[2] + fraction(val(SETUP_SHOCK_PRELOAD)) * (m->shock[3] - m->shock[2]);
    a->rider_yspring = fraction(val(SETUP_RIDER_YSPRING));
    a->rider_ydamping = fraction(val(SETUP_RIDER_YDAMPING));
    a->rider_zspring = fraction(val(SETUP_RIDER_ZSPRING));
    a->rider_zdamping = fraction(val(SETUP_RIDER_ZDAMPING));
    a->rider_mass_distribution = val(SETUP_RIDER_MASS_DISTRIBUTION);
}

const char *bike_setup_info_line(const bike_setup *s, char *buf, size_t size) {
    if (!size) return buf;
    const char *bike = bike_menu_name(s->bike);
    int n =
        snprintf(buf, size, "%s|%s|%s|%s|%s\n%s\n%s", bike, bike_setup_graphics_file(s, GFX_RIDER),
                 bike_setup_graphics_file(s, GFX_BIKE), bike_setup_graphics_file(s, GFX_WHEEL),
                 bike_setup_graphics_file(s, GFX_HEAD), s->number, s->name);
    if (n < 0 || (size_t)n + 6 >= size) snprintf(buf, size, "%s\n%s\n%s", bike, s->number, s->name);
    return buf;
}

const char *bike_setup_display(const bike_setup *s, const bike_model *m, int value, char *buf,
                               size_t size) {
    if (!size) return buf;
    buf[0] = 0;
    float v = value >= 0 && value < SETUP_VALUE_COUNT ? s->value[value] : 0;
    float p = fraction(v);
    switch (value) {
    case SETUP_FORK_SPRING_RATE:
        snprintf(buf, size, "%.3f kg/mm",
                 (double)((m->fork[0] + p * (m->fork[1] - m->fork[0])) * 0.000744082f));
        break;
    case SETUP_SHOCK_SPRING_RATE:
        snprintf(buf, size, "%.2f kg/mm",
                 (double)((m->shock[0] + p * (m->shock[1] - m->shock[0])) * 0.0014881639f));
        break;
    case SETUP_FORK_PRELOAD:
        snprintf(buf, size, "%.2f mm",
                 (double)((m->fork[2] + p * (m->fork[3] - m->fork[2])) * 304.8f));
        break;
    case SETUP_FORK_OIL_LEVEL:
        snprintf(buf, size, "%.2f mm",
                 (double)((m->fork[4] + p * (m->fork[5] - m->fork[4])) * 304.8f));
        break;
    case SETUP_SHOCK_PRELOAD:
        snprintf(buf, size, "%.2f mm",
                 (double)((m->shock[2] + p * (m->shock[3] - m->shock[2])) * 304.8f));
        break;
    case SETUP_FRONT_SPROCKET:
        snprintf(buf, size, "%.2f teeth", (double)((float)m->engine.front_sprocket + v));
        break;
    case SETUP_REAR_SPROCKET:
        snprintf(buf, size, "%.2f teeth", (double)((float)m->engine.rear_sprocket + v));
        break;
    default:
        break;
    }
    return buf;
}

const char *const *bike_setup_file_list(int *count) {
    const char *const *list = file_index_build();
    int n = 0;
    while (list && list[n])
        n++;
    *count = n;
    return list;
}

int bike_setup_read_file(bike_setup *s, const char *name) {
    char path[600];
    if (!name || snprintf(path, sizeof path, "@setups/%s", name) >= (int)sizeof path) {
        zv_message_add("Error reading setup");
        return 0;
    }
    char *text = file_to_string(path);
    if (!text) {
        zv_message_add("Error reading setup");
        return 0;
    }
    int count;
    const char *const *files = bike_setup_file_list(&count);
    bike_setup_read_text(s, text, files, count);
    zv_free(text);
    zv_message_add("Setup updated");
    return 1;
}

namespace {

struct file_sink {
    data_file *f;
    int ok;
};

void file_sink_put(void *ctx, const char *line) {
    file_sink *fs = (file_sink *)ctx;
    if (fs->ok && data_puts(fs->f, line) == EOF) fs->ok = 0;
}

} // namespace

int bike_setup_write_file(const bike_setup *s, const char *name) {
    char path[600];
    data_file *f = nullptr;
    if (name && snprintf(path, sizeof path, "@setups/%s", name) < (int)sizeof path)
        f = data_open(path, "wb");
    if (!f) {
        zv_message_add("Error writing setup");
        return 0;
    }
    file_sink fs = {f, 1};
    bike_setup_write(s, file_sink_put, &fs);
    if (data_flush(f) != 0) fs.ok = 0;
    data_close(f);
    zv_message_add(fs.ok ? "Setup written" : "Error writing setup");
    return fs.ok;
}

void bike_setup_track(bike_setup_tracker *t, const bike_setup *s) {
    for (int i = 0; i < SETUP_TRACKED; i++)
        t->seen[i] = s->value[SETUP_TRACKED_FIRST + i];
}

int bike_setup_changes(bike_setup_tracker *t, const bike_setup *s, char *letters, int size) {
    if (!letters || size <= SETUP_TRACKED) return 0;
    int changed = 0;
    for (int i = 0; i < SETUP_TRACKED; i++) {
        float v = s->value[SETUP_TRACKED_FIRST + i];
        int moved = v != t->seen[i];
        letters[i] = moved ? (char)(i < 26 ? 'a' + i : 'A' + i - 26) : '-';
        changed += moved;
        t->seen[i] = v;
    }
    letters[SETUP_TRACKED] = 0;
    return changed;
}
