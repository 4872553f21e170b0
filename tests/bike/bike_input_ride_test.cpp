// The engine, tire and input steps on a real bike: signs of the torques they apply, the local
// rider's controls reaching the gearbox, brakes reaching the axle motors.
#include "bike/bike_input_ride.h"
#include "bike_test_world.h"

#include <gtest/gtest.h>

#include "support/ride_harness.h"

#include <cmath>

namespace {

class BikeInputRide : public ::testing::Test {
  protected:
    bike_record *b = nullptr;
    void SetUp() override {
        test_world_flat(0, 6, 2.0f);
        bike_input_install();
        b = bike_create(0, "crf250(2007)", 1);
        ASSERT_NE(b, nullptr);
        bike_place(b, 60, 60, 0);
    }
    void TearDown() override {
        bike_hooks = bike_update_hooks{};
        test_world_end();
    }
};

} // namespace

TEST_F(BikeInputRide, InstallFillsTheThreeUpdateSteps) {
    EXPECT_EQ(bike_hooks.controls, bike_input_controls_step);
    EXPECT_EQ(bike_hooks.drivetrain, bike_engine_drivetrain_step);
    EXPECT_EQ(bike_hooks.aids, bike_input_aids_step);
}

TEST_F(BikeInputRide, LocalControlsShiftOncePerPressAndHoldAtTheGate) {
    float in[BIKE_INPUT_CHANNELS] = {0.5f, 1.0f, 0, 0, 1.0f, 0, 0, 0, 0};
    for (int i = 0; i < 20; i++)
        bike_input_apply_local(b, in, 1, 0, 0);
    EXPECT_EQ(b->engine.gear, 1);
    EXPECT_FLOAT_EQ(b->ctl.steering, -0.5f) << "reverse steering";
    EXPECT_FLOAT_EQ(b->ctl.throttle, 1.0f);
    in[BIKE_INPUT_SHIFT] = 0;
    bike_input_apply_local(b, in, 0, 0, 0);
    in[BIKE_INPUT_SHIFT] = 1;
    bike_input_apply_local(b, in, 0, 0, 0);
    EXPECT_EQ(b->engine.gear, 2);
    // The false-start hold overrides the rider and ignores the shift.
    in[BIKE_INPUT_SHIFT] = -1;
    bike_input_apply_local(b, in, 0, 0, 1);
    EXPECT_EQ(b->engine.gear, 2);
    EXPECT_EQ(b->ctl.throttle, 0.0f);
    EXPECT_EQ(b->ctl.front_brake, 1.0f);
    EXPECT_EQ(b->ctl.clutch, 0.0f);
    // Robots' values never reverse the steering.
    in[BIKE_INPUT_SHIFT] = 0;
    bike_input_apply_values(b, in);
    EXPECT_FLOAT_EQ(b->ctl.steering, 0.5f);
}

TEST_F(BikeInputRide, CrashedRidersCannotThrottleOrShift) {
    bike_crash(b);
    ASSERT_TRUE(bike_crashed(b));
    float in[BIKE_INPUT_CHANNELS] = {0, 1.0f, 0, 0, 1.0f, 0, 1.0f, 1.0f, 1.0f};
    bike_input_apply_local(b, in, 0, 0, 0);
    EXPECT_EQ(b->engine.gear, 0);
    EXPECT_EQ(b->ctl.throttle, 0.0f);
    EXPECT_EQ(b->ctl.sit_dab, 0.0f);
    EXPECT_EQ(b->ctl.lean, 0.0f);
}

TEST_F(BikeInputRide, PositiveSteeringTorqueTurnsTheBarsLeft) {
    test_world_run(64); // settle
    double before = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    for (int i = 0; i < 8; i++) {
        bike_input_steering_torque(b, 40.0);
        bike_world_step();
    }
    double after = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    EXPECT_GT(after - before, 0.01);
    // Left means the front wheel's axle swings so the wheel points toward -x.
    dVector3 fwd;
    dBodyVectorToWorld(b->body[BIKE_FRONT_WHEEL], 0, 0, -1, fwd);
    EXPECT_LT(fwd[0], 0.0);
}

TEST_F(BikeInputRide, TravelAngleAndRollRateSigns) {
    // Rolling forward, drifting to the left: the bars are asked to turn left.
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetLinearVel(b->body[i], -3.0, 0, -30.0);
    EXPECT_GT(bike_input_front_travel_angle(b), 0.05);
    // Leaning over to the left is a positive roll rate.
    dBodySetAngularVel(b->body[BIKE_FRAME], 0, 0, 0.5);
    EXPECT_NEAR(bike_input_roll_rate(b), 0.5, 1e-9);
}

TEST_F(BikeInputRide, BrakesBecomeAxleMotorsAndTheClutchDecouples) {
    test_world_run(64);
    b->ctl.front_brake = 0.5f;
    b->ctl.rear_brake = 1.0f;
    b->ctl.clutch = 0.0f;
    b->engine.omega = 900.0; // revving with the clutch in
    bike_engine_drivetrain_step(b);
    EXPECT_NEAR(dJointGetHingeParam(b->joint[BIKE_JOINT_FRONT_AXLE], dParamFMax), 125.0, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(b->joint[BIKE_JOINT_REAR_AXLE], dParamFMax), 250.0, 1e-9);
    EXPECT_EQ(dJointGetHingeParam(b->joint[BIKE_JOINT_REAR_AXLE], dParamVel), 0.0);
    EXPECT_EQ(b->engine.driveline_torque, 0.0);
    // Engaged and revving: drive reaches the wheel and the wheel spins up forward.
    b->ctl.clutch = 1.0f;
    b->ctl.throttle = 1.0f;
    b->ctl.front_brake = b->ctl.rear_brake = 0.0f;
    b->engine.omega = 7000 * 2 * M_PI / 60;
    float in[BIKE_INPUT_CHANNELS] = {0, 1.0f, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 32; i++) {
        bike_input_apply_values(b, in);
        ride_harness_step();
    }
    EXPECT_GT(dJointGetHingeAngleRate(b->joint[BIKE_JOINT_REAR_AXLE]), 5.0);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    EXPECT_LT(v[2], -1.0) << "moving forward (-z)";
}
