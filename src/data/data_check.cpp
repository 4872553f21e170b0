// The game data check at start-up and the home directory in the file browser.
#include "data/data_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include "base/zv_sha1.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "platform/platform.h"

enum { DATA_CHECK_BLOCK = 256, DATA_CHECK_PATH = 1024 };

// The data generator writes the digest of the zzzz.saf it built into a source that only the
// programs which ship with that data link; without it the check can only fail.
extern "C" const uint8_t *zv_data_release_digest(void) __attribute__((weak));

const uint8_t *data_check_release_digest(void) {
    return zv_data_release_digest ? zv_data_release_digest() : nullptr;
}

int data_check_hash_file(const char *path, uint8_t out[20]) {
    FILE *fp = fopen(path, "rb");
    if (!fp) return 0;
    zv_sha1_ctx ctx;
    zv_sha1_init(&ctx);
    uint8_t block[DATA_CHECK_BLOCK];
    size_t total = 0;
    while (total < DATA_CHECK_BYTES) {
        size_t got = fread(block, 1, sizeof block, fp);
        if (!got) break;
        zv_sha1_update(&ctx, block, got);
        total += got;
    }
    int ok = !ferror(fp);
    fclose(fp);
    zv_sha1_final(&ctx, out);
    return ok;
}

int game_data_check_digest(const uint8_t *expected) {
    const char *home = data_home();
    if (home && strlen(home) < DATA_CHECK_PATH) {
        data_make_dirs(home);
        platform_log("QUVA_LOGFILE=%slastlog.txt\n", home);
    }
    if (!expected) return 0;
    for (int r = 0; data_root(r); r++) {
        char path[DATA_CHECK_PATH + 16];
        int n = snprintf(path, sizeof path, "%szzzz.saf", data_root(r));
        if (n < 0 || (size_t)n >= sizeof path) continue;
        uint8_t digest[ZV_SHA1_SIZE];
        if (data_check_hash_file(path, digest) && memcmp(digest, expected, ZV_SHA1_SIZE) == 0)
            return 1;
    }
    return 0;
}

int game_data_check(void) {
    return game_data_check_digest(data_check_release_digest());
}

int open_home(void) {
    const char *home = data_home();
    if (!home) return 0;
    data_make_dirs(home);
    char dir[DATA_CHECK_PATH];
    int n = snprintf(dir, sizeof dir, "%s", home);
    if (n < 0 || (size_t)n >= sizeof dir) return 0;
    while (n > 1 && dir[n - 1] == '/')
        dir[--n] = 0;
    // The folder goes to xdg-open as one argument, never through a shell.
    pid_t pid = fork();
    if (pid < 0) return 0;
    if (pid == 0) {
        execlp("xdg-open", "xdg-open", dir, (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
