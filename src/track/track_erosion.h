// Ground deformation: erosion strokes (the byte records the tires produce) are decoded into a
// ring of points, and each frame a budget of points digs a rut around its position and piles
// the same amount up behind it. The same bytes are applied in the same order on every client.
#pragma once

#include <cstdint>

enum {
    EROSION_QUEUE_SIZE = 131072, // 2^17 points
    EROSION_STROKE_HEADER = 17,  // one point
    EROSION_STROKE_POINTS = 64,
    EROSION_DEFER_TICS = 256,
    EROSION_BACKLOG = 8192,
};

struct erosion_point {
    float x, z, dx, dz;
    int32_t weight;
};

struct erosion_state {
    erosion_point *queue; // EROSION_QUEUE_SIZE entries, made on first use
    int head, count;
    int deadline;      // deferral deadline tic; -1 = none
    int full_reported; // "Erode queue full!" shows once per run
};

extern erosion_state erosion;

// Online, strokes go to the race server first; installed by the network code (null offline).
// Returns 1 when it took the stroke.
extern int (*erosion_send)(const uint8_t *stroke, int length);
// Online, whether the way to the server has room for another stroke; strokes wait with the
// tires until it has (null: always room).
extern int (*erosion_send_room)(void);

void erosion_submit(const uint8_t *stroke, int length);
void erosion_decode(const uint8_t *stroke, int length);
void erosion_reset(void);
// Applies a frame's budget of queued points at simulation tic `tic`; rider_xz is the first
// local rider's (x, z) or null. f is the erosion factor (rate / 1024). Returns points taken.
int erosion_apply(const float *rider_xz, float f, int tic);

// The smooth bump around (x, z) with the given radius: dig lowers by amount a at the centre and
// returns the volume the bump covers; deposit raises by v in all. Radii are clamped to the grid.
double erosion_dig(float x, float z, float radius, double a);
void erosion_deposit(float x, float z, float radius, double v);
