// Riding scenarios: a bike on flat test ground and on the default track, driven through the
// harness with scripted controls. The bounds were set once from the bike's own physics (the
// 250 four-stroke's torque curve, gearing and tire grip) and are kept fixed.
#include "support/ride_harness.h"
#include "bike/bike_tire_ride.h"
#include "track/track_terrain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

const char *MODEL = "crf250(2007)";
const int TICS_PER_S = 128;

struct controls {
    float c[BIKE_INPUT_CHANNELS] = {};
    controls &steer(float v) { return c[BIKE_INPUT_STEER] = v, *this; }
    controls &throttle(float v) { return c[BIKE_INPUT_THROTTLE] = v, *this; }
    controls &brakes(float f, float r) {
        c[BIKE_INPUT_FRONT_BRAKE] = f, c[BIKE_INPUT_REAR_BRAKE] = r;
        return *this;
    }
};

class BikeRide : public ::testing::Test {
  protected:
    void TearDown() override { ride_harness_end(); }
};

// Full throttle until the bike reaches the speed; returns the sample there.
ride_sample accelerate_to(bike_record *b, double speed) {
    ride_sample s;
    controls full;
    full.throttle(1);
    for (int t = 0; t < 20 * TICS_PER_S; t++) {
        ride_harness_tic(b, full.c, &s);
        if (s.speed >= speed) break;
    }
    return s;
}

} // namespace

TEST_F(BikeRide, FullThrottleFromStandstillShiftsUpAndStaysUpright) {
    ride_harness_flat(8, 4.0f); // 2048 ft of straight ground
    bike_record *b = ride_harness_bike(MODEL, 1024, 1950, 0);
    ASSERT_NE(b, nullptr);
    controls full;
    full.throttle(1);
    ride_sample s, at5 = {}, at15 = {};
    int last_gear = 0, downshifts = 0;
    double max_roll = 0, max_rpm = 0;
    for (int t = 1; t <= 15 * TICS_PER_S; t++) {
        ride_harness_tic(b, full.c, &s);
        ASSERT_FALSE(s.crashed) << "tic " << t;
        if (s.gear < last_gear) downshifts++;
        last_gear = s.gear;
        max_roll = std::max(max_roll, std::fabs(s.roll));
        if (t > TICS_PER_S) max_rpm = std::max(max_rpm, s.rpm);
        if (t == 5 * TICS_PER_S) at5 = s;
    }
    at15 = s;
    // A 250 four-stroke: about 60 mph after 5 s, 75-80 mph flat out in fifth.
    EXPECT_GT(at5.speed, 75.0);
    EXPECT_LT(at5.speed, 105.0);
    EXPECT_GT(at15.speed, 105.0);
    EXPECT_LT(at15.speed, 125.0);
    EXPECT_GE(at5.gear, 2);
    EXPECT_EQ(at15.gear, 4) << "all five gears used";
    EXPECT_EQ(downshifts, 0);
    // The engine stays on its torque curve: below where full-throttle torque reaches zero.
    EXPECT_LE(max_rpm, 13500.0);
    EXPECT_GT(at15.rpm, 8000.0);
    EXPECT_LT(max_roll, 0.2);
    // It went straight.
    EXPECT_NEAR(at15.pos[0], 1024.0, 5.0);
    EXPECT_NEAR(at15.heading, 0.0, 0.05);
}

TEST_F(BikeRide, BrakingFrom60FtPerSecondStopsShortWithoutACrash) {
    ride_harness_flat(8, 4.0f);
    bike_record *b = ride_harness_bike(MODEL, 1024, 1950, 0);
    ride_sample s = accelerate_to(b, 60.0);
    ASSERT_GE(s.speed, 60.0);
    double z0 = s.pos[2];
    controls brake;
    brake.brakes(1, 1);
    int stop_tic = -1;
    double max_roll = 0;
    for (int t = 1; t <= 6 * TICS_PER_S; t++) {
        ride_harness_tic(b, brake.c, &s);
        ASSERT_FALSE(s.crashed);
        max_roll = std::max(max_roll, std::fabs(s.roll));
        if (stop_tic < 0 && s.speed < 1.0) stop_tic = t;
    }
    ASSERT_GT(stop_tic, 0) << "never stopped";
    double distance = z0 - s.pos[2];
    // Between 1.2 g (47 ft) and 0.56 g (100 ft) of average deceleration.
    EXPECT_GT(distance, 45.0);
    EXPECT_LT(distance, 100.0);
    EXPECT_LT(stop_tic, 4 * TICS_PER_S);
    EXPECT_LT(max_roll, 0.2);
    EXPECT_LT(s.speed, 0.5) << "held still once stopped";
}

