// Tire contact geometry against the height field, stiffness, friction and rolling resistance,
// and the contact joint in a world.
#include "bike/bike_tire.h"

#include "track/track_terrain.h"
#include "track/track_tiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const double PI = 3.14159265358979323846;
const double H = 1.0 / 128.0;
const double R = 0.8333, r = 0.3333;

tiles_type curve_type(int slip_function) {
    tiles_type t;
    tiles_default_type(&t);
    t.slip_function = slip_function;
    for (int i = 0; i < TILES_CURVE_POINTS; i++)
        t.friction_speed[i] = TILES_FRICTION_EMPTY;
    t.friction_speed[0] = 5, t.friction_coef[0] = 1.0f;
    t.friction_speed[1] = 10, t.friction_coef[1] = 0.8f;
    return t;
}

// A terrain of 2^(n+1)+1 heights per side from a function of (x, z).
template <class F> void make_terrain(int n, float s, F f) {
    int size = (1 << (n + 1)) + 1;
    std::vector<float> h((size_t)size * size);
    for (int k = 0; k < size; k++)
        for (int i = 0; i < size; i++)
            h[(size_t)i + (size_t)k * size] = f(i * s, k * s);
    ASSERT_EQ(terrain_create(n, s, h.data()), 1);
}

struct d3 {
    double x, y, z;
};
d3 sub(d3 a, d3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double dotp(d3 a, d3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
d3 add(d3 a, d3 b, double k) {
    return {a.x + b.x * k, a.y + b.y * k, a.z + b.z * k};
}

// Closest point on a triangle (the classic region walk), for the brute-force reference.
d3 closest_on_triangle(d3 p, d3 a, d3 b, d3 c) {
    d3 ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
    double d1 = dotp(ab, ap), d2 = dotp(ac, ap);
    if (d1 <= 0 && d2 <= 0) return a;
    d3 bp = sub(p, b);
    double d3_ = dotp(ab, bp), d4 = dotp(ac, bp);
    if (d3_ >= 0 && d4 <= d3_) return b;
    double vc = d1 * d4 - d3_ * d2;
    if (vc <= 0 && d1 >= 0 && d3_ <= 0) return add(a, ab, d1 / (d1 - d3_));
    d3 cp = sub(p, c);
    double d5 = dotp(ab, cp), d6 = dotp(ac, cp);
    if (d6 >= 0 && d5 <= d6) return c;
    double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return add(a, ac, d2 / (d2 - d6));
    double va = d3_ * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3_) >= 0 && (d5 - d6) >= 0)
        return add(b, sub(c, b), (d4 - d3_) / ((d4 - d3_) + (d5 - d6)));
    double den = 1.0 / (va + vb + vc);
    return add(add(a, ab, vb * den), ac, vc * den);
}

