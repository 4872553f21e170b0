// zvgen: writes the default data set and packs it into zzzz.saf, then writes the digest that the
// game data check expects as a header and a source for the programs that ship with this data.
//
//   zvgen --saf OUT.saf [--digest-header FILE.h] [--digest-source FILE.cpp] [--tree DIR]
//         [--icon FILE.png]
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "data/data_check.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "zvgen.h"

// Every generator, in the order they run. Add one line per generator: X(function name); each
// function returns 1 on success and lives in a file of its own.
#define ZVGEN_GENERATORS(X)                                                                        \
    X(zvgen_readme)                                                                                \
    X(zvgen_track)                                                                                 \
    X(zvgen_gates)                                                                                 \
    X(zvgen_lines)                                                                                 \
    X(zvgen_image)                                                                                 \
    X(zvgen_bike)                                                                                  \
    X(zvgen_model)                                                                                 \
    X(zvgen_sound)                                                                                 \
    X(zvgen_objects)                                                                               \
    X(zvgen_series)

#define ZVGEN_DECLARE(fn) int fn(void);
ZVGEN_GENERATORS(ZVGEN_DECLARE)

struct zvgen_generator {
    const char *name;
    int (*run)(void);
};

#define ZVGEN_ENTRY(fn) {#fn, fn},
static const zvgen_generator zvgen_generators[] = {ZVGEN_GENERATORS(ZVGEN_ENTRY)};

enum { ZVGEN_NAME_MAX = 900 };

static struct {
    zvgen_member *files;
    int count, capacity;
} zvgen_set;

static int zvgen_name_ok(const char *name) {
    size_t n = strlen(name);
    if (n == 0 || n > ZVGEN_NAME_MAX || name[0] == '/' || name[n - 1] == '/') return 0;
    for (const char *p = name; *p; p++)
        if (*p == '\n' || *p == '\r' || *p == '\\' || (p[0] == '/' && p[1] == '/')) return 0;
    // No "." or ".." parts: every name must stay inside the data set.
    for (const char *part = name; part;
         part = strchr(part, '/') ? strchr(part, '/') + 1 : nullptr) {
        size_t len = strcspn(part, "/");
        if ((len == 1 && part[0] == '.') || (len == 2 && part[0] == '.' && part[1] == '.'))
            return 0;
    }
    return 1;
}

const uint8_t *zvgen_find_file(const char *name, size_t *len) {
    for (int i = 0; i < zvgen_set.count; i++) {
        if (strcmp(zvgen_set.files[i].name, name) == 0) {
            if (len) *len = zvgen_set.files[i].len;
            return zvgen_set.files[i].bytes;
        }
    }
    return nullptr;
}

int zvgen_write_file(const char *name, const void *bytes, size_t len) {
    if (!zvgen_name_ok(name)) {
        platform_log("zvgen: bad file name \"%.200s\"\n", name);
        return 0;
    }
    if (zvgen_find_file(name, nullptr)) {
        platform_log("zvgen: %s written twice\n", name);
        return 0;
    }
    if (zvgen_set.count == zvgen_set.capacity) {
        zvgen_set.capacity = zvgen_set.capacity ? zvgen_set.capacity * 2 : 16;
        zvgen_set.files = (zvgen_member *)zv_realloc(zvgen_set.files, (size_t)zvgen_set.capacity *
                                                                          sizeof(zvgen_member));
    }
    size_t n = strlen(name);
    char *copy = (char *)zv_alloc(n + 1);
    memcpy(copy, name, n + 1);
    uint8_t *data = (uint8_t *)zv_alloc(len ? len : 1);
    if (len) memcpy(data, bytes, len);
    zvgen_set.files[zvgen_set.count++] = {copy, data, len};
    return 1;
}

int zvgen_write_file_gz(const char *name, const void *bytes, size_t len) {
    char gz[ZVGEN_NAME_MAX + 8];
    if (strlen(name) > ZVGEN_NAME_MAX) return 0;
    snprintf(gz, sizeof gz, "%s.gz", name);
    uint8_t *packed;
    size_t packed_len;
    if (!zvgen_gzip(bytes, len, &packed, &packed_len)) {
        platform_log("zvgen: can't compress %s\n", name);
        return 0;
    }
    int ok = zvgen_write_file(gz, packed, packed_len);
    zv_free(packed);
    return ok;
}

void zvgen_text_printf(zvgen_text *t, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n > 0) {
        if (t->len + (size_t)n + 1 > t->capacity) {
            size_t cap = t->capacity ? t->capacity : 256;
            while (cap < t->len + (size_t)n + 1)
                cap *= 2;
            t->data = (char *)zv_realloc(t->data, cap);
            t->capacity = cap;
        }
        vsnprintf(t->data + t->len, (size_t)n + 1, fmt, ap);
        t->len += (size_t)n;
    }
    va_end(ap);
}

void zvgen_text_free(zvgen_text *t) {
    zv_free(t->data);
    *t = {};
}

int zvgen_text_write(zvgen_text *t, const char *name) {
    int ok = zvgen_write_file(name, t->data ? t->data : "", t->len);
    zvgen_text_free(t);
    return ok;
}

int zvgen_printf_file(const char *name, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n < 0) {
        va_end(ap);
        return 0;
    }
    char *buf = (char *)zv_alloc((size_t)n + 1);
    vsnprintf(buf, (size_t)n + 1, fmt, ap);
    va_end(ap);
    int ok = zvgen_write_file(name, buf, (size_t)n);
    zv_free(buf);
    return ok;
}

