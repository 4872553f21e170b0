// Engine torque, gears and shifting, clutch and driveline, brakes.
#include "bike/bike_engine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double PI = 3.14159265358979323846;
const double H = 1.0 / 128.0;
const double RPM = 2.0 * PI / 60.0; // rad/s per rpm

// The 250 four-stroke's drivetrain as the model table lists it.
bike_engine_spec crf250() {
    bike_engine_spec s = {};
    s.primary_ratio = 3.16667f;
    s.front_sprocket = 13;
    s.rear_sprocket = 51;
    const float gears[6] = {2.14286f, 1.75f, 1.45f, 1.22727f, 1.04167f, -1.0f};
    for (int i = 0; i < 6; i++)
        s.gear_ratio[i] = gears[i];
    s.inertia = 0.00488281f;
    s.driveline_stiffness = 7500.0f;
    s.driveline_damping = 0.75f;
    const float full[30] = {5,    5,    5,    5,    5,    6.3,  7.7,  9.1, 10.5, 11.8,
                            13.2, 14.6, 16,   16.8, 17.6, 18.6, 19,   19,  19,   18.5,
                            18,   17.5, 16.9, 16.1, 15.4, 14.7, 13.6, 0,   -13,  -13.5};
    for (int i = 0; i < 50; i++) {
        s.full_torque[i] = i < 30 ? full[i] : -13.5f - 0.5f * (i - 29);
        // Four-stroke closed throttle: 2, 2, 1, 0, -1, -1, -2, -2, ... down to -23.
        s.closed_torque[i] = i < 4 ? (float)(2 - (i >= 2 ? i - 1 : 0)) : (float)(-((i - 2) / 2));
    }
    s.downshift_rpm = 8000;
    s.upshift_rpm = 12500;
    return s;
}

bike_driveline_input drive(double axle_rate, double axle_angle, float clutch, float throttle) {
    bike_driveline_input in = {};
    in.axle_rate = axle_rate;
    in.axle_angle = axle_angle;
    in.clutch = clutch;
    in.auto_clutch_rpm = 0.0f;
    in.throttle = throttle;
    return in;
}

} // namespace

TEST(BikeEngine, TorqueCurveInterpolatesBetweenEntriesAndThrottle) {
    bike_engine_spec s = crf250();
    EXPECT_FLOAT_EQ(s.closed_torque[49], -23.0f); // the table's shape, as the model lists it
    EXPECT_NEAR(bike_engine_curve_torque(&s, 8000, 1.0), 19.0, 1e-6);
    // Half way between entries 5 (6.3) and 6 (7.7).
    EXPECT_NEAR(bike_engine_curve_torque(&s, 2750, 1.0), 7.0, 1e-5);
    // Throttle blends closed (-1 at entry 5) and full linearly.
    EXPECT_NEAR(bike_engine_curve_torque(&s, 2500, 0.5), (-1.0 + 6.3) / 2, 1e-5);
    EXPECT_NEAR(bike_engine_curve_torque(&s, 2500, 0.0), -1.0, 1e-6);
    // Past the table the last entries hold; negative rpm uses the first.
    EXPECT_NEAR(bike_engine_curve_torque(&s, 40000, 1.0), s.full_torque[49], 1e-6);
    EXPECT_NEAR(bike_engine_curve_torque(&s, -100, 1.0), 5.0, 1e-6);
    EXPECT_TRUE(std::isfinite(bike_engine_curve_torque(&s, NAN, 1.0)));
}

TEST(BikeEngine, FinalDriveAndOverallRatio) {
    EXPECT_NEAR(bike_engine_final_drive(13, 51, 0, 0), 51.0 / 13.0, 1e-12);
    EXPECT_NEAR(bike_engine_final_drive(13, 51, -2, 2), 53.0 / 11.0, 1e-12);
    EXPECT_NEAR(bike_engine_final_drive(13, 51, -9, 9), 53.0 / 11.0, 1e-12); // clamped
    EXPECT_NEAR(bike_engine_final_drive(2, 4, -2, -2), 3.0 / 3.0, 1e-12);    // at least 3 teeth
    bike_engine_spec s = crf250();
    EXPECT_NEAR(bike_engine_ratio(&s, 0, 2.0), 3.16667 * 2.14286 * 2.0, 1e-4);
    EXPECT_EQ(bike_engine_ratio(&s, 5, 2.0), 0.0); // no sixth gear
    EXPECT_EQ(bike_engine_ratio(&s, -1, 2.0), 0.0);
}

