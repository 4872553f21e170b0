// The message log: the one call through which every module reports to the user. Each message
// goes to the platform log, into a ring of recent lines (the chat page shows it) and onto the
// screen for a while (the HUD draws the showing lines).
#pragma once

enum {
    ZV_MESSAGE_RING = 1000,
    ZV_MESSAGE_LINE_SIZE = 256, // a line keeps at most 255 characters
    ZV_MESSAGE_DEFAULT_LIMIT = 5,
};

struct zv_message_state {
    char lines[ZV_MESSAGE_RING][ZV_MESSAGE_LINE_SIZE];
    int next;           // ring index of the next line to write
    int total;          // lines ever added, so readers know how much of the ring is filled
    int showing;        // newest lines on screen, 0..line_limit
    double next_expiry; // game clock at which one showing line goes
    int line_limit;     // configuration key message_lines
    int hide_spam;      // drop messages containing "[SPAM]"
};

extern zv_message_state zv_messages;

// Empties the ring and the screen; keeps the line limit and hide-spam flag.
void zv_message_clear(void);
void zv_message_add(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Flips *flag (any non-zero value counts as on) and reports "<label> ON" / "<label> OFF".
void zv_message_toggle(const char *label, int *flag);
// Called once a frame with the game clock: one showing line goes per expiry, 5 s apart.
void zv_message_age(double game_clock);
// The line added `age` messages ago (0 = newest); null when there is none that old.
const char *zv_message_line(int age);
// Game clock source for expiry times; the main loop installs its own. Null reads as 0.
extern double (*zv_message_clock)(void);
