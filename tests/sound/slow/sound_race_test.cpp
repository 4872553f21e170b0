// The program as a player starts it, recording its audio: a robot rides the default track and
// the recording follows its engine. Nothing is installed by the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/core_hooks.h"
#include "core/core_main.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"

namespace {

const int SAMPLES_PER_TIC = 690; // 88320 Hz

std::string read_all(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The robot's rpm by tic from the race recording (every fourth tic), -1 where unknown.
std::vector<double> demo_rpm(const std::string &all, int tics) {
    std::vector<double> rpm((size_t)tics, -1);
    size_t off = 0;
    for (int line = 0; line < 6 && off != std::string::npos; line++) // header, track, 4 rider lines
        off = all.find('\n', off) + 1;
    const uint8_t *b = (const uint8_t *)all.data();
    uint32_t prev = 0;
    while (off + 9 <= all.size()) {
        uint32_t len =
            (b[off] | b[off + 1] << 8 | b[off + 2] << 16 | (uint32_t)b[off + 3] << 24) ^ prev;
        if (off + 9 + len > all.size()) break;
        if (b[off + 8] == 1)
            for (uint32_t e = 0; e + 44 <= len; e += 44) {
                const uint8_t *s = b + off + 9 + e;
                int tic = s[1] | s[2] << 8 | s[3] << 16 | s[4] << 24;
                if (s[0] == 0 && tic >= 0 && tic < tics)
                    rpm[(size_t)tic] = (s[42] | s[43] << 8) / 1.9999695;
            }
        prev = len;
        off += 9 + len;
    }
    return rpm;
}

double correlation(const std::vector<double> &x, const std::vector<double> &y) {
    double n = (double)x.size(), sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); i++) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        syy += y[i] * y[i];
        sxy += x[i] * y[i];
    }
    double d = std::sqrt((n * sxx - sx * sx) * (n * syy - sy * sy));
    return d > 0 ? (n * sxy - sx * sy) / d : 0;
}

TEST(sound_race, a_robot_race_is_recorded_and_its_pitch_follows_the_engine) {
    char tmpl[] = "/tmp/zv_sound_race_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string home = tmpl;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("ZV_HOME", ZV_BINARY_DIR, 1);
    std::filesystem::create_directories(home + "/Zelvo");
    {
        std::ofstream cfg(home + "/Zelvo/config");
        cfg << "record=Yes\nlaps=1\nminutes=0\nskill=Expert\nslot00=Robot\n";
        for (int i = 1; i < 40; i++) {
            char key[16];
            snprintf(key, sizeof key, "slot%02d", i);
            cfg << key << "=Empty\n";
        }
    }
    std::string audio = home + "/race.raw";
    platform_null_reset();
    core_hook = core_hooks();
    file_index_free();
    data_root_reset();
    platform_null_script_event(PLATFORM_CLOSE, 1, 20);
    std::vector<std::string> args = {"zelvo",       "--lock-fps", "32",        "--record-audio",
                                     audio.c_str(), "--track",    "pinehollow"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(core_main((int)args.size(), argv.data()), 0);

    // The robot's bike has no definition beside its texture: its class's default is heard.
    std::string log = read_all(home + "/Zelvo/lastlog.txt");
    size_t at = log.find("Engine sound of ");
    ASSERT_NE(at, std::string::npos) << log;
    std::string line = log.substr(at, log.find('\n', at) - at);
    EXPECT_NE(line.find(": @default"), std::string::npos) << line;
    EXPECT_NE(line.find(".braap"), std::string::npos) << line;
    std::string raw = read_all(audio);
    int tics = (int)(raw.size() / (SAMPLES_PER_TIC * 2));
    ASSERT_GT(tics, 128 * 15);
    std::vector<double> rpm = demo_rpm(read_all(home + "/Zelvo/demos/default.zvdemo"), tics);
    const int16_t *pcm = (const int16_t *)raw.data();

    // Per eighth of a second: the robot's mean rpm, the level and the zero crossings of the
    // signal smoothed over 8 samples (the exhaust noise's crossings say nothing of the pitch).
    std::vector<double> rpms, crossings;
    int loud = 0, windows = 0;
    for (int w = 0; (w + 1) * 16 <= tics; w++) {
        double r = 0;
        int known = 0;
        for (int t = w * 16; t < (w + 1) * 16; t++)
            if (rpm[(size_t)t] >= 0) {
                r += rpm[(size_t)t];
                known++;
            }
        if (!known) continue;
        double sum2 = 0;
        int zc = 0;
        const int16_t *p = pcm + (size_t)w * 16 * SAMPLES_PER_TIC;
        long smooth = 0, before = 0;
        for (int i = 0; i < 16 * SAMPLES_PER_TIC; i++) {
            sum2 += (double)p[i] * p[i];
            smooth += p[i] - (i >= 8 ? p[i - 8] : 0);
            if (i >= 8) zc += (smooth >= 0) != (before >= 0);
            before = smooth;
        }
        windows++;
        if (std::sqrt(sum2 / (16 * SAMPLES_PER_TIC)) > 500) loud++;
        rpms.push_back(r / known);
        crossings.push_back(zc);
    }
    ASSERT_GT(windows, 100);
    EXPECT_GT(loud, windows * 9 / 10) << "the engine is heard all along";
    double c = correlation(rpms, crossings);
    EXPECT_GT(c, 0.75) << "pitch against rpm";
    if (getenv("ZV_KEEP_HOME"))
        fprintf(stderr, "kept %s (correlation %.3f, %d of %d windows loud)\n", home.c_str(), c,
                loud, windows);
    else
        std::filesystem::remove_all(home);
    unsetenv("XDG_DATA_HOME");
    unsetenv("ZV_HOME");
}

} // namespace
