// A scratch game data directory and home directory for track tests, with helpers that write
// small tracks and capture what the track module logs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "data/data_image.h"
#include "data/data_index.h"
#include "track/track_hooks.h"
#include "track/track_list.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

namespace track_test {

inline std::vector<std::string> &log_lines() {
    static std::vector<std::string> lines;
    return lines;
}
inline void log_tap(const char *line) {
    log_lines().push_back(line);
}

class TrackFixture : public ::testing::Test {
  protected:
    std::string root, home;

    void SetUp() override {
        char r[] = "/tmp/zv_track_root_XXXXXX";
        char h[] = "/tmp/zv_track_home_XXXXXX";
        ASSERT_NE(mkdtemp(r), nullptr);
        ASSERT_NE(mkdtemp(h), nullptr);
        root = r;
        home = h;
        setenv("ZV_HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        file_index_free();
        data_root_reset();
        log_lines().clear();
        track_log_tap = log_tap;
    }
    void TearDown() override {
        if (track_loaded.dir) track_unload();
        track_loaded.force_reload = 0;
        memset(track_loaded.fingerprint, 0, sizeof track_loaded.fingerprint);
        track_list_free();
        track_select(nullptr);
        terrain_free();
        track_log_tap = nullptr;
        file_index_free();
        data_root_reset();
        std::string cmd = "rm -rf '" + root + "' '" + home + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "cleanup failed";
    }

    void write(const std::string &name, const std::string &bytes) {
        std::string path = root + "/" + name;
        data_make_dirs(path.c_str());
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    void write_gz(const std::string &name, const std::string &bytes) {
        std::string path = root + "/" + name;
        data_make_dirs(path.c_str());
        gzFile g = gzopen(path.c_str(), "wb9");
        ASSERT_NE(g, nullptr);
        gzwrite(g, bytes.data(), (unsigned)bytes.size());
        gzclose(g);
    }
    void write_png(const std::string &name, int w, int h, int channels, int bits,
                   const std::vector<uint16_t> &values) {
        data_image img = {};
        ASSERT_EQ(data_image_alloc(&img, w, h, channels, bits), 1);
        for (size_t i = 0; i < values.size(); i++) {
            if (bits == 16)
                ((uint16_t *)img.pixels)[i] = values[i];
            else
                ((uint8_t *)img.pixels)[i] = (uint8_t)values[i];
        }
        uint8_t *png;
        size_t len;
        ASSERT_EQ(data_image_encode_png(&img, &png, &len), 1);
        write(name, std::string((const char *)png, len));
        free_png(png, &img);
    }
    static void free_png(uint8_t *png, data_image *img);

    // terrain.hf with inline heights: n = 1 (5 x 5), all samples `sample` unless given.
    static std::string inline_hf(int n, float s, float bottom, float top,
                                 const std::vector<uint16_t> &samples) {
        char head[128];
        snprintf(head, sizeof head, "%d %g %g %g\n:", n, s, bottom, top);
        std::string out = head;
        for (uint16_t v : samples) {
            out += (char)(v & 0xff);
            out += (char)(v >> 8);
        }
        return out;
    }

    // A complete small track: 5 x 5 heights, two ground types, a 2 x 2 tile map.
    void write_track(const std::string &dir, const char *desc = nullptr, bool gz = false) {
        std::vector<uint16_t> samples(25);
        for (int i = 0; i < 25; i++)
            samples[i] = (uint16_t)(i * 1000);
        std::string hf = inline_hf(1, 2.0f, 0.0f, 65.535f, samples);
        if (gz)
            write_gz(dir + "/terrain.hf.gz", hf);
        else
            write(dir + "/terrain.hf", hf);
        write(dir + "/tileinfo",
              "name Dirt\ntexture @dirt.png\naddtile\nname Sand\ntexture @sand.png\naddtile\n");
        write(dir + "/tilemap", std::string("\x00\x01\x01\x05", 4));
        if (desc) write(dir + "/desc", desc);
    }

    int load(const std::string &dir) {
        track_select(dir.c_str());
        return track_load(nullptr, 0, 0, 0, 3, 0);
    }

    int count_containing(const std::string &text) {
        int n = 0;
        for (auto &l : log_lines())
            n += l.find(text) != std::string::npos;
        return n;
    }
};

inline void TrackFixture::free_png(uint8_t *png, data_image *img) {
    zv_free(png);
    data_image_free(img);
}

} // namespace track_test
