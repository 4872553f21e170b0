// The seven-body bike on in-memory ground: mass models, joints, settling, crashing and getting
// back on, placement, activity, determinism.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "bike_test_world.h"
#include "race/race.h"
#include "track/track_terrain.h"

namespace {

struct body_snapshot {
    double pos[3];
    double heading;
};

double heading_of(dBodyID frame) {
    dVector3 f;
    dBodyVectorToWorld(frame, 0, 0, -1, f);
    return atan2(f[0], -f[2]);
}

body_snapshot snap(const bike_record *b) {
    body_snapshot s;
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    for (int k = 0; k < 3; k++)
        s.pos[k] = p[k];
    s.heading = heading_of(b->body[BIKE_FRAME]);
    return s;
}

class BikeWorld : public ::testing::Test {
  protected:
    void TearDown() override { test_world_end(); }
};

TEST_F(BikeWorld, MassModelsHaveCentreAtOriginAndFormulaTotals) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    ASSERT_NE(b, nullptr);
    const bike_model *m = b->m;
    double d = 1.0 / 3.0;
    double expect[BIKE_BODIES] = {
        m->frame_mass + m->rider_mass * (1 - d),
        m->geo.front_ring_mass + m->geo.front_hub_mass,
        m->geo.rear_ring_mass + m->geo.rear_hub_mass,
        m->fork_tube_mass,
        m->fork_tube_mass,
        2 * m->swingarm_side_mass,
        d * m->rider_mass,
    };
    double total = 0;
    for (int i = 0; i < BIKE_BODIES; i++) {
        dMass mass;
        dBodyGetMass(b->body[i], &mass);
        EXPECT_NEAR(mass.mass, expect[i], 1e-5) << "body " << i;
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(mass.c[k], 0, 1e-9) << "body " << i;
        // A sane inertia: positive diagonal.
        for (int k = 0; k < 3; k++)
            EXPECT_GT(mass.I[k * 4 + k], 0) << "body " << i;
        total += mass.mass;
    }
    EXPECT_NEAR(b->total_mass, total, 1e-4);

    // A heavier upper body moves mass from the frame box to the rider sphere.
    bike_set_mass_distribution(b, 0.5f);
    dMass f, r;
    dBodyGetMass(b->body[BIKE_FRAME], &f);
    dBodyGetMass(b->body[BIKE_RIDER], &r);
    EXPECT_NEAR(f.mass, m->frame_mass + m->rider_mass * 0.5, 1e-5);
    EXPECT_NEAR(r.mass, m->rider_mass * 0.5, 1e-5);
    EXPECT_NEAR(b->total_mass, total, 1e-4);
}

TEST_F(BikeWorld, WheelInertiaFavoursTheAxle) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    dMass w;
    dBodyGetMass(b->body[BIKE_FRONT_WHEEL], &w);
    // A ring in the y-z plane: the axle (x) moment is the sum of the other two.
    EXPECT_NEAR(w.I[0],
                w.I[5] + w.I[10] - 2 * 0.4 * 0.15625 * 0.25 -
                    2 * 0.4 * 0.40625 * 0.3333 * 0.3333 / 1,
                0.05);
    EXPECT_GT(w.I[0], w.I[5]);
}

TEST_F(BikeWorld, JointsStartAtZeroAndHaveFeedback) {
    test_world_flat();
    bike_record *b = bike_create(0, "kx450f(2018)", 1);
    EXPECT_NEAR(dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]), 0, 1e-9);
    EXPECT_NEAR(dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]), 0, 1e-9);
    EXPECT_NEAR(dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]), 0, 1e-9);
    EXPECT_NEAR(dJointGetHingeParam(b->joint[BIKE_JOINT_SWINGARM], dParamLoStop), -0.530304, 1e-6);
    EXPECT_NEAR(dJointGetHingeParam(b->joint[BIKE_JOINT_STEER], dParamHiStop), M_PI / 4, 1e-6);
    EXPECT_NEAR(dJointGetSliderParam(b->joint[BIKE_JOINT_FORK], dParamLoStop), -1.0, 1e-6);
    for (int i = 0; i < BIKE_JOINTS; i++)
        EXPECT_EQ(dJointGetFeedback(b->joint[i]), &b->feedback[i]);
    EXPECT_EQ(dJointGetBody(b->joint[BIKE_JOINT_RIDER], 0), b->body[BIKE_RIDER]);
    EXPECT_EQ(dJointGetBody(b->joint[BIKE_JOINT_RIDER], 1), b->body[BIKE_FRAME]);
}