// Writes a whole output file through a temporary name, so a failed run leaves no half file.
static int zvgen_save(const char *path, const void *bytes, size_t len) {
    char tmp[1100];
    if (snprintf(tmp, sizeof tmp, "%s.tmp", path) >= (int)sizeof tmp) return 0;
    data_make_dirs(path);
    FILE *fp = fopen(tmp, "wb");
    if (!fp) {
        platform_log("zvgen: can't write %s\n", tmp);
        return 0;
    }
    int ok = fwrite(bytes, 1, len, fp) == len;
    if (fclose(fp) != 0) ok = 0;
    if (ok && rename(tmp, path) != 0) ok = 0;
    if (!ok) {
        remove(tmp);
        platform_log("zvgen: can't write %s\n", path);
    }
    return ok;
}

static int zvgen_compare_members(const void *a, const void *b) {
    return strcmp(((const zvgen_member *)a)->name, ((const zvgen_member *)b)->name);
}

static int zvgen_write_digest(const uint8_t *saf, size_t saf_len, const char *header,
                              const char *source) {
    uint8_t digest[ZV_SHA1_SIZE];
    size_t hashed = saf_len < (size_t)DATA_CHECK_BYTES ? saf_len : (size_t)DATA_CHECK_BYTES;
    zv_sha1(saf, hashed, digest);
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1_hex(digest, hex);
    zvgen_text t = {};
    if (header) {
        zvgen_text_printf(&t, "// Written by zvgen: SHA-1 of the first %d bytes of zzzz.saf.\n",
                          (int)DATA_CHECK_BYTES);
        zvgen_text_printf(&t, "#pragma once\n\n#define ZV_DATA_DIGEST_HEX \"%s\"\n", hex);
        zvgen_text_printf(&t, "#define ZV_DATA_DIGEST_BYTES {");
        for (int i = 0; i < ZV_SHA1_SIZE; i++)
            zvgen_text_printf(&t, "%s0x%02x", i ? ", " : "", digest[i]);
        zvgen_text_printf(&t, "}\n");
        int ok = zvgen_save(header, t.data, t.len);
        zvgen_text_free(&t);
        if (!ok) return 0;
    }
    if (source) {
        zvgen_text_printf(&t, "// Written by zvgen: the digest the game data check expects.\n");
        zvgen_text_printf(&t, "#include <cstdint>\n\n");
        zvgen_text_printf(&t, "extern \"C\" const uint8_t *zv_data_release_digest(void) {\n");
        zvgen_text_printf(&t, "    static const uint8_t digest[20] = {");
        for (int i = 0; i < ZV_SHA1_SIZE; i++)
            zvgen_text_printf(&t, "%s0x%02x", i ? ", " : "", digest[i]);
        zvgen_text_printf(&t, "};\n    return digest;\n}\n");
        int ok = zvgen_save(source, t.data, t.len);
        zvgen_text_free(&t);
        if (!ok) return 0;
    }
    return 1;
}

static int zvgen_write_tree(const char *dir) {
    for (int i = 0; i < zvgen_set.count; i++) {
        char path[2048];
        if (snprintf(path, sizeof path, "%s/%s", dir, zvgen_set.files[i].name) >= (int)sizeof path)
            return 0;
        if (!zvgen_save(path, zvgen_set.files[i].bytes, zvgen_set.files[i].len)) return 0;
    }
    return 1;
}

// One member of the set as a file of its own (the desktop icon the install puts beside the menus).
static int zvgen_write_member(const char *name, const char *path) {
    for (int i = 0; i < zvgen_set.count; i++)
        if (!strcmp(zvgen_set.files[i].name, name))
            return zvgen_save(path, zvgen_set.files[i].bytes, zvgen_set.files[i].len);
    return 0;
}

static void zvgen_usage(void) {
    fprintf(stderr, "usage: zvgen --saf OUT.saf [--digest-header FILE.h] "
                    "[--digest-source FILE.cpp] [--tree DIR] [--icon FILE.png]\n");
}

int main(int argc, char **argv) {
    setlocale(LC_ALL, "C");
    const char *saf = nullptr, *header = nullptr, *source = nullptr, *tree = nullptr;
    const char *icon = nullptr;
    for (int i = 1; i < argc; i++) {
        const char **slot = !strcmp(argv[i], "--saf")             ? &saf
                            : !strcmp(argv[i], "--digest-header") ? &header
                            : !strcmp(argv[i], "--digest-source") ? &source
                            : !strcmp(argv[i], "--tree")          ? &tree
                            : !strcmp(argv[i], "--icon")          ? &icon
                                                                  : nullptr;
        if (!slot || i + 1 >= argc) {
            zvgen_usage();
            return 1;
        }
        *slot = argv[++i];
    }
    if (!saf) {
        zvgen_usage();
        return 1;
    }
    for (const zvgen_generator &g : zvgen_generators) {
        if (!g.run()) {
            fprintf(stderr, "zvgen: %s failed\n", g.name);
            return 1;
        }
    }
    if (zvgen_set.count > 1)
        qsort(zvgen_set.files, (size_t)zvgen_set.count, sizeof(zvgen_member),
              zvgen_compare_members);
    uint8_t *archive;
    size_t archive_len;
    if (!zvgen_pack(zvgen_set.files, zvgen_set.count, &archive, &archive_len) ||
        !zvgen_save(saf, archive, archive_len) ||
        !zvgen_write_digest(archive, archive_len, header, source) ||
        (tree && !zvgen_write_tree(tree)) || (icon && !zvgen_write_member("icon.png", icon))) {
        fprintf(stderr, "zvgen: can't write the data set\n");
        return 1;
    }
    zv_free(archive);
    for (int i = 0; i < zvgen_set.count; i++) {
        zv_free((void *)zvgen_set.files[i].name);
        zv_free((void *)zvgen_set.files[i].bytes);
    }
    zv_free(zvgen_set.files);
    return 0;
}
