// The program itself as a race-server client: zvserver runs as its own process on a loopback
// port, and each client is the game started as a player starts it (null back end in real time,
// its own home folder, --connect on the command line, keys on its clock), in a child process.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bike/bike.h"
#include "core/core_hooks.h"
#include "core/core_main.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "net/net_client.h"
#include "platform/null/platform_null.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track_terrain.h"
#include "track/track_erosion.h"

namespace {

const int K = PLATFORM_KEY_BASE;
const int THROTTLE = K + 0x2d, KEY_T = K + 0x14, ENTER = K + 0x1C, ESC = K + 0x01;

std::string g_result_path;

// What a client leaves behind as its connection closes: whether it raced and how soon, where
// its own bike and the other rider's bike are, whether its bike stands upright, and a digest of
// its ground.
void write_result(void) {
    FILE *f = fopen(g_result_path.c_str(), "w");
    if (!f) return;
    int me = net_client.slot, other = -1;
    for (int s = 0; s < NET_SLOTS; s++)
        if (s != me && race.present[s] && bike_world.bikes[s].present) other = s;
    auto pos = [](int s, int axis) {
        if (s < 0 || s >= NET_SLOTS || !bike_world.bikes[s].present) return 0.0;
        return (double)dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME])[axis];
    };
    // Ruts next to a rider wait a moment before they are cut (the loop would cut them within two
    // seconds): the digest is of the ground with every stroke received so far applied.
    while (erosion.count > 0 && erosion_apply(nullptr, race.erosion_rate / 1024.0f, race.tic) > 0) {
    }
    uint64_t h = 1469598103934665603ull;
    for (int i = 0; terrain.heights && i < terrain.size * terrain.size; i++) {
        uint32_t bits;
        memcpy(&bits, &terrain.heights[i], 4);
        h = (h ^ bits) * 1099511628211ull;
    }
    double changed = 0;
    for (int i = 0; terrain.heights && i < terrain.size * terrain.size; i++)
        changed += fabs(terrain.heights[i] - terrain.loaded_heights[i]);
    double up = 0;
    int arcade = -1;
    if (me >= 0 && me < NET_SLOTS && bike_world.bikes[me].present) {
        up = dBodyGetRotation(bike_world.bikes[me].body[BIKE_FRAME])[5]; // frame y axis, world y
        arcade = bike_world.bikes[me].applied.arcade;
    }
    fprintf(f, "%d %.3f %d %d %d %.3f %.3f %.3f %.3f %.3f %.3f %llu %.6f %.3f %d\n",
            net_client.reached_racing, net_client.racing_since, net_client.races_started, me, other,
            pos(me, 0), pos(me, 2), race.start_pos[0], race.start_pos[2], pos(other, 0),
            pos(other, 2), (unsigned long long)h, changed, up, arcade);
    fclose(f);
}

struct client_result {
    int racing = 0, races = 0, slot = -1, other = -1;
    double since = 0, me_x = 0, me_z = 0, start_x = 0, start_z = 0, other_x = 0, other_z = 0;
    unsigned long long ground = 0;
    double changed = 0, up = 0;
    int arcade = -1;
    std::string log;
};

