// Learning lines from human riders' sections: duplicates, the slot a new line takes, and
// whether it is fast enough to replace what is there.
#include <cmath>

#include "bike/bike.h"
#include "platform/platform.h"
#include "robot/robot.h"
#include "robot/robot_geometry.h"

enum { WELL_TESTED_LIMIT = 22 };

static int is_duplicate(const robot_line *l, const robot_sample *s, int count) {
    if (l->count != count) return 0;
    for (int i = 0; i < count; i++) {
        const robot_sample *a = &l->samples[i], *b = &s[i];
        if (std::fabs(a->speed - b->speed) > 1.0 / 16) return 0;
        double d2 = 0;
        for (int k = 0; k < 3; k++)
            d2 += ((double)a->pos[k] - b->pos[k]) * ((double)a->pos[k] - b->pos[k]);
        if (d2 > 1.0 / 256) return 0;
    }
    return 1;
}

double robot_line_expected(int section, int slot, int reduce) {
    const robot_line *l = robot_line_at(section, slot);
    if (!l) return 0;
    double e;
    if (l->runs > 0)
        e = std::floor((5 / bike_tic) * l->failures / (double)(l->runs + l->failures) +
                       (double)l->sum_t2 / l->runs);
    else
        e = std::floor(1.25 * l->t2 + (l->failures > 0 ? 5 / bike_tic : 0));
    if (reduce && l->count > 0) {
        // A line starting where no other does is the only way through there: keep it longer.
        int alone = 1;
        for (int i = 0; i < ROBOT_SLOTS && alone; i++) {
            const robot_line *o = robot_line_at(section, i);
            if (i != slot && o->count > 0 &&
                robot_horizontal_distance(o->samples[0].pos, l->samples[0].pos) <= 2)
                alone = 0;
        }
        if (alone) e *= 0.75;
    }
    return e;
}

int robot_learn_slot(int section) {
    if (robot_lines.sections == 0) return -1;
    for (int i = 0; i < ROBOT_SLOTS; i++)
        if (robot_line_at(section, i)->count <= 0) return i;
    int proven = 0;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(section, i);
        proven += l->failures < l->runs;
    }
    int pick = -1;
    double worst = -1;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(section, i);
        if (proven <= WELL_TESTED_LIMIT && l->failures < l->runs) continue;
        double e = robot_line_expected(section, i, 1);
        if (e > worst) {
            worst = e;
            pick = i;
        }
    }
    return pick;
}

robot_learn_result robot_learn_candidate(int section, const robot_sample *samples, int count,
                                         int t1, int t2, int invalid) {
    if (robot_lines.sections == 0 || invalid || count <= 0 || !samples ||
        count > ROBOT_SAMPLES_MAX) {
        platform_log("auto pilot: %d canceled\n", section);
        return ROBOT_LEARN_CANCELED;
    }
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(section, i);
        if (l->count > 0 && is_duplicate(l, samples, count)) {
            platform_log("auto pilot: %d rejected (duplicate)\n", section);
            return ROBOT_LEARN_DUPLICATE;
        }
    }
    int slot = robot_learn_slot(section);
    if (slot < 0) {
        platform_log("auto pilot: %d canceled\n", section);
        return ROBOT_LEARN_CANCELED;
    }
    robot_line *old = robot_line_at(section, slot);
    double z = 5.0 * t2 / 4;
    double k = robot_line_expected(section, slot, 0);
    if (k < z) {
        platform_log("auto pilot: %d rejected (too slow)\n", section);
        return ROBOT_LEARN_TOO_SLOW;
    }
    if (robot_verbose && old->count > 0)
        platform_log(
            "auto pilot: evicting %d (times: %.2f %.2f tested (%d %d): %.2f %.2f repl: %f %f)\n",
            slot, old->t1 * bike_tic, old->t2 * bike_tic, old->runs, old->failures,
            old->runs ? old->sum_t1 * bike_tic / old->runs : 0.0,
            old->runs ? old->sum_t2 * bike_tic / old->runs : 0.0, t1 * bike_tic, t2 * bike_tic);
    if (!robot_line_set(section, slot, samples, count, t1, t2)) return ROBOT_LEARN_CANCELED;
    robot_lines.changed = 1;
    return ROBOT_LEARN_ADDED;
}
