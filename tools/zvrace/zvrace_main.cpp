// zvrace: loads a track, fills the gate with robots, runs the race with no window through race
// control's own tic, and prints the results and how fast the simulation ran.
//   zvrace [--track DIR] [--robots N] [--laps N] [--skill novice|amateur|expert] [--seed N]
//          [--limit SECONDS] [--learn | --nolearn] [--runs N] [--data DIR] [--record NAME]
//          [--starter] [--learning N]
//   zvrace --play NAME [--data DIR]
// A track without a line in some section gets starter lines first, as the game makes them;
// --starter makes them even when the track has lines. --learning N runs N learning races: one
// robot in four explores (rides faster than its lines; its sections that beat them are offered as
// candidate lines), the others test and rate the lines, and the lines are saved after each race.
// --record writes the race to a demo through the game's own recording path, then reads it back
// and replays it through race control: every recorded state must come back byte for byte, and
// the replay must give the same order and laps. --play prints what a demo holds and replays it
// the same way, posing each replayed rider from its records.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "bike/bike_setup.h"
#include "data/data_index.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "robot/robot_race.h"
#include "robot/robot_starter.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"
#include "track/track_list.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

namespace {

struct options {
    const char *track = "tracks/pinehollow";
    const char *data = ZV_BINARY_DIR;
    int robots = 8, laps = 3, skill = 2, runs = 1;
    unsigned seed = 1;
    double limit = 600;
    int learn = -1; // -1: as the program default (robots credit runs, nothing saved)
    const char *record = nullptr, *play = nullptr;
    int starter = 0;
    int learning = 0; // learning races
};

int parse(int argc, char **argv, options *o) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i], *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(a, "--learn"))
            o->learn = 1;
        else if (!strcmp(a, "--nolearn"))
            o->learn = 0;
        else if (!strcmp(a, "--starter"))
            o->starter = 1;
        else if (v && !strcmp(a, "--learning")) {
            o->learning = atoi(argv[++i]);
            if (o->learning < 1 || o->learning > 10000) return 0;
            o->runs = o->learning;
            o->learn = 1;
        } else if (v && !strcmp(a, "--track"))
            o->track = argv[++i];
        else if (v && !strcmp(a, "--data"))
            o->data = argv[++i];
        else if (v && !strcmp(a, "--robots"))
            o->robots = atoi(argv[++i]);
        else if (v && !strcmp(a, "--laps"))
            o->laps = atoi(argv[++i]);
        else if (v && !strcmp(a, "--runs"))
            o->runs = atoi(argv[++i]);
        else if (v && !strcmp(a, "--seed"))
            o->seed = (unsigned)strtoul(argv[++i], nullptr, 10);
        else if (v && !strcmp(a, "--limit"))
            o->limit = atof(argv[++i]);
        else if (v && !strcmp(a, "--record"))
            o->record = argv[++i];
        else if (v && !strcmp(a, "--play"))
            o->play = argv[++i];
        else if (v && !strcmp(a, "--skill")) {
            const char *s = argv[++i];
            o->skill = !strcmp(s, "novice")    ? 0
                       : !strcmp(s, "amateur") ? 1
                       : !strcmp(s, "expert")  ? 2
                                               : -1;
            if (o->skill < 0) return 0;
        } else
            return 0;
    }
    if ((o->record && (!o->record[0] || o->runs != 1 || o->play || o->learning)) ||
        (o->play && !o->play[0]))
        return 0; // one recording per file; a demo is either written or played
    return o->robots >= 1 && o->robots <= 40 && o->laps >= 1 && o->laps <= 100 && o->runs >= 1 &&
           o->limit > 0 && o->limit < 100000;
}

double now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// ---- demos --------------------------------------------------------------------------------------

// What a race ended with, to hold a replay against.
struct outcome {
    int count;
    int slot[RACE_SLOTS];
    int finished[RACE_SLOTS];
    int laps[RACE_SLOTS];
    int lap_tics[RACE_SLOTS][100];
};

