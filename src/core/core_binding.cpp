#include "core/core_binding.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct binding_default {
    const char *config_key;
    const char *label;
    const char *key;
    int index;
    float scale;
};

const binding_default binding_defaults[CORE_BINDINGS] = {
    {"left_key", "Left", "left", 0, 1},
    {"right_key", "Right", "right", 0, -1},
    {"throttle_key", "Throttle", "x", 1, 1},
    {"front_brake_key", "Front Brake", "c", 2, 1},
    {"rear_brake_key", "Rear Brake", "v", 3, 1},
    {"upshift_key", "Upshift", "up", 4, 1},
    {"downshift_key", "Downshift", "down", 4, -1},
    {"clutch_key", "Clutch", "z", 5, 1},
    {"dab_key", "Sit/Dab", "right ctrl", 6, 1},
    {"back_up_key", "Back up", "b", 7, 1},
    {"lean_forward_key", "Lean Forward", "n", 8, -1},
    {"lean_backward_key", "Lean Backward", "m", 8, 1},
    {"pause_key", "Pause", "pause", -1, 0},
    {"step_key", "Step", ".", -1, 0},
    {"rewind_key", "Rewind", "\\", -1, 0},
    {"skip_key", "Skip", "/", -1, 0},
    {"prev_key", "Previous Bike", "[", -1, 0},
    {"next_key", "Next Bike", "]", -1, 0},
    {"console_key", "Chat", "t", -1, 0},
    {"screenshot_key", "Screenshot", "s", -1, 0},
};

} // namespace

core_binding core_bindings[CORE_BINDINGS];

void core_binding_defaults(void) {
    for (int i = 0; i < CORE_BINDINGS; i++) {
        core_binding *b = &core_bindings[i];
        const binding_default *d = &binding_defaults[i];
        b->config_key = d->config_key;
        b->label = d->label;
        snprintf(b->key_name, sizeof b->key_name, "%s", d->key);
        b->key_code = -1;
        b->axis_name[0] = 0;
        b->axis = nullptr;
        b->low = 0;
        b->high = 1;
        b->value = 0;
        b->controls_index = d->index;
        b->scale = d->scale;
    }
}

void core_binding_reset(core_binding *b, platform_window *w) {
    b->key_code = b->key_name[0] ? platform_code_for_name(w, b->key_name) : -1;
    if (b->axis) {
        platform_close_axis(b->axis);
        b->axis = nullptr;
    }
    if (b->axis_name[0]) b->axis = platform_open_axis(w, b->axis_name);
    b->value = 0;
}

void core_binding_reset_all(platform_window *w) {
    if (!core_bindings[0].config_key) // never given defaults
        core_binding_defaults();
    for (int i = 0; i < CORE_BINDINGS; i++)
        core_binding_reset(&core_bindings[i], w);
}

void core_binding_release_all(void) {
    for (int i = 0; i < CORE_BINDINGS; i++) {
        core_binding *b = &core_bindings[i];
        if (b->axis) platform_close_axis(b->axis);
        b->axis = nullptr;
        b->value = 0;
    }
}

void core_binding_key(int code, int pressed) {
    for (int i = 0; i < CORE_BINDINGS; i++)
        if (core_bindings[i].key_code >= 0 && core_bindings[i].key_code == code)
            core_bindings[i].value = pressed ? 1.0f : 0.0f;
}

void core_binding_accumulate(float controls[9]) {
    for (int i = 0; i < CORE_BINDINGS; i++) {
        core_binding *b = &core_bindings[i];
        if (b->axis) {
            float span = b->high - b->low;
            float v = 0;
            if (span != 0) {
                v = ((float)platform_read_axis(b->axis) / 32768.0f - b->low) / span;
                v = v < 0 ? 0 : v > 1 ? 1 : v;
            }
            b->value = v;
        }
        if (i < CORE_RIDING_BINDINGS && b->controls_index >= 0 && b->controls_index < 9)
            controls[b->controls_index] += b->value * b->scale;
    }
}

int core_binding_is(int id, int code) {
    return id >= 0 && id < CORE_BINDINGS && core_bindings[id].key_code >= 0 &&
           core_bindings[id].key_code == code;
}

int core_binding_find(const char *config_key) {
    if (!config_key) return -1;
    for (int i = 0; i < CORE_BINDINGS; i++)
        if (core_bindings[i].config_key && strcmp(core_bindings[i].config_key, config_key) == 0)
            return i;
    return -1;
}

void core_binding_parse(core_binding *b, const char *text) {
    if (text) {
        const char *t = text;
        while (*t == ' ')
            t++;
        float low, high;
        int end = 0;
        // A hand-edited range with NaN or an infinity would feed them to the controls: the
        // binding keeps what it had. (A reversed range is a lever read the other way; equal
        // bounds read 0.)
        if (t[0] == '(' && sscanf(t, "(%f,%f)%n", &low, &high, &end) == 2 && end > 0 &&
            !(std::isfinite(low) && std::isfinite(high))) {
            platform_log("config warning: %s has a bad axis range \"%.200s\"; it keeps \"%s\"\n",
                         b->config_key ? b->config_key : "binding", t,
                         b->key_name[0] ? b->key_name : b->axis_name);
            return;
        }
    }
    if (b->axis) platform_close_axis(b->axis);
    b->axis = nullptr;
    b->key_name[0] = 0;
    b->key_code = -1;
    b->axis_name[0] = 0;
    b->low = 0;
    b->high = 1;
    b->value = 0;
    if (!text) return;
    while (*text == ' ')
        text++;
    float low, high;
    int end = 0;
    if (text[0] == '(' && sscanf(text, "(%f,%f)%n", &low, &high, &end) == 2 && end > 0) {
        b->low = low;
        b->high = high;
        snprintf(b->axis_name, sizeof b->axis_name, "%s", text + end);
        return;
    }
    if (strncmp(text, "(k)", 3) == 0) text += 3;
    snprintf(b->key_name, sizeof b->key_name, "%s", text);
}

