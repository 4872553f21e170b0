// The log file: prefix, open modes, the default-path message, whole lines from many threads;
// and the QUVA_OPTIONS lookups.
#include "platform/null/platform_null.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string temp_path(const char *name) {
    return std::string(ZV_BINARY_DIR) + "/platform_log_" + name;
}

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line))
        out.push_back(line);
    return out;
}

class PlatformLog : public ::testing::Test {
  protected:
    void SetUp() override {
        platform_null_reset();
        platform_log_reset();
        platform_options_reset();
        unsetenv("QUVA_LOGFILE");
        unsetenv("QUVA_LOGFILE_FLAGS");
        unsetenv("QUVA_OPTIONS");
    }
    void TearDown() override {
        platform_log(nullptr);
        platform_log_reset();
        platform_options_reset();
        unsetenv("QUVA_LOGFILE");
        unsetenv("QUVA_LOGFILE_FLAGS");
        unsetenv("QUVA_OPTIONS");
    }
    // Opens a fresh log at path (written, not appended) and returns the path.
    std::string open_log(const char *name) {
        std::string path = temp_path(name);
        remove(path.c_str());
        setenv("QUVA_LOGFILE", path.c_str(), 1);
        return path;
    }
};

TEST_F(PlatformLog, BannerAndClockPrefix) {
    std::string path = open_log("prefix.log");
    platform_null_set_time(3 * 3600 + 4 * 60 + 5.678);
    platform_log("hello %d\n", 42);
    platform_log(nullptr);
    std::vector<std::string> lines = lines_of(slurp(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[3:04:05.67] Logfile \"" + path + "\" opened");
    EXPECT_EQ(lines[1], "[3:04:05.67] QUVA 0.31");
    EXPECT_EQ(lines[2], "[3:04:05.67] hello 42");
}

TEST_F(PlatformLog, AppendAndWriteMarks) {
    std::string path = temp_path("modes.log");
    {
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_TRUE(f);
        fputs("before\n", f);
        fclose(f);
    }
    setenv("QUVA_LOGFILE", (">>" + path).c_str(), 1);
    platform_log("appended\n");
    platform_log(nullptr);
    std::string text = slurp(path);
    EXPECT_EQ(text.rfind("before\n", 0), 0u) << text;
    EXPECT_NE(text.find("] appended\n"), std::string::npos);
    // The banner names the file without its mark.
    EXPECT_NE(text.find("Logfile \"" + path + "\" opened"), std::string::npos);

    platform_log_reset();
    setenv("QUVA_LOGFILE", (">" + path).c_str(), 1);
    platform_log("rewritten\n");
    platform_log(nullptr);
    text = slurp(path);
    EXPECT_EQ(text.find("before"), std::string::npos);
    EXPECT_NE(text.find("] rewritten\n"), std::string::npos);

    // The flags variable replaces the mode the mark chose.
    platform_log_reset();
    setenv("QUVA_LOGFILE", (">" + path).c_str(), 1);
    setenv("QUVA_LOGFILE_FLAGS", "a", 1);
    platform_log("kept\n");
    platform_log(nullptr);
    text = slurp(path);
    EXPECT_NE(text.find("rewritten"), std::string::npos);
    EXPECT_NE(text.find("] kept\n"), std::string::npos);
}

TEST_F(PlatformLog, FirstMessageNamesDefaultPath) {
    std::string path = temp_path("default.log");
    remove(path.c_str());
    platform_log("QUVA_LOGFILE=%s\n", path.c_str());
    platform_log("after\n");
    platform_log(nullptr);
    std::string text = slurp(path);
    EXPECT_EQ(text.find("QUVA_LOGFILE="), std::string::npos) << text;
    EXPECT_NE(text.find("] after\n"), std::string::npos);

    // The environment wins over the default, and the default message is still not written.
    platform_log_reset();
    std::string env_path = open_log("env.log");
    std::string ignored = temp_path("ignored.log");
    remove(ignored.c_str());
    platform_log("QUVA_LOGFILE=%s\n", ignored.c_str());
    platform_log("to env\n");
    platform_log(nullptr);
    EXPECT_NE(slurp(env_path).find("] to env\n"), std::string::npos);
    EXPECT_EQ(slurp(env_path).find("QUVA_LOGFILE="), std::string::npos);
    EXPECT_EQ(fopen(ignored.c_str(), "r"), nullptr);
}

TEST_F(PlatformLog, NoPathMeansNoLogAndDroppedLines) {
    platform_log("nothing\n"); // must not crash with logging off
    std::string path = temp_path("late.log");
    remove(path.c_str());
    setenv("QUVA_LOGFILE", path.c_str(), 1);
    platform_log("still nothing\n"); // decided on the first message: stays off
    platform_log(nullptr);
    EXPECT_EQ(fopen(path.c_str(), "r"), nullptr);
}

TEST_F(PlatformLog, SkipByteAndErrorText) {
    std::string path = open_log("error.log");
    EXPECT_STREQ(platform_last_error(), "Unknown");
    platform_log("\x13hidden\n");
    platform_log_error("Can't create window!");
    EXPECT_STREQ(platform_last_error(), "Can't create window!");
    platform_log(nullptr);
    std::string text = slurp(path);
    EXPECT_EQ(text.find("hidden"), std::string::npos);
    EXPECT_NE(text.find("] Error: Can't create window!\n"), std::string::npos);
}

TEST_F(PlatformLog, LongMessageWrittenWhole) {
    std::string path = open_log("long.log");
    std::string big(5000, 'x');
    platform_log("%s\n", big.c_str());
    platform_log(nullptr);
    std::vector<std::string> lines = lines_of(slurp(path));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].size(), std::string("[0:00:00.00] ").size() + 5000);
}

