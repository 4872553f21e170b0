#include "core/core_config.h"

#include "base/zv_alloc.h"
#include "core/core_binding.h"
#include "core/core_main.h"
#include "core/core_settings.h"
#include "data/data_file.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

bike_setup core_config_setup;

namespace {

int g_setup_live; // core_config_setup has been initialised (it owns lists)

// Appends to a bounded buffer while counting what the whole text needs.
struct text_out {
    char *buf;
    size_t size;
    size_t len;
};

void out_add(text_out *o, const char *s) {
    size_t n = strlen(s);
    if (o->size && o->len < o->size - 1) {
        size_t room = o->size - 1 - o->len;
        memcpy(o->buf + o->len, s, n < room ? n : room);
    }
    o->len += n;
    if (o->size) o->buf[o->len < o->size - 1 ? o->len : o->size - 1] = 0;
}

void out_printf(text_out *o, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void out_printf(text_out *o, const char *fmt, ...) {
    char line[CORE_CONFIG_LINE + 64];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    out_add(o, line);
}

void out_setting(text_out *o, int id) {
    char value[CORE_SETTING_TEXT_SIZE + 64];
    if (core_settings_format(id, value, sizeof value) < 0) value[0] = 0;
    out_printf(o, "%s=%s\n", core_setting_items[id].key, value);
}

void setup_sink(void *ctx, const char *line) {
    out_add((text_out *)ctx, line);
}

int special_key(const char *key, const char *value) {
    static const char hist[] = "server_name_hist";
    const size_t hl = sizeof hist - 1;
    if (strncmp(key, hist, hl) == 0 && isdigit((unsigned char)key[hl]) &&
        isdigit((unsigned char)key[hl + 1]) && key[hl + 2] == 0) {
        int n = (key[hl] - '0') * 10 + (key[hl + 1] - '0');
        if (n >= CORE_SERVER_HISTORY) return 0;
        // An entry of 127 characters or more would not fit; it is dropped, not cut.
        if (strlen(value) < CORE_SERVER_NAME - 1)
            snprintf(core_server_history[n], CORE_SERVER_NAME, "%s", value);
        return 1;
    }
    if (strcmp(key, "use_fbo") == 0) {
        if (!core_settings_parse(CORE_SET_USE_FBO, value)) return 1;
        core_settings_set_label(CORE_SET_RENDER_TEXTURE, core_settings_choice(CORE_SET_USE_FBO)
                                                             ? "Hardware/Direct"
                                                             : "Hardware/Copy");
        return 1;
    }
    if (strcmp(key, "ground_texture_distance") == 0) return 1;
    return 0;
}

} // namespace

void core_config_defaults(void) {
    core_settings_init();
    core_settings_apply_preset(CORE_PRESET_COMPATIBILITY);
    core_binding_defaults();
    if (g_setup_live)
        bike_setup_reset(&core_config_setup);
    else
        bike_setup_init(&core_config_setup);
    g_setup_live = 1;
    // A new player starts on the 250 four-stroke.
    bike_setup_select_bike(&core_config_setup, "yz250f(2017)");
    memset(core_server_history, 0, sizeof core_server_history);
}

int core_config_line(const char *line) {
    if (!line) return 0;
    if (!g_setup_live) {
        bike_setup_init(&core_config_setup);
        g_setup_live = 1;
    }
    const char *eq = strchr(line, '=');
    if (!eq) return 0;
    char key[CORE_CONFIG_LINE], value[CORE_CONFIG_LINE];
    size_t klen = (size_t)(eq - line);
    if (klen >= sizeof key) return 0;
    memcpy(key, line, klen);
    key[klen] = 0;
    snprintf(value, sizeof value, "%s", eq + 1);
    size_t vlen = strlen(value);
    while (vlen > 0 && (value[vlen - 1] == '\r' || value[vlen - 1] == '\n'))
        value[--vlen] = 0;

    if (bike_setup_read_line(&core_config_setup, key, value)) return 1;
    if (special_key(key, value)) return 1;
    int id = core_settings_find(key);
    if (id >= 0) {
        core_settings_parse(id, value);
        return 1;
    }
    int b = core_binding_find(key);
    if (b >= 0) {
        core_binding_parse(&core_bindings[b], value);
        return 1;
    }
    return 0;
}

int core_config_read(const char *name) {
    data_file *f = data_open(name, "rb");
    if (!f) return 0;
    char line[CORE_CONFIG_LINE];
    int len = 0, overlong = 0;
    // Byte by byte so that an over-long line is dropped whole instead of being split.
    for (;;) {
        int c = data_getc(f);
        if (c < 0 || c == '\n') {
            if (!overlong && len > 0) {
                line[len] = 0;
                core_config_line(line);
            }
            if (overlong)
                platform_log("config warning: line longer than %d characters ignored\n",
                             CORE_CONFIG_LINE - 1);
            len = 0;
            overlong = 0;
            if (c < 0) break;
            continue;
        }
        if (len < CORE_CONFIG_LINE - 1)
            line[len++] = (char)c;
        else
            overlong = 1;
    }
    data_close(f);
    const char *const *files = nullptr;
    int count = 0;
    files = bike_setup_file_list(&count);
    bike_setup_read_finish(&core_config_setup, files, count);
    return 1;
}

size_t core_config_text(char *buf, size_t size) {
    if (!g_setup_live) {
        bike_setup_init(&core_config_setup);
        g_setup_live = 1;
    }
    text_out o = {buf, size, 0};
    if (size) buf[0] = 0;
    static const int head[] = {CORE_SET_XRES,      CORE_SET_YRES,      CORE_SET_DRAW_FPS,
                               CORE_SET_DRAW_TIME, CORE_SET_DRAW_PING, CORE_SET_DRAW_SPEED,
                               CORE_SET_SPY,       CORE_SET_TRACK,     CORE_SET_RECORD,
                               CORE_SET_SKILL,     CORE_SET_MINUTES,   CORE_SET_LAPS};
    for (int id : head)
        out_setting(&o, id);
    for (int i = 0; i < CORE_GATES; i++)
        out_setting(&o, CORE_SET_GATE_FIRST + i);
    out_setting(&o, CORE_SET_GHOST_FADE);
    out_setting(&o, CORE_SET_TIME_TRIAL_ABORT);
    bike_setup_write(&core_config_setup, setup_sink, &o);
    out_setting(&o, CORE_SET_VIDEO_MODE);
    out_setting(&o, CORE_SET_SERVER_NAME);
    for (int i = 0; i < CORE_SERVER_HISTORY; i++)
        out_printf(&o, "server_name_hist%02d=%.126s\n", i, core_server_history[i]);
    for (int id = CORE_SET_GROUND_DETAIL; id <= CORE_SET_MAP_SCALE; id++)
        out_setting(&o, id);
    for (int i = 0; i < CORE_BINDINGS; i++) {
        char line[CORE_BINDING_NAME * 2 + 96];
        if (core_binding_format(&core_bindings[i], line, sizeof line) > 0) out_add(&o, line);
    }
    return o.len;
}

int core_config_write(const char *name) {
    size_t need = core_config_text(nullptr, 0);
    char *text = (char *)zv_alloc(need + 1);
    core_config_text(text, need + 1);
    char tmp[512];
    int ok = snprintf(tmp, sizeof tmp, "%s.tmp", name) < (int)sizeof tmp;
    data_file *f = ok ? data_open(tmp, "wb") : nullptr;
    if (!f) {
        zv_free(text);
        platform_log("config warning: can't write \"%s\"\n", name);
        return 0;
    }
    ok = data_write(f, text, (int)need) == (int)need;
    ok = data_close(f) && ok;
    zv_free(text);
    // Only a complete file replaces the old one.
    if (ok) ok = data_rename(tmp, name);
    if (!ok) platform_log("config warning: can't write \"%s\"\n", name);
    return ok;
}

void core_config_loop_options(core_loop_options *o) {
    if (!g_setup_live) {
        bike_setup_init(&core_config_setup);
        g_setup_live = 1;
    }
    o->reversed_steering = core_config_setup.choice[SETUP_REVERSE_STEERING];
    o->sticky_dab = core_config_setup.choice[SETUP_STICKY_DAB];
    o->backing_up_aborts = core_settings_choice(CORE_SET_TIME_TRIAL_ABORT);
    o->terrain_sync_rate = (int)core_settings_number(CORE_SET_TERRAIN_RESYNC);
    o->spy = core_settings_int(CORE_SET_SPY);
}
