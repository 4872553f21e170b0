// The robot's steering controller and the traffic rule as robot_update applies them.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "robot/robot_ride.h"
#include "support/ride_harness.h"

namespace {

robot_steer_in straight_ahead(double v) {
    robot_steer_in in = {};
    in.v = v;
    in.k = 1;
    in.t_lat = 0;
    in.t_ahead = 30;
    in.time_left = 1e9;
    in.target = 30;
    in.front_contact = 1;
    return in;
}

TEST(RobotSteer, LoadFactorLeansLessUnderLoad) {
    // A right turn through a point 5 ft right and 30 ft ahead, upright at 25 ft/s.
    robot_steer_in in = straight_ahead(25);
    in.t_lat = 5;
    robot_steer_out one, two;
    robot_steer(&in, &one);
    in.k = 2; // the tires carry twice the bike's weight over again (a berm's face)
    robot_steer(&in, &two);
    // Upright, the course is the straight line, so A = T + 2 (T - (0, ahead)): 15 ft right.
    double r = (15.0 * 15 + 30 * 30) / (2 * 15.0);
    EXPECT_NEAR(one.radius, r, 1e-9);
    EXPECT_NEAR(one.lean, std::atan2(-625 / r, 32), 1e-9);
    EXPECT_NEAR(two.lean, std::atan2(-625 / r, 64), 1e-9);
    EXPECT_LT(one.lean, two.lean); // leaning right, less so under load
    EXPECT_NEAR(robot_load_factor(32 * 100 * 3, 100), 2, 1e-12);
    EXPECT_EQ(robot_load_factor(32 * 100, 100), 1); // level riding: at least 1
    EXPECT_EQ(robot_load_factor(0, 0), 1);
}

TEST(RobotSteer, PathRadiusCorrectsForTheCircleBeingRidden) {
    // Leaning left already (turning centre to the left), a point straight ahead is a miss to
    // the right of the current circle: the path bends right to get back to it.
    robot_steer_in in = straight_ahead(25);
    in.roll = 0.3;
    robot_steer_out out;
    robot_steer(&in, &out);
    EXPECT_GT(out.radius, 0);
    // A point behind: a tight 10 ft turn toward its side.
    in = straight_ahead(25);
    in.t_ahead = -5;
    in.t_lat = -3;
    robot_steer(&in, &out);
    EXPECT_EQ(out.radius, -10);
}

TEST(RobotSteer, BarsFollowTheWheelsPathInTheAirAndWhenSliding) {
    robot_steer_in in = straight_ahead(25);
    in.travel_angle = 0.2; // the wheel runs 0.2 rad right of the bars
    in.front_contact = 0;
    robot_steer_out out;
    robot_steer(&in, &out);
    // P = 0.2 - 1/32, q = 8P beyond 4/3: the bars get +2/3.
    EXPECT_NEAR(out.steering, 2.0 / 3, 1e-12);
    EXPECT_NEAR(robot_bars_to_path(0.2, 0, 0), 2.0 / 3, 1e-12);
    EXPECT_NEAR(robot_bars_to_path(0.05, 0, 0), (8 * (0.05 - 1.0 / 32) - 1.0 / 2400) / 2, 1e-12);
    EXPECT_EQ(robot_bars_to_path(0.02, 0, 0), 0); // inside the dead band
    EXPECT_NEAR(robot_bars_to_path(-0.5, 0, 0), -2.0 / 3, 1e-12);
    // On the ground with the front sliding at 4 ft/s or more the lean-rate term is gone.
    in.front_contact = 1;
    in.front_slip = 4;
    in.roll_rate = 1;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.steering, 2.0 / 3, 1e-12);
    // Gripping: the lean-rate controller on the bars, dead band 1/8.
    in.front_slip = 0;
    in.travel_angle = 0;
    in.roll_rate = 0.3;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.steering, 4 * (0.3 - out.omega - 0.125), 1e-9);
    EXPECT_GT(out.steering, 0.5);
    // Traction: a front tire slipping at 8 ft/s halves the throttle; in the air it is whole.
    in.front_slip = 8;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.traction, 0.5, 1e-12);
    in.front_contact = 0;
    robot_steer(&in, &out);
    EXPECT_EQ(out.traction, 1);
}

TEST(RobotSteer, GripLimitBoundsLeanAndSpeed) {
    robot_steer_in in = straight_ahead(30);
    in.t_lat = -8; // a tight left
    in.grip_count = 2;
    in.grip_lo[0] = -1;
    in.grip_hi[0] = 1;
    in.grip_lo[1] = -0.2;
    in.grip_hi[1] = 0.2; // slick ground ahead allows 0.2 rad
    robot_steer_out out;
    robot_steer(&in, &out);
    EXPECT_TRUE(out.grip_limited);
    EXPECT_NEAR(out.lean, 0.2, 1e-12);
    EXPECT_NEAR(out.target, std::sqrt(32 * std::fabs(out.radius) * std::tan(0.2)), 1e-9);
    EXPECT_LT(out.target, 30);
    in.grip_hi[1] = 1.5;
    robot_steer(&in, &out);
    EXPECT_FALSE(out.grip_limited);
    EXPECT_EQ(out.target, 30);
}

