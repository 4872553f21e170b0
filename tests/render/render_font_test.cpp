// Fonts and text: cutting a grid image by its marker pixels, the text layout (tabs, escapes,
// shadow pass, line breaks, spaces), width measuring, drawing on the fake GL, the generated
// fonts of the default data, and number plates.
#include "render_gl_fixture.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"
#include "data/data_index.h"
#include "render/render_font.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A font picture built by hand: marker magenta, two rows of cells. Row 1 (height 10) holds
// cells of widths 5, 10 and 3; row 2 (height 6) a cell of width 6.
struct test_font {
    int w = 24, h = 1 + 10 + 1 + 6 + 1;
    uint8_t *chain = nullptr;
    test_font() {
        chain = (uint8_t *)zv_alloc_zeroed(1, data_mip_chain_bytes(w, h, 4));
        auto set = [&](int x, int y, int r, int g, int b, int a) {
            uint8_t *p = chain + ((size_t)y * w + x) * 4;
            p[0] = (uint8_t)r, p[1] = (uint8_t)g, p[2] = (uint8_t)b, p[3] = (uint8_t)a;
        };
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                set(x, y, 255, 255, 255, 0);
        auto marker_row = [&](int y) {
            for (int x = 0; x < w; x++)
                set(x, y, 255, 0, 255, 255);
        };
        marker_row(0);
        marker_row(11);
        marker_row(18);
        // Row 1 separators after x = 0..4, 6..15, 17..19; the rest of the row is marker.
        for (int y = 1; y <= 10; y++) {
            set(5, y, 255, 0, 255, 255);
            set(16, y, 255, 0, 255, 255);
            for (int x = 20; x < w; x++)
                set(x, y, 255, 0, 255, 255);
            set(2, y, 255, 255, 255, 255); // ink inside the first cell
        }
        for (int y = 12; y <= 17; y++)
            set(6, y, 255, 0, 255, 255);
        for (int y = 12; y <= 17; y++)
            for (int x = 7; x < w; x++)
                set(x, y, 255, 0, 255, 255);
    }
};

render_font cut_test_font(const char *glyphs) {
    test_font t;
    render_font f = {};
    EXPECT_EQ(1, render_font_cut(&f, t.chain, t.w, t.h, glyphs));
    return f;
}

struct recorded {
    std::vector<render_glyph> glyphs;
    static void add(void *ctx, const render_glyph *g) { ((recorded *)ctx)->glyphs.push_back(*g); }
};

recorded lay_out(const render_font &f, const char *text, int flags, float r = 0.2f, float g = 0.3f,
                 float b = 0.4f, float a = 0.9f) {
    recorded rec;
    render_text_layout(&f, text, flags, r, g, b, a, recorded::add, &rec);
    return rec;
}

TEST(FontCut, CellsByMarkerPixels) {
    render_font f = cut_test_font("a-bc");
    ASSERT_TRUE(f.loaded);
    EXPECT_FLOAT_EQ(5.0f / 10, f.advance['a']);
    EXPECT_FLOAT_EQ(10.0f / 10, f.advance['-']);
    EXPECT_FLOAT_EQ(3.0f / 10, f.advance['b']);
    EXPECT_FLOAT_EQ(6.0f / 6, f.advance['c']);
    EXPECT_FLOAT_EQ(f.advance['-'], f.advance[' ']);
    EXPECT_FLOAT_EQ(2.0f / 3, f.advance['z']); // not in the set
    EXPECT_FLOAT_EQ(6.0f / 24, f.s0['-']);
    EXPECT_FLOAT_EQ(16.0f / 24, f.s1['-']);
    EXPECT_FLOAT_EQ(1.0f / 19, f.t0['a']);
    EXPECT_FLOAT_EQ(11.0f / 19, f.t1['a']);
    EXPECT_FLOAT_EQ(12.0f / 19, f.t0['c']);
    EXPECT_EQ(f.s0['z'], f.s1['z']);
    // The grid lines are clear white now, the ink is untouched.
    const uint8_t *p = f.chain;
    EXPECT_EQ(0, p[3]);
    EXPECT_EQ(255, p[1]);
    EXPECT_EQ(255, p[(1 * 24 + 2) * 4 + 3]);
    EXPECT_EQ(0, p[(5 * 24 + 5) * 4 + 3]);
    render_font_release(&f);
}

