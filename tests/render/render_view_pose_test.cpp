// Bikes and riders posed from the simulation: every part's model matrix follows its own body,
// the skinning bones are the bodies, and the rider view's eye sits at the rider's head, clear of
// the bike's own parts.
#include <gtest/gtest.h>

#include "support/ride_harness.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "bike/bike.h"
#include "core/core_loop.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "render/render_frame.h"
#include "render/render_view.h"
#include "track/track_terrain.h"

namespace {

class ViewPose : public ::testing::Test {
  protected:
    bike_record *b = nullptr;
    void SetUp() override {
        int n = 6, size = (1 << (n + 1)) + 1;
        std::vector<float> g((size_t)size * (size_t)size, 0.0f);
        ASSERT_TRUE(terrain_create(n, 2.0f, g.data()));
        core_settings_init();
        bike_world_destroy();
        ASSERT_TRUE(bike_world_create());
        bike_shape_register_stock();
        bike_hooks = bike_update_hooks{};
        b = bike_create(0, "crf250(2007)", 1);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(bike_place(b, 120, 120, 0.7));
    }
    void TearDown() override {
        bike_world_destroy();
        terrain_free();
    }
    // Turns the whole bike about a tilted axis and moves it, as a crash or a jump would.
    void tumble() {
        dMatrix3 r;
        dRFromAxisAndAngle(r, 0.3, 1, 0.5, 1.1);
        const dReal *c = dBodyGetPosition(b->body[BIKE_FRAME]);
        dReal centre[3] = {c[0], c[1], c[2]};
        for (int i = 0; i < BIKE_BODIES; i++) {
            const dReal *p = dBodyGetPosition(b->body[i]);
            dReal d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]};
            dReal q[3];
            for (int k = 0; k < 3; k++)
                q[k] = r[k * 4] * d[0] + r[k * 4 + 1] * d[1] + r[k * 4 + 2] * d[2];
            dBodySetPosition(b->body[i], centre[0] + q[0] + 7, centre[1] + q[1] + 3,
                             centre[2] + q[2] - 2);
            dMatrix3 mine;
            dMultiply0(mine, r, dBodyGetRotation(b->body[i]), 3, 3, 3);
            dBodySetRotation(b->body[i], mine);
        }
    }
};

void apply(const float m[16], const float v[3], float out[3]) {
    for (int r = 0; r < 3; r++)
        out[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r];
}

// Every part's model point at its rest centre lands on its body, and a point one foot off it
// along each model axis lands one foot along the body's own axis.
TEST_F(ViewPose, PartsFollowTheirBodies) {
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1) tumble();
        for (int body = 0; body < BIKE_BODIES; body++) {
            float m[16], rest[3], out[3];
            ASSERT_TRUE(view_part_matrix(b, body, m)) << body;
            view_part_rest(b, body, rest);
            apply(m, rest, out);
            const dReal *p = dBodyGetPosition(b->body[body]);
            const dReal *r = dBodyGetRotation(b->body[body]);
            for (int k = 0; k < 3; k++)
                EXPECT_NEAR(out[k], p[k], 1e-3) << "body " << body << " pass " << pass;
            for (int axis = 0; axis < 3; axis++) {
                float v[3] = {rest[0], rest[1], rest[2]};
                v[axis] += 1;
                apply(m, v, out);
                for (int k = 0; k < 3; k++)
                    EXPECT_NEAR(out[k] - p[k], r[k * 4 + axis], 1e-4) << body << " " << axis;
            }
        }
    }
    // Wheel models are built around their axle: the model origin is the wheel body's centre.
    float m[16], origin[3] = {0, 0, 0}, out[3];
    ASSERT_TRUE(view_part_matrix(b, BIKE_FRONT_WHEEL, m));
    apply(m, origin, out);
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    EXPECT_NEAR(out[0], p[0], 1e-3);
    EXPECT_NEAR(out[1], p[1], 1e-3);
    EXPECT_NEAR(out[2], p[2], 1e-3);
}

