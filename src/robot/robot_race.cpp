// Race glue: robots ride their slots' bikes; every rider's passes of major gates credit runs to
// robots' lines and turn human riders' recorded sections into candidate lines.
#include <cmath>
#include <cstring>

#include "base/zv_shared.h"
#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "race/race.h"
#include "robot/robot_race.h"
#include "robot/robot_starter.h"
#include "bike/bike_input_ride.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"

robot_rider robot_riders[160];
int robot_learning = 1;
int robot_learn_robots;

enum { MAJOR_RING = 4 };
// How much faster than its path an explorer rides, drawn afresh for every section.
const float EXPLORE_PUSH_LO = 0.03f, EXPLORE_PUSH_HI = 0.15f;

struct robot_learner {
    int last_progress;
    int majors;                // major gates passed
    int major_tic[MAJOR_RING]; // pass tic of major gate m at m % 4; the drop opens section 0
    robot_sample *rec[2];
    int rec_count[2], rec_cap[2];
    int invalid[2];
    int trouble_seen; // the bike's trouble flag as last seen: a new trouble counts once
    int teacher;      // driven by the robot control but learned from as a human rider
    int explorer;     // learning mode: rides faster than its lines, offers what beat them
};
static robot_learner learners[RACE_SLOTS];

void robot_reset_slot(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS) return;
    robot_rider *r = &robot_riders[slot];
    robot_rider_reset(r, r->personality, r->rng);
    robot_learner *l = &learners[slot];
    for (int i = 0; i < 2; i++) {
        l->rec_count[i] = 0;
        l->invalid[i] = 0;
    }
    l->last_progress = 0;
    l->trouble_seen = 0;
    l->majors = 0;
    memset(l->major_tic, 0, sizeof l->major_tic);
    if (l->explorer) r->push = robot_random(r, EXPLORE_PUSH_LO, EXPLORE_PUSH_HI);
}

void robot_set_explorer(int slot, int on) {
    if (slot < 0 || slot >= RACE_SLOTS) return;
    learners[slot].explorer = on != 0;
    robot_riders[slot].push =
        on ? robot_random(&robot_riders[slot], EXPLORE_PUSH_LO, EXPLORE_PUSH_HI) : 0;
}

void robot_set_teacher(int slot, int on) {
    if (slot >= 0 && slot < RACE_SLOTS) learners[slot].teacher = on != 0;
}

void robot_set_personality(int slot, const char *name, unsigned seed) {
    if (slot < 0 || slot >= RACE_SLOTS) return;
    int p = name && strcmp(name, "empty") == 0 ? 0 : robot_personality_find(name);
    robot_rider_reset(&robot_riders[slot], p, seed ? seed : 1u + (unsigned)slot);
    robot_riders[slot].personality = p;
}

int robot_gap_tics(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS) return 0;
    int ahead = race_order_step(slot, -1);
    if (ahead == slot || ahead < 0 || ahead >= RACE_SLOTS) return 0;
    int common = race.riders[slot].progress < race.riders[ahead].progress
                     ? race.riders[slot].progress
                     : race.riders[ahead].progress;
    // The last position both passed (a skipped one has no time).
    for (int p = common - 1; p >= 0; p--) {
        int mine = race_pass_tic(slot, p), theirs = race_pass_tic(ahead, p);
        if (mine >= 0 && theirs >= 0) return mine > theirs ? mine - theirs : 0;
    }
    return 0;
}

void robot_race_control(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS || robot_riders[slot].personality == 0) return;
    bike_record *b = &bike_world.bikes[slot];
    if (!b->present) return;
    robot_learner *l = &learners[slot];
    if (b->trouble && !l->trouble_seen) {
        // Trouble counts against the line of this section, and against the previous one when
        // its gate went by less than a second ago (only while learning: with it off the store
        // stays as loaded and is never written back); pick afresh.
        robot_path *p = &robot_riders[slot].path;
        int sec = l->majors;
        // An explorer's falls say nothing of the line: it rode faster than the line asks.
        if (robot_learning && !l->explorer) {
            robot_line_fail(sec, robot_path_pick_of(p, sec));
            int opened = l->major_tic[sec % MAJOR_RING];
            if (sec >= 1 && opened >= 0 && race.tic - opened < zv::TICS_PER_SECOND)
                robot_line_fail(sec - 1, robot_path_pick_of(p, sec - 1));
        }
        robot_path_forget_picks(p);
    }
    l->trouble_seen = b->trouble;
    if (race.riders[slot].finished && !robot_riders[slot].finished)
        robot_finish(&robot_riders[slot]);
    robot_riders[slot].gap = (float)(robot_gap_tics(slot) * bike_tic);
    robot_update(b, &robot_riders[slot]);
}

