// Points series: a field of robots and a list of events on given tracks, each with points by
// finishing place; events are grouped into rounds whose overall result earns series points. The
// places of completed events are kept in a standings file ("@<series file>_standings" in the home
// folder), one line per event. Series and standings files are downloaded data: every count,
// place and number is bounded before use, and a file that does not read whole is left out.
#pragma once

enum {
    RACE_SERIES_RIDERS = 160,   // places per event: robots 0..R-1, then the player at R
    RACE_SERIES_ROBOTS = 159,   // R at most
    RACE_SERIES_POINTS = 40,    // points read per table; places beyond score 0
    RACE_SERIES_EVENTS = 1000,  // events a series may hold
    RACE_SERIES_TEXT = 1024,    // names: 1023 characters
    RACE_SERIES_NUMBER = 99999, // robot numbers 0..this (lineup value 1000 + n)
    RACE_SERIES_POINT_MAX = 1000000,
    RACE_SERIES_MINUTES = 10000,
    RACE_SERIES_LAPS = 10000,
    RACE_SERIES_ROUND_BLOCK = 8, // rounds per standings block
};

struct race_series_event {
    char name[RACE_SERIES_TEXT];
    int track; // index into the track list
    int minutes, laps;
    int race_points[RACE_SERIES_RIDERS];  // by 0-based place in this event
    int round_points[RACE_SERIES_RIDERS]; // by 0-based overall place; [0] == 0: no round ends here
    int places[RACE_SERIES_RIDERS];       // 0-based place of each series rider (R: none)
    int overall[RACE_SERIES_RIDERS];      // 0-based overall place in the round this event ends
};

struct race_series {
    char name[RACE_SERIES_TEXT];
    char standings[RACE_SERIES_TEXT + 16]; // "@" + file name + "_standings"
    int event_count;
    race_series_event *events;
    int completed; // K
    int skill;     // 0 novice, 1 amateur, 2 expert
    int riders;    // R robots
    int robot_numbers[RACE_SERIES_ROBOTS];
};

struct race_series_state {
    race_series *list;
    int count;
    int selected;      // the series the menus show (-1 none)
    int current;       // the series whose event is being raced for points (-1 none)
    int current_event; // that event's number (-1 none)
};
extern race_series_state race_series_list;

// Reads a series file (a file-list name, no '@') and its standings, and computes the overall
// places. 0 when the file does not open or read whole; s is then empty.
int race_series_load(const char *file, race_series *s, int verbose);
void race_series_free(race_series *s);
// Every file-list name ending ".series", in list order; failed ones are left out. Returns the
// count; nothing selected or current.
int race_series_list_build(const char *const *files, int verbose);
void race_series_list_free(void);

// Overall places of every round from the completed events' places.
void race_series_compute(race_series *s);
// The current event's result from the race (final results, else the running order), then the
// standings file rewritten. Without a current event it only clears the current series.
void race_series_store(void);
// Rewrites the standings file with the completed events; 0 when it cannot be written.
int race_series_write_standings(const race_series *s);
// The lineup of the next event (160 entries); 0 when every event is done.
int race_series_lineup(const race_series *s, int *lineup);
// "Reset Points": the standings file stays as it is until the next stored result.
void race_series_reset(race_series *s);
// The event being raced for points, or null.
const race_series_event *race_series_current_event(void);

// ---- the standings table --------------------------------------------------------------------
// "Next Event: ..." or "... Final Standings".
void race_series_title(const race_series *s, char *out, int size);
// Series riders (0..R) by total series points, highest first; equal totals by the better overall
// place in the latest completed round. Fills rider[] and total[] (R + 1 each); returns R + 1.
int race_series_order(const race_series *s, int *rider, int *total);
// The cell of rider r for the round that event `end` ends: "%d (%d)", "%d (%d-%d)",
// "%d (%d-%d-%d)", "- (%d-)" for a two-event round half run, else "".
void race_series_cell(const race_series *s, int end, int r, char *out, int size);
