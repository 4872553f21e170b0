// The settings registry: every stored menu value (numbers, choices, texts and the integer
// settings) with its configuration key, label, step, range and default. The configuration file
// reads and writes these records and the menus display and edit the same records, so there is
// one source of truth for both.
#pragma once

#include <cstddef>

struct core_render_inputs;

enum core_setting_kind {
    CORE_SETTING_INT,    // written "%d"
    CORE_SETTING_NUMBER, // written "%f", clamped to min..max
    CORE_SETTING_CHOICE, // written as its label
    CORE_SETTING_TEXT,   // written as is, at most text_max characters
};

enum { CORE_SETTING_TEXT_SIZE = 256, CORE_GATES = 40, CORE_GATE_KEY = 8 };

enum core_setting_id {
    CORE_SET_XRES,
    CORE_SET_YRES,
    CORE_SET_DRAW_FPS,
    CORE_SET_DRAW_TIME,
    CORE_SET_DRAW_PING,
    CORE_SET_DRAW_SPEED,
    CORE_SET_SPY,
    CORE_SET_TRACK,
    CORE_SET_RECORD,
    CORE_SET_SKILL,
    CORE_SET_MINUTES,
    CORE_SET_LAPS,
    CORE_SET_GATE_FIRST,
    CORE_SET_GATE_LAST = CORE_SET_GATE_FIRST + CORE_GATES - 1,
    CORE_SET_GHOST_FADE,
    CORE_SET_TIME_TRIAL_ABORT,
    CORE_SET_VIDEO_MODE,
    CORE_SET_SERVER_NAME,
    CORE_SET_GROUND_DETAIL,
    CORE_SET_GROUND_TEXTURE_DETAIL,
    CORE_SET_GROUND_TEXTURE_DIM,
    CORE_SET_GROUND_TEXTURE_DIM_NEW,
    CORE_SET_GROUND_MIPMAPS,
    CORE_SET_TEXTURE_COMPRESS,
    CORE_SET_RENDER_TEXTURE,
    CORE_SET_USE_SHADER,
    CORE_SET_ROOST_DENSITY,
    CORE_SET_RESHADE_DELAY,
    CORE_SET_TERRAIN_RESYNC,
    CORE_SET_LENS_FLARE,
    CORE_SET_REFLECTIONS,
    CORE_SET_HIDE_RIDER,
    CORE_SET_RIGID_CAMERA,
    CORE_SET_MODEL_DETAIL,
    CORE_SET_MODEL_TEXTURE_DETAIL,
    CORE_SET_FOV,
    CORE_SET_FIRST_HEIGHT,
    CORE_SET_FIRST_ANGLE,
    CORE_SET_FIRST_GIMBAL,
    CORE_SET_THIRD_HEIGHT,
    CORE_SET_THIRD_DISTANCE,
    CORE_SET_VOLUME,
    CORE_SET_COMP_VOLUME,
    CORE_SET_PLAYBACK_MODE,
    CORE_SET_BBOPT,
    CORE_SET_MESSAGE_LINES,
    CORE_SET_DEMO_BACKUPS,
    CORE_SET_MAP_SCALE,
    CORE_SET_USE_FBO, // read only (also sets the rendering method); no line of its own
    CORE_SETTING_COUNT
};

struct core_setting {
    const char *key;   // configuration key
    const char *label; // menu label
    int kind;
    // CORE_SETTING_INT and CORE_SETTING_NUMBER: value within min..max, moved by step.
    double value, step, min, max;
    // CORE_SETTING_CHOICE
    const char *const *choices;
    int choice_count;
    int choice;
    // CORE_SETTING_TEXT
    char text[CORE_SETTING_TEXT_SIZE];
    int text_max;
};

extern core_setting core_setting_items[CORE_SETTING_COUNT];

// The server a new player is offered in the "Server" item.
#define CORE_DEFAULT_SERVER "race.zelvo.net"

// Every item to its own initial value (the graphics preset is separate).
void core_settings_init(void);

enum {
    CORE_PRESET_COMPATIBILITY,
    CORE_PRESET_HIGH_FPS,
    CORE_PRESET_NORMAL,
    CORE_PRESET_HIGH_DETAIL,
    CORE_PRESETS
};
const char *core_settings_preset_name(int preset);
void core_settings_apply_preset(int preset);
// 1 when every value the preset sets equals the current one.
int core_settings_matches_preset(int preset);

// Item with this exact (case-sensitive) key, or -1.
int core_settings_find(const char *key);
// Applies a configuration value by the item's kind; 1 when it was taken, 0 when it was ignored
// (unreadable or non-finite number, no such label, unknown item).
int core_settings_parse(int id, const char *value);
// The value as the configuration writes it ("%d", "%f", the label or the text); the length, or
// -1 for an unknown item or a buffer too small.
int core_settings_format(int id, char *buf, size_t size);

int core_settings_int(int id);
double core_settings_number(int id);
int core_settings_choice(int id);
const char *core_settings_label(int id); // current choice label, "" for other kinds
const char *core_settings_text(int id);  // "" for other kinds
// Setters clamp to the item's range (numbers, integers, choice indexes) or length (texts);
// non-finite numbers and unknown labels change nothing and return 0.
int core_settings_set_number(int id, double v);
int core_settings_set_choice(int id, int index);
int core_settings_set_label(int id, const char *label);
int core_settings_set_text(int id, const char *text);

// The values start-up derives the render settings from.
void core_settings_render_inputs(core_render_inputs *in);
