// Texture level upkeep: first drawing, three steps per redraw with the spare set exchanged, and
// no redraw for moves under a quarter of a level's coverage.
#include <gtest/gtest.h>

#include <vector>

#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

namespace {

std::vector<std::vector<int>> steps;
int record_step(int slot, int step, int u, int v) {
    steps.push_back({slot, step, u, v});
    return 1;
}

class GroundLevels : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(terrain_create(9, 1.0f, nullptr), 1); // 1025 heights: levels of 64, 256, all
        for (int s = 0; s < TERRAIN_DETAIL_SLOTS; s++)
            terrain.detail[s] = {};
        terrain.detail[0].coverage = 64;
        terrain.detail[1].coverage = 256;
        terrain.detail[2].coverage = 1024;
        for (int s : {0, 1, 2, (int)TERRAIN_DETAIL_SPARE})
            for (int t = 0; t < 3; t++)
                terrain.detail[s].textures[t] = (unsigned)(s * 10 + t + 1);
        for (auto &o : ground_origins)
            o = {0, 0};
        ground_levels_invalidate();
        ground_level_step = record_step;
        steps.clear();
    }
    void TearDown() override {
        ground_level_step = ground_level_draw_step;
        for (int s = 0; s < TERRAIN_DETAIL_SLOTS; s++)
            terrain.detail[s] = {};
        terrain_free();
    }
};

TEST_F(GroundLevels, FirstDrawingThenStillness) {
    int frames = 0;
    while (ground_levels_update(500, 500) && frames < 100)
        frames++;
    EXPECT_EQ(frames, 9); // three levels, three steps each, coarsest first
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps[0][0], 2);
    EXPECT_EQ(steps[0][1], 1);
    EXPECT_EQ(steps[2][1], 3);
    EXPECT_EQ(steps[8][0], 0);
    // The fine level now sits around the camera, on quarter steps.
    EXPECT_EQ(ground_origins[0].origin_u % 16, 0);
    EXPECT_LE(ground_origins[0].origin_u, 500);
    EXPECT_GE(ground_origins[0].origin_u + 64, 500);
    // After the first exchange the spare holds the coarse level's old textures, and so on.
    EXPECT_EQ(terrain.detail[2].textures[0], 161u);

    steps.clear();
    for (float d = -15; d <= 15; d += 1)
        EXPECT_EQ(ground_levels_update(ground_origins[0].origin_u + 32 + d,
                                       ground_origins[0].origin_v + 32),
                  0);
    EXPECT_TRUE(steps.empty());
}

TEST_F(GroundLevels, ANewLoadOfTheSameTrackIsDrawnAgain) {
    while (ground_levels_update(500, 500)) {
    }
    steps.clear();
    track_loaded.load_count++; // the same track again, the camera where it was
    EXPECT_TRUE(ground_levels_none_drawn());
    int frames = 0;
    while (ground_levels_update(500, 500) && frames < 100)
        frames++;
    EXPECT_EQ(frames, 9);
}

TEST_F(GroundLevels, LeavingALevelRedrawsItOnly) {
    while (ground_levels_update(500, 500)) {
    }
    int u0 = ground_origins[0].origin_u;
    steps.clear();
    float g = (float)u0 + 32 + 17; // beyond a quarter of 64 from the centre
    int frames = 0;
    while (ground_levels_update(g, 500) && frames < 100)
        frames++;
    EXPECT_EQ(frames, 3);
    for (auto &s : steps)
        EXPECT_EQ(s[0], 0);
    EXPECT_NE(ground_origins[0].origin_u, u0);
}

} // namespace
