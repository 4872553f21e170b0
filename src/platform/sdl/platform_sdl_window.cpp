// The SDL2 window: display modes, the GL context with the requested version and dialect,
// frame begin and swap, full screen, the clock and the message box. Window messages are pumped
// on the main thread whenever input is asked for.
#include "platform/sdl/platform_sdl.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>

namespace {

enum { MODE_MAX = 256 };

struct sdl_state {
    long long stamp_offset; // platform ms - SDL ticks
    int modes_built;
    platform_display_mode modes[MODE_MAX + 1];
    platform_display_mode desktop;
    int gl_major, gl_minor, gl_dialect;
    platform_window window;
};

sdl_state g_sdl = {0, 0, {}, {0, 0, 0}, 3, 1, PLATFORM_GL_CORE, {}};

const int GL_VENDOR_ = 0x1F00, GL_RENDERER_ = 0x1F01, GL_VERSION_ = 0x1F02,
          GL_SHADING_LANGUAGE_VERSION_ = 0x8B8C, GL_MAJOR_VERSION_ = 0x821B,
          GL_MINOR_VERSION_ = 0x821C;

struct clock_origin {
    Uint64 base;
    Uint64 freq;
};

// Taken once, on first use, from whichever thread gets there first (a thread-safe static).
const clock_origin &clock_start(void) {
    static const clock_origin origin = {SDL_GetPerformanceCounter(), SDL_GetPerformanceFrequency()};
    return origin;
}

long long clock_usec(void) {
    const clock_origin &o = clock_start();
    Uint64 d = SDL_GetPerformanceCounter() - o.base;
    return (long long)(d / o.freq) * 1000000 + (long long)((d % o.freq) * 1000000 / o.freq);
}

int keep_depth(int bpp) {
    return bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

void build_modes(void) {
    if (g_sdl.modes_built) return;
    if (!platform_sdl_init(SDL_INIT_VIDEO)) return;
    g_sdl.modes_built = 1;
    int n = 0;
    SDL_DisplayMode dm;
    if (SDL_GetDesktopDisplayMode(0, &dm) == 0) {
        int bpp = SDL_BITSPERPIXEL(dm.format);
        int kept = keep_depth(bpp);
        platform_log(kept ? "Registry mode is %dx%dx%d@%dhz\n"
                          : "Registry mode is %dx%dx%d@%dhz (ignored)\n",
                     dm.w, dm.h, bpp, dm.refresh_rate);
        g_sdl.desktop = {dm.w, dm.h, bpp};
        if (kept) g_sdl.modes[n++] = g_sdl.desktop;
    }
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count && n < MODE_MAX; i++) {
        if (SDL_GetDisplayMode(0, i, &dm) != 0) continue;
        int bpp = SDL_BITSPERPIXEL(dm.format);
        if (!keep_depth(bpp)) {
            platform_log("Found mode %dx%dx%d@%dhz (ignored)\n", dm.w, dm.h, bpp, dm.refresh_rate);
            continue;
        }
        platform_log("Found mode %dx%dx%d@%dhz\n", dm.w, dm.h, bpp, dm.refresh_rate);
        int dup = 0;
        for (int j = 0; j < n; j++)
            if (g_sdl.modes[j].width == dm.w && g_sdl.modes[j].height == dm.h &&
                g_sdl.modes[j].bpp == bpp)
                dup = 1;
        if (!dup) g_sdl.modes[n++] = {dm.w, dm.h, bpp};
    }
    g_sdl.modes[n] = {0, 0, 0};
}

typedef const unsigned char *(*get_string_fn)(unsigned);
typedef void (*get_integer_fn)(unsigned, int *);

const char *gl_string(get_string_fn get, int name) {
    const unsigned char *s = get ? get((unsigned)name) : nullptr;
    return s ? (const char *)s : "(none)";
}

// Creates the context for the dialect; logs the failure and returns null when it cannot.
SDL_GLContext make_context(SDL_Window *win, int major, int minor, int dialect) {
    int profile = dialect == PLATFORM_GL_ES     ? SDL_GL_CONTEXT_PROFILE_ES
                  : dialect == PLATFORM_GL_CORE ? SDL_GL_CONTEXT_PROFILE_CORE
                                                : SDL_GL_CONTEXT_PROFILE_COMPATIBILITY;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, profile);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    platform_log("Creating OpenGL context\n");
    SDL_GLContext c = SDL_GL_CreateContext(win);
    if (!c) {
        platform_log("Couldn't create OpenGL context with attributes\n");
        platform_log("SDL: %s\n", SDL_GetError());
    }
    return c;
}

