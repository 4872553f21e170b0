// The default track's timing gates as zvgen writes them: 40 start slots, checkpoints on the
// racing line pointing along it, a walk along the line that crosses every position in order,
// and the game's writer giving back the same bytes.
#include "track_fixture.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "race/race.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"

namespace track_test {
namespace {

class DefaultGates : public TrackFixture {
  protected:
    std::string file;
    track_centerline line = {};

    void SetUp() override {
        TrackFixture::SetUp();
        std::ifstream in(std::string(ZV_BINARY_DIR) + "/zzzz.saf", std::ios::binary);
        ASSERT_TRUE(in.good());
        std::stringstream ss;
        ss << in.rdbuf();
        write("zzzz.saf", ss.str());
        file_index_build();
        int len = 0;
        char *text = file_to_string("@tracks/pinehollow/timing_gates", &len);
        ASSERT_NE(text, nullptr);
        file.assign(text, (size_t)len);
        zv_free(text);
        ASSERT_EQ(track_centerline_load("tracks/pinehollow", &line), 1);
        ASSERT_EQ(gates_parse(file.data(), file.size()), 1);
    }
    void TearDown() override {
        track_centerline_free(&line);
        gates_clear();
        race_free();
        memset(&race, 0, sizeof race);
        TrackFixture::TearDown();
    }
};

TEST_F(DefaultGates, WriterGivesBackTheGeneratedBytes) {
    size_t len;
    char *again = gates_format(&len);
    EXPECT_EQ(file, std::string(again, len));
    zv_free(again);
}

TEST_F(DefaultGates, SlotsFaceTheRaceAndCheckpointsSitOnTheLine) {
    EXPECT_EQ(gates.slot_count, 40);
    EXPECT_GE(gates.first_length, 10);
    EXPECT_EQ(gates.first_count, gates.normal_count);
    track_centerline_point p0 = track_centerline_at(&line, 0.0f),
                           p1 = track_centerline_at(&line, 8.0f);
    float tx = p1.x - p0.x, tz = p1.z - p0.z;
    for (int i = 0; i < gates.slot_count; i++) {
        float a = gates.slots[i].angle;
        // Facing direction is -(sin a, cos a).
        EXPECT_GT(-(sinf(a) * tx + cosf(a) * tz) / hypotf(tx, tz), 0.99f);
        EXPECT_LT(hypotf(gates.slots[i].pos[0] - p0.x, gates.slots[i].pos[2] - p0.z), 70.0f);
    }
    for (int c = 0; c < gates.checkpoint_count; c++) {
        const gates_checkpoint *k = &gates.checkpoints[c];
        float best = 1e9f, dot = 0.0f;
        for (int i = 0; i < line.count; i++) {
            const track_centerline_point &q = line.points[i];
            float d = hypotf(q.x - k->origin[0], q.z - k->origin[2]);
            if (d < best) {
                best = d;
                const track_centerline_point &n = line.points[(i + 1) % line.count];
                dot = ((n.x - q.x) * k->direction[0] + (n.z - q.z) * k->direction[2]) /
                      (hypotf(n.x - q.x, n.z - q.z) * k->length);
            }
        }
        EXPECT_LT(best, 2.5f) << c;
        EXPECT_GT(dot, 0.95f) << c;
        EXPECT_NEAR(hypotf(k->direction[0], k->direction[2]), k->length, 1e-3f);
        EXPECT_GT(k->length, line.points[0].half_width > 0 ? 15.0f : 0.0f);
    }
}

TEST_F(DefaultGates, WalkAlongTheLineCrossesEveryPositionInOrder) {
    race_limits_set(0, 0, 3);
    race.present[0] = 1;
    race.gate_drop_tic = 0;
    race.tic = 0;
    int f = gates_first(), n = gates_normal();
    int last = 0;
    // Three laps from the gate line, one foot a tic.
    for (float t = 0.0f; t < 3.0f * line.length - 50.0f; t += 1.0f) {
        track_centerline_point p = track_centerline_at(&line, t);
        race_gate_test(0, p.x, p.z);
        int prog = race.riders[0].progress;
        ASSERT_GE(prog, last);
        ASSERT_LE(prog - last, 1) << "two positions in one step at " << t;
        last = prog;
        race.tic++;
    }
    EXPECT_EQ(race.riders[0].progress, f + 2 * n);
    EXPECT_EQ(race_laps_completed(0), 3);
    for (int p = 0; p < race.riders[0].progress; p++)
        EXPECT_GE(race_pass_tic(0, p), 0) << p;
    // Each lap takes as many tics as the line is long (lap 1 from the gate).
    EXPECT_NEAR(race_lap_tics(0, 2), line.length, 4.0);
    EXPECT_NEAR(race_lap_tics(0, 3), line.length, 4.0);
    EXPECT_LT(race_lap_tics(0, 1), line.length);
}

} // namespace
} // namespace track_test
