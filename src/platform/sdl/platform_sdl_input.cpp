// SDL2 input: keys translated from SDL scancodes (USB usages) to the game's set-1 scan codes,
// typed characters, mouse buttons, the "cursor" pointer, game controllers in the role of the
// first controller family (16 buttons, 6 axes, XInputGamepad<n>) and every other joystick in
// the role of the second (named from the instance, "#2" for twins).
#include "platform/sdl/platform_sdl.h"

#include <cstdio>
#include <cstring>

namespace {

// SDL scancode -> set-1 scan code (0x100 marks the extended keys).
struct scan_pair {
    int sdl;
    int set1;
};

const scan_pair scan_table[] = {
    {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_B, 0x30},
    {SDL_SCANCODE_C, 0x2E},
    {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_F, 0x21},
    {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},
    {SDL_SCANCODE_I, 0x17},
    {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},
    {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_M, 0x32},
    {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},
    {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_R, 0x13},
    {SDL_SCANCODE_S, 0x1F},
    {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_W, 0x11},
    {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_Y, 0x15},
    {SDL_SCANCODE_Z, 0x2C},
    {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},
    {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},
    {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},
    {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},
    {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},
    {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_ESCAPE, 0x01},
    {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},
    {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
    {SDL_SCANCODE_BACKSLASH, 0x2B},
    {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_SEMICOLON, 0x27},
    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},
    {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},
    {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},
    {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},
    {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},
    {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},
    {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},
    {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},
    {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},
    {SDL_SCANCODE_PRINTSCREEN, 0x137},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},
    {SDL_SCANCODE_PAUSE, 0x45},
    {SDL_SCANCODE_INSERT, 0x152},
    {SDL_SCANCODE_HOME, 0x147},
    {SDL_SCANCODE_PAGEUP, 0x149},
    {SDL_SCANCODE_DELETE, 0x153},
    {SDL_SCANCODE_END, 0x14F},
    {SDL_SCANCODE_PAGEDOWN, 0x151},
    {SDL_SCANCODE_RIGHT, 0x14D},
    {SDL_SCANCODE_LEFT, 0x14B},
    {SDL_SCANCODE_DOWN, 0x150},
    {SDL_SCANCODE_UP, 0x148},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x145},
    {SDL_SCANCODE_KP_DIVIDE, 0x135},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_KP_MINUS, 0x4A},
    {SDL_SCANCODE_KP_PLUS, 0x4E},
    {SDL_SCANCODE_KP_ENTER, 0x11C},
    {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},
    {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},
    {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},
    {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_0, 0x52},
    {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
    {SDL_SCANCODE_APPLICATION, 0x15D},
    {SDL_SCANCODE_POWER, 0x15E},
    {SDL_SCANCODE_KP_EQUALS, 0x59},
    {SDL_SCANCODE_F13, 0x64},
    {SDL_SCANCODE_F14, 0x65},
    {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_F16, 0x67},
    {SDL_SCANCODE_F17, 0x68},
    {SDL_SCANCODE_F18, 0x69},
    {SDL_SCANCODE_F19, 0x6A},
    {SDL_SCANCODE_F20, 0x6B},
    {SDL_SCANCODE_F21, 0x6C},
    {SDL_SCANCODE_F22, 0x6D},
    {SDL_SCANCODE_F23, 0x6E},
    {SDL_SCANCODE_F24, 0x76},
    {SDL_SCANCODE_MUTE, 0x120},
    {SDL_SCANCODE_VOLUMEUP, 0x130},
    {SDL_SCANCODE_VOLUMEDOWN, 0x12E},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    {SDL_SCANCODE_LCTRL, 0x1D},
    {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_LALT, 0x38},
    {SDL_SCANCODE_LGUI, 0x15B},
    {SDL_SCANCODE_RCTRL, 0x11D},
    {SDL_SCANCODE_RSHIFT, 0x36},
    {SDL_SCANCODE_RALT, 0x138},
    {SDL_SCANCODE_RGUI, 0x15C},
};

