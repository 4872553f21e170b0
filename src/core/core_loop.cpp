#include "core/core_loop.h"
#include "platform/platform_input.h"

#include "base/zv_alloc.h"
#include "core/core_binding.h"
#include "core/core_hooks.h"
#include "base/zv_message.h"
#include "core/core_options.h"

#include <cmath>
#include <cstdio>
#include <cstring>

core_loop_state core_loop;
core_menu_keys core_menu_key;
core_hooks core_hook;

namespace {

// Summed frame advances carry rounding (100 x 0.02 is a hair above 2); it must not buy a tic.
constexpr double TIC_EPSILON = 1e-9;

struct fixed_keys {
    int tab, esc, close, cursor_left;
    int digit[10];
};

fixed_keys g_keys;

// Game pads reach the menus too: the d-pad moves the highlight, A acts, B closes the menu and
// Start opens or closes it. The pads' buttons keep their own codes for the bindings.
enum {
    PAD_UP = 0,
    PAD_DOWN = 1,
    PAD_LEFT = 2,
    PAD_RIGHT = 3,
    PAD_START = 4,
    PAD_A = 12,
    PAD_B = 13,
    PAD_MAX = 4,
};
int g_pad_ids[PAD_MAX];
int g_pad_count;

void pads_open(platform_window *w) {
    g_pad_count = 0;
    platform_input *in = w ? platform_window_input(w) : nullptr;
    for (int i = 0; in && i < in->device_count && g_pad_count < PAD_MAX; i++) {
        platform_device *d = &in->devices[i];
        if (strncmp(d->name, "XInputGamepad", 13) == 0 && platform_device_activate(d))
            g_pad_ids[g_pad_count++] = d->id;
    }
}

// The menu key a pad button stands for, or the code itself.
int pad_menu_code(int code) {
    if (code < 65536) return code;
    int id = code / 65536, button = code % 65536, pad = 0;
    while (pad < g_pad_count && g_pad_ids[pad] != id)
        pad++;
    if (pad == g_pad_count) return code;
    const core_menu_keys &k = core_menu_key;
    int open = core_loop.menu_page != CORE_MENU_NONE;
    switch (button) {
    case PAD_START:
        return g_keys.esc;
    case PAD_B:
        return open ? g_keys.esc : code;
    case PAD_UP:
        return open ? k.up : code;
    case PAD_DOWN:
        return open ? k.down : code;
    case PAD_LEFT:
        return open ? k.left : code;
    case PAD_RIGHT:
        return open ? k.right : code;
    case PAD_A:
        return open ? k.enter : code;
    default:
        return code;
    }
}

double now_seconds(void) {
    return platform_seconds(platform_clock());
}

double loop_game_clock(void) {
    return core_loop.game_clock;
}

int hook_connected(void) {
    return core_hook.connected && core_hook.connected();
}
int hook_track_loaded(void) {
    return core_hook.track_loaded && core_hook.track_loaded();
}
int hook_bike_in_slot(int slot) {
    return core_hook.bike_in_slot && core_hook.bike_in_slot(slot);
}
int hook_slot_status(int slot) {
    return core_hook.slot_status ? core_hook.slot_status(slot) : 1;
}

// The viewed rider is riding when its slot is simulated here for the local player.
int viewed_riding(void) {
    if (core_loop.opt.spy) return 0;
    return hook_bike_in_slot(core_loop.viewed_slot) && hook_slot_status(core_loop.viewed_slot) == 0;
}

void choose_view_mode(void) {
    int &mode = core_loop.view_mode;
    if (!hook_track_loaded()) {
        mode = CORE_VIEW_TITLE;
        return;
    }
    if (!hook_bike_in_slot(core_loop.viewed_slot)) {
        mode = CORE_VIEW_CAMERAS;
        return;
    }
    if (mode == CORE_VIEW_TITLE) {
        mode = CORE_VIEW_RIDER;
        return;
    }
    if (mode != CORE_VIEW_EDITOR && mode != CORE_VIEW_ORBIT && viewed_riding())
        mode = CORE_VIEW_RIDER;
}

int histogram_class(double d) {
    double t = CORE_TIC_LENGTH;
    for (int i = 0; i < 7; i++)
        if (d < t * (1 << i)) return i;
    return 7;
}

void wait_seconds(double s) {
    if (s <= 0) return;
    long long us = (long long)ceil(s * 1e6);
    platform_wait((int)(us / 1000000), (int)(us % 1000000));
}

// Step 6 of a frame: waits for the frame time and returns the frame advance.
double frame_wait(void) {
    double t = CORE_TIC_LENGTH;
    double d = now_seconds() - core_loop.last_frame_end;
    core_loop.histogram[histogram_class(d)]++;
    if (!hook_connected()) {
        float fps = core_options.lock_fps;
        if (fps > 0) {
            double frame = 1.0 / fps;
            if (d < frame) wait_seconds(frame - d);
            return frame;
        }
        if (core_options.warp) return CORE_WARP_TICS * t;
    }
    for (;;) {
        if (d >= t) return d < CORE_MAX_ADVANCE ? d : CORE_MAX_ADVANCE;
        wait_seconds(t - d);
        d = now_seconds() - core_loop.last_frame_end;
    }
}

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

// Online, the frame advance speeds up or slows down so the local race clock meets the server's.
double sync_advance(double a) {
    if (!core_hook.server_lead_tics) return a;
    int before_start = 0;
    double l = core_hook.server_lead_tics(&before_start) * CORE_TIC_LENGTH;
    if (!std::isfinite(l)) return a;
    if (l < 0) return a * (clampd(l + 1, 0, 1) + 1) * 0.5;
    if (before_start) return a * (clampd(l, 0, 1) * 3 + 1);
    return a * (clampd(8 * l, 0, 1) * 0.125 + 1);
}

void take_screenshot(void) {
    char name[64];
    const char *const *list = core_hook.file_list ? core_hook.file_list() : nullptr;
    core_loop_next_screenshot(name, sizeof name, list);
    if (!core_hook.read_back_rgb || !core_hook.write_png) return;
    // The picture as drawn: a full-screen window can be larger than the configured resolution
    // (the desktop's mode where the display cannot switch), and reading the configured size back
    // would save a corner of it.
    int w = core_loop.frame_width > 0 ? core_loop.frame_width : core_render.xres;
    int h = core_loop.frame_height > 0 ? core_loop.frame_height : core_render.yres;
    unsigned char *rgb = core_hook.read_back_rgb(w, h);
    if (!rgb) return; // no memory for the picture: skipped silently
    char path[80];
    snprintf(path, sizeof path, "@%s", name);
    if (core_hook.write_png(path, rgb, w, h)) zv_message_add("Saved \"%s\"", name);
    zv_free(rgb);
}

// Switching the viewed rider is refused while riding, unless spectating online or spying.
int may_switch_rider(void) {
    if (!viewed_riding()) return 1;
    if (hook_connected() && !(core_hook.local_has_race_slot && core_hook.local_has_race_slot()))
        return 1;
    return core_loop.opt.spy;
}

void race_tic(void) {
    if (core_hook.race_tic) core_hook.race_tic();
}

void hot_key(int code) {
    if (core_binding_is(CORE_BIND_PAUSE, code)) {
        if (!hook_connected()) core_loop.paused = !core_loop.paused;
    } else if (core_binding_is(CORE_BIND_STEP, code)) {
        if (core_loop.paused) race_tic();
    } else if (code == g_keys.tab) {
        if (core_loop.view_mode == CORE_VIEW_EDITOR && core_hook.settle_bikes)
            core_hook.settle_bikes();
        core_loop.view_mode = core_loop_tab_view(
            core_loop.view_mode,
            core_options.editor && core_hook.editor_available && core_hook.editor_available());
    } else if (core_binding_is(CORE_BIND_REWIND, code)) {
        if (core_hook.demo_rewind) core_hook.demo_rewind();
    } else if (core_binding_is(CORE_BIND_SKIP, code)) {
        if (core_hook.demo_skip) core_hook.demo_skip();
    } else if (core_binding_is(CORE_BIND_PREV, code) || core_binding_is(CORE_BIND_NEXT, code)) {
        if (may_switch_rider() && core_hook.running_order_step) {
            int dir = core_binding_is(CORE_BIND_PREV, code) ? -1 : 1;
            int s = core_hook.running_order_step(core_loop.viewed_slot, dir);
            if (s >= 0 && s < CORE_SLOTS) core_loop.viewed_slot = s;
        }
    } else if (core_binding_is(CORE_BIND_SCREENSHOT, code)) {
        if (core_loop.view_mode != CORE_VIEW_EDITOR) take_screenshot();
    } else {
        for (int d = 0; d < 10; d++) {
            if (code != g_keys.digit[d]) continue;
            int count = core_hook.track_camera_count ? core_hook.track_camera_count() : 0;
            core_loop.track_camera = (d < count ? d : count) - 1;
            break;
        }
    }
}

// Step 4 of a tic for the local rider's bike.
void rider_inputs(int slot) {
    const float *c = core_loop.controls;
    core_loop_options &o = core_loop.opt;
    if (core_hook.time_trial_active && core_hook.time_trial_active()) {
        if (c[CORE_CTL_BACK_UP] > 0.5f && core_loop.back_up_previous <= 0.5f &&
            o.backing_up_aborts && core_hook.time_trial_abort)
            core_hook.time_trial_abort(slot);
        if (c[CORE_CTL_THROTTLE] > 0.5f && core_hook.time_trial_started)
            core_hook.time_trial_started(slot);
    }
    core_loop.back_up_previous = c[CORE_CTL_BACK_UP];

    // The controls vector goes to the bike as it is: the bike's input step shapes it (reversed
    // steering, the sticky sit/dab latch, the clutch ramp, shift requests).
    if (core_hook.set_rider_inputs) core_hook.set_rider_inputs(slot, c);
}

void orbit_controls(void) {
    const float *c = core_loop.controls;
    float yaw = core_loop.orbit_yaw + c[CORE_CTL_STEER] * (float)(2 * M_PI / 1024);
    if (yaw > M_PI) yaw -= (float)(2 * M_PI);
    if (yaw < -M_PI) yaw += (float)(2 * M_PI);
    core_loop.orbit_yaw = yaw;
    if (c[CORE_CTL_THROTTLE] > 0.5f) {
        core_loop.orbit_distance -= 1.0f / 64;
        if (core_loop.orbit_distance < 0.25f) core_loop.orbit_distance = 0.25f;
    }
    if (c[CORE_CTL_FRONT_BRAKE] > 0.5f) core_loop.orbit_distance += 1.0f / 64;
    core_loop.orbit_height += c[CORE_CTL_SHIFT] * (float)CORE_TIC_LENGTH;
}

void camera_controls(void) {
    const float *c = core_loop.controls;
    float t = (float)CORE_TIC_LENGTH;
    if (c[CORE_CTL_DAB] > 0.5f && core_loop.dab_camera_previous <= 0.5f)
        core_loop.auto_camera = !core_loop.auto_camera;
    core_loop.dab_camera_previous = c[CORE_CTL_DAB];
    float &sp = core_loop.camera_speed;
    if (c[CORE_CTL_THROTTLE] > 0.5f) sp = sp + 80 * t < 100 ? sp + 80 * t : 100;
    if (c[CORE_CTL_FRONT_BRAKE] > 0.5f) sp = sp - 80 * t > -100 ? sp - 80 * t : -100;
    if (sp > 0)
        sp = sp - 60 * t > 0 ? sp - 60 * t : 0;
    else if (sp < 0)
        sp = sp + 60 * t < 0 ? sp + 60 * t : 0;
    if ((sp > 1e-4f || sp < -1e-4f) && core_hook.free_camera_step)
        core_hook.free_camera_step(sp, t);
}

void run_tic(void) {
    double t = CORE_TIC_LENGTH;
    core_loop.simulated_time += t;
    double wall = core_loop.simulated_time + (core_loop.frame_real_time - core_loop.target_time);
    memset(core_loop.controls, 0, sizeof core_loop.controls);
    core_loop.menu_page_changed = 0;

    // Events stamped after this tic's wall time wait for a later tic, unless that time is not
    // in the past, in which case everything pending belongs here.
    int take_all = wall >= now_seconds();
    platform_time limit;
    limit.sec = (int)floor(wall);
    limit.usec = (int)((wall - floor(wall)) * 1e6);
    platform_event ev;
    while (core_loop.window) {
        int got = take_all ? platform_next_event(core_loop.window, &ev)
                           : platform_next_event_until(core_loop.window, limit, &ev);
        if (!got) break;
        core_loop_stutter("getmessage");
        core_loop_event(ev.code, ev.pressed);
    }
    core_loop_stutter("processmessage");
    if (core_binding_capturing()) core_binding_capture_tic(core_loop.game_clock);
    core_binding_accumulate(core_loop.controls);

    int mode = core_loop.view_mode;
    if (core_loop.menu_page == CORE_MENU_NONE) {
        if (mode == CORE_VIEW_EDITOR) {
            if (core_hook.editor_tic) core_hook.editor_tic();
        } else {
            int slot = core_loop.viewed_slot;
            if ((mode == CORE_VIEW_RIDER || viewed_riding()) && hook_bike_in_slot(slot) &&
                hook_slot_status(slot) == 0)
                rider_inputs(slot);
            if (mode == CORE_VIEW_ORBIT)
                orbit_controls();
            else if (mode == CORE_VIEW_CAMERAS)
                camera_controls();
        }
    } else if (mode == CORE_VIEW_EDITOR && core_hook.editor_tic) {
        core_hook.editor_tic();
    }
    core_loop_stutter("action");
    if (core_hook.net_step) core_hook.net_step();
    core_loop_stutter("net");
    int unsynced = hook_connected() && !(core_hook.synchronised && core_hook.synchronised());
    if (!core_loop.paused && mode != CORE_VIEW_TITLE && !unsynced) race_tic();
    core_loop_stutter("tic");
    if (!core_loop.paused && core_options.record_audio_path && core_hook.audio_record_tic)
        core_hook.audio_record_tic();
    core_loop.tics++;
}

void setup_change_report(void) {
    if (!core_hook.setup_changes) return;
    char letters[64];
    int changed = core_hook.setup_changes(letters, sizeof letters);
    if (changed <= 0) return;
    char text[128];
    snprintf(text, sizeof text, "[SPAM] Setup change %s", letters);
    if (hook_connected() && core_hook.send_chat)
        core_hook.send_chat(text);
    else
        zv_message_add("%s", text);
}

void draw_frame(void) {
    int w = 0, h = 0;
    if (!platform_frame_begin(core_loop.window, &w, &h)) return;
    core_loop.frame_width = w;
    core_loop.frame_height = h;
    if (core_loop.opt.windowed) {
        core_render.xres = w;
        core_render.yres = h;
    }
    int mode = core_loop.view_mode;
    if (core_hook.draw_view) core_hook.draw_view(mode, w, h);
    if (core_hook.draw_overlays && core_options.show_hud) core_hook.draw_overlays(mode);
    if (core_loop.paused && core_options.show_pause_text && core_hook.draw_text_centred)
        core_hook.draw_text_centred("Paused", 30, 0);
    if (!core_loop.paused && core_options.record_video && mode != CORE_VIEW_TITLE &&
        core_hook.read_back_rgb) {
        unsigned char *rgb = core_hook.read_back_rgb(w, h);
        if (rgb) {
            // stdout carries the video frames, one binary PPM picture each. The frame buffer
            // reads back from the bottom row; a PPM picture starts at the top.
            fprintf(stdout, "P6\n%d %d\n255\n", w, h);
            for (int row = h - 1; row >= 0; row--)
                fwrite(rgb + (size_t)row * w * 3, 3, (size_t)w, stdout);
            fflush(stdout);
            zv_free(rgb);
        }
    }
    if (viewed_riding() && hook_connected() &&
        !(core_hook.local_has_race_slot && core_hook.local_has_race_slot()) &&
        core_hook.draw_text_centred)
        core_hook.draw_text_centred("Warmup mode - collisions disabled", 30, -28);
    if (core_hook.draw_menus) core_hook.draw_menus();
    core_loop_stutter("draw");
    if (core_options.glfinish && core_hook.gl_finish) core_hook.gl_finish();
    platform_swap(core_loop.window);
}

} // namespace

