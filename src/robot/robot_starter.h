// Starter lines: a track that has no line in some section for the chosen skill (a new track, one
// from the editor or a download) gets lines of its own before robots race on it. A headless rider
// rides a path through the timing gates' checkpoints at a speed the path's curvature and the
// ground's grip allow for the skill, and its laps are learned into the line store as a human
// rider's laps are; the store is then written to the home directory as the track's lines file.
#pragma once

// Whether the store (sized for the loaded gates) lacks a line in any section.
int robot_starter_needed(void);

// Rides starter laps on the loaded track for a skill (0..2) and saves the lines under "@" dir.
// The race state, race control's hooks and the rider slot it borrows are as before afterwards;
// the ground is not eroded. Returns 1 when every section then has a line. Otherwise the reason
// (a checkpoint outside the terrain, one the rider never reaches) is in robot_starter_problem()
// and has gone to the message log; robots stay held where they have no line.
int robot_starter_make(const char *dir, int skill);
const char *robot_starter_problem(void);

// Speed of the starter rider's path at a point of curvature radius r (ft, 0 = straight) on
// ground of friction coefficient mu for a skill: sqrt(g x grip x mu x r) under the skill's top.
double robot_starter_corner_speed(int skill, double r, double mu);
