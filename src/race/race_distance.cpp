// How far each rider's frame travels over the ground during a race. The local rider's figure is
// logged when the race ends, so a run shows whether the player actually rode.
#include <cmath>

#include "platform/platform.h"
#include "race/race.h"

namespace {

// A frame that moves more than this in one tic was placed (a restart, a reset after a crash),
// not ridden: 2 ft a tic is 256 ft/s, beyond any bike.
const float MAX_STEP = 2.0f;

} // namespace

void race_track_distance(int slot, float x, float z) {
    if (slot < 0 || slot >= RACE_SLOTS || !std::isfinite(x) || !std::isfinite(z)) return;
    race_rider *r = &race.riders[slot];
    if (r->tracked) {
        float dx = x - r->last_xz[0], dz = z - r->last_xz[1];
        float step = std::sqrt(dx * dx + dz * dz);
        if (step <= MAX_STEP) r->distance += step;
    }
    r->last_xz[0] = x;
    r->last_xz[1] = z;
    r->tracked = 1;
}

void race_log_local_distance(void) {
    for (int s = 0; s < RACE_SLOTS; s++) {
        if (!race.present[s] || race.status[s] != RACE_LOCAL || race.lineup[s] != RACE_HUMAN)
            continue;
        int racing = race.tic - race.gate_drop_tic;
        const race_rider *r = &race.riders[s];
        float dx = r->last_xz[0] - race.start_pos[0], dz = r->last_xz[1] - race.start_pos[2];
        platform_log(
            "Local rider rode %.1f ft in %.1f s of racing, ending %.1f ft from the start\n",
            r->distance, racing > 0 ? racing / 128.0 : 0.0,
            r->tracked ? std::sqrt(dx * dx + dz * dz) : 0.0f);
        return;
    }
}
