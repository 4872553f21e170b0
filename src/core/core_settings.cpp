#include "core/core_settings.h"

#include "core/core_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

core_setting core_setting_items[CORE_SETTING_COUNT];

namespace {

const char *const no_yes[] = {"No", "Yes"};
const char *const skills[] = {"Novice", "Amateur", "Expert"};
const char *const gate_kinds[] = {"Empty", "Human", "Robot", "Robot (2 stroke)",
                                  "Robot (4 stroke)"};
const char *const texture_dims[] = {"32x32", "64x64", "128x128", "256x256", "512x512", "1024x1024"};
const char *const texture_dims_new[] = {"128x128",   "256x256",   "512x512",
                                        "1024x1024", "2048x2048", "4096x4096"};
const char *const compress_kinds[] = {"No", "Yes", "Always"};
const char *const render_methods[] = {"Software", "Hardware/Copy", "Hardware/Direct",
                                      "Shaders/Copy", "Shaders/Direct"};
const char *const playback_modes[] = {"Playback Only", "Race Against"};

#define COUNT(a) (int)(sizeof(a) / sizeof(a)[0])

struct item_def {
    int id;
    const char *key;
    const char *label;
    int kind;
    double value, step, min, max;
    const char *const *choices;
    int choice_count;
    const char *initial; // choice label or text
    int text_max;
};

// Integer settings have no menu row of their own; their bounds keep a hand-edited file from
// asking for absurd windows or counts.
const item_def defs[] = {
    {CORE_SET_XRES, "xres", "Width", CORE_SETTING_INT, 640, 1, 16, 16384, nullptr, 0, nullptr, 0},
    {CORE_SET_YRES, "yres", "Height", CORE_SETTING_INT, 480, 1, 16, 16384, nullptr, 0, nullptr, 0},
    {CORE_SET_DRAW_FPS, "draw_fps", "FPS Display", CORE_SETTING_INT, 0, 1, 0, 100, nullptr, 0,
     nullptr, 0},
    {CORE_SET_DRAW_TIME, "draw_time", "Time Display", CORE_SETTING_INT, 0, 1, 0, 100, nullptr, 0,
     nullptr, 0},
    {CORE_SET_DRAW_PING, "draw_ping", "Ping Display", CORE_SETTING_INT, 1, 1, 0, 100, nullptr, 0,
     nullptr, 0},
    {CORE_SET_DRAW_SPEED, "draw_speed", "Speed Display", CORE_SETTING_INT, 0, 1, 0, 100, nullptr, 0,
     nullptr, 0},
    {CORE_SET_SPY, "spy", "Spy Mode", CORE_SETTING_INT, 0, 1, 0, 1, nullptr, 0, nullptr, 0},
    {CORE_SET_TRACK, "track", "Track", CORE_SETTING_TEXT, 0, 0, 0, 0, nullptr, 0, "", 255},
    {CORE_SET_RECORD, "record", "Record Demo", CORE_SETTING_CHOICE, 0, 0, 0, 0, no_yes, 2, "No", 0},
    {CORE_SET_SKILL, "skill", "Robot Skill", CORE_SETTING_CHOICE, 0, 0, 0, 0, skills, 3, "Novice",
     0},
    {CORE_SET_MINUTES, "minutes", "Minutes", CORE_SETTING_NUMBER, 0, 1, 0, 60, nullptr, 0, nullptr,
     0},
    {CORE_SET_LAPS, "laps", "Laps", CORE_SETTING_NUMBER, 5, 1, 0, 50, nullptr, 0, nullptr, 0},
    {CORE_SET_GHOST_FADE, "ghost_fade_distance", "Ghost Fade Distance", CORE_SETTING_NUMBER, 10, 1,
     0, 40, nullptr, 0, nullptr, 0},
    {CORE_SET_TIME_TRIAL_ABORT, "time_trial_abort", "Backing Up Aborts Attempt",
     CORE_SETTING_CHOICE, 0, 0, 0, 0, no_yes, 2, "Yes", 0},
    {CORE_SET_VIDEO_MODE, "video_mode", "Video Mode", CORE_SETTING_TEXT, 0, 0, 0, 0, nullptr, 0,
     "Default Fullscreen", 29},
    {CORE_SET_SERVER_NAME, "server_name", "Server", CORE_SETTING_TEXT, 0, 0, 0, 0, nullptr, 0,
     CORE_DEFAULT_SERVER, 127},
    {CORE_SET_GROUND_DETAIL, "ground_detail", "Ground Geometric Detail", CORE_SETTING_NUMBER, 50, 1,
     0, 100, nullptr, 0, nullptr, 0},
    {CORE_SET_GROUND_TEXTURE_DETAIL, "ground_texture_detail", "Ground Texture Levels",
     CORE_SETTING_NUMBER, 9, 1, 0, 10, nullptr, 0, nullptr, 0},
    {CORE_SET_GROUND_TEXTURE_DIM, "ground_texture_dim", "Ground Texture Resolution",
     CORE_SETTING_CHOICE, 0, 0, 0, 0, texture_dims, COUNT(texture_dims), "128x128", 0},
    {CORE_SET_GROUND_TEXTURE_DIM_NEW, "ground_texture_dim_new", "Ground Texture Resolution",
     CORE_SETTING_CHOICE, 0, 0, 0, 0, texture_dims_new, COUNT(texture_dims_new), "1024x1024", 0},
    {CORE_SET_GROUND_MIPMAPS, "ground_mipmaps", "Enable Ground Mipmaps", CORE_SETTING_CHOICE, 0, 0,
     0, 0, no_yes, 2, "Yes", 0},
    {CORE_SET_TEXTURE_COMPRESS, "texture_compress", "Compress Textures", CORE_SETTING_CHOICE, 0, 0,
     0, 0, compress_kinds, 3, "Yes", 0},
    {CORE_SET_RENDER_TEXTURE, "render_texture", "Terrain Rendering Method", CORE_SETTING_CHOICE, 0,
     0, 0, 0, render_methods, COUNT(render_methods), "Software", 0},
    {CORE_SET_USE_SHADER, "use_shader", "Use Shader Programs", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     no_yes, 2, "Yes", 0},
    {CORE_SET_ROOST_DENSITY, "roost_density", "Roost Density", CORE_SETTING_NUMBER, 250, 10, 0,
     1000, nullptr, 0, nullptr, 0},
    {CORE_SET_RESHADE_DELAY, "reshade_delay", "Reshade Delay", CORE_SETTING_NUMBER, 0, 1, 0, 20,
     nullptr, 0, nullptr, 0},
    {CORE_SET_TERRAIN_RESYNC, "terrain_resync_rate", "Terrain Sync Rate", CORE_SETTING_NUMBER, 0, 1,
     0, 10, nullptr, 0, nullptr, 0},
    {CORE_SET_LENS_FLARE, "lens_flare", "Enable Lens Flares", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     no_yes, 2, "Yes", 0},
    {CORE_SET_REFLECTIONS, "reflections", "Enable Reflections", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     no_yes, 2, "Yes", 0},
    {CORE_SET_HIDE_RIDER, "hide_rider", "Hide 1st Person Rider", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     no_yes, 2, "No", 0},
    {CORE_SET_RIGID_CAMERA, "rigid_camera", "Rigid 3rd person camera", CORE_SETTING_CHOICE, 0, 0, 0,
     0, no_yes, 2, "No", 0},
    {CORE_SET_MODEL_DETAIL, "model_detail", "Model Geometric Detail", CORE_SETTING_NUMBER, 50, 1, 0,
     100, nullptr, 0, nullptr, 0},
    {CORE_SET_MODEL_TEXTURE_DETAIL, "model_texture_detail", "Model Texture Detail",
     CORE_SETTING_NUMBER, 9, 1, 0, 10, nullptr, 0, nullptr, 0},
    {CORE_SET_FOV, "fov", "Field Of View", CORE_SETTING_NUMBER, 110, 1, 10, 170, nullptr, 0,
     nullptr, 0},
    {CORE_SET_FIRST_HEIGHT, "first_person_height", "1st Person Height", CORE_SETTING_NUMBER, 0,
     0.03125, 0, 1, nullptr, 0, nullptr, 0},
    {CORE_SET_FIRST_ANGLE, "first_person_angle", "1st Person Angle", CORE_SETTING_NUMBER, 0, 1, 0,
     40, nullptr, 0, nullptr, 0},
    {CORE_SET_FIRST_GIMBAL, "first_person_gimbal", "1st Person Gimbal", CORE_SETTING_NUMBER, 0, 1,
     0, 100, nullptr, 0, nullptr, 0},
    {CORE_SET_THIRD_HEIGHT, "third_person_height", "3rd Person Height", CORE_SETTING_NUMBER, 5, 1,
     0, 20, nullptr, 0, nullptr, 0},
    {CORE_SET_THIRD_DISTANCE, "third_person_distance", "3rd Person Distance", CORE_SETTING_NUMBER,
     10, 1, 5, 40, nullptr, 0, nullptr, 0},
    {CORE_SET_VOLUME, "volume", "Volume", CORE_SETTING_NUMBER, 10, 1, 0, 10, nullptr, 0, nullptr,
     0},
    {CORE_SET_COMP_VOLUME, "comp_volume", "Competitor Volume", CORE_SETTING_NUMBER, 8, 1, 0, 10,
     nullptr, 0, nullptr, 0},
    {CORE_SET_PLAYBACK_MODE, "playback_mode", "Playback Mode", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     playback_modes, 2, "Playback Only", 0},
    {CORE_SET_BBOPT, "billboard_optimize_lookahead", "Billboard Look-ahead", CORE_SETTING_INT, 8, 1,
     0, 1024, nullptr, 0, nullptr, 0},
    {CORE_SET_MESSAGE_LINES, "message_lines", "Message Lines", CORE_SETTING_INT, 5, 1, 0, 100,
     nullptr, 0, nullptr, 0},
    {CORE_SET_DEMO_BACKUPS, "demo_backups", "Demo Backups", CORE_SETTING_INT, 0, 1, 0, 100, nullptr,
     0, nullptr, 0},
    {CORE_SET_MAP_SCALE, "map_scale", "Map Scale", CORE_SETTING_NUMBER, 1, 0.125, 0.125, 8, nullptr,
     0, nullptr, 0},
    {CORE_SET_USE_FBO, "use_fbo", "Use Framebuffer Objects", CORE_SETTING_CHOICE, 0, 0, 0, 0,
     no_yes, 2, "No", 0},
};

char gate_keys[CORE_GATES][CORE_GATE_KEY];
char gate_labels[CORE_GATES][16];

int valid(int id) {
    return id >= 0 && id < CORE_SETTING_COUNT && core_setting_items[id].key;
}

int label_index(const core_setting *s, const char *label) {
    for (int i = 0; i < s->choice_count; i++)
        if (strcmp(s->choices[i], label) == 0) return i;
    return -1;
}

// One preset column: the value each preset gives an item (a number, or a choice index).
struct preset_row {
    int id;
    double values[CORE_PRESETS];
};

// Choice values are indexes into the item's labels.
const preset_row preset_rows[] = {
    {CORE_SET_GROUND_DETAIL, {70, 50, 70, 90}},
    {CORE_SET_GROUND_TEXTURE_DETAIL, {9, 7, 9, 10}},
    {CORE_SET_MODEL_TEXTURE_DETAIL, {9, 7, 9, 10}},
    {CORE_SET_GROUND_TEXTURE_DIM_NEW, {1, 1, 2, 3}},
    {CORE_SET_GROUND_MIPMAPS, {1, 1, 1, 1}},
    {CORE_SET_TEXTURE_COMPRESS, {0, 1, 1, 0}},
    {CORE_SET_RENDER_TEXTURE, {0, 2, 4, 4}},
    {CORE_SET_USE_SHADER, {1, 0, 1, 1}},
    {CORE_SET_LENS_FLARE, {1, 0, 1, 1}},
    {CORE_SET_REFLECTIONS, {1, 0, 1, 1}},
    {CORE_SET_MODEL_DETAIL, {50, 25, 50, 75}},
    {CORE_SET_ROOST_DENSITY, {1000, 0, 1000, 1000}},
    {CORE_SET_TERRAIN_RESYNC, {0, 0, 4, 8}},
};

const char *const preset_names[CORE_PRESETS] = {"Compatibility", "High FPS", "Normal",
                                                "High Detail"};

} // namespace

