// Choosing the ground mesh. Node (k, i, j) covers 2^(n+1-k) cells around the grid element
// ((2i + 1) 2^(n-k), (2j + 1) 2^(n-k)); a node is drawn as a fan around that centre. The error
// pyramid says how near the camera must come before a node is refined; neighbours' errors are
// folded in and refinement is closed over edge neighbours' parents, so fans never leave cracks.
#include "track/track_mesh.h"

#include <cmath>
#include <cstring>

#include "base/zv_alloc.h"
#include "track/track_terrain.h"

mesh_state ground_mesh;

void mesh_free(void) {
    zv_free(ground_mesh.errors);
    zv_free(ground_mesh.refined);
    memset(&ground_mesh, 0, sizeof ground_mesh);
}

static float height_at(int x, int z) {
    return terrain.heights[x + z * terrain.size];
}

// Largest vertical distance between the heights inside a node and its full fan; returns the
// elements visited through *cost.
static float node_own_error(int k, int i, int j, int *cost) {
    int hs = 1 << (terrain.size_exp - k);
    int cx = (2 * i + 1) * hs, cz = (2 * j + 1) * hs;
    float hc = height_at(cx, cz);
    float d = 0;
    for (int dz = -hs; dz <= hs; dz++) {
        for (int dx = -hs; dx <= hs; dx++) {
            int sx = dx < 0 ? -1 : 1, sz = dz < 0 ? -1 : 1;
            float a = (float)(dx * sx) / (float)hs, b = (float)(dz * sz) / (float)hs;
            float hmx = height_at(cx + sx * hs, cz), hmz = height_at(cx, cz + sz * hs);
            float hcorner = height_at(cx + sx * hs, cz + sz * hs);
            // Each quadrant is split along the diagonal from the centre to its corner.
            float fan = a >= b ? hc + a * (hmx - hc) + b * (hcorner - hmx)
                               : hc + b * (hmz - hc) + a * (hcorner - hmz);
            float e = std::fabs(height_at(cx + dx, cz + dz) - fan);
            if (e > d) d = e;
        }
    }
    *cost += (2 * hs + 1) * (2 * hs + 1);
    return d;
}

static float node_error(int k, int i, int j, float tolerance, int *cost) {
    int n = terrain.size_exp;
    float side = terrain.extent * std::ldexp(1.0f, -k);
    float own = node_own_error(k, i, j, cost) / tolerance + 0.70710678f * side;
    float e = own * own;
    if (k < n) {
        int m = 1 << (k + 1);
        const float *child = ground_mesh.errors + mesh_node_index(k + 1, 0, 0);
        static const int around[8][2] = {{-1, 0}, {-1, 1}, {0, 2},  {1, 2},
                                         {2, 1},  {2, 0},  {1, -1}, {0, -1}};
        float worst = 0;
        for (const auto &o : around) {
            int r = 2 * i + o[0], c = 2 * j + o[1];
            if (r >= 0 && r < m && c >= 0 && c < m && child[c * m + r] > worst)
                worst = child[c * m + r];
        }
        float near = std::sqrt(worst) + 1.5826829301659018f * side * 0.5f;
        e = std::fmax(e, near * near);
        for (int q = 0; q < 4; q++) {
            float ce = child[(2 * j + (q >> 1)) * m + 2 * i + (q & 1)];
            e = std::fmax(e, ce);
        }
    }
    return e;
}

// The pyramid belongs to one height grid; a new track starts it over.
static const float *mesh_heights;

static int mesh_alloc(void) {
    int n = terrain.size_exp;
    if (ground_mesh.errors && ground_mesh.n == n && mesh_heights == terrain.heights) return 1;
    mesh_heights = terrain.heights;
    mesh_free();
    ground_mesh.n = n;
    ground_mesh.node_count = mesh_node_index(n + 1, 0, 0);
    ground_mesh.errors = (float *)zv_alloc_zeroed((size_t)ground_mesh.node_count, sizeof(float));
    ground_mesh.refined = (uint8_t *)zv_alloc_zeroed((size_t)ground_mesh.node_count, 1);
    return 1;
}

int mesh_update_errors(float ground_detail, int budget) {
    if (!terrain_present()) return 0;
    mesh_alloc();
    // Detail 0 (or nonsense) would divide by zero: the tolerance stays finite.
    if (!(ground_detail >= 0.001f) || !std::isfinite(ground_detail)) ground_detail = 0.001f;
    float tolerance = 0.125f / ground_detail;
    if (ground_mesh.valid && ground_mesh.built_for == terrain.change_counter &&
        ground_mesh.tolerance == tolerance)
        return 1;
    if (!ground_mesh.pending || ground_mesh.pending_for != terrain.change_counter ||
        ground_mesh.tolerance != tolerance) {
        // Start over from the finest level: the terrain changed under a running update.
        ground_mesh.pending = 1;
        ground_mesh.pending_for = terrain.change_counter;
        ground_mesh.tolerance = tolerance;
        ground_mesh.cursor_level = ground_mesh.n;
        ground_mesh.cursor_node = 0;
    }
    // Until a first pyramid exists there is nothing to draw from: that one is built whole.
    if (!ground_mesh.valid) budget = -1;
    int cost = 0;
    while (ground_mesh.cursor_level >= 0) {
        int k = ground_mesh.cursor_level, m = 1 << k;
        while (ground_mesh.cursor_node < m * m) {
            if (budget >= 0 && cost >= budget) return 0;
            int node = ground_mesh.cursor_node++;
            int i = node % m, j = node / m;
            ground_mesh.errors[mesh_node_index(k, i, j)] = node_error(k, i, j, tolerance, &cost);
            cost += 10;
        }
        ground_mesh.cursor_level--;
        ground_mesh.cursor_node = 0;
    }
    ground_mesh.pending = 0;
    ground_mesh.valid = 1;
    ground_mesh.built_for = ground_mesh.pending_for;
    return 1;
}

