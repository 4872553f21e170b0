// Race control without physics: gate positions and crossing, laps and lap times, time limits,
// penalties, finishing and results, the grid, the gate drop and the starting gates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "race/race.h"
#include "track/track_gates.h"
#include "track/track_terrain.h"

namespace {

// Checkpoints on a straight line every 10 ft; both laps run 0 1 2 3, so F = N = 4.
void straight_gates(int count = 4) {
    std::string s = "startinggate:\n";
    for (int i = 0; i < 8; i++)
        s += "[ " + std::to_string(i * 4) + " 0 -20 ] 0\n";
    s += "checkpoints:\n";
    for (int i = 0; i < count; i++)
        s += "2 [ " + std::to_string(i * 10) + " 0 0 ] [ 2 0 0 ]\n";
    s += "firstlap:";
    for (int i = 0; i < count; i++)
        s += " " + std::to_string(i);
    s += "\nnormallap:";
    for (int i = 0; i < count; i++)
        s += " " + std::to_string(i);
    s += "\n";
    ASSERT_EQ(gates_parse(s.data(), s.size()), 1);
}

class Race : public ::testing::Test {
  protected:
    static int writes, stores;
    void SetUp() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        writes = stores = 0;
        race_steps.results_write = [] { writes++; };
        race_steps.series_store = [] { stores++; };
        straight_gates();
    }
    void TearDown() override {
        race_free();
        memset(&race, 0, sizeof race);
        memset(&race_steps, 0, sizeof race_steps);
        gates_clear();
        terrain_free();
    }
    // Robots in slots 0..n-1, gate drop at tic 0, a race of `laps` laps.
    void start(int n, int laps, int time_limit = 0) {
        int lineup[RACE_SLOTS] = {};
        for (int i = 0; i < n; i++)
            lineup[i] = RACE_ROBOT;
        race_limits_set(0, time_limit, laps);
        race_lineup_set(lineup);
        for (int i = 0; i < n; i++)
            race.present[i] = 1;
        race_reset();
        race.gate_drop_tic = 0;
    }
    // The rider crosses position p at tic t (half a foot past its checkpoint).
    static int cross(int slot, int p, int t) {
        race.tic = t;
        int cp = gates_sequence_checkpoint(race_position_entry(p));
        int moved = race_gate_test(slot, gates.checkpoints[cp].origin[0] + 0.5f, 0.0f);
        race_update_order();
        return moved;
    }
};
int Race::writes, Race::stores;

TEST_F(Race, LapCountersAndLengthText) {
    start(1, 5);
    EXPECT_EQ(race.halfway_lap, 3);
    EXPECT_EQ(race.lap_total, 5);
    char buf[64];
    race_length_text(buf, sizeof buf);
    EXPECT_STREQ(buf, "5 laps");
    start(1, 2, 10 * 60 * 128);
    EXPECT_EQ(race.halfway_lap, RACE_UNSET);
    EXPECT_EQ(race.lap_total, RACE_UNSET);
    race_length_text(buf, sizeof buf);
    EXPECT_STREQ(buf, "10 minutes + 2 laps");
    start(1, 0, 10 * 60 * 128);
    race_length_text(buf, sizeof buf);
    EXPECT_STREQ(buf, "10 minutes");
}

TEST_F(Race, PositionsLapEndsAndLapsCompleted) {
    // Lap k ends at F + N(k - 1) - 1: positions 3, 7, 11.
    EXPECT_EQ(race_lap_end(1), 3);
    EXPECT_EQ(race_lap_end(2), 7);
    EXPECT_EQ(race_lap_end(3), 11);
    EXPECT_TRUE(race_position_ends_lap(3));
    EXPECT_TRUE(race_position_ends_lap(7));
    EXPECT_FALSE(race_position_ends_lap(4));
    EXPECT_EQ(race_position_entry(9), 5);
    start(1, 3);
    for (int p = 0; p < 8; p++)
        ASSERT_EQ(cross(0, p, 100 * (p + 1)), 1);
    EXPECT_EQ(race_laps_completed(0), 2);
    EXPECT_EQ(race_current_gate(0), 0);
    EXPECT_EQ(race_lap_tics(0, 1), 400); // from the gate drop
    EXPECT_EQ(race_lap_tics(0, 2), 400);
    EXPECT_DOUBLE_EQ(race_lap_time(0, 2), 400 / 128.0);
    EXPECT_EQ(race_lap_tics(0, 3), 0); // not run yet
    EXPECT_EQ(race_best_lap(0), 400);
}

