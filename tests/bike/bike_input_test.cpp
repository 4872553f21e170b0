// Controls mapping, the steering law with its aids, dab and holding forces.
#include "bike/bike_input.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double PI = 3.14159265358979323846;
const double H = 1.0 / 128.0;

// A freshly created bike's stability values.
bike_applied fresh() {
    bike_applied a = {};
    a.leveling = 20, a.roll_damping = 60, a.roll_limit_angle = (float)(PI / 4);
    a.roll_limit_factor = 10, a.steering_damping = 45, a.steering_strength = 75;
    a.max_steering_force = 400, a.direct_steering = 1;
    a.slow_damping_speed = 0, a.slow_damping_factor = 1;
    a.land_rampup = 0.0625f, a.land_falloff = 0.25f, a.land_factor = 2;
    a.full_lock_speed = 10, a.restricted_lock_speed = 50;
    a.restricted_lock = (float)(5 * PI / 180);
    return a;
}

// Rolling on the ground at speed, upright and still.
bike_steer_state rolling(double speed) {
    bike_steer_state s = {};
    s.front_radius = 1.1667;
    s.front_rate = speed / s.front_radius;
    s.speed = speed;
    s.front_contact = 1;
    s.mu0 = 1.0;
    s.clearance = -0.05;
    return s;
}

float inputs_zero[BIKE_INPUT_CHANNELS];

} // namespace

TEST(BikeInput, ClutchLeverHalfWayAndTheQuarterSecondRelease) {
    // Lever at 0.5: target engagement 1 - 0.5 x 8/7, taken at once when lower.
    EXPECT_NEAR(bike_input_clutch_ramp(1.0f, 0.5f, H), 0.43, 0.005);
    EXPECT_EQ(bike_input_clutch_ramp(1.0f, 0.875f, H), 0.0f); // fully out from 7/8 of the lever
    // Releasing from 1 to 0 takes 0.25 s (32 tics) to full engagement.
    float c = bike_input_clutch_ramp(1.0f, 1.0f, H);
    EXPECT_EQ(c, 0.0f);
    for (int i = 0; i < 31; i++)
        c = bike_input_clutch_ramp(c, 0.0f, H);
    EXPECT_LT(c, 1.0f);
    c = bike_input_clutch_ramp(c, 0.0f, H);
    EXPECT_FLOAT_EQ(c, 1.0f);
}

TEST(BikeInput, ChannelsBecomeControlValues) {
    bike_control_values v = {};
    bike_input_latch latch = {};
    float in[BIKE_INPUT_CHANNELS] = {0.5f, 0.7f, 0.2f, 0.3f, 0.9f, 0.0f, 0.4f, 1.0f, -0.5f};
    v.clutch = 1.0f;
    EXPECT_EQ(bike_input_apply(in, 0, 0, &latch, &v, H), 1);
    EXPECT_FLOAT_EQ(v.steering, 0.5f);
    EXPECT_FLOAT_EQ(v.throttle, 0.7f);
    EXPECT_FLOAT_EQ(v.front_brake, 0.2f);
    EXPECT_FLOAT_EQ(v.rear_brake, 0.3f);
    EXPECT_FLOAT_EQ(v.sit_dab, 0.4f);
    EXPECT_FLOAT_EQ(v.back_up, 1.0f);
    EXPECT_FLOAT_EQ(v.lean, -0.5f);
    EXPECT_FLOAT_EQ(v.clutch, 1.0f);
    // Reverse steering inverts the steering channel only.
    EXPECT_EQ(bike_input_apply(in, 1, 0, &latch, &v, H), 1);
    EXPECT_FLOAT_EQ(v.steering, -0.5f);
    EXPECT_FLOAT_EQ(v.throttle, 0.7f);
    // Shift thresholds, clamping and hostile values.
    in[BIKE_INPUT_SHIFT] = 0.5f;
    EXPECT_EQ(bike_input_apply(in, 0, 0, &latch, &v, H), 0);
    in[BIKE_INPUT_SHIFT] = -0.6f;
    EXPECT_EQ(bike_input_apply(in, 0, 0, &latch, &v, H), -1);
    in[BIKE_INPUT_STEER] = 7.0f;
    in[BIKE_INPUT_THROTTLE] = NAN;
    bike_input_apply(in, 0, 0, &latch, &v, H);
    EXPECT_FLOAT_EQ(v.steering, 1.0f);
    EXPECT_FLOAT_EQ(v.throttle, 0.0f);
}

