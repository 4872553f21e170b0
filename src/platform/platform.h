// The platform layer as the game sees it: one window object with its GL context, a clock,
// a time-stamped input event queue, axes read by name, and an audio device behind a table of
// operations. Two back ends implement these functions: src/platform/sdl (the real window, input
// and sound through SDL2) and src/platform/null (no window; a scripted clock and event queue for
// tests and headless tools). Pieces every back end shares (log, options, the event ring, key
// names, device ids, audio arithmetic) live beside this header.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- log and options ---------------------------------------------------------------------------

// printf-style; each message goes out whole under a lock (any thread may log). A null format
// closes the log file.
void platform_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Logs "Error: %s\n" and remembers the text for platform_last_error().
void platform_log_error(const char *text);
const char *platform_last_error(void);
// Lookups in QUVA_OPTIONS, e.g. "[fullscreen:yes][sound-rate:44100]".
int platform_switch_option(const char *name, int def);
int platform_number_option(const char *name, int def);
// Closes the log and forgets that it was opened, so the next message reads QUVA_LOGFILE again;
// the options text is likewise read again on the next lookup. For tests and restarts.
void platform_log_reset(void);
void platform_options_reset(void);

// ---- clock -------------------------------------------------------------------------------------

struct platform_time {
    int sec;
    int usec;
};
// Time since an arbitrary start (not the calendar), millisecond resolution or better.
platform_time platform_clock(void);
// Sleeps for the duration; returns once the clock has passed the target.
void platform_wait(int sec, int usec);
double platform_seconds(platform_time t);

// ---- window ------------------------------------------------------------------------------------

struct platform_window;

struct platform_display_mode {
    int width, height, bpp;
};

enum platform_gl_dialect {
    PLATFORM_GL_COMPATIBILITY = 0,
    PLATFORM_GL_CORE = 1,
    PLATFORM_GL_ES = 2
};

// Flags for platform_create_gl_window: the colour depth in the low byte, plus the full-screen bit.
enum { PLATFORM_DEPTH_MASK = 0xff, PLATFORM_FULLSCREEN = 0x100 };

// The mode list, ended by an entry of zero width; built on first use.
const platform_display_mode *platform_display_modes(void);
// The full-screen mode for a request: the mode with the smallest width + height that is at least
// as wide and as high; the desktop mode (or 640 x 480 when unknown) when none fits or the
// request is 0 x 0.
platform_display_mode platform_choose_fullscreen_mode(const platform_display_mode *modes, int width,
                                                      int height, platform_display_mode desktop);
void platform_request_gl_version(int major, int minor, int dialect);
platform_window *platform_create_gl_window(const char *title, int width, int height, int flags,
                                           int alpha_bits, int depth_bits, int stencil_bits,
                                           int accum_bits);
void platform_destroy_gl_window(platform_window *w);
void platform_set_fullscreen(platform_window *w, int width, int height);
void platform_set_windowed(platform_window *w, int width, int height);
// Returns 1 with the drawable size and the window lock held, 0 (no lock) when the window is
// minimised or busy. Draw only after a successful begin; end the frame with platform_swap.
int platform_frame_begin(platform_window *w, int *width, int *height);
void platform_swap(platform_window *w);
// Non-zero once the window is gone or closing.
int platform_window_closed(platform_window *w);
// Looks a GL function up by name. SDL answers for any name, even one the driver lacks, so
// check the context's version (below) before relying on an entry point beyond it.
void *platform_gl_proc(platform_window *w, const char *name);
// The version and dialect of the context actually made (which may differ from the request: a
// 3.1 request gets 3.2 or later, an ES request may fall back to desktop GL). 0 with no context.
int platform_gl_context_version(platform_window *w, int *major, int *minor, int *dialect);
void platform_message_box(const char *caption, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));

// ---- input -------------------------------------------------------------------------------------

enum {
    PLATFORM_KEY_BASE = 0x1000, // + scan code (0x100 added for extended keys)
    PLATFORM_MOUSE_LEFT = 0x2000,
    PLATFORM_MOUSE_MIDDLE = 0x2001,
    PLATFORM_MOUSE_RIGHT = 0x2002,
    PLATFORM_CLOSE = 0xDEAD,
    PLATFORM_EVENT_QUEUE_SIZE = 256,
};

struct platform_event {
    int code;    // 31 bits
    int pressed; // 1 pressed, 0 released
    platform_time time;
};