void outcome_take(outcome *r) {
    race_update_order();
    r->count = race.order_count;
    for (int i = 0; i < race.order_count; i++) {
        int s = race.order[i].slot;
        r->slot[i] = s;
        r->finished[s] = race_finished(s);
        r->laps[s] = std::min(race_laps_completed(s), 100);
        for (int k = 0; k < r->laps[s]; k++)
            r->lap_tics[s][k] = race_lap_tics(s, k + 1);
    }
}

// A state a recorded rider had at a recorded tic, kept while racing.
struct taken_state {
    int rider, tic;
    uint8_t rec[DEMO_STATE];
};

// States of the demo the history holds at exactly tic; -1 when it holds none there.
int history_at(int slot, int tic) {
    int o, n;
    if (!demo_history_around(slot, tic, &o, &n)) return -1;
    const demo_history_slot *h = &demo_history[slot];
    return h->tic[n] == tic ? n : h->tic[o] == tic ? o : -1;
}

// How far a re-encoded record is from the one it was decoded from, in units of its fields. The
// codec renormalises quaternions (a last unit off) and wheel angles at -pi and pi are one.
int record_distance(const uint8_t *a, const uint8_t *b) {
    int worst = 0;
    for (int i = 0; i < DEMO_STATE; i++) {
        int d;
        if ((i >= 9 && i < 17) || (i >= 26 && i < 34)) { // 16-bit quaternion components
            d = std::abs((a[i] | a[i + 1] << 8) - (b[i] | b[i + 1] << 8));
            i++;
        } else if (i == 34 || i == 35) {
            d = std::abs(a[i] - b[i]);
            d = std::min(d, 255 - d);
        } else {
            d = std::abs(a[i] - b[i]);
        }
        worst = std::max(worst, d);
    }
    return worst;
}

// Replayed riders posed at a tic the demo holds carry that very record. Re-encoding a pose is
// reported, not held to: bike_decode lifts a rear wheel recorded sunk in the ground, so the
// frame height comes back a little higher; the read-back is what is byte for byte.
int poses_checked, poses_rounded, poses_wrong;

void checked_pose(int slot, int display) {
    demo_pose(slot, display);
    int at = history_at(slot, display);
    if (at < 0) return;
    uint8_t rec[DEMO_STATE];
    bike_encode(&bike_world.bikes[slot], rec);
    const uint8_t *want = demo_history[slot].rec[at];
    poses_checked++;
    int worst = record_distance(rec, want);
    if (worst > 0) poses_rounded++;
    if (worst > 1 && poses_wrong++ < 5 && getenv("ZVRACE_TRACE")) {
        fprintf(stderr, "zvrace: slot %d posed unlike its record at tic %d:", slot, display);
        for (int i = 0; i < DEMO_STATE; i++)
            if (rec[i] != want[i]) fprintf(stderr, " byte %d %d/%d", i, rec[i], want[i]);
        fprintf(stderr, "\n");
    }
}

void fresh_world(void) {
    bike_world_destroy();
    bike_world_create();
    bike_shape_register_stock();
    bike_input_install();
    race_free();
    memset(&race, 0, sizeof race);
}

// Replays the open demo through race control, demo rider r in slots[r] (-1: left out), until
// end_tic; returns how many riders got a bike.
int replay(const int *slots, int end_tic) {
    fresh_world();
    int empty[RACE_SLOTS] = {};
    race_limits_set(0, demo_play.time_limit, demo_play.laps > 0 ? demo_play.laps : 1);
    race_lineup_set(empty);
    int placed = 0;
    for (int r = 0; r < demo_play.rider_count; r++) {
        demo_play.slot_of[r] = -1;
        if (slots[r] >= 0 && demo_place_rider(r, slots[r])) placed++;
    }
    race_reset(); // the demo's own gate drop comes with it
    race_steps.history_pose = checked_pose;
    poses_checked = poses_rounded = poses_wrong = 0;
    // Replayed riders are posed from states four tics apart, so a gate passed in the recording's
    // last tics shows once the pose has caught up: one state interval past the end.
    while (race.tic < end_tic + 4)
        race_tic();
    race_steps.history_pose = nullptr;
    if (getenv("ZVRACE_TRACE"))
        fprintf(stderr, "replay: placed %d of %d, tic %d, gate drop %d\n", placed,
                demo_play.rider_count, race.tic, race.gate_drop_tic);
    return placed;
}

