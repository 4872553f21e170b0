// Suspension laws: the rear linkage curve, the fork force and the shock torque.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike_test_world.h"

namespace {

const bike_model *crf(void) {
    return bike_model_get(bike_model_find("crf250(2007)"));
}

TEST(BikeSuspension, LinkageCurvePassesItsPoints) {
    const float *l = crf()->linkage;
    EXPECT_NEAR(bike_linkage_curve(l, 0).s, 0, 1e-9);
    EXPECT_NEAR(bike_linkage_curve(l, 0.75).s, 0.283652, 1e-6);
    EXPECT_NEAR(bike_linkage_curve(l, 1).s, 0.413386, 1e-6);
    EXPECT_NEAR(bike_linkage_curve(l, 0).leverage, 0.315039, 1e-6);
    EXPECT_NEAR(bike_linkage_curve(l, 0.75).leverage, 0.460479, 1e-6);
    EXPECT_NEAR(bike_linkage_curve(l, 1).leverage, 0.607049, 1e-6);
    // Out of range fractions clamp; the curve rises monotonically and its slope is the leverage.
    EXPECT_NEAR(bike_linkage_curve(l, 2).s, 0.413386, 1e-6);
    EXPECT_NEAR(bike_linkage_curve(l, -1).s, 0, 1e-9);
    double prev = -1;
    for (int i = 0; i <= 100; i++) {
        double x = i / 100.0;
        bike_linkage c = bike_linkage_curve(l, x);
        EXPECT_GT(c.s, prev);
        prev = c.s;
        if (i > 0 && i < 100 && i != 75) {
            double h = 1e-6;
            double num =
                (bike_linkage_curve(l, x + h).s - bike_linkage_curve(l, x - h).s) / (2 * h);
            EXPECT_NEAR(c.leverage, num, 1e-5) << x;
        }
    }
}

TEST(BikeSuspension, ForceIsZeroAtFullExtensionAndSteepNearBottom) {
    bike_applied a;
    bike_applied_defaults(&a, crf());
    double T = crf()->fork_travel;
    EXPECT_EQ(bike_fork_force(&a, T, 0, 0), 0);
    EXPECT_EQ(bike_fork_force(&a, T, 0, -5), 0);
    // Top-out ramps the force in over the first 1/32 of travel.
    double g0 = a.fork_air_gap, q = T / 64;
    double raw =
        (a.fork_preload + q) * a.fork_spring + (pow((g0 + T) / (g0 + T - q), 1.4) - 1) * 82.46169;
    EXPECT_NEAR(bike_fork_force(&a, T, -q, 0), 0.5 * raw, 1e-6);
    // Static force at half travel: preload and spring plus the air spring.
    double g = a.fork_air_gap, p = -0.5;
    double expect =
        (a.fork_preload - p) * a.fork_spring + (pow((g + T) / (g + T - 0.5), 1.4) - 1) * 82.46169;
    EXPECT_NEAR(bike_fork_force(&a, T, p, 0), expect, 1e-6);
    // The air spring stiffens: the last tenth of travel adds far more than the first.
    double f0 = bike_fork_force(&a, T, -0.1, 0), f1 = bike_fork_force(&a, T, -0.2, 0);
    double f8 = bike_fork_force(&a, T, -0.9, 0), f9 = bike_fork_force(&a, T, -1.0, 0);
    EXPECT_GT(f9 - f8, 2 * (f1 - f0));
    // Less air gap (more oil): stiffer at the bottom.
    bike_applied b = a;
    b.fork_air_gap = 0.25f;
    EXPECT_GT(bike_fork_force(&b, T, -1.0, 0), f9);
    EXPECT_TRUE(std::isfinite(bike_fork_force(&a, T, -5.0, 0)));
}

TEST(BikeSuspension, DampingSignsAndBounds) {
    bike_applied a;
    bike_applied_defaults(&a, crf());
    a.fork_ls_comp = 60;
    a.fork_ls_reb = 30;
    double T = 1, p = -0.4;
    double still = bike_fork_force(&a, T, p, 0);
    // Compressing adds force, rebounding takes it away.
    EXPECT_GT(bike_fork_force(&a, T, p, -1), still);
    EXPECT_LT(bike_fork_force(&a, T, p, 1), still);
    // Slow compression: low-speed term limited to 8 times the high-speed one.
    double x = 0.01 * a.fork_hs_comp;
    EXPECT_NEAR(bike_fork_force(&a, T, p, -0.01) - still, 8 * x, 1e-9);
    // A negative low-speed factor is bounded below by x/8.
    a.fork_ls_comp = -1000;
    EXPECT_NEAR(bike_fork_force(&a, T, p, -1) - still, a.fork_hs_comp / 8, 1e-9);
}

TEST(BikeSuspension, ShockTorqueFollowsTheLinkage) {
    const bike_model *m = crf();
    bike_applied a;
    bike_applied_defaults(&a, m);
    EXPECT_EQ(bike_shock_torque(&a, m->linkage, 0, 0), 0);
    double theta = -0.75 * m->linkage[2];
    double expect = m->linkage[5] * ((a.shock_preload + m->linkage[0]) * a.shock_spring);
    EXPECT_NEAR(bike_shock_torque(&a, m->linkage, theta, 0), expect, 1e-3);
    // Compressing (angle falling) pushes back harder; rebounding softer.
    double still = bike_shock_torque(&a, m->linkage, theta, 0);
    EXPECT_GT(bike_shock_torque(&a, m->linkage, theta, -1), still);
    EXPECT_LT(bike_shock_torque(&a, m->linkage, theta, 1), still);
    // Beyond full travel the curve's end holds.
    EXPECT_NEAR(bike_shock_torque(&a, m->linkage, -1.0, 0),
                bike_shock_torque(&a, m->linkage, -m->linkage[2], 0), 1e-6);
}

// A push is handed to the bodies as forces, not solved as a motor row: one step from a settled
// bike's state must move every body as the motor the law names (target 100, limit |F|) would.
TEST(BikeSuspension, PushGivenAsForcesMovesTheBodiesAsTheMotorWould) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(2 * 128);
    dJointID fork = b->joint[BIKE_JOINT_FORK], arm = b->joint[BIKE_JOINT_SWINGARM];
    dJointGroupEmpty(bike_world.contacts);
    struct saved {
        dReal pos[3], quat[4], lin[3], ang[3];
    } s[BIKE_BODIES];
    for (int i = 0; i < BIKE_BODIES; i++) {
        dBodyID body = b->body[i];
        memcpy(s[i].pos, dBodyGetPosition(body), sizeof s[i].pos);
        memcpy(s[i].quat, dBodyGetQuaternion(body), sizeof s[i].quat);
        memcpy(s[i].lin, dBodyGetLinearVel(body), sizeof s[i].lin);
        memcpy(s[i].ang, dBodyGetAngularVel(body), sizeof s[i].ang);
    }
    auto restore = [&] {
        for (int i = 0; i < BIKE_BODIES; i++) {
            dBodyID body = b->body[i];
            dBodySetPosition(body, s[i].pos[0], s[i].pos[1], s[i].pos[2]);
            dBodySetQuaternion(body, s[i].quat);
            dBodySetLinearVel(body, s[i].lin[0], s[i].lin[1], s[i].lin[2]);
            dBodySetAngularVel(body, s[i].ang[0], s[i].ang[1], s[i].ang[2]);
            dBodySetForce(body, 0, 0, 0);
            dBodySetTorque(body, 0, 0, 0);
        }
    };
    double f = bike_fork_force(&b->applied, b->m->fork_travel, dJointGetSliderPosition(fork),
                               dJointGetSliderPositionRate(fork));
    double t = bike_shock_torque(&b->applied, b->m->linkage, dJointGetHingeAngle(arm),
                                 dJointGetHingeAngleRate(arm));
    ASSERT_GT(f, 0); // both springs hold the bike up
    ASSERT_GT(t, 0);

