// Any picture file as texture levels: the predictive formats, PPM and PNG with the ".info" tags
// that change how its levels are made.
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "platform/platform.h"

#include <cstring>

void data_texture_pixels_free(data_texture_pixels *p) {
    if (!p) return;
    zv_free(p->chain);
    p->chain = nullptr;
}

static int token_is(const uint8_t *bytes, size_t len, const char *magic) {
    size_t n = strlen(magic);
    if (len < n || memcmp(bytes, magic, n) != 0) return 0;
    return len == n || bytes[n] == ' ' || (bytes[n] >= '\t' && bytes[n] <= '\r') || bytes[n] == '#';
}

int data_image_texture_pixels(const uint8_t *bytes, size_t len, const char *name, const char *info,
                              data_texture_pixels *out) {
    memset(out, 0, sizeof *out);
    data_image img;
    int ok, png = 0;
    if (token_is(bytes, len, "J7") || token_is(bytes, len, "J6")) {
        ok = data_image_decode_predictive(bytes, len, &img, nullptr);
    } else if (token_is(bytes, len, "P3") || token_is(bytes, len, "P6")) {
        ok = data_image_decode_pnm(bytes, len, &img, nullptr);
    } else {
        ok = data_image_decode_png(bytes, len, DATA_IMAGE_PNG_TEXTURE, &img);
        png = 1;
    }
    if (!ok) return 0;
    int bpp = img.channels, w = img.width, h = img.height;
    int flags = png && info && strstr(info, "[mip_max_alpha]") && bpp == 4 ? DATA_MIP_MAX_ALPHA : 0;
    if (png && info && strstr(info, "[mip_custom]")) {
        int base_h = 2 * h / 3 > 0 ? 2 * h / 3 : 1;
        out->chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(w, base_h, bpp));
        if (!data_mip_custom((const uint8_t *)img.pixels, w, h, bpp, out->chain))
            platform_log("Warning: Invalid height for custom MIP map in '%.950s'\n",
                         name ? name : "");
        h = base_h;
    } else {
        out->chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(w, h, bpp));
        memcpy(out->chain, img.pixels, (size_t)w * h * bpp);
        data_mip_build(out->chain, w, h, bpp, flags);
    }
    data_image_free(&img);
    out->width = w;
    out->height = h;
    out->bpp = bpp;
    out->png = png;
    return 1;
}
