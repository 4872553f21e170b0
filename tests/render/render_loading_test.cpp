// The loading screen's status lines: a step's own updates replace its line, new steps append,
// the oldest scrolls away, long texts are cut, and a new load starts an empty screen. With no
// window the screen only keeps the lines.
#include <gtest/gtest.h>

#include <string>

#include "render/render_loading.h"

namespace {

std::string line(const loading_lines &l, int i) {
    return l.text[i];
}

TEST(LoadingLines, UpdatesOfAStepReplaceItsLineAndNewStepsAppend) {
    loading_lines l = {};
    loading_lines_add(&l, "Loading heights");
    loading_lines_add(&l, "Loading heights.");
    loading_lines_add(&l, "Loading heights...");
    ASSERT_EQ(l.count, 1);
    EXPECT_EQ(line(l, 0), "Loading heights...");
    loading_lines_add(&l, "Loading heights...done");
    ASSERT_EQ(l.count, 1);
    EXPECT_EQ(line(l, 0), "Loading heights...done");
    // A step whose name only starts like the last one is a new step.
    loading_lines_add(&l, "Loading heights and shadows");
    loading_lines_add(&l, "Loading bikes");
    ASSERT_EQ(l.count, 3);
    EXPECT_EQ(line(l, 1), "Loading heights and shadows");
    EXPECT_EQ(line(l, 2), "Loading bikes");
    // A share done (": 40%") updates its step's line as dots do.
    loading_lines_add(&l, "Making starter lines");
    loading_lines_add(&l, "Making starter lines: 40%");
    EXPECT_EQ(line(l, 3), "Making starter lines: 40%");
    loading_lines_add(&l, "Making starter lines...done");
    ASSERT_EQ(l.count, 4);
    // Texts that are only dots name no step and never merge.
    loading_lines_add(&l, "...");
    loading_lines_add(&l, "...");
    EXPECT_EQ(l.count, 6);
    loading_lines_add(&l, nullptr);
    EXPECT_EQ(l.count, 6);
}

TEST(LoadingLines, OldestScrollsAwayAndLongTextsAreCut) {
    loading_lines l = {};
    for (int i = 0; i < LOADING_LINES + 3; i++)
        loading_lines_add(&l, ("Step " + std::to_string(i)).c_str());
    ASSERT_EQ(l.count, LOADING_LINES);
    EXPECT_EQ(line(l, 0), "Step 3");
    EXPECT_EQ(line(l, LOADING_LINES - 1), "Step " + std::to_string(LOADING_LINES + 2));
    std::string long_text(200, 'x');
    loading_lines_add(&l, long_text.c_str());
    EXPECT_EQ(line(l, LOADING_LINES - 1), std::string(LOADING_LINE_SIZE - 1, 'x'));
    loading_lines_clear(&l);
    EXPECT_EQ(l.count, 0);
}

TEST(LoadingScreen, ANewLoadStartsAnEmptyScreenAndNoWindowDrawsNothing) {
    loading_screen_show("Resetting...");
    loading_screen_show("Loading terrain");
    loading_screen_show("Loading terrain...done");
    loading_screen_show("Resetting...");
    loading_screen_show("Scanning");
    const loading_lines *l = loading_screen_lines();
    ASSERT_EQ(l->count, 2);
    EXPECT_EQ(line(*l, 0), "Resetting...");
    EXPECT_EQ(line(*l, 1), "Scanning");
}

} // namespace
