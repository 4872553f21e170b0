// Demo files: the writer's header and blocks, the reader of versions 4, 5 and 6, rewinding,
// record seeking, bounds on hostile files and the backup names.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "demo/demo.h"

namespace {

typedef std::vector<uint8_t> bytes;

std::string temp_path(const char *tag) {
    return std::string("/tmp/zv_demo_test_") + std::to_string(getpid()) + "_" + tag + ".zvdemo";
}

bytes load(const std::string &path) {
    bytes out;
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp) return out;
    int c;
    while ((c = fgetc(fp)) != EOF)
        out.push_back((uint8_t)c);
    fclose(fp);
    return out;
}

void put32(bytes &b, uint32_t v) {
    for (int i = 0; i < 4; i++)
        b.push_back((uint8_t)(v >> (8 * i)));
}

uint32_t get32(const uint8_t *p) {
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

void append(bytes &b, const std::string &s) {
    b.insert(b.end(), s.begin(), s.end());
}

// A raw block after the previous payload length prev.
void block(bytes &b, int *prev, int tic, int type, const bytes &payload) {
    put32(b, (uint32_t)payload.size() ^ (uint32_t)*prev);
    put32(b, (uint32_t)tic);
    b.push_back((uint8_t)type);
    b.insert(b.end(), payload.begin(), payload.end());
    *prev = (int)payload.size();
}

bytes entry(int rider, int tic, int v) {
    bytes e;
    e.push_back((uint8_t)rider);
    put32(e, (uint32_t)tic);
    for (int i = 0; i < DEMO_STATE; i++)
        e.push_back((uint8_t)(v + i));
    return e;
}

std::string header6(int riders) {
    std::string h = "ZV06 " + std::to_string(riders) + " 0 3 1800\ndefault\n";
    for (int r = 0; r < riders; r++)
        h += "crf250|gear|gfx|wheels|helmet\n" + std::to_string(r + 1) + "\nRider\n\n";
    return h;
}

void map_identity(int riders) {
    for (int r = 0; r < riders; r++)
        demo_play.slot_of[r] = r;
}

demo_rider make_rider(const char *model, const char *number, const char *name) {
    demo_rider r = {};
    strcpy(r.model, model);
    strcpy(r.texture[0], "gear");
    strcpy(r.texture[3], "helmet");
    strcpy(r.number, number);
    strcpy(r.name, name);
    return r;
}

class DemoFile : public ::testing::Test {
  protected:
    void SetUp() override {
        demo_history_clear();
        demo_play_close();
        demo_sink = demo_sinks{};
    }
    void TearDown() override {
        demo_play_close();
        for (auto &p : paths)
            unlink(p.c_str());
    }
    std::string path(const char *tag) {
        paths.push_back(temp_path(tag));
        return paths.back();
    }
    std::vector<std::string> paths;
};

// Records riders in slots 4, 7 and 9 with states every 4 tics up to tic `last`.
void record_three(const std::string &p, int last) {
    demo_rider riders[3] = {make_rider("crf250(2008)", "7", "Ann"),
                            make_rider("yz250f", "1234", "Bo|b\nX"), make_rider("kx", "", "")};
    int slots[3] = {4, 7, 9};
    ASSERT_EQ(demo_record_open(p.c_str(), riders, slots, 3, 0, 3, 1800, "default"), 1);
    for (int t = 1; t <= last; t++) {
        if (t % 4 == 0)
            for (int i = 0; i < 3; i++) {
                uint8_t r[DEMO_STATE];
                for (int k = 0; k < DEMO_STATE; k++)
                    r[k] = (uint8_t)(t + i * 50 + k);
                demo_history_add(slots[i], r, t);
            }
        if (t % 16 == 0) demo_record_states(t);
    }
    demo_record_close(0, 3, 1800);
}

TEST_F(DemoFile, ThreeRidersWriteTwelveEntriesEverySixteenTics) {
    std::string p = path("three");
    record_three(p, 64);
    bytes f = load(p);
    ASSERT_FALSE(f.empty());
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    EXPECT_EQ(demo_play.version, 6);
    EXPECT_EQ(demo_play.rider_count, 3);
    EXPECT_EQ(demo_play.laps, 3);
    EXPECT_EQ(demo_play.gate_drop, 1800);
    EXPECT_STREQ(demo_play.riders[0].model, "crf250(2008)");
    EXPECT_STREQ(demo_play.riders[0].texture[0], "gear");
    EXPECT_STREQ(demo_play.riders[0].texture[1], "");
    EXPECT_STREQ(demo_play.riders[0].texture[3], "helmet");
    EXPECT_STREQ(demo_play.riders[1].number, "123");
    EXPECT_STREQ(demo_play.riders[1].name, "Bo b X"); // separators never reach the file
    EXPECT_STREQ(demo_play.riders[0].name, "Ann");
    // walk the blocks: four blocks of L = 528 at tics 16, 32, 48, 64
    int off = demo_play.blocks_start, prev = 0, n = 0;
    while (off + DEMO_BLOCK_HEAD <= (int)f.size()) {
        int len = (int)(get32(&f[off]) ^ (uint32_t)prev);
        EXPECT_EQ(len, 528);
        EXPECT_EQ((int)get32(&f[off + 4]), 16 * (n + 1));
        EXPECT_EQ(f[off + 8], 1);
        prev = len;
        off += DEMO_BLOCK_HEAD + len;
        n++;
    }
    EXPECT_EQ(n, 4);
    EXPECT_EQ(off, (int)f.size());
}

TEST_F(DemoFile, PlaybackFillsTheHistoryExactly) {
    std::string p = path("round");
    record_three(p, 160);
    bytes f = load(p);
    demo_history_clear();
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    int slots[3] = {20, 30, 40};
    for (int i = 0; i < 3; i++)
        demo_play.slot_of[i] = slots[i];
    int tic = 0;
    demo_play_tic(&tic);
    EXPECT_EQ(tic, 16); // the clock jumps to the first block
    for (; tic < 200; tic++)
        demo_play_tic(&tic);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(demo_history_newest_tic(slots[i]), 160);
        const demo_history_slot *h = &demo_history[slots[i]];
        for (int k = 0; k < DEMO_HISTORY; k++) {
            if (h->tic[k] < 0) continue;
            for (int b = 0; b < DEMO_STATE; b++)
                ASSERT_EQ(h->rec[k][b], (uint8_t)(h->tic[k] + i * 50 + b));
        }
    }
    EXPECT_EQ(demo_history[20].pending, 40); // every state from 4 to 160
}

