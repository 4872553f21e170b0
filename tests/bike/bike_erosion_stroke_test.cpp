// Erosion samples, points and strokes: the byte format read back by a receiver that follows the
// stroke layout, the point and stroke rules, and the force that makes a sample.
#include "bike/bike_erosion_stroke.h"

#include "track/track_tiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const double EXTENT = 1024.0;

struct decoded {
    double x, z, ex, ez;
    int weight;
};

// The receiving side of the format, written from the byte layout alone.
std::vector<decoded> decode(const uint8_t *b, int n, double extent) {
    std::vector<decoded> out;
    if (n < 17 || b[0] != 1) return out;
    auto u16 = [&](int at) { return b[at] | (b[at + 1] << 8); };
    auto u24 = [&](int at) { return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16); };
    auto range = [](int q) { return q * 2048.0 / 65535.0 - 1024.0; };
    auto dir = [](int byte) {
        double c = (byte >> 2) / 64.0;
        return (c < 1 ? c : 1) * 2 - 1;
    };
    double dxmin = range(u16(1)), dzmin = range(u16(3)), dxmax = range(u16(5)),
           dzmax = range(u16(7));
    decoded p;
    p.x = u24(9) / 16777215.0 * extent;
    p.z = u24(12) / 16777215.0 * extent;
    p.ex = dir(b[15]);
    p.ez = dir(b[16]);
    p.weight = (b[16] & 3) * 4 + (b[15] & 3);
    out.push_back(p);
    for (int k = 1; k <= (n - 17) / 4; k++) {
        const uint8_t *q = b + 17 + 4 * (k - 1);
        p.x += dxmin + q[0] / 255.0 * (dxmax - dxmin);
        p.z += dzmin + q[1] / 255.0 * (dzmax - dzmin);
        p.ex = dir(q[2]);
        p.ez = dir(q[3]);
        p.weight = (q[3] & 3) * 4 + (q[2] & 3);
        out.push_back(p);
    }
    return out;
}

struct collected {
    std::vector<std::vector<uint8_t>> strokes;
};
void collect(void *ctx, const uint8_t *bytes, int n) {
    static_cast<collected *>(ctx)->strokes.emplace_back(bytes, bytes + n);
}

} // namespace

TEST(BikeErosionStroke, DirectionCodeIsOneRoundingCappedAt63) {
    EXPECT_EQ(bike_erosion_direction_code(-1.0), 0);
    EXPECT_EQ(bike_erosion_direction_code(0.0), 32);
    EXPECT_EQ(bike_erosion_direction_code(1.0), 63) << "the top must not wrap to 0";
    EXPECT_EQ(bike_erosion_direction_code(0.96875), 63);
    EXPECT_EQ(bike_erosion_direction_code(0.95), 62);
    EXPECT_EQ(bike_erosion_direction_code(5.0), 63);
    EXPECT_EQ(bike_erosion_direction_code(NAN), 32);
    // Every code decodes to within one step below the value.
    for (double e = -1; e <= 1; e += 0.01) {
        int c = bike_erosion_direction_code(e);
        double back = std::min(c / 64.0, 1.0) * 2 - 1;
        EXPECT_LE(back, e + 1e-12);
        EXPECT_GT(back, e - 2.0 / 64 - 1e-12);
    }
}

TEST(BikeErosionStroke, BoundCodes) {
    EXPECT_EQ(bike_erosion_bound_code(-1024.0), 0);
    EXPECT_EQ(bike_erosion_bound_code(1024.0), 65535);
    EXPECT_EQ(bike_erosion_bound_code(5000.0), 65535);
    EXPECT_EQ(bike_erosion_bound_code(0.0), 32768);
    EXPECT_EQ(bike_erosion_bound_code(-5000.0), 0);
}