TEST_F(BikeRide, HeldSteeringAt35FtPerSecondSettlesIntoACircleToTheRight) {
    ride_harness_flat(8, 4.0f);
    bike_record *b = ride_harness_bike(MODEL, 1024, 1500, 0);
    ride_sample s = accelerate_to(b, 35.0);
    controls c;
    c.steer(0.5f);
    double r_min = 1e9, r_max = 0, roll_min = 1e9, roll_max = -1e9;
    for (int t = 1; t <= 20 * TICS_PER_S; t++) {
        // A rider holding the speed with the throttle.
        c.throttle((float)std::clamp(0.5 + 0.2 * (35.0 - s.speed), 0.0, 1.0));
        ride_harness_tic(b, c.c, &s);
        ASSERT_FALSE(s.crashed);
        if (t > 8 * TICS_PER_S) {
            double radius = s.speed / std::fabs(s.yaw_rate);
            r_min = std::min(r_min, radius), r_max = std::max(r_max, radius);
            roll_min = std::min(roll_min, s.roll), roll_max = std::max(roll_max, s.roll);
            ASSERT_LT(s.yaw_rate, 0.0) << "turning right (clockwise from above)";
        }
    }
    EXPECT_LT(roll_max, -0.2) << "leaning into the turn, to the right";
    EXPECT_GT(roll_min, -0.8);
    EXPECT_GT(r_min, 50.0);
    EXPECT_LT(r_max, 200.0);
    EXPECT_LT(r_max - r_min, 0.05 * r_min) << "a steady circle";
    EXPECT_NEAR(s.speed, 35.0, 3.0);
    // Mirror: steering left turns left.
    c.steer(-0.5f);
    for (int t = 1; t <= 8 * TICS_PER_S; t++) {
        c.throttle((float)std::clamp(0.5 + 0.2 * (35.0 - s.speed), 0.0, 1.0));
        ride_harness_tic(b, c.c, &s);
        ASSERT_FALSE(s.crashed);
    }
    EXPECT_GT(s.yaw_rate, 0.1);
    EXPECT_GT(s.roll, 0.2);
}

TEST_F(BikeRide, HardBrakingLeavesErosionStrokesAlongThePath) {
    ride_harness_flat(8, 4.0f);
    bike_record *b = ride_harness_bike(MODEL, 1024, 1950, 0);
    ride_sample s = accelerate_to(b, 60.0);
    double z_start = s.pos[2];
    bike_erosion_stroke_clear();
    for (int w = 0; w < 2; w++)
        bike_erosion_reset(&b->tire[w].erosion);
    controls brake;
    brake.brakes(1, 1);
    for (int t = 0; t < 4 * TICS_PER_S; t++)
        ride_harness_tic(b, brake.c, &s);
    // Once stopped, the open points close after 64 quiet tics and the strokes go out.
    for (int t = 0; t < 2 * TICS_PER_S; t++)
        ride_harness_tic(b, controls().c, &s);
    int strokes = 0, points = 0, rearward = 0;
    uint8_t bytes[BIKE_STROKE_MAX_BYTES];
    int n;
    while ((n = bike_erosion_stroke_take(bytes)) > 0) {
        strokes++;
        ASSERT_GE(n, 17);
        ASSERT_EQ((n - 17) % 4, 0);
        EXPECT_EQ(bytes[0], 1);
        double x = (bytes[9] | bytes[10] << 8 | bytes[11] << 16) / 16777215.0 * terrain.extent;
        double z = (bytes[12] | bytes[13] << 8 | bytes[14] << 16) / 16777215.0 * terrain.extent;
        EXPECT_NEAR(x, 1024.0, 2.0) << "on the braking path";
        EXPECT_LT(z, z_start + 8.0);
        EXPECT_GT(z, s.pos[2] - 8.0);
        // The ground holds the braked wheels back: the force on them points rearward, +z.
        // (The rear's first points still carry the drive of the tics before the brakes bit.)
        for (int at = 16; at < n; at += 4) {
            points++;
            if ((bytes[at] >> 2) > 40) rearward++;
        }
    }
    EXPECT_GE(strokes, 2) << "front and rear wheel";
    EXPECT_GE(points, 40);
    EXPECT_GT(rearward, points * 3 / 4);
}

