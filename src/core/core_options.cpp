// The command-line option table, the render settings and the display-mode list.
#include "core/core_options.h"

#include "base/zv_alloc.h"
#include "platform/platform.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

core_render_settings core_render;
core_settings core_options;

namespace {

enum option_kind { OPT_FLAG, OPT_VALUE };

enum option_id {
    O_FUGLY,
    O_NOSOUND,
    O_NOVERTEXARRAYS,
    O_LEARN,
    O_NOLEARN,
    O_NOMMX,
    O_DEBUG,
    O_SUPER_DEBUG,
    O_PRACTICE,
    O_WARP,
    O_TEXTURE_DETAIL,
    O_GROUND_TEXTURE_DETAIL,
    O_ROOSTFREQUENCY,
    O_ERODE,
    O_DETAIL,
    O_MAX_DETAIL_DISTANCE,
    O_LOD_SCALE,
    O_LOD_BIAS,
    O_LOCK_FPS,
    O_FAKE_LAG,
    O_FAKE_LOSS,
    O_RECORD_AUDIO,
    O_RECORD_VIDEO,
    O_ROTATE_LINEUP,
    O_EDITOR,
    O_HIDDEN_PAUSE,
    O_HIDDEN_HUD,
    O_BIKES,
    O_WIDTH,
    O_HEIGHT,
    O_DEPTH,
    O_ZDEPTH,
    O_DRAW_FPS,
    O_DRAW_TIME,
    O_DRAW_PING,
    O_DRAW_SPEED,
    O_DRAW_RENDER_STATS,
    O_ACCURATE_SKIP,
    O_TRACK,
    O_CONNECT,
    O_PASSWORD,
    O_CHASE_CENTER,
    O_OPEN_HOME,
    O_GLFINISH,
    O_GLVERSION,
    O_PRINT_ORIENTATION,
    O_COUNT
};

struct option_entry {
    const char *name;
    option_kind kind;
    const char *argument; // shown in the usage; "" for a flag
    const char *help;
};

// Matching order matters: the first entry that matches an argument consumes it.
const option_entry option_table[O_COUNT] = {
    {"--fugly", OPT_FLAG, "", "lowest-detail drawing"},
    {"--nosound", OPT_FLAG, "", "open no audio device"},
    {"--novertexarrays", OPT_FLAG, "", "draw without vertex arrays"},
    {"--learn", OPT_FLAG, "", "robots learn from every rider (the default)"},
    {"--nolearn", OPT_FLAG, "", "robots keep their lines as loaded"},
    {"--nommx", OPT_FLAG, "", "accepted for old scripts; no effect"},
    {"--debug", OPT_FLAG, "", "log more (debug level 1)"},
    {"--super-debug", OPT_FLAG, "", "log everything (debug level 2)"},
    {"--practice", OPT_FLAG, "", "every robot rides as the tester"},
    {"--warp", OPT_FLAG, "", "race as fast as the machine allows, again and again"},
    {"--texture-detail", OPT_VALUE, "N", "texture reduction, 0 (full) to 4"},
    {"--ground-texture-detail", OPT_VALUE, "N", "ground texture reduction, 0 to 4"},
    {"--roostfrequency", OPT_VALUE, "N", "dirt spray particles, 0 to 1000"},
    {"--erode", OPT_VALUE, "F", "ground erosion rate, 0 to 100"},
    {"--detail", OPT_VALUE, "F", "ground mesh detail"},
    {"--max-detail-distance", OPT_VALUE, "F", "distance of full ground detail"},
    {"--lod-scale", OPT_VALUE, "F", "model level-of-detail scale"},
    {"--lod-bias", OPT_VALUE, "F", "model level-of-detail bias"},
    {"--lock-fps", OPT_VALUE, "F", "a fixed frame rate; every frame advances 1/F s"},
    {"--fake-lag", OPT_VALUE, "MS", "added network delay in milliseconds"},
    {"--fake-loss", OPT_VALUE, "N", "dropped network packets in percent"},
    {"--record-audio", OPT_VALUE, "FILE", "record the sound to FILE"},
    {"--record-video", OPT_FLAG, "", "write every frame to standard output as PPM"},
    {"--rotate-lineup", OPT_VALUE, "N", "rotate the starting lineup by N gates"},
    {"--editor", OPT_FLAG, "", "put the track editor in the Tab cycle"},
    {"--hidden-pause", OPT_FLAG, "", "do not draw \"Paused\""},
    {"--hidden-hud", OPT_FLAG, "", "do not draw the HUD"},
    {"--bikes", OPT_VALUE, "ANY", "accepted for old scripts; no effect"},
    {"--width", OPT_VALUE, "N", "window width"},
    {"--height", OPT_VALUE, "N", "window height"},
    {"--depth", OPT_VALUE, "N", "colour depth"},
    {"--zdepth", OPT_VALUE, "N", "depth-buffer depth"},
    {"--draw-fps", OPT_VALUE, "N", "frame-rate display level"},
    {"--draw-time", OPT_VALUE, "N", "race time display level"},
    {"--draw-ping", OPT_VALUE, "N", "ping display level"},
    {"--draw-speed", OPT_VALUE, "N", "speed display level"},
    {"--draw-render-stats", OPT_VALUE, "N", "drawing statistics level"},
    {"--accurate-skip", OPT_FLAG, "", "skip forward in old demos by simulating"},
    {"--track", OPT_VALUE, "NAME", "race on track NAME at start"},
    {"--connect", OPT_VALUE, "ADDRESS", "join the race server at ADDRESS"},
    {"--password", OPT_VALUE, "TEXT", "the race server's password"},
    {"--chase-center", OPT_VALUE, "X,Y,Z", "the chase camera's centre on the bike"},
    {"--open-home", OPT_FLAG, "", "open the home folder and end"},
    {"--glfinish", OPT_FLAG, "", "finish GL every frame"},
    {"--glversion", OPT_VALUE, "M.N[core|es]", "request an OpenGL version and dialect"},
    {"--print-orientation", OPT_FLAG, "", "log the viewed bike's orientation"},
};

struct option_cursor {
    int remaining;
    char **next;
    int end_of_options;
};

// Reads a decimal integer the way "%d" does: leading blanks, a sign, at least one digit;
// anything after the digits is left. Out-of-range values saturate instead of wrapping.
int parse_int(const char *text, int *out, const char **end = nullptr) {
    if (!text) return 0;
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    const char *digits = p;
    if (*digits == '+' || *digits == '-') digits++;
    if (*digits < '0' || *digits > '9') return 0;
    errno = 0;
    char *stop;
    long v = strtol(p, &stop, 10);
    if (v > INT_MAX || (errno == ERANGE && v > 0)) v = INT_MAX;
    if (v < INT_MIN || (errno == ERANGE && v < 0)) v = INT_MIN;
    *out = (int)v;
    if (end) *end = stop;
    return 1;
}

// Reads a real the way "%f" does, but refuses infinities and NaNs: no option has a use for
// them and they poison every clamp downstream.
int parse_float(const char *text, float *out, const char **end = nullptr) {
    if (!text) return 0;
    char *stop;
    float v = strtof(text, &stop);
    if (stop == text || !std::isfinite(v)) return 0;
    *out = v;
    if (end) *end = stop;
    return 1;
}

int clamp_int(int v, int lo, int hi) {
    return v < lo ? lo : v > hi ? hi : v;
}
float clamp_float(float v, float lo, float hi) {
    return v < lo ? lo : v > hi ? hi : v;
}
double clamp_double(double v, double lo, double hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

void result_fail(core_options_result *out, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));
void result_fail(core_options_result *out, const char *fmt, ...) {
    size_t used = strlen(out->stderr_text);
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(out->stderr_text + used, sizeof out->stderr_text - used, fmt, ap);
    va_end(ap);
    out->exit_code = 1;
}

void result_note(core_options_result *out, const char *text) {
    size_t used = strlen(out->stderr_text);
    snprintf(out->stderr_text + used, sizeof out->stderr_text - used, "%s", text);
}

// Does the argument under the cursor match option i? On a match *value receives the value of a
// valued option (null when it was the last argument) and the cursor moves past what it took.
int cursor_match(option_cursor *c, int i, const char **value) {
    if (c->end_of_options || c->remaining <= 0) return 0;
    const char *arg = c->next[0];
    const char *name = option_table[i].name;
    size_t n = strlen(name);
    if (option_table[i].kind == OPT_FLAG) {
        if (strcmp(arg, name) != 0) return 0;
        c->next++;
        c->remaining--;
        *value = nullptr;
        return 1;
    }
    if (strcmp(arg, name) == 0) {
        c->next++;
        c->remaining--;
        if (c->remaining > 0) {
            *value = c->next[0];
            c->next++;
            c->remaining--;
        } else {
            *value = nullptr;
        }
        return 1;
    }
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value = arg + n + 1;
        c->next++;
        c->remaining--;
        return 1;
    }
    return 0;
}

