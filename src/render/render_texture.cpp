// The texture table, loading by name with links, animations and the upload through zvgl.
#include "render/render_texture.h"

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "data/data_image.h"
#include "data/data_index.h"
#include "platform/platform.h"
#include "render/zvgl.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#ifndef GL_COMPRESSED_RGB
#define GL_COMPRESSED_RGB 0x84ED
#endif
#ifndef GL_COMPRESSED_RGBA
#define GL_COMPRESSED_RGBA 0x84EE
#endif

render_texture_settings render_texture_config = {0, 1, 0};

namespace {

struct texture_record {
    GLuint id;
    int stamp;
    size_t memory;
    char *info;
    char *name;
};

struct link_record {
    char *source;
    char *target;
};

struct anim_record {
    GLuint id;
    int current; // frame now uploaded
    int start, stopped;
    data_seq seq;
    uint8_t *composition; // levels of the frame size, made by the first custom frame
};

struct texture_module {
    texture_record *tex;
    int tex_count, tex_cap;
    link_record *links;
    int link_count, link_cap;
    anim_record *anims;
    int anim_count, anim_cap;
    int generation;
    size_t memory;
    int link_depth;
};

texture_module g_tex;

char *dup_string(const char *s) {
    size_t n = strlen(s) + 1;
    char *d = (char *)zv_alloc(n);
    memcpy(d, s, n);
    return d;
}

// Growable tables start with room for 16 entries and double when full.
template <typename T> T *grow(T *table, int count, int *cap) {
    if (count < *cap) return table;
    *cap = *cap ? *cap * 2 : 16;
    return (T *)zv_realloc(table, sizeof(T) * (size_t)*cap);
}

texture_record *record_of(GLuint id) {
    for (int i = 0; i < g_tex.tex_count; i++)
        if (g_tex.tex[i].id == id) return &g_tex.tex[i];
    return nullptr;
}

anim_record *anim_of(GLuint id) {
    for (int i = 0; i < g_tex.anim_count; i++)
        if (g_tex.anims[i].id == id) return &g_tex.anims[i];
    return nullptr;
}

const char *link_target(const char *name) {
    for (int i = 0; i < g_tex.link_count; i++)
        if (!strcmp(g_tex.links[i].source, name)) return g_tex.links[i].target;
    return nullptr;
}

void restamp(texture_record *t) {
    if (t->stamp != 0 && t->stamp != g_tex.generation) {
        t->stamp = g_tex.generation;
        g_tex.memory += t->memory;
    }
}

// Uploads levels (each half the previous, at least 1, down to 1x1) into a new texture.
GLuint upload(const uint8_t *levels, int w, int h, int bpp, int flags) {
    GLenum format = bpp == 4 ? GL_RGBA : GL_RGB;
    GLint internal = (GLint)format;
    if (flags & RENDER_TEXTURE_COMPRESS)
        internal = bpp == 4 ? GL_COMPRESSED_RGBA : GL_COMPRESSED_RGB;
    GLuint id = 0;
    if (!zvglStarted()) return 0; // no context: pictures are read, nothing is uploaded
    zvglGenTextures(1, &id);
    if (!id) return 0;
    zvglBindTexture(GL_TEXTURE_2D, id);
    zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    while (zvglGetError() != GL_NO_ERROR) {
    }
    // Core contexts have no GL_CLAMP; clamp to edge is what a non-repeating texture wants.
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S,
                      (flags & RENDER_TEXTURE_REPEAT_S) ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T,
                      (flags & RENDER_TEXTURE_REPEAT_T) ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    int single = flags & RENDER_TEXTURE_SINGLE_LEVEL;
    if (zvglGetError() != GL_NO_ERROR)
        zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                          single ? GL_NEAREST : GL_NEAREST_MIPMAP_LINEAR);
    else
        zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                          single ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    int level = 0;
    for (;;) {
        zvglTexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, format, GL_UNSIGNED_BYTE, levels);
        size_t bytes = (size_t)w * h * bpp;
        if (flags & RENDER_TEXTURE_COMPRESS) {
            GLint compressed = 0, size = 0;
            zvglGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED, &compressed);
            if (compressed)
                zvglGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_COMPRESSED_IMAGE_SIZE,
                                           &size);
            if (compressed && size > 0) bytes = (size_t)size;
        }
        g_tex.memory += bytes;
        levels += (size_t)w * h * bpp;
        if (single || (w == 1 && h == 1)) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
        level++;
    }
    if (single) zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return id;
}