// The point of a robot's kept path nearest the frame, among the segments up to the progress
// index (which runs up to 60 ft ahead of the bike: it is the point the robot steers for): its
// horizontal distance, and the path's speed there. 0 without a segment.
static int path_nearest(const robot_path *p, const dReal *pos, double *distance, double *speed) {
    int last = p->progress < p->count - 1 ? p->progress : p->count - 1;
    double best = 1e300;
    for (int i = 0; i < last; i++) {
        const robot_sample *s0 = &p->samples[i], *s1 = &p->samples[i + 1];
        double ex = s1->pos[0] - s0->pos[0], ez = s1->pos[2] - s0->pos[2];
        double px = pos[0] - s0->pos[0], pz = pos[2] - s0->pos[2];
        double len2 = ex * ex + ez * ez;
        double t = len2 > 0 ? zv::clamp01((px * ex + pz * ez) / len2) : 0;
        double d = std::hypot(px - t * ex, pz - t * ez);
        if (d < best) {
            best = d;
            *speed = std::fabs(s0->speed) * (1 - t) + std::fabs(s1->speed) * t;
        }
    }
    *distance = best;
    return last >= 1;
}

// Whether a robot is still on its path: within 4 ft of the path where it rides, and not much
// faster than the path asks. The speed it is held to is the one it rides for, the path's speed
// at the progress index: held to the speed beside it, a robot already up to the speed of the
// straight after a gate failed every line there.
static int robot_on_path(const robot_rider *r, const bike_record *b) {
    const robot_path *p = &r->path;
    double distance, beside;
    if (p->count < 2 ||
        !path_nearest(p, dBodyGetPosition(b->body[BIKE_FRAME]), &distance, &beside) || distance > 4)
        return 0;
    const dReal *vel = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double speed = std::sqrt(vel[0] * vel[0] + vel[1] * vel[1] + vel[2] * vel[2]);
    int last = p->progress < p->count - 1 ? p->progress : p->count - 1;
    const robot_sample *a = &p->samples[last - 1], *c = &p->samples[last];
    double scale = 1 + r->push;
    return !(0.9375 * speed > scale * std::fabs(a->speed) &&
             0.9375 * speed > scale * std::fabs(c->speed));
}

