// Plane geometry of lines and paths: positions are (x, y, z) with y up, so headings live in the
// x-z plane.
#pragma once

#include "robot/robot.h"

struct robot_heading {
    float pos[3];
    double dir[2]; // unit (x, z)
};

// Heading at p2 of the circle through three samples.
void robot_end_heading(const robot_sample *p0, const robot_sample *p1, const robot_sample *p2,
                       robot_heading *out);
double robot_horizontal_distance(const float a[3], const float b[3]);
// How far b1 lies from where continuing the heading from b0 by |b1 - b0| would reach.
double robot_direction_difference(const robot_heading *h, const robot_sample *b0,
                                  const robot_sample *b1);
