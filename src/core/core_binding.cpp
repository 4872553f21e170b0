#include "core/core_binding.h"

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

void core_binding_reset_all(platform_window *w) {
    for (int i = 0; i < CORE_BINDINGS; i++) {
        core_binding *b = &core_bindings[i];
        if (!b->config_key) // never given defaults
            core_binding_defaults();
        b->key_code = b->key_name[0] ? platform_code_for_name(w, b->key_name) : -1;
        if (b->axis) {
            platform_close_axis(b->axis);
            b->axis = nullptr;
        }
        if (b->axis_name[0])
            b->axis = platform_open_axis(w, b->axis_name);
        b->value = 0;
    }
}

void core_binding_release_all(void) {
    for (int i = 0; i < CORE_BINDINGS; i++) {
        core_binding *b = &core_bindings[i];
        if (b->axis)
            platform_close_axis(b->axis);
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
