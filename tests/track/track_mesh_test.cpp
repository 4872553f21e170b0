// Ground mesh on a CPU sink: root only from far away, full refinement, cracks, culling, the
// error pyramid in slices, and texture levels staying put for small moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "track/track_mesh.h"
#include "track/track_terrain.h"

namespace {

struct collected {
    std::vector<std::array<int, 6>> tris; // (x, z) element indices of the three corners
    std::vector<std::array<int, 3>> fans; // level, i, j
};

void collect(void *user, int level, int i, int j, const float *xyz, int triangles, int) {
    auto *c = (collected *)user;
    c->fans.push_back({level, i, j});
    for (int t = 0; t < triangles; t++) {
        std::array<int, 6> tri;
        for (int v = 0; v < 3; v++) {
            tri[v * 2] = (int)std::lround(xyz[t * 9 + v * 3] * terrain.inv_spacing);
            tri[v * 2 + 1] = (int)std::lround(xyz[t * 9 + v * 3 + 2] * terrain.inv_spacing);
        }
        c->tris.push_back(tri);
    }
}

class MeshTest : public ::testing::Test {
  protected:
    void make(int n, unsigned seed, float roughness) {
        int size = (1 << (n + 1)) + 1;
        std::vector<float> h((size_t)size * size);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> u(-1, 1);
        for (int z = 0; z < size; z++)
            for (int x = 0; x < size; x++)
                h[x + z * size] = 20 * std::sin(x * 0.3f) * std::cos(z * 0.2f) + roughness * u(rng);
        ASSERT_EQ(terrain_create(n, 2.0f, h.data()), 1);
        mesh_free();
    }
    void TearDown() override {
        mesh_free();
        terrain_free();
    }
    collected draw(const mesh_view &v) {
        collected c;
        mesh_sink sink = {&c, collect};
        int n = mesh_draw(&v, &sink);
        EXPECT_EQ((size_t)n, c.tris.size());
        return c;
    }
    static mesh_view view_from(float x, float y, float z, float dx, float dy, float dz) {
        mesh_view v = {};
        v.eye[0] = x, v.eye[1] = y, v.eye[2] = z;
        v.dir[0] = dx, v.dir[1] = dy, v.dir[2] = dz;
        v.ground_detail = 1;
        return v;
    }
    // Every edge is shared by exactly two triangles or lies on the grid border.
    static int cracks(const collected &c) {
        int cells = terrain.size - 1;
        std::map<std::array<int, 4>, int> edges;
        for (auto &t : c.tris)
            for (int e = 0; e < 3; e++) {
                std::array<int, 2> a = {t[e * 2], t[e * 2 + 1]};
                std::array<int, 2> b = {t[(e + 1) % 3 * 2], t[(e + 1) % 3 * 2 + 1]};
                if (b < a) std::swap(a, b);
                edges[{a[0], a[1], b[0], b[1]}]++;
            }
        int bad = 0;
        for (auto &[e, count] : edges) {
            bool border = (e[0] == e[2] && (e[0] == 0 || e[0] == cells)) ||
                          (e[1] == e[3] && (e[1] == 0 || e[1] == cells));
            if (count != (border ? 1 : 2)) bad++;
        }
        return bad;
    }
};

TEST_F(MeshTest, FarAwayOnlyTheRootFan) {
    make(4, 1, 3);
    collected c = draw(view_from(1e6f, 1e5f, 1e6f, -0.7f, -0.1f, -0.7f));
    ASSERT_EQ(c.fans.size(), 1u);
    EXPECT_EQ(c.fans[0][0], 0);
    EXPECT_EQ(c.tris.size(), 8u);
    EXPECT_EQ(cracks(c), 0);
}

TEST_F(MeshTest, FullRefinementIsTheGridTriangulation) {
    make(3, 2, 3);
    mesh_view v = view_from(16, 200, 16, 0, -1, 0);
    v.refine_all = 1;
    collected c = draw(v);
    int cells = terrain.size - 1;
    std::set<std::array<int, 6>> got, want;
    auto canon = [](std::array<int, 6> t) {
        std::array<std::array<int, 2>, 3> p = {{{t[0], t[1]}, {t[2], t[3]}, {t[4], t[5]}}};
        std::sort(p.begin(), p.end());
        return std::array<int, 6>{p[0][0], p[0][1], p[1][0], p[1][1], p[2][0], p[2][1]};
    };
    for (auto &t : c.tris)
        got.insert(canon(t));
    for (int k = 0; k < cells; k++)
        for (int i = 0; i < cells; i++) {
            if ((i + k) % 2 == 0) {
                want.insert(canon({i, k, i + 1, k, i + 1, k + 1}));
                want.insert(canon({i, k, i + 1, k + 1, i, k + 1}));
            } else {
                want.insert(canon({i, k, i + 1, k, i, k + 1}));
                want.insert(canon({i + 1, k, i + 1, k + 1, i, k + 1}));
            }
        }
    EXPECT_EQ(c.tris.size(), (size_t)(2 * cells * cells));
    EXPECT_EQ(got, want);
}

TEST_F(MeshTest, NoCracksFromRandomCameras) {
    make(4, 3, 6);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(-20, 84), height(25, 300), detail(0.1f, 8);
    int total_bad = 0, refined_frames = 0;
    for (int trial = 0; trial < 1000; trial++) {
        mesh_view v = view_from(pos(rng), height(rng), pos(rng), 0, -1, 0);
        v.ground_detail = detail(rng);
        if (trial % 3 == 0) {
            // A texture level forcing refinement around the camera.
            v.level_count = 1;
            v.levels[0] = {8, (int)(rng() % 24), (int)(rng() % 24)};
        }
        mesh_update_errors(v.ground_detail, -1);
        collected c = draw(v);
        total_bad += cracks(c);
        if (c.tris.size() > 8) refined_frames++;
    }
    EXPECT_EQ(total_bad, 0);
    EXPECT_GT(refined_frames, 500); // the test must exercise mixed levels
}

TEST_F(MeshTest, NodesBehindTheCameraAreDropped) {
    make(4, 4, 3);
    // Camera over the middle, looking along +x, just above the ground.
    mesh_view v = view_from(32, 30, 32, 1, 0, 0);
    collected ahead = draw(v);
    ASSERT_GT(ahead.tris.size(), 0u);
    for (auto &f : ahead.fans) {
        int side = 1 << (terrain.size_exp + 1 - f[0]);
        float max_x = (float)((f[1] + 1) * side) * terrain.spacing;
        EXPECT_GE(max_x, v.eye[0]) << "fan of a node wholly behind the camera";
    }
    mesh_view down = view_from(32, 30, 32, 0, -1, 0);
    collected all = draw(down);
    EXPECT_LT(ahead.tris.size(), all.tris.size());
    // Looking away from the whole grid draws nothing.
    collected none = draw(view_from(-10, 30, 32, -1, 0, 0));
    EXPECT_EQ(none.tris.size(), 0u);
}

TEST_F(MeshTest, PyramidCatchesUpInSlices) {
    make(5, 5, 4);
    ASSERT_EQ(mesh_update_errors(1, -1), 1);
    std::vector<float> before(ground_mesh.errors, ground_mesh.errors + ground_mesh.node_count);
    // Deform: a pit in one corner.
    for (int z = 0; z < 10; z++)
        for (int x = 0; x < 10; x++)
            terrain.heights[x + z * terrain.size] -= 15;
    terrain.change_counter++;
    int frames = 0;
    while (!mesh_update_errors(1, MESH_ERROR_BUDGET) && frames < 1000)
        frames++;
    EXPECT_GT(frames, 1); // more than one frame's budget
    EXPECT_LT(frames, 1000);
    std::vector<float> sliced(ground_mesh.errors, ground_mesh.errors + ground_mesh.node_count);
    mesh_free();
    ASSERT_EQ(mesh_update_errors(1, -1), 1);
    for (int i = 0; i < ground_mesh.node_count; i++)
        ASSERT_EQ(sliced[i], ground_mesh.errors[i]) << i;
    EXPECT_GT(ground_mesh.errors[0], before[0]); // the pit made the root's error larger
}

TEST_F(MeshTest, GroundDetailZeroStaysFinite) {
    make(3, 6, 3);
    ASSERT_EQ(mesh_update_errors(0, -1), 1);
    for (int i = 0; i < ground_mesh.node_count; i++)
        ASSERT_TRUE(std::isfinite(ground_mesh.errors[i]));
    mesh_view v = view_from(16, 50, 16, 0, -1, 0);
    v.ground_detail = 0;
    EXPECT_GT(draw(v).tris.size(), 0u);
}

TEST(MeshLevels, SmallMovesNeverRedraw) {
    const int size = 1025;
    for (int c : {64, 256}) {
        for (float g0 = 100; g0 < 900; g0 += 37) {
            int u = mesh_level_origin(c, g0, size), v = mesh_level_origin(c, g0 + 50, size);
            EXPECT_EQ(u % (c / 4), 0);
            EXPECT_FALSE(mesh_level_needs_redraw(c, u, v, g0, g0 + 50));
            // Anywhere within a quarter of the coverage of the level's centre: no redraw.
            float centre = u + c / 2.0f;
            for (float d = -c / 4.0f + 0.01f; d < c / 4.0f; d += c / 16.0f)
                EXPECT_FALSE(mesh_level_needs_redraw(c, u, u, centre + d, centre));
            EXPECT_TRUE(mesh_level_needs_redraw(c, u, u, centre + c / 4.0f + 1, centre));
        }
        // Origins stay on the grid.
        EXPECT_EQ(mesh_level_origin(c, -500, size), 0);
        EXPECT_EQ(mesh_level_origin(c, 5000, size), size - 1 - c);
    }
}

} // namespace
