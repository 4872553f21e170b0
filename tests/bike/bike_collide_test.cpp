// Body collisions: the sphere contact rule with its spring reduction and its degenerate cases,
// shapes refused at load, riders crashing on the ground and against objects, the knock rules
// between bikes, and a bike stopped by a hay bale instead of passing through it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/zv_alloc.h"
#include "bike/bike_collide.h"
#include "bike_test_world.h"

namespace {

bike_world_sphere sphere(double x, double r, double k, dBodyID body = 0) {
    return {{x, 0, 0}, r, 0.5, k, 100, body};
}

struct Collide : ::testing::Test {
    void TearDown() override { test_world_end(); }
};

TEST_F(Collide, sphere_rule_reduces_deep_springs_and_survives_degenerate_spheres) {
    test_world_flat();
    dBodyID body = dBodyCreate(bike_world.world);
    bike_contact_result r;
    // Overlap 0.4: k x e = 2000 keeps the smaller spring; 0.6 reduces it to 2500 / 0.6.
    bike_world_sphere a = sphere(0, 0.5, 10000, body), b = sphere(0.6, 0.5, 5000);
    ASSERT_TRUE(bike_sphere_contact(&a, &b, BIKE_CONTACT_TEST, &r));
    EXPECT_NEAR(r.depth, 0.4, 1e-9);
    EXPECT_NEAR(r.spring, 5000, 1e-6);
    EXPECT_NEAR(r.point[0], 0.3, 1e-9);
    b.pos[0] = 0.4;
    ASSERT_TRUE(bike_sphere_contact(&a, &b, BIKE_CONTACT_TEST, &r));
    EXPECT_NEAR(r.spring, 2500 / 0.6, 1e-6);
    // Coinciding centres touch without a direction, whatever the radii (0 included).
    for (double ra : {0.0, 0.3}) {
        bike_world_sphere c = sphere(0, ra, 5000, body), d = sphere(0, 0.3, 5000);
        EXPECT_TRUE(bike_sphere_contact(&c, &d, BIKE_CONTACT_JOINT, &r));
        EXPECT_EQ(r.depth, 0);
    }
    bike_world_sphere z1 = sphere(0, 0, 5000, body), z2 = sphere(0, 0, 5000);
    EXPECT_FALSE(bike_sphere_contact(&z1, &z2, BIKE_CONTACT_FORCE, &r));
    // Penalty forces stay within 1000 lbf; neither spring nor damping still gives finite CFM.
    b.pos[0] = 0.2;
    ASSERT_TRUE(bike_sphere_contact(&a, &b, BIKE_CONTACT_FORCE, &r));
    const dReal *f = dBodyGetForce(body);
    EXPECT_NEAR(f[0], -1000, 1e-6);
    double cfm, erp;
    bike_contact_softness(0, 0, bike_tic, &cfm, &erp);
    EXPECT_TRUE(std::isfinite(cfm) && std::isfinite(erp));
}

TEST_F(Collide, shapes_without_size_spring_or_damping_or_with_too_many_spheres_are_refused) {
    bike_shape s;
    EXPECT_TRUE(bike_shape_parse("1 0 0 0 0.5 0.5 1000 100", &s));
    zv_free(s.spheres);
    for (const char *bad : {"1 0 0 0 0 0.5 1000 100", "1 0 0 0 -1 0.5 1000 100",
                            "1 0 0 0 0.5 0.5 0 100", "1 0 0 0 0.5 0.5 1000 0"})
        EXPECT_FALSE(bike_shape_parse(bad, &s)) << bad;
    std::string many = "257";
    for (int i = 0; i < 257; i++)
        many += " 0 0 0 0.5 0.5 1000 100";
    EXPECT_FALSE(bike_shape_parse(many.c_str(), &s)) << "more spheres than the cap";
}

TEST_F(Collide, a_bike_pushed_into_a_hay_bale_stops_and_a_fast_rider_crashes_on_it) {
    test_world_flat();
    bike_shape_register_stock();
    // The hay bale: five spheres across the bike's path, 1.6 ft high.
    std::string text = "5";
    for (int i = 0; i < 5; i++)
        text += " " + std::to_string(-1.6 + 0.8 * i) + " 0.8 0 0.85 0.8 8000 800";
    ASSERT_TRUE(bike_shape_register("bale.shp", text.c_str()));
    bike_shape *bale = bike_shape_load("bale.shp");
    for (double speed : {15.0, 25.0}) {
        bike_record *b = bike_create(0, "crf250(2007)", 1);
        bike_place(b, 64, 64, 0);
        const dReal *w = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
        double ahead = w[2] > dBodyGetPosition(b->body[BIKE_FRAME])[2] ? 1 : -1;
        bike_object o = {bale, {w[0], 0, w[2] + ahead * 2.2}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0, -1};
        for (int i = 0; i < BIKE_BODIES; i++)
            dBodySetLinearVel(b->body[i], 0, 0, speed * ahead);
        int rider_touched = 0, inside = 0, touches = 0;
        for (int t = 0; t < 256; t++) {
            int bits = bike_against_object(b, &o, t);
            rider_touched |= bits & BIKE_PART_RIDER;
            if (bits) {
                EXPECT_EQ(o.touch_tic, t);
            }
            touches += bits != 0;
            bike_prestep(b);
            bike_world_step();
            bike_update(b);
            // Over the bale maybe, through it never: no wheel or frame centre inside it.
            for (int body : {BIKE_FRAME, BIKE_FRONT_WHEEL, BIKE_REAR_WHEEL}) {
                const dReal *p = dBodyGetPosition(b->body[body]);
                inside |= std::fabs(p[0] - o.pos[0]) < 2 && std::fabs(p[2] - o.pos[2]) < 0.85 &&
                          p[1] < 1.6;
            }
        }
        EXPECT_GT(touches, 0) << speed;
        EXPECT_FALSE(inside) << speed;
        if (speed > 20 && rider_touched) {
            EXPECT_TRUE(bike_crashed(b));
        }
        if (speed < 20) {
            EXPECT_FALSE(bike_crashed(b)) << "a touch at 15 ft/s is no crash";
        }
        bike_destroy(b);
    }
    bike_shape_free(bale);
}

TEST_F(Collide, an_upside_down_rider_crashes_on_the_ground_only_when_moving_over_5_ft_per_s) {
    test_world_flat();
    bike_shape_register_stock();
    for (double speed : {4.0, 6.0}) {
        bike_record *b = bike_create(0, "crf250(2007)", 1);
        bike_place(b, 64, 64, 0);
        double axis[3] = {0, 0, 1};
        bike_rotate(b, axis, M_PI);
        const dReal *p = dBodyGetPosition(b->body[BIKE_RIDER]);
        bike_move(b, 0, 1.7 - p[1], 0); // the helmet's sphere in the ground
        dBodySetLinearVel(b->body[BIKE_RIDER], 0, -speed, 0);
        int bits = bike_terrain_contact(b, 1, bike_world.contacts);
        dJointGroupEmpty(bike_world.contacts);
        EXPECT_TRUE(bits & BIKE_PART_RIDER);
        EXPECT_EQ(bike_crashed(b), speed > 5) << speed;
        bike_destroy(b);
    }
}

// Another wheel's tube cannot sit in a wheel's middle: the hub pushes it out, so two wheels
// pushed into each other cannot link like a chain and carry their riders round as one.
TEST_F(Collide, a_tire_in_another_wheels_middle_is_pushed_out_by_the_hub) {
    test_world_flat();
    bike_shape_register_stock();
    bike_record *a = bike_create(0, "crf250(2007)", 1);
    for (int w : {BIKE_FRONT_WHEEL, BIKE_REAR_WHEEL}) {
        bike_placed_shape wheel = bike_shape_on_body(a->shape[w], a->body[w]);
        // A tube sphere beside the spokes, as far into the middle as the rim lets it go.
        bike_sphere tube = {{0, 0, 0}, 0.3333f, 1, 25000, 2500};
        bike_shape one = {1, 0.3333f, &tube, nullptr};
        bike_placed_shape t = {&one, {}, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 0};
        dVector3 p;
        dBodyGetRelPointPos(a->body[w], 0.3, 0.2, 0, p); // 0.3 ft along the axle
        for (int k = 0; k < 3; k++)
            t.pos[k] = p[k];
        EXPECT_TRUE(bike_shape_shape(&wheel, &t, BIKE_CONTACT_TEST)) << "wheel " << w;
    }
}

// Nor can another bike's part pass between ring and hub: a fallen bike's handlebar threaded
// through a wheel would hook the two bikes together.
TEST_F(Collide, another_bikes_part_in_a_wheels_middle_meets_the_spokes) {
    test_world_flat();
    bike_shape_register_stock();
    bike_record *a = bike_create(0, "crf250(2007)", 1);
    bike_record *b = bike_create(1, "crf250(2007)", 1);
    bike_place(a, 64, 64, 0);
    bike_place(b, 64, 80, 0);
    // A bar clamp of b's (one sphere) beside a's front hub, clear of the ring's tube.
    bike_sphere clamp = {{0, 0, 0}, 0.25f, 0.6f, 10000, 500};
    bike_shape one = {1, 0.25f, &clamp, nullptr};
    bike_shape *own = b->shape[BIKE_FORK_UPPER];
    b->shape[BIKE_FORK_UPPER] = &one;
    dVector3 p;
    dBodyGetRelPointPos(a->body[BIKE_FRONT_WHEEL], 0.35, 0.1, 0, p);
    dBodySetPosition(b->body[BIKE_FORK_UPPER], p[0], p[1], p[2]);
    int bits = bike_against_bike(a, b, BIKE_CONTACT_TEST, 1);
    b->shape[BIKE_FORK_UPPER] = own;
    EXPECT_TRUE(bits & BIKE_PART_FRONT_TIRE);
    EXPECT_TRUE((bits >> 8) & BIKE_PART_FORK_UPPER);
}

TEST_F(Collide, front_to_front_knocks_both_and_a_side_hit_knocks_the_hit_bike_only) {
    test_world_flat();
    bike_shape_register_stock();
    bike_record *a = bike_create(0, "crf250(2007)", 1), *b = bike_create(1, "crf250(2007)", 1);
    double wa, ahead;
    auto set_speed = [](bike_record *r, double vx, double vz) {
        for (int i = 0; i < BIKE_BODIES; i++)
            dBodySetLinearVel(r->body[i], vx, 0, vz);
    };
    // Head on: the front wheels meet, 1.9 ft apart (their tires overlap).
    bike_place(a, 64, 64, 0);
    bike_place(b, 64, 64, M_PI);
    wa = dBodyGetPosition(a->body[BIKE_FRONT_WHEEL])[2];
    ahead = wa > dBodyGetPosition(a->body[BIKE_FRAME])[2] ? 1 : -1;
    bike_move(b, 0, 0, wa + ahead * 1.9 - dBodyGetPosition(b->body[BIKE_FRONT_WHEEL])[2]);
    set_speed(a, 0, 12 * ahead);
    set_speed(b, 0, -12 * ahead);
    int bits = bike_against_bike(a, b, BIKE_CONTACT_JOINT, 7);
    dJointGroupEmpty(bike_world.contacts);
    ASSERT_TRUE(bits & BIKE_PART_FRONT_TIRE);
    ASSERT_TRUE((bits >> 8) & BIKE_PART_FRONT_TIRE);
    EXPECT_EQ(a->knock, 64);
    EXPECT_EQ(b->knock, 64);
    EXPECT_EQ(a->bike_contact_tic, 7);
    EXPECT_EQ(b->bike_contact_tic, 7);
    // From the side: a's front wheel into b's middle, b crossing in front of it.
    bike_place(a, 64, 64, 0);
    bike_place(b, 64, 64, M_PI / 2);
    wa = dBodyGetPosition(a->body[BIKE_FRONT_WHEEL])[2];
    bike_move(b,
              dBodyGetPosition(a->body[BIKE_FRONT_WHEEL])[0] -
                  dBodyGetPosition(b->body[BIKE_FRAME])[0],
              0, wa + ahead * 1.4 - dBodyGetPosition(b->body[BIKE_FRAME])[2]);
    set_speed(a, 0, 8 * ahead);
    set_speed(b, 12, 0);
    bits = bike_against_bike(a, b, BIKE_CONTACT_FORCE, 8);
    ASSERT_TRUE(bits & BIKE_PART_FRONT_TIRE);
    EXPECT_FALSE((bits >> 8) & (BIKE_PART_FRONT_TIRE | BIKE_PART_FORK_LOWER));
    EXPECT_EQ(a->knock, 0);
    EXPECT_EQ(b->knock, 128);
}

} // namespace