// Replaces every level of a texture (the same halving rule as the upload).
void replace_levels(GLuint id, const uint8_t *levels, int w, int h, int bpp) {
    GLenum format = bpp == 4 ? GL_RGBA : GL_RGB;
    if (!id || !zvglStarted()) return;
    zvglBindTexture(GL_TEXTURE_2D, id);
    zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int level = 0;; level++) {
        zvglTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, format, GL_UNSIGNED_BYTE, levels);
        levels += (size_t)w * h * bpp;
        if (w == 1 && h == 1) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    zvglBindTexture(GL_TEXTURE_2D, 0);
}

GLuint add_record(GLuint id, const char *name, char *info, size_t memory_before) {
    g_tex.tex = grow(g_tex.tex, g_tex.tex_count, &g_tex.tex_cap);
    texture_record *t = &g_tex.tex[g_tex.tex_count++];
    t->id = id;
    t->stamp = g_tex.generation;
    t->memory = g_tex.memory - memory_before;
    t->info = info;
    t->name = dup_string(name);
    return id;
}

int token_is(const uint8_t *b, size_t len, const char *magic) {
    size_t n = strlen(magic);
    if (len < n || memcmp(b, magic, n)) return 0;
    return len == n || b[n] == ' ' || (b[n] >= '\t' && b[n] <= '\r') || b[n] == '#';
}

GLuint load_animation(const uint8_t *bytes, size_t len, const char *name, int flags) {
    data_seq seq;
    if (!data_image_seq_parse(bytes, len, name, nullptr, &seq)) return 0;
    size_t before = g_tex.memory;
    const data_texture_pixels *f = &seq.frame[seq.list[0]];
    GLuint id = upload(f->chain, f->width, f->height, f->bpp, flags & ~RENDER_TEXTURE_COMPRESS);
    if (!id) {
        data_image_seq_free(&seq);
        return 0;
    }
    g_tex.anims = grow(g_tex.anims, g_tex.anim_count, &g_tex.anim_cap);
    anim_record *a = &g_tex.anims[g_tex.anim_count++];
    memset(a, 0, sizeof *a);
    a->id = id;
    a->current = seq.list[0];
    a->seq = seq;
    return add_record(id, name, nullptr, before);
}

GLuint load_link(const uint8_t *bytes, size_t len, const char *name) {
    char target[1024];
    if (!data_image_link_target(bytes, len, target, sizeof target)) return 0;
    // Until the target is known the link leads to white, so a link back to itself ends there.
    g_tex.links = grow(g_tex.links, g_tex.link_count, &g_tex.link_cap);
    link_record *l = &g_tex.links[g_tex.link_count++];
    l->source = dup_string(name);
    l->target = dup_string("@colors/white.png");
    int index = g_tex.link_count - 1;
    GLuint id = 0;
    // Long chains of distinct links would otherwise recurse without bound.
    if (g_tex.link_depth < 32) {
        g_tex.link_depth++;
        id = render_texture_load(target);
        g_tex.link_depth--;
    } else {
        platform_log("%.900s: too many nested texture links\n", name);
        id = render_texture_load("@colors/white.png");
    }
    const char *resolved = id ? render_texture_name(id) : nullptr;
    if (resolved) {
        l = &g_tex.links[index];
        zv_free(l->target);
        l->target = dup_string(resolved);
    }
    return id;
}

} // namespace

void render_texture_set_detail(int detail) {
    int r = 10 - detail;
    render_texture_config.reduction = r < 0 ? 0 : r > 10 ? 10 : r;
}

void render_texture_new_generation(void) {
    g_tex.generation++;
    g_tex.memory = 0;
}

int render_texture_generation(void) {
    return g_tex.generation;
}
size_t render_texture_memory(void) {
    return g_tex.memory;
}

int render_texture_name_flags(const char *name) {
    int flags = 0;
    if (strstr(name, "-repeat.")) flags |= RENDER_TEXTURE_REPEAT_S | RENDER_TEXTURE_REPEAT_T;
    if (strstr(name, "-hrepeat.")) flags |= RENDER_TEXTURE_REPEAT_S;
    if (strstr(name, "-vrepeat.")) flags |= RENDER_TEXTURE_REPEAT_T;
    return flags;
}

