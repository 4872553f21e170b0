// Erosion strokes: each tire turns its ground force into samples, averages them into points about
// a foot apart and sends runs of up to 64 points as one byte record. The same bytes are applied
// locally, recorded in demos and relayed by the race server, so the encoding is exact and bounded.
// Until the ground deformation consumes them, sent strokes wait in a queue here.
#pragma once

#include <cstdint>

struct tiles_erosion;

enum {
    BIKE_STROKE_MAX_POINTS = 64,
    BIKE_STROKE_HEADER = 17, // type, bounds, point 0
    BIKE_STROKE_MAX_BYTES = BIKE_STROKE_HEADER + 4 * (BIKE_STROKE_MAX_POINTS - 1), // 269
    BIKE_STROKE_POINT_SAMPLES = 16,
    BIKE_STROKE_QUEUE = 256, // strokes waiting for the deformation
};

struct bike_stroke_point {
    float x, z;   // averaged position
    float ex, ez; // averaged direction and strength, each -1..1
    int count;    // samples averaged (1..16)
};

// The accumulator of one wheel: the open point and the stroke being built.
struct bike_erosion_acc {
    int open; // a point is being summed
    double sum_x, sum_z, sum_ex, sum_ez;
    int count;
    double distance;       // horizontal distance ridden inside the point
    double last_x, last_z; // previous sample position
    int last_change;       // tic of the last change
    bike_stroke_point points[BIKE_STROKE_MAX_POINTS];
    int point_count;
    double min_dx, min_dz, max_dx, max_dz; // point-to-point steps of the stroke
};

// Where a finished stroke goes; extent is the terrain's side length for the 24-bit positions.
typedef void (*bike_stroke_sink)(void *ctx, const uint8_t *bytes, int length);

void bike_erosion_reset(bike_erosion_acc *a);
// Adds one sample (contact x, z and direction ex, ez) at this tic; closes points and sends
// strokes as they fill.
void bike_erosion_sample(bike_erosion_acc *a, double x, double z, double ex, double ez, int tic,
                         double extent, bike_stroke_sink sink, void *ctx);
// A tic without a sample: an open point idle for more than 64 tics is closed and the stroke sent.
void bike_erosion_idle(bike_erosion_acc *a, int tic, double extent, bike_stroke_sink sink,
                       void *ctx);
// Closes any open point and sends what the stroke holds (track unload, bike reset).
void bike_erosion_flush(bike_erosion_acc *a, double extent, bike_stroke_sink sink, void *ctx);

// Encodes points with their step bounds into out (at least BIKE_STROKE_MAX_BYTES); returns the
// length, 0 when there is nothing to send.
int bike_erosion_stroke_encode(const bike_stroke_point *pts, int count, double min_dx,
                               double min_dz, double max_dx, double max_dz, double extent,
                               uint8_t *out);
// The 6-bit direction code of a component in -1..1 (0..63), and the 16-bit bound code.
int bike_erosion_direction_code(double e);
int bike_erosion_bound_code(double v);

// Inputs of one wheel's erosion sample.
struct bike_erosion_input {
    double depth;     // contact depth, 0 or less = no contact
    double pos[3];    // contact point
    double slip;      // |contact point velocity|
    double vel[3];    // wheel linear velocity
    double force[3];  // contact joint force on the wheel from the last step
    double normal[3]; // ground normal at the contact (need not be unit)
    int front;
};
// Turns one wheel's contact into a sample direction (ex, ez); 0 when nothing is sampled.
// raw, when given, receives the scaled force (Ex, Ez) before it became a direction (0 without
// contact).
int bike_erosion_force(const bike_erosion_input *in, const tiles_erosion *p, double *ex, double *ez,
                       double raw[2] = nullptr);

// The queue of strokes sent and not yet taken by the ground deformation.
void bike_erosion_stroke_send(void *ctx, const uint8_t *bytes, int length);
// Takes the oldest stroke into out (BIKE_STROKE_MAX_BYTES); returns its length, 0 when empty.
int bike_erosion_stroke_take(uint8_t *out);
int bike_erosion_stroke_pending(void);
void bike_erosion_stroke_clear(void);