TEST_F(BikeWorld, PlacementRaisesUntilFreeAndKeepsTheSharedGroupEmpty) {
    test_world_flat(3.0f);
    bike_record *b = bike_create(0, "crf250(2008)", 1);
    int raises = bike_place(b, 60, 60, 0.5);
    EXPECT_GE(raises, 1);
    EXPECT_LE(raises, 4);
    EXPECT_EQ(bike_terrain_contact(b, 1, 0), 0);
    const dReal *rw = dBodyGetPosition(b->body[BIKE_REAR_WHEEL]);
    // Tires float less than 0.3 ft above the ground.
    EXPECT_LT(rw[1] - 3.0 - (0.75 + 0.3333), 0.3);
    EXPECT_NEAR(heading_of(b->body[BIKE_FRAME]), -0.5, 1e-6);
    // Placement left no joints behind: a world step now moves nothing but gravity.
    bike_world_step();
    EXPECT_NEAR(dBodyGetLinearVel(b->body[BIKE_FRAME])[1], -32 * bike_tic, 1e-3);
}

TEST_F(BikeWorld, SettlesOnBothWheelsAndStaysPut) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(3 * 128);
    EXPECT_FALSE(bike_crashed(b));
    EXPECT_GT(b->tire[0].depth, 0);
    EXPECT_GT(b->tire[1].depth, 0);
    double fork = dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]);
    double arm = dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]);
    EXPECT_LT(fork, -0.02);
    EXPECT_GT(fork, -0.98);
    EXPECT_LT(arm, -0.01);
    EXPECT_GT(arm, -0.52);
    EXPECT_EQ(b->touched_parts & ~(BIKE_PART_FRONT_TIRE | BIKE_PART_REAR_TIRE), 0);
    body_snapshot a = snap(b);
    test_world_run(8 * 128);
    body_snapshot c = snap(b);
    double dx = c.pos[0] - a.pos[0], dz = c.pos[2] - a.pos[2];
    EXPECT_LT(sqrt(dx * dx + dz * dz), 0.1);
    EXPECT_LT(fabs(c.heading - a.heading), 0.01);
    EXPECT_FALSE(bike_crashed(b));
    EXPECT_TRUE(test_bike_finite(b));
}

TEST_F(BikeWorld, SettlesWithTheRidingStepsInstalled) {
    test_world_flat();
    test_world_riding_steps();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    // The player's default setup: dab when stopped holds a parked bike up.
    bike_setup s = {};
    bike_setup_init(&s);
    s.choice[SETUP_ARCADE] = 0;
    bike_apply_setup(b, &s);
    bike_setup_free(&s);
    bike_place(b, 60, 60, 0.7);
    test_world_run(3 * 128);
    EXPECT_FALSE(bike_crashed(b));
    EXPECT_GT(b->tire[0].depth, 0);
    EXPECT_GT(b->tire[1].depth, 0);
    EXPECT_LT(dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]), -0.02);
    EXPECT_LT(dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]), -0.01);
    body_snapshot a = snap(b);
    test_world_run(8 * 128);
    body_snapshot c = snap(b);
    double dx = c.pos[0] - a.pos[0], dz = c.pos[2] - a.pos[2];
    EXPECT_LT(sqrt(dx * dx + dz * dz), 0.1);
    EXPECT_LT(fabs(c.heading - a.heading), 0.01);
    EXPECT_LT(fabs(bike_roll(b->body[BIKE_FRAME])), 0.05);
    EXPECT_TRUE(test_bike_finite(b));
}

