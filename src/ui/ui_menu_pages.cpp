// The pages: which items each holds, in order, what their buttons do, the text each item shows,
// and where the items go on the screen.
#include "ui/ui_menu.h"
#include "ui/ui_menu_internal.h"

#include "bike/bike_model.h"
#include "bike/bike_setup.h"
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "race/race_series.h"
#include "render/render_font.h"
#include "track/track_list.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

ui_item *add(int kind, const char *label, int value = UI_V_NONE, int index = 0) {
    if (ui_menu.count >= UI_MENU_ITEMS) return nullptr;
    ui_item *it = &ui_menu.items[ui_menu.count++];
    memset(it, 0, sizeof *it);
    it->kind = kind;
    snprintf(it->label, sizeof it->label, "%s", label);
    it->value = value;
    it->index = index;
    it->present = 1;
    return it;
}

void button(const char *label, int action, int arg = 0) {
    if (ui_item *it = add(UI_BUTTON, label)) {
        it->action = action;
        it->arg = arg;
    }
}

void back(const char *label, int page) {
    button(label, UI_DO_BACK, page);
}

// A registry item as its kind shows it.
void setting(int id) {
    const core_setting &c = core_setting_items[id];
    int kind = c.kind == CORE_SETTING_CHOICE ? UI_CHOICE
               : c.kind == CORE_SETTING_TEXT ? UI_TEXT
                                             : UI_SLIDER;
    add(kind, c.label, UI_V_SETTING, id);
}

void setup_slider(int value) {
    const bike_setup_slider *info = bike_setup_slider_info(value);
    if (info) add(UI_SLIDER, info->label, UI_V_SETUP_VALUE, value);
}

void setup_choice(int choice) {
    const bike_setup_choice_info *info = bike_setup_choice_info_get(choice);
    if (info) add(UI_CHOICE, info->label, UI_V_SETUP_CHOICE, choice);
}

void track_choice(void) {
    add(UI_CHOICE, "Track", UI_V_TRACK);
}

// A list of count entries shown 20 at a time on list page `page`: "Prev Page", the page's
// entries, "Next Page"; only the entries and neighbours that exist.
void list_rows(int count, int page, int action, const char *(*name)(int, char *, size_t)) {
    if (page > 0) button("Prev Page", UI_DO_LIST_PREV);
    for (int r = 0; r < UI_LIST_ROWS; r++) {
        int i = page * UI_LIST_ROWS + r;
        if (i >= count) break;
        char text[UI_ITEM_LABEL];
        if (ui_item *it = add(UI_ENTRY, name(i, text, sizeof text))) {
            it->action = action;
            it->arg = i;
        }
    }
    if ((page + 1) * UI_LIST_ROWS < count) button("Next Page", UI_DO_LIST_NEXT);
}

const char *demo_name(int i, char *buf, size_t size) {
    snprintf(buf, size, "%s", core_demo_display_name(i) ? core_demo_display_name(i) : "");
    return buf;
}

const char *series_name(int i, char *buf, size_t size) {
    snprintf(buf, size, "%s",
             i >= 0 && i < race_series_list.count ? race_series_list.list[i].name : "");
    return buf;
}

race_series *selected_series(void) {
    int i = race_series_list.selected;
    return i >= 0 && i < race_series_list.count ? &race_series_list.list[i] : nullptr;
}

// The item a list page was opened from, rebuilt as it was.
ui_item g_list_item;

const char *list_name(int i, char *buf, size_t size) {
    return ui_choice_label(&g_list_item, i, buf, size);
}

const char *list_title(const ui_item *it) {
    if (it->value == UI_V_TRACK) return "Choose Track";
    if (it->value == UI_V_BIKE) return "Choose Bike";
    static const char *const gfx[GFX_KIND_COUNT] = {
        "Choose Riding Gear", "Choose Helmet", "Choose Bike Graphics", "Choose Wheel Graphics"};
    if (it->value == UI_V_GFX && it->index >= 0 && it->index < GFX_KIND_COUNT)
        return gfx[it->index];
    return "";
}

