// Control bindings: keys and analog axes mapped onto the controls vector and the hot keys. The
// configuration file names the keys and axes; the loop feeds each binding its key's events and
// reads the axes once a tic.
#pragma once

#include "platform/platform.h"

enum {
    CORE_BINDINGS = 20,
    CORE_RIDING_BINDINGS = 12, // the first twelve add into the controls vector
    CORE_BINDING_NAME = 64,
};

// Binding numbers: riding controls first (in their table order), then the hot keys.
enum core_binding_id {
    CORE_BIND_LEFT,
    CORE_BIND_RIGHT,
    CORE_BIND_THROTTLE,
    CORE_BIND_FRONT_BRAKE,
    CORE_BIND_REAR_BRAKE,
    CORE_BIND_UPSHIFT,
    CORE_BIND_DOWNSHIFT,
    CORE_BIND_CLUTCH,
    CORE_BIND_DAB,
    CORE_BIND_BACK_UP,
    CORE_BIND_LEAN_FORWARD,
    CORE_BIND_LEAN_BACKWARD,
    CORE_BIND_PAUSE,
    CORE_BIND_STEP,
    CORE_BIND_REWIND,
    CORE_BIND_SKIP,
    CORE_BIND_PREV,
    CORE_BIND_NEXT,
    CORE_BIND_CHAT,
    CORE_BIND_SCREENSHOT,
};

struct core_binding {
    const char *config_key;
    const char *label;
    char key_name[CORE_BINDING_NAME]; // empty: not a key binding
    int key_code;                     // -1 when the name is unknown
    char axis_name[CORE_BINDING_NAME];
    platform_axis *axis;
    float low, high;
    float value;        // 0..1
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

// Binding number of a configuration key, or -1.
int core_binding_find(const char *config_key);
// Sets a binding from its configuration text: "(low,high)axis name" binds an axis, otherwise
// an optional "(k)" prefix is dropped and the rest is a key name. Leading spaces are skipped and
// the binding is cleared first (low/high back to 0 and 1); non-finite bounds bind nothing.
void core_binding_parse(core_binding *b, const char *text);
// The configuration line "key=(k)name\n" or "key=(low,high)axis\n"; 0 (and "") for a binding
// with neither, else the length; -1 when it does not fit.
int core_binding_format(const core_binding *b, char *buf, int size);
// Looks up the key code or opens the axis of one binding (value back to 0).
void core_binding_reset(core_binding *b, platform_window *w);

// Capturing a binding for the Customize Controls page. Start opens every axis the platform
// offers and takes their positions as the start; each tic feeds the game clock; key presses go
// to core_binding_capture_key. A tic returns 1 once the capture has ended.
enum { CORE_CAPTURE_AXES = 64 };
int core_binding_capture_start(platform_window *w, int id, double game_clock, int debug_level);
// A pressed key while capturing: Esc (esc_code) ends without change; the first other key is
// remembered. Returns 1 when the key was taken by the capture.
int core_binding_capture_key(int code, int esc_code, double game_clock);
int core_binding_capture_tic(double game_clock);
int core_binding_capturing(void);
// The binding being captured, -1 when none.
int core_binding_capture_id(void);
// Ends a capture without change and closes its axes.
void core_binding_capture_cancel(void);
