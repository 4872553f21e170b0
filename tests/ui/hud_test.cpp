// The HUD's figures and texts on posed race states: gaps, laps, times, the pit board, the
// lapping warning, the results table, the start banner, the text column and the suspension
// history.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "bike/bike.h"
#include "core/core_loop.h"
#include "core/core_options.h"
#include "race/race.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"
#include "net/net_client.h"
#include "ui/hud.h"

namespace {

// Laps of F = 2 first-lap and N = 2 normal-lap positions.
struct hud_race : testing::Test {
    void SetUp() override {
        race_free();
        race = race_state{};
        race.local_slot = 0;
        for (int s = 0; s < RACE_SLOTS; s++)
            race.robot_of[s] = -1;
        gates = gates_state{};
        gates.valid = 1;
        gates.checkpoint_count = 2;
        gates.first_count = 2;
        gates.normal_count = 2;
        race.gate_drop_tic = 1000;
        race.laps = 3;
        race.lap_total = 3;
    }
    void TearDown() override {
        race_free();
        gates = gates_state{};
    }
    // A rider who passed positions at the given tics.
    void rider(int slot, std::vector<int> tics) {
        race_rider &r = race.riders[slot];
        r.pass_cap = (int)tics.size() + 8;
        r.pass = (int *)zv_alloc(sizeof(int) * (size_t)r.pass_cap);
        for (size_t i = 0; i < tics.size(); i++)
            r.pass[i] = tics[i];
        r.progress = (int)tics.size();
        race.present[slot] = 1;
    }
    // The running order from slots already ranked.
    void order(std::vector<int> slots) {
        race.order_count = (int)slots.size();
        for (size_t i = 0; i < slots.size(); i++) {
            const race_rider &r = race.riders[slots[i]];
            race.order[i] = {slots[i], r.progress, r.progress ? r.pass[r.progress - 1] : 0};
        }
    }
};

TEST_F(hud_race, pit_board_gaps_laps_and_a_rider_missing_from_the_order) {
    // The leader is 2.34 s (300 tics) ahead at their last common position.
    rider(3, {1100, 1200, 1300});
    rider(5, {1100, 1200, 1600});
    order({3, 5});
    char lines[HUD_PIT_LINES][64];
    hud_pit_board_lines(3, lines);
    EXPECT_STREQ(lines[1], "L2 P1");
    EXPECT_STREQ(lines[2], "+2.3 ");
    hud_pit_board_lines(5, lines);
    EXPECT_STREQ(lines[2], "-2.3 ");
    // One completed lap: neither the last nor the best line.
    EXPECT_STREQ(lines[3], "");
    EXPECT_STREQ(lines[4], "");
    // Not in the order: no gap, no warning, no reading past the order's end.
    rider(7, {1100, 1150, 1250, 1450, 1500});
    EXPECT_EQ(hud_order_index(7), 2);
    hud_pit_board_lines(7, lines);
    EXPECT_STREQ(lines[1], "L3 P3");
    EXPECT_STREQ(lines[2], "+0.0 ");
    char warning[HUD_WARNING_MAX];
    EXPECT_EQ(hud_lapping_text(7, warning, sizeof warning), 0);
    // Last and best lap from two completed laps on: lap 2 took 300 tics (2.3 s).
    EXPECT_STREQ(lines[3], "Last - 0:02.3 ");
    EXPECT_STREQ(lines[4], "Best - 0:02.3");
    EXPECT_EQ(hud_best_lap_number(7), 2);
    // With fewer than two riders there is no gap.
    order({3});
    hud_pit_board_lines(3, lines);
    EXPECT_STREQ(lines[2], "+0.0 ");
}

TEST_F(hud_race, lapping_warning_names_riders_laps_ahead_close_behind_and_never_divides_by_zero) {
    // Slot 2 is a lap ahead of slot 9 and passed the place slot 9 passed 2 s earlier.
    rider(2, {1100, 1200, 1300, 1400, 1500});
    rider(9, {1100, 1300, 1500});
    order({2, 9});
    race.tic = 1600;
    char text[HUD_WARNING_MAX];
    // Slot 9's position 2 (tic 1500) is the lap place of slot 2's position 4 (tic 1500): 0 s.
    EXPECT_EQ(hud_lapping_text(9, text, sizeof text), 0);
    race.riders[2].pass[4] = 1756; // two seconds after slot 9 passed there
    order({2, 9});
    ASSERT_EQ(hud_lapping_text(9, text, sizeof text), 1);
    EXPECT_STREQ(text, " 3 (2.0) ");
    // The leader has nobody to be warned about; without normal laps nothing divides.
    EXPECT_EQ(hud_lapping_text(2, text, sizeof text), 0);
    gates.normal_count = 0;
    EXPECT_EQ(hud_lapping_text(9, text, sizeof text), 0);
    EXPECT_EQ(hud_laps_from_progress(5), 0);
}

TEST_F(hud_race, results_table_unofficial_final_penalties_and_a_rider_without_laps) {
    rider(1, {1100, 1200, 1300, 1400}); // two laps, finished
    rider(4, {1100, 1250, 1350, 1500}); // two laps, finished
    rider(6, {1100, 1300});             // one lap
    race.riders[6].finished = 0;
    order({1, 4, 6});
    hud_results r;
    hud_results_table(4, &r);
    EXPECT_FALSE(r.shown) << "the table waits for the leader to finish";
    race.riders[1].finished = race.riders[4].finished = 1;
    hud_results_table(4, &r);
    ASSERT_TRUE(r.shown);
    EXPECT_FALSE(r.final);
    ASSERT_EQ(r.row_count, 2) << "while unofficial only riders who finished are listed";
    EXPECT_STREQ(r.rows[0].gap, "  0.000");
    EXPECT_STREQ(r.rows[1].gap, "  0.781"); // 100 tics behind at the last position
    EXPECT_TRUE(r.rows[1].viewed);
    EXPECT_STREQ(r.rows[0].lap, "L2");

    // Final: every entry, the total time, and a red line for the rider who cut the track.
    race.results_final = 1;
    race.results_count = 3;
    for (int i = 0; i < 3; i++)
        race.results[i] = race.order[i];
    // Slot 6 lost a lap (results progress one lap short) and 4.5 s (576 tics).
    race.riders[6].progress = 4;
    race.riders[6].pass[2] = 1400, race.riders[6].pass[3] = 1600;
    race.results[2] = {6, 2, 1300 + 576};
    hud_results_table(4, &r);
    ASSERT_EQ(r.row_count, 3);
    EXPECT_STREQ(r.rows[2].best, "0:02.343");
    EXPECT_STREQ(r.rows[2].best_lap, "(2)");
    EXPECT_STREQ(r.total, "Total Race Time: 0:03.125");
    ASSERT_EQ(r.penalty_count, 1);
    EXPECT_STREQ(r.penalties[0], "  7 penalized 1 lap 4.50 seconds for cutting track");
    // A rider with one completed lap: best lap number 0, time 0:00.000.
    race.riders[6].progress = 2;
    hud_results_table(4, &r);
    EXPECT_STREQ(r.rows[2].best_lap, "(0)");
    EXPECT_STREQ(r.rows[2].best, "0:00.000");
}

TEST_F(hud_race, text_column_start_banner_and_times) {
    core_options.draw_fps = core_options.draw_time = 1;
    core_options.draw_speed = core_options.draw_render_stats = 0;
    zv_message_clear();
    // Advances of 10, 20 and 12 ms since the last draw: the slowest gives 50.
    core_loop.min_advance = 0.010;
    core_loop.max_advance = 0.020;
    race.tic = 500; // before the gate drop
    zv_message_add("first");
    zv_message_add("second");
    static char lines[HUD_TEXT_LINES][HUD_LINE_SIZE];
    int n = hud_text_lines(0, lines);
    ASSERT_GE(n, 2);
    EXPECT_STREQ(lines[0], "FPS - 50");
    EXPECT_STREQ(lines[1], "Time - 0:00.0 ");
    EXPECT_EQ(core_loop.max_advance, 0);
    EXPECT_EQ(core_loop.min_advance, 1);
    ASSERT_EQ(n, 2 + zv_messages.showing);
    EXPECT_STREQ(lines[n - 1], "second");
    EXPECT_STREQ(lines[n - 2], "first");
    EXPECT_EQ(hud_text_lines(0, lines) > 0 ? std::string(lines[0]) : "", "FPS - 0");
    zv_message_clear();
    core_options.draw_fps = core_options.draw_time = 0;

    // Online, the ping line: 16 tics of delay and the server 64 tics ahead.
    core_options.draw_ping = 1;
    net_client.open = 1;
    net_client.slot = 2;
    net_client.slot_lag[2] = 16;
    net_client.estimate = race.tic + 64;
    ASSERT_GE(hud_text_lines(0, lines), 1);
    EXPECT_STREQ(lines[0], "Ping - 125ms (500ms offset)");
    net_client.open = 0;
    EXPECT_EQ(hud_text_lines(0, lines), 0); // offline there is none

    char first[128], second[64];
    race.time_limit = 10 * 60 * 128, race.laps = 0;
    hud_start_banner_lines(first, second);
    EXPECT_STREQ(second, "10 minutes");
    race.time_limit = 0, race.laps = 5;
    hud_start_banner_lines(first, second);
    EXPECT_STREQ(second, "5 laps");
    EXPECT_EQ(hud_start_banner_alpha(1), 1);
    EXPECT_FLOAT_EQ(hud_start_banner_alpha(2.5), 0.5f);
    EXPECT_EQ(hud_start_banner_alpha(3), 0);

    char t[32];
    hud_time_tenths(t, sizeof t, 61234);
    EXPECT_STREQ(t, "1:01.2");
    hud_time_millis(t, sizeof t, 61234);
    EXPECT_STREQ(t, "1:01.234");
}

TEST(hud_instruments, needle_gear_cell_lean_band_map_and_damping_share) {
    EXPECT_FLOAT_EQ(hud_needle_degrees(0), -135);
    EXPECT_FLOAT_EQ(hud_needle_degrees(8000), 0);
    EXPECT_FLOAT_EQ(hud_needle_degrees(16000), 135);
    float cell[4];
    hud_gear_cell(-1, cell); // neutral: the top-left cell
    EXPECT_FLOAT_EQ(cell[0], 0);
    EXPECT_FLOAT_EQ(cell[1], 0);
    hud_gear_cell(3, cell); // fourth gear: cell 4, the middle
    EXPECT_FLOAT_EQ(cell[0], 1 / 3.0f);
    EXPECT_FLOAT_EQ(cell[1], 1 / 3.0f);
    EXPECT_FLOAT_EQ(cell[3], 2 / 3.0f);
    // Leaning 0.5 rad to the left: the band runs from the lean down to the horizontal.
    float pts[HUD_LEAN_POINTS][2][2];
    int pairs = hud_lean_strip(0.5f, pts);
    EXPECT_EQ(pairs, (int)(0.5f * 31 / 3.14159265f) + 2);
    EXPECT_NEAR(pts[pairs - 1][1][0], -1, 1e-5); // ends on the horizontal, left side
    EXPECT_NEAR(pts[0][1][1], std::sin(0.5f), 1e-5);
    EXPECT_EQ(hud_lean_strip(100, pts), 33); // a lean past pi is held at pi
    const float level[3] = {0, 1, 0}, tilted[3] = {0.5f, 0.5f, 0};
    EXPECT_EQ(hud_lean_angle(level), 0);
    EXPECT_NEAR(hud_lean_angle(tilted), 0.785398f, 1e-5);
    float u, v;
    ASSERT_TRUE(hud_map_place(192, 576, 768, &u, &v));
    EXPECT_FLOAT_EQ(u, 0.25f);
    EXPECT_FLOAT_EQ(v, 0.75f);
    EXPECT_FALSE(hud_map_place(1, 1, 0, &u, &v));
    EXPECT_EQ(hud_damping_share(0, 0, 0), 0) << "0 / 0 is 0";
    EXPECT_FLOAT_EQ(hud_damping_share(2, 1, 2), 0.5f);
}

TEST(hud_suspension_history, first_samples_fill_from_zero_and_zero_travel_draws_an_empty_plot) {
    std::vector<float> flat((size_t)129 * 129, 0.0f);
    terrain_create(6, 2.0f, flat.data());
    bike_world_destroy();
    ASSERT_TRUE(bike_world_create());
    bike_shape_register_stock();
    bike_record *b = bike_create(0, "kx250f(2009)", 1);
    ASSERT_NE(b, nullptr);
    hud.suspension.index = HUD_SAMPLES;
    hud.graph = 0;
    hud_suspension_sample(0);
    EXPECT_EQ(hud.suspension.index, HUD_SAMPLES) << "the rings fill only while the graph is on";
    hud.graph = 1;
    // Push the lower fork 0.1 ft up its slider so the newest sample is not zero.
    dVector3 axis;
    dJointGetSliderAxis(b->joint[BIKE_JOINT_FORK], axis);
    double p0 = dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]);
    const dReal *at = dBodyGetPosition(b->body[BIKE_FORK_LOWER]);
    dBodySetPosition(b->body[BIKE_FORK_LOWER], at[0] - 0.1 * axis[0], at[1] - 0.1 * axis[1],
                     at[2] - 0.1 * axis[2]);
    double p1 = dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]);
    ASSERT_NE(p0, p1);
    hud_suspension_sample(0);
    ASSERT_EQ(hud.suspension.index, 1);
    for (int i = 1; i < HUD_SAMPLES; i++) {
        ASSERT_EQ(hud.suspension.fork_position[i], 0) << i;
        ASSERT_EQ(hud.suspension.shock_speed[i], 0) << i;
    }
    EXPECT_NEAR(hud.suspension.fork_position[0], -p1 / b->m->fork_travel, 1e-5);
    EXPECT_NE(hud.suspension.fork_position[0], 0);
    // A model without fork travel or swingarm range gives an empty plot, not a division.
    bike_model m = *b->m;
    m.fork_travel = 0;
    m.linkage[2] = 0;
    const bike_model *real = b->m;
    b->m = &m;
    hud_suspension_sample(0);
    b->m = real;
    EXPECT_EQ(hud.suspension.index, 2);
    EXPECT_EQ(hud.suspension.fork_position[1], 0);
    EXPECT_EQ(hud.suspension.shock_position[1], 0);
    EXPECT_EQ(hud.suspension.fork_share[1], 0);
    hud.graph = 0;
    bike_world_destroy();
    terrain_free();
}

} // namespace