void core_settings_init(void) {
    memset(core_setting_items, 0, sizeof core_setting_items);
    for (const item_def &d : defs) {
        core_setting *s = &core_setting_items[d.id];
        s->key = d.key;
        s->label = d.label;
        s->kind = d.kind;
        s->value = d.value;
        s->step = d.step;
        s->min = d.min;
        s->max = d.max;
        s->choices = d.choices;
        s->choice_count = d.choice_count;
        s->text_max = d.text_max;
        if (d.kind == CORE_SETTING_CHOICE)
            s->choice = label_index(s, d.initial) > 0 ? label_index(s, d.initial) : 0;
        else if (d.kind == CORE_SETTING_TEXT)
            snprintf(s->text, sizeof s->text, "%.*s", d.text_max, d.initial);
    }
    // The starting lineup: the player in the middle gate with robots on either side.
    for (int i = 0; i < CORE_GATES; i++) {
        core_setting *s = &core_setting_items[CORE_SET_GATE_FIRST + i];
        snprintf(gate_keys[i], sizeof gate_keys[i], "slot%02d", i);
        snprintf(gate_labels[i], sizeof gate_labels[i], "Gate %d", i + 1);
        s->key = gate_keys[i];
        s->label = gate_labels[i];
        s->kind = CORE_SETTING_CHOICE;
        s->choices = gate_kinds;
        s->choice_count = COUNT(gate_kinds);
        s->choice = i == 19 ? 1 : (i >= 17 && i <= 22) ? 2 : 0;
    }
}

