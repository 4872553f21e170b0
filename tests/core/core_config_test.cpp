// The configuration file: reading rules, the written order and formats, round trips, and the
// safety of the write.
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_main.h"
#include "core/core_settings.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string config_text(void) {
    size_t n = core_config_text(nullptr, 0);
    std::string s(n + 1, '\0');
    core_config_text(s.data(), s.size());
    s.resize(n);
    return s;
}

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

struct config_fixture : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_config_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZV_HOME", home.c_str(), 1); // no game data: only the home matters here
        data_root_reset();
        file_index_free();
        platform_null_reset();
        core_config_defaults();
    }
    void TearDown() override {
        core_config_defaults();
        unsetenv("XDG_DATA_HOME");
        unsetenv("ZV_HOME");
        // Reading a setup may build the file index over this empty home; later tests need
        // their own.
        file_index_free();
        data_root_reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    std::string path(void) { return home + "/Zelvo/config"; }
    void write_file(const std::string &text) {
        std::filesystem::create_directories(home + "/Zelvo");
        std::ofstream f(path(), std::ios::binary);
        f << text;
    }
    const core_binding &bind(const char *key) { return core_bindings[core_binding_find(key)]; }
};

TEST_F(config_fixture, numeric_items_clamp_and_ignore_what_does_not_scan) {
    core_config_line("laps=75");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 50);
    core_config_defaults();
    core_config_line("laps=many");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 5);
    // Not-a-number is ignored like any unreadable value; infinities clamp like any value out of
    // range.
    core_config_line("laps=nan");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 5);
    core_config_line("laps=inf");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 50);
    core_config_line("laps=-inf");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 0);
    core_config_line("laps=1e999");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 50);
    core_config_line("fov=2");
    EXPECT_EQ(core_settings_number(CORE_SET_FOV), 10);
    core_config_line("map_scale=100");
    EXPECT_EQ(core_settings_number(CORE_SET_MAP_SCALE), 8);
    core_config_line("map_scale=0");
    EXPECT_EQ(core_settings_number(CORE_SET_MAP_SCALE), 0.125);
    // Integers scan "%d" and stay within sane bounds; an overflowing number clamps.
    core_config_line("xres=800");
    EXPECT_EQ(core_settings_int(CORE_SET_XRES), 800);
    core_config_line("xres=99999999999999999999");
    EXPECT_EQ(core_settings_int(CORE_SET_XRES), 16384);
    core_config_line("xres=-inf");
    EXPECT_EQ(core_settings_int(CORE_SET_XRES), 16);
    core_config_line("xres=-5");
    EXPECT_EQ(core_settings_int(CORE_SET_XRES), 16);
}

TEST_F(config_fixture, choices_match_labels_exactly_and_keys_are_case_sensitive) {
    core_config_line("record=yes");
    EXPECT_STREQ(core_settings_label(CORE_SET_RECORD), "No");
    core_config_line("record=Yes");
    EXPECT_STREQ(core_settings_label(CORE_SET_RECORD), "Yes");
    core_config_line("Skill=Expert");
    EXPECT_STREQ(core_settings_label(CORE_SET_SKILL), "Novice");
    core_config_line("skill=Expert\r\n");
    EXPECT_STREQ(core_settings_label(CORE_SET_SKILL), "Expert");
    core_config_line("slot39=Robot (4 stroke)");
    EXPECT_STREQ(core_settings_label(CORE_SET_GATE_LAST), "Robot (4 stroke)");
    EXPECT_EQ(core_config_line("no equals sign here"), 0);
    EXPECT_EQ(core_config_line("unknown_key=1"), 0);
}