TEST(BikeInput, StickyDabTogglesOnEachPress) {
    bike_control_values v = {};
    bike_input_latch latch = {};
    float in[BIKE_INPUT_CHANNELS] = {};
    auto press = [&](float level) {
        in[BIKE_INPUT_SIT_DAB] = level;
        bike_input_apply(in, 0, 1, &latch, &v, H);
        return v.sit_dab;
    };
    EXPECT_EQ(press(0.0f), 0.0f);
    EXPECT_EQ(press(1.0f), 1.0f);
    EXPECT_EQ(press(1.0f), 1.0f) << "held: no second flip";
    EXPECT_EQ(press(0.0f), 1.0f) << "release keeps the toggle";
    EXPECT_EQ(press(0.8f), 0.0f);
    // Without sticky dab the channel passes straight through.
    in[BIKE_INPUT_SIT_DAB] = 0.25f;
    bike_input_apply(in, 0, 0, &latch, &v, H);
    EXPECT_FLOAT_EQ(v.sit_dab, 0.25f);
}

TEST(BikeInput, HoldAndCrashedValues) {
    bike_control_values v = {1, 1, 0, 0, 0.5f, 0, 0, 1, 0.5f};
    bike_input_hold(&v);
    EXPECT_EQ(v.front_brake, 1.0f);
    EXPECT_EQ(v.rear_brake, 1.0f);
    EXPECT_EQ(v.sit_dab, 1.0f);
    EXPECT_EQ(v.throttle, 0.0f);
    EXPECT_EQ(v.clutch, 0.0f);
    EXPECT_EQ(v.back_up, 0.0f);
    bike_control_values w = {1, 1, 0, 0, 0.5f, 1, 0, 1, 0.5f};
    bike_input_crashed(&w);
    EXPECT_EQ(w.throttle + w.sit_dab + w.back_up + w.lean, 0.0f);
    EXPECT_EQ(w.steering, 0.5f);
    (void)inputs_zero;
}

TEST(BikeInput, DirectSteeringDrivesTheBarsAndLeanSteeringTargetsARoll) {
    bike_applied a = fresh();
    double m = 1.0;
    bike_steer_state s = rolling(35.0);
    s.steering = 0.5;
    // Direct steering 1, upright and still: only the direct term.
    bike_steer_result r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 1.5 * 75 * 0.5, 1e-9);
    // The balance terms add: leveling x roll plus roll damping x roll rate.
    s.roll = 0.1;
    s.roll_rate = 0.2;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 1.5 * (75 * 0.5 + 20 * 0.1 + 60 * 0.2), 1e-9);
    // Direct steering 0: the input only sets a target roll rate; steering right while upright
    // asks to roll right, so the bars are pushed left with full strength.
    a.direct_steering = 0;
    s.roll = 0, s.roll_rate = 0;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 1.5 * 75, 1e-9);
    // Rolling right at the target rate: only the damping term is left.
    s.roll_rate = -(0.5 * PI / 4) * 2.5;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 1.5 * 60 * s.roll_rate, 1e-9);
    // The torque is clamped to the maximum steering force.
    a.direct_steering = 1;
    a.steering_strength = 1000;
    s.steering = 1;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 400, 1e-9);
}

TEST(BikeInput, RollLimitGrowsTheRightingTorqueBeyondTheAngle) {
    bike_applied a = fresh();
    a.roll_limit_factor = 32; // stability 100
    a.direct_steering = 0.125f;
    a.max_steering_force = 1e6;
    double m = 1.0;
    bike_steer_state s = rolling(35.0);
    s.roll = 0.7, s.roll_rate = 1.0; // inside 45 degrees, falling over
    double inside = bike_input_steer(&a, &s, &m, H).torque;
    s.roll = 1.0;
    double beyond = bike_input_steer(&a, &s, &m, H).torque;
    s.roll_rate = -1.0; // coming back up: no extra
    double back = bike_input_steer(&a, &s, &m, H).torque;
    EXPECT_GT(beyond, inside * 2);
    EXPECT_LT(back, inside);
    double c = 60 * 1.0 * (1 + 32 * (1.0 - PI / 4)) + 20 * 1.0;
    s.roll_rate = 1.0;
    bike_steer_result r = bike_input_steer(&a, &s, &m, H);
    // The lean-steering blend adds d x 0 + (1 - d) x steering strength (error above the band).
    EXPECT_NEAR(r.torque, 1.5 * (c + (1 - 0.125) * 75), 1e-3);
}

