// The state history ring: order, duplicates, late states, pending counts, lookups.
#include <gtest/gtest.h>

#include <cstring>

#include "demo/demo.h"

namespace {

void rec_of(uint8_t *r, int v) {
    memset(r, 0, DEMO_STATE);
    r[0] = (uint8_t)v;
    r[38] = (uint8_t)(v >> 8);
}

int add(int slot, int tic, int v) {
    uint8_t r[DEMO_STATE];
    rec_of(r, v);
    return demo_history_add(slot, r, tic);
}

// Tics of a slot from oldest to newest; checks they increase.
int tics_in_order(int slot, int *out) {
    const demo_history_slot *h = &demo_history[slot];
    int n = 0;
    for (int i = DEMO_HISTORY - 1; i >= 0; i--) {
        int k = (h->head - i + DEMO_HISTORY) % DEMO_HISTORY;
        if (h->tic[k] >= 0) out[n++] = h->tic[k];
    }
    for (int i = 1; i < n; i++)
        EXPECT_LT(out[i - 1], out[i]);
    return n;
}

class History : public ::testing::Test {
  protected:
    void SetUp() override { demo_history_clear(); }
};

TEST_F(History, InOrderDuplicatesAndRange) {
    EXPECT_EQ(demo_history_newest_tic(3), -1);
    EXPECT_EQ(add(3, 4, 1), 1);
    EXPECT_EQ(add(3, 8, 2), 1);
    EXPECT_EQ(add(3, 8, 99), 0); // the first state for a tic wins
    EXPECT_EQ(demo_history_newest_tic(3), 8);
    EXPECT_EQ(demo_history[3].rec[demo_history[3].head][0], 2);
    EXPECT_EQ(demo_history[3].pending, 2);
    EXPECT_EQ(add(-1, 4, 1), 0);
    EXPECT_EQ(add(DEMO_SLOTS, 4, 1), 0);
    EXPECT_EQ(demo_history_newest_tic(DEMO_SLOTS), -1);
    demo_history_clear();
    EXPECT_EQ(demo_history_newest_tic(3), -1);
    EXPECT_EQ(demo_history[3].pending, 0);
}

TEST_F(History, WrapsKeepingTheNewest) {
    for (int t = 0; t < 300; t++)
        ASSERT_EQ(add(0, t * 4, t), 1);
    int tics[DEMO_HISTORY];
    ASSERT_EQ(tics_in_order(0, tics), DEMO_HISTORY);
    EXPECT_EQ(tics[0], (300 - 128) * 4);
    EXPECT_EQ(tics[127], 299 * 4);
    EXPECT_EQ(demo_history[0].pending, DEMO_HISTORY);
    // older than everything in a full ring
    EXPECT_EQ(add(0, 1, 7), 0);
}

TEST_F(History, LateStatesGoInTicOrder) {
    add(1, 10, 10);
    add(1, 30, 30);
    add(1, 40, 40);
    EXPECT_EQ(add(1, 20, 20), 1);
    EXPECT_EQ(add(1, 5, 5), 1); // older than all, ring not full
    EXPECT_EQ(add(1, 30, 31), 0);
    int tics[DEMO_HISTORY];
    ASSERT_EQ(tics_in_order(1, tics), 5);
    EXPECT_EQ(tics[0], 5);
    EXPECT_EQ(tics[2], 20);
    EXPECT_EQ(demo_history_newest_tic(1), 40);
    int o, n;
    ASSERT_TRUE(demo_history_around(1, 25, &o, &n));
    EXPECT_EQ(demo_history[1].tic[o], 20);
    EXPECT_EQ(demo_history[1].rec[o][0], 20);
    EXPECT_EQ(demo_history[1].tic[n], 30);
}

TEST_F(History, LateStatesAndThePendingCount) {
    add(2, 10, 1);
    add(2, 20, 2);
    demo_history[2].pending = 0; // the writer wrote both
    add(2, 30, 3);
    add(2, 40, 4);
    EXPECT_EQ(demo_history[2].pending, 2);
    EXPECT_EQ(add(2, 35, 5), 1); // among the unwritten ones: recorded
    EXPECT_EQ(demo_history[2].pending, 3);
    EXPECT_EQ(add(2, 25, 6), 1); // just before the unwritten run: still in order in the file
    EXPECT_EQ(demo_history[2].pending, 4);
    EXPECT_EQ(add(2, 15, 7), 1); // older than a written entry: shown, never recorded
    EXPECT_EQ(demo_history[2].pending, 4);
    // the pending entries are exactly the unwritten ones, oldest first
    const demo_history_slot *h = &demo_history[2];
    int want[4] = {25, 30, 35, 40};
    for (int k = 3; k >= 0; k--)
        EXPECT_EQ(h->tic[(h->head - k + DEMO_HISTORY) % DEMO_HISTORY], want[3 - k]);
}

TEST_F(History, LateStateIntoAFullRingDropsTheOldest) {
    for (int t = 0; t < DEMO_HISTORY; t++)
        add(4, 10 + t * 10, t);
    EXPECT_EQ(add(4, 15, 77), 1);
    int tics[DEMO_HISTORY];
    ASSERT_EQ(tics_in_order(4, tics), DEMO_HISTORY);
    EXPECT_EQ(tics[0], 15);
    EXPECT_EQ(tics[1], 20);
    EXPECT_EQ(tics[127], 10 + 127 * 10);
}

TEST_F(History, AroundATic) {
    int o = -5, n = -5;
    EXPECT_FALSE(demo_history_around(5, 10, &o, &n));
    add(5, 8, 1);
    ASSERT_TRUE(demo_history_around(5, 100, &o, &n)); // one entry: the head twice
    EXPECT_EQ(o, n);
    add(5, 12, 2);
    add(5, 16, 3);
    ASSERT_TRUE(demo_history_around(5, 100, &o, &n)); // past the newest
    EXPECT_EQ(demo_history[5].tic[n], 16);
    EXPECT_EQ(demo_history[5].tic[o], 12);
    ASSERT_TRUE(demo_history_around(5, 12, &o, &n)); // exactly on an entry
    EXPECT_EQ(demo_history[5].tic[o], 8);
    EXPECT_EQ(demo_history[5].tic[n], 12);
    ASSERT_TRUE(demo_history_around(5, 2, &o, &n)); // before the oldest
    EXPECT_EQ(demo_history[5].tic[o], 8);
    EXPECT_EQ(demo_history[5].tic[n], 12);
    EXPECT_FALSE(demo_history_around(-1, 2, &o, &n));
}

} // namespace
