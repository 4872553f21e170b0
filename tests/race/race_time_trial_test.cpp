// Time-trial attempts: where a restart puts the rider, aborting by backing up, and the lap
// bookkeeping that keeps the best lap and the fastest-lap demo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "race/race.h"
#include "support/ride_harness.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"

namespace {

int kept, ghosts_started, recordings, stops, fastest_exists;

class TimeTrial : public ::testing::Test {
  protected:
    void SetUp() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        kept = ghosts_started = recordings = stops = fastest_exists = 0;
        race_steps.trial_keep_last_lap = [] { kept++; };
        race_steps.trial_ghost_start = [] { return ghosts_started++, 0; };
        race_steps.trial_record_start = [] { recordings++; };
        race_steps.trial_demo_stop = [] { stops++; };
        race_steps.trial_fastest_exists = [] { return fastest_exists; };
        // Checkpoints every 20 ft along +x at z = 100, pointing along +x; 4 a lap.
        std::string s = "checkpoints:\n";
        for (int i = 0; i < 4; i++)
            s += "3 [ " + std::to_string(40 + i * 20) + " 0 100 ] [ 3 0 0 ]\n";
        s += "firstlap: 0 1 2 3\nnormallap: 0 1 2 3\n";
        ASSERT_EQ(gates_parse(s.data(), s.size()), 1);
    }
    void TearDown() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        gates_clear();
        ride_harness_end();
    }
    static void cross(int p, int t) {
        race.tic = t;
        int cp = gates_sequence_checkpoint(race_position_entry(p));
        race_gate_test(0, gates.checkpoints[cp].origin[0] + 0.5f, gates.checkpoints[cp].origin[2]);
    }
    static void start(void) {
        race_limits_set(0, 0, 0);
        race_lineup_set(nullptr);
        race_reset();
    }
};

TEST_F(TimeTrial, SetupStartsLateWithTheRiderBeforeTheLapLine) {
    ride_harness_flat(7, 2.0f);
    ASSERT_EQ(race_bike_create(0), 0); // empty lineup yet
    race_limits_set(0, 0, 0);
    race_lineup_set(nullptr);
    ASSERT_EQ(race_bike_create(0), 1);
    race_reset();
    EXPECT_EQ(race.time_trial, 1);
    EXPECT_EQ(race.tic, RACE_TIME_TRIAL_TIC);
    EXPECT_EQ(race.attempt_state, 3);
    EXPECT_EQ(stops, 1);
    // Attempt state 2: two positions before the end of the normal lap, checkpoint 2.
    const dReal *p = dBodyGetPosition(bike_world.bikes[0].body[BIKE_FRAME]);
    EXPECT_NEAR(p[0], 80.0, 5.0);
    EXPECT_NEAR(p[2], 100.0, 1.0);
    EXPECT_EQ(race.riders[0].progress, 3); // F - 1
    dVector3 fwd;
    dBodyVectorToWorld(bike_world.bikes[0].body[BIKE_FRAME], 0, 0, -1, fwd);
    EXPECT_GT(fwd[0], 0.99); // facing along the checkpoint direction
}

TEST_F(TimeTrial, NoLapFallsBackToTheGrid) {
    ride_harness_flat(7, 2.0f);
    gates.valid = 0; // a track without a valid lap: N = 0
    race_limits_set(0, 0, 0);
    race_lineup_set(nullptr);
    ASSERT_EQ(race_bike_create(0), 1);
    race_reset();
    const dReal *p = dBodyGetPosition(bike_world.bikes[0].body[BIKE_FRAME]);
    EXPECT_NEAR(p[0], terrain.extent / 2, 5.0);
    EXPECT_NEAR(p[2], terrain.extent / 2, 5.0);
    EXPECT_EQ(race.riders[0].progress, 0);
    race_time_trial_tic(); // nothing to divide by
}

TEST_F(TimeTrial, BackingUpAbortsOncePerPress) {
    start();
    race.attempt_state = 3;
    race_time_trial_abort(1.0f, 0.0f, 1);
    EXPECT_EQ(race.attempt_state, 4);
    race_time_trial_abort(1.0f, 0.0f, 1); // still held
    EXPECT_EQ(race.attempt_state, 4);
    race_time_trial_abort(0.0f, 0.0f, 1);
    race_time_trial_abort(0.8f, 0.0f, 1);
    EXPECT_EQ(race.attempt_state, 5);
    race_time_trial_abort(0.0f, 0.9f, 1);
    EXPECT_EQ(race.attempt_state, 2);
    race_time_trial_abort(1.0f, 0.0f, 0); // option off
    EXPECT_EQ(race.attempt_state, 2);
}

TEST_F(TimeTrial, LapsKeepTheBestTimeAndTheFastestDemo) {
    start();
    int t = RACE_TIME_TRIAL_TIC;
    // The run-up crosses the lap line: lap 1, untimed; there is no fastest lap yet.
    race_time_trial_note();
    cross(3, t + 100);
    race.tic++;
    race_time_trial_tic();
    EXPECT_EQ(race.last_lap, 0);
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(ghosts_started, 1);
    EXPECT_EQ(recordings, 1);
    EXPECT_EQ(race.riders[0].progress, 4);
    // A full lap of 1000 tics.
    fastest_exists = 1;
    for (int p = 4; p < 8; p++) {
        race_time_trial_note();
        cross(p, t + 100 + 250 * (p - 3));
        race.tic++;
        race_time_trial_tic();
    }
    EXPECT_EQ(race.last_lap, 1000);
    EXPECT_EQ(race.best_lap, 1000);
    EXPECT_EQ(kept, 2); // the ghost (none here) had not got as far
    // A slower lap keeps the best; a lap with a skipped checkpoint has no time.
    for (int p = 4; p < 8; p++) {
        race_time_trial_note();
        cross(p, t + 1100 + 300 * (p - 3));
        race.tic++;
        race_time_trial_tic();
    }
    EXPECT_EQ(race.last_lap, 1200);
    EXPECT_EQ(race.best_lap, 1000);
    race_time_trial_note();
    cross(4, t + 3000);
    cross(6, t + 3100);
    cross(7, t + 3200);
    race.tic++;
    race_time_trial_tic();
    EXPECT_EQ(race.last_lap, 1200);
    EXPECT_EQ(kept, 3); // an untimed lap only replaces a missing file
}

} // namespace