// The context's actual version must meet the request: SDL_GL_GetProcAddress answers for any
// name, so the version is what tells which entry points really exist.
int check_version(int want_major, int want_minor, int *got_major, int *got_minor) {
    get_string_fn get_string = (get_string_fn)SDL_GL_GetProcAddress("glGetString");
    get_integer_fn get_integer = (get_integer_fn)SDL_GL_GetProcAddress("glGetIntegerv");
    platform_log("GL_VENDOR: %s\n", gl_string(get_string, GL_VENDOR_));
    platform_log("GL_RENDERER: %s\n", gl_string(get_string, GL_RENDERER_));
    platform_log("GL_VERSION: %s\n", gl_string(get_string, GL_VERSION_));
    platform_log("GL_SHADING_LANGUAGE_VERSION: %s\n",
                 gl_string(get_string, GL_SHADING_LANGUAGE_VERSION_));
    int major = 0, minor = 0;
    if (get_integer) {
        get_integer(GL_MAJOR_VERSION_, &major);
        get_integer(GL_MINOR_VERSION_, &minor);
    }
    if (major == 0 && get_string) {
        // Before 3.0 the integers do not exist; read the version string ("ES" prefixes too).
        const char *v = gl_string(get_string, GL_VERSION_);
        while (*v && (*v < '0' || *v > '9'))
            v++;
        if (sscanf(v, "%d.%d", &major, &minor) != 2) major = minor = 0;
    }
    *got_major = major;
    *got_minor = minor;
    if (major < want_major || (major == want_major && minor < want_minor)) {
        platform_log("OpenGL %d.%d is below the requested %d.%d\n", major, minor, want_major,
                     want_minor);
        return 0;
    }
    return 1;
}

void window_fail(platform_window *w, const char *why) {
    platform_log_error(why);
    if (w->context) SDL_GL_DeleteContext(w->context);
    w->context = nullptr;
    if (w->window) SDL_DestroyWindow(w->window);
    w->window = nullptr;
    platform_input_close(&w->input);
    w->open = 0;
}

void update_size(platform_window *w) {
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(w->window, &dw, &dh);
    std::lock_guard<std::recursive_mutex> hold(w->lock);
    w->width = dw;
    w->height = dh;
}

} // namespace

// ---- clock -------------------------------------------------------------------------------------

int platform_sdl_init(Uint32 flags) {
    clock_start();
    // Close requests are the program's to act on, and controllers must report while the window
    // is not focused (an offscreen window never is). Set every time: someone else may have
    // started SDL before us.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_WasInit(flags) != flags && SDL_InitSubSystem(flags) != 0) {
        platform_log("SDL_InitSubSystem failed: %s\n", SDL_GetError());
        return 0;
    }
    // SDL stamps events with milliseconds since its own start; remember where that lies on
    // our clock. SDL's ticks come from the same performance counter, so this does not drift,
    // but SDL restarts them if it is shut down and started again, so look each time.
    g_sdl.stamp_offset = clock_usec() / 1000 - (long long)SDL_GetTicks64();
    return 1;
}

long long platform_sdl_stamp_offset(void) {
    return g_sdl.stamp_offset;
}

platform_time platform_sdl_event_time(Uint32 stamp) {
    long long now = clock_usec();
    long long t = ((long long)stamp + g_sdl.stamp_offset) * 1000;
    if (t > now || t < 0) t = now;
    return platform_time{(int)(t / 1000000), (int)(t % 1000000)};
}

platform_time platform_clock(void) {
    long long t = clock_usec();
    return platform_time{(int)(t / 1000000), (int)(t % 1000000)};
}

void platform_wait(int sec, int usec) {
    long long target = clock_usec() + (long long)sec * 1000000 + usec;
    long long left = target - clock_usec();
    // Sleep for all but the last millisecond, then yield until the target has passed.
    if (left > 1000) SDL_Delay((Uint32)((left - 1000) / 1000));
    while (clock_usec() < target)
        SDL_Delay(0);
}

// ---- window ------------------------------------------------------------------------------------

const platform_display_mode *platform_display_modes(void) {
    build_modes();
    return g_sdl.modes;
}

void platform_request_gl_version(int major, int minor, int dialect) {
    g_sdl.gl_major = major;
    g_sdl.gl_minor = minor;
    g_sdl.gl_dialect = dialect;
}