// XInput's button bits, as SDL game-controller buttons.
const int pad_buttons[16] = {
    SDL_CONTROLLER_BUTTON_DPAD_UP,
    SDL_CONTROLLER_BUTTON_DPAD_DOWN,
    SDL_CONTROLLER_BUTTON_DPAD_LEFT,
    SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_GUIDE,
    SDL_CONTROLLER_BUTTON_INVALID,
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
};

enum { PAD_SLOTS = 4, NAME_CACHE = 0x200 };

struct sdl_input_state {
    int names_built;
    char layout[NAME_CACHE][32];
    SDL_GameController *pads[PAD_SLOTS];
    SDL_Joystick *sticks[PLATFORM_MAX_DEVICES];
    platform_device *cursor;
    platform_device *mouse;
};

sdl_input_state g_in;

platform_time event_time(Uint32 stamp) {
    return platform_sdl_event_time(stamp);
}

void queue(platform_window *w, int code, int pressed, platform_time t) {
    platform_event_queue_push(&w->input.queue, code, pressed, t);
}

int clamp_axis(int v) {
    return v < -32767 ? -32767 : v > 32767 ? 32767 : v;
}

// ---- game controllers (16 buttons, 6 axes) -----------------------------------------------------

int pad_start(platform_device *) {
    return 1;
}
void pad_stop(platform_device *) {}

void pad_poll(platform_device *d) {
    SDL_GameController *c = (SDL_GameController *)d->user;
    if (!c) return;
    SDL_GameControllerUpdate();
    for (int b = 0; b < 16; b++) {
        int down = pad_buttons[b] != SDL_CONTROLLER_BUTTON_INVALID &&
                   SDL_GameControllerGetButton(c, (SDL_GameControllerButton)pad_buttons[b]);
        platform_device_button(d, b, down, -1);
    }
    // Sticks as the pads report them, y up; SDL's y grows downwards.
    d->axis_value[0] = clamp_axis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX));
    d->axis_value[1] = clamp_axis(-SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
    d->axis_value[2] = clamp_axis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX));
    d->axis_value[3] = clamp_axis(-SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY));
    // Triggers: 0..255 becomes t * 128 + t / 2 (0..32767) on pads with 8-bit triggers; SDL
    // already reports 0..32767, which is that range, so the value is taken as it is.
    int lt = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    int rt = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    d->axis_value[4] = lt < 0 ? 0 : lt;
    d->axis_value[5] = rt < 0 ? 0 : rt;
}

void pad_release(platform_device *d) {
    SDL_GameController *c = (SDL_GameController *)d->user;
    for (SDL_GameController *&p : g_in.pads)
        if (p == c) p = nullptr;
    if (c) SDL_GameControllerClose(c);
    d->user = nullptr;
}

const platform_device_ops pad_ops = {
    .start = pad_start, .stop = pad_stop, .poll = pad_poll, .release = pad_release};

// ---- other joysticks ---------------------------------------------------------------------------

int stick_start(platform_device *) {
    return 1;
}
void stick_stop(platform_device *) {}
void stick_poll(platform_device *) {} // fed by SDL's joystick events during the pump

void stick_release(platform_device *d) {
    SDL_Joystick *j = (SDL_Joystick *)d->user;
    platform_log("Killing %s\n", d->name);
    for (SDL_Joystick *&s : g_in.sticks)
        if (s == j) s = nullptr;
    if (j) SDL_JoystickClose(j);
    d->user = nullptr;
}

const platform_device_ops stick_ops = {
    .start = stick_start, .stop = stick_stop, .poll = stick_poll, .release = stick_release};

// The mouse as a device: relative motion and three buttons, fed by the pump.
void mouse_release(platform_device *d) {
    platform_log("Killing %s\n", d->name);
    g_in.mouse = nullptr;
}
const platform_device_ops mouse_ops = {
    .start = stick_start, .stop = stick_stop, .poll = stick_poll, .release = mouse_release};

