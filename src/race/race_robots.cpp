// The cast of robot riders and the shuffle of a race start.
#include "race/race_robots.h"

#include <cstring>
#include <random>

const race_robot race_robot_roster[RACE_ROBOT_COUNT] = {
    {7, "Ace Rutter", "cr125", {"helmet_red", "gear_orange", "plastics_red"}, {0.74f, 0.92f, 0.92f, 0.84f, 0.72f}},
    {12, "Brody Loamis", "kx125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.92f, 0.57f, 0.37f, 0.95f, 0.39f}},
    {14, "Cole Fenders", "rm125", {"helmet_black", "gear_teal", "plastics_black"}, {0.49f, 0.48f, 0.93f, 0.83f, 0.44f}},
    {21, "Dax Berman", "yz125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.42f, 0.95f, 0.36f, 0.57f, 0.80f}},
    {22, "Eli Ridley", "crf250", {"helmet_green", "gear_green", "plastics_green"}, {0.87f, 0.42f, 0.94f, 0.38f, 0.94f}},
    {23, "Finn Rockwell", "kx250f", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.83f, 0.66f, 0.36f, 0.38f, 0.66f}},
    {25, "Gage Holeshot", "rmz250", {"helmet_teal", "gear_black", "plastics_teal"}, {0.39f, 0.87f, 0.95f, 0.60f, 0.36f}},
    {27, "Hank Scrubbs", "yz250f", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.54f, 0.35f, 0.35f, 0.85f, 0.49f}},
    {31, "Ivy Mudd", "crf450(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.94f, 0.83f, 0.95f, 0.95f, 0.85f}},
    {33, "Jace Sandoval", "kx450f(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.68f, 0.71f, 0.35f, 0.83f, 0.92f}},
    {34, "Kai Throttleby", "kx125", {"helmet_red", "gear_orange", "plastics_red"}, {0.35f, 0.39f, 0.95f, 0.57f, 0.59f}},
    {37, "Luca Burnside", "rm125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.69f, 0.94f, 0.35f, 0.37f, 0.35f}},
    {41, "Mack Whoopson", "yz125", {"helmet_black", "gear_teal", "plastics_black"}, {0.94f, 0.53f, 0.95f, 0.39f, 0.55f}},
    {42, "Nico Gravesend", "cr125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.53f, 0.53f, 0.35f, 0.60f, 0.89f}},
    {44, "Otis Kicker", "kx250f", {"helmet_green", "gear_green", "plastics_green"}, {0.39f, 0.94f, 0.95f, 0.85f, 0.88f}},
    {45, "Paz Clutchley", "rmz250", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.84f, 0.39f, 0.36f, 0.95f, 0.53f}},
    {47, "Quinn Pinewood", "yz250f", {"helmet_teal", "gear_black", "plastics_teal"}, {0.86f, 0.71f, 0.94f, 0.82f, 0.35f}},
    {51, "Reid Trackman", "crf250", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.41f, 0.83f, 0.36f, 0.56f, 0.61f}},
    {55, "Sage Tabletop", "kx450f(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.50f, 0.35f, 0.93f, 0.37f, 0.93f}},
    {56, "Tate Dustin", "rmz450(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.93f, 0.87f, 0.37f, 0.39f, 0.84f}},
    {58, "Uma Rutter", "rm125", {"helmet_red", "gear_orange", "plastics_red"}, {0.73f, 0.66f, 0.93f, 0.61f, 0.47f}},
    {61, "Vic Loamis", "yz125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.35f, 0.42f, 0.38f, 0.85f, 0.37f}},
    {63, "Wade Fenders", "cr125", {"helmet_black", "gear_teal", "plastics_black"}, {0.65f, 0.95f, 0.92f, 0.95f, 0.68f}},
    {66, "Xan Berman", "kx125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.95f, 0.48f, 0.39f, 0.82f, 0.94f}},
    {69, "Yuri Ridley", "rmz250", {"helmet_green", "gear_green", "plastics_green"}, {0.57f, 0.58f, 0.90f, 0.56f, 0.78f}},
    {71, "Zane Rockwell", "yz250f", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.37f, 0.92f, 0.40f, 0.37f, 0.43f}},
    {73, "Axel Holeshot", "crf250", {"helmet_teal", "gear_black", "plastics_teal"}, {0.80f, 0.37f, 0.89f, 0.39f, 0.40f}},
    {75, "Bea Scrubbs", "kx250f", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.89f, 0.76f, 0.42f, 0.61f, 0.74f}},
    {77, "Cruz Mudd", "rmz450(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.44f, 0.79f, 0.87f, 0.86f, 0.95f}},
    {78, "Dree Sandoval", "yz450f(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.46f, 0.36f, 0.44f, 0.95f, 0.72f}},
    {81, "Ezra Throttleby", "yz125", {"helmet_red", "gear_orange", "plastics_red"}, {0.91f, 0.90f, 0.85f, 0.81f, 0.39f}},
    {83, "Flint Burnside", "cr125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.77f, 0.61f, 0.45f, 0.55f, 0.44f}},
    {85, "Gus Whoopson", "kx125", {"helmet_black", "gear_teal", "plastics_black"}, {0.36f, 0.46f, 0.84f, 0.37f, 0.80f}},
    {88, "Holt Gravesend", "rm125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.61f, 0.95f, 0.47f, 0.40f, 0.94f}},
    {89, "Iris Kicker", "yz250f", {"helmet_green", "gear_green", "plastics_green"}, {0.95f, 0.44f, 0.82f, 0.62f, 0.66f}},
    {91, "Jett Clutchley", "crf250", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.62f, 0.63f, 0.49f, 0.86f, 0.36f}},
    {93, "Knox Pinewood", "kx250f", {"helmet_teal", "gear_black", "plastics_teal"}, {0.36f, 0.89f, 0.79f, 0.95f, 0.49f}},
    {94, "Lyle Trackman", "rmz250", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.76f, 0.36f, 0.52f, 0.81f, 0.85f}},
    {96, "Mira Tabletop", "yz450f(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.91f, 0.80f, 0.77f, 0.55f, 0.92f}},
    {99, "Nash Dustin", "crf450(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.47f, 0.74f, 0.54f, 0.37f, 0.59f}},
    {101, "Ace Sandoval", "cr125", {"helmet_red", "gear_orange", "plastics_red"}, {0.43f, 0.38f, 0.75f, 0.40f, 0.35f}},
    {104, "Brody Throttleby", "kx125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.88f, 0.92f, 0.56f, 0.62f, 0.55f}},
    {107, "Cole Burnside", "rm125", {"helmet_black", "gear_teal", "plastics_black"}, {0.81f, 0.56f, 0.73f, 0.87f, 0.89f}},
    {111, "Dax Whoopson", "yz125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.38f, 0.50f, 0.59f, 0.95f, 0.88f}},
    {114, "Eli Gravesend", "crf250", {"helmet_green", "gear_green", "plastics_green"}, {0.56f, 0.94f, 0.70f, 0.80f, 0.53f}},
    {117, "Finn Kicker", "kx250f", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.95f, 0.41f, 0.61f, 0.54f, 0.35f}},
    {121, "Gage Clutchley", "rmz250", {"helmet_teal", "gear_black", "plastics_teal"}, {0.66f, 0.68f, 0.68f, 0.36f, 0.61f}},
    {124, "Hank Pinewood", "yz250f", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.35f, 0.86f, 0.64f, 0.40f, 0.93f}},
    {128, "Ivy Trackman", "crf450(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.72f, 0.35f, 0.65f, 0.63f, 0.84f}},
    {131, "Jace Tabletop", "kx450f(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.93f, 0.84f, 0.66f, 0.87f, 0.47f}},
    {137, "Kai Dustin", "kx125", {"helmet_red", "gear_orange", "plastics_red"}, {0.51f, 0.69f, 0.63f, 0.95f, 0.37f}},
    {141, "Luca Rutter", "rm125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.40f, 0.40f, 0.69f, 0.80f, 0.68f}},
    {144, "Mack Loamis", "yz125", {"helmet_black", "gear_teal", "plastics_black"}, {0.85f, 0.94f, 0.60f, 0.54f, 0.94f}},
    {149, "Nico Fenders", "cr125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.84f, 0.51f, 0.71f, 0.36f, 0.78f}},
    {152, "Otis Berman", "kx250f", {"helmet_green", "gear_green", "plastics_green"}, {0.40f, 0.54f, 0.58f, 0.40f, 0.43f}},
    {155, "Paz Ridley", "rmz250", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.52f, 0.93f, 0.74f, 0.63f, 0.40f}},
    {159, "Quinn Rockwell", "yz250f", {"helmet_teal", "gear_black", "plastics_teal"}, {0.93f, 0.38f, 0.55f, 0.87f, 0.74f}},
    {163, "Reid Holeshot", "crf250", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.71f, 0.73f, 0.76f, 0.95f, 0.95f}},
    {166, "Sage Scrubbs", "kx450f(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.35f, 0.82f, 0.53f, 0.80f, 0.72f}},
    {171, "Tate Mudd", "rmz450(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.67f, 0.35f, 0.78f, 0.54f, 0.39f}},
    {177, "Uma Sandoval", "rm125", {"helmet_red", "gear_orange", "plastics_red"}, {0.94f, 0.88f, 0.51f, 0.36f, 0.44f}},
    {181, "Vic Throttleby", "yz125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.55f, 0.64f, 0.80f, 0.41f, 0.80f}},
    {184, "Wade Burnside", "cr125", {"helmet_black", "gear_teal", "plastics_black"}, {0.38f, 0.43f, 0.49f, 0.64f, 0.94f}},
    {188, "Xan Whoopson", "kx125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.82f, 0.95f, 0.82f, 0.88f, 0.66f}},
    {192, "Yuri Gravesend", "rmz250", {"helmet_green", "gear_green", "plastics_green"}, {0.88f, 0.47f, 0.47f, 0.95f, 0.36f}},
    {199, "Zane Kicker", "yz250f", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.43f, 0.59f, 0.84f, 0.79f, 0.49f}},
    {202, "Axel Clutchley", "crf250", {"helmet_teal", "gear_black", "plastics_teal"}, {0.48f, 0.91f, 0.45f, 0.53f, 0.85f}},
    {207, "Bea Pinewood", "kx250f", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.92f, 0.36f, 0.86f, 0.36f, 0.92f}},
    {211, "Cruz Trackman", "rmz450(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.75f, 0.77f, 0.43f, 0.41f, 0.59f}},
    {215, "Dree Tabletop", "yz450f(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.36f, 0.77f, 0.88f, 0.64f, 0.35f}},
    {222, "Ezra Dustin", "yz125", {"helmet_red", "gear_orange", "plastics_red"}, {0.63f, 0.36f, 0.41f, 0.88f, 0.55f}},
    {228, "Flint Rutter", "cr125", {"helmet_yellow", "gear_blue", "plastics_yellow"}, {0.95f, 0.91f, 0.89f, 0.94f, 0.89f}},
    {233, "Gus Loamis", "kx125", {"helmet_black", "gear_teal", "plastics_black"}, {0.60f, 0.59f, 0.40f, 0.79f, 0.88f}},
    {241, "Holt Fenders", "rm125", {"helmet_pink", "gear_purple", "plastics_pink"}, {0.36f, 0.47f, 0.91f, 0.53f, 0.53f}},
    {247, "Iris Berman", "yz250f", {"helmet_green", "gear_green", "plastics_green"}, {0.78f, 0.95f, 0.39f, 0.36f, 0.35f}},
    {255, "Jett Ridley", "crf250", {"helmet_purple", "gear_pink", "plastics_purple"}, {0.90f, 0.43f, 0.92f, 0.41f, 0.61f}},
    {262, "Knox Rockwell", "kx250f", {"helmet_teal", "gear_black", "plastics_teal"}, {0.46f, 0.64f, 0.37f, 0.65f, 0.93f}},
    {271, "Lyle Holeshot", "rmz250", {"helmet_blue", "gear_yellow", "plastics_blue"}, {0.45f, 0.88f, 0.93f, 0.88f, 0.84f}},
    {284, "Mira Scrubbs", "yz450f(2018)", {"helmet_orange", "gear_red", "plastics_orange"}, {0.89f, 0.35f, 0.37f, 0.94f, 0.47f}},
    {299, "Nash Mudd", "crf450(2018)", {"helmet_white", "gear_white", "plastics_white"}, {0.79f, 0.82f, 0.94f, 0.78f, 0.37f}},
};

race_robot_order race_robots;

void race_robots_reset_taken(void) { memset(race_robots.taken, 0, sizeof race_robots.taken); }

void race_robots_shuffle(uint32_t seed)
{
    std::mt19937 gen(seed);
    for (int i = 0; i < RACE_ROBOT_COUNT; i++)
        race_robots.order[i] = i;
    for (int k = RACE_ROBOT_COUNT - 1; k >= 1; k--) {
        uint32_t r = gen();
        int j = (int)((r / 65536u) % (uint32_t)k);
        int t = race_robots.order[k];
        race_robots.order[k] = race_robots.order[j];
        race_robots.order[j] = t;
    }
    race_robots_reset_taken();
}

int race_robots_take(int type)
{
    int place = -1;
    for (int i = 0; i < RACE_ROBOT_COUNT; i++)
        if (!race_robots.taken[i]) {
            place = i;
            break;
        }
    if (type >= 1000) {
        // A named robot may be taken twice; it does not consume the shuffled order.
        for (int i = 0; i < RACE_ROBOT_COUNT; i++)
            if (race_robot_roster[i].number == type - 1000)
                return i;
        return -1;
    }
    if (place < 0)
        return -1;
    const char *want = type == 3 ? "125" : type == 4 ? "250" : nullptr;
    int found = place;
    if (want) {
        found = -1;
        for (int i = place; i < RACE_ROBOT_COUNT; i++)
            if (!race_robots.taken[i] && strstr(race_robot_roster[race_robots.order[i]].model, want)) {
                found = i;
                break;
            }
        if (found < 0)
            return -1;
        // The match moves to the current place; the ones it jumped shift down one.
        int chosen = race_robots.order[found];
        for (int i = found; i > place; i--)
            race_robots.order[i] = race_robots.order[i - 1];
        race_robots.order[place] = chosen;
        found = place;
    }
    race_robots.taken[found] = 1;
    return race_robots.order[found];
}

const char *race_model_name(const char *model)
{
    static const char *const bare[] = {"crf250", "kx250f", "rmz250", "yz250f"};
    static const char *const dated[] = {"crf250(2008)", "kx250f(2008)", "rmz250(2008)",
                                        "yz250f(2008)"};
    for (int i = 0; i < 4; i++)
        if (strcmp(model, bare[i]) == 0)
            return dated[i];
    return model;
}

const char *race_robot_model(int roster_index)
{
    if (roster_index < 0 || roster_index >= RACE_ROBOT_COUNT)
        return "crf250(2008)";
    return race_model_name(race_robot_roster[roster_index].model);
}
