// The menus: full-screen pages of items drawn over the running picture. One item is
// highlighted; keys move the highlight and act on it, the pointer highlights and acts on the item
// under it. The values the items show and edit are the configuration's own records (the settings
// registry, the rider setup, the bindings), so what a page changes is what the game uses and
// what the configuration file keeps.
#pragma once

#include <cstddef>

enum ui_page {
    UI_PAGE_MAIN = 0,
    UI_PAGE_NEW_RACE = 1,
    UI_PAGE_LIST = 2,
    UI_PAGE_PLAYBACK = 3,
    UI_PAGE_SERIES = 4,
    UI_PAGE_STANDINGS = 5,
    UI_PAGE_TIME_TRIAL = 6,
    UI_PAGE_BIKE = 7,
    UI_PAGE_SUSPENSION = 8,
    UI_PAGE_STABILITY = 9,
    UI_PAGE_CONTROLS = 10,
    UI_PAGE_GRAPHICS = 11,
    UI_PAGE_ADVANCED = 12,
    UI_PAGE_MULTIPLAYER = 13,
    UI_PAGE_CHAT = 16,
    UI_PAGE_QUIT = 18,
};

enum ui_item_kind { UI_BUTTON, UI_CHOICE, UI_SLIDER, UI_TEXT, UI_BINDING, UI_ENTRY };

// What a choice, slider or text item edits.
enum ui_value {
    UI_V_NONE,
    UI_V_SETTING,      // settings registry item (index)
    UI_V_TRACK,        // the chosen track (track list)
    UI_V_VIDEO_MODE,   // "Video Mode" (display-mode list)
    UI_V_BIKE,         // the setup's bike (bike menu list)
    UI_V_GFX,          // the setup's graphics choice (index: kind)
    UI_V_SETUP_VALUE,  // the setup's numeric value (index)
    UI_V_SETUP_CHOICE, // the setup's yes/no choice (index)
    UI_V_NAME,         // the setup's rider name
    UI_V_NUMBER,       // the setup's number
    UI_V_SERVER,       // the "Server" text
    UI_V_CHAT,         // the chat line's text
};

enum {
    UI_MENU_ITEMS = 64,
    UI_LIST_ROWS = 20,
    UI_TYPEAHEAD = 256, // 255 characters
    UI_CHAT_TEXT = 120, // 119 characters
    UI_CHAT_HISTORY = 100,
    UI_CHAT_SCROLL_MAX = 950,
    UI_ITEM_LABEL = 160,
};

// Lists a list page can show.
enum ui_list { UI_LIST_TRACKS, UI_LIST_BIKES, UI_LIST_GFX_FIRST };

struct ui_rect {
    int x0, y0, x1, y1; // pixels, y down from the top of the window
};

struct ui_item {
    int kind;
    char label[UI_ITEM_LABEL];
    int value, index; // ui_value and its index
    int action;       // what a button or entry does
    int arg;
    int column; // the gate columns of "New Race"
    int present;
    ui_rect rect;
};

struct ui_menu_state {
    ui_item items[UI_MENU_ITEMS];
    int count;
    int highlight;
    int built_page; // the page the items were built for (-1 none)
    char typeahead[UI_TYPEAHEAD];
    int typeahead_item; // the choice item the buffer belongs to
    int cursor;         // text field cursor
    int cursor_item;    // the item the cursor belongs to; a newly lit field starts at its end
    // List pages.
    int list, list_page, list_return_page, list_return_item;
    int demo_page, series_page;
    // The mechanic rule's last refusal (game clock), -1e9 before any.
    double refused_at;
    // The chat line.
    char chat[UI_CHAT_HISTORY][UI_CHAT_TEXT]; // entry 0 is what is being typed
    int chat_count, chat_at, chat_scroll;
    char title[64];
};

extern ui_menu_state ui_menu;

// Puts the menus into the main loop's hooks (keys, pointer, highlight reset).
void ui_menu_install(void);
// The drawing entry the loop calls each frame.
void ui_menu_draw(void);

// A pressed key or character while a menu is open; returns 1 when it was used.
int ui_menu_key(int code);
// A pointer move (drag: the left button is held).
void ui_menu_pointer(int x, int y, int drag);
void ui_menu_reset_highlight(void);

// Rebuilds the open page's items (labels and values as they are now) and lays them out for a
// window of width x height pixels.
void ui_menu_build(void);
void ui_menu_layout(int width, int height);
// The text an item shows ("Label: value" and the like) into buf; returns buf.
const char *ui_menu_item_text(const ui_item *it, char *buf, size_t size);
// Index of the item on the open page whose label is label, or -1.
int ui_menu_find(const char *label);

// "Current Settings: ..." for the graphics page.
const char *ui_menu_current_settings(void);

// Slider value for a pointer at x over [left, right] (pixels): min + step * n with n the nearest
// whole number of steps, clamped; 15 pixels of tolerance beyond either end. 0 when x is outside.
int ui_slider_from_pointer(double min, double max, double step, int left, int right, int x,
                           double *value);
// Rotates the first count gates by n places (the lineup rotation); negative n goes backwards.
void ui_rotate_gates(int *gates, int count, int n);

// After a rider setup change: value is the setup value changed, -1 any other setup change (both
// go to the local bike by the mechanic rule: at once only while it stands still), -2 a change the
// loop reads itself.
void ui_setup_changed(int value);
