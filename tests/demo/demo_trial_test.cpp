// The time trial's demo files in a real home directory: the attempt is recorded to the track's
// "lastlap.zvdemo", keeping it copies it over "fastlap.zvdemo", and the ghost replays that file
// in slot 1 starting at the current tic.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "bike/bike.h"
#include "data/data_index.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "race/race.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

namespace {

std::vector<uint8_t> load(const std::string &path) {
    std::vector<uint8_t> out;
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp) return out;
    int c;
    while ((c = fgetc(fp)) != EOF)
        out.push_back((uint8_t)c);
    fclose(fp);
    return out;
}

TEST(DemoTrial, LastLapBecomesTheGhost) {
    std::string home = "/tmp/zv_demo_trial_" + std::to_string(getpid());
    const char *old_xdg = getenv("XDG_DATA_HOME");
    std::string saved = old_xdg ? old_xdg : "";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    file_index_free();
    data_root_reset();
    ASSERT_NE(data_home(), nullptr);
    ASSERT_EQ(std::string(data_home()), home + "/Zelvo/");
    std::string base = home;
    home += "/Zelvo";
    ASSERT_EQ(terrain_create(4, 2.0f, nullptr), 1);
    bike_world_create();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    ASSERT_NE(b, nullptr);
    bike_place(b, 3, 3, 0);
    static char dir[] = "trk";
    track_loaded.dir = dir;
    memset(race.present, 0, sizeof race.present);
    race.present[0] = 1;
    race.status[0] = RACE_LOCAL;
    race.time_trial = 1;
    race.tic = RACE_TIME_TRIAL_TIC;
    demo_history_clear();
    demo_install();

    race_steps.trial_record_start();
    ASSERT_TRUE(demo_recording_active());
    for (int n = 0; n < 300; n++) {
        race.tic++;
        race_steps.demo_tic();
    }
    EXPECT_EQ(race_steps.trial_fastest_exists(), 0);
    race_steps.trial_keep_last_lap();
    EXPECT_FALSE(demo_recording_active());
    EXPECT_EQ(race_steps.trial_fastest_exists(), 1);
    std::vector<uint8_t> last = load(home + "/trk/lastlap.zvdemo");
    ASSERT_GT(last.size(), 300u);
    EXPECT_EQ(load(home + "/trk/fastlap.zvdemo"), last);

    // the ghost: slot 1, its first state shifted to now
    race.tic = 50000;
    ASSERT_EQ(race_steps.trial_ghost_start(), 1);
    race.present[1] = 1;
    EXPECT_EQ(race.status[1], RACE_REPLAYED);
    EXPECT_EQ(demo_play.slot_of[0], 1);
    race_steps.demo_tic();
    EXPECT_EQ(race.tic, 50000); // a time trial's clock does not jump
    int o, n;
    ASSERT_TRUE(demo_history_around(1, 0, &o, &n));    // the oldest entries
    EXPECT_EQ(demo_history[1].tic[o], 50000 - 16 + 4); // first state 12 tics before its block
    // the ghost is posed from it
    race_steps.history_pose(1, 50010);
    const dReal *g = dBodyGetPosition(bike_world.bikes[1].body[BIKE_FRAME]);
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    EXPECT_NEAR(g[0], p[0], 0.5);
    EXPECT_NEAR(g[2], p[2], 0.5);

    // a new attempt records again without touching the fastest lap
    race_steps.trial_record_start();
    for (int k = 0; k < 100; k++) {
        race.tic++;
        race_steps.demo_tic();
    }
    race_steps.trial_demo_stop();
    EXPECT_FALSE(demo_playing());
    EXPECT_EQ(load(home + "/trk/fastlap.zvdemo"), last);
    EXPECT_NE(load(home + "/trk/lastlap.zvdemo"), last);

    race_steps = race_step_hooks{};
    track_loaded.dir = nullptr;
    race.present[0] = race.present[1] = 0;
    race.time_trial = 0;
    bike_world_destroy();
    terrain_free();
    if (old_xdg)
        setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    file_index_free();
    data_root_reset();
    std::string cmd = "rm -rf '" + base + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
