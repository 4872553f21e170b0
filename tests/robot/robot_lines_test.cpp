// The line store, its file, costs, scores, picking and learning.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "robot/robot.h"

namespace {

std::vector<robot_sample> straight(float x0, float z, int n, float step, float speed) {
    std::vector<robot_sample> v(n);
    for (int i = 0; i < n; i++)
        v[i] = {{x0 + step * i, 0.5f, z}, speed, 0.0f};
    return v;
}

// A closed circle: its end meets its start, so it chains onto itself (and onto its twins).
std::vector<robot_sample> loop(float cx, float r, int n, float speed) {
    std::vector<robot_sample> v(n + 1);
    for (int i = 0; i <= n; i++) {
        double a = 2 * M_PI * i / n;
        v[i] = {{(float)(cx + r * std::cos(a)), 1.0f, (float)(r * std::sin(a))}, speed, 0.1f};
    }
    return v;
}

void set_runs(int section, int slot, int runs, int mean, int failures = 0) {
    robot_line *l = robot_line_at(section, slot);
    l->runs = runs;
    l->sum_t1 = runs * mean;
    l->sum_t2 = runs * mean * 2;
    l->failures = failures;
}

std::string format_store() {
    int len = 0;
    char *t = robot_lines_format(&len);
    std::string s(t ? t : "", t ? len : 0);
    zv_free(t);
    return s;
}

int parse(const std::string &s) {
    return robot_lines_parse(s.data(), (int)s.size());
}

class RobotLines : public ::testing::Test {
  protected:
    void SetUp() override { robot_lines_reset(2, 3); }
    void TearDown() override { robot_lines_free(); }
};

TEST_F(RobotLines, WriteReadWriteIsByteIdentical) {
    auto a = straight(0.1234567f, -3.3f, 7, 4.1f, 31.25f);
    a[2].speed = -12.5f; // airborne sample
    a[3].roll = -0.37f;
    ASSERT_TRUE(robot_line_set(0, 0, a.data(), 7, 300, 700));
    ASSERT_TRUE(robot_line_set(0, 1, a.data(), 3, 310, 720));
    ASSERT_TRUE(robot_line_set(4, 0, a.data(), 5, 1234, 2345));
    set_runs(4, 0, 7, 1200, 2);
    robot_line_at(4, 0)->fastest_t1 = 1100;
    std::string first = format_store();
    EXPECT_EQ(first.rfind("ct03 5\n2\n7 300 700 0 1000000 1000000 0 0 0\n[", 0), 0u)
        << first.substr(0, 80);
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(first), 1);
    std::string second = format_store();
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(second), 1);
    EXPECT_EQ(format_store(), second);
    EXPECT_EQ(second, first);
    EXPECT_EQ(robot_line_at(4, 0)->failures, 2);
    EXPECT_EQ(robot_line_at(4, 0)->fastest_t1, 1100);
    EXPECT_FLOAT_EQ(robot_line_at(0, 0)->samples[2].speed, -12.5f);
}

TEST_F(RobotLines, ReadingAcceptsAnyWhiteSpaceAndKeepsFirst45) {
    std::string s = "ct03   5\n\n 50\n";
    for (int i = 0; i < 50; i++)
        s += "1\t" + std::to_string(100 + i) + " 200 0 1000000 1000000 0 0 0 [ 1 2 3 ]  4 0.5\n";
    s += "0 0 0 0\n";
    ASSERT_EQ(parse(s), 1);
    EXPECT_EQ(robot_lines.counts[0], ROBOT_SLOTS);
    EXPECT_EQ(robot_line_at(0, 44)->t1, 144);
    EXPECT_FLOAT_EQ(robot_line_at(0, 44)->samples[0].pos[2], 3.0f);
    EXPECT_EQ(robot_lines.counts[1], 0);
}

