// Race view cameras and part placement.
#include <cmath>

#include <gtest/gtest.h>

#include "render/render_frame.h"
#include "render/render_view.h"

namespace {

float dot(const float *a, const float *b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

TEST(ViewLookAt, AxesOrthonormalAndLookAtTarget) {
    const float eyes[][3] = {{0, 10, 0}, {5, 2, -7}, {-3, 40, 12}, {0, 0, 0}};
    const float targets[][3] = {{10, 0, 10}, {5, 2, 7}, {-3, 0, 12.001f}, {0, -5, 0}};
    for (int i = 0; i < 4; i++) {
        frame_camera c;
        view_look_at(eyes[i], targets[i], 60, &c);
        const float *right = c.axes, *up = c.axes + 3, *back = c.axes + 6;
        EXPECT_NEAR(dot(right, right), 1, 1e-4f) << i;
        EXPECT_NEAR(dot(up, up), 1, 1e-4f) << i;
        EXPECT_NEAR(dot(back, back), 1, 1e-4f) << i;
        EXPECT_NEAR(dot(right, up), 0, 1e-4f) << i;
        EXPECT_NEAR(dot(right, back), 0, 1e-4f) << i;
        EXPECT_NEAR(dot(up, back), 0, 1e-4f) << i;
        EXPECT_GE(up[1], -1e-4f) << i; // never upside down
        // The view looks along -back, towards the target.
        float d[3] = {targets[i][0] - eyes[i][0], targets[i][1] - eyes[i][1],
                      targets[i][2] - eyes[i][2]};
        float len = std::sqrt(dot(d, d));
        EXPECT_NEAR(-dot(back, d) / len, 1, 1e-4f) << i;
        EXPECT_FLOAT_EQ(c.position[0], eyes[i][0]);
        EXPECT_FLOAT_EQ(c.fov, 60);
    }
}

TEST(ViewLookAt, EyeOnTargetStaysFinite) {
    float p[3] = {1, 2, 3};
    frame_camera c;
    view_look_at(p, p, 70, &c);
    for (float a : c.axes)
        EXPECT_TRUE(std::isfinite(a));
}

// A model vertex at the body's rest centre lands on the body; others turn with it.
TEST(ViewBodyMatrix, RestCentreMapsToBodyAndRotates) {
    // 90 degrees about +y: x -> -z, z -> x (3x4 row-major, as the physics keeps it).
    const float rot[12] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0};
    const float pos[3] = {100, 5, -20}, rest[3] = {0, 1.2f, -1.5f};
    float m[16];
    view_body_matrix(pos, rot, rest, m);
    auto apply = [&](const float v[3], float out[3]) {
        for (int r = 0; r < 3; r++)
            out[r] = m[r] * v[0] + m[4 + r] * v[1] + m[8 + r] * v[2] + m[12 + r];
    };
    float out[3];
    apply(rest, out);
    EXPECT_NEAR(out[0], 100, 1e-4f);
    EXPECT_NEAR(out[1], 5, 1e-4f);
    EXPECT_NEAR(out[2], -20, 1e-4f);
    const float ahead[3] = {1, 1.2f, -1.5f}; // one foot along +x of the rest centre
    apply(ahead, out);
    EXPECT_NEAR(out[0], 100, 1e-4f);
    EXPECT_NEAR(out[2], -21, 1e-4f);
    EXPECT_FLOAT_EQ(m[15], 1);
    EXPECT_FLOAT_EQ(m[3], 0);
}

} // namespace
