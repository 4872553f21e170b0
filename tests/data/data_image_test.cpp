// Picture decoding and encoding on the CPU: PNM, the predictive formats, PNG, the screenshot
// writer, and the mipmap arithmetic with its resampling and redundant-level detection.
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> bytes_of(const std::string &s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct image_holder {
    data_image img = {};
    ~image_holder() { data_image_free(&img); }
    const uint8_t *px() const { return (const uint8_t *)img.pixels; }
};

// Captures the platform log into a temporary file for the duration of a test.
struct log_capture {
    std::string path;
    log_capture() {
        char tmpl[] = "/tmp/zv_image_log_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        path = tmpl;
        setenv("QUVA_LOGFILE", path.c_str(), 1);
        platform_log_reset();
    }
    ~log_capture() {
        platform_log_reset();
        unsetenv("QUVA_LOGFILE");
        unlink(path.c_str());
    }
    std::string text() const {
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
};

uint32_t lcg(uint32_t &s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

TEST(DataImagePnm, DecodesBinaryAndTextMapsWithComments) {
    image_holder a;
    std::string p6 = "P6\n# made by hand\n2 1\n255\n";
    p6 += std::string("\x01\x02\x03\xfd\xfe\xff", 6);
    auto b = bytes_of(p6);
    ASSERT_EQ(1, data_image_decode(b.data(), b.size(), &a.img));
    EXPECT_EQ(2, a.img.width);
    EXPECT_EQ(1, a.img.height);
    EXPECT_EQ(3, a.img.channels);
    EXPECT_EQ(0, memcmp(a.px(), "\x01\x02\x03\xfd\xfe\xff", 6));

    // Text samples are scaled by 255 / maximum with integer division.
    image_holder t;
    auto tb = bytes_of("P3 # c\n# more\n1 # w\n1\n15\n15 7 0\n");
    ASSERT_EQ(1, data_image_decode(tb.data(), tb.size(), &t.img));
    EXPECT_EQ(255, t.px()[0]);
    EXPECT_EQ(7 * 255 / 15, t.px()[1]);
    EXPECT_EQ(0, t.px()[2]);

    image_holder g;
    auto gb = bytes_of("P2\n3 1\n100\n0 50 100\n");
    ASSERT_EQ(1, data_image_decode(gb.data(), gb.size(), &g.img));
    EXPECT_EQ(1, g.img.channels);
    EXPECT_EQ(127, g.px()[1]);
    EXPECT_EQ(255, g.px()[2]);
}

TEST(DataImagePnm, WideMaximumReadsBigEndianPairs) {
    std::string p5 = "P5\n2 1\n65535\n";
    p5 += std::string("\xff\xff\x80\x00", 4);
    auto b = bytes_of(p5);
    image_holder g;
    ASSERT_EQ(1, data_image_decode(b.data(), b.size(), &g.img));
    EXPECT_EQ(8, g.img.bits);
    EXPECT_EQ(255, g.px()[0]);
    EXPECT_EQ(0x8000 * 255 / 65535, g.px()[1]);
    // One byte short of the second sample: refused, not read past the end.
    b.pop_back();
    image_holder s;
    EXPECT_EQ(0, data_image_decode(b.data(), b.size(), &s.img));
    EXPECT_EQ(nullptr, s.img.pixels);
}

TEST(DataImagePnm, RefusesBadHeaders) {
    const char *bad[] = {
        "P6\n2 2\n0\n"
        "............",             // maximum 0
        "P5\n0 4\n255\n",           // empty side
        "P5\n-3 4\n255\n",          // negative side
        "P5\n16385 1\n255\n",       // too wide
        "P6\n99999999999 1\n255\n", // overflowing number
        "P6\n4 4\n255\nabc",        // truncated data
        "P3\n2 1\n255\n1 2 3 4 5",  // truncated text
        "P6x\n1 1\n255\nabc",       // not the magic token
        "P6\n",                     // no dimensions
    };
    for (const char *s : bad) {
        std::string str(s);
        auto b = bytes_of(str);
        image_holder h;
        EXPECT_EQ(0, data_image_decode_pnm(b.data(), b.size(), &h.img, nullptr)) << s;
        EXPECT_EQ(nullptr, h.img.pixels) << s;
    }
    auto g = bytes_of("P5 x");
    image_holder h;
    EXPECT_EQ(0, data_image_decode_pnm(g.data(), g.size(), &h.img, nullptr));
    EXPECT_STREQ("Can't get PGM dimensions", data_image_error());
    auto p = bytes_of("P6 x");
    EXPECT_EQ(0, data_image_decode_pnm(p.data(), p.size(), &h.img, nullptr));
    EXPECT_STREQ("Can't get PPM dimensions", data_image_error());
}

TEST(DataImagePredictive, FollowsThePredictionRule) {
    // 2x2 J6 computed by hand: left in the first row, above in the first column, clamped
    // gradient elsewhere; the sums wrap at 256.
    std::string j = "J6\n2 2\n";
    const uint8_t diff[] = {10, 20, 30, 5, 5, 5, 250, 0, 0, 1, 200, 0};
    j.append((const char *)diff, sizeof diff);
    auto b = bytes_of(j);
    image_holder h;
    size_t used = 0;
    ASSERT_EQ(1, data_image_decode_predictive(b.data(), b.size(), &h.img, &used));
    EXPECT_EQ(b.size(), used);
    const uint8_t want[] = {10, 20, 30, 15, 25, 35, 4, 20, 30,
                            // r: clamp(4 + 15 - 10) = 9, + 1; g: clamp(20 + 25 - 20) = 25, + 200;
                            // b: clamp(30 + 35 - 30) = 35
                            10, 225, 35};
    EXPECT_EQ(0, memcmp(h.px(), want, sizeof want));

    // The gradient prediction clamps to 0..255 rather than wrapping.
    std::string k = "J7 2 2\n";
    const uint8_t d2[] = {250, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, 0, 0, 0};
    k.append((const char *)d2, sizeof d2);
    // pixel (0,0) = 250, (1,0) = 250, (0,1) = 250, (1,1) predicted clamp(500 - 250) = 250 + 6
    auto kb = bytes_of(k);
    image_holder h2;
    ASSERT_EQ(1, data_image_decode_predictive(kb.data(), kb.size(), &h2.img, nullptr));
    EXPECT_EQ(4, h2.img.channels);
    EXPECT_EQ(0, h2.px()[12]); // 250 + 6 wraps to 0
}

TEST(DataImagePredictive, EncoderRoundTripsAndTruncationIsRefused) {
    for (int ch = 3; ch <= 4; ch++) {
        image_holder src;
        ASSERT_EQ(1, data_image_alloc(&src.img, 37, 23, ch, 8));
        uint32_t s = 7;
        uint8_t *p = (uint8_t *)src.img.pixels;
        for (int i = 0; i < 37 * 23 * ch; i++)
            p[i] = (uint8_t)(lcg(s) % 256);
        uint8_t *enc;
        size_t len;
        ASSERT_EQ(1, data_image_encode_predictive(&src.img, &enc, &len));
        EXPECT_EQ(ch == 4 ? 'J' : 'J', enc[0]);
        EXPECT_EQ(ch == 4 ? '7' : '6', enc[1]);
        image_holder back;
        ASSERT_EQ(1, data_image_decode(enc, len, &back.img));
        EXPECT_EQ(0, memcmp(back.px(), p, 37 * 23 * ch));
        image_holder cut;
        EXPECT_EQ(0, data_image_decode(enc, len - 1, &cut.img));
        zv_free(enc);
    }
}

TEST(DataImagePng, RoundTripsKeepingDepth) {
    // 16-bit grey keeps every bit and comes back in native byte order.
    image_holder src;
    ASSERT_EQ(1, data_image_alloc(&src.img, 5, 3, 1, 16));
    uint16_t *s16 = (uint16_t *)src.img.pixels;
    for (int i = 0; i < 15; i++)
        s16[i] = (uint16_t)(i * 4099 + 1);
    uint8_t *enc;
    size_t len;
    ASSERT_EQ(1, data_image_encode_png(&src.img, &enc, &len));
    image_holder back;
    ASSERT_EQ(1, data_image_decode(enc, len, &back.img));
    EXPECT_EQ(16, back.img.bits);
    EXPECT_EQ(1, back.img.channels);
    EXPECT_EQ(0, memcmp(back.img.pixels, s16, 30));

    // The texture conversion: grey to RGB, 16 bits to the high byte.
    image_holder tex;
    ASSERT_EQ(1, data_image_decode_png(enc, len, DATA_IMAGE_PNG_TEXTURE, &tex.img));
    EXPECT_EQ(3, tex.img.channels);
    EXPECT_EQ(8, tex.img.bits);
    for (int i = 0; i < 15; i++)
        for (int c = 0; c < 3; c++)
            ASSERT_EQ(s16[i] >> 8, tex.px()[i * 3 + c]);

    // Damaged data fails cleanly (libpng's error path) and truncated data too.
    enc[len / 2] ^= 0x55;
    image_holder bad;
    EXPECT_EQ(0, data_image_decode(enc, len, &bad.img));
    EXPECT_EQ(nullptr, bad.img.pixels);
    image_holder cut;
    EXPECT_EQ(0, data_image_decode(enc, 20, &cut.img));
    zv_free(enc);

    image_holder junk;
    auto j = bytes_of("neither a picture nor anything else");
    EXPECT_EQ(0, data_image_decode(j.data(), j.size(), &junk.img));
}

TEST(DataImagePng, ScreenshotWriterReadsBackPixelIdentical) {
    char dir[] = "/tmp/zv_shot_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string path = std::string(dir) + "/shot.png";
    const int w = 67, h = 41;
    std::vector<uint8_t> rgb(w * h * 3);
    uint32_t s = 99;
    for (auto &v : rgb)
        v = (uint8_t)lcg(s);
    ASSERT_EQ(1, data_image_write_png(path.c_str(), rgb.data(), w, h));
    image_holder back;
    ASSERT_EQ(1, data_image_load(path.c_str(), &back.img));
    ASSERT_EQ(w, back.img.width);
    ASSERT_EQ(h, back.img.height);
    ASSERT_EQ(3, back.img.channels);
    // The frame buffer's rows run bottom to top; the file's top to bottom.
    for (int y = 0; y < h; y++)
        ASSERT_EQ(0, memcmp(back.px() + y * w * 3, rgb.data() + (h - 1 - y) * w * 3, w * 3)) << y;
    unlink(path.c_str());
    rmdir(dir);
}

TEST(DataImageSize, BoundsAndSixtyFourBitArithmetic) {
    EXPECT_EQ(0u, data_image_size(0, 5, 3, 1));
    EXPECT_EQ(0u, data_image_size(5, -1, 3, 1));
    EXPECT_EQ(0u, data_image_size(16385, 1, 1, 1));
    EXPECT_EQ(0u, data_image_size(4, 4, 5, 1));
    // The decoded-size budget: the largest texture and height map pass, a side of 16384 fits
    // only in a narrow picture, and a huge one is refused by name.
    EXPECT_EQ(4096ull * 4096 * 4, data_image_size(4096, 4096, 4, 1));
    EXPECT_EQ(4097ull * 4097 * 2, data_image_size(4097, 4097, 1, 2));
    EXPECT_EQ(16384ull * 64 * 4, data_image_size(16384, 64, 4, 1));
    EXPECT_EQ(0u, data_image_size(4097, 4097, 4, 1));
    EXPECT_EQ(0u, data_image_size(16384, 16384, 4, 2));
    EXPECT_NE(std::string(data_image_error()).find("Picture too large: 16384 x 16384"),
              std::string::npos);
}

TEST(DataMip, AveragingRules) {
    EXPECT_EQ((size_t)(4 * 2 + 2 * 1 + 1) * 3, data_mip_chain_bytes(4, 2, 3));
    EXPECT_EQ((size_t)(2 + 1) * 4, data_mip_chain_bytes(1, 2, 4));

    // RGB: sums divided by four, rounded down.
    uint8_t rgb[2 * 2 * 3 + 3] = {0, 10, 255, 1, 10, 255, 2, 11, 255, 4, 10, 254};
    data_mip_build(rgb, 2, 2, 3, 0);
    EXPECT_EQ(1, rgb[12]);
    EXPECT_EQ(10, rgb[13]);
    EXPECT_EQ(254, rgb[14]);

    // RGBA: colour weighted by alpha; a clear pixel lends no colour.
    uint8_t rgba[5 * 4] = {200, 0, 0, 255, 0, 200, 0, 0, 0, 200, 0, 0, 0, 200, 0, 0};
    data_mip_build(rgba, 2, 2, 4, 0);
    EXPECT_EQ(200, rgba[16]);
    EXPECT_EQ(0, rgba[17]);
    EXPECT_EQ(63, rgba[19]);
    data_mip_build(rgba, 2, 2, 4, DATA_MIP_MAX_ALPHA);
    EXPECT_EQ(255, rgba[19]);

    // All clear: plain average of the colours.
    uint8_t clear[5 * 4] = {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    data_mip_build(clear, 2, 2, 4, 0);
    EXPECT_EQ(25, clear[16]);

    // A one-pixel-wide column averages pairs.
    uint8_t col[(1 * 4 + 1 * 2 + 1) * 3] = {0, 0, 0, 9, 9, 9, 100, 100, 100, 101, 101, 101};
    data_mip_build(col, 1, 4, 3, 0);
    EXPECT_EQ(4, col[12]);
    EXPECT_EQ(100, col[15]);
    EXPECT_EQ((4 + 100) / 2, col[18]);
}

TEST(DataMip, NonPowerOfTwoIsResampledWithWarning) {
    log_capture log;
    int w = 300, h = 200;
    uint8_t *chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(w, h, 3));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t *p = chain + (y * w + x) * 3;
            p[0] = (uint8_t)x;
            p[1] = (uint8_t)y;
            p[2] = (uint8_t)((x * 7 + y * 13) & 255);
        }
    data_mip_build(chain, w, h, 3, 0);
    uint8_t *base;
    data_mip_prepare(&chain, &w, &h, 3, 0, "odd.png", &base);
    EXPECT_EQ(256, w);
    EXPECT_EQ(128, h);
    // Nearest pixel: column 255 comes from 255 * 300 / 256 = 298, row 127 from 127 * 200 / 128.
    EXPECT_EQ(298 & 255, base[(127 * 256 + 255) * 3]);
    EXPECT_EQ(198, base[(127 * 256 + 255) * 3 + 1]);
    EXPECT_NE(std::string::npos, log.text().find("Warning: Non power of 2 texture 'odd.png'"));
    zv_free(chain);
}

// A chain whose levels hold noise, so no level repeats the next.
uint8_t *noise_chain(int n, uint32_t seed) {
    uint8_t *c = (uint8_t *)zv_alloc(data_mip_chain_bytes(n, n, 3));
    for (int i = 0; i < n * n * 3; i++)
        c[i] = (uint8_t)lcg(seed);
    data_mip_build(c, n, n, 3, 0);
    return c;
}

TEST(DataMip, ReductionLevels) {
    struct {
        int n, want;
    } cases[] = {{1024, 256}, {256, 128}, {128, 128}};
    for (auto c : cases) {
        uint8_t *chain = noise_chain(c.n, 5);
        int w = c.n, h = c.n;
        uint8_t *base;
        EXPECT_EQ(0, data_mip_prepare(&chain, &w, &h, 3, 2, "noise", &base));
        EXPECT_EQ(c.want, w) << c.n;
        EXPECT_EQ(c.want, h) << c.n;
        // The base points at the matching level of the chain.
        size_t off = 0;
        for (int s = c.n; s > c.want; s /= 2)
            off += (size_t)s * s * 3;
        EXPECT_EQ(chain + off, base);
        zv_free(chain);
    }
}

TEST(DataMip, RedundantTopLevelIsDropped) {
    log_capture log;
    // A smooth 256x256 picture with fine noise, doubled by pixel repetition to 512x512.
    int n = 256;
    std::vector<uint8_t> small(n * n * 3);
    uint32_t s = 3;
    for (int y = 0; y < n; y++)
        for (int x = 0; x < n; x++)
            for (int c = 0; c < 3; c++)
                small[(y * n + x) * 3 + c] = (uint8_t)((x + y) / 4 + c * 20 + lcg(s) % 3);
    int w = 512, h = 512;
    uint8_t *chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(w, h, 3));
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            memcpy(chain + (y * w + x) * 3, &small[((y / 2) * n + x / 2) * 3], 3);
    data_mip_build(chain, w, h, 3, 0);
    uint8_t *base;
    int dropped = data_mip_prepare(&chain, &w, &h, 3, 0, "doubled.png", &base);
    EXPECT_GE(dropped, 1);
    EXPECT_LE(w, 256);
    EXPECT_EQ(w, h);
    std::string text = log.text();
    char want[128];
    snprintf(want, sizeof want, "doubled.png reduced to %dx%d (originally 512x512)", w, h);
    EXPECT_NE(std::string::npos, text.find(want)) << text;
    zv_free(chain);

    // Noise is never redundant: nothing dropped, nothing logged.
    uint8_t *nz = noise_chain(64, 11);
    int nw = 64, nh = 64;
    EXPECT_EQ(0, data_mip_prepare(&nz, &nw, &nh, 3, 0, "noise", &base));
    EXPECT_EQ(64, nw);
    zv_free(nz);
}

TEST(DataMip, CustomLevelLayout) {
    // 8 wide, 12 high: base 8x8, level 1 (4x4) bottom left, then 2x2 and 1x1 in a column
    // starting at x = 4 under the base.
    const int w = 8, ih = 12;
    std::vector<uint8_t> img(w * ih * 3, 0);
    auto put = [&](int x, int y, uint8_t v) { img[(y * w + x) * 3] = v; };
    put(0, 0, 11);
    put(0, 8, 22); // level 1 at (0, 8)
    put(3, 11, 23);
    put(4, 8, 33); // level 2 at (4, 8)
    put(5, 9, 34);
    put(4, 10, 44); // level 3 at (4, 10)
    std::vector<uint8_t> chain(data_mip_chain_bytes(8, 8, 3));
    EXPECT_EQ(1, data_mip_custom(img.data(), w, ih, 3, chain.data()));
    EXPECT_EQ(11, chain[0]);
    size_t l1 = 8 * 8 * 3, l2 = l1 + 4 * 4 * 3, l3 = l2 + 2 * 2 * 3;
    EXPECT_EQ(22, chain[l1]);
    EXPECT_EQ(23, chain[l1 + (3 * 4 + 3) * 3]);
    EXPECT_EQ(33, chain[l2]);
    EXPECT_EQ(34, chain[l2 + (1 * 2 + 1) * 3]);
    EXPECT_EQ(44, chain[l3]);
    // A height that is not 3/2 of a base is refused.
    std::vector<uint8_t> odd(256 * 380 * 3, 1);
    std::vector<uint8_t> oc(data_mip_chain_bytes(256, 253, 3));
    EXPECT_EQ(0, data_mip_custom(odd.data(), 256, 380, 3, oc.data()));
}

} // namespace
