// What the menu files share: the values behind the items and the page actions.
#pragma once

#include "ui/ui_menu.h"

#include <cstddef>

// Button and list-entry actions.
enum ui_action {
    UI_DO_PAGE,         // open page arg
    UI_DO_BACK,         // open page arg with its first item highlighted
    UI_DO_START_RACE,   // "New Race" / "Start"
    UI_DO_START_TRIAL,  // "Time Trial" / "Start"
    UI_DO_PRESET,       // apply preset arg
    UI_DO_SWITCH_MODE,  // "Switch To Selected Mode Now"
    UI_DO_CONNECT,      // "Connect" / "Disconnect"
    UI_DO_RESTART,      // "Request Restart"
    UI_DO_LIST_PREV,    // a list's "Prev Page"
    UI_DO_LIST_NEXT,    // a list's "Next Page"
    UI_DO_LIST_PICK,    // a list entry: arg is its index
    UI_DO_DEMO_PICK,    // a demo: arg is its index
    UI_DO_QUIT_PAGE,    // "Quit"
    UI_DO_SERIES_PICK,  // a points series: arg is its index
    UI_DO_SERIES_RUN,   // "Enter Next Event" (arg 1) / "Practice Next Event" (arg 0)
    UI_DO_SERIES_RESET, // "Reset Points"
};

int ui_choice_count(const ui_item *it);
const char *ui_choice_label(const ui_item *it, int i, char *buf, size_t size);
int ui_choice_get(const ui_item *it);
void ui_choice_set(const ui_item *it, int i);
// Track, bike and graphics choices open their list page when activated.
int ui_choice_opens_list(const ui_item *it);
void ui_open_list_for(int item_index);

int ui_slider_get(const ui_item *it, double *v, double *step, double *lo, double *hi);
void ui_slider_set(const ui_item *it, double v);

char *ui_text_buffer(const ui_item *it);
int ui_text_max(const ui_item *it);
void ui_text_changed(const ui_item *it);
void ui_server_history_step(int dir);

void ui_setting_changed(int id);

void ui_button_act(const ui_item *it);
void ui_open_page(int page);

// Where the open page lies on the screen (pixels, y down): the 4:3 area, its text line, the
// height of one item row in lines, the text height and the line the first row starts on.
struct ui_menu_geometry {
    float x, y, w, h;
    float line, row, text, first;
};
extern ui_menu_geometry ui_menu_geom;
