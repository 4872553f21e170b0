// tileinfo, texturelist and tilemap reading, the curve lookups and the transition codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "data/data_file.h"
#include "track/track_hooks.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

namespace {

std::vector<std::string> logged;
std::vector<std::string> textures;

void tap(const char *line) {
    logged.push_back(line);
}
unsigned texture_load(const char *name) {
    textures.push_back(name);
    return (unsigned)textures.size();
}

class TilesTest : public ::testing::Test {
  protected:
    std::string path;
    void SetUp() override {
        char tmpl[] = "/tmp/zv_tiles_XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        path = tmpl;
        logged.clear();
        textures.clear();
        track_log_tap = tap;
        track_render.texture_load = texture_load;
    }
    void TearDown() override {
        track_log_tap = nullptr;
        track_render.texture_load = nullptr;
        unlink(path.c_str());
        terrain_free();
    }
    void write(const std::string &text) {
        FILE *f = fopen(path.c_str(), "wb");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    void load_tileinfo(const std::string &text) {
        write(text);
        data_file *f = data_open(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(tiles_load_tileinfo(f), 1);
        data_close(f);
    }
    int count_logged(const std::string &line) {
        int n = 0;
        for (auto &l : logged)
            n += l == line;
        return n;
    }
};

TEST_F(TilesTest, FrictionPointsSortCapAndLookUp) {
    std::string text = "texture @dirt.png\nfriction 0.8 5\nfriction 1.2 0\naddtile\n";
    text += "texture @ice.png\n";
    for (int i = 0; i < 9; i++)
        text += "friction 1 " + std::to_string(i) + "\n";
    text += "friction 1\nfriction nan 3\naddtile\n";
    load_tileinfo(text);
    ASSERT_EQ(tiles.count, 2);
    const tiles_type *t = tiles_type_get(0);
    EXPECT_FLOAT_EQ(t->friction_speed[0], 0.0f);
    EXPECT_FLOAT_EQ(t->friction_coef[0], 1.2f);
    EXPECT_FLOAT_EQ(t->friction_speed[1], 5.0f);
    EXPECT_FLOAT_EQ(t->friction_coef[1], 0.8f);
    EXPECT_EQ(t->friction_speed[2], TILES_FRICTION_EMPTY);
    EXPECT_STREQ(t->name, "@dirt.png");
    // Squared-speed interpolation by default: at v = 2.5, t = 6.25 / 25.
    EXPECT_NEAR(tiles_friction(0, 2.5f), 1.2f + 0.25f * (0.8f - 1.2f), 1e-6);
    EXPECT_FLOAT_EQ(tiles_friction(0, -1.0f), 1.2f);
    EXPECT_FLOAT_EQ(tiles_friction(0, 50.0f), 0.8f);
    EXPECT_EQ(count_logged("tileinfo warning: too many friction points\n"), 3);
    // The two bad lines come after the cap, so they are reported as too many.
    EXPECT_EQ(tiles_type_get(1)->friction_speed[7], 7.0f);
}

TEST_F(TilesTest, BadValuesWarnAndLeaveFields) {
    load_tileinfo("friction 1\nfriction inf 2\nroll_resist 1 2\nslip_function x\n"
                  "slip_function 3\nerode_depth\nerode_radius nan\nerode_lower 7\n"
                  "erode_limit 0.1 1 1\nerode_limit 0.05 2 2\nerode_limit 1 2\n"
                  "# comment\nbogus 1\naddtile\n");
    ASSERT_EQ(tiles.count, 1);
    const tiles_type *t = tiles_type_get(0);
    EXPECT_EQ(count_logged("tileinfo warning: bad friction parameters\n"), 2);
    EXPECT_EQ(count_logged("tileinfo warning: bad roll_resist parameters\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: bad slip_function\n"), 2);
    EXPECT_EQ(count_logged("tileinfo warning: bad erode_depth\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: bad erode_radius\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: erode_limit depth <= prev depth\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: bad erode_limit\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: Unknown identifier '#'\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: Unknown identifier 'bogus'\n"), 1);
    // slip_function 3 is kept and acts as 0 (squared interpolation).
    EXPECT_EQ(t->slip_function, 3);
    EXPECT_FLOAT_EQ(t->erosion.depth, 1.0f);
    EXPECT_FLOAT_EQ(t->erosion.radius, 4.0f);
    EXPECT_FLOAT_EQ(t->erosion.lower, 7.0f);
    EXPECT_EQ(t->erosion.limit_count, 1);
    EXPECT_FLOAT_EQ(t->erosion.limit_depth[0], 0.1f);
    EXPECT_FLOAT_EQ(t->friction_coef[0], 1.0f); // defaults kept
}

TEST_F(TilesTest, DegenerateCurvesDoNotDivideByZero) {
    load_tileinfo("friction 0.5 -3\nfriction 1.5 3\nslip_function 0\nroll_resist 1 2 4\n"
                  "roll_resist 3 6 4\naddtile\n");
    float f = tiles_friction(0, 0.0f);
    EXPECT_TRUE(std::isfinite(f));
    EXPECT_GE(f, 0.5f);
    EXPECT_LE(f, 1.5f);
    float light, full;
    tiles_roll_resist(0, 4.0f, &light, &full);
    EXPECT_TRUE(std::isfinite(light) && std::isfinite(full));
    tiles_roll_resist(0, NAN, &light, &full);
    EXPECT_TRUE(std::isfinite(light));
    EXPECT_TRUE(std::isfinite(tiles_friction(0, NAN)));
}

TEST_F(TilesTest, RollingResistanceLinearOverSpeed) {
    load_tileinfo("slip_function 1\nfriction 1 0\nfriction 2 10\nroll_resist 1 2 10\nroll_resist 3 "
                  "6 0\naddtile\n");
    float light, full;
    tiles_roll_resist(0, 5.0f, &light, &full);
    // The 0 speed was raised to the minimum, then sorted first.
    EXPECT_NEAR(light,
                3.0f + (5.0f - TILES_ROLL_MIN_SPEED) / (10.0f - TILES_ROLL_MIN_SPEED) * (1 - 3.0f),
                1e-5);
    EXPECT_NEAR(full, 6.0f + 0.5f * (2 - 6.0f), 1e-4);
    tiles_roll_resist(0, 100.0f, &light, &full);
    EXPECT_FLOAT_EQ(light, 1.0f);
    EXPECT_FLOAT_EQ(full, 2.0f);
    EXPECT_NEAR(tiles_friction(0, 5.0f), 1.5f, 1e-6); // linear with slip function 1
}

TEST_F(TilesTest, RoostTokensQuotesAndClamps) {
    load_tileinfo("texture dirt.png\nroost texture=\"@my roost.png\" count=3 r=300 g=-4 b=12.9 "
                  "fade_a=-1000 fade_r=256 size=x splash=1 bogus=2\n"
                  "roost splash=0 count=inf\nroost\nroost\nroost\naddtile\n");
    ASSERT_EQ(tiles.count, 1);
    const tiles_roost *r = tiles_roost_get(0, 0);
    EXPECT_EQ(r->kind, 2);
    bool found = false;
    for (auto &t : textures)
        found |= t == "@my roost.png";
    EXPECT_TRUE(found);
    EXPECT_FLOAT_EQ(r->count, 3.0f);
    EXPECT_EQ(r->colour[0], 255);
    EXPECT_EQ(r->colour[1], 0);
    EXPECT_EQ(r->colour[2], 12);
    EXPECT_EQ(r->colour[3], 255);
    EXPECT_EQ(r->fade[3], -7); // -1000 per second / 128 tics, truncated
    EXPECT_EQ(r->fade[0], 2);
    EXPECT_FLOAT_EQ(r->size, 0.0f);
    EXPECT_EQ(count_logged("tileinfo warning: bad size\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: unknown roost parameter 'bogus=2'\n"), 1);
    const tiles_roost *r1 = tiles_roost_get(0, 1);
    EXPECT_EQ(r1->kind, 1);
    EXPECT_FLOAT_EQ(r1->count, 0.0f);
    EXPECT_EQ(count_logged("tileinfo warning: bad count\n"), 1);
    EXPECT_EQ(count_logged("tileinfo warning: too many roost types\n"), 1);
    EXPECT_EQ(tiles_roost_get(0, 3)->kind, 1);
    // The default roost values of an untouched field.
    EXPECT_FLOAT_EQ(r1->fast_speed, 64.0f);
}

TEST_F(TilesTest, AddtileLimitAndNames) {
    std::string text;
    for (int i = 0; i < 257; i++)
        text += "texture @t" + std::to_string(i) + ".png\naddtile\n";
    text += "name after\naddtile\n";
    load_tileinfo(text);
    EXPECT_EQ(tiles.count, 256);
    EXPECT_STREQ(tiles_name(255), "@t255.png");
    load_tileinfo("name " + std::string(60, 'n') + "\naddtile\nname trailing  \naddtile\n");
    EXPECT_EQ(std::string(tiles_name(0)), std::string(47, 'n'));
    EXPECT_STREQ(tiles_name(1), "trailing  ");
    // No addtile at all: one default ground type so every lookup has a type.
    load_tileinfo("friction 1 1\n");
    EXPECT_EQ(tiles.count, 1);
}

TEST_F(TilesTest, TransitionCodes) {
    const char *names[] = {"dirt.png",       "grass.png",          "dirt-grass-0011.png",
                           "dirt-alt2.png",  "dirt-mud-0101.png",  "plain",
                           "dirt-grass.png", "dirt-grass-01x1.png"};
    EXPECT_EQ(tiles_transition_code(names, 8, 0), 0x000000);
    EXPECT_EQ(tiles_transition_code(names, 8, 1), 0x010100);
    EXPECT_EQ(tiles_transition_code(names, 8, 2), 0x000103);
    EXPECT_EQ(tiles_transition_code(names, 8, 3), 0x000000);
    EXPECT_EQ(tiles_transition_code(names, 8, 4), -256);
    EXPECT_EQ(tiles_transition_code(names, 8, 5), 0x050500);
    EXPECT_EQ(tiles_transition_code(names, 8, 6), 0x000100);
    EXPECT_EQ(tiles_transition_code(names, 8, 7), 0x000100);
    load_tileinfo("texture @ground/dirt.png\naddtile\ntexture @ground/grass.png\naddtile\n"
                  "texture @ground/dirt-grass-1000.png\naddtile\n");
    EXPECT_EQ(tiles_transition(2), 0x000108);
}

TEST_F(TilesTest, TexturelistKeepsTheLastCharacter) {
    write("0.9 4 12 dirt.png\n\n   sand.png\r\ngrass.png");
    data_file *f = data_open(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tiles_load_texturelist(f), 1);
    data_close(f);
    ASSERT_EQ(tiles.count, 3);
    ASSERT_EQ(textures.size(), 4u); // roost texture first
    EXPECT_EQ(textures[1], "@dirt.png");
    EXPECT_EQ(textures[2], "@sand.png");
    EXPECT_EQ(textures[3], "@grass.png");
    EXPECT_FLOAT_EQ(tiles_friction(0, 3.0f), 0.9f);
    float light, full;
    tiles_roll_resist(0, 3.0f, &light, &full);
    EXPECT_FLOAT_EQ(light, 4.0f);
    EXPECT_FLOAT_EQ(full, 12.0f);
    tiles_roll_resist(1, 3.0f, &light, &full);
    EXPECT_FLOAT_EQ(full, 15.0f);
    EXPECT_EQ(tiles_roost_get(1, 0)->kind, 1);
    EXPECT_EQ(tiles_roost_get(1, 1)->kind, 0);
}

TEST_F(TilesTest, TilemapClampsAndTileAtClampsCoordinates) {
    ASSERT_EQ(terrain_create(2, 1.5f, nullptr), 1); // 4 x 4 tiles of 3 ft
    std::string types;
    for (int i = 0; i < 10; i++)
        types += "texture t" + std::to_string(i) + ".png\naddtile\n";
    load_tileinfo(types);
    ASSERT_EQ(tiles.count, 10);
    std::string map(16, '\0');
    for (int i = 0; i < 16; i++)
        map[i] = (char)i;
    map[5] = (char)200;
    map.resize(14); // short file: the rest is type 0
    write(map);
    data_file *f = data_open(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(tilemap_load(f), 1);
    data_close(f);
    EXPECT_EQ(terrain.tile_map[5], 9);
    EXPECT_EQ(terrain.tile_map[12], 9); // 12 clamped
    EXPECT_EQ(terrain.tile_map[15], 0);
    EXPECT_EQ(tile_at(4.0f, 4.0f), 9);  // column 1, row 1
    EXPECT_EQ(tile_at(-3.0f, 0.0f), 0); // column 0
    EXPECT_EQ(tile_at(1e9f, 0.0f), 3);  // last column
    EXPECT_EQ(tile_at(INFINITY, -INFINITY), 3);
    EXPECT_EQ(tile_at(NAN, 3.5f), 4);
}

} // namespace