void core_loop_init(platform_window *w) {
    float *log = core_loop.frame_log;
    memset(&core_loop, 0, sizeof core_loop);
    core_loop.window = w;
    core_loop.frame_log = log ? log : (float *)zv_alloc(sizeof(float) * CORE_FRAME_LOG_SIZE);
    core_loop.min_advance = 1.0;
    core_loop.orbit_distance = 10;
    core_loop.orbit_height = 5;
    core_loop.menu_page = CORE_MENU_NONE;
    core_loop.track_camera = -1;
    core_loop.opt.backing_up_aborts = 1;
    core_loop.last_frame_end = now_seconds();
    core_loop.next_setup_report = 5.0;
    zv_message_clock = loop_game_clock;

    core_loop.cursor_x = platform_open_axis(w, "cursor-x");
    core_loop.cursor_y = platform_open_axis(w, "cursor-y");
    core_menu_keys &k = core_menu_key;
    k.up = core_loop_key_code("up");
    k.down = core_loop_key_code("down");
    k.left = core_loop_key_code("left");
    k.right = core_loop_key_code("right");
    k.enter = core_loop_key_code("enter");
    k.keypad_enter = core_loop_key_code("keypad enter");
    k.esc = core_loop_key_code("esc");
    k.pause = core_loop_key_code("pause");
    k.cursor_left = core_loop_key_code("cursor-left");
    k.cursor_right = core_loop_key_code("cursor-right");
    k.page_up = core_loop_key_code("page up");
    k.page_down = core_loop_key_code("page down");
    k.close = core_loop_key_code("close");
    g_keys.tab = core_loop_key_code("tab");
    g_keys.esc = core_loop_key_code("esc");
    g_keys.close = PLATFORM_CLOSE;
    g_keys.cursor_left = core_loop_key_code("cursor-left");
    for (int d = 0; d < 10; d++) {
        char name[2] = {(char)('0' + d), 0};
        g_keys.digit[d] = core_loop_key_code(name);
    }
    pads_open(w);
}

