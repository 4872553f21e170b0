// Input pieces every back end shares: the event ring, the device list with its ids, axes and
// time-stamp adjustment, key names and the alias list. A back end owns one platform_input per
// window and hands it out through platform_window_input().
#pragma once

#include "platform/platform.h"

#include <mutex>

// ---- event ring --------------------------------------------------------------------------------

struct platform_event_queue {
    std::mutex lock;
    platform_event ring[PLATFORM_EVENT_QUEUE_SIZE];
    int head;
    int count;
};

void platform_event_queue_clear(platform_event_queue *q);
// Appends in arrival order; 0 (event dropped) when 256 are waiting.
int platform_event_queue_push(platform_event_queue *q, int code, int pressed, platform_time t);
// Takes the oldest event; with a limit, only when its time is not later than the limit.
int platform_event_queue_pop(platform_event_queue *q, const platform_time *limit,
                             platform_event *ev);

// ---- devices -----------------------------------------------------------------------------------

enum {
    PLATFORM_MAX_DEVICES = 64,
    PLATFORM_DEVICE_MAX_AXES = 100,
    PLATFORM_DEVICE_MAX_BUTTONS = 500,
    PLATFORM_DEVICE_NAME = 128,
    PLATFORM_MAX_AXIS_NAMES = 512,
    PLATFORM_DEVICE_ID_LIMIT = 32768, // ids are 1..32767 so id * 65536 + 255 stays in 31 bits
};

struct platform_device;
struct platform_input;

struct platform_device_ops {
    // Acquire; 0 when the device cannot be started.
    int (*start)(platform_device *d);
    void (*stop)(platform_device *d);
    // Brings axes up to date and queues button changes.
    void (*poll)(platform_device *d);
    void (*release)(platform_device *d);
};

struct platform_device {
    char name[PLATFORM_DEVICE_NAME];
    int id;
    int buttons;
    int axes;
    int open_axes;
    int active;
    int relative; // axes sum motion and reset on read
    int axis_value[PLATFORM_DEVICE_MAX_AXES];
    unsigned char button_down[PLATFORM_DEVICE_MAX_BUTTONS];
    int adjust_ms; // subtracted from device stamps so they never lie in the future
    const platform_device_ops *ops;
    void *user;
    platform_input *input;
};

struct platform_axis {
    platform_device *device;
    int index;
    int open;
};

struct platform_input {
    platform_event_queue queue;
    platform_device devices[PLATFORM_MAX_DEVICES];
    int device_count;
    char axis_name_text[PLATFORM_MAX_AXIS_NAMES][224];
    const char *axis_names[PLATFORM_MAX_AXIS_NAMES];
    int axis_name_count;
    platform_axis axis_handles[PLATFORM_MAX_DEVICES * 4];
};

// Provided by the back end.
platform_input *platform_window_input(platform_window *w);
// Processes pending window messages (no-op without a message source).
void platform_backend_pump(platform_window *w);
// The keyboard layout's own name for a scan code (0..0x1FF), "" when it has none.
const char *platform_layout_key_name(int scan);

void platform_input_reset(platform_input *in);
// Stops and releases every device ("Closing input devices" is the caller's to log).
void platform_input_close(platform_input *in);

// (sum of bytes at odd indices mod 256) * 256 + (sum at even indices mod 65536), mod 32768.
int platform_device_name_hash(const char *name);
// The hash, moved past 0 and ids in use (wrapping from 32767 to 1); 0 when every id is taken.
int platform_input_device_id(platform_input *in, const char *name);
// An instance name without spaces and dots, with "#2", "#3", ... while the name is taken.
void platform_input_unique_name(platform_input *in, const char *instance, char *out, size_t size);
// Adds a device named exactly name (null when the list is full). With list_axes, its axes are
// offered as "<name> axis <n>" in the axis name list.
platform_device *platform_input_add_device(platform_input *in, const char *name, int buttons,
                                           int axes, const platform_device_ops *ops, void *user,
                                           int list_axes);
platform_device *platform_input_find_device(platform_input *in, const char *name);
void platform_input_add_axis_name(platform_input *in, const char *name);
// Starts the device if it is not active yet; 0 when it cannot be started.
int platform_device_activate(platform_device *d);
// A button change: queues an event when the state differs. stamp_ms < 0 stamps with the clock;
// otherwise the device stamp is adjusted so it is never later than the clock.
void platform_device_button(platform_device *d, int button, int pressed, long long stamp_ms);
// An axis report: absolute devices set the value, relative devices add the motion.
void platform_device_axis(platform_device *d, int axis, int value);
// Splits "<device>.<dot_word>[<n>]" or "<device> <space_word> <n>" (device at most 63
// characters, n at most 6 digits, nothing after); 0 when the name has neither form.
int platform_parse_device_ref(const char *name, const char *dot_word, const char *space_word,
                              char *dev, size_t dev_size, int *index);
// Polls every active device.
void platform_input_poll(platform_input *in);

// The aliases that every roll call ends with (cursor, mouse and joystick short names).
void platform_input_standard_aliases(void);
// Forgets every alias (tests).
void platform_alias_reset(void);

// ---- key names ---------------------------------------------------------------------------------

// Number of entries in the built-in scan-code name table, and entry i of it.
int platform_key_table_size(void);
const char *platform_key_table_name(int i, int *scan);
// Loose equality: case ignored, '_' and white space equal to a space.
int platform_key_loose_equal(const char *a, const char *b);
