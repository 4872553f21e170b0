// The timing_gates reader and writer: sections, limits, reference rules, angle wrapping, the
// messages of each failure, and that a failed check keeps what was read.
#include "track_fixture.h"

#include <cmath>
#include <string>

#include "track/track_gates.h"

namespace track_test {
namespace {

int parse(const std::string &s) {
    return gates_parse(s.data(), s.size());
}

bool logged(const char *text) {
    for (const auto &l : log_lines())
        if (l == text) return true;
    return false;
}

std::string checkpoints(int n) {
    std::string s = "checkpoints:\n";
    for (int i = 0; i < n; i++)
        s += "5.0 [ " + std::to_string(i * 10) + " 0 0 ] [ 5 0 0 ]\n";
    return s;
}

std::string slot_lines(int n) {
    std::string s = "startinggate:\n";
    for (int i = 0; i < n; i++)
        s += "[ " + std::to_string(i) + " 1 2 ] 0.5\n";
    return s;
}

class Gates : public TrackFixture {
  protected:
    void TearDown() override {
        gates_clear();
        TrackFixture::TearDown();
    }
};

TEST_F(Gates, ThreeCheckpointsWithoutSlotsAreValid) {
    EXPECT_EQ(parse(checkpoints(3) + "firstlap: 0 1 2\nnormallap: 0 1 2\n"), 1);
    EXPECT_EQ(gates.valid, 1);
    EXPECT_EQ(gates.slot_count, 0);
    EXPECT_EQ(gates_checkpoints(), 3);
    EXPECT_EQ(gates_first(), 3);
    EXPECT_EQ(gates_normal(), 3);
    EXPECT_EQ(gates.first_length, 3);
    EXPECT_FLOAT_EQ(gates.checkpoints[2].origin[0], 20.0f);
    EXPECT_FLOAT_EQ(gates.checkpoints[2].length, 5.0f);
    EXPECT_EQ(gates.checkpoints[2].flag, 0);
}

TEST_F(Gates, ShortLapFailsButKeepsWhatWasRead) {
    EXPECT_EQ(parse(slot_lines(2) + checkpoints(3) + "firstlap: 0 1\nnormallap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Timing gate error: lap length must be at least 3\n"));
    EXPECT_EQ(gates.valid, 0);
    // Racing sees nothing, but the editor still has every record to save back.
    EXPECT_EQ(gates_checkpoints(), 0);
    EXPECT_EQ(gates_first(), 0);
    EXPECT_EQ(gates.slot_count, 2);
    EXPECT_EQ(gates.checkpoint_count, 3);
    EXPECT_EQ(gates.first_count, 2);
    EXPECT_EQ(gates.normal_count, 3);
    size_t len;
    char *text = gates_format(&len);
    EXPECT_NE(std::string(text).find("firstlap:\n0 1 \n"), std::string::npos);
    zv_free(text);
}

TEST_F(Gates, MarkedReferencesDoNotCountTowardLapLength) {
    // Three plain references plus a marked one: still a lap of length 3.
    EXPECT_EQ(parse(checkpoints(5) + "firstlap: 7 -3 100002 1\nnormallap: 0 100001 1 2\n"), 1);
    EXPECT_EQ(gates.sequence[0], 4);      // clamped to the last checkpoint
    EXPECT_EQ(gates.sequence[1], 0);      // negative: checkpoint 0
    EXPECT_EQ(gates.sequence[2], 100002); // stays marked
    EXPECT_EQ(gates.first_count, 4);
    EXPECT_EQ(gates.first_length, 3);
    EXPECT_EQ(gates.normal_length, 3);
    EXPECT_EQ(gates_sequence_checkpoint(2), 2);
    EXPECT_EQ(gates_sequence_checkpoint(5), 1);
    EXPECT_EQ(gates_sequence_checkpoint(8), -1);
    // Two plain references and two marked ones are too short.
    EXPECT_EQ(parse(checkpoints(5) + "firstlap: 0 100001 100002 3\nnormallap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Timing gate error: lap length must be at least 3\n"));
    // A marked reference past the end is clamped and stays marked.
    EXPECT_EQ(parse(checkpoints(3) + "firstlap: 0 1 2 100009\nnormallap: 0 1 2\n"), 1);
    EXPECT_EQ(gates.sequence[3], 100002);
}

TEST_F(Gates, SlotsTakeDefaultsAndWrapTheirAngle) {
    ASSERT_EQ(parse("startinggate:\n[ 10 0 20 ] 7\n[ 1 2 3 ] -4 my.jm\n[ 1 2 3 ] 0 @startgate.jm "
                    "@startgate.ppm @startgate.shp\n" +
                    checkpoints(3) + "firstlap: 0 1 2\nnormallap: 0 1 2\n"),
              1);
    ASSERT_EQ(gates.slot_count, 3);
    EXPECT_NEAR(gates.slots[0].angle, 7.0 - 2.0 * M_PI, 1e-5);
    EXPECT_NEAR(gates.slots[0].angle, 0.7168, 1e-4);
    EXPECT_NEAR(gates.slots[1].angle, -4.0 + 2.0 * M_PI, 1e-5);
    EXPECT_EQ(gates.slots[0].model, nullptr);
    ASSERT_NE(gates.slots[1].model, nullptr);
    EXPECT_STREQ(gates.slots[1].model, "my.jm");
    EXPECT_STREQ(gates.slots[1].texture, "@startgate.ppm");
    EXPECT_STREQ(gates.slots[1].shape, "@startgate.shp");
    EXPECT_EQ(gates.slots[2].model, nullptr); // all defaults: nothing to write back
    EXPECT_FLOAT_EQ(gates.slots[0].pos[2], 20.0f);
    EXPECT_FLOAT_EQ(gates_wrap_angle(3.0f), 3.0f);
    EXPECT_NEAR(gates_wrap_angle(-7.0f), -7.0 + 2.0 * M_PI, 1e-5);
}

TEST_F(Gates, SlotObjectsAreMadeAheadOfTheSlot) {
    static float seen[4];
    static int calls;
    calls = 0;
    gates_object_create = [](const char *m, const char *, const char *, float x, float y, float z,
                             float a) {
        EXPECT_STREQ(m, "@startgate.jm");
        seen[0] = x, seen[1] = y, seen[2] = z, seen[3] = a;
        return calls++;
    };
    int ok = parse("startinggate:\n[ 10 0 20 ] 1.5707963\n[ 0 0 0 ] 0\n" + checkpoints(3) +
                   "firstlap: 0 1 2\nnormallap: 0 1 2\n");
    gates_object_create = nullptr;
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(gates.slots[1].object, 1);
    EXPECT_NEAR(seen[0], 0.0f, 1e-4); // slot 1 at angle 0: 3 ahead is -z
    EXPECT_NEAR(seen[2], -3.0f, 1e-4);
}

TEST_F(Gates, SlotLimitIs160) {
    ASSERT_EQ(parse(slot_lines(160) + checkpoints(3) + "firstlap: 0 1 2\nnormallap: 0 1 2\n"), 1);
    EXPECT_EQ(gates.slot_count, 160);
    EXPECT_FLOAT_EQ(gates.slots[159].pos[0], 159.0f);
    log_lines().clear();
    EXPECT_EQ(parse(slot_lines(161) + checkpoints(3) + "firstlap: 0 1 2\nnormallap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Error reading starting gate\n"));
    EXPECT_EQ(gates.slot_count, 160); // the slots read before the failure stay
}

TEST_F(Gates, EachMissingSectionHasItsMessage) {
    EXPECT_EQ(parse("startinggate:\n[ 1 2 3 ] 0\nbogus\n"), 0);
    EXPECT_TRUE(logged("Error reading starting gate\n"));
    EXPECT_EQ(gates.slot_count, 1);
    EXPECT_EQ(parse("firstlap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Error reading starting gate\n"));
    EXPECT_EQ(parse(checkpoints(3) + "normallap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Error reading checkpoints\n"));
    EXPECT_EQ(parse(checkpoints(3) + "firstlap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Error reading firstlap\n"));
    // Section words must match exactly.
    log_lines().clear();
    EXPECT_EQ(parse(checkpoints(3) + "firstlap:x 0 1 2\nnormallap: 0 1 2\n"), 0);
    EXPECT_TRUE(logged("Error reading checkpoints\n"));
    EXPECT_EQ(parse(""), 0);
}

TEST_F(Gates, NonFiniteNumbersEndARecord) {
    EXPECT_EQ(parse("checkpoints:\n5 [ 0 0 0 ] [ 1 0 0 ]\n5 [ nan 0 0 ] [ 1 0 0 ]\n"
                    "firstlap: 0 0 0\nnormallap: 0 0 0\n"),
              0);
    EXPECT_EQ(gates.checkpoint_count, 1);
    EXPECT_TRUE(logged("Error reading checkpoints\n"));
    EXPECT_EQ(parse("startinggate:\n[ inf 0 0 ] 0\n" + checkpoints(3) +
                    "firstlap: 0 1 2\nnormallap: 0 1 2\n"),
              0);
    EXPECT_EQ(gates.slot_count, 0);
}

TEST_F(Gates, CheckpointAndLapLimits) {
    std::string lap = "firstlap:";
    for (int i = 0; i < 1100; i++)
        lap += " " + std::to_string(i % 3);
    ASSERT_EQ(parse(checkpoints(1030) + lap + "\nnormallap: 0 1 2\n"), 0);
    // 1024 checkpoints are read; the 1025th record then stands where "firstlap:" should.
    EXPECT_EQ(gates.checkpoint_count, 1024);
    EXPECT_TRUE(logged("Error reading checkpoints\n"));
    ASSERT_EQ(parse(checkpoints(4) + lap + "\nnormallap: 0 1 2\n"), 0);
    EXPECT_EQ(gates.first_count, 1024); // then the 1025th number stands where "normallap:" should
    EXPECT_TRUE(logged("Error reading firstlap\n"));
}

TEST_F(Gates, WriterRoundTripsAndMarksLargeFilesVersion2) {
    std::string src = "startinggate:\n[ 1.5 2 3 ] 0.25 a.jm b.ppm c.shp\n[ 4 5 6 ] -1\n" +
                      checkpoints(200) + "firstlap: 0 1 2\nnormallap: 0 100001 1 2\n";
    ASSERT_EQ(parse(src), 1);
    size_t len;
    char *a = gates_format(&len);
    std::string first(a, len);
    zv_free(a);
    EXPECT_EQ(
        first.rfind("startinggate:\n[1.500000 2.000000 3.000000] 0.250000 a.jm b.ppm c.shp\n", 0),
        0u);
    EXPECT_NE(first.find("[4.000000 5.000000 6.000000] -1.000000\n"), std::string::npos);
    EXPECT_NE(first.find("5.000000 [10.000000 0.000000 0.000000] [5.000000 0.000000 0.000000]\n"),
              std::string::npos);
    EXPECT_NE(first.find("normallap:\n0 100001 1 2 \n"), std::string::npos);
    ASSERT_EQ(parse(first), 1);
    char *b = gates_format(&len);
    EXPECT_EQ(first, std::string(b, len));
    zv_free(b);

    ASSERT_EQ(parse(checkpoints(255) + "firstlap: 0 1 2\nnormallap: 0 1 2\n"), 1);
    char *c = gates_format(&len);
    std::string v2(c, len);
    zv_free(c);
    EXPECT_EQ(v2.rfind("version2\ncheckpoints:\n", 0), 0u);
    ASSERT_EQ(parse(v2), 1);
    EXPECT_EQ(gates.checkpoint_count, 255);
}

TEST_F(Gates, SaveAndLoadThroughTheHomeDirectory) {
    ASSERT_EQ(parse(slot_lines(3) + checkpoints(4) + "firstlap: 0 1 2 3\nnormallap: 1 2 3\n"), 1);
    ASSERT_EQ(gates_save("tracks/t"), 1);
    size_t len;
    char *want = gates_format(&len);
    std::string expected(want, len);
    zv_free(want);
    gates_clear();
    gates_load("tracks/t");
    EXPECT_EQ(gates.valid, 1);
    EXPECT_EQ(gates.slot_count, 3);
    char *got = gates_format(&len);
    EXPECT_EQ(expected, std::string(got, len));
    zv_free(got);
    // A missing file is a track without timing, silently.
    log_lines().clear();
    gates_load("tracks/none");
    EXPECT_EQ(gates.valid, 0);
    EXPECT_EQ(gates.checkpoint_count, 0);
    EXPECT_TRUE(log_lines().empty());
    EXPECT_EQ(gates_save(nullptr), 0);
    EXPECT_TRUE(logged("Can't open 'timing_gates'\n"));
}

} // namespace
} // namespace track_test