// Smallest distance from many ring points to every triangle near the wheel.
double brute_ring_distance(const double c[3], const double axle[3]) {
    d3 a{axle[0], axle[1], axle[2]};
    d3 u = std::fabs(a.x) < 0.9 ? d3{0, a.z, -a.y} : d3{-a.z, 0, a.x};
    double ul = std::sqrt(dotp(u, u));
    u = {u.x / ul, u.y / ul, u.z / ul};
    d3 v{a.y * u.z - a.z * u.y, a.z * u.x - a.x * u.z, a.x * u.y - a.y * u.x};
    double s = terrain.spacing;
    int i0 = (int)std::floor((c[0] - 2) / s), i1 = (int)std::floor((c[0] + 2) / s);
    int k0 = (int)std::floor((c[2] - 2) / s), k1 = (int)std::floor((c[2] + 2) / s);
    auto hgt = [&](int i, int k) {
        int n = terrain.size;
        i = i < 0 ? 0 : (i >= n ? n - 1 : i);
        k = k < 0 ? 0 : (k >= n ? n - 1 : k);
        return (double)terrain.heights[i + k * n];
    };
    std::vector<d3> tris;
    for (int k = k0; k <= k1; k++)
        for (int i = i0; i <= i1; i++) {
            d3 p00{i * s, hgt(i, k), k * s}, p10{(i + 1) * s, hgt(i + 1, k), k * s};
            d3 p01{i * s, hgt(i, k + 1), (k + 1) * s};
            d3 p11{(i + 1) * s, hgt(i + 1, k + 1), (k + 1) * s};
            if (((i + k) & 1) == 0)
                tris.insert(tris.end(), {p00, p10, p11, p00, p11, p01});
            else
                tris.insert(tris.end(), {p00, p10, p01, p10, p11, p01});
        }
    double best = 1e300;
    for (int j = 0; j < 2048; j++) {
        double t = 2 * PI * j / 2048;
        d3 p{c[0] + R * (std::cos(t) * u.x + std::sin(t) * v.x),
             c[1] + R * (std::cos(t) * u.y + std::sin(t) * v.y),
             c[2] + R * (std::cos(t) * u.z + std::sin(t) * v.z)};
        for (size_t q = 0; q < tris.size(); q += 3) {
            d3 cp = closest_on_triangle(p, tris[q], tris[q + 1], tris[q + 2]);
            d3 d = sub(p, cp);
            best = std::min(best, std::sqrt(dotp(d, d)));
        }
    }
    return best;
}

class BikeTire : public ::testing::Test {
  protected:
    void TearDown() override { terrain_free(); }
};

} // namespace

TEST(BikeTireLaws, StiffnessAndDampingGrowWithCompression) {
    bike_tire_soft s = bike_tire_softness(0.25 * r, r, H);
    EXPECT_NEAR(s.spring, 1375.0, 1e-6);
    EXPECT_NEAR(s.damping, 236.0, 0.1);
    bike_tire_soft full = bike_tire_softness(r, r, H);
    EXPECT_NEAR(full.spring, 25000.0, 1e-6);
    EXPECT_NEAR(full.damping, 2500.0, 1e-6);
    EXPECT_NEAR(bike_tire_softness(5.0, r, H).spring, 25000.0, 1e-6); // compression caps at 1
    // ERP and CFM are the implicit spring-damper of the joint.
    EXPECT_NEAR(s.cfm, 1.0 / (s.damping + H * s.spring), 1e-12);
    EXPECT_NEAR(s.erp, H * s.spring / (s.damping + H * s.spring), 1e-12);
}

TEST(BikeTireLaws, FrictionCurveBySlipFunction) {
    tiles_type t0 = curve_type(0), t1 = curve_type(1);
    EXPECT_NEAR(bike_tire_friction(&t0, 7.5), 1.0 + (56.25 - 25) / (100 - 25) * (0.8 - 1.0), 1e-6);
    EXPECT_NEAR(bike_tire_friction(&t0, 7.5), 0.917, 0.0005);
    EXPECT_NEAR(bike_tire_friction(&t1, 7.5), 0.9, 1e-6);
    // Below the first point its coefficient, past the last the last.
    EXPECT_NEAR(bike_tire_friction(&t1, 1.0), 1.0, 1e-6);
    EXPECT_NEAR(bike_tire_friction(&t1, 100.0), 0.8, 1e-6);
    EXPECT_NEAR(bike_tire_friction(&t1, NAN), 1.0, 1e-6);
    // An unknown slip function acts as 0.
    tiles_type t3 = curve_type(3);
    EXPECT_NEAR(bike_tire_friction(&t3, 7.5), bike_tire_friction(&t0, 7.5), 1e-9);
}

