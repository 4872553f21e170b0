// Control bindings: keys (and later analog axes) mapped onto the controls vector and the hot
// keys. The configuration file names the keys; the loop feeds each binding its key's events.
#pragma once

#include "platform/platform.h"

enum {
    CORE_BINDINGS = 20,
    CORE_RIDING_BINDINGS = 12, // the first twelve add into the controls vector
    CORE_BINDING_NAME = 64,
};

// Binding numbers: riding controls first (in their table order), then the hot keys.
enum core_binding_id {
    CORE_BIND_LEFT, CORE_BIND_RIGHT, CORE_BIND_THROTTLE, CORE_BIND_FRONT_BRAKE,
    CORE_BIND_REAR_BRAKE, CORE_BIND_UPSHIFT, CORE_BIND_DOWNSHIFT, CORE_BIND_CLUTCH,
    CORE_BIND_DAB, CORE_BIND_BACK_UP, CORE_BIND_LEAN_FORWARD, CORE_BIND_LEAN_BACKWARD,
    CORE_BIND_PAUSE, CORE_BIND_STEP, CORE_BIND_REWIND, CORE_BIND_SKIP, CORE_BIND_PREV,
    CORE_BIND_NEXT, CORE_BIND_CHAT, CORE_BIND_SCREENSHOT,
};

struct core_binding {
    const char *config_key;
    const char *label;
    char key_name[CORE_BINDING_NAME]; // empty: not a key binding
    int key_code;                     // -1 when the name is unknown
    char axis_name[CORE_BINDING_NAME];
    platform_axis *axis;
    float low, high;
    float value; // 0..1
    int controls_index; // -1 for hot keys
    float scale;
};

extern core_binding core_bindings[CORE_BINDINGS];

// Restores the default key names (and clears axes) for every binding.
void core_binding_defaults(void);
// Looks up every key name to its code and opens every axis name on the window.
void core_binding_reset_all(platform_window *w);
// Releases axis handles and clears every value.
void core_binding_release_all(void);
// A key event: every binding on this code takes 1 (pressed) or 0.
void core_binding_key(int code, int pressed);
// Reads analog bindings (value = clamp((raw/32768 - low)/(high - low), 0, 1)) and adds every
// riding binding's value x scale into controls[9].
void core_binding_accumulate(float controls[9]);
// 1 when code is the key of binding id.
int core_binding_is(int id, int code);