TEST_F(Race, SkippingTheLapEndNeverCountsTheLap) {
    start(1, 3);
    cross(0, 0, 10);
    cross(0, 1, 20);
    cross(0, 2, 30);
    EXPECT_EQ(cross(0, 4, 40), 0); // position 3 ends lap 1
    EXPECT_EQ(race.riders[0].progress, 3);
    EXPECT_EQ(race_laps_completed(0), 0);
    start(1, 3);
    cross(0, 0, 10);
    cross(0, 1, 20);
    EXPECT_EQ(cross(0, 4, 30), 0); // P + 2 beyond the lap end
    EXPECT_EQ(cross(0, 3, 40), 1); // P + 1 is the lap end itself: counts, position 2 skipped
    EXPECT_EQ(race_pass_tic(0, 2), -1);
    EXPECT_EQ(race_laps_completed(0), 1);
}

TEST_F(Race, LingeringInTheLapLineOfAShortLapCountsOneLap) {
    straight_gates(3);
    start(1, 9);
    cross(0, 0, 10);
    cross(0, 1, 20);
    cross(0, 2, 30);
    EXPECT_EQ(race_laps_completed(0), 1);
    // Still inside the lap line's half-disc: position 5 uses the same checkpoint.
    for (int t = 31; t < 40; t++)
        EXPECT_EQ(cross(0, 2, t), 0);
    EXPECT_EQ(race_laps_completed(0), 1);
    EXPECT_EQ(cross(0, 3, 50), 1);
}

TEST_F(Race, TurningBackPicksUpAMissedCheckpoint) {
    start(1, 3);
    cross(0, 0, 10);
    EXPECT_EQ(cross(0, 2, 20), 1); // skips 1
    EXPECT_EQ(race_pass_tic(0, 1), -1);
    EXPECT_EQ(race.riders[0].progress, 3);
    EXPECT_EQ(cross(0, 0, 25), 0); // P - 3 was passed and nothing before it is missing
    EXPECT_EQ(cross(0, 2, 26), 0); // P - 1 is never retried
    EXPECT_EQ(cross(0, 1, 30), 1); // P - 2 missing: go back for it
    EXPECT_EQ(race_pass_tic(0, 1), 30);
    EXPECT_EQ(race.riders[0].progress, 2); // later positions must be passed again
    EXPECT_EQ(race_pass_tic(0, 2), -1);
    EXPECT_EQ(cross(0, 2, 40), 1);
    EXPECT_EQ(race.riders[0].progress, 3);
    // Three back: P - 3 missing counts too.
    start(1, 3);
    cross(0, 0, 10);
    cross(0, 2, 20);
    cross(0, 3, 30);
    EXPECT_EQ(race.riders[0].progress, 4);
    EXPECT_EQ(cross(0, 1, 40), 1);
    EXPECT_EQ(race.riders[0].progress, 2);
}

TEST_F(Race, CrossingIsAHalfDiscAhead) {
    EXPECT_TRUE(race_checkpoint_crossed(1, 10.0f, 0.0f));
    EXPECT_TRUE(race_checkpoint_crossed(1, 11.9f, 0.5f));
    EXPECT_FALSE(race_checkpoint_crossed(1, 9.9f, 0.0f));  // behind
    EXPECT_FALSE(race_checkpoint_crossed(1, 12.1f, 0.0f)); // beyond the length
    EXPECT_FALSE(race_checkpoint_crossed(1, 10.5f, 2.1f));
    EXPECT_FALSE(race_checkpoint_crossed(99, 0.0f, 0.0f));
}

TEST_F(Race, PassTicsAreBoundsChecked) {
    start(2, 3);
    cross(0, 0, 10);
    EXPECT_EQ(race_pass_tic(0, 0), 10);
    EXPECT_EQ(race_pass_tic(0, 1), -1);
    EXPECT_EQ(race_pass_tic(0, 5000000), -1);
    EXPECT_EQ(race_pass_tic(1, 0), -1); // no array at all yet
    EXPECT_EQ(race_pass_tic(-1, 0), -1);
    EXPECT_EQ(race_pass_tic(RACE_SLOTS, 0), -1);
    race.riders[1].progress = 50; // a count beyond the array must not read past it
    EXPECT_EQ(race_pass_tic(1, 40), -1);
    EXPECT_EQ(race_cut_penalty(0), 0);
    race_off_course(0);
}

