// The PPM / PGM reader over arbitrary bytes: bad sizes and maxima are refused, text and binary
// samples never read past the end.
#include <cstdlib>

#include "data/data_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    data_image img;
    size_t used = 0;
    if (data_image_decode_pnm(data, size, &img, &used)) {
        if (used > size || img.bits != 8) abort();
        data_image_free(&img);
    }
    return 0;
}
