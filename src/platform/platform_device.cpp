// Input devices: ids made from names, twin naming, axes with relative motion, button changes
// with device time stamps kept out of the future, and the global alias list.
#include "platform/platform_input.h"

#include <cstdio>
#include <cstring>

namespace {

enum { ALIAS_MAX = 512, ALIAS_NAME = 128 };

struct alias_entry {
    char alias[ALIAS_NAME];
    char target[ALIAS_NAME];
};

struct alias_state {
    std::mutex lock;
    alias_entry entries[ALIAS_MAX];
    int count;
};

alias_state g_alias;

int id_in_use(platform_input *in, int id) {
    for (int i = 0; i < in->device_count; i++)
        if (in->devices[i].id == id) return 1;
    return 0;
}

long long time_ms(platform_time t) {
    return (long long)t.sec * 1000 + t.usec / 1000;
}

} // namespace

void platform_input_reset(platform_input *in) {
    platform_event_queue_clear(&in->queue);
    in->device_count = 0;
    in->axis_name_count = 0;
    for (platform_axis &h : in->axis_handles)
        h = platform_axis{};
}

void platform_input_close(platform_input *in) {
    for (int i = 0; i < in->device_count; i++) {
        platform_device *d = &in->devices[i];
        if (d->active && d->ops && d->ops->stop) d->ops->stop(d);
        d->active = 0;
        if (d->adjust_ms > 0) platform_log("Timestamp adjustment was %d\n", d->adjust_ms);
        if (d->ops && d->ops->release) d->ops->release(d);
    }
    in->device_count = 0;
    in->axis_name_count = 0;
    for (platform_axis &h : in->axis_handles)
        h = platform_axis{};
}

int platform_device_name_hash(const char *name) {
    unsigned odd = 0, even = 0;
    for (size_t i = 0; name[i]; i++) {
        unsigned char c = (unsigned char)name[i];
        if (i & 1)
            odd += c;
        else
            even += c;
    }
    return (int)((((odd % 256) * 256) + (even % 65536)) % PLATFORM_DEVICE_ID_LIMIT);
}

int platform_input_device_id(platform_input *in, const char *name) {
    int id = platform_device_name_hash(name);
    // Wrap within 1..32767: an id of 32768 would push button codes past 31 bits.
    for (int tries = 0; tries < PLATFORM_DEVICE_ID_LIMIT; tries++) {
        if (id <= 0 || id >= PLATFORM_DEVICE_ID_LIMIT) id = 1;
        if (!id_in_use(in, id)) return id;
        id++;
    }
    return 0;
}

platform_device *platform_input_find_device(platform_input *in, const char *name) {
    for (int i = 0; i < in->device_count; i++)
        if (strcmp(in->devices[i].name, name) == 0) return &in->devices[i];
    return nullptr;
}

void platform_input_unique_name(platform_input *in, const char *instance, char *out, size_t size) {
    char base[PLATFORM_DEVICE_NAME];
    size_t n = 0;
    for (const char *p = instance; *p && n + 1 < sizeof base - 8; p++)
        if (*p != ' ' && *p != '.') base[n++] = *p;
    base[n] = 0;
    snprintf(out, size, "%s", base);
    for (int k = 2; platform_input_find_device(in, out) && k < 1000; k++)
        snprintf(out, size, "%s#%d", base, k);
}

void platform_input_add_axis_name(platform_input *in, const char *name) {
    if (in->axis_name_count >= PLATFORM_MAX_AXIS_NAMES) return;
    char *slot = in->axis_name_text[in->axis_name_count];
    snprintf(slot, sizeof in->axis_name_text[0], "%s", name);
    in->axis_names[in->axis_name_count++] = slot;
}