TEST_F(DemoFile, HeaderRewriteKeepsItsLength) {
    std::string p = path("rewrite");
    demo_rider r = make_rider("crf", "1", "A");
    int slot = 0;
    ASSERT_TRUE(demo_record_open(p.c_str(), &r, &slot, 1, 0, 10, 1792, "default"));
    bytes before = load(p);
    demo_record_close(38400, 2, 1900);
    bytes after = load(p);
    ASSERT_EQ(before.size(), after.size());
    ASSERT_TRUE(demo_play_open_buffer(after.data(), (int)after.size()));
    EXPECT_EQ(demo_play.time_limit, 38400);
    EXPECT_EQ(demo_play.laps, 2);
    EXPECT_EQ(demo_play.gate_drop, 1900);
    EXPECT_STREQ(demo_play.riders[0].model, "crf");

    // a value that does not fit its field leaves line 1 as it was
    ASSERT_TRUE(demo_record_open(p.c_str(), &r, &slot, 1, 0, 10, 1792, "default"));
    before = load(p);
    demo_record_close(-2000000000, 10, 1792);
    after = load(p);
    EXPECT_EQ(before, after);
}

TEST_F(DemoFile, UnopenableOutputRecordsNothing) {
    demo_rider r = make_rider("crf", "1", "A");
    int slot = 0;
    EXPECT_EQ(demo_record_open("/nonexistent-dir/x.zvdemo", &r, &slot, 1, 0, 1, 1, "d"), 0);
    EXPECT_FALSE(demo_recording_active());
    EXPECT_EQ(demo_record_states(16), 0);
}

