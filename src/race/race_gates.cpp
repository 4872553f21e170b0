// Following riders through the timing gates: gate positions, the crossing test, laps and lap
// times, track-cutting penalties, off course and finishing.
#include <cmath>

#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "race/race.h"
#include "track/track_gates.h"

namespace {

int first_count() {
    return gates_first();
}
int normal_count() {
    return gates_normal();
}

int has_laps() {
    return gates_checkpoints() > 0 && first_count() > 0 && normal_count() > 0;
}

race_rider *rider(int slot) {
    return slot >= 0 && slot < RACE_SLOTS ? &race.riders[slot] : nullptr;
}

// Makes room for positions below n; 0 when the race's bound is reached.
int reserve(race_rider *r, int n) {
    if (n <= r->pass_cap) return 1;
    if (n > RACE_PASS_MAX) return 0;
    int cap = r->pass_cap ? r->pass_cap : 16;
    while (cap < n)
        cap *= 2;
    if (cap > RACE_PASS_MAX) cap = RACE_PASS_MAX;
    r->pass = (int *)zv_realloc(r->pass, sizeof(int) * (size_t)cap);
    r->pass_cap = cap;
    return 1;
}

// Where a normal-lap position sits within the lap; -1 for first-lap positions.
int lap_phase(int p) {
    int f = first_count(), n = normal_count();
    return p >= f && n > 0 ? (p - f) % n : -1;
}

} // namespace

int race_position_entry(int p) {
    int f = first_count(), n = normal_count();
    if (p < 0 || !has_laps()) return -1;
    return p < f ? p : f + (p - f) % n;
}

int race_position_ends_lap(int p) {
    int f = first_count(), n = normal_count();
    if (p < 0 || !has_laps()) return 0;
    return p == f - 1 || (p >= f && (p - f + 1) % n == 0);
}

int race_lap_end(int k) {
    if (k < 1 || !has_laps()) return -1;
    long long e = (long long)first_count() + (long long)normal_count() * (k - 1) - 1;
    return e > RACE_PASS_MAX ? RACE_PASS_MAX : (int)e;
}

int race_checkpoint_crossed(int cp, float x, float z) {
    if (cp < 0 || cp >= gates.checkpoint_count) return 0;
    const gates_checkpoint *c = &gates.checkpoints[cp];
    float dx = x - c->origin[0], dz = z - c->origin[2];
    if (dx * dx + dz * dz > c->length * c->length) return 0;
    return dx * c->direction[0] + dz * c->direction[2] >= 0.0f;
}

int race_pass_tic(int slot, int p) {
    const race_rider *r = rider(slot);
    if (!r || p < 0 || p >= r->progress || p >= r->pass_cap || !r->pass) return -1;
    return r->pass[p];
}

namespace {

// A rider's trouble belongs to the section it happened in: a gate pass or a progress reset
// starts the next one clean.
void clear_trouble(int slot) {
    if (slot >= 0 && slot < BIKE_SLOTS) bike_world.bikes[slot].trouble = 0;
}

int position_crossed(int p, float x, float z) {
    return race_checkpoint_crossed(gates_sequence_checkpoint(race_position_entry(p)), x, z);
}

void count_pass(int slot, int p) {
    race_rider *r = &race.riders[slot];
    if (!reserve(r, p + 1)) return;
    for (int i = r->progress; i < p; i++)
        r->pass[i] = -1;
    r->pass[p] = race.tic;
    r->progress = p + 1;
    clear_trouble(slot);
}

} // namespace

void race_rider_set_progress(int slot, int p) {
    race_rider *r = rider(slot);
    if (!r || p < 0 || !reserve(r, p)) return;
    for (int i = r->progress; i < p; i++)
        r->pass[i] = -1;
    r->progress = p;
    r->finished = 0;
    clear_trouble(slot);
}

int race_gate_test(int slot, float x, float z) {
    race_rider *r = rider(slot);
    if (!r || r->finished || !has_laps()) return 0;
    int p0 = r->progress;
    // Going back: only to pick up a position that has no pass.
    int missing = 0;
    for (int c = p0 - 3; c <= p0 - 2; c++) {
        if (c < 0) continue;
        if (race_pass_tic(slot, c) < 0) missing = 1;
        if (position_crossed(c, x, z) && missing) {
            count_pass(slot, c);
            return 1;
        }
    }
    // On a lap of three positions P + 2 is the checkpoint just passed; a rider still inside
    // its half-disc must not collect another lap every tic.
    int last_cp = p0 > 0 ? gates_sequence_checkpoint(race_position_entry(p0 - 1)) : -1;
    for (int c = p0; c <= p0 + 2; c++) {
        int same = last_cp >= 0 && gates_sequence_checkpoint(race_position_entry(c)) == last_cp;
        if (!same && position_crossed(c, x, z)) {
            count_pass(slot, c);
            return 1;
        }
        // A lap is never counted without its last checkpoint.
        if (race_position_ends_lap(c)) break;
    }
    return 0;
}

