// The per-slot ring of tic-stamped bike states.
#include <cstring>

#include "demo/demo.h"
#include "platform/platform.h"

demo_history_slot demo_history[DEMO_SLOTS];

void demo_history_clear_slot(int slot) {
    if (slot < 0 || slot >= DEMO_SLOTS) return;
    demo_history_slot *h = &demo_history[slot];
    for (int i = 0; i < DEMO_HISTORY; i++)
        h->tic[i] = -1;
    memset(h->rec, 0, sizeof h->rec);
    h->head = 0;
    h->pending = 0;
}

void demo_history_clear(void) {
    for (int s = 0; s < DEMO_SLOTS; s++)
        demo_history_clear_slot(s);
}

static int ring(int i) {
    return ((i % DEMO_HISTORY) + DEMO_HISTORY) % DEMO_HISTORY;
}

int demo_history_add(int slot, const uint8_t rec[DEMO_STATE], int tic) {
    if (slot < 0 || slot >= DEMO_SLOTS) {
        platform_log("add_state_to_history: slot out of range\n");
        return 0;
    }
    demo_history_slot *h = &demo_history[slot];
    if (h->tic[h->head] < 0) { // empty
        h->tic[h->head] = tic;
        memcpy(h->rec[h->head], rec, DEMO_STATE);
        h->pending = 1;
        return 1;
    }
    int found = -1, newer = 0, valid = 0;
    for (int i = 0; i < DEMO_HISTORY; i++) {
        int k = ring(h->head - i);
        if (h->tic[k] < 0) break;
        valid++;
        if (h->tic[k] <= tic) {
            found = k;
            newer = i;
            break;
        }
    }
    if (found >= 0 && h->tic[found] == tic) return 0; // the first state for a tic wins
    if (found < 0) {
        if (valid == DEMO_HISTORY) return 0; // older than the whole ring
        newer = valid;
    }
    int at = ring(h->head - newer + 1); // right after the newest entry not newer than tic
    // Move the newer entries up one place (the oldest of a full ring drops out).
    for (int i = 0; i < newer; i++) {
        int from = ring(h->head - i);
        int to = ring(from + 1);
        h->tic[to] = h->tic[from];
        memcpy(h->rec[to], h->rec[from], DEMO_STATE);
    }
    h->tic[at] = tic;
    memcpy(h->rec[at], rec, DEMO_STATE);
    h->head = ring(h->head + 1);
    if (newer <= h->pending)
        h->pending = h->pending + 1 < DEMO_HISTORY ? h->pending + 1 : DEMO_HISTORY;
    return 1;
}

int demo_history_around(int slot, int t, int *older, int *newer) {
    if (slot < 0 || slot >= DEMO_SLOTS) return 0;
    const demo_history_slot *h = &demo_history[slot];
    if (h->tic[h->head] < 0) return 0;
    if (h->tic[h->head] < t) {
        int before = ring(h->head - 1);
        *newer = h->head;
        *older = h->tic[before] >= 0 ? before : h->head;
        return 1;
    }
    int oldest = h->head;
    for (int i = 1; i < DEMO_HISTORY; i++) {
        int k = ring(h->head - i);
        if (h->tic[k] < 0) break;
        if (h->tic[k] < t) {
            *older = k;
            *newer = ring(k + 1);
            return 1;
        }
        oldest = k;
    }
    // nothing older than t: the two oldest valid entries
    *older = oldest;
    *newer = oldest == h->head ? oldest : ring(oldest + 1);
    return 1;
}

int demo_history_newest_tic(int slot) {
    if (slot < 0 || slot >= DEMO_SLOTS) return -1;
    return demo_history[slot].tic[demo_history[slot].head];
}
