#include "base/zv_alloc.h"
#include "core/core_binding.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "base/zv_message.h"
#include "core/core_options.h"
#include "platform/null/platform_null.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct world {
    int track = 1;
    int bike = 1;
    int status = 1; // replayed rider: views are not forced back to the rider view
    int connected = 0;
    int race_tics = 0;
    int settles = 0;
    double sound_delay = 0;
    std::vector<float> throttle_per_tic;
    float last_inputs[CORE_CONTROLS] = {};
    int inputs_set = 0;
};

world g_world;

struct loop_fixture : testing::Test {
    platform_window *w = nullptr;

    void SetUp() override {
        g_world = world();
        platform_null_reset();
        platform_null_set_time(10.0);
        w = platform_create_gl_window("Zelvo", 640, 480, 16, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        core_settings_defaults(&core_options);
        core_render_defaults(&core_render);
        core_binding_defaults();
        core_binding_reset_all(w);
        zv_message_clear();
        core_hook = core_hooks();
        core_hook.track_loaded = [] { return g_world.track; };
        core_hook.bike_in_slot = [](int) { return g_world.bike; };
        core_hook.slot_status = [](int) { return g_world.status; };
        core_hook.connected = [] { return g_world.connected; };
        core_hook.synchronised = [] { return 1; };
        core_hook.race_tic = [] {
            g_world.race_tics++;
            g_world.throttle_per_tic.push_back(core_loop.controls[CORE_CTL_THROTTLE]);
        };
        core_hook.settle_bikes = [] { g_world.settles++; };
        core_hook.set_rider_inputs = [](int, const float *c) {
            memcpy(g_world.last_inputs, c, sizeof g_world.last_inputs);
            g_world.inputs_set++;
        };
        core_loop_init(w);
    }
    void TearDown() override {
        core_loop_shutdown();
        core_hook = core_hooks();
        platform_destroy_gl_window(w);
    }
    double now() { return platform_seconds(platform_clock()); }
    int code(const char *name) {
        int c = platform_code_for_name(w, name);
        EXPECT_GE(c, 0) << name;
        return c;
    }
    void press(const char *name, double at = -1) {
        platform_time t = platform_clock();
        if (at >= 0) {
            t.sec = (int)floor(at);
            t.usec = (int)llround((at - floor(at)) * 1e6);
        }
        ASSERT_TRUE(platform_null_push_event(code(name), 1, t));
        t.usec += 1; // the release a moment later
        ASSERT_TRUE(platform_null_push_event(code(name), 0, t));
    }
};

TEST_F(loop_fixture, lock_fps_advances_exactly_one_fiftieth_and_runs_256_tics_in_100_frames) {
    core_options.lock_fps = 50;
    for (int i = 0; i < 100; i++) {
        double before = now();
        ASSERT_TRUE(core_loop_frame());
        EXPECT_NEAR(now() - before, 0.02, 1e-9) << "frame " << i;
        EXPECT_DOUBLE_EQ(core_loop.last_advance, 0.02);
    }
    EXPECT_EQ(core_loop.tics, 256);
    EXPECT_EQ(g_world.race_tics, 256);
    // The fractional remainder carries over: after 1 frame 2 tics, after 2 frames 5.
    loop_fixture::TearDown();
    SetUp();
    core_options.lock_fps = 50;
    core_loop_frame();
    EXPECT_EQ(core_loop.tics, 3);
    core_loop_frame();
    EXPECT_EQ(core_loop.tics, 6);
}

TEST_F(loop_fixture, warp_runs_100_tics_without_sleeping_unless_connected) {
    core_options.warp = 1;
    int waits = platform_null_wait_count();
    double start = now();
    for (int i = 0; i < 5; i++) {
        long long before = core_loop.tics;
        core_loop_frame();
        EXPECT_EQ(core_loop.tics - before, 100);
    }
    EXPECT_EQ(platform_null_wait_count(), waits);
    EXPECT_EQ(now(), start);

    // Connected, the frame waits for a tic's time as usual (the fake clock counts whole
    // microseconds, so the advance is a hair over one tic).
    g_world.connected = 1;
    long long before = core_loop.tics;
    core_loop_frame();
    EXPECT_LE(core_loop.tics - before, 2);
    EXPECT_GT(platform_null_wait_count(), waits);
    EXPECT_NEAR(core_loop.last_advance, CORE_TIC_LENGTH, 1e-6);
    EXPECT_NEAR(now() - start, CORE_TIC_LENGTH, 1e-6);
}

TEST_F(loop_fixture, one_second_hitch_runs_16_tics_then_normal) {
    core_loop_frame();
    long long before = core_loop.tics;
    platform_null_advance(1.0);
    core_loop_frame();
    EXPECT_EQ(core_loop.tics - before, 16);
    EXPECT_EQ(core_loop.histogram[7], 1);
    EXPECT_NEAR(core_loop.frame_log[core_loop.frame_log_count - 1], 1.0, 1e-6);
    EXPECT_DOUBLE_EQ(core_loop.max_advance, CORE_MAX_ADVANCE);
    before = core_loop.tics;
    core_loop_frame();
    EXPECT_EQ(core_loop.tics - before, 1);
    // A frame that took 3 tics' time runs 3 tics.
    before = core_loop.tics;
    platform_null_advance(3 * CORE_TIC_LENGTH);
    core_loop_frame();
    EXPECT_EQ(core_loop.tics - before, 3);
    EXPECT_EQ(core_loop.histogram[2], 1); // 2t <= d < 4t
}

TEST_F(loop_fixture, histogram_classes_and_frame_log_limit) {
    core_loop_frame();
    memset(core_loop.histogram, 0, sizeof core_loop.histogram);
    // Real intervals of 0.5t, 1.5t, 3t, 6t, 12t, 24t, 48t and 100t: one in each class.
    for (double f : {1.5, 3.0, 6.0, 12.0, 24.0, 48.0, 100.0}) {
        platform_null_advance(f * CORE_TIC_LENGTH);
        core_loop_frame();
    }
    core_options.lock_fps = 1000; // waits 1 ms only: d < t
    core_loop_frame();
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(core_loop.histogram[i], 1) << i;
    EXPECT_DOUBLE_EQ(core_loop.min_advance, 0.001);

    core_loop.frame_log_count = CORE_FRAME_LOG_SIZE - 1;
    core_loop_frame();
    core_loop_frame();
    EXPECT_EQ(core_loop.frame_log_count, CORE_FRAME_LOG_SIZE); // later entries are dropped
}

TEST_F(loop_fixture, events_stamped_after_a_tics_wall_time_wait_for_a_later_tic) {
    core_loop_frame(); // offset of the wall clock to the simulated clock is now fixed
    g_world.throttle_per_tic.clear();
    double frame_start = now();
    ASSERT_TRUE(platform_null_push_event(code("x"), 1, platform_time{10, 50000}));
    ASSERT_NEAR(frame_start, 10.0 + CORE_TIC_LENGTH, 1e-6);
    // 0.125 s of real time: 16 tics with wall times 10.0078 + i/128.
    platform_null_advance(0.125);
    core_loop_frame();
    ASSERT_EQ(g_world.throttle_per_tic.size(), 16u);
    // Tic i's wall time is its simulated time plus the frame's real-minus-target offset.
    double offset = core_loop.frame_real_time - core_loop.target_time;
    double sim0 = core_loop.simulated_time - 16 * CORE_TIC_LENGTH;
    int waited = 0, taken = 0;
    for (int i = 0; i < 16; i++) {
        double wall = sim0 + (i + 1) * CORE_TIC_LENGTH + offset;
        int due = wall >= 10.05 - 1e-7;
        EXPECT_EQ(g_world.throttle_per_tic[i], due ? 1.0f : 0.0f) << "tic " << i;
        waited += !due;
        taken += due;
    }
    EXPECT_GE(waited, 4);
    EXPECT_GE(taken, 10);
}

TEST_F(loop_fixture, pending_events_all_taken_when_the_tic_is_not_in_the_past) {
    core_loop_frame();
    g_world.throttle_per_tic.clear();
    // Stamped in the future (clock skew): still taken, never dropped.
    platform_time later = platform_clock();
    later.sec += 5;
    ASSERT_TRUE(platform_null_push_event(code("x"), 1, later));
    core_loop_frame();
    ASSERT_EQ(g_world.throttle_per_tic.size(), 1u);
    EXPECT_EQ(g_world.throttle_per_tic[0], 1.0f);
}

TEST_F(loop_fixture, tab_cycle_with_and_without_editor_flag) {
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_RIDER, 0), CORE_VIEW_ORBIT);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_ORBIT, 0), CORE_VIEW_CAMERAS);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_CAMERAS, 0), CORE_VIEW_RIDER);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_SPECTATOR, 0), CORE_VIEW_RIDER);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_RIDER, 1), CORE_VIEW_EDITOR);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_EDITOR, 1), CORE_VIEW_ORBIT);
    EXPECT_EQ(core_loop_tab_view(CORE_VIEW_TITLE, 1), CORE_VIEW_TITLE);

    // Through the event path.
    std::vector<int> seen;
    for (int i = 0; i < 4; i++) {
        press("tab");
        core_loop_frame();
        seen.push_back(core_loop.view_mode);
    }
    EXPECT_EQ(seen, (std::vector<int>{3, 4, 0, 3}));
    EXPECT_EQ(g_world.settles, 0);

    // --editor in a build that links no editor leaves the cycle as it was.
    core_options.editor = 1;
    core_loop.view_mode = CORE_VIEW_RIDER;
    press("tab");
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_ORBIT);

    core_hook.editor_available = [] { return 1; };
    core_loop.view_mode = CORE_VIEW_RIDER;
    seen.clear();
    for (int i = 0; i < 4; i++) {
        press("tab");
        core_loop_frame();
        seen.push_back(core_loop.view_mode);
    }
    core_hook.editor_available = nullptr;
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 0}));
    EXPECT_EQ(g_world.settles, 1); // bikes settle when leaving the editor
}