TEST(BikeTireLaws, SlipFunctionTwoUsesTheGroundSpeedAlongTheSlip) {
    const double axle[3] = {1, 0, 0}, rho[3] = {0, -1.1666, 0};
    // Spinning in place: the contact slides backward at 20 ft/s, the wheel does not move.
    double u[3] = {0, 0, 20}, v[3] = {0, 0, 0}, w[3] = {-20 / 1.1666, 0, 0};
    EXPECT_NEAR(bike_tire_friction_argument(2, u, v, w, axle, rho), 0.0, 1e-9);
    tiles_type t2 = curve_type(2);
    EXPECT_NEAR(bike_tire_friction(&t2, bike_tire_friction_argument(2, u, v, w, axle, rho)), 1.0,
                1e-9)
        << "first friction point";
    EXPECT_NEAR(bike_tire_friction_argument(1, u, v, w, axle, rho), 20.0, 1e-9);
    // Sliding sideways without spin: the ground speed equals the slip.
    double u2[3] = {8, 0, 0}, v2[3] = {8, 0, 0}, w2[3] = {0, 0, 0};
    EXPECT_NEAR(bike_tire_friction_argument(2, u2, v2, w2, axle, rho), 8.0, 1e-9);
    // A turning frame (rotation off the axle) adds its point velocity, clamped to |u|.
    double w3[3] = {0, 0, 30};
    EXPECT_NEAR(bike_tire_friction_argument(2, u2, v2, w3, axle, rho), 8.0, 1e-9);
    double still[3] = {0.01, 0, 0};
    EXPECT_EQ(bike_tire_friction_argument(2, still, v2, w2, axle, rho), 0.0);
}

TEST(BikeTireLaws, ArcadeGripFallsWithLean) {
    EXPECT_NEAR(bike_tire_arcade_factor(PI / 6), 0.75, 1e-12);
    EXPECT_NEAR(bike_tire_arcade_factor(-PI / 6), 0.75, 1e-12);
    EXPECT_NEAR(bike_tire_arcade_factor(PI / 4), 0.625, 1e-12);
    EXPECT_NEAR(bike_tire_arcade_factor(1.4), 0.625, 1e-12);
    EXPECT_NEAR(bike_tire_arcade_factor(0), 1.0, 1e-12);
}

TEST(BikeTireLaws, RollingResistanceBlendsByCompressionAndSpeed) {
    tiles_type t;
    tiles_default_type(&t); // (speed 1: 5 light, 15 full)
    EXPECT_NEAR(bike_tire_roll_resist(&t, 0.5, 0.0), 5.0, 1e-6);
    EXPECT_NEAR(bike_tire_roll_resist(&t, 30, 0.5), 10.0, 1e-6);
    EXPECT_NEAR(bike_tire_roll_resist(&t, 30, 3.0), 15.0, 1e-6);
    t.roll_speed[1] = 21, t.roll_light[1] = 25, t.roll_full[1] = 35;
    EXPECT_NEAR(bike_tire_roll_resist(&t, 11, 0.0), 15.0, 1e-5);
    EXPECT_NEAR(bike_tire_roll_resist(&t, 11, 1.0), 25.0, 1e-5);
    t.roll_speed[0] = 0;
    EXPECT_EQ(bike_tire_roll_resist(&t, 11, 1.0), 0.0);
}