TEST(BikeInput, LandingMultiplierRampsInTheAirAndFallsAfterLanding) {
    bike_applied a = fresh();
    double m = 1.0;
    bike_steer_state air = rolling(35.0);
    air.front_contact = 0;
    for (int i = 0; i < 7; i++)
        bike_input_steer(&a, &air, &m, H);
    EXPECT_LT(m, 2.0);
    bike_input_steer(&a, &air, &m, H);
    EXPECT_DOUBLE_EQ(m, 2.0) << "ramp-up 0.0625 s reaches the factor in 8 tics";
    bike_input_steer(&a, &air, &m, H);
    EXPECT_DOUBLE_EQ(m, 2.0);
    // In the air the bars centre themselves: -50 x steering angle.
    air.steer_angle = 0.1;
    EXPECT_NEAR(bike_input_steer(&a, &air, &m, H).torque, 1.5 * -5.0, 1e-9);
    // Rolling again the multiplier decays to 1 over the falloff (0.25 s = 32 tics)...
    bike_steer_state ground = rolling(35.0);
    for (int i = 0; i < 31; i++)
        bike_input_steer(&a, &ground, &m, H);
    EXPECT_GT(m, 1.0);
    bike_input_steer(&a, &ground, &m, H);
    EXPECT_DOUBLE_EQ(m, 1.0);
    // ...and while it is raised it multiplies the roll damping.
    m = 2.0;
    ground.roll_rate = 0.1;
    bike_steer_result r = bike_input_steer(&a, &ground, &m, H);
    EXPECT_NEAR(r.torque, 1.5 * 60 * (2.0 - 1.0 / 32) * 0.1, 1e-9);
    // A front wheel barely turning counts as in the air.
    bike_steer_state slow = rolling(0.5);
    m = 1.0;
    bike_input_steer(&a, &slow, &m, H);
    EXPECT_GT(m, 1.0);
    // Ramp-up 0: the factor at once.
    a.land_rampup = 0;
    m = 1.0;
    bike_input_steer(&a, &air, &m, H);
    EXPECT_DOUBLE_EQ(m, 2.0);
}

TEST(BikeInput, LockLimitFromSpeedAndGrip) {
    bike_applied a = fresh();
    EXPECT_NEAR(bike_input_lock_limit(&a, 5.0, 1.0), PI / 4, 1e-9);
    EXPECT_NEAR(bike_input_lock_limit(&a, 10.0, 1.0), PI / 4, 1e-9);
    EXPECT_NEAR(bike_input_lock_limit(&a, 60.0, 1.0), 5 * PI / 180, 1e-6);
    // Less grip allows more lock at speed, never beyond pi/4; grip below 0.125 counts as 0.125.
    EXPECT_NEAR(bike_input_lock_limit(&a, 60.0, 0.5), 10 * PI / 180, 1e-6);
    EXPECT_NEAR(bike_input_lock_limit(&a, 60.0, 0.0), 40 * PI / 180, 1e-6);
    double mid = bike_input_lock_limit(&a, 30.0, 1.0);
    EXPECT_GT(mid, 5 * PI / 180);
    EXPECT_LT(mid, PI / 4);
}

TEST(BikeInput, LockIndicatorWithZeroRestrictedLockStaysFinite) {
    // Restricted lock 0 at speed: the limit is 0 and the indicator must not divide by it.
    bike_applied a = fresh();
    a.restricted_lock = 0;
    double lock = bike_input_lock_limit(&a, 80.0, 1.0);
    EXPECT_EQ(lock, 0.0);
    double k = bike_input_lock_indicator(80.0, lock, -0.2, 0.1, 0.0);
    EXPECT_TRUE(std::isfinite(k));
    EXPECT_EQ(k, 1.0);
    EXPECT_EQ(bike_input_lock_indicator(80.0, lock, -0.2, -0.1, 0.0), 0.0);
    // With a lock limit: leaning right, a path angle beyond x + y saturates.
    double L = 0.2;
    EXPECT_EQ(bike_input_lock_indicator(20.0, L, -0.2, 0.0, 0.0), 0.0);
    EXPECT_NEAR(bike_input_lock_indicator(20.0, L, -0.2, 0.05 + 0.05, 0.0), 0.5, 1e-9);
    EXPECT_EQ(bike_input_lock_indicator(20.0, L, -0.2, 1.0, 0.0), 1.0);
    // Bars turned right past pi/12 light it too (leaning right).
    EXPECT_NEAR(bike_input_lock_indicator(20.0, L, -0.2, 0.0, -PI / 12 - PI / 24), 0.5, 1e-9);
    // Leaning left mirrors it.
    EXPECT_NEAR(bike_input_lock_indicator(20.0, L, 0.2, -0.1, 0.0), 0.5, 1e-9);
    EXPECT_NEAR(bike_input_lock_indicator(20.0, L, 0.2, 0.0, PI / 12 + PI / 24), 0.5, 1e-9);
    // A whole steering step with zero lock stays finite.
    bike_steer_state s = rolling(80.0);
    s.travel_angle = 0.3;
    s.roll = -0.3;
    double m = 1.0;
    bike_steer_result r = bike_input_steer(&a, &s, &m, H);
    EXPECT_TRUE(std::isfinite(r.torque));
    EXPECT_TRUE(std::isfinite(r.lock_indicator));
}

