// Uploaded texture levels read back through a framebuffer equal the levels computed on the CPU,
// for a power-of-two picture and for one that is resampled first; plain textures keep every
// level of a non-power-of-two font image.
#include "texture_gl_fixture.h"

#include "base/zv_alloc.h"
#include "data/data_image.h"
#include "render/render_texture.h"

#include <cstring>

namespace {

uint8_t *noise_chain(int w, int h, int bpp, unsigned seed) {
    uint8_t *c = (uint8_t *)zv_alloc(data_mip_chain_bytes(w, h, bpp));
    for (int i = 0; i < w * h * bpp; i++) {
        seed = seed * 1664525u + 1013904223u;
        c[i] = (uint8_t)(seed >> 24);
    }
    data_mip_build(c, w, h, bpp, 0);
    return c;
}

// Reads level `level` of texture id (w x h) through a framebuffer attachment as RGBA.
std::vector<uint8_t> read_level(GLuint id, int level, int w, int h) {
    GLuint fb = 0;
    zvglGenFramebuffers(1, &fb);
    zvglBindFramebuffer(GL_FRAMEBUFFER, fb);
    zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, id, level);
    std::vector<uint8_t> px;
    if (zvglCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        px.resize((size_t)w * h * 4);
        zvglReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    }
    zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
    zvglDeleteFramebuffers(1, &fb);
    return px;
}

void expect_levels(GLuint id, const uint8_t *chain, int w, int h, int bpp) {
    const uint8_t *level = chain;
    for (int l = 0;; l++) {
        auto px = read_level(id, l, w, h);
        ASSERT_EQ((size_t)w * h * 4, px.size()) << "level " << l << " not readable";
        int wrong = 0;
        for (int i = 0; i < w * h; i++)
            for (int c = 0; c < bpp; c++)
                wrong += px[i * 4 + c] != level[i * bpp + c];
        EXPECT_EQ(0, wrong) << "level " << l << " (" << w << "x" << h << ")";
        level += (size_t)w * h * bpp;
        if (w == 1 && h == 1) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
}

TEST_F(PicturesGl, UploadedLevelsReadBackAsComputed) {
    // RGBA noise: no level repeats the next, so nothing is dropped and every level is uploaded.
    uint8_t *chain = noise_chain(64, 32, 4, 3);
    GLuint id = render_texture_create(chain, 64, 32, 4, 0, 0, "noise");
    ASSERT_NE(0u, id);
    expect_levels(id, chain, 64, 32, 4);
    zvglDeleteTextures(1, &id);
    zv_free(chain);

    // A 48x20 RGB picture is resampled to 32x16 before its levels are built.
    uint8_t *odd = noise_chain(48, 20, 3, 9);
    uint8_t *want = (uint8_t *)zv_alloc(data_mip_chain_bytes(32, 16, 3));
    data_mip_resample(odd, 48, 20, want, 32, 16, 3);
    data_mip_build(want, 32, 16, 3, 0);
    GLuint id2 = render_texture_create(odd, 48, 20, 3, 0, 0, "odd");
    ASSERT_NE(0u, id2);
    expect_levels(id2, want, 32, 16, 3);
    zvglDeleteTextures(1, &id2);
    zv_free(odd);
    zv_free(want);

    // Plain textures take their levels as given, whatever the size.
    uint8_t *plain = noise_chain(24, 10, 4, 21);
    GLuint id3 = render_texture_create_plain(plain, 24, 10, 4);
    ASSERT_NE(0u, id3);
    expect_levels(id3, plain, 24, 10, 4);
    zvglDeleteTextures(1, &id3);
    zv_free(plain);
    EXPECT_EQ((GLenum)GL_NO_ERROR, zvglGetError());
}

TEST_F(PicturesGl, ScreenshotWriterKeepsTheFramebufferPixels) {
    render_target(40, 24);
    // A gradient frame, read back bottom to top as screenshots are.
    zvglClearColor(0.25f, 0.5f, 0.75f, 1);
    zvglClear(GL_COLOR_BUFFER_BIT);
    auto px = read_back(GL_RGB);
    uint8_t *rb = render_texture_read_back_rgb(fw, fh);
    ASSERT_NE(nullptr, rb);
    EXPECT_EQ(0, memcmp(rb, px.data(), px.size()));
    EXPECT_EQ(64, rb[0]);
    EXPECT_EQ(128, rb[1]);
    zv_free(rb);
    EXPECT_EQ(nullptr, render_texture_read_back_rgb(0, 10));
    std::string path = std::string(ZV_BINARY_DIR) + "/texture_gl_shot.png";
    ASSERT_EQ(1, render_texture_write_png(path.c_str(), px.data(), fw, fh));
    data_image back;
    ASSERT_EQ(1, data_image_load(path.c_str(), &back));
    ASSERT_EQ(fw, back.width);
    const uint8_t *b = (const uint8_t *)back.pixels;
    for (int y = 0; y < fh; y++)
        ASSERT_EQ(
            0, memcmp(b + (size_t)y * fw * 3, px.data() + (size_t)(fh - 1 - y) * fw * 3, fw * 3));
    data_image_free(&back);
    unlink(path.c_str());
}

} // namespace