void cursor_release(platform_device *) {
    g_in.cursor = nullptr;
}
const platform_device_ops cursor_ops = {
    .start = nullptr, .stop = nullptr, .poll = nullptr, .release = cursor_release};

platform_device *device_for_joystick(platform_window *w, SDL_JoystickID id) {
    for (int i = 0; i < w->input.device_count; i++) {
        platform_device *d = &w->input.devices[i];
        if (d->ops == &stick_ops && d->user &&
            SDL_JoystickInstanceID((SDL_Joystick *)d->user) == id)
            return d;
    }
    return nullptr;
}

// Which joysticks the controller roll call takes: the first four game controllers.
int pad_index_taken(int index, int xinput) {
    if (!xinput || !SDL_IsGameController(index)) return 0;
    int before = 0;
    for (int i = 0; i < index; i++)
        if (SDL_IsGameController(i)) before++;
    return before < PAD_SLOTS;
}

void roll_call_sticks(platform_window *w, int xinput) {
    if (!platform_switch_option("dinput", 1)) {
        platform_log("DirectInput disabled\n");
        return;
    }
    platform_log("Creating DirectInput object\n");
    platform_log("DirectInput roll call...\n");
    int sticks_only = platform_switch_option("dinputsticksonly", 1);
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; i++) {
        if (pad_index_taken(i, xinput)) {
            platform_log("Ignoring XInput device\n");
            continue;
        }
        SDL_Joystick *j = SDL_JoystickOpen(i);
        if (!j) {
            platform_log("Can't open joystick %d: %s\n", i, SDL_GetError());
            continue;
        }
        const char *instance = SDL_JoystickName(j);
        if (!instance || !instance[0]) instance = "Joystick";
        char guid[40];
        SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(j), guid, sizeof guid);
        platform_log("%s (%s)\n", instance, guid);
        char name[PLATFORM_DEVICE_NAME];
        platform_input_unique_name(&w->input, instance, name, sizeof name);
        int axes = SDL_JoystickNumAxes(j), buttons = SDL_JoystickNumButtons(j);
        platform_log("%d axes, %d keys\n", axes, buttons);
        if (axes <= 0 && buttons <= 0) {
            platform_log("Ignoring Dunsel device\n");
            SDL_JoystickClose(j);
            continue;
        }
        if (axes > PLATFORM_DEVICE_MAX_AXES) {
            char first[64];
            snprintf(first, sizeof first, "axis %d", PLATFORM_DEVICE_MAX_AXES);
            platform_log("Wow! This thing has a lot of axes!\nThe first ignored axis is called "
                         "\"%s\"\n",
                         first);
            axes = PLATFORM_DEVICE_MAX_AXES;
        }
        if (buttons > PLATFORM_DEVICE_MAX_BUTTONS) {
            char first[64];
            snprintf(first, sizeof first, "button %d", PLATFORM_DEVICE_MAX_BUTTONS);
            platform_log("Wow! This thing has a lot of buttons!\nThe first ignored button is "
                         "called \"%s\"\n",
                         first);
            buttons = PLATFORM_DEVICE_MAX_BUTTONS;
        }
        platform_device *d =
            platform_input_add_device(&w->input, name, buttons, axes, &stick_ops, j, 0);
        if (!d) {
            platform_log("Too many input devices; %s left out\n", name);
            SDL_JoystickClose(j);
            continue;
        }
        for (int a = 0; a < axes; a++) {
            char axis[224];
            snprintf(axis, sizeof axis, "%.200s axis %d", name, a);
            platform_log("axis %d is %s\n", a, "absolute");
            platform_log("Adding axis \"%s\"\n", axis);
            platform_input_add_axis_name(&w->input, axis);
            d->axis_value[a] = clamp_axis(SDL_JoystickGetAxis(j, a));
        }
        for (int s = 0; s < PLATFORM_MAX_DEVICES; s++) {
            if (!g_in.sticks[s]) {
                g_in.sticks[s] = j;
                break;
            }
        }
    }
    if (!sticks_only) {
        // With every device wanted, the mouse joins as a relative device of its own.
        platform_log("Mouse (system mouse)\n");
        platform_log("%d axes, %d keys\n", 2, 3);
        platform_device *m =
            platform_input_add_device(&w->input, "Mouse", 3, 2, &mouse_ops, nullptr, 0);
        if (m) {
            m->relative = 1;
            for (int a = 0; a < 2; a++) {
                platform_log("axis %d is %s\n", a, "relative");
                char axis[64];
                snprintf(axis, sizeof axis, "Mouse axis %d", a);
                platform_log("Adding axis \"%s\"\n", axis);
                platform_input_add_axis_name(&w->input, axis);
            }
            g_in.mouse = m;
        }
    }
    platform_log("End of DirectInput roll call\n");
}