TEST(BikeErosionStroke, OnePointStrokeLayoutAndSixteenSamples) {
    bike_stroke_point p = {512.0f, 256.0f, 1.0f, -1.0f, 16};
    uint8_t b[BIKE_STROKE_MAX_BYTES];
    int n = bike_erosion_stroke_encode(&p, 1, 0, 0, 0, 0, EXTENT, b);
    ASSERT_EQ(n, 17);
    EXPECT_EQ(b[0], 1);
    std::vector<decoded> d = decode(b, n, EXTENT);
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NEAR(d[0].x, 512.0, EXTENT / 16777215.0);
    EXPECT_NEAR(d[0].z, 256.0, EXTENT / 16777215.0);
    EXPECT_EQ(d[0].weight, 15) << "16 samples arrive as 15, not 0";
    EXPECT_NEAR(d[0].ex, 63 / 32.0 - 1, 1e-12);
    EXPECT_NEAR(d[0].ez, -1.0, 1e-12);
    p.count = 6;
    bike_erosion_stroke_encode(&p, 1, 0, 0, 0, 0, EXTENT, b);
    EXPECT_EQ(decode(b, 17, EXTENT)[0].weight, 6);
    // Positions off the terrain clamp to its edges.
    p.x = -40, p.z = 5000;
    bike_erosion_stroke_encode(&p, 1, 0, 0, 0, 0, EXTENT, b);
    EXPECT_EQ(decode(b, 17, EXTENT)[0].x, 0.0);
    EXPECT_EQ(decode(b, 17, EXTENT)[0].z, EXTENT);
    EXPECT_EQ(bike_erosion_stroke_encode(&p, 0, 0, 0, 0, 0, EXTENT, b), 0);
}

TEST(BikeErosionStroke, RoundTripDoesNotAccumulateError) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> step(-1.2, 1.2), dir(-1, 1);
    for (int trial = 0; trial < 20; trial++) {
        bike_stroke_point pts[BIKE_STROKE_MAX_POINTS];
        int n = 1 + trial * 3 % BIKE_STROKE_MAX_POINTS;
        if (trial == 19) n = BIKE_STROKE_MAX_POINTS;
        double x = 300, z = 700;
        double mnx = 1e9, mxx = -1e9, mnz = 1e9, mxz = -1e9;
        for (int k = 0; k < n; k++) {
            if (k) {
                double dx = step(rng), dz = step(rng);
                x += dx, z += dz;
                mnx = std::min(mnx, dx), mxx = std::max(mxx, dx);
                mnz = std::min(mnz, dz), mxz = std::max(mxz, dz);
            }
            pts[k] = {(float)x, (float)z, (float)dir(rng), (float)dir(rng), 1 + k % 16};
        }
        uint8_t b[BIKE_STROKE_MAX_BYTES];
        int len = bike_erosion_stroke_encode(pts, n, mnx, mnz, mxx, mxz, EXTENT, b);
        ASSERT_EQ(len, 17 + 4 * (n - 1));
        std::vector<decoded> d = decode(b, len, EXTENT);
        ASSERT_EQ((int)d.size(), n);
        for (int k = 0; k < n; k++) {
            // Half a step of the widest bound (2.4 + 1/8 over 255) plus the float position.
            double tol = 0.5 * 2.6 / 255 + 1e-3;
            EXPECT_NEAR(d[k].x, pts[k].x, tol) << "point " << k;
            EXPECT_NEAR(d[k].z, pts[k].z, tol) << "point " << k;
            EXPECT_NEAR(d[k].ex, pts[k].ex, 2.0 / 64 + 1e-6);
            EXPECT_EQ(d[k].weight, std::min(pts[k].count, 15));
        }
    }
}