TEST_F(RobotLines, BadRecordsStopReadingAndKeepWhatWasRead) {
    const char *good = "1 100 200 0 1000000 1000000 0 0 0\n[1 2 3] 4 5\n";
    // Negative line count in section 1.
    ASSERT_EQ(parse(std::string("ct03 5\n1\n") + good + "-3\n"), 1);
    EXPECT_EQ(robot_line_at(0, 0)->t1, 100);
    EXPECT_EQ(robot_lines.counts[1], 0);
    // An absurd sample count never allocates for it.
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(std::string("ct03 5\n2\n") + good + "2000000000 1 2 0 1000000 1000000 0 0 0\n"),
              1);
    EXPECT_EQ(robot_lines.counts[0], 1);
    // Negative statistics and a non-finite number.
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(
        parse(std::string("ct03 5\n2\n") + good + "1 1 2 -4 1000000 1000000 0 0 0\n[1 2 3] 4 5\n"),
        1);
    EXPECT_EQ(robot_lines.counts[0], 1);
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(std::string("ct03 5\n2\n") + good +
                    "1 1 2 0 1000000 1000000 0 0 0\n[1 2 3e999] 4 5\n"),
              1);
    EXPECT_EQ(robot_lines.counts[0], 1);
    // A truncated file.
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(std::string("ct03 5\n1\n1 100 200 0 1000000 1000000 0 0 0\n[1 2")), 1);
    EXPECT_EQ(robot_lines.counts[0], 0);
    // The log says which section was bad and what was kept.
    std::string log = "/tmp/zv_lines_log_" + std::to_string(getpid());
    setenv("QUVA_LOGFILE", log.c_str(), 1);
    platform_log_reset();
    ASSERT_TRUE(robot_lines_reset(2, 3));
    ASSERT_EQ(parse(std::string("ct03 5\n1\n") + good + "1\n" + good + "x\n"), 1);
    EXPECT_EQ(robot_lines.counts[1], 1);
    platform_log(nullptr);
    unsetenv("QUVA_LOGFILE");
    platform_log_reset();
    std::string text;
    if (FILE *f = fopen(log.c_str(), "r")) {
        char buf[4096];
        text.assign(buf, fread(buf, 1, sizeof buf, f));
        fclose(f);
    }
    remove(log.c_str());
    EXPECT_NE(text.find("lines file: bad section record 2; sections 0 to 1 kept"),
              std::string::npos)
        << text;
}

TEST_F(RobotLines, WrongHeaderOrSectionCountIsIgnored) {
    EXPECT_EQ(parse("ct03 4\n0\n0\n0\n0\n"), 0);
    EXPECT_EQ(parse("ct02 5\n0\n0\n0\n0\n0\n"), 0);
    EXPECT_EQ(robot_lines.counts[0], 0);
}

TEST_F(RobotLines, OversizedStatisticsAreHalvedKeepingAverages) {
    ASSERT_EQ(parse("ct03 5\n1\n1 100 200 200000 90 180 20000000 40000000 70000\n[1 2 3] 4 5\n"),
              1);
    const robot_line *l = robot_line_at(0, 0);
    EXPECT_LE(l->runs, ROBOT_RUNS_MAX);
    EXPECT_LE(l->failures, ROBOT_RUNS_MAX);
    EXPECT_EQ(l->runs, 50000);
    EXPECT_EQ(l->failures, 17500);
    EXPECT_EQ(l->sum_t1 / l->runs, 100);
    EXPECT_EQ(l->sum_t2 / l->runs, 200);
}

TEST_F(RobotLines, SectionsWrapIntoTheNormalLap) {
    EXPECT_EQ(robot_section_wrap(1), 1);
    EXPECT_EQ(robot_section_wrap(2), 2);
    EXPECT_EQ(robot_section_wrap(5), 2);
    EXPECT_EQ(robot_section_wrap(9), 3);
}

