// The results file "@results.txt": written when the results become final and the leader has
// finished, rewritten whole each time, CR LF line ends. A file that cannot be opened is skipped.
#include "race/race.h"

#include <cstdio>
#include <ctime>

#include "bike/bike.h"
#include "data/data_file.h"
#include "demo/demo.h"
#include "race/race_robots.h"
#include "track/track_gates.h"
#include "track/track_load.h"

namespace {

// Minutes, seconds and milliseconds of a span of tics.
void time_parts(int tics, int *m, int *s, int *ms) {
    long long total = tics > 0 ? (long long)tics * 1000 / 128 : 0;
    *m = (int)(total / 60000);
    *s = (int)(total / 1000 % 60);
    *ms = (int)(total % 1000);
}

int best_lap_number(int slot) {
    int c = race_laps_completed(slot);
    if (c < 2) return 0;
    int b = 2;
    for (int j = 3; j <= c; j++) {
        int tb = race_lap_tics(slot, b), tj = race_lap_tics(slot, j);
        if (tb == 0 || (tj > 0 && tj < tb)) b = j;
    }
    return b;
}

} // namespace

void race_rider_number(int slot, char *out, int size) {
    int r = slot >= 0 && slot < RACE_SLOTS ? race.robot_of[slot] : -1;
    if (r >= 0 && r < RACE_ROBOT_COUNT) {
        snprintf(out, (size_t)size, "%d", race_robot_roster[r].number);
        return;
    }
    if (race.demo_playback) {
        int n = demo_play.rider_count < DEMO_SLOTS ? demo_play.rider_count : DEMO_SLOTS;
        for (int i = 0; i < n; i++)
            if (demo_play.slot_of[i] == slot) {
                snprintf(out, (size_t)size, "%.3s", demo_play.riders[i].number);
                return;
            }
    }
    // Offline the local player may ride from any gate.
    if (slot >= 0 && slot < RACE_SLOTS &&
        (slot == race.local_slot || (!race.network && race.lineup[slot] == RACE_HUMAN)))
        snprintf(out, (size_t)size, "%d", race_player_number);
    else
        snprintf(out, (size_t)size, "%d", slot + 1);
}

int race_results_write(const char *name) {
    data_file *f = data_open(name, "wb");
    if (!f) return 0;
    int first = gates_first(), normal = gates_normal();
    const char *dir = track_loaded.dir ? track_loaded.dir : "";
    data_printf(f, "Time=%.2f|Laps=%d|Track=%s|Date=%ld\r\n", race.time_limit / 128.0, race.laps,
                dir, (long)(int32_t)time(nullptr));
    data_printf(f, "%4s | %12s | %4s | %10s | %4s | %10s\r\n", "No.", "Bike", "Laps", "Total Time",
                "BLap", "Best Time");
    int count = race.results_count < RACE_SLOTS ? race.results_count : RACE_SLOTS;
    for (int i = 0; i < count; i++) {
        const race_order_entry &e = race.results[i];
        if (e.slot < 0 || e.slot >= RACE_SLOTS || !race.riders[e.slot].finished) continue;
        char number[16];
        race_rider_number(e.slot, number, sizeof number);
        const bike_record *b = &bike_world.bikes[e.slot];
        const char *model = b->present && b->m ? b->m->name : "";
        int laps = normal <= 0 || e.progress < first ? 0 : (e.progress - first) / normal + 1;
        int m, s, ms;
        time_parts(e.tic - race.gate_drop_tic, &m, &s, &ms);
        data_printf(f, "%4s | %12s | %4d | %3d:%02d.%03d | ", number, model, laps, m, s, ms);
        int best = best_lap_number(e.slot);
        time_parts(best ? race_lap_tics(e.slot, best) : 0, &m, &s, &ms);
        data_printf(f, "%4d | %3d:%02d.%03d\r\n", best, m, s, ms);
    }
    for (int i = 0; i < count; i++) {
        const race_order_entry &e = race.results[i];
        if (e.slot < 0 || e.slot >= RACE_SLOTS || !race.riders[e.slot].finished) continue;
        data_printf(f, "\r\n%d\r\n", e.progress);
        for (int p = 0; p < e.progress; p++) {
            int t = race_pass_tic(e.slot, p);
            if (t < 0)
                data_printf(f, "%8d", -1);
            else
                data_printf(f, "%8.3f", (t - race.gate_drop_tic) / 128.0);
            // A line per lap: after the first lap's last position and every normal lap's.
            int lap_end =
                p == first - 1 || (normal > 0 && p >= first && (p - first + 1) % normal == 0);
            if (p == e.progress - 1 || (normal > 0 && lap_end))
                data_printf(f, "\r\n");
            else
                data_printf(f, " ");
        }
    }
    data_close(f);
    return 1;
}
