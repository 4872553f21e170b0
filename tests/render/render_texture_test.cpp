// The texture loader on the recording fake GL: name flags and wrap modes, resampling and
// reduction as uploaded, links, animation timing and level replacement, pasting, the custom
// level warning, generations and the sweep.
#include "render_gl_fixture.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"
#include "data/data_index.h"
#include "platform/platform.h"
#include "render/render_texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string read_text(const std::string &path) {
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

void write_bytes(const std::string &path, const void *bytes, size_t len) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fwrite(bytes, 1, len, f);
    fclose(f);
}

void write_png(const std::string &path, int w, int h, int ch, unsigned seed) {
    data_image img;
    ASSERT_EQ(1, data_image_alloc(&img, w, h, ch, 8));
    uint8_t *p = (uint8_t *)img.pixels;
    for (int i = 0; i < w * h * ch; i++) {
        seed = seed * 1664525u + 1013904223u;
        p[i] = (uint8_t)(seed >> 24);
    }
    uint8_t *png;
    size_t len;
    ASSERT_EQ(1, data_image_encode_png(&img, &png, &len));
    write_bytes(path, png, len);
    zv_free(png);
    data_image_free(&img);
}

// A J6 picture of one colour, as a ".seq" frame.
std::string j6_frame(int w, int h, uint8_t r) {
    data_image img;
    data_image_alloc(&img, w, h, 3, 8);
    memset(img.pixels, r, (size_t)w * h * 3);
    uint8_t *enc;
    size_t len;
    data_image_encode_predictive(&img, &enc, &len);
    std::string s((const char *)enc, len);
    zv_free(enc);
    data_image_free(&img);
    return s;
}

class Textures : public FakeGl {
  protected:
    std::string dir, log_path;
    void SetUp() override {
        FakeGl::SetUp();
        char tmpl[] = "/tmp/zv_tex_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir = tmpl;
        mkdir((dir + "/home").c_str(), 0755);
        mkdir((dir + "/colors").c_str(), 0755);
        setenv("ZV_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", (dir + "/home").c_str(), 1);
        data_root_reset();
        log_path = dir + "/log.txt";
        setenv("QUVA_LOGFILE", log_path.c_str(), 1);
        platform_log_reset();
        render_texture_config = {0, 1, 1};
        start();
        write_png(dir + "/colors/white.png", 4, 4, 3, 1);
    }
    void TearDown() override {
        render_texture_sweep(1);
        FakeGl::TearDown();
        platform_log_reset();
        unsetenv("QUVA_LOGFILE");
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(0, system(cmd.c_str()));
    }
    std::string path(const char *name) { return dir + "/" + name; }
    std::string log() { return read_text(log_path); }
    // The level-0 sizes uploaded, in order.
    std::vector<std::pair<int, int>> base_uploads() {
        std::vector<std::pair<int, int>> v;
        for (const auto &c : fake_gl.calls)
            if (c.name == "glTexImage2D" && c.args[0] == 0)
                v.push_back({(int)c.args[1], (int)c.args[2]});
        return v;
    }
    long long param_after(int from, GLenum pname) {
        for (size_t i = from; i < fake_gl.calls.size(); i++)
            if (fake_gl.calls[i].name == "glTexParameteri" &&
                fake_gl.calls[i].args[0] == (long long)pname)
                return fake_gl.calls[i].args[1];
        return -1;
    }
};

TEST(TextureNames, FlagsFromTheName) {
    EXPECT_EQ(RENDER_TEXTURE_REPEAT_S, render_texture_name_flags("stone-hrepeat.png"));
    EXPECT_EQ(RENDER_TEXTURE_REPEAT_T, render_texture_name_flags("@a/b-vrepeat.ppm"));
    EXPECT_EQ(RENDER_TEXTURE_REPEAT_S | RENDER_TEXTURE_REPEAT_T,
              render_texture_name_flags("dirt-repeat.png"));
    EXPECT_EQ(0, render_texture_name_flags("repeat.png"));
    EXPECT_EQ(0, render_texture_name_flags("stone-hrepeat"));
    render_texture_set_detail(9);
    EXPECT_EQ(1, render_texture_config.reduction);
    render_texture_set_detail(-5);
    EXPECT_EQ(10, render_texture_config.reduction);
    render_texture_set_detail(40);
    EXPECT_EQ(0, render_texture_config.reduction);
}

