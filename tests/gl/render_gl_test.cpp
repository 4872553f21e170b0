// The GL layer on a real context: the five programs compile and link on desktop 3.2 core and on
// ES 3.0, and "unlit" draws the colours and fog it should. The context is made here with SDL
// directly; without one the tests are skipped with the reason.
#include "render/zvgl.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct gl_context {
    SDL_Window *window = nullptr;
    SDL_GLContext context = nullptr;
    std::string why; // set when no context could be made
};

void *sdl_loader(void *, const char *name) {
    return SDL_GL_GetProcAddress(name);
}

gl_context make_context(bool es) {
    gl_context c;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        c.why = std::string("SDL video: ") + SDL_GetError();
        return c;
    }
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK,
                        es ? SDL_GL_CONTEXT_PROFILE_ES : SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, es ? 0 : 2);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    c.window = SDL_CreateWindow("zvgl test", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64,
                                64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!c.window) {
        c.why = std::string("no GL window: ") + SDL_GetError();
        return c;
    }
    c.context = SDL_GL_CreateContext(c.window);
    if (!c.context) {
        c.why = std::string(es ? "no ES 3.0 context: " : "no 3.2 core context: ") + SDL_GetError();
        SDL_DestroyWindow(c.window);
        c.window = nullptr;
    }
    return c;
}

