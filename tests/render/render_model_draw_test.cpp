// Model passes on the recording GL: which blocks each pass draws, with their index counts, and
// the uploaded buffer sizes.
#include "render_gl_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "data/data_file.h"
#include "data/data_index.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"

namespace {

class ModelDrawTest : public FakeGl {
  protected:
    std::string root;
    void SetUp() override {
        FakeGl::SetUp();
        char r[] = "/tmp/zv_model_draw_XXXXXX";
        ASSERT_NE(mkdtemp(r), nullptr);
        root = r;
        setenv("ZV_HOME", root.c_str(), 1);
        file_index_free();
        data_root_reset();
        start();
        model_draw = {};
        model_draw.alpha = 1;
    }
    void TearDown() override {
        model_sweep(1);
        file_index_free();
        data_root_reset();
        std::string cmd = "rm -rf '" + root + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
        FakeGl::TearDown();
    }
    render_model *load(const std::string &text) {
        std::string path = root + "/d.jm";
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        return model_parse("@d.jm");
    }
};

std::string block(const char *material, int triangles) {
    std::string s = std::string(material) + " " + std::to_string(3 + triangles - 1) + " " +
                    std::to_string(triangles) + "\n";
    for (int v = 0; v < 2 + triangles; v++)
        s += std::to_string(v) + " " + std::to_string(v * v % 5) + " " + std::to_string(v % 2) +
             " 0 1 0 0.5 0.5\n";
    for (int t = 0; t < triangles; t++)
        s += std::to_string(t) + " " + std::to_string(t + 1) + " " + std::to_string(t + 2) + "\n";
    return s;
}

TEST_F(ModelDrawTest, PassesDrawTheirBlocks) {
    render_model *m =
        load("JM1\n" + block("8 1 1 1 1", 2) + block("-2 1 1 0 0", 1) + block("-1 0.5 1 1 1", 3));
    ASSERT_NE(m, nullptr);
    ASSERT_NE(m->vao, 0u);
    float at[3] = {0, 0, 0};

    // Block by block: one draw each, at its own place in the level's index buffer.
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    model_draw.block_by_block = 1;
    size_t before = fake_gl.draws.size();
    size_t calls = fake_gl.calls.size();
    EXPECT_EQ(model_draw_lit(m, at, 0, nullptr, nullptr, nullptr), 2);
    ASSERT_EQ(fake_gl.draws.size(), before + 2);
    EXPECT_TRUE(fake_gl.draws[before].indexed);
    EXPECT_EQ(fake_gl.draws[before].count, 6);
    EXPECT_EQ(fake_gl.draws[before + 1].count, 3);
    int second = fake_gl_find("glDrawElements", fake_gl_find("glDrawElements", (int)calls) + 1);
    ASSERT_GE(second, 0);
    EXPECT_EQ(fake_gl.calls[(size_t)second].args[3], 6 * 4) << "byte offset of the second block";
    EXPECT_EQ(model_draw.triangles, 3);

    // Batched: both lit blocks in one draw, each with its material in the arrays.
    model_draw.block_by_block = 0;
    before = fake_gl.draws.size();
    EXPECT_EQ(model_draw_lit(m, at, 0, nullptr, nullptr, nullptr), 2);
    ASSERT_EQ(fake_gl.draws.size(), before + 1);
    EXPECT_EQ(fake_gl.draws[before].count, 9);
    GLuint lit = zvglProgramHandle(ZVGL_PROGRAM_NORM_SPEC_LIT);
    const fake_gl_uniform_set *mats = fake_gl_last_uniform(lit, "u_materials");
    ASSERT_NE(mats, nullptr);
    ASSERT_EQ(mats->values.size(), 24u); // two materials of three vec4
    EXPECT_EQ(mats->values[11], 8.0f) << "shininess of the lit block";
    EXPECT_EQ(mats->values[12], 1.0f) << "the unshaded block's own colour";
    EXPECT_EQ(mats->values[13], 0.0f);
    EXPECT_EQ(mats->values[16], 0.0f) << "and no diffuse light";
    EXPECT_EQ(model_draw.triangles, 6);

    before = fake_gl.draws.size();
    EXPECT_EQ(model_draw_reflections(m, at, 0, nullptr, nullptr, nullptr), 1);
    ASSERT_EQ(fake_gl.draws.size(), before + 1);
    EXPECT_EQ(fake_gl.draws[before].count, 9);

    model_draw.reflections = 1;
    EXPECT_EQ(model_wants_reflections(m, at), 1);
    model_draw.reflections = 0;
    EXPECT_EQ(model_wants_reflections(m, at), 0);
    model_free(m);
}

// Trailing reflection blocks go in one draw with their tints by block number; a lit block after
// a reflection block breaks the range, and each is then drawn alone.
TEST_F(ModelDrawTest, ReflectionBlocksDrawAsOneWhenLast) {
    zvglUseProgram(ZVGL_PROGRAM_NORM_ENV);
    render_model *m = load("JM1\n" + block("8 1 1 1 1", 1) + block("-1 0.5 1 1 1", 2) +
                           block("-1 0.25 1 0 0", 3));
    ASSERT_NE(m, nullptr);
    float at[3] = {0, 0, 0};
    size_t before = fake_gl.draws.size();
    EXPECT_EQ(model_draw_reflections(m, at, 0, nullptr, nullptr, nullptr), 2);
    ASSERT_EQ(fake_gl.draws.size(), before + 1);
    EXPECT_EQ(fake_gl.draws[before].count, 15);
    const fake_gl_uniform_set *tint =
        fake_gl_last_uniform(zvglProgramHandle(ZVGL_PROGRAM_NORM_ENV), "u_materials");
    ASSERT_NE(tint, nullptr);
    ASSERT_EQ(tint->values.size(), 36u);
    EXPECT_EQ(tint->values[12 + 8], 0.5f) << "second block's tint";
    EXPECT_EQ(tint->values[24 + 8], 0.25f);
    EXPECT_EQ(tint->values[24 + 9], 0.0f);
    model_free(m);

    m = load("JM1\n" + block("-1 0.5 1 1 1", 2) + block("8 1 1 1 1", 1) +
             block("-1 0.25 1 0 0", 3));
    ASSERT_NE(m, nullptr);
    before = fake_gl.draws.size();
    EXPECT_EQ(model_draw_reflections(m, at, 0, nullptr, nullptr, nullptr), 2);
    EXPECT_EQ(fake_gl.draws.size(), before + 2);
    model_free(m);
}

TEST_F(ModelDrawTest, ReflectionFirstBlockDrawsNothingLit) {
    render_model *m = load("JM1\n" + block("-1 1 1 1 1", 1) + block("8 1 1 1 1", 1));
    ASSERT_NE(m, nullptr);
    float at[3] = {0, 0, 0};
    size_t before = fake_gl.draws.size();
    EXPECT_EQ(model_draw_lit(m, at, 0, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(fake_gl.draws.size(), before);
    model_free(m);
}

TEST_F(ModelDrawTest, SkinnedUploadCarriesWeightsAndBones) {
    render_model *m = load("JM2 2 s\n8 1 1 1 1 3 1\n0 0 0 0 1 0 0 0 1 0\n1 0 0 0 1 0 1 0 0 1\n"
                           "0 0 1 0 1 0 0 1 1 1\n0 1 2\n");
    ASSERT_NE(m, nullptr);
    bool found = false;
    for (const auto &c : fake_gl.calls)
        if (c.name == "glBufferData" && c.args.size() >= 2 && c.args[1] == 3 * 76) found = true;
    EXPECT_TRUE(found) << "vertex buffer of 3 x 76 bytes";
    model_free(m);
}

} // namespace
