// The ground on a real GL context: the default track drawn through the frame, seen from above
// and toward the horizon, and changed heights reaching the screen through terrain_sync.
#include "data/data_index.h"
#include "platform/platform.h"
#include "render/render_frame.h"
#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "render/render_ground_textures.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/render_texture.h"
#include "render/zvgl.h"
#include "track/track_hooks.h"
#include "track/track_lighting.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int W = 160, H = 120;

unsigned load_texture(const char *name) {
    return render_texture_load(name);
}

struct picture {
    std::vector<uint8_t> rgb; // rows bottom to top

    const uint8_t *at(int x, int y) const { return &rgb[((size_t)y * W + x) * 3]; }
    // Mean of one channel over rows y0..y1-1.
    double mean(int channel, int y0, int y1) const {
        double sum = 0;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < W; x++)
                sum += at(x, y)[channel];
        return sum / ((double)(y1 - y0) * W);
    }
    double luminance_spread() const {
        double sum = 0, sq = 0;
        size_t n = (size_t)W * H;
        for (size_t i = 0; i < n; i++) {
            double l = 0.3 * rgb[i * 3] + 0.59 * rgb[i * 3 + 1] + 0.11 * rgb[i * 3 + 2];
            sum += l;
            sq += l * l;
        }
        double m = sum / (double)n;
        return std::sqrt(sq / (double)n - m * m);
    }
    int dark_pixels() const {
        int n = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            n += rgb[i] + rgb[i + 1] + rgb[i + 2] < 30;
        return n;
    }
};

double mean_difference(const picture &a, const picture &b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); i++)
        sum += std::abs((int)a.rgb[i] - (int)b.rgb[i]);
    return sum / (double)a.rgb.size();
}

class GroundGl : public ::testing::Test {
  protected:
    platform_window *w = nullptr;
    std::string data_dir;
    int dialect = PLATFORM_GL_CORE;
    track_render_hooks saved_hooks = track_render;

