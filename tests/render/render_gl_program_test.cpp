// Start-up, programs and uniform setters of the GL layer, on the fake GL.
#include "render_gl_fixture.h"

#include <cstring>

namespace {

TEST_F(FakeGl, InitReadsTheContextDescription) {
    start(false);
    const zvgl_context_info *info = zvglContextInfo();
    EXPECT_STREQ(info->vendor, "Fake Vendor");
    EXPECT_STREQ(info->renderer, "Fake Renderer");
    EXPECT_EQ(info->major, 4);
    EXPECT_EQ(info->minor, 5);
    EXPECT_EQ(info->es, 0);
    EXPECT_STREQ(info->extensions, "NULL") << "core profiles give no extension string";
    zvglShutdown();

    fake_gl_reset();
    fake_gl.version = "OpenGL ES 3.0 Fake 1.2";
    fake_gl.extensions = "GL_EXT_one GL_EXT_two";
    start(false);
    info = zvglContextInfo();
    EXPECT_EQ(info->es, 1);
    EXPECT_EQ(info->major, 3);
    EXPECT_EQ(info->minor, 0);
    EXPECT_STREQ(info->extensions, "GL_EXT_one GL_EXT_two");
    zvglShutdown();

    fake_gl_reset();
    fake_gl.version = "garbage";
    start(false);
    EXPECT_EQ(zvglContextInfo()->major, 0) << "an unreadable version must fail the caller's check";
}

TEST_F(FakeGl, InitFailsWhenAnEntryPointIsMissing) {
    fake_gl.missing_functions = {"glBindVertexArray"};
    EXPECT_EQ(zvglInit(fake_gl_loader, nullptr), 0);
    EXPECT_EQ(gl_test_logged("GL entry point glBindVertexArray not found\n"), 1);
    EXPECT_EQ(zvglInit(nullptr, nullptr), 0);
}

TEST_F(FakeGl, InitMakesTheDefaultTexturesAndPackingState) {
    start(false);
    ASSERT_EQ(fake_gl.texture_uploads.size(), 2u);
    EXPECT_EQ(fake_gl.texture_uploads[0].texture, zvglWhiteTexture());
    EXPECT_EQ(fake_gl.texture_uploads[0].bytes, (std::vector<unsigned char>{255, 255, 255}));
    EXPECT_EQ(fake_gl.texture_uploads[1].texture, zvglFlatNormalTexture());
    EXPECT_EQ(fake_gl.texture_uploads[1].bytes, (std::vector<unsigned char>{128, 128, 255}));
    EXPECT_NE(zvglWhiteTexture(), zvglFlatNormalTexture());
    int repeat = 0, filters = 0;
    for (const auto &c : fake_gl.calls) {
        if (c.name != "glTexParameteri") continue;
        if ((c.args[0] == GL_TEXTURE_WRAP_S || c.args[0] == GL_TEXTURE_WRAP_T) &&
            c.args[1] == GL_REPEAT)
            repeat++;
        // A texture without mipmaps is only complete with a non-mipmap minifying filter.
        if (c.args[0] == GL_TEXTURE_MIN_FILTER &&
            (c.args[1] == GL_NEAREST || c.args[1] == GL_LINEAR))
            filters++;
    }
    EXPECT_EQ(repeat, 4);
    EXPECT_EQ(filters, 2);
    int unpack = -1, pack = -1;
    for (const auto &c : fake_gl.calls) {
        if (c.name == "glPixelStorei" && c.args[0] == GL_UNPACK_ALIGNMENT) unpack = (int)c.args[1];
        if (c.name == "glPixelStorei" && c.args[0] == GL_PACK_ALIGNMENT) pack = (int)c.args[1];
    }
    EXPECT_EQ(unpack, 1);
    EXPECT_EQ(pack, 1);
    EXPECT_EQ(fake_gl_count("glGenVertexArrays"), 1);
    EXPECT_EQ(zvglCurrentProgram(), ZVGL_PROGRAM_NONE);
}

TEST_F(FakeGl, ShaderVersionLinesFollowTheDialect) {
    start();
    ASSERT_EQ(fake_gl.shader_texts.size(), 10u);
    for (const auto &t : fake_gl.shader_texts)
        EXPECT_EQ(t.rfind("#version 150\n#define MAX_BONE 32\n", 0), 0u) << t.substr(0, 40);
    EXPECT_EQ(std::string(zvglShaderText(ZVGL_PROGRAM_UNLIT, 1)).rfind("#version 150\n", 0), 0u);
    zvglShutdown();

    fake_gl_reset();
    fake_gl.version = "OpenGL ES 3.0 Fake";
    start();
    ASSERT_EQ(fake_gl.shader_texts.size(), 10u);
    for (const auto &t : fake_gl.shader_texts)
        EXPECT_EQ(t.rfind("#version 300 es\n//#version 150\n#define MAX_BONE 32\n", 0), 0u)
            << t.substr(0, 40);
    EXPECT_EQ(zvglShaderText(0, 0), nullptr);
    EXPECT_EQ(zvglShaderText(6, 1), nullptr);
}

TEST_F(FakeGl, ProgramsAreMadeInOrderWithTheirAttributesAndSamplers) {
    start(false);
    fake_gl.compile_log = "all fine";
    ASSERT_EQ(zvglCreatePrograms(), 1);
    const char *names[] = {"unlit", "norm_env", "norm_spec_lit", "terrain_normals", "terrain"};
    for (const char *n : names) {
        EXPECT_EQ(gl_test_logged(std::string("Creating \"") + n + "\" shader\n"), 1) << n;
        // A non-empty info log is logged on success too.
        EXPECT_EQ(gl_test_logged(std::string("vertex shader status for ") + n + ":\nall fine\n"),
                  1);
        EXPECT_EQ(gl_test_logged(std::string("fragment shader status for ") + n + ":\nall fine\n"),
                  1);
    }
    // Creation order is the slot order.
    for (int p = 1; p < 5; p++)
        EXPECT_LT(zvglProgramHandle(p), zvglProgramHandle(p + 1));
    EXPECT_EQ(zvglProgramHandle(0), 0u);
    EXPECT_EQ(zvglProgramHandle(6), 0u);
    EXPECT_EQ(zvglProgramHandle(-1), 0u);

    // Every attribute location is bound before the link of every program.
    for (int p = 1; p <= 5; p++) {
        GLuint prog = zvglProgramHandle(p);
        int link = -1;
        std::map<std::string, long long> bound;
        for (size_t i = 0; i < fake_gl.calls.size(); i++) {
            const auto &c = fake_gl.calls[i];
            if (c.name == "glLinkProgram" && c.args[0] == prog) link = (int)i;
            if (c.name.rfind("glBindAttribLocation:", 0) == 0 && c.args[0] == prog) {
                EXPECT_EQ(link, -1) << "bound after link";
                bound[c.name.substr(21)] = c.args[1];
            }
        }
        EXPECT_GE(link, 0);
        EXPECT_EQ(bound, (std::map<std::string, long long>{{"vattr_position", 0},
                                                           {"vattr_normal", 2},
                                                           {"vattr_color", 3},
                                                           {"vattr_texcoord", 8},
                                                           {"vattr_tangent", 9},
                                                           {"vattr_weights", 10},
                                                           {"vattr_bones", 11},
                                                           {"vattr_material", 12}}));
    }

    auto sampler = [](int p, const char *name) {
        const fake_gl_uniform_set *u = fake_gl_last_uniform(zvglProgramHandle(p), name);
        return u ? (int)u->values[0] : -1;
    };
    EXPECT_EQ(sampler(ZVGL_PROGRAM_NORM_ENV, "u_nmap"), 1);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_NORM_SPEC_LIT, "u_nmap"), 1);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_NORM_SPEC_LIT, "u_smap"), 2);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_TERRAIN_NORMALS, "u_shadows"), 1);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_TERRAIN, "u_nmap"), 1);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_TERRAIN, "u_smap"), 2);
    EXPECT_EQ(sampler(ZVGL_PROGRAM_TERRAIN, "u_heights"), 3);
    EXPECT_EQ(zvglCurrentProgram(), ZVGL_PROGRAM_NONE);
    EXPECT_EQ(fake_gl.current_program, 0u);
}