void build_main(void) {
    button("New Race", UI_DO_PAGE, UI_PAGE_NEW_RACE);
    button("Playback Race", UI_DO_PAGE, UI_PAGE_PLAYBACK);
    button("Points Series", UI_DO_PAGE, UI_PAGE_SERIES);
    button("Time Trial", UI_DO_PAGE, UI_PAGE_TIME_TRIAL);
    button("Multiplayer", UI_DO_PAGE, UI_PAGE_MULTIPLAYER);
    button("Bike Setup", UI_DO_PAGE, UI_PAGE_BIKE);
    button("Graphics/Sound Setup", UI_DO_PAGE, UI_PAGE_GRAPHICS);
    button("Customize Controls", UI_DO_PAGE, UI_PAGE_CONTROLS);
    button("Quit", UI_DO_QUIT_PAGE);
}

void build_new_race(void) {
    back("Back to Main Menu", UI_PAGE_MAIN);
    button("Start", UI_DO_START_RACE);
    track_choice();
    setting(CORE_SET_RECORD);
    setting(CORE_SET_SKILL);
    setting(CORE_SET_MINUTES);
    setting(CORE_SET_LAPS);
    // Two columns for the race items above the two columns of gates, so the page stays legible
    // on a small screen.
    for (int i = 0; i < ui_menu.count; i++)
        ui_menu.items[i].column = i < 4 ? 1 : 2;
    for (int g = 0; g < CORE_GATES; g++) {
        char label[16];
        snprintf(label, sizeof label, "Gate %d", g + 1);
        if (ui_item *it = add(UI_CHOICE, label, UI_V_SETTING, CORE_SET_GATE_FIRST + g))
            it->column = 1 + g / 20;
    }
}

void build_bike(void) {
    back("Back to Main Menu", UI_PAGE_MAIN);
    button("Suspension and Gearing", UI_DO_PAGE, UI_PAGE_SUSPENSION);
    button("Advanced Stability Setup", UI_DO_PAGE, UI_PAGE_STABILITY);
    add(UI_CHOICE, "Bike", UI_V_BIKE);
    add(UI_TEXT, "Name", UI_V_NAME);
    add(UI_TEXT, "Number", UI_V_NUMBER);
    add(UI_CHOICE, "Riding Gear", UI_V_GFX, GFX_RIDER);
    add(UI_CHOICE, "Helmet", UI_V_GFX, GFX_HEAD);
    add(UI_CHOICE, "Bike Graphics", UI_V_GFX, GFX_BIKE);
    add(UI_CHOICE, "Wheel Graphics", UI_V_GFX, GFX_WHEEL);
    setup_slider(SETUP_STABILITY);
    setup_slider(SETUP_AUTO_CLUTCH_RPMS);
    setup_slider(SETUP_BRAKE_TORQUE);
    setup_slider(SETUP_REAR_BRAKE_TORQUE);
    setup_slider(SETUP_MAX_DAB_SPEED);
    for (int c = SETUP_ARCADE; c <= SETUP_LEAN_INDICATOR; c++)
        setup_choice(c);
}

void build_suspension(void) {
    back("Back to Bike Setup Menu", UI_PAGE_BIKE);
    for (int v = SETUP_FORK_COMPRESSION; v <= SETUP_SHOCK_PRELOAD; v++)
        setup_slider(v);
    setup_slider(SETUP_FRONT_SPROCKET);
    setup_slider(SETUP_REAR_SPROCKET);
    for (int v = SETUP_RIDER_YSPRING; v <= SETUP_RIDER_MASS_DISTRIBUTION; v++)
        setup_slider(v);
}

void build_stability(void) {
    back("Back to Bike Setup Menu", UI_PAGE_BIKE);
    for (int v = SETUP_LEVELING; v <= SETUP_RESTRICTED_LOCK; v++)
        setup_slider(v);
}

