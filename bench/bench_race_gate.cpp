// Race simulation speed of a real race: the program started headless as a player starts it, with
// robots in every gate of the default track (the roster, their lines and the starting gate as the
// game gives them), one minute (--minutes) of racing from the gate drop per round. Each round seeds
// the race (roster and gate drop) with its own fixed number, so runs ride the same races. Prints
// the time per tic split by the race tic's stages, medians of the rounds, with the bike touches and
// falls.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "core/core_hooks.h"
#include "core/core_main.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"
#include "race/race.h"

namespace {

enum { ROUNDS = 3, PHASES = 6 };

struct round_result {
    double phase[PHASES]; // seconds over the round's timed tics
    double total;
    long tics;
    int touches, falls; // bike touches and riders fallen
};

round_result race_round(const std::string &home, int robots, uint32_t seed, double minutes,
                        int roost) {
    {
        std::ofstream cfg(home + "/Zelvo/config");
        cfg << "record=No\nlaps=5\nminutes=0\nskill=Expert\n" << (roost ? "" : "roost_density=0\n");
        for (int i = 0; i < 40; i++) {
            char key[16];
            snprintf(key, sizeof key, "slot%02d", i);
            cfg << key << "=" << (i < robots ? "Robot" : "Empty") << "\n";
        }
    }
    double stage[RACE_STAGES] = {};
    race_stage_seconds = stage;
    race_stage_tics = 0;
    race_fixed_seed = seed;
    int touches = race_contact_bikes, crashes = bike_crashes;
    platform_null_reset();
    core_hook = core_hooks();
    file_index_free();
    data_root_reset();
    // The gate drops 13 to 15 s after the race starts: timing the whole race from it, the
    // program is closed 16 s plus the race's minutes after the start.
    platform_null_script_event(PLATFORM_CLOSE, 1, 16.0 + 60.0 * minutes);
    std::vector<std::string> args = {"zelvo", "--nosound", "--lock-fps",
                                     "8",     "--track",   "pinehollow"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    round_result r = {};
    if (core_main((int)args.size(), argv.data()) != 0) {
        fprintf(stderr, "bench_race_gate: the program failed to start\n");
        exit(1);
    }
    race_stage_seconds = nullptr;
    r.phase[0] = stage[RACE_STAGE_ROBOTS];
    r.phase[1] = stage[RACE_STAGE_CONTACTS];
    r.phase[2] = stage[RACE_STAGE_PRESTEP];
    r.phase[3] = stage[RACE_STAGE_WORLD];
    r.phase[4] = stage[RACE_STAGE_UPDATE] + stage[RACE_STAGE_RIDERS];
    r.phase[5] = stage[RACE_STAGE_EROSION];
    for (int k = 0; k < RACE_STAGES; k++)
        r.total += stage[k];
    r.tics = race_stage_tics;
    r.touches = race_contact_bikes - touches;
    r.falls = bike_crashes - crashes;
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    std::vector<int> counts;
    double minutes = 1;
    int roost = 1;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--no-roost")) {
            roost = 0; // the graphics setting at 0: what the dirt spray costs the tic
            continue;
        }
        if (!strcmp(argv[i], "--minutes") && i + 1 < argc) {
            minutes = atof(argv[++i]);
            if (!(minutes > 0 && minutes <= 30)) {
                fprintf(stderr, "bench_race_gate: --minutes takes 0 to 30\n");
                return 2;
            }
            continue;
        }
        int n = atoi(argv[i]);
        if (n < 1 || n > 40) {
            fprintf(stderr,
                    "usage: bench_race_gate [--minutes M] [--no-roost] [robots 1-40 ...]\n");
            return 2;
        }
        counts.push_back(n);
    }
    if (counts.empty()) counts = {8, 40};
    char tmpl[] = "/tmp/zv_bench_gate_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    std::string home = tmpl;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("ZV_HOME", ZV_BINARY_DIR, 1);
    std::filesystem::create_directories(home + "/Zelvo");
    printf("| robots | tics/s | us/tic | robots | collisions | tire contacts | world step | "
           "bike update | erosion | falls | bike touches |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int robots : counts) {
        std::vector<double> total, phase[PHASES];
        std::vector<double> falls, touches;
        long tics = 0;
        for (int round = 0; round < ROUNDS; round++) {
            round_result r = race_round(home, robots, 1000 + round, minutes, roost);
            if (r.tics <= 0) {
                fprintf(stderr, "bench_race_gate: no race tics after the gate drop\n");
                return 1;
            }
            tics = r.tics;
            total.push_back(r.total / (double)r.tics);
            for (int p = 0; p < PHASES; p++)
                phase[p].push_back(r.phase[p] / (double)r.tics);
            falls.push_back(r.falls);
            touches.push_back(r.touches);
        }
        double t = median(total);
        printf("| %d | %.0f | %.1f", robots, 1.0 / t, t * 1e6);
        for (int p = 0; p < PHASES; p++)
            printf(" | %.1f", median(phase[p]) * 1e6);
        printf(" | %.0f | %.0f |\n", median(falls), median(touches));
        fprintf(stderr, "(%ld timed tics a round)\n", tics);
        fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