TEST_F(config_fixture, special_keys) {
    core_config_line("use_fbo=Yes");
    EXPECT_STREQ(core_settings_label(CORE_SET_USE_FBO), "Yes");
    EXPECT_STREQ(core_settings_label(CORE_SET_RENDER_TEXTURE), "Hardware/Direct");
    core_config_line("use_fbo=No");
    EXPECT_STREQ(core_settings_label(CORE_SET_RENDER_TEXTURE), "Hardware/Copy");
    EXPECT_EQ(core_config_line("ground_texture_distance=5"), 1);
    core_config_line("server_name_hist03=example.org:19800");
    EXPECT_STREQ(core_server_history[3], "example.org:19800");
    // 127 characters or more do not fit an entry: dropped, not cut.
    core_config_line(("server_name_hist04=" + std::string(127, 'a')).c_str());
    EXPECT_STREQ(core_server_history[4], "");
    core_config_line(("server_name_hist04=" + std::string(126, 'b')).c_str());
    EXPECT_EQ(strlen(core_server_history[4]), 126u);
    EXPECT_EQ(core_config_line("server_name_hist16=x"), 0);
    EXPECT_EQ(core_config_line("server_name_hist 1=x"), 0);
    EXPECT_EQ(core_config_line("server_name_hist-1=x"), 0);
    EXPECT_EQ(core_config_line("server_name_hist1=x"), 0);
    core_config_line("track=tracks/somewhere");
    EXPECT_STREQ(core_settings_text(CORE_SET_TRACK), "tracks/somewhere");
    // A text longer than the item's maximum is cut to it.
    core_config_line(("server_name=" + std::string(300, 'c')).c_str());
    EXPECT_EQ(strlen(core_settings_text(CORE_SET_SERVER_NAME)), 127u);
}

TEST_F(config_fixture, bindings_read_keys_and_axes) {
    core_config_line("throttle_key=(0.1,0.9)pad axis 2");
    const core_binding &t = bind("throttle_key");
    EXPECT_STREQ(t.axis_name, "pad axis 2");
    EXPECT_STREQ(t.key_name, "");
    EXPECT_FLOAT_EQ(t.low, 0.1f);
    EXPECT_FLOAT_EQ(t.high, 0.9f);
    core_config_line("throttle_key=(k)x");
    EXPECT_STREQ(t.key_name, "x");
    EXPECT_STREQ(t.axis_name, "");
    EXPECT_FLOAT_EQ(t.low, 0);
    EXPECT_FLOAT_EQ(t.high, 1);
    core_config_line("throttle_key=q");
    EXPECT_STREQ(t.key_name, "q");
    core_config_line("throttle_key=  x");
    EXPECT_STREQ(t.key_name, "x");
    core_config_line("dab_key=(k)right ctrl");
    EXPECT_STREQ(bind("dab_key").key_name, "right ctrl");
    // A range that is no range keeps the binding as it was (here the default key), so the control
    // still works and is written back.
    for (const char *bad : {"left_key=(nan,1)pad axis 0", "left_key=(nan,nan)pad axis 0",
                            "left_key=(-inf,1)pad axis 0", "left_key=(0,1e999)pad axis 0"}) {
        core_config_line(bad);
        EXPECT_STREQ(bind("left_key").axis_name, "") << bad;
        EXPECT_STREQ(bind("left_key").key_name, "left") << bad;
    }
    // "(" that is no pair of bounds is a key name.
    core_config_line("step_key=(");
    EXPECT_STREQ(bind("step_key").key_name, "(");
}

TEST_F(config_fixture, written_and_read_back_gives_the_same_settings) {
    core_config_line("laps=12");
    core_config_line("record=Yes");
    core_config_line("slot00=Robot (2 stroke)");
    core_config_line("video_mode=Windowed");
    core_config_line("server_name=my.server");
    core_config_line("server_name_hist00=a.b.c");
    core_config_line("first_person_height=0.40625");
    core_config_line("map_scale=2.5");
    core_config_line("demo_backups=3");
    core_config_line("throttle_key=(0.100000,0.900000)pad axis 2");
    core_config_line("left_key=(k)a");
    core_config_line("reverse_steering=No");
    core_config_line("stability=40");
    core_config_line("texture_compress=Always");
    std::string first = config_text();
    ASSERT_EQ(core_config_write("@config"), 1);
    EXPECT_EQ(slurp(path()), first);
    EXPECT_FALSE(std::filesystem::exists(path() + ".tmp"));

    core_config_defaults();
    ASSERT_NE(config_text(), first);
    ASSERT_EQ(core_config_read("@config"), 1);
    EXPECT_EQ(config_text(), first);
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 12);
    EXPECT_STREQ(bind("throttle_key").axis_name, "pad axis 2");
    EXPECT_STREQ(bind("left_key").key_name, "a");
    EXPECT_EQ(core_config_setup.choice[SETUP_REVERSE_STEERING], 0);
}

