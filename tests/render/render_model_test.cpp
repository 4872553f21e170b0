// ".jm" models: header forms, bone weights, tangents, bad triangles, levels of detail, the
// cache's generations and the "mesh2" export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "data/data_file.h"
#include "data/data_index.h"
#include "render/render_model.h"

namespace {

std::vector<std::string> logged;
void tap(const char *line) {
    logged.push_back(line);
}

int count_logged(const char *what) {
    int n = 0;
    for (auto &l : logged)
        if (l.find(what) != std::string::npos) n++;
    return n;
}

class ModelTest : public ::testing::Test {
  protected:
    std::string root;
    void SetUp() override {
        char r[] = "/tmp/zv_model_root_XXXXXX";
        ASSERT_NE(mkdtemp(r), nullptr);
        root = r;
        setenv("ZV_HOME", root.c_str(), 1);
        file_index_free();
        data_root_reset();
        logged.clear();
        model_log_tap = tap;
        model_cache.generation = 0;
    }
    void TearDown() override {
        model_sweep(1);
        model_cache.generation = 0;
        model_log_tap = nullptr;
        file_index_free();
        data_root_reset();
        std::string cmd = "rm -rf '" + root + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
    }
    void write(const std::string &name, const std::string &text) {
        std::string path = root + "/" + name;
        data_make_dirs(path.c_str());
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
    render_model *parse(const std::string &text) {
        write("m/t.jm", text);
        return model_parse("@m/t.jm");
    }
};

// One lit triangle; the block line and three vertices, with optional extra weights per vertex.
const char *triangle_block = "8 1 0.5 0.5 0.5 3 1\n"
                             "0 0 0  0 0 1  0 1\n"
                             "1 0 0  0 0 1  1 1\n"
                             "0 1 0  0 0 1  0 0\n"
                             "0 1 2\n";

TEST_F(ModelTest, HeaderForms) {
    render_model *m = parse(std::string("JM1\n") + triangle_block);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->next, nullptr);
    EXPECT_EQ(m->vertex_count, 3);
    EXPECT_EQ(m->triangle_count, 1);
    EXPECT_FLOAT_EQ(m->shininess, 8.0f);
    EXPECT_FLOAT_EQ(m->uvs[1], 0.0f); // stored v is 1 - v
    EXPECT_FLOAT_EQ(m->uvs[5], 1.0f);
    model_free(m);

    EXPECT_EQ(parse(std::string("JM3\n") + triangle_block), nullptr);
    EXPECT_EQ(parse(std::string("JM1\n")), nullptr); // no block
    EXPECT_EQ(parse("JM2 33 skel\n"), nullptr);      // more bones than the uniforms hold
    EXPECT_EQ(parse("JM2 -1 skel\n"), nullptr);

    // Legacy: "12 4", twelve vertices and four triangles, one block with fixed material.
    std::string legacy = "12 4\n";
    for (int i = 0; i < 12; i++) {
        int q = i / 3, k = i % 3;
        legacy += std::to_string(q * 2 + (k == 1)) + " " + std::to_string(k == 2) + " 0 0 0 1 " +
                  std::to_string(k == 1) + " " + std::to_string(k == 2) + "\n";
    }
    for (int t = 0; t < 4; t++)
        legacy += std::to_string(t * 3) + " " + std::to_string(t * 3 + 1) + " " +
                  std::to_string(t * 3 + 2) + "\n";
    m = parse(legacy);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->next, nullptr);
    EXPECT_EQ(m->vertex_count, 12);
    EXPECT_EQ(m->triangle_count, 4);
    EXPECT_EQ(m->bone_count, 0);
    EXPECT_FLOAT_EQ(m->shininess, 32.0f);
    EXPECT_FLOAT_EQ(m->factor, 1.0f);
    EXPECT_FLOAT_EQ(m->specular[2], 1.0f);
    model_free(m);
}