TEST(BikeErosionAcc, SamplesAFootApartMakeOnePointEach) {
    bike_erosion_acc a;
    bike_erosion_reset(&a);
    collected c;
    // 1/8 ft per tic: a point closes when the distance reaches 1 ft (after 8 samples).
    for (int t = 0; t < 40; t++)
        bike_erosion_sample(&a, 100 + 0.125 * t, 50, 0.5, -0.5, t, EXTENT, collect, &c);
    EXPECT_EQ(a.point_count, 4);
    EXPECT_EQ(a.points[0].count, 8);
    EXPECT_NEAR(a.points[0].x, 100.4375, 1e-4);
    EXPECT_NEAR(a.points[0].ex, 0.5, 1e-6);
    EXPECT_NEAR(a.points[1].x - a.points[0].x, 1.0, 1e-4);
    EXPECT_TRUE(c.strokes.empty());
    // Wheel leaves the ground: after 64 idle tics the point closes and the stroke is sent.
    for (int t = 40; t <= 39 + 64; t++)
        bike_erosion_idle(&a, t, EXTENT, collect, &c);
    EXPECT_TRUE(c.strokes.empty());
    bike_erosion_idle(&a, 39 + 65, EXTENT, collect, &c);
    ASSERT_EQ(c.strokes.size(), 1u);
    std::vector<decoded> d = decode(c.strokes[0].data(), (int)c.strokes[0].size(), EXTENT);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_NEAR(d[4].x, 104.4375, 0.01);
    EXPECT_NEAR(d[4].z, 50.0, 0.01);
    EXPECT_EQ(d[4].weight, 8);
    EXPECT_EQ(a.point_count, 0);
    EXPECT_FALSE(a.open);
}

TEST(BikeErosionAcc, StandingStillFillsPointsOfSixteen) {
    bike_erosion_acc a;
    bike_erosion_reset(&a);
    collected c;
    for (int t = 0; t < 33; t++)
        bike_erosion_sample(&a, 10, 10, 0.2, 0.2, t, EXTENT, collect, &c);
    EXPECT_EQ(a.point_count, 2);
    EXPECT_EQ(a.points[0].count, 16);
    EXPECT_EQ(a.count, 1);
    bike_erosion_flush(&a, EXTENT, collect, &c);
    ASSERT_EQ(c.strokes.size(), 1u);
    std::vector<decoded> d = decode(c.strokes[0].data(), (int)c.strokes[0].size(), EXTENT);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].weight, 15);
    EXPECT_EQ(d[2].weight, 1);
}

TEST(BikeErosionAcc, LongJumpsBetweenSamplesCarryNoDistance) {
    bike_erosion_acc a;
    bike_erosion_reset(&a);
    collected c;
    bike_erosion_sample(&a, 10, 10, 0, 0, 0, EXTENT, collect, &c);
    bike_erosion_sample(&a, 10.6, 10, 0, 0, 1, EXTENT, collect, &c);
    bike_erosion_sample(&a, 11.2, 10, 0, 0, 2, EXTENT, collect, &c); // 1.2 ft: closes
    EXPECT_NEAR(a.distance, 0.2, 1e-9) << "carried over";
    bike_erosion_sample(&a, 14.0, 10, 0, 0, 3, EXTENT, collect, &c); // sum >= 2: starts at 0
    EXPECT_EQ(a.distance, 0.0);
    EXPECT_EQ(a.point_count, 2);
}

TEST(BikeErosionAcc, FullStrokesAndWideStrokesAreSentBeforeAppending) {
    bike_erosion_acc a;
    bike_erosion_reset(&a);
    collected c;
    int t = 0;
    // 1.05 ft apart: every sample closes the previous point.
    for (int i = 0; i <= 65; i++, t++)
        bike_erosion_sample(&a, 100 + 1.05 * i * 0.6, 100 + 1.05 * i * 0.8, 0.1, 0.1, t, EXTENT,
                            collect, &c);
    ASSERT_EQ(c.strokes.size(), 1u);
    EXPECT_EQ(c.strokes[0].size(), 17u + 4 * 63);
    EXPECT_EQ(a.point_count, 1);
    // Step spread beyond 64 ft: a far point starts a new stroke.
    bike_erosion_reset(&a);
    c.strokes.clear();
    bike_erosion_sample(&a, 100, 100, 0, 0, 0, EXTENT, collect, &c);
    bike_erosion_sample(&a, 101.5, 100, 0, 0, 1, EXTENT, collect, &c);
    bike_erosion_sample(&a, 103.0, 100, 0, 0, 2, EXTENT, collect, &c);
    bike_erosion_sample(&a, 200.0, 100, 0, 0, 3, EXTENT, collect, &c);
    bike_erosion_sample(&a, 200.0, 190, 0, 0, 4, EXTENT, collect, &c);
    ASSERT_EQ(c.strokes.size(), 1u);
    EXPECT_EQ(c.strokes[0].size(), 17u + 4 * 2);
    EXPECT_EQ(a.point_count, 1);
    // Non-finite samples are dropped.
    bike_erosion_sample(&a, NAN, 100, 0, 0, 5, EXTENT, collect, &c);
    EXPECT_EQ(a.count, 1);
}