TEST_F(BikeWorld, MomentumCorrectionCancelsJointDrift) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(256);
    // Sum of the correction applied over one update: the frame's force accumulator.
    bike_prestep(b);
    bike_world_step();
    double fsum[3] = {0, 0, 0};
    for (int i = 0; i < BIKE_JOINTS; i++)
        for (int k = 0; k < 3; k++)
            fsum[k] += b->feedback[i].f1[k] + b->feedback[i].f2[k];
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetForce(b->body[i], 0, 0, 0);
    bike_update(b);
    const dReal *f = dBodyGetForce(b->body[BIKE_FRAME]);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(f[k], -fsum[k], 1e-6);
    // With the rider off, no correction is made.
    bike_crash(b);
    bike_prestep(b);
    bike_world_step();
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetForce(b->body[i], 0, 0, 0);
    bike_update(b);
    f = dBodyGetForce(b->body[BIKE_FRAME]);
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(f[k], 0);
}

TEST_F(BikeWorld, RiderStoppedFastAgainstTheFrameCrashes) {
    test_world_flat();
    bike_record *b = bike_create(0, "yz250f(2017)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(128);
    ASSERT_FALSE(bike_crashed(b));
    // The bike races on at 50 ft/s while its rider is held: 50 ft/s relative.
    for (int i = 0; i < BIKE_BODIES; i++)
        if (i != BIKE_RIDER) dBodySetLinearVel(b->body[i], 0, 0, -50);
    bike_update(b);
    EXPECT_TRUE(bike_crashed(b));
    EXPECT_EQ(b->crash_count, 1);
    EXPECT_EQ(b->crash_timer, 512);
    EXPECT_EQ(dJointGetBody(b->joint[BIKE_JOINT_RIDER], 0), nullptr);
}

TEST_F(BikeWorld, RelativeSpeedBelowThresholdDoesNotCrash) {
    test_world_flat();
    bike_record *b = bike_create(0, "yz250f(2017)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(128);
    for (int i = 0; i < BIKE_BODIES; i++)
        if (i != BIKE_RIDER) dBodySetLinearVel(b->body[i], 0, 0, -40);
    // Keep the acceleration test quiet: the history says the rider was already at rest.
    bike_update(b);
    EXPECT_FALSE(bike_crashed(b));
}

TEST_F(BikeWorld, LandingAfterLongAirtimeLowersTheThreshold) {
    test_world_flat();
    bike_record *b = bike_create(0, "yz250f(2017)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(128);
    // A short hop (0.3 s): the limit stays at 46.5 ft/s.
    b->airborne_tic = bike_world.tic - 38;
    b->landing_tic = bike_world.tic;
    for (int i = 0; i < BIKE_BODIES; i++)
        if (i != BIKE_RIDER) dBodySetLinearVel(b->body[i], 0, 0, -35);
    bike_update(b);
    EXPECT_FALSE(bike_crashed(b));
    // 0.75 s in the air, landed this very tic: 31 ft/s is the limit.
    b->airborne_tic = bike_world.tic - 96;
    b->landing_tic = bike_world.tic;
    for (int i = 0; i < BIKE_BODIES; i++)
        if (i != BIKE_RIDER) dBodySetLinearVel(b->body[i], 0, 0, -35);
    dBodySetLinearVel(b->body[BIKE_RIDER], 0, 0, 0);
    bike_update(b);
    EXPECT_TRUE(bike_crashed(b));
}

TEST_F(BikeWorld, RiderRunningIntoAWallCrashes) {
    test_world_wall(100, 6);
    bike_record *b = bike_create(0, "crf450(2018)", 1);
    bike_place(b, 40, 60, -M_PI / 2); // facing +x, toward the wall
    test_world_run(64);
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetLinearVel(b->body[i], 70, 0, 0);
    int crashed_at = -1;
    for (int t = 0; t < 256 && crashed_at < 0; t++) {
        test_world_run(1);
        if (bike_crashed(b)) crashed_at = t;
    }
    EXPECT_GE(crashed_at, 0);
    EXPECT_TRUE(test_bike_finite(b));
}

TEST_F(BikeWorld, FallenRiderLiesStillThenIsPutBack) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(128);
    bike_crash(b);
    ASSERT_EQ(b->crash_timer, 512);
    int tics = 0, still = 0;
    while (bike_crashed(b) && tics < 20000) {
        const dReal *v = dBodyGetLinearVel(b->body[BIKE_RIDER]);
        if (sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) < 2) still++;
        test_world_run(1);
        tics++;
        ASSERT_TRUE(test_bike_finite(b)) << "tic " << tics;
    }
    EXPECT_FALSE(bike_crashed(b));
    EXPECT_GE(tics, 512);
    EXPECT_GE(still, 512);
    EXPECT_EQ(dJointGetBody(b->joint[BIKE_JOINT_RIDER], 0), b->body[BIKE_RIDER]);
    // Back in the riding pose relative to the frame.
    dVector3 rel;
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    dBodyGetPosRelPoint(b->body[BIKE_FRAME], rp[0], rp[1], rp[2], rel);
    EXPECT_NEAR(rel[0], 0, 0.05);
    EXPECT_NEAR(rel[1], 2.52, 0.05);
    EXPECT_NEAR(rel[2], 0.52, 0.05);
    // And it stays on.
    test_world_run(256);
    EXPECT_FALSE(bike_crashed(b));
}

double rider_offset(const bike_record *b, int axis) {
    dVector3 rel;
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    dBodyGetPosRelPoint(b->body[BIKE_FRAME], rp[0], rp[1], rp[2], rel);
    return rel[axis];
}

TEST_F(BikeWorld, SitAndLeanMoveTheRiderOnTheFrame) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(256);
    double y0 = rider_offset(b, 1), z0 = rider_offset(b, 2);
    // Riding pose: near the frame point (0, 2.52, 0.52), sagging a little under the rider's weight.
    EXPECT_NEAR(z0, 0.52, 0.1);
    EXPECT_NEAR(y0, 2.52, 0.4);
    b->ctl.sit_dab = 1;
    test_world_run(256);
    EXPECT_NEAR(rider_offset(b, 1) - y0, -0.5, 0.15);
    b->ctl.sit_dab = 0;
    b->ctl.lean = 0.5f;
    test_world_run(256);
    EXPECT_NEAR(rider_offset(b, 2) - z0, 0.5, 0.15);
    EXPECT_NEAR(rider_offset(b, 0), 0, 1e-3); // no sideways freedom
    EXPECT_FALSE(bike_crashed(b));
}