TEST_F(ModelTest, BlocksChainAndBrokenBlockEndsIt) {
    std::string two = std::string("JM1\n") + triangle_block +
                      "-1 0.5 1 0.5 0.25 3 1\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
                      "0 0 1 0 0 1 0 1\n0 1 2\n";
    render_model *m = parse(two);
    ASSERT_NE(m, nullptr);
    ASSERT_NE(m->next, nullptr);
    EXPECT_EQ(m->next->next, nullptr);
    EXPECT_FLOAT_EQ(m->factor, 1.0f); // factor only for negative S
    EXPECT_FLOAT_EQ(m->next->factor, 0.5f);
    EXPECT_EQ(m->environment, 1);
    model_free(m);

    // A second block that breaks off keeps the first.
    m = parse(std::string("JM1\n") + triangle_block + "8 1 1 1 1 3 1\n0 0 0 0 0 1\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->next, nullptr);
    EXPECT_EQ(m->environment, 0);
    model_free(m);

    // Absurd counts and non-finite numbers are refused, never allocated or used.
    EXPECT_EQ(parse("JM1\n8 1 1 1 1 99999999 1\n"), nullptr);
    EXPECT_EQ(parse("JM1\n8 1 1 1 1 -3 1\n"), nullptr);
    EXPECT_EQ(parse("JM1\n8 1 1 1 1 3 1\nnan 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
                    "0 1 0 0 0 1 0 1\n0 1 2\n"),
              nullptr);
}

TEST_F(ModelTest, BoneWeights) {
    std::string text = "JM2 6 skeleton\n8 1 1 1 1 3 1\n";
    // Vertex 0: six weights; vertex 1: six again (still one warning); vertex 2: all zero.
    text += "0 0 0 0 0 1 0 0  0.1 0.2 0.3 0.4 0.5 0.6\n";
    text += "1 0 0 0 0 1 1 0  0.6 0.5 0.4 0.3 0.2 0.1\n";
    text += "0 1 0 0 0 1 0 1  0 0 0 0 0 0\n0 1 2\n";
    render_model *m = parse(text);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->bone_count, 6);
    EXPECT_EQ(count_logged("Warning: vertex with more than 4 bone influences in '@m/t.jm'"), 1);
    // 0.5 displaces 0.1 (slot 0), 0.6 displaces 0.2 (slot 1).
    const int32_t want0[4] = {4, 5, 2, 3};
    const float sum0 = 0.5f + 0.6f + 0.3f + 0.4f;
    for (int s = 0; s < 4; s++) {
        EXPECT_EQ(m->bones[s], want0[s]);
        EXPECT_NEAR(m->weights[s], (want0[s] + 1) * 0.1f / sum0, 1e-6);
    }
    // Descending weights: the four strongest stay; weaker late ones never displace them.
    for (int s = 0; s < 4; s++)
        EXPECT_EQ(m->bones[4 + s], s);
    for (int s = 0; s < 4; s++) {
        EXPECT_FLOAT_EQ(m->weights[8 + s], 0.25f);
        EXPECT_EQ(m->bones[8 + s], 0);
    }
    model_free(m);

    // Four or fewer influences: no warning.
    logged.clear();
    m = parse("JM2 4 s\n8 1 1 1 1 3 1\n0 0 0 0 0 1 0 0 1 1 1 1\n1 0 0 0 0 1 1 0 0 0 2 0\n"
              "0 1 0 0 0 1 0 1 0 3 0 0\n0 1 2\n");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(count_logged("more than 4 bone"), 0);
    EXPECT_FLOAT_EQ(m->weights[4], 1.0f);
    EXPECT_EQ(m->bones[4], 2);
    model_free(m);

    // A vertex missing a weight breaks the only block.
    EXPECT_EQ(parse("JM2 2 s\n8 1 1 1 1 1 0\n0 0 0 0 0 1 0 0 1\n"), nullptr);
}

TEST_F(ModelTest, Tangents) {
    // A unit quad whose stored texture coordinates equal x and y (file v = 1 - y).
    render_model *m = parse("JM1\n8 1 1 1 1 4 2\n"
                            "0 0 0 0 0 1 0 1\n1 0 0 0 0 1 1 1\n1 1 0 0 0 1 1 0\n"
                            "0 1 0 0 0 1 0 0\n0 1 2 0 2 3\n");
    ASSERT_NE(m, nullptr);
    for (int v = 0; v < 4; v++) {
        EXPECT_NEAR(m->tangents[v * 3], 1.0f, 1e-6);
        EXPECT_NEAR(m->tangents[v * 3 + 1], 0.0f, 1e-6);
        EXPECT_NEAR(m->tangents[v * 3 + 2], 0.0f, 1e-6);
    }
    model_free(m);

    // No texture stretch: the tangent follows the longer edge; an unused vertex gets (1, 0, 0).
    m = parse("JM1\n8 1 1 1 1 4 1\n0 0 0 0 1 0 0 0\n0 0 3 0 1 0 0 0\n1 0 0 0 1 0 0 0\n"
              "5 5 5 0 1 0 0 0\n0 1 2\n");
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(m->tangents[2], 1.0f, 1e-6);
    EXPECT_NEAR(m->tangents[9], 1.0f, 1e-6);
    model_free(m);
}

TEST_F(ModelTest, BadTrianglesDeletedAndCounted) {
    render_model *m = parse("JM1\n8 1 1 1 1 3 4\n0 0 0 0 0 1 0 0\n1 0 0 0 0 1 1 0\n"
                            "0 1 0 0 0 1 0 1\n0 1 1\n0 1 2\n0 1 7\n-1 0 1\n");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->triangle_count, 1);
    EXPECT_EQ(m->triangles[0], 0);
    EXPECT_EQ(m->triangles[2], 2);
    EXPECT_EQ(count_logged("3 degenerate triangles deleted in @m/t.jm"), 1);
    model_free(m);
}