TEST_F(DemoFile, HeaderChecks) {
    auto opens = [](const std::string &s) {
        return demo_play_open_buffer((const uint8_t *)s.data(), (int)s.size());
    };
    EXPECT_TRUE(opens(header6(2)));
    EXPECT_TRUE(opens("ZV06 0 0\ndefault\n"));
    EXPECT_EQ(demo_play.gate_drop, DEMO_GATE_DROP_DEFAULT);
    EXPECT_EQ(demo_play.laps, -1);
    EXPECT_FALSE(opens("ZV06 0\ndefault\n"));       // too few values
    EXPECT_FALSE(opens("ZV07 0 0 1 1\ndefault\n")); // unknown version
    EXPECT_FALSE(opens("ZV03 0 0 1 1\ndefault\n"));
    EXPECT_FALSE(opens("ZV06 161 0 1 1\ndefault\n")); // more riders than slots
    EXPECT_FALSE(opens("ZV06 -1 0 1 1\ndefault\n"));
    EXPECT_FALSE(opens("ZV06 1 0 1 1\ndefault\ncrf\n1\nname\n")); // no empty line
    EXPECT_FALSE(opens("ZV06 0 0 1 1\ndefault"));                 // no newline
    EXPECT_FALSE(opens("ZV06 0 0 1 1\n../../etc\n"));             // names are never paths
    EXPECT_FALSE(opens("ZV06 0 0 1 1\n/abs\n"));
    EXPECT_FALSE(opens("ZV06 0 0 1 1\n@home\n"));
    EXPECT_FALSE(opens("ZV06 0 0 1 99999999999999999999\ndefault\n") &&
                 demo_play.gate_drop < 0); // saturates, never wraps negative
    EXPECT_FALSE(opens(""));
    // version 6 riders may carry extra lines before the empty one
    EXPECT_TRUE(opens("ZV06 1 0 1 1\ndefault\na|b|c|d|e|f\n12345\nN\nextra\nmore\n\n"));
    EXPECT_STREQ(demo_play.riders[0].model, "a");
    EXPECT_STREQ(demo_play.riders[0].texture[3], "e|f");
    EXPECT_STREQ(demo_play.riders[0].number, "123");
}

TEST_F(DemoFile, BadBlockLengthsEndPlaybackCleanly) {
    int huge[] = {-1, DEMO_BLOCK_MAX + 1, 1 << 30, 1000};
    for (int len : huge) {
        bytes f;
        append(f, header6(1));
        int prev = 0;
        block(f, &prev, 16, 1, entry(0, 16, 1));
        put32(f, (uint32_t)len ^ (uint32_t)prev); // length field lies
        put32(f, 32);
        f.push_back(1);
        for (int i = 0; i < 44; i++)
            f.push_back(0);
        ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
        map_identity(1);
        for (int tic = 0; tic < 100; tic++)
            demo_play_tic(&tic);
        EXPECT_TRUE(demo_play.ended) << len;
        EXPECT_EQ(demo_history_newest_tic(0), 16);
        demo_history_clear();
    }
}