// ---- choosing and drawing ---------------------------------------------------------------------

struct mesh_walk {
    const mesh_view *view;
    const mesh_sink *sink;
    float gx, gz; // camera in grid units
    int triangles;
};

static void mark_distance(int k, int i, int j, const mesh_walk *w) {
    int n = ground_mesh.n;
    int hs = 1 << (n - k);
    float cx = (float)((2 * i + 1) * hs) * terrain.spacing;
    float cz = (float)((2 * j + 1) * hs) * terrain.spacing;
    float dx = cx - w->view->eye[0], dz = cz - w->view->eye[2];
    int idx = mesh_node_index(k, i, j);
    if (!(ground_mesh.errors[idx] > dx * dx + dz * dz)) return;
    ground_mesh.refined[idx] = 1;
    if (k == n) return;
    for (int q = 0; q < 4; q++)
        mark_distance(k + 1, 2 * i + (q & 1), 2 * j + (q >> 1), w);
}

static void mark_levels(const mesh_view *v) {
    int n = ground_mesh.n;
    for (int l = 0; l < v->level_count && l < MESH_LEVELS_MAX; l++) {
        const mesh_texture_level *t = &v->levels[l];
        if (t->coverage <= 0) continue;
        for (int k = 0; k <= n; k++) {
            int side = 1 << (n + 1 - k);
            if (side * 2 < t->coverage) break;
            int m = 1 << k;
            for (int j = 0; j < m; j++)
                for (int i = 0; i < m; i++)
                    if (i * side < t->origin_u + t->coverage && (i + 1) * side > t->origin_u &&
                        j * side < t->origin_v + t->coverage && (j + 1) * side > t->origin_v)
                        ground_mesh.refined[mesh_node_index(k, i, j)] = 1;
        }
    }
}

