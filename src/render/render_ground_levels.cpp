// Keeping the ground texture levels centred on the camera: a level that the camera has left by
// more than a quarter of its coverage is redrawn into the spare texture set over three frames
// (tiles, light map, base), then the two sets change places.
#include "render/render_ground_levels.h"

#include <cstddef>
#include <cmath>
#include <cstdint>

#include "base/zv_message.h"
#include "render/render_ground.h"
#include "render/render_ground_textures.h"
#include "render/zvgl.h"
#include "track/track_lighting.h"
#include "track/track_load.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"
#include "track/track_objects.h"
#include "track/track_tiles.h"

ground_redraw_state ground_redraw = {GROUND_NO_REDRAW, 0, 0, 0, {0, 0, 0, 0}, 0};
int (*ground_level_step)(int slot, int step, int origin_u, int origin_v) = ground_level_draw_step;

// Terrain detail slots in use, finest first.
static int level_slots(int *slots) {
    int n = 0;
    for (int s = 0; s < TERRAIN_DETAIL_SPARE && n < GROUND_LEVELS_MAX; s++)
        if (terrain.detail[s].coverage > 0) slots[n++] = s;
    return n;
}

void ground_levels_invalidate(void) {
    for (int l = 0; l < GROUND_LEVELS_MAX; l++)
        ground_redraw.valid[l] = 0;
    ground_redraw.level = GROUND_NO_REDRAW;
}

// A new load brings new level textures holding the test pattern, even when it is the same
// track seen from the same place (a restart online): what was drawn before is gone.
static void forget_old_track(void) {
    if (ground_redraw.track_load == track_loaded.load_count) return;
    ground_levels_invalidate();
    ground_redraw.track_load = track_loaded.load_count;
}

int ground_levels_none_drawn(void) {
    forget_old_track();
    for (int l = 0; l < GROUND_LEVELS_MAX; l++)
        if (ground_redraw.valid[l]) return 0;
    return 1;
}

int ground_levels_update(float g, float h) {
    forget_old_track();
    int slots[GROUND_LEVELS_MAX];
    int count = level_slots(slots);
    if (ground_redraw.level == GROUND_NO_REDRAW) {
        for (int l = count - 1; l >= 0; l--) {
            int c = terrain.detail[slots[l]].coverage;
            int u = ground_origins[l].origin_u, v = ground_origins[l].origin_v;
            if (ground_redraw.valid[l] && !mesh_level_needs_redraw(c, u, v, g, h)) continue;
            int nu = mesh_level_origin(c, g, terrain.size),
                nv = mesh_level_origin(c, h, terrain.size);
            if (nu == u && nv == v && ground_redraw.valid[l]) continue;
            ground_redraw.level = l;
            ground_redraw.origin_u = nu;
            ground_redraw.origin_v = nv;
            ground_redraw.step = 1;
            break;
        }
        if (ground_redraw.level == GROUND_NO_REDRAW) return 0;
    }
    int l = ground_redraw.level;
    if (l >= count) { // the levels changed under a redraw
        ground_redraw.level = GROUND_NO_REDRAW;
        return 0;
    }
    if (ground_level_step)
        ground_level_step(slots[l], ground_redraw.step, ground_redraw.origin_u,
                          ground_redraw.origin_v);
    if (++ground_redraw.step > 3) {
        terrain_detail_level *d = &terrain.detail[slots[l]];
        terrain_detail_level *spare = &terrain.detail[TERRAIN_DETAIL_SPARE];
        for (int t = 0; t < 3; t++) {
            unsigned x = d->textures[t];
            d->textures[t] = spare->textures[t];
            spare->textures[t] = x;
        }
        ground_origins[l].origin_u = ground_redraw.origin_u;
        ground_origins[l].origin_v = ground_redraw.origin_v;
        ground_redraw.valid[l] = 1;
        ground_redraw.level = GROUND_NO_REDRAW;
    }
    return 1;
}

static unsigned framebuffer;

