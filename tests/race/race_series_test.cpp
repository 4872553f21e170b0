// Points series files, standings files and the results they keep, read from a home folder the
// test writes, as a downloaded series would arrive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "data/data_file.h"
#include "data/data_index.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "race/race_series.h"
#include "track/track_list.h"

namespace {

struct series_fixture : testing::Test {
    std::string home;
    track_list_state saved_tracks;
    char track_dir[16] = "tracks/t";
    char *dirs[1] = {track_dir};
    char *names[1] = {track_dir};
    race_series s = {};

    void SetUp() override {
        char tmpl[] = "/tmp/zv_series_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        file_index_free();
        data_root_reset();
        std::filesystem::create_directories(home + "/Zelvo/series");
        saved_tracks = track_list;
        track_list = {1, 1, dirs, names};
    }
    void TearDown() override {
        race_series_free(&s);
        track_list = saved_tracks;
        unsetenv("XDG_DATA_HOME");
        file_index_free();
        data_root_reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    void write(const std::string &name, const std::string &text) {
        std::ofstream(home + "/Zelvo/" + name) << text;
    }
    std::string read(const std::string &name) {
        std::ifstream in(home + "/Zelvo/" + name);
        std::stringstream t;
        t << in.rdbuf();
        return t.str();
    }
    // A series of the given robots and events; each event's points are `race` then `round` for
    // places 1, 2, 3, ..., the rest of the 40 zero.
    struct event_text {
        const char *name;
        std::string race, round;
    };
    static std::string points(const std::string &first) {
        std::istringstream in(first);
        std::string out;
        int n = 0, v;
        while (in >> v)
            out += std::to_string(v) + " ", n++;
        for (; n < 40; n++)
            out += "0 ";
        return out + "\n";
    }
    void write_series(const std::string &robots, int count,
                      std::initializer_list<event_text> events) {
        std::string t = "\"Test Cup\"\n" + std::to_string(count) + " Amateur\n" + robots + "\n" +
                        std::to_string(events.size()) + "\n";
        for (const event_text &e : events)
            t += std::string("\"") + e.name + "\" tracks/t\n0 1\n" + points(e.race) +
                 points(e.round);
        write("series/t.series", t);
    }
    int load() {
        race_series_free(&s);
        return race_series_load("series/t.series", &s, 0);
    }
};

TEST_F(series_fixture, standings_rounds_ties_and_lineups) {
    // A standings line cut short does not count, and reading stops there.
    write_series("7 12 14", 3,
                 {{"Opener", "10 5 3 1", "10 6 4 2"}, {"Second", "10 5 3 1", "10 6 4 2"}});
    write("series/t.series_standings", "1 2 3 4\n2 1\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(s.riders, 3);
    EXPECT_EQ(s.skill, 1);
    EXPECT_EQ(s.completed, 1);
    EXPECT_STREQ(s.standings, "@series/t.series_standings");
    char text[1000];
    race_series_title(&s, text, sizeof text);
    EXPECT_STREQ(text, "Next Event: Second");

    // A two-event round: level on points after it, the better place in its last event wins.
    // After its first event only, a rider placed third shows "- (3-)".
    write_series("7 12", 2, {{"Heat A", "25 22 20", "0"}, {"Heat B", "25 22 20", "50 40 30"}});
    write("series/t.series_standings", "1 2 3\n");
    ASSERT_EQ(load(), 1);
    race_series_cell(&s, 1, 2, text, sizeof text);
    EXPECT_STREQ(text, "- (3-)");
    write("series/t.series_standings", "1 2 3\n2 1 3\n");
    ASSERT_EQ(load(), 1);
    ASSERT_EQ(s.completed, 2);
    EXPECT_EQ(s.events[1].overall[1], 0); // 47 each; robot 1 won the last event
    EXPECT_EQ(s.events[1].overall[0], 1);
    race_series_cell(&s, 1, 1, text, sizeof text);
    EXPECT_STREQ(text, "50 (2-1)");
    int rider[RACE_SERIES_RIDERS], total[RACE_SERIES_RIDERS];
    ASSERT_EQ(race_series_order(&s, rider, total), 3);
    EXPECT_EQ(rider[0], 1);
    EXPECT_EQ(total[0], 50);
    EXPECT_EQ(rider[2], 2);
    race_series_title(&s, text, sizeof text);
    EXPECT_STREQ(text, "Test Cup Final Standings");

    // Five robots; the player won the last event: the player starts from slot 16, the last
    // placed rider from slot 6, everybody two slots apart by place.
    write_series("7 12 14 21 22", 5, {{"One", "1", "1"}, {"Two", "1", "1"}});
    write("series/t.series_standings", "2 3 4 5 6 1\n");
    ASSERT_EQ(load(), 1);
    int lineup[RACE_SLOTS];
    ASSERT_EQ(race_series_lineup(&s, lineup), 1);
    EXPECT_EQ(lineup[16], RACE_HUMAN);
    EXPECT_EQ(lineup[6], RACE_ROBOT_NUMBER + 22);
    EXPECT_EQ(lineup[14], RACE_ROBOT_NUMBER + 7);
    EXPECT_EQ(lineup[7], 0);
    // Every event done: no next event.
    write("series/t.series_standings", "2 3 4 5 6 1\n1 2 3 4 5 6\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(race_series_lineup(&s, lineup), 0);
}

TEST_F(series_fixture, stored_results_a_rider_who_did_not_finish_and_reset_points) {
    write_series("7 12", 2, {{"One", "3 2 1", "3 2 1"}, {"Two", "3 2 1", "3 2 1"}});
    write("series/t.series_standings", "");
    race_series_list_free();
    const char *files[] = {"series/t.series", "series/broken.series", nullptr};
    write("series/broken.series", "\"Broken\" 2 Expert 7\n");
    ASSERT_EQ(race_series_list_build(files, 0), 1);

    // The race was left before the player finished: the robots take the places of the running
    // order, the player none (R + 1 in the file).
    race_series_list.current = 0;
    race_series_list.current_event = 0;
    int roster7 = -1, roster12 = -1;
    for (int i = 0; i < RACE_ROBOT_COUNT; i++) {
        if (race_robot_roster[i].number == 7) roster7 = i;
        if (race_robot_roster[i].number == 12) roster12 = i;
    }
    race.results_final = 0;
    race.local_slot = 0;
    race_player_number = 99;
    race.order_count = 3;
    race.order[0] = {2, 10, 0};
    race.order[1] = {0, 9, 0};
    race.order[2] = {1, 5, 0};
    race.status[0] = RACE_LOCAL;
    race.status[1] = race.status[2] = RACE_ROBOT_DRIVEN;
    race.robot_of[0] = -1;
    race.robot_of[1] = roster7;
    race.robot_of[2] = roster12;
    race.riders[0].finished = 0;
    race_series_store();
    EXPECT_EQ(race_series_list.current, -1);
    EXPECT_EQ(read("series/t.series_standings"), "2 1 3 \n");
    // Final results place the player whatever happened; the next event is stored after it.
    race.results_final = 1;
    race.results_count = 3;
    race.results[0] = race.order[1];
    race.results[1] = race.order[2];
    race.results[2] = race.order[0];
    race_series_list.current = 0;
    race_series_list.current_event = 1;
    race_series_store();
    race.results_final = 0;
    EXPECT_EQ(read("series/t.series_standings"), "2 1 3 \n2 3 1 \n");
    // An event entered again after it was stored is not stored twice.
    race_series_list.current = 0;
    race_series_list.current_event = 1;
    race_series_store();
    EXPECT_EQ(race_series_list.list[0].completed, 2);

    // Reset Points, then the program quits: the file keeps both events, which come back.
    race_series_reset(&race_series_list.list[0]);
    EXPECT_EQ(race_series_list.list[0].completed, 0);
    race_series_store();
    EXPECT_EQ(read("series/t.series_standings"), "2 1 3 \n2 3 1 \n");
    ASSERT_EQ(race_series_list_build(files, 0), 1);
    EXPECT_EQ(race_series_list.list[0].completed, 2);
    race_series_list_free();

    // Damaged series files are left out: too many robots, a number out of range, an unknown
    // track, a name without its closing quote.
    for (const char *bad : {"\"A\" 160 Expert\n", "\"A\" 1 Expert -5\n0\n",
                            "\"A\" 0 Expert\n1\nE tracks/none 0 1\n", "\"A 0 Expert\n0\n"}) {
        write("series/t.series", bad);
        EXPECT_EQ(load(), 0) << bad;
    }
}

} // namespace
