// The compact state: field layout, clamping, and decode rebuilding all seven bodies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike_test_world.h"
#include "track/track_terrain.h"

namespace {

class BikeState : public ::testing::Test {
  protected:
    void TearDown() override { test_world_end(); }
};

// A bike in a lively pose: moving, steered, suspension working, wheels turned.
bike_record *lively_bike(void) {
    test_world_ramp(0.15f, 70);
    bike_record *b = bike_create(0, "crf250(2016)", 1);
    bike_place(b, 50, 60, -1.2);
    for (int i = 0; i < BIKE_BODIES; i++)
        dBodySetLinearVel(b->body[i], 25, 0, -10);
    dBodySetAngularVel(b->body[BIKE_FORK_UPPER], 0, 0.5, 0);
    test_world_run(150);
    return b;
}

TEST_F(BikeState, EncodeDecodeReproducesPoseAndJoints) {
    bike_record *b = lively_bike();
    ASSERT_FALSE(bike_crashed(b));
    uint8_t s1[BIKE_STATE_SIZE];
    bike_encode(b, s1);

    bike_record *c = bike_create(1, "crf250(2016)", 0);
    bike_decode(c, s1, nullptr, 0);
    double step = terrain.extent / 16777215.0;
    const dReal *p1 = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *p2 = dBodyGetPosition(c->body[BIKE_FRAME]);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(p1[k], p2[k], step) << k;

    struct {
        int joint;
        double byte_step;
    } checks[] = {{BIKE_JOINT_STEER, (M_PI / 2) / 255},
                  {BIKE_JOINT_SWINGARM, 0.530304 / 255 * 2}, // bit 0 is forced: two steps
                  {BIKE_JOINT_FRONT_AXLE, 2 * M_PI / 255},
                  {BIKE_JOINT_REAR_AXLE, 2 * M_PI / 255}};
    for (auto &ck : checks) {
        double a = dJointGetHingeAngle(b->joint[ck.joint]);
        double d = dJointGetHingeAngle(c->joint[ck.joint]);
        EXPECT_NEAR(a, d, ck.byte_step) << "joint " << ck.joint;
    }
    EXPECT_NEAR(dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]),
                dJointGetSliderPosition(c->joint[BIKE_JOINT_FORK]), 2.0 / 255);
    // Every body sits where the original's does, up to the quantisation.
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *a = dBodyGetPosition(b->body[i]);
        const dReal *d = dBodyGetPosition(c->body[i]);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(a[k], d[k], 0.02) << "body " << i << " axis " << k;
    }
    // Re-encoding the rebuilt bike gives the same bytes, give or take one step.
    uint8_t s2[BIKE_STATE_SIZE];
    bike_encode(c, s2);
    for (int i = 0; i < BIKE_STATE_SIZE; i++) {
        if (i == 0 || i == 3 || i == 6 || (i >= 9 && i <= 16 && i % 2 == 1) ||
            (i >= 20 && i <= 33 && i % 2 == 0))
            continue; // low bytes of multi-byte values may move by one step
        EXPECT_LE(abs((int)s1[i] - (int)s2[i]), 1) << "byte " << i;
    }
}

TEST_F(BikeState, DecodeSetsVelocitiesFromTheOlderRecord) {
    bike_record *b = lively_bike();
    uint8_t older[BIKE_STATE_SIZE], newer[BIKE_STATE_SIZE];
    bike_encode(b, older);
    test_world_run(4);
    bike_encode(b, newer);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    double vx = v[0], vz = v[2];
    bike_record *c = bike_create(1, "crf250(2016)", 0);
    bike_decode(c, newer, older, 4);
    const dReal *w = dBodyGetLinearVel(c->body[BIKE_FRAME]);
    EXPECT_NEAR(w[0], vx, 1.0);
    EXPECT_NEAR(w[2], vz, 1.0);
    // No tics between the records: no division by zero, no velocity.
    bike_decode(c, newer, older, 0);
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *z = dBodyGetLinearVel(c->body[i]);
        const dReal *a = dBodyGetAngularVel(c->body[i]);
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(z[k], 0);
            EXPECT_EQ(a[k], 0);
        }
    }
}