void ground_levels_free(void) {
    if (framebuffer) zvglDeleteFramebuffers(1, &framebuffer);
    framebuffer = 0;
    ground_levels_invalidate();
}

// A square of the level with texture corners (s0, t0) .. (s1, t1).
static void quad(float x0, float y0, float x1, float y1, float s0, float t0, float s1, float t1) {
    zvglTexCoord2f(s0, t0);
    zvglVertex2f(x0, y0);
    zvglTexCoord2f(s1, t0);
    zvglVertex2f(x1, y0);
    zvglTexCoord2f(s1, t1);
    zvglVertex2f(x1, y1);
    zvglTexCoord2f(s0, t1);
    zvglVertex2f(x0, y1);
}

// How the tiles of one pass take their texture: grid position to texture coordinates, and the
// pass's share of the cover.
struct tile_mapping {
    float su, sv, tu, tv;
    float alpha;
};
static tile_mapping tile_pass;

// One corner of a tile quad: grid position, texture coordinates from it, and its cover.
static void tile_vertex(float x, float y, float alpha) {
    const tile_mapping &m = tile_pass;
    zvglColor4f(1, 1, 1, alpha * m.alpha);
    zvglTexCoord2f(x * m.su + y * m.sv, x * m.tu + y * m.tv);
    zvglVertex2f(x, y);
}

static void tile_quad(float x0, float y0, float x1, float y1, float a00, float a10, float a11,
                      float a01) {
    tile_vertex(x0, y0, a00);
    tile_vertex(x1, y0, a10);
    tile_vertex(x1, y1, a11);
    tile_vertex(x0, y1, a01);
}

// A run of equal tiles: the run itself, then a rim that fades out over GROUND_TILE_FEATHER cells
// around it, so a border between two ground types is a soft blend instead of a staircase of
// tile squares. A rim over tiles of the same type is invisible: the texture is grid-aligned.
static void tile_run(float x0, float y0, float x1, float y1, int rims) {
    const float f = (float)GROUND_TILE_FEATHER;
    tile_quad(x0, y0, x1, y1, 1, 1, 1, 1);
    if (!rims) return;
    tile_quad(x0 - f, y0, x0, y1, 0, 1, 1, 0);     // left
    tile_quad(x1, y0, x1 + f, y1, 1, 0, 0, 1);     // right
    tile_quad(x0, y0 - f, x1, y0, 0, 0, 1, 1);     // below
    tile_quad(x0, y1, x1, y1 + f, 1, 1, 0, 0);     // above
    tile_quad(x0 - f, y0 - f, x0, y0, 0, 0, 1, 0); // corners
    tile_quad(x1, y0 - f, x1 + f, y0, 0, 0, 0, 1);
    tile_quad(x1, y1, x1 + f, y1 + f, 1, 0, 0, 0);
    tile_quad(x0 - f, y1, x0, y1 + f, 0, 1, 0, 0);
}