struct net_game : testing::Test {
    std::string dir;
    pid_t server = -1;
    int port = 0;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_net_game_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        port = 20000 + (int)(getpid() % 20000);
    }
    void TearDown() override {
        if (server > 0) {
            kill(server, SIGTERM);
            int st;
            waitpid(server, &st, 0);
        }
        std::error_code ignored;
        if (!getenv("ZV_KEEP_HOME")) std::filesystem::remove_all(dir, ignored);
    }
    std::string server_log() {
        std::ifstream in(dir + "/server.log");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void start_server(std::vector<std::string> args) {
        std::string bin = std::string(ZV_BINARY_DIR) + "/tools/zvserver/zvserver";
        args.insert(args.begin(), {bin, "--port", std::to_string(port)});
        server = fork();
        ASSERT_GE(server, 0);
        if (server == 0) {
            setenv("ZV_HOME", ZV_BINARY_DIR, 1);
            setenv("XDG_DATA_HOME", (dir + "/server_home").c_str(), 1);
            FILE *log = freopen((dir + "/server.log").c_str(), "w", stderr);
            (void)log;
            std::vector<char *> argv;
            for (auto &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(bin.c_str(), argv.data());
            _exit(127);
        }
        // Listening once the track is loaded.
        for (int i = 0; i < 100 && server_log().find("listening") == std::string::npos; i++)
            usleep(100000);
        ASSERT_NE(server_log().find("listening"), std::string::npos) << server_log();
    }
    std::string home(int n) { return dir + "/client" + std::to_string(n); }
    // The game in a child: the throttle held between pairs of times in `throttle`, a chat line
    // typed at `chat_at` and the window closed at `seconds`, all on the program's clock.
    pid_t start_client(int n, double seconds, std::vector<double> throttle,
                       std::vector<std::string> extra = {}, const char *chat = nullptr,
                       double chat_at = 0) {
        std::filesystem::create_directories(home(n) + "/Zelvo");
        std::ofstream(home(n) + "/Zelvo/config")
            << "name=Rider " << n << "\nnumber=" << 10 + n << "\n";
        pid_t pid = fork();
        if (pid != 0) return pid;
        setenv("XDG_DATA_HOME", home(n).c_str(), 1);
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        if (freopen((home(n) + "/stderr.txt").c_str(), "w", stderr))
            setvbuf(stderr, nullptr, _IONBF, 0);
        g_result_path = home(n) + "/result.txt";
        net_close_tap = write_result;
        platform_log_reset(); // its own log in its own home
        platform_null_reset();
        core_hook = core_hooks();
        file_index_free();
        data_root_reset();
        platform_null_real_time(1);
        for (size_t i = 0; i + 1 < throttle.size(); i += 2) {
            platform_null_script_event(THROTTLE, 1, throttle[i]);
            platform_null_script_event(THROTTLE, 0, throttle[i + 1]);
        }
        if (chat) {
            // The chat key opens the line; its own letter is not typed into it.
            double t = chat_at;
            platform_null_script_event(KEY_T, 1, t);
            platform_null_script_event('t', 1, t + 0.01);
            platform_null_script_event(KEY_T, 0, t + 0.05);
            for (const char *c = chat; *c; c++) {
                t += 0.1;
                platform_null_script_event(K + 0x1E, 1, t);
                platform_null_script_event((unsigned char)*c, 1, t + 0.01);
                platform_null_script_event(K + 0x1E, 0, t + 0.05);
            }
            platform_null_script_event(ENTER, 1, t + 0.1);
            platform_null_script_event(ENTER, 0, t + 0.15);
            platform_null_script_event(ESC, 1, t + 0.3);
            platform_null_script_event(ESC, 0, t + 0.35);
        }
        platform_null_script_event(PLATFORM_CLOSE, 1, seconds);
        std::vector<std::string> args = {"zelvo", "--nosound", "--connect",
                                         "127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        _exit(core_main((int)args.size(), argv.data()));
    }
    client_result finish(int n, pid_t pid) {
        int st = 0;
        waitpid(pid, &st, 0);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << "client " << n << " status " << st;
        client_result r;
        std::ifstream in(home(n) + "/result.txt");
        in >> r.racing >> r.since >> r.races >> r.slot >> r.other >> r.me_x >> r.me_z >>
            r.start_x >> r.start_z >> r.other_x >> r.other_z >> r.ground >> r.changed >> r.up >>
            r.arcade;
        std::ifstream lg(home(n) + "/Zelvo/lastlog.txt");
        std::stringstream ss;
        ss << lg.rdbuf();
        r.log = ss.str();
        return r;
    }
    // Two riders race on an eroding track, throttle open once the gate is down: each rides
    // well away from the gate on its wheels, sees the other where it rode, and their rutted
    // grounds end up the same. One rider's chat line reaches the other.
    void two_riders(std::vector<std::string> extra, double seconds) {
        start_server({"--erosion-rate", "1024", "--start-seconds", "3"});
        pid_t a = start_client(1, seconds, {5, 9}, extra, "hello from one", 11);
        pid_t b = start_client(2, seconds, {5, 9}, extra);
        client_result ra = finish(1, a), rb = finish(2, b);
        std::string why = "server:\n" + server_log() + "\nclient 1:\n" + ra.log;
        ASSERT_TRUE(ra.racing && rb.racing) << why;
        EXPECT_LT(ra.since, 5.0) << why;
        EXPECT_LT(rb.since, 5.0);
        for (const client_result *r : {&ra, &rb}) {
            EXPECT_GT(hypot(r->me_x - r->start_x, r->me_z - r->start_z), 60) << r->log;
            EXPECT_GT(r->up, 0.8) << r->log;
            EXPECT_EQ(r->log.find("false start"), std::string::npos) << r->log;
        }
        EXPECT_GT(ra.changed, 0.01); // ruts, not the pristine ground
        EXPECT_NE(rb.log.find("Rider 1: hello from one"), std::string::npos) << rb.log;
        EXPECT_EQ(ra.other, rb.slot);
        EXPECT_EQ(rb.other, ra.slot);
        // Each sees the other's bike where that rider's own game has it.
        EXPECT_LT(hypot(ra.other_x - rb.me_x, ra.other_z - rb.me_z), 3) << why;
        EXPECT_LT(hypot(rb.other_x - ra.me_x, rb.other_z - ra.me_z), 3);
        // Both apply the same strokes in the same order: one ground.
        EXPECT_EQ(ra.ground, rb.ground) << ra.changed << " " << rb.changed;
        EXPECT_NE(server_log().find("(Rider 1) is ready"), std::string::npos) << server_log();
    }
};

TEST_F(net_game, two_riders_race_see_each_other_and_share_one_ground) {
    two_riders({}, 16);
}

TEST_F(net_game, the_same_over_a_bad_line) {
    // Every message waits for the one before it: the last strokes need a few seconds more.
    two_riders({"--fake-loss", "20", "--fake-lag", "200"}, 19);
}

TEST_F(net_game, a_restart_cycle_brings_the_riders_back_to_the_gate) {
    start_server({"--session-seconds", "6", "--start-seconds", "2"});
    pid_t a = start_client(1, 14, {});
    client_result ra = finish(1, a);
    EXPECT_GE(ra.races, 2) << ra.log << server_log();
    EXPECT_NE(ra.log.find("Sending restart"), std::string::npos);
    EXPECT_NE(server_log().find("session 3"), std::string::npos) << server_log();
}

TEST_F(net_game, a_file_of_the_outgoing_folder_lands_on_the_server_byte_for_byte) {
    std::filesystem::create_directories(dir + "/uploads");
    start_server({"--upload-dir", dir + "/uploads", "--no-arcade"});
    std::filesystem::create_directories(home(1) + "/Zelvo/outgoing");
    std::string bytes;
    for (int i = 0; i < 600; i++)
        bytes += (char)(i * 37 % 251); // zero bytes included
    std::ofstream(home(1) + "/Zelvo/outgoing/lap.zvdemo", std::ios::binary) << bytes;
    // Typed on the chat line; three parts at four a second, each waiting for its acknowledgement.
    pid_t a = start_client(1, 10, {}, {}, "/sendfile lap.zvdemo", 2);
    client_result ra = finish(1, a);
    EXPECT_NE(ra.log.find("Sending file"), std::string::npos) << ra.log;
    std::ifstream in(dir + "/uploads/lap.zvdemo", std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), bytes) << server_log();
    EXPECT_NE(server_log().find("(600 bytes)"), std::string::npos) << server_log();
    // The server's no_arcade reaches the bike that was made before it arrived.
    EXPECT_NE(ra.log.find("Arcade physics disabled"), std::string::npos);
    EXPECT_EQ(ra.arcade, 0);
}

TEST_F(net_game, a_modified_track_is_refused) {
    start_server({});
    // The player's own copy of the gates file takes the place of the shipped one.
    std::string gates;
    {
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        file_index_free();
        data_root_reset();
        file_index_build();
        data_file *f = data_open("@tracks/pinehollow/timing_gates", "rb");
        ASSERT_NE(f, nullptr);
        char buf[4096];
        int n;
        while ((n = data_read(f, buf, sizeof buf)) > 0)
            gates.append(buf, (size_t)n);
        data_close(f);
        file_index_free();
    }
    std::filesystem::create_directories(home(1) + "/Zelvo/tracks/pinehollow");
    std::ofstream(home(1) + "/Zelvo/tracks/pinehollow/timing_gates") << gates << "\n";
    pid_t a = start_client(1, 6, {});
    client_result ra = finish(1, a);
    EXPECT_FALSE(ra.racing);
    EXPECT_NE(ra.log.find("Client track modified - does not match server's track "
                          "(tracks/pinehollow)"),
              std::string::npos)
        << ra.log;
}

} // namespace