TEST_F(FakeGl, AFailedCompileOrLinkDeletesEverything) {
    // The sixth shader is the fragment shader of "norm_spec_lit".
    fake_gl.fail_compile_at = 6;
    start(false);
    EXPECT_EQ(zvglCreatePrograms(), 0);
    EXPECT_TRUE(fake_gl.live_shaders.empty());
    EXPECT_TRUE(fake_gl.live_programs.empty());
    for (int p = 0; p < 6; p++)
        EXPECT_EQ(zvglProgramHandle(p), 0u);
    EXPECT_EQ(gl_test_logged("Creating \"terrain_normals\" shader\n"), 0) << "stops at the first";
    zvglShutdown();

    fake_gl_reset();
    fake_gl.fail_link_at = 5;
    start(false);
    EXPECT_EQ(zvglCreatePrograms(), 0);
    EXPECT_TRUE(fake_gl.live_shaders.empty());
    EXPECT_TRUE(fake_gl.live_programs.empty());

    // A later successful attempt works from scratch.
    fake_gl.fail_link_at = 0;
    EXPECT_EQ(zvglCreatePrograms(), 1);
    EXPECT_EQ(fake_gl.live_programs.size(), 5u);
    EXPECT_EQ(zvglCreatePrograms(), 1);
    EXPECT_EQ(fake_gl.live_programs.size(), 5u) << "the first set is not leaked";
}

