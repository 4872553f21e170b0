// The ".saf" archive header: text lines "<length> <name>\n" ended by a line "-\n"; the members'
// bytes follow the header back to back, in header order.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_index.h"

enum { DATA_ARCHIVE_LINE = 1024 };

struct data_archive_line {
    char *name;
    int64_t length;
};

// Reads one line, line feed included, into buf. Returns its length, or -1 when the line is
// unterminated (end of file or 1024 bytes and more) or holds a zero byte.
static int data_archive_getline(FILE *fp, char *buf) {
    int n = 0;
    for (;;) {
        int c = getc(fp);
        if (c == EOF || c == 0) return -1;
        buf[n++] = (char)c;
        if (c == '\n') break;
        if (n >= DATA_ARCHIVE_LINE - 1) return -1;
    }
    buf[n] = 0;
    return n;
}

static void data_archive_free_lines(data_archive_line *lines, int count) {
    for (int i = 0; i < count; i++)
        zv_free(lines[i].name);
    zv_free(lines);
}

int data_archive_read(FILE *fp, int64_t file_size, data_archive_member_fn member, void *ctx) {
    char line[DATA_ARCHIVE_LINE];
    data_archive_line *lines = nullptr;
    int count = 0, capacity = 0;
    int64_t header = 0;
    for (;;) {
        int n = data_archive_getline(fp, line);
        if (n < 0) {
            data_archive_free_lines(lines, count);
            return -1;
        }
        header += n;
        if (strcmp(line, "-\n") == 0) break;
        errno = 0;
        char *end;
        long length = strtol(line, &end, 10);
        // A missing, negative or overflowing length, or a line with no name, spoils the archive.
        if (end == line || errno == ERANGE || length < 0 || length > INT32_MAX || *end == '\n' ||
            end[1] == '\n') {
            data_archive_free_lines(lines, count);
            return -1;
        }
        const char *src = end + 1;    // one separator character
        size_t len = strlen(src) - 1; // without the line feed
        char *name = (char *)zv_alloc(len + 1);
        size_t o = 0;
        for (size_t i = 0; i < len; i++) {
            if (src[i] == '/' && o > 0 && name[o - 1] == '/') continue;
            name[o++] = src[i];
        }
        name[o] = 0;
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 16;
            lines = (data_archive_line *)zv_realloc(lines, (size_t)capacity * sizeof *lines);
        }
        lines[count].name = name;
        lines[count].length = length;
        count++;
    }
    // Every member must lie inside the file and inside the 32-bit offsets of the index.
    int64_t offset = header;
    for (int i = 0; i < count; i++) {
        offset += lines[i].length;
        if (offset > file_size || offset > INT32_MAX) {
            data_archive_free_lines(lines, count);
            return -1;
        }
    }
    offset = header;
    for (int i = 0; i < count; i++) {
        if (member) member(ctx, lines[i].name, (int32_t)offset, (int32_t)lines[i].length);
        offset += lines[i].length;
    }
    data_archive_free_lines(lines, count);
    return count;
}
