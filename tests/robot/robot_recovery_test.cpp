// A stuck robot's long-recovery forces: the frame lifted, the front wheel dragged to the path.
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike.h"
#include "robot/robot_ride.h"
#include "support/ride_harness.h"

namespace {

double front_speed_toward(const bike_record *b, const float t[3]) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRONT_WHEEL]);
    double dx = t[0] - p[0], dz = t[2] - p[2], l = std::hypot(dx, dz);
    return (v[0] * dx + v[2] * dz) / l;
}

TEST(RobotRecovery, LiftDragsTheFrontWheelTowardTheSampleAtWalkingPace) {
    ride_harness_flat();
    bike_record *b = ride_harness_bike("crf250(2007)", 0, 0, 0);
    ASSERT_NE(b, nullptr);
    for (int t = 0; t < 128; t++)
        ride_harness_step(); // settle on the ground
    const dReal *p0 = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    // A sample well off to the side: the pull is not along the wheel's rolling direction.
    float target[3] = {(float)p0[0] + 40, 0, (float)p0[2] - 10};
    double start = std::hypot(target[0] - p0[0], target[2] - p0[2]);
    for (int t = 0; t < 256; t++) {
        robot_recovery_lift(b, target);
        ride_harness_step();
    }
    const dReal *p1 = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    double end = std::hypot(target[0] - p1[0], target[2] - p1[2]);
    double along = front_speed_toward(b, target);
    EXPECT_GT(start - end, 4.0);  // two seconds at up to 5 ft/s
    EXPECT_LT(start - end, 12.0); // never faster than the drag speed allows
    EXPECT_GT(along, 2.0);
    EXPECT_LT(along, 6.0);
    ride_harness_end();
}

TEST(RobotRecovery, LiftWithTheSampleUnderTheWheelStaysFinite) {
    ride_harness_flat();
    bike_record *b = ride_harness_bike("crf250(2007)", 0, 0, 0);
    ASSERT_NE(b, nullptr);
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    float target[3] = {(float)p[0], (float)p[1], (float)p[2]};
    for (int t = 0; t < 64; t++) {
        robot_recovery_lift(b, target);
        ride_harness_step();
    }
    const dReal *q = dBodyGetPosition(b->body[BIKE_FRAME]);
    EXPECT_TRUE(std::isfinite(q[0] + q[1] + q[2]));
    EXPECT_LT(std::hypot(q[0] - target[0], q[2] - target[2]), 4.0);
    ride_harness_end();
}

TEST(RobotRecovery, RobotsRideSimulationPhysicsWithTheirAids) {
    ride_harness_flat();
    bike_record *b = ride_harness_bike("crf250(2007)", 0, 0, 0, 1);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->applied.arcade, 1);
    robot_rider r = {};
    robot_rider_reset(&r, 1, 3);
    robot_update(b, &r);
    EXPECT_EQ(b->applied.arcade, 0);
    EXPECT_TRUE(b->applied.flags & BIKE_FLAG_STOP_WHEELIES);
    EXPECT_TRUE(b->applied.flags & BIKE_FLAG_REAR_ANTILOCK);
    robot_path_free(&r.path);
    ride_harness_end();
}

} // namespace