TEST_F(loop_fixture, fixed_menu_keys_are_known_to_the_platform) {
    const core_menu_keys &k = core_menu_key;
    for (int c : {k.up, k.down, k.left, k.right, k.enter, k.keypad_enter, k.esc, k.pause,
                  k.cursor_left, k.cursor_right, k.page_up, k.page_down, k.close})
        EXPECT_GE(c, 0);
    EXPECT_EQ(k.close, PLATFORM_CLOSE);
    EXPECT_EQ(k.esc, code("esc"));
    EXPECT_NE(k.enter, k.keypad_enter);
}

TEST_F(loop_fixture, view_mode_choice) {
    g_world.track = 0;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_TITLE);
    press("tab"); // nothing happens on the title screen
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_TITLE);
    g_world.track = 1;
    g_world.bike = 0;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_CAMERAS);
    g_world.bike = 1;
    core_loop.view_mode = CORE_VIEW_TITLE;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_RIDER);
    // A riding viewed rider pulls the track cameras back to the rider view, not the orbit view.
    g_world.status = 0;
    core_loop.view_mode = CORE_VIEW_CAMERAS;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_RIDER);
    core_loop.view_mode = CORE_VIEW_ORBIT;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_ORBIT);
    core_loop.opt.spy = 1;
    core_loop.view_mode = CORE_VIEW_CAMERAS;
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_CAMERAS);
}