TEST_F(Race, TenMinutesPlusTwoLaps) {
    start(1, 2, 10 * 60 * 128);
    // Laps of 90 s: lap 6 ends at 540 s, lap 7 at 630 s, the first lap end after the limit.
    int p = 0;
    for (int lap = 1; lap <= 7; lap++)
        for (int k = 0; k < 4; k++, p++) {
            int t = (lap - 1) * 90 * 128 + (k + 1) * 90 * 128 / 4;
            cross(0, p, t);
            if (lap < 7 || k < 3) {
                ASSERT_EQ(race.lap_total, RACE_UNSET) << lap;
            }
        }
    EXPECT_EQ(race_laps_completed(0), 7);
    EXPECT_EQ(race.lap_total, 9);
    // At 300 s the leader had 3 laps: the flaggers show halfway two laps later.
    EXPECT_EQ(race.halfway_lap, 5);
}

TEST_F(Race, CuttingPenaltyAgainstTheField) {
    start(2, 3);
    // The field: 10 s between positions.
    for (int p = 0; p < 8; p++)
        cross(1, p, (p + 1) * 1280);
    // Rider 0 skips position 1 and gets from 0 to 2 in 12 s where the field takes 20 s.
    cross(0, 0, 1280);
    cross(0, 2, 1280 + 12 * 128);
    EXPECT_EQ(race_pass_tic(0, 1), -1);
    EXPECT_EQ(race_cut_penalty(0), (20 + 1 - 12) * 128);
    // Slower than the field's time plus a second: no penalty.
    start(2, 3);
    for (int p = 0; p < 8; p++)
        cross(1, p, (p + 1) * 1280);
    cross(0, 0, 1280);
    cross(0, 2, 1280 + 22 * 128);
    EXPECT_EQ(race_cut_penalty(0), 0);
    // Without anybody to compare with, the stretch is expected to take 60 s.
    start(1, 3);
    cross(0, 0, 100);
    cross(0, 2, 100 + 5 * 128);
    EXPECT_EQ(race_cut_penalty(0), (61 - 5) * 128);
}

TEST_F(Race, NormalLapStretchComparesAnyLap) {
    start(2, 5);
    // The field rode positions 4..11 (laps 2 and 3), 10 s apart; its 5 -> 7 stretch happened
    // in lap 3 as 9 -> 11 too.
    for (int p = 0; p < 12; p++)
        cross(1, p, (p + 1) * 1280);
    for (int p = 0; p < 5; p++)
        cross(0, p, (p + 1) * 1280 + 10);
    cross(0, 7, 5 * 1280 + 10 + 4 * 128); // 5 and 6 skipped: 4 -> 7 in 4 s
    EXPECT_EQ(race_cut_penalty(0), (30 + 1 - 4) * 128);
}

TEST_F(Race, PenaltyLongerThanBestLapCostsLapsInTheResults) {
    // Eight checkpoints a lap, so the cuts below do not alias onto the same checkpoint.
    straight_gates(8);
    start(2, 3);
    // Rider 1: every position, 10 s apart. Rider 0: 2 s apart, cutting positions 1-2 and
    // 9-10; ahead on the road all race.
    for (int p = 0; p < 24; p++) {
        if (p != 1 && p != 2 && p != 9 && p != 10) {
            ASSERT_EQ(cross(0, p, 128 + p * 256), 1) << p;
        }
        cross(1, p, (p + 1) * 1280);
    }
    // Each cut: the field's 30 s plus one against 6 s.
    EXPECT_EQ(race_cut_penalty(0), 2 * (31 - 6) * 128);
    EXPECT_EQ(race_best_lap(0), 16 * 128);
    EXPECT_TRUE(race_finished(0));
    EXPECT_TRUE(race_finished(1));
    EXPECT_EQ(race.results_final, 1);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(stores, 1);
    ASSERT_EQ(race.results_count, 2);
    EXPECT_GT(race.cut_penalty[0], race_best_lap(0));
    EXPECT_EQ(race.results[0].slot, 1);
    EXPECT_EQ(race.results[1].slot, 0);
    EXPECT_EQ(race.results[1].progress, 24 - 2 * 8); // two best laps' worth of penalty
    EXPECT_EQ(race.results[1].tic, 128 + 23 * 256 + (50 - 32) * 128);
    // The running order still has rider 0 in front: only the results convert penalties.
    EXPECT_EQ(race.order[0].slot, 0);
}