int core_binding_format(const core_binding *b, char *buf, int size) {
    if (!buf || size <= 0) return -1;
    buf[0] = 0;
    int n;
    if (b->key_name[0])
        n = snprintf(buf, (size_t)size, "%s=(k)%s\n", b->config_key, b->key_name);
    else if (b->axis_name[0])
        n = snprintf(buf, (size_t)size, "%s=(%f,%f)%s\n", b->config_key, b->low, b->high,
                     b->axis_name);
    else
        return 0;
    if (n < 0 || n >= size) {
        buf[0] = 0;
        return -1;
    }
    return n;
}

// ---- capture --------------------------------------------------------------------------------

namespace {

struct capture_axis {
    const char *name;
    platform_axis *handle;
    float start, extreme;
    double extreme_time;
};

struct capture_state {
    int active;
    int id;
    int debug;
    platform_window *window;
    capture_axis axes[CORE_CAPTURE_AXES];
    int axis_count;
    int key_code; // -1 none yet
    double key_time;
};

capture_state g_capture;

constexpr double CAPTURE_SETTLE = 0.25; // seconds a key or axis extreme must stand
constexpr float CAPTURE_TRAVEL = 0.5f;  // how far an axis must move to count

float axis_position(platform_axis *a) {
    return (float)platform_read_axis(a) / 32768.0f;
}

void capture_close(void) {
    for (int i = 0; i < g_capture.axis_count; i++)
        if (g_capture.axes[i].handle) platform_close_axis(g_capture.axes[i].handle);
    g_capture.axis_count = 0;
    g_capture.active = 0;
}

} // namespace

int core_binding_capture_id(void) {
    return g_capture.active ? g_capture.id : -1;
}

int core_binding_capture_start(platform_window *w, int id, double game_clock, int debug_level) {
    if (g_capture.active) capture_close();
    if (id < 0 || id >= CORE_BINDINGS) return 0;
    g_capture.active = 1;
    g_capture.id = id;
    g_capture.debug = debug_level;
    g_capture.window = w;
    g_capture.key_code = -1;
    g_capture.key_time = 0;
    g_capture.axis_count = 0;
    int count = 0;
    const char *const *names = platform_axis_names(w, &count);
    if (debug_level) platform_log("Watching pots\n");
    for (int i = 0; names && i < count && g_capture.axis_count < CORE_CAPTURE_AXES; i++) {
        platform_axis *a = platform_open_axis(w, names[i]);
        if (debug_level) platform_log("\t%s %s\n", names[i], a ? "Ok" : "Failed");
        if (!a) continue;
        capture_axis *c = &g_capture.axes[g_capture.axis_count++];
        c->name = names[i];
        c->handle = a;
        c->start = c->extreme = axis_position(a);
        c->extreme_time = game_clock;
    }
    return 1;
}

int core_binding_capturing(void) {
    return g_capture.active;
}

void core_binding_capture_cancel(void) {
    if (!g_capture.active) return;
    if (g_capture.debug) platform_log("Done watching pots\n");
    capture_close();
}

int core_binding_capture_key(int code, int esc_code, double game_clock) {
    if (!g_capture.active) return 0;
    if (code == esc_code) {
        core_binding_capture_cancel();
        return 1;
    }
    if (g_capture.key_code < 0 && code >= 0) {
        g_capture.key_code = code;
        g_capture.key_time = game_clock;
    }
    return 1;
}

int core_binding_capture_tic(double game_clock) {
    if (!g_capture.active) return 1;
    core_binding *b = &core_bindings[g_capture.id];
    for (int i = 0; i < g_capture.axis_count; i++) {
        capture_axis *c = &g_capture.axes[i];
        float p = axis_position(c->handle);
        if (fabsf(p - c->start) > fabsf(c->extreme - c->start)) {
            c->extreme = p;
            c->extreme_time = game_clock;
        }
        float travel = c->extreme - c->start;
        if (fabsf(travel) > CAPTURE_TRAVEL && game_clock - c->extreme_time >= CAPTURE_SETTLE) {
            core_binding_parse(b, nullptr);
            snprintf(b->axis_name, sizeof b->axis_name, "%s", c->name);
            b->low = c->start + travel / 16;
            b->high = c->start + travel * 15 / 16;
            // The chosen handle stays open for the binding; the rest are closed.
            b->axis = c->handle;
            c->handle = nullptr;
            capture_close();
            return 1;
        }
    }
    if (g_capture.key_code >= 0 && game_clock - g_capture.key_time >= CAPTURE_SETTLE) {
        core_binding_parse(b, nullptr);
        char name[CORE_BINDING_NAME];
        const char *n =
            platform_name_for_code(g_capture.window, g_capture.key_code, name, sizeof name);
        snprintf(b->key_name, sizeof b->key_name, "%s", n ? n : "");
        b->key_code = b->key_name[0] ? g_capture.key_code : -1;
        capture_close();
        return 1;
    }
    return 0;
}
