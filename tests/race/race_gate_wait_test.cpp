// The race a player starts with `--track`, run through the program's own start-up on the
// headless back end with a new player's settings: every rider waiting at the gate holds the
// bike up until the gate drops, and the robots then ride away from it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "data/data_check.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"
#include "race/race.h"

// The game links the digest of the data built with it; here it is the digest of the data set in
// the build tree, so the program starts against real data.
extern "C" const uint8_t *zv_data_release_digest(void) {
    static uint8_t digest[20];
    static int state; // 0 unread, 1 present, -1 missing
    if (!state) state = data_check_hash_file(ZV_BINARY_DIR "/zzzz.saf", digest) ? 1 : -1;
    return state > 0 ? digest : nullptr;
}

namespace {

struct rider_watch {
    int slot;
    int robot;
    double start[3];
    double worst_roll; // largest |roll| while waiting at the gate
    int worst_roll_tic;
    int crashed_tic;         // first tic found crashed, -1 none
    double moved_at_drop;    // frame's distance from its start when the gate dropped
    double moved_after;      // ... 5 s after the drop
    double worst_roll_after; // largest |roll| in the 5 s after the drop
    int arcade;              // the bike's arcade physics at the drop
};

struct gate_run {
    std::vector<rider_watch> riders;
    int frames;
    int drop_tic;
    int seen_tic;
    int throttle_from_drop; // the player holds full throttle from the drop on
    int throttle_pressed;
    double lowest_up; // the player's frame: smallest world-y of its up axis after the drop
};
gate_run g_run;

double frame_distance(const bike_record *b, const double *from) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    double dx = p[0] - from[0], dz = p[2] - from[2];
    return std::sqrt(dx * dx + dz * dz);
}

// Called once a frame by the main loop; one tic runs per frame on the headless clock.
void watch_frame(void) {
    gate_run &r = g_run;
    r.frames++;
    if (r.riders.empty()) {
        r.drop_tic = race.gate_drop_tic;
        for (int s = 0; s < RACE_SLOTS; s++) {
            if (!race.present[s] || !bike_world.bikes[s].present) continue;
            if (race.status[s] != RACE_LOCAL && race.status[s] != RACE_ROBOT_DRIVEN) continue;
            rider_watch w = {};
            w.slot = s;
            w.robot = race.status[s] == RACE_ROBOT_DRIVEN;
            const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME]);
            for (int k = 0; k < 3; k++)
                w.start[k] = p[k];
            w.crashed_tic = -1;
            r.riders.push_back(w);
        }
    }
    int tic = race.tic;
    r.seen_tic = tic;
    if (r.throttle_from_drop && !r.throttle_pressed && tic >= r.drop_tic) {
        int x = platform_code_for_name(core_loop.window, "x");
        platform_null_push_event(x, 1, platform_clock());
        r.throttle_pressed = 1;
    }
    for (rider_watch &w : r.riders) {
        const bike_record *b = &bike_world.bikes[w.slot];
        double roll = std::fabs(bike_roll(b->body[BIKE_FRAME]));
        if (bike_crashed(b) && w.crashed_tic < 0) w.crashed_tic = tic;
        if (tic < r.drop_tic) {
            if (roll > w.worst_roll) {
                w.worst_roll = roll;
                w.worst_roll_tic = tic;
            }
            w.moved_at_drop = frame_distance(b, w.start);
        } else if (tic <= r.drop_tic + 5 * 128) {
            if (tic == r.drop_tic) w.arcade = b->applied.arcade;
            if (roll > w.worst_roll_after) w.worst_roll_after = roll;
            w.moved_after = frame_distance(b, w.start);
            if (!w.robot) {
                dVector3 up;
                dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 1, 0, up);
                if (up[1] < r.lowest_up) r.lowest_up = up[1];
            }
        }
    }
    if (tic > r.drop_tic + 5 * 128 || r.frames > 40000) platform_null_close(nullptr);
}

