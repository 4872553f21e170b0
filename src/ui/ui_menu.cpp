// Menu state, navigation and the keys of each item kind. The pages themselves (which items, what
// their buttons do) are in ui_menu_pages.cpp; drawing is in ui_menu_draw.cpp.
#include "ui/ui_menu.h"
#include "ui/ui_menu_internal.h"

#include "bike/bike.h"
#include "bike/bike_model.h"
#include "bike/bike_setup.h"
#include "base/zv_message.h"
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "track/track_list.h"
#include "track/track_load.h"
#include "track/track_roost.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

ui_menu_state ui_menu = {};

namespace {

bool printable(int code) {
    return (code >= 32 && code < 127) || (code >= 160 && code < 256);
}

bool key_is(int code, int fixed) {
    return fixed >= 0 && code == fixed;
}

bool activates(int code) {
    const core_menu_keys &k = core_menu_key;
    return key_is(code, k.enter) || key_is(code, k.keypad_enter) || code == ' ';
}

bool inside(const ui_rect &r, int x, int y) {
    return x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1;
}

bool selectable(int i) {
    return i >= 0 && i < ui_menu.count && ui_menu.items[i].present;
}

// Case-insensitive substring test for the type-ahead.
bool contains(const char *text, const char *part) {
    size_t n = strlen(part);
    if (n == 0) return true;
    for (const char *p = text; *p; p++) {
        size_t i = 0;
        while (i < n && p[i] && tolower((unsigned char)p[i]) == tolower((unsigned char)part[i]))
            i++;
        if (i == n) return true;
    }
    return false;
}

void clamp_cursor(const ui_item *it) {
    const char *text = ui_text_buffer(it);
    int len = text ? (int)strlen(text) : 0;
    if (ui_menu.cursor < 0) ui_menu.cursor = 0;
    if (ui_menu.cursor > len) ui_menu.cursor = len;
}

// ---- choice items --------------------------------------------------------------------------

void choice_step(const ui_item *it, int dir) {
    int n = ui_choice_count(it);
    if (n <= 0) return;
    int c = ui_choice_get(it);
    ui_choice_set(it, ((c + dir) % n + n) % n);
}

// The next option (from the one after the current, wrapping, the current last) whose label holds
// the buffer; -1 when none does.
int typeahead_match(const ui_item *it, const char *buffer, int from_next) {
    int n = ui_choice_count(it), c = ui_choice_get(it);
    char label[256];
    for (int k = from_next ? 1 : 0; k <= n; k++) {
        int i = ((c + k) % n + n) % n;
        if (contains(ui_choice_label(it, i, label, sizeof label), buffer)) return i;
    }
    return -1;
}

int choice_key(int index, ui_item *it, int code) {
    const core_menu_keys &k = core_menu_key;
    if (ui_menu.typeahead_item != index) {
        ui_menu.typeahead[0] = 0;
        ui_menu.typeahead_item = index;
    }
    if (activates(code) || key_is(code, k.cursor_left)) {
        if (ui_choice_opens_list(it))
            ui_open_list_for(index);
        else
            choice_step(it, 1);
        return 1;
    }
    if (key_is(code, k.right)) {
        choice_step(it, 1);
        return 1;
    }
    if (key_is(code, k.left)) {
        choice_step(it, -1);
        return 1;
    }
    if (code == 8) {
        ui_menu.typeahead[0] = 0;
        return 1;
    }
    if (code == 9) {
        int i = typeahead_match(it, ui_menu.typeahead, 1);
        if (i >= 0) ui_choice_set(it, i);
        return 1;
    }
    if (printable(code)) {
        size_t len = strlen(ui_menu.typeahead);
        if (len + 1 >= sizeof ui_menu.typeahead) return 1; // the buffer is full
        ui_menu.typeahead[len] = (char)code;
        ui_menu.typeahead[len + 1] = 0;
        int i = typeahead_match(it, ui_menu.typeahead, 0);
        if (i >= 0)
            ui_choice_set(it, i);
        else
            ui_menu.typeahead[len] = 0;
        return 1;
    }
    return 0;
}

// ---- sliders -------------------------------------------------------------------------------

int slider_key(ui_item *it, int code) {
    const core_menu_keys &k = core_menu_key;
    double v, step, lo, hi;
    if (!ui_slider_get(it, &v, &step, &lo, &hi)) return 0;
    if (key_is(code, k.left)) {
        ui_slider_set(it, v - step < lo ? lo : v - step);
        return 1;
    }
    if (key_is(code, k.right)) {
        ui_slider_set(it, v + step > hi ? hi : v + step);
        return 1;
    }
    if (key_is(code, k.cursor_left)) {
        double nv;
        if (ui_slider_from_pointer(lo, hi, step, it->rect.x0, it->rect.x1, core_loop.pointer_x,
                                   &nv))
            ui_slider_set(it, nv);
        return 1;
    }
    return 0;
}

// ---- text fields ---------------------------------------------------------------------------

int text_key(ui_item *it, int code) {
    const core_menu_keys &k = core_menu_key;
    char *text = ui_text_buffer(it);
    if (!text) return 0;
    int max = ui_text_max(it);
    int index = (int)(it - ui_menu.items);
    if (ui_menu.cursor_item != index) {
        ui_menu.cursor_item = index;
        ui_menu.cursor = (int)strlen(text);
    }
    clamp_cursor(it);
    int len = (int)strlen(text);
    if (it->value == UI_V_SERVER && (key_is(code, k.page_up) || key_is(code, k.page_down))) {
        ui_server_history_step(key_is(code, k.page_up) ? 1 : -1);
        clamp_cursor(it);
        return 1;
    }
    if (key_is(code, k.left)) {
        if (ui_menu.cursor > 0) ui_menu.cursor--;
        return 1;
    }
    if (key_is(code, k.right)) {
        if (ui_menu.cursor < len) ui_menu.cursor++;
        return 1;
    }
    if (code == 8) {
        if (ui_menu.cursor > 0) {
            memmove(text + ui_menu.cursor - 1, text + ui_menu.cursor,
                    (size_t)(len - ui_menu.cursor + 1));
            ui_menu.cursor--;
            ui_text_changed(it);
        }
        return 1;
    }
    if (code == 127) {
        if (ui_menu.cursor < len) {
            memmove(text + ui_menu.cursor, text + ui_menu.cursor + 1,
                    (size_t)(len - ui_menu.cursor));
            ui_text_changed(it);
        }
        return 1;
    }
    if (printable(code)) {
        if (len < max) {
            memmove(text + ui_menu.cursor + 1, text + ui_menu.cursor,
                    (size_t)(len - ui_menu.cursor + 1));
            text[ui_menu.cursor++] = (char)code;
            ui_text_changed(it);
        }
        return 1;
    }
    return 0;
}

// ---- the chat line and the quit page -------------------------------------------------------

int chat_key(int code) {
    const core_menu_keys &k = core_menu_key;
    ui_item *field = ui_menu.count > 0 ? &ui_menu.items[ui_menu.count - 1] : nullptr;
    if (key_is(code, k.enter) || key_is(code, k.keypad_enter)) {
        char *text = ui_menu.chat[ui_menu.chat_at];
        if (text[0] && core_console_line(text)) {
            char line[UI_CHAT_TEXT];
            snprintf(line, sizeof line, "%s", text);
            // The accepted line goes in front of the history; what slot 0 held is spent.
            int n =
                ui_menu.chat_count < UI_CHAT_HISTORY - 1 ? ui_menu.chat_count : UI_CHAT_HISTORY - 2;
            memmove(ui_menu.chat[2], ui_menu.chat[1], sizeof ui_menu.chat[0] * (size_t)n);
            snprintf(ui_menu.chat[1], sizeof ui_menu.chat[1], "%s", line);
            ui_menu.chat_count = n + 1;
            ui_menu.chat[0][0] = 0;
            ui_menu.chat_at = 0;
            ui_menu.cursor = 0;
        }
        return 1;
    }
    if (key_is(code, k.up) || key_is(code, k.down)) {
        // Slot 0 keeps what was being typed while the older lines are looked at.
        int at = ui_menu.chat_at + (key_is(code, k.up) ? 1 : -1);
        if (at >= 0 && at <= ui_menu.chat_count) {
            ui_menu.chat_at = at;
            ui_menu.cursor = (int)strlen(ui_menu.chat[at]);
        }
        return 1;
    }
    if (key_is(code, k.page_up) || key_is(code, k.page_down)) {
        int s = ui_menu.chat_scroll + (key_is(code, k.page_up) ? 1 : -1);
        ui_menu.chat_scroll = s < 0 ? 0 : s > UI_CHAT_SCROLL_MAX ? UI_CHAT_SCROLL_MAX : s;
        return 1;
    }
    return field ? text_key(field, code) : 0;
}

int quit_key(int code) {
    // Characters repeat the key presses that typed them; the key itself is what counts.
    if (code < 256) return 0;
    if (key_is(code, core_menu_key.esc)) return 0;
    core_loop.quit = 1;
    return 1;
}

int move_highlight(int dir) {
    int i = ui_menu.highlight + dir;
    while (i >= 0 && i < ui_menu.count && !selectable(i))
        i += dir;
    if (selectable(i)) ui_menu.highlight = i;
    ui_menu.cursor_item = -1;
    return 1;
}

int item_key(int index, int code) {
    ui_item *it = &ui_menu.items[index];
    switch (it->kind) {
    case UI_BUTTON:
    case UI_ENTRY:
        if (activates(code) || key_is(code, core_menu_key.cursor_left)) {
            ui_item copy = *it; // the action rebuilds the items
            ui_button_act(&copy);
            return 1;
        }
        return 0;
    case UI_CHOICE:
        return choice_key(index, it, code);
    case UI_SLIDER:
        if (code == '*' && it->value == UI_V_SETUP_VALUE && it->index == SETUP_STABILITY) {
            ui_open_page(UI_PAGE_STABILITY);
            return 1;
        }
        return slider_key(it, code);
    case UI_TEXT:
        return text_key(it, code);
    case UI_BINDING:
        if (activates(code) || key_is(code, core_menu_key.cursor_left)) {
            core_binding_capture_start(core_loop.window, it->index, core_loop.game_clock,
                                       core_render.debug_level);
            return 1;
        }
        return 0;
    }
    return 0;
}

} // namespace

