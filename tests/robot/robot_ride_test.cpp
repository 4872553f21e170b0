// The riding laws of robots, each checked on its own values.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "robot/robot_ride.h"

namespace {

TEST(RobotRide, PathAdvancesWithin60FeetOnlyAndNotIntoLoopsBehind) {
    std::vector<robot_sample> s(20);
    for (int i = 0; i < 20; i++)
        s[i] = {{70.0f + 4 * i, 0, 0}, 30, 0};
    robot_path p = {};
    robot_path_append(&p, s.data(), 20);
    float pos[3] = {0, 0, 0};
    double heading[2] = {1, 0};
    EXPECT_FALSE(robot_path_should_advance(&p, pos, heading, 0)); // 70 ft away
    pos[0] = 10;                                                  // 60 ft
    EXPECT_TRUE(robot_path_should_advance(&p, pos, heading, 0));
    EXPECT_FALSE(robot_path_should_advance(&p, pos, heading, 1)); // recovery reaches 30 ft only
    p.progress = 1;                                               // segment points along the bike
    pos[0] = 20;
    EXPECT_TRUE(robot_path_should_advance(&p, pos, heading, 0));
    heading[0] = -1; // riding the other way: the segment points backward
    EXPECT_FALSE(robot_path_should_advance(&p, pos, heading, 0));
    pos[0] = 72; // but within 4 ft it is taken anyway
    EXPECT_TRUE(robot_path_should_advance(&p, pos, heading, 0));
    p.progress = 19; // at the end: nothing to advance to
    EXPECT_FALSE(robot_path_should_advance(&p, pos, heading, 0));
    robot_path_free(&p);
}

TEST(RobotRide, TargetLeanFadesOutAtLowSpeed) {
    EXPECT_EQ(robot_target_lean(6, 5, 1), 0.0);
    EXPECT_EQ(robot_target_lean(6, -5, 1), 0.0);
    EXPECT_NEAR(robot_target_lean(20, 50, 1), std::atan2(-400.0 / 50, 32), 1e-12);
    EXPECT_NEAR(robot_target_lean(8.75, 50, 1), 0.5 * std::atan2(-8.75 * 8.75 / 50, 32), 1e-12);
    EXPECT_EQ(robot_target_lean(20, 0, 1), 0.0); // straight
    // Upright or still: no radius, no division by zero.
    EXPECT_EQ(robot_turn_radius(20, 1, 0), 0.0);
    EXPECT_EQ(robot_turn_radius(0, 1, 0.3), 0.0);
    EXPECT_NEAR(robot_turn_radius(20, 1, 0.3), -400 / (32 * std::tan(0.3)), 1e-9);
}

TEST(RobotRide, SpeedControlOnTheGroundAndInTheAir) {
    robot_speed_in in = {};
    robot_controls c = {};
    in.rear_contact = 1;
    in.gear = 2;
    in.v = 10;
    in.target = 20;
    robot_speed_control(&in, &c);
    EXPECT_EQ(c.throttle, 1);
    EXPECT_EQ(c.clutch, 1);
    in.v = 19.5;
    robot_speed_control(&in, &c);
    EXPECT_FLOAT_EQ(c.throttle, 0.5f);
    in.v = 20.25;
    robot_speed_control(&in, &c);
    EXPECT_EQ(c.throttle, 0);
    EXPECT_FLOAT_EQ(c.front_brake, 0.25f);
    in.gear = 0; // first gear: the clutch follows the engine past the downshift speed
    in.downshift_rpm = 5000;
    in.rpm = 4500;
    robot_speed_control(&in, &c);
    EXPECT_FLOAT_EQ(c.clutch, 0.5f);
    // In the air with the nose dropping at 1 rad/s: full throttle, clutch 1/8.
    in.rear_contact = 0;
    in.pitch_rate = -1;
    in.front_above_rear = 0.5;
    robot_speed_control(&in, &c);
    EXPECT_EQ(c.throttle, 1);
    EXPECT_FLOAT_EQ(c.clutch, 0.125f);
    EXPECT_EQ(c.rear_brake, 0);
    // Nose high: the rear brake drops it.
    in.pitch_rate = 0.2;
    in.front_above_rear = 1.5;
    robot_speed_control(&in, &c);
    EXPECT_EQ(c.throttle, 0);
    EXPECT_EQ(c.rear_brake, 1);
    EXPECT_EQ(c.clutch, 0);
}

TEST(RobotRide, TrafficCapsBehindASlowerRider) {
    int forget = 0;
    // 10 ft behind a 20 ft/s rider 10 s into the race: at most 0.75 x its speed.
    EXPECT_NEAR(robot_traffic_target(40, 30, 20, 10, 10, &forget), 15, 1e-12);
    EXPECT_NEAR(robot_traffic_target(10, 30, 20, 10, 10, &forget), 10, 1e-12);
    // Before 3 s the gap is 12 ft and the cap is the full speed.
    EXPECT_NEAR(robot_traffic_target(40, 30, 20, 10, 2, &forget), 20, 1e-12);
    // Closing fast from further back: picks are dropped and the target eases toward g.
    double t = robot_traffic_target(40, 40, 20, 25, 10, &forget);
    EXPECT_EQ(forget, 1);
    EXPECT_LT(t, 40);
    EXPECT_GE(t, 20);
    robot_traffic_target(40, 21, 20, 60, 10, &forget);
    EXPECT_EQ(forget, 0);
}

TEST(RobotRide, RecoveryStagesByTimeWithoutProgress) {
    EXPECT_EQ(robot_recovery_stage(3 * 128 - 1, 40 * 128, 0), 0);
    EXPECT_EQ(robot_recovery_stage(3 * 128, 40 * 128, 0), 1);
    EXPECT_EQ(robot_recovery_stage(3 * 128, 20 * 128, 0), 0); // not before 33 s after setup
    EXPECT_EQ(robot_recovery_stage(19 * 128 - 1, 60 * 128, 3), 1);
    EXPECT_EQ(robot_recovery_stage(19 * 128, 60 * 128, 3), 2);
    EXPECT_EQ(robot_recovery_stage(40 * 128, 60 * 128, 3), 3);
    EXPECT_EQ(robot_recovery_speed(12, 0.3), 15);
    EXPECT_EQ(robot_recovery_speed(8, 0.3), 5);
    // Straight for a sample ahead; full limit toward one off to the side.
    EXPECT_EQ(robot_recovery_lean(15, 0, 20), 0);
    EXPECT_NEAR(robot_recovery_lean(5, 30, 10), 1.0 / 6, 1e-12);
    EXPECT_NEAR(robot_recovery_lean(20, -30, 10), -0.5, 1e-12);
    EXPECT_NEAR(robot_recovery_lean(20, 4, 20), 0.1, 1e-12);
}

TEST(RobotRide, StartHoldsBlipsAndLaunchesStraight) {
    robot_rider r = {};
    robot_rider_reset(&r, 1, 1234);
    EXPECT_GE(r.reaction, 0.2f);
    EXPECT_LT(r.reaction, 0.4f);
    robot_controls c = {};
    int opened = 0, closed = 0;
    for (int t = 0; t < 5 * 128; t++) {
        ASSERT_TRUE(robot_start_control(&r, t / 128.0, 5, 14, 1, &c));
        EXPECT_EQ(c.front_brake, 1);
        EXPECT_EQ(c.clutch, 0);
        EXPECT_EQ(r.auto_shift, 0);
        (c.throttle > 0 ? opened : closed)++;
    }
    EXPECT_GT(opened, 0); // blips before the flagger mark
    EXPECT_GT(closed, opened);
    double go = 14 + r.reaction;
    ASSERT_TRUE(robot_start_control(&r, go + 0.1, 5, 14, 0, &c));
    EXPECT_EQ(c.steering, 0);
    EXPECT_EQ(c.throttle, 1);
    EXPECT_NEAR(c.clutch, 0.4, 1e-5);
    EXPECT_EQ(r.auto_shift, 0);
    ASSERT_TRUE(robot_start_control(&r, go + 3.0 / 16 + 0.001, 5, 14, 0, &c));
    EXPECT_EQ(r.auto_shift, 1);
    EXPECT_EQ(c.front_brake, 0);
    EXPECT_FALSE(robot_start_control(&r, go + 2.01, 5, 14, 0, &c));
    // The same seed draws the same start.
    robot_rider a = {}, b = {};
    robot_rider_reset(&a, 3, 99);
    robot_rider_reset(&b, 3, 99);
    EXPECT_EQ(a.reaction, b.reaction);
    EXPECT_LT(a.reaction, 0.1f);
}

} // namespace