void build_controls(void) {
    static const int order[CORE_BINDINGS] = {
        CORE_BIND_THROTTLE, CORE_BIND_FRONT_BRAKE, CORE_BIND_REAR_BRAKE,   CORE_BIND_LEFT,
        CORE_BIND_RIGHT,    CORE_BIND_CLUTCH,      CORE_BIND_UPSHIFT,      CORE_BIND_DOWNSHIFT,
        CORE_BIND_DAB,      CORE_BIND_BACK_UP,     CORE_BIND_LEAN_FORWARD, CORE_BIND_LEAN_BACKWARD,
        CORE_BIND_PAUSE,    CORE_BIND_STEP,        CORE_BIND_REWIND,       CORE_BIND_SKIP,
        CORE_BIND_PREV,     CORE_BIND_NEXT,        CORE_BIND_CHAT,         CORE_BIND_SCREENSHOT};
    back("Back to Main Menu", UI_PAGE_MAIN);
    for (int id : order)
        add(UI_BINDING, core_bindings[id].label, UI_V_NONE, id);
}

void build_graphics(void) {
    back("Back to Main Menu", UI_PAGE_MAIN);
    button("Advanced Graphics Setup", UI_DO_PAGE, UI_PAGE_ADVANCED);
    button("Use Compatibility Settings", UI_DO_PRESET, CORE_PRESET_COMPATIBILITY);
    button("Use High FPS Settings", UI_DO_PRESET, CORE_PRESET_HIGH_FPS);
    button("Use Normal Settings", UI_DO_PRESET, CORE_PRESET_NORMAL);
    button("Use High Detail Settings", UI_DO_PRESET, CORE_PRESET_HIGH_DETAIL);
    add(UI_CHOICE, "Video Mode", UI_V_VIDEO_MODE);
    button("Switch To Selected Mode Now", UI_DO_SWITCH_MODE);
    static const int ids[] = {CORE_SET_HIDE_RIDER,   CORE_SET_RIGID_CAMERA,   CORE_SET_FOV,
                              CORE_SET_FIRST_HEIGHT, CORE_SET_FIRST_ANGLE,    CORE_SET_FIRST_GIMBAL,
                              CORE_SET_THIRD_HEIGHT, CORE_SET_THIRD_DISTANCE, CORE_SET_VOLUME,
                              CORE_SET_COMP_VOLUME};
    for (int id : ids)
        setting(id);
}

void build_advanced(void) {
    back("Back to Graphics/Sound Menu", UI_PAGE_GRAPHICS);
    static const int ids[] = {CORE_SET_GROUND_DETAIL,
                              CORE_SET_GROUND_TEXTURE_DETAIL,
                              CORE_SET_GROUND_TEXTURE_DIM_NEW,
                              CORE_SET_GROUND_MIPMAPS,
                              CORE_SET_TEXTURE_COMPRESS,
                              CORE_SET_MODEL_DETAIL,
                              CORE_SET_MODEL_TEXTURE_DETAIL,
                              CORE_SET_ROOST_DENSITY,
                              CORE_SET_TERRAIN_RESYNC,
                              CORE_SET_LENS_FLARE,
                              CORE_SET_REFLECTIONS};
    for (int id : ids)
        setting(id);
}

int connected(void) {
    return core_hook.connected && core_hook.connected();
}

void build_multiplayer(void) {
    back("Back to Main Menu", UI_PAGE_MAIN);
    button(connected() ? "Disconnect" : "Connect", UI_DO_CONNECT);
    button("Request Restart", UI_DO_RESTART);
    add(UI_TEXT, "Server", UI_V_SERVER);
}

void build_list(void) {
    char back_label[UI_ITEM_LABEL];
    snprintf(back_label, sizeof back_label, "Back");
    back(back_label, ui_menu.list_return_page);
    int count = ui_choice_count(&g_list_item);
    list_rows(count, ui_menu.list_page, UI_DO_LIST_PICK, list_name);
    snprintf(ui_menu.title, sizeof ui_menu.title, "%s", list_title(&g_list_item));
}

