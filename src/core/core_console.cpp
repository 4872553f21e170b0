// The chat line's entered text. Chat goes to the race server; a line starting with '/' or '\' is
// a command from the table below, tried in its order. Replies and failures go to the message
// log; a command nobody knows does nothing.
#include "core/core_console.h"

#include "base/zv_alloc.h"
#include "base/zv_label.h"
#include "base/zv_message.h"
#include "bike/bike.h"
#include "bike/bike_model.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "net/net_transfer.h"
#include "race/race.h"
#include "sound/sound.h"
#include "track/track_load.h"
#include "track/track_objects.h"
#include "track/track_terrain.h"
#include "ui/hud.h"
#include "ui/ui_menu.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

core_console_state core_console = {nullptr, 0, 0, 0, -1e9};

namespace {

constexpr double DEG = 3.14159265358979323846 / 180;

// ---- keyframes ---------------------------------------------------------------------------------

int grow_keys(camera_keyframe **keys, int *capacity, int need) {
    if (need <= *capacity) return 1;
    if (need > CORE_KEYFRAMES_MAX) return 0;
    int cap = *capacity ? *capacity * 2 : 16;
    if (cap < need) cap = need;
    void *p = zv_realloc(*keys, sizeof(camera_keyframe) * (size_t)cap);
    if (!p) return 0;
    *keys = (camera_keyframe *)p;
    *capacity = cap;
    return 1;
}

// Before the first keyframe with a later tic, so keyframes of one tic keep their order.
int insert_key(camera_keyframe **keys, int *count, int *capacity, const camera_keyframe *k) {
    if (!grow_keys(keys, capacity, *count + 1)) return 0;
    int at = 0;
    while (at < *count && (*keys)[at].tic <= k->tic)
        at++;
    memmove(*keys + at + 1, *keys + at, sizeof(camera_keyframe) * (size_t)(*count - at));
    (*keys)[at] = *k;
    (*count)++;
    return 1;
}

// ---- matching ----------------------------------------------------------------------------------

int exact(const char *cmd, const char *word) {
    return strcmp(cmd, word) == 0;
}

// The line begins with the word; the argument follows right after it.
int prefix(const char *cmd, const char *word, const char **arg) {
    size_t n = strlen(word);
    if (strncmp(cmd, word, n) != 0) return 0;
    *arg = cmd + n;
    return 1;
}

// Leading spaces skipped, then the word followed by a space or the end.
int word(const char *cmd, const char *w, const char **arg) {
    while (*cmd == ' ')
        cmd++;
    size_t n = strlen(w);
    if (strncmp(cmd, w, n) != 0 || (cmd[n] != ' ' && cmd[n] != 0)) return 0;
    *arg = cmd + n;
    return 1;
}

// A file name the commands may put under one of the home folders: no folder parts, nothing
// hidden, so a typed name cannot reach outside "setups/", "keycam/" or "demos/".
int bare_name_ok(const char *name) {
    if (!name || !name[0] || name[0] == '.') return 0;
    for (const char *c = name; *c; c++)
        if (*c == '/' || *c == '\\' || (unsigned char)*c < 32) return 0;
    return 1;
}

// The argument's first word (leading spaces skipped) into out; 0 when empty or too long.
int first_word(const char *arg, char *out, size_t size) {
    while (*arg == ' ')
        arg++;
    size_t n = 0;
    while (arg[n] && arg[n] != ' ')
        n++;
    if (n == 0 || n >= size) return 0;
    memcpy(out, arg, n);
    out[n] = 0;
    return 1;
}

int contains_nocase(const char *text, const char *pattern) {
    size_t n = strlen(pattern);
    for (; *text; text++) {
        size_t i = 0;
        while (i < n && text[i] &&
               tolower((unsigned char)text[i]) == tolower((unsigned char)pattern[i]))
            i++;
        if (i == n) return 1;
    }
    return n == 0;
}

const bike_record *viewed_bike(void) {
    int s = core_loop.viewed_slot;
    if (s < 0 || s >= BIKE_SLOTS || !bike_world.bikes[s].present) return nullptr;
    return &bike_world.bikes[s];
}

// ---- commands ----------------------------------------------------------------------------------

void cmd_pipe(const char *arg) {
    const bike_record *b = viewed_bike();
    if (!b) return;
    const char *cls = b->m ? b->m->engine_class : "";
    int four = strcmp(cls, "250f") == 0 || strcmp(cls, "450f") == 0;
    float length = four ? 5.0f : 1.75f, spread = four ? 0.918f : 0.3f;
    float gain = four ? -0.85f : -0.75f;
    int a = 0, z = 15;
    sscanf(arg, "%f %f %f %d %d", &length, &spread, &gain, &a, &z);
    if (!std::isfinite(length) || !std::isfinite(spread) || !std::isfinite(gain)) return;
    sound_slot_pipe(b->slot, length, spread, gain, a, z);
    zv_message_add("Pipe updated");
}

void cmd_namedemo(const char *arg) {
    if (!demo_recording_active() || race.time_trial) {
        zv_message_add("Not currently recording a demo");
        return;
    }
    char name[2048];
    if (!first_word(arg, name, sizeof name - 8)) {
        zv_message_add(arg[0] && arg[strspn(arg, " ")] ? "Name too long"
                                                       : "Usage: namedemo <name>");
        return;
    }
    size_t n = strlen(name);
    const char *ext = ".zvdemo";
    if (n < 7 || strcmp(name + n - 7, ext) != 0) strcat(name, ext);
    if (strlen(name) > 1016) {
        zv_message_add("Name too long");
        return;
    }
    if (!bare_name_ok(name)) {
        zv_message_add("Demo names may not hold folders");
        return;
    }
    snprintf(demo_race.pending_name, sizeof demo_race.pending_name, "%s", name);
    zv_message_add("Demo name updated");
}

void cmd_camangle(const char *arg) {
    if (!viewed_bike()) return;
    float yaw, pitch;
    if (sscanf(arg, "%f %f", &yaw, &pitch) != 2 || !std::isfinite(yaw) || !std::isfinite(pitch)) {
        zv_message_add("Usage: camangle <yaw> <pitch>");
        return;
    }
    core_loop.free_yaw = (float)(yaw * DEG);
    core_loop.free_pitch = (float)(pitch * DEG);
    core_loop.free_aimed = 1;
    zv_message_add("Camera aimed");
}

void cmd_fov(const char *arg) {
    float f;
    if (sscanf(arg, "%f", &f) != 1 || !std::isfinite(f)) {
        zv_message_add("Usage: fov <degrees>");
        return;
    }
    core_settings_set_number(CORE_SET_FOV, f < 10 ? 10 : f > 170 ? 170 : f);
    zv_message_add("fov set");
}

void cmd_fpshist(void) {
    char line[256];
    int at = 0;
    for (int i = 0; i < 8; i++)
        at += snprintf(line + at, sizeof line - at, "%d=%d ", 128 >> i, core_loop.histogram[i]);
    zv_message_add("%s", line);
    memset(core_loop.histogram, 0, sizeof core_loop.histogram);
}

void cmd_saveframetimes(void) {
    data_file *f = data_open("@frametimes.txt", "wb");
    if (!f) {
        zv_message_add("Error opening \"frametimes.txt\" for writing");
        return;
    }
    int ok = 1;
    for (int i = 0; i < core_loop.frame_log_count && ok; i++) {
        char line[64];
        int n = snprintf(line, sizeof line, "%f\n", core_loop.frame_log[i]);
        ok = data_write(f, line, n) == n;
    }
    if (!data_close(f) || !ok) {
        zv_message_add("Error opening \"frametimes.txt\" for writing");
        return;
    }
    core_loop.frame_log_count = 0;
    zv_message_add("Frame times saved to \"frametimes.txt\"");
}

void cmd_readsetup(const char *arg) {
    char name[1024];
    if (!first_word(arg, name, sizeof name) || !bare_name_ok(name)) {
        zv_message_add("Error reading setup");
        return;
    }
    if (!bike_setup_read_file(&core_config_setup, name)) return;
    int count;
    const char *const *files = bike_setup_file_list(&count);
    // The bike may have changed, and with it the bike graphics on offer; the four graphics
    // choices are found again by their labels.
    char labels[GFX_KIND_COUNT][256];
    for (int k = 0; k < GFX_KIND_COUNT; k++)
        snprintf(labels[k], sizeof labels[k], "%s",
                 bike_setup_graphics_label(&core_config_setup, k));
    bike_setup_rebuild_bike_graphics(&core_config_setup, files, count);
    for (int k = 0; k < GFX_KIND_COUNT; k++)
        bike_setup_select_graphics(&core_config_setup, k, labels[k]);
    core_rider_info_resend = 1;
    core_config_loop_options(&core_loop.opt);
    int s = core_loop.viewed_slot;
    if (s >= 0 && s < RACE_SLOTS && race.status[s] == RACE_LOCAL) ui_setup_changed(-1);
}

void cmd_writesetup(const char *arg) {
    char name[1024];
    if (!first_word(arg, name, sizeof name) || !bare_name_ok(name)) {
        zv_message_add("Error writing setup");
        return;
    }
    bike_setup_write_file(&core_config_setup, name);
}

void cmd_addkey(void) {
    camera_keyframe k = {};
    memcpy(k.position, core_loop.free_position, sizeof k.position);
    core_console_yaw_pitch_quat(core_loop.free_yaw, core_loop.free_pitch, k.quat);
    k.fov = core_loop.free_fov;
    k.tic = race.tic;
    if (core_console_add_key(&k))
        zv_message_add("Keyframe added");
    else
        zv_message_add("Too many keyframes");
}

void cmd_listkeys(void) {
    for (int i = 0; i < core_console.key_count; i++) {
        const camera_keyframe &k = core_console.keys[i];
        zv_message_add("pos = { %.2f, %.2f, %.2f }, rot = { %.2f, %.2f, %.2f, %.2f }, time = %.2f",
                       k.position[0], k.position[1], k.position[2], k.quat[0], k.quat[1], k.quat[2],
                       k.quat[3], k.tic * CORE_TIC_LENGTH);
    }
}

void cmd_readkeys(const char *arg) {
    char name[1024], path[1100];
    char *text = nullptr;
    if (first_word(arg, name, sizeof name) && bare_name_ok(name)) {
        snprintf(path, sizeof path, "@keycam/%s", name);
        text = file_to_string(path);
    }
    int ok = text && core_console_parse_keys(text);
    zv_free(text);
    zv_message_add(ok ? "Camera keys updated" : "Error reading camera keys");
}

void cmd_writekeys(const char *arg) {
    char name[1024], path[1100];
    data_file *f = nullptr;
    if (first_word(arg, name, sizeof name) && bare_name_ok(name)) {
        snprintf(path, sizeof path, "@keycam/%s", name);
        f = data_open(path, "wb");
    }
    if (!f) {
        zv_message_add("Error saving camera keys");
        return;
    }
    int ok = 1;
    for (int i = 0; i < core_console.key_count && ok; i++) {
        const camera_keyframe &k = core_console.keys[i];
        char line[256];
        int n = snprintf(line, sizeof line, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n",
                         k.position[0], k.position[1], k.position[2], k.quat[0], k.quat[1],
                         k.quat[2], k.quat[3], k.fov, k.tic);
        ok = n > 0 && n < (int)sizeof line && data_write(f, line, n) == n;
    }
    ok = data_close(f) && ok;
    zv_message_add(ok ? "Camera keys saved" : "Error saving camera keys");
}

void cmd_listfiles(const char *arg) {
    while (*arg == ' ')
        arg++;
    for (int i = 0, n = file_index_count(); i < n; i++) {
        char line[1200];
        if (!file_index_describe(i, line, sizeof line)) continue;
        if (!arg[0] || contains_nocase(line, arg)) zv_message_add("%s", line);
    }
}

void cmd_messagelines(const char *arg) {
    int n;
    if (sscanf(arg, "%d", &n) != 1) return;
    core_settings_set_number(CORE_SET_MESSAGE_LINES, n);
    zv_messages.line_limit = core_settings_int(CORE_SET_MESSAGE_LINES);
    zv_message_add("Maximum showing messages is now %d", zv_messages.line_limit);
}

void cmd_demobackups(const char *arg) {
    int n;
    if (sscanf(arg, "%d", &n) != 1) return;
    core_settings_set_number(CORE_SET_DEMO_BACKUPS, n);
    demo_race.backups = core_settings_int(CORE_SET_DEMO_BACKUPS);
    zv_message_add("Now keeping %d demo backups", demo_race.backups);
}

void cmd_mapscale(const char *arg) {
    float s;
    if (sscanf(arg, "%f", &s) != 1 || !std::isfinite(s)) return;
    s = s < 0.125f ? 0.125f : s > 8 ? 8 : s;
    core_settings_set_number(CORE_SET_MAP_SCALE, s);
    zv_message_add("Map scale set to %f", s);
}

void cmd_hfvol(void) {
    if (!terrain_present()) return;
    double sum = 0;
    size_t n = (size_t)terrain.size * (size_t)terrain.size;
    for (size_t i = 0; i < n; i++)
        sum += terrain.heights[i];
    zv_message_add("%f\n", sum);
}

void cmd_toggledecals(void) {
    zv_message_toggle("Hide decals", &objects.decals_hidden);
    if (terrain_present()) terrain_mark_changed(0, 0, terrain.size - 1, terrain.size - 1);
    if (core_hook.reshade_terrain) core_hook.reshade_terrain();
}

// "log [flags] [spacing]": the flags word is any word that is not a number.
void cmd_log(const char *arg) {
    zv_labels.flags = 0;
    while (*arg == ' ')
        arg++;
    char *end;
    strtod(arg, &end);
    if (end == arg && *arg) {
        size_t n = strcspn(arg, " ");
        if (memchr(arg, 'e', n)) zv_labels.flags |= ZV_LOG_TIRES;
        arg += n;
    }
    float spacing = 10;
    if (sscanf(arg, "%f", &spacing) != 1 || !std::isfinite(spacing) || spacing <= 0) spacing = 10;
    zv_labels.spacing = spacing;
    zv_message_add("Logging 0x%x, spacing %f", (unsigned)zv_labels.flags, spacing);
}

void cmd_reportstutter(const char *arg) {
    double t;
    if (sscanf(arg, "%lf", &t) != 1 || !std::isfinite(t) || t < 0) return;
    core_loop.stutter_threshold = t;
    core_loop.stutter_have_stamp = 0;
    zv_message_add("Stutter threshold set to %f", t);
}

void toggle_spy(void) {
    zv_message_toggle("Spy mode", &core_loop.opt.spy);
    core_settings_set_number(CORE_SET_SPY, core_loop.opt.spy != 0);
}

void console_command(const char *cmd) {
    const char *arg = nullptr;
    if (exact(cmd, "savetrackinfo")) {
        if (core_hook.track_loaded && core_hook.track_loaded()) track_save_info();
    } else if (exact(cmd, "renderstats")) {
        core_options.draw_render_stats = 1;
        memset(hud.stats_max, 0, sizeof hud.stats_max);
    } else if (exact(cmd, "togglespy")) {
        toggle_spy();
    } else if (exact(cmd, "togglegraph")) {
        zv_message_toggle("Suspension graph", &hud.graph);
    } else if (prefix(cmd, "bbopt", &arg)) {
        int n;
        if (sscanf(arg, "%d", &n) == 1) {
            core_settings_set_number(CORE_SET_BBOPT, n);
            zv_message_add("Billboard optimization window is now %d",
                           core_settings_int(CORE_SET_BBOPT));
        }
    } else if (prefix(cmd, "pipe", &arg)) {
        cmd_pipe(arg);
    } else if (prefix(cmd, "namedemo", &arg)) {
        cmd_namedemo(arg);
    } else if (prefix(cmd, "camangle", &arg)) {
        cmd_camangle(arg);
    } else if (prefix(cmd, "fov", &arg)) {
        cmd_fov(arg);
    } else if (prefix(cmd, "fpshist", &arg)) {
        cmd_fpshist();
    } else if (exact(cmd, "saveframetimes")) {
        cmd_saveframetimes();
    } else if (exact(cmd, "forcereload")) {
        track_force_reload();
    } else if (prefix(cmd, "readsetup", &arg)) {
        cmd_readsetup(arg);
    } else if (prefix(cmd, "writesetup", &arg)) {
        cmd_writesetup(arg);
    } else if (exact(cmd, "randdump")) {
    } else if (exact(cmd, "addkey")) {
        cmd_addkey();
    } else if (exact(cmd, "deletekey") || exact(cmd, "rmkey")) {
        core_console_delete_key(race.tic);
        zv_message_add("Keyframe deleted");
    } else if (exact(cmd, "clearkeys")) {
        core_console_clear_keys();
        zv_message_add("Keyframes cleared");
    } else if (exact(cmd, "listkeys")) {
        cmd_listkeys();
    } else if (prefix(cmd, "readkeys", &arg)) {
        cmd_readkeys(arg);
    } else if (prefix(cmd, "writekeys", &arg)) {
        cmd_writekeys(arg);
    } else if (exact(cmd, "togglekeycam")) {
        zv_message_toggle("Keycam mode", &core_console.keycam);
    } else if (exact(cmd, "togglefps")) {
        zv_message_toggle("FPS display", &core_options.draw_fps);
    } else if (exact(cmd, "toggletime")) {
        zv_message_toggle("Time display", &core_options.draw_time);
    } else if (exact(cmd, "toggleping")) {
        zv_message_toggle("Ping display", &core_options.draw_ping);
    } else if (exact(cmd, "togglespam")) {
        zv_message_toggle("Hide spam", &zv_messages.hide_spam);
    } else if (exact(cmd, "togglespeed")) {
        zv_message_toggle("Speed display", &core_options.draw_speed);
    } else if (word(cmd, "sendfile", &arg)) {
        net_sendfile(arg);
    } else if (word(cmd, "listfiles", &arg)) {
        cmd_listfiles(arg);
    } else if (word(cmd, "messagelines", &arg)) {
        cmd_messagelines(arg);
    } else if (word(cmd, "demobackups", &arg)) {
        cmd_demobackups(arg);
    } else if (word(cmd, "mapscale", &arg)) {
        cmd_mapscale(arg);
    } else if (exact(cmd, "hfvol")) {
        cmd_hfvol();
    } else if (exact(cmd, "toggledecals")) {
        cmd_toggledecals();
    } else if (word(cmd, "clearlog", &arg)) {
        zv_label_clear();
    } else if (word(cmd, "log", &arg)) {
        cmd_log(arg);
    } else if (word(cmd, "reportstutter", &arg)) {
        cmd_reportstutter(arg);
    }
}

} // namespace

