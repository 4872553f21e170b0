// A stuck robot's recovery: the frame lifted, the front wheel dragged to the path, and backing
// away from a bike it is jammed against.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_setup.h"
#include "race/race.h"
#include "robot/robot_race.h"
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

// Two robots in recovery, nose to nose, each riding for a sample behind the other: pushing on,
// neither moves. After 5 s jammed against the other bike a robot backs away, and the pair comes
// apart instead of standing locked for the rest of the race.
TEST(RobotRecovery, RobotsJammedNoseToNoseBackAwayFromEachOther) {
    ride_harness_flat();
    // Heading 0 faces -z: bike 0 rides toward -z, bike 1 toward +z; they meet within a second.
    auto make = [](int slot, double z, double heading) {
        bike_record *k = bike_create(slot, "crf250(2007)", 1);
        static bike_setup s;
        s = bike_setup{};
        bike_setup_init(&s);
        bike_apply_setup(k, &s);
        bike_setup_free(&s);
        bike_place(k, 0, z, heading);
        return k;
    };
    bike_record *a = make(0, 0, 0), *b = make(1, -5.1, M_PI);
    ASSERT_TRUE(a && b);
    race_steps.contacts = race_contacts;
    robot_install();
    for (int k = 0; k < 2; k++) {
        robot_set_personality(k, "mike", 1 + k);
        robot_reset_slot(k);
        robot_rider *r = &robot_riders[k];
        // A path straight through the other bike, far enough that no sample is reached.
        double dir = k == 0 ? -1 : 1;
        std::vector<robot_sample> path;
        for (int i = 0; i < 20; i++)
            path.push_back({{0, 0, (float)(dir * (40 + 4 * i))}, 15, 0});
        robot_path_append(&r->path, path.data(), (int)path.size());
        race.present[k] = 1;
        race.status[k] = RACE_ROBOT_DRIVEN;
    }
    // Well into the race, nothing advanced for 3 s: both ride for their samples (recovery).
    bike_world.tic = race.tic = 40 * 128;
    for (int k = 0; k < 2; k++)
        robot_riders[k].last_advance_tic = race.tic - 3 * 128;
    auto gap = [&] {
        const dReal *p = dBodyGetPosition(a->body[BIKE_FRAME]);
        const dReal *q = dBodyGetPosition(b->body[BIKE_FRAME]);
        return std::hypot(p[0] - q[0], p[2] - q[2]);
    };
    // The gap when the first robot starts backing away: until then both pushed on.
    double jammed = -1, widest = 0;
    for (int t = 0; t < 9 * 128; t++) {
        race_tic();
        bool backing = a->ctl.back_up > 0 || b->ctl.back_up > 0;
        if (jammed < 0 && backing) jammed = gap();
        if (jammed >= 0) widest = std::fmax(widest, gap());
    }
    ASSERT_GE(jammed, 0.0) << "neither robot ever backed away";
    EXPECT_LT(jammed, 7.5) << "pushing on, the bikes stay locked nose to nose";
    EXPECT_GT(widest, 20.0) << "backed apart, they get past each other and ride on";
    race_steps.contacts = nullptr;
    for (int k = 0; k < 2; k++)
        robot_path_free(&robot_riders[k].path);
    ride_harness_end();
}
