// The data handle: opening names and paths with their variants, reading through the window,
// push-back, writing, backups, renaming and whole-file reading.
#include "data/data_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "base/zv_alloc.h"
#include "data/data_index.h"
#include "data/data_scramble.h"
#include "data/data_stream.h"
#include "platform/platform.h"

// The variants tried for a name, in order: as it is, gzip, scrambled, both.
static const char *const data_variant_suffix[4] = {"", ".gz", ".scram", ".gz.scram"};
static const int data_variant_gzip[4] = {0, 1, 0, 1};
static const int data_variant_scrambled[4] = {0, 0, 1, 1};

enum { DATA_COPY_BLOCK = 65536, DATA_BACKUP_MAX = 9999 };

static int data_mode_writes(const char *mode) {
    return !strchr(mode, 'r') || strchr(mode, '+');
}

void data_make_dirs(const char *path) {
    size_t n = strlen(path);
    if (n >= 1024) return;
    char buf[1024];
    memcpy(buf, path, n + 1);
    for (size_t i = 1; i < n; i++) {
        if (buf[i] != '/') continue;
        buf[i] = 0;
        mkdir(buf, 0777);
        buf[i] = '/';
    }
}

int data_home_path(const char *name, char *out, size_t size) {
    if (name[0] != '@') {
        size_t n = strlen(name);
        if (n >= size) return 0;
        memcpy(out, name, n + 1);
        return 1;
    }
    const char *home = data_home();
    if (!home) return 0;
    int n = snprintf(out, size, "%s%s", home, name + 1);
    return n >= 0 && (size_t)n < size;
}

data_file *data_open_stream(FILE *fp, int32_t base, int32_t limit, int gzip, int scrambled) {
    if (!fp) return nullptr;
    if (base < 0 || limit < 0) {
        fclose(fp);
        return nullptr;
    }
    data_file *f = (data_file *)zv_alloc_zeroed(1, sizeof *f);
    f->file = fp;
    f->base = base;
    f->limit = limit;
    f->pushback = -1;
    f->gzip = gzip;
    f->scrambled = scrambled;
    f->compressed_limit = (uint32_t)limit;
    if (scrambled) f->descrambler = data_descrambler_open(fp);
    if (gzip && !data_gzip_start(f)) {
        data_close(f);
        return nullptr;
    }
    return f;
}

static data_file *data_open_writer(FILE *fp) {
    data_file *f = (data_file *)zv_alloc_zeroed(1, sizeof *f);
    f->file = fp;
    f->limit = DATA_FILE_NO_LIMIT;
    f->pushback = -1;
    f->writing = 1;
    return f;
}

// Copies path to the first free "%s.~%d~" name. 1 when there was nothing to keep or the copy is
// complete; 0 (old file untouched, no partial copy left) otherwise.
static int data_backup(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return 1;
    char backup[DATA_BACKUP_PATH_MAX + 16];
    int found = 0;
    for (int n = 1; n <= DATA_BACKUP_MAX && !found; n++) {
        snprintf(backup, sizeof backup, "%s.~%d~", path, n);
        struct stat bst;
        if (lstat(backup, &bst) != 0 && errno == ENOENT) found = 1;
    }
    if (!found) return 0;
    FILE *in = fopen(path, "rb");
    if (!in) return 0;
    FILE *out = fopen(backup, "wbx");
    if (!out) {
        fclose(in);
        return 0;
    }
    uint8_t *block = (uint8_t *)zv_alloc(DATA_COPY_BLOCK);
    int ok = 1;
    for (;;) {
        size_t got = fread(block, 1, DATA_COPY_BLOCK, in);
        if (got && fwrite(block, 1, got, out) != got) ok = 0;
        if (got < DATA_COPY_BLOCK || !ok) break;
    }
    if (ferror(in)) ok = 0;
    zv_free(block);
    fclose(in);
    if (fclose(out) != 0) ok = 0;
    if (!ok) remove(backup);
    return ok;
}