// The skinning bones carry each body's place on the bike, its position and its rotation, so a
// skinned vertex at a body's place lands on that body.
TEST_F(ViewPose, BonesAreTheBodies) {
    tumble();
    float c[21], t[21], r[63];
    ASSERT_TRUE(view_bones(b, c, t, r));
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        const dReal *rot = dBodyGetRotation(b->body[i]);
        for (int k = 0; k < 3; k++)
            EXPECT_NEAR(t[i * 3 + k], p[k], 1e-4);
        // Column-major: element (row, col) at col * 3 + row.
        for (int row = 0; row < 3; row++)
            for (int col = 0; col < 3; col++)
                EXPECT_NEAR(r[i * 9 + col * 3 + row], rot[row * 4 + col], 1e-6);
        // A vertex one foot above the body's place goes one foot along the body's y axis.
        float v[3] = {c[i * 3], c[i * 3 + 1] + 1, c[i * 3 + 2]};
        for (int row = 0; row < 3; row++) {
            float w = t[i * 3 + row];
            for (int col = 0; col < 3; col++)
                w += r[i * 9 + col * 3 + row] * (v[col] - c[i * 3 + col]);
            EXPECT_NEAR(w - p[row], rot[row * 4 + 1], 1e-4);
        }
    }
    EXPECT_FLOAT_EQ(c[BIKE_RIDER * 3 + 1], b->m->geo.rider_pos[1]);
    EXPECT_FLOAT_EQ(c[BIKE_FRONT_WHEEL * 3 + 2], b->m->geo.front_wheel_pos[2]);
}

TEST_F(ViewPose, BlownUpBodyIsNotPosed) {
    dBodySetPosition(b->body[BIKE_SWINGARM], NAN, 0, 0);
    float m[16], c[21], t[21], r[63];
    EXPECT_FALSE(view_part_matrix(b, BIKE_SWINGARM, m));
    EXPECT_FALSE(view_bones(b, c, t, r));
    EXPECT_TRUE(view_part_matrix(b, BIKE_FRAME, m));
}

// The eye sits above the bars and ahead of the rider's chest: outside the frame, fork and plate
// volumes, and looking the way the bike points.
TEST_F(ViewPose, RiderCameraAtTheHeadClearOfTheBike) {
    for (int pass = 0; pass < 2; pass++) {
        if (pass == 1) tumble();
        frame_camera cam;
        view_rider_camera(b, &cam);
        // The eye in the frame body's coordinates (model units, relative to the frame's place).
        const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
        const dReal *fr = dBodyGetRotation(b->body[BIKE_FRAME]);
        float local[3];
        for (int c = 0; c < 3; c++)
            local[c] =
                (float)(fr[c] * (cam.position[0] - fp[0]) + fr[4 + c] * (cam.position[1] - fp[1]) +
                        fr[8 + c] * (cam.position[2] - fp[2])) +
                b->m->geo.frame_pos[c];
        // The bike's parts reach up to the bar pad just above the fork's place; the eye is
        // well above that and between the wheels.
        const bike_geometry &g = b->m->geo;
        float top_of_bike = g.fork_upper_pos[1] + b->m->rider.grip[0][1] + 0.3f;
        EXPECT_GT(local[1], top_of_bike) << pass;
        EXPECT_GT(local[2], g.front_wheel_pos[2]) << pass;
        EXPECT_LT(local[2], g.rear_wheel_pos[2]) << pass;
        EXPECT_LT(std::fabs(local[0]), 0.3f) << pass;
        // Below the top of the helmet: a rider's eyes, not a camera on a pole.
        EXPECT_LT(local[1], g.rider_pos[1] + b->m->rider.head[1] + 0.4f) << pass;
        // Looks forward along the frame (-z of the bike) within the downward tilt.
        float fwd[3] = {(float)-fr[2], (float)-fr[6], (float)-fr[10]};
        float look[3] = {-cam.axes[6], -cam.axes[7], -cam.axes[8]};
        float hl = std::sqrt(fwd[0] * fwd[0] + fwd[2] * fwd[2]);
        float ll = std::sqrt(look[0] * look[0] + look[2] * look[2]);
        EXPECT_GT((fwd[0] * look[0] + fwd[2] * look[2]) / (hl * ll), 0.99f) << pass;
    }
}