static void record_sample(robot_learner *l, const bike_record *b, const robot_rider *r, int i) {
    if (l->rec_count[i] >= ROBOT_SAMPLES_MAX) return;
    if (l->rec_count[i] >= l->rec_cap[i]) {
        int cap = l->rec_cap[i] ? l->rec_cap[i] * 2 : 256;
        robot_sample *t = (robot_sample *)zv_realloc(l->rec[i], sizeof(robot_sample) * (size_t)cap);
        if (!t) return;
        l->rec[i] = t;
        l->rec_cap[i] = cap;
    }
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    robot_sample *s = &l->rec[i][l->rec_count[i]++];
    for (int k = 0; k < 3; k++)
        s->pos[k] = (float)p[k];
    float speed = (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    int airborne = b->tire[0].depth <= 0 && b->tire[1].depth <= 0;
    // An explorer records the speed it rode for, its path's where it is with its push: a robot
    // rides for the speed up to 60 ft ahead, so its own speeds would put every slowing and
    // speeding up of the line 60 ft early, and further each time a line is learned from one.
    double beside, d;
    if (l->explorer && r && path_nearest(&r->path, p, &d, &beside))
        speed = (float)(beside * (1 + r->push));
    s->speed = airborne ? -speed : speed;
    s->roll = (float)bike_roll(b->body[BIKE_FRAME]);
}

void robot_race_learn(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS || !gates.valid || robot_lines.sections == 0) return;
    bike_record *b = &bike_world.bikes[slot];
    race_rider *rr = &race.riders[slot];
    robot_learner *l = &learners[slot];
    robot_rider *r = &robot_riders[slot];
    if (!b->present || rr->finished || race.gate_drop_tic < 0 || race.tic < race.gate_drop_tic)
        return;
    int human = r->personality == 0;
    // Whose sections become candidate lines: human riders', a starter rider's, and with the
    // learning mode every robot's.
    int teaches = human || l->teacher || (robot_learn_robots && l->explorer);
    int robot = !human && !l->teacher;
    if (l->majors == 0 && l->last_progress == 0) l->major_tic[0] = race.gate_drop_tic;
    if (teaches && robot_learning) {
        if (b->trouble) l->invalid[l->majors & 1] = 1;
        if ((race.tic & 31) == 0) record_sample(l, b, r, l->majors & 1);
    }
    while (l->last_progress < rr->progress) {
        int pos = l->last_progress++;
        int entry = race_position_entry(pos);
        if (entry < 0 || entry >= GATES_SEQUENCE_MAX || gates.sequence[entry] >= GATES_MARK)
            continue;
        int tic = race_pass_tic(slot, pos);
        int expected = tic >= 0 && (pos == 0 || race_pass_tic(slot, pos - 1) >= 0);
        l->majors++;
        l->major_tic[l->majors % MAJOR_RING] = tic;
        int ended = l->majors - 1; // the section this gate closes
        // The gate closes one recording and opens the next at the same point, so a rider's
        // consecutive sections meet and chain (samples alone lie a quarter second apart); on a
        // sampling tic the closing sample is already there.
        if (teaches && robot_learning && (race.tic & 31) != 0) record_sample(l, b, r, ended & 1);
        // Times need both ends of the section and its successor actually passed.
        if (ended >= 1 &&
            (l->major_tic[(ended - 1) % MAJOR_RING] < 0 || l->major_tic[ended % MAJOR_RING] < 0))
            expected = 0;
        int offer = !robot;
        if (robot && l->explorer) {
            // Wherever it rode is the candidate: only beating the line it followed counts.
            if (expected && ended >= 1 && robot_learning) {
                int k = ended - 1;
                int t1 = l->major_tic[(k + 1) % MAJOR_RING] - l->major_tic[k % MAJOR_RING];
                const robot_line *picked =
                    robot_line_by_sequence(k, robot_path_pick_of(&r->path, k));
                offer = picked && t1 < (picked->runs > 0 ? picked->fastest_t1 : picked->t1);
            }
            r->push = robot_random(r, EXPLORE_PUSH_LO, EXPLORE_PUSH_HI);
        } else if (robot) {
            if (!robot_on_path(r, b)) {
                // The line of the section just ended failed; only that pick is forgotten.
                if (robot_learning) robot_line_fail(ended, robot_path_pick_of(&r->path, ended));
                robot_path_remember(&r->path, ended, 0);
            } else if (expected && ended >= 1 && robot_learning) {
                int k = ended - 1;
                int t1 = l->major_tic[(k + 1) % MAJOR_RING] - l->major_tic[k % MAJOR_RING];
                int t2 = tic - l->major_tic[k % MAJOR_RING];
                robot_line_run(k, robot_path_pick_of(&r->path, k), t1, t2);
            }
        }
        if (!teaches || !robot_learning) continue;
        int i = l->majors & 1; // the recording of the section before the one just ended
        if (ended >= 1) {
            int k = ended - 1;
            if (expected && offer) {
                int t1 = l->major_tic[(k + 1) % MAJOR_RING] - l->major_tic[k % MAJOR_RING];
                int t2 = tic - l->major_tic[k % MAJOR_RING];
                robot_learn_candidate(k, l->rec[i], l->rec_count[i], t1, t2, l->invalid[i]);
            }
        }
        // The recording now holds the section just beginning, from this gate on.
        l->rec_count[i] = 0;
        l->invalid[i] = 0;
        record_sample(l, b, r, i);
    }
}

void robot_race_state_hash(char hex[41]) {
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    zv_sha1_update(&c, &race.tic, sizeof race.tic);
    zv_sha1_update(&c, &race.gate_drop_tic, sizeof race.gate_drop_tic);
    for (int s = 0; s < RACE_SLOTS; s++) {
        const bike_record *b = &bike_world.bikes[s];
        if (b->present)
            for (int i = 0; i < BIKE_BODIES; i++) {
                zv_sha1_update(&c, dBodyGetPosition(b->body[i]), 3 * sizeof(dReal));
                zv_sha1_update(&c, dBodyGetRotation(b->body[i]), 12 * sizeof(dReal));
                zv_sha1_update(&c, dBodyGetLinearVel(b->body[i]), 3 * sizeof(dReal));
                zv_sha1_update(&c, dBodyGetAngularVel(b->body[i]), 3 * sizeof(dReal));
            }
        if (b->present) zv_sha1_update(&c, &b->ctl, sizeof b->ctl);
        const race_rider *r = &race.riders[s];
        zv_sha1_update(&c, &r->progress, sizeof r->progress);
        for (int p = 0; p < r->progress && p < r->pass_cap; p++)
            zv_sha1_update(&c, &r->pass[p], sizeof r->pass[p]);
        zv_sha1_update(&c, &robot_riders[s].rng, sizeof robot_riders[s].rng);
    }
    uint8_t digest[ZV_SHA1_SIZE];
    zv_sha1_final(&c, digest);
    zv_sha1_hex(digest, hex);
}

