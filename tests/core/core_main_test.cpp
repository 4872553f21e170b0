#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "data/data_check.h"
#include "data/data_index.h"
#include "race/race.h"
#include "track/track_list.h"
#include "platform/null/platform_null.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

// The game links the digest of the data built with it; here it is the digest of the data set
// in the build tree, so the start-up tests run against real data.
extern "C" const uint8_t *zv_data_release_digest(void) {
    static uint8_t digest[20];
    static int state; // 0 unread, 1 present, -1 missing
    if (!state) state = data_check_hash_file(ZV_BINARY_DIR "/zzzz.saf", digest) ? 1 : -1;
    return state > 0 ? digest : nullptr;
}

namespace {

TEST(core_demo_list, names_under_demos_with_display_names) {
    const char *const files[] = {"demos/race1.zvdemo",
                                 "demos/sub/lap.two.zvdemo",
                                 "tracks/demos/x.zvdemo",
                                 "demos/notes.txt",
                                 "demos/.zvdemo",
                                 "demos/ok.ZVDEMO",
                                 nullptr};
    ASSERT_EQ(core_demo_list_build(files), 3);
    EXPECT_STREQ(core_demo_name(0), "demos/race1.zvdemo");
    EXPECT_STREQ(core_demo_display_name(0), "race1");
    EXPECT_STREQ(core_demo_name(1), "demos/sub/lap.two.zvdemo");
    EXPECT_STREQ(core_demo_display_name(1), "lap.two"); // up to the last '.'
    EXPECT_STREQ(core_demo_display_name(2), "");        // "demos/.zvdemo": nothing before the dot
    EXPECT_EQ(core_demo_name(3), nullptr);
    // Growth past the first 16 entries keeps every name.
    std::vector<std::string> many;
    for (int i = 0; i < 40; i++)
        many.push_back("demos/d" + std::to_string(i) + ".zvdemo");
    std::vector<const char *> list;
    for (auto &m : many)
        list.push_back(m.c_str());
    list.push_back(nullptr);
    ASSERT_EQ(core_demo_list_build(list.data()), 40);
    EXPECT_STREQ(core_demo_display_name(39), "d39");
    core_demo_list_free();
    EXPECT_EQ(core_demo_count(), 0);
}

TEST(core_server_history, newest_first_without_repeats) {
    memset(core_server_history, 0, sizeof core_server_history);
    core_server_history_add("");
    EXPECT_STREQ(core_server_history[0], "");
    for (int i = 0; i < 20; i++)
        core_server_history_add(("host" + std::to_string(i)).c_str());
    EXPECT_STREQ(core_server_history[0], "host19");
    EXPECT_STREQ(core_server_history[15], "host4"); // the oldest dropped off
    core_server_history_add("host19");
    EXPECT_STREQ(core_server_history[1], "host18"); // no repeat of entry 0
    core_server_history_add(std::string(300, 'a').c_str());
    EXPECT_EQ(std::string(core_server_history[0]), std::string(127, 'a'));
    EXPECT_STREQ(core_server_history[1], "host19");
}

// Runs the whole program on the null back end against a data directory.
struct main_fixture : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_core_main_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        platform_null_reset();
        core_hook = core_hooks();
    }
    void TearDown() override {
        core_hook = core_hooks();
        unsetenv("ZV_HOME");
        unsetenv("XDG_DATA_HOME");
        data_root_reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    int run(std::vector<std::string> args, const char *data_dir) {
        if (data_dir) setenv("ZV_HOME", data_dir, 1);
        // Other tests in this program may have left an index built over other roots.
        file_index_free();
        data_root_reset();
        args.insert(args.begin(), "zelvo");
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return core_main((int)args.size(), argv.data());
    }
};

TEST_F(main_fixture, missing_game_data_is_a_failure) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({}, home.c_str()), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't find game data"),
              std::string::npos);
}

TEST_F(main_fixture, command_line_error_exits_1_before_any_window) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--lock-fps", "nan"}, ZV_BINARY_DIR), 1);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    EXPECT_EQ(err, "Bad arg for --lock-fps\n");
}

// The usage names every option, one line each, and ends the run as a success before anything
// else happens; an unknown option points to it.
TEST_F(main_fixture, help_prints_the_usage_and_exits_0) {
    for (const char *flag : {"--help", "-h"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(run({flag}, ZV_BINARY_DIR), 0) << flag;
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.rfind("usage: zelvo", 0), 0u) << out;
        for (int i = 0; i < core_options_count(); i++)
            EXPECT_NE(out.find(std::string("\n  ") + core_options_name(i) + " "), std::string::npos)
                << core_options_name(i);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"--nonsense"}, ZV_BINARY_DIR), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("zelvo --help"), std::string::npos);
}