TEST_F(ModelTest, PovExportIsExact) {
    render_model *m = parse(std::string("JM1\n") + triangle_block);
    ASSERT_NE(m, nullptr);
    char *buf = nullptr;
    size_t len = 0;
    FILE *out = open_memstream(&buf, &len);
    ASSERT_EQ(model_export_pov(m, out), 1);
    fclose(out);
    const char *want = "mesh2 {\n"
                       "\tvertex_vectors {\n\t\t3\n\t\t<0.000000,0.000000,0.000000>,\n"
                       "\t\t<1.000000,0.000000,0.000000>,\n\t\t<0.000000,1.000000,0.000000>\n\t}\n"
                       "\tnormal_vectors {\n\t\t3\n\t\t<0.000000,0.000000,1.000000>,\n"
                       "\t\t<0.000000,0.000000,1.000000>,\n\t\t<0.000000,0.000000,1.000000>\n\t}\n"
                       "\tuv_vectors {\n\t\t3\n\t\t<0.000000,0.000000>,\n"
                       "\t\t<1.000000,0.000000>,\n\t\t<0.000000,1.000000>\n\t}\n"
                       "\tface_indices {\n\t\t1\n\t\t<0,1,2>\n\t}\n"
                       "}\n";
    EXPECT_EQ(std::string(buf, len), want);
    free(buf);
    model_free(m);

    // Two blocks are wrapped in a union.
    m = parse(std::string("JM1\n") + triangle_block + triangle_block);
    ASSERT_NE(m, nullptr);
    out = open_memstream(&buf, &len);
    ASSERT_EQ(model_export_pov(m, out), 1);
    fclose(out);
    std::string s(buf, len);
    EXPECT_EQ(s.rfind("union {\nmesh2 {\n", 0), 0u);
    EXPECT_EQ(s.substr(s.size() - 4), "}\n}\n");
    free(buf);
    model_free(m);
}

TEST_F(ModelTest, LevelsOfDetailByFileName) {
    std::string jm = std::string("JM1\n") + triangle_block;
    write("bike.jm", jm);
    write("bike_lod5.jm", jm);
    write("bike_lod4.jm", jm);
    write("bike_lodx.jm", jm);
    render_model *m = model_parse("@bike.jm");
    ASSERT_NE(m, nullptr);
    const char *files[] = {"bike.jm", "bike_lod5.jm", "bike_lod4.jm", "bike_lodx.jm", "bikes.jm"};
    model_find_lods(m, "@bike.jm", files, 5);
    ASSERT_NE(m->lod, nullptr);
    EXPECT_FLOAT_EQ(m->lod->lod_threshold, 16.0f);
    ASSERT_NE(m->lod->lod, nullptr);
    EXPECT_FLOAT_EQ(m->lod->lod->lod_threshold, 32.0f);
    EXPECT_EQ(m->lod->lod->lod, nullptr);

    // Choice: near keeps the full model; beyond a threshold (less the bias) the coarser one.
    EXPECT_EQ(model_choose_lod(m, 10 * 10, 0), m);
    EXPECT_EQ(model_choose_lod(m, 20 * 20, 0), m->lod);
    EXPECT_EQ(model_choose_lod(m, 40 * 40, 0), m->lod->lod);
    EXPECT_EQ(model_choose_lod(m, 10 * 10, 8), m->lod);
    EXPECT_EQ(model_choose_lod(m, 0, 40), m->lod->lod); // bias past every threshold
    model_free(m);
}

TEST_F(ModelTest, CacheGenerationsAndSweep) {
    std::string jm = std::string("JM1\n") + triangle_block;
    write("boot.jm", jm);
    write("track.jm", jm);
    write("old.jm", jm);

    render_model *boot = model_load("@boot.jm"); // before any track: generation 0
    ASSERT_NE(boot, nullptr);
    EXPECT_EQ(boot->generation, 0);
    EXPECT_EQ(model_load("@boot.jm"), boot);

    model_cache.generation = 1;
    render_model *old = model_load("@old.jm");
    ASSERT_NE(old, nullptr);
    model_cache.generation = 2;
    // The next track uses the start-up model and a new one; the start-up stamp stays 0.
    EXPECT_EQ(model_load("@BOOT.jm"), boot);
    EXPECT_EQ(count_logged("Warning: case mismatch on '@BOOT.jm'"), 1);
    EXPECT_EQ(boot->generation, 0);
    ASSERT_NE(model_load("@track.jm"), nullptr);
    model_sweep(0);
    EXPECT_EQ(model_cache.count, 2);
    EXPECT_EQ(model_find("@old.jm"), nullptr);

    // Several tracks later the start-up model is still there.
    model_cache.generation = 5;
    model_sweep(0);
    EXPECT_EQ(model_find("@boot.jm"), boot);
    EXPECT_EQ(model_cache.count, 1);

    EXPECT_EQ(model_load("@missing.jm"), nullptr);
    model_sweep(1);
    EXPECT_EQ(model_cache.count, 0);
}

} // namespace