// Reads the demo back and finds every state taken while racing in it, byte for byte; returns
// the number that differ or are missing.
int check_states(const std::vector<taken_state> &taken, int riders, int end_tic) {
    for (int r = 0; r < riders; r++)
        demo_play.slot_of[r] = r; // the history is only read here
    demo_history_clear();
    int read_tic = 0, bad = 0;
    size_t next = 0;
    demo_play_tic(&read_tic); // the clock jumps to the first block; earlier states come with it
    for (int tic = 0; tic <= end_tic && next < taken.size(); tic++) {
        if (tic > read_tic) {
            read_tic = tic;
            demo_play_tic(&read_tic);
        }
        for (; next < taken.size() && taken[next].tic <= tic; next++) {
            const taken_state *t = &taken[next];
            int at = t->tic == tic ? history_at(t->rider, tic) : -1;
            if (at < 0 || memcmp(demo_history[t->rider].rec[at], t->rec, DEMO_STATE)) bad++;
        }
    }
    return bad + (int)(taken.size() - next);
}

void print_summary(void) {
    static demo_summary sum;
    static char text[1 << 16];
    demo_summarize(&sum);
    demo_summary_text(&sum, text, sizeof text);
    fputs(text, stdout);
}

// The recording just closed, read back and replayed; returns 1 when everything came back.
int verify_recording(const char *name, const std::vector<taken_state> &taken, const int *slot_of,
                     int riders, int end_tic) {
    static outcome live, played;
    outcome_take(&live);
    if (!demo_race_open(name)) {
        fprintf(stderr, "zvrace: cannot read back %s\n", name);
        return 0;
    }
    double minutes = end_tic / 128.0 / 60.0;
    printf("demo %s: %d bytes over %.1f s, %d riders, %.0f bytes per minute per rider\n", name,
           demo_play.size, end_tic / 128.0, riders, demo_play.size / minutes / riders);
    print_summary();
    int ok = demo_play.rider_count == riders;
    int wrong = check_states(taken, riders, end_tic);
    printf("read back: %zu states, %d differ or are missing\n", taken.size(), wrong);
    ok = ok && wrong == 0;
    // From the start again: the check above read to the end.
    int placed = demo_race_open(name) ? replay(slot_of, end_tic) : -1;
    if (placed != riders) {
        fprintf(stderr, "zvrace: the replay placed %d of %d riders\n", placed, riders);
        ok = 0;
    }
    outcome_take(&played);
    int same = played.count == live.count, worst = 0;
    for (int i = 0; same && i < live.count; i++) {
        int s = live.slot[i];
        // Riders still out are ranked by distance, taken from poses between states: only the
        // finishers' order is held to.
        same = (!live.finished[s] || played.slot[i] == s) && played.laps[s] == live.laps[s] &&
               played.finished[s] == live.finished[s];
        for (int k = 0; same && k < live.laps[s]; k++)
            worst = std::max(worst, std::abs(played.lap_tics[s][k] - live.lap_tics[s][k]));
    }
    // Replayed gate passes are found between states four tics apart.
    same = same && worst <= 4;
    printf("replay: %d poses re-encoded (%d a last unit off, %d further); finishing order and laps "
           "%s, "
           "lap times within %d tics\n",
           poses_checked, poses_rounded, poses_wrong, same ? "the same" : "DIFFER", worst);
    if (!same)
        for (int i = 0; i < std::max(live.count, played.count); i++)
            printf("  %2d. live slot %d laps %d, replayed slot %d laps %d\n", i + 1, live.slot[i],
                   live.laps[live.slot[i]], played.slot[i], played.laps[played.slot[i]]);
    demo_play_close();
    return ok && same;
}

