// Demos in a race: the glue between the demo files, the state history and race control.
#pragma once

struct demo_race_calls {
    void (*race_tic)(void);   // one race tic (the skip simulates with it)
    float (*roost_get)(void); // roost frequency, suppressed while skipping
    void (*roost_set)(float f);
};

struct demo_race_state {
    char play_name[256];   // demo to play; empty: "@demos/default.zvdemo"
    char record_name[256]; // recording file for tools (--record); empty: "@demos/default.zvdemo"
    // Console demo name applied when the recording finishes: a bare file name under "demos/".
    char pending_name[1024];
    int backups;       // configuration key demo_backups
    int tester_names;  // robots are recorded as "tester" (the editor's test rides)
    int accurate_skip; // old demos skip forward by simulating too
    demo_race_calls calls;
};
extern demo_race_state demo_race;

// Installs the demo steps into race control, the track loader and the main loop.
void demo_install(void);
// Loads a demo by data name ('@' home names, file index names, paths) and parses it.
int demo_race_open(const char *name);
// Gives demo rider r a bike in slot; 0 when the bike cannot be made (the rider is dropped).
int demo_place_rider(int r, int slot);
// Poses a replayed rider from the history at the display tic.
void demo_pose(int slot, int display);
// Record tic after the tic counter advanced; force writes now.
void demo_race_record_tic(int force);
// Rewrites line 1, closes, and applies the pending demo name.
void demo_race_finish(void);
int demo_copy_file(const char *from, const char *to);
// Playback chosen from the menu: remembers the demo and answers whether the race also records
// ("Race Against" with "Record Demo", unless the demo is the file a recording would replace).
int demo_menu_start(const char *name, int race_against, int record_demo);
// Rewind (-1) or skip (+1) by seconds while only replayed riders are present; 1 when done.
int demo_seek(int x);
