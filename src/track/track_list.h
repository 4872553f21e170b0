// The list of tracks: every directory holding a terrain.hf (in any stored form), with the long
// name from its desc file, sorted by long name ignoring case. Built once at start-up.
#pragma once

struct track_list_state {
    int count;
    int capacity;
    char **dirs;       // game-relative directories, no '@', no trailing '/'
    char **long_names; // display names
};

extern track_list_state track_list;

// Builds the list from the file index; returns the number of tracks (0: none found).
int track_scan(void);
void track_list_free(void);
// Index of a directory in the list (exact, then ignoring case), or -1.
int track_list_find(const char *dir);