TEST_F(DemoFile, EntriesAreBoundedAndOddPayloadsSkipped) {
    bytes f;
    append(f, header6(2));
    int prev = 0;
    bytes p = entry(0, 16, 1);
    bytes q = entry(5, 16, 2); // rider index beyond the count
    p.insert(p.end(), q.begin(), q.end());
    bytes r = entry(1, 16, 3);
    p.insert(p.end(), r.begin(), r.end());
    block(f, &prev, 16, 1, p);
    bytes odd = entry(0, 20, 9);
    odd.push_back(0); // not a whole number of entries
    block(f, &prev, 20, 1, odd);
    block(f, &prev, 24, 1, entry(1, 24, 4));
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    demo_play.slot_of[0] = 10; // rider 1 got no slot: dropped
    int tic = 0;
    demo_play_tic(&tic);
    EXPECT_EQ(demo_history_newest_tic(10), 16);
    for (int s = 0; s < DEMO_SLOTS; s++) {
        if (s != 10) {
            EXPECT_EQ(demo_history_newest_tic(s), -1) << s;
        }
    }
    EXPECT_FALSE(demo_play.ended);
    EXPECT_EQ(demo_play.next_off, (int)f.size());
}

TEST_F(DemoFile, TextBlocksAreBoundedAndErosionAppliedOnce) {
    static std::vector<std::string> chats, scripts;
    static std::vector<int> rates;
    static int strokes;
    chats.clear();
    scripts.clear();
    rates.clear();
    strokes = 0;
    demo_sink.chat = [](const char *t) { chats.push_back(t); };
    demo_sink.script = [](const char *t) { scripts.push_back(t); };
    demo_sink.erode_rate = [](int r) { rates.push_back(r); };
    demo_sink.erosion = [](const uint8_t *, int) { strokes++; };
    bytes f;
    append(f, header6(1));
    int prev = 0;
    block(f, &prev, 16, 1, entry(0, 16, 1));
    block(f, &prev, 16, 2, bytes(5000, 'x'));
    block(f, &prev, 16, 3, bytes{'e', 'r', 'o', 'd', 'e', ' ', '9', '9', '9', '9', '9', '9', '9'});
    block(f, &prev, 16, 3, bytes{'e', 'r', 'o', 'd', 'e', ' ', '-', '5'});
    block(f, &prev, 16, 5, bytes(17, 1));
    block(f, &prev, 16, 6, bytes{'h', 'i', 0, 'x'});
    block(f, &prev, 16, 77, bytes(3, 0)); // unknown type: skipped
    for (int t = 32; t <= 320; t += 16)
        block(f, &prev, t, 1, entry(0, t, 1));
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    map_identity(1);
    for (int tic = 0; tic < 400; tic++)
        demo_play_tic(&tic);
    ASSERT_EQ(chats.size(), 1u);
    EXPECT_EQ(chats[0].size(), (size_t)DEMO_TEXT_MAX);
    ASSERT_EQ(rates.size(), 2u);
    EXPECT_EQ(rates[0], DEMO_EROSION_RATE_MAX);
    EXPECT_EQ(rates[1], 0);
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0], "hi");
    EXPECT_EQ(strokes, 1);
    demo_play_rewind_to(30);
    EXPECT_EQ(demo_play.next_off, demo_play.blocks_start);
    for (int tic = 30; tic < 400; tic++)
        demo_play_tic(&tic);
    EXPECT_EQ(strokes, 1); // rewinding never erodes twice
    EXPECT_EQ(chats.size(), 2u);
}

// A version 6 demo with one block every 16 tics from 16 to 1280.
bytes long_demo(void) {
    bytes f;
    append(f, header6(1));
    int prev = 0;
    for (int t = 16; t <= 1280; t += 16) {
        bytes p = entry(0, t - 4, t & 0xff);
        if (t % 64 == 0) { // lengths vary so the XOR chain matters
            bytes q = entry(0, t, t & 0xff);
            p.insert(p.end(), q.begin(), q.end());
        }
        block(f, &prev, t, 1, p);
        if (t % 48 == 0) block(f, &prev, t, 2, bytes(t % 7 + 1, 'c'));
    }
    return f;
}