const char *core_settings_preset_name(int preset) {
    return preset >= 0 && preset < CORE_PRESETS ? preset_names[preset] : "Custom";
}

void core_settings_apply_preset(int preset) {
    if (preset < 0 || preset >= CORE_PRESETS) return;
    for (const preset_row &r : preset_rows) {
        if (core_setting_items[r.id].kind == CORE_SETTING_CHOICE)
            core_settings_set_choice(r.id, (int)r.values[preset]);
        else
            core_settings_set_number(r.id, r.values[preset]);
    }
}

int core_settings_matches_preset(int preset) {
    if (preset < 0 || preset >= CORE_PRESETS) return 0;
    for (const preset_row &r : preset_rows) {
        const core_setting *s = &core_setting_items[r.id];
        double v = s->kind == CORE_SETTING_CHOICE ? s->choice : s->value;
        if (v != r.values[preset]) return 0;
    }
    return 1;
}

int core_settings_find(const char *key) {
    if (!key) return -1;
    for (int i = 0; i < CORE_SETTING_COUNT; i++)
        if (core_setting_items[i].key && strcmp(core_setting_items[i].key, key) == 0) return i;
    return -1;
}

int core_settings_parse(int id, const char *value) {
    if (!valid(id) || !value) return 0;
    core_setting *s = &core_setting_items[id];
    switch (s->kind) {
    case CORE_SETTING_INT: {
        // "%d" semantics (leading space, trailing text allowed), except that a value beyond
        // the integer range or an infinity is clamped into the setting's range like any other
        // value beyond it.
        char *end = nullptr;
        double d = strtod(value, &end);
        if (end != value && !std::isnan(d) && (d > INT_MAX || d < INT_MIN))
            return core_settings_set_number(id, d);
        errno = 0;
        long v = strtol(value, &end, 10);
        if (end == value || errno == ERANGE || v < INT_MIN || v > INT_MAX) return 0;
        return core_settings_set_number(id, (double)v);
    }
    case CORE_SETTING_NUMBER: {
        double v; // "inf", "-inf" and 1e999 scan as infinities and are clamped below
        if (sscanf(value, "%lf", &v) != 1) return 0;
        return core_settings_set_number(id, v);
    }
    case CORE_SETTING_CHOICE:
        return core_settings_set_label(id, value);
    case CORE_SETTING_TEXT:
        return core_settings_set_text(id, value);
    }
    return 0;
}

