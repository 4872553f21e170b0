// The program itself, started as a player starts it: the null back end, a configuration in the
// home folder, key and close events on its clock, and nothing installed by the test. A race of
// 8 robots and the player on the default track, recorded, then the recording played back from
// the command line.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/core_hooks.h"
#include "core/core_main.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"
#include "race/race.h"

namespace {

const int ROBOT_FIRST = 16, ROBOTS = 8, PLAYER = 24;

struct demo_file {
    int riders = 0, laps = 0, gate_drop = 0;
    std::string track;
    std::vector<std::string> model, number, name;
    // Per rider: (tic, frame x, frame z) in the record's 24-bit units, in file order.
    std::vector<std::vector<std::array<long, 3>>> states;
};

long u24(const uint8_t *p) {
    return p[0] | p[1] << 8 | (long)p[2] << 16;
}

// Reads a recording the way a careful reader would: the header lines, then the block chain.
bool read_demo(const std::string &path, demo_file *d) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream head(all);
    std::string line;
    std::getline(head, line);
    int limit = 0;
    if (sscanf(line.c_str(), "ZV06 %d %d %d %d", &d->riders, &limit, &d->laps, &d->gate_drop) != 4)
        return false;
    std::getline(head, d->track);
    for (int r = 0; r < d->riders; r++) {
        std::string m, num, nm, empty;
        std::getline(head, m);
        std::getline(head, num);
        std::getline(head, nm);
        std::getline(head, empty);
        d->model.push_back(m.substr(0, m.find('|')));
        d->number.push_back(num);
        d->name.push_back(nm);
    }
    size_t off = (size_t)head.tellg();
    d->states.assign(d->riders, {});
    const uint8_t *b = (const uint8_t *)all.data();
    uint32_t prev = 0;
    while (off + 9 <= all.size()) {
        uint32_t len =
            (b[off] | b[off + 1] << 8 | b[off + 2] << 16 | (uint32_t)b[off + 3] << 24) ^ prev;
        if (off + 9 + len > all.size()) return false;
        if (b[off + 8] == 1)
            for (uint32_t e = 0; e + 44 <= len; e += 44) {
                const uint8_t *s = b + off + 9 + e;
                int tic = s[1] | s[2] << 8 | s[3] << 16 | s[4] << 24;
                if (s[0] < d->riders) d->states[s[0]].push_back({tic, u24(s + 5), u24(s + 5 + 6)});
            }
        prev = len;
        off += 9 + len;
    }
    return off == all.size();
}

// Runs credited to the lines of a lines file: the fourth number of every line record.
long runs_in(const std::string &text) {
    std::istringstream in(text);
    std::string line;
    long runs = 0;
    while (std::getline(in, line)) {
        long v[10];
        if (sscanf(line.c_str(), "%ld %ld %ld %ld %ld %ld %ld %ld %ld %ld", &v[0], &v[1], &v[2],
                   &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]) == 9)
            runs += v[3];
    }
    return runs;
}

// The lines file the game ships for a track and skill, read as the game reads it.
std::string shipped_lines(const char *name) {
    file_index_free();
    data_root_reset();
    file_index_build();
    std::string text;
    if (data_file *f = data_open(name, "rb")) {
        char buf[4096];
        int n;
        while ((n = data_read(f, buf, sizeof buf)) > 0)
            text.append(buf, (size_t)n);
        data_close(f);
    }
    file_index_free();
    return text;
}

struct game_fixture : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_game_race_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("ZV_HOME");
        std::error_code ignored;
        if (!getenv("ZV_KEEP_HOME")) std::filesystem::remove_all(home, ignored);
    }
    std::string home_file(const std::string &name) { return home + "/Zelvo/" + name; }
    void write_config(const std::string &extra) {
        std::filesystem::create_directories(home + "/Zelvo");
        std::ofstream out(home_file("config"));
        out << "record=Yes\nlaps=2\nminutes=0\nskill=Expert\n";
        for (int i = 0; i < 40; i++) {
            const char *kind = i == PLAYER                                      ? "Human"
                               : (i >= ROBOT_FIRST && i < ROBOT_FIRST + ROBOTS) ? "Robot"
                                                                                : "Empty";
            char key[16];
            snprintf(key, sizeof key, "slot%02d", i);
            out << key << "=" << kind << "\n";
        }
        out << extra;
    }
    // Runs the program until its window closes at `seconds` on the program's clock, with a
    // locked frame rate of 8 (16 tics a frame) so a long race takes little wall time.
    int run(std::vector<std::string> args, double seconds) {
        platform_null_reset();
        core_hook = core_hooks();
        file_index_free();
        data_root_reset();
        platform_null_script_event(PLATFORM_CLOSE, 1, seconds);
        args.insert(args.begin(), {"zelvo", "--nosound", "--lock-fps", "8"});
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return core_main((int)args.size(), argv.data());
    }
};

