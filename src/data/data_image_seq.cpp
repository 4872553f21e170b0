// Animated textures (".seq", magic "ANIM1"): a play list over frames that are inline predictive
// pictures or PNG files named on their own lines; and texture links ("LINK").
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"

#include <cstring>

static int is_space(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Reads one white-space delimited token of at most 15 characters.
static int seq_token(const uint8_t *bytes, size_t len, size_t *pos, char *tok, size_t *start) {
    size_t p = *pos;
    while (p < len && is_space(bytes[p]))
        p++;
    *start = p;
    size_t n = 0;
    while (p < len && !is_space(bytes[p]) && n < 15)
        tok[n++] = (char)bytes[p++];
    tok[n] = 0;
    *pos = p;
    return n > 0;
}

// Frames are made powers of two, then their top level dropped while they are too large.
static void seq_fit_frame(data_texture_pixels *f, const char *name) {
    uint8_t *base;
    int w = f->width, h = f->height;
    if ((w & (w - 1)) || (h & (h - 1))) {
        // The same resampling as the upload, without its reduction and level dropping.
        int nw = data_mip_floor_pow2(w), nh = data_mip_floor_pow2(h);
        uint8_t *fresh = (uint8_t *)zv_alloc(data_mip_chain_bytes(nw, nh, f->bpp));
        data_mip_resample(f->chain, w, h, fresh, nw, nh, f->bpp);
        data_mip_build(fresh, nw, nh, f->bpp, 0);
        platform_log("Warning: Non power of 2 texture '%.950s'\n", name);
        zv_free(f->chain);
        f->chain = fresh;
        w = nw;
        h = nh;
    }
    base = f->chain;
    while ((int64_t)w * h > DATA_SEQ_MAX_FRAME_PIXELS) {
        base += (size_t)w * h * f->bpp;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    if (base != f->chain) {
        size_t n = data_mip_chain_bytes(w, h, f->bpp);
        uint8_t *kept = (uint8_t *)zv_alloc(n);
        memcpy(kept, base, n);
        zv_free(f->chain);
        f->chain = kept;
    }
    f->width = w;
    f->height = h;
}

void data_image_seq_free(data_seq *seq) {
    if (!seq) return;
    if (seq->frame)
        for (int i = 0; i < seq->frames; i++)
            data_texture_pixels_free(&seq->frame[i]);
    zv_free(seq->frame);
    zv_free(seq->list);
    memset(seq, 0, sizeof *seq);
}

static int seq_fail(data_seq *seq, const char *name, const char *what) {
    platform_log("%.900s: %s\n", name, what);
    data_image_seq_free(seq);
    return 0;
}

int data_image_seq_parse(const uint8_t *bytes, size_t len, const char *name, data_seq_reader reader,
                         data_seq *out) {
    memset(out, 0, sizeof *out);
    if (!name) name = "";
    if (!reader) reader = data_image_read_file;
    char tok[16];
    size_t pos = 0, start;
    if (!seq_token(bytes, len, &pos, tok, &start) || strcmp(tok, "ANIM1") != 0)
        return seq_fail(out, name, "Not a .seq animation");
    int64_t q, f, step, loop;
    if (!data_image_header_int(bytes, len, &pos, &q) ||
        !data_image_header_int(bytes, len, &pos, &f) ||
        !data_image_header_int(bytes, len, &pos, &step) ||
        !data_image_header_int(bytes, len, &pos, &loop))
        return seq_fail(out, name, "Can't read .seq header");
    if (q < 1 || f < 1 || q > DATA_SEQ_MAX_LIST || f > DATA_SEQ_MAX_FRAMES)
        return seq_fail(out, name, "Bad .seq play-list length or frame count");
    // A step of 0 would divide by zero when the animation plays.
    if (step < 1) return seq_fail(out, name, "Bad .seq step length");
    out->length = (int)q;
    out->frames = (int)f;
    out->step = (int)step;
    out->loop = loop != 0;
    out->list = (int *)zv_alloc(sizeof(int) * (size_t)q);
    out->frame = (data_texture_pixels *)zv_alloc_zeroed((size_t)f, sizeof(data_texture_pixels));
    for (int i = 0; i < q; i++) {
        int64_t v;
        if (!data_image_header_int(bytes, len, &pos, &v))
            return seq_fail(out, name, "EOF while reading .seq");
        if (v < 0 || v >= f) return seq_fail(out, name, "Play-list entry outside the .seq frames");
        out->list[i] = (int)v;
    }
    char msg[1100];
    for (int i = 0; i < f; i++) {
        data_texture_pixels *fr = &out->frame[i];
        if (!seq_token(bytes, len, &pos, tok, &start)) {
            return seq_fail(out, name, "EOF while reading .seq");
        } else if (!strcmp(tok, "J6") || !strcmp(tok, "J7")) {
            data_image img;
            size_t used;
            if (!data_image_decode_predictive(bytes + start, len - start, &img, &used)) {
                snprintf(msg, sizeof msg, "Error reading .seq frame %d", i);
                return seq_fail(out, name, msg);
            }
            pos = start + used;
            // Every frame is RGBA; a J6 frame has no alpha bytes and is fully opaque.
            size_t px = (size_t)img.width * img.height;
            fr->chain = (uint8_t *)zv_alloc(data_mip_chain_bytes(img.width, img.height, 4));
            const uint8_t *s = (const uint8_t *)img.pixels;
            for (size_t k = 0; k < px; k++) {
                fr->chain[k * 4 + 0] = s[k * img.channels + 0];
                fr->chain[k * 4 + 1] = s[k * img.channels + 1];
                fr->chain[k * 4 + 2] = s[k * img.channels + 2];
                fr->chain[k * 4 + 3] = img.channels == 4 ? s[k * 4 + 3] : 255;
            }
            fr->width = img.width;
            fr->height = img.height;
            fr->bpp = 4;
            data_image_free(&img);
            data_mip_build(fr->chain, fr->width, fr->height, 4, 0);
        } else if (!strcmp(tok, "PNG")) {
            while (pos < len && bytes[pos] != '\n' && is_space(bytes[pos]))
                pos++;
            size_t a = pos;
            while (pos < len && bytes[pos] != '\n')
                pos++;
            size_t b = pos;
            while (b > a && is_space(bytes[b - 1]))
                b--;
            if (b == a) return seq_fail(out, name, "EOF while reading .seq");
            char file[1024];
            size_t n = b - a < sizeof file - 1 ? b - a : sizeof file - 1;
            memcpy(file, bytes + a, n);
            file[n] = 0;
            uint8_t *png;
            size_t png_len;
            char info_name[1100];
            snprintf(info_name, sizeof info_name, "%s.info", file);
            if (!reader(file, &png, &png_len)) {
                snprintf(msg, sizeof msg, "Can't read %.900s", file);
                return seq_fail(out, name, msg);
            }
            uint8_t *info = nullptr;
            size_t info_len = 0;
            if (reader(info_name, &info, &info_len)) {
                info = (uint8_t *)zv_realloc(info, info_len + 1);
                info[info_len] = 0;
            }
            int ok =
                data_image_texture_pixels(png, png_len, file, (const char *)info, fr) && fr->png;
            zv_free(png);
            zv_free(info);
            if (!ok) {
                data_texture_pixels_free(fr);
                snprintf(msg, sizeof msg, "Can't read %.900s", file);
                return seq_fail(out, name, msg);
            }
        } else {
            snprintf(msg, sizeof msg, "Error reading .seq frame %d", i);
            return seq_fail(out, name, msg);
        }
        seq_fit_frame(fr, name);
        if (fr->width != out->frame[0].width || fr->height != out->frame[0].height)
            return seq_fail(out, name, "Width/height mismatch reading .seq");
        if (fr->bpp != out->frame[0].bpp) return seq_fail(out, name, "Depth mismatch reading .seq");
    }
    return 1;
}

int data_image_link_target(const uint8_t *bytes, size_t len, char *target, size_t size) {
    if (!size) return 0;
    target[0] = 0;
    size_t p = 0;
    while (p < len && is_space(bytes[p]))
        p++;
    if (len - p < 4 || memcmp(bytes + p, "LINK", 4) != 0) return 0;
    p += 4;
    if (p < len && !is_space(bytes[p])) return 0;
    size_t end = len - p > 1023 ? p + 1023 : len;
    while (p < end && is_space(bytes[p]))
        p++;
    while (end > p && (is_space(bytes[end - 1]) || bytes[end - 1] == 0))
        end--;
    if (end == p) return 0;
    size_t n = end - p < size - 1 ? end - p : size - 1;
    memcpy(target, bytes + p, n);
    target[n] = 0;
    // A name with an embedded zero byte ends there.
    return target[0] != 0;
}
