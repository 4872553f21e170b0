// Roost: the per-tic limit of the density, fractional counts, the pool running dry, particles
// that rise below the ground or go non-finite, degenerate roost types, and a spray that never
// changes what the bikes do.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_tire_ride.h"
#include "track/track_objects.h"
#include "track/track_roost.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

namespace {

struct Roost : ::testing::Test {
    void SetUp() override {
        std::vector<float> flat(129 * 129, 0.0f);
        terrain_create(6, 2.0f, flat.data());
        objects_free();
        roost_pool_create();
        roost_seed(7);
        tiles_roost &r = tiles.types[0].roost[0];
        r = tiles_roost{};
        r.kind = 1, r.count = 1, r.texture = 1, r.size = 0.2f, r.vscale = 1, r.randomize = 2;
        r.slow_speed = r.fast_speed = 10; // equal speeds: no division by their difference
        r.fast_angle = 1;
    }
    void TearDown() override {
        objects_free();
        terrain_free();
    }
    // A spinning, sliding rear wheel touching the ground at (64, 0, 64).
    bike_roost_contact contact() {
        bike_roost_contact c = {};
        c.pos[0] = c.pos[2] = 64;
        c.wheel_pos[0] = c.wheel_pos[2] = 64, c.wheel_pos[1] = 1;
        c.point_vel[2] = -20;
        c.wheel_vel[2] = 5;
        c.wheel_omega[0] = -30;
        return c;
    }
};

TEST_F(Roost, limits_counts_and_an_exhausted_pool) {
    roost.density = 250;
    int counts[4] = {};
    for (int i = 0; i < 2000; i++) {
        int l = roost_limit();
        ASSERT_TRUE(l == 2 || l == 3) << l;
        counts[l]++;
    }
    EXPECT_NEAR(counts[3], 1000, 120);
    // Count 0.5: a particle on about half of the tics.
    tiles.types[0].roost[0].count = 0.5f;
    bike_roost_contact c = contact();
    for (int t = 0; t < 1000; t++)
        roost_emit(&c, 1, 2 * M_PI, t);
    EXPECT_NEAR(roost.live_count, 500, 80);
    // Dry pool: emission stops silently until particles land.
    tiles.types[0].roost[0].count = 40;
    for (int t = 0; t < 200; t++)
        roost_emit(&c, 40, 2 * M_PI, t);
    EXPECT_EQ(roost.live_count, ROOST_POOL);
    EXPECT_EQ(roost.free_head, -1);
    for (int t = 0; t < 1280 && roost.live_count > 0; t++)
        roost_update();
    EXPECT_EQ(roost.live_count, 0) << "everything comes down";
    roost_emit(&c, 40, 2 * M_PI, 0);
    EXPECT_EQ(roost.live_count, 40);
    for (int i = roost.live_head; i >= 0; i = roost.pool[i].next)
        for (float v : roost.pool[i].vel)
            EXPECT_TRUE(std::isfinite(v));
}

TEST_F(Roost, a_rising_particle_lives_below_the_ground_and_a_broken_one_dies) {
    tiles_roost &r = tiles.types[0].roost[0];
    r.kind = 2; // splash of a wheel standing still: nothing, no division by its speed
    bike_roost_contact c = contact();
    c.wheel_vel[2] = 0;
    roost_emit(&c, 5, 2 * M_PI, 0);
    EXPECT_EQ(roost.live_count, 0);
    c.wheel_vel[2] = 20;
    roost_emit(&c, 5, 2 * M_PI, 0);
    ASSERT_GT(roost.live_count, 0);
    roost_particle &p = roost.pool[roost.live_head];
    p.pos[1] = -3; // under the ground, thrown up hard
    p.vel[1] = 40;
    int live = roost.live_count;
    roost_update();
    EXPECT_EQ(roost.live_count, live);
    p.vel[0] = NAN;
    roost_update();
    EXPECT_EQ(roost.live_count, live - 1);
    EXPECT_EQ(objects.billboards[p.billboard].texture, 0u) << "its billboard hides";
}

TEST_F(Roost, the_spray_changes_nothing_the_bikes_do) {
    bike_world_create();
    bike_shape_register_stock();
    auto ride = [](int density, double out[3]) {
        bike_record *b = bike_create(0, "crf250(2007)", 1);
        bike_place(b, 64, 64, 0);
        dBodySetAngularVel(b->body[BIKE_REAR_WHEEL], 60, 0, 0);
        dBodySetLinearVel(b->body[BIKE_FRAME], 0, 0, -10);
        roost.density = density;
        int made = 0;
        for (int t = 0; t < 200; t++) {
            bike_world.tic = t;
            bike_prestep(b);
            if (density > 0) {
                bike_tire_prestep_roost(b, density, roost_random());
                roost_emit_queued(t);
            }
            made += roost.live_count;
            bike_world_step();
            bike_update(b);
            roost_update();
        }
        const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
        for (int k = 0; k < 3; k++)
            out[k] = p[k];
        bike_destroy(b);
        return made;
    };
    double without[3], with[3];
    ride(0, without);
    EXPECT_GT(ride(1000, with), 0) << "dirt flew";
    for (int k = 0; k < 3; k++)
        EXPECT_EQ(with[k], without[k]);
    bike_world_destroy();
}

} // namespace