// Applies option i with its value. Returns 0 after recording an error in out.
int option_apply(int i, const char *v, core_settings *s, core_render_settings *r,
                 core_options_result *out) {
    int n = 0;
    float f = 0;
    switch (i) {
    case O_FUGLY:
        r->fugly = 1;
        break;
    case O_NOSOUND:
        s->sound_off = 1;
        break;
    case O_NOVERTEXARRAYS:
        r->novertexarrays = 1;
        break;
    case O_LEARN:
        s->learning = 1;
        break;
    case O_NOLEARN:
        s->learning = 0;
        break;
    case O_NOMMX:
        break;
    case O_DEBUG:
        r->debug_level = 1;
        break;
    case O_SUPER_DEBUG:
        r->debug_level = 2;
        break;
    case O_PRACTICE:
        r->practice = 1;
        break;
    case O_WARP:
        s->warp = 1;
        break;
    case O_TEXTURE_DETAIL:
        if (!parse_int(v, &n)) return result_fail(out, "Bad arg for --texture-detail\n"), 0;
        r->model_texture_reduction = r->ground_texture_reduction = clamp_int(n, 0, 4);
        break;
    case O_GROUND_TEXTURE_DETAIL:
        if (!parse_int(v, &n)) return result_fail(out, "Bad arg for --ground-texture-detail\n"), 0;
        r->ground_texture_reduction = clamp_int(n, 0, 4);
        break;
    case O_ROOSTFREQUENCY:
        if (!parse_int(v, &n)) return result_fail(out, "Bad arg for --roostfrequency\n"), 0;
        r->roost_frequency = clamp_int(n, 0, 1000);
        break;
    case O_ERODE:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --erode\n"), 0;
        s->erosion_rate = (int)floor(clamp_double(f, 0, 100) * 1024);
        break;
    case O_DETAIL:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --detail\n"), 0;
        r->detail = f;
        break;
    case O_MAX_DETAIL_DISTANCE:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --max-detail-distance\n"), 0;
        r->max_detail_distance = f;
        r->max_detail_distance_plus5 = f + 5;
        break;
    case O_LOD_SCALE:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --lod-scale\n"), 0;
        r->lod_scale = clamp_float(f, 1e-6f, 1e6f);
        break;
    case O_LOD_BIAS:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --lod-bias\n"), 0;
        r->lod_bias = f;
        break;
    case O_LOCK_FPS:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --lock-fps\n"), 0;
        s->lock_fps = f;
        break;
    case O_FAKE_LAG:
        if (!parse_float(v, &f)) return result_fail(out, "Bad arg for --fake-lag\n"), 0;
        s->fake_lag = (float)clamp_double(f * 0.001, 0, 1);
        break;
    case O_FAKE_LOSS:
        if (!parse_int(v, &n)) return result_fail(out, "Bad arg for --fake-loss\n"), 0;
        s->fake_loss = clamp_int(n, 0, 100);
        break;
    case O_RECORD_AUDIO:
        if (v) s->record_audio_path = v;
        break;
    case O_RECORD_VIDEO:
        s->record_video = 1;
        break;
    case O_ROTATE_LINEUP:
        if (parse_int(v, &n)) s->lineup_rotation = n;
        break;
    case O_EDITOR:
        s->editor = 1;
        break;
    case O_HIDDEN_PAUSE:
        s->show_pause_text = 0;
        break;
    case O_HIDDEN_HUD:
        s->show_hud = 0;
        break;
    case O_BIKES:
        result_note(out, "--bikes doesn't do anything anymore\n");
        break;
    case O_WIDTH:
        if (parse_int(v, &n)) r->xres = n;
        break;
    case O_HEIGHT:
        if (parse_int(v, &n)) r->yres = n;
        break;
    // These take 0 for text that is not a number, as an integer conversion does.
    case O_DEPTH:
        if (v) s->depth = parse_int(v, &n) ? n : 0;
        break;
    case O_ZDEPTH:
        if (v) s->zdepth = parse_int(v, &n) ? n : 0;
        break;
    case O_DRAW_FPS:
        if (v) s->draw_fps = parse_int(v, &n) ? n : 0;
        break;
    case O_DRAW_TIME:
        if (v) s->draw_time = parse_int(v, &n) ? n : 0;
        break;
    case O_DRAW_PING:
        if (v) s->draw_ping = parse_int(v, &n) ? n : 0;
        break;
    case O_DRAW_SPEED:
        if (v) s->draw_speed = parse_int(v, &n) ? n : 0;
        break;
    case O_DRAW_RENDER_STATS:
        if (v) s->draw_render_stats = parse_int(v, &n) ? n : 0;
        break;
    case O_ACCURATE_SKIP:
        s->accurate_skip = 1;
        break;
    case O_TRACK:
        if (v) s->start_track = v;
        break;
    case O_CONNECT:
        if (v) {
            if (strncmp(v, "zelvo:", 6) == 0) v += 6;
            // The server item and history hold 127 characters; longer text is cut, not overrun.
            snprintf(s->connect_address, sizeof s->connect_address, "%s", v);
        }
        break;
    case O_PASSWORD:
        if (v) s->password = v;
        break;
    case O_CHASE_CENTER: {
        float c[3];
        const char *p = v;
        int ok = parse_float(p, &c[0], &p) && *p == ',' && parse_float(p + 1, &c[1], &p) &&
                 *p == ',' && parse_float(p + 1, &c[2], &p);
        if (!ok) return result_fail(out, "Bad arg for --chase-center\n"), 0;
        memcpy(s->chase_center, c, sizeof c);
        break;
    }
    case O_OPEN_HOME:
        s->open_home = 1;
        break;
    case O_GLFINISH:
        s->glfinish = 1;
        break;
    case O_GLVERSION: {
        int major = 0, minor = 0;
        const char *p = v;
        if (!parse_int(p, &major, &p) || *p != '.' || !parse_int(p + 1, &minor, &p))
            return result_fail(out, "bad arg for --glversion\n"), 0;
        // The suffix is one word of at most 15 characters after optional blanks.
        while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            p++;
        size_t len = 0;
        while (p[len] && !(p[len] == ' ' || (p[len] >= '\t' && p[len] <= '\r')) && len < 15)
            len++;
        int dialect;
        if (len == 0 || (len == 13 && strncmp(p, "compatibility", 13) == 0))
            dialect = PLATFORM_GL_COMPATIBILITY;
        else if (len == 4 && strncmp(p, "core", 4) == 0)
            dialect = PLATFORM_GL_CORE;
        else if (len == 2 && strncmp(p, "es", 2) == 0)
            dialect = PLATFORM_GL_ES;
        else
            return result_fail(out, "unknown OpenGL dialect for --glversion (must be "
                                    "'compatibility', 'core' or 'es')\n"),
                   0;
        s->gl_major = major;
        s->gl_minor = minor;
        s->gl_dialect = dialect;
        break;
    }
    case O_PRINT_ORIENTATION:
        s->print_orientation = 1;
        break;
    default:
        break;
    }
    return 1;
}

} // namespace