// ---- values behind the items ------------------------------------------------------------------

int ui_choice_count(const ui_item *it) {
    switch (it->value) {
    case UI_V_SETTING:
        return core_setting_items[it->index].choice_count;
    case UI_V_TRACK:
        return track_list.count;
    case UI_V_VIDEO_MODE:
        return core_display_mode_count();
    case UI_V_BIKE: {
        int n = 0;
        while (n < BIKE_MODEL_COUNT && bike_menu_name(n)[0])
            n++;
        return n;
    }
    case UI_V_GFX:
        return core_config_setup.gfx[it->index].count;
    case UI_V_SETUP_CHOICE:
        return bike_setup_choice_info_get(it->index)->count;
    default:
        return 0;
    }
}

const char *ui_choice_label(const ui_item *it, int i, char *buf, size_t size) {
    const char *s = "";
    switch (it->value) {
    case UI_V_SETTING: {
        const core_setting &c = core_setting_items[it->index];
        if (i >= 0 && i < c.choice_count) s = c.choices[i];
        break;
    }
    case UI_V_TRACK:
        if (i >= 0 && i < track_list.count) s = track_list.long_names[i];
        break;
    case UI_V_VIDEO_MODE:
        if (const core_display_mode *m = core_display_mode_at(i)) s = m->name;
        break;
    case UI_V_BIKE:
        s = bike_menu_name(i);
        break;
    case UI_V_GFX: {
        const bike_graphics_list &l = core_config_setup.gfx[it->index];
        if (i >= 0 && i < l.count) s = l.entries[i].label;
        break;
    }
    case UI_V_SETUP_CHOICE: {
        const bike_setup_choice_info *c = bike_setup_choice_info_get(it->index);
        if (i >= 0 && i < c->count) s = c->labels[i];
        break;
    }
    default:
        break;
    }
    snprintf(buf, size, "%s", s ? s : "");
    return buf;
}

