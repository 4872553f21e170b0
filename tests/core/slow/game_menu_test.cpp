// The menus as a player uses them: the program started with no track, on the null back end,
// driven only by key, character and pointer events on its clock. Pages are reached from the main
// menu, values changed there are seen where the game uses them, a race starts with the lineup of
// the gates, and the quit page ends the run; the configuration keeps the changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/zv_message.h"
#include "bike/bike.h"
#include "bike/bike_setup.h"
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "data/data_index.h"
#include "platform/null/platform_null.h"
#include "platform/platform_input.h"
#include "race/race.h"
#include "ui/hud.h"
#include "ui/ui_menu.h"

namespace {

const int K = PLATFORM_KEY_BASE;
const int UP = K + 0x148, DOWN = K + 0x150, LEFT = K + 0x14B, ENTER = K + 0x1C, ESC = K + 0x01;
const int KEY_Q = K + 0x10, KEY_A = K + 0x1E, KEY_T = K + 0x14;
const int BACKSPACE = K + 0x0E;

// A player's input on the program's clock, 0.15 s apart (more than a frame at 8 frames a second).
struct script {
    double t = 1;
    void key(int code, int times = 1) {
        for (int i = 0; i < times; i++) {
            platform_null_script_event(code, 1, t);
            platform_null_script_event(code, 0, t + 0.05);
            t += 0.15;
        }
    }
    // A typed character: the key's own code first, then the character a tic or so later, as the
    // desktop sends them.
    void type(int key_code, int ch) {
        platform_null_script_event(key_code, 1, t);
        platform_null_script_event(ch, 1, t + 0.01);
        platform_null_script_event(key_code, 0, t + 0.05);
        t += 0.15;
    }
    void text(const char *s) {
        for (; *s; s++)
            type(K + 0x1E, (unsigned char)*s); // the key code is not what counts for text
    }
    void hold(int code, double seconds) {
        platform_null_script_event(code, 1, t);
        t += seconds;
        platform_null_script_event(code, 0, t);
        t += 0.15;
    }
    void wait(double seconds) { t += seconds; }
    void click(int x, int y) {
        platform_null_script_pointer(x, y, t);
        t += 0.15;
        key(PLATFORM_MOUSE_LEFT);
    }
};

int message_count(const char *text) {
    int n = 0;
    for (int age = 0; const char *line = zv_message_line(age); age++)
        if (strstr(line, text)) n++;
    return n;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct menu_fixture : testing::Test {
    std::string home;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_game_menu_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        std::filesystem::create_directories(home + "/Zelvo");
        // The player on gate 1 and robots on gates 2 to 5; the rest empty.
        std::ofstream out(home + "/Zelvo/config");
        out << "laps=5\nminutes=0\nskill=Expert\nnumber=123\nrecord=Yes\n";
        for (int i = 0; i < 40; i++)
            out << "slot" << (i < 10 ? "0" : "") << i << "="
                << (i == 0  ? "Human"
                    : i < 5 ? "Robot"
                            : "Empty")
                << "\n";
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("ZV_HOME");
        std::error_code ignored;
        if (!getenv("ZV_KEEP_HOME")) std::filesystem::remove_all(home, ignored);
    }
    int run(double close_at, std::vector<const char *> extra = {}) {
        core_hook = core_hooks();
        file_index_free();
        data_root_reset();
        platform_null_script_event(PLATFORM_CLOSE, 1, close_at);
        const char *args[] = {"zelvo", "--nosound", "--lock-fps", "8", "--rotate-lineup", "1"};
        std::vector<char *> argv;
        for (const char *a : args)
            argv.push_back(const_cast<char *>(a));
        for (const char *a : extra)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        return core_main((int)argv.size() - 1, argv.data());
    }
};

TEST_F(menu_fixture, pages_change_what_the_game_uses_start_a_race_and_quit) {
    platform_null_reset();
    script s;
    // Bike setup: the number retyped, the front brake torque down two steps, a bike by typing.
    s.key(DOWN, 5);
    s.key(ENTER);
    s.key(DOWN, 5); // "Number"
    for (int i = 0; i < 3; i++)
        s.type(BACKSPACE, 8);
    s.text("77");
    s.key(DOWN, 7); // "Braking Torque (Front)"
    s.key(LEFT, 2);
    s.key(UP, 9); // "Bike"
    s.text("yz");
    s.key(ESC);
    s.key(ESC); // the main menu again, its first item lit

    // Graphics: the high-detail preset, then two advanced values of it changed.
    s.key(DOWN, 6);
    s.key(ENTER);
    s.key(DOWN, 5); // "Use High Detail Settings"
    s.key(ENTER);
    s.key(UP, 4); // "Advanced Graphics Setup"
    s.key(ENTER);
    s.key(DOWN, 8); // "Roost Density"
    s.key(LEFT);
    s.key(DOWN, 3); // "Enable Reflections"
    s.key(LEFT);
    s.key(ESC);
    s.key(ESC);

    // Customize Controls: throttle captured onto Q.
    s.key(DOWN, 7);
    s.key(ENTER);
    s.key(DOWN); // "Throttle"
    s.key(ENTER);
    s.key(KEY_Q);
    s.wait(1.5);
    s.key(ESC);
    s.key(ESC);

    // New Race by the pointer: "New Race" is the main page's first item. In a 640 x 480 window
    // the page's 32 lines are 15 pixels; the first item row starts 11 lines down.
    s.click(320, 11 * 15 + 10);
    s.key(DOWN, 6);      // "Laps"
    s.key(K + 0x14D);    // right: one more lap
    s.key(DOWN, 6);      // "Gate 6"
    s.key(K + 0x14D, 2); // "Robot"
    s.key(UP, 11);       // "Start"
    s.key(ENTER);
    double race_start = s.t;

    // After the gate drop (13 to 15 s into the race) ride away, and change the brakes twice while
    // rolling: the mechanic refuses both and complains once. The throttle opens after the drop,
    // since a wheel pushing on a gate holds it up.
    s.wait(15.5);
    platform_null_script_event(KEY_Q, 1, s.t); // throttle, now on Q, held through the pages
    s.wait(2);
    s.key(ESC);
    s.key(DOWN, 5);
    s.key(ENTER);
    s.key(DOWN, 12); // "Braking Torque (Front)"
    s.key(LEFT, 2);
    s.key(ESC);
    s.wait(4);
    platform_null_script_event(KEY_Q, 0, s.t);
    s.wait(0.15);

    // The chat line: offline, the line is refused by nobody and reported unsent.
    s.type(KEY_T, 't');
    s.text("hi");
    s.key(ENTER);
    s.key(ESC);

    // Quit from the quit page with any key.
    s.key(ESC);
    s.key(DOWN, 8);
    s.key(ENTER);
    s.key(KEY_A);
    double quit_at = s.t;

    testing::internal::CaptureStderr();
    int rc = run(quit_at + 60);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0) << err;