platform_window *platform_create_gl_window(const char *title, int width, int height, int flags,
                                           int alpha_bits, int depth_bits, int stencil_bits,
                                           int accum_bits) {
    platform_window *w = &g_sdl.window;
    if (w->open) {
        platform_log_error("Window already open");
        return nullptr;
    }
    w->fullscreen_wanted = platform_switch_option("fullscreen", (flags & PLATFORM_FULLSCREEN) != 0);
    w->threaded = platform_switch_option("threaded", 0);
    platform_log("Options:\n");
    platform_log("%10s [%s]\n", "threaded:", w->threaded ? "on" : "off");
    if (w->threaded)
        platform_log("SDL pumps window messages on the main thread; threaded is ignored\n");
    if (!platform_sdl_init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER)) {
        platform_log("Can't create window!\n");
        platform_log_error(SDL_GetError());
        return nullptr;
    }
    build_modes();

    snprintf(w->title, sizeof w->title, "%s", title ? title : "");
    w->requested_width = width;
    w->requested_height = height;
    w->depth = flags & PLATFORM_DEPTH_MASK;
    w->fullscreen_active = 0;
    w->closing = 0;
    w->busy = 0;
    w->context = nullptr;
    w->window = nullptr;
    platform_input_reset(&w->input);

    if (width <= 0 || height <= 0) {
        width = g_sdl.desktop.width > 0 ? g_sdl.desktop.width : 640;
        height = g_sdl.desktop.height > 0 ? g_sdl.desktop.height : 480;
    }

    // The pixel format: a double-buffered GL drawable with the asked-for planes. Accumulation
    // buffers do not exist in core and ES contexts; asking for them makes creation fail there.
    platform_log("Choosing pixel format\n");
    int colour = w->depth == 32 ? 24 : w->depth ? w->depth : 24;
    int per = colour >= 24 ? 8 : colour == 16 ? 5 : 5;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, per);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, colour == 16 ? 6 : per);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, per);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alpha_bits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, stencil_bits);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (accum_bits > 0) platform_log("Accumulation buffer of %d bits not requested\n", accum_bits);

    platform_log("Creating window\n");
    w->window = SDL_CreateWindow(
        w->title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
        SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
    if (!w->window) {
        platform_log("Can't create window!\n");
        window_fail(w, SDL_GetError());
        return nullptr;
    }
    w->open = 1;

    platform_sdl_input_open(w);

    int major = platform_number_option("glmajor", g_sdl.gl_major);
    int minor = platform_number_option("glminor", g_sdl.gl_minor);
    int want_es = platform_switch_option("gles", g_sdl.gl_dialect == PLATFORM_GL_ES);
    int want_core = platform_switch_option("glcore", g_sdl.gl_dialect == PLATFORM_GL_CORE);
    if (major < 1 || major > 9 || minor < 0 || minor > 9) {
        platform_log("Bad OpenGL version %d.%d requested\n", major, minor);
        window_fail(w, "Couldn't create OpenGL context with attributes");
        return nullptr;
    }
    if (want_es) {
        // Our shaders are GLSL ES 3.00.
        if (major < 3) major = 3, minor = 0;
        w->context = make_context(w->window, major, minor, PLATFORM_GL_ES);
        w->gl_dialect = PLATFORM_GL_ES;
        if (w->context && !check_version(major, minor, &w->gl_major, &w->gl_minor)) {
            SDL_GL_DeleteContext(w->context);
            w->context = nullptr;
        }
        if (!w->context)
            platform_log("Can't create OpenGL ES context (%s); trying desktop OpenGL\n",
                         SDL_GetError());
    }
    if (!w->context) {
        // Desktop shaders say "#version 150", which needs GL 3.2.
        if (major < 3 || (major == 3 && minor < 2)) {
            major = 3;
            minor = 2;
        }
        w->gl_dialect = want_core ? PLATFORM_GL_CORE : PLATFORM_GL_COMPATIBILITY;
        w->context = make_context(w->window, major, minor, w->gl_dialect);
        if (w->context && !check_version(major, minor, &w->gl_major, &w->gl_minor)) {
            SDL_GL_DeleteContext(w->context);
            w->context = nullptr;
        }
    }
    if (!w->context) {
        window_fail(w, "Couldn't create OpenGL context with attributes");
        return nullptr;
    }
    SDL_GL_MakeCurrent(w->window, w->context);

    if (w->fullscreen_wanted) platform_set_fullscreen(w, w->requested_width, w->requested_height);
    SDL_ShowWindow(w->window);
    SDL_RaiseWindow(w->window);
    platform_log("Foregrounded and locked\n");
    update_size(w);
    return w;
}

void platform_destroy_gl_window(platform_window *w) {
    if (!w || !w->open) return;
    w->closing = 1;
    if (w->context) {
        platform_log("Deleting OpenGL context\n");
        SDL_GL_MakeCurrent(w->window, nullptr);
        SDL_GL_DeleteContext(w->context);
        w->context = nullptr;
    }
    platform_log("Closing input devices\n");
    platform_input_close(&w->input);
    platform_log("Destroying window\n");
    if (w->fullscreen_active) SDL_SetWindowFullscreen(w->window, 0);
    SDL_DestroyWindow(w->window);
    w->window = nullptr;
    w->open = 0;
    w->fullscreen_active = 0;
    platform_log("Window shutdown complete\n");
}

