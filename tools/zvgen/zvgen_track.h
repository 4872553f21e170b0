// The default track, "Pine Hollow Motocross": a closed motocross loop on a 1025 x 1025 height
// grid (0.75 ft spacing) with a wide start straight, bermed turns, a tabletop, a double, a
// whoops section and a rhythm lane, four ground types and baked shading.
//
// Besides the track files it writes "centerline", the racing line for the timing gates and the
// robot lines, as text:
//     centerline 1
//     points N
//     length L
//     x y z halfwidth        (N lines)
// The points run in race direction, ZVGEN_TRACK_STEP feet apart along the line, starting at the
// start gate line; y is the ground height there and halfwidth the distance from the line to
// either edge of the riding surface. L is the lap length in feet; the line is closed (the last
// point leads back to the first).
#pragma once

#define ZVGEN_TRACK_DIR "tracks/pinehollow"
#define ZVGEN_TRACK_STEP 4.0

// The sun of the default track (toward it, not normalised): its light map is baked for it, its
// lighting file names it, and the sky pictures show it.
#define ZVGEN_SUN_X -0.55
#define ZVGEN_SUN_Y 0.62
#define ZVGEN_SUN_Z -0.56

struct zvgen_track_point {
    float x, y, z, half_width;
};

// The generator entry of zvgen: writes every file of the default track. 1 on success.
int zvgen_track(void);
