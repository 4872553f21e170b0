// Loading the terrain of a track directory: terrain.hf (heights inline or in terrain.png),
// shadows.pgm, the ground tiles and tile map, and the detail levels of the ground texture.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "data/data_file.h"
#include "data/data_image.h"
#include "track/track_hooks.h"
#include "track/track_status.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

int terrain_texture_detail = 1;

enum { TERRAIN_NAME_SIZE = 1200 };

// Samples of 16 bits become heights; the digest (verbose level 2) covers the samples as stored.
static void terrain_samples_to_heights(const uint16_t *samples, double bottom, double top) {
    size_t cells = (size_t)terrain.size * terrain.size;
    for (size_t i = 0; i < cells; i++)
        terrain.heights[i] = (float)(bottom + (top - bottom) * (double)samples[i] / 65535.0);
    if (track_verbose >= 2) {
        zv_sha1_ctx c;
        zv_sha1_init(&c);
        for (size_t i = 0; i < cells; i++) {
            uint8_t b[2] = {(uint8_t)(samples[i] & 0xff), (uint8_t)(samples[i] >> 8)};
            zv_sha1_update(&c, b, 2);
        }
        uint8_t digest[ZV_SHA1_SIZE];
        char hex[ZV_SHA1_HEX_SIZE];
        zv_sha1_final(&c, digest);
        track_log("%s\n", zv_sha1_hex(digest, hex));
    }
}

// One 16-bit grey value of an image pixel: 8-bit widened by repetition, colour weighted to grey,
// alpha dropped.
static uint16_t terrain_image_grey(const data_image *img, int x, int y) {
    size_t idx = ((size_t)y * img->width + x) * img->channels;
    uint32_t c[3];
    int colour = img->channels >= 3;
    for (int i = 0; i < (colour ? 3 : 1); i++) {
        if (img->bits == 16)
            c[i] = ((const uint16_t *)img->pixels)[idx + i];
        else
            c[i] = ((const uint8_t *)img->pixels)[idx + i] * 257u;
    }
    if (!colour) return (uint16_t)c[0];
    return (uint16_t)((6968u * c[0] + 23434u * c[1] + 2366u * c[2] + 16384u) >> 15);
}

// Heights from terrain.png; every sample 0 (the bottom height) when it cannot be read.
static void terrain_png_samples(const char *dir, uint16_t *samples) {
    char name[TERRAIN_NAME_SIZE];
    snprintf(name, sizeof name, "%s/terrain.png", dir);
    size_t cells = (size_t)terrain.size * terrain.size;
    memset(samples, 0, cells * sizeof(uint16_t));
    // No terrain.png is a flat track, not an error worth a log line.
    data_file *probe = data_open(name, "rb");
    if (!probe) return;
    data_close(probe);
    data_image img;
    memset(&img, 0, sizeof img);
    if (!data_image_load(name, &img)) return;
    if (img.width > 0 && img.height > 0 && img.pixels && img.channels >= 1 && img.channels <= 4) {
        for (int k = 0; k < terrain.size; k++) {
            int y = k < img.height - 1 ? k : img.height - 1;
            for (int i = 0; i < terrain.size; i++) {
                int x = i < img.width - 1 ? i : img.width - 1;
                samples[i + (size_t)k * terrain.size] = terrain_image_grey(&img, x, y);
            }
            if ((k & 63) == 0) track_status_update("Loading heights");
        }
    }
    data_image_free(&img);
}

// Inline samples after ':', two bytes each, low byte first. 0 when the data runs short.
static int terrain_inline_samples(data_file *f, uint16_t *samples) {
    int n = terrain.size;
    uint8_t *row = (uint8_t *)zv_alloc((size_t)n * 2);
    int ok = 1;
    for (int k = 0; k < n && ok; k++) {
        if (data_read(f, row, n * 2) != n * 2) {
            ok = 0;
            break;
        }
        for (int i = 0; i < n; i++)
            samples[i + (size_t)k * n] = (uint16_t)(row[2 * i] | (row[2 * i + 1] << 8));
        if ((k & 63) == 0) track_status_update("Loading heights");
    }
    zv_free(row);
    return ok;
}