// The oldest queued event; 0 when there is none.
int platform_next_event(platform_window *w, platform_event *ev);
// The same, but only an event whose time is not later than limit; later ones stay queued.
int platform_next_event_until(platform_window *w, platform_time limit, platform_event *ev);
// Queues an event stamped with the current clock; 0 when the queue is full (the event is dropped).
int platform_queue_button(platform_window *w, int code, int pressed);
// A button code by name (aliases resolved, then the loose pass); -1 when unknown.
int platform_code_for_name(platform_window *w, const char *name);
// Writes the name of a code into buf (size bytes); returns buf.
const char *platform_name_for_code(platform_window *w, int code, char *buf, size_t size);

struct platform_axis;
platform_axis *platform_open_axis(platform_window *w, const char *name);
int platform_read_axis(platform_axis *a);
void platform_close_axis(platform_axis *a);
// Every axis name found in the roll calls; *count receives the number of names.
const char *const *platform_axis_names(platform_window *w, int *count);

// Aliases are global: the first definition of an alias wins.
int platform_alias(const char *alias, const char *target);
const char *platform_resolve(const char *name);

// ---- audio -------------------------------------------------------------------------------------

struct platform_audio;
struct platform_voice;

// One table per driver, in this order; the game calls through the current driver's table.
struct platform_audio_ops {
    platform_audio *(*open)(platform_window *w);
    platform_audio *(*open_readback)(int rate, int block_length);
    void (*close)(platform_audio *a);
    int (*update)(platform_audio *a);
    const int16_t *(*read_block)(platform_audio *a);
    platform_voice *(*create_voice)(platform_audio *a, const void *bytes, int samples, int rate);
    platform_voice *(*clone_voice)(platform_audio *a, platform_voice *v);
    void (*free_voice)(platform_audio *a, platform_voice *v);
    void (*start)(platform_audio *a, platform_voice *v);
    void (*stop)(platform_audio *a, platform_voice *v);
    void (*set_rate)(platform_audio *a, platform_voice *v, int rate);
    void (*set_volume)(platform_audio *a, platform_voice *v, int volume);
    void (*set_pan)(platform_audio *a, platform_voice *v, int pan);
    void (*set_loop)(platform_audio *a, platform_voice *v, int loop);
    int (*play_position)(platform_audio *a, platform_voice *v);
    void (*write_samples)(platform_audio *a, platform_voice *v, int offset, const void *bytes,
                          int count);
};

platform_audio *platform_open_audio(platform_window *w);
platform_audio *platform_open_readback(platform_window *w, int rate, int block_length);
// Closes the open driver; a null handle closes whichever is open.
void platform_close_audio(platform_audio *a);
// The table of the driver now open, or null when audio is closed.
const platform_audio_ops *platform_audio_driver(void);
// The open device (the handle its table's calls take), or null when audio is closed.
platform_audio *platform_audio_current(void);
// Bytes in one block that read_block returns (readback only; 0 otherwise).
int platform_audio_block_bytes(platform_audio *a);
// Fragments of mix-ahead for a mix-ahead in milliseconds (fragments are 1/64 s; 1 to 32).
int platform_audio_mixahead_fragments(int milliseconds);
// Samples per fragment at an output rate.
int platform_audio_fragment_samples(int rate);

// The software mixer is the sound module's; it installs itself here. Until it does, drivers
// produce silence and voices cannot be created. Every call is made under the driver's mixer
// lock, from the audio thread (mix) or the main thread (voice operations).
struct platform_mixer;
struct platform_mixer_ops {
    // One mixer per open output. sample_bits is 8 (unsigned) or 16 (signed); stereo output is
    // interleaved. Returns null on failure.
    platform_mixer *(*open)(int rate, int channel_budget, int stereo, int sample_bits,
                            int fragment_samples);
    void (*close)(platform_mixer *m);
    // Fills out with the next fragment_samples frames.
    void (*mix)(platform_mixer *m, void *out);
    platform_voice *(*create_voice)(platform_mixer *m, const void *bytes, int samples, int rate);
    platform_voice *(*clone_voice)(platform_mixer *m, platform_voice *v);
    void (*free_voice)(platform_mixer *m, platform_voice *v);
    void (*start)(platform_mixer *m, platform_voice *v);
    void (*stop)(platform_mixer *m, platform_voice *v);
    void (*set_rate)(platform_mixer *m, platform_voice *v, int rate);
    void (*set_volume)(platform_mixer *m, platform_voice *v, int volume);
    void (*set_pan)(platform_mixer *m, platform_voice *v, int pan);
    void (*set_loop)(platform_mixer *m, platform_voice *v, int loop);
    int (*play_position)(platform_mixer *m, platform_voice *v);
    void (*write_samples)(platform_mixer *m, platform_voice *v, int offset, const void *bytes,
                          int count);
};
// Installs (or, with null, removes) the mixer; takes effect for outputs opened afterwards.
void platform_audio_set_mixer(const platform_mixer_ops *ops);
