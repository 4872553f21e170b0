// A points series as a player runs it: the program on the null back end, driven by keys on its
// clock, with the series the default data ships. The first event is raced and left when the
// robots are home; started again, the program reads the standings back, shows the next event
// and lines the riders up by the first event's places.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "race/race_series.h"
#include "ui/hud.h"
#include "ui/ui_menu.h"

namespace {

const int K = PLATFORM_KEY_BASE;
const int DOWN = K + 0x150, ENTER = K + 0x1C;

// What the player saw: the series page's title line and the start banner, first of each.
std::string g_page_title, g_banner;

void see_menus(void) {
    int i = race_series_list.selected;
    if (core_loop.menu_page != UI_PAGE_STANDINGS || i < 0 || !g_page_title.empty()) return;
    char text[1000];
    race_series_title(&race_series_list.list[i], text, sizeof text);
    g_page_title = text;
}

void see_overlays(int) {
    char first[128], second[64];
    if (g_banner.empty() && core_hook.track_loaded && core_hook.track_loaded()) {
        hud_start_banner_lines(first, second);
        g_banner = first;
    }
}

struct series_game : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_game_series_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        std::filesystem::create_directories(home + "/Zelvo");
        std::ofstream(home + "/Zelvo/config") << "record=No\nnumber=42\n";
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("ZV_HOME");
        std::error_code ignored;
        if (!getenv("ZV_KEEP_HOME")) std::filesystem::remove_all(home, ignored);
    }
    // Main menu -> "Points Series" -> the first series -> "Enter Next Event", then the window
    // closes at close_at.
    int run_next_event(double close_at) {
        platform_null_reset();
        core_hook = core_hooks();
        core_hook.draw_menus = see_menus;
        core_hook.draw_overlays = see_overlays;
        g_page_title.clear();
        g_banner.clear();
        file_index_free();
        data_root_reset();
        double t = 1;
        auto key = [&](int code, int times) {
            for (int i = 0; i < times; i++, t += 0.15) {
                platform_null_script_event(code, 1, t);
                platform_null_script_event(code, 0, t + 0.05);
            }
        };
        key(DOWN, 2);
        key(ENTER, 1);
        key(DOWN, 1);
        key(ENTER, 1);
        key(DOWN, 1);
        key(ENTER, 1);
        platform_null_script_event(PLATFORM_CLOSE, 1, close_at);
        const char *args[] = {"zelvo", "--nosound", "--lock-fps", "8"};
        std::vector<char *> argv;
        for (const char *a : args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        return core_main((int)argv.size() - 1, argv.data());
    }
    std::vector<std::vector<int>> standings() {
        std::ifstream in(home + "/Zelvo/series/pinehollow.series_standings");
        std::vector<std::vector<int>> lines;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream l(line);
            lines.emplace_back();
            for (int v; l >> v;)
                lines.back().push_back(v);
        }
        return lines;
    }
};

int number_of(int slot) {
    int r = race.robot_of[slot];
    return r >= 0 && r < RACE_ROBOT_COUNT ? race_robot_roster[r].number : -1;
}

TEST_F(series_game, an_event_is_raced_stored_and_the_next_lines_up_from_its_result) {
    // The sprint is one lap: an amateur robot rides it in about two minutes. The player stays
    // on the gate, so the results stay unofficial and leaving stores the running order.
    ASSERT_EQ(run_next_event(200), 0);
    EXPECT_EQ(g_page_title, "Next Event: Pine Hollow Sprint");
    EXPECT_EQ(g_banner, "Pine Hollow Sprint");
    EXPECT_EQ(race.lap_total, 1);
    ASSERT_GT(race.order_count, 0);
    int winner_slot = race.order[0].slot;
    EXPECT_TRUE(race_finished(winner_slot));
    int winner = number_of(winner_slot);
    const int robots[5] = {7, 12, 14, 21, 22};
    auto lines = standings();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 6u);
    std::vector<int> seen(7, 0);
    for (int r = 0; r < 5; r++) {
        ASSERT_GE(lines[0][r], 1);
        ASSERT_LE(lines[0][r], 5);
        seen[lines[0][r]]++;
        if (robots[r] == winner) {
            EXPECT_EQ(lines[0][r], 1);
        }
    }
    EXPECT_EQ(seen, std::vector<int>({0, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(lines[0][5], 6) << "the player never finished";

    // Started again: the page shows the next event; entered, the player starts from the first
    // slot handed out (last place) and the winner from the best.
    ASSERT_EQ(run_next_event(12), 0);
    EXPECT_EQ(g_page_title, "Next Event: Pine Hollow Moto 1");
    EXPECT_EQ(g_banner, "Pine Hollow Moto 1");
    EXPECT_EQ(race.lap_total, 3);
    EXPECT_EQ(race.lineup[6], RACE_HUMAN);
    EXPECT_EQ(race.lineup[16], RACE_ROBOT_NUMBER + winner);
    EXPECT_EQ(race.status[6], RACE_LOCAL);
    char number[16];
    race_rider_number(6, number, sizeof number);
    EXPECT_STREQ(number, "42") << "the player's own number, from whatever gate";
    EXPECT_EQ(number_of(16), winner);
    lines = standings();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1][5], 6);
}

} // namespace
