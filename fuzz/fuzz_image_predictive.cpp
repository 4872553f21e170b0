// The J6 / J7 reader over arbitrary bytes; what decodes must encode back to the same pixels.
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    data_image img;
    size_t used = 0;
    if (!data_image_decode_predictive(data, size, &img, &used)) return 0;
    if (used > size) abort();
    uint8_t *enc;
    size_t len;
    if (!data_image_encode_predictive(&img, &enc, &len)) abort();
    data_image back;
    if (!data_image_decode_predictive(enc, len, &back, nullptr)) abort();
    if (memcmp(back.pixels, img.pixels, (size_t)img.width * img.height * img.channels)) abort();
    data_image_free(&back);
    zv_free(enc);
    data_image_free(&img);
    return 0;
}
