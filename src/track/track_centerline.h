// The racing line of a track, as the "centerline" file of the track directory describes it:
//     centerline 1
//     points N
//     length L
//     x y z halfwidth        (N lines)
// Points run in race direction at equal steps from the start gate line; the line is closed.
// The default track's generator writes it; timing gates and robot lines are built from it.
#pragma once

#include <cstddef>

enum { TRACK_CENTERLINE_MAX = 65536 };

struct track_centerline_point {
    float x, y, z, half_width;
};

struct track_centerline {
    int count;
    float length;
    track_centerline_point *points; // zv_alloc'd, count entries
};

// Parses the text (len bytes, need not be zero-terminated). 1 on success; 0 for a bad header, a
// count outside 2..65536, a short or non-finite point list, or a length that is not positive.
int track_centerline_parse(const char *text, size_t len, track_centerline *out);
// Reads "@" + dir + "/centerline" through the data files. 1 on success.
int track_centerline_load(const char *dir, track_centerline *out);
void track_centerline_free(track_centerline *c);
// The point at arc length t along the closed line (wrapped into 0..length), interpolated.
track_centerline_point track_centerline_at(const track_centerline *c, float t);