TEST_F(BikeRide, RollingWheelsThrowRoost) {
    ride_harness_flat(8, 4.0f);
    bike_record *b = ride_harness_bike(MODEL, 1024, 1950, 0);
    accelerate_to(b, 30.0);
    bike_tire_roost_clear();
    EXPECT_EQ(bike_tire_prestep_roost(b, 0, 0), 0) << "roost off";
    EXPECT_EQ(bike_tire_prestep_roost(b, 150, 10), 2);
    bike_roost_contact front, rear;
    ASSERT_EQ(bike_tire_roost_take(&front), 1);
    ASSERT_EQ(bike_tire_roost_take(&rear), 1);
    EXPECT_EQ(front.rounds, 2);
    EXPECT_NEAR(front.cone, M_PI / 8, 1e-12);
    EXPECT_NEAR(rear.cone, 2 * M_PI, 1e-12);
    EXPECT_LT(rear.wheel_vel[2], -25.0);
    EXPECT_NEAR(rear.pos[1], 0.0, 0.3) << "at the ground";
    // The tire debug display shows both wheels, the rear carrying the weight and the drive.
    char text[512];
    bike_tire_debug_readout(b, text, sizeof text);
    float fs, fsl, ffx, ffz, fpx, fpz, rs, rsl, rfx, rfz, rpx, rpz;
    ASSERT_EQ(sscanf(text,
                     "front:\nspeed=%f\nslip=%f\nfx=%f\nfz=%f\npfx=%f\npfz=%f\n"
                     "rear:\nspeed=%f\nslip=%f\nfx=%f\nfz=%f\npfx=%f\npfz=%f\n",
                     &fs, &fsl, &ffx, &ffz, &fpx, &fpz, &rs, &rsl, &rfx, &rfz, &rpx, &rpz),
              12)
        << text;
    EXPECT_GT(rs, 25.0f);
    EXPECT_NEAR(rs, fs, 1.0f);
}

TEST_F(BikeRide, SameInputsGiveTheSameRide) {
    double end[2][6];
    for (int run = 0; run < 2; run++) {
        ride_harness_flat(7, 2.0f);
        bike_record *b = ride_harness_bike(MODEL, 256, 400, 0.2);
        controls c;
        ride_sample s;
        for (int t = 0; t < 6 * TICS_PER_S; t++) {
            c.throttle(t < 3 * TICS_PER_S ? 1.0f : 0.2f).steer((float)std::sin(t / 100.0) * 0.4f);
            ride_harness_tic(b, c.c, &s);
        }
        double v[6] = {s.pos[0], s.pos[1], s.pos[2], s.speed, s.rpm, s.roll};
        std::copy(v, v + 6, end[run]);
        ride_harness_end();
    }
    for (int k = 0; k < 6; k++)
        EXPECT_EQ(end[0][k], end[1][k]) << k;
}

TEST_F(BikeRide, StoppedBikeWithDabStaysUprightAfterAPush) {
    ride_harness_flat(7, 2.0f);
    bike_record *b = ride_harness_bike(MODEL, 256, 256, 0.3);
    controls idle;
    ride_sample s, start;
    ride_harness_sample(b, &start);
    double max_roll = 0;
    for (int t = 0; t < 10 * TICS_PER_S; t++) {
        // A shove at the seat from the left half a second in.
        if (t >= 64 && t < 80) dBodyAddForceAtRelPos(b->body[BIKE_FRAME], 150, 0, 0, 0, 3, 0);
        ride_harness_tic(b, idle.c, &s);
        ASSERT_FALSE(s.crashed) << "tic " << t;
        max_roll = std::max(max_roll, std::fabs(s.roll));
    }
    EXPECT_GT(max_roll, 0.02) << "the shove leaned it";
    EXPECT_LT(max_roll, 0.3);
    EXPECT_LT(std::fabs(s.roll), 0.05);
    EXPECT_GT(b->ctl.sit_dab, 0.9f) << "a foot down";
    EXPECT_LT(std::hypot(s.pos[0] - start.pos[0], s.pos[2] - start.pos[2]), 1.0);
    EXPECT_LT(s.speed, 0.25);
}

TEST_F(BikeRide, ArcadeSteeringLeansToTheTargetAndTurnsTheSameWay) {
    ride_harness_flat(8, 4.0f);
    bike_record *b = ride_harness_bike(MODEL, 1024, 1500, 0, 1);
    ride_sample s = accelerate_to(b, 35.0);
    controls c;
    c.steer(0.5f);
    // The lean motor holds the bike at pi/4 x steering; the bars follow the path.
    for (int t = 1; t <= 2 * TICS_PER_S; t++) {
        c.throttle((float)std::clamp(0.5 + 0.2 * (35.0 - s.speed), 0.0, 1.0));
        ride_harness_tic(b, c.c, &s);
        ASSERT_FALSE(s.crashed);
    }
    EXPECT_NEAR(s.roll, -M_PI / 8, 0.02);
    EXPECT_LT(s.yaw_rate, -0.3);
    EXPECT_TRUE(ride_harness_finite(b));
}