void core_loop_shutdown(void) {
    if (core_loop.cursor_x) platform_close_axis(core_loop.cursor_x);
    if (core_loop.cursor_y) platform_close_axis(core_loop.cursor_y);
    core_loop.cursor_x = core_loop.cursor_y = nullptr;
    zv_free(core_loop.frame_log);
    core_loop.frame_log = nullptr;
    core_loop.frame_log_count = 0;
    if (zv_message_clock == loop_game_clock) zv_message_clock = nullptr;
}

int core_loop_key_code(const char *name) {
    int code = platform_code_for_name(core_loop.window, name);
    return code;
}

int core_loop_tab_view(int mode, int editor_flag) {
    switch (mode) {
    case CORE_VIEW_EDITOR:
        return CORE_VIEW_ORBIT;
    case CORE_VIEW_ORBIT:
        return CORE_VIEW_CAMERAS;
    case CORE_VIEW_RIDER:
        return editor_flag ? CORE_VIEW_EDITOR : CORE_VIEW_ORBIT;
    case CORE_VIEW_SPECTATOR:
    case CORE_VIEW_CAMERAS:
        return CORE_VIEW_RIDER;
    default:
        return mode;
    }
}

void core_loop_stutter(const char *label) {
    if (core_loop.stutter_threshold == 0) return;
    double now = now_seconds();
    if (core_loop.stutter_have_stamp && now - core_loop.stutter_stamp > core_loop.stutter_threshold)
        zv_message_add("Stutter in %s - %f seconds", label, now - core_loop.stutter_stamp);
    core_loop.stutter_stamp = now;
    core_loop.stutter_have_stamp = 1;
}