TEST_F(FakeGl, UseProgramIgnoresBadAndRepeatedIndices) {
    start(false);
    ASSERT_EQ(zvglCreatePrograms(), 1);
    int switches = zvglProgramSwitches();
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    EXPECT_EQ(zvglProgramSwitches(), switches + 1);
    EXPECT_EQ(fake_gl.current_program, zvglProgramHandle(ZVGL_PROGRAM_TERRAIN));
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    zvglUseProgram(-1);
    zvglUseProgram(-7);
    zvglUseProgram(6);
    EXPECT_EQ(zvglProgramSwitches(), switches + 1);
    EXPECT_EQ(zvglCurrentProgram(), ZVGL_PROGRAM_TERRAIN);
    zvglUseProgram(ZVGL_PROGRAM_NONE);
    EXPECT_EQ(fake_gl.current_program, 0u);
    EXPECT_EQ(zvglProgramSwitches(), switches + 2);
}

TEST_F(FakeGl, SwitchingProgramsFlushesTheQueueFirst) {
    start();
    zvglBegin(GL_TRIANGLES);
    zvglVertex2f(0, 0), zvglVertex2f(1, 0), zvglVertex2f(0, 1);
    zvglEnd();
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    EXPECT_EQ(fake_gl.draws[0].program, zvglProgramHandle(ZVGL_PROGRAM_UNLIT));
}

TEST_F(FakeGl, EnvMatrixLeavesUnlitCurrent) {
    start();
    const float rows[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const int before[] = {ZVGL_PROGRAM_NONE, ZVGL_PROGRAM_UNLIT, ZVGL_PROGRAM_NORM_ENV,
                          ZVGL_PROGRAM_NORM_SPEC_LIT, ZVGL_PROGRAM_TERRAIN};
    for (int p : before) {
        zvglUseProgram(p);
        fake_gl.uniform_sets.clear();
        zvglSetEnvMatrix(rows);
        EXPECT_EQ(zvglCurrentProgram(), ZVGL_PROGRAM_UNLIT) << "from " << p;
        EXPECT_EQ(fake_gl.current_program, zvglProgramHandle(ZVGL_PROGRAM_UNLIT));
        const fake_gl_uniform_set *u =
            fake_gl_last_uniform(zvglProgramHandle(ZVGL_PROGRAM_NORM_ENV), "u_envmat");
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->values, (std::vector<float>{1, 4, 7, 2, 5, 8, 3, 6, 9}));
    }
}

TEST_F(FakeGl, BonesAreBoundedAndSetOnModelPrograms) {
    start();
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    GLuint prog = zvglProgramHandle(ZVGL_PROGRAM_NORM_SPEC_LIT);
    float c[33 * 3], t[33 * 3], r[33 * 9];
    for (int i = 0; i < 33 * 3; i++)
        c[i] = (float)i, t[i] = (float)-i;
    for (int i = 0; i < 33 * 9; i++)
        r[i] = (float)i * 0.5f;
    fake_gl.uniform_sets.clear();
    zvglSetBones(33, c, t, r);
    zvglSetBones(-1, c, t, r);
    EXPECT_TRUE(fake_gl.uniform_sets.empty());
    EXPECT_EQ(gl_test_logged("Error: zvglSetBones with 33 bones (at most 32)\n"), 1);

    zvglSetBones(2, c, t, r);
    const fake_gl_uniform_set *n = fake_gl_last_uniform(prog, "u_nbones");
    const fake_gl_uniform_set *bc = fake_gl_last_uniform(prog, "u_bone_c");
    const fake_gl_uniform_set *bt = fake_gl_last_uniform(prog, "u_bone_t");
    const fake_gl_uniform_set *br = fake_gl_last_uniform(prog, "u_bone_r");
    ASSERT_TRUE(n && bc && bt && br);
    EXPECT_EQ(n->values[0], 2.0f);
    EXPECT_EQ(bc->count, 2);
    EXPECT_EQ(bc->values.size(), 6u);
    EXPECT_EQ(bt->values[5], -5.0f);
    EXPECT_EQ(br->kind, "m3");
    EXPECT_EQ(br->values.size(), 18u);
    EXPECT_EQ(br->values[17], 8.5f);

    zvglSetBones(32, c, t, r);
    EXPECT_EQ(fake_gl_last_uniform(prog, "u_bone_r")->count, 32);

    fake_gl.uniform_sets.clear();
    zvglSetBones(0, nullptr, nullptr, nullptr);
    ASSERT_EQ(fake_gl.uniform_sets.size(), 1u);
    EXPECT_EQ(fake_gl.uniform_sets[0].name, "u_nbones");

    fake_gl.uniform_sets.clear();
    zvglUseProgram(ZVGL_PROGRAM_NONE);
    zvglSetBones(1, c, t, r);
    EXPECT_TRUE(fake_gl.uniform_sets.empty());
}