// Step 1: the tiles of the square, one batch per ground type, a run of equal tiles along a row
// as one quad with its rim.
static void draw_tiles(int origin_u, int origin_v, int coverage) {
    int tiles = 1 << terrain.size_exp;
    // One tile more on each side: their rims reach into the square.
    int c0 = origin_u / 2 - 1, c1 = (origin_u + coverage + 1) / 2 + 1;
    int r0 = origin_v / 2 - 1, r1 = (origin_v + coverage + 1) / 2 + 1;
    c0 = c0 < 0 ? 0 : c0;
    r0 = r0 < 0 ? 0 : r0;
    c1 = c1 > tiles ? tiles : c1;
    r1 = r1 > tiles ? tiles : r1;
    uint8_t present[256] = {};
    for (int r = r0; r < r1; r++)
        for (int c = c0; c < c1; c++)
            present[terrain.tile_map[c + r * tiles]] = 1;
    // Tile textures repeat every GROUND_TILE_REPEAT tiles, aligned to the grid, so neighbouring
    // tiles of one type continue each other's picture. A second copy, turned and at another
    // scale, is laid over the first at half cover so that the repeats do not line up in rows.
    const float k = 1.0f / (2.0f * (float)GROUND_TILE_REPEAT), k2 = k * 0.7071f;
    const float cs = 0.8660254f * k2, sn = 0.5f * k2; // 30 degrees
    const tile_mapping tile_passes[2] = {{k, 0, 0, k, 1.0f}, {cs, -sn, sn, cs, 0.5f}};
    // Rims pay only where a tile spans a few texels; on coarse levels a border is under a texel.
    int rims = terrain.detail_texture_size >= coverage; // texels per tile >= 2
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int type = 0; type < 256; type++) {
        if (!present[type]) continue;
        unsigned tex = tiles_texture(type);
        zvglBindTexture(GL_TEXTURE_2D, tex ? tex : zvglWhiteTexture());
        if (tex) {
            zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        }
        for (int pass = 0; pass < 2; pass++) {
            tile_pass = tile_passes[pass];
            zvglBegin(GL_QUADS);
            for (int r = r0; r < r1; r++) {
                const uint8_t *row = terrain.tile_map + (size_t)r * tiles;
                for (int c = c0; c < c1;) {
                    if (row[c] != type) {
                        c++;
                        continue;
                    }
                    int end = c + 1;
                    while (end < c1 && row[end] == type)
                        end++;
                    tile_run((float)(c * 2), (float)(r * 2), (float)(end * 2), (float)(r * 2 + 2),
                             rims);
                    c = end;
                }
            }
            zvglEnd();
        }
    }
    zvglDisable(GL_BLEND);
    zvglColor4f(1, 1, 1, 1);
}

// Step 2: the light map into the green channel with a flat normal in red and blue, through
// "terrain_normals"; the light texture is addressed by grid position on unit 1's matrix.
static void draw_light(int origin_u, int origin_v, int coverage) {
    float cells = (float)(terrain.size - 1);
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN_NORMALS);
    zvglActiveTexture(GL_TEXTURE1);
    zvglBindTexture(GL_TEXTURE_2D,
                    terrain.light_texture ? terrain.light_texture : zvglWhiteTexture());
    zvglMatrixMode(GL_TEXTURE);
    zvglPushMatrix();
    zvglLoadIdentity();
    zvglScalef(1.0f / cells, 1.0f / cells, 1);
    zvglTranslatef(0.5f, 0.5f, 0);
    zvglActiveTexture(GL_TEXTURE0);
    zvglBindTexture(GL_TEXTURE_2D, zvglFlatNormalTexture());
    zvglBegin(GL_QUADS);
    quad((float)origin_u, (float)origin_v, (float)(origin_u + coverage),
         (float)(origin_v + coverage), 0, 0, 1, 1);
    zvglEnd();
    zvglActiveTexture(GL_TEXTURE1);
    zvglMatrixMode(GL_TEXTURE);
    zvglPopMatrix();
    zvglBindTexture(GL_TEXTURE_2D, 0);
    zvglActiveTexture(GL_TEXTURE0);
    zvglMatrixMode(GL_MODELVIEW);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
}

long ground_decals_drawn;

