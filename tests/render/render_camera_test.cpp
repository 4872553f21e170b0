// Projection rule, depth linearisation, keyframed camera and lens flare placement.
#include <gtest/gtest.h>

#include <cmath>

#include "render/render_camera.h"
#include "render/render_flare.h"

namespace {

TEST(CameraProjection, WideAndPortraitWindows) {
    const float t = std::tan(30.0f * 3.14159265f / 180);
    camera_projection wide = camera_projection_for(1920, 1080, 60, 0.25f, 5000);
    EXPECT_NEAR(wide.v, 0.75f * t, 1e-6);               // the vertical view of a 4:3 screen
    EXPECT_NEAR(wide.h, 1920 * 0.75f * t / 1080, 1e-6); // wider at the sides
    EXPECT_GT(wide.h, t);

    camera_projection tall = camera_projection_for(1024, 1280, 60, 0.25f, 5000);
    EXPECT_NEAR(tall.h, t, 1e-6); // horizontal view kept
    EXPECT_NEAR(tall.v, 1280 * t / 1024, 1e-6);

    camera_projection four_three = camera_projection_for(800, 600, 60, 0.25f, 5000);
    EXPECT_NEAR(four_three.h, t, 1e-6);
    EXPECT_NEAR(four_three.v, 0.75f * t, 1e-6);

    // Degenerate planes and windows still give a usable frustum.
    camera_projection bad = camera_projection_for(0, 0, 60, 0.5f, 0.5f);
    EXPECT_GT(bad.far_plane, bad.near_plane);
    EXPECT_TRUE(std::isfinite(bad.h) && std::isfinite(bad.v));
}

TEST(CameraProjection, LineariseDepth) {
    EXPECT_NEAR(camera_linearise_depth(0, 0.25f, 5000), 0.0f, 1e-6);
    EXPECT_NEAR(camera_linearise_depth(1, 0.25f, 5000), 1.0f, 1e-5);
    // A point at eye distance 100: its depth value, back to the fraction of near..far.
    double n = 0.25, f = 5000, d = 100;
    double z = (f / (f - n)) * (1 - n / d);
    EXPECT_NEAR(camera_linearise_depth((float)z, 0.25f, 5000), (d - n) / (f - n), 1e-4);
    // Equal planes: no division by zero.
    EXPECT_TRUE(std::isfinite(camera_linearise_depth(0.5f, 1, 1)));
}

camera_keyframe key(int tic, float x, float fov = 60) {
    camera_keyframe k = {tic, {x, 0, 0}, {0, 0, 0, 1}, fov};
    return k;
}

TEST(CameraKeyframes, HermitePositionsAndEnds) {
    float p[3], q[4], fov;
    EXPECT_EQ(camera_keyframe_at(nullptr, 0, 5, p, q, &fov), 0);

    camera_keyframe line[4] = {key(0, 0), key(10, 10), key(20, 20), key(30, 30)};
    ASSERT_EQ(camera_keyframe_at(line, 4, 15, p, q, &fov), 1);
    EXPECT_NEAR(p[0], 15, 1e-5); // evenly spaced keys on a line stay on it

    camera_keyframe step[4] = {key(0, 0, 40), key(10, 0, 40), key(20, 10, 80), key(30, 10, 80)};
    camera_keyframe_at(step, 4, 15, p, q, &fov);
    EXPECT_NEAR(p[0], 5, 1e-5);
    EXPECT_NEAR(fov, 60, 1e-5);
    camera_keyframe_at(step, 4, 12.5, p, q, &fov);
    EXPECT_NEAR(p[0], 2.03125f, 1e-5);
    camera_keyframe_at(step, 4, 10, p, q, &fov); // exactly on a key
    EXPECT_NEAR(p[0], 0, 1e-6);
    camera_keyframe_at(step, 4, -5, p, q, &fov); // before the first
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(fov, 40);
    camera_keyframe_at(step, 4, 99, p, q, &fov); // after the last
    EXPECT_EQ(p[0], 10);
    EXPECT_EQ(fov, 80);

    // Two keys on one tic: no division by zero.
    camera_keyframe same[3] = {key(0, 0), key(10, 3), key(10, 7)};
    camera_keyframe_at(same, 3, 5, p, q, &fov);
    EXPECT_TRUE(std::isfinite(p[0]));
}

TEST(CameraKeyframes, QuaternionsTakeTheShortWay) {
    const float s45 = std::sin(0.25f * 3.14159265f), c45 = std::cos(0.25f * 3.14159265f);
    camera_keyframe a = key(0, 0), b = key(10, 0);
    a.quat[3] = -1;                   // identity, written in the other hemisphere
    b.quat[1] = s45, b.quat[3] = c45; // 90 degrees about y
    camera_keyframe keys[2] = {a, b};
    float p[3], q[4], fov;
    camera_keyframe_at(keys, 2, 5, p, q, &fov);
    // Halfway: 45 degrees about y, not a swing the long way round.
    const float s22 = std::sin(0.125f * 3.14159265f), c22 = std::cos(0.125f * 3.14159265f);
    EXPECT_NEAR(q[0], 0, 1e-5);
    EXPECT_NEAR(q[1], s22, 1e-5);
    EXPECT_NEAR(q[2], 0, 1e-5);
    EXPECT_NEAR(q[3], c22, 1e-5);

    // Opposite signs of one rotation: the result stays that rotation.
    camera_keyframe c = key(0, 0), d = key(10, 0);
    c.quat[3] = -1;
    camera_keyframe pair[2] = {c, d};
    camera_keyframe_at(pair, 2, 5, p, q, &fov);
    EXPECT_NEAR(std::fabs(q[3]), 1, 1e-5);

    float m[9];
    camera_quat_to_matrix(b.quat, m);
    EXPECT_NEAR(m[0], 0, 1e-5); // right axis turned onto -z
    EXPECT_NEAR(m[2], -1, 1e-5);
    EXPECT_NEAR(m[4], 1, 1e-5);
}

TEST(Flares, PlacementVisibilityAndFade) {
    const float h = 0.5f, v = 0.4f;
    float x, y;
    float ahead[3] = {0.1f, -0.1f, -1};
    ASSERT_EQ(flare_project(ahead, h, v, &x, &y), 1);
    EXPECT_FLOAT_EQ(x, 0.1f);
    EXPECT_FLOAT_EQ(y, -0.1f);
    float behind[3] = {0, 0, 1}, side[3] = {0.6f, 0, -1}, plane[3] = {0, 0, 0};
    EXPECT_EQ(flare_project(behind, h, v, &x, &y), 0);
    EXPECT_EQ(flare_project(side, h, v, &x, &y), 0);
    EXPECT_EQ(flare_project(plane, h, v, &x, &y), 0);

    int px, py;
    ASSERT_EQ(flare_pixel(0, 0, h, v, 640, 480, &px, &py), 1);
    EXPECT_EQ(px, 320);
    EXPECT_EQ(py, 240);
    EXPECT_EQ(flare_pixel(h, v, h, v, 640, 480, &px, &py), 0); // the far edge is outside

    unsigned char bright[3] = {255, 240, 224}, dull[3] = {255, 255, 223};
    EXPECT_EQ(flare_seen(bright, 1.0f, 0.25f, 5000, LIGHTING_FLARE_VECTOR, 0), 1);
    EXPECT_EQ(flare_seen(dull, 1.0f, 0.25f, 5000, LIGHTING_FLARE_VECTOR, 0), 0);
    // Covered by something near (depth fraction far below 0.4).
    EXPECT_EQ(flare_seen(bright, 0.9f, 0.25f, 5000, LIGHTING_FLARE_VECTOR, 0), 0);
    // A point flare 100 feet away behind ground 50 feet away is hidden; in the open it shows.
    double n = 0.25, f = 5000;
    float z50 = (float)((f / (f - n)) * (1 - n / 50)),
          z200 = (float)((f / (f - n)) * (1 - n / 200));
    EXPECT_EQ(flare_seen(bright, z50, 0.25f, 5000, LIGHTING_FLARE_POINT, 100), 0);
    EXPECT_EQ(flare_seen(bright, z200, 0.25f, 5000, LIGHTING_FLARE_POINT, 100), 1);

    EXPECT_FLOAT_EQ(flare_fade(0, 0, h, v), 1);
    float k = v / 32;
    EXPECT_NEAR(flare_fade(0, v - k / 2, h, v), 0.5f, 1e-4);
    EXPECT_FLOAT_EQ(flare_fade(h, 0, h, v), 0);

    float c[2];
    flare_element_centre(0, 0.5f, 0.2f, 0.1f, c); // halfway to the centre
    EXPECT_FLOAT_EQ(c[0], 0.1f);
    EXPECT_FLOAT_EQ(c[1], 0.05f);
    flare_element_centre(0, -1, 0.2f, 0.1f, c); // mirrored through the centre
    EXPECT_FLOAT_EQ(c[0], -0.2f);
    EXPECT_FLOAT_EQ(c[1], -0.1f);
}

} // namespace