TEST_F(FakeGl, SettersReachTheCurrentProgramAndSkipAbsentUniforms) {
    start();
    const float rgb[3] = {0.25f, 0.5f, 0.75f};
    const float rgba[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    const float offset[2] = {3, 4};
    fake_gl.uniform_sets.clear();
    // "unlit" has fog but no lighting.
    zvglSetFogColor(rgb);
    zvglSetFogDensity(0.01f);
    zvglSetAmbient(rgba);
    zvglSetLightPosition(rgb);
    ASSERT_EQ(fake_gl.uniform_sets.size(), 2u);
    EXPECT_EQ(fake_gl.uniform_sets[0].name, "u_fog_color");
    EXPECT_EQ(fake_gl.uniform_sets[0].values, (std::vector<float>{0.25f, 0.5f, 0.75f}));
    EXPECT_EQ(fake_gl.uniform_sets[1].name, "u_fog_density");

    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    GLuint terrain = zvglProgramHandle(ZVGL_PROGRAM_TERRAIN);
    fake_gl.uniform_sets.clear();
    zvglSetAmbient(rgba);
    zvglSetDiffuse(rgb);
    zvglSetSpecularColor(rgb);
    zvglSetLightPosition(rgb);
    zvglSetTerrainSpacing(4.0f);
    zvglSetTerrainTexTransform(offset, 0.125f);
    zvglSetHeightsDimInv(1.0f / 256);
    zvglSetShininess(9); // "terrain" has none: skipped
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_ambient")->values.size(), 4u);
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_spacing")->values[0], 4.0f);
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_spacing_inv")->values[0], 0.25f);
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_texoffset")->values, (std::vector<float>{3, 4}));
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_texscale")->values[0], 0.125f);
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_heights_dim_inv")->values[0], 1.0f / 256);
    EXPECT_EQ(fake_gl_last_uniform(terrain, "u_shininess"), nullptr);
    EXPECT_EQ(fake_gl.uniform_sets.size(), 9u);

    // A zero spacing must not send an infinite inverse.
    fake_gl.uniform_sets.clear();
    zvglSetTerrainSpacing(0.0f);
    ASSERT_EQ(fake_gl.uniform_sets.size(), 1u);
    EXPECT_EQ(fake_gl.uniform_sets[0].name, "u_spacing");

    // Terrain uniforms set while another program is current land nowhere else.
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    fake_gl.uniform_sets.clear();
    zvglSetTerrainSpacing(2.0f);
    EXPECT_TRUE(fake_gl.uniform_sets.empty());
}

TEST_F(FakeGl, WrappersFlushBeforeCallingGl) {
    start();
    struct wrapped {
        const char *gl;
        void (*call)(void);
    };
    static GLuint name;
    static GLint value;
    static unsigned char pixel[4];
    const wrapped wrappers[] = {
        {"glViewport", [] { zvglViewport(0, 0, 8, 8); }},
        {"glClearColor", [] { zvglClearColor(0, 0, 0, 1); }},
        {"glGenTextures", [] { zvglGenTextures(1, &name); }},
        {"glTexImage2D",
         [] {
             zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
         }},
        {"glTexParameteri",
         [] { zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR); }},
        {"glPixelStorei", [] { zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1); }},
        {"glReadPixels", [] { zvglReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel); }},
        {"glGenBuffers", [] { zvglGenBuffers(1, &name); }},
        {"glGenFramebuffers", [] { zvglGenFramebuffers(1, &name); }},
        {"glCheckFramebufferStatus", [] { zvglCheckFramebufferStatus(GL_FRAMEBUFFER); }},
        {"glGetIntegerv", [] { zvglGetIntegerv(GL_VIEWPORT, &value); }},
        {"glFinish", [] { zvglFinish(); }},
        {"glGenerateMipmap", [] { zvglGenerateMipmap(GL_TEXTURE_2D); }},
    };
    for (const wrapped &w : wrappers) {
        SCOPED_TRACE(w.gl);
        fake_gl.calls.clear();
        zvglEnable(GL_CULL_FACE);
        w.call();
        int queued = fake_gl_find("glEnable");
        int direct = fake_gl_find(w.gl);
        ASSERT_GE(queued, 0);
        ASSERT_GE(direct, 0);
        EXPECT_LT(queued, direct);
    }
}

} // namespace
