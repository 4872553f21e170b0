// Compact bike states from demos and packets decoded into a live bike.
#include <cstdint>
#include <cstring>

#include "bike/bike.h"
#include "track/track_terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bike_record *b;
    if (!b) {
        terrain_create(4, 2.0f, nullptr);
        bike_world_create();
        b = bike_create(0, "crf250(2007)", 0);
    }
    uint8_t newer[BIKE_STATE_SIZE] = {}, older[BIKE_STATE_SIZE] = {};
    memcpy(newer, data, size < BIKE_STATE_SIZE ? size : BIKE_STATE_SIZE);
    if (size > BIKE_STATE_SIZE)
        memcpy(older, data + BIKE_STATE_SIZE,
               size - BIKE_STATE_SIZE < BIKE_STATE_SIZE ? size - BIKE_STATE_SIZE : BIKE_STATE_SIZE);
    int tics = size > 2 * BIKE_STATE_SIZE ? data[2 * BIKE_STATE_SIZE] % 8 : 4;
    bike_decode(b, newer, older, tics);
    uint8_t again[BIKE_STATE_SIZE];
    bike_encode(b, again);
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        const dReal *v = dBodyGetLinearVel(b->body[i]);
        for (int k = 0; k < 3; k++)
            if (p[k] != p[k] || v[k] != v[k]) __builtin_trap(); // a decoded pose is always finite
    }
    return 0;
}
