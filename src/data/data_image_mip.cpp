// Mipmap levels on the CPU: averaging, resampling to powers of two, custom level layouts, and
// the test that finds top levels which only repeat the next smaller level (pictures scaled up
// before they were saved), so they need not occupy texture memory.
#include "data/data_image.h"

#include "base/zv_alloc.h"
#include "platform/platform.h"

#include <cstring>

static inline int half(int v) {
    return v > 1 ? v / 2 : 1;
}

size_t data_mip_chain_bytes(int width, int height, int bpp) {
    size_t total = 0;
    for (;;) {
        total += (size_t)width * height * bpp;
        if (width == 1 && height == 1) return total;
        width = half(width);
        height = half(height);
    }
}

int data_mip_floor_pow2(int v) {
    int p = 1;
    while (p <= v / 2)
        p *= 2;
    return p;
}

// Averages n source pixels (n = 2 or 4) into dst by the RGB or RGBA rule.
static void mip_average(const uint8_t *const *px, int n, uint8_t *dst, int bpp, int flags) {
    if (bpp == 3) {
        for (int c = 0; c < 3; c++) {
            int sum = 0;
            for (int i = 0; i < n; i++)
                sum += px[i][c];
            dst[c] = (uint8_t)(sum / n);
        }
        return;
    }
    int asum = 0, amax = 0;
    for (int i = 0; i < n; i++) {
        asum += px[i][3];
        if (px[i][3] > amax) amax = px[i][3];
    }
    dst[3] = (uint8_t)((flags & DATA_MIP_MAX_ALPHA) ? amax : asum / n);
    for (int c = 0; c < 3; c++) {
        int sum = 0, weighted = 0;
        for (int i = 0; i < n; i++) {
            sum += px[i][c];
            weighted += px[i][c] * px[i][3];
        }
        // Fully clear or fully opaque blocks take the plain average; otherwise transparent
        // pixels must not bleed their colour into the visible ones.
        dst[c] = (uint8_t)((asum == 0 || asum == 255 * n) ? sum / n : weighted / asum);
    }
}

void data_mip_build(uint8_t *chain, int width, int height, int bpp, int flags) {
    uint8_t *src = chain;
    int w = width, h = height;
    while (w > 1 || h > 1) {
        int dw = half(w), dh = half(h);
        uint8_t *dst = src + (size_t)w * h * bpp;
        for (int y = 0; y < dh; y++) {
            for (int x = 0; x < dw; x++) {
                const uint8_t *px[4];
                int n;
                if (w == 1) { // a column: pairs vertically
                    px[0] = src + (size_t)(2 * y) * bpp;
                    px[1] = src + (size_t)(2 * y + 1) * bpp;
                    n = 2;
                } else if (h == 1) { // a row: pairs horizontally
                    px[0] = src + (size_t)(2 * x) * bpp;
                    px[1] = src + (size_t)(2 * x + 1) * bpp;
                    n = 2;
                } else {
                    const uint8_t *row0 = src + (size_t)(2 * y) * w * bpp;
                    const uint8_t *row1 = row0 + (size_t)w * bpp;
                    px[0] = row0 + (size_t)(2 * x) * bpp;
                    px[1] = px[0] + bpp;
                    px[2] = row1 + (size_t)(2 * x) * bpp;
                    px[3] = px[2] + bpp;
                    n = 4;
                }
                mip_average(px, n, dst + ((size_t)y * dw + x) * bpp, bpp, flags);
            }
        }
        src = dst;
        w = dw;
        h = dh;
    }
}

void data_mip_resample(const uint8_t *src, int sw, int sh, uint8_t *dst, int dw, int dh, int bpp) {
    for (int y = 0; y < dh; y++) {
        int sy = (int)((int64_t)y * sh / dh);
        for (int x = 0; x < dw; x++) {
            int sx = (int)((int64_t)x * sw / dw);
            memcpy(dst + ((size_t)y * dw + x) * bpp, src + ((size_t)sy * sw + sx) * bpp, bpp);
        }
    }
}

// Upsampling by two: the nearer source pixel weighs 3/4, the farther 1/4, edges clamped.
static inline int up_index(int d, int n, int *far) {
    int i = d / 2;
    if (i > n - 1) i = n - 1;
    int f = (d & 1) ? i + 1 : i - 1;
    *far = f < 0 ? 0 : f > n - 1 ? n - 1 : f;
    return i;
}