// The decals over the square in the step's picture (1), normal map (2) or specular map (3),
// blended over what the step drew. Hidden decals (console) are left out.
static void draw_decals(int step, int origin_u, int origin_v, int coverage) {
    if (objects.decals_hidden || objects.decal_count <= 0 || !(terrain.spacing > 0)) return;
    float inv = 1.0f / terrain.spacing;
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (int i = 0; i < objects.decal_count; i++) {
        const track_decal &d = objects.decals[i];
        unsigned tex = step == 1 ? d.tex : step == 2 ? d.norm : d.spec;
        if (!tex) continue;
        float hw = d.size / 2, hl = d.size * d.aspect / 2;
        float ax = d.c * hw, az = -d.s * hw, bx = d.s * hl, bz = d.c * hl;
        float reach = (fabsf(ax) + fabsf(bx) + fabsf(az) + fabsf(bz)) * inv;
        float u = d.x * inv, v = d.z * inv;
        if (u + reach < origin_u || u - reach > origin_u + coverage || v + reach < origin_v ||
            v - reach > origin_v + coverage)
            continue;
        zvglBindTexture(GL_TEXTURE_2D, tex);
        ground_decals_drawn++;
        zvglBegin(GL_QUADS);
        zvglTexCoord2f(0, 0);
        zvglVertex2f((d.x - ax - bx) * inv, (d.z - az - bz) * inv);
        zvglTexCoord2f(1, 0);
        zvglVertex2f((d.x + ax - bx) * inv, (d.z + az - bz) * inv);
        zvglTexCoord2f(1, 1);
        zvglVertex2f((d.x + ax + bx) * inv, (d.z + az + bz) * inv);
        zvglTexCoord2f(0, 1);
        zvglVertex2f((d.x - ax + bx) * inv, (d.z - az + bz) * inv);
        zvglEnd();
    }
    zvglDisable(GL_BLEND);
}

int ground_level_draw_step(int slot, int step, int origin_u, int origin_v) {
    const terrain_detail_level *d = &terrain.detail[slot];
    if (step < 1 || step > 3) return 0;
    unsigned target = terrain.detail[TERRAIN_DETAIL_SPARE].textures[step - 1];
    int t = terrain.detail_texture_size;
    if (!target || t <= 0 || d->coverage <= 0) return 0;
    if (!framebuffer) zvglGenFramebuffers(1, &framebuffer);
    zvglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    GLenum status = zvglCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        zv_message_add("Framebuffer error %x", (unsigned)status);
        zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
        return 0;
    }
    GLint viewport[4];
    zvglGetIntegerv(GL_VIEWPORT, viewport);
    zvglViewport(0, 0, t, t);
    zvglMatrixMode(GL_PROJECTION);
    zvglPushMatrix();
    zvglLoadIdentity();
    // Grid units: the level's square fills the texture.
    zvglOrtho(origin_u, origin_u + d->coverage, origin_v, origin_v + d->coverage, -1, 1);
    zvglMatrixMode(GL_MODELVIEW);
    zvglPushMatrix();
    zvglLoadIdentity();
    zvglDisable(GL_DEPTH_TEST);
    zvglDisable(GL_BLEND);
    zvglDisable(GL_CULL_FACE);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglSetFogDensity(0);
    zvglActiveTexture(GL_TEXTURE0);
    zvglColor4f(1, 1, 1, 1);

    if (step == 1) {
        if (terrain.tile_map) draw_tiles(origin_u, origin_v, d->coverage);
    } else if (step == 2) {
        draw_light(origin_u, origin_v, d->coverage);
    } else {
        // The base of the specular map: red is the factor, green the exponent / 128.
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
        zvglColor4f(GROUND_SPECULAR_FACTOR, GROUND_SPECULAR_EXPONENT, 0, 1);
        zvglBegin(GL_QUADS);
        quad((float)origin_u, (float)origin_v, (float)(origin_u + d->coverage),
             (float)(origin_v + d->coverage), 0, 0, 1, 1);
        zvglEnd();
        zvglColor4f(1, 1, 1, 1);
    }
    draw_decals(step, origin_u, origin_v, d->coverage);
    zvglSetFogDensity(lighting.fog_density);
    zvglEnable(GL_DEPTH_TEST);
    zvglMatrixMode(GL_PROJECTION);
    zvglPopMatrix();
    zvglMatrixMode(GL_MODELVIEW);
    zvglPopMatrix();
    zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
    zvglViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    // The mesh samples the level from afar too: its smaller levels follow the new picture.
    zvglBindTexture(GL_TEXTURE_2D, target);
    zvglGenerateMipmap(GL_TEXTURE_2D);
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return 1;
}
