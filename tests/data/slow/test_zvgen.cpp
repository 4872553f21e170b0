// The default data generator is deterministic: two runs give the same bytes. (Slow: each run
// generates the whole data set.)
#include <algorithm>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "data/data_index.h"
#include "zv_data_digest.h"
#include <ftw.h>
#include <gtest/gtest.h>

namespace {

const std::string built_saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
const std::string zvgen_path = std::string(ZV_BINARY_DIR) + "/tools/zvgen/zvgen";

std::string read_all(const std::string &path) {
    std::string out;
    FILE *fp = fopen(path.c_str(), "rb");
    if (!fp) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0)
        out.append(buf, n);
    fclose(fp);
    return out;
}

std::string make_temp_dir(void) {
    char tmpl[] = "/tmp/zvgen.XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d ? d : "/nonexistent";
}

void remove_tree(const std::string &dir) {
    nftw(
        dir.c_str(),
        [](const char *path, const struct stat *, int, struct FTW *) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

int run(const std::vector<std::string> &argv, const std::vector<std::string> &env) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        for (auto &e : env)
            putenv(strdup(e.c_str()));
        std::vector<char *> args;
        for (auto &a : argv)
            args.push_back(strdup(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(Zvgen, TwoRunsGiveIdenticalBytes) {
    std::string dirs[2] = {make_temp_dir(), make_temp_dir()};
    for (auto &d : dirs) {
        ASSERT_EQ(run({zvgen_path, "--saf", d + "/zzzz.saf", "--digest-header", d + "/digest.h",
                       "--digest-source", d + "/digest.cpp", "--tree", d + "/tree"},
                      {"LC_ALL=de_DE.UTF-8", "TZ=Asia/Kolkata"}),
                  0);
    }
    std::string a = read_all(dirs[0] + "/zzzz.saf");
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == read_all(dirs[1] + "/zzzz.saf"));
    EXPECT_TRUE(a == read_all(built_saf)); // the build made the same data
    EXPECT_EQ(read_all(dirs[0] + "/digest.h"), read_all(dirs[1] + "/digest.h"));
    EXPECT_EQ(read_all(dirs[0] + "/digest.cpp"), read_all(dirs[1] + "/digest.cpp"));
    EXPECT_NE(read_all(dirs[0] + "/digest.h").find(ZV_DATA_DIGEST_HEX), std::string::npos);
    EXPECT_EQ(read_all(dirs[0] + "/tree/readme.txt"), read_all(dirs[1] + "/tree/readme.txt"));

    // The archive's header lists its members in name order and they tile the file exactly.
    FILE *fp = fopen((dirs[0] + "/zzzz.saf").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    struct members {
        std::vector<std::string> names;
        int64_t end = 0;
    } m;
    int n = data_archive_read(
        fp, (int64_t)a.size(),
        [](void *ctx, const char *name, int32_t offset, int32_t length) {
            members *mm = (members *)ctx;
            mm->names.push_back(name);
            mm->end = (int64_t)offset + length;
        },
        &m);
    fclose(fp);
    ASSERT_GT(n, 1);
    EXPECT_TRUE(std::is_sorted(m.names.begin(), m.names.end()));
    EXPECT_EQ(m.end, (int64_t)a.size());
    for (auto &d : dirs)
        remove_tree(d);
}

} // namespace
