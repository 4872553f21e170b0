// The data roots: root 0 is the per-user home directory, root 1 the game data directory.
#include "data/data_index.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "base/zv_alloc.h"

enum { DATA_ROOT_MAX = 2, DATA_MODULE_PATH_SIZE = 260 };

static struct {
    int computed;
    int count;
    int has_home;
    char *roots[DATA_ROOT_MAX];
} data_roots;

// Copies text + suffix, turning '\\' into '/' and collapsing runs of '/'.
static char *data_root_normalise(const char *text, size_t text_len, const char *suffix) {
    size_t n = text_len + strlen(suffix);
    char *out = (char *)zv_alloc(n + 1);
    size_t o = 0;
    for (size_t i = 0; i < n; i++) {
        char c = i < text_len ? text[i] : suffix[i - text_len];
        if (c == '\\') c = '/';
        if (c == '/' && o > 0 && out[o - 1] == '/') continue;
        out[o++] = c;
    }
    out[o] = 0;
    return out;
}

static void data_root_add(char *root) {
    if (root && data_roots.count < DATA_ROOT_MAX)
        data_roots.roots[data_roots.count++] = root;
    else
        zv_free(root);
}

static char *data_root_home(void) {
    const char *xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0]) return data_root_normalise(xdg, strlen(xdg), "/Zelvo/");
    const char *home = getenv("HOME");
    if (!home || !home[0]) return nullptr;
    return data_root_normalise(home, strlen(home), "/.local/share/Zelvo/");
}

static char *data_root_game(void) {
    const char *env = getenv("ZV_HOME");
    // An empty value counts as unset: "" + "/" would make the whole file system game data.
    if (env && env[0]) return data_root_normalise(env, strlen(env), "/");
    char path[DATA_MODULE_PATH_SIZE];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    // A path that fills the buffer may have been cut: count it as failure.
    if (n <= 0 || n >= (ssize_t)sizeof path - 1) return nullptr;
    path[n] = 0;
    char *slash = strrchr(path, '/');
    if (!slash) return nullptr;
    // A build tree keeps the data beside the program; an installed game keeps it in the
    // prefix's share folder (bin/zelvo and share/zelvo/zzzz.saf).
    size_t dir = (size_t)(slash - path);
    static const char installed[] = "/../share/zelvo";
    if (dir + sizeof installed + 10 < sizeof path) {
        struct stat st;
        memcpy(path + dir, "/zzzz.saf", 10);
        if (stat(path, &st) != 0) {
            memcpy(path + dir, installed, sizeof installed);
            char probe[DATA_MODULE_PATH_SIZE + 16];
            int n = snprintf(probe, sizeof probe, "%s/zzzz.saf", path);
            if (n > 0 && n < (int)sizeof probe && stat(probe, &st) == 0)
                return data_root_normalise(path, strlen(path), "/");
        }
    }
    return data_root_normalise(path, dir, "/");
}

static void data_root_compute(void) {
    if (data_roots.computed) return;
    data_roots.computed = 1;
    char *home = data_root_home();
    data_roots.has_home = home != nullptr;
    data_root_add(home);
    data_root_add(data_root_game());
}

const char *data_root(int i) {
    data_root_compute();
    if (i < 0 || i >= data_roots.count) return nullptr;
    return data_roots.roots[i];
}

int data_root_count(void) {
    data_root_compute();
    return data_roots.count;
}

const char *data_home(void) {
    data_root_compute();
    return data_roots.has_home ? data_roots.roots[0] : nullptr;
}

void data_root_reset(void) {
    for (int i = 0; i < data_roots.count; i++)
        zv_free(data_roots.roots[i]);
    memset(&data_roots, 0, sizeof data_roots);
}
