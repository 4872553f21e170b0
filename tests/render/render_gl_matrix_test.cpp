// Matrix stacks, matrix mode and texture units, the command queue and its replay, on the fake GL.
#include "render_gl_fixture.h"

#include "render/render_gl_internal.h"

#include <cmath>

namespace {

using Matrix = std::array<float, 16>;

Matrix current(void) {
    Matrix m;
    memcpy(m.data(), zvglGetMatrix(), sizeof m);
    return m;
}

Matrix identity(void) {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

// Column-major matrix times (x, y, z, 1).
std::array<float, 4> apply(const Matrix &m, float x, float y, float z) {
    std::array<float, 4> r;
    for (int row = 0; row < 4; row++)
        r[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    return r;
}

void expect_matrix(const Matrix &a, const Matrix &b) {
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(a[i], b[i], 1e-5f) << "element " << i;
}

TEST_F(FakeGl, ThirtyOnePushesFitAndTheNextOverflows) {
    start();
    zvglTranslatef(1, 2, 3);
    for (int i = 0; i < 31; i++)
        zvglPushMatrix();
    EXPECT_EQ(zvglStackDepth(0), 31);
    EXPECT_EQ(gl_test_logged("Error: zvglPushMatrix overflowed\n"), 0);
    zvglTranslatef(1, 0, 0);
    Matrix before = current();
    zvglPushMatrix();
    EXPECT_EQ(gl_test_logged("Error: zvglPushMatrix overflowed\n"), 0) << "logged at replay";
    EXPECT_EQ(zvglStackDepth(0), 31);
    EXPECT_EQ(gl_test_logged("Error: zvglPushMatrix overflowed\n"), 1);
    expect_matrix(current(), before);
    // Popping all the way returns to the level-0 matrix, then reports the empty stack once.
    for (int i = 0; i < 31; i++)
        zvglPopMatrix();
    EXPECT_EQ(zvglStackDepth(0), 0);
    EXPECT_NEAR(current()[12], 1.0f, 1e-6f);
    EXPECT_EQ(gl_test_logged("Error: zvglPopMatrix with empty stack\n"), 0);
    zvglPopMatrix();
    EXPECT_EQ(zvglStackDepth(0), 0);
    EXPECT_EQ(gl_test_logged("Error: zvglPopMatrix with empty stack\n"), 1);
    EXPECT_NEAR(current()[13], 2.0f, 1e-6f);
}

TEST_F(FakeGl, PushCopiesTheTopAndPopRestoresIt) {
    start();
    zvglScalef(2, 2, 2);
    zvglPushMatrix();
    expect_matrix(current(), {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
    zvglTranslatef(5, 0, 0);
    EXPECT_NEAR(current()[12], 10.0f, 1e-6f);
    zvglPopMatrix();
    expect_matrix(current(), {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1});
}

TEST_F(FakeGl, StacksAreIndependent) {
    start();
    zvglMatrixMode(GL_PROJECTION);
    zvglTranslatef(0, 7, 0);
    zvglPushMatrix();
    zvglMatrixMode(GL_MODELVIEW);
    expect_matrix(current(), identity());
    EXPECT_EQ(zvglStackDepth(0), 0);
    EXPECT_EQ(zvglStackDepth(1), 1);
    zvglMatrixMode(GL_PROJECTION);
    EXPECT_NEAR(current()[13], 7.0f, 1e-6f);
    // An unknown mode leaves the stack where it was.
    zvglMatrixMode(0x1234);
    EXPECT_EQ(zvglCurrentStack(), 1);
}

TEST_F(FakeGl, MatrixModeFollowsTheActiveUnitOnlyOnTextureStacks) {
    start();
    zvglActiveTexture(GL_TEXTURE0 + 3);
    zvglMatrixMode(GL_TEXTURE);
    EXPECT_EQ(zvglCurrentStack(), 5);
    zvglActiveTexture(GL_TEXTURE0 + 1);
    EXPECT_EQ(zvglCurrentStack(), 3);
    zvglMatrixMode(GL_MODELVIEW);
    zvglActiveTexture(GL_TEXTURE0 + 6);
    EXPECT_EQ(zvglCurrentStack(), 0);
    zvglMatrixMode(GL_PROJECTION);
    zvglActiveTexture(GL_TEXTURE0 + 2);
    EXPECT_EQ(zvglCurrentStack(), 1);
    EXPECT_EQ(zvglActiveUnit(), 2);
    zvglMatrixMode(GL_TEXTURE);
    EXPECT_EQ(zvglCurrentStack(), 4);
    zvglActiveTexture(GL_TEXTURE0 + 7);
    EXPECT_EQ(zvglCurrentStack(), 9);
}

TEST_F(FakeGl, OutOfRangeUnitsReachGlButChangeNothing) {
    start();
    zvglActiveTexture(GL_TEXTURE0 + 4);
    zvglMatrixMode(GL_TEXTURE);
    zvglFlushQueue();
    fake_gl.calls.clear();
    // Unit 8 has no texture matrix stack: there are only ten stacks.
    const GLenum bad[] = {GL_TEXTURE0 + 8, GL_TEXTURE0 + 9, GL_TEXTURE0 - 1};
    for (GLenum e : bad)
        zvglActiveTexture(e);
    EXPECT_EQ(zvglActiveUnit(), 4);
    EXPECT_EQ(zvglCurrentStack(), 6);
    EXPECT_EQ(gl_test_logged("Error: glActiveTexture out of range\n"), 3);
    ASSERT_EQ(fake_gl_count("glActiveTexture"), 3);
    EXPECT_EQ(fake_gl.calls[(size_t)fake_gl_find("glActiveTexture")].args[0], GL_TEXTURE0 + 8);
}

TEST_F(FakeGl, MatrixOperationsMatchTheClassicDefinitions) {
    start();
    zvglTranslatef(1, 2, 3);
    auto p = apply(current(), 1, 1, 1);
    EXPECT_FLOAT_EQ(p[0], 2);
    EXPECT_FLOAT_EQ(p[1], 3);
    EXPECT_FLOAT_EQ(p[2], 4);

    // Operations post-multiply: translate then rotate rotates first, then translates.
    zvglRotatef(90, 0, 0, 2); // axis is normalised
    p = apply(current(), 1, 0, 0);
    EXPECT_NEAR(p[0], 1, 1e-5);
    EXPECT_NEAR(p[1], 3, 1e-5);
    EXPECT_NEAR(p[2], 3, 1e-5);

    zvglLoadIdentity();
    zvglRotatef(120, 1, 1, 1); // cycles the axes x -> y -> z
    p = apply(current(), 1, 0, 0);
    EXPECT_NEAR(p[0], 0, 1e-5);
    EXPECT_NEAR(p[1], 1, 1e-5);
    EXPECT_NEAR(p[2], 0, 1e-5);

    zvglLoadIdentity();
    zvglOrtho(0, 200, 0, 100, -1, 1);
    p = apply(current(), 200, 100, 0);
    EXPECT_NEAR(p[0], 1, 1e-6);
    EXPECT_NEAR(p[1], 1, 1e-6);
    p = apply(current(), 0, 0, 1); // eye z = +1 is the near plane when near = -1
    EXPECT_NEAR(p[2], -1, 1e-6);

    zvglLoadIdentity();
    zvglFrustum(-1, 1, -1, 1, 1, 10);
    auto nearp = apply(current(), 0, 0, -1);
    auto farp = apply(current(), 0, 0, -10);
    EXPECT_NEAR(nearp[2] / nearp[3], -1, 1e-5);
    EXPECT_NEAR(farp[2] / farp[3], 1, 1e-5);
    auto corner = apply(current(), 1, 1, -1);
    EXPECT_NEAR(corner[0] / corner[3], 1, 1e-6);

    Matrix m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1};
    zvglLoadMatrixf(m.data());
    expect_matrix(current(), m);
    Matrix s = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    zvglMultMatrixf(s.data());
    p = apply(current(), 1, 1, 1);
    EXPECT_FLOAT_EQ(p[0], 6);
    EXPECT_FLOAT_EQ(p[1], 8);
    EXPECT_FLOAT_EQ(p[2], 10);

    // A degenerate volume is refused rather than filling the matrix with infinities.
    zvglLoadIdentity();
    zvglOrtho(1, 1, 0, 1, 0, 1);
    zvglFrustum(0, 1, 2, 2, 1, 2);
    expect_matrix(current(), identity());
}

TEST_F(FakeGl, DirtyMatricesAreUploadedOnlyAtDrawsAndOnlyWhenChanged) {
    start();
    GLuint unlit = zvglProgramHandle(ZVGL_PROGRAM_UNLIT);
    fake_gl.uniform_sets.clear();
    zvglTranslatef(3, 0, 0);
    zvglFlushQueue();
    EXPECT_TRUE(fake_gl.uniform_sets.empty()) << "no draw, no upload";
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    // "unlit" declares model-view, projection and texture 0 only; absent ones are skipped.
    ASSERT_EQ(fake_gl.uniform_sets.size(), 3u);
    const fake_gl_uniform_set *mv = fake_gl_last_uniform(unlit, "u_modelview");
    ASSERT_NE(mv, nullptr);
    EXPECT_EQ(mv->kind, "m4");
    EXPECT_FLOAT_EQ(mv->values[12], 3.0f);
    EXPECT_NE(fake_gl_last_uniform(unlit, "u_texture0"), nullptr);

    fake_gl.uniform_sets.clear();
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_TRUE(fake_gl.uniform_sets.empty());

    zvglMatrixMode(GL_PROJECTION);
    zvglScalef(2, 2, 2);
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    ASSERT_EQ(fake_gl.uniform_sets.size(), 1u);
    EXPECT_EQ(fake_gl.uniform_sets[0].name, "u_projection");

    // A pop changes the top, so it uploads too; a push alone does not.
    fake_gl.uniform_sets.clear();
    zvglPushMatrix();
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    EXPECT_TRUE(fake_gl.uniform_sets.empty());
    zvglScalef(5, 5, 5);
    zvglPopMatrix();
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    ASSERT_EQ(fake_gl.uniform_sets.size(), 1u);
    EXPECT_FLOAT_EQ(fake_gl.uniform_sets[0].values[0], 2.0f);

    // The texture matrix of unit 1 reaches "terrain_normals" as u_texture1.
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN_NORMALS);
    zvglActiveTexture(GL_TEXTURE1);
    zvglMatrixMode(GL_TEXTURE);
    zvglTranslatef(0, 0, 9);
    zvglDrawArrays(GL_TRIANGLES, 0, 3);
    const fake_gl_uniform_set *t1 =
        fake_gl_last_uniform(zvglProgramHandle(ZVGL_PROGRAM_TERRAIN_NORMALS), "u_texture1");
    ASSERT_NE(t1, nullptr);
    EXPECT_FLOAT_EQ(t1->values[14], 9.0f);
}

TEST_F(FakeGl, UniformLocationsAreLookedUpOncePerProgram) {
    start();
    for (int i = 0; i < 3; i++) {
        zvglUseProgram(ZVGL_PROGRAM_UNLIT);
        zvglDrawArrays(GL_TRIANGLES, 0, 3);
        zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
        zvglDrawArrays(GL_TRIANGLES, 0, 3);
        zvglSetFogDensity(0.5f);
        zvglSetAmbient(std::array<float, 4>{1, 1, 1, 1}.data());
    }
    GLuint unlit = zvglProgramHandle(ZVGL_PROGRAM_UNLIT);
    GLuint terrain = zvglProgramHandle(ZVGL_PROGRAM_TERRAIN);
    EXPECT_EQ((fake_gl.uniform_lookups[{unlit, "u_modelview"}]), 1);
    EXPECT_EQ((fake_gl.uniform_lookups[{unlit, "u_texture3"}]), 1) << "absent ones are cached too";
    EXPECT_EQ((fake_gl.uniform_lookups[{terrain, "u_modelview"}]), 1);
    EXPECT_EQ((fake_gl.uniform_lookups[{terrain, "u_fog_density"}]), 1);
    EXPECT_EQ((fake_gl.uniform_lookups[{terrain, "u_ambient"}]), 1);
    const fake_gl_uniform_set *fog = fake_gl_last_uniform(terrain, "u_fog_density");
    ASSERT_NE(fog, nullptr);
    EXPECT_FLOAT_EQ(fog->values[0], 0.5f);
}

TEST_F(FakeGl, StateChangesReplayInOrderBetweenTheDraws) {
    start();
    zvglBegin(GL_TRIANGLES);
    zvglVertex2f(0, 0), zvglVertex2f(1, 0), zvglVertex2f(0, 1);
    zvglEnd();
    zvglBindTexture(GL_TEXTURE_2D, 42);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    zvglDepthMask(GL_TRUE);
    zvglDepthFunc(GL_LEQUAL);
    zvglBegin(GL_LINES);
    zvglVertex2f(0, 0), zvglVertex2f(1, 1);
    zvglEnd();
    zvglDisable(GL_BLEND);
    EXPECT_EQ(fake_gl_count("glDrawArrays"), 0) << "nothing reaches GL before a flush";
    fake_gl.calls.clear();
    zvglClear(GL_COLOR_BUFFER_BIT);

    // One upload, then the commands in the order they were issued, then the wrapped call.
    int upload = fake_gl_find("glBufferSubData");
    int draw1 = fake_gl_find("glDrawArrays");
    int bind = fake_gl_find("glBindTexture");
    int enable = fake_gl_find("glEnable");
    int blend = fake_gl_find("glBlendFunc");
    int mask = fake_gl_find("glDepthMask");
    int func = fake_gl_find("glDepthFunc");
    int draw2 = fake_gl_find("glDrawArrays", draw1 + 1);
    int disable = fake_gl_find("glDisable");
    int clear = fake_gl_find("glClear");
    ASSERT_GE(upload, 0);
    EXPECT_EQ(fake_gl_count("glBufferSubData"), 1) << "no indices were written";
    EXPECT_LT(upload, draw1);
    EXPECT_LT(draw1, bind);
    EXPECT_LT(bind, enable);
    EXPECT_LT(enable, blend);
    EXPECT_LT(blend, mask);
    EXPECT_LT(mask, func);
    EXPECT_LT(func, draw2);
    EXPECT_LT(draw2, disable);
    EXPECT_LT(disable, clear);
    EXPECT_EQ(fake_gl.calls[(size_t)bind].args[1], 42);
    EXPECT_EQ(fake_gl.calls[(size_t)mask].args[0], GL_TRUE);
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_EQ(fake_gl.draws[1].mode, (GLenum)GL_LINES);
    EXPECT_EQ(fake_gl.draws[1].first, 3);
    EXPECT_FLOAT_EQ(fake_gl.draws[1].vertices[1][0], 1.0f);
}

TEST_F(FakeGl, ReplayRestoresTheCallersBindings) {
    start();
    zvglBindVertexArray(77);
    zvglBindBuffer(GL_ARRAY_BUFFER, 78);
    zvglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 79);
    zvglBegin(GL_QUADS);
    for (int i = 0; i < 4; i++)
        zvglVertex2f((float)i, 0);
    zvglEnd();
    zvglFlush();
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    EXPECT_FLOAT_EQ(fake_gl.draws[0].vertices[5][0], 2.0f) << "drawn from the immediate arrays";
    EXPECT_EQ(fake_gl.vertex_array, 77u);
    EXPECT_EQ(fake_gl.array_buffer, 78u);
    EXPECT_EQ(fake_gl.vao_element_buffer[77], 79u);
}

TEST_F(FakeGl, GetMatrixSeesQueuedOperations) {
    start();
    zvglTranslatef(0, 0, -4);
    EXPECT_FLOAT_EQ(zvglGetMatrix()[14], -4.0f);
}

TEST_F(FakeGl, AFullQueueFlushesWithoutLosingCommands) {
    start();
    zvglBegin(GL_POINTS);
    zvglVertex2f(5, 5);
    zvglEnd();
    // 17 words each: far more than the queue holds.
    Matrix m = identity();
    const int n = ZVGL_QUEUE_WORDS / 17 + 1000;
    for (int i = 0; i < n; i++) {
        m[12] = (float)i;
        zvglLoadMatrixf(m.data());
    }
    EXPECT_EQ(fake_gl_count("glDrawArrays"), 1) << "the point drew when the queue filled";
    zvglBegin(GL_POINTS);
    zvglVertex2f(6, 6);
    zvglEnd();
    EXPECT_FLOAT_EQ(zvglGetMatrix()[12], (float)(n - 1));
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_FLOAT_EQ(fake_gl.draws[1].vertices[0][0], 6.0f);
    EXPECT_FLOAT_EQ(fake_gl.draws[1].vertices[0][3], 1.0f); // w
}

TEST_F(FakeGl, DrawingWithoutAProgramEndsTheProcess) {
    start(true);
    zvglUseProgram(ZVGL_PROGRAM_NONE);
    EXPECT_EXIT(zvglDrawArrays(GL_TRIANGLES, 0, 3), ::testing::ExitedWithCode(1),
                "Error: Fixed shader used");
    zvglBegin(GL_TRIANGLES);
    zvglVertex2f(0, 0), zvglVertex2f(1, 0), zvglVertex2f(0, 1);
    zvglEnd();
    EXPECT_EXIT(zvglFlush(), ::testing::ExitedWithCode(1), "Error: Fixed shader used");
}

TEST_F(FakeGl, AnUnknownOpcodeEndsTheProcess) {
    start();
    rgl_queue(21, nullptr, 0);
    EXPECT_EXIT(zvglFlushQueue(), ::testing::ExitedWithCode(1), "Invalid GL command queued");
    rgl.queue_words = 0;
}

} // namespace
