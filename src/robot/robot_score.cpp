// Rating lines: the cost of a line per mode, which lines chain, the scores over the next eight
// sections, and the recommended chains of a lap.
#include "base/zv_shared.h"
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "robot/robot.h"
#include "robot/robot_geometry.h"

static const double NO_CHAIN = 1e30;

using zv::clamp01;

double robot_line_cost(const robot_line *l, int mode) {
    const double h = bike_tic;
    double n = l->runs, f = l->failures;
    if (mode == 3) {
        if (n + f > 5 && 4 * n < f) return 100000;
        if (n == 0 && f == 0) return 0;
        long v = (long)(n + 4 * f);
        int bits = 0;
        while (v > 0) {
            bits++;
            v >>= 1;
        }
        return 1000.0 * bits + 4000;
    }
    if (mode == 0 && n < 5) return ROBOT_UNTIMED;
    if (mode != 0 && n <= 0) return ROBOT_UNTIMED;
    if (mode == 1 && n < 5) return ROBOT_UNTIMED;
    double weight = mode == 1 ? 8.0 / 7.0 : mode == 2 ? 4.0 : 1.0;
    double fw = f * weight;
    double mean = l->sum_t1 / n;
    return mean + clamp01<double>(fw / (n + fw)) * 5.0 / h;
}

int robot_lines_chain(const robot_line *a, const robot_line *b) {
    if (!a || !b || a->count < 3 || b->count < 2) return 0;
    robot_heading end;
    robot_end_heading(&a->samples[a->count - 3], &a->samples[a->count - 2],
                      &a->samples[a->count - 1], &end);
    double dist = robot_horizontal_distance(end.pos, b->samples[0].pos);
    if (dist > 2.5) return 0;
    if (std::fabs(robot_direction_difference(&end, &b->samples[0], &b->samples[1])) > 2.0) return 0;
    double end_speed = std::fabs(a->samples[a->count - 1].speed);
    double start_speed = std::fabs(b->samples[0].speed);
    return start_speed >= end_speed - 15.0;
}

// Best totals of chains of up to ROBOT_CHAIN lines starting at each slot of section s.
static void chain_totals(int section, int mode, double totals[ROBOT_SLOTS]) {
    double next[ROBOT_SLOTS], cur[ROBOT_SLOTS];
    for (int k = ROBOT_CHAIN - 1; k >= 0; k--) {
        int sec = section + k;
        for (int i = 0; i < ROBOT_SLOTS; i++) {
            const robot_line *l = robot_line_at(sec, i);
            cur[i] = NO_CHAIN;
            if (!l || l->count <= 0) continue;
            double own = robot_line_cost(l, mode);
            if (k == ROBOT_CHAIN - 1) {
                cur[i] = own;
                continue;
            }
            double best = NO_CHAIN;
            for (int j = 0; j < ROBOT_SLOTS; j++)
                if (next[j] < best && robot_lines_chain(l, robot_line_at(sec + 1, j)))
                    best = next[j];
            if (best < NO_CHAIN) cur[i] = own + best;
        }
        memcpy(next, cur, sizeof next);
    }
    memcpy(totals, next, sizeof next);
}

void robot_section_scores(int section, int mode, double scores[ROBOT_SLOTS]) {
    double totals[ROBOT_SLOTS];
    for (int i = 0; i < ROBOT_SLOTS; i++)
        scores[i] = 0;
    if (robot_lines.sections == 0) return;
    chain_totals(section, mode, totals);
    double best = NO_CHAIN;
    for (int i = 0; i < ROBOT_SLOTS; i++)
        if (totals[i] < best) best = totals[i];
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(section, i);
        if (!l || l->count <= 0) continue;
        if (best >= NO_CHAIN)
            scores[i] = 1; // no chain known: every line alike
        else if (totals[i] >= NO_CHAIN)
            scores[i] = 0;
        else if (totals[i] <= 0)
            scores[i] = 1; // all-zero totals are equally good, not 0/0
        else
            scores[i] = best / totals[i];
    }
}

