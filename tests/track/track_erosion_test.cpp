// Ground deformation: stroke decoding, the queue's bound and message, the deferral next to the
// local rider, the frame budget, volume conservation, rut depth limits and edge handling.
#include "track_fixture.h"

#include <cmath>
#include <vector>

#include "bike/bike_erosion_stroke.h"
#include "track/track_erosion.h"
#include "track/track_tiles.h"

namespace track_test {
namespace {

class Erosion : public TrackFixture {
  protected:
    void SetUp() override {
        TrackFixture::SetUp();
        ASSERT_EQ(terrain_create(6, 0.5f, nullptr), 1); // 129 x 129, extent 64
        SetUpErosion();
    }
    void SetUpErosion() {
        erosion_reset();
        erosion.full_reported = 0;
        tiles_erosion *e = &tiles.types[0].erosion;
        e->depth = 0.02f;
        e->radius = 1.5f;
        e->inner_depth = 0.01f;
        e->inner_radius = 0.75f;
        e->displacement = 1.0f;
        e->min_slope = -10.0f;
        e->max_slope = 10.0f;
        e->downhill_scale = 0.5f;
        e->limit_count = 1;
        e->limit_depth[0] = 0.0f;
        e->limit_outer[0] = 1.0f;
        e->limit_inner[0] = 1.0f;
    }
    void TearDown() override {
        erosion_reset();
        TrackFixture::TearDown();
    }

