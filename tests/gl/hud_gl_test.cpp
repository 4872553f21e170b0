// The HUD drawn on real GL over a posed race: the tachometer needle points where the rpm says,
// the gear window shows the engine's gear cell, and the pit board's gap line carries the gap.
#include "texture_gl_fixture.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "base/zv_alloc.h"
#include "bike/bike.h"
#include "core/core_loop.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "render/render_camera.h"
#include "render/render_font.h"
#include "render/render_texture.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"
#include "ui/hud.h"

namespace {

class HudGl : public PicturesGl {
  protected:
    bike_record *b = nullptr;
    float h = 0, w = 0; // the screen's half-extents at depth 1
    void SetUp() override {
        PicturesGl::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(use_generated_data());
        core_settings_init();
        render_font_load_all();
        int n = 6, size = (1 << (n + 1)) + 1;
        std::vector<float> g((size_t)size * (size_t)size, 0.0f);
        ASSERT_TRUE(terrain_create(n, 2.0f, g.data()));
        bike_world_destroy();
        ASSERT_TRUE(bike_world_create());
        bike_shape_register_stock();
        b = bike_create(0, "crf250(2007)", 1);
        ASSERT_NE(b, nullptr);
        race_free();
        race = race_state{};
        for (int s = 0; s < RACE_SLOTS; s++)
            race.robot_of[s] = -1;
        race.local_slot = 0;
        gates = gates_state{};
        gates.valid = 1;
        gates.checkpoint_count = gates.first_count = gates.normal_count = 2;
        render_texture_new_generation();
        render_target(640, 480);
        camera_projection p =
            camera_projection_for(640, 480, (float)core_settings_number(CORE_SET_FOV), 1, 2);
        w = p.h;
        h = p.v;
    }
    void TearDown() override {
        render_texture_sweep(1);
        render_font_free_all();
        race_free();
        gates = gates_state{};
        bike_world_destroy();
        terrain_free();
        PicturesGl::TearDown();
    }
    void rider(int slot, std::vector<int> tics) {
        race_rider &r = race.riders[slot];
        r.pass_cap = (int)tics.size();
        r.pass = (int *)zv_alloc(sizeof(int) * tics.size());
        memcpy(r.pass, tics.data(), sizeof(int) * tics.size());
        r.progress = (int)tics.size();
        race.present[slot] = 1;
    }
    std::vector<uint8_t> draw(double rpm, int gear) {
        b->engine.omega = rpm * 2 * 3.14159265358979 / 60;
        b->engine.gear = gear;
        zvglBindFramebuffer(GL_FRAMEBUFFER, fbo);
        zvglClearColor(0.3f, 0.5f, 0.8f, 1);
        zvglClear(GL_COLOR_BUFFER_BIT);
        hud_draw_instruments(0, fw, fh);
        return read_back();
    }
    // The pixel at a point of the depth-1 plane.
    const uint8_t *at(const std::vector<uint8_t> &px, float x, float y) {
        int i = (int)((x + w) / (2 * w) * (float)fw), k = (int)((y + h) / (2 * h) * (float)fh);
        i = i < 0 ? 0 : i >= fw ? fw - 1 : i;
        k = k < 0 ? 0 : k >= fh ? fh - 1 : k;
        return &px[((size_t)k * fw + i) * 4];
    }
    static bool needle_red(const uint8_t *p) { return p[0] > 150 && p[1] < 60 && p[2] < 60; }
    // Pixels of the gear window (inside the needle's reach) with the colour test.
    template <class F> int window_count(const std::vector<uint8_t> &px, F test) {
        float u = 0.2334025f * h, cx = w - u, cy = -h + u;
        int n = 0;
        for (float dy = -0.2f; dy <= 0.2f; dy += 0.02f)
            for (float dx = -0.2f; dx <= 0.2f; dx += 0.02f)
                if (test(at(px, cx + dx * u, cy + dy * u))) n++;
        return n;
    }
};

TEST_F(HudGl, needle_angle_follows_the_rpm_and_the_gear_window_shows_the_gear) {
    float u = 0.2334025f * h, cx = w - u, cy = -h + u;
    // 8000 rpm points straight up; 16000 rpm 135 degrees clockwise; 0 rpm 135 anticlockwise.
    const float r = 0.6f * u, d = 0.7071068f * r;
    auto up = draw(8000, 0);
    EXPECT_TRUE(needle_red(at(up, cx, cy + r)));
    EXPECT_FALSE(needle_red(at(up, cx + d, cy - d)));
    auto top = draw(16000, 0);
    EXPECT_FALSE(needle_red(at(top, cx, cy + r)));
    EXPECT_TRUE(needle_red(at(top, cx + d, cy - d)));
    auto idle = draw(0, 0);
    EXPECT_TRUE(needle_red(at(idle, cx - d, cy - d)));
    EXPECT_FALSE(needle_red(at(idle, cx + d, cy - d)));

    // Neutral shows the green "N" cell; a gear shows its amber digit and no green.
    auto green = [](const uint8_t *p) { return p[1] > 150 && p[0] < 120 && p[2] < 120; };
    auto amber = [](const uint8_t *p) {
        return p[0] > 200 && p[1] > 120 && p[1] < 230 && p[2] < 90;
    };
    auto neutral = draw(3000, -1);
    auto third = draw(3000, 2);
    EXPECT_GT(window_count(neutral, green), 3);
    EXPECT_EQ(window_count(neutral, amber), 0);
    EXPECT_GT(window_count(third, amber), 3);
    EXPECT_EQ(window_count(third, green), 0);
    // Third and fourth gear are different cells.
    auto fourth = draw(3000, 3);
    int differ = 0;
    for (float dy = -0.2f; dy <= 0.2f; dy += 0.02f)
        for (float dx = -0.2f; dx <= 0.2f; dx += 0.02f)
            if (memcmp(at(third, cx + dx * u, cy + dy * u), at(fourth, cx + dx * u, cy + dy * u),
                       3))
                differ++;
    EXPECT_GT(differ, 3);
}

TEST_F(HudGl, pit_board_gap_line_carries_the_gap_digits) {
    // The viewed rider (slot 0) is 2.34 s behind slot 4.
    rider(4, {1100, 1200, 1300});
    rider(0, {1100, 1200, 1600});
    race.order_count = 2;
    race.order[0] = {4, 3, 1300};
    race.order[1] = {0, 3, 1600};
    auto behind = draw(3000, 0);
    // Alone in the race: "+0.0".
    race.order_count = 1;
    race.order[0] = {0, 3, 1600};
    auto alone = draw(3000, 0);
    float v = 0.6227179f * h, lh = 0.0703125f * v, big = 1.25f * lh;
    float x0 = -w + 0.37109375f * v, y = -h + 0.6796875f * v - 3 * big;
    int dark_behind = 0, dark_alone = 0, differ = 0;
    for (float dy = 0.1f; dy < 0.9f; dy += 0.1f)
        for (float dx = 0; dx < 3.2f; dx += 0.04f) {
            const uint8_t *p = at(behind, x0 + dx * big, y + dy * big);
            const uint8_t *q = at(alone, x0 + dx * big, y + dy * big);
            dark_behind += p[0] < 80 && p[1] < 80 && p[2] < 80;
            dark_alone += q[0] < 80 && q[1] < 80 && q[2] < 80;
            differ += memcmp(p, q, 3) != 0;
        }
    EXPECT_GT(dark_behind, 10) << "black digits on the board";
    EXPECT_GT(dark_alone, 10);
    EXPECT_GT(differ, 10) << "-2.3 and +0.0 are different digits";
    // The board itself is light where no text is: its right edge.
    const uint8_t *edge = at(behind, -w + 0.95f * v, -h + 0.3f * v);
    EXPECT_GT(edge[0] + edge[1] + edge[2], 600);
}

} // namespace