int core_settings_format(int id, char *buf, size_t size) {
    if (!valid(id) || !buf || size == 0) return -1;
    const core_setting *s = &core_setting_items[id];
    int n = -1;
    switch (s->kind) {
    case CORE_SETTING_INT:
        n = snprintf(buf, size, "%d", (int)s->value);
        break;
    case CORE_SETTING_NUMBER:
        n = snprintf(buf, size, "%f", s->value);
        break;
    case CORE_SETTING_CHOICE:
        n = snprintf(buf, size, "%s", core_settings_label(id));
        break;
    case CORE_SETTING_TEXT:
        n = snprintf(buf, size, "%s", s->text);
        break;
    }
    return n >= 0 && (size_t)n < size ? n : -1;
}

int core_settings_int(int id) {
    return valid(id) ? (int)core_setting_items[id].value : 0;
}
double core_settings_number(int id) {
    return valid(id) ? core_setting_items[id].value : 0;
}
int core_settings_choice(int id) {
    return valid(id) ? core_setting_items[id].choice : 0;
}

const char *core_settings_label(int id) {
    if (!valid(id) || core_setting_items[id].kind != CORE_SETTING_CHOICE) return "";
    const core_setting *s = &core_setting_items[id];
    return s->choice >= 0 && s->choice < s->choice_count ? s->choices[s->choice] : "";
}

