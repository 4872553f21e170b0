// A game pad bound through the configuration rides the bike: a virtual SDL controller's trigger
// on throttle and its stick on steering, through the SDL back end, the bindings and the loop.
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "platform/sdl/platform_sdl.h"
#include "support/ride_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct pad_env {
    pad_env() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
} g_pad_env;

bike_record *g_bike;
ride_sample g_sample;
int g_race_tics;

struct gamepad_ride : testing::Test {
    platform_window *w = nullptr;
    int stick = -1;
    SDL_Joystick *pad = nullptr;

    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), 0)
            << SDL_GetError();
        SDL_VirtualJoystickDesc desc = {};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = 6;
        desc.nbuttons = 15;
        desc.name = "Virtual Pad";
        stick = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(stick, 0) << SDL_GetError();
        platform_request_gl_version(3, 1, PLATFORM_GL_CORE);
        w = platform_create_gl_window("Zelvo", 320, 240, 32, 0, 24, 8, 0);
        if (!w) GTEST_SKIP() << "no window on the offscreen driver: " << platform_last_error();
        pad = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(stick));
        ASSERT_NE(pad, nullptr);

        core_settings_defaults(&core_options);
        core_options.warp = 1; // 100 tics a frame, no waiting on the wall clock
        core_config_defaults();
        ride_harness_flat(8, 4.0f);
        g_bike = ride_harness_bike("crf250(2007)", 1024, 1950, 0);
        ASSERT_NE(g_bike, nullptr);
        g_race_tics = 0;
        core_hook = core_hooks();
        core_hook.track_loaded = [] { return 1; };
        core_hook.bike_in_slot = [](int) { return 1; };
        core_hook.slot_status = [](int) { return 0; };
        core_hook.set_rider_inputs = core_rider_inputs_to_bike; // the game's own
        core_hook.race_tic = [] {
            ride_harness_step();
            ride_harness_sample(g_bike, &g_sample);
            g_race_tics++;
        };
    }
    void TearDown() override {
        if (w) {
            core_loop_shutdown();
            core_binding_release_all();
            platform_destroy_gl_window(w);
        }
        core_hook = core_hooks();
        ride_harness_end();
        core_config_defaults();
        if (stick >= 0) SDL_JoystickDetachVirtual(stick);
    }
    void axis(int a, int v) {
        ASSERT_EQ(SDL_JoystickSetVirtualAxis(pad, a, (Sint16)v), 0) << SDL_GetError();
        SDL_JoystickUpdate();
    }
    void ride(int tics) {
        int until = g_race_tics + tics;
        while (g_race_tics < until) {
            ASSERT_TRUE(core_loop_frame());
            ASSERT_FALSE(g_sample.crashed) << "tic " << g_race_tics;
        }
    }
};

TEST_F(gamepad_ride, trigger_and_stick_bound_in_the_configuration_drive_the_bike) {
    // The lines a player's configuration holds after binding the pad.
    core_config_line("throttle_key=(0.000000,1.000000)XInputGamepad0 axis 5");
    core_config_line("left_key=(0.000000,-1.000000)XInputGamepad0 axis 0");
    core_config_line("right_key=(0.000000,1.000000)XInputGamepad0 axis 0");
    core_binding_reset_all(w);
    ASSERT_NE(core_bindings[CORE_BIND_THROTTLE].axis, nullptr);
    ASSERT_NE(core_bindings[CORE_BIND_LEFT].axis, nullptr);
    core_loop_init(w);
    core_config_loop_options(&core_loop.opt);
    core_loop.view_mode = CORE_VIEW_RIDER;

    ride(128);
    EXPECT_LT(g_sample.speed, 1.0); // nothing pressed yet

    axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    ride(4 * 128);
    EXPECT_GT(g_sample.speed, 40.0);
    EXPECT_LT(g_sample.pos[2], 1950 - 80.0);
    double heading = g_sample.heading;

    axis(SDL_CONTROLLER_AXIS_LEFTX, -32768); // stick to the left
    ride(96);
    axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    ride(64);
    EXPECT_GT(g_sample.heading - heading, 0.1);
    double after_left = g_sample.heading;

    axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    ride(128);
    axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    ride(64);
    EXPECT_LT(g_sample.heading - after_left, -0.1);
}

} // namespace
