// The file index: loose files under the data roots and members of the ".saf" archives found
// there, sorted for binary search, and the file list of distinct names.
#include "data/data_index.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "base/zv_alloc.h"
#include "platform/platform.h"

enum { DATA_WALK_DEPTH_MAX = 64 };

static struct {
    int built;
    file_index_entry *entries;
    int count, capacity;
    const char **list;
    void (*pump)(void);
} data_index;

int data_name_compare(const char *a, const char *b) {
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    for (;; x++, y++) {
        int cx = tolower(*x), cy = tolower(*y);
        if (cx != cy || !cx) return cx - cy;
    }
}

static int data_index_order(const void *pa, const void *pb) {
    const file_index_entry *a = (const file_index_entry *)pa, *b = (const file_index_entry *)pb;
    int c = data_name_compare(a->name, b->name);
    if (c) return c;
    if (a->priority != b->priority) return a->priority < b->priority ? -1 : 1;
    // Ties (the same name twice in one archive or one root) in a fixed order all the same.
    if ((c = strcmp(a->name, b->name))) return c;
    if ((c = strcmp(a->path, b->path))) return c;
    return a->offset < b->offset ? -1 : a->offset > b->offset;
}

static file_index_entry *data_index_add(void) {
    if (data_index.count == data_index.capacity) {
        data_index.capacity = data_index.capacity ? data_index.capacity * 2 : 16;
        data_index.entries = (file_index_entry *)zv_realloc(
            data_index.entries, (size_t)data_index.capacity * sizeof *data_index.entries);
    }
    file_index_entry *e = &data_index.entries[data_index.count++];
    memset(e, 0, sizeof *e);
    return e;
}

static void data_index_pump(void) {
    if (data_index.pump) data_index.pump();
}

void file_index_set_pump(void (*pump)(void)) {
    data_index.pump = pump;
}

static void data_index_walk(const char *dir, size_t name_start, int priority, int depth) {
    if (depth > DATA_WALK_DEPTH_MAX) return;
    DIR *d = opendir(dir);
    if (!d) return;
    data_index_pump();
    size_t dir_len = strlen(dir);
    while (dir_len > 1 && dir[dir_len - 1] == '/')
        dir_len--;
    struct dirent *ent;
    while ((ent = readdir(d))) {
        if (!strcmp(ent->d_name, ".") || !strcmp(ent->d_name, "..")) continue;
        size_t len = dir_len + 1 + strlen(ent->d_name);
        char *path = (char *)zv_alloc(len + 1);
        memcpy(path, dir, dir_len);
        path[dir_len] = '/';
        strcpy(path + dir_len + 1, ent->d_name);
        struct stat st;
        int keep = 0;
        if (lstat(path, &st) == 0) {
            if (S_ISDIR(st.st_mode)) {
                data_index_walk(path, name_start, priority, depth + 1);
            } else if (S_ISLNK(st.st_mode)) {
                // A link to a file counts; a link to a directory is not followed (link loops).
                keep = stat(path, &st) == 0 && S_ISREG(st.st_mode);
            } else {
                keep = S_ISREG(st.st_mode);
            }
        }
        if (keep && st.st_size <= INT32_MAX && len > name_start) {
            file_index_entry *e = data_index_add();
            e->storage = path;
            e->path = path;
            e->name = path + name_start;
            e->offset = 0;
            e->length = (int32_t)st.st_size;
            e->priority = priority;
        } else {
            zv_free(path);
        }
    }
    closedir(d);
}

struct data_archive_ctx {
    const char *path;
    int priority;
};

static void data_index_add_member(void *vctx, const char *name, int32_t offset, int32_t length) {
    data_archive_ctx *ctx = (data_archive_ctx *)vctx;
    size_t n = strlen(name);
    file_index_entry *e = data_index_add();
    e->storage = (char *)zv_alloc(n + 1);
    memcpy(e->storage, name, n + 1);
    e->name = e->storage;
    e->path = ctx->path;
    e->offset = offset;
    e->length = length;
    e->priority = ctx->priority;
}

static int data_index_is_archive(const char *name) {
    size_t n = strlen(name);
    return n > 4 && data_name_compare(name + n - 4, ".saf") == 0;
}

static void data_index_read_archive(const char *path, int priority) {
    FILE *fp = fopen(path, "rb");
    if (!fp) return;
    struct stat st;
    if (fstat(fileno(fp), &st) == 0) {
        data_archive_ctx ctx = {path, priority};
        data_archive_read(fp, (int64_t)st.st_size, data_index_add_member, &ctx);
    }
    fclose(fp);
    data_index_pump();
}

static void data_index_sort(void) {
    if (data_index.count > 1)
        qsort(data_index.entries, (size_t)data_index.count, sizeof *data_index.entries,
              data_index_order);
}

const char *const *file_index_build(void) {
    if (data_index.built) return data_index.list;
    platform_log("Listing directories\n");
    int roots = data_root_count();
    for (int r = 0; r < roots; r++) {
        const char *root = data_root(r);
        data_index_walk(root, strlen(root), r, 0);
    }
    data_index_sort();

    platform_log("Listing archives\n");
    int loose = data_index.count, archive_number = roots;
    for (int i = 0; i < loose; i++) {
        // Entries may move as members are added; the path string itself does not.
        const char *name = data_index.entries[i].name;
        if (!data_index_is_archive(name)) continue;
        data_index_read_archive(data_index.entries[i].path, archive_number++);
    }
    data_index_sort();

    platform_log("Creating file list\n");
    data_index.list = (const char **)zv_alloc(((size_t)data_index.count + 1) * sizeof(char *));
    int n = 0;
    for (int i = 0; i < data_index.count; i++) {
        if (n && data_name_compare(data_index.list[n - 1], data_index.entries[i].name) == 0)
            continue;
        data_index.list[n++] = data_index.entries[i].name;
    }
    data_index.list[n] = nullptr;
    data_index.built = 1;
    platform_log("File index complete\n");
    return data_index.list;
}

void file_index_free(void) {
    for (int i = 0; i < data_index.count; i++)
        zv_free(data_index.entries[i].storage);
    zv_free(data_index.entries);
    zv_free(data_index.list);
    void (*pump)(void) = data_index.pump;
    memset(&data_index, 0, sizeof data_index);
    data_index.pump = pump;
    data_root_reset();
}

int file_index_find(const char *name) {
    if (!data_index.built) return -1;
    int lo = 0, hi = data_index.count;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (data_name_compare(data_index.entries[mid].name, name) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo < data_index.count && data_name_compare(data_index.entries[lo].name, name) == 0)
        return lo;
    return -1;
}

int file_index_exists(const char *name) {
    return file_index_find(name) >= 0;
}

int file_index_count(void) {
    return data_index.built ? data_index.count : 0;
}

const file_index_entry *file_index_entry_at(int i) {
    if (!data_index.built || i < 0 || i >= data_index.count) return nullptr;
    return &data_index.entries[i];
}

int file_index_describe(int i, char *buf, int size) {
    const file_index_entry *e = file_index_entry_at(i);
    if (!e || size <= 0) return 0;
    snprintf(buf, (size_t)size, "%s -> %s", e->name, e->path);
    return 1;
}