void core_settings_defaults(core_settings *s) {
    memset(s, 0, sizeof *s);
    s->show_pause_text = 1;
    s->show_hud = 1;
    s->depth = 16;
    s->zdepth = 16;
    s->chase_center[0] = 0.0f;
    s->chase_center[1] = 2.52f;
    s->chase_center[2] = 0.52f;
    s->gl_major = 3;
    s->gl_minor = 1;
    s->gl_dialect = PLATFORM_GL_CORE;
    s->learning = 1;
    s->draw_ping = 1;
}

void core_render_defaults(core_render_settings *r) {
    memset(r, 0, sizeof *r);
    r->xres = 640;
    r->yres = 480;
    r->roost_frequency = 1000;
    r->ground_texture_size = 128;
    r->reserved_flag0 = 1;
    r->reserved_flag1 = 1;
    r->texture_compression = 1;
    r->reserved_flag2 = 1;
    r->reflections = 1;
    r->reserved_value0 = 65536;
    r->detail = 0.02f;
    r->max_detail_distance = 70;
    r->max_detail_distance_plus5 = 75;
    r->lod_bias = 0;
    r->lod_scale = 1;
}

void core_render_inputs_defaults(core_render_inputs *in) {
    in->xres = 640;
    in->yres = 480;
    in->roost_density = 250;
    in->model_texture_detail = 9;
    in->ground_texture_levels = 9;
    in->ground_texture_dim_choice = 3; // "1024x1024"
    in->texture_compress_choice = 1;
    in->reflections_choice = 1;
    in->ground_detail = 50;
    in->model_detail = 50;
}