TEST_F(BikeWorld, AirborneAndLandingStamps) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(200);
    // The placement drop was a short flight of its own, landed long ago.
    EXPECT_GE(b->landing_tic, b->airborne_tic);
    EXPECT_LT(b->landing_tic, 64);
    bike_move(b, 0, 4, 0);
    int lifted = bike_world.tic;
    test_world_run(10);
    EXPECT_GT(b->airborne_tic, lifted);
    EXPECT_LT(b->landing_tic, b->airborne_tic);
    int airborne = b->airborne_tic;
    test_world_run(128);
    EXPECT_EQ(b->airborne_tic, airborne); // stamped once per flight
    EXPECT_GT(b->landing_tic, b->airborne_tic);
    EXPECT_LT(b->landing_tic - airborne, 128);
}

TEST_F(BikeWorld, KnockCounterAndDabPoseFade) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    b->knock = 3;
    b->ctl.dab_pose = 1;
    test_world_run(1);
    EXPECT_EQ(b->knock, 2);
    EXPECT_NEAR(b->ctl.dab_pose, 1 - 4.0 / 128, 1e-6);
    test_world_run(1);
    EXPECT_EQ(b->knock, 1);
    test_world_run(1);
    EXPECT_EQ(b->knock, 0);
    test_world_run(40);
    EXPECT_EQ(b->ctl.dab_pose, 0);
}

