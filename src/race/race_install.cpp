// Puts race control into the track loader's steps and the main loop's calls.
#include "bike/bike.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_message.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "track/track_erosion.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"
#include "track/track_terrain.h"

void race_robots_shuffle_now(void);

namespace {

void limits_step(int network, int time_limit, int laps) {
    erosion_reset(); // a new load starts from the ground as loaded
    race_limits_set(network, time_limit, laps);
}

void lineup_step(const int *riders) {
    race_lineup_set(riders);
}

void gate_counts_step(int *first, int *normal, int *count) {
    *first = gates.first_length;
    *normal = gates.normal_length;
    *count = gates.checkpoint_count;
}

void bikes_destroy_step(void) {
    race_log_local_distance();
    for (int s = 0; s < BIKE_SLOTS; s++) {
        if (bike_world.world && bike_world.bikes[s].present) bike_destroy(&bike_world.bikes[s]);
        race.present[s] = 0;
    }
}

void erode_step(int rate) {
    race.erosion_rate = rate;
    if (rate <= 0) return;
    float pos[2];
    const float *rider = nullptr;
    for (int s = 0; s < RACE_SLOTS; s++)
        if (race.present[s] && race.status[s] == RACE_LOCAL && bike_world.bikes[s].present) {
            const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME]);
            pos[0] = (float)p[0];
            pos[1] = (float)p[2];
            rider = pos;
            break;
        }
    erosion_apply(rider, rate / 1024.0f, race.tic);
}

void terrain_update_step(int budget) {
    if (budget < 0)
        terrain_sync_all();
    else
        terrain_sync(budget);
}

int slot_status_step(int slot) {
    return slot >= 0 && slot < RACE_SLOTS ? race.status[slot] : RACE_REPLAYED;
}

int time_trial_active_step(void) {
    return race.time_trial;
}

int race_finished_step(void) {
    int leader = race_leader();
    return leader != RACE_NONE && race.lap_total < RACE_UNSET &&
           race_laps_completed(leader) >= race.lap_total;
}

// The end of a race start: the player's bike takes the player's setup, aids included (dab when
// stopped holds it up at the gate). Robots keep their own values.
void bike_setup_apply_step(void) {
    int s = race.viewed_slot;
    if (s < 0 || s >= RACE_SLOTS || race.status[s] != RACE_LOCAL || !race.present[s]) return;
    if (bike_world.world && bike_world.bikes[s].present)
        bike_apply_setup(&bike_world.bikes[s], &core_config_setup);
}

// The loop's time-trial rules for the player: backing up again restarts the attempt one
// position further back; throttle marks the attempt started.
void time_trial_abort_step(int) {
    race_restart_attempt();
    race.attempt_state++;
}

void time_trial_started_step(int) {
    race.attempt_state = 2;
}

} // namespace

void race_install(void) {
    race_steps.message = [](const char *text) { core_message_add("%s", text); };
    core_hook.time_trial_abort = time_trial_abort_step;
    core_hook.time_trial_started = time_trial_started_step;
    track_steps.gates_load = gates_load;
    track_steps.race_limits_set = limits_step;
    track_steps.robots_shuffle = race_robots_shuffle_now;
    track_steps.lineup_set = lineup_step;
    track_steps.bike_create = race_bike_create;
    track_steps.race_reset = race_reset;
    track_steps.gate_counts = gate_counts_step;
    if (!track_steps.bikes_destroy) track_steps.bikes_destroy = bikes_destroy_step;
    if (!track_steps.bike_setup_apply) track_steps.bike_setup_apply = bike_setup_apply_step;
    core_hook.race_tic = race_tic;
    core_hook.erode = erode_step;
    if (!core_hook.terrain_update) core_hook.terrain_update = terrain_update_step;
    core_hook.slot_status = slot_status_step;
    core_hook.running_order_step = race_order_step;
    core_hook.time_trial_active = time_trial_active_step;
    core_hook.race_finished = race_finished_step;
}