    auto step = [&](bool as_motors, saved *out) {
        restore();
        if (as_motors) {
            dJointSetSliderParam(fork, dParamVel, 100);
            dJointSetSliderParam(fork, dParamFMax, f);
            dJointSetHingeParam(arm, dParamVel, 100);
            dJointSetHingeParam(arm, dParamFMax, t);
        } else {
            bike_suspension_motors(b);
            EXPECT_EQ(dJointGetSliderParam(fork, dParamFMax), 0) << "the fork's push is a motor";
            EXPECT_EQ(dJointGetHingeParam(arm, dParamFMax), 0) << "the shock's push is a motor";
        }
        dWorldStep(bike_world.world, bike_tic);
        dJointGroupEmpty(bike_world.contacts);
        for (int i = 0; i < BIKE_BODIES; i++) {
            memcpy(out[i].lin, dBodyGetLinearVel(b->body[i]), sizeof out[i].lin);
            memcpy(out[i].ang, dBodyGetAngularVel(b->body[i]), sizeof out[i].ang);
        }
    };
    saved motor[BIKE_BODIES], forces[BIKE_BODIES];
    step(true, motor);
    step(false, forces);
    for (int i = 0; i < BIKE_BODIES; i++)
        for (int k = 0; k < 3; k++) {
            EXPECT_NEAR(forces[i].lin[k], motor[i].lin[k], 1e-9) << "body " << i;
            EXPECT_NEAR(forces[i].ang[k], motor[i].ang[k], 1e-9) << "body " << i;
        }
    test_world_end();
}

} // namespace
