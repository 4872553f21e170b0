// Personalities, the robot's path buffer, choosing a line for a section, and the bookkeeping
// of the runs robots make on lines.
#include "base/zv_shared.h"
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "robot/robot.h"
#include "robot/robot_geometry.h"

const robot_personality robot_personalities[ROBOT_PERSONALITIES] = {
    {"empty", 0, 0, 0, 0, 0},         {"mike", 0, 0, 1, 0.2f, 0.4f},
    {"travis", 2, 1, 10, 0.2f, 0.4f}, {"rick", 1, 0, 10, 0.0f, 0.1f},
    {"tester", 3, 3, 1, 0.2f, 0.4f},
};

enum { PATH_KEEP_BEHIND = 30 };

using zv::clamp01;

int robot_personality_find(const char *name) {
    for (int i = 1; i < ROBOT_PERSONALITIES; i++)
        if (name && strcmp(name, robot_personalities[i].name) == 0) return i;
    platform_log("auto pilot personality '%s' not found\n", name ? name : "");
    return 1;
}

int robot_personality_mode(int personality, double gap_seconds) {
    if (personality < 1 || personality >= ROBOT_PERSONALITIES) personality = 1;
    const robot_personality *p = &robot_personalities[personality];
    return gap_seconds > p->threshold ? p->mode_behind : p->mode_close;
}

// ---- path --------------------------------------------------------------------------------------

void robot_path_clear(robot_path *p) {
    p->count = 0;
    p->progress = 0;
    p->sections_entered = 0;
    robot_path_forget_picks(p);
}

void robot_path_free(robot_path *p) {
    zv_free(p->samples);
    memset(p, 0, sizeof *p);
}

int robot_path_append(robot_path *p, const robot_sample *s, int count) {
    if (count <= 0) return 1;
    if (count > ROBOT_SAMPLES_MAX) return 0;
    int drop = p->progress - PATH_KEEP_BEHIND;
    if (drop > 0) {
        memmove(p->samples, p->samples + drop, sizeof(robot_sample) * (size_t)(p->count - drop));
        p->count -= drop;
        p->progress -= drop;
    }
    if (p->count + count > p->cap) {
        int cap = p->cap ? p->cap : 256;
        while (cap < p->count + count)
            cap *= 2;
        robot_sample *t =
            (robot_sample *)zv_realloc(p->samples, sizeof(robot_sample) * (size_t)cap);
        if (!t) return 0;
        p->samples = t;
        p->cap = cap;
    }
    memcpy(p->samples + p->count, s, sizeof(robot_sample) * (size_t)count);
    p->count += count;
    return 1;
}

void robot_path_forget_picks(robot_path *p) {
    for (int i = 0; i < ROBOT_PICKS; i++) {
        p->picks[i] = 0;
        p->pick_sections[i] = -1;
    }
}

int robot_path_pick_of(const robot_path *p, int section) {
    if (section < 0) return 0;
    int i = section % ROBOT_PICKS;
    return p->pick_sections[i] == section ? p->picks[i] : 0;
}

void robot_path_remember(robot_path *p, int section, int sequence) {
    if (section < 0) return;
    p->picks[section % ROBOT_PICKS] = sequence;
    p->pick_sections[section % ROBOT_PICKS] = section;
}

// ---- picking -----------------------------------------------------------------------------------

static double pick_match(const robot_path *p, const robot_line *l, const float pos[3]) {
    if (p->count < 3) {
        double d = robot_horizontal_distance(pos, l->samples[0].pos);
        double m = clamp01<double>((100 - d) / 96);
        return 10 * m * m * m;
    }
    if (l->count < 2) return 0;
    const robot_sample *end = &p->samples[p->count - 1];
    robot_heading h;
    robot_end_heading(&p->samples[p->count - 3], &p->samples[p->count - 2], end, &h);
    double dir = robot_direction_difference(&h, &l->samples[0], &l->samples[1]);
    double dist = robot_horizontal_distance(end->pos, l->samples[0].pos);
    double a = clamp01<double>((3 - dir) / 2) * clamp01<double>((5 - dist) / 3.5);
    double b =
        clamp01<double>((std::fabs(end->speed) - 15 - std::fabs(l->samples[0].speed)) * -0.2);
    return a * a * (a * b);
}

int robot_pick(robot_path *p, const robot_pick_input *in) {
    if (robot_lines.sections == 0) return -1;
    int mode = in->mode < 0 || in->mode >= ROBOT_MODES ? 0 : in->mode;
    int sec = robot_section_wrap(in->section);
    double scores[ROBOT_SLOTS];
    robot_section_scores(sec, mode, scores);
    int recommended = mode < 3 ? robot_lines.recommended[mode][sec] : 0;
    double ramp = clamp01<double>((in->race_time - 40) * 0.05);
    int best = -1;
    double best_value = 0, best_score = 0, best_match = 0;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(sec, i);
        if (!l || l->count <= 0) continue;
        double score = scores[i];
        if (recommended && l->sequence == recommended) score += (1 - score) * ramp;
        if (in->section == 0) score = 0.2 * score + 0.8;
        double match = pick_match(p, l, in->pos);
        double value =
            clamp01<double>((double)(in->tic - l->last_picked) * bike_tic / 3) * score + match;
        if (best < 0 || value > best_value) {
            best = i;
            best_value = value;
            best_score = score;
            best_match = match;
        }
    }
    if (best < 0) return -1;
    robot_line *w = robot_line_at(sec, best);
    if (robot_verbose)
        platform_log("auto pilot: picking %d score = %f match = %f last_picked = %f\n", best,
                     best_score, best_match, (in->tic - w->last_picked) * bike_tic);
    // Lines ending where the winner ends are the same choice for the next robot.
    const float *end = w->samples[w->count - 1].pos;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        robot_line *l = robot_line_at(sec, i);
        if (l->count > 0 && robot_horizontal_distance(end, l->samples[l->count - 1].pos) <= 3)
            l->last_picked = in->tic;
    }
    w->last_picked = in->tic;
    if (!robot_path_append(p, w->samples, w->count)) return -1;
    robot_path_remember(p, in->section, w->sequence);
    return best;
}

// ---- runs --------------------------------------------------------------------------------------

robot_line *robot_line_by_sequence(int section, int sequence) {
    if (sequence <= 0 || robot_lines.sections == 0) return nullptr;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        robot_line *l = robot_line_at(section, i);
        if (l->count > 0 && l->sequence == sequence) return l;
    }
    return nullptr;
}

void robot_line_fail(int section, int sequence) {
    robot_line *l = robot_line_by_sequence(section, sequence);
    if (!l) return;
    if (l->failures < ROBOT_RUNS_MAX) l->failures++;
    robot_line_limit(l);
    robot_lines.changed = 1;
}

void robot_line_run(int section, int sequence, int t1, int t2) {
    robot_line *l = robot_line_by_sequence(section, sequence);
    if (!l || t1 < 0 || t2 < 0) return;
    l->runs++;
    if (t1 < l->fastest_t1) l->fastest_t1 = t1;
    if (t2 < l->fastest_t2) l->fastest_t2 = t2;
    // Sums stay in int range: the limit rescales them before they could overflow.
    l->sum_t1 = (int)std::fmin((double)l->sum_t1 + t1, 2e9);
    l->sum_t2 = (int)std::fmin((double)l->sum_t2 + t2, 2e9);
    robot_line_limit(l);
    robot_lines.changed = 1;
}
