// Pictures on the CPU: decoding PNG, PPM / PGM and the predictive J6 / J7 formats into plain
// pixel buffers, writing PNG, and the mipmap arithmetic the texture loader and the simulation
// share. Nothing here needs a GL context: the track reads terrain.png and shadows.pgm through it.
#pragma once

#include <cstddef>
#include <cstdint>

// One picture: rows top to bottom, channels interleaved (1 grey, 2 grey+alpha, 3 RGB, 4 RGBA);
// 16-bit samples are native-endian uint16.
struct data_image {
    int width, height, channels;
    int bits; // 8 or 16
    void *pixels;
};

enum {
    DATA_IMAGE_MAX_SIDE = 16384,
    // The decoded-size budget of one picture, checked before anything is allocated: a track's
    // largest height map (4097 x 4097 samples) and the largest texture worth uploading (4096 x
    // 4096 RGBA, 64 MiB). A small compressed file that would decode past it is refused.
    DATA_IMAGE_MAX_PIXELS = 4097 * 4097,
    DATA_IMAGE_MAX_BYTES = 64 << 20,
    // data_image_decode_png: turn any PNG into 8-bit RGB or RGBA the way textures want it
    // (palette and grey to RGB, 16 bits stripped, a transparency chunk to alpha).
    DATA_IMAGE_PNG_TEXTURE = 1,
};

// Loads a picture through data_open: PNG keeps its depth (16-bit grey stays 16-bit), PNM and the
// predictive formats give 8-bit samples. Returns 1 on success, 0 on failure (logged).
int data_image_load(const char *name, data_image *out);
void data_image_free(data_image *img);

// The text of the last decoding failure ("Can't get PPM dimensions", ...), never null.
const char *data_image_error(void);

// Size check done before anything is allocated: both sides 1..16384, within the pixel and byte
// budget. Returns the byte count of width x height x channels x bytes_per_sample, or 0 when
// refused (a picture over the budget sets the error text "Picture too large ...").
uint64_t data_image_size(int64_t width, int64_t height, int channels, int bytes_per_sample);
// Allocates the pixels of out (zeroed) after the size check; 1 on success.
int data_image_alloc(data_image *out, int width, int height, int channels, int bits);

// Whole-buffer decoders (the loader and the fuzz targets use them). Each returns 1 on success and
// fills out; on failure out is left empty and data_image_error() says why.
int data_image_decode(const uint8_t *bytes, size_t len, data_image *out);
int data_image_decode_png(const uint8_t *bytes, size_t len, int flags, data_image *out);
// "P2" / "P5" grey maps and "P3" / "P6" colour maps; a maximum above 255 reads two bytes per
// sample (big-endian) in the binary forms; samples are scaled to 8 bits. *used (may be null)
// receives the bytes consumed.
int data_image_decode_pnm(const uint8_t *bytes, size_t len, data_image *out, size_t *used);
// "J6" (RGB) and "J7" (RGBA) predictive pictures; *used receives the bytes consumed.
int data_image_decode_predictive(const uint8_t *bytes, size_t len, data_image *out, size_t *used);

// Encoders. The output buffer comes from zv_alloc; the caller frees it. 1 on success.
int data_image_encode_png(const data_image *img, uint8_t **out, size_t *len);
// 8-bit RGB gives "J6", 8-bit RGBA gives "J7".
int data_image_encode_predictive(const data_image *img, uint8_t **out, size_t *len);

// Writes an 8-bit RGB PNG from rows stored bottom to top (as the frame buffer is read back).
// The name goes through data_open ("@" names land in the home directory). 1 on success.
int data_image_write_png(const char *name, const uint8_t *rgb, int width, int height);
// Writes any data_image as PNG (rows top to bottom). 1 on success.
int data_image_save_png(const char *name, const data_image *img);

// Shared by the decoders: sets the error text; reads one header number after any white space and
// "#" comment lines (1 on success, value within 0..2^31-1).
void data_image_set_error(const char *text);
int data_image_header_int(const uint8_t *bytes, size_t len, size_t *pos, int64_t *value);

