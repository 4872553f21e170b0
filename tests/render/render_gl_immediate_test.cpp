// Immediate mode on the fake GL: primitives turned into triangles, and primitives larger than the
// vertex array drawn in seamless pieces. Vertices carry their number in x so that what GL drew can
// be compared with what was issued.
#include "render_gl_fixture.h"

#include <algorithm>

namespace {

using Tri = std::array<int, 3>;

int id(const std::array<float, ZVGL_VERTEX_FLOATS> &v) {
    return (int)v[0];
}

void emit(GLenum mode, int count) {
    zvglBegin(mode);
    for (int i = 0; i < count; i++)
        zvglVertex3f((float)i, (float)(i % 7), 0.5f);
    zvglEnd();
    zvglFlush();
}

// The vertex numbers of every draw, concatenated.
std::vector<int> drawn_ids(size_t draw) {
    std::vector<int> ids;
    for (const auto &v : fake_gl.draws.at(draw).vertices)
        ids.push_back(id(v));
    return ids;
}

// Triangles of a strip in draw order, with GL's alternating winding.
std::vector<Tri> strip_triangles(const std::vector<int> &v) {
    std::vector<Tri> t;
    for (size_t i = 0; i + 2 < v.size(); i++)
        t.push_back(i % 2 ? Tri{v[i + 1], v[i], v[i + 2]} : Tri{v[i], v[i + 1], v[i + 2]});
    return t;
}

std::vector<Tri> list_triangles(const std::vector<int> &v) {
    std::vector<Tri> t;
    for (size_t i = 0; i + 2 < v.size(); i += 3)
        t.push_back({v[i], v[i + 1], v[i + 2]});
    return t;
}

std::vector<Tri> fan_triangles(const std::vector<int> &v) {
    std::vector<Tri> t;
    for (size_t i = 2; i < v.size(); i++)
        t.push_back({v[0], v[i - 1], v[i]});
    return t;
}

std::vector<int> iota_ids(int n) {
    std::vector<int> v((size_t)n);
    for (int i = 0; i < n; i++)
        v[(size_t)i] = i;
    return v;
}

TEST_F(FakeGl, VerticesCarryTheCurrentColourAndTextureCoordinate) {
    start();
    zvglBegin(GL_POINTS);
    zvglVertex2f(1, 2);
    zvglColor4f(0.1f, 0.2f, 0.3f, 0.4f);
    zvglTexCoord2f(0.5f, 0.75f);
    zvglVertex3f(3, 4, 5);
    zvglEnd();
    zvglFlush();
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    const auto &a = fake_gl.draws[0].vertices[0];
    const auto &b = fake_gl.draws[0].vertices[1];
    std::array<float, 12> want_a = {1, 2, 0, 1, 0, 0, 0, 1, 1, 1, 1, 1};
    std::array<float, 12> want_b = {3, 4, 5, 1, 0.5f, 0.75f, 0, 1, 0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_EQ(a, want_a);
    EXPECT_EQ(b, want_b);
    EXPECT_EQ(fake_gl.draws[0].program, zvglProgramHandle(ZVGL_PROGRAM_UNLIT));
}

TEST_F(FakeGl, ASixVertexQuadListDrawsOneQuad) {
    start();
    emit(GL_QUADS, 6);
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    const fake_gl_draw &d = fake_gl.draws[0];
    EXPECT_TRUE(d.indexed);
    EXPECT_EQ(d.mode, (GLenum)GL_TRIANGLES);
    EXPECT_TRUE(d.range_ok);
    EXPECT_EQ(drawn_ids(0), (std::vector<int>{0, 1, 3, 3, 1, 2}));
    int call = fake_gl_find("glDrawRangeElements");
    ASSERT_GE(call, 0);
    EXPECT_EQ(fake_gl.calls[(size_t)call].args[1], 0); // start
    EXPECT_EQ(fake_gl.calls[(size_t)call].args[2], 3); // end: the dropped two are outside
}

TEST_F(FakeGl, ShortIndexedPrimitivesAreDropped) {
    start();
    emit(GL_POLYGON, 2);
    emit(GL_QUADS, 3);
    emit(GL_QUAD_STRIP, 3);
    EXPECT_TRUE(fake_gl.draws.empty());
    emit(GL_POLYGON, 3);
    EXPECT_EQ(fake_gl.draws.size(), 1u);
}

TEST_F(FakeGl, PolygonsAndQuadStripsBecomeTriangles) {
    start();
    emit(GL_POLYGON, 5);
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    EXPECT_EQ(list_triangles(drawn_ids(0)), (std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}));
    emit(GL_QUAD_STRIP, 7); // cut to 6
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_EQ(list_triangles(drawn_ids(1)),
              (std::vector<Tri>{{0, 1, 2}, {1, 3, 2}, {2, 3, 4}, {3, 5, 4}}));
    EXPECT_TRUE(fake_gl.draws[1].range_ok);
}

TEST_F(FakeGl, PrimitivesOfOneFlushShareTheArrays) {
    start();
    zvglBegin(GL_TRIANGLES);
    for (int i = 0; i < 3; i++)
        zvglVertex2f((float)i, 0);
    zvglEnd();
    zvglBegin(GL_QUADS);
    for (int i = 0; i < 8; i++)
        zvglVertex2f((float)(100 + i), 0);
    zvglEnd();
    zvglBegin(GL_POLYGON);
    for (int i = 0; i < 4; i++)
        zvglVertex2f((float)(200 + i), 0);
    zvglEnd();
    zvglFlush();
    EXPECT_EQ(fake_gl_count("glBufferData"), 2 + 2) << "creation, then one orphaning pair";
    ASSERT_EQ(fake_gl.draws.size(), 3u);
    EXPECT_EQ(drawn_ids(1),
              (std::vector<int>{100, 101, 103, 103, 101, 102, 104, 105, 107, 107, 105, 106}));
    EXPECT_EQ(drawn_ids(2), (std::vector<int>{200, 201, 202, 200, 202, 203}));
    EXPECT_TRUE(fake_gl.draws[1].range_ok && fake_gl.draws[2].range_ok);
}

TEST_F(FakeGl, ATenThousandVertexLineLoopStaysClosed) {
    start();
    emit(GL_LINE_LOOP, 10000);
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_EQ(fake_gl.draws[0].mode, (GLenum)GL_LINE_STRIP);
    EXPECT_EQ(fake_gl.draws[1].mode, (GLenum)GL_LINE_STRIP);
    EXPECT_EQ(drawn_ids(0), iota_ids(8192));
    std::vector<int> rest = drawn_ids(1);
    ASSERT_EQ(rest.size(), 10000u - 8192u + 2u);
    EXPECT_EQ(rest.front(), 8191);
    EXPECT_EQ(rest[1], 8192);
    EXPECT_EQ(rest[rest.size() - 2], 9999);
    EXPECT_EQ(rest.back(), 0) << "closed back to the loop's first vertex";
}

TEST_F(FakeGl, ASmallLineLoopIsLeftToGl) {
    start();
    emit(GL_LINE_LOOP, 5);
    ASSERT_EQ(fake_gl.draws.size(), 1u);
    EXPECT_EQ(fake_gl.draws[0].mode, (GLenum)GL_LINE_LOOP);
    EXPECT_EQ(drawn_ids(0).size(), 5u);
}

TEST_F(FakeGl, ANineThousandVertexTriangleListLosesNothing) {
    start();
    emit(GL_TRIANGLES, 9000);
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_EQ(fake_gl.draws[0].count, 8190);
    EXPECT_EQ(fake_gl.draws[1].count, 810);
    std::vector<int> all = drawn_ids(0), second = drawn_ids(1);
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(list_triangles(all).size(), 3000u);
    EXPECT_EQ(all, iota_ids(9000));
}

TEST_F(FakeGl, LongStripsAndFansContinueSeamlessly) {
    start();
    const int n = 9000;
    const GLenum modes[] = {GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_LINE_STRIP, GL_POLYGON,
                            GL_QUAD_STRIP};
    for (GLenum mode : modes) {
        SCOPED_TRACE(mode);
        fake_gl.draws.clear();
        emit(mode, n);
        ASSERT_EQ(fake_gl.draws.size(), 2u);
        EXPECT_EQ(fake_gl.draws[0].vertices.size() > 0, true);
        std::vector<Tri> got, want;
        std::vector<int> ids = iota_ids(n);
        for (size_t d = 0; d < 2; d++) {
            std::vector<int> v = drawn_ids(d);
            if (mode == GL_TRIANGLE_STRIP) {
                auto t = strip_triangles(v);
                got.insert(got.end(), t.begin(), t.end());
            } else if (mode == GL_TRIANGLE_FAN) {
                auto t = fan_triangles(v);
                got.insert(got.end(), t.begin(), t.end());
            } else if (mode == GL_LINE_STRIP) {
                for (size_t i = 0; i + 1 < v.size(); i++)
                    got.push_back({v[i], v[i + 1], 0});
            } else {
                auto t = list_triangles(v);
                got.insert(got.end(), t.begin(), t.end());
                EXPECT_TRUE(fake_gl.draws[d].range_ok);
            }
        }
        if (mode == GL_TRIANGLE_STRIP) {
            want = strip_triangles(ids);
        } else if (mode == GL_TRIANGLE_FAN || mode == GL_POLYGON) {
            want = fan_triangles(ids);
        } else if (mode == GL_LINE_STRIP) {
            for (int i = 0; i + 1 < n; i++)
                want.push_back({i, i + 1, 0});
        } else {
            for (int i = 0; i + 2 < n; i++)
                want.push_back(i % 2 ? Tri{i, i + 2, i + 1} : Tri{i, i + 1, i + 2});
        }
        EXPECT_EQ(got, want);
    }
}

TEST_F(FakeGl, ExactlyFullListsCarryNothing) {
    start();
    const GLenum modes[] = {GL_POINTS, GL_LINES, GL_QUADS};
    for (GLenum mode : modes) {
        SCOPED_TRACE(mode);
        fake_gl.draws.clear();
        emit(mode, 8192 + 8);
        ASSERT_EQ(fake_gl.draws.size(), 2u);
        std::vector<int> all = drawn_ids(0), second = drawn_ids(1);
        if (mode == GL_QUADS) {
            EXPECT_EQ(all.size(), 8192u / 4 * 6);
            EXPECT_EQ(second, (std::vector<int>{8192, 8193, 8195, 8195, 8193, 8194, 8196, 8197,
                                                8199, 8199, 8197, 8198}));
        } else {
            all.insert(all.end(), second.begin(), second.end());
            EXPECT_EQ(all, iota_ids(8200));
        }
    }
}

TEST_F(FakeGl, EarlierPrimitivesMakeRoomForTheOpenOne) {
    start();
    // 3000 separate triangles as polygons: the array fills in the middle of one of them.
    std::vector<int> want;
    for (int q = 0; q < 3000; q++) {
        zvglBegin(GL_POLYGON);
        for (int i = 0; i < 3; i++)
            zvglVertex2f((float)(q * 3 + i), 0);
        zvglEnd();
        int a = q * 3;
        want.insert(want.end(), {a, a + 1, a + 2});
    }
    zvglFlush();
    std::vector<int> got;
    for (size_t d = 0; d < fake_gl.draws.size(); d++) {
        EXPECT_TRUE(fake_gl.draws[d].range_ok);
        std::vector<int> v = drawn_ids(d);
        got.insert(got.end(), v.begin(), v.end());
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(fake_gl_count("glBufferData"), 2 + 2 * 2) << "two uploads: one split, one flush";

    // An open strip straddling the full array is moved, not cut.
    fake_gl.draws.clear();
    zvglBegin(GL_LINES);
    for (int i = 0; i < 8000; i++)
        zvglVertex2f((float)i, 0);
    zvglEnd();
    zvglBegin(GL_LINE_STRIP);
    for (int i = 0; i < 500; i++)
        zvglVertex2f((float)(10000 + i), 0);
    zvglEnd();
    zvglFlush();
    ASSERT_EQ(fake_gl.draws.size(), 2u);
    EXPECT_EQ(drawn_ids(0), iota_ids(8000));
    std::vector<int> strip = drawn_ids(1);
    ASSERT_EQ(strip.size(), 500u);
    EXPECT_EQ(strip.front(), 10000);
    EXPECT_EQ(strip.back(), 10499);
}

TEST_F(FakeGl, VerticesOutsideBeginEndAndUnknownModesAreIgnored) {
    start();
    zvglVertex2f(1, 1);
    zvglBegin(42);
    zvglVertex2f(1, 1);
    zvglEnd();
    zvglFlush();
    EXPECT_TRUE(fake_gl.draws.empty());
    EXPECT_EQ(gl_test_logged("Error: zvglBegin with unknown mode 42\n"), 1);
}

TEST_F(FakeGl, OldContextsMakeTheBuffersAtTheFirstBegin) {
    fake_gl.version = "2.1 Fake";
    start();
    EXPECT_EQ(fake_gl_count("glGenVertexArrays"), 0);
    emit(GL_TRIANGLES, 3);
    EXPECT_EQ(fake_gl_count("glGenVertexArrays"), 1);
    EXPECT_EQ(fake_gl.draws.size(), 1u);
}

} // namespace
