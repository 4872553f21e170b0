// Shape files: parsing, the cache, the stock shapes and their fingerprint, sphere-against-ground.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike_test_world.h"
#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "track/track_terrain.h"

namespace {

TEST(BikeShape, ParsesSpheresAndBound) {
    bike_shape s;
    ASSERT_TRUE(bike_shape_parse("2\n1 0 0 0.5 0.8 1000 50\n0 -3 4 1 0.5 2000 60\n", &s));
    ASSERT_EQ(s.count, 2);
    EXPECT_FLOAT_EQ(s.spheres[1].centre[2], 4);
    EXPECT_FLOAT_EQ(s.spheres[1].damping, 60);
    EXPECT_FLOAT_EQ(s.bound, 6);
    zv_free(s.spheres);
}

TEST(BikeShape, RejectsShortAndBadFiles) {
    bike_shape s;
    EXPECT_FALSE(bike_shape_parse("3\n0 0 0 1 1 1 1\n0 0 0 1 1 1 1\n", &s));
    EXPECT_FALSE(bike_shape_parse("1\n0 0 0 1 1 1\n", &s));
    EXPECT_FALSE(bike_shape_parse("1\n0 nan 0 1 1 1 1\n", &s));
    EXPECT_FALSE(bike_shape_parse("-1\n", &s));
    EXPECT_FALSE(bike_shape_parse("99999999\n", &s));
    EXPECT_FALSE(bike_shape_parse("", &s));
    EXPECT_FALSE(bike_shape_parse(nullptr, &s));
    ASSERT_TRUE(bike_shape_parse("0\n", &s));
    EXPECT_EQ(s.count, 0);
    zv_free(s.spheres);
}

TEST(BikeShape, CacheGivesCopiesAndMatchesCase) {
    bike_shape_cache_clear();
    ASSERT_TRUE(bike_shape_register("@Statue.shp", "1\n0 1 0 2 1 100 10\n"));
    bike_shape *a = bike_shape_load("@Statue.shp");
    bike_shape *b = bike_shape_load("@statue.shp"); // case mismatch: still found
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->spheres, b->spheres);
    EXPECT_EQ(a->cached, b->cached);
    a->spheres[0].centre[0] = 99; // moving one copy leaves the other alone
    EXPECT_FLOAT_EQ(b->spheres[0].centre[0], 0);
    // Many more entries: copies keep pointing at a live cache entry.
    for (int i = 0; i < 40; i++) {
        char name[32];
        snprintf(name, sizeof name, "@s%d.shp", i);
        bike_shape_register(name, "1\n0 0 0 1 1 1 1\n");
    }
    EXPECT_FLOAT_EQ(b->cached->spheres[0].radius, 2);
    bike_shape_free(a);
    bike_shape_free(b);
    EXPECT_EQ(bike_shape_load("@nothing_here.shp"), nullptr);
    bike_shape_cache_clear();
}

TEST(BikeShape, StockShapesParseAndFingerprint) {
    char buf[4096];
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        size_t n = bike_shape_stock_text(i, buf, sizeof buf);
        ASSERT_LT(n, sizeof buf);
        bike_shape s;
        ASSERT_TRUE(bike_shape_parse(buf, &s)) << bike_shape_stock_name(i);
        EXPECT_GT(s.count, 0);
        zv_free(s.spheres);
        zv_sha1_update(&c, buf, n);
    }
    EXPECT_STREQ(bike_shape_stock_name(0), "@generic_frame.shp");
    EXPECT_STREQ(bike_shape_stock_name(6), "@generic_rider.shp");
    uint8_t d[20];
    zv_sha1_final(&c, d);
    char expect[41], got[41];
    zv_sha1_hex(d, expect);
    bike_shape_stock_digest(got);
    EXPECT_STREQ(got, expect);
    EXPECT_EQ(strlen(got), 40u);
}

class BikeGround : public ::testing::Test {
  protected:
    void TearDown() override { test_world_end(); }
};

TEST_F(BikeGround, SphereOnFlatAndSlopedGround) {
    test_world_flat(2.0f);
    double c[3] = {30.3, 2.4, 41.7}, p[3], n[3], depth;
    ASSERT_TRUE(bike_sphere_terrain(c, 0.5, p, n, &depth));
    EXPECT_NEAR(depth, 0.1, 1e-9);
    EXPECT_NEAR(n[1], 1, 1e-9);
    EXPECT_NEAR(p[1], 2.0, 1e-9);
    c[1] = 2.6;
    EXPECT_FALSE(bike_sphere_terrain(c, 0.5, p, n, &depth));
    EXPECT_EQ(depth, 0);
    // Centre below the surface: deeper than the radius.
    c[1] = 1.8;
    ASSERT_TRUE(bike_sphere_terrain(c, 0.5, p, n, &depth));
    EXPECT_NEAR(depth, 0.7, 1e-9);
    test_world_end();
    // A 45-degree ramp: the normal leans back against the slope.
    test_world_ramp(1.0f, 20);
    double d[3] = {40, 20 + 0.5 * sqrt(2.0) - 0.1, 40};
    ASSERT_TRUE(bike_sphere_terrain(d, 0.5, p, n, &depth));
    EXPECT_NEAR(n[0], -sqrt(0.5), 1e-6);
    EXPECT_NEAR(n[1], sqrt(0.5), 1e-6);
    EXPECT_NEAR(depth, 0.1 / sqrt(2.0), 1e-6);
}

