// The loading status line: begin, dots at most every 0.125 s, done, the longest delay, the pump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/null/platform_null.h"
#include "track/track_hooks.h"
#include "track/track_status.h"

namespace {

std::vector<std::string> shown, logged;
int pumps, redraws;
void on_status(const char *text) {
    shown.push_back(text);
}
void on_log(const char *line) {
    logged.push_back(line);
}
void on_pump(int redraw) {
    pumps++;
    redraws += redraw;
}

class TrackStatus : public ::testing::Test {
  protected:
    void SetUp() override {
        platform_null_reset();
        platform_null_set_time(100.0);
        shown.clear();
        logged.clear();
        pumps = 0;
        redraws = 0;
        track_render.status = on_status;
        track_render.pump = on_pump;
        track_log_tap = on_log;
        track_status_reset();
    }
    void TearDown() override {
        track_render.status = nullptr;
        track_render.pump = nullptr;
        track_log_tap = nullptr;
    }
};

TEST_F(TrackStatus, DotsCycleNoFasterThanEighthSeconds) {
    track_status_begin("Loading heights");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], "Loading heights\n");
    for (int i = 0; i < 6; i++) {
        track_status_update("Loading heights");
        track_status_update("Loading heights"); // too soon: nothing shown
        platform_null_advance(0.13);
    }
    std::vector<std::string> expected = {
        "Loading heights",    "Loading heights", "Loading heights.", "Loading heights..",
        "Loading heights...", "Loading heights", "Loading heights."};
    EXPECT_EQ(shown, expected);
    track_status_done("Loading heights");
    EXPECT_EQ(shown.back(), "Loading heights...done");
    EXPECT_EQ(logged.size(), 1u); // updates and done are not logged
    std::string long_name(100, 'x');
    track_status_done(long_name.c_str());
    EXPECT_EQ(shown.back(), std::string(64, 'x') + "...done");
}

TEST_F(TrackStatus, LongestDelayAndTheTextBeforeIt) {
    track_status_begin("Scanning");
    platform_null_advance(0.5);
    track_status_begin("Loading terrain");
    platform_null_advance(2.0);
    track_status_begin("Loading shadows");
    platform_null_advance(1.0);
    track_status_done("Loading shadows");
    const char *before = nullptr;
    EXPECT_DOUBLE_EQ(track_status_max_delay(&before), 2.0);
    EXPECT_STREQ(before, "Loading terrain");
    track_status_reset();
    EXPECT_DOUBLE_EQ(track_status_max_delay(&before), 0.0);
    EXPECT_STREQ(before, "");
}

TEST_F(TrackStatus, PumpRedrawsAtMostEverySixteenthSecond) {
    // Events are processed on every call; the loading screen is redrawn at most every 1/16 s.
    track_pump();
    track_pump();
    EXPECT_EQ(pumps, 2);
    EXPECT_EQ(redraws, 1);
    platform_null_advance(0.07);
    track_pump();
    EXPECT_EQ(redraws, 2);
    platform_null_set_time(1.0); // a clock that went back does not stop the redraws
    track_pump();
    EXPECT_EQ(redraws, 3);
}

} // namespace