TEST_F(BikeWorld, FeetRideThePegsAndFallWithTheRider) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(128);
    for (int s = 0; s < 2; s++) {
        const float *peg = b->m->rider.foot_peg[s];
        dVector3 w;
        dBodyGetRelPointPos(b->body[BIKE_FRAME], peg[0], peg[1], peg[2], w);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(b->foot_pos[s][k], w[k], 1e-4);
    }
    EXPECT_LT(b->foot_pos[0][0], b->foot_pos[1][0]); // left foot on the left
    bike_crash(b);
    for (int t = 0; t < 300; t++) {
        test_world_run(1);
        for (int s = 0; s < 2; s++) {
            ASSERT_GE(b->foot_pos[s][1], 0.25f - 1e-4);
            dVector3 hip;
            const float *h = b->m->rider.hip[s];
            dBodyGetRelPointPos(b->body[BIKE_RIDER], h[0], h[1], h[2], hip);
            double d = 0;
            for (int k = 0; k < 3; k++)
                d += (b->foot_pos[s][k] - hip[k]) * (b->foot_pos[s][k] - hip[k]);
            ASSERT_LT(sqrt(d), b->m->rider.leg_length + 1.5) << "tic " << t;
        }
    }
}

TEST_F(BikeWorld, CrashTimerWaitsWhileTheRiderSlides) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(64);
    bike_crash(b);
    for (int t = 0; t < 20; t++) {
        dBodySetLinearVel(b->body[BIKE_RIDER], 10, 0, 0);
        bike_update(b);
        dJointGroupEmpty(bike_world.contacts);
    }
    EXPECT_EQ(b->crash_timer, 512);
    for (int t = 0; t < 5; t++) {
        dBodySetLinearVel(b->body[BIKE_RIDER], 0, 0, 1);
        bike_update(b);
        dJointGroupEmpty(bike_world.contacts);
    }
    EXPECT_EQ(b->crash_timer, 507);
    // Dragged along by another bike he touches, he is not sliding on his own: the wait goes on.
    for (int t = 0; t < 7; t++) {
        dBodySetLinearVel(b->body[BIKE_RIDER], 10, 0, 0);
        b->bike_contact_tic = bike_world.tic;
        bike_update(b);
        dJointGroupEmpty(bike_world.contacts);
    }
    EXPECT_EQ(b->crash_timer, 500);
    // A second crash while lying down changes nothing.
    bike_crash(b);
    EXPECT_EQ(b->crash_count, 1);
}

TEST_F(BikeWorld, ServerCrashDelaysLengthenTheWait) {
    test_world_flat();
    const int delays[2] = {100, -5};
    bike_world_set_crash_delays(delays, 2);
    EXPECT_EQ(bike_world.crash_delay[0], 100);
    EXPECT_EQ(bike_world.crash_delay[1], 0);
    EXPECT_EQ(bike_world.crash_delay[15], 0);
    const int big[1] = {10000000};
    bike_world_set_crash_delays(big, 1);
    EXPECT_EQ(bike_world.crash_delay[15], BIKE_CRASH_DELAY_MAX);
    bike_world_set_crash_delays(delays, 1);
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    b->crash_count = 40; // index clamps to 15
    bike_crash(b);
    EXPECT_EQ(b->crash_timer, 100 + 512);
}

TEST_F(BikeWorld, TenFootDropStaysFinite) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf450(2018)", 1);
    bike_place(b, 60, 60, 0.3);
    bike_move(b, 0, 10, 0);
    for (int t = 0; t < 6 * 128; t++) {
        test_world_run(1);
        ASSERT_TRUE(test_bike_finite(b)) << "tic " << t;
    }
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    EXPECT_LT(p[1], 4.0);
    EXPECT_GT(p[1], 0.0);
}

TEST_F(BikeWorld, TroubleCountsFromTheGateDrop) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(600);
    EXPECT_EQ(b->trouble, 0); // waiting at the gate
    race.gate_drop_tic = race.tic;
    test_world_run(250);
    EXPECT_EQ(b->trouble, 0);
    test_world_run(10);
    EXPECT_EQ(b->trouble, 1);
}

TEST_F(BikeWorld, ActivityDisablesAndWakes) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf250(2007)", 0);
    EXPECT_EQ(b->activity, 0);
    EXPECT_FALSE(dBodyIsEnabled(b->body[BIKE_FRAME]));
    bike_place(b, 60, 60, 0);
    bike_set_activity(b, 0);
    const dReal *p0 = dBodyGetPosition(b->body[BIKE_FRAME]);
    double y0 = p0[1];
    test_world_run(64);
    EXPECT_EQ(dBodyGetPosition(b->body[BIKE_FRAME])[1], y0);
    bike_set_activity(b, 1);
    EXPECT_TRUE(dBodyIsEnabled(b->body[BIKE_FRAME]));
    test_world_run(64);
    EXPECT_LT(dBodyGetPosition(b->body[BIKE_FRAME])[1], y0);
}