void roll_call_pads(platform_window *w, int xinput) {
    if (!xinput) {
        platform_log("XInput disabled\n");
        return;
    }
    platform_log("XInput roll call...\n");
    int n = SDL_NumJoysticks(), slot = 0;
    for (int i = 0; i < n && slot < PAD_SLOTS; i++) {
        if (!SDL_IsGameController(i)) continue;
        int this_slot = slot++;
        SDL_GameController *c = SDL_GameControllerOpen(i);
        if (!c) {
            platform_log("Can't open game controller %d: %s\n", i, SDL_GetError());
            continue;
        }
        char name[64];
        snprintf(name, sizeof name, "XInputGamepad%d", this_slot);
        platform_log("%s found\n", name);
        platform_device *d = platform_input_add_device(&w->input, name, 16, 6, &pad_ops, c, 1);
        if (!d) {
            SDL_GameControllerClose(c);
            continue;
        }
        g_in.pads[this_slot] = c;
    }
    platform_log("End of XInput roll call\n");
}

void build_layout_names(void) {
    if (g_in.names_built || !SDL_WasInit(SDL_INIT_VIDEO)) return;
    g_in.names_built = 1;
    for (const scan_pair &p : scan_table) {
        SDL_Keycode k = SDL_GetKeyFromScancode((SDL_Scancode)p.sdl);
        const char *name = k != SDLK_UNKNOWN ? SDL_GetKeyName(k) : "";
        // SDL_GetKeyName reuses one buffer for character keys: copy at once.
        if (!g_in.layout[p.set1][0])
            snprintf(g_in.layout[p.set1], sizeof g_in.layout[0], "%s", name ? name : "");
    }
}

// Decodes the next UTF-8 character; returns its code point (0xFFFD when malformed).
unsigned next_utf8(const unsigned char *&p) {
    unsigned c = *p++;
    if (c < 0x80) return c;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (more < 0) return 0xFFFD;
    unsigned v = c & (0x3F >> more);
    for (int i = 0; i < more; i++) {
        if ((*p & 0xC0) != 0x80) return 0xFFFD;
        v = (v << 6) | (*p++ & 0x3F);
    }
    return v;
}

} // namespace

int platform_sdl_scan_code(SDL_Scancode sc) {
    for (const scan_pair &p : scan_table)
        if (p.sdl == (int)sc) return p.set1;
    return 0;
}

const char *platform_layout_key_name(int scan) {
    if (scan < 0 || scan >= NAME_CACHE) return "";
    build_layout_names();
    return g_in.layout[scan];
}

void platform_sdl_input_open(platform_window *w) {
    SDL_GameControllerEventState(SDL_ENABLE);
    SDL_JoystickEventState(SDL_ENABLE);
    int xinput = platform_switch_option("xinput", 1);
    g_in.cursor = nullptr;
    g_in.mouse = nullptr;
    roll_call_sticks(w, xinput);
    roll_call_pads(w, xinput);
    platform_device *c =
        platform_input_add_device(&w->input, "cursor", 0, 2, &cursor_ops, nullptr, 0);
    g_in.cursor = c;
    platform_input_standard_aliases();
}

