#include "core/core_camera.h"
#include "track/track_terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct camera_fixture : testing::Test {
    void TearDown() override { terrain_free(); }
    // n = 3: 17 x 17 samples; spacing 4.
    void make(float (*f)(int i, int k)) {
        std::vector<float> h(17 * 17);
        for (int k = 0; k < 17; k++)
            for (int i = 0; i < 17; i++)
                h[i + k * 17] = f(i, k);
        ASSERT_TRUE(terrain_create(3, 4.0f, h.data()));
    }
};

TEST_F(camera_fixture, flat_ground_and_no_terrain) {
    EXPECT_EQ(core_camera_ground_height(5, 5), 0.0f);
    make([](int, int) { return 7.0f; });
    EXPECT_FLOAT_EQ(core_camera_ground_height(32, 32), 7.0f);
    EXPECT_FLOAT_EQ(core_camera_ground_height(-500, 900), 7.0f); // edges continue
    EXPECT_FLOAT_EQ(core_camera_ground_height(NAN, 3), 7.0f);
}

TEST_F(camera_fixture, weights_fall_off_beyond_ten_units) {
    // One tall sample at grid (8, 8) = (32, 32).
    make([](int i, int k) { return i == 8 && k == 8 ? 100.0f : 0.0f; });
    // Brute force over the whole grid with the documented weights.
    auto expected = [](float x, float z) {
        double sum = 0, weight = 0;
        for (int k = -10; k < 27; k++)
            for (int i = -10; i < 27; i++) {
                double d = std::hypot(i * 4.0 - x, k * 4.0 - z);
                double w = d < 10 ? 1 : d < 14 ? (14 - d) / 4 : 0;
                int ci = std::clamp(i, 0, 16), ck = std::clamp(k, 0, 16);
                sum += w * (ci == 8 && ck == 8 ? 100 : 0);
                weight += w;
            }
        return (float)(sum / weight);
    };
    for (float x : {32.0f, 35.0f, 41.0f, 44.5f, 47.0f, 2.0f, 63.0f})
        EXPECT_NEAR(core_camera_ground_height(x, 33), expected(x, 33), 1e-3) << x;
    EXPECT_GT(core_camera_ground_height(32, 32), 0);
    EXPECT_EQ(core_camera_ground_height(50, 32), 0); // 18 away: beyond 10 + spacing
}

TEST_F(camera_fixture, chase_and_orbit_placement) {
    make([](int, int) { return 0.0f; });
    core_chase_input in = {};
    in.centre[0] = 30;
    in.centre[1] = 3;
    in.centre[2] = 30;
    in.heading[1] = -1; // facing -z
    in.riding = 1;
    in.distance = 10;
    in.height = 5;
    float eye[3];
    core_camera_chase(&in, eye);
    EXPECT_FLOAT_EQ(eye[0], 30);
    EXPECT_FLOAT_EQ(eye[2], 40); // behind the bike
    EXPECT_FLOAT_EQ(eye[1], 8);  // centre height + 5 beats ground + 5

    // At 30 ft/s and more the direction of travel alone counts, unless the camera is rigid.
    in.velocity[0] = 40;
    core_camera_chase(&in, eye);
    EXPECT_NEAR(eye[0], 20, 1e-4);
    EXPECT_NEAR(eye[2], 30, 1e-4);
    in.rigid = 1;
    core_camera_chase(&in, eye);
    EXPECT_NEAR(eye[2], 40, 1e-4);
    // At 20 ft/s half way between heading and travel.
    in.rigid = 0;
    in.velocity[0] = 20;
    core_camera_chase(&in, eye);
    EXPECT_NEAR(eye[0], 30 - 10 / sqrtf(2), 1e-3);
    EXPECT_NEAR(eye[2], 30 + 10 / sqrtf(2), 1e-3);

    // Orbit: yaw pi/2 puts the eye on +x; ground + 5 wins over a low height.
    make([](int, int) { return 20.0f; });
    in.riding = 0;
    in.yaw = (float)M_PI / 2;
    in.height = 1;
    core_camera_chase(&in, eye);
    EXPECT_NEAR(eye[0], 40, 1e-4);
    EXPECT_NEAR(eye[2], 30, 1e-4);
    EXPECT_FLOAT_EQ(eye[1], 25);
}

} // namespace
