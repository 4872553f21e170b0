// Headings of recorded paths for chaining lines and matching a path's end.
#include <cmath>

#include "robot/robot_geometry.h"

double robot_horizontal_distance(const float a[3], const float b[3]) {
    double dx = (double)b[0] - a[0], dz = (double)b[2] - a[2];
    return std::sqrt(dx * dx + dz * dz);
}

void robot_end_heading(const robot_sample *p0, const robot_sample *p1, const robot_sample *p2,
                       robot_heading *out) {
    for (int i = 0; i < 3; i++)
        out->pos[i] = p2->pos[i];
    double a1 = std::atan2((double)p1->pos[2] - p0->pos[2], (double)p1->pos[0] - p0->pos[0]);
    double a2 = std::atan2((double)p2->pos[2] - p1->pos[2], (double)p2->pos[0] - p1->pos[0]);
    double turn = std::remainder(a2 - a1, 2 * M_PI);
    // On a circle the tangent at the last point turns on from the last chord by half the turn
    // between chords (exact for equal spacing, which recordings have).
    double a = a2 + turn / 2;
    if (p2->pos[0] == p1->pos[0] && p2->pos[2] == p1->pos[2]) a = a1;
    out->dir[0] = std::cos(a);
    out->dir[1] = std::sin(a);
}

double robot_direction_difference(const robot_heading *h, const robot_sample *b0,
                                  const robot_sample *b1) {
    double len = robot_horizontal_distance(b0->pos, b1->pos);
    double px = b0->pos[0] + h->dir[0] * len, pz = b0->pos[2] + h->dir[1] * len;
    double dx = b1->pos[0] - px, dz = b1->pos[2] - pz;
    return std::sqrt(dx * dx + dz * dz);
}
