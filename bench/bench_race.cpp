// Race simulation speed, headless: 1, 8, 20 and 40 robots ride the default track from a grid
// along its racing line among the track's statues, 7680 race tics (a minute) per round, with the
// time per tic split by the race tic's own stages (robot control, body collisions, tire contacts,
// world step, bike update, erosion). The rounds start alike but do not ride alike: the ground
// keeps the ruts of the rounds before. Prints medians of the rounds, with the crashes and
// bike touches of a round on average (each round's touches and speed on stderr).
#include "../tests/support/ride_harness.cpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "race/race.h"
#include "robot/robot_race.h"
#include "robot/robot_ride.h"
#include "track/track_centerline.h"
#include "track/track_erosion.h"
#include "track/track_objects.h"

namespace {

double now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum { PHASES = 6 };
// A minute of racing, three times; shorter runs (--tics, --rounds) serve instruction counting.
int TICS = 7680, ROUNDS = 3;
const char *const phase_names[PHASES] = {"robots",     "collisions",  "tire contacts",
                                         "world step", "bike update", "erosion"};

// The racing line offset sideways by lane feet, every 4 ft from arc length from.
std::vector<robot_sample> lane_path(const track_centerline *c, float from, float lane,
                                    float length) {
    std::vector<robot_sample> v;
    for (float t = from; t < from + length; t += 4) {
        track_centerline_point a = track_centerline_at(c, t - 8), p = track_centerline_at(c, t),
                               b = track_centerline_at(c, t + 8);
        double h1 = std::atan2(p.z - a.z, p.x - a.x), h2 = std::atan2(b.z - p.z, b.x - p.x);
        double turn = std::fabs(std::remainder(h2 - h1, 2 * M_PI));
        double radius = turn > 1e-4 ? 8 / turn : 1e6;
        double speed = std::fmin(30.0, std::sqrt(32 * 0.45 * radius));
        double nx = -(b.z - a.z), nz = b.x - a.x, nl = std::hypot(nx, nz);
        nx /= nl > 0 ? nl : 1;
        nz /= nl > 0 ? nl : 1;
        v.push_back({{(float)(p.x + nx * lane), p.y, (float)(p.z + nz * lane)}, (float)speed, 0});
    }
    return v;
}

struct round_result {
    double total; // seconds
    double phase[PHASES];
    int crashes;
};

// One minute of racing through the game's own race tic: robots in slots 0..n-1 driven by race
// control, each following its lane of the racing line; the loop's erosion at rate 1 after each tic.
round_result race_round(int robots, const track_centerline *c) {
    bike_world_destroy();
    bike_world_create();
    ride_harness_race_reset(1);
    race.erosion_rate = 1024;
    erosion_reset();
    bike_erosion_stroke_clear();
    robot_install();
    static bike_setup s;
    for (int k = 0; k < robots; k++) {
        float lane = -6.0f + 4.0f * (k % 4), back = 10.0f * (k / 4);
        float start = c->length - back;
        bike_record *b = bike_create(k, "crf250(2007)", 1);
        s = bike_setup{};
        bike_setup_init(&s);
        bike_apply_setup(b, &s);
        bike_setup_free(&s);
        auto p0 = lane_path(c, start, lane, 16);
        double hx = p0[1].pos[0] - p0[0].pos[0], hz = p0[1].pos[2] - p0[0].pos[2];
        bike_place(b, p0[0].pos[0], p0[0].pos[2], std::atan2(-hx, -hz));
        robot_set_personality(k, k % 3 == 0 ? "mike" : k % 3 == 1 ? "travis" : "rick", 1000 + k);
        robot_reset_slot(k);
        auto path = lane_path(c, start, lane, c->length * 1.2f);
        robot_path_append(&robot_riders[k].path, path.data(), (int)path.size());
        race.present[k] = 1;
        race.status[k] = RACE_ROBOT_DRIVEN;
    }
    round_result r = {};
    double stage[RACE_STAGES] = {};
    race_stage_seconds = stage;
    int was[BIKE_SLOTS] = {};
    double t0 = now(), eroding = 0;
    for (int t = 0; t < TICS; t++) {
        race_tic();
        double a = now();
        erosion_apply(nullptr, 1.0f, race.tic);
        eroding += now() - a;
        for (int k = 0; k < robots; k++) {
            int cr = bike_crashed(&bike_world.bikes[k]);
            r.crashes += cr && !was[k];
            was[k] = cr;
        }
    }
    r.total = now() - t0;
    race_stage_seconds = nullptr;
    r.phase[0] = stage[RACE_STAGE_ROBOTS];
    r.phase[1] = stage[RACE_STAGE_CONTACTS];
    r.phase[2] = stage[RACE_STAGE_PRESTEP];
    r.phase[3] = stage[RACE_STAGE_WORLD];
    r.phase[4] = stage[RACE_STAGE_UPDATE] + stage[RACE_STAGE_RIDERS];
    r.phase[5] = stage[RACE_STAGE_EROSION] + eroding;
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    // Robot counts to run: the arguments, else 1, 8, 20 and 40.
    std::vector<int> counts;
    int collisions = 1;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--no-collisions")) {
            collisions = 0;
            continue;
        }
        if ((!strcmp(argv[i], "--tics") || !strcmp(argv[i], "--rounds")) && i + 1 < argc) {
            int v = atoi(argv[i + 1]);
            if (v < 1 || v > 1000000) {
                fprintf(stderr, "bench_race: %s wants a count from 1\n", argv[i]);
                return 2;
            }
            (argv[i][2] == 't' ? TICS : ROUNDS) = v;
            i++;
            continue;
        }
        int n = atoi(argv[i]);
        if (n < 1 || n > 40) {
            fprintf(
                stderr,
                "usage: bench_race [--no-collisions] [--tics N] [--rounds N] [robots 1-40 ...]\n");
            return 2;
        }
        counts.push_back(n);
    }
    if (counts.empty()) counts = {1, 8, 20, 40};
    double x, z, heading;
    if (!ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading)) {
        fprintf(stderr, "bench_race: no default track in %s\n", ZV_BINARY_DIR);
        return 1;
    }
    track_centerline c = {};
    if (!track_centerline_load("tracks/pinehollow", &c)) {
        fprintf(stderr, "bench_race: no racing line\n");
        return 1;
    }
    // Bodies collide with each other and with the track's hay bales, blocks and tire walls.
    if (collisions) {
        race_steps.contacts = race_contacts;
        statues_load("tracks/pinehollow");
        objects_grid_rebuild();
    }
    printf("| robots | tics/s | us/tic | robots | collisions | tire contacts | world step | "
           "bike update | erosion | crashes | bike touches |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int robots : counts) {
        std::vector<double> total, phase[PHASES];
        int crashes = 0;
        std::vector<int> round_touches;
        for (int round = 0; round < ROUNDS; round++) {
            int before = race_contact_bikes;
            round_result r = race_round(robots, &c);
            total.push_back(r.total);
            for (int p = 0; p < PHASES; p++)
                phase[p].push_back(r.phase[p]);
            crashes += r.crashes;
            round_touches.push_back(race_contact_bikes - before);
        }
        double t = median(total);
        printf("| %d | %.0f | %.1f", robots, (double)TICS / t, t / (double)TICS * 1e6);
        for (int p = 0; p < PHASES; p++)
            printf(" | %.1f", median(phase[p]) / (double)TICS * 1e6);
        int touches = 0;
        for (int t : round_touches)
            touches += t;
        printf(" | %.1f | %d |\n", (double)crashes / ROUNDS, touches / ROUNDS);
        fprintf(stderr, "touches by round:");
        for (int t : round_touches)
            fprintf(stderr, " %d", t);
        fprintf(stderr, "\ntics/s by round:");
        for (double s : total)
            fprintf(stderr, " %.0f", (double)TICS / s);
        fprintf(stderr, "\n");
        fflush(stdout);
    }
    (void)phase_names;
    track_centerline_free(&c);
    ride_harness_end();
    return 0;
}
