// Picture loading: dispatch by the first token, size checks, the shared error text.
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

static char data_image_last_error[256] = "";

void data_image_set_error(const char *text) {
    snprintf(data_image_last_error, sizeof data_image_last_error, "%s", text);
}

const char *data_image_error(void) {
    return data_image_last_error;
}

uint64_t data_image_size(int64_t width, int64_t height, int channels, int bytes_per_sample) {
    if (width <= 0 || height <= 0 || width > DATA_IMAGE_MAX_SIDE || height > DATA_IMAGE_MAX_SIDE)
        return 0;
    if (channels < 1 || channels > 4 || (bytes_per_sample != 1 && bytes_per_sample != 2)) return 0;
    uint64_t pixels = (uint64_t)width * (uint64_t)height;
    uint64_t bytes = pixels * (uint64_t)channels * (uint64_t)bytes_per_sample;
    if (pixels > DATA_IMAGE_MAX_PIXELS || bytes > DATA_IMAGE_MAX_BYTES) {
        char text[160];
        snprintf(text, sizeof text,
                 "Picture too large: %lld x %lld (at most %d pixels and %d MiB decoded)",
                 (long long)width, (long long)height, DATA_IMAGE_MAX_PIXELS,
                 DATA_IMAGE_MAX_BYTES >> 20);
        data_image_set_error(text);
        return 0;
    }
    return bytes;
}

int data_image_alloc(data_image *out, int width, int height, int channels, int bits) {
    out->pixels = nullptr;
    out->width = out->height = out->channels = 0;
    out->bits = 8;
    if (bits != 8 && bits != 16) {
        data_image_set_error("Bad image size");
        return 0;
    }
    data_image_set_error("Bad image size");
    uint64_t n = data_image_size(width, height, channels, bits == 16 ? 2 : 1);
    if (!n || n > SIZE_MAX) return 0; // the error names the reason
    out->pixels = zv_alloc_zeroed(1, (size_t)n);
    out->width = width;
    out->height = height;
    out->channels = channels;
    out->bits = bits;
    return 1;
}

void data_image_free(data_image *img) {
    if (!img) return;
    zv_free(img->pixels);
    img->pixels = nullptr;
    img->width = img->height = img->channels = 0;
}

int data_image_decode(const uint8_t *bytes, size_t len, data_image *out) {
    out->pixels = nullptr;
    if (len >= 2 && bytes[0] == 'P' && bytes[1] >= '2' && bytes[1] <= '6' && bytes[1] != '4')
        return data_image_decode_pnm(bytes, len, out, nullptr);
    if (len >= 2 && bytes[0] == 'J' && (bytes[1] == '6' || bytes[1] == '7'))
        return data_image_decode_predictive(bytes, len, out, nullptr);
    return data_image_decode_png(bytes, len, 0, out);
}

enum { DATA_IMAGE_MAX_FILE = 256 << 20 };

int data_image_read_file(const char *name, uint8_t **bytes, size_t *len) {
    *bytes = nullptr;
    *len = 0;
    data_file *f = data_open(name, "rb");
    if (!f) return 0;
    size_t cap = 65536, n = 0;
    uint8_t *buf = (uint8_t *)zv_alloc(cap);
    for (;;) {
        if (n == cap) {
            if (cap >= DATA_IMAGE_MAX_FILE) {
                platform_log("%.900s: file too large for a picture\n", name);
                zv_free(buf);
                data_close(f);
                return 0;
            }
            cap *= 2;
            buf = (uint8_t *)zv_realloc(buf, cap);
        }
        int got = data_read(f, buf + n, (int)(cap - n));
        if (got <= 0) break;
        n += (size_t)got;
    }
    data_close(f);
    *bytes = buf;
    *len = n;
    return 1;
}

int data_image_load(const char *name, data_image *out) {
    out->pixels = nullptr;
    uint8_t *bytes;
    size_t len;
    if (!data_image_read_file(name, &bytes, &len)) {
        platform_log("Can't open image \"%.900s\"\n", name);
        return 0;
    }
    int ok = data_image_decode(bytes, len, out);
    zv_free(bytes);
    if (!ok) platform_log("%.900s: %s\n", name, data_image_error());
    return ok;
}

int data_image_header_int(const uint8_t *bytes, size_t len, size_t *pos, int64_t *value) {
    size_t p = *pos;
    for (;;) {
        while (p < len && (bytes[p] == ' ' || (bytes[p] >= '\t' && bytes[p] <= '\r')))
            p++;
        if (p < len && bytes[p] == '#') {
            while (p < len && bytes[p] != '\n')
                p++;
            continue;
        }
        break;
    }
    int neg = 0;
    if (p < len && (bytes[p] == '-' || bytes[p] == '+')) neg = bytes[p++] == '-';
    if (p >= len || bytes[p] < '0' || bytes[p] > '9') return 0;
    int64_t v = 0;
    while (p < len && bytes[p] >= '0' && bytes[p] <= '9') {
        v = v * 10 + (bytes[p++] - '0');
        if (v > 0x7fffffff) return 0;
    }
    *value = neg ? -v : v;
    *pos = p;
    return 1;
}