GLuint render_texture_find(const char *name) {
    for (int i = 0; i < g_tex.tex_count; i++)
        if (!strcmp(g_tex.tex[i].name, name)) {
            restamp(&g_tex.tex[i]);
            return g_tex.tex[i].id;
        }
    for (int i = 0; i < g_tex.tex_count; i++)
        if (!strcasecmp(g_tex.tex[i].name, name)) {
            platform_log("Warning: case mismatch on '%.900s'\n", name);
            restamp(&g_tex.tex[i]);
            return g_tex.tex[i].id;
        }
    return 0;
}

const char *render_texture_name(GLuint id) {
    texture_record *t = record_of(id);
    return t ? t->name : nullptr;
}

const char *render_texture_info(GLuint id) {
    texture_record *t = record_of(id);
    return t ? t->info : nullptr;
}

GLuint render_texture_load_companion(const char *name, const char *ending,
                                     const char *replacement) {
    size_t n = strlen(name), e = strlen(ending), r = strlen(replacement);
    if (n < e || strcmp(name + n - e, ending) != 0 || n - e + r >= 1024) return 0;
    char buf[1024];
    memcpy(buf, name, n - e);
    memcpy(buf + n - e, replacement, r + 1);
    return render_texture_load(buf);
}

GLuint render_texture_create(uint8_t *levels, int width, int height, int bpp, int reduction,
                             int flags, const char *name) {
    if (!levels || (bpp != 3 && bpp != 4) || !data_image_size(width, height, bpp, 1)) return 0;
    // data_mip_prepare may replace the chain when it resamples; work on a copy so the caller
    // keeps ownership of what it passed.
    size_t n = data_mip_chain_bytes(width, height, bpp);
    uint8_t *chain = (uint8_t *)zv_alloc(n);
    memcpy(chain, levels, n);
    uint8_t *base;
    int w = width, h = height;
    data_mip_prepare(&chain, &w, &h, bpp, reduction, name, &base);
    GLuint id = upload(base, w, h, bpp, flags);
    zv_free(chain);
    return id;
}

GLuint render_texture_create_plain(const uint8_t *levels, int width, int height, int bpp) {
    if (!levels || (bpp != 3 && bpp != 4) || !data_image_size(width, height, bpp, 1)) return 0;
    return upload(levels, width, height, bpp, 0);
}

int render_texture_write_png(const char *name, const uint8_t *rgb, int width, int height) {
    return data_image_write_png(name, rgb, width, height);
}

uint8_t *render_texture_read_back_rgb(int width, int height) {
    uint64_t n = data_image_size(width, height, 3, 1);
    if (!n) return nullptr;
    if (!zvglStarted()) return nullptr;
    uint8_t *rgb = (uint8_t *)zv_alloc((size_t)n);
    zvglPixelStorei(GL_PACK_ALIGNMENT, 1);
    zvglReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return rgb;
}

GLuint render_texture_load(const char *name) {
    if (!name || !name[0]) return 0;
    int reduction = render_texture_config.reduction;
    if (name[0] == '!') {
        reduction = 0;
        name++;
    }
    const char *linked = link_target(name);
    if (linked) name = linked;
    GLuint id = render_texture_find(name);
    if (id) return id;
    // The name may point into a link record that loading replaces; keep a copy.
    char own[1024];
    snprintf(own, sizeof own, "%s", name);
    name = own;
    uint8_t *bytes;
    size_t len;
    if (!data_image_read_file(name, &bytes, &len)) {
        if (render_texture_config.verbose) platform_log("Can't open texture \"%.900s\"\n", name);
        return 0;
    }
    int flags = render_texture_name_flags(name);
    size_t before = g_tex.memory;
    if (token_is(bytes, len, "ANIM1")) {
        id = load_animation(bytes, len, name, flags);
        zv_free(bytes);
        return id;
    }
    if (token_is(bytes, len, "LINK")) {
        id = load_link(bytes, len, name);
        zv_free(bytes);
        return id;
    }
    char *info = nullptr;
    int png = !(token_is(bytes, len, "J7") || token_is(bytes, len, "J6") ||
                token_is(bytes, len, "P3") || token_is(bytes, len, "P6"));
    if (png) {
        char info_name[1100];
        snprintf(info_name, sizeof info_name, "%s.info", name);
        info = file_to_string(info_name);
    }
    data_texture_pixels px;
    int ok = data_image_texture_pixels(bytes, len, name, info, &px);
    zv_free(bytes);
    if (!ok) {
        platform_log("Can't load texture \"%.900s\": %s\n", name, data_image_error());
        zv_free(info);
        return 0;
    }
    if (png && (render_texture_config.compression == 2 ||
                (render_texture_config.compression == 1 && info && strstr(info, "[compress]"))))
        flags |= RENDER_TEXTURE_COMPRESS;
    id = render_texture_create(px.chain, px.width, px.height, px.bpp, reduction, flags, name);
    data_texture_pixels_free(&px);
    if (!id) {
        zv_free(info);
        return 0;
    }
    return add_record(id, name, info, before);
}