    void SetUp() override {
        if (!getenv("SDL_VIDEODRIVER") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
        int es = dialect == PLATFORM_GL_ES;
        platform_request_gl_version(3, es ? 0 : 2, dialect);
        w = platform_create_gl_window("Zelvo", W, H, 32, 8, 24, 8, 0);
        if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
        if (!zvglInit(zvgl_platform_loader, w)) GTEST_SKIP() << "GL entry points missing";
        if (zvglContextInfo()->es != es) GTEST_SKIP() << "the driver gave another dialect";
        if (zvglContextInfo()->major * 10 + zvglContextInfo()->minor < (es ? 30 : 32))
            GTEST_SKIP() << "GL context too old";
        ASSERT_EQ(1, zvglCreatePrograms());
        zvglPixelStorei(GL_PACK_ALIGNMENT, 1);
        zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        zvglClearColor(0, 0, 0, 1);
        ground_textures_install();
        track_render.texture_load = load_texture;
        lighting_defaults();
        lighting_finish();
        ground_levels_invalidate();
        frame_passes = {};
    }
    void TearDown() override {
        if (w) {
            terrain_free();
            mesh_free();
            ground_free();
            ground_levels_free();
            for (unsigned &sky : lighting.sky)
                sky = 0;
            render_texture_sweep(1);
            zvglShutdown();
            platform_destroy_gl_window(w);
        }
        track_render = saved_hooks;
        lighting_fog_apply = nullptr;
        if (!data_dir.empty()) {
            file_index_free();
            std::string cmd = "rm -rf '" + data_dir + "'";
            if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
        }
    }
    bool use_generated_data() {
        std::string saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
        if (access(saf.c_str(), R_OK) != 0) return false;
        char tmpl[] = "/tmp/zv_glground_XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        data_dir = tmpl;
        if (symlink(saf.c_str(), (data_dir + "/zzzz.saf").c_str()) != 0) return false;
        setenv("ZV_HOME", data_dir.c_str(), 1);
        setenv("XDG_DATA_HOME", (data_dir + "/user").c_str(), 1);
        file_index_free();
        data_root_reset();
        return file_index_build() != nullptr;
    }
    // A camera at eye looking at target (y up).
    static frame_camera look(const float eye[3], const float target[3], float fov) {
        frame_camera c = {};
        float back[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
        float l = std::sqrt(back[0] * back[0] + back[1] * back[1] + back[2] * back[2]);
        for (float &v : back)
            v /= l;
        float right[3] = {back[2], 0, -back[0]};
        float rl = std::sqrt(right[0] * right[0] + right[2] * right[2]);
        if (rl < 1e-6f) right[0] = 1, right[2] = 0, rl = 1;
        right[0] /= rl;
        right[2] /= rl;
        float up[3] = {back[1] * right[2] - back[2] * right[1],
                       back[2] * right[0] - back[0] * right[2],
                       back[0] * right[1] - back[1] * right[0]};
        for (int i = 0; i < 3; i++) {
            c.position[i] = eye[i];
            c.axes[i] = right[i];
            c.axes[3 + i] = up[i];
            c.axes[6 + i] = back[i];
        }
        c.fov = fov;
        return c;
    }
    // Draws `frames` frames (texture levels are redrawn one step per frame) and reads the last.
    picture draw(const frame_camera &cam, int frames) {
        for (int f = 0; f < frames; f++)
            frame_draw(&cam, W, H);
        picture p;
        p.rgb.resize((size_t)W * H * 3);
        std::vector<uint8_t> rgba((size_t)W * H * 4); // ES reads RGBA only
        zvglFinish();
        zvglReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (size_t i = 0; i < (size_t)W * H; i++)
            for (int c = 0; c < 3; c++)
                p.rgb[i * 3 + c] = rgba[i * 4 + c];
        // ZV_GROUND_PICTURES=dir keeps the pictures for a person to look at.
        if (const char *dir = getenv("ZV_GROUND_PICTURES")) {
            static int n;
            std::string name = std::string(dir) + "/ground" + std::to_string(n++) + ".png";
            render_texture_write_png(name.c_str(), p.rgb.data(), W, H);
        }
        return p;
    }
    // A flat 257 x 257 grid (2 x 2 blocks) with its GPU textures, and a low sun from +x.
    void synthetic_ground() {
        ASSERT_EQ(1, terrain_create(7, 1.0f, nullptr));
        int cells = terrain.size - 1;
        terrain.height_texture =
            ground_textures_height_create(terrain.heights, terrain.size, cells, cells);
        terrain.light_texture =
            ground_textures_light_create(terrain.light_map, terrain.size, cells, cells);
        ground_textures_uniforms(terrain.spacing, 1.0f / (float)cells);
        terrain_make_detail_levels();
        ASSERT_NE(0u, terrain.height_texture);
        float l = std::sqrt(0.95f * 0.95f + 0.3f * 0.3f);
        lighting.sun_vector[0] = 0.95f / l, lighting.sun_vector[1] = 0.3f / l;
        lighting.sun_vector[2] = 0;
        // A track's light that leaves sunlit ground below white.
        for (int c = 0; c < 3; c++)
            lighting.ambient[c] = 0.25f, lighting.global_ambient[c] = 0.05f,
            lighting.sun_color[c] = 0.7f;
    }
    // A ridge along z inside block (1, 0), 12 high at x = 192: one side faces the sun.
    static void raise_ridge() {
        for (int k = 0; k < 128; k++)
            for (int i = 128; i < 256; i++) {
                float d = std::fabs((float)i - 192) / 24.0f;
                terrain.heights[i + k * terrain.size] = d < 1 ? 12 * (1 - d) : 0;
            }
        terrain_update_range();
        terrain_mark_changed(128, 0, 255, 127);
    }
    // Green on the right (sunny) half of the middle rows over that on the left half.
    static double sunny_over_shaded(const picture &p) {
        double left = 0, right = 0;
        for (int y = H / 4; y < 3 * H / 4; y++)
            for (int x = 0; x < W / 2; x++) {
                left += p.at(x, y)[1];
                right += p.at(x + W / 2, y)[1];
            }
        return right / (left > 0 ? left : 1);
    }
    // One texel of the height texture, read through a framebuffer.
    float height_texel(int x, int y) {
        GLuint fb = 0;
        zvglGenFramebuffers(1, &fb);
        zvglBindFramebuffer(GL_FRAMEBUFFER, fb);
        zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                                 terrain.height_texture, 0);
        float v = NAN;
        if (zvglCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
            zvglReadPixels(x, y, 1, 1, GL_RED, GL_FLOAT, &v);
        zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
        zvglDeleteFramebuffers(1, &fb);
        return v;
    }
};

// A level's test pattern is grey and blue; once the tiles are drawn into it the ground is earth
// and grass: red above blue, green above blue.
TEST_F(GroundGl, DefaultTrackFromAboveIsLitTiledGround) {
    if (!use_generated_data()) FAIL() << "no generated data (zvgen) in " << ZV_BINARY_DIR;
    ASSERT_EQ(1, terrain_load("@tracks/pinehollow"));
    ASSERT_NE(0u, terrain.height_texture);
    ASSERT_NE(0u, terrain.light_texture);
    ASSERT_NE(0u, terrain.detail[0].textures[0]);
    float centre = terrain.extent / 2;
    float eye[3] = {centre, terrain_height(centre, centre) + 150, centre + 1};
    float at[3] = {centre, terrain_height(centre, centre), centre};
    frame_camera cam = look(eye, at, 60);
    while (zvglGetError() != GL_NO_ERROR) {
    }
    // The first frame already shows the levels drawn, not their test pattern.
    picture p = draw(cam, 1);
    EXPECT_EQ((GLenum)GL_NO_ERROR, zvglGetError()) << "the level redraws and the ground draw";
    EXPECT_LT(p.dark_pixels(), W * H / 20) << "the ground is drawn black";
    double r = p.mean(0, 0, H), g = p.mean(1, 0, H), b = p.mean(2, 0, H);
    EXPECT_GT(r, b + 10) << "r " << r << " g " << g << " b " << b;
    EXPECT_GT(g, b + 10) << "r " << r << " g " << g << " b " << b;
    EXPECT_GT(p.luminance_spread(), 4.0) << "the ground shows no texture or shading";
    std::set<int> colours;
    for (size_t i = 0; i < p.rgb.size(); i += 3)
        colours.insert((p.rgb[i] >> 3) << 10 | (p.rgb[i + 1] >> 3) << 5 | (p.rgb[i + 2] >> 3));
    EXPECT_GT(colours.size(), 40u);
}

// Toward the horizon: the sky box above, the ground below.
TEST_F(GroundGl, SkyAboveGroundBelowTheHorizon) {
    if (!use_generated_data()) FAIL() << "no generated data (zvgen) in " << ZV_BINARY_DIR;
    ASSERT_EQ(1, terrain_load("@tracks/pinehollow"));
    lighting_load("tracks/pinehollow");
    ASSERT_NE(0u, lighting.sky[0]);
    float centre = terrain.extent / 2;
    float y = terrain_height(centre, centre) + 8;
    float eye[3] = {centre, y, centre};
    float at[3] = {centre + 100, y - 4, centre + 30};
    picture p = draw(frame_camera(look(eye, at, 70)), 12);
    double sky_r = p.mean(0, H - 15, H), sky_b = p.mean(2, H - 15, H);
    double ground_r = p.mean(0, 0, 15), ground_b = p.mean(2, 0, 15);
    EXPECT_GT(sky_b, sky_r + 20) << "no blue sky at the top";
    EXPECT_GT(ground_r, ground_b + 5) << "no earth or grass at the bottom";
    EXPECT_LT(p.dark_pixels(), W * H / 20);
}

// Toward the sun: the sky is paler low down than high up, the sun is white, and its lens flare
// shows; turned away from it, the flare is gone.
TEST_F(GroundGl, SunInTheSkyWithItsFlare) {
    if (!use_generated_data()) FAIL() << "no generated data (zvgen) in " << ZV_BINARY_DIR;
    ASSERT_EQ(1, terrain_load("@tracks/pinehollow"));
    lighting_load("tracks/pinehollow");
    ASSERT_EQ(1, lighting.flare_count);
    float centre = terrain.extent / 2;
    float eye[3] = {centre, terrain.top + 5, centre};
    float at[3] = {eye[0] + lighting.sun_vector[0], eye[1] + lighting.sun_vector[1],
                   eye[2] + lighting.sun_vector[2]};
    picture p = draw(look(eye, at, 70), 12);
    const uint8_t *sun = p.at(W / 2, H / 2);
    EXPECT_GT(sun[0], 223);
    EXPECT_GT(sun[1], 223);
    EXPECT_GT(sun[2], 223);
    EXPECT_GT(lighting.flares[0].visibility, 0.5f);
    // Clouds only lighten the sky: the clearest red of a band follows the elevation.
    auto clearest_red = [&](int y0, int y1) {
        int m = 255;
        for (int y = y0; y < y1; y++)
            for (int x = 0; x < W; x++)
                m = std::min(m, (int)p.at(x, y)[0]);
        return m;
    };
    EXPECT_GT(clearest_red(0, 10), clearest_red(H - 10, H) + 30) << "no haze toward the horizon";

    float away[3] = {2 * eye[0] - at[0], eye[1], 2 * eye[2] - at[2]};
    draw(look(eye, away, 70), 1);
    EXPECT_EQ(0.0f, lighting.flares[0].visibility);
}

// Under one light, sunlit ground and a sunlit model of the same grey come out alike: the ground
// takes the lighting's ambient and sun colour as the models do. The levels hold the grey with a
// flat, lit normal map and no shine; a model quad lies on the ground in the middle of the view.
TEST_F(GroundGl, GroundAndModelsTakeTheSameLight) {
    synthetic_ground();
    lighting.sun_vector[0] = lighting.sun_vector[2] = 0, lighting.sun_vector[1] = 1;
    for (int c = 0; c < 3; c++)
        lighting.ambient[c] = 0.2f, lighting.global_ambient[c] = 0.1f, lighting.sun_color[c] = 0.4f;
    const uint8_t fills[3][4] = {{200, 200, 200, 255}, {128, 255, 128, 255}, {0, 0, 0, 255}};
    int t = terrain.detail_texture_size;
    std::vector<uint8_t> px((size_t)t * t * 4);
    for (const terrain_detail_level &d : terrain.detail)
        for (int k = 0; k < 3 && d.coverage >= 0; k++) {
            if (!d.textures[k]) continue;
            for (size_t i = 0; i < px.size(); i++)
                px[i] = fills[k][i % 4];
            zvglBindTexture(GL_TEXTURE_2D, d.textures[k]);
            zvglTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t, t, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
            zvglGenerateMipmap(GL_TEXTURE_2D);
        }
    auto saved_step = ground_level_step;
    ground_level_step = [](int, int, int, int) { return 1; };
    static GLuint grey = 0;
    zvglGenTextures(1, &grey);
    zvglBindTexture(GL_TEXTURE_2D, grey);
    zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, fills[0]);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    zvglBindTexture(GL_TEXTURE_2D, 0);
    // Position, normal, uv, tangent, weights, bones per vertex; 8 x 8 units, facing up.
    float c = terrain.extent / 2;
    const float v[4][19] = {{c - 8, 0.05f, c - 8, 0, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0},
                            {c + 8, 0.05f, c - 8, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0},
                            {c + 8, 0.05f, c + 8, 0, 1, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0},
                            {c - 8, 0.05f, c + 8, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0}};
    const GLuint tris[6] = {0, 2, 1, 0, 3, 2};
    static render_model quad = {};
    zvglGenVertexArrays(1, &quad.vao);
    zvglBindVertexArray(quad.vao);
    zvglGenBuffers(1, &quad.vbo);
    zvglBindBuffer(GL_ARRAY_BUFFER, quad.vbo);
    zvglBufferData(GL_ARRAY_BUFFER, sizeof v, v, GL_STATIC_DRAW);
    zvglGenBuffers(1, &quad.ibo);
    zvglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, quad.ibo);
    zvglBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof tris, tris, GL_STATIC_DRAW);
    const int layout[][3] = {{ZVGL_ATTR_POSITION, 3, 0}, {ZVGL_ATTR_NORMAL, 3, 3},
                             {ZVGL_ATTR_TEXCOORD, 2, 6}, {ZVGL_ATTR_TANGENT, 3, 8},
                             {ZVGL_ATTR_WEIGHTS, 4, 11}, {ZVGL_ATTR_BONES, 4, 15}};
    for (const auto &l : layout) {
        zvglVertexAttribPointer(l[0], l[1], GL_FLOAT, GL_FALSE, sizeof v[0],
                                (const void *)(uintptr_t)(l[2] * sizeof(float)));
        zvglEnableVertexAttribArray(l[0]);
    }
    zvglBindVertexArray(0);
    quad.triangle_count = 2, quad.vertex_count = 4, quad.factor = 1, quad.shininess = 1;
    frame_passes.riders = [](int pass) {
        if (pass) return;
        zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
        zvglActiveTexture(GL_TEXTURE1);
        zvglBindTexture(GL_TEXTURE_2D, zvglFlatNormalTexture());
        zvglActiveTexture(GL_TEXTURE2);
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
        zvglActiveTexture(GL_TEXTURE0);
        zvglBindTexture(GL_TEXTURE_2D, grey);
        const float at[3] = {0, 0, 0};
        model_draw.alpha = 1;
        model_draw_lit(&quad, at, 0, nullptr, nullptr, nullptr);
    };
    float eye[3] = {c, 50, c + 0.01f}, at[3] = {c, 0, c};
    picture p = draw(look(eye, at, 60), 2);
    ground_level_step = saved_step;
    int expect = (int)(0.7f * 200);
    const uint8_t *model = p.at(W / 2, H / 2), *ground = p.at(8, H / 2);
    EXPECT_NEAR(ground[1], expect, 4) << "ground lit by ambient + sun";
    EXPECT_NEAR(model[1], expect, 4) << "model lit by ambient + sun";
    EXPECT_NEAR(ground[0], model[0], 3);
    zvglDeleteVertexArrays(1, &quad.vao);
    zvglDeleteBuffers(1, &quad.vbo);
    zvglDeleteBuffers(1, &quad.ibo);
    zvglDeleteTextures(1, &grey);
}

