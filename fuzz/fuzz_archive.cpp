// The ".saf" header reader over arbitrary bytes: every member it reports lies inside the file.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/data_index.h"

static void fuzz_archive_member(void *ctx, const char *name, int32_t offset, int32_t length) {
    int64_t size = *(const int64_t *)ctx;
    if (offset < 0 || length < 0 || (int64_t)offset + length > size || !name[0]) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    FILE *fp = fmemopen((void *)data, size, "rb");
    if (!fp) return 0;
    int64_t file_size = (int64_t)size;
    data_archive_read(fp, file_size, fuzz_archive_member, &file_size);
    fclose(fp);
    return 0;
}