int ui_choice_get(const ui_item *it) {
    switch (it->value) {
    case UI_V_SETTING:
        return core_settings_choice(it->index);
    case UI_V_TRACK: {
        const char *dir = track_selected();
        return dir ? track_list_find(dir) : -1;
    }
    case UI_V_VIDEO_MODE:
        return core_display_mode_find(core_settings_text(CORE_SET_VIDEO_MODE));
    case UI_V_BIKE:
        return core_config_setup.bike;
    case UI_V_GFX:
        return core_config_setup.gfx[it->index].choice;
    case UI_V_SETUP_CHOICE:
        return core_config_setup.choice[it->index];
    default:
        return 0;
    }
}

void ui_choice_set(const ui_item *it, int i) {
    if (i < 0 || i >= ui_choice_count(it)) return;
    bike_setup &s = core_config_setup;
    switch (it->value) {
    case UI_V_SETTING:
        core_settings_set_choice(it->index, i);
        ui_setting_changed(it->index);
        break;
    case UI_V_TRACK:
        track_select(track_list.dirs[i]);
        core_settings_set_text(CORE_SET_TRACK, track_list.dirs[i]);
        break;
    case UI_V_VIDEO_MODE:
        if (const core_display_mode *m = core_display_mode_at(i))
            core_settings_set_text(CORE_SET_VIDEO_MODE, m->name);
        break;
    case UI_V_BIKE: {
        if (i == s.bike) break;
        s.bike = i;
        // A new bike has its own graphics: the list is rebuilt and starts at "default".
        int count = 0;
        const char *const *files = bike_setup_file_list(&count);
        bike_setup_rebuild_bike_graphics(&s, files, count);
        bike_setup_select_graphics(&s, GFX_BIKE, "default");
        s.changed = 1;
        core_rider_info_resend = 1;
        ui_setup_changed(-1);
        break;
    }
    case UI_V_GFX:
        s.gfx[it->index].choice = i;
        s.changed = 1;
        core_rider_info_resend = 1;
        ui_setup_changed(-1);
        break;
    case UI_V_SETUP_CHOICE:
        s.choice[it->index] = i;
        s.changed = 1;
        ui_setup_changed(it->index == SETUP_STICKY_DAB || it->index == SETUP_REVERSE_STEERING ||
                                 it->index == SETUP_LEAN_INDICATOR
                             ? -2
                             : -1);
        break;
    default:
        break;
    }
}

