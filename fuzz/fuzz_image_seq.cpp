// The ".seq" animation reader over arbitrary bytes. PNG frames named "a.png" read a small
// picture made here; any other name is missing.
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_image.h"

static uint8_t *png_bytes;
static size_t png_len;

static int reader(const char *name, uint8_t **bytes, size_t *len) {
    if (strcmp(name, "a.png") != 0) return 0;
    if (!png_bytes) {
        data_image img;
        data_image_alloc(&img, 3, 5, 4, 8);
        data_image_encode_png(&img, &png_bytes, &png_len);
        data_image_free(&img);
    }
    *bytes = (uint8_t *)zv_alloc(png_len);
    memcpy(*bytes, png_bytes, png_len);
    *len = png_len;
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    data_seq seq;
    if (!data_image_seq_parse(data, size, "fuzz.seq", reader, &seq)) return 0;
    for (int i = 0; i < seq.length; i++)
        if (seq.list[i] < 0 || seq.list[i] >= seq.frames) abort();
    if (seq.step < 1) abort();
    for (int i = 0; i < seq.frames; i++)
        if ((int64_t)seq.frame[i].width * seq.frame[i].height > DATA_SEQ_MAX_FRAME_PIXELS) abort();
    data_image_seq_free(&seq);
    return 0;
}
