// Loading and freeing the track of a race, its fingerprint and the track info file.
#pragma once

#include <cstdint>

enum { TRACK_SLOTS = 160, TRACK_FINGERPRINT_SIZE = 20, TRACK_DIR_MAX = 1000 };

struct track_loaded_state {
    char *dir;       // directory of the loaded track, null when none
    char *long_name; // its display name
    uint8_t fingerprint[TRACK_FINGERPRINT_SIZE];
    int force_reload;
    int load_count; // full loads so far; caches compare it to see a new track
    int frills;     // the track script chosen was frills.js
    int first_lap_gates, normal_lap_gates; // the race's two lap counters
};

extern track_loaded_state track_loaded;

// The directory the menu chose (copied); track_load uses it unless a demo or the race server
// names another.
void track_select(const char *dir);
const char *track_selected(void);

// Loads the track for a race; riders is the 160-slot lineup, or null for a time trial. Returns
// 1 when a track is loaded, 0 when the terrain failed (no track loaded, fingerprint cleared:
// the caller goes back to the menu).
int track_load(const int *riders, int play_demo, int record_demo, int time_limit, int laps,
               int robot_level);
void track_unload(void);
// Console command forcereload: sets the flag and replies "Track will be reloaded on next restart"
// through the message log itself.
void track_force_reload(void);
const uint8_t *track_fingerprint(void);
// Console command savetrackinfo: writes "@" + directory + ".trackinfo" and replies "Track info
// saved to <directory>.trackinfo" through the message log itself. 1 when written; 0 (and nothing
// done) without a loaded track or when the file cannot be written.
int track_save_info(void);

// Working set range for a physical memory size in bytes: 0 when below 64 MiB, else 1 with the
// minimum and maximum logged by the load.
int track_working_set_range(uint64_t physical, uint32_t *minimum, uint32_t *maximum);
// The end-of-load memory step: logs the range and the outcome of the requests.
void track_working_set(void);