void core_render_derive(const core_render_inputs *in, core_render_settings *r) {
    core_render_inputs def;
    core_render_inputs_defaults(&def);
    // The inputs come from a file the user may edit: fall back to defaults for non-finite ones.
    auto pick = [](double v, double d) { return std::isfinite(v) ? v : d; };
    double roost = pick(in->roost_density, def.roost_density);
    double model_tex = pick(in->model_texture_detail, def.model_texture_detail);
    double ground_tex = pick(in->ground_texture_levels, def.ground_texture_levels);
    double ground_detail = pick(in->ground_detail, def.ground_detail);
    double m = pick(in->model_detail, def.model_detail);

    r->xres = in->xres;
    r->yres = in->yres;
    r->roost_frequency = (int)clamp_double(roost, 0, 1000);
    r->model_texture_reduction = (int)clamp_double(10 - model_tex, 0, 10);
    r->ground_texture_reduction = (int)clamp_double(10 - ground_tex, 0, 10);
    r->ground_texture_size = 128 << clamp_int(in->ground_texture_dim_choice, 0, 5);
    r->texture_compression = clamp_int(in->texture_compress_choice, 0, 2);
    r->reflections = clamp_int(in->reflections_choice, 0, 1);
    // A detail of 0 would divide by zero; the least detail the menu means is 1.
    r->detail = (float)(0.125 / (ground_detail < 1 ? 1 : ground_detail));
    r->lod_bias = (float)(50 - 50 * clamp_double((m - 10) * 0.05, 0, 1));
    double s = clamp_double(100 - m, 0, 100) * 0.02;
    if (s > 1) s = s * s * s;
    r->lod_scale = (float)s;
}

