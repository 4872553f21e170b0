// The gzip reader over arbitrary bytes, plain and scrambled: it must end without hanging and
// never hand out more than the stream inflates to.
#include <cstdio>
#include <cstdlib>

#include "data/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    int scrambled = data[0] & 1;
    data_gzip_header(data + 1, size - 1);
    FILE *fp = fmemopen((void *)(data + 1), size - 1, "rb");
    if (!fp) return 0;
    data_file *f = data_open_stream(fp, 0, (int32_t)(data[0] >> 1) * 64 + 16, 1, scrambled);
    if (!f) return 0;
    char buf[300];
    long total = 0;
    int n;
    while ((n = data_read(f, buf, sizeof buf)) > 0) {
        total += n;
        // Deflate expands at most about 1032:1; more means the reader is producing garbage.
        if (total > (long)size * 1100 + 1024) abort();
    }
    if (data_getc(f) != -1) abort();
    data_close(f);
    return 0;
}
