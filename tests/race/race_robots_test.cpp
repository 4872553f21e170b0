// The robot roster and the race-start shuffle.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "race/race_robots.h"

namespace {

TEST(RaceRobots, RosterIsACastOfEightyDistinctRiders) {
    std::set<int> numbers;
    std::set<std::string> names;
    int two = 0, four = 0;
    for (int i = 0; i < RACE_ROBOT_COUNT; i++) {
        const race_robot &r = race_robot_roster[i];
        numbers.insert(r.number);
        names.insert(r.name);
        two += strstr(r.model, "125") != nullptr;
        four += strstr(r.model, "250") != nullptr;
        for (float v : {r.personality.aggression, r.personality.precision, r.personality.braking,
                        r.personality.jumping, r.personality.consistency}) {
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
        }
        for (const char *g : r.graphics)
            EXPECT_GT(strlen(g), 0u);
    }
    EXPECT_EQ(numbers.size(), 80u);
    EXPECT_EQ(names.size(), 80u);
    EXPECT_GT(two, 8);
    EXPECT_GT(four, 8);
}

TEST(RaceRobots, ShuffleIsASeededPermutation) {
    race_robots_shuffle(12345);
    int a[RACE_ROBOT_COUNT];
    memcpy(a, race_robots.order, sizeof a);
    std::set<int> seen(a, a + RACE_ROBOT_COUNT);
    EXPECT_EQ(seen.size(), 80u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 79);
    race_robots_shuffle(12345);
    EXPECT_EQ(memcmp(a, race_robots.order, sizeof a), 0);
    race_robots_shuffle(54321);
    EXPECT_NE(memcmp(a, race_robots.order, sizeof a), 0);
    int moved = 0;
    for (int i = 0; i < RACE_ROBOT_COUNT; i++)
        moved += race_robots.order[i] != i;
    EXPECT_GT(moved, 40);
}

TEST(RaceRobots, TypesTakeMatchingBikes) {
    race_robots_shuffle(7);
    int first = race_robots_take(2);
    EXPECT_EQ(first, race_robots.order[0]);
    std::set<int> taken = {first};
    for (int i = 0; i < 10; i++) {
        int r = race_robots_take(3);
        ASSERT_GE(r, 0);
        EXPECT_NE(strstr(race_robot_roster[r].model, "125"), nullptr);
        EXPECT_TRUE(taken.insert(r).second) << "handed out twice";
        int f = race_robots_take(4);
        ASSERT_GE(f, 0);
        EXPECT_NE(strstr(race_robot_roster[f].model, "250"), nullptr);
        EXPECT_TRUE(taken.insert(f).second);
    }
    // Everybody gets handed out once, then the list is empty.
    int count = (int)taken.size();
    while (race_robots_take(2) >= 0)
        count++;
    EXPECT_EQ(count, 80);
    int n = race_robot_roster[5].number;
    EXPECT_EQ(race_robots_take(1000 + n), 5);
    EXPECT_EQ(race_robots_take(1000 + 100000), -1);
}

TEST(RaceRobots, BareFourStrokeNamesGetTheirYear) {
    EXPECT_STREQ(race_model_name("crf250"), "crf250(2008)");
    EXPECT_STREQ(race_model_name("kx250f"), "kx250f(2008)");
    EXPECT_STREQ(race_model_name("rmz250"), "rmz250(2008)");
    EXPECT_STREQ(race_model_name("yz250f"), "yz250f(2008)");
    EXPECT_STREQ(race_model_name("yz125"), "yz125");
    EXPECT_STREQ(race_robot_model(-1), "crf250(2008)");
}

} // namespace