// A rider created for a race: its personality, and nothing left over from an earlier race.
static void rider_personality(int slot, const char *name, unsigned seed) {
    robot_set_personality(slot, name, seed);
    robot_reset_slot(slot);
}

// The stored line of a section with the shortest recorded t1; null when it has none.
static const robot_line *fastest_line(int section) {
    const robot_line *best = nullptr;
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        const robot_line *l = robot_line_at(section, i);
        if (l && l->count > 0 && (!best || l->t1 < best->t1)) best = l;
    }
    return best;
}

// A human rider's realign point: four samples past the sample nearest the frame on the fastest
// line of the section it rides, running on into the next section's fastest line.
static int line_target(int section, const dReal *pos, double *x, double *z, int depth) {
    const robot_line *l = fastest_line(section);
    if (!l) return 0;
    int nearest = 0;
    double best = 1e300;
    for (int i = 0; i < l->count; i++) {
        double dx = l->samples[i].pos[0] - pos[0], dz = l->samples[i].pos[2] - pos[2];
        if (dx * dx + dz * dz < best) {
            best = dx * dx + dz * dz;
            nearest = i;
        }
    }
    // At the line's end the next section's line is searched instead (once: depth bounds it).
    if (nearest == l->count - 1 && depth == 0 && line_target(section + 1, pos, x, z, 1)) return 1;
    int ahead = nearest + 4;
    const robot_sample *t = nullptr;
    if (ahead < l->count) {
        t = &l->samples[ahead];
    } else {
        const robot_line *next = fastest_line(section + 1);
        int k = ahead - l->count;
        t = next && k < next->count ? &next->samples[k] : &l->samples[l->count - 1];
    }
    *x = t->pos[0];
    *z = t->pos[2];
    return 1;
}

// Where a fallen rider propped on a foot turns to: only in a race with gates, after the first
// gate and before the finish. Robots aim at their own path, humans at the section's fastest
// line, and without a line the next gate's checkpoint.
static int realign_target(bike_record *b, double *x, double *z) {
    int slot = b->slot;
    if (slot < 0 || slot >= RACE_SLOTS || !gates.valid) return 0;
    race_rider *rr = &race.riders[slot];
    if (rr->progress < 1) return 0;
    race_check_finish();
    if (rr->finished) return 0;
    const robot_rider *r = &robot_riders[slot];
    const dReal *pos = dBodyGetPosition(b->body[BIKE_FRAME]);
    if (r->personality != 0 && r->path.count > 0) {
        const robot_sample *s =
            &r->path
                 .samples[r->path.progress < r->path.count ? r->path.progress : r->path.count - 1];
        *x = s->pos[0];
        *z = s->pos[2];
        return 1;
    }
    if (r->personality == 0 && line_target(learners[slot].majors, pos, x, z, 0)) return 1;
    int cp = gates_sequence_checkpoint(race_position_entry(rr->progress));
    if (cp < 0) return 0;
    *x = gates.checkpoints[cp].origin[0];
    *z = gates.checkpoints[cp].origin[2];
    return 1;
}

// The track loader's line steps: learned lines are written back before another track loads,
// then the new track's file of the race's skill is read.
static void lines_load_step(const char *dir, int skill) {
    robot_lines_load(dir, skill);
    // A track without a line somewhere gets starter lines, once: they are saved with it.
    if (robot_starter_needed()) robot_starter_make(dir, skill);
}

void robot_install(void) {
    race_steps.robot_control = robot_race_control;
    race_steps.robot_personality = rider_personality;
    race_steps.autopilot_learn = robot_race_learn;
    // Knocked off its line, a robot picks afresh (no failure counted).
    race_steps.robot_forget_picks = [](int slot) {
        if (slot >= 0 && slot < 160) robot_path_forget_picks(&robot_riders[slot].path);
    };
    track_steps.robot_lines_save = robot_lines_remember;
    track_steps.robot_lines_load = lines_load_step;
    bike_input_realign_target = realign_target;
}