int ui_slider_get(const ui_item *it, double *v, double *step, double *lo, double *hi) {
    if (it->value == UI_V_SETTING) {
        const core_setting &c = core_setting_items[it->index];
        *v = c.value;
        *step = c.step;
        *lo = c.min;
        *hi = c.max;
        return 1;
    }
    if (it->value == UI_V_SETUP_VALUE) {
        const bike_setup_slider *info = bike_setup_slider_info(it->index);
        if (!info) return 0;
        *v = core_config_setup.value[it->index];
        *step = info->step;
        *lo = info->min;
        *hi = info->max;
        return 1;
    }
    return 0;
}

void ui_slider_set(const ui_item *it, double v) {
    if (!std::isfinite(v)) return;
    if (it->value == UI_V_SETTING) {
        core_settings_set_number(it->index, v);
        ui_setting_changed(it->index);
        return;
    }
    if (it->value != UI_V_SETUP_VALUE) return;
    double old, step, lo, hi;
    if (!ui_slider_get(it, &old, &step, &lo, &hi)) return;
    v = v < lo ? lo : v > hi ? hi : v;
    bike_setup &s = core_config_setup;
    s.value[it->index] = (float)v;
    s.changed = 1;
    // A new whole stability level takes that level's preset.
    if (it->index == SETUP_STABILITY && std::floor(v) != std::floor(old))
        bike_setup_apply_stability(&s, (float)v);
    ui_setup_changed(it->index);
}

