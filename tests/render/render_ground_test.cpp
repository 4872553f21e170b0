// Ground drawing on the recording GL: every mesh triangle reaches a draw, runs of one texture
// level are one draw, and a mesh larger than the buffer is split across uploads.
#include "render_gl_fixture.h"

#include <cmath>
#include <vector>

#include "render/render_ground.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"

namespace {

class GroundDrawTest : public FakeGl {
  protected:
    void SetUp() override {
        FakeGl::SetUp();
        start();
        zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    }
    void TearDown() override {
        ground_free();
        mesh_free();
        terrain_free();
        FakeGl::TearDown();
    }
    void make(int n) {
        int size = (1 << (n + 1)) + 1;
        std::vector<float> h((size_t)size * size);
        for (int z = 0; z < size; z++)
            for (int x = 0; x < size; x++)
                h[x + z * size] = 30 * std::sin(x * 0.21f) * std::cos(z * 0.17f);
        ASSERT_EQ(terrain_create(n, 2.0f, h.data()), 1);
        mesh_free();
    }
    int drawn_vertices(size_t from) {
        int v = 0;
        for (size_t i = from; i < fake_gl.draws.size(); i++)
            v += fake_gl.draws[i].count;
        return v;
    }
};

TEST_F(GroundDrawTest, EveryTriangleIsDrawn) {
    make(4);
    float eye[3] = {32, 40, 32}, down[3] = {0, -1, 0};
    size_t before = fake_gl.draws.size();
    int tris = ground_draw(eye, down, 4);
    ASSERT_GT(tris, 8);
    EXPECT_EQ(drawn_vertices(before), tris * 3);
    EXPECT_EQ(ground_frame_stats.triangles, tris);
    EXPECT_EQ(ground_frame_stats.buffers, 1);
    // The texture levels of this small grid: everything sits in the whole-grid level, one run.
    EXPECT_EQ(ground_frame_stats.draws, (int)(fake_gl.draws.size() - before));
    EXPECT_LE(ground_frame_stats.draws, 4);
    for (size_t i = before; i < fake_gl.draws.size(); i++)
        EXPECT_EQ(fake_gl.draws[i].mode, (GLenum)GL_TRIANGLES);
}

TEST_F(GroundDrawTest, LargeMeshSpansSeveralBuffers) {
    make(7); // 256 x 256 cells: the full grid is far more than one buffer
    float eye[3] = {256, 20, 256}, down[3] = {0, -1, 0};
    size_t before = fake_gl.draws.size();
    int tris = ground_draw(eye, down, 1000);
    ASSERT_GT(tris * 3, GROUND_BATCH_VERTICES);
    EXPECT_GE(ground_frame_stats.buffers, 2);
    EXPECT_EQ(drawn_vertices(before), tris * 3);
    for (size_t i = before; i < fake_gl.draws.size(); i++)
        EXPECT_LE(fake_gl.draws[i].first + fake_gl.draws[i].count, GROUND_BATCH_VERTICES);
}

} // namespace
