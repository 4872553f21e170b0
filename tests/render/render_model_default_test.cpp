// The models of the default data set: every model a bike or the start gate names loads, with
// real geometry and no degenerate triangles, and the wheels have their coarser levels.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bike/bike_model.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "race/race_robots.h"
#include "render/render_model.h"
#include "bike/bike.h"

namespace {

std::vector<std::string> logged;
void tap(const char *line) {
    logged.push_back(line);
}

class DefaultModels : public ::testing::Test {
  protected:
    std::string root;
    void SetUp() override {
        char r[] = "/tmp/zv_default_models_XXXXXX";
        ASSERT_NE(mkdtemp(r), nullptr);
        root = r;
        std::ifstream in(std::string(ZV_BINARY_DIR) + "/zzzz.saf", std::ios::binary);
        ASSERT_TRUE(in.good()) << "the default data set is built with the tests";
        std::stringstream ss;
        ss << in.rdbuf();
        std::ofstream out(root + "/zzzz.saf", std::ios::binary);
        out << ss.str();
        out.close();
        setenv("ZV_HOME", root.c_str(), 1);
        file_index_free();
        data_root_reset();
        ASSERT_NE(file_index_build(), nullptr); // the game indexes its data at start-up
        logged.clear();
        model_log_tap = tap;
    }
    void TearDown() override {
        model_sweep(1);
        model_log_tap = nullptr;
        file_index_free();
        data_root_reset();
        std::string cmd = "rm -rf '" + root + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
    }
};

int triangles(const render_model *m) {
    int n = 0;
    for (; m; m = m->next)
        n += m->triangle_count;
    return n;
}

TEST_F(DefaultModels, EveryNamedModelLoads) {
    int checked = 0;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *bm = bike_model_get(i);
        ASSERT_NE(bm, nullptr);
        for (int f = 0; f < BIKE_FILE_COUNT; f++) {
            const char *name = bm->files[f];
            size_t len = strlen(name);
            if (len < 3 || strcmp(name + len - 3, ".jm")) continue;
            render_model *m = model_load(name);
            ASSERT_NE(m, nullptr) << name;
            // Number plates are picture quads (the boards are part of the bike and body).
            bool plate = strstr(name, "plate") != nullptr;
            EXPECT_GE(triangles(m), plate ? 2 : 12) << name;
            for (const render_model *b = m; plate && b; b = b->next) {
                for (int v = 0; v < b->vertex_count * 2; v++) {
                    EXPECT_TRUE(b->uvs[v] == 0 || b->uvs[v] == 1) << name; // whole picture
                }
            }
            checked++;
        }
    }
    EXPECT_GT(checked, 100);
    render_model *gate = model_load("@startgate.jm");
    ASSERT_NE(gate, nullptr);
    EXPECT_GT(triangles(gate), 100);
    // A recognisable rider takes more than a few boxes.
    EXPECT_GT(triangles(model_load("@rider_body.jm")), 500);
    for (auto &l : logged)
        EXPECT_EQ(l.find("degenerate"), std::string::npos) << l;
}

TEST_F(DefaultModels, WheelsHaveCoarserLevels) {
    render_model *w = model_load("@front_wheel.jm");
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->lod, nullptr);
    EXPECT_FLOAT_EQ(w->lod->lod_threshold, 32.0f);
    EXPECT_LT(triangles(w->lod), triangles(w) / 2);
    ASSERT_NE(w->lod->lod, nullptr);
    EXPECT_FLOAT_EQ(w->lod->lod->lod_threshold, 64.0f);
    EXPECT_LT(triangles(w->lod->lod), triangles(w->lod));
    // Bike parts built from tubes have two: from 22 ft without the sky's reflection, from 64 ft
    // with fewer tube sides, costing much less to draw.
    render_model *f = model_load("@crf250_frame.jm");
    ASSERT_NE(f, nullptr);
    ASSERT_NE(f->lod, nullptr);
    EXPECT_NEAR(f->lod->lod_threshold, 22.6f, 0.1f);
    ASSERT_NE(f->lod->lod, nullptr);
    EXPECT_FLOAT_EQ(f->lod->lod->lod_threshold, 64.0f);
    EXPECT_LT(triangles(f->lod->lod), triangles(f) * 3 / 4);
}

