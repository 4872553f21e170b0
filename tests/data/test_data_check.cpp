// The game data check over the built data, and the generator's command line.
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "data/data_check.h"
#include "data_test_util.h"
#include "zv_data_digest.h"

namespace {

const uint8_t built_digest[20] = ZV_DATA_DIGEST_BYTES;
const std::string built_saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
const std::string zvgen_path = std::string(ZV_BINARY_DIR) + "/tools/zvgen/zvgen";

// Runs argv with extra environment settings; stdout and stderr go to out_path. Returns the exit
// status, or -1 when the program did not exit normally.
int run(const std::vector<std::string> &argv, const std::vector<std::string> &env,
        const std::string &out_path = "/dev/null") {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        for (auto &e : env)
            putenv(strdup(e.c_str()));
        int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
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

// Start-up as the game does it, in a fresh process so that the data check's first log message
// directs the log: the test binary runs itself with ZV_DATA_CHECK_CHILD set.
struct data_check_child {
    data_check_child() {
        if (!getenv("ZV_DATA_CHECK_CHILD")) return;
        if (!game_data_check_digest(built_digest)) _exit(1);
        file_index_build();
        _exit(file_index_exists("readme.txt") ? 0 : 2);
    }
} data_check_child_instance;

std::string self_path(void) {
    char buf[1024];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = 0;
    return buf;
}

class DataCheck : public DataRoots {};

TEST_F(DataCheck, HashCoversOnlyTheFirstMegabyte) {
    std::string bytes(DATA_CHECK_BYTES + 300000, 'x');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = (char)(i * 13 + (i >> 9));
    data_test_write(tmp + "/f", bytes);
    uint8_t a[20], b[20], c[20], want[20];
    ASSERT_EQ(data_check_hash_file((tmp + "/f").c_str(), a), 1);
    zv_sha1(bytes.data(), DATA_CHECK_BYTES, want);
    EXPECT_EQ(memcmp(a, want, 20), 0);
    bytes[DATA_CHECK_BYTES + 5] ^= 1;
    data_test_write(tmp + "/f", bytes);
    ASSERT_EQ(data_check_hash_file((tmp + "/f").c_str(), b), 1);
    EXPECT_EQ(memcmp(a, b, 20), 0);
    bytes[DATA_CHECK_BYTES - 1] ^= 1;
    data_test_write(tmp + "/f", bytes);
    ASSERT_EQ(data_check_hash_file((tmp + "/f").c_str(), c), 1);
    EXPECT_NE(memcmp(a, c, 20), 0);
    // A short file is hashed whole.
    data_test_write(tmp + "/short", "abc");
    ASSERT_EQ(data_check_hash_file((tmp + "/short").c_str(), a), 1);
    zv_sha1("abc", 3, want);
    EXPECT_EQ(memcmp(a, want, 20), 0);
    EXPECT_EQ(data_check_hash_file((tmp + "/none").c_str(), a), 0);
}

TEST_F(DataCheck, LooksInEveryRoot) {
    data_test_write(tmp + "/archive", "3 a\n-\nabc");
    uint8_t digest[20];
    ASSERT_EQ(data_check_hash_file((tmp + "/archive").c_str(), digest), 1);
    EXPECT_EQ(game_data_check_digest(digest), 0);
    EXPECT_TRUE(data_test_exists(home)); // the home directory is made for the log
    EXPECT_EQ(game_data_check_digest(nullptr), 0);

    data_test_write(game + "zzzz.saf", "3 a\n-\nabc");
    EXPECT_EQ(game_data_check_digest(digest), 1);
    data_test_write(game + "zzzz.saf", "3 a\n-\nabd");
    EXPECT_EQ(game_data_check_digest(digest), 0);
    data_test_write(home + "zzzz.saf", "3 a\n-\nabc");
    EXPECT_EQ(game_data_check_digest(digest), 1);
}

TEST_F(DataCheck, BuiltArchiveMatchesTheBuiltDigest) {
    std::string saf = data_test_read(built_saf);
    ASSERT_FALSE(saf.empty()) << built_saf;
    data_test_write(game + "zzzz.saf", saf);
    EXPECT_EQ(game_data_check_digest(built_digest), 1);
    file_index_build();
    char *readme = file_to_string("@readme.txt");
    ASSERT_NE(readme, nullptr);
    EXPECT_NE(strstr(readme, "zzzz.saf"), nullptr);
    zv_free(readme);
    EXPECT_TRUE(file_index_exists("licence.txt"));
    // Every member of the built archive opens and yields its recorded length or more (gzip).
    for (int i = 0; i < file_index_count(); i++) {
        const file_index_entry *e = file_index_entry_at(i);
        if (e->priority < 2) continue;
        data_file *f = data_open_stream(fopen(e->path, "rb"), e->offset, e->length, 0, 0);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(data_seek(f, 0) || e->length == 0, true);
        EXPECT_EQ(data_test_drain(f).size(), (size_t)e->length) << e->name;
        data_close(f);
    }
}

TEST_F(DataCheck, StartUpLogsTheIndexPhases) {
    std::string self = self_path();
    ASSERT_FALSE(self.empty());
    std::vector<std::string> env = {"ZV_DATA_CHECK_CHILD=1", "XDG_DATA_HOME=" + tmp + "/home",
                                    "ZV_HOME=" + game};
    unsetenv("QUVA_LOGFILE");
    // Without the archive the check fails, after directing the log into the home directory.
    EXPECT_EQ(run({self}, env), 1);
    std::string log = data_test_read(home + "lastlog.txt");
    EXPECT_NE(log.find("opened"), std::string::npos) << log;
    EXPECT_EQ(log.find("Listing directories"), std::string::npos);

    data_test_write(game + "zzzz.saf", data_test_read(built_saf));
    EXPECT_EQ(run({self}, env), 0);
    log = data_test_read(home + "lastlog.txt");
    size_t at = 0;
    for (const char *phase : {"Listing directories\n", "Listing archives\n", "Creating file list\n",
                              "File index complete\n"}) {
        size_t next = log.find(phase, at);
        EXPECT_NE(next, std::string::npos) << phase << " in\n" << log;
        if (next != std::string::npos) at = next;
    }
}

TEST_F(DataCheck, OpenHomeHandsTheFolderToTheBrowser) {
    // A stand-in browser that records its argument and exits with the status in the file "rc".
    std::string bin = tmp + "/bin/";
    data_test_write(bin + "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + tmp +
                                          "/opened\"\nexit $(cat \"" + tmp + "/rc\")\n");
    chmod((bin + "xdg-open").c_str(), 0755);
    data_test_write(tmp + "/rc", "0");
    std::string old_path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (bin + ":" + old_path).c_str(), 1);
    EXPECT_EQ(open_home(), 1);
    EXPECT_EQ(data_test_read(tmp + "/opened"), tmp + "/home/Zelvo");
    EXPECT_TRUE(data_test_exists(home));
    data_test_write(tmp + "/rc", "3");
    EXPECT_EQ(open_home(), 0); // the browser failed
    setenv("PATH", old_path.c_str(), 1);
}

TEST_F(DataCheck, GameWithoutDataExitsWithTheMessage) {
    std::string game_binary = std::string(ZV_BINARY_DIR) + "/zelvo";
    if (access(game_binary.c_str(), X_OK) != 0) GTEST_SKIP() << "the game is not built here";
    std::string out = tmp + "/out.txt";
    EXPECT_EQ(run({game_binary},
                  {"XDG_DATA_HOME=" + tmp + "/home", "ZV_HOME=" + game, "SDL_VIDEODRIVER=offscreen",
                   "SDL_AUDIODRIVER=dummy"},
                  out),
              1);
    EXPECT_NE(data_test_read(out).find("Can't find game data"), std::string::npos);
}

TEST(Zvgen, RefusesBadArguments) {
    EXPECT_EQ(run({zvgen_path}, {}), 1);
    EXPECT_EQ(run({zvgen_path, "--saf"}, {}), 1);
    EXPECT_EQ(run({zvgen_path, "--bogus", "x"}, {}), 1);
}

} // namespace
