// The LINK reader over arbitrary bytes: the target is always terminated inside its buffer.
#include <cstdlib>
#include <cstring>

#include "data/data_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char target[64];
    if (data_image_link_target(data, size, target, sizeof target)) {
        size_t n = strnlen(target, sizeof target);
        if (n == 0 || n >= sizeof target) abort();
    }
    char big[1100];
    if (data_image_link_target(data, size, big, sizeof big) && strlen(big) > 1023) abort();
    return 0;
}
