// ".seq" animations and texture links on the CPU: header limits, play-list bounds, inline and
// PNG frames with their alpha, size and depth checks; link targets.
#include "data/data_image.h"

#include "base/zv_alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

std::string frame(const char *magic, int w, int h, uint8_t v) {
    int ch = magic[1] == '7' ? 4 : 3;
    data_image img;
    data_image_alloc(&img, w, h, ch, 8);
    memset(img.pixels, v, (size_t)w * h * ch);
    uint8_t *enc;
    size_t len;
    data_image_encode_predictive(&img, &enc, &len);
    std::string s((const char *)enc, len);
    zv_free(enc);
    data_image_free(&img);
    return s;
}

std::map<std::string, std::string> &files() {
    static std::map<std::string, std::string> f;
    return f;
}

int reader(const char *name, uint8_t **bytes, size_t *len) {
    auto it = files().find(name);
    if (it == files().end()) return 0;
    *bytes = (uint8_t *)zv_alloc(it->second.size() + 1);
    memcpy(*bytes, it->second.data(), it->second.size());
    *len = it->second.size();
    return 1;
}

int parse(const std::string &s, data_seq *seq) {
    return data_image_seq_parse((const uint8_t *)s.data(), s.size(), "test.seq", reader, seq);
}

TEST(DataSeq, InlineFramesAndPlayList) {
    std::string s = "ANIM1 3 2 5 1\n1 0 1\n" + frame("J6", 4, 2, 50) + frame("J7", 4, 2, 9);
    data_seq seq;
    ASSERT_EQ(1, parse(s, &seq));
    EXPECT_EQ(3, seq.length);
    EXPECT_EQ(2, seq.frames);
    EXPECT_EQ(5, seq.step);
    EXPECT_EQ(1, seq.loop);
    EXPECT_EQ(1, seq.list[0]);
    EXPECT_EQ(0, seq.list[1]);
    ASSERT_EQ(4, seq.frame[0].bpp);
    // A J6 frame has no alpha bytes: it is fully opaque, not invisible.
    EXPECT_EQ(50, seq.frame[0].chain[0]);
    EXPECT_EQ(255, seq.frame[0].chain[3]);
    EXPECT_EQ(9, seq.frame[1].chain[3]);
    // Levels are built: the 1x1 level of the 4x2 frame holds the same colour.
    size_t last = data_mip_chain_bytes(4, 2, 4) - 4;
    EXPECT_EQ(50, seq.frame[0].chain[last]);
    data_image_seq_free(&seq);
}

TEST(DataSeq, RefusesBadHeadersAndEntries) {
    std::string f = frame("J6", 2, 2, 1);
    const char *bad[] = {
        "ANIM1 1 1 0 1\n0\n",    // step 0 would divide by zero
        "ANIM1 2 1 5 1\n0 1\n",  // entry past the frames
        "ANIM1 2 1 5 1\n0 -1\n", // negative entry
        "ANIM1 0 1 5 1\n",       // empty play list
        "ANIM1 1 0 5 1\n0\n",    // no frames
        "ANIM1 1 5000 5 1\n0\n", // absurd frame count
        "ANIM1 1 1\n",           // short header
        "ANIM2 1 1 5 1\n0\n",    // wrong magic
    };
    for (const char *b : bad) {
        data_seq seq;
        EXPECT_EQ(0, parse(std::string(b) + f, &seq)) << b;
        EXPECT_EQ(nullptr, seq.list) << b;
        EXPECT_EQ(nullptr, seq.frame) << b;
    }
    data_seq seq;
    EXPECT_EQ(0, parse("ANIM1 1 2 5 1\n0\n" + f, &seq)); // second frame missing
    EXPECT_EQ(0, parse("ANIM1 1 1 5 1\n0\nGIF x\n", &seq));
    EXPECT_EQ(0, parse("ANIM1 1 2 5 1\n0\n" + f + frame("J6", 4, 2, 1), &seq)); // size mismatch
    EXPECT_EQ(0, parse("ANIM1 1 1 5 1\n0\nJ6 2 2\nab", &seq)); // truncated inline frame
    EXPECT_EQ(0, parse("ANIM1 1 1 5 1\n0\nPNG   \n", &seq));   // no name
    EXPECT_EQ(0, parse("ANIM1 1 1 5 1\n0\nPNG missing.png\n", &seq));
}

TEST(DataSeq, PngFramesAndFitting) {
    // A 300x300 RGBA picture: made a power of two (256), then halved to 256 x 256 = 65536.
    data_image img;
    ASSERT_EQ(1, data_image_alloc(&img, 300, 300, 4, 8));
    memset(img.pixels, 200, 300 * 300 * 4);
    uint8_t *png;
    size_t len;
    ASSERT_EQ(1, data_image_encode_png(&img, &png, &len));
    files()["@anim/a.png"] = std::string((const char *)png, len);
    zv_free(png);
    data_image_free(&img);
    ASSERT_EQ(1, data_image_alloc(&img, 600, 200, 4, 8));
    ASSERT_EQ(1, data_image_encode_png(&img, &png, &len));
    files()["@anim/wide.png"] = std::string((const char *)png, len);
    zv_free(png);
    data_image_free(&img);

    data_seq seq;
    ASSERT_EQ(1, parse("ANIM1 1 1 5 0\n0\nPNG  @anim/a.png  \n", &seq));
    EXPECT_EQ(256, seq.frame[0].width);
    EXPECT_EQ(256, seq.frame[0].height);
    data_image_seq_free(&seq);
    // 512 x 128 is exactly 65536 pixels: kept.
    ASSERT_EQ(1, parse("ANIM1 1 1 5 0\n0\nPNG @anim/wide.png\n", &seq));
    EXPECT_EQ(512, seq.frame[0].width);
    EXPECT_EQ(128, seq.frame[0].height);
    data_image_seq_free(&seq);
    // Inline frames are 4 bytes a pixel: an RGBA PNG frame of the same size goes with them, an
    // RGB one does not.
    for (int ch = 3; ch <= 4; ch++) {
        ASSERT_EQ(1, data_image_alloc(&img, 4, 4, ch, 8));
        ASSERT_EQ(1, data_image_encode_png(&img, &png, &len));
        files()[ch == 3 ? "rgb.png" : "rgba.png"] = std::string((const char *)png, len);
        zv_free(png);
        data_image_free(&img);
    }
    ASSERT_EQ(1, parse("ANIM1 1 2 5 0\n0\nPNG rgba.png\n" + frame("J6", 4, 4, 1), &seq));
    data_image_seq_free(&seq);
    EXPECT_EQ(0, parse("ANIM1 1 2 5 0\n0\nPNG rgb.png\n" + frame("J6", 4, 4, 1), &seq));
}

TEST(DataLink, Targets) {
    char t[64];
    auto link = [&](const std::string &s) {
        return data_image_link_target((const uint8_t *)s.data(), s.size(), t, sizeof t);
    };
    ASSERT_EQ(1, link("LINK   @tex/stone.png \r\n"));
    EXPECT_STREQ("@tex/stone.png", t);
    EXPECT_EQ(0, link("LINK   \n"));
    EXPECT_EQ(0, link("LINKS a"));
    EXPECT_EQ(0, link("PNG a"));
    // Only the first 1023 characters after the magic count; the copy is bounded by the buffer.
    ASSERT_EQ(1, link("LINK " + std::string(2000, 'x')));
    EXPECT_EQ(63u, strlen(t));
}

} // namespace