char *ui_text_buffer(const ui_item *it) {
    switch (it->value) {
    case UI_V_SETTING:
        return core_setting_items[it->index].text;
    case UI_V_NAME:
        return core_config_setup.name;
    case UI_V_NUMBER:
        return core_config_setup.number;
    case UI_V_SERVER:
        return core_setting_items[CORE_SET_SERVER_NAME].text;
    case UI_V_CHAT:
        return ui_menu.chat[ui_menu.chat_at];
    default:
        return nullptr;
    }
}

int ui_text_max(const ui_item *it) {
    switch (it->value) {
    case UI_V_SETTING:
        return core_setting_items[it->index].text_max;
    case UI_V_NAME:
        return (int)sizeof core_config_setup.name - 1;
    case UI_V_NUMBER:
        return (int)sizeof core_config_setup.number - 1;
    case UI_V_SERVER:
        return 127;
    case UI_V_CHAT:
        return UI_CHAT_TEXT - 1;
    default:
        return 0;
    }
}

void ui_text_changed(const ui_item *it) {
    if (it->value == UI_V_NAME || it->value == UI_V_NUMBER) {
        core_config_setup.changed = 1;
        core_rider_info_resend = 1;
    }
    if (it->value == UI_V_CHAT && ui_menu.chat_at != 0) {
        // Editing a line from the history makes it the line being typed.
        snprintf(ui_menu.chat[0], sizeof ui_menu.chat[0], "%s", ui_menu.chat[ui_menu.chat_at]);
        ui_menu.chat_at = 0;
    }
}

// Page up steps back through the history, skipping the first entry when it is the text already
// shown; page down steps forward again.
void ui_server_history_step(int dir) {
    char *text = core_setting_items[CORE_SET_SERVER_NAME].text;
    static int at = -1;
    if (dir > 0) {
        int next = at + 1;
        if (next == 0 && strcmp(core_server_history[0], text) == 0) next = 1;
        if (next < CORE_SERVER_HISTORY && core_server_history[next][0]) at = next;
    } else if (at > 0) {
        at--;
    } else {
        return;
    }
    if (at >= 0) snprintf(text, CORE_SETTING_TEXT_SIZE, "%.127s", core_server_history[at]);
}

