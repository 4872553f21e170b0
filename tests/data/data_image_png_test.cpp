// PNG conversions that only other writers produce: palette pictures with a transparency chunk,
// low-depth grey, grey with alpha and interlaced files, written here with libpng directly.
#include "data/data_image.h"

#include "base/zv_alloc.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <cstdio>
#include <vector>

namespace {

struct png_out {
    std::vector<uint8_t> bytes;
};

void sink(png_structp png, png_bytep data, png_size_t n) {
    png_out *o = (png_out *)png_get_io_ptr(png);
    o->bytes.insert(o->bytes.end(), data, data + n);
}
void no_flush(png_structp) {}

// Writes rows of packed samples as given (bit depth and colour type chosen by the caller).
std::vector<uint8_t> make_png(int w, int h, int depth, int type, const std::vector<uint8_t> &rows,
                              int interlace = PNG_INTERLACE_NONE,
                              const png_color *palette = nullptr, int palette_count = 0,
                              const uint8_t *trns = nullptr, int trns_count = 0) {
    png_out out;
    // Everything with a destructor exists before the jump target is set.
    size_t stride = rows.size() / h;
    std::vector<png_bytep> ptr(h);
    for (int y = 0; y < h; y++)
        ptr[y] = (png_bytep)rows.data() + y * stride;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, sink, no_flush);
    png_set_IHDR(png, info, w, h, depth, type, interlace, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (palette) png_set_PLTE(png, info, palette, palette_count);
    if (trns) png_set_tRNS(png, info, trns, trns_count, nullptr);
    png_write_info(png, info);
    png_write_image(png, ptr.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.bytes;
}

TEST(DataImagePngConversions, PaletteWithTransparencyBecomesRgba) {
    png_color pal[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    uint8_t trns[2] = {0, 128}; // entry 2 has no alpha value: opaque
    std::vector<uint8_t> rows = {0, 1, 2, 1};
    auto png = make_png(2, 2, 8, PNG_COLOR_TYPE_PALETTE, rows, PNG_INTERLACE_NONE, pal, 3, trns, 2);
    ASSERT_FALSE(png.empty());
    for (int flags : {0, (int)DATA_IMAGE_PNG_TEXTURE}) {
        data_image img;
        ASSERT_EQ(1, data_image_decode_png(png.data(), png.size(), flags, &img));
        ASSERT_EQ(4, img.channels);
        const uint8_t *p = (const uint8_t *)img.pixels;
        const uint8_t want[16] = {255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 0, 255, 0, 128};
        EXPECT_EQ(0, memcmp(p, want, 16));
        data_image_free(&img);
    }
    // Without the chunk: plain RGB.
    auto opaque = make_png(2, 2, 8, PNG_COLOR_TYPE_PALETTE, rows, PNG_INTERLACE_NONE, pal, 3);
    data_image img;
    ASSERT_EQ(1, data_image_decode_png(opaque.data(), opaque.size(), DATA_IMAGE_PNG_TEXTURE, &img));
    EXPECT_EQ(3, img.channels);
    data_image_free(&img);
}

TEST(DataImagePngConversions, LowDepthGreyExpandsAndBecomesRgbForTextures) {
    // 2-bit grey, 4 pixels a byte: 0, 1, 2, 3 -> 0, 85, 170, 255.
    std::vector<uint8_t> rows = {0x1b, 0xe4}; // 00 01 10 11 / 11 10 01 00
    auto png = make_png(4, 2, 2, PNG_COLOR_TYPE_GRAY, rows);
    data_image img;
    ASSERT_EQ(1, data_image_decode_png(png.data(), png.size(), 0, &img));
    EXPECT_EQ(1, img.channels);
    EXPECT_EQ(8, img.bits);
    const uint8_t *p = (const uint8_t *)img.pixels;
    const uint8_t want[8] = {0, 85, 170, 255, 255, 170, 85, 0};
    EXPECT_EQ(0, memcmp(p, want, 8));
    data_image_free(&img);
    ASSERT_EQ(1, data_image_decode_png(png.data(), png.size(), DATA_IMAGE_PNG_TEXTURE, &img));
    EXPECT_EQ(3, img.channels);
    p = (const uint8_t *)img.pixels;
    EXPECT_EQ(85, p[3]);
    EXPECT_EQ(85, p[4]);
    EXPECT_EQ(85, p[5]);
    data_image_free(&img);
    // Grey with alpha keeps two channels, or becomes RGBA for textures.
    std::vector<uint8_t> ga = {10, 20, 30, 40};
    auto gpng = make_png(2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, ga);
    ASSERT_EQ(1, data_image_decode_png(gpng.data(), gpng.size(), 0, &img));
    EXPECT_EQ(2, img.channels);
    data_image_free(&img);
    ASSERT_EQ(1, data_image_decode_png(gpng.data(), gpng.size(), DATA_IMAGE_PNG_TEXTURE, &img));
    ASSERT_EQ(4, img.channels);
    p = (const uint8_t *)img.pixels;
    const uint8_t want_ga[8] = {10, 10, 10, 20, 30, 30, 30, 40};
    EXPECT_EQ(0, memcmp(p, want_ga, 8));
    data_image_free(&img);
}

TEST(DataImagePngConversions, InterlacedRgbReadsLikeAnyOther) {
    const int w = 13, h = 7;
    std::vector<uint8_t> rows(w * h * 3);
    for (size_t i = 0; i < rows.size(); i++)
        rows[i] = (uint8_t)(i * 37 + 5);
    auto png = make_png(w, h, 8, PNG_COLOR_TYPE_RGB, rows, PNG_INTERLACE_ADAM7);
    data_image img;
    ASSERT_EQ(1, data_image_decode_png(png.data(), png.size(), DATA_IMAGE_PNG_TEXTURE, &img));
    EXPECT_EQ(w, img.width);
    EXPECT_EQ(0, memcmp(img.pixels, rows.data(), rows.size()));
    data_image_free(&img);
    // A file whose header claims more than its data could ever inflate to is refused early.
    std::vector<uint8_t> tiny(1, 0);
    auto small = make_png(1, 1, 8, PNG_COLOR_TYPE_GRAY, tiny);
    ASSERT_GT(small.size(), 33u);
    // Patch the IHDR size to 4000 x 4000 (within the decoded-size budget) and fix its CRC.
    uint8_t *ihdr = small.data() + 8;
    for (int k : {8, 12}) {
        ihdr[k] = 0, ihdr[k + 1] = 0, ihdr[k + 2] = 0x0f, ihdr[k + 3] = 0xa0;
    }
    uint32_t crc = (uint32_t)crc32(0, ihdr + 4, 17);
    ihdr[21] = (uint8_t)(crc >> 24), ihdr[22] = (uint8_t)(crc >> 16),
    ihdr[23] = (uint8_t)(crc >> 8), ihdr[24] = (uint8_t)crc;
    EXPECT_EQ(0, data_image_decode_png(small.data(), small.size(), 0, &img));
    EXPECT_STREQ("PNG data too short for its size", data_image_error());
}

// Valid all-zero 16384 x 16384 pictures of 1 MB (RGBA) and 261 KB (grey) would decode to 1 GiB
// and 256 MiB, and to far more on the texture path: refused by their header, before anything is
// allocated, on both paths.
TEST(DataImagePngConversions, DecompressionBombsAreRefusedByTheirHeader) {
    for (const char *name : {"zero_bomb_rgba_16384.png", "zero_bomb_grey_16384.png"}) {
        std::string path = std::string(ZV_SOURCE_DIR) + "/fuzz/corpus/image_png/" + name;
        FILE *f = fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr) << path;
        std::vector<uint8_t> bytes(2 << 20);
        bytes.resize(fread(bytes.data(), 1, bytes.size(), f));
        fclose(f);
        for (int flags : {0, (int)DATA_IMAGE_PNG_TEXTURE}) {
            data_image img;
            EXPECT_EQ(0, data_image_decode_png(bytes.data(), bytes.size(), flags, &img)) << name;
            EXPECT_EQ(nullptr, img.pixels);
            EXPECT_NE(std::string(data_image_error()).find("Picture too large: 16384 x 16384"),
                      std::string::npos)
                << data_image_error();
        }
    }
}

} // namespace