TEST(BikeInput, BarsArePushedBackTowardThePathPastTheLock) {
    bike_applied a = fresh();
    double m = 1.0;
    bike_steer_state s = rolling(60.0);
    double P = bike_input_lock_limit(&a, s.front_rate * s.front_radius, 1.0);
    double S = 1.125 * P + 0.015;
    // Path angle far past S to the left: the lower limit rises to +0.25 x max force.
    s.travel_angle = S + 0.1;
    s.steering = -1; // the rider pushes the other way as hard as he can
    bike_steer_result r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, 100.0, 1e-9);
    s.travel_angle = -(S + 0.1);
    s.steering = 1;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, -100.0, 1e-9);
    // High above the ground the limits stay at the full force.
    s.clearance = 2.0;
    s.travel_angle = S + 0.1;
    s.steering = -1;
    r = bike_input_steer(&a, &s, &m, H);
    EXPECT_NEAR(r.torque, -1.5 * 75, 1e-9);
}

TEST(BikeInput, KnockCutRemovesAndFadesTheBalanceTerm) {
    bike_applied a = fresh();
    double m = 1.0;
    bike_steer_state s = rolling(35.0);
    s.roll_rate = 10.0; // balance term 600
    s.knock = 128;
    EXPECT_NEAR(bike_input_steer(&a, &s, &m, H).torque, 0.0, 1e-9);
    s.knock = 32;
    EXPECT_NEAR(bike_input_steer(&a, &s, &m, H).torque, 1.5 * 100.0, 1e-9);
    s.knock = 0;
    EXPECT_NEAR(bike_input_steer(&a, &s, &m, H).torque, 400.0, 1e-9);
}

TEST(BikeInput, SlowDampingScalesLevelingAndDamping) {
    bike_applied a = fresh();
    a.slow_damping_speed = 40;
    a.slow_damping_factor = 2;
    double m = 1.0;
    bike_steer_state s = rolling(10.0);
    s.roll = 0.1;
    double f = 2 + (10.0 / 40) * (1 - 2);
    EXPECT_NEAR(bike_input_steer(&a, &s, &m, H).torque, 1.5 * 20 * 0.1 * f, 1e-9);
}

TEST(BikeInput, TravelAngleSignAndDeadZone) {
    double sy = 0.8934, sz = 0.4493;
    double v[3] = {0.0, 0.0, -30.0};
    EXPECT_NEAR(bike_input_travel_angle(v, sy, sz), 0.0, 1e-12);
    // The wheel drifting to its left (-x) asks for the bars to turn left (positive).
    double left[3] = {-3.0, 0.0, -30.0};
    EXPECT_GT(bike_input_travel_angle(left, sy, sz), 0.05);
    double right[3] = {3.0, 0.0, -30.0};
    EXPECT_LT(bike_input_travel_angle(right, sy, sz), -0.05);
    double still[3] = {0.5, 0.1, -0.5};
    EXPECT_EQ(bike_input_travel_angle(still, sy, sz), 0.0);
}