TEST_F(BikeWorld, WakingAndDozing) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 0);
    bike_wake_by_contact(b);
    EXPECT_EQ(b->activity, 1);
    EXPECT_TRUE(dBodyIsEnabled(b->body[BIKE_RIDER]));
    bike_set_activity(b, 0.1f);
    EXPECT_FALSE(dBodyIsEnabled(b->body[BIKE_RIDER]));
    bike_wake_by_contact(b);
    EXPECT_EQ(b->activity, 0.25f);
    EXPECT_FALSE(dBodyIsEnabled(b->body[BIKE_RIDER]));
    bike_set_activity(b, 0.255f);
    EXPECT_TRUE(dBodyIsEnabled(b->body[BIKE_RIDER]));
    bike_activity_decay(b);
    EXPECT_NEAR(b->activity, 0.255 - 1.0 / 128, 1e-6);
    EXPECT_FALSE(dBodyIsEnabled(b->body[BIKE_RIDER]));
    for (int i = 0; i < 100; i++)
        bike_activity_decay(b);
    EXPECT_EQ(b->activity, 0);
    bike_set_activity(b, NAN);
    EXPECT_EQ(b->activity, 0);
}

TEST_F(BikeWorld, SameScenarioTwiceGivesTheSameHash) {
    char h1[41], h2[41];
    for (int run = 0; run < 2; run++) {
        test_world_ramp(0.2f, 80);
        bike_record *b = bike_create(0, "rmz450(2016)", 1);
        bike_place(b, 60, 60, -M_PI / 2);
        bike_record *c = bike_create(1, "kx85", 1);
        bike_place(c, 60, 80, 0.2);
        for (int i = 0; i < BIKE_BODIES; i++)
            dBodySetLinearVel(b->body[i], 30, 0, 0);
        test_world_run(512);
        test_world_hash(run ? h2 : h1);
        test_world_end();
    }
    EXPECT_STREQ(h1, h2);
}

TEST_F(BikeWorld, RidingOverARampTwiceGivesTheSameHashAndStaysFinite) {
    char h[2][41];
    for (int run = 0; run < 2; run++) {
        test_world_ramp(0.3f, 90);
        test_world_riding_steps();
        bike_record *b = bike_create(0, "crf450(2018)", 1);
        bike_setup s = {};
        bike_setup_init(&s);
        s.choice[SETUP_ARCADE] = 0;
        bike_apply_setup(b, &s);
        bike_setup_free(&s);
        bike_place(b, 40, 60, -M_PI / 2);
        test_world_run(128);
        for (int t = 0; t < 1024; t++) {
            // The rider's controls each tic, as the input step hands them over.
            float in[BIKE_INPUT_CHANNELS] = {};
            in[BIKE_INPUT_THROTTLE] = t < 600 ? 1.0f : 0.0f;
            bike_input_apply_values(b, in);
            test_world_run(1);
            ASSERT_TRUE(test_bike_finite(b)) << "run " << run << " tic " << t;
        }
        EXPECT_GT(dBodyGetPosition(b->body[BIKE_FRAME])[0], 60); // it went somewhere
        test_world_hash(h[run]);
        test_world_end();
    }
    EXPECT_STREQ(h[0], h[1]);
}

TEST_F(BikeWorld, RollAngleSign) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    EXPECT_NEAR(bike_roll(b->body[BIKE_FRAME]), 0, 1e-9);
    // Rotating about the heading axis (-z) by -0.3 tips the top to the left (-x).
    const double axis[3] = {0, 0, -1};
    bike_rotate(b, axis, -0.3);
    dVector3 up;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 1, 0, up);
    ASSERT_LT(up[0], 0);
    EXPECT_NEAR(bike_roll(b->body[BIKE_FRAME]), 0.3, 1e-6);
    bike_rotate(b, axis, 0.2);
    EXPECT_NEAR(bike_roll(b->body[BIKE_FRAME]), -0.2, 1e-6);
}

} // namespace
