#include "base/zv_message.h"
#include "core/core_console.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "race/race.h"
#include "track/track_objects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string newest() {
    const char *l = zv_message_line(0);
    return l ? l : "";
}

struct console_fixture : testing::Test {
    void SetUp() override {
        core_hook = core_hooks();
        zv_message_clear();
        core_settings_init();
        core_console_clear_keys();
        core_options.draw_fps = 0;
        race.time_trial = 0;
        objects.decals_hidden = 0;
        core_loop.opt.spy = 0;
    }
};

TEST_F(console_fixture, chat_rule_toggles_and_the_three_kinds_of_match) {
    core_loop.game_clock = 100;
    EXPECT_EQ(core_console_line("hello"), 1);
    EXPECT_EQ(newest(), "Not connected to server");
    core_loop.game_clock = 101.5;
    EXPECT_EQ(core_console_line("again"), 0);
    EXPECT_EQ(newest(), "No one likes a spammer");
    core_loop.game_clock = 102.1;
    EXPECT_EQ(core_console_line("later"), 1); // two seconds after the last accepted line

    EXPECT_EQ(core_console_line("/togglefps"), 1);
    EXPECT_EQ(newest(), "FPS display ON");
    core_console_line("\\togglefps");
    EXPECT_EQ(newest(), "FPS display OFF");
    core_options.draw_fps = 2;
    core_console_line("/togglefps");
    EXPECT_EQ(core_options.draw_fps, 0);

    int before = zv_messages.total;
    core_console_line("/togglefpsx"); // exact commands take nothing after them
    core_console_line("/mapscalex 2");
    core_console_line("/nosuchcommand");
    EXPECT_EQ(zv_messages.total, before);

    core_console_line("/   mapscale 20"); // word match: leading spaces, clamped
    EXPECT_EQ(newest(), "Map scale set to 8.000000");
    EXPECT_DOUBLE_EQ(core_settings_number(CORE_SET_MAP_SCALE), 8);
    core_console_line("/fov200"); // prefix match: the argument follows right after the word
    EXPECT_EQ(newest(), "fov set");
    EXPECT_DOUBLE_EQ(core_settings_number(CORE_SET_FOV), 170);
    core_console_line("/fov wide");
    EXPECT_EQ(newest(), "Usage: fov <degrees>");
    core_console_line("/log e 2.5");
    EXPECT_EQ(newest(), "Logging 0x1, spacing 2.500000");
    core_console_line("/log");
    EXPECT_EQ(newest(), "Logging 0x0, spacing 10.000000");
    static int reshades;
    core_hook.reshade_terrain = [] { reshades++; };
    core_console_line("/toggledecals");
    EXPECT_EQ(newest(), "Hide decals ON");
    EXPECT_EQ(objects.decals_hidden, 1);
    EXPECT_EQ(reshades, 1);
    core_console_line("/togglespy"); // the menus read spy mode back from the setting
    EXPECT_EQ(core_settings_int(CORE_SET_SPY), 1);
    core_console_line("/reportstutter -1");
    core_console_line("/reportstutter 0.05");
    EXPECT_EQ(newest(), "Stutter threshold set to 0.050000");
    core_loop.stutter_threshold = 0;
    core_loop.histogram[0] = 3;
    core_loop.histogram[7] = 1;
    core_console_line("/fpshist");
    EXPECT_EQ(newest(), "128=3 64=0 32=0 16=0 8=0 4=0 2=0 1=1 ");
    EXPECT_EQ(core_loop.histogram[0], 0);
}

TEST_F(console_fixture, namedemo_names_only_a_recording) {
    core_console_line("/namedemo race1");
    EXPECT_EQ(newest(), "Not currently recording a demo");

    std::string path = testing::TempDir() + "zv_console_demo.zvdemo";
    demo_rider r = {};
    snprintf(r.model, sizeof r.model, "crf");
    int slot = 0;
    ASSERT_TRUE(demo_record_open(path.c_str(), &r, &slot, 1, 0, 10, 1792, "default"));
    core_console_line("/namedemo race1 more words");
    EXPECT_EQ(newest(), "Demo name updated");
    EXPECT_STREQ(demo_race.pending_name, "race1.zvdemo");
    core_console_line("/namedemo   race2.zvdemo");
    EXPECT_STREQ(demo_race.pending_name, "race2.zvdemo");
    core_console_line("/namedemo ../../escape");
    EXPECT_STREQ(demo_race.pending_name, "race2.zvdemo");
    core_console_line(("/namedemo " + std::string(1010, 'a')).c_str()); // 1017 with ".zvdemo"
    EXPECT_EQ(newest(), "Name too long");
    race.time_trial = 1; // a time-trial lap is not a demo
    core_console_line("/namedemo race3");
    EXPECT_EQ(newest(), "Not currently recording a demo");
    race.time_trial = 0;
    demo_record_close(0, 10, 1792);
    demo_race.pending_name[0] = 0;
    remove(path.c_str());
}

TEST_F(console_fixture, keyframes_stay_in_tic_order_and_bad_files_change_nothing) {
    auto key = [](int tic, float x) {
        camera_keyframe k = {};
        k.tic = tic;
        k.position[0] = x;
        k.quat[3] = 1;
        k.fov = 60;
        return k;
    };
    for (auto k : {key(50, 1), key(10, 2), key(50, 3), key(30, 4)})
        ASSERT_TRUE(core_console_add_key(&k));
    const float order[] = {2, 4, 1, 3}; // the later of two at one tic goes after the earlier
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(core_console.keys[i].position[0], order[i]);
    core_console_delete_key(30); // the first later than tic 30: the earlier of the two at 50
    EXPECT_EQ(core_console.key_count, 3);
    EXPECT_EQ(core_console.keys[2].position[0], 3);
    core_console_delete_key(99); // none later: the last
    EXPECT_EQ(core_console.key_count, 2);
    core_console_delete_key(0);
    core_console_delete_key(0); // fewer than two: all of them
    EXPECT_EQ(core_console.key_count, 0);

    ASSERT_TRUE(core_console_parse_keys("1 2 3 0 0 0 1 60 20\n\n4 5 6 0 0 0 1 70 5\n"));
    ASSERT_EQ(core_console.key_count, 2);
    EXPECT_EQ(core_console.keys[0].tic, 5);
    EXPECT_FALSE(core_console_parse_keys("1 2 3 0 0 0 1 60 20\n1 2 3 nan 0 0 1 60 30\n"));
    EXPECT_FALSE(core_console_parse_keys("1 2 3 0 0 0 1 60\n"));
    EXPECT_EQ(core_console.key_count, 2);

    // The keyframe quaternion of a camera turned a quarter left, then pitched 30 degrees up,
    // looks left and up.
    float q[4], m[9];
    core_console_yaw_pitch_quat(1.5707964f, 0.5235988f, q);
    camera_quat_to_matrix(q, m);
    EXPECT_NEAR(-m[6], -std::cos(0.5235988f), 1e-5); // forward = -back
    EXPECT_NEAR(-m[7], 0.5f, 1e-5);
    EXPECT_NEAR(-m[8], 0, 1e-5);
}

} // namespace