void platform_set_fullscreen(platform_window *w, int width, int height) {
    if (!w || !w->window) return;
    w->busy++;
    platform_display_mode m =
        platform_choose_fullscreen_mode(platform_display_modes(), width, height, g_sdl.desktop);
    w->fullscreen_mode = m;
    int ok;
    if (m.width == g_sdl.desktop.width && m.height == g_sdl.desktop.height) {
        // The desktop mode: no mode change, a borderless window covering the screen.
        ok = SDL_SetWindowFullscreen(w->window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    } else {
        SDL_DisplayMode dm = {};
        dm.w = m.width;
        dm.h = m.height;
        SDL_DisplayMode closest;
        ok = SDL_GetClosestDisplayMode(0, &dm, &closest) &&
             SDL_SetWindowDisplayMode(w->window, &closest) == 0 &&
             SDL_SetWindowFullscreen(w->window, SDL_WINDOW_FULLSCREEN) == 0;
    }
    if (ok)
        w->fullscreen_active = 1;
    else
        platform_log("Can't switch to full screen %dx%d: %s\n", m.width, m.height, SDL_GetError());
    update_size(w);
    w->busy--;
}

void platform_set_windowed(platform_window *w, int width, int height) {
    if (!w || !w->window) return;
    w->busy++;
    SDL_HideWindow(w->window);
    SDL_SetWindowFullscreen(w->window, 0);
    w->fullscreen_active = 0;
    if (width <= 0 || height <= 0) {
        width = g_sdl.desktop.width > 0 ? g_sdl.desktop.width : 640;
        height = g_sdl.desktop.height > 0 ? g_sdl.desktop.height : 480;
    }
    SDL_SetWindowSize(w->window, width, height);
    SDL_ShowWindow(w->window);
    update_size(w);
    w->busy--;
}

int platform_frame_begin(platform_window *w, int *width, int *height) {
    if (!w || !w->open || w->closing || w->busy) return 0;
    Uint32 f = SDL_GetWindowFlags(w->window);
    if (f & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) return 0;
    w->lock.lock();
    if (w->width <= 0 || w->height <= 0) {
        w->lock.unlock();
        return 0;
    }
    if (width) *width = w->width;
    if (height) *height = w->height;
    return 1;
}

void platform_swap(platform_window *w) {
    if (!w || !w->window) return;
    SDL_GL_SwapWindow(w->window);
    w->lock.unlock();
}

int platform_window_closed(platform_window *w) {
    return !w || !w->open || w->closing;
}

void *platform_gl_proc(platform_window *w, const char *name) {
    if (!w || !w->context || !name) return nullptr;
    return SDL_GL_GetProcAddress(name);
}

int platform_gl_context_version(platform_window *w, int *major, int *minor, int *dialect) {
    if (!w || !w->context) return 0;
    if (major) *major = w->gl_major;
    if (minor) *minor = w->gl_minor;
    if (dialect) *dialect = w->gl_dialect;
    return 1;
}

// A graphical desktop session (as opposed to a bare or virtual X server) announces itself.
static int platform_desktop_session(void) {
    const char *names[] = {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "XDG_SESSION_DESKTOP"};
    for (const char *n : names) {
        const char *v = getenv(n);
        if (v && v[0]) return 1;
    }
    return 0;
}

void platform_message_box(const char *caption, const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    platform_log("%s: %s\n", caption ? caption : "", text);
    // Standard error always gets the text: a terminal or a script's log is where most users of a
    // failing start look. The modal box is for a player who started the game from a desktop menu
    // (no terminal); it waits for a click, so it is never shown without a desktop session, where
    // nobody could dismiss it (virtual X servers, remote shells, CI).
    fprintf(stderr, "%s: %s\n", caption ? caption : "", text);
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver && strcmp(driver, "offscreen") != 0 && strcmp(driver, "dummy") != 0 &&
        platform_desktop_session() && !isatty(2))
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption ? caption : "", text,
                                 g_sdl.window.window);
}

// ---- window messages ---------------------------------------------------------------------------

platform_input *platform_window_input(platform_window *w) {
    return w ? &w->input : nullptr;
}

void platform_backend_pump(platform_window *w) {
    if (!w || !w->open) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (platform_sdl_input_event(w, &e)) continue;
        switch (e.type) {
        case SDL_QUIT:
            // A close request (the close button, or SIGTERM through SDL): the program decides.
            platform_event_queue_push(&w->input.queue, PLATFORM_CLOSE, 1,
                                      platform_sdl_event_time(e.common.timestamp));
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
                platform_event_queue_push(&w->input.queue, PLATFORM_CLOSE, 1,
                                          platform_sdl_event_time(e.common.timestamp));
            } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                update_size(w);
                platform_log("WM_SIZE message %dx%d\n", w->width, w->height);
            }
            break;
        default:
            break;
        }
    }
}