    static double volume() {
        double v = 0;
        for (int i = 0; i < terrain.size * terrain.size; i++)
            v += terrain.heights[i];
        return v;
    }
    // Queues one point at (x, z) with direction codes and weight through a 17-byte stroke.
    static void point(float x, float z, int cx, int cz, int w) {
        uint8_t s[17] = {1};
        for (int k = 1; k < 9; k += 2)
            s[k] = 0, s[k + 1] = 0x80; // bounds near 0
        unsigned qx = (unsigned)lround(x / terrain.extent * 16777215.0);
        unsigned qz = (unsigned)lround(z / terrain.extent * 16777215.0);
        s[9] = qx & 255, s[10] = qx >> 8 & 255, s[11] = qx >> 16;
        s[12] = qz & 255, s[13] = qz >> 8 & 255, s[14] = qz >> 16;
        s[15] = (uint8_t)((w & 3) | cx << 2);
        s[16] = (uint8_t)((w >> 2 & 3) | cz << 2);
        erosion_decode(s, 17);
    }
    static void drain(int tic = 0) {
        for (int guard = 0; erosion.count > 0 && guard < 1000000; guard++)
            erosion_apply(nullptr, 1.0f, tic);
    }
};

TEST_F(Erosion, StrokeLengthsGiveTheirPoints) {
    std::vector<bike_stroke_point> pts = {
        {10, 20, 0.5f, -0.5f, 16}, {11, 20.5f, 0.2f, 0.1f, 8}, {12, 21, 0, 0, 1}};
    uint8_t buf[BIKE_STROKE_MAX_BYTES];
    int len = bike_erosion_stroke_encode(pts.data(), 3, 1.0, 0.5, 1.0, 0.5, terrain.extent, buf);
    ASSERT_EQ(len, 25);
    erosion_decode(buf, 16);
    EXPECT_EQ(erosion.count, 0);
    erosion_decode(buf, 17);
    EXPECT_EQ(erosion.count, 1);
    erosion_decode(buf, 21);
    EXPECT_EQ(erosion.count, 3);
    erosion_decode(buf, 25);
    EXPECT_EQ(erosion.count, 6);
    const erosion_point &p0 = erosion.queue[3], &p1 = erosion.queue[4], &p2 = erosion.queue[5];
    EXPECT_NEAR(p0.x, 10.0f, 0.01f);
    EXPECT_NEAR(p0.z, 20.0f, 0.01f);
    EXPECT_NEAR(p1.x, 11.0f, 0.05f);
    EXPECT_NEAR(p1.z, 20.5f, 0.05f);
    EXPECT_NEAR(p2.x, 12.0f, 0.05f);
    EXPECT_NEAR(p0.dx, 0.5f, 0.04f);
    EXPECT_NEAR(p0.dz, -0.5f, 0.04f);
    uint8_t bad[17] = {2};
    erosion_decode(bad, 17);
    EXPECT_EQ(erosion.count, 6);
    erosion_reset();
    EXPECT_EQ(erosion.count, 0);
}

TEST_F(Erosion, LongStrokeStopsAtSixtyFourPoints) {
    std::vector<uint8_t> s(17 + 4 * 100, 0);
    s[0] = 1;
    erosion_decode(s.data(), (int)s.size());
    EXPECT_EQ(erosion.count, 64);
}

TEST_F(Erosion, FullQueueDropsAndSaysSoOnce) {
    std::vector<uint8_t> s(17 + 4 * 63, 0);
    s[0] = 1;
    for (int i = 0; i < EROSION_QUEUE_SIZE / 64; i++)
        erosion_decode(s.data(), (int)s.size());
    ASSERT_EQ(erosion.count, EROSION_QUEUE_SIZE);
    EXPECT_TRUE(log_lines().empty());
    erosion_decode(s.data(), 17);
    erosion_decode(s.data(), 17);
    EXPECT_EQ(erosion.count, EROSION_QUEUE_SIZE);
    int shown = 0;
    for (const auto &l : log_lines())
        shown += l == "Erode queue full!";
    EXPECT_EQ(shown, 1);
}

TEST_F(Erosion, BudgetGrowsWithTheBacklog) {
    for (int i = 0; i < 100; i++)
        point(32, 32, 40, 32, 8);
    EXPECT_EQ(erosion_apply(nullptr, 1.0f, 0), 100 / 512 + 4);
    erosion_reset();
    for (int i = 0; i < 10000; i++)
        point(32, 32, 40, 32, 8);
    EXPECT_EQ(erosion_apply(nullptr, 1.0f, 0), (10000 - 8192) / 64 + 10000 / 512 + 4);
}

TEST_F(Erosion, PointsNextToTheRiderWait) {
    float rider[2] = {20.0f, 20.0f};
    point(29.9f, 20.0f, 40, 32, 8);
    EXPECT_EQ(erosion_apply(rider, 1.0f, 100), 0);
    EXPECT_EQ(erosion.count, 1);
    EXPECT_EQ(erosion.deadline, 356);
    EXPECT_EQ(erosion_apply(rider, 1.0f, 356), 0); // not yet past
    EXPECT_EQ(erosion_apply(rider, 1.0f, 357), 1); // waited 256 tics
    erosion_reset();
    point(30.1f, 20.0f, 40, 32, 8);
    EXPECT_EQ(erosion_apply(rider, 1.0f, 100), 1);
    EXPECT_EQ(erosion.deadline, -1);
    // A big backlog ignores the rider.
    erosion_reset();
    for (int i = 0; i < 8193; i++)
        point(20.0f, 20.0f, 40, 32, 1);
    EXPECT_GT(erosion_apply(rider, 1.0f, 0), 0);
}

TEST_F(Erosion, ZeroDirectionDepositsOnTheDigPoint) {
    double before = volume();
    point(32, 32, 32, 32, 15);
    ASSERT_EQ(erosion.queue[0].dx, 0.0f);
    drain();
    EXPECT_NEAR(volume(), before, 1e-4);
    // The dig and the deposit cancel where they coincide; nothing moved beyond rounding.
    float lowest = 0;
    for (int i = 0; i < terrain.size * terrain.size; i++)
        lowest = std::min(lowest, terrain.heights[i]);
    EXPECT_GT(lowest, -1e-5f);
}

TEST_F(Erosion, DigMovesMaterialBehindAndConservesVolume) {
    double before = volume();
    for (int i = 0; i < 200; i++)
        point(20.0f + i * 0.1f, 32.0f + (i % 7) * 0.2f, 60, 40, 12);
    drain();
    EXPECT_NEAR(volume(), before, 1e-4);
    // The deepest spot lies on the path ridden.
    int low = 0;
    for (int i = 1; i < terrain.size * terrain.size; i++)
        if (terrain.heights[i] < terrain.heights[low]) low = i;
    float lx = (low % terrain.size) * terrain.spacing, lz = (low / terrain.size) * terrain.spacing;
    EXPECT_LT(terrain.heights[low], -1e-5f);
    EXPECT_GE(lx, 19.0f);
    EXPECT_LE(lx, 41.0f);
    EXPECT_NEAR(lz, 32.6f, 2.0f);
    EXPECT_GT(terrain.top, 0.0f);
    EXPECT_LT(terrain.bottom, 0.0f);
    EXPECT_TRUE(terrain_block_changed(0, 0));
    EXPECT_GT(terrain.change_counter, 0u);
}

TEST_F(Erosion, FinalHeightsDoNotDependOnTheFrameBudget) {
    auto run = [&](bool interleave) {
        terrain_create(6, 0.5f, nullptr);
        SetUpErosion();
        for (int i = 0; i < 3000; i++) {
            point(10.0f + (i % 300) * 0.15f, 20.0f + (i / 300) * 0.9f, 20 + i % 40, 10 + i % 50,
                  i % 16);
            if (interleave && i % 3 == 0) erosion_apply(nullptr, 1.0f, i);
        }
        drain(5000);
        return std::vector<float>(terrain.heights, terrain.heights + terrain.size * terrain.size);
    };
    std::vector<float> a = run(false), b = run(true);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
    double v = 0;
    for (float h : a)
        v += h;
    EXPECT_NEAR(v, 0.0, 1e-4);
}

TEST_F(Erosion, RutDepthLimitStopsDigging) {
    tiles_erosion *e = &tiles.types[0].erosion;
    e->limit_count = 2;
    e->limit_depth[0] = 0.0f, e->limit_outer[0] = 1.0f, e->limit_inner[0] = 1.0f;
    e->limit_depth[1] = 0.05f, e->limit_outer[1] = 0.0f, e->limit_inner[1] = 0.0f;
    for (int i = 0; i < 2000; i++)
        point(32, 32, 32, 32 + 20, 15); // straight along +z
    drain();
    float depth = terrain.loaded_heights ? -terrain_height(32, 32) : 0.0f;
    // Digging fades out as the rut nears its limit depth.
    EXPECT_GT(depth, 0.03f);
    EXPECT_LT(depth, 0.06f);
}

TEST_F(Erosion, SteepDepositIsSkipped) {
    tiles_erosion *e = &tiles.types[0].erosion;
    e->max_slope = -1.0f; // any level deposit is too steep
    double before = volume();
    point(32, 32, 63, 32, 15);
    drain();
    EXPECT_EQ(volume(), before);
    EXPECT_EQ(terrain_height(32, 32), 0.0f);
}

TEST_F(Erosion, HugeRadiusIsBoundedAndEdgeDepositsStayOnTheGrid) {
    tiles_erosion *e = &tiles.types[0].erosion;
    e->radius = 1e30f;
    e->inner_radius = 1e30f;
    point(32, 32, 40, 32, 15);
    drain(); // must finish
    EXPECT_EQ(erosion.count, 0);
    // At the corner: nothing outside changes, and what was dug is all put back.
    e->radius = 3.0f;
    e->inner_radius = 1.0f;
    double v = erosion_dig(0.1f, 0.1f, 3.0f, 0.01);
    double before = volume();
    erosion_deposit(0.1f, 0.1f, 3.0f, v);
    EXPECT_NEAR(volume() - before, v, 1e-5);
    EXPECT_EQ(erosion_dig(1e30f, 5.0f, 3.0f, 1.0), 0.0);
    EXPECT_EQ(erosion_dig(NAN, 5.0f, 3.0f, 1.0), 0.0);
}

} // namespace
} // namespace track_test