TEST_F(PlatformLog, FourThreadsWriteWholeLines) {
    std::string path = open_log("threads.log");
    platform_log("start\n");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([t] {
            for (int i = 0; i < 10000; i++)
                platform_log("thread %d line %d %s\n", t, i, "payload-payload-payload");
        });
    }
    for (std::thread &t : threads)
        t.join();
    platform_log(nullptr);
    std::vector<std::string> lines = lines_of(slurp(path));
    ASSERT_EQ(lines.size(), 3u + 40000u);
    std::regex whole(R"(\[\d+:\d\d:\d\d\.\d\d\] thread (\d) line (\d+) payload-payload-payload)");
    int next[4] = {0, 0, 0, 0};
    for (size_t i = 3; i < lines.size(); i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, whole)) << lines[i];
        int t = std::stoi(m[1]);
        // Each thread's lines arrive in its own order.
        EXPECT_EQ(std::stoi(m[2]), next[t]);
        next[t] = std::stoi(m[2]) + 1;
    }
}

TEST_F(PlatformLog, OptionLookups) {
    std::string path = open_log("options.log");
    setenv("QUVA_OPTIONS",
           "[fullscreen:yes][threaded:maybe][sound-rate:abc][sound-channels:8][gles:off]"
           "[glcore:on][dsnd:no][glmajor:-3][glminor:4x][sound-mixahead:99999999999]",
           1);
    EXPECT_EQ(platform_switch_option("fullscreen", 0), 1);
    EXPECT_EQ(platform_switch_option("gles", 1), 0);
    EXPECT_EQ(platform_switch_option("glcore", 0), 1);
    EXPECT_EQ(platform_switch_option("dsnd", 1), 0);
    EXPECT_EQ(platform_switch_option("waveout", 1), 1); // absent: default
    EXPECT_EQ(platform_switch_option("waveout", 0), 0);
    EXPECT_EQ(platform_switch_option("threaded", 0), 0);
    EXPECT_EQ(platform_switch_option("threaded", 1), 1);
    EXPECT_EQ(platform_number_option("sound-channels", 16), 8);
    EXPECT_EQ(platform_number_option("sound-rate", 22050), 22050);
    EXPECT_EQ(platform_number_option("glmajor", 3), -3);
    EXPECT_EQ(platform_number_option("glminor", 1), 1);
    EXPECT_EQ(platform_number_option("sound-mixahead", 125), 125);
    EXPECT_EQ(platform_number_option("xinput", 7), 7);
    platform_log(nullptr);
    std::string text = slurp(path);
    EXPECT_NE(text.find("] unrecognized setting for threaded\n"), std::string::npos);
    EXPECT_NE(text.find("] unrecognized setting for sound-rate\n"), std::string::npos);
    EXPECT_NE(text.find("] unrecognized setting for glminor\n"), std::string::npos);
    EXPECT_NE(text.find("] unrecognized setting for sound-mixahead\n"), std::string::npos);
    EXPECT_EQ(text.find("for fullscreen"), std::string::npos);

    // The options text is read once: a change of the variable is not seen.
    setenv("QUVA_OPTIONS", "[fullscreen:no]", 1);
    EXPECT_EQ(platform_switch_option("fullscreen", 0), 1);
    platform_options_reset();
    EXPECT_EQ(platform_switch_option("fullscreen", 1), 0);
}

} // namespace
