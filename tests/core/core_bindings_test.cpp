// Control bindings: key events and axes into the controls vector, the binding text, and
// capturing a binding from a key or an axis.
#include "core/core_binding.h"
#include "platform/null/platform_null.h"
#include "platform/platform_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct bindings_fixture : testing::Test {
    platform_window *w = nullptr;
    platform_device *pad = nullptr;
    void SetUp() override {
        platform_null_reset();
        w = platform_create_gl_window("Zelvo", 640, 480, 16, 0, 16, 0, 0);
        ASSERT_NE(w, nullptr);
        pad = platform_input_add_device(platform_window_input(w), "pad", 8, 4, nullptr, nullptr, 1);
        ASSERT_NE(pad, nullptr);
        core_binding_defaults();
        core_binding_reset_all(w);
    }
    void TearDown() override {
        core_binding_capture_cancel();
        core_binding_release_all();
        platform_destroy_gl_window(w);
    }
    void accumulate(float c[9]) {
        for (int i = 0; i < 9; i++)
            c[i] = 0;
        core_binding_accumulate(c);
    }
    int code(const char *name) { return platform_code_for_name(w, name); }
    void bind_axis(int id, const char *text) {
        core_binding_parse(&core_bindings[id], text);
        core_binding_reset(&core_bindings[id], w);
    }
};

TEST_F(bindings_fixture, default_keys_add_into_the_controls_vector_with_their_signs) {
    float c[9];
    core_binding_key(code("x"), 1);
    core_binding_key(code("left"), 1);
    core_binding_key(code("n"), 1);
    core_binding_key(code("down"), 1);
    accumulate(c);
    EXPECT_EQ(c[1], 1);  // throttle
    EXPECT_EQ(c[0], 1);  // Left adds +1 to steer
    EXPECT_EQ(c[8], -1); // lean forward
    EXPECT_EQ(c[4], -1); // downshift
    core_binding_key(code("right"), 1);
    accumulate(c);
    EXPECT_EQ(c[0], 0); // both steering keys cancel
    core_binding_key(code("x"), 0);
    accumulate(c);
    EXPECT_EQ(c[1], 0);
    // Hot keys never reach the vector.
    core_binding_key(code("pause"), 1);
    EXPECT_TRUE(core_binding_is(CORE_BIND_PAUSE, code("pause")));
    EXPECT_FALSE(core_binding_is(CORE_BIND_PAUSE, code("x")));
}

TEST_F(bindings_fixture, axes_map_low_and_high_onto_zero_and_one) {
    bind_axis(CORE_BIND_THROTTLE, "(0.25,0.75)pad axis 1");
    ASSERT_NE(core_bindings[CORE_BIND_THROTTLE].axis, nullptr);
    float c[9];
    platform_device_axis(pad, 1, 16384); // 0.5
    accumulate(c);
    EXPECT_FLOAT_EQ(c[1], 0.5f);
    platform_device_axis(pad, 1, 32767);
    accumulate(c);
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    platform_device_axis(pad, 1, -32768);
    accumulate(c);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    // A reversed range maps a lever pushed the other way.
    bind_axis(CORE_BIND_THROTTLE, "(0.75,0.25)pad axis 1");
    platform_device_axis(pad, 1, 8192); // 0.25
    accumulate(c);
    EXPECT_FLOAT_EQ(c[1], 1.0f);
    // Equal bounds give 0, never infinity or NaN.
    bind_axis(CORE_BIND_THROTTLE, "(0.5,0.5)pad axis 1");
    platform_device_axis(pad, 1, 32767);
    accumulate(c);
    EXPECT_EQ(c[1], 0.0f);
    // An axis that does not exist leaves the binding without a handle and at 0.
    bind_axis(CORE_BIND_LEFT, "(0,1)nothing axis 0");
    EXPECT_EQ(core_bindings[CORE_BIND_LEFT].axis, nullptr);
    accumulate(c);
    EXPECT_EQ(c[0], 0.0f);
    // Steering from one stick: left half on Left, right half on Right.
    bind_axis(CORE_BIND_LEFT, "(0,-1)pad axis 0");
    bind_axis(CORE_BIND_RIGHT, "(0,1)pad axis 0");
    platform_device_axis(pad, 0, -16384);
    accumulate(c);
    EXPECT_FLOAT_EQ(c[0], 0.5f);
    platform_device_axis(pad, 0, 32767);
    accumulate(c);
    EXPECT_NEAR(c[0], -1.0f, 1e-4);
}