int core_console_add_key(const camera_keyframe *k) {
    return insert_key(&core_console.keys, &core_console.key_count, &core_console.key_capacity, k);
}

void core_console_delete_key(int tic) {
    int n = core_console.key_count;
    if (n < 2) {
        core_console.key_count = 0;
        return;
    }
    int at = 0;
    while (at < n && core_console.keys[at].tic <= tic)
        at++;
    if (at == n) at = n - 1;
    memmove(core_console.keys + at, core_console.keys + at + 1,
            sizeof(camera_keyframe) * (size_t)(n - at - 1));
    core_console.key_count = n - 1;
}

void core_console_clear_keys(void) {
    zv_free(core_console.keys);
    core_console.keys = nullptr;
    core_console.key_count = core_console.key_capacity = 0;
}

void core_console_yaw_pitch_quat(float yaw, float pitch, float q[4]) {
    float cy = std::cos(yaw / 2), sy = std::sin(yaw / 2);
    float cp = std::cos(pitch / 2), sp = std::sin(pitch / 2);
    q[0] = cy * sp;
    q[1] = sy * cp;
    q[2] = -sy * sp;
    q[3] = cy * cp;
}

int core_console_parse_keys(const char *text) {
    camera_keyframe *keys = nullptr;
    int count = 0, capacity = 0, ok = 1;
    for (const char *line = text; ok && *line;) {
        const char *end = strchr(line, '\n');
        size_t len = end ? (size_t)(end - line) : strlen(line);
        char buf[512];
        if (len >= sizeof buf) {
            ok = 0;
            break;
        }
        memcpy(buf, line, len);
        buf[len] = 0;
        line = end ? end + 1 : line + len;
        if (buf[strspn(buf, " \t\r")] == 0) continue;
        camera_keyframe k;
        ok = sscanf(buf, "%f %f %f %f %f %f %f %f %d", &k.position[0], &k.position[1],
                    &k.position[2], &k.quat[0], &k.quat[1], &k.quat[2], &k.quat[3], &k.fov,
                    &k.tic) == 9;
        for (int c = 0; c < 3 && ok; c++)
            ok = std::isfinite(k.position[c]);
        for (int c = 0; c < 4 && ok; c++)
            ok = std::isfinite(k.quat[c]);
        ok = ok && std::isfinite(k.fov) && insert_key(&keys, &count, &capacity, &k);
    }
    if (!ok) {
        zv_free(keys);
        return 0;
    }
    core_console_clear_keys();
    core_console.keys = keys;
    core_console.key_count = count;
    core_console.key_capacity = capacity;
    return 1;
}

int core_console_line(const char *text) {
    if (!text) return 0;
    if (text[0] == '/' || text[0] == '\\') {
        console_command(text + 1);
        return 1;
    }
    // Two seconds between chat lines keeps the server's chat readable.
    if (core_loop.game_clock - core_console.last_chat < 2) {
        zv_message_add("No one likes a spammer");
        return 0;
    }
    core_console.last_chat = core_loop.game_clock;
    if (core_hook.connected && core_hook.connected() && core_hook.send_chat)
        core_hook.send_chat(text);
    else
        zv_message_add("Not connected to server");
    return 1;
}
