// Track objects: billboard tints and the editor's save, statue orientation rules and their
// collision orientation, the object grid, cameras, and the flaggers' race-state pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/zv_alloc.h"
#include "bike/bike_shape.h"
#include "track/track_flaggers.h"
#include "track/track_objects.h"
#include "track/track_terrain.h"

namespace {

struct Objects : ::testing::Test {
    void SetUp() override {
        std::vector<float> flat((129) * (129), 0.0f);
        for (int k = 0; k < 129; k++)
            for (int i = 0; i < 129; i++)
                flat[i + k * 129] = 0.05f * i; // rising along x
        terrain_create(6, 4.0f, flat.data());  // 512 ft
        objects_free();
    }
    void TearDown() override {
        objects_free();
        terrain_free();
        bike_shape_cache_clear();
    }
};

TEST_F(Objects, billboard_tints_round_trip_and_only_the_tracks_own_objects_are_saved) {
    int i = billboard_add(10, 1, 20, 4, 2, "#ff0000#banner.png");
    ASSERT_GE(i, 0);
    const track_billboard &b = objects.billboards[i];
    EXPECT_EQ(b.colour[0], 255);
    EXPECT_EQ(b.colour[1], 0);
    EXPECT_STREQ(b.name, "banner.png");
    EXPECT_NEAR(b.y, 0.05f * 10 / 4 + 1, 1e-4);
    objects.billboards[i].from_file = 1;
    billboard_add(30, 0, 30, 4, 1, "added_by_script.png"); // not from the file: not saved
    char *text = billboards_format();
    EXPECT_STREQ(text, "[10.000000 1.000000 20.000000] 4.000000 2.000000 #ff0000#banner.png\n");
    zv_free(text);
    int s = statue_add(50, 0, 50, 1, "null", "null", "null");
    objects.statues[s].from_file = 1;
    text = statues_format();
    EXPECT_STREQ(text, "[50.000000 0.000000 50.000000] 1.000000 null null null\n");
    zv_free(text);
}

TEST_F(Objects, statue_angles_turn_tilt_or_face_the_camera_and_collide_as_stored) {
    float r[9];
    EXPECT_NEAR(statue_orientation(100, 100, 4, r), 16, 1e-4); // faces the camera beyond 16
    EXPECT_EQ(r[0], 1);
    EXPECT_EQ(statue_orientation(100, 100, -7, r), 0);
    EXPECT_NEAR(r[0], cosf(-7), 1e-5); // upright, turned by -7
    EXPECT_NEAR(r[4], 1, 1e-6);
    statue_orientation(100, 100, 1, r); // turned by 1 and tilted to the slope along x
    float up[3] = {r[1], r[4], r[7]};
    EXPECT_NEAR(up[0], -0.0125f / sqrtf(1 + 0.0125f * 0.0125f), 1e-4);
    // A camera-facing statue turns to be drawn, never for the collision tests.
    ASSERT_TRUE(bike_shape_register("box.shp", "1 0 1 0 1 0.5 1000 100"));
    int s = statue_add(100, 0, 100, 4, "m.jm", "t.png", "box.shp");
    float cam[3] = {100, 5, 200};
    statues_face_camera(cam, 1, 0);
    const track_statue &st = objects.statues[s];
    EXPECT_NEAR(st.draw_rot[0], cosf(atan2f(0, 100)), 1e-5);
    cam[0] = 200, cam[2] = 100;
    statues_face_camera(cam, 1, 0);
    EXPECT_NEAR(st.draw_rot[2], 1, 1e-5); // turned a quarter toward +x
    EXPECT_EQ(st.body.rot[2], 0);
    EXPECT_EQ(st.body.rot[0], 1);
}

TEST_F(Objects, a_large_object_enters_every_cell_it_overlaps) {
    // Cells span the middle three quarters of the ground: 48 ft each on 512 ft.
    std::string big = "1 0 0 0 60 0.5 1000 100"; // 60 ft: wider than a cell
    ASSERT_TRUE(bike_shape_register("big.shp", big.c_str()));
    ASSERT_TRUE(bike_shape_register("small.shp", "1 0 0 0 1 0.5 1000 100"));
    int a = statue_add(256, 0, 256, -7, "null", "null", "big.shp");
    int b = statue_add(100, 0, 400, -7, "null", "null", "small.shp");
    objects_grid_rebuild();
    int cells = 0;
    for (int c = 0; c < OBJECTS_GRID * OBJECTS_GRID; c++)
        for (int e = 0; e < objects.grid_count[c]; e++)
            cells += objects.grid[c][e] == a;
    EXPECT_EQ(cells, 16); // 196..316 ft on both axes: cells 2 to 5
    int near[8];
    int n = objects_near(256 + 55, 256, 6, near, 8); // in a neighbouring cell
    ASSERT_EQ(n, 1);
    EXPECT_EQ(near[0], a);
    n = objects_near(100, 400, 6, near, 8);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(near[0], b);
    EXPECT_EQ(objects_cell(-1e30f), 0);
    EXPECT_EQ(objects_cell(NAN), 0);
    EXPECT_EQ(objects_cell(1e30f), OBJECTS_GRID - 1);
}

TEST_F(Objects, cameras_cover_their_gates_and_keep_their_field_of_view_in_range) {
    int n = cameras_parse("  fov 200\n gate 3 5\n  addcamera 10 12 20\nautofovsize -30\n"
                          "gate 7 2000 9\naddcamera 50 5 60\nfov 3\naddcamera 0 0 0\n");
    ASSERT_EQ(n, 3);
    EXPECT_EQ(camera_for_checkpoint(3), 0);
    EXPECT_EQ(camera_for_checkpoint(5), 0);
    EXPECT_EQ(camera_for_checkpoint(7), 1);
    EXPECT_EQ(camera_for_checkpoint(9), -1); // the list stopped at 2000
    EXPECT_EQ(camera_for_checkpoint(4), -1);
    EXPECT_EQ(camera_for_checkpoint(5000), -1);
    EXPECT_EQ(objects.cameras[0].fov, 170);
    EXPECT_NEAR(objects.cameras[0].pos[1], 12 + 0.05f * 10 / 4, 1e-4);
    EXPECT_EQ(objects.cameras[1].fov, 90);
    EXPECT_EQ(objects.cameras[1].autofov, 30);
    EXPECT_EQ(objects.cameras[2].fov, 10);
}

TEST_F(Objects, flaggers_follow_the_start_the_leaders_laps_and_fallen_riders) {
    flaggers_parse("[0 0 0] [10 0 0] 6 0.5 2 s0 s1 s2 s3 s4\n[5 0 5] 6 0.5 l0 l1 l2 l3\n"
                   "[1 0 1] 6 0.5 2000 -5 -1 -1 f0 f1\n",
                   12);
    ASSERT_EQ(flaggers.count, 1);
    EXPECT_EQ(flaggers.list[0].checkpoint[0], 11);
    EXPECT_EQ(flaggers.list[0].checkpoint[1], -1);
    // k = 2: the first picture until 5.1 s, the fourth from 6 s to 8 s while walking, then the
    // fifth standing at P2; k = 0 never divides.
    float w;
    EXPECT_EQ(flaggers_start_picture(5.05, 2, &w), 0);
    EXPECT_EQ(flaggers_start_picture(5.2, 2, &w), 1);
    EXPECT_EQ(flaggers_start_picture(6.5, 2, &w), 3);
    EXPECT_NEAR(w, 0.25f, 1e-6);
    EXPECT_EQ(flaggers_start_picture(8.5, 2, &w), 4);
    EXPECT_EQ(w, 1);
    flaggers_start_picture(6.5, 0, &w);
    EXPECT_TRUE(std::isfinite(w));
    // A 10-lap race over laps of 10 positions (halfway lap 5): the leader's next position ends
    // lap A.
    flagger_race_view v = {};
    v.lap_total = 10, v.halfway_lap = 5, v.laps = 10, v.first = 10, v.normal = 10;
    auto lap_pic = [&](int lap_ending) {
        v.leader_progress = lap_ending * 10 - 1;
        return flaggers_lap_picture(&v);
    };
    EXPECT_EQ(lap_pic(4), 0);
    EXPECT_EQ(lap_pic(5), 1);
    EXPECT_EQ(lap_pic(6), 0);
    EXPECT_EQ(lap_pic(9), 2);
    EXPECT_EQ(lap_pic(10), 3);
    EXPECT_EQ(flaggers_position_of(-3, 10, 10), 0);
    EXPECT_EQ(flaggers_position_of(25, 10, 10), 15);
    EXPECT_EQ(flaggers_position_of(25, 10, 0), 25);
    flaggers_free();
}

} // namespace