TEST_F(main_fixture, runs_to_the_title_screen_and_shuts_down_when_the_window_closes) {
    static int frames_drawn;
    frames_drawn = 0;
    core_hook.draw_menus = [] {
        if (++frames_drawn == 3) platform_null_close(nullptr);
    };
    testing::internal::CaptureStderr();
    int rc = run({"--nosound"}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(frames_drawn, 3);
    EXPECT_EQ(core_loop.view_mode, CORE_VIEW_TITLE); // no track asked for
}

TEST_F(main_fixture, track_given_on_the_command_line_is_loaded_at_start) {
    static std::string first_track;
    static int frames, mode_seen;
    frames = 0;
    first_track.clear();
    core_hook.draw_menus = [] {
        if (first_track.empty() && track_list.count > 0) first_track = track_list.dirs[0];
        mode_seen = core_loop.view_mode;
        if (++frames == 2) platform_null_close(nullptr);
    };
    testing::internal::CaptureStderr();
    int rc = run({"--nosound"}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    ASSERT_EQ(rc, 0);
    ASSERT_FALSE(first_track.empty());
    EXPECT_EQ(mode_seen, CORE_VIEW_TITLE);

    // The bare directory name works as well as the data path.
    std::string bare = first_track.substr(first_track.rfind('/') + 1);
    for (const std::string &name : {first_track, bare}) {
        frames = 0;
        mode_seen = -1;
        platform_null_reset();
        rc = run({"--nosound", "--track", name}, ZV_BINARY_DIR);
        EXPECT_EQ(rc, 0);
        EXPECT_NE(mode_seen, CORE_VIEW_TITLE) << name;
        EXPECT_NE(mode_seen, -1) << name;
    }
}

// A race asked for on the command line is ridden at once: the gates of the settings give the
// player among the robots, the player's bike is the viewed one, no menu is open over the race,
// and a key goes to the race (Tab leaves the rider view for the orbit view).
TEST_F(main_fixture, track_on_the_command_line_starts_the_players_race_with_keys_reaching_it) {
    static int frames, menu_page, viewed, mode_after_tab;
    frames = 0;
    menu_page = viewed = mode_after_tab = -2;
    core_hook.draw_menus = [] {
        frames++;
        if (frames == 2) {
            menu_page = core_loop.menu_page;
            viewed = core_loop.viewed_slot;
            int tab = platform_code_for_name(core_loop.window, "tab");
            platform_time t = platform_clock();
            platform_null_push_event(tab, 1, t);
            platform_null_push_event(tab, 0, t);
        }
        if (frames == 6) {
            mode_after_tab = core_loop.view_mode;
            platform_null_close(nullptr);
        }
    };
    testing::internal::CaptureStderr();
    int rc = run({"--nosound", "--track", "pinehollow"}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    ASSERT_EQ(rc, 0) << err;
    EXPECT_EQ(menu_page, CORE_MENU_NONE);
    // The default gates: the player on gate 20, robots on 18, 19, 21, 22 and 23.
    EXPECT_EQ(viewed, 19);
    EXPECT_EQ(race.lineup[19], RACE_HUMAN);
    EXPECT_EQ(race.status[19], RACE_LOCAL);
    int robots = 0;
    for (int i = 0; i < RACE_SLOTS; i++)
        robots += race.status[i] == RACE_ROBOT_DRIVEN && race.lineup[i] != RACE_EMPTY;
    EXPECT_EQ(robots, 5);
    EXPECT_EQ(race.lap_total, 5);
    EXPECT_EQ(mode_after_tab, CORE_VIEW_ORBIT);
}

TEST_F(main_fixture, recorded_audio_grows_by_one_period_a_tic) {
    static int frames_drawn;
    frames_drawn = 0;
    core_hook.draw_menus = [] {
        if (++frames_drawn == 5) platform_null_close(nullptr);
    };
    std::string path = home + "/audio.raw";
    testing::internal::CaptureStderr();
    int rc = run({"--record-audio", path}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    EXPECT_EQ(rc, 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_GT(core_loop.tics, 0);
    EXPECT_EQ(st.st_size, core_loop.tics * 1380);
}

TEST_F(main_fixture, close_during_the_window_size_wait_ends_the_run) {
    // Before the wait: the window reports no size and a close request arrives.
    core_hook.gl_flush = [] {
        platform_null_set_size(0, 0);
        platform_null_push_event(PLATFORM_CLOSE, 1, platform_clock());
    };
    static int drawn;
    drawn = 0;
    core_hook.draw_menus = [] { drawn++; };
    testing::internal::CaptureStderr();
    int rc = run({"--nosound"}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(drawn, 0); // the main loop never ran
}

TEST_F(main_fixture, old_gl_context_is_a_failure) {
    core_hook.gl_start = [](platform_window *, int *major, int *minor, int *es) {
        *major = 2;
        *minor = 1;
        *es = 0;
        return 1;
    };
    testing::internal::CaptureStderr();
    int rc = run({"--nosound"}, ZV_BINARY_DIR);
    std::string err = testing::internal::GetCapturedStderr();
    if (err.find("Can't find game data") != std::string::npos)
        FAIL() << "the generated data set is not built";
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.find("OpenGL version too old"), std::string::npos);
}

} // namespace
