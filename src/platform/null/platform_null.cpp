// The headless back end: no window system, no GL, no sound card. Its clock only moves when a
// test sets it or the program waits, so loops run as fast as the machine allows and repeatably.
#include "platform/null/platform_null.h"

#include "platform/platform_audio.h"
#include "platform/platform_input.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

struct platform_window {
    char title[256];
    int open;
    int width, height;
    int closed;
    int fullscreen;
    std::mutex lock;
    platform_input input;
};

namespace {

struct scripted_event {
    long long usec;
    int code, pressed;
    int pointer; // a pointer move to (code, pressed) instead of an event
};

struct null_state {
    std::mutex clock_lock;
    long long usec; // the fake clock
    int waits;
    int real;              // the clock follows the machine's and waits sleep
    long long real_origin; // machine microseconds at clock 0
    // Scripted events, held back until the clock reaches their time (in time order).
    std::vector<scripted_event> script;
    int width, height;
    int gl_major, gl_minor, gl_dialect;
    platform_window window;
    platform_device *cursor;
    int pad; // offer a game pad at the next window
};

null_state g_null;

// Moves the scripted events whose time has come into the window's queue. Called with the clock
// lock held, after the clock moved.
void release_due_events(void) {
    size_t n = 0;
    while (n < g_null.script.size() && g_null.script[n].usec <= g_null.usec) {
        const scripted_event &e = g_null.script[n];
        platform_time t = {(int)(e.usec / 1000000), (int)(e.usec % 1000000)};
        if (!e.pointer) {
            platform_event_queue_push(&g_null.window.input.queue, e.code, e.pressed, t);
        } else if (g_null.cursor) {
            g_null.cursor->axis_value[0] = e.code;
            g_null.cursor->axis_value[1] = e.pressed;
        }
        n++;
    }
    g_null.script.erase(g_null.script.begin(), g_null.script.begin() + (long)n);
}

const platform_display_mode null_modes[] = {
    {640, 480, 32}, {800, 600, 32}, {1024, 768, 32}, {1280, 1024, 32}, {0, 0, 0}};

long long machine_usec(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

// In real time the clock is the machine's since the switch; called with the lock held.
void follow_machine(void) {
    if (!g_null.real) return;
    long long now = machine_usec() - g_null.real_origin;
    if (now > g_null.usec) g_null.usec = now;
    release_due_events();
}

} // namespace

// ---- clock -------------------------------------------------------------------------------------

platform_time platform_clock(void) {
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    follow_machine();
    platform_time t;
    t.sec = (int)(g_null.usec / 1000000);
    t.usec = (int)(g_null.usec % 1000000);
    return t;
}

void platform_wait(int sec, int usec) {
    long long d = (long long)sec * 1000000 + usec;
    if (g_null.real) {
        if (d > 0) {
            timespec t = {(time_t)(d / 1000000), (long)(d % 1000000) * 1000};
            nanosleep(&t, nullptr);
        }
        std::lock_guard<std::mutex> hold(g_null.clock_lock);
        g_null.waits++;
        follow_machine();
        return;
    }
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    g_null.waits++;
    if (d > 0) g_null.usec += d;
    release_due_events();
}

void platform_null_set_time(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return;
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    g_null.usec = llround(seconds * 1e6);
    release_due_events();
}

void platform_null_advance(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return;
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    g_null.usec += llround(seconds * 1e6);
    release_due_events();
}

void platform_null_real_time(int on) {
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    g_null.real = on;
    g_null.real_origin = machine_usec() - g_null.usec;
}

int platform_null_wait_count(void) {
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    return g_null.waits;
}

void platform_null_reset(void) {
    {
        std::lock_guard<std::mutex> hold(g_null.clock_lock);
        g_null.usec = 0;
        g_null.waits = 0;
        g_null.real = 0;
        g_null.script.clear();
    }
    g_null.width = 640;
    g_null.height = 480;
    g_null.pad = 0;
    platform_window *w = &g_null.window;
    w->width = 640;
    w->height = 480;
    w->closed = 0;
    platform_input_close(&w->input);
    platform_input_reset(&w->input);
    platform_alias_reset();
}

int platform_null_push_event(int code, int pressed, platform_time t) {
    return platform_event_queue_push(&g_null.window.input.queue, code, pressed, t);
}

namespace {
void script(int code, int pressed, double seconds, int pointer) {
    if (!std::isfinite(seconds) || seconds < 0) return;
    std::lock_guard<std::mutex> hold(g_null.clock_lock);
    scripted_event e = {llround(seconds * 1e6), code, pressed, pointer};
    auto at = g_null.script.begin();
    while (at != g_null.script.end() && at->usec <= e.usec)
        ++at;
    g_null.script.insert(at, e);
    release_due_events();
}
} // namespace

void platform_null_script_event(int code, int pressed, double seconds) {
    script(code, pressed, seconds, 0);
}

void platform_null_attach_pad(int attach) {
    g_null.pad = attach;
}

void platform_null_script_pointer(int x, int y, double seconds) {
    script(x, y, seconds, 1);
}

void platform_null_set_size(int width, int height) {
    g_null.width = width < 0 ? 0 : width;
    g_null.height = height < 0 ? 0 : height;
    g_null.window.width = g_null.width;
    g_null.window.height = g_null.height;
}

void platform_null_close(platform_window *w) {
    // There is only one window; a null pointer means that one.
    (w ? w : &g_null.window)->closed = 1;
}

// ---- window ------------------------------------------------------------------------------------

const platform_display_mode *platform_display_modes(void) {
    return null_modes;
}

void platform_request_gl_version(int major, int minor, int dialect) {
    g_null.gl_major = major;
    g_null.gl_minor = minor;
    g_null.gl_dialect = dialect;
}

platform_window *platform_create_gl_window(const char *title, int width, int height, int flags, int,
                                           int, int, int) {
    platform_window *w = &g_null.window;
    if (w->open) {
        platform_log_error("Window already open");
        return nullptr;
    }
    snprintf(w->title, sizeof w->title, "%s", title ? title : "");
    platform_log("Creating window\n");
    w->open = 1;
    w->closed = 0;
    w->fullscreen = 0;
    // Events scripted before the window opens stay queued for the program to read.
    platform_input_close(&w->input);
    // The pointer in window pixels, as the desktop back end offers it.
    static const platform_device_ops cursor_ops = {
        .start = nullptr, .stop = nullptr, .poll = nullptr, .release = [](platform_device *) {
            g_null.cursor = nullptr;
        }};
    g_null.cursor = platform_input_add_device(&w->input, "cursor", 0, 2, &cursor_ops, nullptr, 0);
    if (g_null.pad) {
        // A pad as the desktop back end's roll call names it; its buttons are scripted events.
        static const platform_device_ops pad_ops = {.start = [](platform_device *) { return 1; },
                                                    .stop = nullptr,
                                                    .poll = nullptr,
                                                    .release = nullptr};
        platform_input_add_device(&w->input, "XInputGamepad1", 16, 6, &pad_ops, nullptr, 1);
    }
    platform_input_standard_aliases();
    if (flags & PLATFORM_FULLSCREEN) {
        platform_set_fullscreen(w, width, height);
    } else if (width > 0 && height > 0) {
        w->width = width;
        w->height = height;
    } else {
        w->width = 640;
        w->height = 480;
    }
    g_null.width = w->width;
    g_null.height = w->height;
    return w;
}

void platform_destroy_gl_window(platform_window *w) {
    if (!w || !w->open) return;
    w->closed = 1;
    platform_log("Closing input devices\n");
    platform_input_close(&w->input);
    platform_log("Destroying window\n");
    w->open = 0;
    platform_log("Window shutdown complete\n");
}

void platform_set_fullscreen(platform_window *w, int width, int height) {
    if (!w) return;
    platform_display_mode desktop = {640, 480, 32};
    platform_display_mode m =
        platform_choose_fullscreen_mode(platform_display_modes(), width, height, desktop);
    w->width = m.width;
    w->height = m.height;
    w->fullscreen = 1;
    g_null.width = w->width;
    g_null.height = w->height;
}

void platform_set_windowed(platform_window *w, int width, int height) {
    if (!w) return;
    w->fullscreen = 0;
    w->width = width > 0 && height > 0 ? width : 640;
    w->height = width > 0 && height > 0 ? height : 480;
    g_null.width = w->width;
    g_null.height = w->height;
}

int platform_frame_begin(platform_window *w, int *width, int *height) {
    if (!w || w->closed || w->width <= 0 || w->height <= 0) return 0;
    w->lock.lock();
    if (width) *width = w->width;
    if (height) *height = w->height;
    return 1;
}

void platform_swap(platform_window *w) {
    if (w) w->lock.unlock();
}

int platform_window_closed(platform_window *w) {
    return !w || w->closed;
}

void *platform_gl_proc(platform_window *, const char *) {
    return nullptr;
}

int platform_gl_context_version(platform_window *, int *, int *, int *) {
    return 0;
}

void platform_message_box(const char *caption, const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    fprintf(stderr, "%s: %s\n", caption ? caption : "", text);
}

// ---- back-end hooks for the shared input and audio code ----------------------------------------

platform_input *platform_window_input(platform_window *w) {
    // Events pushed before a window exists wait in the same queue.
    return w ? &w->input : &g_null.window.input;
}

void platform_backend_pump(platform_window *) {}

const char *platform_layout_key_name(int) {
    return "";
}

platform_audio *platform_open_audio(platform_window *) {
    if (platform_audio_driver()) {
        platform_log("Audio already open\n");
        return nullptr;
    }
    platform_log("No audio device\n");
    return nullptr;
}