TEST_F(BikeTire, FlatGroundContactUnderTheWheel) {
    ASSERT_EQ(terrain_create(4, 1.0f, nullptr), 1);
    double axle[3] = {1, 0, 0};
    double c[3] = {10.3, R + r - 1.0 / 12, 10.6};
    bike_tire_hit hit;
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_NEAR(hit.depth, 1.0 / 12, 1e-9);
    EXPECT_NEAR(hit.normal[1], 1.0, 1e-12);
    EXPECT_NEAR(hit.pos[0], 10.3, 1e-9);
    EXPECT_NEAR(hit.pos[2], 10.6, 1e-9);
    EXPECT_NEAR(hit.pos[1], -1.0 / 12, 1e-9);
    // Lifted clear: no contact, depth 0.
    c[1] = R + r + 0.01;
    EXPECT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 0);
    EXPECT_EQ(hit.depth, 0.0);
    // A leaning wheel reaches down R cos(lean) from its centre.
    double lean = 0.5;
    double tilted[3] = {std::cos(lean), std::sin(lean), 0};
    c[1] = R * std::cos(lean) + r - 0.05;
    ASSERT_EQ(bike_tire_collide(c, tilted, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_NEAR(hit.depth, 0.05, 1e-9);
    EXPECT_NEAR(hit.pos[0], c[0] + R * std::sin(lean), 1e-9);
    // Sunk past the axle: straight up with depth 2R.
    c[1] = -0.2; // the ring's top is still above ground: a face contact
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_NEAR(hit.depth, r + R + 0.2, 1e-9);
    c[1] = -R - 0.1;
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_NEAR(hit.depth, 2 * R, 1e-12);
    EXPECT_NEAR(hit.normal[1], 1.0, 1e-12);
    // Hostile poses answer "no contact" instead of misbehaving.
    double bad[3] = {NAN, 1, 1};
    EXPECT_EQ(bike_tire_collide(bad, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 0);
    double zero_axle[3] = {0, 0, 0};
    EXPECT_EQ(bike_tire_collide(c, zero_axle, R, r, BIKE_TIRE_DEEPEST, &hit), 0);
    double far[3] = {1e12, 0, -1e12};
    bike_tire_collide(far, axle, R, r, BIKE_TIRE_DEEPEST, &hit);
    EXPECT_TRUE(std::isfinite(hit.depth));
}

TEST_F(BikeTire, RampNormalAndDepth) {
    const double slope = 0.3;
    make_terrain(4, 1.0f, [&](float x, float) { return (float)(slope * x); });
    double n[3] = {-slope, 1, 0};
    double nl = std::sqrt(1 + slope * slope);
    double axle[3] = {0, 0, 1}; // rolling up the slope along x
    double gap = 0.1;
    double c[3] = {12.0, 0, 9.5};
    c[1] = slope * c[0] + (R + r - gap) * nl; // centre R + r - gap from the plane
    bike_tire_hit hit;
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_NEAR(hit.depth, gap, 1e-6);
    EXPECT_NEAR(hit.normal[0], n[0] / nl, 1e-6);
    EXPECT_NEAR(hit.normal[1], n[1] / nl, 1e-6);
    EXPECT_NEAR(hit.normal[2], 0.0, 1e-6);
}

TEST_F(BikeTire, EdgeOfAStepPushesTheWheelAway) {
    // A 2 ft step: x < 10 is at 0, x >= 11 at 2; the wheel sits on the low side against it.
    make_terrain(4, 1.0f, [](float x, float) { return x >= 11.0f ? 2.0f : 0.0f; });
    double axle[3] = {0, 0, 1};
    double c[3] = {11.0 - 1.0, 2.0 + 0.2, 8.4};
    bike_tire_hit hit;
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
    EXPECT_GT(hit.depth, 0.0);
    EXPECT_LT(hit.normal[0], -0.3) << "the step's top edge pushes back toward -x";
    EXPECT_NEAR(hit.depth, r - brute_ring_distance(c, axle), 2e-3);
}

TEST_F(BikeTire, DeepestTriangleMatchesBruteForceOnBumpyGround) {
    make_terrain(4, 1.25f, [](float x, float z) {
        return (float)(0.6 * std::sin(0.9 * x) * std::cos(0.7 * z) + 0.25 * std::sin(2.3 * z + 1));
    });
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> pos(6, 30), unit(-1, 1), gapd(0.02, 0.3);
    int tested = 0;
    for (int trial = 0; trial < 300 && tested < 60; trial++) {
        double axle[3] = {unit(rng), 0.4 * unit(rng), unit(rng)};
        double al = std::sqrt(axle[0] * axle[0] + axle[1] * axle[1] + axle[2] * axle[2]);
        if (al < 0.2) continue;
        for (double &a : axle)
            a /= al;
        double c[3] = {pos(rng), 0, pos(rng)};
        // Lower the wheel until the tube touches, then sink it by a random gap.
        c[1] = terrain_height((float)c[0], (float)c[2]) + 3.0;
        double d = brute_ring_distance(c, axle);
        double gap = gapd(rng);
        c[1] -= d - (r - gap);
        d = brute_ring_distance(c, axle);
        if (!(d > 0.02 && d < r)) continue; // ring circle itself must stay above the ground
        bike_tire_hit hit;
        ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_DEEPEST, &hit), 1);
        EXPECT_NEAR(hit.depth, r - d, 2e-3) << "trial " << trial;
        double nl = std::sqrt(hit.normal[0] * hit.normal[0] + hit.normal[1] * hit.normal[1] +
                              hit.normal[2] * hit.normal[2]);
        EXPECT_NEAR(nl, 1.0, 1e-9);
        EXPECT_GT(hit.normal[1], 0.0);
        tested++;
    }
    EXPECT_GE(tested, 40);
}