// Raised heights change the picture only once their block reaches the height texture: the
// ground's shading comes from that texture.
TEST_F(GroundGl, SyncedBlocksReachTheHeightTextureAndTheScreen) {
    synthetic_ground();
    float eye[3] = {192, 90, 65}, at[3] = {192, 0, 64};
    frame_camera cam = look(eye, at, 60);
    picture flat = draw(cam, 12);

    raise_ridge();
    EXPECT_EQ(0.0f, height_texel(192, 64));
    picture unsynced = draw(cam, 30);

    EXPECT_EQ(1, ground_textures_sync(4));
    EXPECT_FLOAT_EQ(12.0f, height_texel(192, 64));
    EXPECT_FLOAT_EQ(0.0f, height_texel(64, 64)) << "an unchanged block";
    picture synced = draw(cam, 4);
    EXPECT_EQ(0, ground_textures_sync(4)) << "nothing left to bring";

    EXPECT_GT(synced.luminance_spread(), unsynced.luminance_spread() + 5)
        << "the ridge's sides are not shaded apart";
    EXPECT_GT(mean_difference(unsynced, synced), 3.0);
    EXPECT_LT(mean_difference(flat, unsynced), mean_difference(flat, synced));
    EXPECT_GT(sunny_over_shaded(synced), 1.2);
}

// The same ground on an ES 3.0 context, where float textures are not filterable.
class GroundGlEs : public GroundGl {
  protected:
    GroundGlEs() { dialect = PLATFORM_GL_ES; }
};

TEST_F(GroundGlEs, RidgeIsShadedFromTheHeightTexture) {
    synthetic_ground();
    raise_ridge();
    ground_textures_sync(-1);
    float eye[3] = {192, 90, 65}, at[3] = {192, 0, 64};
    picture p = draw(look(eye, at, 60), 12);
    EXPECT_LT(p.dark_pixels(), W * H / 20);
    EXPECT_GT(sunny_over_shaded(p), 1.2);
}

} // namespace