// One race; returns 1 when it reached final results, -1 when a recording did not come back.
int run_race(const options *o, unsigned seed) {
    static const char *const names[3] = {"mike", "travis", "rick"};
    fresh_world();
    int lineup[RACE_SLOTS] = {};
    // The middle of the start pad first, as a small field lines up.
    int first = 20 - o->robots / 2;
    for (int s = first; s < first + o->robots; s++)
        lineup[s] = RACE_ROBOT;
    race_seed(seed);
    race_robots_shuffle(seed);
    race_limits_set(0, 0, o->laps);
    race_lineup_set(lineup);
    for (int s = first; s < first + o->robots; s++) {
        // Robots ride their bikes with a fresh bike's values: the menu's setup is the player's,
        // and its default arcade physics (no crash detection, arcade steering) made robots fall
        // in the launch and lie on their sides uncrashed.
        if (!race_bike_create(s)) return 0;
        float x, z, h;
        race_grid_position(s, &x, &z, &h);
        bike_place(&bike_world.bikes[s], x, z, h);
        // Learning races: one robot in four explores (faster than its lines, offering what
        // beat them), the rest test lines, the untried first, and rate them by their runs.
        int explorer = o->learning && (s & 3) == 1;
        robot_set_personality(s,
                              !o->learning ? names[s % 3]
                              : explorer   ? "mike"
                                           : "tester",
                              seed * 1000 + (unsigned)s);
        robot_reset_slot(s);
        robot_set_explorer(s, explorer);
    }
    race_reset();
    int recorders[DEMO_SLOTS], riders = 0;
    std::vector<taken_state> taken;
    if (o->record) {
        snprintf(demo_race.record_name, sizeof demo_race.record_name, "%s", o->record);
        track_steps.demo_record_start();
        if (!demo_recording_active()) {
            fprintf(stderr, "zvrace: cannot record to %s\n", o->record);
            return -1;
        }
        riders = demo_rec.rider_count;
        memcpy(recorders, demo_rec.slot_of, sizeof recorders);
    }
    int limit = race.gate_drop_tic + (int)(o->limit * 128);
    double t0 = now();
    int crashes_seen[BIKE_SLOTS] = {};
    const bool trace = getenv("ZVRACE_TRACE") != nullptr;
    while (race.tic < limit && !race.results_final) {
        race_tic();
        // The states the recording takes, every fourth tic (see demo_race_record_tic).
        for (int r = 0; r < riders && race.tic % 4 == 0; r++) {
            taken.push_back({r, race.tic, {}});
            bike_encode(&bike_world.bikes[recorders[r]], taken.back().rec);
        }
        // ZVRACE_TRACE=1: every crash, where it happened, on stderr.
        for (int s = first; trace && s < first + o->robots; s++) {
            bike_record *b = &bike_world.bikes[s];
            if (b->crash_count == crashes_seen[s]) continue;
            crashes_seen[s] = b->crash_count;
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
            const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
            fprintf(
                stderr,
                "crash: slot %d at %.1f s, at %.0f %.0f, path %d/%d, speed %.1f ft/s, roll %.2f\n",
                s, (race.tic - race.gate_drop_tic) / 128.0, p[0], p[2],
                robot_riders[s].path.progress, robot_riders[s].path.count,
                sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), bike_roll(b->body[BIKE_FRAME]));
        }
        // ZVRACE_TRACE=1: once a second, the state of the first robot on stderr.
        if (trace && race.tic % 128 == 0) {
            int ts = 20 - o->robots / 2;
            bike_record *b = &bike_world.bikes[ts];
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
            const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
            fprintf(stderr,
                    "t=%d at %.0f %.0f v=%.1f crash=%d act=%.2f path %d/%d thr=%.2f clutch=%.2f "
                    "rec=%d roll=%.2f touch=%d dep=%.2f/%.2f gear=%d fy=%.2f ry=%.2f\n",
                    race.tic / 128, p[0], p[2], sqrt(v[0] * v[0] + v[2] * v[2]), bike_crashed(b),
                    b->activity, robot_riders[ts].path.progress, robot_riders[ts].path.count,
                    b->ctl.throttle, b->ctl.clutch, robot_riders[ts].recovery,
                    bike_roll(b->body[BIKE_FRAME]), b->touched_parts, b->tire[0].depth,
                    b->tire[1].depth, b->engine.gear,
                    dBodyGetPosition(b->body[BIKE_FRONT_WHEEL])[1] - p[1],
                    dBodyGetPosition(b->body[BIKE_REAR_WHEEL])[1] - p[1]);
        }
    }
    if (getenv("ZVRACE_TRACE"))
        for (int s = first; s < first + o->robots; s++)
            fprintf(stderr, "slot %d rides %s\n", s,
                    bike_world.bikes[s].m ? bike_world.bikes[s].m->name : "?");
    double wall = now() - t0;
    printf("seed %u: %d tics in %.2f s (%.0f tics/s, %.1fx real time)%s\n", seed, race.tic, wall,
           race.tic / wall, race.tic / 128.0 / wall,
           race.results_final ? "" : ", time limit reached");
    race_update_order();
    for (int i = 0; i < race.order_count; i++) {
        int s = race.order[i].slot;
        int laps = race_laps_completed(s);
        printf("%2d. slot %2d %-7s laps %d", i + 1, s,
               robot_personalities[robot_riders[s].personality].name, laps);
        for (int k = 1; k <= laps; k++)
            printf(" %.2f", race_lap_time(s, k));
        const robot_rider *rr = &robot_riders[s];
        const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME]);
        printf("%s (crashes %d, path %d/%d, sections %d, at %.0f %.0f)\n",
               race_finished(s) ? " finished" : "", bike_world.bikes[s].crash_count,
               rr->path.progress, rr->path.count, rr->path.sections_entered, p[0], p[2]);
    }
    if (o->record) {
        int end = race.tic;
        if (end % 4) // the closing state, forced
            for (int r = 0; r < riders; r++) {
                taken.push_back({r, end, {}});
                bike_encode(&bike_world.bikes[recorders[r]], taken.back().rec);
            }
        demo_race_record_tic(1);
        demo_race_finish();
        int final = race.results_final;
        if (!verify_recording(o->record, taken, recorders, riders, end)) return -1;
        return final;
    }
    return race.results_final;
}