namespace {

unsigned char pixel_rgb[3];
float pixel_depth;
int pixel_reads, pixel_x, pixel_y;
int fake_read(int x, int y, unsigned char rgb[3], float *depth) {
    pixel_reads++;
    pixel_x = x;
    pixel_y = y;
    for (int c = 0; c < 3; c++)
        rgb[c] = pixel_rgb[c];
    *depth = pixel_depth;
    return 1;
}

TEST(Flares, UpdateAllFromTheLighting) {
    lighting_defaults();
    lighting_parse_line("flare_element [ 0 1 ] [ 1 1 1 ] 0.1 @sun.png");
    lighting_parse_line("flare_vector [ 0 0 -1 ]");
    lighting_parse_line("flare_point [ 0 0 50 ]"); // behind the eye
    lighting_finish();
    ASSERT_EQ(lighting.flare_count, 2);
    const float eye[3] = {0, 0, 0}, axes[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    pixel_rgb[0] = pixel_rgb[1] = pixel_rgb[2] = 255;
    pixel_depth = 1; // open sky
    pixel_reads = 0;
    flare_update_all(eye, axes, 0.5f, 0.4f, 200, 100, fake_read);
    EXPECT_EQ(pixel_reads, 1); // the flare behind the eye reads nothing
    EXPECT_EQ(pixel_x, 100);
    EXPECT_EQ(pixel_y, 50);
    EXPECT_FLOAT_EQ(lighting.flares[0].visibility, 1);
    EXPECT_EQ(lighting.flares[1].visibility, 0);

    pixel_rgb[2] = 200; // a dull pixel: hidden
    flare_update_all(eye, axes, 0.5f, 0.4f, 200, 100, fake_read);
    EXPECT_EQ(lighting.flares[0].visibility, 0);
    lighting_defaults();
}

} // namespace