TEST(RobotCost, Modes) {
    robot_line l = {};
    l.runs = 4;
    l.sum_t1 = 4000;
    EXPECT_EQ(robot_line_cost(&l, 0), 1000000);
    EXPECT_EQ(robot_line_cost(&l, 1), 1000000);
    EXPECT_NEAR(robot_line_cost(&l, 2), 1000, 1e-9);
    l.runs = 10;
    l.sum_t1 = 10000;
    EXPECT_NEAR(robot_line_cost(&l, 0), 1000, 1e-9);
    l.failures = 10;
    EXPECT_NEAR(robot_line_cost(&l, 0), 1000 + 0.5 * 640, 1e-9);
    double f1 = 10 * 8.0 / 7;
    EXPECT_NEAR(robot_line_cost(&l, 1), 1000 + f1 / (10 + f1) * 640, 1e-9);
    EXPECT_NEAR(robot_line_cost(&l, 2), 1000 + 0.8 * 640, 1e-9);
    l.runs = 0;
    EXPECT_EQ(robot_line_cost(&l, 2), 1000000);
    // Exploration: untried first, then the least tried, hopeless ones last.
    EXPECT_EQ(robot_line_cost(&l, 3), 100000);
    l.failures = 0;
    EXPECT_EQ(robot_line_cost(&l, 3), 0);
    l.runs = 1;
    EXPECT_EQ(robot_line_cost(&l, 3), 5000);
    l.runs = 3;
    l.failures = 1;
    EXPECT_EQ(robot_line_cost(&l, 3), 1000 * 3 + 4000);
}

TEST(RobotChain, EndsMustMeetHeadingAndSpeed) {
    auto a = straight(0, 0, 5, 4, 30), b = straight(16, 0, 5, 4, 30);
    robot_line la = {}, lb = {};
    la.samples = a.data();
    la.count = 5;
    lb.samples = b.data();
    lb.count = 5;
    EXPECT_TRUE(robot_lines_chain(&la, &lb));
    b = straight(19, 0, 5, 4, 30); // 3 ft beyond the end
    lb.samples = b.data();
    EXPECT_FALSE(robot_lines_chain(&la, &lb));
    b = straight(16, 0, 5, 4, 14); // 16 ft/s slower
    lb.samples = b.data();
    EXPECT_FALSE(robot_lines_chain(&la, &lb));
    b = straight(16, 0, 5, 4, 16);
    lb.samples = b.data();
    EXPECT_TRUE(robot_lines_chain(&la, &lb));
    for (int i = 0; i < 5; i++)
        b[i] = {{16.0f, 0.5f, 4.0f * i}, 30, 0}; // turning square
    EXPECT_FALSE(robot_lines_chain(&la, &lb));
    lb.count = 1;
    EXPECT_FALSE(robot_lines_chain(&la, &lb));
}

class RobotLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        robot_lines_reset(0, 1);
        auto l = loop(0, 30, 48, 30);
        // Slot 0: slower (mean 2000), slot 1: faster (mean 1000).
        robot_line_set(0, 0, l.data(), (int)l.size(), 2000, 4000);
        robot_line_set(0, 1, l.data(), (int)l.size(), 1000, 2000);
        set_runs(0, 0, 5, 2000);
        set_runs(0, 1, 5, 1000);
    }
    void TearDown() override { robot_lines_free(); }
    robot_pick_input far_input(int tic, double race_time) {
        robot_pick_input in = {};
        in.section = 0 + 1; // beyond the first section's boost (wraps to the only section)
        in.tic = tic;
        in.race_time = race_time;
        in.pos[0] = 500; // far from every line: no match
        return in;
    }
};

TEST_F(RobotLoop, ScoresOverEightSections) {
    double s[ROBOT_SLOTS];
    robot_section_scores(0, 0, s);
    EXPECT_NEAR(s[1], 1.0, 1e-12);
    EXPECT_NEAR(s[0], 8000.0 / 9000.0, 1e-12);
    EXPECT_EQ(s[2], 0.0);
    // Untried lines in exploration mode cost 0: totals of 0 score 1, not 0/0.
    set_runs(0, 0, 0, 0);
    set_runs(0, 1, 0, 0);
    robot_section_scores(0, 3, s);
    EXPECT_EQ(s[0], 1.0);
    EXPECT_EQ(s[1], 1.0);
}

TEST_F(RobotLoop, AnalyzingRecommendsTheCheapestClosedLap) {
    double first = -1, lap = -1;
    robot_lines_analyze(&first, &lap);
    EXPECT_EQ(robot_lines.recommended[0][0], robot_line_at(0, 1)->sequence);
    EXPECT_NEAR(lap, 1000.0 / 128, 1e-9);
    EXPECT_EQ(first, 0.0);
}