    // The quit page ended the run, not the window closing a minute later.
    EXPECT_LT(core_loop.game_clock, quit_at + 5);
    EXPECT_GT(core_loop.game_clock, race_start + 20);

    // What the pages changed reached the code that uses it.
    EXPECT_STREQ(core_config_setup.number, "77");
    EXPECT_FLOAT_EQ(core_config_setup.value[SETUP_BRAKE_TORQUE], 460); // 500 - 4 steps of 10
    EXPECT_NE(std::string(bike_menu_name(core_config_setup.bike)).find("yz"), std::string::npos);
    EXPECT_EQ(core_render.roost_frequency, 990);
    EXPECT_EQ(core_render.reflections, 0);
    EXPECT_STREQ(core_settings_label(CORE_SET_GROUND_TEXTURE_DIM_NEW), "1024x1024");
    EXPECT_STREQ(core_bindings[CORE_BIND_THROTTLE].key_name, "Q");

    // The race ran with the lineup of the gates and the laps of the page; the player's bike was
    // the setup's.
    EXPECT_EQ(race.lap_total, 6);
    EXPECT_EQ(race.status[0], RACE_LOCAL);
    for (int g = 1; g <= 5; g++)
        EXPECT_EQ(race.status[g], RACE_ROBOT_DRIVEN) << "gate " << g + 1;
    EXPECT_FALSE(race.present[6]);
    EXPECT_EQ(message_count("Settings not applied.  Mechanic can't keep up error."), 1);
    EXPECT_EQ(message_count("Not connected to server"), 1);
    EXPECT_STREQ(ui_menu.chat[1], "hi"); // the chat key's own letter opened the line, no more

    // The configuration keeps the changes, the gates rotated one place for the next race.
    std::string config = read_file(home + "/Zelvo/config");
    EXPECT_NE(config.find("number=77\n"), std::string::npos) << config;
    EXPECT_NE(config.find("throttle_key=(k)Q\n"), std::string::npos);
    EXPECT_NE(config.find("laps=6"), std::string::npos);
    EXPECT_NE(config.find("slot01=Human\n"), std::string::npos);
    EXPECT_NE(config.find("slot06=Robot\n"), std::string::npos);
    EXPECT_NE(config.find("slot00=Empty\n"), std::string::npos);