static data_file *data_open_path(const char *path, const char *mode) {
    int backup = mode[0] == '~';
    if (backup) {
        mode++;
        if (strlen(path) > DATA_BACKUP_PATH_MAX) return nullptr;
    }
    if (data_mode_writes(mode)) {
        if (backup && !data_backup(path)) return nullptr;
        data_make_dirs(path);
        FILE *fp = fopen(path, mode);
        return fp ? data_open_writer(fp) : nullptr;
    }
    if (backup && !data_backup(path)) return nullptr;
    size_t len = strlen(path);
    char candidate[DATA_PATH_MAX + 1];
    for (int v = 0; v < 4; v++) {
        size_t slen = strlen(data_variant_suffix[v]);
        if (len + slen >= DATA_PATH_MAX) continue;
        memcpy(candidate, path, len);
        memcpy(candidate + len, data_variant_suffix[v], slen + 1);
        FILE *fp = fopen(candidate, mode);
        if (!fp) continue;
        struct stat st;
        if (fstat(fileno(fp), &st) != 0 || S_ISDIR(st.st_mode)) {
            fclose(fp);
            continue;
        }
        return data_open_stream(fp, 0, DATA_FILE_NO_LIMIT, data_variant_gzip[v],
                                data_variant_scrambled[v]);
    }
    return nullptr;
}

static data_file *data_open_indexed(const char *name) {
    if (file_index_count() <= 0) return nullptr;
    size_t len = strlen(name);
    char key[DATA_PATH_MAX + 1];
    int best = -1, best_variant = -1;
    for (int v = 0; v < 4; v++) {
        size_t slen = strlen(data_variant_suffix[v]);
        if (len + slen > DATA_PATH_MAX) continue;
        memcpy(key, name, len);
        memcpy(key + len, data_variant_suffix[v], slen + 1);
        int i = file_index_find(key);
        if (i < 0) continue;
        if (best < 0 || file_index_entry_at(i)->priority < file_index_entry_at(best)->priority) {
            best = i;
            best_variant = v;
        }
    }
    if (best < 0) return nullptr;
    const file_index_entry *e = file_index_entry_at(best);
    FILE *fp = fopen(e->path, "rb");
    if (!fp) return nullptr;
    if (fseek(fp, e->offset, SEEK_SET) != 0) {
        fclose(fp);
        return nullptr;
    }
    return data_open_stream(fp, e->offset, e->length, data_variant_gzip[best_variant],
                            data_variant_scrambled[best_variant]);
}

data_file *data_open(const char *name, const char *mode) {
    if (!name || !mode) return nullptr;
    if (name[0] != '@') return data_open_path(name, mode);
    const char *plain_mode = mode[0] == '~' ? mode + 1 : mode;
    char path[DATA_NAME_MAX + 1];
    if (data_mode_writes(plain_mode)) {
        // Written files land in the home directory only, never in the game data directory.
        if (!data_home_path(name, path, sizeof path)) return nullptr;
        return data_open_path(path, mode);
    }
    for (int r = 0; data_root(r); r++) {
        int n = snprintf(path, sizeof path, "%s%s", data_root(r), name + 1);
        if (n < 0 || (size_t)n >= sizeof path) continue; // never open a cut name
        data_file *f = data_open_path(path, mode);
        if (f) return f;
    }
    return data_open_indexed(name + 1);
}

int data_close(data_file *f) {
    if (!f) return 0;
    int ok = 1;
    data_gzip_end(f);
    if (f->descrambler) data_descrambler_close(f->descrambler);
    if (f->file) {
        if (f->writing && ferror(f->file)) ok = 0;
        if (fclose(f->file) != 0 && f->writing) ok = 0;
    }
    zv_free(f);
    return ok;
}

size_t data_raw_read(data_file *f, void *buf, size_t n) {
    if (f->writing) return 0;
    uint32_t window = f->gzip ? f->compressed_limit : (uint32_t)f->limit;
    if (f->raw_position >= window) return 0;
    if (n > window - f->raw_position) n = window - f->raw_position;
    size_t got =
        f->scrambled ? data_descrambler_read(f->descrambler, buf, n) : fread(buf, 1, n, f->file);
    f->raw_position += (uint32_t)got;
    return got;
}