TEST_F(BikeTire, RoostContactTakesTheFirstTriangleAndNeverPointsDown) {
    make_terrain(4, 1.0f, [](float x, float) { return x >= 11.0f ? 2.0f : 0.0f; });
    double axle[3] = {1, 0, 0}; // wheel plane across the step's edge
    double c[3] = {11.0, 1.5, 8.4};
    bike_tire_hit hit;
    ASSERT_EQ(bike_tire_collide(c, axle, R, r, BIKE_TIRE_ROOST, &hit), 1);
    EXPECT_GE(hit.normal[1], 0.0);
    EXPECT_GT(hit.depth, 0.0);
    EXPECT_LE(hit.depth, 2 * R);
}

TEST_F(BikeTire, ContactJointHoldsAWheelOnTheGround) {
    ASSERT_EQ(terrain_create(4, 1.0f, nullptr), 1);
    dInitODE2(0);
    dWorldID world = dWorldCreate();
    dWorldSetGravity(world, 0, -32, 0);
    dJointGroupID group = dJointGroupCreate(0);
    dBodyID wheel = dBodyCreate(world);
    dMass m;
    dMassSetSphereTotal(&m, 0.6, R);
    dBodySetMass(wheel, &m);
    dBodySetPosition(wheel, 12, R + r + 0.2, 12);
    bike_tire t;
    bike_tire_init(&t, wheel, R, r);
    int touched = 0;
    for (int i = 0; i < 512; i++) {
        touched = bike_tire_contact(&t, world, group, 1.0, H);
        dWorldStep(world, H);
        dJointGroupEmpty(group);
    }
    EXPECT_EQ(touched, 1);
    const dReal *p = dBodyGetPosition(wheel);
    // At rest the tire's spring carries the wheel's weight: 0.6 x 32 = 19.2 lbf at about
    // 1000 lbf/ft, a compression of about 0.019 ft.
    double depth = R + r - p[1];
    EXPECT_GT(depth, 0.005);
    EXPECT_LT(depth, 0.04);
    EXPECT_NEAR(t.feedback.f1[1], 19.2, 1.0);
    // Lifted into the air the feedback is cleared with the depth.
    dBodySetPosition(wheel, 12, 5, 12);
    EXPECT_EQ(bike_tire_contact(&t, world, group, 1.0, H), 0);
    EXPECT_EQ(t.depth, 0.0);
    EXPECT_EQ(t.feedback.f1[1], 0.0);
    dJointGroupDestroy(group);
    dWorldDestroy(world);
}