TEST_F(loop_fixture, step_only_when_paused_and_pause_ignored_online) {
    core_loop_frame();
    int tics = g_world.race_tics;
    press(".");
    core_loop_frame();
    EXPECT_EQ(g_world.race_tics - tics, 1); // the normal tic only

    press("pause");
    core_loop_frame();
    ASSERT_EQ(core_loop.paused, 1);
    tics = g_world.race_tics;
    core_loop_frame();
    core_loop_frame();
    EXPECT_EQ(g_world.race_tics, tics); // paused: no race tics
    press(".");
    core_loop_frame();
    EXPECT_EQ(g_world.race_tics - tics, 1);

    press("pause");
    core_loop_frame();
    EXPECT_EQ(core_loop.paused, 0);
    g_world.connected = 1;
    press("pause");
    core_loop_frame();
    EXPECT_EQ(core_loop.paused, 0);
}

TEST_F(loop_fixture, stutter_line_format) {
    core_loop.stutter_threshold = 0.05;
    core_loop_stutter("flip");
    platform_null_advance(0.2);
    core_loop_stutter("sound");
    EXPECT_STREQ(zv_message_line(0), "Stutter in sound - 0.200000 seconds");
    platform_null_advance(0.01);
    core_loop_stutter("getmessage");
    EXPECT_EQ(zv_messages.total, 1);

    // Inside a frame: a sound update that takes 0.2 s gives exactly one line naming "sound".
    zv_message_clear();
    core_hook.audio_open = [] { return 1; };
    core_hook.sound_update = [](float) { platform_null_advance(0.2); };
    core_loop_frame();
    EXPECT_EQ(zv_messages.total, 1);
    EXPECT_STREQ(zv_message_line(0), "Stutter in sound - 0.200000 seconds");

    // Threshold 0: no stamps, no lines.
    zv_message_clear();
    core_loop.stutter_threshold = 0;
    core_loop_frame();
    EXPECT_EQ(zv_messages.total, 0);
}

