// The predictive formats: "J6" (RGB) and "J7" (RGBA). Every byte is the difference between the
// channel value and a prediction from the left, upper and upper-left neighbours, so smooth
// pictures leave long runs of small numbers that pack well in the archives.
#include "data/data_image.h"

#include "base/zv_alloc.h"

#include <cstdio>
#include <cstring>

static inline int predict(const uint8_t *img, int x, int y, int w, int bpp, int c) {
    if (x == 0 && y == 0) return 0;
    if (y == 0) return img[(x - 1) * bpp + c];
    if (x == 0) return img[((y - 1) * w) * bpp + c];
    int left = img[(y * w + x - 1) * bpp + c];
    int above = img[((y - 1) * w + x) * bpp + c];
    int corner = img[((y - 1) * w + x - 1) * bpp + c];
    int p = left + above - corner;
    return p < 0 ? 0 : p > 255 ? 255 : p;
}

int data_image_decode_predictive(const uint8_t *bytes, size_t len, data_image *out, size_t *used) {
    out->pixels = nullptr;
    if (len < 3 || bytes[0] != 'J' || (bytes[1] != '6' && bytes[1] != '7') ||
        !(bytes[2] == ' ' || (bytes[2] >= '\t' && bytes[2] <= '\r') || bytes[2] == '#')) {
        data_image_set_error("Can't parse predictive image header");
        return 0;
    }
    int bpp = bytes[1] == '7' ? 4 : 3;
    size_t pos = 2;
    int64_t w, h;
    data_image_set_error("Can't get predictive image dimensions");
    if (!data_image_header_int(bytes, len, &pos, &w) ||
        !data_image_header_int(bytes, len, &pos, &h) || !data_image_size(w, h, bpp, 1))
        return 0; // a picture over the budget says so instead
    if (pos >= len || (uint64_t)w * (uint64_t)h * (uint64_t)bpp > (uint64_t)(len - pos - 1)) {
        data_image_set_error("Truncated predictive image data");
        return 0;
    }
    pos++; // the one white-space byte after the header
    if (!data_image_alloc(out, (int)w, (int)h, bpp, 8)) return 0;
    uint8_t *img = (uint8_t *)out->pixels;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < bpp; c++)
                img[((size_t)y * w + x) * bpp + c] =
                    (uint8_t)(predict(img, x, y, (int)w, bpp, c) + bytes[pos++]);
    if (used) *used = pos;
    return 1;
}

int data_image_encode_predictive(const data_image *img, uint8_t **out, size_t *len) {
    *out = nullptr;
    *len = 0;
    if (img->bits != 8 || (img->channels != 3 && img->channels != 4) || !img->pixels ||
        !data_image_size(img->width, img->height, img->channels, 1))
        return 0;
    int bpp = img->channels, w = img->width, h = img->height;
    char head[64];
    int n = snprintf(head, sizeof head, "J%d\n%d %d\n", bpp == 4 ? 7 : 6, w, h);
    size_t total = (size_t)n + (size_t)w * h * bpp;
    uint8_t *buf = (uint8_t *)zv_alloc(total);
    memcpy(buf, head, (size_t)n);
    const uint8_t *src = (const uint8_t *)img->pixels;
    size_t pos = (size_t)n;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            for (int c = 0; c < bpp; c++)
                buf[pos++] =
                    (uint8_t)(src[((size_t)y * w + x) * bpp + c] - predict(src, x, y, w, bpp, c));
    *out = buf;
    *len = total;
    return 1;
}