TEST_F(Textures, HrepeatRepeatsHorizontallyAndClampsVertically) {
    write_png(path("stone-hrepeat.png"), 8, 8, 3, 5);
    int from = (int)fake_gl.calls.size();
    GLuint id = render_texture_load(path("stone-hrepeat.png").c_str());
    ASSERT_NE(0u, id);
    zvglFlushQueue();
    EXPECT_EQ(GL_REPEAT, param_after(from, GL_TEXTURE_WRAP_S));
    EXPECT_EQ(GL_CLAMP_TO_EDGE, param_after(from, GL_TEXTURE_WRAP_T));
    EXPECT_EQ(GL_LINEAR_MIPMAP_LINEAR, param_after(from, GL_TEXTURE_MIN_FILTER));
    // Every level down to 1x1 is uploaded.
    EXPECT_EQ(4, fake_gl_count("glTexImage2D") - 2 /* the layer's two default textures */);
    // Loaded once: the second load is a table hit.
    EXPECT_EQ(id, render_texture_load(path("stone-hrepeat.png").c_str()));
    EXPECT_EQ(4, fake_gl_count("glTexImage2D") - 2);
    EXPECT_STREQ(path("stone-hrepeat.png").c_str(), render_texture_name(id));
}

TEST_F(Textures, NonPowerOfTwoPngIsResampledWithWarning) {
    write_png(path("odd.png"), 300, 200, 3, 7);
    ASSERT_NE(0u, render_texture_load(path("odd.png").c_str()));
    auto up = base_uploads();
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(std::make_pair(256, 128), up.back());
    EXPECT_NE(std::string::npos,
              log().find("Warning: Non power of 2 texture '" + path("odd.png") + "'"));
}

TEST_F(Textures, ReductionLevelsAndTheBangPrefix) {
    render_texture_config.reduction = 2;
    struct {
        const char *name;
        int n, want;
    } cases[] = {{"big.png", 1024, 256}, {"mid.png", 256, 128}, {"small.png", 128, 128}};
    for (auto c : cases) {
        write_png(path(c.name), c.n, c.n, 3, 11);
        ASSERT_NE(0u, render_texture_load(path(c.name).c_str()));
        EXPECT_EQ(std::make_pair(c.want, c.want), base_uploads().back()) << c.name;
    }
    write_png(path("full.png"), 512, 512, 3, 13);
    ASSERT_NE(0u, render_texture_load(("!" + path("full.png")).c_str()));
    EXPECT_EQ(std::make_pair(512, 512), base_uploads().back());
}

TEST_F(Textures, SelfLinkGivesWhite) {
    std::string link = "LINK " + path("loop.png") + "\n";
    write_bytes(path("loop.png"), link.data(), link.size());
    GLuint white = render_texture_load("@colors/white.png");
    ASSERT_NE(0u, white);
    GLuint id = render_texture_load(path("loop.png").c_str());
    EXPECT_EQ(white, id);
    // Later loads follow the recorded link straight to the white texture.
    EXPECT_EQ(white, render_texture_load(path("loop.png").c_str()));
    // A link to a real picture resolves to it.
    write_png(path("real.png"), 8, 8, 3, 3);
    std::string to_real = "LINK  " + path("real.png") + "  \n";
    write_bytes(path("alias.png"), to_real.data(), to_real.size());
    GLuint real = render_texture_load(path("alias.png").c_str());
    ASSERT_NE(0u, real);
    EXPECT_NE(white, real);
    EXPECT_STREQ(path("real.png").c_str(), render_texture_name(real));
}