// The local rider's bike takes a setup change at once only while it stands still.
void ui_setup_changed(int value) {
    if (value == -2) {
        core_config_loop_options(&core_loop.opt);
        return;
    }
    int slot = race.viewed_slot;
    if (slot < 0 || slot >= RACE_SLOTS || !race.present[slot] || race.status[slot] != RACE_LOCAL ||
        !bike_world.bikes[slot].present)
        return;
    bike_record *b = &bike_world.bikes[slot];
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double speed = std::sqrt((double)(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    if (speed > 0.125) {
        if (core_loop.game_clock - ui_menu.refused_at < 10)
            zv_message_add("Settings not applied.  Mechanic can't keep up error.");
        ui_menu.refused_at = core_loop.game_clock;
        return;
    }
    bike_apply_setup(b, &core_config_setup);
}

void ui_setting_changed(int id) {
    core_config_loop_options(&core_loop.opt);
    if (id == CORE_SET_ROOST_DENSITY || id == CORE_SET_REFLECTIONS) {
        core_render_inputs in;
        core_render_inputs_defaults(&in);
        core_settings_render_inputs(&in);
        core_render_settings r = core_render;
        core_render_derive(&in, &r);
        if (id == CORE_SET_ROOST_DENSITY) {
            core_render.roost_frequency = r.roost_frequency;
            roost.density = r.roost_frequency;
        }
        if (id == CORE_SET_REFLECTIONS) core_render.reflections = r.reflections;
    }
}

// ---- public ---------------------------------------------------------------------------------

int ui_slider_from_pointer(double min, double max, double step, int left, int right, int x,
                           double *value) {
    if (right <= left || x < left - 15 || x > right + 15 || !(step > 0)) return 0;
    double n = std::floor((max - min) * (double)(x - left) / (double)(right - left) / step + 0.5);
    double steps = std::floor((max - min) / step + 1e-9);
    n = n < 0 ? 0 : n > steps ? steps : n;
    *value = min + step * n;
    return 1;
}

void ui_rotate_gates(int *gates, int count, int n) {
    if (count <= 0) return;
    n %= count;
    if (n < 0) n += count;
    if (n == 0) return;
    int copy[CORE_GATES];
    if (count > CORE_GATES) return;
    for (int i = 0; i < count; i++)
        copy[(i + n) % count] = gates[i];
    memcpy(gates, copy, sizeof(int) * (size_t)count);
}

int ui_menu_find(const char *label) {
    for (int i = 0; i < ui_menu.count; i++)
        if (strcmp(ui_menu.items[i].label, label) == 0) return i;
    return -1;
}

const char *ui_menu_current_settings(void) {
    static const int order[] = {CORE_PRESET_HIGH_DETAIL, CORE_PRESET_NORMAL, CORE_PRESET_HIGH_FPS,
                                CORE_PRESET_COMPATIBILITY};
    static char text[64];
    for (int p : order)
        if (core_settings_matches_preset(p)) {
            snprintf(text, sizeof text, "Current Settings: %s", core_settings_preset_name(p));
            return text;
        }
    return "Current Settings: Custom";
}

void ui_menu_reset_highlight(void) {
    ui_menu.highlight = 0;
    ui_menu.cursor_item = -1;
    ui_menu.typeahead[0] = 0;
    ui_menu.built_page = -1;
}

int ui_menu_key(int code) {
    int page = core_loop.menu_page;
    if (page == CORE_MENU_NONE) return 0;
    ui_menu_build();
    if (page == UI_PAGE_QUIT) return quit_key(code);
    if (page == UI_PAGE_CHAT) return chat_key(code);
    const core_menu_keys &k = core_menu_key;
    if (key_is(code, k.esc)) return 0; // the loop opens and closes the menus
    if (key_is(code, k.cursor_left)) {
        // A click acts on the item under the pointer (and highlights it).
        for (int i = 0; i < ui_menu.count; i++)
            if (selectable(i) &&
                inside(ui_menu.items[i].rect, core_loop.pointer_x, core_loop.pointer_y)) {
                ui_menu.highlight = i;
                return item_key(i, code);
            }
        return 0;
    }
    if (key_is(code, k.down)) return move_highlight(1);
    if (key_is(code, k.up)) return move_highlight(-1);
    if (!selectable(ui_menu.highlight)) return 0;
    return item_key(ui_menu.highlight, code);
}

void ui_menu_pointer(int x, int y, int drag) {
    if (core_loop.menu_page == CORE_MENU_NONE) return;
    ui_menu_build();
    for (int i = 0; i < ui_menu.count; i++) {
        ui_item *it = &ui_menu.items[i];
        if (!selectable(i)) continue;
        if (drag && it->kind == UI_SLIDER && i == ui_menu.highlight) {
            double v, step, lo, hi, nv;
            if (ui_slider_get(it, &v, &step, &lo, &hi) && y >= it->rect.y0 && y < it->rect.y1 &&
                ui_slider_from_pointer(lo, hi, step, it->rect.x0, it->rect.x1, x, &nv))
                ui_slider_set(it, nv);
            return;
        }
        if (!drag && inside(it->rect, x, y)) {
            if (ui_menu.highlight != i) ui_menu.cursor_item = -1;
            ui_menu.highlight = i;
            return;
        }
    }
}

void ui_menu_install(void) {
    core_hook.menu_key = ui_menu_key;
    core_hook.menu_pointer = ui_menu_pointer;
    core_hook.menu_reset_highlight = ui_menu_reset_highlight;
    ui_menu.built_page = -1;
    ui_menu.refused_at = -1e9;
    ui_menu.typeahead_item = -1;
}
