// PPM ("P3" text, "P6" binary) and PGM ("P2", "P5") pictures, scaled to 8-bit samples.
#include "data/data_image.h"

int data_image_decode_pnm(const uint8_t *bytes, size_t len, data_image *out, size_t *used) {
    out->pixels = nullptr;
    int grey = len >= 2 && (bytes[1] == '2' || bytes[1] == '5');
    const char *dims_error = grey ? "Can't get PGM dimensions" : "Can't get PPM dimensions";
    if (len < 3 || bytes[0] != 'P' ||
        (bytes[1] != '2' && bytes[1] != '3' && bytes[1] != '5' && bytes[1] != '6')) {
        data_image_set_error("Can't parse PPM header");
        return 0;
    }
    // The magic is a whole token: "P6x" is not a PPM.
    if (!(bytes[2] == ' ' || (bytes[2] >= '\t' && bytes[2] <= '\r') || bytes[2] == '#')) {
        data_image_set_error("Can't parse PPM header");
        return 0;
    }
    int binary = bytes[1] == '5' || bytes[1] == '6';
    int channels = grey ? 1 : 3;
    size_t pos = 2;
    int64_t w, h, maxval;
    data_image_set_error(dims_error);
    if (!data_image_header_int(bytes, len, &pos, &w) ||
        !data_image_header_int(bytes, len, &pos, &h) || !data_image_size(w, h, channels, 1))
        return 0; // a picture over the budget says so instead
    if (!data_image_header_int(bytes, len, &pos, &maxval) || maxval < 1 || maxval > 65535) {
        // A maximum of 0 would divide by zero when scaling.
        data_image_set_error(grey ? "Bad PGM maximum value" : "Bad PPM maximum value");
        return 0;
    }
    uint64_t samples = (uint64_t)w * (uint64_t)h * (uint64_t)channels;
    int wide = maxval > 255;
    if (binary) {
        // Exactly one white-space byte separates the header from the samples.
        if (pos >= len) {
            data_image_set_error("Truncated PPM data");
            return 0;
        }
        pos++;
        if (samples * (wide ? 2u : 1u) > (uint64_t)(len - pos)) {
            data_image_set_error("Truncated PPM data");
            return 0;
        }
    } else if (samples > (uint64_t)(len - pos) / 2 + 1) {
        // Every text sample takes a digit and a separator: refuse before allocating.
        data_image_set_error("Truncated PPM data");
        return 0;
    }
    if (!data_image_alloc(out, (int)w, (int)h, channels, 8)) return 0;
    uint8_t *dst = (uint8_t *)out->pixels;
    for (uint64_t i = 0; i < samples; i++) {
        int64_t v;
        if (binary) {
            if (wide) {
                v = (bytes[pos] << 8) | bytes[pos + 1];
                pos += 2;
            } else {
                v = bytes[pos++];
            }
        } else if (!data_image_header_int(bytes, len, &pos, &v) || v < 0) {
            data_image_free(out);
            data_image_set_error("Truncated PPM data");
            return 0;
        }
        if (v > maxval) v = maxval;
        dst[i] = (uint8_t)(maxval == 255 ? v : v * 255 / maxval);
    }
    if (used) *used = pos;
    return 1;
}