TEST(BikeEngine, ManualShiftNeedsTheInputReleasedBetweenShifts) {
    bike_engine_spec s = crf250();
    bike_engine_state e;
    bike_engine_reset(&e);
    EXPECT_EQ(e.gear, 0);
    for (int i = 0; i < 50; i++)
        bike_engine_shift(&s, &e, 1, 0);
    EXPECT_EQ(e.gear, 1) << "holding the input shifts once";
    bike_engine_shift(&s, &e, 0, 0);
    bike_engine_shift(&s, &e, 1, 0);
    EXPECT_EQ(e.gear, 2);
    // Up past fifth on a five-speed stays in fifth.
    for (int i = 0; i < 6; i++) {
        bike_engine_shift(&s, &e, 0, 0);
        bike_engine_shift(&s, &e, 1, 0);
    }
    EXPECT_EQ(e.gear, 4);
    for (int i = 0; i < 8; i++) {
        bike_engine_shift(&s, &e, 0, 0);
        bike_engine_shift(&s, &e, -1, 0);
    }
    EXPECT_EQ(e.gear, 0) << "down from first stays in first";
    // Crashed riders cannot shift.
    bike_engine_shift(&s, &e, 0, 0);
    EXPECT_EQ(bike_engine_shift(&s, &e, 1, 1), 0);
    EXPECT_EQ(e.gear, 0);
    // From neutral a shift either way lands in first.
    e.gear = -1;
    e.shift_request = 0;
    bike_engine_shift(&s, &e, -1, 0);
    EXPECT_EQ(e.gear, 0);
    // A gap in the ratios falls back to the next lower existing gear.
    s.gear_ratio[3] = 0.0f;
    EXPECT_EQ(bike_engine_gear_for(&s, 3), 2);
    EXPECT_EQ(bike_engine_gear_for(&s, 9), 4);
}

TEST(BikeEngine, AutomaticShiftPoints) {
    bike_engine_spec s = crf250();
    EXPECT_EQ(bike_engine_auto_shift_gear(&s, 1, 13000), 2);
    EXPECT_EQ(bike_engine_auto_shift_gear(&s, 4, 13000), 4); // no sixth
    EXPECT_EQ(bike_engine_auto_shift_gear(&s, 2, 10000), 2); // between the two speeds
    EXPECT_EQ(bike_engine_auto_shift_gear(&s, 2, 7000), 1);
    EXPECT_EQ(bike_engine_auto_shift_gear(&s, 0, 1000), 0);
}

TEST(BikeEngine, AutomaticClutchAt4000And6000Rpm) {
    EXPECT_EQ(bike_engine_auto_clutch(1.0, 4000, 5000), 0.0);
    EXPECT_NEAR(bike_engine_auto_clutch(1.0, 6000, 5000), 0.5, 1e-12);
    EXPECT_NEAR(bike_engine_auto_clutch(0.3, 6000, 5000), 0.3, 1e-12); // rider's lever is lower
    EXPECT_EQ(bike_engine_auto_clutch(1.0, 7001, 5000), 1.0);

    // Through the driveline: at 6000 rpm the torque is c^2 = 0.25 of the engaged torque.
    bike_engine_spec s = crf250();
    double G = bike_engine_ratio(&s, 0, 51.0 / 13.0);
    bike_engine_state a, b;
    bike_engine_reset(&a);
    a.omega = 6000 * RPM;
    a.phi = 0.1;
    b = a;
    bike_driveline_input in = drive(a.omega / G, 0.0, 1.0f, 1.0f);
    double full = bike_engine_step(&s, &a, 51.0 / 13.0, &in, H);
    in.auto_clutch_rpm = 5000;
    double limited = bike_engine_step(&s, &b, 51.0 / 13.0, &in, H);
    EXPECT_GT(full, 100.0);
    EXPECT_NEAR(limited, 0.25 * full, 1e-6 * full);
    // At 4000 rpm no drive reaches the wheel...
    bike_engine_reset(&a);
    a.omega = 4000 * RPM;
    a.phi = 0.1;
    in = drive(a.omega / G, 0.0, 1.0f, 1.0f);
    in.auto_clutch_rpm = 5000;
    EXPECT_EQ(bike_engine_step(&s, &a, 51.0 / 13.0, &in, H), 0.0);
    // ...but engine braking does: the automatic clutch only guards against stalling.
    bike_engine_reset(&a);
    a.omega = 4000 * RPM;
    a.phi = -0.1;
    in = drive(a.omega / G, 0.0, 1.0f, 0.0f);
    in.auto_clutch_rpm = 5000;
    EXPECT_LT(bike_engine_step(&s, &a, 51.0 / 13.0, &in, H), -100.0);
}

TEST(BikeEngine, ClutchPulledInGivesNoDrivelineTorque) {
    bike_engine_spec s = crf250();
    bike_engine_state e;
    bike_engine_reset(&e);
    e.omega = 3000 * RPM;
    e.phi = 0.5;
    bike_driveline_input in = drive(0.0, 0.0, 0.0f, 1.0f);
    double before = e.omega;
    double T = bike_engine_step(&s, &e, 51.0 / 13.0, &in, H);
    EXPECT_EQ(T, 0.0);
    // The engine follows its own curve and inertia alone.
    double torque = bike_engine_curve_torque(&s, 3000, 1.0);
    EXPECT_NEAR(e.omega - before, torque / s.inertia * H, 1e-9);
    // Free revving climbs until the curve turns negative, and stays below the table's end.
    for (int i = 0; i < 128 * 5; i++)
        bike_engine_step(&s, &e, 51.0 / 13.0, &in, H);
    double rpm = bike_engine_rpm(&e);
    EXPECT_GT(rpm, 13000.0);
    EXPECT_LT(rpm, 14000.0);
}

