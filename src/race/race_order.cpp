// The running order, the time-limit rules and the making of final results.
#include <algorithm>

#include "race/race.h"
#include "track/track_gates.h"

void race_check_finish(void);

namespace {

bool order_before(const race_order_entry &a, const race_order_entry &b) {
    if (a.progress != b.progress) return a.progress > b.progress;
    if (a.tic != b.tic) return a.tic < b.tic;
    return a.slot < b.slot;
}

void build_order(void) {
    race.order_count = 0;
    for (int s = 0; s < RACE_SLOTS; s++) {
        if (!race.present[s]) continue;
        race_order_entry e;
        e.slot = s;
        e.progress = race.riders[s].progress;
        e.tic = e.progress >= 1 ? race_pass_tic(s, e.progress - 1) : 0;
        if (e.tic < 0) e.tic = 0;
        race.order[race.order_count++] = e;
    }
    std::sort(race.order, race.order + race.order_count, order_before);
}

// Earliest pass of lap f's end by anybody; -1 when nobody has passed it.
int earliest_lap_end(int f) {
    int end = race_lap_end(f), best = -1;
    for (int o = 0; o < race.order_count; o++) {
        int t = race_pass_tic(race.order[o].slot, end);
        if (t >= 0 && (best < 0 || t < best)) best = t;
    }
    return best;
}

void apply_time_limit(void) {
    if (race.time_limit <= 0 || race.order_count == 0) return;
    int leader_laps = race_laps_completed(race.order[0].slot);
    if (race.halfway_lap >= RACE_UNSET && race.tic >= race.gate_drop_tic + race.time_limit / 2)
        race.halfway_lap = leader_laps > 0 ? leader_laps + 2 : 1;
    int limit_end = race.gate_drop_tic + race.time_limit;
    if (race.tic < limit_end || gates_checkpoints() == 0) return;
    int f = std::min(race.lap_total, leader_laps - 1);
    if (f < 1) f = 1;
    for (; f < RACE_UNSET; f++) {
        int t = earliest_lap_end(f);
        if (t < 0) break;
        if (t >= limit_end) {
            race.lap_total = std::min(race.lap_total, f + race.laps);
            break;
        }
    }
}

// Whether somebody still racing keeps the results unofficial.
int still_racing(void) {
    for (int o = 0; o < race.order_count; o++) {
        int s = race.order[o].slot;
        if (race.riders[s].finished) continue;
        int st = race.status[s];
        if (!race.network) {
            if (st == RACE_LOCAL || st == RACE_ROBOT_DRIVEN) return 1;
            int newest = race_steps.history_newest_tic ? race_steps.history_newest_tic(s) : -1;
            if (newest >= 0 && race.tic - newest < 10 * 128) return 1;
        } else {
            if (st == RACE_LOCAL && race.local_slot >= 0) return 1;
            if (st != RACE_LOCAL && race_steps.heard_within && race_steps.heard_within(s, 128))
                return 1;
        }
    }
    return 0;
}

void make_results(void) {
    int f = gates_first(), n = gates_normal();
    race.results_count = 0;
    for (int o = 0; o < race.order_count; o++) {
        race_order_entry e = race.order[o];
        int pen = race_cut_penalty(e.slot);
        race.cut_penalty[e.slot] = pen;
        if (race_laps_completed(e.slot) >= 2) {
            int best = race_best_lap(e.slot);
            // Without a timed lap there is nothing to trade the penalty against.
            while (best > 0 && pen > best && e.progress > f && n > 0) {
                e.progress -= n;
                pen -= best;
            }
            e.tic += pen;
        }
        race.results[race.results_count++] = e;
    }
    std::sort(race.results, race.results + race.results_count, order_before);
}

} // namespace

void race_update_order(void) {
    build_order();
    apply_time_limit();
    race_check_finish();
    if (race.results_final || race.order_count == 0 || still_racing()) return;
    make_results();
    if (race.results_count > 0 && race.riders[race.order[0].slot].finished &&
        race_steps.results_write)
        race_steps.results_write();
    race.results_final = 1;
    if (race_steps.series_store) race_steps.series_store();
}

int race_leader(void) {
    return race.order_count > 0 ? race.order[0].slot : RACE_NONE;
}

int race_order_step(int slot, int dir) {
    for (int o = 0; o < race.order_count; o++)
        if (race.order[o].slot == slot) {
            int t = o + (dir < 0 ? -1 : 1);
            return t >= 0 && t < race.order_count ? race.order[t].slot : slot;
        }
    return slot;
}