// --play: what the demo holds, then its replay; 0 when it plays back whole and exactly.
int play_demo(const options *o) {
    if (!demo_race_open(o->play)) {
        fprintf(stderr, "zvrace: cannot read demo %s\n", o->play);
        return 1;
    }
    static demo_summary sum;
    demo_summarize(&sum);
    print_summary();
    // A demo's track is only a key into the track list, never a path.
    track_scan();
    int t = demo_track_name_ok(demo_play.track_dir) ? track_list_find(demo_play.track_dir) : -1;
    if (t < 0) {
        fprintf(stderr, "zvrace: the demo's track \"%s\" is not in the track list\n",
                demo_play.track_dir);
        return 1;
    }
    const char *dir = track_list.dirs[t];
    if (!terrain_load((std::string("@") + dir).c_str())) {
        fprintf(stderr, "zvrace: cannot load %s\n", dir);
        return 1;
    }
    gates_load(dir);
    static char loaded[256];
    snprintf(loaded, sizeof loaded, "%s", dir);
    track_loaded.dir = loaded;
    int end = 0, states = 0;
    for (int r = 0; r < sum.riders; r++)
        if (sum.rider[r].states) {
            end = std::max(end, sum.rider[r].last_tic + 1);
            states += sum.rider[r].states;
        }
    // The riders line up from the middle of the start pad, as a recorded field does.
    int slots[DEMO_SLOTS], first = std::max(0, 20 - demo_play.rider_count / 2);
    for (int r = 0; r < demo_play.rider_count; r++)
        slots[r] = first + r < RACE_SLOTS ? first + r : -1;
    double t0 = now();
    int placed = replay(slots, end);
    race_update_order();
    printf("replayed %d of %d riders over %.2f s in %.2f s\n", placed, demo_play.rider_count,
           end / 128.0, now() - t0);
    for (int i = 0; i < race.order_count; i++) {
        int s = race.order[i].slot, r = 0;
        while (r < demo_play.rider_count && demo_play.slot_of[r] != s)
            r++;
        if (r == demo_play.rider_count) continue;
        int laps = race_laps_completed(s);
        printf("%2d. #%s %s laps %d", i + 1, demo_play.riders[r].number, demo_play.riders[r].name,
               laps);
        for (int k = 1; k <= laps; k++)
            printf(" %.2f", race_lap_time(s, k));
        printf("%s\n", race_finished(s) ? " finished" : "");
    }
    printf("replay: %d of %d recorded states posed (re-encoded: %d a last unit off, %d further)\n",
           poses_checked, states, poses_rounded, poses_wrong);
    int damaged = sum.bad || demo_play.ended;
    if (damaged) printf("zvrace: %s ends in a damaged block\n", o->play);
    demo_play_close();
    track_loaded.dir = nullptr;
    return damaged ? 4 : 0;
}

} // namespace

