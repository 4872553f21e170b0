// Robots and line learning inside a race: the calls race control makes every tic for each slot.
#pragma once

#include "robot/robot_ride.h"

// Per-slot robot state (personality 0 for humans and replayed riders).
extern robot_rider robot_riders[160];

// Installs the robot control and learning calls into race control's step hooks.
void robot_install(void);
// Gives a slot a personality by name ("mike" for unknown names, "empty" for humans) and a seed.
void robot_set_personality(int slot, const char *name, unsigned seed);
// Clears a slot's path, picks, timers and recordings (bike reset, new race).
void robot_reset_slot(int slot);
// Tics by which a slot trails the rider just ahead of it in the running order at the last gate
// position both have passed; 0 for the leader or without a common gate.
int robot_gap_tics(int slot);
// The per-tic calls: robot control before the bike update, learning after it.
void robot_race_control(int slot);
void robot_race_learn(int slot);
// A digest of the simulated state: every present bike's bodies (positions, rotations and
// velocities) and control values, the race clock, every rider's gate passes and every robot's
// random state. Two runs of the same race agree on it tic for tic; 41 bytes of hex.
void robot_race_state_hash(char hex[41]);
// Learning options: --learn forces it on (also for robots' runs), --nolearn off.
extern int robot_learning;
// Learning mode without a player: an explorer's section is offered as a candidate line, as a
// human rider's is, when the explorer stayed on its path and beat the fastest run of the proven
// line it followed.
extern int robot_learn_robots;
// Makes a robot an explorer for the learning mode: it rides 3 to 15 % faster than its path
// (drawn per section), its falls and runs rate no line, and its sections that beat the line it
// followed become candidate lines. The other robots rate the lines as they ride them.
void robot_set_explorer(int slot, int on);
// Marks a robot-driven slot whose sections are learned as a human rider's (the starter rider).
void robot_set_teacher(int slot, int on);