TEST_F(Textures, AnimationTimingAndLevelReplacement) {
    // 4 entries, 10 tics a step, looping; frames 4x2 so the halving rule matters.
    std::string seq = "ANIM1\n4 4 10 1\n0 1 2 3\n";
    for (int i = 0; i < 4; i++)
        seq += j6_frame(4, 2, (uint8_t)(40 * i));
    write_bytes(path("flag.seq"), seq.data(), seq.size());
    GLuint id = render_texture_load(path("flag.seq").c_str());
    ASSERT_NE(0u, id);
    EXPECT_EQ(0, render_texture_anim_frame(id));
    render_texture_restart_animation(id, 1000);
    render_texture_animate(1015);
    EXPECT_EQ(1, render_texture_anim_frame(id));
    zvglFlushQueue();
    // 4x2, 2x1 and 1x1: no stale smallest level.
    EXPECT_EQ(3, fake_gl_count("glTexSubImage2D"));
    render_texture_animate(1040);
    EXPECT_EQ(0, render_texture_anim_frame(id));
    // Unchanged frame: nothing uploaded.
    render_texture_animate(1041);
    zvglFlushQueue();
    EXPECT_EQ(6, fake_gl_count("glTexSubImage2D"));
    // Stopped animations keep their frame.
    render_texture_stop_animation(id);
    render_texture_animate(1070);
    EXPECT_EQ(0, render_texture_anim_frame(id));

    EXPECT_EQ(1, render_texture_anim_entry(115, 100, 10, 4, 1));
    EXPECT_EQ(0, render_texture_anim_entry(140, 100, 10, 4, 1));
    EXPECT_EQ(3, render_texture_anim_entry(10000, 100, 10, 4, 0));
    EXPECT_EQ(0, render_texture_anim_entry(50, 100, 10, 4, 0));
}

TEST_F(Textures, BadAnimationsAreRefused) {
    const char *bad[] = {"ANIM1\n2 1 0 1\n0 0\n", "ANIM1\n2 2 5 1\n0 2\n", "ANIM1\n0 1 5 1\n"};
    for (const char *b : bad) {
        std::string s = std::string(b) + j6_frame(2, 2, 9) + j6_frame(2, 2, 9);
        write_bytes(path("bad.seq"), s.data(), s.size());
        EXPECT_EQ(0u, render_texture_load(path("bad.seq").c_str())) << b;
    }
    EXPECT_NE(std::string::npos, log().find("Bad .seq step length"));
    EXPECT_NE(std::string::npos, log().find("Play-list entry outside the .seq frames"));
}

TEST_F(Textures, CustomFramesPaste) {
    std::string seq = "ANIM1\n1 2 1 0\n0\n" + j6_frame(64, 64, 10) + j6_frame(64, 64, 200);
    write_bytes(path("comp.seq"), seq.data(), seq.size());
    GLuint id = render_texture_load(path("comp.seq").c_str());
    ASSERT_NE(0u, id);
    EXPECT_EQ(0, render_texture_paste(id, 1, 0, 0, 0, 0, 1, 1)); // before begin
    EXPECT_EQ(1, render_texture_begin_custom_frame(id));
    EXPECT_EQ(1, render_texture_paste(id, 1, -0.25f, 0, 0.5f, 0, 0.5f, 1));
    EXPECT_EQ(0, render_texture_paste(id, 2, 0, 0, 0, 0, 1, 1));    // no such frame
    EXPECT_EQ(0, render_texture_paste(id, 0, 1.0f, 0, 0, 0, 1, 1)); // starts at the far edge
    int before = fake_gl_count("glTexSubImage2D");
    EXPECT_EQ(1, render_texture_end_custom_frame(id));
    zvglFlushQueue();
    EXPECT_EQ(7, fake_gl_count("glTexSubImage2D") - before); // 64x64 down to 1x1
    EXPECT_EQ(0, render_texture_begin_custom_frame(12345));
}

TEST(TexturePaste, RectangleArithmetic) {
    render_paste_rect r;
    // A source x of -0.25 on 64 pixels moves both rectangles 16 right and narrows them by 16.
    ASSERT_EQ(1, render_texture_paste_rect(64, 64, -0.25f, 0, 0.25f, 0, 0.5f, 1, &r));
    EXPECT_EQ(0, r.x0);
    EXPECT_EQ(32, r.x1);
    EXPECT_EQ(16, r.n);
    EXPECT_EQ(64, r.m);
    // Width limited by the far edge of the later start.
    ASSERT_EQ(1, render_texture_paste_rect(64, 32, 0, 0.5f, 0.75f, 0, 1, 1, &r));
    EXPECT_EQ(16, r.n);
    EXPECT_EQ(16, r.m);
    EXPECT_EQ(0, render_texture_paste_rect(64, 64, 0, 0, 0, 0, 0.001f, 1, &r));
    EXPECT_EQ(0, render_texture_paste_rect(64, 64, -1.5f, 0, 0, 0, 1, 1, &r));
    EXPECT_EQ(0, render_texture_paste_rect(64, 64, NAN, 0, 0, 0, 1, 1, &r));
    EXPECT_EQ(0, render_texture_paste_rect(64, 64, 0, 0, 0, 0, INFINITY, 1, &r));
}

