// zvrace: loads a track, fills the gate with robots, runs the race with no window through race
// control's own tic, and prints the results and how fast the simulation ran.
//   zvrace [--track DIR] [--robots N] [--laps N] [--skill novice|amateur|expert] [--seed N]
//          [--limit SECONDS] [--learn | --nolearn] [--runs N] [--data DIR]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "bike/bike_setup.h"
#include "data/data_index.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "robot/robot_race.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"

namespace {

struct options {
    const char *track = "tracks/pinehollow";
    const char *data = ZV_BINARY_DIR;
    int robots = 8, laps = 3, skill = 2, runs = 1;
    unsigned seed = 1;
    double limit = 600;
    int learn = -1; // -1: as the program default (robots credit runs, nothing saved)
};

int parse(int argc, char **argv, options *o)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i], *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(a, "--learn")) o->learn = 1;
        else if (!strcmp(a, "--nolearn")) o->learn = 0;
        else if (v && !strcmp(a, "--track")) o->track = argv[++i];
        else if (v && !strcmp(a, "--data")) o->data = argv[++i];
        else if (v && !strcmp(a, "--robots")) o->robots = atoi(argv[++i]);
        else if (v && !strcmp(a, "--laps")) o->laps = atoi(argv[++i]);
        else if (v && !strcmp(a, "--runs")) o->runs = atoi(argv[++i]);
        else if (v && !strcmp(a, "--seed")) o->seed = (unsigned)strtoul(argv[++i], nullptr, 10);
        else if (v && !strcmp(a, "--limit")) o->limit = atof(argv[++i]);
        else if (v && !strcmp(a, "--skill")) {
            const char *s = argv[++i];
            o->skill = !strcmp(s, "novice") ? 0 : !strcmp(s, "amateur") ? 1 : !strcmp(s, "expert") ? 2 : -1;
            if (o->skill < 0) return 0;
        } else return 0;
    }
    return o->robots >= 1 && o->robots <= 40 && o->laps >= 1 && o->laps <= 100 && o->runs >= 1 &&
           o->limit > 0 && o->limit < 100000;
}

double now(void) { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// One race; returns 1 when it reached final results.
int run_race(const options *o, unsigned seed)
{
    static const char *const names[3] = {"mike", "travis", "rick"};
    bike_world_destroy();
    bike_world_create();
    bike_shape_register_stock();
    bike_input_install();
    race_free();
    memset(&race, 0, sizeof race);
    int lineup[RACE_SLOTS] = {};
    // The middle of the start pad first, as a small field lines up.
    int first = 20 - o->robots / 2;
    for (int s = first; s < first + o->robots; s++) lineup[s] = RACE_ROBOT;
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
        robot_set_personality(s, names[s % 3], seed * 1000 + (unsigned)s);
        robot_reset_slot(s);
    }
    race_reset();
    bike_world.gate_drop_tic = race.gate_drop_tic;
    int limit = race.gate_drop_tic + (int)(o->limit * 128);
    double t0 = now();
    while (race.tic < limit && !race.results_final) {
        bike_world.tic = race.tic;
        race_tic();
        // ZVRACE_TRACE=1: once a second, the state of the first robot on stderr.
        if (getenv("ZVRACE_TRACE") && race.tic % 128 == 0) {
            int ts = 20 - o->robots / 2;
            bike_record *b = &bike_world.bikes[ts];
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
            const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
            fprintf(stderr, "t=%d at %.0f %.0f v=%.1f crash=%d act=%.2f path %d/%d thr=%.2f clutch=%.2f rec=%d roll=%.2f touch=%d dep=%.2f/%.2f gear=%d fy=%.2f ry=%.2f\n",
                    race.tic / 128, p[0], p[2], sqrt(v[0] * v[0] + v[2] * v[2]), bike_crashed(b), b->activity,
                    robot_riders[ts].path.progress, robot_riders[ts].path.count, b->ctl.throttle, b->ctl.clutch,
                    robot_riders[ts].recovery, bike_roll(b->body[BIKE_FRAME]), b->touched_parts, b->tire[0].depth, b->tire[1].depth, b->engine.gear,
                    dBodyGetPosition(b->body[BIKE_FRONT_WHEEL])[1] - p[1], dBodyGetPosition(b->body[BIKE_REAR_WHEEL])[1] - p[1]);
        }
    }
    if (getenv("ZVRACE_TRACE")) for (int s = first; s < first + o->robots; s++) fprintf(stderr, "slot %d rides %s\n", s, bike_world.bikes[s].m ? bike_world.bikes[s].m->name : "?");
    double wall = now() - t0;
    printf("seed %u: %d tics in %.2f s (%.0f tics/s, %.1fx real time)%s\n", seed, race.tic, wall,
           race.tic / wall, race.tic / 128.0 / wall, race.results_final ? "" : ", time limit reached");
    race_update_order();
    for (int i = 0; i < race.order_count; i++) {
        int s = race.order[i].slot;
        int laps = race_laps_completed(s);
        printf("%2d. slot %2d %-7s laps %d", i + 1, s, names[s % 3], laps);
        for (int k = 1; k <= laps; k++) printf(" %.2f", race_lap_time(s, k));
        const robot_rider *rr = &robot_riders[s];
        const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME]);
        printf("%s (path %d/%d, sections %d, at %.0f %.0f)\n", race_finished(s) ? " finished" : "",
               rr->path.progress, rr->path.count, rr->path.sections_entered, p[0], p[2]);
    }
    return race.results_final;
}

} // namespace

int main(int argc, char **argv)
{
    options o;
    if (!parse(argc, argv, &o)) {
        fprintf(stderr, "usage: zvrace [--track DIR] [--robots 1-40] [--laps N] [--skill novice|amateur|expert]\n"
                        "              [--seed N] [--limit SECONDS] [--learn|--nolearn] [--runs N] [--data DIR]\n");
        return 2;
    }
    setenv("ZV_HOME", o.data, 0);
    data_root_reset();
    file_index_build();
    if (!terrain_load((std::string("@") + o.track).c_str())) {
        fprintf(stderr, "zvrace: cannot load %s\n", o.track);
        return 1;
    }
    gates_load(o.track);
    if (!gates.valid) {
        fprintf(stderr, "zvrace: %s has no valid timing gates\n", o.track);
        return 1;
    }
    robot_learning = o.learn != 0;
    if (!robot_lines_load(o.track, o.skill)) fprintf(stderr, "zvrace: no lines for %s, robots stay held\n", o.track);
    robot_install();
    int finished = 0;
    for (int r = 0; r < o.runs; r++) finished += run_race(&o, o.seed + (unsigned)r);
    if (o.learn == 1) {
        robot_lines_analyze(nullptr, nullptr);
        printf("Remembering lines: %s\n", robot_lines_save(o.track, o.skill) ? "saved" : "not saved");
    }
    race_free();
    bike_world_destroy();
    return finished == o.runs ? 0 : 3;
}