// Chrome and paint mirror the sky: their reflection copies come after every lit block of the full
// level (coarse levels, seen from far off, go without), and the rider's helmet has them too; the
// environment map is in the data.
TEST_F(DefaultModels, ShinyPartsCarryReflectionBlocksLast) {
    for (const char *name : {"@crf250_frame.jm", "@crf250_fork_upper.jm", "@rider_head.jm"}) {
        render_model *m = model_load(name);
        ASSERT_NE(m, nullptr) << name;
        for (const render_model *level = m; level; level = level->lod) {
            EXPECT_EQ(level->environment, level == m) << name;
            int seen_reflection = 0;
            for (const render_model *b = level; b; b = b->next) {
                if (b->shininess == -1) {
                    seen_reflection = 1;
                    EXPECT_GT(b->factor, 0.0f);
                    EXPECT_LE(b->factor, 1.0f);
                } else {
                    EXPECT_FALSE(seen_reflection) << name << ": a lit block after a reflection";
                }
            }
        }
    }
    EXPECT_FALSE(model_load("@crf250_side_plates.jm")->environment);
    data_file *env = data_open("@sky-env.ppm", "rb");
    EXPECT_NE(env, nullptr) << "the environment map";
    if (env) data_close(env);
}

// Bounds of a model's full level, every block.
struct bounds {
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
};
bounds bounds_of(const render_model *m) {
    bounds b;
    for (; m; m = m->next)
        for (int v = 0; v < m->vertex_count; v++)
            for (int c = 0; c < 3; c++) {
                float x = m->positions[v * 3 + c];
                b.lo[c] = x < b.lo[c] ? x : b.lo[c];
                b.hi[c] = x > b.hi[c] ? x : b.hi[c];
            }
    return b;
}

// Parts are modelled in place on the whole bike (wheels around their axle), so each covers its
// body's place and the wheel reaches the ground exactly as the tyre does.
TEST_F(DefaultModels, PartsSitWhereTheirBodiesSit) {
    const bike_model *bm = bike_model_get(bike_model_find("crf250(2007)"));
    ASSERT_NE(bm, nullptr);
    const bike_geometry &g = bm->geo;
    struct {
        int file;
        const float *place;
    } parts[] = {{BIKE_FILE_FRAME_MODEL, g.frame_pos},
                 {BIKE_FILE_FORK_UPPER_MODEL, g.fork_upper_pos},
                 {BIKE_FILE_FORK_LOWER_MODEL, g.fork_lower_pos},
                 {BIKE_FILE_SWINGARM_MODEL, g.swingarm_pos},
                 {BIKE_FILE_BODY_MODEL, g.rider_pos}};
    for (auto &p : parts) {
        render_model *m = model_load(bm->files[p.file]);
        ASSERT_NE(m, nullptr) << bm->files[p.file];
        bounds b = bounds_of(m);
        for (int c = 0; c < 3; c++) {
            EXPECT_LT(b.lo[c], p.place[c] + 0.01f) << bm->files[p.file] << " axis " << c;
            EXPECT_GT(b.hi[c], p.place[c] - 0.01f) << bm->files[p.file] << " axis " << c;
        }
    }
    // The frame spans the wheelbase, above the ground and below the rider's shoulders.
    bounds f = bounds_of(model_load(bm->files[BIKE_FILE_FRAME_MODEL]));
    EXPECT_GT(f.lo[1], 0.3f);
    EXPECT_LT(f.hi[1], g.rider_pos[1]);
    EXPECT_GT(f.lo[2], g.front_wheel_pos[2]);
    EXPECT_LT(f.lo[2], g.fork_upper_pos[2]);
    EXPECT_GT(f.hi[2], g.rear_wheel_pos[2]);
    for (int w = 0; w < 2; w++) {
        render_model *m =
            model_load(bm->files[w ? BIKE_FILE_REAR_WHEEL_MODEL : BIKE_FILE_FRONT_WHEEL_MODEL]);
        ASSERT_NE(m, nullptr);
        bounds b = bounds_of(m);
        float outer = (w ? g.rear_ring_radius : g.front_ring_radius) + g.tire_radius;
        EXPECT_NEAR(b.hi[1], outer, 0.06f) << w;
        EXPECT_NEAR(b.lo[1], -outer, 0.06f) << w;
        EXPECT_NEAR(b.hi[2], outer, 0.06f) << w;
        EXPECT_LT(b.hi[0] - b.lo[0], 0.8f) << w; // a wheel, not a drum
    }
}