// ---- animations --------------------------------------------------------------------------------

int render_texture_anim_entry(int tic, int start, int step, int length, int loop) {
    if (step < 1 || length < 1) return 0;
    int t = tic - start;
    if (t < 0) t = 0;
    int e = t / step;
    return loop ? e % length : (e < length - 1 ? e : length - 1);
}

void render_texture_animate(int tic) {
    if (tic < 0) return;
    for (int i = 0; i < g_tex.anim_count; i++) {
        anim_record *a = &g_tex.anims[i];
        if (a->stopped) continue;
        int e = render_texture_anim_entry(tic, a->start, a->seq.step, a->seq.length, a->seq.loop);
        int frame = a->seq.list[e];
        if (frame == a->current) continue;
        const data_texture_pixels *f = &a->seq.frame[frame];
        replace_levels(a->id, f->chain, f->width, f->height, f->bpp);
        a->current = frame;
    }
}

void render_texture_restart_animation(GLuint id, int start_tic) {
    anim_record *a = anim_of(id);
    if (!a) return;
    a->stopped = 0;
    a->start = start_tic;
}

void render_texture_stop_animation(GLuint id) {
    anim_record *a = anim_of(id);
    if (a) a->stopped = 1;
}

int render_texture_anim_frame(GLuint id) {
    anim_record *a = anim_of(id);
    return a ? a->current : -1;
}

// ---- custom frames -----------------------------------------------------------------------------

int render_texture_begin_custom_frame(GLuint id) {
    anim_record *a = anim_of(id);
    if (!a) return 0;
    const data_texture_pixels *f0 = &a->seq.frame[0];
    if (!a->composition)
        a->composition =
            (uint8_t *)zv_alloc_zeroed(1, data_mip_chain_bytes(f0->width, f0->height, f0->bpp));
    memset(a->composition, 0, (size_t)f0->width * f0->height * f0->bpp);
    return 1;
}

static int ceil_half(double v) {
    double c = v - 0.5;
    int i = (int)c;
    return (double)i < c ? i + 1 : i;
}

int render_texture_paste_rect(int W, int H, float sx, float sy, float dx, float dy, float w,
                              float h, render_paste_rect *r) {
    // Non-finite or absurd values from a script are refused before any arithmetic.
    float v[6] = {sx, sy, dx, dy, w, h};
    for (float f : v)
        if (!(f > -1e6f && f < 1e6f)) return 0;
    int x0 = ceil_half((double)sx * W), y0 = ceil_half((double)sy * H);
    int x1 = ceil_half((double)dx * W), y1 = ceil_half((double)dy * H);
    int n = (int)((double)W * w), m = (int)((double)H * h);
    // A negative start shifts both rectangles and shortens them.
    if (x0 < 0) {
        n += x0;
        x1 -= x0;
        x0 = 0;
    }
    if (x1 < 0) {
        n += x1;
        x0 -= x1;
        x1 = 0;
    }
    if (y0 < 0) {
        m += y0;
        y1 -= y0;
        y0 = 0;
    }
    if (y1 < 0) {
        m += y1;
        y0 -= y1;
        y1 = 0;
    }
    if (x0 >= W || x1 >= W || y0 >= H || y1 >= H) return 0;
    int room_x = W - (x0 > x1 ? x0 : x1), room_y = H - (y0 > y1 ? y0 : y1);
    if (n > room_x) n = room_x;
    if (m > room_y) m = room_y;
    if (n <= 0 || m <= 0) return 0;
    *r = {x0, y0, x1, y1, n, m};
    return 1;
}

void render_texture_paste_pixel(const uint8_t *S, uint8_t *D, int bpp) {
    if (bpp == 3) {
        memcpy(D, S, 3);
        return;
    }
    int s = S[3], d = D[3];
    if (s == 0) {
        if (d == 0) memcpy(D, S, 4);
    } else if (s == 255 || d == 0) {
        memcpy(D, S, 4);
    } else if (d == 255) {
        for (int c = 0; c < 3; c++)
            D[c] = (uint8_t)((S[c] * s + D[c] * (255 - s)) / 255);
    } else {
        int den = d * (255 - s) + s * 255;
        for (int c = 0; c < 3; c++)
            D[c] = (uint8_t)((S[c] * s * 255 + D[c] * d * (255 - s)) / den);
        D[3] = (uint8_t)(s + d * (255 - s) / 255);
    }
}

