// PNG through libpng 1.6, reading from and writing to memory. libpng reports errors by longjmp,
// so everything that must be freed afterwards lives in a plain context record (no C++ object with
// a destructor is alive across the jump).
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"

#include <png.h>

#include <cstring>

struct png_source {
    const uint8_t *bytes;
    size_t len, pos;
};

struct png_decode_state {
    png_structp png;
    png_infop info;
    uint8_t *pixels;
    png_bytep *rows;
};

static void png_log_error(png_structp png, png_const_charp msg) {
    platform_log("libpng error: %s\n", msg);
    data_image_set_error("Bad PNG data");
    png_longjmp(png, 1);
}

static void png_log_warning(png_structp, png_const_charp msg) {
    platform_log("libpng warning: %s\n", msg);
}

static void png_read_memory(png_structp png, png_bytep dst, png_size_t n) {
    png_source *src = (png_source *)png_get_io_ptr(png);
    if (n > src->len - src->pos) png_error(png, "unexpected end of PNG data");
    memcpy(dst, src->bytes + src->pos, n);
    src->pos += n;
}

static png_voidp png_zv_malloc(png_structp, png_alloc_size_t size) {
    return zv_alloc(size);
}
static void png_zv_free(png_structp, png_voidp p) {
    zv_free(p);
}