    // The recording names the player as the setup was at the start: the bike and number chosen.
    std::istringstream demo(read_file(home + "/Zelvo/demos/default.zvdemo"));
    std::string line, model, number;
    std::getline(demo, line);
    std::getline(demo, line);
    std::getline(demo, model);
    std::getline(demo, number);
    EXPECT_EQ(model.substr(0, model.find('|')), bike_menu_name(core_config_setup.bike));
    EXPECT_EQ(number, "77");

    // The race was recorded; started again, the program plays it from the demo list.
    platform_null_reset();
    script p;
    p.key(DOWN);
    p.key(ENTER);   // "Playback Race"
    p.key(DOWN, 2); // the first demo, after "Playback Mode"
    p.key(ENTER);
    p.wait(3);
    ASSERT_TRUE(std::filesystem::exists(home + "/Zelvo/demos/default.zvdemo"));
    ASSERT_EQ(run(p.t), 0);
    // Shutdown empties the slots, but the race keeps what the demo's header gave it: its laps
    // in place of the 10 a playback starts with, and no rider of its own.
    EXPECT_EQ(race.lap_total, 6);
    int own = 0;
    for (int slot = 0; slot < RACE_SLOTS; slot++)
        own += race.status[slot] == RACE_LOCAL || race.status[slot] == RACE_ROBOT_DRIVEN;
    EXPECT_EQ(own, 0);
}

TEST_F(menu_fixture, setup_pages_the_server_field_and_a_time_trial_from_the_track_list) {
    platform_null_reset();
    float spring = bike_setup_slider_info(SETUP_FORK_SPRING_RATE)->step;
    script s;
    // Suspension and Gearing, back, then Advanced Stability Setup.
    s.key(DOWN, 5);
    s.key(ENTER);
    s.key(DOWN);
    s.key(ENTER);
    s.key(DOWN, 5); // the fork spring rate
    s.key(K + 0x14D);
    s.key(UP, 5);
    s.key(ENTER); // "Back to Bike Setup Menu"
    s.key(DOWN, 2);
    s.key(ENTER);
    s.key(DOWN); // leveling
    s.key(LEFT);
    s.key(ESC);

    // Multiplayer: the server retyped and connected to (the menu closes for the connection).
    s.key(ESC);
    s.key(DOWN, 4);
    s.key(ENTER);
    s.key(DOWN, 3);
    for (int i = 0; i < 20; i++)
        s.type(BACKSPACE, 8);
    s.text("localhost:19801");
    s.key(UP, 2);
    s.key(ENTER);

    // The demo list, then a time trial on the track chosen from the track list.
    s.key(ESC);
    s.key(DOWN);
    s.key(ENTER);
    s.key(ESC);
    s.key(ESC);
    s.key(DOWN, 3);
    s.key(ENTER);
    s.key(DOWN, 2); // "Track": activated, it opens "Choose Track"
    s.key(ENTER);
    s.key(DOWN);
    s.key(ENTER); // back on the time-trial page, "Track" lit
    s.key(UP);
    s.key(ENTER); // "Start"
    s.wait(3);

    bike_setup defaults;
    bike_setup_init(&defaults);
    testing::internal::CaptureStderr();
    int rc = run(s.t);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0) << err;

    EXPECT_FLOAT_EQ(core_config_setup.value[SETUP_FORK_SPRING_RATE],
                    defaults.value[SETUP_FORK_SPRING_RATE] + spring);
    EXPECT_LT(core_config_setup.value[SETUP_LEVELING], defaults.value[SETUP_LEVELING]);
    bike_setup_free(&defaults);
    EXPECT_STREQ(core_server_history[0], "localhost:19801");
    EXPECT_STREQ(core_settings_text(CORE_SET_SERVER_NAME), "localhost:19801");
    // The time trial started from the menu closed the connection and raced alone.
    EXPECT_STREQ(core_options.connect_address, "");
    EXPECT_TRUE(race.time_trial);
    EXPECT_EQ(core_loop.menu_page, CORE_MENU_NONE);
    EXPECT_TRUE(race.present[race.viewed_slot]);
}