void free_context(gl_context &c) {
    if (c.context) SDL_GL_DeleteContext(c.context);
    if (c.window) SDL_DestroyWindow(c.window);
    c = gl_context();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// Starts the layer and its programs on a fresh context of the dialect, drawing into a 64 x 64
// RGBA texture so that the result never depends on the window system's buffers.
class RealGl : public ::testing::TestWithParam<bool> {
  protected:
    gl_context ctx;
    GLuint fbo = 0, target = 0;

    void SetUp() override {
        ctx = make_context(GetParam());
        if (!ctx.context) GTEST_SKIP() << ctx.why;
        ASSERT_EQ(zvglInit(sdl_loader, nullptr), 1);
        const zvgl_context_info *info = zvglContextInfo();
        if (info->major < 3 || (!info->es && info->major == 3 && info->minor < 2))
            GTEST_SKIP() << "context too old: " << info->version;
        ASSERT_EQ(info->es, GetParam() ? 1 : 0) << info->version;
        ASSERT_EQ(zvglCreatePrograms(), 1) << "programs failed on " << info->version;

        zvglGenTextures(1, &target);
        zvglBindTexture(GL_TEXTURE_2D, target);
        zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        zvglGenFramebuffers(1, &fbo);
        zvglBindFramebuffer(GL_FRAMEBUFFER, fbo);
        zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
        ASSERT_EQ(zvglCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
        zvglViewport(0, 0, 64, 64);
        zvglClearColor(0, 0, 0, 1);
        zvglClear(GL_COLOR_BUFFER_BIT);
        zvglUseProgram(ZVGL_PROGRAM_UNLIT);
        zvglActiveTexture(GL_TEXTURE0);
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    }

    void TearDown() override {
        if (ctx.context) {
            zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
            if (fbo) zvglDeleteFramebuffers(1, &fbo);
            if (target) zvglDeleteTextures(1, &target);
            zvglShutdown();
        }
        free_context(ctx);
    }

    // A full-viewport quad at eye depth z in the current matrices.
    void quad(float half, float z) {
        zvglBegin(GL_QUADS);
        zvglVertex3f(-half, -half, z);
        zvglVertex3f(half, -half, z);
        zvglVertex3f(half, half, z);
        zvglVertex3f(-half, half, z);
        zvglEnd();
    }

    std::vector<unsigned char> pixel(int x, int y) {
        std::vector<unsigned char> p(4);
        zvglReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    }

    void expect_rgb(const std::vector<unsigned char> &p, float r, float g, float b, int tolerance) {
        EXPECT_NEAR(p[0], r * 255.0f, tolerance) << "red";
        EXPECT_NEAR(p[1], g * 255.0f, tolerance) << "green";
        EXPECT_NEAR(p[2], b * 255.0f, tolerance) << "blue";
    }
};

TEST_P(RealGl, AllFiveProgramsCompileAndLink) {
    const zvgl_context_info *info = zvglContextInfo();
    for (int p = ZVGL_PROGRAM_UNLIT; p <= ZVGL_PROGRAM_TERRAIN; p++)
        EXPECT_NE(zvglProgramHandle(p), 0u) << p;
    EXPECT_STREQ(std::string(zvglShaderText(1, 0)).substr(0, 15).c_str(),
                 GetParam() ? "#version 300 es" : "#version 150\n#d");
    // Every program must be usable for a draw on this driver.
    for (int p = ZVGL_PROGRAM_UNLIT; p <= ZVGL_PROGRAM_TERRAIN; p++) {
        zvglUseProgram(p);
        quad(0.5f, 0.0f);
        zvglFlush();
    }
    EXPECT_EQ(zvglGetError(), (GLenum)GL_NO_ERROR) << info->renderer << " " << info->version;
}

TEST_P(RealGl, AnUnlitQuadReadsBackItsColour) {
    const float colours[][4] = {{0.2f, 0.4f, 0.6f, 1.0f}, {1.0f, 0.0f, 0.5f, 1.0f}};
    for (const auto &c : colours) {
        zvglColor4f(c[0], c[1], c[2], c[3]);
        quad(1.0f, 0.0f);
        expect_rgb(pixel(32, 32), c[0], c[1], c[2], 1);
        expect_rgb(pixel(1, 62), c[0], c[1], c[2], 1);
    }
    // The model-view matrix reaches the shader: a half-size quad leaves the corner uncovered.
    zvglClear(GL_COLOR_BUFFER_BIT);
    zvglColor4f(1, 1, 1, 1);
    zvglScalef(0.5f, 0.5f, 1.0f);
    quad(1.0f, 0.0f);
    expect_rgb(pixel(32, 32), 1, 1, 1, 1);
    expect_rgb(pixel(2, 2), 0, 0, 0, 0);
    EXPECT_EQ(zvglGetError(), (GLenum)GL_NO_ERROR);
}

TEST_P(RealGl, FogAtAKnownDepthReadsBackAsComputed) {
    const float fog[3] = {1.0f, 0.0f, 0.0f};
    zvglSetFogColor(fog);

    // Identity matrices: eye z = -0.2 is depth -0.2, window depth 0.4 with w = 1.
    float density = 1.5f;
    zvglSetFogDensity(density);
    zvglColor4f(0, 0, 1, 1);
    quad(1.0f, -0.2f);
    float f = expf(-density * 0.4f);
    expect_rgb(pixel(32, 32), 1.0f - f, 0.0f, f, 2);

    // A perspective view: eye z = -2 in a frustum from 1 to 10 gives window depth 5/9 and w = 2.
    zvglMatrixMode(GL_PROJECTION);
    zvglFrustum(-1, 1, -1, 1, 1, 10);
    zvglMatrixMode(GL_MODELVIEW);
    density = 0.5f;
    zvglSetFogDensity(density);
    zvglColor4f(0, 1, 0, 1);
    quad(4.0f, -2.0f);
    f = expf(-density * (5.0f / 9.0f) * 2.0f);
    expect_rgb(pixel(32, 32), 1.0f - f, f, 0.0f, 2);

    // No density, no fog.
    zvglSetFogDensity(0.0f);
    zvglColor4f(0.5f, 0.5f, 0.5f, 1);
    quad(4.0f, -2.0f);
    expect_rgb(pixel(32, 32), 0.5f, 0.5f, 0.5f, 1);
}

// A model quad facing the viewer in a buffer of its own, as models are drawn: position, normal,
// texture coordinate, tangent, bone weights and bone numbers.
struct model_quad {
    GLuint vao = 0, vbo = 0;

    void make(float z) {
        const float v[4][19] = {
            {-1, -1, z, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
            {1, -1, z, 0, 0, 1, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
            {1, 1, z, 0, 0, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
            {-1, 1, z, 0, 0, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},
        };
        zvglGenVertexArrays(1, &vao);
        zvglBindVertexArray(vao);
        zvglGenBuffers(1, &vbo);
        zvglBindBuffer(GL_ARRAY_BUFFER, vbo);
        zvglBufferData(GL_ARRAY_BUFFER, sizeof v, v, GL_STATIC_DRAW);
        const struct {
            GLuint attr;
            int size, offset;
        } layout[] = {{ZVGL_ATTR_POSITION, 3, 0}, {ZVGL_ATTR_NORMAL, 3, 3},
                      {ZVGL_ATTR_TEXCOORD, 2, 6}, {ZVGL_ATTR_TANGENT, 3, 8},
                      {ZVGL_ATTR_WEIGHTS, 4, 11}, {ZVGL_ATTR_BONES, 4, 15}};
        for (const auto &l : layout) {
            zvglVertexAttribPointer(l.attr, l.size, GL_FLOAT, GL_FALSE, sizeof v[0],
                                    (const void *)(uintptr_t)(l.offset * sizeof(float)));
            zvglEnableVertexAttribArray(l.attr);
        }
    }
    void draw() {
        zvglBindVertexArray(vao);
        zvglDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        zvglBindVertexArray(0);
    }
    void free() {
        zvglDeleteVertexArrays(1, &vao);
        zvglDeleteBuffers(1, &vbo);
    }
};

TEST_P(RealGl, LitModelsShadeSkinAndDiscardAsDescribed) {
    model_quad q;
    q.make(-0.5f);
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    // No normal or specular map: the flat normal and white textures stand in.
    zvglActiveTexture(GL_TEXTURE1);
    zvglBindTexture(GL_TEXTURE_2D, zvglFlatNormalTexture());
    zvglActiveTexture(GL_TEXTURE2);
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglActiveTexture(GL_TEXTURE0);
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f}, diffuse[3] = {0.5f, 0.5f, 0.5f};
    const float towards[3] = {0, 0, 1}, away[3] = {0, 0, -1}, none[3] = {0, 0, 0};
    const float spec[3] = {0.1f, 0.1f, 0.1f};
    zvglSetBones(0, nullptr, nullptr, nullptr);
    zvglSetAmbient(ambient);
    zvglSetDiffuse(diffuse);
    zvglSetSpecularColor(none);
    zvglSetShininess(1.0f);
    zvglSetFogDensity(0.0f);

    zvglSetLightPosition(towards);
    q.draw();
    expect_rgb(pixel(32, 32), 0.7f, 0.7f, 0.7f, 1);
    zvglSetLightPosition(away);
    q.draw();
    expect_rgb(pixel(32, 32), 0.2f, 0.2f, 0.2f, 1);

    // A white specular map's alpha of 1 selects the material shininess (1 here): the highlight
    // adds the specular colour times the mirror factor, nearly 1 in the middle of the view.
    zvglSetLightPosition(towards);
    zvglSetSpecularColor(spec);
    q.draw();
    expect_rgb(pixel(32, 32), 0.8f, 0.8f, 0.8f, 2);

    // Alpha below 0.75 is discarded, leaving what was there.
    zvglClear(GL_COLOR_BUFFER_BIT);
    const float faint[4] = {0.2f, 0.2f, 0.2f, 0.5f};
    zvglSetAmbient(faint);
    q.draw();
    expect_rgb(pixel(32, 32), 0, 0, 0, 0);
    zvglSetAmbient(ambient);

    // One bone moving everything half a unit right: the left edge is uncovered.
    const float centre[3] = {0, 0, 0}, shift[3] = {0.5f, 0, 0};
    const float rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    zvglSetBones(1, centre, shift, rot);
    zvglSetSpecularColor(none);
    q.draw();
    expect_rgb(pixel(8, 32), 0, 0, 0, 0);
    expect_rgb(pixel(48, 32), 0.7f, 0.7f, 0.7f, 1);

    // The reflection pass scales the environment map by the specular colour, without fog.
    const float tint[3] = {0.3f, 0.6f, 0.9f};
    const float env[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    zvglSetEnvMatrix(env);
    zvglUseProgram(ZVGL_PROGRAM_NORM_ENV);
    zvglSetBones(0, nullptr, nullptr, nullptr);
    zvglSetSpecularColor(tint);
    q.draw();
    expect_rgb(pixel(32, 32), 0.3f, 0.6f, 0.9f, 1);
    q.free();
    EXPECT_EQ(zvglGetError(), (GLenum)GL_NO_ERROR);
}

GLuint texture_1x1(unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
    const unsigned char px[4] = {r, g, b, a};
    GLuint t = 0;
    zvglGenTextures(1, &t);
    zvglBindTexture(GL_TEXTURE_2D, t);
    zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return t;
}

void bind_unit(int unit, GLuint texture) {
    zvglActiveTexture(GL_TEXTURE0 + unit);
    zvglBindTexture(GL_TEXTURE_2D, texture);
    zvglActiveTexture(GL_TEXTURE0);
}

TEST_P(RealGl, TerrainNormalsBakeLimitsTheSlopeAndStoresTheShadow) {
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN_NORMALS);
    // A normal lying almost flat along x, and a shadow map of 64/255.
    GLuint normal = texture_1x1(255, 128, 128, 200), shadows = texture_1x1(64, 0, 0, 255);
    bind_unit(0, normal);
    bind_unit(1, shadows);
    zvglBegin(GL_QUADS);
    zvglTexCoord2f(0, 0), zvglVertex2f(-1, -1);
    zvglTexCoord2f(1, 0), zvglVertex2f(1, -1);
    zvglTexCoord2f(1, 1), zvglVertex2f(1, 1);
    zvglTexCoord2f(0, 1), zvglVertex2f(-1, 1);
    zvglEnd();
    // n = (-1, ~0, ~0) after the x flip: clamped to 126/128 horizontally with y dropped.
    std::vector<unsigned char> p = pixel(32, 32);
    float limit = 126.0f / 128.0f;
    EXPECT_NEAR(p[0], (1.0f - limit) / 2 * 255, 1.5);
    EXPECT_NEAR(p[1], (1.0f - 64.0f / 255) * 255, 1.5);
    EXPECT_NEAR(p[2], 0.5f * 255, 1.5);
    EXPECT_EQ(p[3], 200);

    // The flat normal passes straight through.
    bind_unit(0, zvglFlatNormalTexture());
    zvglBegin(GL_QUADS);
    zvglTexCoord2f(0, 0), zvglVertex2f(-1, -1);
    zvglTexCoord2f(1, 0), zvglVertex2f(1, -1);
    zvglTexCoord2f(1, 1), zvglVertex2f(1, 1);
    zvglTexCoord2f(0, 1), zvglVertex2f(-1, 1);
    zvglEnd();
    p = pixel(32, 32);
    EXPECT_NEAR(p[0], 127.5, 1.5);
    EXPECT_NEAR(p[2], 127.5, 1.5);
    GLuint t[2] = {normal, shadows};
    zvglDeleteTextures(2, t);
}

TEST_P(RealGl, FlatTerrainIsLitByTheBakedLightFactor) {
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    GLuint lit = texture_1x1(128, 255, 128, 255), half = texture_1x1(128, 128, 128, 255);
    GLuint black = texture_1x1(0, 0, 0, 255);
    bind_unit(0, zvglWhiteTexture());
    bind_unit(1, lit);
    bind_unit(2, black);
    bind_unit(3, zvglWhiteTexture()); // level ground
    const float ambient[4] = {0.1f, 0.1f, 0.1f, 1}, diffuse[3] = {0.6f, 0.6f, 0.6f};
    const float light[3] = {0, 0, 1}, zero[3] = {0, 0, 0}, offset[2] = {0, 0};
    zvglSetAmbient(ambient);
    zvglSetDiffuse(diffuse);
    zvglSetSpecularColor(zero);
    zvglSetLightPosition(light);
    zvglSetFogDensity(0);
    zvglSetTerrainSpacing(1.0f);
    zvglSetTerrainTexTransform(offset, 1.0f);
    zvglSetHeightsDimInv(1.0f);
    // Ground in x and z, turned so that its up faces the viewer.
    zvglRotatef(90, 1, 0, 0);
    auto ground = [] {
        zvglBegin(GL_QUADS);
        zvglVertex3f(-1, 0, -1), zvglVertex3f(-1, 0, 1), zvglVertex3f(1, 0, 1),
            zvglVertex3f(1, 0, -1);
        zvglEnd();
    };
    ground();
    expect_rgb(pixel(32, 32), 0.7f, 0.7f, 0.7f, 2);
    bind_unit(1, half); // half in shadow
    ground();
    float k = 128.0f / 255;
    expect_rgb(pixel(32, 32), 0.1f + 0.6f * k, 0.1f + 0.6f * k, 0.1f + 0.6f * k, 2);
    // Light along the ground: only the ambient part remains.
    const float grazing[3] = {1, 0, 0};
    zvglSetLightPosition(grazing);
    ground();
    expect_rgb(pixel(32, 32), 0.1f, 0.1f, 0.1f, 2);
    GLuint t[3] = {lit, half, black};
    zvglDeleteTextures(3, t);
    EXPECT_EQ(zvglGetError(), (GLenum)GL_NO_ERROR);
}

INSTANTIATE_TEST_SUITE_P(Dialects, RealGl, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) {
                             return std::string(i.param ? "Es30" : "Desktop32Core");
                         });

} // namespace
