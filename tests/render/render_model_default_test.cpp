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
#include "render/render_model.h"

namespace {

std::vector<std::string> logged;
void tap(const char *line) { logged.push_back(line); }

class DefaultModels : public ::testing::Test {
  protected:
    std::string root;
    void SetUp() override
    {
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
    void TearDown() override
    {
        model_sweep(1);
        model_log_tap = nullptr;
        file_index_free();
        data_root_reset();
        std::string cmd = "rm -rf '" + root + "'";
        if (system(cmd.c_str()) != 0)
            ADD_FAILURE() << "cleanup failed";
    }
};

int triangles(const render_model *m)
{
    int n = 0;
    for (; m; m = m->next)
        n += m->triangle_count;
    return n;
}

TEST_F(DefaultModels, EveryNamedModelLoads)
{
    int checked = 0;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *bm = bike_model_get(i);
        ASSERT_NE(bm, nullptr);
        for (int f = 0; f < BIKE_FILE_COUNT; f++) {
            const char *name = bm->files[f];
            size_t len = strlen(name);
            if (len < 3 || strcmp(name + len - 3, ".jm"))
                continue;
            render_model *m = model_load(name);
            ASSERT_NE(m, nullptr) << name;
            EXPECT_GE(triangles(m), 12) << name;
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

TEST_F(DefaultModels, WheelsHaveCoarserLevels)
{
    render_model *w = model_load("@front_wheel.jm");
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->lod, nullptr);
    EXPECT_FLOAT_EQ(w->lod->lod_threshold, 64.0f);
    EXPECT_LT(triangles(w->lod), triangles(w));
}

} // namespace
