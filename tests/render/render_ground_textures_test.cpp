// Ground texture levels on the recording GL: what each redraw step draws (tile runs, the light
// map through "terrain_normals", the matte specular base) and the ground program's set-up.
#include "render_gl_fixture.h"

#include <cstring>

#include "render/render_ground_levels.h"
#include "render/render_ground_textures.h"
#include "track/track_lighting.h"
#include "track/track_terrain.h"

namespace {

class GroundSteps : public FakeGl {
  protected:
    void SetUp() override {
        FakeGl::SetUp();
        start();
        ASSERT_EQ(terrain_create(3, 1.0f, nullptr), 1); // 17 x 17 heights, 8 x 8 tiles
        terrain.detail_texture_size = 128;
        terrain.detail[0].coverage = 16;
        terrain.detail[TERRAIN_DETAIL_SPARE].textures[0] = 101;
        terrain.detail[TERRAIN_DETAIL_SPARE].textures[1] = 102;
        terrain.detail[TERRAIN_DETAIL_SPARE].textures[2] = 103;
        terrain.light_texture = 77;
        lighting_defaults();
        lighting_finish();
    }
    void TearDown() override {
        ground_levels_free();
        memset(terrain.detail, 0, sizeof terrain.detail);
        terrain.light_texture = 0;
        terrain_free();
        FakeGl::TearDown();
    }
    // Vertices the step drew (quads arrive as indexed triangles, six per quad).
    int step_quads(int step) {
        size_t before = fake_gl.draws.size();
        EXPECT_EQ(ground_level_draw_step(0, step, 0, 0), 1);
        zvglFlushQueue();
        int indices = 0;
        for (size_t i = before; i < fake_gl.draws.size(); i++)
            indices += fake_gl.draws[i].count;
        return indices / 6;
    }
};

// A run of equal tiles along a row is one quad and its eight rim pieces, drawn twice (the
// second, turned copy of the texture): the cost follows the runs, not the tiles.
TEST_F(GroundSteps, TilesAreDrawnAsRunsWithTheirRims) {
    const int per_run = 9 * 2;
    EXPECT_EQ(step_quads(1), 8 * per_run); // one type everywhere: one run per row

    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++)
            terrain.tile_map[c + r * 8] = (uint8_t)((c + r) & 1);
    EXPECT_EQ(step_quads(1), 64 * per_run); // a checkerboard: every tile a run of its own

    for (int r = 0; r < 8; r++)
        for (int c = 0; c < 8; c++)
            terrain.tile_map[c + r * 8] = (uint8_t)(c >= 5);
    EXPECT_EQ(step_quads(1), 16 * per_run);
    // The run's own quad is opaque and its rim fades to nothing outward.
    const fake_gl_draw &d = fake_gl.draws.back();
    bool opaque = false, clear = false;
    for (const auto &v : d.vertices) {
        opaque |= v[11] == 1.0f || v[11] == 0.5f;
        clear |= v[11] == 0.0f;
    }
    EXPECT_TRUE(opaque);
    EXPECT_TRUE(clear);

    // Where a tile is under two texels its rim would not show: the runs alone.
    terrain.detail_texture_size = 8;
    EXPECT_EQ(step_quads(1), 16 * 2);
}

TEST_F(GroundSteps, LightStepUsesTheLightMapAndTheBaseIsMatte) {
    size_t before = fake_gl.draws.size();
    ASSERT_EQ(ground_level_draw_step(0, 2, 0, 0), 1);
    zvglFlushQueue();
    ASSERT_GT(fake_gl.draws.size(), before);
    EXPECT_EQ(fake_gl.draws.back().program, zvglProgramHandle(ZVGL_PROGRAM_TERRAIN_NORMALS));
    // The light texture was bound for the draw, and the target was the second spare texture.
    bool light_bound = false, target = false;
    for (const auto &c : fake_gl.calls) {
        light_bound |= c.name == "glBindTexture" && c.args.size() > 1 && c.args[1] == 77;
        target |= c.name == "glFramebufferTexture2D" && c.args[0] == 102;
    }
    EXPECT_TRUE(light_bound);
    EXPECT_TRUE(target);

    ASSERT_EQ(ground_level_draw_step(0, 3, 0, 0), 1);
    zvglFlushQueue();
    const fake_gl_draw &base = fake_gl.draws.back();
    ASSERT_FALSE(base.vertices.empty());
    EXPECT_FLOAT_EQ(base.vertices[0][8], GROUND_SPECULAR_FACTOR);
    EXPECT_FLOAT_EQ(base.vertices[0][9], GROUND_SPECULAR_EXPONENT);
    EXPECT_EQ(ground_level_draw_step(0, 4, 0, 0), 0) << "no fourth step";
}

TEST_F(GroundSteps, GroundProgramGetsGridAndLight) {
    ground_textures_uniforms(0.75f, 1.0f / 1024);
    lighting.ambient[0] = 0.5f, lighting.global_ambient[0] = 0.25f;
    ground_textures_begin();
    EXPECT_EQ(zvglCurrentProgram(), ZVGL_PROGRAM_TERRAIN);
    GLuint p = zvglProgramHandle(ZVGL_PROGRAM_TERRAIN);
    ASSERT_NE(fake_gl_last_uniform(p, "u_heights_dim_inv"), nullptr);
    EXPECT_FLOAT_EQ(fake_gl_last_uniform(p, "u_heights_dim_inv")->values[0], 1.0f / 1024);
    EXPECT_FLOAT_EQ(fake_gl_last_uniform(p, "u_spacing")->values[0], 0.75f);
    const fake_gl_uniform_set *ambient = fake_gl_last_uniform(p, "u_ambient");
    ASSERT_NE(ambient, nullptr);
    EXPECT_GT(ambient->values[0], 0.0f) << "unlit ground would be black in shadow";
    EXPECT_GT(fake_gl_last_uniform(p, "u_diffuse")->values[0], 0.0f);
}

} // namespace