TEST_F(Race, FinishingFollowsTheWinner) {
    start(3, 2);
    for (int p = 0; p < 8; p++)
        cross(0, p, 1000 + p * 100);
    // Slot 1 is one lap down when the leader finishes, slot 2 on the same lap.
    for (int p = 0; p < 4; p++)
        cross(1, p, 1010 + p * 100);
    for (int p = 0; p < 7; p++)
        cross(2, p, 1020 + p * 100);
    EXPECT_TRUE(race_finished(0));
    EXPECT_FALSE(race_finished(1));
    EXPECT_FALSE(race_finished(2));
    EXPECT_EQ(race.results_final, 0); // robots still racing
    cross(2, 7, 2000);
    EXPECT_TRUE(race_finished(2));
    cross(1, 4, 2100);
    cross(1, 5, 2200);
    cross(1, 6, 2300);
    EXPECT_FALSE(race_finished(1));
    cross(1, 7, 2400);
    EXPECT_TRUE(race_finished(1)); // his last lap ended after the winner's finish
    EXPECT_EQ(race.results_final, 1);
    // Finished riders keep riding but pass no more checkpoints.
    EXPECT_EQ(cross(0, 8, 3000), 0);
    EXPECT_EQ(race.results[0].slot, 0);
    EXPECT_EQ(race.results[1].slot, 2);
    EXPECT_EQ(race.results[2].slot, 1);
}

TEST_F(Race, RunningOrderSortsByProgressThenTicThenSlot) {
    start(4, 3);
    cross(3, 0, 50);
    cross(3, 1, 60);
    cross(1, 0, 40);
    cross(1, 1, 70);
    cross(2, 0, 30);
    ASSERT_EQ(race.order_count, 4);
    EXPECT_EQ(race.order[0].slot, 3);
    EXPECT_EQ(race.order[1].slot, 1);
    EXPECT_EQ(race.order[2].slot, 2);
    EXPECT_EQ(race.order[3].slot, 0);
    EXPECT_EQ(race.order[3].tic, 0);
    EXPECT_EQ(race_leader(), 3);
    EXPECT_EQ(race_order_step(1, -1), 3);
    EXPECT_EQ(race_order_step(1, 1), 2);
    EXPECT_EQ(race_order_step(3, -1), 3);
}

TEST_F(Race, OffCourseAgainstTheLeader) {
    start(2, 3);
    race.off_course_bias = 10.0f;
    race.off_course_scale = 1.5f;
    EXPECT_TRUE(race_off_course(1)); // nothing passed yet
    for (int p = 0; p < 4; p++)
        cross(0, p, (p + 1) * 1280); // 10 s per stretch
    cross(1, 0, 1300);
    race.tic = 1300 + 20 * 128; // 20 s on the way to position 1: under 1.5 x 10 + 10
    EXPECT_FALSE(race_off_course(1));
    race.tic = 1300 + 26 * 128; // 26 s: over 25
    EXPECT_TRUE(race_off_course(1));
    EXPECT_FALSE(race_off_course(0));
}

TEST_F(Race, GridRowsBehindTheGates) {
    start(12, 3);
    float x3, z3, h3, x11, z11, h11;
    race_grid_position(3, &x3, &z3, &h3);
    race_grid_position(11, &x11, &z11, &h11);
    EXPECT_FLOAT_EQ(x3, 12.0f);
    EXPECT_NEAR(z3, -20.0f + 0.625f, 1e-5f); // angle 0: behind is +z
    EXPECT_FLOAT_EQ(x11, x3);
    EXPECT_NEAR(z11 - z3, 10.0f, 1e-4f);
    EXPECT_FLOAT_EQ(h11, 0.0f);
    // Without gates every spot stays on the ground.
    gates_clear();
    ASSERT_EQ(terrain_create(6, 0.5f, nullptr), 1);
    for (int s = 0; s < RACE_SLOTS; s++) {
        float x, z, h;
        race_grid_position(s, &x, &z, &h);
        EXPECT_GE(x, 0.0f);
        EXPECT_LE(x, terrain.extent);
        EXPECT_GE(z, 0.0f);
        EXPECT_LE(z, terrain.extent);
    }
}