TEST_F(config_fixture, written_order_and_formats) {
    std::string t = config_text();
    // Numbers "%f", integers "%d", choices by label; the setup block sits between the time
    // trial line and the video mode; bindings come last in their table order.
    EXPECT_EQ(t.rfind("xres=640\nyres=480\ndraw_fps=0\n", 0), 0u);
    EXPECT_NE(t.find("\nlaps=5.000000\nslot00=Empty\n"), std::string::npos);
    EXPECT_NE(t.find("\nslot19=Human\n"), std::string::npos);
    EXPECT_NE(t.find("\nslot17=Robot\n"), std::string::npos);
    EXPECT_NE(t.find("\nslot23=Empty\n"), std::string::npos);
    size_t trial = t.find("time_trial_abort=Yes\n"), bike = t.find("\nbike="),
           video = t.find("\nvideo_mode=Default Fullscreen\n");
    ASSERT_NE(bike, std::string::npos);
    EXPECT_LT(trial, bike);
    EXPECT_LT(bike, video);
    EXPECT_NE(t.find("\nground_detail=70.000000\n"), std::string::npos);
    EXPECT_NE(t.find("\nground_texture_dim_new=256x256\n"), std::string::npos);
    EXPECT_NE(t.find("\nroost_density=1000.000000\n"), std::string::npos);
    EXPECT_NE(t.find("\ntexture_compress=No\n"), std::string::npos);
    EXPECT_NE(t.find("\nmap_scale=1.000000\nleft_key=(k)left\nright_key=(k)right\n"),
              std::string::npos);
    EXPECT_EQ(t.size() - t.rfind("screenshot_key=(k)s\n"), strlen("screenshot_key=(k)s\n"));
    EXPECT_EQ(t.find("use_fbo"), std::string::npos);
    // A binding with neither key nor axis is not written.
    core_config_line("pause_key=");
    EXPECT_EQ(config_text().find("pause_key"), std::string::npos);
}

TEST_F(config_fixture, file_reading_rules) {
    // The tail of an over-long line must not be read as a line of its own.
    write_file("skill=Expert\r\n" + std::string(1030, 'x') + "\nskill=Amateur\n" + "minutes=3" +
               std::string(1020, ' ') + "\n" + "laps=8");
    ASSERT_EQ(core_config_read("@config"), 1);
    EXPECT_STREQ(core_settings_label(CORE_SET_SKILL), "Amateur");
    EXPECT_EQ(core_settings_number(CORE_SET_MINUTES), 0); // 1029 characters: dropped
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 8);    // last line without a line end

    core_config_defaults();
    write_file(std::string(1500, 'y') + "=\nlaps=" + std::string(1030, '4') + "\n");
    core_config_read("@config");
    EXPECT_EQ(core_settings_number(CORE_SET_LAPS), 5);

    core_config_defaults();
    std::filesystem::remove(path());
    EXPECT_EQ(core_config_read("@config"), 0);
    EXPECT_EQ(config_text(), [] {
        core_config_defaults();
        return config_text();
    }());
}

TEST_F(config_fixture, a_failed_write_leaves_the_old_file_whole) {
    core_config_line("laps=20");
    ASSERT_EQ(core_config_write("@config"), 1);
    std::string before = slurp(path());
    // The temporary name is taken by a directory: the write fails and says so.
    std::filesystem::create_directories(path() + ".tmp/inside");
    core_config_line("laps=30");
    EXPECT_EQ(core_config_write("@config"), 0);
    EXPECT_EQ(slurp(path()), before);
}

TEST_F(config_fixture, default_text_matches_the_golden_first_run_file) {
    // The golden file was written by a first run on the generated data, whose first track is
    // the only difference from the bare defaults.
    std::string golden = slurp(ZV_SOURCE_DIR "/tests/core/golden/config_first_run.txt");
    ASSERT_FALSE(golden.empty());
    size_t at = golden.find("\ntrack=");
    ASSERT_NE(at, std::string::npos);
    size_t end = golden.find('\n', at + 1);
    core_settings_set_text(CORE_SET_TRACK, golden.substr(at + 7, end - at - 7).c_str());
    EXPECT_EQ(config_text(), golden);
}

} // namespace