TEST(TextLayout, TabsSpacesAndLineBreaks) {
    render_font f = cut_test_font("a-bc");
    float s = f.advance[' '];
    auto r = lay_out(f, "ab\tc", RENDER_TEXT_CALLER_COLOR);
    ASSERT_EQ(3u, r.glyphs.size());
    EXPECT_FLOAT_EQ(0, r.glyphs[0].x);
    EXPECT_FLOAT_EQ(f.advance['a'], r.glyphs[1].x);
    EXPECT_FLOAT_EQ(8 * s, r.glyphs[2].x); // the first tab stop
    // A tab exactly on a stop goes on to the next one.
    auto r2 = lay_out(f, "--------\tc", RENDER_TEXT_CALLER_COLOR);
    EXPECT_FLOAT_EQ(16 * s, r2.glyphs.back().x);
    // Spaces draw nothing.
    EXPECT_TRUE(lay_out(f, "    ", 0).glyphs.empty());
    auto r3 = lay_out(f, "a\nb\rc", RENDER_TEXT_CALLER_COLOR);
    ASSERT_EQ(3u, r3.glyphs.size());
    EXPECT_FLOAT_EQ(0, r3.glyphs[1].x);
    EXPECT_FLOAT_EQ(-1, r3.glyphs[1].y);
    EXPECT_FLOAT_EQ(0, r3.glyphs[2].x);
    EXPECT_FLOAT_EQ(-1, r3.glyphs[2].y);
    EXPECT_FLOAT_EQ(3 * f.advance['b'], render_text_width_in(&f, "a\nbbb"));
    EXPECT_FLOAT_EQ(2 * f.advance['a'], render_text_width_in(&f, "a\x1b[1;31ma"));
    EXPECT_FLOAT_EQ(8 * s + f.advance['c'], render_text_width_in(&f, "a\tc"));
    render_font_release(&f);
}

TEST(TextLayout, EscapesAndPalette) {
    render_font f = cut_test_font("a-bc");
    auto r = lay_out(f, "a\x1b[1;31mb\x1b[0mc", RENDER_TEXT_CALLER_COLOR);
    ASSERT_EQ(3u, r.glyphs.size());
    EXPECT_FLOAT_EQ(0.2f, r.glyphs[0].r);
    EXPECT_FLOAT_EQ(1, r.glyphs[1].r); // bright red
    EXPECT_FLOAT_EQ(0, r.glyphs[1].g);
    EXPECT_FLOAT_EQ(0, r.glyphs[1].b);
    EXPECT_FLOAT_EQ(0.9f, r.glyphs[1].a); // the caller's alpha always
    EXPECT_FLOAT_EQ(0.2f, r.glyphs[2].r);
    EXPECT_FLOAT_EQ(0.3f, r.glyphs[2].g);
    // Dim green, then bright cleared with 22; an empty sequence resets to the caller's colour.
    auto g = lay_out(f, "\x1b[32ma\x1b[1;22mb\x1b[mc", RENDER_TEXT_CALLER_COLOR);
    EXPECT_FLOAT_EQ(0.75f, g.glyphs[0].g);
    EXPECT_FLOAT_EQ(0.75f, g.glyphs[1].g);
    EXPECT_FLOAT_EQ(0.4f, g.glyphs[2].b);
    // Bright on the caller's colour lightens it by a quarter, at most 1.
    auto l = lay_out(f, "\x1b[1ma", RENDER_TEXT_CALLER_COLOR, 0.2f, 0.9f, 0.5f);
    EXPECT_FLOAT_EQ(0.45f, l.glyphs[0].r);
    EXPECT_FLOAT_EQ(1.0f, l.glyphs[0].g);
    // Palette colours straight from the flags.
    auto p = lay_out(f, "a", 6);
    EXPECT_FLOAT_EQ(0, p.glyphs[0].r);
    EXPECT_FLOAT_EQ(0.75f, p.glyphs[0].g);
    EXPECT_FLOAT_EQ(0.75f, p.glyphs[0].b);
    // With escapes off the sequence is skipped but changes nothing.
    auto raw = lay_out(f, "\x1b[31ma", RENDER_TEXT_CALLER_COLOR | RENDER_TEXT_RAW);
    ASSERT_EQ(1u, raw.glyphs.size());
    EXPECT_FLOAT_EQ(0.2f, raw.glyphs[0].r);
    // A sequence cut off by the end of the text is harmless.
    EXPECT_TRUE(lay_out(f, "\x1b[31;4", 0).glyphs.empty());
    render_font_release(&f);
}