// A refined node needs its parent and the parents of its edge neighbours: then a neighbour
// that is not drawn itself lies under a drawn fan one level up whose rim meets ours.
static void close_refinement(void) {
    for (int k = ground_mesh.n; k >= 1; k--) {
        int m = 1 << k, pm = m >> 1;
        uint8_t *row = ground_mesh.refined + mesh_node_index(k, 0, 0);
        uint8_t *parents = ground_mesh.refined + mesh_node_index(k - 1, 0, 0);
        for (int j = 0; j < m; j++)
            for (int i = 0; i < m; i++) {
                if (!row[j * m + i]) continue;
                parents[(j >> 1) * pm + (i >> 1)] = 1;
                static const int edge[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
                for (const auto &e : edge) {
                    int a = i + e[0], b = j + e[1];
                    if (a >= 0 && a < m && b >= 0 && b < m) parents[(b >> 1) * pm + (a >> 1)] = 1;
                }
            }
    }
}

static int marked(int k, int i, int j) {
    int m = 1 << k;
    if (i < 0 || j < 0 || i >= m || j >= m) return 0;
    return ground_mesh.refined[mesh_node_index(k, i, j)];
}

static int texture_level_of(const mesh_view *v, int k, int i, int j) {
    int side = 1 << (ground_mesh.n + 1 - k);
    for (int l = 0; l < v->level_count && l < MESH_LEVELS_MAX; l++) {
        const mesh_texture_level *t = &v->levels[l];
        if (t->coverage > 0 && i * side >= t->origin_u &&
            (i + 1) * side <= t->origin_u + t->coverage && j * side >= t->origin_v &&
            (j + 1) * side <= t->origin_v + t->coverage)
            return l;
    }
    return v->level_count;
}

static void put_vertex(float *out, int x, int z) {
    out[0] = (float)x * terrain.spacing;
    out[1] = height_at(x, z);
    out[2] = (float)z * terrain.spacing;
}

static void draw_node(int k, int i, int j, mesh_walk *w) {
    int n = ground_mesh.n;
    int hs = 1 << (n - k);
    int cx = (2 * i + 1) * hs, cz = (2 * j + 1) * hs;
    const float *d = w->view->dir;

    // The corner farthest along the view; the node is dropped when even that lies behind.
    float fx = (float)(d[0] >= 0 ? cx + hs : cx - hs) * terrain.spacing;
    float fz = (float)(d[2] >= 0 ? cz + hs : cz - hs) * terrain.spacing;
    float fy = d[1] >= 0 ? terrain.top : terrain.bottom;
    const float *e = w->view->eye;
    if ((fx - e[0]) * d[0] + (fy - e[1]) * d[1] + (fz - e[2]) * d[2] < 0) return;

    // Quadrant q: bit 0 = +x half, bit 1 = +z half.
    int child_drawn[4] = {0, 0, 0, 0};
    if (k < n)
        for (int q = 0; q < 4; q++)
            child_drawn[q] = marked(k + 1, 2 * i + (q & 1), 2 * j + (q >> 1));

    static const int order[4][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {2, 0, 3, 1}, {3, 2, 1, 0}};
    int near = (w->gx >= (float)cx ? 1 : 0) | (w->gz >= (float)cz ? 2 : 0);
    for (int o = 0; o < 4; o++) {
        int q = order[near][o];
        if (child_drawn[q]) draw_node(k + 1, 2 * i + (q & 1), 2 * j + (q >> 1), w);
    }

    // The rim, in half-sides from the centre.
    static const int dirs[8][2] = {{0, -1}, {-1, -1}, {-1, 0}, {-1, 1},
                                   {0, 1},  {1, 1},   {1, 0},  {1, -1}};
    int m = 1 << k;
    int rim[8], count = 0;
    for (int r = 0; r < 8; r++) {
        int dx = dirs[r][0], dz = dirs[r][1];
        int on = 1;
        if (dx == 0 || dz == 0) {
            int ni = i + dx, nj = j + dz;
            int border = ni < 0 || nj < 0 || ni >= m || nj >= m;
            // Children touching this midpoint: the two quadrants on its side.
            int child_corner = 0;
            for (int q = 0; q < 4; q++) {
                int qx = (q & 1) ? 1 : -1, qz = (q & 2) ? 1 : -1;
                if (child_drawn[q] && (dx == 0 || dx == qx) && (dz == 0 || dz == qz))
                    child_corner = 1;
            }
            on = border || marked(k, ni, nj) || child_corner;
        }
        if (on) rim[count++] = r;
    }
    if (count < 3) return;

    float xyz[MESH_FAN_TRIANGLES_MAX * 9];
    int tris = 0;
    for (int r = 0; r < count; r++) {
        const int *a = dirs[rim[r]], *b = dirs[rim[(r + 1) % count]];
        int sx = a[0] + b[0], sz = a[1] + b[1];
        int covered = 0;
        for (int q = 0; q < 4; q++) {
            int qx = (q & 1) ? 1 : -1, qz = (q & 2) ? 1 : -1;
            if ((sx == 0 || (sx > 0) == (qx > 0)) && (sz == 0 || (sz > 0) == (qz > 0)) &&
                child_drawn[q])
                covered = 1;
        }
        if (covered) continue;
        float *t = xyz + tris * 9;
        put_vertex(t, cx, cz);
        put_vertex(t + 3, cx + a[0] * hs, cz + a[1] * hs);
        put_vertex(t + 6, cx + b[0] * hs, cz + b[1] * hs);
        tris++;
    }
    if (tris && w->sink && w->sink->fan)
        w->sink->fan(w->sink->user, k, i, j, xyz, tris, texture_level_of(w->view, k, i, j));
    w->triangles += tris;
}

int mesh_draw(const mesh_view *view, const mesh_sink *sink) {
    if (!terrain_present() || !view) return 0;
    mesh_alloc();
    if (!ground_mesh.valid && !ground_mesh.pending)
        mesh_update_errors(view->ground_detail, -1); // the first frame needs a whole pyramid
    mesh_walk w = {view, sink, view->eye[0] * terrain.inv_spacing,
                   view->eye[2] * terrain.inv_spacing, 0};
    memset(ground_mesh.refined, 0, (size_t)ground_mesh.node_count);
    if (view->refine_all) memset(ground_mesh.refined, 1, (size_t)ground_mesh.node_count);
    mark_levels(view);
    mark_distance(0, 0, 0, &w);
    close_refinement();
    ground_mesh.refined[0] = 1;
    draw_node(0, 0, 0, &w);
    return w.triangles;
}

// ---- texture levels ---------------------------------------------------------------------------

int mesh_level_origin(int c, float g, int size) {
    if (c <= 0) return 0;
    int quarter = c / 4 > 0 ? c / 4 : 1;
    double p = (double)g + c / 8.0;
    if (!std::isfinite(p)) p = 0;
    double o = p - c / 2.0 - std::fmod(p, (double)quarter);
    if (std::fmod(p, (double)quarter) < 0) o -= quarter; // floor for negative positions
    double hi = size - 1 - c;
    if (o > hi) o = hi;
    if (o < 0) o = 0;
    return (int)std::floor(o);
}

int mesh_level_needs_redraw(int c, int u, int v, float g, float h) {
    return std::fabs((float)u + (float)c / 2 - g) * 4 > (float)c ||
           std::fabs((float)v + (float)c / 2 - h) * 4 > (float)c;
}
