// Two runs of the data generator write the default track's files byte for byte the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(DefaultTrackGenerator, IsDeterministic) {
    char dir[] = "/tmp/zv_trackgen_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string base = dir;
    std::string zvgen = std::string(ZV_BINARY_DIR) + "/tools/zvgen/zvgen";
    for (const char *run : {"a", "b"}) {
        std::string cmd = zvgen + " --saf " + base + "/" + run + ".saf --tree " + base + "/" + run +
                          " > /dev/null 2>&1";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    }
    for (const char *file :
         {"terrain.hf", "terrain.png", "shadows.pgm.gz", "tilemap.gz", "tileinfo", "desc",
          "nofrills.js", "centerline", "hardpack.png", "loam.png", "sand.png", "grass.png"}) {
        std::string a = slurp(base + "/a/tracks/pinehollow/" + file);
        std::string b = slurp(base + "/b/tracks/pinehollow/" + file);
        EXPECT_FALSE(a.empty()) << file;
        EXPECT_EQ(a, b) << file;
    }
    std::string cmd = "rm -rf '" + base + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