// Runs `zelvo --nosound --track pinehollow` headless for a new player until 5 s after the drop.
// 1 when it ran, 0 when it failed, -1 when the data set is not built.
int run_track_race(int throttle_from_drop) {
    char tmpl[] = "/tmp/zv_gate_wait_XXXXXX";
    if (!mkdtemp(tmpl)) {
        ADD_FAILURE() << "mkdtemp";
        return 0;
    }
    std::string home = tmpl;
    // A new player: nothing in the home, so every setting has its default.
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("ZV_HOME", ZV_BINARY_DIR, 1);
    platform_null_reset();
    core_hook = core_hooks();
    core_hook.draw_menus = watch_frame;
    file_index_free();
    data_root_reset();
    g_run = gate_run{};
    g_run.drop_tic = 1 << 30;
    g_run.throttle_from_drop = throttle_from_drop;
    g_run.lowest_up = 1.0;

    std::string argv0 = "zelvo", a1 = "--nosound", a2 = "--track", a3 = "pinehollow";
    char *argv[] = {argv0.data(), a1.data(), a2.data(), a3.data(), nullptr};
    testing::internal::CaptureStderr();
    int rc = core_main(4, argv);
    std::string err = testing::internal::GetCapturedStderr();
    core_hook = core_hooks();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    if (err.find("Can't find game data") != std::string::npos) return -1;
    EXPECT_EQ(rc, 0) << err;
    return rc == 0;
}

TEST(RaceGateWait, TrackRaceRidersStayUprightAtTheGateAndRobotsLeaveIt) {
    int ran = run_track_race(0);
    if (ran < 0) FAIL() << "the generated data set is not built";
    if (!ran) return;

    // The default gates: the player and five robots, the gate falling 13 to 15 s in.
    ASSERT_EQ(g_run.riders.size(), 6u);
    EXPECT_GE(g_run.drop_tic, 13 * 128);
    EXPECT_LT(g_run.drop_tic, 15 * 128);
    ASSERT_GT(g_run.seen_tic, g_run.drop_tic + 5 * 128) << "the race did not run past the drop";
    for (const rider_watch &w : g_run.riders) {
        fprintf(stderr,
                "slot %d (%s): lean at the gate %.3f rad, moved %.1f ft by the drop, %.1f ft 5 s "
                "after\n",
                w.slot, w.robot ? "robot" : "player", w.worst_roll, w.moved_at_drop, w.moved_after);
        // Waiting: feet down, the bike held up where it was placed.
        EXPECT_LT(w.worst_roll, 0.25) << "slot " << w.slot << " leaned " << w.worst_roll
                                      << " rad at tic " << w.worst_roll_tic;
        EXPECT_LT(w.moved_at_drop, 5.0) << "slot " << w.slot;
        if (w.robot) {
            // The robots launch and ride away upright.
            EXPECT_GT(w.moved_after, 30.0)
                << "robot in slot " << w.slot << " did not leave the gate";
            EXPECT_LT(w.worst_roll_after, 0.8) << "robot in slot " << w.slot;
            EXPECT_LT(w.crashed_tic, 0)
                << "robot in slot " << w.slot << " crashed at " << w.crashed_tic;
        } else {
            // The idle player stays near where he is, upright, after the drop as well.
            EXPECT_LT(w.worst_roll_after, 0.25) << "the idle player fell after the drop";
            EXPECT_LT(w.moved_after, 5.0);
            EXPECT_LT(w.crashed_tic, 0);
        }
    }
}

// A new player's bike (arcade physics, stop wheelies and dab when stopped all on) held at full
// throttle from the drop rides away from the gate down the start straight, upright.
TEST(RaceGateWait, NewPlayerAtFullThrottleFromTheDropRidesAwayUpright) {
    int ran = run_track_race(1);
    if (ran < 0) FAIL() << "the generated data set is not built";
    if (!ran) return;
    ASSERT_TRUE(g_run.throttle_pressed);
    ASSERT_GT(g_run.seen_tic, g_run.drop_tic + 5 * 128) << "the race did not run past the drop";
    for (const rider_watch &w : g_run.riders) {
        if (w.robot) continue;
        EXPECT_EQ(w.arcade, 1) << "a new player rides arcade physics";
        fprintf(stderr, "player: largest lean %.3f rad, lowest up %.3f, moved %.1f ft in 5 s\n",
                w.worst_roll_after, g_run.lowest_up, w.moved_after);
        EXPECT_LT(w.worst_roll_after, 0.5) << "the player's bike fell over";
        EXPECT_GT(g_run.lowest_up, 0.5) << "the player's bike flipped";
        EXPECT_GT(w.moved_after, 40.0) << "the player did not ride away from the gate";
        EXPECT_LT(w.crashed_tic, 0) << "the player crashed at " << w.crashed_tic;
    }
}

} // namespace