int data_mip_redundant(const uint8_t *big, int width, int height, int bpp) {
    if (width == 1 && height == 1) return 0;
    int sw = half(width), sh = half(height);
    const uint8_t *small = big + (size_t)width * height * bpp;
    // Horizontal pass into a width x sh buffer, then vertical while comparing.
    uint8_t *tmp = (uint8_t *)zv_alloc((size_t)width * sh * bpp);
    for (int y = 0; y < sh; y++)
        for (int x = 0; x < width; x++) {
            int f, i = up_index(x, sw, &f);
            for (int c = 0; c < bpp; c++)
                tmp[((size_t)y * width + x) * bpp + c] =
                    (uint8_t)((3 * small[((size_t)y * sw + i) * bpp + c] +
                               small[((size_t)y * sw + f) * bpp + c]) /
                              4);
        }
    int same = 1;
    for (int y = 0; y < height && same; y++) {
        int f, i = up_index(y, sh, &f);
        for (int x = 0; x < width && same; x++)
            for (int c = 0; c < bpp; c++) {
                int v = (3 * tmp[((size_t)i * width + x) * bpp + c] +
                         tmp[((size_t)f * width + x) * bpp + c]) /
                        4;
                int d = v - big[((size_t)y * width + x) * bpp + c];
                if (d > 4 || d < -4) {
                    same = 0;
                    break;
                }
            }
    }
    zv_free(tmp);
    return same;
}

int data_mip_custom(const uint8_t *image, int width, int image_height, int bpp, uint8_t *chain) {
    size_t total =
        data_mip_chain_bytes(width, 2 * image_height / 3 > 0 ? 2 * image_height / 3 : 1, bpp);
    if ((2 * image_height) % 3 != 0 || image_height < 3) {
        memset(chain, 0, total);
        size_t n = (size_t)width * (2 * image_height / 3 > 0 ? 2 * image_height / 3 : 1) * bpp;
        memcpy(chain, image, n);
        return 0;
    }
    int base_h = 2 * image_height / 3;
    memset(chain, 0, total);
    memcpy(chain, image, (size_t)width * base_h * bpp);
    uint8_t *dst = chain + (size_t)width * base_h * bpp;
    int lw = half(width), lh = half(base_h);
    int x = 0, y = base_h, column_x = lw, column_w = 0, first = 1;
    for (;;) {
        if (!first) {
            if (y + lh > image_height) { // the level starts a new column to the right
                column_x += column_w;
                column_w = 0;
                y = base_h;
            }
            x = column_x;
        }
        if (x + lw > width || y + lh > image_height) return 0; // the layout does not fit
        for (int r = 0; r < lh; r++)
            memcpy(dst + (size_t)r * lw * bpp, image + ((size_t)(y + r) * width + x) * bpp,
                   (size_t)lw * bpp);
        dst += (size_t)lw * lh * bpp;
        if (first) {
            first = 0;
        } else {
            y += lh;
            if (lw > column_w) column_w = lw;
        }
        if (lw == 1 && lh == 1) return 1;
        lw = half(lw);
        lh = half(lh);
    }
}

static int is_pow2(int v) {
    return v > 0 && (v & (v - 1)) == 0;
}

int data_mip_prepare(uint8_t **chain, int *width, int *height, int bpp, int reduction,
                     const char *name, uint8_t **base) {
    int w = *width, h = *height;
    if (!is_pow2(w) || !is_pow2(h)) {
        platform_log("Warning: Non power of 2 texture '%.950s'\n", name ? name : "");
        int nw = data_mip_floor_pow2(w), nh = data_mip_floor_pow2(h);
        uint8_t *fresh = (uint8_t *)zv_alloc(data_mip_chain_bytes(nw, nh, bpp));
        data_mip_resample(*chain, w, h, fresh, nw, nh, bpp);
        data_mip_build(fresh, nw, nh, bpp, 0);
        zv_free(*chain);
        *chain = fresh;
        w = nw;
        h = nh;
    }
    uint8_t *level = *chain;
    int entry_w = w, entry_h = h, reduced = 0;
    while (reduction > 0 && w > 128 && h > 128) {
        level += (size_t)w * h * bpp;
        w /= 2;
        h /= 2;
        reduction--;
        reduced = 1;
    }
    int dropped = 0;
    if (reduced || w > 16 || h > 16) {
        while ((w > 1 || h > 1) && data_mip_redundant(level, w, h, bpp)) {
            int was_w = w, was_h = h;
            level += (size_t)w * h * bpp;
            w = half(w);
            h = half(h);
            dropped++;
            if (was_w <= 33 && was_h <= 33) break;
        }
    }
    if (dropped)
        platform_log("%.64s reduced to %dx%d (originally %dx%d)\n", name ? name : "", w, h, entry_w,
                     entry_h);
    *width = w;
    *height = h;
    *base = level;
    return dropped;
}