TEST(BikeInput, ArcadeLeanRateAndSteering) {
    // Upright, steering right: roll toward -pi/4 x steering, at most 1/16 x 16 x gain.
    EXPECT_NEAR(bike_input_arcade_lean_rate(1.0, 0.0, 40), -1.5, 1e-9);
    EXPECT_NEAR(bike_input_arcade_lean_rate(1.0, 0.0, 80), -1.0, 1e-9);
    EXPECT_NEAR(bike_input_arcade_lean_rate(-1.0, 0.0, 40), 1.5, 1e-9);
    // Close to the target the rate shrinks with the error.
    EXPECT_NEAR(bike_input_arcade_lean_rate(1.0, -PI / 4 + 0.01, 40), -0.01 * 16 * 1.5, 1e-9);
    EXPECT_NEAR(bike_input_arcade_lean_rate(1.0, -PI / 4 - 0.01, 40), 0.01 * 16 * 1.5, 1e-9);
    // Steering right turns the bars right (negative angle) with the torque capped at 2/3.
    EXPECT_NEAR(bike_input_arcade_steer_torque(75, 1.0, 0, 0, 0), -50.0, 1e-9);
    EXPECT_NEAR(bike_input_arcade_steer_torque(75, 0.0, 0, 0.01, 0), 0.0, 1e-9); // dead band
    EXPECT_NEAR(bike_input_arcade_steer_torque(75, 0.0, 0.1, 0, 0),
                75 * (8 * (0.1 - 1.0 / 32) - 1.0 / 2400) / 2, 1e-9);
}

TEST(BikeInput, DabAidSpeedsAndAmounts) {
    double u = 44.0;
    EXPECT_FALSE(bike_input_dab_active(45.0, u, 0.0));
    EXPECT_TRUE(bike_input_dab_active(3.0, u, 0.0));
    // Above 15 ft/s only when leaning more than the speed's share of 45 degrees.
    EXPECT_FALSE(bike_input_dab_active(22.5, u, 0.3));
    EXPECT_TRUE(bike_input_dab_active(22.5, u, 0.5));
    EXPECT_NEAR(bike_input_dab_amount(0.0, u, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(bike_input_dab_amount(22.0, u, 0.0), 0.5, 1e-12);
    EXPECT_NEAR(bike_input_dab_amount(22.0, u, 0.8), 0.8, 1e-12) << "never below the input";
    EXPECT_NEAR(bike_input_dab_amount(60.0, u, 0.0), 0.0, 1e-12);
}

TEST(BikeInput, HoldingForcePullsTheVelocityToZero) {
    double fx, fz;
    bike_input_hold_force(0.1, 0.1, 1000, &fx, &fz);
    EXPECT_EQ(fx, 0.0) << "below 1/4 ft/s nothing";
    bike_input_hold_force(3.0, 4.0, 1000, &fx, &fz);
    EXPECT_NEAR(fx, -600.0, 1e-9);
    EXPECT_NEAR(fz, -800.0, 1e-9);
    bike_input_hold_force(0.0, -0.75, 1000, &fx, &fz);
    EXPECT_NEAR(fz, 0.4 * 1000, 1e-9);
}

TEST(BikeInput, DabForcePushesTowardUpright) {
    bike_dab_state s = {};
    s.max_dab_speed = 44;
    s.roll_limit_angle = (float)(PI / 4);
    s.back_up = 1.0; // at a standstill the lean margin is skipped while backing up
    s.roll = -0.5;   // leaning right, still
    EXPECT_EQ(bike_input_dab_force(&s), -400.0);
    s.roll = 0.5;
    EXPECT_EQ(bike_input_dab_force(&s), 400.0);
    s.roll_rate = -0.5; // already coming up faster than pi/8
    EXPECT_EQ(bike_input_dab_force(&s), 0.0);
    // Nearly upright the push fades.
    s.roll_rate = 0;
    s.roll = PI / 64;
    EXPECT_NEAR(bike_input_dab_force(&s), 400.0 * 0.5, 1e-9);
    // Stopped, not backing up, leaning past 1.25 x the limit's margin: full force.
    s.back_up = 0;
    s.roll = 1.2;
    EXPECT_EQ(bike_input_dab_force(&s), 400.0);
    // Slight lean with no steering against it: nothing.
    s.roll = 0.3;
    s.speed = 4.9;
    EXPECT_EQ(bike_input_dab_force(&s), 0.0);
    // ...unless the rider steers into the push.
    s.steering = 1.0;
    EXPECT_EQ(bike_input_dab_force(&s), 400.0);
}

TEST(BikeInput, BackUpCycle) {
    EXPECT_NEAR(bike_input_backup_cycle(0), 0.0, 1e-12);
    EXPECT_NEAR(bike_input_backup_cycle(127), 0.0, 1e-12);
    EXPECT_NEAR(bike_input_backup_cycle(128 + 63), (1 - std::cos(2 * PI * 63 / 127)) / 2, 1e-12);
    EXPECT_GT(bike_input_backup_cycle(64), 0.99);
}