const char *page_title(int page) {
    switch (page) {
    case UI_PAGE_NEW_RACE:
        return "New Race";
    case UI_PAGE_PLAYBACK:
        return "Playback Race";
    case UI_PAGE_SERIES:
        return "Points Series";
    case UI_PAGE_TIME_TRIAL:
        return "Time Trial";
    case UI_PAGE_BIKE:
        return "Bike Setup";
    case UI_PAGE_SUSPENSION:
        return "Suspension and Gearing";
    case UI_PAGE_STABILITY:
        return "Advanced Stability Setup";
    case UI_PAGE_CONTROLS:
        return "Customize Controls";
    case UI_PAGE_GRAPHICS:
        return "Graphics/Sound Setup";
    case UI_PAGE_ADVANCED:
        return "Advanced Graphics Setup";
    case UI_PAGE_MULTIPLAYER:
        return "Multiplayer";
    default:
        return "";
    }
}

void open(int page, int highlight) {
    core_loop.menu_page = page;
    ui_menu.highlight = highlight;
    ui_menu.cursor_item = -1;
    ui_menu.typeahead[0] = 0;
    ui_menu.built_page = -1;
    ui_menu_build();
    if (highlight >= ui_menu.count) ui_menu.highlight = 0;
}

} // namespace

void ui_open_page(int page) {
    if (page == UI_PAGE_PLAYBACK) ui_menu.demo_page = 0;
    if (page == UI_PAGE_SERIES && core_loop.menu_page != UI_PAGE_STANDINGS) ui_menu.series_page = 0;
    open(page, 0);
}

int ui_choice_opens_list(const ui_item *it) {
    return it->value == UI_V_TRACK || it->value == UI_V_BIKE || it->value == UI_V_GFX;
}

void ui_open_list_for(int item_index) {
    const ui_item *it = &ui_menu.items[item_index];
    g_list_item = *it;
    ui_menu.list_return_page = core_loop.menu_page;
    ui_menu.list_return_item = item_index;
    // The list opens on the page that holds the current choice.
    int c = ui_choice_get(it);
    ui_menu.list_page = c > 0 ? c / UI_LIST_ROWS : 0;
    open(UI_PAGE_LIST, 0);
}

void ui_button_act(const ui_item *it) {
    switch (it->action) {
    case UI_DO_PAGE:
        ui_open_page(it->arg);
        break;
    case UI_DO_BACK:
        open(it->arg, core_loop.menu_page == UI_PAGE_LIST ? ui_menu.list_return_item : 0);
        break;
    case UI_DO_START_RACE:
        core_start_race();
        break;
    case UI_DO_START_TRIAL:
        core_start_time_trial();
        break;
    case UI_DO_PRESET:
        core_settings_apply_preset(it->arg);
        ui_setting_changed(CORE_SET_ROOST_DENSITY);
        ui_setting_changed(CORE_SET_REFLECTIONS);
        break;
    case UI_DO_SWITCH_MODE:
        core_switch_video_mode();
        break;
    case UI_DO_CONNECT:
        if (!connected())
            core_connect_request(core_settings_text(CORE_SET_SERVER_NAME));
        else
            core_disconnect_request();
        break;
    case UI_DO_RESTART:
        if (connected() && core_loop.view_mode != CORE_VIEW_TITLE) {
            core_restart_request();
            core_loop.menu_page = CORE_MENU_NONE;
        }
        break;
    case UI_DO_LIST_PREV:
    case UI_DO_LIST_NEXT: {
        int *page = core_loop.menu_page == UI_PAGE_PLAYBACK ? &ui_menu.demo_page
                    : core_loop.menu_page == UI_PAGE_SERIES ? &ui_menu.series_page
                                                            : &ui_menu.list_page;
        *page += it->action == UI_DO_LIST_NEXT ? 1 : -1;
        if (*page < 0) *page = 0;
        ui_menu.built_page = -1;
        ui_menu_build();
        break;
    }
    case UI_DO_LIST_PICK:
        ui_choice_set(&g_list_item, it->arg);
        open(ui_menu.list_return_page, ui_menu.list_return_item);
        break;
    case UI_DO_DEMO_PICK:
        core_start_demo(it->arg);
        break;
    case UI_DO_QUIT_PAGE:
        core_loop.menu_page = UI_PAGE_QUIT;
        break;
    case UI_DO_SERIES_PICK:
        race_series_list.selected = it->arg;
        open(UI_PAGE_STANDINGS, 0);
        break;
    case UI_DO_SERIES_RUN:
        core_start_series_event(race_series_list.selected, it->arg);
        break;
    case UI_DO_SERIES_RESET:
        if (race_series *s = selected_series()) race_series_reset(s);
        break;
    }
}

