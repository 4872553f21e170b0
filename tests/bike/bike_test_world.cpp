#include "bike_test_world.h"

#include <cmath>
#include <vector>

#include "bike/bike_input_ride.h"
#include "base/zv_sha1.h"
#include "support/ride_harness.h"
#include "track/track_terrain.h"

namespace {

void begin_world(void) {
    bike_world_destroy();
    bike_world_create();
    bike_shape_register_stock();
    // The body tests run the bike update alone unless they ask for the riding steps.
    bike_hooks = bike_update_hooks{};
    ride_harness_race_reset(0);
}

std::vector<float> grid(int n) {
    int size = (1 << (n + 1)) + 1;
    return std::vector<float>((size_t)size * (size_t)size, 0.0f);
}

} // namespace

void test_world_flat(float h, int n, float spacing) {
    std::vector<float> g = grid(n);
    for (float &v : g)
        v = h;
    terrain_create(n, spacing, g.data());
    begin_world();
}

void test_world_ramp(float slope, float x0, int n, float spacing) {
    int size = (1 << (n + 1)) + 1;
    std::vector<float> g = grid(n);
    for (int k = 0; k < size; k++)
        for (int i = 0; i < size; i++) {
            float x = i * spacing;
            g[(size_t)(i + k * size)] = x > x0 ? (x - x0) * slope : 0.0f;
        }
    terrain_create(n, spacing, g.data());
    begin_world();
}

void test_world_wall(float wall_x, float wall_h, int n, float spacing) {
    int size = (1 << (n + 1)) + 1;
    std::vector<float> g = grid(n);
    for (int k = 0; k < size; k++)
        for (int i = 0; i < size; i++)
            g[(size_t)(i + k * size)] = i * spacing >= wall_x ? wall_h : 0.0f;
    terrain_create(n, spacing, g.data());
    begin_world();
}

void test_world_end(void) {
    bike_world_destroy();
    terrain_free();
}

void test_world_run(int count) {
    for (int i = 0; i < count; i++)
        ride_harness_step();
}

void test_world_hash(char out[41]) {
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    for (int s = 0; s < BIKE_SLOTS; s++) {
        const bike_record *b = &bike_world.bikes[s];
        if (!b->present) continue;
        for (int i = 0; i < BIKE_BODIES; i++) {
            zv_sha1_update(&c, dBodyGetPosition(b->body[i]), 3 * sizeof(dReal));
            zv_sha1_update(&c, dBodyGetQuaternion(b->body[i]), 4 * sizeof(dReal));
            zv_sha1_update(&c, dBodyGetLinearVel(b->body[i]), 3 * sizeof(dReal));
            zv_sha1_update(&c, dBodyGetAngularVel(b->body[i]), 3 * sizeof(dReal));
        }
        zv_sha1_update(&c, &b->crash_timer, sizeof b->crash_timer);
    }
    uint8_t d[ZV_SHA1_SIZE];
    zv_sha1_final(&c, d);
    zv_sha1_hex(d, out);
}

bool test_bike_finite(const bike_record *b) {
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *v[4] = {dBodyGetPosition(b->body[i]), dBodyGetQuaternion(b->body[i]),
                             dBodyGetLinearVel(b->body[i]), dBodyGetAngularVel(b->body[i])};
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 3; k++)
                if (!std::isfinite(v[j][k])) return false;
    }
    for (int s = 0; s < 2; s++)
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(b->foot_pos[s][k]) || !std::isfinite(b->foot_vel[s][k]))
                return false;
    return true;
}

void test_world_riding_steps(void) {
    bike_input_install();
}
