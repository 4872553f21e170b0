// The terrain record, its in-memory construction, the height and normal queries and the map of
// changed blocks.
#include "track/track_terrain.h"

#include <cmath>
#include <cstring>

#include "base/zv_alloc.h"
#include "track/track_hooks.h"
#include "track/track_tiles.h"

terrain_state terrain;

int terrain_present(void) {
    return terrain.heights != nullptr;
}

void terrain_free(void) {
    tiles_free();
    if (track_render.texture_delete) {
        if (terrain.height_texture) track_render.texture_delete(terrain.height_texture);
        if (terrain.light_texture) track_render.texture_delete(terrain.light_texture);
        for (int l = 0; l < TERRAIN_DETAIL_SLOTS; l++)
            for (int t = 0; t < 3; t++)
                if (terrain.detail[l].textures[t])
                    track_render.texture_delete(terrain.detail[l].textures[t]);
    }
    zv_free(terrain.heights);
    zv_free(terrain.loaded_heights);
    zv_free(terrain.light_map);
    zv_free(terrain.tile_map);
    zv_free(terrain.changed);
    memset(&terrain, 0, sizeof terrain);
}

// Sets the size fields and allocates the tables (zeroed). Returns 0 for bad parameters.
int terrain_alloc(int n, float spacing) {
    if (n < TERRAIN_MIN_EXP || n > TERRAIN_MAX_EXP || !(spacing >= TERRAIN_MIN_SPACING) ||
        !(spacing <= TERRAIN_MAX_SPACING))
        return 0;
    terrain_free();
    terrain.size_exp = n;
    terrain.size = (1 << (n + 1)) + 1;
    terrain.spacing = spacing;
    terrain.inv_spacing = 1.0f / spacing;
    terrain.extent = spacing * (float)(1 << (n + 1));
    terrain.double_spacing = 2.0f * spacing;
    size_t cells = (size_t)terrain.size * (size_t)terrain.size;
    terrain.heights = (float *)zv_alloc_zeroed(cells, sizeof(float));
    terrain.loaded_heights = (float *)zv_alloc_zeroed(cells, sizeof(float));
    terrain.light_map = (uint8_t *)zv_alloc_zeroed(cells, 1);
    size_t tiles_side = (size_t)1 << n;
    terrain.tile_map = (uint8_t *)zv_alloc_zeroed(tiles_side * tiles_side, 1);
    terrain.blocks = (terrain.size - 1) / TERRAIN_BLOCK;
    if (terrain.blocks < 1) terrain.blocks = 1;
    terrain.changed =
        (uint8_t *)zv_alloc_zeroed(((size_t)terrain.blocks * terrain.blocks + 7) / 8, 1);
    return 1;
}

void terrain_update_range(void) {
    size_t cells = (size_t)terrain.size * (size_t)terrain.size;
    if (!terrain.heights || cells == 0) return;
    float lo = terrain.heights[0], hi = terrain.heights[0];
    for (size_t i = 1; i < cells; i++) {
        float h = terrain.heights[i];
        if (h < lo) lo = h;
        if (h > hi) hi = h;
    }
    terrain.bottom = lo;
    terrain.top = hi;
}

int terrain_create(int n, float spacing, const float *heights) {
    if (!terrain_alloc(n, spacing)) return 0;
    size_t cells = (size_t)terrain.size * (size_t)terrain.size;
    if (heights) {
        for (size_t i = 0; i < cells; i++)
            if (!(std::fabs(heights[i]) <= TERRAIN_MAX_HEIGHT)) {
                terrain_free();
                return 0;
            }
        memcpy(terrain.heights, heights, cells * sizeof(float));
    }
    memcpy(terrain.loaded_heights, terrain.heights, cells * sizeof(float));
    terrain_update_range();
    tiles_set_default_table();
    return 1;
}

// Grid coordinate of a world coordinate. Anything outside [-1, size] gives the same clamped
// corners as the edge, so clamping there keeps the int conversion in range; NaN goes to 0.
static inline double terrain_grid_coord(float v) {
    double u = (double)v / (double)terrain.spacing;
    if (!(u >= -1.0)) return u < -1.0 ? -1.0 : 0.0;
    double limit = (double)terrain.size;
    return u > limit ? limit : u;
}

static inline int terrain_clamp_index(int i) {
    int last = terrain.size - 1;
    return i < 0 ? 0 : (i > last ? last : i);
}

// The four corner heights of the cell under (x, z) and the position inside it.
struct terrain_cell {
    double h00, h10, h01, h11; // H(i,k), H(i+1,k), H(i,k+1), H(i+1,k+1)
    double fu, fw;
    int even;
};

static inline int terrain_cell_at(float x, float z, terrain_cell *c) {
    if (!terrain.heights) return 0;
    double u = terrain_grid_coord(x);
    double w = terrain_grid_coord(z);
    double fi = std::floor(u), fk = std::floor(w);
    int i = (int)fi, k = (int)fk;
    c->fu = u - fi;
    c->fw = w - fk;
    c->even = ((i + k) & 1) == 0;
    int i0 = terrain_clamp_index(i), i1 = terrain_clamp_index(i + 1);
    int k0 = terrain_clamp_index(k), k1 = terrain_clamp_index(k + 1);
    const float *h = terrain.heights;
    int n = terrain.size;
    c->h00 = h[i0 + k0 * n];
    c->h10 = h[i1 + k0 * n];
    c->h01 = h[i0 + k1 * n];
    c->h11 = h[i1 + k1 * n];
    return 1;
}

