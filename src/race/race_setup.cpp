// Race setup: limits, the lineup, creating and placing the riders, and the reset at the end of
// every race start.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"

race_state race;
race_step_hooks race_steps;
char race_player_model[64] = "crf250(2008)";
int race_player_number = 1;
char race_player_name[64] = "Player";

const bike_setup *race_player_setup;
int race_practice;

void race_player_from_setup(const bike_setup *setup) {
    race_player_setup = setup;
    if (!setup) return;
    const bike_model *m = bike_model_get(bike_menu_model(setup->bike));
    if (m) snprintf(race_player_model, sizeof race_player_model, "%s", m->name);
    int n = atoi(setup->number);
    race_player_number = n > 0 ? n : 1;
    snprintf(race_player_name, sizeof race_player_name, "%s",
             setup->name[0] ? setup->name : "Player");
}

namespace {
std::mt19937 race_rng(1);

// The auto pilot personality a robot of the roster rides with: the roster's riders take the three
// racing personalities in turn; with the practice option every robot is the tester.
const char *robot_personality_name(int roster_index) {
    static const char *const racing[3] = {"mike", "travis", "rick"};
    if (race_practice) return "tester";
    return racing[(roster_index >= 0 ? roster_index : 0) % 3];
}
} // namespace

void race_seed(uint32_t seed) {
    race_rng.seed(seed);
}

uint32_t race_fixed_seed;

void race_robots_shuffle_now(void) {
    uint32_t seed = race_fixed_seed ? race_fixed_seed : (uint32_t)time(nullptr);
    race_rng.seed(seed);
    race_robots_shuffle(race_rng());
}

void race_limits_set(int network, int time_limit, int laps) {
    race.network = network;
    race.time_limit = time_limit > 0 ? time_limit : 0;
    race.laps = laps;
    race.off_course_scale = race.off_course_scale > 0.0f ? race.off_course_scale : 1.5f;
    race.off_course_bias = race.off_course_bias > 0.0f ? race.off_course_bias : 10.0f;
}

void race_length_text(char *buf, int size) {
    if (race.time_limit <= 0) {
        snprintf(buf, (size_t)size, "%d laps", race.laps);
        return;
    }
    int minutes = (int)(race.time_limit * (1.0 / 128.0) / 60.0 + 0.5);
    if (race.laps <= 0)
        snprintf(buf, (size_t)size, "%d minutes", minutes);
    else
        snprintf(buf, (size_t)size, "%d minutes + %d laps", minutes, race.laps);
}

void race_free(void) {
    for (int s = 0; s < RACE_SLOTS; s++) {
        zv_free(race.riders[s].pass);
        race.riders[s].pass = nullptr;
        race.riders[s].pass_cap = 0;
        race.riders[s].progress = 0;
        race.riders[s].finished = 0;
    }
}

void race_lineup_set(const int *lineup) {
    race.time_trial = lineup == nullptr;
    int human = -1, first = -1;
    for (int s = 0; s < RACE_SLOTS; s++) {
        int t = lineup ? lineup[s] : (s == 0 ? RACE_HUMAN : RACE_EMPTY);
        if (t == RACE_HUMAN) {
            if (human >= 0)
                t = RACE_EMPTY; // one local player
            else
                human = s;
        }
        race.lineup[s] = t;
        race.status[s] = t == RACE_HUMAN ? RACE_LOCAL
                         : (t >= RACE_ROBOT && t <= RACE_ROBOT_250) || t >= RACE_ROBOT_NUMBER
                             ? RACE_ROBOT_DRIVEN
                             : RACE_REPLAYED;
        race.present[s] = 0;
        race.robot_of[s] = -1;
        if (first < 0 && t != RACE_EMPTY) first = s;
    }
    race.viewed_slot = human >= 0 ? human : (first >= 0 ? first : 0);
    race.local_slot = race.network ? -1 : 0;
    race_robots_reset_taken();
    for (int s = 0; s < RACE_SLOTS; s++)
        if (race.status[s] == RACE_ROBOT_DRIVEN)
            race.robot_of[s] = race_robots_take(race.lineup[s]);
}

