// The pictures zvgen writes into the default data set: each one is there under the name the
// game asks for, decodes, and has the size and depth its users expect.
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "data/data_index.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

class GeneratedPictures : public ::testing::Test {
  protected:
    std::string dir;
    void SetUp() override {
        std::string saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
        if (access(saf.c_str(), R_OK) != 0) FAIL() << "no generated data at " << saf;
        char tmpl[] = "/tmp/zv_genpics_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        dir = tmpl;
        ASSERT_EQ(0, symlink(saf.c_str(), (dir + "/zzzz.saf").c_str()));
        setenv("ZV_HOME", dir.c_str(), 1);
        setenv("XDG_DATA_HOME", (dir + "/user").c_str(), 1);
        file_index_free();
        data_root_reset();
        ASSERT_NE(nullptr, file_index_build());
    }
    void TearDown() override {
        file_index_free();
        if (!dir.empty()) {
            std::string cmd = "rm -rf '" + dir + "'";
            ASSERT_EQ(0, system(cmd.c_str()));
        }
    }
};

TEST_F(GeneratedPictures, EveryPictureDecodesWithItsShape) {
    struct {
        const char *name;
        int w, h, channels;
    } pics[] = {
        {"@title.png", 1024, 512, 3},   {"@tach.png", 256, 256, 4},
        {"@shifter.png", 256, 256, 4},  {"@pitboard.png", 256, 256, 4},
        {"@colors/white.png", 8, 8, 3}, {"@sky-n.ppm", 256, 256, 3},
        {"@sky-e.ppm", 256, 256, 3},    {"@sky-s.ppm", 256, 256, 3},
        {"@sky-w.ppm", 256, 256, 3},    {"@sky-u.ppm", 256, 256, 3},
        {"@sky-env.ppm", 256, 256, 3},  {"@font.png", 512, 0, 4},
        {"@numbers.png", 256, 0, 4},    {"@numbers-condensed.png", 256, 0, 4},
    };
    for (auto p : pics) {
        data_image img;
        ASSERT_EQ(1, data_image_load(p.name, &img)) << p.name;
        EXPECT_EQ(p.w, img.width) << p.name;
        if (p.h) {
            EXPECT_EQ(p.h, img.height) << p.name;
        }
        EXPECT_EQ(p.channels, img.channels) << p.name;
        EXPECT_EQ(8, img.bits) << p.name;
        const uint8_t *px = (const uint8_t *)img.pixels;
        if (!strcmp(p.name, "@colors/white.png")) {
            for (int i = 0; i < 8 * 8 * 3; i++)
                ASSERT_EQ(255, px[i]);
        }
        if (p.channels == 4 && strstr(p.name, "font") == nullptr &&
            strstr(p.name, "numbers") == nullptr) {
            // HUD pictures are see-through around their shapes.
            EXPECT_EQ(0, px[3]) << p.name;
        }
        data_image_free(&img);
    }
    // The font sheets start with the marker colour the cutter reads from the top-left pixel.
    data_image font;
    ASSERT_EQ(1, data_image_load("@font.png", &font));
    const uint8_t *m = (const uint8_t *)font.pixels;
    EXPECT_EQ(255, m[0]);
    EXPECT_EQ(0, m[1]);
    EXPECT_EQ(255, m[2]);
    EXPECT_EQ(255, m[3]);
    data_image_free(&font);
}

} // namespace