TEST_F(loop_fixture, close_event_and_closed_window_end_the_loop) {
    EXPECT_TRUE(core_loop_frame());
    ASSERT_TRUE(platform_null_push_event(PLATFORM_CLOSE, 1, platform_clock()));
    EXPECT_FALSE(core_loop_frame()); // a tic of this frame sets the quit flag
    EXPECT_EQ(core_loop.quit, 1);
    long long tics = core_loop.tics;
    EXPECT_FALSE(core_loop_frame());
    EXPECT_EQ(core_loop.tics, tics); // nothing runs once quitting

    core_loop.quit = 0;
    platform_null_close(w);
    EXPECT_FALSE(core_loop_frame());
}

TEST_F(loop_fixture, menus_take_keys_and_esc_toggles_main_menu) {
    static std::vector<int> menu_keys;
    menu_keys.clear();
    core_hook.menu_key = [](int c) {
        menu_keys.push_back(c);
        return 1;
    };
    press("esc");
    core_loop_frame();
    EXPECT_EQ(core_loop.menu_page, CORE_MENU_MAIN);
    ASSERT_EQ(menu_keys.size(), 1u);
    press("tab");
    core_loop_frame();
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_RIDER); // the menu had it, not the view cycle
    EXPECT_EQ(menu_keys.size(), 2u);
    press("esc");
    core_loop_frame();
    EXPECT_EQ(core_loop.menu_page, CORE_MENU_NONE);
    press("t"); // chat line
    core_loop_frame();
    EXPECT_EQ(core_loop.menu_page, CORE_MENU_CHAT);
}

TEST_F(loop_fixture, orbit_camera_and_controls_vector) {
    core_loop.view_mode = CORE_VIEW_ORBIT;
    ASSERT_TRUE(platform_null_push_event(code("x"), 1, platform_clock()));
    ASSERT_TRUE(platform_null_push_event(code("left"), 1, platform_clock()));
    for (int i = 0; i < 700; i++)
        core_loop_frame();
    EXPECT_FLOAT_EQ(core_loop.orbit_distance, 0.25f); // 1/64 per tic, never nearer than 0.25
    EXPECT_GE(core_loop.orbit_yaw, -M_PI);
    EXPECT_LE(core_loop.orbit_yaw, M_PI); // 700 tics of 2pi/1024 wrapped
    double turned = fmod((double)core_loop.tics * 2 * M_PI / 1024 + M_PI, 2 * M_PI) - M_PI;
    EXPECT_NEAR(core_loop.orbit_yaw, turned, 1e-3);
    EXPECT_FLOAT_EQ(core_loop.controls[CORE_CTL_THROTTLE], 1);
    EXPECT_FLOAT_EQ(core_loop.controls[CORE_CTL_STEER], 1);
    ASSERT_TRUE(platform_null_push_event(code("right"), 1, platform_clock()));
    core_loop_frame();
    EXPECT_FLOAT_EQ(core_loop.controls[CORE_CTL_STEER], 0); // left + right cancel
    ASSERT_TRUE(platform_null_push_event(code("m"), 1, platform_clock()));
    core_loop_frame();
    EXPECT_FLOAT_EQ(core_loop.controls[CORE_CTL_LEAN], 1);
}

// The riding rider's controls reach the bike once a tic as the controls vector itself: the
// bike's input step does the shaping (reversed steering, sticky sit/dab, the clutch ramp).
TEST_F(loop_fixture, rider_controls_reach_the_bike_unshaped_once_a_tic) {
    g_world.status = 0; // riding
    core_loop.opt.sticky_dab = 1;
    core_loop.opt.reversed_steering = 1;
    ASSERT_TRUE(platform_null_push_event(code("z"), 1, platform_clock()));
    ASSERT_TRUE(platform_null_push_event(code("up"), 1, platform_clock()));
    ASSERT_TRUE(platform_null_push_event(code("right ctrl"), 1, platform_clock()));
    int start = g_world.inputs_set;
    long long tics = core_loop.tics;
    core_loop_frame();
    EXPECT_EQ(g_world.inputs_set - start, core_loop.tics - tics);
    EXPECT_GT(core_loop.tics - tics, 0);
    EXPECT_FLOAT_EQ(g_world.last_inputs[CORE_CTL_CLUTCH], 1); // the lever, not an engagement
    EXPECT_FLOAT_EQ(g_world.last_inputs[CORE_CTL_SHIFT], 1);
    EXPECT_FLOAT_EQ(g_world.last_inputs[CORE_CTL_DAB], 1);
    ASSERT_TRUE(platform_null_push_event(code("right ctrl"), 0, platform_clock()));
    core_loop_frame();
    EXPECT_FLOAT_EQ(g_world.last_inputs[CORE_CTL_DAB], 0); // no latch here
}