// Rolled over by 30 degrees: with the gimbal off the view rolls with the bike; with it on the
// horizon stays level; a 60 degree roll is levelled by a quarter turn only.
TEST_F(ViewPose, RiderCameraGimbalLevelsTheHorizon) {
    auto roll_to = [&](double angle) {
        const dReal *c = dBodyGetPosition(b->body[BIKE_FRAME]);
        dReal centre[3] = {c[0], c[1], c[2]};
        dMatrix3 r;
        dRFromAxisAndAngle(r, 0, 0, 1, angle); // about the bike's length (it faces -z here)
        ASSERT_TRUE(bike_place(b, centre[0], centre[2], 0));
        for (int i = 0; i < BIKE_BODIES; i++) {
            const dReal *p = dBodyGetPosition(b->body[i]);
            dReal d[3] = {p[0] - centre[0], p[1] - centre[1], p[2] - centre[2]}, q[3];
            for (int k = 0; k < 3; k++)
                q[k] = r[k * 4] * d[0] + r[k * 4 + 1] * d[1] + r[k * 4 + 2] * d[2];
            dBodySetPosition(b->body[i], centre[0] + q[0], centre[1] + q[1], centre[2] + q[2]);
            dMatrix3 mine;
            dMultiply0(mine, r, dBodyGetRotation(b->body[i]), 3, 3, 3);
            dBodySetRotation(b->body[i], mine);
        }
    };
    frame_camera cam;
    roll_to(0.5236);
    core_settings_set_number(CORE_SET_FIRST_GIMBAL, 0);
    view_rider_camera(b, &cam);
    EXPECT_NEAR(std::asin(cam.axes[1]), 0.5236, 0.05) << "rolls with the bike";
    // Switched on, the levelling eases in over a second of frames instead of snapping.
    core_settings_set_number(CORE_SET_FIRST_GIMBAL, 100);
    core_loop.game_clock = 10;
    view_rider_camera(b, &cam);
    EXPECT_NEAR(std::asin(cam.axes[1]), 0.5236, 0.05) << "no snap on the first frame";
    for (int f = 1; f <= 8; f++) {
        core_loop.game_clock = 10 + f * 0.0625;
        view_rider_camera(b, &cam);
    }
    EXPECT_NEAR(std::asin(cam.axes[1]), 0.5236 / 2, 0.05) << "halfway after half a second";
    for (int f = 9; f <= 17; f++) {
        core_loop.game_clock = 10 + f * 0.0625;
        view_rider_camera(b, &cam);
    }
    EXPECT_NEAR(cam.axes[1], 0, 0.02) << "level";
    EXPECT_GT(cam.axes[4], 0.99f);
    // A pause starts the easing again.
    core_loop.game_clock += 2;
    view_rider_camera(b, &cam);
    EXPECT_NEAR(std::asin(cam.axes[1]), 0.5236, 0.05) << "eases in again after a pause";
    for (int f = 1; f <= 17; f++) {
        core_loop.game_clock += 0.0625;
        view_rider_camera(b, &cam);
    }
    roll_to(1.0472);
    core_loop.game_clock += 0.0625;
    view_rider_camera(b, &cam);
    EXPECT_NEAR(std::asin(cam.axes[1]), 1.0472 - 0.7854, 0.05) << "a quarter turn at most";
    // The view angle tips the view down; the field of view is the setting's.
    core_settings_set_number(CORE_SET_FIRST_GIMBAL, 0);
    roll_to(0);
    core_settings_set_number(CORE_SET_FIRST_ANGLE, 20);
    core_settings_set_number(CORE_SET_FOV, 90);
    view_rider_camera(b, &cam);
    EXPECT_NEAR(-cam.axes[7], std::sin(20 * 0.0174533), 0.05);
    EXPECT_FLOAT_EQ(cam.fov, 90);
    core_settings_init();
}