TEST(TextLayout, ShadowPassTakesBackgroundColours) {
    render_font f = cut_test_font("a-bc");
    int shadow = RENDER_TEXT_CALLER_COLOR | RENDER_TEXT_SHADOW;
    auto r = lay_out(f, "\x1b[31ma", shadow, 0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(0, r.glyphs[0].r); // a foreground escape leaves the shadow black
    auto b = lay_out(f, "\x1b[44ma\x1b[0mb", shadow, 0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(0.75f, b.glyphs[0].b);
    EXPECT_FLOAT_EQ(0, b.glyphs[1].b);
    // The same background escape in the normal pass does nothing.
    auto n = lay_out(f, "\x1b[44ma", RENDER_TEXT_CALLER_COLOR, 0.1f, 0.1f, 0.1f);
    EXPECT_FLOAT_EQ(0.1f, n.glyphs[0].b);
    render_font_release(&f);
}

class TextDrawing : public FakeGl {};

TEST_F(TextDrawing, ShadowedTextDrawsTwoPassesAndBlanksNothing) {
    start();
    test_font t;
    ASSERT_EQ(1, render_font_cut(&render_font_main, t.chain, t.w, t.h, "a-bc"));
    render_font_main.texture = 77;
    render_text_shadowed(1, 0, 0, 1, "ab");
    zvglFlushQueue();
    // Two passes of two quads each, drawn as indexed triangles.
    ASSERT_EQ(2u, fake_gl.draws.size());
    EXPECT_EQ(12u, fake_gl.draws[0].vertices.size());
    const auto &shadow = fake_gl.draws[0].vertices[0];
    const auto &text = fake_gl.draws[1].vertices[0];
    EXPECT_FLOAT_EQ(0, shadow[8]);     // black
    EXPECT_FLOAT_EQ(0.5f, shadow[11]); // half the alpha
    EXPECT_FLOAT_EQ(1, text[8]);
    EXPECT_FLOAT_EQ(1, text[11]);
    size_t draws = fake_gl.draws.size();
    render_text_white("   \t ");
    render_text_shadowed(1, 1, 1, 1, "  ");
    render_text_draw(1, 1, 1, 1, "");
    zvglFlushQueue();
    EXPECT_EQ(draws, fake_gl.draws.size());
    render_font_main.texture = 0; // not a real texture of the fake
    render_font_release(&render_font_main);
}

// The fonts zvgen made for the default data set, read through the file index.
class GeneratedFonts : public ::testing::Test {
  protected:
    std::string home;
    void SetUp() override {
        std::string saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
        if (access(saf.c_str(), R_OK) != 0) FAIL() << "no generated data at " << saf;
        char tmpl[] = "/tmp/zv_fonts_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        home = tmpl;
        // A data directory holding only the archive keeps the index small.
        std::string link = home + "/zzzz.saf";
        ASSERT_EQ(0, symlink(saf.c_str(), link.c_str()));
        setenv("ZV_HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/user").c_str(), 1);
        file_index_free();
        data_root_reset();
        ASSERT_NE(nullptr, file_index_build());
    }
    void TearDown() override {
        render_font_free_all();
        file_index_free();
        if (!home.empty()) {
            std::string cmd = "rm -rf '" + home + "'";
            ASSERT_EQ(0, system(cmd.c_str()));
        }
    }
};

TEST_F(GeneratedFonts, AllGlyphsCutAndPlatesPaint) {
    ASSERT_EQ(1, render_font_load_file(&render_font_main, "@font.png",
                                       "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVW"
                                       "XYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~",
                                       0));
    for (int c = 0x21; c <= 0x7e; c++) {
        EXPECT_GT(render_font_main.s1[c], render_font_main.s0[c]) << (char)c;
        EXPECT_GT(render_font_main.advance[c], 0.15f) << (char)c;
        EXPECT_LT(render_font_main.advance[c], 0.8f) << (char)c;
        // Every cell holds ink.
        int x0 = (int)(render_font_main.s0[c] * render_font_main.width);
        int x1 = (int)(render_font_main.s1[c] * render_font_main.width);
        int y0 = (int)(render_font_main.t0[c] * render_font_main.height + 0.5f);
        int y1 = (int)(render_font_main.t1[c] * render_font_main.height + 0.5f);
        int ink = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                ink +=
                    render_font_main.chain[((size_t)y * render_font_main.width + x) * 4 + 3] > 128;
        EXPECT_GT(ink, 0) << (char)c;
    }
    // Same height everywhere: all cells share the line.
    EXPECT_FLOAT_EQ(render_font_main.t1['A'] - render_font_main.t0['A'],
                    render_font_main.t1['g'] - render_font_main.t0['g']);
    EXPECT_LT(render_font_main.advance['i'], render_font_main.advance['m']);

    render_font_load_all();
    ASSERT_TRUE(render_font_numbers.loaded);
    ASSERT_TRUE(render_font_condensed.loaded);
    EXPECT_LT(render_font_condensed.advance['8'], render_font_numbers.advance['8']);
    uint8_t *plate = render_font_plate_pixels("7", 0xff0000, 0x000000);
    ASSERT_NE(nullptr, plate);
    // Corners stay clear white; the middle of the digit is painted.
    EXPECT_EQ(0, plate[3]);
    EXPECT_EQ(255, plate[0]);
    int red = 0, dark = 0;
    for (int i = 0; i < 128 * 128; i++) {
        const uint8_t *p = plate + i * 4;
        red += p[3] > 200 && p[0] > 200 && p[1] < 60;
        dark += p[3] > 200 && p[0] < 60;
    }
    EXPECT_GT(red, 200);  // the digit's fill
    EXPECT_GT(dark, 200); // its outline
    zv_free(plate);
    // Three digits fit inside the plate with the condensed font.
    uint8_t *wide = render_font_plate_pixels("888", 0xffffff, 0x000000);
    for (int y = 0; y < 128; y++) {
        EXPECT_EQ(0, wide[(y * 128 + 0) * 4 + 3]);
        EXPECT_EQ(0, wide[(y * 128 + 127) * 4 + 3]);
    }
    zv_free(wide);
}

TEST(Fonts, MissingFontLeavesItEmpty) {
    render_font f = {};
    EXPECT_EQ(0, render_font_load_file(&f, "/nonexistent/font.png", "ab", 0));
    EXPECT_FALSE(f.loaded);
    EXPECT_FLOAT_EQ(2.0f / 3, f.advance['a']);
    EXPECT_FLOAT_EQ(0, render_text_width_in(&f, nullptr));
}

} // namespace
