// The end-of-load memory step. The reference platform pins a working-set range; Linux has no
// such request, so that part reports failure honestly, and the priority is raised when allowed.
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

#include "track/track_hooks.h"
#include "track/track_load.h"

static const uint64_t MiB = 1024ull * 1024ull;

int track_working_set_range(uint64_t physical, uint32_t *minimum, uint32_t *maximum) {
    if (physical < 64 * MiB) return 0;
    uint64_t a = physical <= 2048 * MiB ? physical - 32 * MiB : 2016 * MiB;
    uint64_t lo = a < 1024 * MiB ? a : 1024 * MiB;
    *minimum = (uint32_t)lo;
    *maximum = (uint32_t)a;
    return 1;
}

static uint64_t track_physical_memory(void) {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return 0;
    return (uint64_t)pages * (uint64_t)page;
}

void track_working_set(void) {
    uint32_t lo, hi;
    if (!track_working_set_range(track_physical_memory(), &lo, &hi)) {
        track_log("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    track_log("Setting working set range to %u - %u\n", lo, hi);
    // There is no working-set range to request from this kernel.
    track_log("Working set update failed\n");
    errno = 0;
    int nice_now = getpriority(PRIO_PROCESS, 0);
    if (errno == 0 && nice_now <= -5) {
        track_log("Priority successfully set to high\n");
    } else if (setpriority(PRIO_PROCESS, 0, -5) == 0) {
        track_log("Priority successfully set to high\n");
    } else {
        track_log("Priority set failed\n");
    }
}