int render_texture_paste(GLuint id, int frame, float sx, float sy, float dx, float dy, float w,
                         float h) {
    anim_record *a = anim_of(id);
    if (!a || !a->composition || frame < 0 || frame >= a->seq.frames) return 0;
    const data_texture_pixels *f = &a->seq.frame[frame];
    render_paste_rect r;
    if (!render_texture_paste_rect(f->width, f->height, sx, sy, dx, dy, w, h, &r)) return 0;
    int bpp = f->bpp, W = f->width;
    for (int y = 0; y < r.m; y++)
        for (int x = 0; x < r.n; x++)
            render_texture_paste_pixel(f->chain + ((size_t)(r.y0 + y) * W + r.x0 + x) * bpp,
                                       a->composition + ((size_t)(r.y1 + y) * W + r.x1 + x) * bpp,
                                       bpp);
    return 1;
}

int render_texture_end_custom_frame(GLuint id) {
    anim_record *a = anim_of(id);
    if (!a || !a->composition) return 0;
    const data_texture_pixels *f0 = &a->seq.frame[0];
    data_mip_build(a->composition, f0->width, f0->height, f0->bpp, 0);
    replace_levels(a->id, a->composition, f0->width, f0->height, f0->bpp);
    return 1;
}

// ---- lifetime ----------------------------------------------------------------------------------

static char **g_variants[8];
static int g_variant_count[8];

static void free_variants(int slot) {
    for (int i = 0; i < g_variant_count[slot]; i++)
        zv_free(g_variants[slot][i]);
    zv_free(g_variants[slot]);
    g_variants[slot] = nullptr;
    g_variant_count[slot] = 0;
}

void render_texture_sweep(int all) {
    int keep = 0;
    for (int i = 0; i < g_tex.tex_count; i++) {
        texture_record *t = &g_tex.tex[i];
        if (all || (t->stamp != 0 && t->stamp != g_tex.generation)) {
            if (render_texture_config.verbose)
                platform_log("deleting tid %d (%.900s)\n", (int)t->id, t->name);
            if (t->id && zvglStarted()) zvglDeleteTextures(1, &t->id);
            zv_free(t->name);
            zv_free(t->info);
        } else {
            g_tex.tex[keep++] = *t;
        }
    }
    g_tex.tex_count = keep;
    keep = 0;
    for (int i = 0; i < g_tex.anim_count; i++) {
        anim_record *a = &g_tex.anims[i];
        if (!record_of(a->id)) {
            if (render_texture_config.verbose)
                platform_log("deleting anim %d for tid %d\n", i, (int)a->id);
            data_image_seq_free(&a->seq);
            zv_free(a->composition);
        } else {
            g_tex.anims[keep++] = *a;
        }
    }
    g_tex.anim_count = keep;
    if (all) {
        for (int i = 0; i < g_tex.link_count; i++) {
            zv_free(g_tex.links[i].source);
            zv_free(g_tex.links[i].target);
        }
        zv_free(g_tex.links);
        zv_free(g_tex.tex);
        zv_free(g_tex.anims);
        int generation = g_tex.generation;
        memset(&g_tex, 0, sizeof g_tex);
        g_tex.generation = generation;
        for (int s = 0; s < 8; s++)
            free_variants(s);
    }
}

int render_texture_variants(int slot, const char *prefix, const char *const **names) {
    *names = nullptr;
    if (slot < 0 || slot >= 8 || !prefix) return 0;
    free_variants(slot);
    size_t plen = strlen(prefix);
    int n = file_index_count(), cap = 0;
    const char *last = nullptr;
    for (int i = 0; i < n; i++) {
        const file_index_entry *e = file_index_entry_at(i);
        if (!e || strncasecmp(e->name, prefix, plen) != 0) continue;
        // The index lists each spelling once per source; keep one entry per name.
        if (last && !strcasecmp(last, e->name)) continue;
        last = e->name;
        g_variants[slot] = grow(g_variants[slot], g_variant_count[slot], &cap);
        g_variants[slot][g_variant_count[slot]++] = dup_string(e->name);
    }
    *names = (const char *const *)g_variants[slot];
    return g_variant_count[slot];
}
