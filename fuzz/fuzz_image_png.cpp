// The PNG reader over arbitrary bytes, in both modes (depth kept, and the texture conversion to
// 8-bit RGB / RGBA with its mip levels): no crash, no leak, and a picture that comes back has
// the size its pixels were allocated for.
#include <cstdlib>

#include "data/data_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    data_image img;
    if (data_image_decode_png(data, size, 0, &img)) {
        if (!data_image_size(img.width, img.height, img.channels, img.bits / 8)) abort();
        data_image_free(&img);
    }
    data_texture_pixels px;
    if (data_image_texture_pixels(data, size, "fuzz.png", "[mip_max_alpha][mip_custom]", &px)) {
        if (px.bpp != 3 && px.bpp != 4) abort();
        data_texture_pixels_free(&px);
    }
    return 0;
}