int race_laps_completed(int slot) {
    const race_rider *r = rider(slot);
    int f = first_count(), n = normal_count();
    if (!r || !has_laps() || r->progress < f) return 0;
    return (r->progress - f) / n + 1;
}

int race_current_gate(int slot) {
    const race_rider *r = rider(slot);
    if (!r || !has_laps()) return 0;
    int f = first_count();
    return r->progress < f ? r->progress : (r->progress - f) % normal_count();
}

int race_lap_tics(int slot, int k) {
    if (k < 1 || !has_laps()) return 0;
    int end = race_pass_tic(slot, race_lap_end(k));
    int start = k == 1 ? race.gate_drop_tic : race_pass_tic(slot, race_lap_end(k - 1));
    if (end < 0 || start < 0) return 0;
    return end - start;
}

double race_lap_time(int slot, int k) {
    return race_lap_tics(slot, k) / 128.0;
}

int race_best_lap(int slot) {
    int best = 0;
    int laps = race_laps_completed(slot);
    for (int k = 2; k <= laps; k++) {
        int t = race_lap_tics(slot, k);
        if (t > 0 && (best == 0 || t < best)) best = t;
    }
    return best;
}

int race_finished(int slot) {
    const race_rider *r = rider(slot);
    return r ? r->finished : 0;
}

int race_cut_penalty(int slot) {
    const race_rider *r = rider(slot);
    if (!r || !has_laps()) return 0;
    long long penalty = 0;
    int prev = -1, prev_tic = race.gate_drop_tic;
    int skipped = 0;
    for (int j = 0; j < r->progress && j < r->pass_cap; j++) {
        int t = race_pass_tic(slot, j);
        if (t < 0) {
            skipped++;
            continue;
        }
        if (skipped > 0 && prev >= 0) {
            // The field's time through the same stretch: the same positions, or for a stretch of
            // the normal lap the same stretch in any lap.
            long long sum = 0;
            int samples = 0;
            int len = j - prev;
            int phase = lap_phase(prev), n = normal_count();
            for (int o = 0; o < race.order_count; o++) {
                int other = race.order[o].slot;
                if (other == slot) continue;
                int op = race.riders[other].progress;
                if (phase < 0 || lap_phase(j) < 0 || prev < first_count()) {
                    int a = race_pass_tic(other, prev), b = race_pass_tic(other, j);
                    if (a >= 0 && b >= 0) {
                        sum += b - a;
                        samples++;
                    }
                } else {
                    for (int s = first_count() + phase; s + len < op; s += n) {
                        int a = race_pass_tic(other, s), b = race_pass_tic(other, s + len);
                        if (a >= 0 && b >= 0) {
                            sum += b - a;
                            samples++;
                        }
                    }
                }
            }
            long long expected = samples ? sum / samples : 60 * 128;
            expected += 128;
            if (t - prev_tic < expected) penalty += expected - (t - prev_tic);
        }
        skipped = 0;
        prev = j;
        prev_tic = t;
    }
    return penalty > 2147483647LL ? 2147483647 : (int)penalty;
}

int race_off_course(int slot) {
    const race_rider *r = rider(slot);
    if (!r) return 1;
    int p = r->progress;
    if (p <= 0) return 1;
    for (int i = (p - 3 > 1 ? p - 3 : 1); i <= p; i++) {
        int a = -1;
        for (int q = i - 1; q >= (i - 3 > 0 ? i - 3 : 0) && a < 0; q--)
            a = race_pass_tic(slot, q);
        if (a < 0) a = race.gate_drop_tic;
        int b = -1;
        for (int q = i; q <= p - 1 && b < 0; q++)
            b = race_pass_tic(slot, q);
        if (b < 0) b = race.tic;
        for (int o = 0; o < race.order_count; o++) {
            int other = race.order[o].slot;
            if (race.riders[other].progress <= i) break;
            int r1 = race_pass_tic(other, i - 1), r2 = race_pass_tic(other, i);
            if (r1 < 0 || r2 < 0) continue;
            double t = 1.0 / 128.0;
            if ((b - a) * t >= race.off_course_scale * (r2 - r1) * t + race.off_course_bias)
                return 1;
            break;
        }
    }
    return 0;
}

// Marks the riders whose last completed lap ended at or after the winner's finish.
void race_check_finish(void) {
    if (race.lap_total >= RACE_UNSET || !has_laps() || race.order_count == 0) return;
    int leader = race.order[0].slot;
    int w = race_pass_tic(leader, race_lap_end(race.lap_total));
    if (w < 0) return;
    for (int o = 0; o < race.order_count; o++) {
        int s = race.order[o].slot;
        int c = race_laps_completed(s);
        if (c < 1) continue;
        int t = race_pass_tic(s, race_lap_end(c));
        if (t >= w) race.riders[s].finished = 1;
    }
}