float terrain_height(float x, float z) {
    terrain_cell c;
    if (!terrain_cell_at(x, z, &c)) return 0.0f;
    double fu = c.fu, fw = c.fw, h;
    if (c.even) {
        if (fw <= fu)
            h = c.h10 + (1 - fu) * (c.h00 - c.h10) + fw * (c.h11 - c.h10);
        else
            h = c.h01 + fu * (c.h11 - c.h01) + (1 - fw) * (c.h00 - c.h01);
    } else {
        if (fu + fw <= 1)
            h = c.h00 + fu * (c.h10 - c.h00) + fw * (c.h01 - c.h00);
        else
            h = c.h11 + (1 - fu) * (c.h01 - c.h11) + (1 - fw) * (c.h10 - c.h11);
    }
    return (float)h;
}

void terrain_normal(float x, float z, float out[3]) {
    terrain_cell c;
    if (!terrain_cell_at(x, z, &c)) {
        out[0] = 0.0f;
        out[1] = 1.0f;
        out[2] = 0.0f;
        return;
    }
    // Height differences along one cell in x and z; the slopes are these over s, and the
    // normal scaled to y = s^2 is (-dx s, s^2, -dz s).
    double dx, dz;
    if (c.even) {
        if (c.fw <= c.fu) {
            dx = c.h10 - c.h00;
            dz = c.h11 - c.h10;
        } else {
            dx = c.h11 - c.h01;
            dz = c.h01 - c.h00;
        }
    } else {
        if (c.fu + c.fw <= 1) {
            dx = c.h10 - c.h00;
            dz = c.h01 - c.h00;
        } else {
            dx = c.h11 - c.h01;
            dz = c.h11 - c.h10;
        }
    }
    double s = terrain.spacing;
    out[0] = (float)(-dx * s);
    out[1] = (float)(s * s);
    out[2] = (float)(-dz * s);
}

void terrain_mark_changed(int i0, int k0, int i1, int k1) {
    if (!terrain.changed) return;
    i0 = terrain_clamp_index(i0);
    i1 = terrain_clamp_index(i1);
    k0 = terrain_clamp_index(k0);
    k1 = terrain_clamp_index(k1);
    int last = terrain.blocks - 1;
    int b0 = i0 / TERRAIN_BLOCK, b1 = i1 / TERRAIN_BLOCK;
    int c0 = k0 / TERRAIN_BLOCK, c1 = k1 / TERRAIN_BLOCK;
    if (b1 < b0) {
        int t = b0;
        b0 = b1;
        b1 = t;
    }
    if (c1 < c0) {
        int t = c0;
        c0 = c1;
        c1 = t;
    }
    if (b1 > last) b1 = last;
    if (c1 > last) c1 = last;
    if (b0 > last) b0 = last;
    if (c0 > last) c0 = last;
    for (int bk = c0; bk <= c1; bk++)
        for (int bi = b0; bi <= b1; bi++) {
            int bit = bi + bk * terrain.blocks;
            terrain.changed[bit >> 3] |= (uint8_t)(1u << (bit & 7));
        }
    terrain.change_counter++;
}

int terrain_block_changed(int bi, int bk) {
    if (!terrain.changed || bi < 0 || bk < 0 || bi >= terrain.blocks || bk >= terrain.blocks)
        return 0;
    int bit = bi + bk * terrain.blocks;
    return (terrain.changed[bit >> 3] >> (bit & 7)) & 1;
}

int terrain_sync(int budget) {
    if (!terrain.changed || budget <= 0) return 0;
    int total = terrain.blocks * terrain.blocks;
    int done = 0;
    int cells = terrain.size - 1; // the texture leaves out the last row and column
    for (int step = 0; step < total && done < budget; step++) {
        int bit = terrain.sync_cursor;
        terrain.sync_cursor = (terrain.sync_cursor + 1) % total;
        if (!((terrain.changed[bit >> 3] >> (bit & 7)) & 1)) continue;
        terrain.changed[bit >> 3] &= (uint8_t) ~(1u << (bit & 7));
        done++;
        if (terrain.height_texture && track_render.height_texture_update) {
            int x = (bit % terrain.blocks) * TERRAIN_BLOCK;
            int y = (bit / terrain.blocks) * TERRAIN_BLOCK;
            int w = cells - x < TERRAIN_BLOCK ? cells - x : TERRAIN_BLOCK;
            int h = cells - y < TERRAIN_BLOCK ? cells - y : TERRAIN_BLOCK;
            if (w > 0 && h > 0)
                track_render.height_texture_update(terrain.height_texture,
                                                   terrain.heights + x + (size_t)y * terrain.size,
                                                   terrain.size, x, y, w, h);
        }
    }
    return done;
}

void terrain_sync_all(void) {
    if (terrain.changed) terrain_sync(terrain.blocks * terrain.blocks);
}
