// Height and normal queries against a brute-force evaluation, the triangle split, edges,
// hostile coordinates, the changed-block map and its texture sync.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "track/track_hooks.h"
#include "track/track_terrain.h"

namespace {

// Plane through three points (x, h, z) evaluated at (x, z), and its upward normal with y = s^2.
struct brute_plane {
    double h, nx, ny, nz;
};

brute_plane brute_eval(const std::vector<float> &H, int size, double s, double x, double z) {
    auto at = [&](long i, long k) {
        i = i < 0 ? 0 : (i > size - 1 ? size - 1 : i);
        k = k < 0 ? 0 : (k > size - 1 ? size - 1 : k);
        return (double)H[i + k * size];
    };
    double u = x / s, w = z / s;
    long i = (long)std::floor(u), k = (long)std::floor(w);
    double fu = u - i, fw = w - k;
    // Corners of the triangle holding the point, as (u, w, h).
    double p[3][3];
    auto set = [&](int n, long ci, long ck) {
        p[n][0] = (double)ci;
        p[n][1] = (double)ck;
        p[n][2] = at(ci, ck);
    };
    if (((i + k) & 1) == 0) {
        if (fw <= fu) {
            set(0, i, k);
            set(1, i + 1, k);
            set(2, i + 1, k + 1);
        } else {
            set(0, i, k);
            set(1, i + 1, k + 1);
            set(2, i, k + 1);
        }
    } else {
        if (fu + fw <= 1) {
            set(0, i, k);
            set(1, i + 1, k);
            set(2, i, k + 1);
        } else {
            set(0, i + 1, k);
            set(1, i + 1, k + 1);
            set(2, i, k + 1);
        }
    }
    // Solve h = a + b u + c w through the three corners (Cramer's rule).
    double e1u = p[1][0] - p[0][0], e1w = p[1][1] - p[0][1], e1h = p[1][2] - p[0][2];
    double e2u = p[2][0] - p[0][0], e2w = p[2][1] - p[0][1], e2h = p[2][2] - p[0][2];
    double det = e1u * e2w - e2u * e1w;
    double b = (e1h * e2w - e2h * e1w) / det; // dh/du
    double c = (e1u * e2h - e2u * e1h) / det; // dh/dw
    brute_plane r;
    r.h = p[0][2] + b * (u - p[0][0]) + c * (w - p[0][1]);
    r.nx = -(b / s) * s * s;
    r.ny = s * s;
    r.nz = -(c / s) * s * s;
    return r;
}

class TerrainTest : public ::testing::Test {
  protected:
    void TearDown() override { terrain_free(); }
};

TEST_F(TerrainTest, MillionRandomPointsMatchBruteForce) {
    const int n = 5; // 65 x 65 heights
    const int size = (1 << (n + 1)) + 1;
    const float s = 1.75f;
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> hd(-40.0f, 90.0f);
    std::vector<float> H((size_t)size * size);
    for (float &h : H)
        h = hd(rng);
    ASSERT_EQ(terrain_create(n, s, H.data()), 1);
    ASSERT_EQ(terrain.size, size);
    const float extent = terrain.extent;
    // Mostly inside, some outside on every side.
    std::uniform_real_distribution<float> cd(-0.1f * extent, 1.1f * extent);
    double worst_h = 0, worst_n = 0;
    for (int i = 0; i < 1000000; i++) {
        float x = cd(rng), z = cd(rng);
        brute_plane b = brute_eval(H, size, s, x, z);
        double h = terrain_height(x, z);
        float nrm[3];
        terrain_normal(x, z, nrm);
        worst_h = std::max(worst_h, std::fabs(h - b.h));
        double dn = std::max(
            {std::fabs(nrm[0] - b.nx), std::fabs(nrm[1] - b.ny), std::fabs(nrm[2] - b.nz)});
        // Relative to the size of the normal's components (they scale with slope times s).
        double scale = std::max({1.0, std::fabs(b.nx), std::fabs(b.nz)});
        worst_n = std::max(worst_n, dn / scale);
    }
    EXPECT_LT(worst_h, 1e-5);
    EXPECT_LT(worst_n, 1e-5);
}

TEST_F(TerrainTest, GridElementsEdgesAndTriangleSplit) {
    const int n = 1; // 5 x 5
    const int size = 5;
    std::vector<float> H(size * size);
    for (int k = 0; k < size; k++)
        for (int i = 0; i < size; i++)
            H[i + k * size] = (float)(i * 10 + k * k);
    ASSERT_EQ(terrain_create(n, 2.0f, H.data()), 1);
    // Exactly on grid elements.
    for (int k = 0; k < size; k++)
        for (int i = 0; i < size; i++)
            EXPECT_FLOAT_EQ(terrain_height(i * 2.0f, k * 2.0f), H[i + k * size]) << i << "," << k;
    // Left of the grid: column 0 heights with the z interpolation.
    EXPECT_FLOAT_EQ(terrain_height(-3.0f, 3.0f), 0.5f * (H[0 + 1 * size] + H[0 + 2 * size]));
    EXPECT_FLOAT_EQ(terrain_height(100.0f, 0.0f), H[4]);

    // Even cell (0,0) at (fu, fw) = (0.25, 0.75) is in the triangle above the diagonal:
    // corners (0,0), (1,1), (0,1). Make the two triangles differ to tell them apart.
    std::vector<float> F(size * size, 0.0f);
    F[1 + 0 * size] = 8.0f; // H(1,0) only in the lower triangle
    ASSERT_EQ(terrain_create(n, 2.0f, F.data()), 1);
    EXPECT_FLOAT_EQ(terrain_height(0.5f, 1.5f), 0.0f);
    EXPECT_GT(terrain_height(1.5f, 0.5f), 0.0f);
    // Odd cell (1,0): split along (2,0)-(1,1); H(1,0) is a corner of the lower triangle only.
    EXPECT_GT(terrain_height(2.2f, 0.2f), 0.0f);
    EXPECT_FLOAT_EQ(terrain_height(3.8f, 1.8f), 0.0f);
    float nrm[3];
    terrain_normal(0.5f, 1.5f, nrm);
    EXPECT_FLOAT_EQ(nrm[0], 0.0f);
    EXPECT_FLOAT_EQ(nrm[1], 4.0f);
    EXPECT_FLOAT_EQ(nrm[2], 0.0f);
    // Lower triangle of cell (0,0): rises from 0 to 8 along x over one spacing, falls along z.
    terrain_normal(1.5f, 0.5f, nrm);
    EXPECT_FLOAT_EQ(nrm[0], -8.0f * 2.0f);
    EXPECT_FLOAT_EQ(nrm[1], 4.0f);
    EXPECT_FLOAT_EQ(nrm[2], 8.0f * 2.0f);
}

TEST_F(TerrainTest, HostileCoordinatesClampOntoTheEdge) {
    const int size = 9;
    std::vector<float> H(size * size);
    for (int i = 0; i < size * size; i++)
        H[i] = (float)i;
    ASSERT_EQ(terrain_create(2, 1.0f, H.data()), 1);
    const float inf = INFINITY;
    EXPECT_FLOAT_EQ(terrain_height(inf, inf), H[size * size - 1]);
    EXPECT_FLOAT_EQ(terrain_height(-inf, -inf), H[0]);
    EXPECT_FLOAT_EQ(terrain_height(1e30f, -1e30f), H[size - 1]);
    EXPECT_FLOAT_EQ(terrain_height(-1e30f, 3e9f), H[(size - 1) * size]);
    float h = terrain_height(NAN, NAN);
    EXPECT_TRUE(std::isfinite(h));
    float nrm[3];
    terrain_normal(NAN, 1e38f, nrm);
    EXPECT_TRUE(std::isfinite(nrm[0]) && std::isfinite(nrm[1]) && std::isfinite(nrm[2]));
    EXPECT_FLOAT_EQ(nrm[1], 1.0f);
}

TEST_F(TerrainTest, CreateRejectsBadParameters) {
    EXPECT_EQ(terrain_create(0, 1.0f, nullptr), 0);
    EXPECT_EQ(terrain_create(13, 1.0f, nullptr), 0);
    EXPECT_EQ(terrain_create(3, 0.0f, nullptr), 0);
    EXPECT_EQ(terrain_create(3, -2.0f, nullptr), 0);
    EXPECT_EQ(terrain_create(3, NAN, nullptr), 0);
    EXPECT_EQ(terrain_create(3, INFINITY, nullptr), 0);
    std::vector<float> H(17 * 17, 1.0f);
    H[20] = NAN;
    EXPECT_EQ(terrain_create(3, 1.0f, H.data()), 0);
    H[20] = 2e6f;
    EXPECT_EQ(terrain_create(3, 1.0f, H.data()), 0);
    H[20] = -1e6f;
    EXPECT_EQ(terrain_create(3, 1.0f, H.data()), 1);
    EXPECT_FLOAT_EQ(terrain.bottom, -1e6f);
    terrain_free();
    EXPECT_EQ(terrain_create(3, 0.0001f, nullptr), 0);
    EXPECT_EQ(terrain_create(3, 20000.0f, nullptr), 0);
    EXPECT_FALSE(terrain_present());
    ASSERT_EQ(terrain_create(3, 0.5f, nullptr), 1);
    EXPECT_EQ(terrain.size, 17);
    EXPECT_FLOAT_EQ(terrain.extent, 8.0f);
    EXPECT_FLOAT_EQ(terrain.double_spacing, 1.0f);
    EXPECT_FLOAT_EQ(terrain_height(3.3f, 2.1f), 0.0f);
}

std::vector<int> synced_x, synced_y;
void record_update(unsigned, const float *, int, int x, int y, int, int) {
    synced_x.push_back(x);
    synced_y.push_back(y);
}

TEST_F(TerrainTest, ChangedBlocksAreSyncedCyclicallyWithinTheBudget) {
    ASSERT_EQ(terrain_create(8, 1.0f, nullptr), 1); // 513 heights, 4 x 4 blocks
    EXPECT_EQ(terrain.blocks, 4);
    terrain.height_texture = 7;
    track_render.height_texture_update = record_update;
    synced_x.clear();
    synced_y.clear();
    uint32_t before = terrain.change_counter;
    terrain_mark_changed(120, 10, 130, 12);   // straddles blocks 0 and 1 of row 0
    terrain_mark_changed(600, 600, 700, 700); // clamps into the last block
    EXPECT_EQ(terrain.change_counter, before + 2);
    EXPECT_TRUE(terrain_block_changed(0, 0));
    EXPECT_TRUE(terrain_block_changed(1, 0));
    EXPECT_TRUE(terrain_block_changed(3, 3));
    EXPECT_FALSE(terrain_block_changed(2, 0));
    EXPECT_EQ(terrain_sync(2), 2);
    EXPECT_EQ(terrain_sync(5), 1);
    EXPECT_EQ(terrain_sync(5), 0);
    ASSERT_EQ(synced_x.size(), 3u);
    EXPECT_EQ(synced_x[0], 0);
    EXPECT_EQ(synced_x[1], 128);
    EXPECT_EQ(synced_x[2], 384);
    EXPECT_EQ(synced_y[2], 384);
    EXPECT_FALSE(terrain_block_changed(3, 3));
    terrain_mark_changed(0, 0, 512, 512);
    terrain_sync_all();
    EXPECT_EQ(synced_x.size(), 3u + 16u);
    track_render.height_texture_update = nullptr;
    terrain.height_texture = 0;
}

} // namespace