int platform_sdl_input_event(platform_window *w, const SDL_Event *e) {
    switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int pressed = e->type == SDL_KEYDOWN;
        platform_time t = event_time(e->key.timestamp);
        int scan = platform_sdl_scan_code(e->key.keysym.scancode);
        if (scan) queue(w, PLATFORM_KEY_BASE + scan, pressed, t);
        if (pressed) {
            // Text input carries no control characters; the game's text fields want them.
            int ch = 0;
            switch (e->key.keysym.sym) {
            case SDLK_BACKSPACE:
                ch = 8;
                break;
            case SDLK_TAB:
                ch = 9;
                break;
            case SDLK_RETURN:
            case SDLK_KP_ENTER:
                ch = 13;
                break;
            case SDLK_ESCAPE:
                ch = 27;
                break;
            case SDLK_DELETE:
                ch = 127;
                break;
            default:
                break;
            }
            if (ch) queue(w, ch, 1, t);
        }
        return 1;
    }
    case SDL_TEXTINPUT: {
        platform_time t = event_time(e->text.timestamp);
        const unsigned char *p = (const unsigned char *)e->text.text;
        const unsigned char *end = p + strnlen(e->text.text, sizeof e->text.text);
        while (p < end && *p) {
            unsigned c = next_utf8(p);
            // Character codes are one byte: Latin-1 fits, anything else has no code.
            if (c < 256) queue(w, (int)c, 1, t);
        }
        return 1;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int pressed = e->type == SDL_MOUSEBUTTONDOWN;
        int code = e->button.button == SDL_BUTTON_LEFT     ? PLATFORM_MOUSE_LEFT
                   : e->button.button == SDL_BUTTON_MIDDLE ? PLATFORM_MOUSE_MIDDLE
                   : e->button.button == SDL_BUTTON_RIGHT  ? PLATFORM_MOUSE_RIGHT
                                                           : 0;
        if (code) queue(w, code, pressed, event_time(e->button.timestamp));
        // The mouse device numbers its buttons left, right, middle.
        int button = code == PLATFORM_MOUSE_LEFT ? 0 : code == PLATFORM_MOUSE_RIGHT ? 1 : 2;
        if (g_in.mouse && g_in.mouse->active && code)
            platform_device_button(g_in.mouse, button, pressed,
                                   (long long)e->button.timestamp + platform_sdl_stamp_offset());
        return 1;
    }
    case SDL_MOUSEMOTION:
        if (g_in.cursor) {
            g_in.cursor->axis_value[0] = e->motion.x;
            g_in.cursor->axis_value[1] = e->motion.y;
        }
        if (g_in.mouse) {
            platform_device_axis(g_in.mouse, 0, e->motion.xrel);
            platform_device_axis(g_in.mouse, 1, e->motion.yrel);
        }
        return 1;
    case SDL_JOYAXISMOTION: {
        platform_device *d = device_for_joystick(w, e->jaxis.which);
        if (d) platform_device_axis(d, e->jaxis.axis, clamp_axis(e->jaxis.value));
        return 1;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP: {
        platform_device *d = device_for_joystick(w, e->jbutton.which);
        // Only started devices report; a button state is still tracked so the first event
        // after starting is a real change.
        if (d && d->active)
            platform_device_button(d, e->jbutton.button, e->type == SDL_JOYBUTTONDOWN,
                                   (long long)e->jbutton.timestamp + platform_sdl_stamp_offset());
        return 1;
    }
    case SDL_JOYHATMOTION:
    case SDL_JOYBALLMOTION:
    case SDL_CONTROLLERAXISMOTION:
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
        // Game controllers are polled; their events only wake the pump.
        return 1;
    default:
        return 0;
    }
}