// Bytes after the push-back slot.
static int data_read_body(data_file *f, uint8_t *out, int n) {
    int total = 0;
    if (!f->gzip) {
        total = (int)data_raw_read(f, out, (size_t)n);
    } else {
        while (total < n && data_gzip_fill(f)) {
            uint32_t avail = f->output_len - f->output_pos;
            uint32_t take = (uint32_t)(n - total) < avail ? (uint32_t)(n - total) : avail;
            memcpy(out + total, f->output + f->output_pos, take);
            f->output_pos += take;
            total += (int)take;
        }
    }
    f->position += (uint32_t)total;
    return total;
}

int data_getc(data_file *f) {
    if (f->pushback >= 0) {
        int c = f->pushback;
        f->pushback = -1;
        return c;
    }
    if (f->gzip) {
        if (!data_gzip_fill(f)) return -1;
        f->position++;
        return f->output[f->output_pos++];
    }
    if (!f->scrambled && !f->writing) {
        // The scanner takes one byte at a time; the stream's own buffer is fast enough here.
        if (f->raw_position >= (uint32_t)f->limit) return -1;
        int c = getc_unlocked(f->file);
        if (c == EOF) return -1;
        f->raw_position++;
        f->position++;
        return c;
    }
    uint8_t c;
    return data_read_body(f, &c, 1) == 1 ? c : -1;
}

void data_ungetc(data_file *f, int c) {
    if (c >= 0) f->pushback = c & 255;
}

int data_peek(data_file *f) {
    int c = data_getc(f);
    data_ungetc(f, c);
    return c;
}

char *data_gets(data_file *f, char *buf, int size) {
    if (size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = data_getc(f);
        if (c < 0) break;
        buf[n++] = (char)c;
        if (c == '\n') break;
    }
    buf[n] = 0;
    return n ? buf : nullptr;
}

int data_read(data_file *f, void *buf, int n) {
    if (n <= 0) return 0;
    uint8_t *out = (uint8_t *)buf;
    int total = 0;
    if (f->pushback >= 0) {
        out[total++] = (uint8_t)f->pushback;
        f->pushback = -1;
    }
    return total + data_read_body(f, out + total, n - total);
}

int data_seek(data_file *f, int32_t pos) {
    if (f->gzip || f->scrambled || f->writing || pos < 0 || pos >= f->limit) return 0;
    if (fseek(f->file, (long)f->base + pos, SEEK_SET) != 0) return 0;
    f->pushback = -1;
    f->position = f->raw_position = (uint32_t)pos;
    return 1;
}

int data_putc(data_file *f, int c) {
    return f->writing && fputc(c, f->file) != EOF;
}

int data_puts(data_file *f, const char *s) {
    return f->writing ? fputs(s, f->file) : EOF;
}

int data_write(data_file *f, const void *buf, int n) {
    if (!f->writing || n <= 0) return 0;
    return (int)fwrite(buf, 1, (size_t)n, f->file);
}

int data_printf(data_file *f, const char *fmt, ...) {
    if (!f->writing) return -1;
    va_list ap;
    va_start(ap, fmt);
    int n = vfprintf(f->file, fmt, ap);
    va_end(ap);
    return n;
}

int data_flush(data_file *f) {
    return f->writing ? fflush(f->file) : 0;
}

char *file_to_string(const char *name, int *length) {
    if (length) *length = 0;
    data_file *f = data_open(name, "rb");
    if (!f) return nullptr;
    char *buf = (char *)zv_alloc(DATA_STRING_MAX);
    int n = data_read(f, buf, DATA_STRING_MAX);
    data_close(f);
    if (n >= DATA_STRING_MAX) {
        platform_log("File %s too long for file_to_string\n", name);
        zv_free(buf);
        return nullptr;
    }
    buf = (char *)zv_realloc(buf, (size_t)n + 1);
    buf[n] = 0;
    if (length) *length = n;
    return buf;
}

int data_rename(const char *from, const char *to) {
    char src[DATA_NAME_MAX + 1], dst[DATA_NAME_MAX + 1];
    if (!data_home_path(from, src, sizeof src) || !data_home_path(to, dst, sizeof dst)) return 0;
    // rename replaces the target atomically; removing it first would lose it when rename fails.
    return rename(src, dst) == 0;
}