TEST_F(RobotLoop, RecommendedLineRampsUpFrom40To60Seconds) {
    robot_lines.recommended[0][0] = robot_line_at(0, 0)->sequence; // the slower one, in slot 0
    robot_path p = {};
    auto in = far_input(100000, 40);
    EXPECT_EQ(robot_pick(&p, &in), 1);
    robot_line_at(0, 0)->last_picked = robot_line_at(0, 1)->last_picked = -1000000;
    in.race_time = 50;
    EXPECT_EQ(robot_pick(&p, &in), 1);
    robot_line_at(0, 0)->last_picked = robot_line_at(0, 1)->last_picked = -1000000;
    in.race_time = 60; // equal scores: the first slot wins
    EXPECT_EQ(robot_pick(&p, &in), 0);
    EXPECT_EQ(robot_path_pick_of(&p, 1), robot_line_at(0, 0)->sequence);
    EXPECT_EQ(p.count, 3 * 49);
    robot_path_free(&p);
}

TEST_F(RobotLines, ALinePickedOneSecondAgoHasAThirdOfItsScore) {
    // Two lone lines with no chains score 1 each; B starts close to the robot and gains match m.
    for (double m : {0.62, 0.70}) {
        ASSERT_TRUE(robot_lines_reset(2, 3));
        double d = 100 - 96 * std::cbrt(m / 10);
        auto a = straight(1000, 0, 5, 4, 30), b = straight((float)d, 0, 5, 4, 30);
        robot_line_set(1, 0, a.data(), 5, 500, 1000);
        robot_line_set(1, 1, b.data(), 5, 500, 1000);
        robot_path p = {};
        robot_pick_input in = {};
        in.section = 1;
        in.tic = 5000;
        EXPECT_EQ(robot_pick(&p, &in), 1); // 1 + m beats 1
        robot_path_clear(&p);
        in.tic = 5000 + 128;
        // Now B is worth 1/3 + m: below A's 1 for m = 0.62, above it for 0.70.
        EXPECT_EQ(robot_pick(&p, &in), m < 0.66 ? 0 : 1) << m;
        robot_path_free(&p);
    }
}

TEST_F(RobotLines, FirstSectionScoresAreMostlyEqual) {
    auto a = straight(1000, 0, 5, 4, 30);
    robot_line_set(0, 0, a.data(), 5, 500, 1000);
    robot_path p = {};
    robot_pick_input in = {};
    in.tic = 1000;
    EXPECT_EQ(robot_pick(&p, &in), 0);
    EXPECT_EQ(p.count, 5);
    in.section = 3; // nothing stored there
    EXPECT_EQ(robot_pick(&p, &in), -1);
    robot_path_free(&p);
}

TEST(RobotPath, AppendDropsSamplesFarBehindProgress) {
    robot_path p = {};
    auto a = straight(0, 0, 100, 1, 20);
    ASSERT_TRUE(robot_path_append(&p, a.data(), 100));
    p.progress = 50;
    ASSERT_TRUE(robot_path_append(&p, a.data(), 10));
    EXPECT_EQ(p.progress, 30);
    EXPECT_EQ(p.count, 90);
    EXPECT_FLOAT_EQ(p.samples[30].pos[0], 50.0f);
    robot_path_remember(&p, 6, 77);
    EXPECT_EQ(robot_path_pick_of(&p, 6), 77);
    EXPECT_EQ(robot_path_pick_of(&p, 2), 0);
    robot_path_forget_picks(&p);
    EXPECT_EQ(robot_path_pick_of(&p, 6), 0);
    robot_path_free(&p);
}

TEST(RobotPersonality, ModesAndNames) {
    int travis = robot_personality_find("travis");
    EXPECT_EQ(robot_personality_mode(travis, 9.9), 2);
    EXPECT_EQ(robot_personality_mode(travis, 10.1), 1);
    int rick = robot_personality_find("rick");
    EXPECT_EQ(robot_personality_mode(rick, 0), 1);
    EXPECT_EQ(robot_personality_mode(rick, 11), 0);
    EXPECT_EQ(robot_personality_mode(robot_personality_find("tester"), 50), 3);
    EXPECT_EQ(robot_personality_find("nobody"), 1);
}

