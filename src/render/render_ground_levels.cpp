// Keeping the ground texture levels centred on the camera: a level that the camera has left by
// more than a quarter of its coverage is redrawn into the spare texture set over three frames
// (tiles, light map, base), then the two sets change places.
#include "render/render_ground_levels.h"

#include "core/core_message.h"
#include "render/render_ground.h"
#include "render/zvgl.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

ground_redraw_state ground_redraw = {GROUND_NO_REDRAW, 0, 0, 0, {0, 0, 0, 0}};
int (*ground_level_step)(int slot, int step, int origin_u, int origin_v) = ground_level_draw_step;

// Terrain detail slots in use, finest first.
static int level_slots(int *slots)
{
    int n = 0;
    for (int s = 0; s < TERRAIN_DETAIL_SPARE && n < GROUND_LEVELS_MAX; s++)
        if (terrain.detail[s].coverage > 0)
            slots[n++] = s;
    return n;
}

void ground_levels_invalidate(void)
{
    for (int l = 0; l < GROUND_LEVELS_MAX; l++)
        ground_redraw.valid[l] = 0;
    ground_redraw.level = GROUND_NO_REDRAW;
}

int ground_levels_update(float g, float h)
{
    int slots[GROUND_LEVELS_MAX];
    int count = level_slots(slots);
    if (ground_redraw.level == GROUND_NO_REDRAW) {
        for (int l = count - 1; l >= 0; l--) {
            int c = terrain.detail[slots[l]].coverage;
            int u = ground_origins[l].origin_u, v = ground_origins[l].origin_v;
            if (ground_redraw.valid[l] && !mesh_level_needs_redraw(c, u, v, g, h))
                continue;
            int nu = mesh_level_origin(c, g, terrain.size), nv = mesh_level_origin(c, h, terrain.size);
            if (nu == u && nv == v && ground_redraw.valid[l])
                continue;
            ground_redraw.level = l;
            ground_redraw.origin_u = nu;
            ground_redraw.origin_v = nv;
            ground_redraw.step = 1;
            break;
        }
        if (ground_redraw.level == GROUND_NO_REDRAW)
            return 0;
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

int ground_level_draw_step(int slot, int step, int origin_u, int origin_v)
{
    const terrain_detail_level *d = &terrain.detail[slot];
    unsigned target = terrain.detail[TERRAIN_DETAIL_SPARE].textures[step - 1];
    int t = terrain.detail_texture_size;
    if (!target || t <= 0 || d->coverage <= 0)
        return 0;
    if (!framebuffer)
        zvglGenFramebuffers(1, &framebuffer);
    zvglBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    GLenum status = zvglCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        core_message_add("Framebuffer error %x", (unsigned)status);
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
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglColor4f(1, 1, 1, 1);

    auto quad = [](float x0, float y0, float x1, float y1) {
        zvglBegin(GL_TRIANGLE_STRIP);
        zvglTexCoord2f(0, 0);
        zvglVertex2f(x0, y0);
        zvglTexCoord2f(1, 0);
        zvglVertex2f(x1, y0);
        zvglTexCoord2f(0, 1);
        zvglVertex2f(x0, y1);
        zvglTexCoord2f(1, 1);
        zvglVertex2f(x1, y1);
        zvglEnd();
    };
    if (step == 1 && terrain.tile_map) {
        // Tiles are two cells wide; one quad per tile of the square, with its ground's texture.
        int tiles = 1 << terrain.size_exp;
        int t0 = origin_u / 2, t1 = (origin_u + d->coverage + 1) / 2;
        int r0 = origin_v / 2, r1 = (origin_v + d->coverage + 1) / 2;
        for (int r = r0; r < r1 && r < tiles; r++)
            for (int c = t0; c < t1 && c < tiles; c++) {
                if (r < 0 || c < 0)
                    continue;
                unsigned tex = tiles_texture(terrain.tile_map[c + r * tiles]);
                zvglBindTexture(GL_TEXTURE_2D, tex ? tex : zvglWhiteTexture());
                quad((float)(c * 2), (float)(r * 2), (float)(c * 2 + 2), (float)(r * 2 + 2));
            }
    } else if (step == 2) {
        zvglBindTexture(GL_TEXTURE_2D,
                        terrain.light_texture ? terrain.light_texture : zvglWhiteTexture());
        float s = (float)(terrain.size - 1);
        quad(0, 0, s, s); // the light map spans the whole grid
    } else {
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
        quad((float)origin_u, (float)origin_v, (float)(origin_u + d->coverage),
             (float)(origin_v + d->coverage));
    }
    zvglEnable(GL_DEPTH_TEST);
    zvglMatrixMode(GL_PROJECTION);
    zvglPopMatrix();
    zvglMatrixMode(GL_MODELVIEW);
    zvglPopMatrix();
    zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
    zvglViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    return 1;
}