TEST(TexturePaste, AlphaCompositing) {
    uint8_t d[4];
    auto paste = [&](std::initializer_list<int> s, std::initializer_list<int> dst) {
        uint8_t sp[4];
        int i = 0;
        for (int v : s)
            sp[i++] = (uint8_t)v;
        i = 0;
        for (int v : dst)
            d[i++] = (uint8_t)v;
        render_texture_paste_pixel(sp, d, 4);
    };
    paste({1, 2, 3, 0}, {9, 9, 9, 7}); // clear source over something: unchanged
    EXPECT_EQ(9, d[0]);
    EXPECT_EQ(7, d[3]);
    paste({1, 2, 3, 0}, {9, 9, 9, 0}); // clear over clear: replaced
    EXPECT_EQ(1, d[0]);
    paste({100, 0, 0, 255}, {0, 200, 0, 255});
    EXPECT_EQ(100, d[0]);
    EXPECT_EQ(0, d[1]);
    paste({255, 0, 0, 51}, {0, 0, 255, 255}); // over opaque: alpha stays 255
    EXPECT_EQ(255 * 51 / 255, d[0]);
    EXPECT_EQ(255 * 204 / 255, d[2]);
    EXPECT_EQ(255, d[3]);
    paste({255, 0, 0, 128}, {0, 0, 255, 128});
    int den = 128 * 127 + 128 * 255;
    EXPECT_EQ(255 * 128 * 255 / den, d[0]);
    EXPECT_EQ(255 * 128 * 127 / den, d[2]);
    EXPECT_EQ(128 + 128 * 127 / 255, d[3]);
    uint8_t s3[3] = {5, 6, 7}, d3[3] = {0, 0, 0};
    render_texture_paste_pixel(s3, d3, 3);
    EXPECT_EQ(0, memcmp(s3, d3, 3));
}

TEST_F(Textures, CustomMipWarningAndInfoText) {
    write_png(path("tall.png"), 256, 380, 3, 17);
    std::string info = "[mip_custom]\n";
    write_bytes(path("tall.png.info"), info.data(), info.size());
    GLuint id = render_texture_load(path("tall.png").c_str());
    ASSERT_NE(0u, id);
    EXPECT_NE(std::string::npos, log().find("Warning: Invalid height for custom MIP map in '" +
                                            path("tall.png") + "'"));
    ASSERT_NE(nullptr, render_texture_info(id));
    EXPECT_STREQ("[mip_custom]\n", render_texture_info(id));
    EXPECT_EQ(nullptr, render_texture_info(id + 1000));
}

TEST_F(Textures, CompressionFollowsTheSettingAndTheInfoTag) {
    // The compressed size is asked of GL only for textures uploaded compressed.
    write_png(path("c1.png"), 8, 8, 3, 1);
    write_png(path("c2.png"), 8, 8, 3, 2);
    write_png(path("c3.png"), 8, 8, 3, 3);
    std::string tag = "[compress]";
    write_bytes(path("c1.png.info"), tag.data(), tag.size());
    write_bytes(path("c3.png.info"), tag.data(), tag.size());
    std::string j6 = j6_frame(8, 8, 5);
    write_bytes(path("c4.ppm"), j6.data(), j6.size());
    auto queries = [] {
        zvglFlushQueue();
        return fake_gl_count("glGetTexLevelParameteriv");
    };
    render_texture_config.compression = 1;
    int q = queries();
    ASSERT_NE(0u, render_texture_load(path("c2.png").c_str())); // no tag
    EXPECT_EQ(q, queries());
    ASSERT_NE(0u, render_texture_load(path("c1.png").c_str())); // tagged: every level
    EXPECT_EQ(q + 4, queries());
    render_texture_config.compression = 0;
    ASSERT_NE(0u, render_texture_load(path("c3.png").c_str())); // tagged but never
    EXPECT_EQ(q + 4, queries());
    render_texture_config.compression = 2;
    ASSERT_NE(0u, render_texture_load(path("c4.ppm").c_str())); // always, but only for PNG
    EXPECT_EQ(q + 4, queries());
}