TEST(RobotSteer, RollRateLimitsAndLockValues) {
    robot_steer_in in = straight_ahead(40);
    in.t_lat = -20; // hard left from upright
    in.t_ahead = 10;
    robot_steer_out out;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.radius, -3700.0 / 120, 1e-9);
    EXPECT_GT(4 * out.lean, M_PI);
    // c = 20/17 clamps to 1 with no straight samples: the rate limit is pi / K.
    EXPECT_NEAR(out.omega, M_PI, 1e-12);
    EXPECT_NEAR(out.restricted_lock, 5, 1e-12);
    // Within the limits the roll rate is 4 x the lean still to go.
    in.v = 25;
    in.t_ahead = 30;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.omega, 4 * out.lean, 1e-12);
    EXPECT_NEAR(out.restricted_lock, 1 + 4 * out.omega / M_PI, 1e-12);
    // Leaning hard left and asked upright: twice the limit is allowed when righting the bike.
    in = straight_ahead(30);
    in.roll = 1.2;
    in.k = 4;
    in.t_lat = 0.001;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.omega, -2 * M_PI / 4, 1e-12);
    EXPECT_NEAR(out.restricted_lock, 1 + 4 * 0.5, 1e-12);
    // Straight samples ahead calm the controller: c = (20 - 6) / 17.
    in.straight = 6;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.omega, -2 * (14.0 / 17) * M_PI / 4, 1e-12);
}

TEST(RobotSteer, RunningOutOfPathStraightensAndHoldsSpeed) {
    robot_steer_in in = straight_ahead(20);
    in.t_lat = -20;
    in.time_left = 1; // o = 1: lean within pi/16, speed toward max(sample + 2, v)
    in.sample_speed = 25;
    in.target = 10;
    in.front_slip = 12;
    robot_steer_out out;
    robot_steer(&in, &out);
    EXPECT_NEAR(out.lean, M_PI / 16, 1e-12);
    EXPECT_NEAR(out.target, 27, 1e-12);
    EXPECT_NEAR(out.traction, 1, 1e-12);
}

TEST(RobotSteer, AtWalkingPaceTheBikeStaysUpright) {
    robot_steer_in in = straight_ahead(6);
    in.t_lat = -20;
    robot_steer_out out;
    robot_steer(&in, &out);
    EXPECT_EQ(out.lean, 0);
    in.v = 0; // standing still: no turning radius to divide by
    robot_steer(&in, &out);
    EXPECT_EQ(out.lean, 0);
    EXPECT_TRUE(std::isfinite(out.steering));
}

// robot_update itself applies the traffic rule: the same robot brakes only with a slower rider
// in its corridor 10 ft ahead.
TEST(RobotTraffic, RobotUpdateCapsSpeedBehindASlowerRider) {
    for (int with_rider = 0; with_rider < 2; with_rider++) {
        ride_harness_flat();
        bike_record *a = ride_harness_bike("crf250(2007)", 200, 300, 0);
        ASSERT_NE(a, nullptr);
        bike_record *o = nullptr;
        if (with_rider) {
            o = bike_create(1, "crf250(2007)", 1);
            ASSERT_NE(o, nullptr);
            bike_place(o, 200, 290, 0);
        }
        for (int k = 0; k < BIKE_BODIES; k++) {
            dBodySetLinearVel(a->body[k], 0, 0, -30);
            if (o) dBodySetLinearVel(o->body[k], 0, 0, -20);
        }
        bike_world.gate_drop_tic = 0;
        bike_world.tic = 10 * 128; // 10 s into the race: the rule at full strength
        robot_rider r = {};
        robot_rider_reset(&r, 1, 7);
        robot_sample s[80];
        for (int i = 0; i < 80; i++)
            s[i] = {{200, 0, 300 - 4.0f * i}, 40, 0};
        robot_path_append(&r.path, s, 80);
        r.path.progress = 1;
        r.last_advance_tic = bike_world.tic;
        a->tire[0].depth = a->tire[1].depth = 0.1; // both wheels on the ground
        double d, g;
        int found = robot_traffic_find(a, 0, &d, &g);
        EXPECT_EQ(found, with_rider);
        if (found) {
            EXPECT_NEAR(d, 10, 0.5);
            EXPECT_NEAR(g, 20, 1e-6);
        }
        robot_update(a, &r);
        // The robot's own lock values, whatever the setup gave the bike.
        EXPECT_EQ(a->applied.full_lock_speed, 1);
        EXPECT_EQ(a->applied.restricted_lock_speed, 50);
        EXPECT_GE(a->applied.restricted_lock, (float)(M_PI / 180));
        EXPECT_LE(a->applied.restricted_lock, (float)(5 * M_PI / 180));
        if (with_rider) {
            // Target at most 0.75 x 20 = 15 ft/s at 30 ft/s: both brakes full.
            EXPECT_EQ(a->ctl.front_brake, 1);
            EXPECT_EQ(a->ctl.throttle, 0);
        } else {
            EXPECT_EQ(a->ctl.front_brake, 0);
        }
        robot_path_free(&r.path);
        ride_harness_end();
    }
}

TEST(RobotTraffic, RidersBehindBesideOrFacingAwayDoNotCount) {
    ride_harness_flat();
    bike_record *a = ride_harness_bike("crf250(2007)", 200, 300, 0);
    ASSERT_NE(a, nullptr);
    bike_record *o = bike_create(1, "crf250(2007)", 1);
    ASSERT_NE(o, nullptr);
    for (int k = 0; k < BIKE_BODIES; k++)
        dBodySetLinearVel(a->body[k], 0, 0, -30);
    double d, g;
    bike_place(o, 200, 310, 0); // 10 ft behind
    EXPECT_EQ(robot_traffic_find(a, 0, &d, &g), 0);
    bike_place(o, 230, 290, 0); // 30 ft to the side
    EXPECT_EQ(robot_traffic_find(a, 0, &d, &g), 0);
    bike_place(o, 201, 280, 0); // 20 ft ahead, a foot aside, standing
    EXPECT_EQ(robot_traffic_find(a, 0, &d, &g), 1);
    EXPECT_NEAR(g, 0, 1e-6);
    ride_harness_end();
}

} // namespace