// Reads a whole data file into a zv_alloc buffer (at most 256 MiB); 1 on success.
int data_image_read_file(const char *name, uint8_t **bytes, size_t *len);

// ---- mipmap levels: 8-bit pixels, 3 or 4 bytes each, all levels one after another ------------

enum { DATA_MIP_MAX_ALPHA = 1 };

// Total bytes of a chain from w x h down to 1x1 (each level half the previous, at least 1).
size_t data_mip_chain_bytes(int width, int height, int bpp);
// Fills every level after the first from the one before it (the RGB or RGBA averaging rule).
void data_mip_build(uint8_t *chain, int width, int height, int bpp, int flags);
// Nearest-pixel resampling of src (one level) into dst of dw x dh.
void data_mip_resample(const uint8_t *src, int sw, int sh, uint8_t *dst, int dw, int dh, int bpp);
// The largest power of two not above v (v >= 1).
int data_mip_floor_pow2(int v);
// Whether the level big (w x h) is reproduced within 4 per channel by upsampling the next level.
int data_mip_redundant(const uint8_t *big, int width, int height, int bpp);
// The shared preparation before upload, on a chain whose levels are built: a non-power-of-two
// base is resampled to the powers of two below it (with a warning naming the picture) and its
// levels rebuilt (*chain may be replaced); then up to `reduction` top levels are dropped while
// both sides exceed 128; then levels that the next smaller level reproduces are dropped. *base
// receives the first level kept, *width and *height its size. Returns the levels dropped as
// redundant.
int data_mip_prepare(uint8_t **chain, int *width, int *height, int bpp, int reduction,
                     const char *name, uint8_t **base);
// Copies the levels of an image that holds its own (the "[mip_custom]" layout) into chain;
// returns 0 (and leaves the smaller levels zero) when the height is not 3/2 of the base height.
int data_mip_custom(const uint8_t *image, int width, int image_height, int bpp, uint8_t *chain);

// ---- texture pixels: any picture file as 8-bit RGB / RGBA levels -----------------------------

// What a picture file becomes before upload: a chain of levels (zv_alloc, owned), 3 or 4 bytes
// per pixel. png is set for PNG sources (the loader's compression rule applies only to them).
struct data_texture_pixels {
    uint8_t *chain;
    int width, height, bpp;
    int png;
};

// Decodes J7, J6, P3 / P6 or PNG (anything else is tried as PNG) and builds the levels. For PNG
// the ".info" text (may be null) selects "[mip_max_alpha]" and "[mip_custom]"; name is for
// messages. 1 on success.
int data_image_texture_pixels(const uint8_t *bytes, size_t len, const char *name, const char *info,
                              data_texture_pixels *out);
void data_texture_pixels_free(data_texture_pixels *p);

// ---- animations (".seq", magic "ANIM1") and texture links ("LINK") ---------------------------

enum {
    DATA_SEQ_MAX_FRAMES = 1024,
    DATA_SEQ_MAX_LIST = 65536,
    DATA_SEQ_MAX_FRAME_PIXELS = 65536,
};

struct data_seq {
    int length; // play-list entries
    int frames;
    int step; // tics per play-list entry, at least 1
    int loop;
    int *list; // frame index per entry, each within 0..frames-1
    data_texture_pixels *frame;
};

// Reads the bytes of a PNG frame named in a ".seq" (data_image_read_file by default).
typedef int (*data_seq_reader)(const char *name, uint8_t **bytes, size_t *len);

// Parses a whole ".seq" file (starting with "ANIM1"). Frames are made powers of two and halved
// while above 65536 pixels; all must share frame 0's size and depth. Errors are logged with the
// texture name. 1 on success; on failure nothing stays allocated.
int data_image_seq_parse(const uint8_t *bytes, size_t len, const char *name, data_seq_reader reader,
                         data_seq *out);
void data_image_seq_free(data_seq *seq);

// A "LINK" file: copies the target name (white space trimmed, at most size-1 of the first 1023
// characters) into target. 1 when the bytes are a link with a non-empty target.
int data_image_link_target(const uint8_t *bytes, size_t len, char *target, size_t size);
