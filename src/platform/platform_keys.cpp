// Button names: the fixed names, the keyboard layout's names, the built-in scan-code table,
// hexadecimal scan codes and device buttons, in that order; then the same with loose matching.
#include "platform/platform_input.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

struct key_name {
    const char *name;
    int scan;
};

const key_name fixed_names[] = {
    {"Close", PLATFORM_CLOSE},
    {"Mouse Left", PLATFORM_MOUSE_LEFT},
    {"Mouse Middle", PLATFORM_MOUSE_MIDDLE},
    {"Mouse Right", PLATFORM_MOUSE_RIGHT},
};

// Searched in this order: Esc, the digits, the letters, punctuation, then the named keys.
const key_name key_table[] = {
    {"Esc", 0x01},
    {"0", 0x0B},
    {"1", 0x02},
    {"2", 0x03},
    {"3", 0x04},
    {"4", 0x05},
    {"5", 0x06},
    {"6", 0x07},
    {"7", 0x08},
    {"8", 0x09},
    {"9", 0x0A},
    {"A", 0x1E},
    {"B", 0x30},
    {"C", 0x2E},
    {"D", 0x20},
    {"E", 0x12},
    {"F", 0x21},
    {"G", 0x22},
    {"H", 0x23},
    {"I", 0x17},
    {"J", 0x24},
    {"K", 0x25},
    {"L", 0x26},
    {"M", 0x32},
    {"N", 0x31},
    {"O", 0x18},
    {"P", 0x19},
    {"Q", 0x10},
    {"R", 0x13},
    {"S", 0x1F},
    {"T", 0x14},
    {"U", 0x16},
    {"V", 0x2F},
    {"W", 0x11},
    {"X", 0x2D},
    {"Y", 0x15},
    {"Z", 0x2C},
    {"-", 0x0C},
    {"=", 0x0D},
    {"[", 0x1A},
    {"]", 0x1B},
    {";", 0x27},
    {"'", 0x28},
    {"`", 0x29},
    {"\\", 0x2B},
    {",", 0x33},
    {".", 0x34},
    {"/", 0x35},
    {"Backspace", 0x0E},
    {"Tab", 0x0F},
    {"Enter", 0x1C},
    {"Left Ctrl", 0x1D},
    {"Left Shift", 0x2A},
    {"Right Shift", 0x36},
    {"Keypad *", 0x37},
    {"Space", 0x39},
    {" ", 0x39},
    {"Caps Lock", 0x3A},
    {"F1", 0x3B},
    {"F2", 0x3C},
    {"F3", 0x3D},
    {"F4", 0x3E},
    {"F5", 0x3F},
    {"F6", 0x40},
    {"F7", 0x41},
    {"F8", 0x42},
    {"F9", 0x43},
    {"F10", 0x44},
    {"Pause", 0x45},
    {"Keypad 7", 0x47},
    {"Keypad 8", 0x48},
    {"Keypad 9", 0x49},
    {"Keypad -", 0x4A},
    {"Keypad 4", 0x4B},
    {"Keypad 5", 0x4C},
    {"Keypad 6", 0x4D},
    {"Keypad +", 0x4E},
    {"Keypad 1", 0x4F},
    {"Keypad 2", 0x50},
    {"Keypad 3", 0x51},
    {"Keypad 0", 0x52},
    {"Keypad .", 0x53},
    {"F11", 0x57},
    {"F12", 0x58},
    {"Keypad Enter", 0x11C},
    {"Right Ctrl", 0x11D},
    {"Keypad /", 0x135},
    {"Num Lock", 0x145},
    {"Home", 0x147},
    {"Up", 0x148},
    {"Page Up", 0x149},
    {"Left", 0x14B},
    {"Right", 0x14D},
    {"End", 0x14F},
    {"Down", 0x150},
    {"Page Down", 0x151},
    {"Insert", 0x152},
    {"Delete", 0x153},
};

int loose_char(unsigned char c) {
    if (c == '_' || isspace(c)) return ' ';
    return tolower(c);
}

typedef int (*name_compare)(const char *, const char *);

