// Allocation wrappers and the allocation checker.
//
// The checker keeps live blocks in an open-addressing hash table keyed by address, so that a
// run with ZV_CHECK_ALLOC set stays usable with hundreds of thousands of blocks alive. The
// table itself comes from calloc: it must not recurse into the wrappers it watches.
#include "base/zv_alloc.h"

#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

constexpr int CHECK_MAX_BLOCKS = 1048576;
// Twice the block limit, a power of two, keeps probe chains short at full load.
constexpr size_t CHECK_SLOTS = 2 * (size_t)CHECK_MAX_BLOCKS;

struct check_slot {
    void *p; // nullptr: empty; TOMBSTONE: deleted
    size_t size;
    int serial;
};

struct alloc_state {
    std::mutex lock;
    int env_read;
    int checking;
    int serial;
    int live;
    int tombstones;
    check_slot *slots;
};

alloc_state g_alloc;

void *const TOMBSTONE = (void *)(uintptr_t)1;

[[noreturn]] void alloc_out_of_memory(void) {
    platform_message_box("Error", "Out of virtual memory");
    exit(1);
}

size_t slot_hash(void *p) {
    uint64_t x = (uint64_t)(uintptr_t)p;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    return (size_t)x & (CHECK_SLOTS - 1);
}

void check_read_env_locked(void) {
    if (g_alloc.env_read) return;
    g_alloc.env_read = 1;
    const char *v = getenv("ZV_CHECK_ALLOC");
    if (v && atoi(v) > 0) g_alloc.checking = 1;
}

void check_drop_table_locked(void) {
    free(g_alloc.slots);
    g_alloc.slots = nullptr;
    g_alloc.live = 0;
    g_alloc.tombstones = 0;
}

check_slot *check_find_locked(void *p) {
    if (!g_alloc.slots) return nullptr;
    size_t i = slot_hash(p);
    for (size_t n = 0; n < CHECK_SLOTS; n++) {
        check_slot *s = &g_alloc.slots[i];
        if (s->p == nullptr) return nullptr;
        if (s->p == p) return s;
        i = (i + 1) & (CHECK_SLOTS - 1);
    }
    return nullptr;
}

// Rebuilds the table without tombstones once they crowd it.
void check_compact_locked(void) {
    check_slot *old = g_alloc.slots;
    check_slot *fresh = (check_slot *)calloc(CHECK_SLOTS, sizeof(check_slot));
    if (!fresh) alloc_out_of_memory();
    for (size_t i = 0; i < CHECK_SLOTS; i++) {
        if (old[i].p == nullptr || old[i].p == TOMBSTONE) continue;
        size_t j = slot_hash(old[i].p);
        while (fresh[j].p)
            j = (j + 1) & (CHECK_SLOTS - 1);
        fresh[j] = old[i];
    }
    free(old);
    g_alloc.slots = fresh;
    g_alloc.tombstones = 0;
}

void check_record_locked(void *p, size_t size) {
    if (!g_alloc.checking) return;
    if (g_alloc.live >= CHECK_MAX_BLOCKS) {
        fprintf(stderr, "Too many allocations to check!\n");
        g_alloc.checking = 0;
        check_drop_table_locked();
        return;
    }
    if (!g_alloc.slots) {
        g_alloc.slots = (check_slot *)calloc(CHECK_SLOTS, sizeof(check_slot));
        if (!g_alloc.slots) alloc_out_of_memory();
    }
    if ((size_t)(g_alloc.live + g_alloc.tombstones) >= CHECK_SLOTS * 3 / 4) check_compact_locked();
    size_t i = slot_hash(p);
    while (g_alloc.slots[i].p != nullptr && g_alloc.slots[i].p != TOMBSTONE)
        i = (i + 1) & (CHECK_SLOTS - 1);
    if (g_alloc.slots[i].p == TOMBSTONE) g_alloc.tombstones--;
    g_alloc.slots[i].p = p;
    g_alloc.slots[i].size = size;
    g_alloc.slots[i].serial = g_alloc.serial++;
    g_alloc.live++;
}

void check_forget_locked(check_slot *s) {
    s->p = TOMBSTONE;
    g_alloc.live--;
    g_alloc.tombstones++;
}

} // namespace

void *zv_alloc(size_t size) {
    // malloc(0) may legally return null, which must not read as running out of memory.
    void *p = malloc(size ? size : 1);
    if (!p) alloc_out_of_memory();
    std::lock_guard<std::mutex> guard(g_alloc.lock);
    check_read_env_locked();
    check_record_locked(p, size);
    return p;
}

void *zv_alloc_zeroed(size_t count, size_t size) {
    if (count && size > SIZE_MAX / count) alloc_out_of_memory();
    void *p = calloc(count ? count : 1, size ? size : 1);
    if (!p) alloc_out_of_memory();
    std::lock_guard<std::mutex> guard(g_alloc.lock);
    check_read_env_locked();
    check_record_locked(p, count * size);
    return p;
}

void *zv_realloc(void *p, size_t size) {
    if (!p) return zv_alloc(size);
    std::unique_lock<std::mutex> guard(g_alloc.lock);
    check_read_env_locked();
    if (g_alloc.checking) {
        check_slot *s = check_find_locked(p);
        if (!s) {
            // Not ours: resizing it could corrupt someone else's heap; leave it alone.
            fprintf(stderr, "Allocation not found for %p!\n", p);
            return nullptr;
        }
        // A fresh block keeps the checker's zero-fill-on-release promise for the old one.
        void *q = malloc(size ? size : 1);
        if (!q) alloc_out_of_memory();
        memcpy(q, p, s->size < size ? s->size : size);
        memset(p, 0, s->size);
        check_forget_locked(s);
        free(p);
        check_record_locked(q, size);
        return q;
    }
    guard.unlock();
    void *q = realloc(p, size ? size : 1);
    if (!q) alloc_out_of_memory();
    return q;
}

void zv_free(void *p) {
    if (!p) return;
    std::unique_lock<std::mutex> guard(g_alloc.lock);
    check_read_env_locked();
    if (g_alloc.checking) {
        check_slot *s = check_find_locked(p);
        if (!s) {
            fprintf(stderr, "Allocation not found for %p!\n", p);
            return;
        }
        memset(p, 0, s->size);
        check_forget_locked(s);
    }
    guard.unlock();
    free(p);
}

void zv_alloc_report(void) {
    std::lock_guard<std::mutex> guard(g_alloc.lock);
    if (!g_alloc.checking || !g_alloc.slots) return;
    for (size_t i = 0; i < CHECK_SLOTS; i++) {
        const check_slot &s = g_alloc.slots[i];
        if (s.p != nullptr && s.p != TOMBSTONE) fprintf(stderr, "%p:%d\n", s.p, s.serial);
    }
}

void zv_alloc_set_checking(int on) {
    std::lock_guard<std::mutex> guard(g_alloc.lock);
    g_alloc.env_read = 1;
    if (!on) check_drop_table_locked();
    g_alloc.checking = on ? 1 : 0;
}

int zv_alloc_live_count(void) {
    std::lock_guard<std::mutex> guard(g_alloc.lock);
    return g_alloc.checking ? g_alloc.live : 0;
}
