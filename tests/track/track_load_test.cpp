// The track list, the loading sequence and its log, reuse and forced reloads, the fingerprint,
// terrain load failures and the track info file.
#include "track_fixture.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "base/zv_sha1.h"
#include "track/track_status.h"
#include "track/track_tiles.h"

namespace track_test {
namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

using TrackList = TrackFixture;

TEST_F(TrackList, ScanNamesSortsAndListsEachTrackOnce) {
    write_track("tracks/b", "Same name\r\nsecond line");
    write_track("tracks/a", "same name\n");
    write_track("tracks/zz", "Alpha");
    write_track("tracks/c");
    write_gz("tracks/c/terrain.hf.gz", "1 1 0 1\n"); // stored twice: listed once
    write("tracks/notrack/terrain.hfx", "x");
    EXPECT_EQ(track_scan(), 4);
    ASSERT_EQ(track_list.count, 4);
    EXPECT_STREQ(track_list.long_names[0], "Alpha");
    EXPECT_STREQ(track_list.dirs[0], "tracks/zz");
    // Equal long names (ignoring case) both appear.
    EXPECT_STREQ(track_list.long_names[1], "same name");
    EXPECT_STREQ(track_list.long_names[2], "Same name");
    EXPECT_STREQ(track_list.dirs[3], "tracks/c");
    EXPECT_STREQ(track_list.long_names[3], "tracks/c");
    EXPECT_EQ(track_list_find("TRACKS/ZZ"), 0);
}

using TrackLoad = TrackFixture;

TEST_F(TrackLoad, HeadlessLoadLogsItsStepsInOrder) {
    write_track("tracks/a", "Track A");
    write("tracks/a/billboards", "whatever\n");
    track_scan();
    log_lines().clear();
    ASSERT_EQ(load("tracks/a"), 1);
    const char *expected[] = {
        "Resetting\n",
        "Remembering lines\n",
        "Cleaning up\n",
        "Deallocating bikes\n",
        "Finished deallocating bikes\n",
        "Scanning\n",
        "Loading terrain\n",
        "Loading heights\n",
        "Loading shadows\n",
        "Loading tileinfo\n",
        "Loading tilemap\n",
        "Creating terrain texture pyramid\n",
        "Detail level 0 is 256x256 covering 4x4 height elements\n",
        "Loading flaggers\n",
        "Loading billboards\n",
        "Loading map\n",
        "Analyzing lines\n",
        "Loading bikes\n",
        "Loading track script\n",
        "0 MB texture memory used\n",
        "Max loading delay was ",
        "Setting working set range to ",
        "Working set update failed\n",
        "Priority ",
    };
    const auto &lines = log_lines();
    ASSERT_EQ(lines.size(), sizeof expected / sizeof expected[0]) << [&] {
        std::string all;
        for (auto &l : lines)
            all += l;
        return all;
    }();
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << i << ": " << lines[i];
    EXPECT_STREQ(track_loaded.dir, "tracks/a");
    EXPECT_STREQ(track_loaded.long_name, "Track A");
    EXPECT_EQ(terrain.size, 5);
    EXPECT_EQ(tiles.count, 2);
    EXPECT_EQ(tile_at(5.0f, 5.0f), 1); // 5 clamped to the last type
    EXPECT_EQ(tile_at(5.0f, 3.0f), 1);
    EXPECT_EQ(tile_at(3.0f, 3.0f), 0);
    EXPECT_FLOAT_EQ(terrain_height(2.0f, 4.0f), (1 + 2 * 5) * 1.0f);
    EXPECT_EQ(track_loaded.first_lap_gates, 2);
    EXPECT_EQ(track_loaded.normal_lap_gates, 3);
}

TEST_F(TrackLoad, RestartReusesTheTrackUntilForceReload) {
    write_track("tracks/a");
    write_track("tracks/b");
    track_scan();
    ASSERT_EQ(load("tracks/a"), 1);
    int loads = track_loaded.load_count;
    uint8_t fp[TRACK_FINGERPRINT_SIZE];
    memcpy(fp, track_fingerprint(), sizeof fp);
    log_lines().clear();
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_EQ(track_loaded.load_count, loads);
    EXPECT_EQ(count_containing("Loading terrain"), 0);
    EXPECT_EQ(memcmp(fp, track_fingerprint(), sizeof fp), 0);

    track_force_reload();
    EXPECT_EQ(count_containing("Track will be reloaded on next restart"), 1);
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_EQ(track_loaded.load_count, loads + 1);
    EXPECT_EQ(count_containing("Loading terrain"), 1);
    EXPECT_EQ(count_containing("Deallocating track\n"), 1);
    EXPECT_EQ(track_loaded.force_reload, 0);
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_EQ(track_loaded.load_count, loads + 1);
    // Another track is always loaded.
    ASSERT_EQ(load("tracks/b"), 1);
    EXPECT_EQ(track_loaded.load_count, loads + 2);
    EXPECT_STREQ(track_loaded.dir, "tracks/b");
}

std::string fingerprint_hex() {
    char hex[ZV_SHA1_HEX_SIZE];
    return zv_sha1_hex(track_fingerprint(), hex);
}

TEST_F(TrackLoad, FingerprintCoversTheRightFilesInTheirPlainForm) {
    write_track("tracks/a");
    write_track("tracks/g", nullptr, true);
    const char *gates = "checkpoints:\n1 [0 0 0] [1 0 0]\nfirstlap:\n0 0 0\nnormallap:\n0 0 0\n";
    write("tracks/a/timing_gates", gates);
    write("tracks/g/timing_gates", gates);
    track_scan();
    ASSERT_EQ(load("tracks/a"), 1);
    std::string plain = fingerprint_hex();
    ASSERT_EQ(load("tracks/g"), 1);
    EXPECT_EQ(fingerprint_hex(), plain); // the inflated bytes are hashed

    // The expected digest: the files that exist, in their order.
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    for (const char *f : {"terrain.hf", "tilemap", "tileinfo", "timing_gates"}) {
        std::string bytes = read_file(root + "/tracks/a/" + f);
        zv_sha1_update(&c, bytes.data(), bytes.size());
    }
    uint8_t digest[20];
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1_final(&c, digest);
    EXPECT_EQ(plain, zv_sha1_hex(digest, hex));

    write("tracks/a/billboards", "[1 2 3] tree.png\n");
    write("tracks/a/lighting", "sun 1 2 3\n");
    write("tracks/a/flaggers", "x\n");
    write("tracks/a/cameras", "y\n");
    track_force_reload();
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_EQ(fingerprint_hex(), plain);

    write("tracks/a/timing_gates", std::string(gates) + "# moved\n");
    track_force_reload();
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_NE(fingerprint_hex(), plain);
    std::string with_comment = fingerprint_hex();
    write("tracks/a/statues", "[0 0 0] 0 bale.jm bale.png bale.shp\n");
    track_force_reload();
    ASSERT_EQ(load("tracks/a"), 1);
    EXPECT_NE(fingerprint_hex(), with_comment);
}

TEST_F(TrackLoad, FailedTerrainLeavesNoTrack) {
    write_track("tracks/a");
    track_scan();
    ASSERT_EQ(load("tracks/a"), 1);
    struct bad_case {
        const char *dir;
        std::string hf;
        const char *message;
    } cases[] = {
        {"tracks/missing", "", "Can't open '@tracks/missing/terrain.hf'"},
        {"tracks/exp13", "13 1 0 1\n", "Bad height field parameters"},
        {"tracks/exp0", "0 1 0 1\n", "Bad height field parameters"},
        {"tracks/neg", "2 -1 0 1\n", "Bad height field parameters"},
        {"tracks/zero", "2 0 0 1\n", "Bad height field parameters"},
        {"tracks/tiny", "2 0.00001 0 1\n", "Bad height field parameters"},
        {"tracks/wide", "2 20000 0 1\n", "Bad height field parameters"},
        {"tracks/tall", "2 1 -1 3e30\n", "Bad height field parameters"},
        {"tracks/three", "2 1 0\n", "Error reading heights"},
        {"tracks/short", "1 1 0 1\n:" + std::string(49, '\x01'), "Error reading heights"},
    };
    for (auto &c : cases) {
        if (!c.hf.empty()) {
            write(std::string(c.dir) + "/terrain.hf", c.hf);
            write(std::string(c.dir) + "/tileinfo", "addtile\n");
            write(std::string(c.dir) + "/tilemap", "");
        }
        log_lines().clear();
        EXPECT_EQ(load(c.dir), 0) << c.dir;
        EXPECT_EQ(track_loaded.dir, nullptr);
        EXPECT_FALSE(terrain_present());
        static const uint8_t zero[TRACK_FINGERPRINT_SIZE] = {};
        EXPECT_EQ(memcmp(track_fingerprint(), zero, sizeof zero), 0);
        EXPECT_EQ(count_containing(c.message), 1) << c.dir;
        EXPECT_EQ(count_containing("Loading bikes"), 0);
    }
    // Missing tile files.
    write("tracks/notiles/terrain.hf", "1 1 0 1\n");
    write("tracks/notiles/tilemap", "");
    log_lines().clear();
    EXPECT_EQ(load("tracks/notiles"), 0);
    EXPECT_EQ(count_containing("Can't open '@tracks/notiles/texturelist'"), 1);
    write("tracks/nomap/terrain.hf", "1 1 0 1\n");
    write("tracks/nomap/texturelist", "dirt.png\n");
    log_lines().clear();
    EXPECT_EQ(load("tracks/nomap"), 0);
    EXPECT_EQ(count_containing("Can't open '@tracks/nomap/tilemap'"), 1);
    // The next attempt on a good track loads again.
    EXPECT_EQ(load("tracks/a"), 1);
}

TEST_F(TrackLoad, HeightSourcesAndShadows) {
    // Without ':' and without terrain.png: flat at the bottom height.
    write("tracks/flat/terrain.hf", "2 1.5 -3 10\n");
    write("tracks/flat/texturelist", "dirt.png");
    write("tracks/flat/tilemap", "");
    ASSERT_EQ(load("tracks/flat"), 1);
    EXPECT_EQ(terrain.size, 9);
    EXPECT_FLOAT_EQ(terrain_height(4.4f, 7.1f), -3.0f);
    EXPECT_FLOAT_EQ(terrain.spacing, 1.5f);
    EXPECT_FLOAT_EQ(terrain.extent, 12.0f);

    // A 16-bit terrain.png smaller than the grid repeats its last row and column.
    write("tracks/png/terrain.hf", "1 1 0 65535\n");
    write_png("tracks/png/terrain.png", 3, 2, 1, 16, {0, 1, 65535, 300, 301, 40000});
    write("tracks/png/tileinfo", "addtile\n");
    write("tracks/png/tilemap", "");
    ASSERT_EQ(load("tracks/png"), 1);
    EXPECT_FLOAT_EQ(terrain.heights[1], 1.0f); // full 16-bit depth
    EXPECT_FLOAT_EQ(terrain.heights[4], 65535.0f);
    EXPECT_FLOAT_EQ(terrain.heights[4 + 4 * 5], 40000.0f);
    EXPECT_FLOAT_EQ(terrain.heights[0 + 3 * 5], 300.0f);
    EXPECT_FLOAT_EQ(terrain.top, 65535.0f);
    EXPECT_FLOAT_EQ(terrain.bottom, 0.0f);

    // An 8-bit grey picture is widened by repetition; a colour one is turned grey.
    write("tracks/png8/terrain.hf", "1 1 0 65535\n");
    write_png("tracks/png8/terrain.png", 1, 1, 1, 8, {2});
    write("tracks/png8/tileinfo", "addtile\n");
    write("tracks/png8/tilemap", "");
    ASSERT_EQ(load("tracks/png8"), 1);
    EXPECT_FLOAT_EQ(terrain.heights[12], 514.0f);
    write_png("tracks/png8/terrain.png", 1, 1, 3, 8, {255, 255, 255});
    track_force_reload();
    ASSERT_EQ(load("tracks/png8"), 1);
    EXPECT_FLOAT_EQ(terrain.heights[0], 65535.0f);

    // Shadows: inverted into the light map; the wrong size fails the load.
    write_track("tracks/shade");
    std::string pgm = "P5\n5 5\n255\n";
    for (int i = 0; i < 25; i++)
        pgm += (char)(i * 10);
    write("tracks/shade/shadows.pgm", pgm);
    ASSERT_EQ(load("tracks/shade"), 1);
    EXPECT_EQ(terrain.light_map[0], 255);
    EXPECT_EQ(terrain.light_map[24], 255 - 240);
    write("tracks/shade/shadows.pgm", "P5\n3 3\n255\n123456789");
    track_force_reload();
    log_lines().clear();
    EXPECT_EQ(load("tracks/shade"), 0);
    EXPECT_EQ(count_containing("Bad shadow dimensions (3x3)\n"), 1);
    write("tracks/shade/shadows.pgm", "P5\n5 x\n");
    EXPECT_EQ(load("tracks/shade"), 0);
    EXPECT_EQ(count_containing("Error reading shadows"), 1);
}

TEST_F(TrackLoad, DetailLevelsFollowTheSpacing) {
    terrain_texture_detail = 0;
    write("tracks/big/terrain.hf", "9 0.25 0 1\n");
    write("tracks/big/tileinfo", "addtile\n");
    write("tracks/big/tilemap", "");
    ASSERT_EQ(load("tracks/big"), 1);
    // s = 0.25: c0 = 256 (the first with c0 * s >= 64), c1 = 1024, then the whole grid.
    EXPECT_EQ(terrain.detail[0].coverage, 256);
    EXPECT_EQ(terrain.detail[1].coverage, 1024);
    EXPECT_EQ(terrain.detail[2].coverage, 1024);
    EXPECT_EQ(count_containing("Detail level 0 is 128x128 covering 256x256 height elements\n"), 1);
    EXPECT_EQ(terrain.tile_map != nullptr, true);
    EXPECT_EQ(terrain.size, 1025);
    write("tracks/coarse/terrain.hf", "5 2 0 1\n");
    write("tracks/coarse/tileinfo", "addtile\n");
    write("tracks/coarse/tilemap", "");
    log_lines().clear();
    ASSERT_EQ(load("tracks/coarse"), 1);
    // 65 heights: 64 is below 65 (fine level), 256 is not; then the whole grid.
    EXPECT_EQ(count_containing("Detail level 0 is 128x128 covering 64x64 height elements\n"), 1);
    EXPECT_EQ(count_containing("Detail level 1 is 128x128 covering 64x64 height elements\n"), 1);
    EXPECT_EQ(count_containing("Detail level 2"), 0);
    terrain_texture_detail = 1;
}

TEST_F(TrackLoad, SaveTrackInfo) {
    EXPECT_EQ(track_save_info(), 0); // nothing loaded: nothing written
    write_track("tracks/a", "Valley");
    track_scan();
    ASSERT_EQ(load("tracks/a"), 1);
    log_lines().clear();
    ASSERT_EQ(track_save_info(), 1);
    std::string info = read_file(home + "/Zelvo/tracks/a.trackinfo");
    EXPECT_EQ(info, "dir=tracks/a\nlongname=Valley\nfirstlap=0\nnormallap=0\ngatecount=0\nhash=" +
                        fingerprint_hex() + "\n");
    EXPECT_EQ(count_containing("Track info saved to tracks/a.trackinfo"), 1);
}

struct texture_record {
    std::vector<std::string> made;
    std::vector<unsigned> deleted;
    unsigned next = 100;
    float spacing = 0, inv_cells = 0;
} textures;

unsigned make_height(const float *, int stride, int w, int h) {
    textures.made.push_back("height " + std::to_string(stride) + " " + std::to_string(w) + "x" +
                            std::to_string(h));
    return ++textures.next;
}
unsigned make_light(const uint8_t *, int stride, int w, int h) {
    textures.made.push_back("light " + std::to_string(stride) + " " + std::to_string(w) + "x" +
                            std::to_string(h));
    return ++textures.next;
}
unsigned make_rgb(const uint8_t *rgb, int t) {
    // The test pattern: a blue border around a checkerboard.
    bool border = rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 255;
    const uint8_t *inner = rgb + ((size_t)1 * t + 1) * 3;
    textures.made.push_back("rgb " + std::to_string(t) + (border ? " border" : "") +
                            (inner[0] == inner[2] ? " grey" : ""));
    return ++textures.next;
}
void delete_texture(unsigned tex) {
    textures.deleted.push_back(tex);
}
void uniforms(float s, float inv) {
    textures.spacing = s, textures.inv_cells = inv;
}

TEST_F(TrackLoad, TexturesGoThroughTheRenderHooksAndAreFreed) {
    textures = texture_record();
    track_render.height_texture_create = make_height;
    track_render.light_texture_create = make_light;
    track_render.rgb_texture_create = make_rgb;
    track_render.texture_delete = delete_texture;
    track_render.terrain_uniforms = uniforms;
    terrain_texture_detail = 0;
    write("tracks/t/terrain.hf", "6 1.5 0 1\n"); // 129 heights: levels of 64 and 128
    write("tracks/t/tileinfo", "addtile\n");
    write("tracks/t/tilemap", "");
    int ok = load("tracks/t");
    track_unload();
    track_render = track_render_hooks();
    terrain_texture_detail = 1;
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(textures.made.size(), 2u + 3u * 3u);
    EXPECT_EQ(textures.made[0], "height 129 128x128");
    EXPECT_EQ(textures.made[1], "light 129 128x128");
    EXPECT_EQ(textures.made[2], "rgb 128 border grey");
    EXPECT_FLOAT_EQ(textures.spacing, 1.5f);
    EXPECT_FLOAT_EQ(textures.inv_cells, 1.0f / 128.0f);
    // Every texture made is deleted once when the track goes.
    std::vector<unsigned> deleted = textures.deleted;
    std::sort(deleted.begin(), deleted.end());
    ASSERT_EQ(deleted.size(), textures.made.size());
    for (size_t i = 0; i < deleted.size(); i++)
        EXPECT_EQ(deleted[i], 101 + i);
}

TEST_F(TrackLoad, VerboseLevelTwoLogsTheSampleDigest) {
    std::vector<uint16_t> samples(25);
    std::string bytes;
    for (int i = 0; i < 25; i++) {
        samples[i] = (uint16_t)(i * 2617 + 3);
        bytes += (char)(samples[i] & 0xff);
        bytes += (char)(samples[i] >> 8);
    }
    write("tracks/v/terrain.hf", inline_hf(1, 1, 0, 1, samples));
    write("tracks/v/tileinfo", "addtile\n");
    write("tracks/v/tilemap", "");
    uint8_t digest[20];
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1(bytes.data(), bytes.size(), digest);
    zv_sha1_hex(digest, hex);
    track_verbose = 2;
    int ok = load("tracks/v");
    track_verbose = 0;
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(count_containing(std::string(hex) + "\n"), 1);
    EXPECT_EQ(count_containing("Loading '@tracks/v'\n"), 1);
    EXPECT_EQ(count_containing("0 cameras found\n"), 1);
    EXPECT_NEAR(terrain_height(1, 0), samples[1] / 65535.0, 1e-6);
}

std::vector<std::string> steps;
int created_bikes;
const char *shape_names[] = {"@tracks/a/bale.shp", "@gate.shp"};

void step(const std::string &s) {
    steps.push_back(s);
}

void install_step_hooks() {
    steps.clear();
    created_bikes = 0;
    track_steps = track_step_hooks();
    track_steps.robots_shuffle = [] { step("shuffle"); };
    track_steps.robot_lines_save = [] { step("lines_save"); };
    track_steps.demo_finish = [] { step("demo_finish"); };
    track_steps.bikes_destroy = [] { step("bikes_destroy"); };
    track_steps.race_limits_set = [](int net, int limit, int laps) {
        step("limits " + std::to_string(net) + " " + std::to_string(limit) + " " +
             std::to_string(laps));
    };
    track_steps.script_reset = [] { step("script_reset"); };
    track_steps.lighting_load = [](const char *d) { step(std::string("lighting ") + d); };
    track_steps.decals_load = [](const char *d) { step(std::string("decals ") + d); };
    track_steps.gates_load = [](const char *d) { step(std::string("gates ") + d); };
    track_steps.roost_pool_create = [] { step("roost_pool"); };
    track_steps.flaggers_load = [](const char *) { step("flaggers"); };
    track_steps.billboards_load = [](const char *) {
        step("billboards");
        return 1;
    };
    track_steps.statues_load = [](const char *) {
        step("statues");
        return 1;
    };
    track_steps.map_load = [](const char *) { step("map"); };
    track_steps.object_grid_rebuild = [] { step("object_grid"); };
    track_steps.object_shape_files = [](const char **names, int max) {
        step("shapes");
        int n = 0;
        for (const char *s : shape_names)
            if (n < max) names[n++] = s;
        return n;
    };
    track_steps.cameras_load = [](const char *) {
        step("cameras");
        return 2;
    };
    track_steps.lineup_set = [](const int *riders) {
        step(riders ? "lineup given" : "lineup none");
    };
    track_steps.robot_lines_load = [](const char *d, int level) {
        step(std::string("lines_load ") + d + " " + std::to_string(level));
    };
    track_steps.bike_create = [](int slot) { return slot < 3 ? ++created_bikes, 1 : 0; };
    track_steps.bikes_finish = [] { step("bikes_finish " + std::to_string(created_bikes)); };
    track_steps.demo_record_start = [] { step("demo_record"); };
    track_steps.script_run = [](const char *name, int frills) {
        step(std::string("script ") + name + " " + std::to_string(frills));
    };
    track_steps.race_reset = [] { step("race_reset"); };
    track_steps.bike_setup_apply = [] { step("setup"); };
}

TEST_F(TrackLoad, StepsOfOtherModulesRunInOrder) {
    write_track("tracks/a");
    write("tracks/a/statues", "statue\n");
    write("tracks/a/bale.shp", "bale shape");
    write("gate.shp", "gate shape");
    write("tracks/a/frills.js", "// frills\n");
    file_index_build();
    install_step_hooks();
    int riders[TRACK_SLOTS] = {};
    track_select("tracks/a");
    int ok = track_load(riders, 0, 1, 5000, 7, 2);
    std::vector<std::string> first = steps;
    // The same track again: only the steps after the files run, lines are saved first.
    steps.clear();
    int again = track_load(nullptr, 0, 0, 0, 4, 0);
    std::vector<std::string> second = steps;
    track_steps = track_step_hooks();
    ASSERT_EQ(ok, 1);
    ASSERT_EQ(again, 1);
    std::vector<std::string> expected = {
        "shuffle",
        "demo_finish",
        "bikes_destroy",
        "limits 0 5000 7",
        "script_reset",
        "lighting tracks/a",
        "decals @tracks/a",
        "gates tracks/a",
        "roost_pool",
        "flaggers",
        "statues",
        "map",
        "object_grid",
        "shapes",
        "cameras",
        "lineup given",
        "lines_load tracks/a 2",
        "bikes_finish 3",
        "demo_record",
        "script @tracks/a/frills.js 1",
        "race_reset",
        "setup",
    };
    EXPECT_EQ(first, expected);
    std::vector<std::string> expected_again = {
        "shuffle",        "lines_save",
        "demo_finish",    "bikes_destroy",
        "limits 0 0 4",   "script_reset",
        "lineup none",    "lines_load tracks/a 0",
        "bikes_finish 6", "script @tracks/a/frills.js 1",
        "race_reset",     "setup",
    };
    EXPECT_EQ(second, expected_again);
    // The shape files are hashed after the statues, in the order given.
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    for (const char *f : {"tracks/a/terrain.hf", "tracks/a/tilemap", "tracks/a/tileinfo",
                          "tracks/a/statues", "tracks/a/bale.shp", "gate.shp"}) {
        std::string bytes = read_file(root + "/" + f);
        zv_sha1_update(&c, bytes.data(), bytes.size());
    }
    uint8_t digest[20];
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1_final(&c, digest);
    EXPECT_EQ(fingerprint_hex(), zv_sha1_hex(digest, hex));
}

TEST(TrackWorkingSet, RangeFromPhysicalMemory) {
    const uint64_t MiB = 1024 * 1024;
    uint32_t lo = 0, hi = 0;
    EXPECT_EQ(track_working_set_range(63 * MiB, &lo, &hi), 0);
    ASSERT_EQ(track_working_set_range(64 * MiB, &lo, &hi), 1);
    EXPECT_EQ(hi, 32 * MiB);
    EXPECT_EQ(lo, 32 * MiB);
    ASSERT_EQ(track_working_set_range(2048 * MiB, &lo, &hi), 1);
    EXPECT_EQ(hi, 2016 * MiB);
    EXPECT_EQ(lo, 1024 * MiB);
    ASSERT_EQ(track_working_set_range(64 * 1024 * MiB, &lo, &hi), 1);
    EXPECT_EQ(hi, 2016 * MiB);
    EXPECT_EQ(lo, 1024 * MiB);
}

} // namespace
} // namespace track_test