TEST(BikeEngine, WindUpIsLimitedByTheClutchAndDrivesTheWheelForward) {
    bike_engine_spec s = crf250();
    bike_engine_state e;
    bike_engine_reset(&e);
    double G = bike_engine_ratio(&s, 0, 51.0 / 13.0);
    e.omega = 3000 * RPM;
    e.phi = 1.5; // far beyond the slip limit for half engagement
    double before = e.omega;
    bike_driveline_input in = drive(e.omega / G, 0.0, 0.5f, 0.0f);
    double T = bike_engine_step(&s, &e, 51.0 / 13.0, &in, H);
    EXPECT_GT(T, 0.0) << "engine ahead of the axle drives it forward";
    // The angle was held at pi/4 x c before the engine advanced it.
    EXPECT_NEAR(e.phi, PI / 8 + e.omega * H / G, 1e-9);
    // Torque is scaled by c^2 and the stiffness law (no speed difference: no damping part).
    EXPECT_NEAR(T, 7500.0 * 1.5 * 0.25, 1e-6);
    // The engine feels the reaction through the ratio.
    double torque = bike_engine_curve_torque(&s, 3000, 0.0);
    EXPECT_NEAR(e.omega - before, (torque - T / G) / s.inertia * H, 1e-6);
}

TEST(BikeEngine, DrivetrainSpeedsUpAWheelAndSettles) {
    // A wheel of known inertia on the driveline: the engine and wheel lock together.
    bike_engine_spec s = crf250();
    bike_engine_state e;
    bike_engine_reset(&e);
    e.omega = 5000 * RPM;
    double fd = 51.0 / 13.0, G = bike_engine_ratio(&s, 0, fd);
    double wheel_I = 0.5, wheel_w = 0.0, wheel_a = 0.0;
    for (int i = 0; i < 256; i++) {
        bike_driveline_input in = drive(wheel_w, wheel_a, 1.0f, 1.0f);
        double T = bike_engine_step(&s, &e, fd, &in, H);
        wheel_w += T / wheel_I * H;
        wheel_a = std::remainder(wheel_a + wheel_w * H, 2 * PI);
        ASSERT_TRUE(std::isfinite(e.omega));
    }
    EXPECT_GT(wheel_w, 1.0);
    EXPECT_NEAR(e.omega / G, wheel_w, 0.05 * wheel_w) << "engine and wheel turn together";
}

TEST(BikeEngine, BrakesAntilockOnlyWhileSliding) {
    int f = BIKE_FLAG_FRONT_ANTILOCK;
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, f, 1, 1.0, 1), 500.0);   // gripping
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, f, 1, 4.5, 1), 0.0);     // sliding
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, f, 0, 100.0, 1), 500.0); // in the air
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, 0, 1, 100.0, 1), 500.0); // no antilock
    EXPECT_EQ(bike_engine_front_brake(0.5, 500, 0, 1, 0, 1), 250.0);
    // Stop stoppies: no front brake with the rear wheel in the air.
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, BIKE_FLAG_STOP_STOPPIES, 1, 0, 0), 0.0);
    EXPECT_EQ(bike_engine_front_brake(1.0, 500, BIKE_FLAG_STOP_STOPPIES, 1, 0, 1), 500.0);
    EXPECT_EQ(bike_engine_rear_brake(1.0, 250, BIKE_FLAG_REAR_ANTILOCK, 1, 9.0), 0.0);
    EXPECT_EQ(bike_engine_rear_brake(1.0, 250, BIKE_FLAG_FRONT_ANTILOCK, 1, 9.0), 250.0);
    EXPECT_EQ(bike_engine_rear_brake(2.0, 250, 0, 1, 0), 250.0); // input clamped
}

TEST(BikeEngine, StopWheeliesCutDriveUntilTheNoseDrops) {
    int f = BIKE_FLAG_STOP_WHEELIES;
    EXPECT_TRUE(bike_engine_wheelie_cut(f, 0, 1, 0.0));
    EXPECT_TRUE(bike_engine_wheelie_cut(f, 0, 1, 0.5));
    EXPECT_FALSE(bike_engine_wheelie_cut(f, 0, 1, -0.1)); // already pitching down
    EXPECT_FALSE(bike_engine_wheelie_cut(f, 1, 1, 0.5));
    EXPECT_FALSE(bike_engine_wheelie_cut(f, 0, 0, 0.5)); // both wheels in the air
    EXPECT_FALSE(bike_engine_wheelie_cut(0, 0, 1, 0.5));
    bike_engine_spec s = crf250();
    bike_engine_state e;
    bike_engine_reset(&e);
    e.omega = 8000 * RPM;
    bike_driveline_input in = drive(0.0, 0.0, 0.0f, 1.0f);
    in.cut_drive = 1;
    double before = e.omega;
    bike_engine_step(&s, &e, 51.0 / 13.0, &in, H);
    EXPECT_LE(e.omega, before) << "no positive torque while cut";
}
