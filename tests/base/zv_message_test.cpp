#include "base/zv_message.h"

#include <gtest/gtest.h>

#include <string>

namespace {

double g_fake_clock;
double fake_clock(void) {
    return g_fake_clock;
}

struct message_fixture : testing::Test {
    void SetUp() override {
        zv_message_clear();
        zv_messages.line_limit = ZV_MESSAGE_DEFAULT_LIMIT;
        zv_messages.hide_spam = 0;
        g_fake_clock = 0;
        zv_message_clock = fake_clock;
    }
    void TearDown() override { zv_message_clock = nullptr; }
    void run_clock_to(double t) {
        // Frames of 1/60 s, as the loop would age the lines.
        while (g_fake_clock < t) {
            g_fake_clock += 1.0 / 60;
            zv_message_age(g_fake_clock);
        }
    }
};

TEST_F(message_fixture, eight_messages_limit_five_expire_two_then_every_five_seconds) {
    for (int i = 0; i < 8; i++)
        zv_message_add("message %d", i);
    EXPECT_EQ(zv_messages.showing, 5);
    EXPECT_STREQ(zv_message_line(0), "message 7");
    EXPECT_STREQ(zv_message_line(7), "message 0");
    EXPECT_EQ(zv_message_line(8), nullptr);

    run_clock_to(1.95);
    EXPECT_EQ(zv_messages.showing, 5);
    run_clock_to(2.05);
    EXPECT_EQ(zv_messages.showing, 4);
    run_clock_to(6.95);
    EXPECT_EQ(zv_messages.showing, 4);
    run_clock_to(7.05);
    EXPECT_EQ(zv_messages.showing, 3);
    run_clock_to(12.05);
    EXPECT_EQ(zv_messages.showing, 2);
    run_clock_to(17.05);
    EXPECT_EQ(zv_messages.showing, 1);
    run_clock_to(22.05);
    EXPECT_EQ(zv_messages.showing, 0);
    run_clock_to(40);
    EXPECT_EQ(zv_messages.showing, 0);
}

TEST_F(message_fixture, new_message_restarts_expiry_from_now) {
    zv_message_add("a");
    run_clock_to(1.5);
    zv_message_add("b");
    run_clock_to(3.0);
    EXPECT_EQ(zv_messages.showing, 2);
    run_clock_to(3.6);
    EXPECT_EQ(zv_messages.showing, 1);
}

TEST_F(message_fixture, ring_wraps_and_cuts_long_lines) {
    for (int i = 0; i < 1005; i++)
        zv_message_add("line %d\n", i);
    EXPECT_EQ(zv_messages.next, 5);
    EXPECT_STREQ(zv_message_line(0), "line 1004");
    EXPECT_STREQ(zv_message_line(999), "line 5");
    EXPECT_EQ(zv_message_line(1000), nullptr);

    std::string big(600, 'x');
    zv_message_add("%s", big.c_str());
    EXPECT_EQ(std::string(zv_message_line(0)), std::string(255, 'x'));
}

TEST_F(message_fixture, toggle_reports_on_then_off_and_levels_drop_to_zero) {
    int level = 0;
    zv_message_toggle("FPS display", &level);
    EXPECT_EQ(level, 1);
    EXPECT_STREQ(zv_message_line(0), "FPS display ON");
    zv_message_toggle("FPS display", &level);
    EXPECT_EQ(level, 0);
    EXPECT_STREQ(zv_message_line(0), "FPS display OFF");
    level = 2;
    zv_message_toggle("FPS display", &level);
    EXPECT_EQ(level, 0);
    std::string long_label(100, 'L');
    zv_message_toggle(long_label.c_str(), &level);
    EXPECT_EQ(std::string(zv_message_line(0)), std::string(60, 'L') + " ON");
}

TEST_F(message_fixture, hide_spam_drops_spam_only) {
    zv_messages.hide_spam = 1;
    zv_message_add("[SPAM] Setup change ab--");
    EXPECT_EQ(zv_messages.total, 0);
    EXPECT_EQ(zv_messages.showing, 0);
    zv_message_add("Lap 2");
    EXPECT_STREQ(zv_message_line(0), "Lap 2");
    zv_messages.hide_spam = 0;
    zv_message_add("[SPAM] Setup change ab--");
    EXPECT_STREQ(zv_message_line(0), "[SPAM] Setup change ab--");
}

TEST_F(message_fixture, zero_limit_shows_nothing) {
    zv_messages.line_limit = 0;
    zv_message_add("quiet");
    EXPECT_EQ(zv_messages.showing, 0);
    EXPECT_STREQ(zv_message_line(0), "quiet");
}

} // namespace