void ui_menu_build(void) {
    int page = core_loop.menu_page;
    ui_menu.count = 0;
    ui_menu.title[0] = 0;
    snprintf(ui_menu.title, sizeof ui_menu.title, "%s", page_title(page));
    switch (page) {
    case UI_PAGE_MAIN:
        build_main();
        break;
    case UI_PAGE_NEW_RACE:
        build_new_race();
        break;
    case UI_PAGE_LIST:
        build_list();
        break;
    case UI_PAGE_PLAYBACK:
        back("Back to Main Menu", UI_PAGE_MAIN);
        setting(CORE_SET_PLAYBACK_MODE);
        list_rows(core_demo_count(), ui_menu.demo_page, UI_DO_DEMO_PICK, demo_name);
        break;
    case UI_PAGE_SERIES:
        back("Back to Main Menu", UI_PAGE_MAIN);
        list_rows(race_series_list.count, ui_menu.series_page, UI_DO_SERIES_PICK, series_name);
        break;
    case UI_PAGE_STANDINGS:
        back("Back to Points Series List", UI_PAGE_SERIES);
        button("Enter Next Event", UI_DO_SERIES_RUN, 1);
        button("Practice Next Event", UI_DO_SERIES_RUN, 0);
        button("Reset Points", UI_DO_SERIES_RESET);
        if (const race_series *s = selected_series())
            snprintf(ui_menu.title, sizeof ui_menu.title, "%.63s", s->name);
        break;
    case UI_PAGE_TIME_TRIAL:
        back("Back to Main Menu", UI_PAGE_MAIN);
        button("Start", UI_DO_START_TRIAL);
        track_choice();
        setting(CORE_SET_GHOST_FADE);
        setting(CORE_SET_TIME_TRIAL_ABORT);
        break;
    case UI_PAGE_BIKE:
        build_bike();
        break;
    case UI_PAGE_SUSPENSION:
        build_suspension();
        break;
    case UI_PAGE_STABILITY:
        build_stability();
        break;
    case UI_PAGE_CONTROLS:
        build_controls();
        break;
    case UI_PAGE_GRAPHICS:
        build_graphics();
        break;
    case UI_PAGE_ADVANCED:
        build_advanced();
        break;
    case UI_PAGE_MULTIPLAYER:
        build_multiplayer();
        break;
    case UI_PAGE_CHAT:
        add(UI_TEXT, "", UI_V_CHAT);
        break;
    default:
        break;
    }
    if (ui_menu.highlight >= ui_menu.count)
        ui_menu.highlight = ui_menu.count ? ui_menu.count - 1 : 0;
    ui_menu.built_page = page;
    ui_menu_layout(core_loop.frame_width, core_loop.frame_height);
}

const char *ui_menu_item_text(const ui_item *it, char *buf, size_t size) {
    char value[1100] = "";
    switch (it->kind) {
    case UI_CHOICE:
        ui_choice_label(it, ui_choice_get(it), value, sizeof value);
        break;
    case UI_SLIDER: {
        double v, step, lo, hi;
        if (!ui_slider_get(it, &v, &step, &lo, &hi)) break;
        if (it->value == UI_V_SETUP_VALUE) {
            const bike_model *m = bike_model_get(bike_menu_model(core_config_setup.bike));
            bike_setup_display(&core_config_setup, m, it->index, value, sizeof value);
        }
        if (!value[0]) snprintf(value, sizeof value, "%g", v);
        break;
    }
    case UI_TEXT: {
        const char *t = ui_text_buffer(it);
        snprintf(value, sizeof value, "%s", t ? t : "");
        break;
    }
    case UI_BINDING: {
        const core_binding &b = core_bindings[it->index];
        if (core_binding_capture_id() == it->index)
            snprintf(value, sizeof value, "<<PRESS A KEY>>");
        else if (b.key_name[0])
            snprintf(value, sizeof value, "%.1023s", b.key_name);
        else if (b.axis_name[0])
            snprintf(value, sizeof value, "%.1000s %s", b.axis_name,
                     b.high < 0 ? "(Negative)" : "(Positive)");
        else
            snprintf(value, sizeof value, "None");
        break;
    }
    default:
        snprintf(buf, size, "%s", it->label);
        return buf;
    }
    if (it->label[0])
        snprintf(buf, size, "%s: %s", it->label, value);
    else
        snprintf(buf, size, "%s", value);
    return buf;
}