int race_grid_position(int slot, float *x, float *z, float *heading) {
    int g = gates.slot_count;
    int k = slot;
    float behind = -1.0f;
    if (race.network && race.status[slot] == RACE_LOCAL) {
        if (race.local_slot >= 0)
            k = race.local_slot;
        else
            behind = 0.625f;
    }
    if (g > 0) {
        const gates_slot *s = &gates.slots[behind >= 0.0f ? 0 : k % g];
        float a = s->angle;
        float d = behind >= 0.0f ? behind : ((float)(k / g) + 0.0625f) * 10.0f;
        *x = s->pos[0] + sinf(a) * d;
        *z = s->pos[2] + cosf(a) * d;
        *heading = a;
        return 1;
    }
    // No gates: a block of spots 5 apart from the middle, kept on the ground.
    float half = terrain.extent * 0.5f;
    int cols = (int)((half - 5.0f) / 5.0f);
    if (cols < 1) cols = 1;
    *x = half + 5.0f * (float)(k % cols);
    *z = half + 5.0f * (float)(k / cols);
    if (*z > terrain.extent) *z = half;
    *heading = 0.0f;
    return 1;
}

int race_bike_create(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS) return 0;
    race_rider *r = &race.riders[slot];
    r->progress = 0;
    r->finished = 0;
    r->distance = 0;
    r->tracked = 0;
    race.present[slot] = 0;
    int t = race.lineup[slot];
    const char *model = nullptr;
    if (t == RACE_HUMAN)
        model = race_model_name(race_player_model);
    else if (race.status[slot] == RACE_ROBOT_DRIVEN && race.robot_of[slot] >= 0)
        model = race_robot_model(race.robot_of[slot]);
    // Without a personality race control never drives a robot: it would stand at the gate with
    // no hands on the controls and fall over. Other riders are marked as no robot, so a slot that
    // held one last race is not driven or judged as one.
    if (race_steps.robot_personality) {
        int robot = race.status[slot] == RACE_ROBOT_DRIVEN && race.robot_of[slot] >= 0;
        unsigned seed = 1u + (unsigned)slot + 160u * (unsigned)(robot ? race.robot_of[slot] : 0);
        race_steps.robot_personality(
            slot, robot ? robot_personality_name(race.robot_of[slot]) : "empty", seed);
    }
    if (!model || !bike_world.world)
        return 0; // empty, replayed and remote slots get their bikes from the demo or network
    bike_record *b = bike_create(slot, model, 1);
    if (!b) return 0;
    float x, z, heading;
    race_grid_position(slot, &x, &z, &heading);
    bike_place(b, x, z, heading);
    if (race.status[slot] == RACE_LOCAL) {
        const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
        race.start_pos[0] = (float)p[0];
        race.start_pos[1] = (float)p[1];
        race.start_pos[2] = (float)p[2];
        race.penalty_countdown = 0;
    }
    race.present[slot] = 1;
    return 1;
}

int race_gate_drop_from(uint32_t r) {
    double seconds = 13.0 + (double)(r & 0x7fffffffu) * (1.0 / 1073741824.0);
    return (int)floor(seconds * 128.0);
}

void race_reset(void) {
    race.tic = 0;
    race.gate_drop_tic = race_gate_drop_from(race_rng());
    race.remote_delay = 0;
    race.results_final = 0;
    race.results_count = 0;
    race.penalty_countdown = 0;
    for (int s = 0; s < RACE_SLOTS; s++) {
        if (bike_world.world && bike_world.bikes[s].present) race.present[s] = 1;
        race_rider *r = &race.riders[s];
        r->progress = 0;
        r->finished = 0;
        r->distance = 0;
        r->tracked = 0;
        race.cut_penalty[s] = 0;
    }
    if (race.time_trial) {
        race.tic = RACE_TIME_TRIAL_TIC;
        race.best_lap = 0;
        race.last_lap = 0;
    }
    if (race_steps.demo_history_clear) race_steps.demo_history_clear();
    if (race.time_limit > 0) {
        race.halfway_lap = RACE_UNSET;
        race.lap_total = RACE_UNSET;
    } else {
        race.halfway_lap = (race.laps + 1) / 2;
        race.lap_total = race.laps;
    }
    race.start_gate_count = gates.slot_count;
    for (int g = 0; g < RACE_SLOTS; g++) {
        race.start_gates[g].fall = 1.0f;
        race.start_gates[g].speed = 0.0f;
        race.start_gates[g].touch_tic = -1;
    }
    bike_world.tic = race.tic;
    bike_world.gate_drop_tic = race.tic >= race.gate_drop_tic ? race.gate_drop_tic : -1;
    if (race.time_trial) {
        race.attempt_state = 2;
        race_restart_attempt();
        race.attempt_state = 3;
    }
    race.results_final = 0;
    race_update_order();
    if (!race.present[race.viewed_slot] && race.order_count > 0)
        race.viewed_slot = race.order[0].slot;
}
