// The race tic with a real bike: the online false-start rule, the offline gate hold without a
// penalty, the erosion step feeding the ground's queue, and the gate test on the front wheel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "bike/bike_erosion_stroke.h"
#include "bike/bike_input_ride.h"
#include "platform/platform.h"
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
    // From the gate past the last checkpoint at z = 40 is more than 60 ft, and no bike does
    // 5 s at more than 60 ft/s.
    EXPECT_GT(race.riders[0].distance, 60.0f);
    EXPECT_LT(race.riders[0].distance, 300.0f);
}

TEST_F(RaceTic, DistanceCountsRidingNotPlacementAndIsLoggedForTheLocalRider) {
    start(0);
    ride(0.0f, 128); // standing at the held gate
    EXPECT_LT(race.riders[0].distance, 0.5f);
    race_rider *r = &race.riders[0];
    r->distance = 0;
    r->tracked = 0;
    race_track_distance(0, 10, 10); // the first position only starts the record
    EXPECT_EQ(r->distance, 0.0f);
    race_track_distance(0, 10.3f, 10.4f);
    EXPECT_NEAR(r->distance, 0.5f, 1e-5f);
    race_track_distance(0, 60, 10.4f); // put back on the track: not ridden
    EXPECT_NEAR(r->distance, 0.5f, 1e-5f);
    race_track_distance(0, 61, 10.4f); // riding on from the new place
    EXPECT_NEAR(r->distance, 1.5f, 1e-5f);
    race_track_distance(0, NAN, 10);
    race_track_distance(0, 62, INFINITY);
    EXPECT_NEAR(r->distance, 1.5f, 1e-5f);
    race_track_distance(-1, 0, 0);
    race_track_distance(RACE_SLOTS, 0, 0);

    char path[] = "/tmp/zv_race_distance_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("QUVA_LOGFILE", path, 1);
    platform_log_reset();
    race.tic = race.gate_drop_tic + 256;
    race.start_pos[0] = 31.0f;
    race.start_pos[2] = 50.4f; // 30 and 40 ft from the last position
    race_log_local_distance();
    race.status[0] = RACE_ROBOT_DRIVEN; // a robot's ride is not the player's
    race_log_local_distance();
    platform_log(nullptr);
    unsetenv("QUVA_LOGFILE");
    platform_log_reset();
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(path);
    const std::string line =
        "] Local rider rode 1.5 ft in 2.0 s of racing, ending 50.0 ft from the start\n";
    ASSERT_NE(text.find(line), std::string::npos) << text;
    EXPECT_EQ(text.find("Local rider", text.find(line) + line.size()), std::string::npos) << text;
}

} // namespace

// Bikes meet slowest first: of three bikes side by side, the two standing still are held together
// by contact joints and the one riding past them by forces (a bike's first pair in a tic gets the
// joints). Pairing in slot order would give the joints to the rider passing by.
TEST_F(RaceTic, StandingBikesPairFirstAndARiderPassingThemIsPushedByForces) {
    bike_record *k[3];
    for (int s = 0; s < 3; s++) {
        k[s] = bike_create(s, "crf250(2007)", 1);
        ASSERT_NE(k[s], nullptr);
        // Slot 1 in the middle, the others 1.5 ft to either side of it: all overlap it.
        bike_place(k[s], 100 + 1.5 * (s == 0 ? -1 : s == 2 ? 1 : 0), 100, 0);
        race.present[s] = 1;
        race.status[s] = RACE_ROBOT_DRIVEN;
    }
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetLinearVel(k[0]->body[i], 0, 0, -20);
    race.tic = 9;
    race_contacts();
    auto joined = [](const bike_record *a, const bike_record *b) {
        for (int i = 0; i < BIKE_BODIES; i++)
            for (int j = 0; j < BIKE_BODIES; j++)
                if (dAreConnected(a->body[i], b->body[j])) return true;
        return false;
    };
    EXPECT_TRUE(joined(k[1], k[2]));
    EXPECT_FALSE(joined(k[0], k[1]));
    for (int s = 0; s < 3; s++)
        EXPECT_EQ(k[s]->bike_contact_tic, 9) << "slot " << s;
    dJointGroupEmpty(bike_world.contacts);
}