// ---- layout ---------------------------------------------------------------------------------

namespace {

// Text width in font units; a run without the font (no window) measures by character count.
float text_units(const char *text) {
    if (render_font_main.loaded) return render_text_width(text);
    return 0.6f * (float)strlen(text);
}

} // namespace

void ui_menu_layout(int width, int height) {
    if (width <= 0 || height <= 0) width = 640, height = 480;
    ui_menu_geometry &g = ui_menu_geom;
    if (width * 3 > height * 4) {
        g.h = (float)height;
        g.w = g.h * 4 / 3;
    } else {
        g.w = (float)width;
        g.h = g.w * 3 / 4;
    }
    g.x = ((float)width - g.w) / 2;
    g.y = ((float)height - g.h) / 2;
    g.line = g.h / 32;
    int page = core_loop.menu_page;
    // Rows: one per item, except that items in two columns share theirs: a run of first-column
    // items takes rows of its own and the second-column items that follow sit beside it.
    int at[UI_MENU_ITEMS];
    int r = 0, beside = 0;
    for (int i = 0; i < ui_menu.count; i++) {
        int c = ui_menu.items[i].column;
        int prev = i > 0 ? ui_menu.items[i - 1].column : 0;
        if (c == 1 && prev != 1) {
            if (beside > r) r = beside;
            beside = r;
        }
        at[i] = c == 2 ? beside++ : r++;
    }
    int rows = r > beside ? r : beside;
    float first = 2.5f; // lines above the first row: the title
    float room = 29;
    if (page == UI_PAGE_MAIN) first = 11, room = 15;
    if (page == UI_PAGE_GRAPHICS) room = 24; // the settings lines and driver info go below
    if (page == UI_PAGE_CHAT) first = 29, room = 2;
    float row = rows > 0 ? room / (float)rows : 1;
    if (row > 1.6f) row = 1.6f;
    if (row < 1) row = 1;
    g.row = row;
    // Text fills the row less the box margin and the border on both sides (0.125 line each).
    g.text = (row - 0.5f) * g.line;
    if (g.text < 0.5f * g.line) g.text = 0.5f * g.line;
    g.first = first;
    for (int i = 0; i < ui_menu.count; i++) {
        ui_item *it = &ui_menu.items[i];
        float left = g.x + g.w * 0.2f, min_width = g.w * 0.6f;
        if (it->column) {
            left = g.x + g.w * (it->column == 1 ? 0.06f : 0.52f);
            min_width = g.w * 0.42f;
        }
        if (page == UI_PAGE_CHAT) left = g.x + g.line, min_width = g.w - 2 * g.line;
        char text[1200];
        ui_menu_item_text(it, text, sizeof text);
        float pad = 0.25f * g.line; // box margin and border
        float w = text_units(text) * g.text + 2 * pad;
        if (w < min_width) w = min_width;
        float top = g.y + (first + (float)at[i] * row) * g.line;
        it->rect.x0 = (int)std::floor(left);
        it->rect.x1 = (int)std::ceil(left + w);
        it->rect.y0 = (int)std::floor(top);
        it->rect.y1 = (int)std::ceil(top + g.text + 2 * pad);
    }
}

ui_menu_geometry ui_menu_geom;