double lap_seconds(int slot, int lap) {
    return race_lap_time(slot, lap);
}

TEST_F(game_fixture, robots_race_two_laps_the_player_rides_the_setup_and_the_demo_plays_back) {
    write_config("bike=kx250f(2009)\nnumber=42\nname=Test Rider\n");
    long shipped = runs_in(shipped_lines("@tracks/pinehollow/lines_expert"));
    testing::internal::CaptureStderr();
    int rc = run({"--track", "pinehollow"}, 320);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0) << err;

    // Every robot rode both laps at an expert's pace (an expert robot rides a lap of the default
    // track in about 100 s, a novice in 150 s; a robot without lines never gets round). The gate
    // drop and the robot roster are drawn afresh each run, so the bounds leave room for a fall.
    std::vector<int> robots;
    std::vector<std::vector<double>> laps;
    for (int s = ROBOT_FIRST; s < ROBOT_FIRST + ROBOTS; s++) {
        ASSERT_EQ(race.status[s], RACE_ROBOT_DRIVEN) << s;
        EXPECT_GE(race_laps_completed(s), 2) << "robot in slot " << s;
        EXPECT_TRUE(race_finished(s)) << s;
        for (int k = 1; k <= 2; k++) {
            EXPECT_GT(lap_seconds(s, k), 80) << s << " lap " << k;
            EXPECT_LT(lap_seconds(s, k), 140) << s << " lap " << k;
        }
        robots.push_back(s);
        laps.push_back({lap_seconds(s, 1), lap_seconds(s, 2)});
    }

    // The recording was finished at shutdown: its header and every block are whole.
    demo_file d;
    ASSERT_TRUE(read_demo(home_file("demos/default.zvdemo"), &d));
    ASSERT_EQ(d.riders, ROBOTS + 1);
    EXPECT_EQ(d.laps, 2);
    // Riders are recorded in slot order: the robots, then the player on gate 25.
    EXPECT_EQ(d.model[ROBOTS], "kx250f(2009)");
    EXPECT_EQ(d.number[ROBOTS], "42");
    EXPECT_EQ(d.name[ROBOTS], "Test Rider");
    EXPECT_EQ(d.name[0], "Roborider");

    // After the finish a robot rolls to a stop: over its last 10 recorded seconds it covers a
    // small part of what it covered in any 10 s of its second lap.
    for (int r = 0; r < ROBOTS; r++) {
        const auto &st = d.states[r];
        ASSERT_GT(st.size(), 400u);
        auto moved = [&](size_t from, size_t to) {
            double sum = 0;
            for (size_t i = from + 1; i <= to; i++)
                sum += std::hypot(double(st[i][1] - st[i - 1][1]), double(st[i][2] - st[i - 1][2]));
            return sum;
        };
        size_t n = st.size(), span = 320; // states every 4 tics: 10 s
        int finish = race_pass_tic(robots[r], race_lap_end(2));
        size_t mid = 0;
        while (mid < n && st[mid][0] < finish - 60 * 128)
            mid++;
        ASSERT_LT(mid + span, n);
        ASSERT_GT(st.back()[0], finish + 20 * 128) << "the race ran on 20 s past this finish";
        EXPECT_LT(moved(n - 1 - span, n - 1), 0.1 * moved(mid, mid + span)) << "robot " << r;
    }

    // The robots' lines went back to the home folder at shutdown ("Remembering lines"), with
    // the runs the robots were credited in this race.
    std::ifstream saved(home_file("tracks/pinehollow/lines_expert"));
    ASSERT_TRUE(saved) << err;
    std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    // A robot on its line is credited a run at most major gates: over two laps of the track's
    // 38 sections, 8 robots earn far more than a few (123 in a sample run).
    EXPECT_GT(runs_in(text), shipped + ROBOTS * 6) << "the robots were credited their runs";

    // The recording named on the command line plays on its own track (no --track), with the
    // lap times it was recorded with: replayed riders fill the slots from 0 in rider order.
    std::filesystem::copy_file(home_file("demos/default.zvdemo"), home + "/race.zvdemo");
    write_config("");
    rc = run({home + "/race.zvdemo"}, 320);
    ASSERT_EQ(rc, 0);
    for (int r = 0; r < ROBOTS; r++) {
        EXPECT_EQ(race.status[r], RACE_REPLAYED) << r;
        ASSERT_GE(race_laps_completed(r), 2) << "replayed rider " << r;
        for (int k = 1; k <= 2; k++)
            EXPECT_NEAR(lap_seconds(r, k), laps[r][k - 1], 4.5 / 128)
                << "rider " << r << " lap " << k;
    }
}

} // namespace