// The jump target sits in its own function so that no local of the caller is modified between
// setjmp and longjmp (locals in registers would be clobbered).
static int png_decode_run(png_decode_state *st, png_source *src, int flags, data_image *out) {
    png_structp png = st->png;
    png_infop info = st->info;
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_read_fn(png, src, png_read_memory);
    png_set_user_limits(png, DATA_IMAGE_MAX_SIDE, DATA_IMAGE_MAX_SIDE);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    int depth = png_get_bit_depth(png, info);
    int type = png_get_color_type(png, info);
    int in_channels = png_get_channels(png, info);
    // The budget first: the widest layout the transforms below can make is 4 channels of the
    // file's depth.
    if (!data_image_size(w, h, 1, depth == 16 ? 2 : 1)) return 0;
    // Deflate expands at most about 1032:1, so a picture whose raw rows could not come out of
    // this many bytes is refused before its rows are allocated.
    uint64_t raw = ((uint64_t)w * depth * in_channels + 7) / 8 + 1;
    if (raw * h > (uint64_t)src->len * 1100 + 65536) {
        data_image_set_error("PNG data too short for its size");
        return 0;
    }
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (flags & DATA_IMAGE_PNG_TEXTURE) {
        if (depth == 16) png_set_strip_16(png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
    } else if (depth == 16) {
        uint16_t probe = 1;
        if (*(uint8_t *)&probe) png_set_swap(png); // samples native-endian
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    int channels = png_get_channels(png, info);
    int bits = png_get_bit_depth(png, info);
    size_t rowbytes = png_get_rowbytes(png, info);
    if ((bits != 8 && bits != 16) || channels < 1 || channels > 4 ||
        rowbytes != (size_t)w * channels * (bits / 8)) {
        data_image_set_error("Unsupported PNG layout");
        return 0;
    }
    if (!data_image_size(w, h, channels, bits / 8)) return 0; // over the budget: said why
    st->pixels = (uint8_t *)zv_alloc(rowbytes * h);
    st->rows = (png_bytep *)zv_alloc(sizeof(png_bytep) * h);
    for (png_uint_32 y = 0; y < h; y++)
        st->rows[y] = st->pixels + rowbytes * y;
    png_read_image(png, st->rows);
    png_read_end(png, nullptr);
    out->width = (int)w;
    out->height = (int)h;
    out->channels = channels;
    out->bits = bits;
    return 1;
}

int data_image_decode_png(const uint8_t *bytes, size_t len, int flags, data_image *out) {
    out->pixels = nullptr;
    out->width = out->height = out->channels = 0;
    out->bits = 8;
    if (len < 8 || png_sig_cmp(bytes, 0, 8)) {
        data_image_set_error("Not a PNG file");
        return 0;
    }
    png_decode_state st = {};
    png_source src = {bytes, len, 0};
    st.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, png_log_error,
                                      png_log_warning, nullptr, png_zv_malloc, png_zv_free);
    if (!st.png) return 0;
    st.info = png_create_info_struct(st.png);
    int ok = st.info && png_decode_run(&st, &src, flags, out);
    png_destroy_read_struct(&st.png, st.info ? &st.info : nullptr, nullptr);
    zv_free(st.rows);
    if (!ok) {
        zv_free(st.pixels);
        out->width = out->height = out->channels = 0;
        return 0;
    }
    out->pixels = st.pixels;
    return 1;
}

// ---- writing -----------------------------------------------------------------------------------

struct png_sink {
    uint8_t *bytes;
    size_t len, cap;
};

struct png_encode_state {
    png_structp png;
    png_infop info;
    png_bytep *rows;
    png_sink sink;
};

static void png_write_memory(png_structp png, png_bytep src, png_size_t n) {
    png_sink *s = (png_sink *)png_get_io_ptr(png);
    if (s->len + n > s->cap) {
        size_t cap = s->cap ? s->cap : 4096;
        while (cap < s->len + n)
            cap *= 2;
        s->bytes = (uint8_t *)zv_realloc(s->bytes, cap);
        s->cap = cap;
    }
    memcpy(s->bytes + s->len, src, n);
    s->len += n;
}

static void png_flush_memory(png_structp) {}

static int png_encode_run(png_encode_state *st, const data_image *img, int bottom_up) {
    static const int types[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                 PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (setjmp(png_jmpbuf(st->png))) return 0;
    png_set_write_fn(st->png, &st->sink, png_write_memory, png_flush_memory);
    // Fixed settings keep the output byte-identical from run to run.
    png_set_compression_level(st->png, 9);
    png_set_IHDR(st->png, st->info, img->width, img->height, img->bits, types[img->channels],
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(st->png, st->info);
    if (img->bits == 16) {
        uint16_t probe = 1;
        if (*(uint8_t *)&probe) png_set_swap(st->png);
    }
    size_t rowbytes = (size_t)img->width * img->channels * (img->bits / 8);
    for (int y = 0; y < img->height; y++) {
        int src_row = bottom_up ? img->height - 1 - y : y;
        st->rows[y] = (png_bytep)img->pixels + rowbytes * src_row;
    }
    png_write_image(st->png, st->rows);
    png_write_end(st->png, nullptr);
    return 1;
}

static int png_encode(const data_image *img, int bottom_up, uint8_t **out, size_t *len) {
    *out = nullptr;
    *len = 0;
    if (!img->pixels || img->channels < 1 || img->channels > 4 ||
        (img->bits != 8 && img->bits != 16) ||
        !data_image_size(img->width, img->height, img->channels, img->bits / 8))
        return 0;
    png_encode_state st = {};
    st.png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, png_log_error,
                                       png_log_warning, nullptr, png_zv_malloc, png_zv_free);
    if (!st.png) return 0;
    st.info = png_create_info_struct(st.png);
    st.rows = (png_bytep *)zv_alloc(sizeof(png_bytep) * img->height);
    int ok = st.info && png_encode_run(&st, img, bottom_up);
    png_destroy_write_struct(&st.png, st.info ? &st.info : nullptr);
    zv_free(st.rows);
    if (!ok) {
        zv_free(st.sink.bytes);
        return 0;
    }
    *out = st.sink.bytes;
    *len = st.sink.len;
    return 1;
}

int data_image_encode_png(const data_image *img, uint8_t **out, size_t *len) {
    return png_encode(img, 0, out, len);
}

static int png_store(const char *name, const data_image *img, int bottom_up) {
    uint8_t *bytes;
    size_t len;
    if (!png_encode(img, bottom_up, &bytes, &len)) return 0;
    data_file *f = data_open(name, "wb");
    int ok = 0;
    if (f) {
        ok = data_write(f, bytes, (int)len) == (int)len;
        data_close(f);
    }
    zv_free(bytes);
    if (!ok) platform_log("Can't write PNG \"%.900s\"\n", name);
    return ok;
}

int data_image_write_png(const char *name, const uint8_t *rgb, int width, int height) {
    data_image img = {width, height, 3, 8, (void *)rgb};
    return png_store(name, &img, 1);
}

int data_image_save_png(const char *name, const data_image *img) {
    return png_store(name, img, 0);
}