TEST_F(DemoFile, RewindReadsFromABlockAtLeast64TicsBefore) {
    bytes f = long_demo();
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    map_identity(1);
    int tic = 0;
    for (; tic < 1000; tic++)
        demo_play_tic(&tic);
    int target = 1000 - 1 - 128;
    demo_play_rewind_to(target);
    int at = demo_play.next_off;
    EXPECT_GT(at, demo_play.blocks_start);
    int btic = (int)get32(&f[at + 4]);
    EXPECT_LE(btic, target - 64);
    EXPECT_GT(btic, target - 64 - 16); // the last such block, not an earlier one
    // reading from there follows the chain to the end again
    demo_history_clear();
    tic = target;
    demo_play.next_tic = target;
    for (; tic < 1400; tic++)
        demo_play_tic(&tic);
    EXPECT_FALSE(demo_play.ended);
    EXPECT_EQ(demo_play.next_off, (int)f.size());
    EXPECT_EQ(demo_history_newest_tic(0), 1280);

    // a target near the start goes back to the first block and no further
    demo_play_rewind_to(40);
    EXPECT_EQ(demo_play.next_off, demo_play.blocks_start);
    EXPECT_EQ(demo_play.prev_len, 0);
}

TEST_F(DemoFile, RewindThroughABrokenChainStopsAtTheFirstBlock) {
    bytes f = long_demo();
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    map_identity(1);
    for (int tic = 0; tic < 1400; tic++)
        demo_play_tic(&tic);
    demo_play.prev_len = 1 << 20; // a chain that points before the blocks
    demo_play_rewind_to(600);
    EXPECT_EQ(demo_play.next_off, demo_play.blocks_start);
    demo_play.prev_len = 9;
    demo_play.next_off = (int)f.size() - 3; // mid-block
    demo_play_rewind_to(600);
    EXPECT_GE(demo_play.next_off, demo_play.blocks_start);
    EXPECT_LE(demo_play.next_off, (int)f.size());
}

// Versions 4 and 5: header of two-line riders, then records per tic per rider.
bytes old_demo(int version, int riders, int tics) {
    bytes f;
    append(f, "ZV0" + std::to_string(version) + " " + std::to_string(riders) + " 0 5\ndefault\n");
    for (int r = 0; r < riders; r++)
        append(f, "crf250|gear\n" + std::to_string(r + 10) + "\n");
    int size = version == 4 ? 26 : 39;
    for (int t = 0; t < tics; t++)
        for (int r = 0; r < riders; r++)
            for (int k = 0; k < size; k++)
                f.push_back((uint8_t)(t * 3 + r * 100 + k));
    return f;
}

TEST_F(DemoFile, OlderVersionsReadAndSeekByRecords) {
    for (int version : {4, 5}) {
        int size = version == 4 ? 26 : 39;
        EXPECT_EQ(demo_record_size(version), size);
        bytes f = old_demo(version, 2, 50);
        ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
        EXPECT_EQ(demo_play.version, version);
        EXPECT_EQ(demo_play.laps, 5);
        EXPECT_EQ(demo_play.gate_drop, DEMO_GATE_DROP_DEFAULT);
        EXPECT_STREQ(demo_play.riders[1].number, "11");
        EXPECT_STREQ(demo_play.riders[1].texture[0], "gear");
        demo_play.slot_of[0] = 3;
        demo_play.slot_of[1] = 5;
        demo_history_clear();
        int tic = 0;
        demo_play_tic(&tic);
        EXPECT_EQ(demo_history_newest_tic(3), 8); // 8 tics ahead
        int o, n;
        ASSERT_TRUE(demo_history_around(5, 4, &o, &n));
        EXPECT_EQ(demo_history[5].tic[n], 4);
        EXPECT_EQ(demo_history[5].rec[n][0], (uint8_t)(4 * 3 + 100));
        EXPECT_EQ(demo_history[5].rec[n][size - 1], (uint8_t)(4 * 3 + 100 + size - 1));
        if (version == 4) {
            for (int k = 26; k < 39; k++) {
                EXPECT_EQ(demo_history[5].rec[n][k], 0); // the missing fields decode as zeros
            }
        }

        demo_play_seek_records(30);
        EXPECT_EQ(demo_play.next_off, demo_play.blocks_start + 2 * 30 * size);
        demo_history_clear();
        tic = 30;
        demo_play_tic(&tic);
        ASSERT_TRUE(demo_history_around(3, 31, &o, &n));
        EXPECT_EQ(demo_history[3].tic[n], 31);
        EXPECT_EQ(demo_history[3].rec[n][0], (uint8_t)(31 * 3));
        // past the end: the data is marked missing, nothing overruns
        demo_play_seek_records(1 << 28);
        EXPECT_EQ(demo_play.next_off, (int)f.size());
        tic = 1 << 28;
        demo_play_tic(&tic);
        EXPECT_TRUE(demo_play.missing);
    }
}

