// The race tic with a real bike: the online false-start rule, the offline gate hold without a
// penalty, the erosion step feeding the ground's queue, and the gate test on the front wheel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bike/bike_erosion_stroke.h"
#include "bike/bike_input_ride.h"
#include "race/race.h"
#include "support/ride_harness.h"
#include "track/track_erosion.h"
#include "track/track_gates.h"

namespace {

std::string shown;

class RaceTic : public ::testing::Test {
  protected:
    void SetUp() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        shown.clear();
        race_steps.message = [](const char *t) { shown = t; };
        ride_harness_flat(7, 2.0f);
        // One gate slot facing -z at (100, 100); checkpoints ahead of it along -z.
        std::string s = "startinggate:\n[ 100 0 100 ] 0\ncheckpoints:\n";
        for (int i = 0; i < 3; i++)
            s += "6 [ 100 0 " + std::to_string(80 - 20 * i) + " ] [ 0 0 -6 ]\n";
        s += "firstlap: 0 1 2\nnormallap: 0 1 2\n";
        ASSERT_EQ(gates_parse(s.data(), s.size()), 1);
        erosion_reset();
    }
    void TearDown() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        gates_clear();
        erosion_reset();
        bike_erosion_stroke_clear();
        ride_harness_end();
    }
    void start(int network) {
        int lineup[RACE_SLOTS] = {RACE_HUMAN};
        race_limits_set(network, 0, 2);
        race_lineup_set(lineup);
        race.local_slot = 0;
        ASSERT_EQ(race_bike_create(0), 1);
        race_reset();
        race.gate_drop_tic = 600;
    }
    static void ride(float throttle, int tics) {
        float c[BIKE_INPUT_CHANNELS] = {};
        c[BIKE_INPUT_THROTTLE] = throttle;
        for (int i = 0; i < tics; i++) {
            bike_input_apply_values(&bike_world.bikes[0], c);
            race_tic();
        }
    }
};

TEST_F(RaceTic, OnlineFalseStartCostsFifteenSecondsAfterTheDrop) {
    start(1);
    ride(0.0f, 50);
    EXPECT_EQ(race.penalty_countdown, 0);
    // Pushed 5 ft forward before the gate drops.
    bike_move(&bike_world.bikes[0], 0, 0, -5);
    ride(0.0f, 1);
    EXPECT_EQ(shown, "15 second false start penalty");
    EXPECT_EQ(race.penalty_countdown, 600 - 50 + 1920 - 1);
    ride(1.0f, 10);
    EXPECT_EQ(bike_world.bikes[0].ctl.throttle, 0.0f);
    EXPECT_EQ(bike_world.bikes[0].ctl.front_brake, 1.0f);
    EXPECT_EQ(bike_world.bikes[0].ctl.sit_dab, 1.0f);
    EXPECT_EQ(race.penalty_countdown, 600 - 50 + 1920 - 11);
}

TEST_F(RaceTic, OfflineTheGateHoldsWithoutAPenalty) {
    start(0);
    bike_move(&bike_world.bikes[0], 0, 0, -5);
    ride(0.0f, 20);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(race.penalty_countdown, 0);
    EXPECT_EQ(race.tic, 20);
    EXPECT_EQ(bike_world.tic, 20);
    EXPECT_EQ(bike_world.gate_drop_tic, -1);
}

TEST_F(RaceTic, RidingThroughTheCheckpointsAndRuttingTheGround) {
    start(0);
    race.gate_drop_tic = 0;
    race.erosion_rate = 1024;
    ride(1.0f, 5 * 128);
    EXPECT_EQ(bike_world.gate_drop_tic, 0);
    // Straight ahead along -z from the gate: all three checkpoints and a lap.
    EXPECT_EQ(race.riders[0].progress, 3);
    EXPECT_EQ(race_laps_completed(0), 1);
    EXPECT_GT(race_pass_tic(0, 2), race_pass_tic(0, 0));
    EXPECT_EQ(bike_world.bikes[0].gates_passed, 3);
    EXPECT_GT(erosion.count, 0); // strokes went from the tires into the ground's queue
    EXPECT_EQ(bike_erosion_stroke_pending(), 0);
}

} // namespace