const char *core_settings_text(int id) {
    return valid(id) && core_setting_items[id].kind == CORE_SETTING_TEXT
               ? core_setting_items[id].text
               : "";
}

int core_settings_set_number(int id, double v) {
    if (!valid(id) || std::isnan(v)) return 0;
    core_setting *s = &core_setting_items[id];
    if (s->kind != CORE_SETTING_NUMBER && s->kind != CORE_SETTING_INT) return 0;
    v = v < s->min ? s->min : v > s->max ? s->max : v;
    s->value = s->kind == CORE_SETTING_INT ? (double)(int)v : v;
    return 1;
}

int core_settings_set_choice(int id, int index) {
    if (!valid(id) || core_setting_items[id].kind != CORE_SETTING_CHOICE) return 0;
    core_setting *s = &core_setting_items[id];
    s->choice = index < 0 ? 0 : index >= s->choice_count ? s->choice_count - 1 : index;
    return 1;
}

int core_settings_set_label(int id, const char *label) {
    if (!valid(id) || !label || core_setting_items[id].kind != CORE_SETTING_CHOICE) return 0;
    int i = label_index(&core_setting_items[id], label);
    if (i < 0) return 0;
    core_setting_items[id].choice = i;
    return 1;
}

int core_settings_set_text(int id, const char *text) {
    if (!valid(id) || !text || core_setting_items[id].kind != CORE_SETTING_TEXT) return 0;
    core_setting *s = &core_setting_items[id];
    snprintf(s->text, sizeof s->text, "%.*s", s->text_max, text);
    return 1;
}

void core_settings_render_inputs(core_render_inputs *in) {
    in->xres = core_settings_int(CORE_SET_XRES);
    in->yres = core_settings_int(CORE_SET_YRES);
    in->roost_density = core_settings_number(CORE_SET_ROOST_DENSITY);
    in->model_texture_detail = core_settings_number(CORE_SET_MODEL_TEXTURE_DETAIL);
    in->ground_texture_levels = core_settings_number(CORE_SET_GROUND_TEXTURE_DETAIL);
    in->ground_texture_dim_choice = core_settings_choice(CORE_SET_GROUND_TEXTURE_DIM_NEW);
    in->texture_compress_choice = core_settings_choice(CORE_SET_TEXTURE_COMPRESS);
    in->reflections_choice = core_settings_choice(CORE_SET_REFLECTIONS);
    in->ground_detail = core_settings_number(CORE_SET_GROUND_DETAIL);
    in->model_detail = core_settings_number(CORE_SET_MODEL_DETAIL);
}