TEST_F(DemoFile, SummaryCountsStatesPerRider) {
    std::string p = path("summary");
    record_three(p, 160);
    bytes f = load(p);
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    int cursor = demo_play.next_off;
    static demo_summary s;
    ASSERT_TRUE(demo_summarize(&s));
    EXPECT_EQ(demo_play.next_off, cursor);
    EXPECT_EQ(s.riders, 3);
    EXPECT_EQ(s.blocks, 10);
    EXPECT_FALSE(s.bad);
    for (int r = 0; r < 3; r++) {
        EXPECT_EQ(s.rider[r].states, 40);
        EXPECT_EQ(s.rider[r].first_tic, 4);
        EXPECT_EQ(s.rider[r].last_tic, 160);
    }
    char text[2048];
    demo_summary_text(&s, text, sizeof text);
    EXPECT_NE(strstr(text, "#7 Ann (crf250(2008)): 40 states, 0.03 s to 1.25 s"), nullptr) << text;
    char tiny[16];
    EXPECT_LT(demo_summary_text(&s, tiny, sizeof tiny), (int)sizeof tiny);

    f.resize(f.size() - 3); // the last block cut short
    ASSERT_TRUE(demo_play_open_buffer(f.data(), (int)f.size()));
    ASSERT_TRUE(demo_summarize(&s));
    EXPECT_TRUE(s.bad);
    EXPECT_EQ(s.rider[0].states, 36);

    bytes old = old_demo(5, 2, 50);
    ASSERT_TRUE(demo_play_open_buffer(old.data(), (int)old.size()));
    ASSERT_TRUE(demo_summarize(&s));
    EXPECT_EQ(s.rider[1].states, 50);
    demo_play_close();
    EXPECT_FALSE(demo_summarize(&s));
}

TEST_F(DemoFile, BackupsKeepTheLastRecordings) {
    static std::map<std::string, int> files;
    auto fake_rename = [](const char *from, const char *to) {
        auto it = files.find(from);
        if (it == files.end()) return 0;
        files[to] = it->second;
        files.erase(it);
        return 1;
    };
    files.clear();
    for (int run = 1; run <= 5; run++) {
        demo_backups_rotate(3, fake_rename);
        files["@demos/default.zvdemo"] = run;
    }
    EXPECT_EQ(files["@demos/default.zvdemo"], 5);
    EXPECT_EQ(files["@demos/default00.zvdemo"], 4);
    EXPECT_EQ(files["@demos/default01.zvdemo"], 3);
    EXPECT_EQ(files["@demos/default02.zvdemo"], 2);
    EXPECT_EQ(files.count("@demos/default03.zvdemo"), 0u);
    EXPECT_EQ(files.size(), 4u);

    files.clear();
    files["@demos/default.zvdemo"] = 1;
    demo_backups_rotate(0, fake_rename);
    EXPECT_EQ(files.size(), 1u);
    EXPECT_EQ(files.count("@demos/default00.zvdemo"), 0u);
}

} // namespace