TEST_F(BikeRide, RandomControlsOnTheDefaultTrackNeverExplode) {
    double x, z, heading;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading), 1);
    bike_record *b = ride_harness_bike(MODEL, x, z, heading);
    ASSERT_NE(b, nullptr);
    std::mt19937 rng(20261209);
    std::uniform_real_distribution<float> unit(0, 1), sym(-1, 1);
    const double centre = terrain.extent / 2;
    controls c;
    ride_sample s;
    ride_harness_sample(b, &s);
    int crashes = 0, was_crashed = 0;
    for (int t = 0; t < 100000; t++) {
        if (t % 48 == 0) {
            // Random inputs, with the steering leaning back toward the middle of the ground
            // so the ride stays on the track's hills rather than the flat beyond its edge.
            double want = std::atan2(-(centre - s.pos[0]), -(centre - s.pos[2]));
            double err = std::remainder(want - s.heading, 2 * M_PI);
            float back = std::hypot(s.pos[0] - centre, s.pos[2] - centre) > 0.4 * terrain.extent
                             ? (float)std::clamp(-err, -1.0, 1.0)
                             : 0.0f;
            c.steer(std::clamp(0.6f * sym(rng) + back, -1.0f, 1.0f));
            c.throttle(unit(rng));
            c.brakes(unit(rng) < 0.2f ? unit(rng) : 0, unit(rng) < 0.2f ? unit(rng) : 0);
            c.c[BIKE_INPUT_SHIFT] = unit(rng) < 0.1f ? sym(rng) : 0;
            c.c[BIKE_INPUT_CLUTCH] = unit(rng) < 0.1f ? unit(rng) : 0;
            c.c[BIKE_INPUT_SIT_DAB] = unit(rng) < 0.1f ? 1 : 0;
            c.c[BIKE_INPUT_BACK_UP] = unit(rng) < 0.05f ? 1 : 0;
            c.c[BIKE_INPUT_LEAN] = sym(rng);
        }
        ride_harness_tic(b, c.c, &s);
        ASSERT_TRUE(ride_harness_finite(b)) << "tic " << t;
        ASSERT_TRUE(std::isfinite(s.rpm));
        ASSERT_LT(s.speed, 300.0) << "tic " << t;
        if (s.crashed && !was_crashed) crashes++;
        was_crashed = s.crashed;
    }
    RecordProperty("crashes", crashes);
}

// Full throttle straight at each edge of the default track's ground: the rider stops against the
// steep bank of its rim (or falls on it), never riding off the end of the ground.
TEST_F(BikeRide, FullThrottleAtTheEdgeOfTheGroundStopsAtTheRim) {
    double x, z, heading;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading), 1);
    const double e = terrain.extent, from = 150;
    // Start point and heading (0 faces -z, pi/2 faces -x) toward the middle of each side.
    const double starts[4][3] = {{e / 2, from, 0},
                                 {e / 2, e - from, M_PI},
                                 {from, e / 2, M_PI / 2},
                                 {e - from, e / 2, -M_PI / 2}};
    for (const auto &st : starts) {
        bike_record *b = ride_harness_bike(MODEL, st[0], st[1], st[2]);
        ASSERT_NE(b, nullptr);
        controls full;
        full.throttle(1);
        ride_sample s;
        double nearest = e, fastest = 0;
        for (int t = 0; t < 12 * TICS_PER_S; t++) {
            ride_harness_tic(b, full.c, &s);
            double edge = std::min({s.pos[0], e - s.pos[0], s.pos[2], e - s.pos[2]});
            nearest = std::min(nearest, edge);
            fastest = std::max(fastest, s.speed);
        }
        printf("toward (%.0f, %.0f): top speed %.1f ft/s, nearest the edge %.1f ft\n", st[0], st[1],
               fastest, nearest);
        EXPECT_GT(fastest, 40.0) << "the ride reached speed";
        EXPECT_LT(nearest, 40.0) << "the ride reached the rim";
        EXPECT_GT(nearest, 0.0) << "the ride left the ground";
        bike_destroy(b);
    }
}
