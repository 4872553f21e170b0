// A robot rides the default track's racing line headless.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bike/bike.h"
#include "data/data_file.h"
#include "robot/robot_ride.h"
#include "support/ride_harness.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"

namespace {

// Samples every 4 ft along the centre line with a speed its curvature allows.
std::vector<robot_sample> centre_path(const track_centerline *c, float from, float length) {
    std::vector<robot_sample> v;
    for (float t = from; t < from + length; t += 4) {
        track_centerline_point a = track_centerline_at(c, t - 8), p = track_centerline_at(c, t),
                               b = track_centerline_at(c, t + 8);
        double h1 = std::atan2(p.z - a.z, p.x - a.x), h2 = std::atan2(b.z - p.z, b.x - p.x);
        double turn = std::fabs(std::remainder(h2 - h1, 2 * M_PI));
        double radius = turn > 1e-4 ? 8 / turn : 1e6;
        double speed = std::fmin(30.0, std::sqrt(32 * 0.45 * radius));
        v.push_back({{p.x, p.y, p.z}, (float)speed, 0});
    }
    return v;
}

TEST(RobotTrack, FollowsTheRacingLine) {
    double x, z, heading;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading), 1);
    track_centerline c = {};
    ASSERT_EQ(track_centerline_load("tracks/pinehollow", &c), 1);
    bike_record *b = ride_harness_bike("crf250(2007)", x, z, heading);
    ASSERT_NE(b, nullptr);
    robot_rider r = {};
    robot_rider_reset(&r, 1, 7);
    auto path = centre_path(&c, 0, c.length * 1.5f);
    robot_path_append(&r.path, path.data(), (int)path.size());
    bike_world.gate_drop_tic = 0;
    int crashes = 0, was = 0;
    double worst_off = 0;
    for (int t = 0; t < 60 * 128; t++) {
        robot_update(b, &r);
        ride_harness_step();
        int cr = bike_crashed(b);
        crashes += cr && !was;
        was = cr;
        if (t % 64 == 0 && t > 3 * 128 && !cr) {
            // Distance from the path: the nearest sample behind the look-ahead.
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
            double off = 1e9;
            for (int i = std::max(0, r.path.progress - 40); i <= r.path.progress; i++)
                off = std::fmin(off, std::hypot(p[0] - r.path.samples[i].pos[0],
                                                p[2] - r.path.samples[i].pos[2]));
            worst_off = std::fmax(worst_off, off);
        }
        if (t % 640 == 0) {
            fprintf(stderr, "t=%d progress=%d worst=%.1f speed=%.1f crashed=%d\n", t / 128,
                    r.path.progress, worst_off,
                    std::sqrt(dCalcVectorLengthSquare3(dBodyGetLinearVel(b->body[BIKE_FRAME]))),
                    cr);
        }
    }
    fprintf(stderr, "crashes %d, progress %d of %d samples\n", crashes, r.path.progress,
            r.path.count);
    // A minute at up to 30 ft/s along 4 ft samples, staying within a track's width of the line.
    EXPECT_GT(r.path.progress, 350);
    EXPECT_LT(worst_off, 12.0);
    EXPECT_LE(crashes, 2);
    robot_path_free(&r.path);
    track_centerline_free(&c);
    ride_harness_end();
}

TEST(RobotTrack, ShippedLinesAreOrderedBySkillAndRidden) {
    double x, z, heading;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading), 1);
    gates_load("tracks/pinehollow");
    ASSERT_TRUE(gates.valid);
    double lap[3] = {};
    for (int skill = 0; skill < 3; skill++) {
        ASSERT_EQ(robot_lines_load("tracks/pinehollow", skill), 1) << skill;
        ASSERT_EQ(robot_lines.sections, gates.first_length + gates.normal_length);
        for (int s = gates.first_length; s < robot_lines.sections; s++) {
            ASSERT_GE(robot_lines.counts[s], 1);
            lap[skill] += robot_line_at(s, 0)->t1 / 128.0;
        }
    }
    fprintf(stderr, "line lap times: novice %.1f s, amateur %.1f s, expert %.1f s\n", lap[0],
            lap[1], lap[2]);
    EXPECT_GT(lap[0], lap[1]);
    EXPECT_GT(lap[1], lap[2]);

    // An expert robot picks and rides the shipped lines for a minute.
    bike_record *b = ride_harness_bike("crf250(2007)", x, z, heading);
    ASSERT_NE(b, nullptr);
    robot_rider r = {};
    robot_rider_reset(&r, 1, 11);
    bike_world.gate_drop_tic = 0;
    int crashes = 0, was = 0;
    for (int t = 0; t < 60 * 128; t++) {
        robot_update(b, &r);
        ride_harness_step();
        int cr = bike_crashed(b);
        crashes += cr && !was;
        was = cr;
    }
    fprintf(stderr, "expert robot: %d sections entered, %d crashes\n", r.path.sections_entered,
            crashes);
    EXPECT_GT(r.path.sections_entered, 5);
    EXPECT_LE(crashes, 2);
    robot_path_free(&r.path);
    robot_lines_free();
    gates_clear();
    ride_harness_end();
}

} // namespace
