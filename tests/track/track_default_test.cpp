// The default track as the game ships it (inside zzzz.saf): it is listed, loads headless with no
// warning, has the features a motocross lap needs, and its info file can be saved.
#include "track_fixture.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "base/zv_sha1.h"
#include "track/track_centerline.h"
#include "track/track_tiles.h"

namespace track_test {
namespace {

struct line_point {
    float x, y, z, w;
};

class DefaultTrack : public TrackFixture {
  protected:
    std::vector<line_point> line;
    float length = 0;

    void SetUp() override {
        TrackFixture::SetUp();
        std::string saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
        std::ifstream in(saf, std::ios::binary);
        ASSERT_TRUE(in.good()) << "the default data set is built with the tests: " << saf;
        std::stringstream ss;
        ss << in.rdbuf();
        write("zzzz.saf", ss.str());
    }

    void read_line() {
        track_centerline c;
        ASSERT_EQ(track_centerline_load("tracks/pinehollow", &c), 1);
        ASSERT_GT(c.count, 100);
        length = c.length;
        for (int i = 0; i < c.count; i++)
            line.push_back({c.points[i].x, c.points[i].y, c.points[i].z, c.points[i].half_width});
        track_centerline_free(&c);
    }
};

TEST_F(DefaultTrack, LoadsHeadlessWithoutWarnings) {
    ASSERT_GE(track_scan(), 1);
    int idx = track_list_find("tracks/pinehollow");
    ASSERT_GE(idx, 0);
    EXPECT_STREQ(track_list.long_names[idx], "Pine Hollow Motocross");
    log_lines().clear();
    ASSERT_EQ(load("tracks/pinehollow"), 1);
    for (const auto &l : log_lines())
        for (const char *bad : {"warning", "Warning", "Error", "Can't", "Bad"})
            EXPECT_EQ(l.find(bad), std::string::npos) << l;
    EXPECT_EQ(terrain.size, 1025);
    EXPECT_GE(tiles.count, 3);
    std::set<int> used(terrain.tile_map,
                       terrain.tile_map + (1 << terrain.size_exp) * (1 << terrain.size_exp));
    EXPECT_GE(used.size(), 3u);
    // Baked shading: lit slopes and cast shadows, not a flat map.
    int lo = 255, hi = 0;
    for (int i = 0; i < terrain.size * terrain.size; i++) {
        lo = std::min(lo, (int)terrain.light_map[i]);
        hi = std::max(hi, (int)terrain.light_map[i]);
    }
    EXPECT_GT(hi - lo, 60);
    // Ground types differ in grip: loose sand gives less than hard pack.
    EXPECT_LT(tiles_friction(2, 5.0f), tiles_friction(0, 5.0f));

    log_lines().clear();
    ASSERT_EQ(track_save_info(), 1);
    std::ifstream info(home + "/Zelvo/tracks/pinehollow.trackinfo");
    std::stringstream ss;
    ss << info.rdbuf();
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1_hex(track_fingerprint(), hex);
    EXPECT_EQ(ss.str(), std::string("dir=tracks/pinehollow\nlongname=Pine Hollow Motocross\n"
                                    "firstlap=0\nnormallap=0\ngatecount=0\nhash=") +
                            hex + "\n");
}

TEST_F(DefaultTrack, RacingLineDescribesARideableLap) {
    file_index_build();
    ASSERT_EQ(load("tracks/pinehollow"), 1);
    read_line();
    // A good rider averages about 48 ft/s here: 40 to 70 s per lap.
    EXPECT_GT(length, 40 * 48.0f);
    EXPECT_LT(length, 70 * 48.0f);
    // Closed, evenly spaced, on the ground, never on grass.
    for (size_t i = 0; i < line.size(); i++) {
        const line_point &a = line[i], &b = line[(i + 1) % line.size()];
        float d = std::hypot(b.x - a.x, b.z - a.z);
        EXPECT_NEAR(d, length / line.size(), 0.2f) << i;
        EXPECT_NEAR(terrain_height(a.x, a.z), a.y, 0.3f) << i;
        EXPECT_NE(tile_at(a.x, a.z), 3) << i;
        EXPECT_GT(a.x, 0);
        EXPECT_LT(a.x, terrain.extent);
    }
    // The start straight holds 40 gate slots of 3.3 ft.
    EXPECT_GE(2 * line[0].w, 40 * 3.3f);
    EXPECT_LE(line[line.size() / 2].w, 20.0f);

    // Jumps: heights standing above the local grade by more than 4 ft.
    const int n = (int)line.size();
    auto grade = [&](int i) {
        double s = 0;
        for (int k = -15; k <= 15; k++)
            s += line[(i + k + n) % n].y;
        return s / 31;
    };
    int jumps = 0, bumps = 0;
    for (int i = 0; i < n; i++) {
        float y = line[i].y, prev = line[(i + n - 1) % n].y, next = line[(i + 1) % n].y;
        if (y >= prev && y > next && y - grade(i) > 2.0) jumps++;
    }
    EXPECT_GE(jumps, 3) << "a tabletop and a double";
    // Whoops: many short bumps; sample every foot along the line.
    for (int i = 0; i < n; i++) {
        const line_point &a = line[i], &b = line[(i + 1) % n];
        float prev = 0, cur = 0;
        for (int k = 0; k < 4; k++) {
            float f = k / 4.0f;
            float h = terrain_height(a.x + f * (b.x - a.x), a.z + f * (b.z - a.z));
            if (k > 0 && cur > prev && cur > h && tile_at(a.x, a.z) == 2) bumps++;
            prev = cur;
            cur = h;
        }
    }
    EXPECT_GE(bumps, 6);

    // Berms: in turns, the outside edge stands well above the line.
    int berms = 0, in_berm = 0;
    for (int i = 0; i < n; i++) {
        const line_point &a = line[(i + n - 3) % n], &p = line[i], &b = line[(i + 3) % n];
        float ax = p.x - a.x, az = p.z - a.z, bx = b.x - p.x, bz = b.z - p.z;
        float cross = ax * bz - az * bx;
        float la = std::hypot(ax, az), lb = std::hypot(bx, bz);
        float heading = cross / (la * lb);
        // Left of the direction of travel is (-dz, dx); a positive cross turns right here.
        float nx = -bz / lb, nz = bx / lb;
        float side = heading > 0 ? -1.0f : 1.0f;
        float edge = terrain_height(p.x + side * nx * p.w * 0.9f, p.z + side * nz * p.w * 0.9f);
        bool berm = std::fabs(heading) > 0.05f && edge - terrain_height(p.x, p.z) > 1.5f;
        if (berm && !in_berm) berms++;
        in_berm = berm ? 6 : (in_berm > 0 ? in_berm - 1 : 0);
    }
    EXPECT_GE(berms, 4);
}

} // namespace
} // namespace track_test
