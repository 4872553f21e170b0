// The riding path end to end on the headless platform: queued key events go through the
// configured bindings and the main loop's tics into the rider inputs and the simulated bike.
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "platform/null/platform_null.h"
#include "platform/platform_input.h"
#include "support/ride_harness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

bike_record *g_bike;
ride_sample g_sample;
int g_race_tics;

// The race tic's part that matters here: one world step of the bike.
void race_tic(void) {
    ride_harness_step();
    ride_harness_sample(g_bike, &g_sample);
    g_race_tics++;
}

struct ride_fixture : testing::Test {
    platform_window *w = nullptr;
    platform_device *pad = nullptr;
    void SetUp() override {
        platform_null_reset();
        platform_null_set_time(100.0);
        w = platform_create_gl_window("Zelvo", 640, 480, 16, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        pad = platform_input_add_device(platform_window_input(w), "pad", 8, 4, nullptr, nullptr, 1);
        core_settings_defaults(&core_options);
        core_options.lock_fps = 64; // two tics a frame, whatever the machine's speed
        core_config_defaults();
        ride_harness_flat(8, 4.0f);
        g_bike = ride_harness_bike("crf250(2007)", 1024, 1950, 0);
        ASSERT_NE(g_bike, nullptr);
        g_race_tics = 0;
        core_hook = core_hooks();
        core_hook.track_loaded = [] { return 1; };
        core_hook.bike_in_slot = [](int) { return 1; };
        core_hook.slot_status = [](int) { return 0; };
        core_hook.race_tic = race_tic;
        core_hook.set_rider_inputs = core_rider_inputs_to_bike; // the game's own
    }
    void start(void) {
        core_binding_reset_all(w);
        core_loop_init(w);
        core_config_loop_options(&core_loop.opt);
        core_loop.view_mode = CORE_VIEW_RIDER;
    }
    void TearDown() override {
        core_loop_shutdown();
        core_binding_release_all();
        core_hook = core_hooks();
        platform_destroy_gl_window(w);
        ride_harness_end();
        core_config_defaults();
    }
    void key(const char *name, int pressed) {
        int code = platform_code_for_name(w, name);
        ASSERT_GE(code, 0) << name;
        ASSERT_TRUE(platform_null_push_event(code, pressed, platform_clock()));
    }
    void ride(double seconds) {
        int frames = (int)lround(seconds * 64);
        for (int i = 0; i < frames; i++) {
            ASSERT_TRUE(core_loop_frame());
            ASSERT_FALSE(g_sample.crashed) << "tic " << g_race_tics;
        }
    }
};

TEST_F(ride_fixture, throttle_key_moves_the_bike_forward_and_the_left_key_turns_it_left) {
    start();
    key("x", 1);
    ride(4.0);
    EXPECT_EQ(g_race_tics, 512);
    EXPECT_GT(g_sample.speed, 40.0);
    EXPECT_LT(g_sample.pos[2], 1950 - 80.0); // forward is -z
    EXPECT_NEAR(g_sample.pos[0], 1024, 3.0);
    double heading = g_sample.heading;

    // A steering pulse with the default Left key: the bike turns to its left.
    key("left", 1);
    ride(0.75);
    key("left", 0);
    ride(0.5);
    EXPECT_GT(g_sample.heading - heading, 0.1);
    double after_left = g_sample.heading;

    key("right", 1);
    ride(1.0);
    key("right", 0);
    ride(0.5);
    EXPECT_LT(g_sample.heading - after_left, -0.1);

    key("x", 0);
    key("c", 1);
    key("v", 1);
    ride(6.0);
    EXPECT_LT(g_sample.speed, 3.0);
}

TEST_F(ride_fixture, bindings_from_the_configuration_drive_the_bike) {
    // A rider who moved throttle onto a pad trigger and steering onto a stick.
    core_config_line("throttle_key=(0,1)pad axis 2");
    core_config_line("left_key=(0,-1)pad axis 0");
    core_config_line("right_key=(0,1)pad axis 0");
    start();
    platform_device_axis(pad, 2, 32767);
    ride(4.0);
    EXPECT_GT(g_sample.speed, 40.0);
    double heading = g_sample.heading;
    platform_device_axis(pad, 0, -32768); // stick to the left
    ride(0.75);
    platform_device_axis(pad, 0, 0);
    ride(0.5);
    EXPECT_GT(g_sample.heading - heading, 0.1);
    // The old throttle key does nothing now.
    platform_device_axis(pad, 2, 0);
    key("x", 1);
    double coasting = g_sample.speed;
    ride(3.0);
    EXPECT_LT(g_sample.speed, coasting - 5.0);
}

TEST_F(ride_fixture, a_binding_captured_through_the_loop_rides) {
    start();
    ASSERT_TRUE(core_binding_capture_start(w, CORE_BIND_THROTTLE, core_loop.game_clock, 0));
    key("q", 1);
    key("q", 0);
    ride(0.5);
    EXPECT_FALSE(core_binding_capturing());
    EXPECT_EQ(core_bindings[CORE_BIND_THROTTLE].key_code, platform_code_for_name(w, "q"));
    key("x", 1); // the old key is free now
    ride(1.0);
    EXPECT_LT(g_sample.speed, 1.0);
    key("q", 1);
    ride(2.0);
    EXPECT_GT(g_sample.speed, 15.0);
}

TEST_F(ride_fixture, reversed_steering_no_turns_the_other_way) {
    core_config_line("reverse_steering=No");
    start();
    key("x", 1);
    ride(4.0);
    double heading = g_sample.heading;
    key("left", 1);
    ride(0.75);
    key("left", 0);
    ride(0.5);
    EXPECT_LT(g_sample.heading - heading, -0.1);
}

} // namespace