void core_options_parse(int argc, char **argv, core_settings *s, core_render_settings *r,
                        core_options_result *out) {
    out->exit_code = CORE_OPTIONS_GO_ON;
    out->show_usage = 0;
    out->stderr_text[0] = 0;
    option_cursor c = {argc > 0 ? argc - 1 : 0, argc > 0 ? argv + 1 : argv, 0};
    while (c.remaining > 0) {
        const char *arg = c.next[0];
        if (!arg) break;
        // These three are whole-string checks made before the cursor's matcher, so they are
        // honoured even after "--".
        int early = -1;
        if (strcmp(arg, "--fugly") == 0)
            early = O_FUGLY;
        else if (strcmp(arg, "--nosound") == 0)
            early = O_NOSOUND;
        else if (strcmp(arg, "--novertexarrays") == 0)
            early = O_NOVERTEXARRAYS;
        if (early >= 0) {
            option_apply(early, nullptr, s, r, out);
            c.next++;
            c.remaining--;
            continue;
        }
        if (!c.end_of_options && (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0)) {
            out->show_usage = 1;
            out->exit_code = 0;
            return;
        }
        if (!c.end_of_options && strcmp(arg, "--") == 0) {
            c.end_of_options = 1;
            c.next++;
            c.remaining--;
            continue;
        }
        int matched = 0;
        for (int i = 0; i < O_COUNT && !matched; i++) {
            const char *value = nullptr;
            if (cursor_match(&c, i, &value)) {
                matched = 1;
                if (!option_apply(i, value, s, r, out)) return;
                if (i == O_OPEN_HOME) {
                    out->exit_code = 0;
                    return;
                }
            }
        }
        if (matched) continue;
        if (arg[0] != '-' || c.end_of_options) {
            if (s->file_arg) {
                result_fail(out, "Too many files!\n");
                return;
            }
            s->file_arg = arg;
            c.next++;
            c.remaining--;
            continue;
        }
        result_fail(out, "bad option '%s'\nRun 'zelvo --help' for the options.\n", arg);
        return;
    }
    // The server chooses the track of an online race.
    if (s->connect_address[0]) s->start_track = nullptr;
}

