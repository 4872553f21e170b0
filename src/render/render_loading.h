// The loading screen: while a track loads, the window shows the track loader's status lines,
// the newest at the bottom; a step that updates (dots, "...done") replaces its own line.
#pragma once

enum { LOADING_LINES = 8, LOADING_LINE_SIZE = 80 };

struct loading_lines {
    char text[LOADING_LINES][LOADING_LINE_SIZE]; // oldest first
    int count;
};

// Adds a status text: it replaces the newest line when both name the same step (the text
// without its trailing dots, "...done" or ": NN%"), else it is appended, the oldest line making
// room. Texts are cut to LOADING_LINE_SIZE - 1 characters.
void loading_lines_add(loading_lines *lines, const char *text);
void loading_lines_clear(loading_lines *lines);

// The lines the screen shows now.
const loading_lines *loading_screen_lines(void);
// Shows one status line at once: drains pending input (a close request is kept for the main
// loop), then draws the screen and swaps, when a window with a started GL layer is there.
void loading_screen_show(const char *text);
// The title screen: the title picture over its sky and dirt, the version in the corner. It is
// the picture with no track loaded and the background of every status line.
void title_screen_draw(int width, int height);
// The title screen without its picture (the main menu draws the picture itself).
void title_screen_background(int width, int height);
// Text centred across the window, size in 480ths of its height, dy units below the middle.
void overlay_text_centred(const char *text, float size, float dy);
// Puts the loading screen into the track loader's status and pump hooks.
void loading_screen_install(void);