int exact_equal(const char *a, const char *b) {
    return strcmp(a, b) == 0;
}

int lookup_names(const char *name, name_compare same) {
    for (const key_name &k : fixed_names)
        if (same(name, k.name)) return k.scan;
    for (int s = 0; s < 0x200; s++) {
        const char *layout = platform_layout_key_name(s);
        if (layout && layout[0] && same(name, layout)) return PLATFORM_KEY_BASE + s;
    }
    for (const key_name &k : key_table)
        if (same(name, k.name)) return PLATFORM_KEY_BASE + k.scan;
    return -1;
}

int parse_hex_scan(const char *name) {
    if (name[0] != '0' || (name[1] != 'x' && name[1] != 'X') || !name[2]) return -1;
    int v = 0;
    for (const char *p = name + 2; *p; p++) {
        if (!isxdigit((unsigned char)*p)) return -1;
        v = v * 16 +
            (isdigit((unsigned char)*p) ? *p - '0' : tolower((unsigned char)*p) - 'a' + 10);
        if (v > 0x1FF) return -1;
    }
    return PLATFORM_KEY_BASE + v;
}

int parse_device_button(platform_input *in, const char *name) {
    if (!in) return -1;
    char dev[64];
    int index = -1;
    if (!platform_parse_device_ref(name, "key", "button", dev, sizeof dev, &index)) return -1;
    platform_device *d = platform_input_find_device(in, dev);
    if (!d || index < 0 || index > 255 || index >= d->buttons) return -1;
    platform_device_activate(d);
    return d->id * 65536 + index;
}

} // namespace

int platform_key_table_size(void) {
    return (int)(sizeof key_table / sizeof key_table[0]);
}

const char *platform_key_table_name(int i, int *scan) {
    if (i < 0 || i >= platform_key_table_size()) return nullptr;
    if (scan) *scan = key_table[i].scan;
    return key_table[i].name;
}

int platform_key_loose_equal(const char *a, const char *b) {
    for (;; a++, b++) {
        if (loose_char((unsigned char)*a) != loose_char((unsigned char)*b)) return 0;
        if (!*a) return 1;
    }
}

int platform_code_for_name(platform_window *w, const char *name) {
    if (!name || !name[0]) return -1;
    name = platform_resolve(name);
    int code = lookup_names(name, exact_equal);
    if (code < 0) code = lookup_names(name, platform_key_loose_equal);
    if (code < 0) code = parse_hex_scan(name);
    if (code < 0) code = parse_device_button(platform_window_input(w), name);
    return code;
}

const char *platform_name_for_code(platform_window *w, int code, char *buf, size_t size) {
    if (!buf || size == 0) return buf;
    buf[0] = 0;
    for (const key_name &k : fixed_names) {
        if (k.scan == code) {
            snprintf(buf, size, "%s", k.name);
            return buf;
        }
    }
    if (code >= PLATFORM_KEY_BASE && code < PLATFORM_KEY_BASE + 0x200) {
        int s = code - PLATFORM_KEY_BASE;
        const char *layout = platform_layout_key_name(s);
        if (layout && layout[0]) {
            snprintf(buf, size, "%s", layout);
            return buf;
        }
        for (const key_name &k : key_table) {
            if (k.scan == s) {
                snprintf(buf, size, "%s", k.name);
                return buf;
            }
        }
        snprintf(buf, size, "0x%x", s);
        return buf;
    }
    if (code >= 0 && code < 256) {
        // Typed characters have no names of their own; show the character where printable.
        if (isprint(code))
            snprintf(buf, size, "%c", code);
        else
            snprintf(buf, size, "0x%x", code);
        return buf;
    }
    platform_input *in = platform_window_input(w);
    int id = code >> 16, button = code & 0xffff;
    if (in && id > 0) {
        for (int i = 0; i < in->device_count; i++) {
            if (in->devices[i].id == id) {
                snprintf(buf, size, "%.1000s button %d", in->devices[i].name, button);
                return buf;
            }
        }
    }
    snprintf(buf, size, "0x%x", (unsigned)code);
    return buf;
}