// The rider is skinned over the bike's seven bodies (legs follow the pegs, hands the bars), in
// every level of detail; the helmet and first-person body exist too.
TEST_F(DefaultModels, RiderIsSkinnedOverTheBikeBodies) {
    render_model *body = model_load("@rider_body.jm");
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->bone_count, BIKE_BODIES);
    ASSERT_NE(body->lod, nullptr);
    const render_model *coarse = body;
    for (const render_model *l = body->lod; l; l = l->lod) {
        EXPECT_EQ(l->bone_count, BIKE_BODIES);
        EXPECT_LT(triangles(l), triangles(coarse));
        coarse = l;
    }
    EXPECT_LT(triangles(coarse), triangles(body) / 2);
    render_model *fp = model_load("@rider_body_fp.jm");
    ASSERT_NE(fp, nullptr);
    EXPECT_LT(triangles(fp), triangles(body)); // no torso
    // Every vertex is weighted to the frame, the upper fork or the rider, and the three are used.
    int used[BIKE_BODIES] = {};
    for (const render_model *b = body; b; b = b->next)
        for (int v = 0; v < b->vertex_count; v++)
            for (int k = 0; k < 4; k++)
                if (b->weights[v * 4 + k] > 0) used[b->bones[v * 4 + k]]++;
    EXPECT_GT(used[BIKE_FRAME], 0);
    EXPECT_GT(used[BIKE_FORK_UPPER], 0);
    EXPECT_GT(used[BIKE_RIDER], 0);
    EXPECT_EQ(used[BIKE_FRONT_WHEEL] + used[BIKE_REAR_WHEEL] + used[BIKE_SWINGARM], 0);
    EXPECT_NE(model_load("@rider_head.jm"), nullptr);
}

// Every texture the bikes name and every robot's graphics exist in the data set: the bike
// family's own paint, the wheels, gear and helmet, and each robot's plastics under the graphics
// prefix of every menu entry.
TEST_F(DefaultModels, EveryPaintIsInTheDataSet) {
    auto exists = [](const std::string &name) {
        data_file *f = data_open(name.c_str(), "rb");
        if (f) data_close(f);
        return f != nullptr;
    };
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *bm = bike_model_get(i);
        for (int f : {BIKE_FILE_BIKE_TEXTURE, BIKE_FILE_WHEEL_TEXTURE, BIKE_FILE_HEAD_TEXTURE,
                      BIKE_FILE_BODY_TEXTURE})
            EXPECT_TRUE(exists(bm->files[f])) << bm->files[f];
    }
    for (int r = 0; r < RACE_ROBOT_COUNT; r++) {
        const race_robot &rb = race_robot_roster[r];
        EXPECT_TRUE(exists(std::string("@rider_head-") + rb.graphics[0] + ".png")) << r;
        EXPECT_TRUE(exists(std::string("@rider_body-") + rb.graphics[1] + ".png")) << r;
        for (int m = 0; m < BIKE_MODEL_COUNT; m++)
            EXPECT_TRUE(exists(std::string("@") + bike_menu_prefix(m) + rb.graphics[2] + ".png"))
                << bike_menu_prefix(m) << rb.graphics[2];
    }
}

} // namespace