TEST_F(BikeGround, SphereAgainstAWallFace) {
    test_world_wall(50, 6, 6, 1.0f);
    // Beside the wall foot, above the floor: the wall's face (a steep triangle) is the contact.
    double c[3] = {49.2, 1.0, 30}, p[3], n[3], depth;
    ASSERT_TRUE(bike_sphere_terrain(c, 0.5, p, n, &depth));
    EXPECT_LT(n[0], -0.5);
    EXPECT_GT(depth, 0);
    // Far outside the grid, the edge continues and the search stays bounded.
    double far[3] = {-1e7, 0.2, 1e7};
    EXPECT_TRUE(bike_sphere_terrain(far, 0.5, p, n, &depth));
    double bad[3] = {NAN, 0, 0};
    EXPECT_FALSE(bike_sphere_terrain(bad, 0.5, p, n, &depth));
}

// The quick answer from the ground straight below agrees with the sphere test everywhere around a
// wall and a ramp: near the limit, far above, under the surface, over the grid's edge.
TEST_F(BikeGround, GroundWithinAgreesWithTheSphereTest) {
    for (int world = 0; world < 2; world++) {
        if (world == 0)
            test_world_wall(50, 6, 6, 1.0f);
        else
            test_world_ramp(0.7f, 20);
        int near = 0, far = 0;
        for (double x = -3; x < 140; x += 2.9)
            for (double y = -2; y < 20; y += 0.37) {
                double c[3] = {x, y, 0.43 * x + 5}, p[3], n[3], depth;
                int full = bike_sphere_terrain(c, 5.5, p, n, &depth);
                ASSERT_EQ(bike_ground_within(c, 5.5), full) << x << " " << y;
                full ? near++ : far++;
            }
        EXPECT_GT(near, 100);
        EXPECT_GT(far, 100);
        test_world_end();
    }
}

TEST_F(BikeGround, SettledBikeTouchesOnlyWithItsTires) {
    test_world_flat();
    bike_record *b = bike_create(0, "crf450(2018)", 1);
    bike_place(b, 60, 60, 0);
    test_world_run(256);
    EXPECT_EQ(b->touched_parts, BIKE_PART_FRONT_TIRE | BIKE_PART_REAR_TIRE);
    EXPECT_EQ(b->trouble, 0);
    // Laid on its side, the parts touch and trouble is flagged.
    const double axis[3] = {0, 0, 1};
    bike_reset(b);
    bike_rotate(b, axis, M_PI / 2);
    bike_move(b, 60, 0.9, 60);
    int bits = bike_terrain_contact(b, 1, bike_world.contacts);
    dJointGroupEmpty(bike_world.contacts);
    EXPECT_NE(
        bits & (BIKE_PART_FORK_UPPER | BIKE_PART_RIDER | BIKE_PART_SWINGARM | BIKE_PART_FORK_LOWER),
        0);
    EXPECT_EQ(b->trouble, 1);
}

TEST_F(BikeGround, UpsideDownRiderHittingTheGroundCrashes) {
    test_world_flat();
    bike_record *b = bike_create(0, "cr125", 1);
    bike_place(b, 60, 60, 0);
    const double axis[3] = {0, 0, 1};
    bike_rotate(b, axis, M_PI);
    bike_move(b, 120, 0, 0);
    // Rider head down on the ground, moving at 4 ft/s: no crash; at 6 ft/s: crash.
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    bike_move(b, 0, 0.5 - rp[1], 0);
    dBodySetLinearVel(b->body[BIKE_RIDER], 4, 0, 0);
    bike_terrain_contact(b, 1, bike_world.contacts);
    EXPECT_FALSE(bike_crashed(b));
    dBodySetLinearVel(b->body[BIKE_RIDER], 6, 0, 0);
    bike_terrain_contact(b, 1, bike_world.contacts);
    dJointGroupEmpty(bike_world.contacts);
    EXPECT_TRUE(bike_crashed(b));
}

} // namespace

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "data/data_index.h"

namespace {

TEST(BikeShapeFiles, FileFingerprintMatchesTheStockShapes) {
    char dir[] = "/tmp/zv_bike_shapes_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string tmp = dir;
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("ZV_HOME", (tmp + "/game").c_str(), 1);
    mkdir((tmp + "/game").c_str(), 0777);
    file_index_free();
    data_root_reset();
    char buf[4096];
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        size_t n = bike_shape_stock_text(i, buf, sizeof buf);
        std::string path = tmp + "/game/" + (bike_shape_stock_name(i) + 1);
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(buf, 1, n, f);
        fclose(f);
    }
    char files[41], stock[41];
    bike_shape_files_digest(files);
    bike_shape_stock_digest(stock);
    EXPECT_STREQ(files, stock);
    // Loading a stock shape through the data files gives the same spheres as the table.
    bike_shape_cache_clear();
    bike_shape *s = bike_shape_load("@generic_rider.shp");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->count, 8);
    bike_shape_free(s);
    // A missing file adds nothing, so the digest no longer matches.
    remove((tmp + "/game/generic_rider.shp").c_str());
    file_index_free();
    bike_shape_files_digest(files);
    EXPECT_STRNE(files, stock);
    bike_shape_cache_clear();
    file_index_free();
    std::string cmd = "rm -rf '" + tmp + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
