// The whole program on the headless platform: a first run writes the default configuration,
// and a setting changed during a run is there on the next one.
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int g_frames;
double g_laps_seen;

struct first_run_fixture : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_first_run_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
    }
    void TearDown() override {
        core_hook = core_hooks();
        unsetenv("ZV_HOME");
        unsetenv("XDG_DATA_HOME");
        data_root_reset();
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    // Runs the program until its third frame, calling during() on the second.
    int run(void (*during)(void)) {
        platform_null_reset();
        core_hook = core_hooks();
        static void (*hook)(void);
        hook = during;
        g_frames = 0;
        core_hook.draw_menus = [] {
            if (++g_frames == 2 && hook) hook();
            if (g_frames == 3) platform_null_close(nullptr);
        };
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        data_root_reset();
        std::vector<std::string> args = {"zelvo", "--nosound"};
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        int rc = core_main((int)args.size(), argv.data());
        std::string err = testing::internal::GetCapturedStderr();
        if (err.find("Can't find game data") != std::string::npos) return -2;
        return rc;
    }
    std::string config(void) { return slurp(home + "/Zelvo/config"); }
};

TEST_F(first_run_fixture, first_run_writes_the_golden_defaults) {
    int rc = run(nullptr);
    if (rc == -2) FAIL() << "the generated data set is not built";
    ASSERT_EQ(rc, 0);
    std::string written = config();
    ASSERT_FALSE(written.empty());
    // ZV_BLESS_GOLDEN=1 rewrites the golden file after a deliberate change of the defaults.
    if (getenv("ZV_BLESS_GOLDEN"))
        std::ofstream(ZV_SOURCE_DIR "/tests/core/golden/config_first_run.txt", std::ios::binary)
            << written;
    EXPECT_EQ(written, slurp(ZV_SOURCE_DIR "/tests/core/golden/config_first_run.txt"));
    EXPECT_FALSE(std::filesystem::exists(home + "/Zelvo/config.tmp"));
}

TEST_F(first_run_fixture, a_changed_setting_is_kept_for_the_next_run) {
    int rc = run([] { core_settings_set_number(CORE_SET_LAPS, 9); });
    if (rc == -2) FAIL() << "the generated data set is not built";
    ASSERT_EQ(rc, 0);
    EXPECT_NE(config().find("\nlaps=9.000000\n"), std::string::npos);
    g_laps_seen = -1;
    ASSERT_EQ(run([] { g_laps_seen = core_settings_number(CORE_SET_LAPS); }), 0);
    EXPECT_EQ(g_laps_seen, 9);
}

TEST_F(first_run_fixture, render_settings_follow_the_configuration) {
    std::filesystem::create_directories(home + "/Zelvo");
    std::ofstream(home + "/Zelvo/config") << "ground_texture_dim_new=512x512\nxres=800\n"
                                             "model_texture_detail=6\n";
    int rc = run(nullptr);
    if (rc == -2) FAIL() << "the generated data set is not built";
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(core_render.ground_texture_size, 512);
    EXPECT_EQ(core_render.xres, 800);
    EXPECT_EQ(core_render.model_texture_reduction, 4);
    EXPECT_EQ(config().rfind("xres=800\n", 0), 0u) << config();
}

} // namespace