platform_device *platform_input_add_device(platform_input *in, const char *name, int buttons,
                                           int axes, const platform_device_ops *ops, void *user,
                                           int list_axes) {
    if (!name || !name[0] || in->device_count >= PLATFORM_MAX_DEVICES) return nullptr;
    if (strlen(name) >= PLATFORM_DEVICE_NAME || platform_input_find_device(in, name))
        return nullptr;
    int id = platform_input_device_id(in, name);
    if (!id) return nullptr;
    platform_device *d = &in->devices[in->device_count++];
    memset(d, 0, sizeof *d);
    snprintf(d->name, sizeof d->name, "%s", name);
    d->id = id;
    d->buttons = buttons < 0                             ? 0
                 : buttons > PLATFORM_DEVICE_MAX_BUTTONS ? PLATFORM_DEVICE_MAX_BUTTONS
                                                         : buttons;
    d->axes = axes < 0 ? 0 : axes > PLATFORM_DEVICE_MAX_AXES ? PLATFORM_DEVICE_MAX_AXES : axes;
    d->ops = ops;
    d->user = user;
    d->input = in;
    if (list_axes) {
        for (int i = 0; i < d->axes; i++) {
            char axis[224];
            snprintf(axis, sizeof axis, "%.200s axis %d", d->name, i);
            platform_input_add_axis_name(in, axis);
        }
    }
    return d;
}

int platform_device_activate(platform_device *d) {
    if (d->active) return 1;
    if (d->ops && d->ops->start && !d->ops->start(d)) return 0;
    d->active = 1;
    return 1;
}

void platform_device_button(platform_device *d, int button, int pressed, long long stamp_ms) {
    if (button < 0 || button >= d->buttons) return;
    pressed = pressed ? 1 : 0;
    if (d->button_down[button] == pressed) return;
    d->button_down[button] = (unsigned char)pressed;
    // Only buttons 0..255 have codes.
    if (button > 255) return;
    platform_time now = platform_clock();
    platform_time t = now;
    if (stamp_ms >= 0) {
        long long adjusted = stamp_ms - d->adjust_ms;
        long long now_ms = time_ms(now);
        if (adjusted > now_ms) {
            long long grow = adjusted - now_ms;
            d->adjust_ms = grow > 0x3fffffff - d->adjust_ms ? 0x3fffffff : d->adjust_ms + (int)grow;
            adjusted = now_ms;
        }
        if (adjusted < 0) adjusted = 0;
        t.sec = (int)(adjusted / 1000);
        t.usec = (int)(adjusted % 1000) * 1000;
        // A millisecond stamp must not sort before the clock reading it was taken from.
        if (adjusted == now_ms) t = now;
    }
    platform_event_queue_push(&d->input->queue, d->id * 65536 + button, pressed, t);
}

void platform_device_axis(platform_device *d, int axis, int value) {
    if (axis < 0 || axis >= d->axes) return;
    if (d->relative)
        d->axis_value[axis] += value;
    else
        d->axis_value[axis] = value;
}

void platform_input_poll(platform_input *in) {
    for (int i = 0; i < in->device_count; i++) {
        platform_device *d = &in->devices[i];
        if (d->active && d->ops && d->ops->poll) d->ops->poll(d);
    }
}

// A decimal index of at most 6 digits, the whole rest of the text up to the end mark.
static int parse_index(const char *p, const char *end_mark, int *index) {
    int v = 0, digits = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        if (++digits > 6) return 0;
        v = v * 10 + (*p - '0');
    }
    if (!digits || strcmp(p, end_mark) != 0) return 0;
    *index = v;
    return 1;
}

int platform_parse_device_ref(const char *name, const char *dot_word, const char *space_word,
                              char *dev, size_t dev_size, int *index) {
    if (!name || dev_size < 2) return 0;
    // "<device>.<dot_word>[<n>]": the device is everything before the first '.'.
    const char *dot = strchr(name, '.');
    if (dot && dot > name && (size_t)(dot - name) < dev_size && (size_t)(dot - name) <= 63) {
        size_t wl = strlen(dot_word);
        if (strncmp(dot + 1, dot_word, wl) == 0 && dot[1 + wl] == '[' &&
            parse_index(dot + 2 + wl, "]", index)) {
            memcpy(dev, name, (size_t)(dot - name));
            dev[dot - name] = 0;
            return 1;
        }
    }
    // "<device> <space_word> <n>": the device is one word.
    const char *sp = strchr(name, ' ');
    if (sp && sp > name && (size_t)(sp - name) < dev_size && (size_t)(sp - name) <= 63) {
        size_t wl = strlen(space_word);
        if (strncmp(sp + 1, space_word, wl) == 0 && sp[1 + wl] == ' ' &&
            parse_index(sp + 2 + wl, "", index)) {
            memcpy(dev, name, (size_t)(sp - name));
            dev[sp - name] = 0;
            return 1;
        }
    }
    return 0;
}

// ---- axes --------------------------------------------------------------------------------------