TEST_F(BikeTire, FrictionStopsASlidingWheelAndRollingResistanceSlowsARollingOne) {
    ASSERT_EQ(terrain_create(5, 1.0f, nullptr), 1);
    dInitODE2(0);
    dWorldID world = dWorldCreate();
    dWorldSetGravity(world, 0, -32, 0);
    dJointGroupID group = dJointGroupCreate(0);
    dBodyID wheel = dBodyCreate(world);
    dMass m;
    dMassSetSphereTotal(&m, 0.6, R);
    dBodySetMass(wheel, &m);
    // Sliding sideways (along its axle) at 10 ft/s: friction ~ mu g stops it in ~10/32 s.
    dBodySetPosition(wheel, 20, R + r - 0.02, 20);
    dBodySetLinearVel(wheel, 10, 0, 0);
    bike_tire t;
    bike_tire_init(&t, wheel, R, r);
    for (int i = 0; i < 80; i++) {
        bike_tire_contact(&t, world, group, 1.0, H);
        dWorldStep(world, H);
        dJointGroupEmpty(group);
    }
    EXPECT_LT(std::fabs(dBodyGetLinearVel(wheel)[0]), 1.0);
    // Rolling forward: it keeps rolling and slowly loses speed to the rolling resistance.
    dMatrix3 identity;
    dRSetIdentity(identity);
    dBodySetRotation(wheel, identity); // the slide above tipped the wheel over
    dBodySetPosition(wheel, 20, R + r - 0.02, 40);
    dBodySetLinearVel(wheel, 0, 0, -20);
    dBodySetAngularVel(wheel, -20 / (R + r), 0, 0);
    for (int i = 0; i < 128; i++) {
        bike_tire_contact(&t, world, group, 1.0, H);
        dWorldStep(world, H);
        dJointGroupEmpty(group);
    }
    double vz = dBodyGetLinearVel(wheel)[2];
    EXPECT_LT(vz, -10.0);
    EXPECT_GT(vz, -19.99);
    dJointGroupDestroy(group);
    dWorldDestroy(world);
}

TEST_F(BikeTire, DebugReadoutNegatesTheForcesInTheWheelsFrame) {
    dInitODE2(0);
    dWorldID world = dWorldCreate();
    dBodyID wheel = dBodyCreate(world);
    dBodySetLinearVel(wheel, 0, 0, -12.5);
    bike_tire t;
    bike_tire_init(&t, wheel, R, r);
    t.depth = 0.05;
    t.normal[1] = 1;
    t.vel[2] = 3.0;
    t.feedback.f1[0] = 3, t.feedback.f1[1] = 19, t.feedback.f1[2] = -5;
    t.erode_force[0] = 10, t.erode_force[1] = 20;
    char buf[256];
    int n = bike_tire_debug_text(&t, buf, sizeof buf);
    // Lateral is along the axle (+x); longitudinal along the rolling direction (-z).
    EXPECT_STREQ(buf, "speed=12.50\nslip=3.00\nfx=-3.00\nfz=-5.00\npfx=-10.00\npfz=20.00\n");
    EXPECT_EQ(n, (int)strlen(buf));
    char tiny[8];
    EXPECT_EQ(bike_tire_debug_text(&t, tiny, sizeof tiny), 7);
    EXPECT_STREQ(tiny, "speed=1");
    dWorldDestroy(world);
}

TEST(BikeTireRoost, EmissionRoundsFromTheDensity) {
    EXPECT_EQ(bike_tire_roost_rounds(0, 5), 0);
    EXPECT_EQ(bike_tire_roost_rounds(100, 5), 1);
    EXPECT_EQ(bike_tire_roost_rounds(250, 49), 3);
    EXPECT_EQ(bike_tire_roost_rounds(250, 50), 2);
    EXPECT_EQ(bike_tire_roost_rounds(30, 129), 1);
    EXPECT_EQ(bike_tire_roost_rounds(NAN, 0), 0);
    bike_tire_roost_clear();
    bike_roost_contact c = {};
    for (int i = 0; i < 70; i++) {
        c.tile = i;
        bike_tire_roost_emit(&c);
    }
    bike_roost_contact out;
    ASSERT_EQ(bike_tire_roost_take(&out), 1);
    EXPECT_EQ(out.tile, 6) << "a full queue keeps the newest";
    bike_tire_roost_clear();
    EXPECT_EQ(bike_tire_roost_take(&out), 0);
}