// Cheapest chain through sections first..last (inclusive, unwrapped numbers) from a given
// start slot, optionally closing into a given slot of the section after last. Fills route.
static double cheapest_chain(int first, int last, int start_slot, const robot_line *close, int mode,
                             int *route) {
    int len = last - first + 1;
    double *cost = (double *)zv_alloc(sizeof(double) * (size_t)len * ROBOT_SLOTS);
    int *from = (int *)zv_alloc(sizeof(int) * (size_t)len * ROBOT_SLOTS);
    double result = NO_CHAIN;
    if (!cost || !from) goto out;
    for (int k = 0; k < len; k++) {
        int sec = first + k;
        for (int i = 0; i < ROBOT_SLOTS; i++) {
            const robot_line *l = robot_line_at(sec, i);
            double *c = &cost[k * ROBOT_SLOTS + i];
            from[k * ROBOT_SLOTS + i] = -1;
            *c = NO_CHAIN;
            if (!l || l->count <= 0) continue;
            if (k == 0) {
                if (start_slot < 0 || start_slot == i) *c = robot_line_cost(l, mode);
                continue;
            }
            for (int j = 0; j < ROBOT_SLOTS; j++) {
                double p = cost[(k - 1) * ROBOT_SLOTS + j];
                if (p >= NO_CHAIN || !robot_lines_chain(robot_line_at(sec - 1, j), l)) continue;
                if (p + robot_line_cost(l, mode) < *c) {
                    *c = p + robot_line_cost(l, mode);
                    from[k * ROBOT_SLOTS + i] = j;
                }
            }
        }
    }
    {
        int best = -1;
        for (int i = 0; i < ROBOT_SLOTS; i++) {
            double c = cost[(len - 1) * ROBOT_SLOTS + i];
            if (c >= NO_CHAIN) continue;
            if (close && !robot_lines_chain(robot_line_at(last, i), close)) continue;
            if (c < result) {
                result = c;
                best = i;
            }
        }
        for (int k = len - 1; k >= 0 && best >= 0; k--) {
            route[k] = best;
            best = from[k * ROBOT_SLOTS + best];
        }
    }
out:
    zv_free(cost);
    zv_free(from);
    return result;
}

void robot_lines_analyze(double *first_lap, double *normal_lap) {
    robot_line_store *st = &robot_lines;
    if (first_lap) *first_lap = 0;
    if (normal_lap) *normal_lap = 0;
    if (st->sections == 0) return;
    for (int m = 0; m < 3; m++)
        memset(st->recommended[m], 0, sizeof(int) * (size_t)st->sections);
    int sf = st->first_sections, sn = st->normal_sections;
    int *route = (int *)zv_alloc(sizeof(int) * (size_t)st->sections);
    int *best_route = (int *)zv_alloc(sizeof(int) * (size_t)st->sections);
    if (!route || !best_route) goto out;
    for (int m = 0; m < 3; m++) {
        double lap = NO_CHAIN, first = NO_CHAIN;
        if (sn > 0) {
            // The lap closes on itself: try every line of the lap's first section as its start.
            for (int s0 = 0; s0 < ROBOT_SLOTS; s0++) {
                const robot_line *start = robot_line_at(sf, s0);
                if (!start || start->count <= 0) continue;
                double c = cheapest_chain(sf, sf + sn - 1, s0, start, m, route);
                if (c < lap) {
                    lap = c;
                    memcpy(best_route + sf, route, sizeof(int) * (size_t)sn);
                }
            }
            if (lap < NO_CHAIN)
                for (int k = 0; k < sn; k++)
                    st->recommended[m][sf + k] =
                        robot_line_at(sf + k, best_route[sf + k])->sequence;
        }
        if (sf > 0) {
            const robot_line *into = lap < NO_CHAIN ? robot_line_at(sf, best_route[sf]) : nullptr;
            first = cheapest_chain(0, sf - 1, -1, into, m, route);
            if (first < NO_CHAIN)
                for (int k = 0; k < sf; k++)
                    st->recommended[m][k] = robot_line_at(k, route[k])->sequence;
        }
        if (m == 0) {
            if (first_lap && first < NO_CHAIN) *first_lap = first * bike_tic;
            if (normal_lap && lap < NO_CHAIN) *normal_lap = lap * bike_tic;
            if (robot_verbose) {
                platform_log("First lap: %f\n", first < NO_CHAIN ? first * bike_tic : 0.0);
                platform_log("Normal lap: %f\n", lap < NO_CHAIN ? lap * bike_tic : 0.0);
            }
        }
    }
out:
    zv_free(route);
    zv_free(best_route);
}