TEST_F(loop_fixture, screenshot_numbering_continues_after_existing_files) {
    const char *const files[] = {"screenshot007.ppm", "screenshot012.png", "screenshots.txt",
                                 "tracks/screenshot099.ppm", nullptr};
    char name[64];
    core_loop_next_screenshot(name, sizeof name, files);
    EXPECT_STREQ(name, "screenshot013.png");
    core_loop_next_screenshot(name, sizeof name, files);
    EXPECT_STREQ(name, "screenshot014.png");
    core_loop.screenshot_scanned = 0;
    core_loop.screenshot_counter = 0;
    core_loop_next_screenshot(name, sizeof name, nullptr);
    EXPECT_STREQ(name, "screenshot001.png");
}

// A full-screen window where the display could not switch modes is the desktop's size, not the
// configured one: the screenshot must be the whole picture as drawn.
TEST_F(loop_fixture, screenshot_takes_the_drawn_size_not_the_configured_one) {
    static int read_w, read_h, png_w, png_h, pngs;
    read_w = read_h = png_w = png_h = pngs = 0;
    core_hook.read_back_rgb = [](int width, int height) -> unsigned char * {
        read_w = width, read_h = height;
        return (unsigned char *)zv_alloc_zeroed((size_t)width * height, 3);
    };
    core_hook.write_png = [](const char *, const unsigned char *, int width, int height) {
        png_w = width, png_h = height, pngs++;
        return 1;
    };
    core_render.xres = 640;
    core_render.yres = 480;
    platform_null_set_size(1280, 720);
    core_loop.opt.windowed = 0;
    core_loop_frame(); // draws once: the drawable is now known
    press("s");
    core_loop_frame();
    EXPECT_EQ(pngs, 1);
    EXPECT_EQ(read_w, 1280);
    EXPECT_EQ(read_h, 720);
    EXPECT_EQ(png_w, 1280);
    EXPECT_EQ(png_h, 720);
    EXPECT_EQ(core_render.xres, 640); // the configured resolution is left as set
}

TEST_F(loop_fixture, setup_change_report_every_five_seconds) {
    static int calls;
    calls = 0;
    core_hook.setup_changes = [](char *letters, int size) {
        calls++;
        snprintf(letters, (size_t)size, "%s", calls == 1 ? "a-c" : "---");
        return calls == 1 ? 2 : 0;
    };
    core_options.lock_fps = 10;
    for (int i = 0; i < 49; i++)
        core_loop_frame();
    EXPECT_EQ(calls, 0);
    core_loop_frame(); // game clock reaches 5 s
    EXPECT_EQ(calls, 1);
    EXPECT_STREQ(zv_message_line(0), "[SPAM] Setup change a-c");
    for (int i = 0; i < 50; i++)
        core_loop_frame();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(zv_messages.total, 1); // nothing changed: no report
}

TEST_F(loop_fixture, online_advance_follows_the_server_clock) {
    g_world.connected = 1;
    static double lead;
    static int before_start;
    core_hook.server_lead_tics = [](int *b) {
        *b = before_start;
        return lead;
    };
    struct sync_case {
        double lead_tics;
        int before;
        double factor;
    } cases[] = {
        {-200, 0, 0.5},  // far ahead: half speed
        {-64, 0, 0.75},  // L = -0.5 s
        {0, 0, 1.0},     // in step
        {8, 0, 1.0625},  // L = 1/16 s: 8L = 0.5
        {500, 0, 1.125}, // far behind during the race
        {64, 1, 2.5},    // before the start: up to four times
        {500, 1, 4.0},
    };
    for (const sync_case &c : cases) {
        lead = c.lead_tics;
        before_start = c.before;
        core_loop_frame();
        // The fake clock waits in whole microseconds: the raw advance is t + 0.5 us.
        EXPECT_NEAR(core_loop.last_advance, CORE_TIC_LENGTH * c.factor, 3e-6) << c.lead_tics;
    }
}

} // namespace