void core_loop_event(int code, int pressed) {
    if (code == g_keys.close) {
        core_loop.quit = 1;
        return;
    }
    core_binding_key(code, pressed);
    if (code == g_keys.cursor_left) core_loop.mouse_button = pressed;
    // A binding being captured takes the keys pressed meanwhile (Esc ends it unchanged); they
    // must not also act on the controls page that started the capture.
    if (core_binding_capturing()) {
        if (pressed) core_binding_capture_key(code, g_keys.esc, core_loop.game_clock);
        return;
    }
    code = pad_menu_code(code);
    if (code == g_keys.esc && pressed) {
        int before = core_loop.menu_page;
        core_loop.menu_page = before == CORE_MENU_NONE ? CORE_MENU_MAIN : CORE_MENU_NONE;
        core_loop.menu_page_changed = 1;
        if (core_hook.menu_reset_highlight) core_hook.menu_reset_highlight();
        if (core_loop.menu_page != CORE_MENU_NONE && core_hook.menu_key) core_hook.menu_key(code);
        return;
    }
    if (pressed && core_loop.swallow_character) {
        core_loop.swallow_character = 0;
        if (code < 256) return;
    }
    if (core_loop.menu_page != CORE_MENU_NONE) {
        if (pressed && !core_loop.menu_page_changed && core_hook.menu_key) {
            int before = core_loop.menu_page;
            core_hook.menu_key(code);
            if (core_loop.menu_page != before) core_loop.menu_page_changed = 1;
        }
        if (!hook_track_loaded()) core_loop.view_mode = CORE_VIEW_TITLE;
        return;
    }
    if (!pressed) return;
    if (core_loop.view_mode == CORE_VIEW_EDITOR) {
        if (core_hook.editor_key && core_hook.editor_key(code)) return;
    } else if (core_binding_is(CORE_BIND_CHAT, code)) {
        core_loop.menu_page = CORE_MENU_CHAT;
        core_loop.menu_page_changed = 1;
        // The desktop follows the key with the character it types, perhaps a tic later: that
        // one opened the chat line and is not its first letter.
        core_loop.swallow_character = 1;
        return;
    }
    if (core_loop.view_mode == CORE_VIEW_TITLE) return;
    hot_key(code);
}