TEST_F(menu_fixture, a_game_pad_drives_the_menus) {
    platform_null_reset();
    platform_null_attach_pad(1);
    const int pad = platform_device_name_hash("XInputGamepad1") * 65536;
    const int PAD_UP = pad + 0, PAD_DOWN = pad + 1, PAD_START = pad + 4, PAD_A = pad + 12;
    const int PAD_B = pad + 13;
    script s;
    s.key(PAD_DOWN, 3); // "Time Trial"
    s.key(PAD_A);
    s.key(PAD_DOWN);
    s.key(PAD_UP);
    s.key(PAD_DOWN); // "Start"
    s.key(PAD_A);
    s.wait(2);
    s.key(PAD_START); // the main menu over the time trial
    s.key(PAD_B);     // closed again
    s.key(PAD_START); // and open
    s.key(PAD_DOWN, 8);
    s.key(PAD_A); // "Quit"
    s.key(PAD_A); // any key but Esc ends the run
    double quit_at = s.t;
    ASSERT_EQ(run(quit_at + 30), 0);
    EXPECT_TRUE(race.time_trial);
    EXPECT_LT(core_loop.game_clock, quit_at + 5);
}

} // namespace

// The console from the chat line of a race: display toggles, camera keyframes written to the home
// folder and read back, the suspension graph, the frame times, and the recording's own name.
TEST_F(menu_fixture, console_commands_typed_on_the_chat_line_of_a_race) {
    platform_null_reset();
    script s;
    s.wait(2);
    auto command = [&](const char *line) {
        s.type(KEY_T, 't'); // a second 't' on the open line would be typed: Esc closes it below
        s.text(line);
        s.key(ENTER);
        s.key(ESC);
    };
    for (const char *line :
         {"/togglefps", "/togglefps", "/camangle 90 0", "/addkey", "/writekeys k1", "/clearkeys",
          "/readkeys k1", "/listkeys", "/togglegraph", "/namedemo race1",
          "/listfiles PINEHOLLOW/TERRAIN", "/saveframetimes", "/messagelines 7",
          "/readkeys ../config", "/writesetup s1", "/readsetup s1", "/savetrackinfo"})
        command(line);
    s.wait(2);
    ASSERT_EQ(run(s.t, {"--track", "pinehollow"}), 0);

    EXPECT_EQ(message_count("FPS display ON"), 1);
    EXPECT_EQ(message_count("FPS display OFF"), 1);
    EXPECT_EQ(core_options.draw_fps, 0);
    EXPECT_EQ(message_count("Keyframe added"), 1);
    EXPECT_EQ(message_count("Camera keys saved"), 1);
    EXPECT_EQ(message_count("Keyframes cleared"), 1);
    EXPECT_EQ(message_count("Camera keys updated"), 1);
    EXPECT_EQ(message_count("Error reading camera keys"), 1); // no way out of "keycam/"
    // The key read back is the one taken: one line, listed once, aimed a quarter round before it
    // was taken some way into the race.
    std::string keys = read_file(home + "/Zelvo/keycam/k1");
    EXPECT_EQ(std::count(keys.begin(), keys.end(), '\n'), 1) << keys;
    EXPECT_EQ(message_count("Camera aimed"), 1);
    EXPECT_EQ(message_count("pos = { "), 1);
    EXPECT_EQ(message_count("rot = { 0.00, 0.71, -0.00, 0.71 }, time = "), 1);
    EXPECT_EQ(message_count("time = 0.00"), 0);
    EXPECT_EQ(message_count("Suspension graph ON"), 1);
    EXPECT_EQ(hud.graph, 1);
    EXPECT_EQ(message_count("Demo name updated"), 1);
    EXPECT_GE(message_count("tracks/pinehollow/terrain"), 1);
    EXPECT_EQ(message_count("Frame times saved to \"frametimes.txt\""), 1);
    std::string times = read_file(home + "/Zelvo/frametimes.txt");
    EXPECT_GT(std::count(times.begin(), times.end(), '\n'), 8);
    EXPECT_EQ(message_count("Maximum showing messages is now 7"), 1);

    EXPECT_EQ(message_count("Setup written"), 1);
    EXPECT_EQ(message_count("Setup updated"), 1);
    EXPECT_NE(read_file(home + "/Zelvo/setups/s1").find("number=123\n"), std::string::npos);
    EXPECT_EQ(
        read_file(home + "/Zelvo/tracks/pinehollow.trackinfo").find("dir=tracks/pinehollow\n"), 0u);

    // The recording ended under its new name, and the configuration keeps the line limit.
    EXPECT_TRUE(std::filesystem::exists(home + "/Zelvo/demos/race1.zvdemo"));
    EXPECT_FALSE(std::filesystem::exists(home + "/Zelvo/demos/default.zvdemo"));
    EXPECT_NE(read_file(home + "/Zelvo/config").find("message_lines=7\n"), std::string::npos);
    hud.graph = 0;
}