void core_options_usage(FILE *out) {
    fprintf(out, "usage: zelvo [OPTION]... [DEMO.zvdemo]\n"
                 "Races on the default data; a demo file named plays on its own track.\n\n");
    for (const option_entry &o : option_table) {
        char left[64];
        snprintf(left, sizeof left, "%s%s%s", o.name, o.argument[0] ? " " : "", o.argument);
        fprintf(out, "  %-34s %s\n", left, o.help);
    }
    fprintf(out, "  %-34s %s\n", "-h, --help", "show this text and end");
}

int core_options_count(void) {
    return O_COUNT;
}

const char *core_options_name(int i) {
    return i >= 0 && i < O_COUNT ? option_table[i].name : nullptr;
}

// ---- display modes ---------------------------------------------------------------------------

namespace {

struct display_mode_list {
    core_display_mode *entries;
    int count;
};

display_mode_list g_modes;

// A platform that reports absurd numbers of modes must not make the menu list unbounded.
constexpr int DISPLAY_MODES_MAX = 1024;

} // namespace

int core_display_modes_build(const platform_display_mode *modes) {
    core_display_modes_free();
    int platform_count = 0;
    while (modes && platform_count < DISPLAY_MODES_MAX && modes[platform_count].width != 0)
        platform_count++;
    g_modes.entries =
        (core_display_mode *)zv_alloc_zeroed((size_t)platform_count + 2, sizeof(core_display_mode));
    snprintf(g_modes.entries[0].name, CORE_DISPLAY_MODE_NAME, "Default Fullscreen");
    snprintf(g_modes.entries[1].name, CORE_DISPLAY_MODE_NAME, "Windowed");
    int n = 2;
    for (int i = 0; i < platform_count; i++) {
        if (modes[i].bpp != modes[0].bpp) continue;
        core_display_mode *e = &g_modes.entries[n++];
        snprintf(e->name, CORE_DISPLAY_MODE_NAME, "%dx%d", modes[i].width, modes[i].height);
        e->width = modes[i].width;
        e->height = modes[i].height;
    }
    g_modes.count = n;
    return n;
}

void core_display_modes_free(void) {
    zv_free(g_modes.entries);
    g_modes.entries = nullptr;
    g_modes.count = 0;
}

int core_display_mode_count(void) {
    return g_modes.count;
}

const core_display_mode *core_display_mode_at(int i) {
    return i >= 0 && i < g_modes.count ? &g_modes.entries[i] : nullptr;
}

int core_display_mode_find(const char *name) {
    for (int i = 0; name && i < g_modes.count; i++)
        if (strcmp(g_modes.entries[i].name, name) == 0) return i;
    return -1;
}
