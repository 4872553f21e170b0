// Puts race control into the track loader's steps.
#include "bike/bike.h"
#include "base/zv_message.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "race/race_series.h"
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

// The end of a race start: the player's bike takes the player's setup, aids included (dab when
// stopped holds it up at the gate). Robots keep their own values.
void bike_setup_apply_step(void) {
    int s = race.viewed_slot;
    if (!race_player_setup || s < 0 || s >= RACE_SLOTS || race.status[s] != RACE_LOCAL ||
        !race.present[s])
        return;
    if (bike_world.world && bike_world.bikes[s].present)
        bike_apply_setup(&bike_world.bikes[s], race_player_setup);
}

} // namespace

void race_install(void) {
    race_steps.message = [](const char *text) { zv_message_add("%s", text); };
    race_steps.results_write = [] { race_results_write("@results.txt"); };
    race_steps.series_store = race_series_store;
    track_steps.series_store = race_series_store;
    track_steps.gates_load = gates_load;
    race_steps.contacts = race_contacts;
    track_steps.race_limits_set = limits_step;
    track_steps.robots_shuffle = race_robots_shuffle_now;
    track_steps.lineup_set = lineup_step;
    track_steps.bike_create = race_bike_create;
    track_steps.race_reset = race_reset;
    track_steps.gate_counts = gate_counts_step;
    if (!track_steps.bikes_destroy) track_steps.bikes_destroy = bikes_destroy_step;
    if (!track_steps.bike_setup_apply) track_steps.bike_setup_apply = bike_setup_apply_step;
}