int main(int argc, char **argv) {
    options o;
    if (!parse(argc, argv, &o)) {
        fprintf(stderr, "usage: zvrace [--track DIR] [--robots 1-40] [--laps N] [--skill "
                        "novice|amateur|expert]\n"
                        "              [--seed N] [--limit SECONDS] [--learn|--nolearn] [--runs N] "
                        "[--data DIR]\n"
                        "              [--record NAME] [--starter] [--learning N]\n"
                        "       zvrace --play NAME [--data DIR]\n");
        return 2;
    }
    setenv("ZV_HOME", o.data, 0);
    data_root_reset();
    file_index_build();
    if (o.record || o.play) demo_install();
    if (o.play) {
        int rc = play_demo(&o);
        race_free();
        bike_world_destroy();
        return rc;
    }
    if (!terrain_load((std::string("@") + o.track).c_str())) {
        fprintf(stderr, "zvrace: cannot load %s\n", o.track);
        return 1;
    }
    gates_load(o.track);
    if (!gates.valid) {
        fprintf(stderr, "zvrace: %s has no valid timing gates\n", o.track);
        return 1;
    }
    static char track_dir[256];
    snprintf(track_dir, sizeof track_dir, "%s", o.track);
    track_loaded.dir = track_dir; // the demo header names it
    robot_learning = o.learn != 0;
    robot_lines_load(o.track, o.skill);
    robot_install();
    if (o.starter) robot_lines_reset(gates.first_length, gates.normal_length);
    if (robot_starter_needed()) {
        fresh_world();
        double t0 = now();
        int made = robot_starter_make(o.track, o.skill);
        printf("starter lines: %s in %.2f s\n", made ? "made and saved" : robot_starter_problem(),
               now() - t0);
    }
    if (robot_starter_needed())
        fprintf(stderr, "zvrace: no lines for %s in some section, robots stay held there\n",
                o.track);
    robot_learn_robots = o.learning > 0;
    int finished = 0;
    for (int r = 0; r < o.runs; r++) {
        int got = run_race(&o, o.seed + (unsigned)r);
        if (got < 0) {
            race_free();
            bike_world_destroy();
            return 4;
        }
        finished += got;
        if (o.learning) {
            robot_lines_analyze(nullptr, nullptr);
            int saved = robot_lines_save(o.track, o.skill);
            printf("learning race %d of %d: lines %s\n", r + 1, o.learning,
                   saved ? "saved" : "NOT SAVED");
            fflush(stdout);
        }
    }
    if (o.learn == 1) {
        robot_lines_analyze(nullptr, nullptr);
        printf("Remembering lines: %s\n",
               robot_lines_save(o.track, o.skill) ? "saved" : "not saved");
    }
    race_free();
    bike_world_destroy();
    track_loaded.dir = nullptr;
    return finished == o.runs ? 0 : 3;
}