// The track camera frames the bike: it looks at it from beside the track and zooms so the bike
// keeps about the same size on screen at any distance.
TEST_F(ViewPose, TrackCameraFramesTheBike) {
    view_post_state post = {};
    frame_camera cam;
    view_track_camera(&post, b, &cam);
    ASSERT_TRUE(post.valid);
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    float d[3] = {(float)p[0] - cam.position[0], (float)p[1] - cam.position[1],
                  (float)p[2] - cam.position[2]};
    float dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    float look = -(d[0] * cam.axes[6] + d[1] * cam.axes[7] + d[2] * cam.axes[8]) / dist;
    EXPECT_GT(look, 0.995f);
    EXPECT_GT(dist, 20);
    // The bike's 7 ft length spans a fifth of the view or more.
    float span = 2 * dist * std::tan(cam.fov * 0.5f * 3.14159265f / 180);
    EXPECT_LT(span, 7 * 5);
    EXPECT_GT(cam.position[1], 3); // above the flat ground
    // The post stays while the bike is in reach, and moves when it is far away.
    float before[3] = {post.position[0], post.position[1], post.position[2]};
    view_track_camera(&post, b, &cam);
    EXPECT_FLOAT_EQ(post.position[0], before[0]);
    EXPECT_FLOAT_EQ(post.position[2], before[2]);
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *q = dBodyGetPosition(b->body[i]);
        dBodySetPosition(b->body[i], q[0] - 200, q[1], q[2] - 40);
    }
    view_track_camera(&post, b, &cam);
    EXPECT_NE(post.position[0], before[0]);
}

} // namespace

namespace {

// A bike standing on flat ground keeps its parts at their places on the bike (within the
// suspension's travel), so parts drawn from their bodies assemble into one bike.
TEST_F(ViewPose, SettledBikeHoldsTogether) {
    for (int i = 0; i < 200; i++)
        ride_harness_step();
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *fr = dBodyGetRotation(b->body[BIKE_FRAME]);
    const bike_geometry &g = b->m->geo;
    const float *places[BIKE_BODIES] = {g.frame_pos,      g.front_wheel_pos, g.rear_wheel_pos,
                                        g.fork_upper_pos, g.fork_lower_pos,  g.swingarm_pos,
                                        g.rider_pos};
    for (int i = 1; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        float local[3];
        for (int c = 0; c < 3; c++)
            local[c] = (float)(fr[c] * (p[0] - fp[0]) + fr[4 + c] * (p[1] - fp[1]) +
                               fr[8 + c] * (p[2] - fp[2])) +
                       g.frame_pos[c];
        float d = 0;
        for (int c = 0; c < 3; c++)
            d += (local[c] - places[i][c]) * (local[c] - places[i][c]);
        EXPECT_LT(std::sqrt(d), 1.2f) << "body " << i;
    }
}

} // namespace

namespace {

// The spectator view sits at the "3rd Person" distance and height with the field of view of the
// settings: what the graphics page changes is what the camera does.
TEST_F(ViewPose, SpectatorCameraFollowsTheThirdPersonSettings) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    auto eye_distance = [&](frame_camera *cam) {
        view_chase_camera(b, CORE_VIEW_SPECTATOR, cam);
        double dx = cam->position[0] - p[0], dz = cam->position[2] - p[2];
        return std::sqrt(dx * dx + dz * dz);
    };
    frame_camera near_cam, far_cam;
    core_settings_set_number(CORE_SET_THIRD_DISTANCE, 6);
    core_settings_set_number(CORE_SET_FOV, 60);
    double near_d = eye_distance(&near_cam);
    core_settings_set_number(CORE_SET_THIRD_DISTANCE, 30);
    core_settings_set_number(CORE_SET_THIRD_HEIGHT, 12);
    double far_d = eye_distance(&far_cam);
    EXPECT_GT(far_d, near_d * 3);
    EXPECT_GT(far_cam.position[1], near_cam.position[1] + 5);
    EXPECT_FLOAT_EQ(near_cam.fov, 60);
    // The orbit view trails the player's own bike with the settings and circles any other
    // bike at its own distance, whatever the settings say.
    frame_camera orbit;
    race.status[b->slot] = RACE_LOCAL;
    view_chase_camera(b, CORE_VIEW_ORBIT, &orbit);
    EXPECT_FLOAT_EQ(orbit.fov, 60);
    race.status[b->slot] = RACE_ROBOT_DRIVEN;
    view_chase_camera(b, CORE_VIEW_ORBIT, &orbit);
    EXPECT_FLOAT_EQ(orbit.fov, 70);
    race.status[b->slot] = RACE_LOCAL;
}

} // namespace