platform_axis *platform_open_axis(platform_window *w, const char *name) {
    platform_input *in = platform_window_input(w);
    if (!in || !name) return nullptr;
    name = platform_resolve(name);
    char dev[64];
    int index = -1;
    if (!platform_parse_device_ref(name, "axis", "axis", dev, sizeof dev, &index)) return nullptr;
    platform_device *d = platform_input_find_device(in, dev);
    if (!d || index < 0 || index >= d->axes) return nullptr;
    for (platform_axis &h : in->axis_handles) {
        if (h.open) continue;
        if (d->open_axes == 0 && !platform_device_activate(d)) return nullptr;
        h.device = d;
        h.index = index;
        h.open = 1;
        d->open_axes++;
        return &h;
    }
    return nullptr;
}

int platform_read_axis(platform_axis *a) {
    if (!a || !a->open) return 0;
    platform_device *d = a->device;
    if (d->ops && d->ops->poll) d->ops->poll(d);
    int v = d->axis_value[a->index];
    if (d->relative) d->axis_value[a->index] = 0;
    return v;
}

void platform_close_axis(platform_axis *a) {
    if (!a || !a->open) return;
    platform_device *d = a->device;
    a->open = 0;
    if (--d->open_axes <= 0) {
        d->open_axes = 0;
        if (d->active && d->ops && d->ops->stop) d->ops->stop(d);
        d->active = 0;
    }
}

const char *const *platform_axis_names(platform_window *w, int *count) {
    platform_input *in = platform_window_input(w);
    if (count) *count = in ? in->axis_name_count : 0;
    return in ? in->axis_names : nullptr;
}

// ---- aliases -----------------------------------------------------------------------------------

int platform_alias(const char *alias, const char *target) {
    if (!alias || !target) return 0;
    std::lock_guard<std::mutex> hold(g_alias.lock);
    for (int i = 0; i < g_alias.count; i++) {
        if (strcmp(g_alias.entries[i].alias, alias) == 0) {
            platform_log("Second alias for '%s' ('%s') ignored\n", alias, target);
            return 0;
        }
    }
    if (g_alias.count >= ALIAS_MAX || strlen(alias) >= ALIAS_NAME || strlen(target) >= ALIAS_NAME) {
        platform_log("Can't alias %s to %s -- out of memory\n", alias, target);
        return 0;
    }
    alias_entry &e = g_alias.entries[g_alias.count++];
    snprintf(e.alias, sizeof e.alias, "%s", alias);
    snprintf(e.target, sizeof e.target, "%s", target);
    return 1;
}

const char *platform_resolve(const char *name) {
    if (!name) return name;
    std::lock_guard<std::mutex> hold(g_alias.lock);
    // Entries are only ever appended, so the target text stays valid for the caller.
    for (int i = 0; i < g_alias.count; i++)
        if (strcmp(g_alias.entries[i].alias, name) == 0) return g_alias.entries[i].target;
    return name;
}

void platform_alias_reset(void) {
    std::lock_guard<std::mutex> hold(g_alias.lock);
    g_alias.count = 0;
}

void platform_input_standard_aliases(void) {
    static const char *const pairs[][2] = {
        {"cursor-left", "Mouse Left"},         {"cursor-middle", "Mouse Middle"},
        {"cursor-right", "Mouse Right"},       {"cursor-x", "cursor.axis[0]"},
        {"cursor-y", "cursor.axis[1]"},        {"mouse-x", "Mouse.axis[0]"},
        {"mouse-y", "Mouse.axis[1]"},          {"mouse-left", "Mouse.key[0]"},
        {"mouse-right", "Mouse.key[1]"},       {"mouse-middle", "Mouse.key[2]"},
        {"joystick-a-x", "Joystick1.axis[0]"}, {"joystick-a-y", "Joystick1.axis[1]"},
        {"joystick-a-1", "Joystick1.key[0]"},  {"joystick-a-2", "Joystick1.key[1]"},
        {"joystick-b-x", "Joystick2.axis[0]"}, {"joystick-b-y", "Joystick2.axis[1]"},
        {"joystick-b-1", "Joystick2.key[0]"},  {"joystick-b-2", "Joystick2.key[1]"},
    };
    for (const auto &p : pairs) {
        // A second window re-adds them; quietly keep the first definitions.
        if (platform_resolve(p[0]) == p[0]) platform_alias(p[0], p[1]);
    }
}