TEST(BikeErosionForce, SampleFromTheContactForce) {
    tiles_type t;
    tiles_default_type(&t);
    const tiles_erosion *p = &t.erosion; // lower 50, upper 150, off 10, on 15, slip 0..5 x1..1.5
    bike_erosion_input in = {};
    in.depth = 0.05;
    in.pos[0] = 10, in.pos[2] = 10;
    in.vel[2] = -30;                     // riding toward -z
    in.force[1] = 200, in.force[2] = 90; // braking force on the wheel points backward (+z)
    in.normal[1] = 1;
    in.slip = 0;
    double ex, ez;
    ASSERT_EQ(bike_erosion_force(&in, p, &ex, &ez), 1);
    // m = 90 (normal part removed), q = 0.125 + 0.875 x 0.4.
    EXPECT_NEAR(ez, 0.125 + 0.875 * 0.4, 1e-9);
    EXPECT_NEAR(ex, 0.0, 1e-12);
    // Sliding raises the force by the slip scale up to 1.5.
    in.slip = 10;
    bike_erosion_force(&in, p, &ex, &ez);
    EXPECT_NEAR(ez, 0.125 + 0.875 * (135.0 - 50) / 100, 1e-9);
    // Slow wheels leave no mark; nor does a weak force or no contact.
    in.vel[2] = -5;
    EXPECT_EQ(bike_erosion_force(&in, p, &ex, &ez), 0);
    in.vel[2] = -30;
    in.force[2] = 20;
    EXPECT_EQ(bike_erosion_force(&in, p, &ex, &ez), 0);
    in.force[2] = 90;
    in.depth = 0;
    EXPECT_EQ(bike_erosion_force(&in, p, &ex, &ez), 0);
    // Lateral scale widens only the sideways part; the front scale scales both.
    in.depth = 0.05;
    in.slip = 0;
    in.force[0] = 60;
    t.erosion.lateral_scale = 2;
    bike_erosion_force(&in, p, &ex, &ez);
    double mx = 120, mz = 90, m = std::hypot(mx, mz);
    EXPECT_NEAR(ex, mx / m * (0.125 + 0.875 * 1.0), 1e-9);
    t.erosion.lateral_scale = 1;
    t.erosion.front_scale = 0.5;
    in.front = 1;
    in.force[0] = 0;
    bike_erosion_force(&in, p, &ex, &ez);
    EXPECT_EQ(bike_erosion_force(&in, p, &ex, &ez), 0) << "45 after the front scale: below lower";
}

TEST(BikeErosionQueue, StrokesWaitInOrderAndTheOldestGoWhenFull) {
    bike_erosion_stroke_clear();
    uint8_t b[BIKE_STROKE_MAX_BYTES] = {1};
    for (int i = 0; i < BIKE_STROKE_QUEUE + 3; i++) {
        b[9] = (uint8_t)i;
        bike_erosion_stroke_send(nullptr, b, 17);
    }
    EXPECT_EQ(bike_erosion_stroke_pending(), BIKE_STROKE_QUEUE);
    uint8_t out[BIKE_STROKE_MAX_BYTES];
    ASSERT_EQ(bike_erosion_stroke_take(out), 17);
    EXPECT_EQ(out[9], 3);
    bike_erosion_stroke_send(nullptr, b, 0);
    bike_erosion_stroke_send(nullptr, b, BIKE_STROKE_MAX_BYTES + 1);
    EXPECT_EQ(bike_erosion_stroke_pending(), BIKE_STROKE_QUEUE - 1);
    bike_erosion_stroke_clear();
    EXPECT_EQ(bike_erosion_stroke_take(out), 0);
}