TEST_F(RobotLines, RunsAndFailuresAreCounted) {
    auto a = straight(0, 0, 5, 4, 30);
    robot_line_set(2, 0, a.data(), 5, 500, 1000);
    int seq = robot_line_at(2, 0)->sequence;
    robot_line_run(2, seq, 400, 900);
    robot_line_run(2, seq, 300, 950);
    robot_line_fail(2, seq);
    robot_line_fail(2, seq + 1000); // no such line: nothing happens
    const robot_line *l = robot_line_at(2, 0);
    EXPECT_EQ(l->runs, 2);
    EXPECT_EQ(l->failures, 1);
    EXPECT_EQ(l->fastest_t1, 300);
    EXPECT_EQ(l->fastest_t2, 900);
    EXPECT_EQ(l->sum_t1, 700);
    EXPECT_TRUE(robot_lines.changed);
}

TEST_F(RobotLines, LearningAddsRejectsDuplicatesAndSlowLines) {
    auto a = straight(0, 0, 10, 4, 30);
    EXPECT_EQ(robot_learn_candidate(1, a.data(), 10, 500, 1000, 0), ROBOT_LEARN_ADDED);
    EXPECT_EQ(robot_lines.counts[1], 1);
    auto b = a;
    b[3].pos[0] += 0.05f; // within 1/16 ft
    b[4].speed += 0.05f;  // within 1/16 ft/s
    EXPECT_EQ(robot_learn_candidate(1, b.data(), 10, 400, 900, 0), ROBOT_LEARN_DUPLICATE);
    b[4].pos[2] += 0.1f;
    EXPECT_EQ(robot_learn_candidate(1, b.data(), 10, 400, 900, 0), ROBOT_LEARN_ADDED);
    EXPECT_EQ(robot_learn_candidate(1, b.data(), 10, 400, 900, 1), ROBOT_LEARN_CANCELED);
    EXPECT_EQ(robot_learn_candidate(1, b.data(), 0, 400, 900, 0), ROBOT_LEARN_CANCELED);
    EXPECT_EQ(robot_lines.counts[1], 2);
}

TEST_F(RobotLines, FullSectionEvictsTheWorstUntestedLine) {
    for (int i = 0; i < ROBOT_SLOTS; i++) {
        auto a = straight(0, 10.0f * i, 10, 4, 30);
        ASSERT_EQ(robot_learn_candidate(0, a.data(), 10, 500, i == 17 ? 2000 : 1000, 0),
                  ROBOT_LEARN_ADDED);
    }
    EXPECT_EQ(robot_learn_slot(0), 17);
    EXPECT_EQ(robot_line_expected(0, 17, 0), 2500);
    EXPECT_EQ(robot_line_expected(0, 17, 1), 1875);
    auto slow = straight(0, 1000, 10, 4, 30);
    EXPECT_EQ(robot_learn_candidate(0, slow.data(), 10, 1500, 2001, 0), ROBOT_LEARN_TOO_SLOW);
    int old = robot_line_at(0, 17)->sequence;
    EXPECT_EQ(robot_learn_candidate(0, slow.data(), 10, 1500, 2000, 0), ROBOT_LEARN_ADDED);
    EXPECT_NE(robot_line_at(0, 17)->sequence, old);
    EXPECT_EQ(robot_line_at(0, 17)->t2, 2000);
    // With more than 22 proven lines the worst of all goes, proven or not.
    for (int i = 0; i < 23; i++)
        set_runs(0, i, 4, 300);
    set_runs(0, 5, 4, 1500); // expected 3000 x 3/4, the largest
    EXPECT_EQ(robot_learn_slot(0), 5);
    // With 22 proven, only unproven lines (failures >= runs) may go: slot 5 stays, and of the
    // equal untested lines 23..44 the first is taken.
    set_runs(0, 0, 1, 300, 1);
    EXPECT_EQ(robot_learn_slot(0), 23);
}

} // namespace