namespace {

TEST_F(HudGl, map_scale_two_doubles_the_map_and_keeps_the_markers_screen_size) {
    ASSERT_TRUE(bike_place(b, 128, 128, 0));
    race.present[0] = 1;
    race.order_count = 1;
    race.order[0] = {0, 0, 0};
    hud.map_texture = zvglWhiteTexture(); // a plain white map picture
    // Map width along the top row, and the marker pixels (black or red) inside the map.
    auto measure = [&](double scale, int *width, int *marks) {
        core_settings_set_number(CORE_SET_MAP_SCALE, scale);
        auto px = draw(3000, 0);
        *width = *marks = 0;
        for (int i = 0; i < fw; i++) {
            const uint8_t *p = &px[((size_t)(fh - 2) * fw + i) * 4];
            if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++*width;
        }
        for (int k = fh / 2; k < fh; k++)
            for (int i = fw / 2; i < fw; i++) {
                const uint8_t *p = &px[((size_t)k * fw + i) * 4];
                if ((p[0] < 40 && p[1] < 40 && p[2] < 40) || (p[0] > 200 && p[1] < 40)) ++*marks;
            }
    };
    int w1, m1, w2, m2;
    measure(1, &w1, &m1);
    measure(2, &w2, &m2);
    hud.map_texture = 0;
    core_settings_set_number(CORE_SET_MAP_SCALE, 1);
    EXPECT_GT(w1, 20);
    EXPECT_NEAR(w2, 2 * w1, 3);
    EXPECT_GT(m1, 10);
    EXPECT_NEAR(m2, m1, m1 / 5 + 2) << "markers keep their size on the screen: half of the map's";
    // The drawing statistics of a frame count what it handed to GL.
    core_loop.frame_width = fw, core_loop.frame_height = fh;
    hud_draw_overlays(CORE_VIEW_RIDER);
    hud_draw_overlays(CORE_VIEW_RIDER);
    EXPECT_GT(hud.stats_now[4], 2) << "texture changes: dial, shifter, board, font";
}

} // namespace

namespace {

TEST_F(HudGl, ticker_lap_box_of_an_empty_order_reads_no_entry) {
    race.lap_total = 3;
    race.order_count = 0;
    auto lap_box = [&](void) {
        zvglBindFramebuffer(GL_FRAMEBUFFER, fbo);
        zvglClearColor(0.3f, 0.5f, 0.8f, 1);
        zvglClear(GL_COLOR_BUFFER_BIT);
        hud_draw_ticker(fw, fh);
        auto px = read_back();
        float unit = 2 * h / 40, W = 40 * w / h;
        std::vector<uint8_t> p(at(px, -w + (W - 4.85f) * unit, h - 1.3f * unit),
                               at(px, -w + (W - 4.85f) * unit, h - 1.3f * unit) + 3);
        return p;
    };
    // The leader past the lap total: the chequered box (white and black squares).
    rider(5, {1100, 1200, 1300, 1400, 1500, 1600, 1700, 1800});
    race.order_count = 1;
    race.order[0] = {5, 8, 1800};
    auto done = lap_box();
    EXPECT_FALSE(done[1] > 150 && done[0] < 60 && done[2] < 60);
    EXPECT_TRUE((done[0] > 200 && done[1] > 200) || (done[0] < 40 && done[1] < 40));
    // Then the order empties (a new race): lap 1, not the last race's leader.
    race.order_count = 0;
    auto empty = lap_box();
    EXPECT_TRUE(empty[1] > 150 && empty[0] < 60 && empty[2] < 60) << "green: lap 1";
}

} // namespace