TEST_F(Race, GateDropsThirteenToFifteenSecondsIn) {
    EXPECT_EQ(race_gate_drop_from(0), 13 * 128);
    EXPECT_EQ(race_gate_drop_from(0x7fffffffu), 15 * 128 - 1);
    EXPECT_EQ(race_gate_drop_from(0xffffffffu), race_gate_drop_from(0x7fffffffu));
    EXPECT_EQ(race_gate_drop_from(0x40000000u), 14 * 128);
    start(1, 3);
    race_reset();
    EXPECT_GE(race.gate_drop_tic, 13 * 128);
    EXPECT_LT(race.gate_drop_tic, 15 * 128);
    EXPECT_EQ(race.tic, 0);
}

TEST_F(Race, StartingGatesFallAfterTheDrop) {
    start(2, 3);
    race.gate_drop_tic = 100;
    ASSERT_EQ(race.start_gate_count, 8);
    static int turns;
    turns = 0;
    race_steps.gate_object_turn = [](int, float) { turns++; };
    for (int i = 0; i < 100; i++)
        race_tic();
    EXPECT_EQ(race.tic, 100);
    EXPECT_FLOAT_EQ(race.start_gates[0].fall, 1.0f);
    race_tic();
    EXPECT_LT(race.start_gates[0].fall, 1.0f);
    race.start_gates[1].touch_tic = race.tic; // a bike leans on gate 1 this tic
    float held = race.start_gates[1].fall;
    race_tic();
    EXPECT_FLOAT_EQ(race.start_gates[1].fall, held);
    EXPECT_EQ(race.start_gates[1].speed, 0.0f);
    for (int i = 0; i < 200; i++)
        race_tic();
    EXPECT_EQ(race.start_gates[0].fall, 0.0f);
    EXPECT_LE(race.start_gates[0].speed, 8.0f);
    EXPECT_EQ(turns, 0); // the slots have no objects
}

TEST_F(Race, LineupGivesStatusesAndOneLocalPlayer) {
    int lineup[RACE_SLOTS] = {};
    lineup[3] = RACE_ROBOT;
    lineup[5] = RACE_HUMAN;
    lineup[6] = RACE_HUMAN;
    lineup[7] = RACE_ROBOT_125;
    lineup[8] = RACE_ROBOT_NUMBER + 7;
    race_limits_set(0, 0, 3);
    race_lineup_set(lineup);
    EXPECT_EQ(race.status[3], RACE_ROBOT_DRIVEN);
    EXPECT_EQ(race.status[5], RACE_LOCAL);
    EXPECT_EQ(race.lineup[6], RACE_EMPTY);
    EXPECT_EQ(race.status[6], RACE_REPLAYED);
    EXPECT_EQ(race.status[0], RACE_REPLAYED);
    EXPECT_EQ(race.viewed_slot, 5);
    EXPECT_GE(race.robot_of[3], 0);
    EXPECT_GE(race.robot_of[7], 0);
    EXPECT_EQ(race.robot_of[5], -1);
    race_lineup_set(nullptr);
    EXPECT_EQ(race.time_trial, 1);
    EXPECT_EQ(race.lineup[0], RACE_HUMAN);
}

TEST_F(Race, ResultsStayUnofficialWhileReplayedRidersAreFresh) {
    int lineup[RACE_SLOTS] = {};
    lineup[0] = RACE_EMPTY;
    race_limits_set(0, 0, 1);
    race_lineup_set(lineup);
    race.present[0] = 1;
    static int newest;
    newest = 0;
    race_steps.history_newest_tic = [](int) { return newest; };
    race_reset();
    race.gate_drop_tic = 0;
    race.tic = 5 * 128;
    race_update_order();
    EXPECT_EQ(race.results_final, 0);
    race.tic = 11 * 128;
    race_update_order();
    EXPECT_EQ(race.results_final, 1);
    EXPECT_EQ(writes, 0); // nobody finished: no results file
}

} // namespace
