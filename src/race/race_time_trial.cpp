// Time-trial attempts: restarting before the lap line, aborting by backing up, and the lap
// bookkeeping of the player and the ghost.
#include <cmath>

#include "bike/bike.h"
#include "race/race.h"
#include "track/track_gates.h"

namespace {

void place_rider(bike_record *b) {
    int f = gates_first(), n = gates_normal();
    int s = race.attempt_state;
    int cp = -1;
    if (n > 0) {
        int entry = s > n ? f : f + (((n - s) % n) + n) % n;
        cp = gates_sequence_checkpoint(entry);
    }
    float x, z, heading;
    if (cp >= 0) {
        const gates_checkpoint *c = &gates.checkpoints[cp];
        x = c->origin[0];
        z = c->origin[2];
        heading = atan2f(-c->direction[0], -c->direction[2]);
    } else {
        // No lap to restart on: back to the grid.
        race_grid_position(0, &x, &z, &heading);
    }
    bike_place(b, x, z, heading);
}

} // namespace

void race_restart_attempt(void) {
    if (race_steps.trial_demo_stop) race_steps.trial_demo_stop();
    for (int s = 1; s < RACE_SLOTS; s++) {
        if (bike_world.world && bike_world.bikes[s].present) bike_destroy(&bike_world.bikes[s]);
        race.present[s] = 0;
        race.status[s] = RACE_REPLAYED;
        race.lineup[s] = RACE_EMPTY;
    }
    int f = gates_first();
    if (bike_world.world && bike_world.bikes[0].present) place_rider(&bike_world.bikes[0]);
    race_rider_set_progress(0, f - 1 > 0 ? f - 1 : 0);
    race.last_lap = 0;
    if (!race.results_final) race_update_order();
}

void race_time_trial_abort(float back_up, float throttle, int backing_aborts) {
    if (backing_aborts) {
        if (back_up > 0.5f && !race.backup_latch) {
            race.backup_latch = 1;
            race_restart_attempt();
            race.attempt_state++;
        } else if (back_up < 0.5f) {
            race.backup_latch = 0;
        }
    }
    if (throttle > 0.5f) race.attempt_state = 2;
}

void race_time_trial_note(void) {
    race.tt_player_laps = race_laps_completed(0);
    race.tt_ghost_laps = race_laps_completed(1);
}

void race_time_trial_tic(void) {
    int f = gates_first(), n = gates_normal();
    if (n <= 0) return;
    int ghost_laps = race_laps_completed(1);
    if (race.present[1] && ghost_laps != race.tt_ghost_laps && ghost_laps >= 2) {
        // The ghost keeps looping: fold its last lap back onto the one before.
        race_rider *g = &race.riders[1];
        int end = race_lap_end(ghost_laps), prev = race_lap_end(ghost_laps - 1);
        if (end < g->pass_cap && prev >= 0) {
            g->pass[prev] = g->pass[end];
            g->progress = prev + 1;
        }
    }
    int laps = race_laps_completed(0);
    if (laps == race.tt_player_laps || laps < 1) return;
    int ghost_progress = race.riders[1].progress;
    int player_progress = race.riders[0].progress;
    int end = race_lap_end(laps);
    int start = laps >= 2 ? race_lap_end(laps - 1) : -1;
    int all = 1;
    for (int p = start + 1; p <= end; p++)
        if (race_pass_tic(0, p) < 0) all = 0;
    int timed = 0;
    if (all && start >= 0) {
        race.last_lap = race_pass_tic(0, end) - race_pass_tic(0, start);
        if (race.best_lap == 0 || race.last_lap < race.best_lap) race.best_lap = race.last_lap;
        timed = 1;
    }
    int exists = race_steps.trial_fastest_exists ? race_steps.trial_fastest_exists() : 0;
    if (timed ? (!exists || ghost_progress < player_progress) : !exists)
        if (race_steps.trial_keep_last_lap) race_steps.trial_keep_last_lap();
    // Restart the field: everybody has just crossed the lap line, when the player did.
    int at = race_pass_tic(0, end);
    if (at < 0) at = race.tic;
    for (int s = 1; s < RACE_SLOTS; s++)
        race.present[s] = 0;
    int ghosts = race_steps.trial_ghost_start ? race_steps.trial_ghost_start() : 0;
    for (int s = 0; s <= ghosts && s < RACE_SLOTS; s++) {
        race_rider *r = &race.riders[s];
        if (s > 0) {
            race.present[s] = 1;
            race.status[s] = RACE_REPLAYED;
            r->progress = 0;
        }
        // Lap 1 done at this tic: the next lap is the timed one.
        int p = f - 1 > 0 ? f - 1 : 0;
        r->progress = p;
        if (f > 0 && r->pass_cap > p) {
            r->pass[p] = at;
            r->progress = p + 1;
        }
        r->finished = 0;
    }
    race.tt_player_laps = race_laps_completed(0);
    if (race_steps.trial_record_start) race_steps.trial_record_start();
    race_update_order();
}