void core_loop_next_screenshot(char *name, int size, const char *const *file_list) {
    if (!core_loop.screenshot_scanned) {
        core_loop.screenshot_scanned = 1;
        for (int i = 0; file_list && file_list[i]; i++) {
            unsigned n;
            // Only the number has to convert, so PNG screenshots count as well.
            if (sscanf(file_list[i], "screenshot%u.ppm", &n) == 1 &&
                n > core_loop.screenshot_counter)
                core_loop.screenshot_counter = n;
        }
    }
    core_loop.screenshot_counter++;
    snprintf(name, (size_t)size, "screenshot%03u.png", core_loop.screenshot_counter);
}

int core_loop_frame(void) {
    if (core_loop.quit) return 0;
    choose_view_mode();
    draw_frame();
    if (platform_window_closed(core_loop.window)) return 0;
    core_loop_stutter("flip");

    if (core_hook.audio_open && core_hook.audio_open()) {
        float factor;
        if (core_loop.paused || core_loop.view_mode == CORE_VIEW_EDITOR)
            factor = 0;
        else if (core_loop.menu_page == CORE_MENU_NONE)
            factor = 1;
        else if (viewed_riding())
            factor = 0;
        else
            factor = 0.25f;
        if (core_hook.sound_update) core_hook.sound_update(factor);
        if (core_hook.audio_push) core_hook.audio_push();
    }
    core_loop_stutter("sound");

    double a = frame_wait();
    double now = now_seconds();
    core_loop.frame_real_time = now;
    if (a < core_loop.min_advance) core_loop.min_advance = a;
    if (a > core_loop.max_advance) core_loop.max_advance = a;
    if (hook_connected()) a = sync_advance(a);
    if (core_loop.frame_log && core_loop.frame_log_count < CORE_FRAME_LOG_SIZE)
        core_loop.frame_log[core_loop.frame_log_count++] = (float)(now - core_loop.last_frame_end);
    core_loop.last_advance = a;
    core_loop.target_time += a;
    core_loop.game_clock += a;

    // Pointer moves for the menus: a drag with the left button held, else a highlight.
    if (core_loop.cursor_x && core_loop.cursor_y) {
        int x = platform_read_axis(core_loop.cursor_x), y = platform_read_axis(core_loop.cursor_y);
        // The first position the desktop reports is where the pointer happened to rest when the
        // window opened, not a move: a player using the keys keeps the item they chose lit.
        int moved = x != core_loop.pointer_x || y != core_loop.pointer_y;
        if (moved && !core_loop.pointer_known) {
            core_loop.pointer_known = 1;
            moved = 0;
        }
        if (moved && core_loop.menu_page != CORE_MENU_NONE && core_hook.menu_pointer)
            core_hook.menu_pointer(x, y, core_loop.mouse_button);
        core_loop.pointer_x = x;
        core_loop.pointer_y = y;
    }

    while (core_loop.target_time - core_loop.simulated_time > TIC_EPSILON && !core_loop.quit)
        run_tic();

    if (core_options.warp && core_loop.view_mode != CORE_VIEW_TITLE && core_hook.race_finished &&
        core_hook.race_finished() && core_hook.race_restart_rotated)
        core_hook.race_restart_rotated();

    if (core_options.erosion_rate && core_hook.erode) core_hook.erode(core_options.erosion_rate);
    core_loop_stutter("erode");

    if (core_hook.terrain_update) {
        int rate = core_loop.opt.terrain_sync_rate;
        rate = rate < 0 ? 0 : rate > 30 ? 30 : rate;
        core_hook.terrain_update(core_loop.view_mode == CORE_VIEW_EDITOR ? -1 : 1 << rate);
    }
    zv_message_age(core_loop.game_clock);
    core_loop_stutter("update");

    if (core_loop.game_clock + TIC_EPSILON >= core_loop.next_setup_report) {
        core_loop.next_setup_report += 5.0;
        setup_change_report();
    }
    core_loop.last_frame_end = now_seconds();
    core_loop.frames++;
    return !core_loop.quit;
}

void core_loop_run(void) {
    while (core_loop_frame()) {
    }
}
