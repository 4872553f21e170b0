// gzip data files: the header is parsed here (RFC 1952), the body is inflated as raw deflate.
#include <cstring>

#include "data/data_stream.h"
#include "platform/platform.h"

enum {
    GZIP_FTEXT = 1,
    GZIP_FHCRC = 2,
    GZIP_FEXTRA = 4,
    GZIP_FNAME = 8,
    GZIP_FCOMMENT = 16,
    GZIP_FIXED_HEADER = 10,
};

size_t data_gzip_header(const uint8_t *buf, size_t len) {
    if (len < GZIP_FIXED_HEADER) return 0;
    if (buf[0] != 31 || buf[1] != 139 || buf[2] != 8 || buf[3] >= 32) return 0;
    int flags = buf[3];
    size_t pos = GZIP_FIXED_HEADER; // time, extra flags and system are not needed
    if (flags & GZIP_FEXTRA) {
        if (len - pos < 2) return 0;
        size_t xlen = (size_t)buf[pos] | (size_t)buf[pos + 1] << 8;
        pos += 2;
        if (len - pos < xlen) return 0;
        pos += xlen;
    }
    for (int field = GZIP_FNAME; field <= GZIP_FCOMMENT; field <<= 1) {
        if (!(flags & field)) continue;
        const void *end = memchr(buf + pos, 0, len - pos);
        if (!end) return 0;
        pos = (size_t)((const uint8_t *)end - buf) + 1;
    }
    if (flags & GZIP_FHCRC) {
        if (len - pos < 2) return 0;
        pos += 2;
    }
    return pos;
}

int data_gzip_start(data_file *f) {
    size_t n = data_raw_read(f, f->input, sizeof f->input);
    size_t header = data_gzip_header(f->input, n);
    if (!header) return 0;
    memset(&f->inflater, 0, sizeof f->inflater);
    if (inflateInit2(&f->inflater, -15) != Z_OK) return 0;
    f->inflater_ready = 1;
    f->inflater.next_in = f->input + header;
    f->inflater.avail_in = (uInt)(n - header);
    f->output_pos = f->output_len = 0;
    f->end_of_stream = 0;
    return 1;
}

int data_gzip_fill(data_file *f) {
    while (f->output_pos >= f->output_len) {
        if (f->end_of_stream || !f->inflater_ready) return 0;
        if (f->inflater.avail_in == 0) {
            size_t n = data_raw_read(f, f->input, sizeof f->input);
            if (n == 0) {
                // Without this the reader would wait forever for bytes that never come.
                platform_log("gzip data ends before the end of its stream\n");
                f->end_of_stream = 1;
                return 0;
            }
            f->inflater.next_in = f->input;
            f->inflater.avail_in = (uInt)n;
        }
        f->inflater.next_out = f->output;
        f->inflater.avail_out = sizeof f->output;
        uInt before_in = f->inflater.avail_in;
        int ret = inflate(&f->inflater, Z_NO_FLUSH);
        f->output_pos = 0;
        f->output_len = (uint32_t)(sizeof f->output - f->inflater.avail_out);
        if (ret == Z_STREAM_END) {
            f->end_of_stream = 1;
        } else if (ret != Z_OK && !(ret == Z_BUF_ERROR && f->inflater.avail_in == 0)) {
            platform_log("gzip data is corrupt (%s)\n",
                         f->inflater.msg ? f->inflater.msg : "inflate failed");
            f->end_of_stream = 1;
            f->output_len = 0;
            return 0;
        } else if (f->output_len == 0 && f->inflater.avail_in == before_in &&
                   f->inflater.avail_in != 0) {
            platform_log("gzip data is corrupt (no progress)\n");
            f->end_of_stream = 1;
            return 0;
        }
    }
    return 1;
}

void data_gzip_end(data_file *f) {
    if (f->inflater_ready) inflateEnd(&f->inflater);
    f->inflater_ready = 0;
}
