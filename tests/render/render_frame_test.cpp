// Frame composition on the recording GL: pass order, the view matrix, and the overlay
// projection that no track's clipping planes can reach.
#include "render_gl_fixture.h"

#include <cmath>
#include <string>
#include <vector>

#include "render/render_frame.h"
#include "render/render_ground.h"
#include "track/track_lighting.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"

namespace {

std::vector<std::string> passes;
size_t draws_at_riders;

void riders(int pass) {
    passes.push_back("riders" + std::to_string(pass));
    if (pass == 0) draws_at_riders = fake_gl.draws.size();
}
void billboards(void) {
    passes.push_back("billboards");
}
void lines(void) {
    passes.push_back("lines");
}
void tags(void) {
    passes.push_back("tags");
}

class FrameTest : public FakeGl {
  protected:
    void SetUp() override {
        FakeGl::SetUp();
        start();
        passes.clear();
        frame_passes = {riders, billboards, lines, tags};
        lighting_defaults();
        lighting_finish();
    }
    void TearDown() override {
        frame_passes = {};
        ground_free();
        mesh_free();
        terrain_free();
        FakeGl::TearDown();
    }
};

frame_camera looking_north(float x, float y, float z) {
    frame_camera c = {{x, y, z}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 60};
    return c;
}

TEST_F(FrameTest, PassesInOrder) {
    ASSERT_EQ(terrain_create(3, 4.0f, nullptr), 1);
    frame_camera cam = looking_north(32, 10, 60);
    frame_draw(&cam, 640, 480);
    std::vector<std::string> want = {"riders0", "billboards", "riders1", "lines", "tags"};
    EXPECT_EQ(passes, want);
    // Sky strips first, then the ground's triangles, all before the riders.
    ASSERT_GE(draws_at_riders, 6u);
    EXPECT_EQ(fake_gl.draws[0].mode, (GLenum)GL_TRIANGLE_STRIP);
    bool ground = false;
    for (size_t i = 0; i < draws_at_riders; i++)
        ground |= fake_gl.draws[i].mode == GL_TRIANGLES;
    EXPECT_TRUE(ground);
}

TEST_F(FrameTest, ViewMatrixPutsTheEyeAtTheOrigin) {
    frame_camera cam = {{5, 6, 7}, {0, 0, -1, 0, 1, 0, 1, 0, 0}, 60};
    float m[16];
    frame_view_matrix(&cam, 1, m);
    const float p[3] = {5, 6, 7};
    for (int r = 0; r < 3; r++)
        EXPECT_NEAR(m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r], 0, 1e-5);
    // A point ahead (along -back = -x) lands on the -z axis of the eye.
    const float q[3] = {4, 6, 7};
    EXPECT_NEAR(m[2] * q[0] + m[6] * q[1] + m[10] * q[2] + m[14], -1, 1e-5);
}

TEST_F(FrameTest, OverlayIgnoresClippingPlanes) {
    lighting.near_plane = 0.875f;
    lighting.far_plane = 1.0f;
    frame_overlay_projection(800, 600);
    zvglMatrixMode(GL_PROJECTION);
    std::vector<float> a(zvglGetMatrix(), zvglGetMatrix() + 16);
    lighting.near_plane = 0.01f;
    lighting.far_plane = 100000;
    frame_overlay_projection(800, 600);
    zvglMatrixMode(GL_PROJECTION);
    std::vector<float> b(zvglGetMatrix(), zvglGetMatrix() + 16);
    EXPECT_EQ(a, b);
    // A HUD element at depth 0 stays inside the clip volume.
    EXPECT_NEAR(b[10] * 0 + b[14], 0, 1e-6);
}

} // namespace