static int terrain_read_heightfield(const char *dir) {
    char name[TERRAIN_NAME_SIZE];
    snprintf(name, sizeof name, "%s/terrain.hf", dir);
    data_file *f = data_open(name, "rb");
    if (!f) {
        track_message("Can't open '%.950s'", name);
        return 0;
    }
    int n = 0;
    float s = 0, bottom = 0, top = 0;
    if (data_scanf(f, "%d %f %f %f ", &n, &s, &bottom, &top) != 4) {
        data_close(f);
        track_message("Bad height field parameters");
        track_message("Error reading heights");
        return 0;
    }
    // Beyond these bounds slopes and normals overflow a float; no real ground comes near them.
    if (n < TERRAIN_MIN_EXP || n > TERRAIN_MAX_EXP || !(s >= TERRAIN_MIN_SPACING) ||
        !(s <= TERRAIN_MAX_SPACING) || !(fabsf(bottom) <= TERRAIN_MAX_HEIGHT) ||
        !(fabsf(top) <= TERRAIN_MAX_HEIGHT)) {
        data_close(f);
        track_message("Bad height field parameters");
        track_log("terrain.hf: size exponent %d must be 1..12, spacing %g within %g..%g, heights "
                  "%g and %g within +-%g\n",
                  n, (double)s, (double)TERRAIN_MIN_SPACING, (double)TERRAIN_MAX_SPACING,
                  (double)bottom, (double)top, (double)TERRAIN_MAX_HEIGHT);
        return 0;
    }
    terrain_alloc(n, s);
    track_status_begin("Loading heights");
    size_t cells = (size_t)terrain.size * terrain.size;
    uint16_t *samples = (uint16_t *)zv_alloc(cells * sizeof(uint16_t));
    int ok = 1;
    if (data_getc(f) == ':')
        ok = terrain_inline_samples(f, samples);
    else
        terrain_png_samples(dir, samples);
    data_close(f);
    if (!ok) {
        zv_free(samples);
        track_message("Error reading heights");
        return 0;
    }
    terrain_samples_to_heights(samples, bottom, top);
    zv_free(samples);
    memcpy(terrain.loaded_heights, terrain.heights, cells * sizeof(float));
    terrain_update_range();
    int cells_side = terrain.size - 1;
    if (track_render.height_texture_create)
        terrain.height_texture = track_render.height_texture_create(terrain.heights, terrain.size,
                                                                    cells_side, cells_side);
    if (track_render.terrain_uniforms)
        track_render.terrain_uniforms(terrain.spacing, 1.0f / (float)cells_side);
    track_status_done("Loading heights");
    track_status_done("Loading terrain");
    return 1;
}

static int terrain_read_shadows(const char *dir) {
    char name[TERRAIN_NAME_SIZE];
    snprintf(name, sizeof name, "%s/shadows.pgm", dir);
    track_status_begin("Loading shadows");
    data_file *probe = data_open(name, "rb");
    if (probe) {
        data_close(probe);
        data_image img;
        memset(&img, 0, sizeof img);
        if (!data_image_load(name, &img)) {
            track_message("Error reading shadows");
            return 0;
        }
        if (img.width != terrain.size || img.height != terrain.size || img.bits != 8 ||
            img.channels < 1 || img.channels > 4) {
            track_log("Bad shadow dimensions (%dx%d)\n", img.width, img.height);
            data_image_free(&img);
            return 0;
        }
        const uint8_t *p = (const uint8_t *)img.pixels;
        size_t cells = (size_t)terrain.size * terrain.size;
        for (size_t i = 0; i < cells; i++)
            terrain.light_map[i] = (uint8_t)(255 - p[i * img.channels]);
        data_image_free(&img);
    }
    int cells_side = terrain.size - 1;
    if (track_render.light_texture_create)
        terrain.light_texture = track_render.light_texture_create(terrain.light_map, terrain.size,
                                                                  cells_side, cells_side);
    track_status_done("Loading shadows");
    if (track_verbose && track_render.texture_memory)
        track_log("%lu bytes texture memory used before ground tiles loaded\n",
                  track_render.texture_memory());
    return 1;
}