TEST_F(Textures, GenerationsAndSweep) {
    write_png(path("a.png"), 8, 8, 3, 1);
    write_png(path("b.png"), 8, 8, 3, 2);
    write_png(path("c.png"), 8, 8, 3, 3);
    int g0 = render_texture_generation();
    GLuint a = render_texture_load(path("a.png").c_str()); // before any track: kept for good
    render_texture_new_generation();
    GLuint b = render_texture_load(path("b.png").c_str());
    GLuint c = render_texture_load(path("c.png").c_str());
    EXPECT_GT(render_texture_memory(), 0u);
    render_texture_new_generation();
    EXPECT_EQ(0u, render_texture_memory());
    EXPECT_EQ(g0 + 2, render_texture_generation());
    // c is used again by the new track: restamped, its memory counted again.
    EXPECT_EQ(c, render_texture_load(path("c.png").c_str()));
    EXPECT_EQ((size_t)(64 + 16 + 4 + 1) * 3, render_texture_memory());
    int deletes = fake_gl_count("glDeleteTextures");
    render_texture_sweep(0);
    zvglFlushQueue();
    EXPECT_EQ(1, fake_gl_count("glDeleteTextures") - deletes);
    EXPECT_EQ(nullptr, render_texture_name(b));
    EXPECT_NE(nullptr, render_texture_name(a));
    EXPECT_NE(nullptr, render_texture_name(c));
    EXPECT_NE(std::string::npos, log().find("deleting tid " + std::to_string(b)));
    // Case-insensitive lookups find it with a warning.
    std::string upper = path("A.PNG");
    EXPECT_EQ(a, render_texture_find(upper.c_str()));
    EXPECT_NE(std::string::npos, log().find("Warning: case mismatch on '" + upper + "'"));
    EXPECT_EQ(0u, render_texture_find("nothing.png"));
}

TEST_F(Textures, MissingAndDamagedFiles) {
    EXPECT_EQ(0u, render_texture_load(path("none.png").c_str()));
    EXPECT_NE(std::string::npos, log().find("Can't open texture \"" + path("none.png") + "\""));
    std::string junk = "P6\n4 4\n0\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
    write_bytes(path("zero.ppm"), junk.data(), junk.size());
    EXPECT_EQ(0u, render_texture_load(path("zero.ppm").c_str()));
    EXPECT_EQ(0u, render_texture_load(""));
    EXPECT_EQ(0u, render_texture_load_companion("x.png", ".jpg", "_norm.png"));
    write_png(path("x_norm.png"), 4, 4, 3, 1);
    EXPECT_NE(0u, render_texture_load_companion(path("x.png").c_str(), ".png", "_norm.png"));
}

} // namespace

namespace {

TEST(TextureVariants, NamesWithAPrefixFromTheFileIndex) {
    char tmpl[] = "/tmp/zv_variants_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    std::string dir = tmpl;
    for (const char *n : {"wheels-blue.png", "wheels-Red.png", "wheel.png", "rider_body-a.png"}) {
        FILE *f = fopen((dir + "/" + n).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        fputs("x", f);
        fclose(f);
    }
    setenv("ZV_HOME", dir.c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/nohome").c_str(), 1);
    file_index_free();
    data_root_reset();
    ASSERT_NE(nullptr, file_index_build());
    const char *const *names;
    ASSERT_EQ(2, render_texture_variants(0, "wheels-", &names));
    EXPECT_STREQ("wheels-blue.png", names[0]);
    EXPECT_STREQ("wheels-Red.png", names[1]);
    ASSERT_EQ(1, render_texture_variants(1, "rider_body-", &names));
    EXPECT_STREQ("rider_body-a.png", names[0]);
    EXPECT_EQ(0, render_texture_variants(2, "helmet-", &names));
    EXPECT_EQ(0, render_texture_variants(9, "wheels-", &names)); // no such slot
    render_texture_sweep(1);
    file_index_free();
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(0, system(cmd.c_str()));
}

} // namespace
