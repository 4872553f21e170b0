// The robot riders: the 80 racers offline races fill their gates from, and the shuffled order in
// which a race start hands them out.
#pragma once

#include <cstdint>

enum { RACE_ROBOT_COUNT = 80 };

struct race_personality {
    float aggression;  // how hard it pushes into gaps and turns
    float precision;   // how closely it holds a learned line
    float braking;     // how late it brakes
    float jumping;     // commitment over jumps
    float consistency; // lap-to-lap steadiness
};

struct race_robot {
    int number;
    const char *name;
    const char *model;
    const char *graphics[3]; // helmet, riding gear, plastics
    race_personality personality;
};

extern const race_robot race_robot_roster[RACE_ROBOT_COUNT];

// Shuffle order: order[i] is the roster index handed out i-th.
struct race_robot_order {
    int order[RACE_ROBOT_COUNT];
    int taken[RACE_ROBOT_COUNT]; // per place in order
};
extern race_robot_order race_robots;

// Shuffles with an MT19937 seeded with seed: for k = 79 down to 1, entry k is swapped with entry
// (r / 65536) mod k.
void race_robots_shuffle(uint32_t seed);
// The next robot for a rider type (2 any, 3 a "125", 4 a "250", 1000 + n robot number n);
// a matching robot further down moves to the current place. Roster index or -1.
int race_robots_take(int type);
void race_robots_reset_taken(void);
// Bike model of a robot, with the 250 four-stroke names given their year.
const char *race_robot_model(int roster_index);
// The year a bare 250 four-stroke name stands for; other names come back unchanged.
const char *race_model_name(const char *model);
