// Learning from a human's laps in a race, and robots picking the learned lines.
#include <gtest/gtest.h>

#include <cstring>

#include "bike/bike.h"
#include "race/race.h"
#include "robot/robot_race.h"
#include "support/ride_harness.h"
#include "track/track_gates.h"

namespace {

class RobotRace : public ::testing::Test {
  protected:
    int pass[16];
    void SetUp() override {
        ride_harness_flat();
        ASSERT_NE(ride_harness_bike("crf250(2007)", 10, 10, 0), nullptr);
        gates_clear();
        gates.checkpoint_count = 3;
        gates.first_count = 3; // cp0, cp1 (marked: not a section end), cp2
        gates.normal_count = 2;
        int seq[5] = {0, 1 + GATES_MARK, 2, 0, 2};
        memcpy(gates.sequence, seq, sizeof seq);
        gates.first_length = 2;
        gates.normal_length = 2;
        gates.valid = 1;
        robot_lines_reset(2, 2);
        memset(&race.riders[0], 0, sizeof race.riders[0]);
        for (int &p : pass)
            p = -1;
        race.riders[0].pass = pass;
        race.riders[0].pass_cap = 16;
        race.gate_drop_tic = 0;
        robot_set_personality(0, "empty", 5);
        robot_reset_slot(0);
    }
    void TearDown() override {
        race.riders[0].pass = nullptr;
        race.riders[0].pass_cap = 0;
        gates.valid = 0;
        robot_lines_free();
        ride_harness_end();
    }
    // Runs the learning call each tic up to `until`, passing positions at the given tics.
    void ride(int until, const int *pass_tics, int passes, int from = 0) {
        for (int t = from; t <= until; t++) {
            race.tic = t;
            for (int k = 0; k < passes; k++)
                if (pass_tics[k] == t) {
                    pass[k] = t;
                    race.riders[0].progress = k + 1;
                }
            robot_race_learn(0);
        }
    }
};

TEST_F(RobotRace, AHumanLapAddsLinesRobotsThenRide) {
    const int tics[5] = {100, 150, 300, 500, 700}; // cp0, cp1 (marked), cp2, cp0, cp2
    ride(700, tics, 5);
    // Sections 0, 1 and 2 have closed with their following section: three candidates.
    ASSERT_EQ(robot_lines.counts[0], 1);
    ASSERT_EQ(robot_lines.counts[1], 1);
    ASSERT_EQ(robot_lines.counts[2], 1);
    EXPECT_EQ(robot_lines.counts[3], 0);
    const robot_line *l0 = robot_line_at(0, 0), *l1 = robot_line_at(1, 0);
    EXPECT_EQ(l0->t1, 100);
    EXPECT_EQ(l0->t2, 300);
    EXPECT_EQ(l1->t1, 200);
    EXPECT_EQ(l1->t2, 400);
    // Every 32 tics, and at the gates that open and close the section, so lines meet there.
    EXPECT_EQ(l0->count, 5); // tics 0, 32, 64, 96, gate 100
    EXPECT_EQ(l1->count, 8); // gate 100, tics 128 .. 288, gate 300
    EXPECT_TRUE(robot_lines.changed);
    // A robot now finds a line for the first section.
    robot_path p = {};
    robot_pick_input in = {};
    in.tic = 800;
    EXPECT_EQ(robot_pick(&p, &in), 0);
    EXPECT_EQ(p.count, 5);
    robot_path_free(&p);
}

TEST_F(RobotRace, TroubleCancelsTheSection) {
    bike_world.bikes[0].trouble = 1;
    const int tics[5] = {100, 150, 300, 500, 700};
    ride(99, tics, 5);
    bike_world.bikes[0].trouble = 0;
    ride(700, tics, 5, 100);
    EXPECT_EQ(robot_lines.counts[0], 0); // troubled
    EXPECT_EQ(robot_lines.counts[1], 1);
}

TEST_F(RobotRace, NothingIsLearnedWithLearningOff) {
    robot_learning = 0;
    const int tics[5] = {100, 150, 300, 500, 700};
    ride(700, tics, 5);
    robot_learning = 1;
    EXPECT_EQ(robot_lines.counts[0] + robot_lines.counts[1] + robot_lines.counts[2], 0);
}

} // namespace

namespace {
TEST_F(RobotRace, SkippedGatesTeachNothing) {
    // Position 2 (the gate closing section 1) is missed: nothing closes until the lap gate,
    // which is not the expected next position.
    const int tics[5] = {100, 150, -5, 500, 700};
    ride(700, tics, 5);
    EXPECT_EQ(robot_lines.counts[0], 0);
    EXPECT_EQ(robot_lines.counts[1], 0);
    EXPECT_EQ(robot_lines.counts[2], 0); // its opening gate has no time
}
} // namespace

namespace {
// "travis" rides by its gap to the rider just ahead in the running order: the tics it trails
// that rider by at the last gate position both passed (a skipped position does not count).
TEST_F(RobotRace, GapIsToTheRiderJustAheadAtTheLastCommonGate) {
    int ahead_pass[16] = {50, 300, 900, 1400};
    race.riders[1] = race_rider{};
    race.riders[1].pass = ahead_pass;
    race.riders[1].pass_cap = 16;
    race.riders[1].progress = 4;
    pass[0] = 60;
    pass[1] = 1700;
    pass[2] = -1; // skipped
    race.riders[0].progress = 3;
    race.order_count = 2;
    race.order[0] = {1, 4, 1400};
    race.order[1] = {0, 3, 1700};
    EXPECT_EQ(robot_gap_tics(0), 1400);
    EXPECT_EQ(robot_gap_tics(1), 0); // the leader trails nobody
    robot_set_personality(0, "travis", 5);
    robot_race_control(0);
    EXPECT_NEAR(robot_riders[0].gap, 1400 / 128.0, 1e-6);
    EXPECT_EQ(robot_personality_mode(robot_riders[0].personality, robot_riders[0].gap), 1);
    race.order_count = 0;
    race.riders[1].pass = nullptr;
    race.riders[1].pass_cap = 0;
}
} // namespace