static int terrain_read_tiles(const char *dir) {
    char name[TERRAIN_NAME_SIZE];
    track_status_begin("Loading tileinfo");
    snprintf(name, sizeof name, "%s/tileinfo", dir);
    data_file *f = data_open(name, "rb");
    int ok;
    if (f) {
        ok = tiles_load_tileinfo(f);
        data_close(f);
        if (!ok) track_message("Error reading tileinfo");
    } else {
        snprintf(name, sizeof name, "%s/texturelist", dir);
        f = data_open(name, "rb");
        if (!f) {
            track_message("Can't open '%.950s'", name);
            return 0;
        }
        ok = tiles_load_texturelist(f);
        data_close(f);
        if (!ok) track_message("Error reading textures");
    }
    if (!ok) return 0;
    track_status_done("Loading tileinfo");
    if (track_verbose && track_render.texture_memory)
        track_log("%lu bytes texture memory used after ground tiles loaded\n",
                  track_render.texture_memory());

    track_status_begin("Loading tilemap");
    snprintf(name, sizeof name, "%s/tilemap", dir);
    f = data_open(name, "rb");
    if (!f) {
        track_message("Can't open '%.950s'", name);
        return 0;
    }
    ok = tilemap_load(f);
    data_close(f);
    if (!ok) return 0;
    track_status_done("Loading tilemap");
    return 1;
}

// Three T x T textures holding the test pattern until the renderer draws into them.
static void terrain_detail_textures(terrain_detail_level *level, const uint8_t *pattern, int t) {
    for (int i = 0; i < 3; i++)
        level->textures[i] =
            track_render.rgb_texture_create ? track_render.rgb_texture_create(pattern, t) : 0;
}

static uint8_t *terrain_test_pattern(int t) {
    uint8_t *rgb = (uint8_t *)zv_alloc((size_t)t * t * 3);
    int square = t / 8 > 0 ? t / 8 : 1;
    for (int y = 0; y < t; y++)
        for (int x = 0; x < t; x++) {
            uint8_t *p = rgb + ((size_t)y * t + x) * 3;
            if (x == 0 || y == 0 || x == t - 1 || y == t - 1) {
                p[0] = 0;
                p[1] = 0;
                p[2] = 255;
            } else {
                uint8_t v = (((x / square) + (y / square)) & 1) ? 255 : 0;
                p[0] = p[1] = p[2] = v;
            }
        }
    return rgb;
}

void terrain_make_detail_levels(void) {
    int k =
        terrain_texture_detail < 0 ? 0 : (terrain_texture_detail > 5 ? 5 : terrain_texture_detail);
    int t = 128 << k;
    terrain.detail_texture_size = t;
    int c0, c1;
    float s = terrain.spacing;
    if (s < 1) {
        c0 = 128;
        while ((float)c0 * s < 64 && c0 < (1 << 24))
            c0 *= 2;
        c1 = 4 * c0;
    } else {
        c0 = 64;
        c1 = 256;
    }
    int coverage[3], levels = 0;
    if (c0 < terrain.size) coverage[levels++] = c0;
    if (c1 < terrain.size) coverage[levels++] = c1;
    coverage[levels++] = terrain.size - 1;
    uint8_t *pattern = track_render.rgb_texture_create ? terrain_test_pattern(t) : nullptr;
    for (int l = 0; l < levels; l++) {
        terrain.detail[l].coverage = coverage[l];
        terrain_detail_textures(&terrain.detail[l], pattern, t);
        track_log("Detail level %d is %dx%d covering %dx%d height elements\n", l, t, t, coverage[l],
                  coverage[l]);
    }
    terrain.detail[TERRAIN_DETAIL_SPARE].coverage = 0;
    terrain_detail_textures(&terrain.detail[TERRAIN_DETAIL_SPARE], pattern, t);
    zv_free(pattern);
}

int terrain_load(const char *dir) {
    terrain_free();
    track_status_begin("Loading terrain");
    if (!terrain_read_heightfield(dir) || !terrain_read_shadows(dir) || !terrain_read_tiles(dir)) {
        terrain_free();
        return 0;
    }
    track_status_begin("Creating terrain texture pyramid");
    terrain_make_detail_levels();
    track_status_done("Creating terrain texture pyramid");
    if (track_steps.decals_load) track_steps.decals_load(dir);
    return 1;
}