TEST_F(BikeState, FieldsAreClampedAndLittleEndian) {
    test_world_flat(0, 6, 2.0f);
    bike_record *b = bike_create(0, "cr125", 1);
    // Outside the terrain on every side, joints beyond their stops, wild rider offset.
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        dBodySetPosition(b->body[i], p[0] - 1000, p[1] + 5000, p[2] + 9000);
    }
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
    dBodySetPosition(b->body[BIKE_RIDER], fp[0] + 40, fp[1] - 40, fp[2]);
    // Push the swingarm past its lower stop and the fork past full compression.
    dBodySetPosition(b->body[BIKE_REAR_WHEEL], fp[0], fp[1] + 3, fp[2] + 2.0);
    uint8_t s[BIKE_STATE_SIZE];
    b->engine.omega = 1e9;
    b->ctl.throttle = 2;
    b->engine.gear = 9;
    bike_encode(b, s);
    EXPECT_EQ(s[0] | s[1] << 8 | s[2] << 16, 0);        // x clamped to 0
    EXPECT_EQ(s[3] | s[4] << 8 | s[5] << 16, 16777215); // y clamped to the top
    EXPECT_EQ(s[6] | s[7] << 8 | s[8] << 16, 16777215); // z clamped to S
    EXPECT_EQ(s[20] | s[21] << 8, 65535);               // +40 clamps to +16
    EXPECT_EQ(s[22] | s[23] << 8, 0);                   // -40 clamps to -16
    EXPECT_EQ(s[18] & 1, 1);
    EXPECT_EQ(s[19] & 1, 0);
    EXPECT_EQ(s[36] & 7, 6);
    EXPECT_EQ(s[36] >> 4, 15);
    EXPECT_EQ(s[37] | s[38] << 8, 65535);

    b->crash_timer = 512;
    bike_encode(b, s);
    EXPECT_EQ(s[36] & 7, 7);
    EXPECT_EQ(s[36] >> 4, 15);
    b->crash_timer = 60;
    bike_encode(b, s);
    EXPECT_EQ(s[36] >> 4, (15 * 60 - 15) / 127);
    b->crash_timer = 0;
}

TEST_F(BikeState, OvershootingStopsStayInTheByte) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    // Swingarm rotated beyond its travel: the byte must not wrap around.
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -0.8);
    dBodySetRotation(b->body[BIKE_SWINGARM], r);
    ASSERT_LT(dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]), -0.530304);
    uint8_t s[BIKE_STATE_SIZE];
    bike_encode(b, s);
    EXPECT_EQ(s[18], 1);
    // Fork beyond full compression.
    const dReal *p = dBodyGetPosition(b->body[BIKE_FORK_LOWER]);
    dBodySetPosition(b->body[BIKE_FORK_LOWER], p[0], p[1] + 1.2, p[2] + 0.6);
    ASSERT_LT(dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]), -1.0);
    bike_encode(b, s);
    EXPECT_EQ(s[19], 0);
}

TEST_F(BikeState, DecodeRaisesABuriedBikeAndFollowsCrashState) {
    test_world_flat(0, 6, 2.0f);
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    bike_move(b, 0, -2, 0);
    uint8_t s[BIKE_STATE_SIZE];
    bike_encode(b, s);
    bike_record *c = bike_create(1, "cr125", 0);
    bike_decode(c, s, nullptr, 0);
    EXPECT_GE(dBodyGetPosition(c->body[BIKE_REAR_WHEEL])[1], 0.75 - 1e-6);

    bike_crash(b);
    bike_encode(b, s);
    bike_decode(c, s, nullptr, 0);
    EXPECT_TRUE(bike_crashed(c));
    EXPECT_EQ(dJointGetBody(c->joint[BIKE_JOINT_RIDER], 0), nullptr);
    b->crash_timer = 0;
    bike_put_rider_on(b);
    bike_encode(b, s);
    bike_decode(c, s, nullptr, 0);
    EXPECT_FALSE(bike_crashed(c));
    EXPECT_EQ(dJointGetBody(c->joint[BIKE_JOINT_RIDER], 0), c->body[BIKE_RIDER]);
}

} // namespace