TEST_F(bindings_fixture, binding_text_round_trips) {
    char line[256];
    EXPECT_GT(core_binding_format(&core_bindings[CORE_BIND_DAB], line, sizeof line), 0);
    EXPECT_STREQ(line, "dab_key=(k)right ctrl\n");
    core_binding_parse(&core_bindings[CORE_BIND_THROTTLE], "(0.1,0.9)pad axis 2");
    core_binding_format(&core_bindings[CORE_BIND_THROTTLE], line, sizeof line);
    EXPECT_STREQ(line, "throttle_key=(0.100000,0.900000)pad axis 2\n");
    EXPECT_EQ(core_binding_format(&core_bindings[CORE_BIND_THROTTLE], line, 10), -1);
    EXPECT_STREQ(line, "");
    core_binding_parse(&core_bindings[CORE_BIND_STEP], "");
    EXPECT_EQ(core_binding_format(&core_bindings[CORE_BIND_STEP], line, sizeof line), 0);
    EXPECT_EQ(core_binding_find("console_key"), CORE_BIND_CHAT);
    EXPECT_EQ(core_binding_find("Console_key"), -1);
    // A name longer than the field is cut, never overrun.
    std::string longname(300, 'k');
    core_binding_parse(&core_bindings[CORE_BIND_STEP], longname.c_str());
    EXPECT_EQ(strlen(core_bindings[CORE_BIND_STEP].key_name), (size_t)CORE_BINDING_NAME - 1);
}

TEST_F(bindings_fixture, capture_takes_a_key_after_it_has_stood_a_quarter_second) {
    int esc = code("esc");
    ASSERT_TRUE(core_binding_capture_start(w, CORE_BIND_THROTTLE, 10.0, 0));
    EXPECT_TRUE(core_binding_capturing());
    EXPECT_FALSE(core_binding_capture_tic(10.0));
    EXPECT_TRUE(core_binding_capture_key(code("q"), esc, 10.0));
    core_binding_capture_key(code("w"), esc, 10.1); // only the first key counts
    EXPECT_FALSE(core_binding_capture_tic(10.2));
    EXPECT_TRUE(core_binding_capture_tic(10.25));
    EXPECT_FALSE(core_binding_capturing());
    // The platform's own name for the key, which looks up to the same key.
    EXPECT_EQ(platform_code_for_name(w, core_bindings[CORE_BIND_THROTTLE].key_name), code("q"));
    EXPECT_EQ(core_bindings[CORE_BIND_THROTTLE].key_code, code("q"));
    EXPECT_EQ(pad->open_axes, 0); // every watched axis closed again
}

TEST_F(bindings_fixture, capture_takes_an_axis_moved_far_and_held) {
    platform_device_axis(pad, 2, -32768); // a trigger resting at -1
    ASSERT_TRUE(core_binding_capture_start(w, CORE_BIND_FRONT_BRAKE, 5.0, 1));
    platform_device_axis(pad, 2, 0);    // halfway: not yet past 0.5 of travel? exactly 1.0
    platform_device_axis(pad, 0, 8000); // a small wobble on another axis
    EXPECT_FALSE(core_binding_capture_tic(5.0));
    platform_device_axis(pad, 2, 32767);
    EXPECT_FALSE(core_binding_capture_tic(5.1)); // still growing
    EXPECT_FALSE(core_binding_capture_tic(5.3));
    EXPECT_TRUE(core_binding_capture_tic(5.35));
    const core_binding &b = core_bindings[CORE_BIND_FRONT_BRAKE];
    EXPECT_STREQ(b.axis_name, "pad axis 2");
    EXPECT_STREQ(b.key_name, "");
    float travel = 32767 / 32768.0f + 1;
    EXPECT_NEAR(b.low, -1 + travel / 16, 1e-5);
    EXPECT_NEAR(b.high, -1 + travel * 15 / 16, 1e-5);
    ASSERT_NE(b.axis, nullptr);
    EXPECT_EQ(pad->open_axes, 1); // only the bound axis stays open
    float c[9];
    accumulate(c);
    EXPECT_FLOAT_EQ(c[2], 1.0f);
}

TEST_F(bindings_fixture, escape_ends_a_capture_without_change) {
    ASSERT_TRUE(core_binding_capture_start(w, CORE_BIND_CLUTCH, 0.0, 0));
    core_binding_capture_key(code("esc"), code("esc"), 0.0);
    EXPECT_FALSE(core_binding_capturing());
    EXPECT_TRUE(core_binding_capture_tic(1.0));
    EXPECT_STREQ(core_bindings[CORE_BIND_CLUTCH].key_name, "z");
    EXPECT_EQ(pad->open_axes, 0);
    EXPECT_FALSE(core_binding_capture_key(code("q"), code("esc"), 1.0));
}

} // namespace
