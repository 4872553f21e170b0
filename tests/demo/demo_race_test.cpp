// Demos in a race: blending states, skipping with roost suppressed, rewinding with the gate
// passes after the target forgotten, old versions jumping by records, and the race-against
// recording rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/zv_message.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "race/race.h"

namespace {

TEST(DemoBlend, EndsMiddleAndWraps) {
    uint8_t a[DEMO_STATE], b[DEMO_STATE], out[DEMO_STATE];
    for (int k = 0; k < DEMO_STATE; k++) {
        a[k] = 10;
        b[k] = 30;
    }
    demo_blend(a, b, 0.0, out);
    EXPECT_EQ(memcmp(out, a, DEMO_STATE), 0);
    demo_blend(a, b, 1.0, out);
    EXPECT_EQ(memcmp(out, b, DEMO_STATE), 0);
    demo_blend(a, b, std::nan(""), out);
    EXPECT_EQ(memcmp(out, a, DEMO_STATE), 0);
    demo_blend(a, b, 0.5, out);
    EXPECT_EQ(out[0], 20);  // position, low byte
    EXPECT_EQ(out[17], 20); // steering
    EXPECT_EQ(out[36], 30); // flags from the nearer state
    // wheel angles take the short way round
    a[34] = 250;
    b[34] = 6;
    demo_blend(a, b, 0.5, out);
    EXPECT_EQ(out[34], 0);
    // extrapolation is clamped to the field
    a[17] = 200;
    b[17] = 250;
    demo_blend(a, b, 3.0, out);
    EXPECT_EQ(out[17], 255);
    // a quaternion and its negation blend as the same turn
    for (int k = 0; k < 4; k++) {
        long qa = k == 0 ? 65535 : 32767, qb = k == 0 ? 0 : 32768; // q = (1,0,0,0) and about -q
        a[9 + 2 * k] = (uint8_t)qa;
        a[10 + 2 * k] = (uint8_t)(qa >> 8);
        b[9 + 2 * k] = (uint8_t)qb;
        b[10 + 2 * k] = (uint8_t)(qb >> 8);
    }
    demo_blend(a, b, 0.5, out);
    EXPECT_GT(out[9] | out[10] << 8, 60000); // stays near +1, not through zero
}

std::vector<uint8_t> v6_demo(int last) {
    std::string h = "ZV06 1 0 3 1800\ndefault\ncrf\n1\nA\n\n";
    std::vector<uint8_t> f(h.begin(), h.end());
    int prev = 0;
    for (int t = 16; t <= last; t += 16) {
        uint32_t len = 44;
        uint32_t field = len ^ (uint32_t)prev;
        for (int i = 0; i < 4; i++)
            f.push_back((uint8_t)(field >> (8 * i)));
        for (int i = 0; i < 4; i++)
            f.push_back((uint8_t)(t >> (8 * i)));
        f.push_back(1);
        f.push_back(0);
        for (int i = 0; i < 4; i++)
            f.push_back((uint8_t)(t >> (8 * i)));
        for (int k = 0; k < DEMO_STATE; k++)
            f.push_back((uint8_t)t);
        prev = (int)len;
    }
    return f;
}

float roost = 1.0f;
int race_tics = 0, roost_seen_on = 0;

class DemoSeek : public ::testing::Test {
  protected:
    void SetUp() override {
        memset(race.present, 0, sizeof race.present);
        for (int s = 0; s < RACE_SLOTS; s++)
            race.status[s] = RACE_REPLAYED;
        race.present[3] = 1;
        roost = 1.0f;
        race_tics = roost_seen_on = 0;
        demo_race.calls.race_tic = [] {
            race_tics++;
            if (roost != 0) roost_seen_on++;
            race.tic++;
        };
        demo_race.calls.roost_get = [] { return roost; };
        race_steps.history_newest_tic = demo_history_newest_tic;
        demo_race.calls.roost_set = [](float f) { roost = f; };
        f = v6_demo(2000);
        ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
        demo_play.slot_of[0] = 3;
        demo_history_clear();
        race.tic = 0;
        while (race.tic < 1000) {
            demo_play_tic(&race.tic);
            race.tic++;
        }
    }
    void TearDown() override {
        demo_play_close();
        demo_race.calls = demo_race_calls{};
        race_steps.history_newest_tic = nullptr;
        race.present[3] = 0;
        race.riders[3].pass = nullptr;
        race.riders[3].pass_cap = 0;
        race.riders[3].progress = 0;
    }
    std::vector<uint8_t> f;
};

TEST_F(DemoSeek, SkipSimulatesASecondWithRoostSuppressed) {
    ASSERT_EQ(demo_seek(1), 1);
    EXPECT_EQ(race.tic, 1128);
    EXPECT_EQ(race_tics, 128);
    EXPECT_EQ(roost_seen_on, 0);
    EXPECT_EQ(roost, 1.0f); // restored
}

TEST_F(DemoSeek, RewindForgetsLaterGatePasses) {
    int pass[8] = {100, 300, 700, 900, 950, 0, 0, 0};
    race.riders[3].pass = pass;
    race.riders[3].pass_cap = 8;
    race.riders[3].progress = 5;
    race.riders[3].finished = 1;
    race.results_final = 1;
    ASSERT_EQ(demo_seek(-1), 1);
    int target = 1000 - 1 - 128;
    EXPECT_EQ(race.riders[3].progress, 3); // passes at 900 and 950 come after the target
    EXPECT_EQ(race.riders[3].finished, 0);
    EXPECT_EQ(race.results_final, 0);
    // cleared, then read again from a block at least 64 tics before the target
    EXPECT_EQ(race.tic, target + 1); // the one race tic after the re-read
    EXPECT_EQ(race_tics, 1);
    EXPECT_GE(demo_history_newest_tic(3), target);
    int o, n;
    ASSERT_TRUE(demo_history_around(3, target - 64, &o, &n));
    EXPECT_LE(demo_history[3].tic[o], target - 64);
}

TEST_F(DemoSeek, RefusedWhileOthersRideOrRecording) {
    race.status[3] = RACE_ROBOT_DRIVEN;
    EXPECT_EQ(demo_seek(1), 0);
    EXPECT_EQ(race.tic, 1000);
    race.status[3] = RACE_REPLAYED;
    demo_play_close();
    EXPECT_EQ(demo_seek(-1), 0);
}

// Versions 4 and 5 hold a record per rider per tic: one rider, record t filled with t * 3 + k.
std::vector<uint8_t> old_demo(int version, int tics) {
    std::string h = "ZV0" + std::to_string(version) + " 1 0 3\ndefault\ncrf\n1\n";
    std::vector<uint8_t> f(h.begin(), h.end());
    for (int t = 0; t < tics; t++)
        for (int k = 0; k < (version == 4 ? 26 : 39); k++)
            f.push_back((uint8_t)(t * 3 + k));
    return f;
}

// Old demos have no block chain to walk and nothing to simulate from: rewinding, and skipping
// unless skips are accurate, jump straight to the target's record.
TEST_F(DemoSeek, OldVersionsJumpByRecords) {
    for (int version : {4, 5})
        for (int x : {1, -1}) {
            demo_play_close();
            f = old_demo(version, 3000);
            ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
            demo_play.slot_of[0] = 3;
            demo_history_clear();
            race.tic = 1000;
            race_tics = roost_seen_on = 0;
            demo_play_tic(&race.tic);
            ASSERT_EQ(demo_seek(x), 1);
            int target = 1000 - 1 + x * 128;
            EXPECT_EQ(race_tics, 1) << version; // only the tic after the re-read
            EXPECT_EQ(race.tic, target + 1);
            EXPECT_EQ(roost, 1.0f);
            int o, n;
            ASSERT_TRUE(demo_history_around(3, target + 1, &o, &n));
            EXPECT_EQ(demo_history[3].tic[o], target) << version;
            EXPECT_EQ(demo_history[3].rec[o][0], (uint8_t)(target * 3));
            EXPECT_EQ(demo_history[3].rec[o][1], (uint8_t)(target * 3 + 1));
            // read from the target's record on, records of 26 or 39 bytes
            int size = version == 4 ? 26 : 39;
            EXPECT_GE(demo_play.next_off, demo_play.blocks_start + target * size);
            EXPECT_LE(demo_play.next_off, demo_play.blocks_start + (target + 16) * size);
        }
    // an accurate skip simulates old demos too
    demo_race.accurate_skip = 1;
    race_tics = roost_seen_on = 0;
    int before = race.tic;
    ASSERT_EQ(demo_seek(1), 1);
    demo_race.accurate_skip = 0;
    EXPECT_EQ(race_tics, 128);
    EXPECT_EQ(race.tic, before + 128);
    EXPECT_EQ(roost_seen_on, 0);
}

TEST(DemoMenu, RaceAgainstTheDefaultDemoDoesNotRecord) {
    zv_message_clear();
    EXPECT_EQ(demo_menu_start("@demos/default.zvdemo", 1, 1), 0);
    const char *line = zv_message_line(0);
    ASSERT_NE(line, nullptr);
    EXPECT_NE(std::string(line).find("Can't record and play from same file - recording disabled"),
              std::string::npos);
    // names are compared as the file index does, ignoring case
    zv_message_clear();
    EXPECT_EQ(demo_menu_start("@DEMOS/Default.ZVDEMO", 1, 1), 0);
    ASSERT_NE(zv_message_line(0), nullptr);
    zv_message_clear();
    EXPECT_EQ(demo_menu_start("@demos/default.zvdemo", 0, 1), 0); // watching: no message
    EXPECT_EQ(zv_message_line(0), nullptr);
    EXPECT_EQ(demo_menu_start("@demos/other.zvdemo", 1, 1), 1);
    EXPECT_EQ(demo_menu_start("@demos/other.zvdemo", 0, 1), 0); // playback only
    EXPECT_EQ(demo_menu_start("@demos/other.zvdemo", 1, 0), 0);
    EXPECT_STREQ(demo_race.play_name, "@demos/other.zvdemo");
}

} // namespace
