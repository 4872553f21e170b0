// The deformation queue and the dig / deposit of ruts.
#include "track/track_erosion.h"

#include <cmath>
#include <cstring>

#include "base/zv_alloc.h"
#include "track/track_hooks.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

erosion_state erosion = {nullptr, 0, 0, -1, 0};
int (*erosion_send)(const uint8_t *, int) = nullptr;
int (*erosion_send_room)(void) = nullptr;

namespace {

// A bad tileinfo must not turn one point into a loop over the whole grid.
const float MAX_RADIUS_CELLS = 64.0f;

unsigned u16(const uint8_t *p) {
    return p[0] | (unsigned)p[1] << 8;
}
unsigned u24(const uint8_t *p) {
    return p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16;
}

float bound_value(const uint8_t *p) {
    return (float)(u16(p) * 2048.0 / 65535.0 - 1024.0);
}
float direction_value(int code) {
    float v = code / 64.0f;
    if (v > 1.0f) v = 1.0f;
    return v * 2.0f - 1.0f;
}

void enqueue(float x, float z, float dx, float dz, int w) {
    if (!erosion.queue)
        erosion.queue = (erosion_point *)zv_alloc_zeroed(EROSION_QUEUE_SIZE, sizeof(erosion_point));
    if (erosion.count >= EROSION_QUEUE_SIZE) {
        if (!erosion.full_reported) {
            erosion.full_reported = 1;
            track_message("Erode queue full!");
        }
        return;
    }
    erosion_point *e = &erosion.queue[(erosion.head + erosion.count) % EROSION_QUEUE_SIZE];
    e->x = x;
    e->z = z;
    e->dx = dx;
    e->dz = dz;
    e->weight = w;
    erosion.count++;
}

float loaded_height(float x, float z) {
    if (!terrain.loaded_heights) return terrain_height(x, z);
    // The same interpolation as the live height, over the heights as loaded.
    float *live = terrain.heights;
    terrain.heights = terrain.loaded_heights;
    float h = terrain_height(x, z);
    terrain.heights = live;
    return h;
}

float bump(float t) {
    return (2.0f * t - 3.0f) * t * t + 1.0f;
}

struct bump_area {
    float gx, gz, c;
    int j0, j1, i0, i1;
};

int bump_setup(float x, float z, float radius, bump_area *b) {
    if (!terrain.heights || !(radius > 0.0f) || !std::isfinite(x) || !std::isfinite(z)) return 0;
    b->gx = x * terrain.inv_spacing;
    b->gz = z * terrain.inv_spacing;
    b->c = radius * terrain.inv_spacing;
    if (b->c > MAX_RADIUS_CELLS) b->c = MAX_RADIUS_CELLS;
    float lim = (float)terrain.size + 2.0f * MAX_RADIUS_CELLS;
    if (fabsf(b->gx) > lim || fabsf(b->gz) > lim) return 0;
    int o = (int)ceilf(b->c);
    int fx = (int)floorf(b->gx), fz = (int)floorf(b->gz);
    b->j0 = fx - o + 1;
    b->j1 = fx + o;
    b->i0 = fz - o + 1;
    b->i1 = fz + o;
    return 1;
}

void mark(const bump_area *b) {
    int n = terrain.size - 1;
    int j0 = b->j0 < 0 ? 0 : b->j0, j1 = b->j1 > n ? n : b->j1;
    int i0 = b->i0 < 0 ? 0 : b->i0, i1 = b->i1 > n ? n : b->i1;
    if (j0 > j1 || i0 > i1) return;
    for (int i = i0; i <= i1; i++)
        for (int j = j0; j <= j1; j++) {
            float h = terrain.heights[j + i * terrain.size];
            if (h > terrain.top) terrain.top = h;
            if (h < terrain.bottom) terrain.bottom = h;
        }
    terrain_mark_changed(j0, i0, j1, i1);
}

int inside(int j, int i) {
    return j >= 0 && i >= 0 && j < terrain.size && i < terrain.size;
}

void apply_point(const erosion_point *e, float n0) {
    const tiles_erosion *p = &tiles_type_at(e->x, e->z)->erosion;
    float u = terrain_height(e->x, e->z);
    float len = sqrtf(e->dx * e->dx + e->dz * e->dz);
    float w = (len - 0.125f) * 1.1428572f;
    w = w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
    w *= p->displacement;
    float px = e->x, pz = e->z;
    if (w != 0.0f && len > 0.0f) {
        px = e->x - e->dx / len * w;
        pz = e->z - e->dz / len * w;
    }
    float b = terrain_height(px, pz);
    if (b - u > p->max_slope * w || b - u < p->min_slope * w) return;
    double n = n0;
    if (b < u && w != 0.0f) n += n * (u - b) * p->downhill_scale / w;

    float r = loaded_height(e->x, e->z) - u;
    int count = p->limit_count;
    if (count > TILES_ERODE_LIMITS) count = TILES_ERODE_LIMITS;
    float pos = 0.0f;
    if (count > 1 && r >= p->limit_depth[0]) {
        pos = (float)(count - 1);
        for (int i = 1; i < count; i++)
            if (p->limit_depth[i] > r) {
                float span = p->limit_depth[i] - p->limit_depth[i - 1];
                pos = (i - 1) + (span > 0.0f ? (r - p->limit_depth[i - 1]) / span : 0.0f);
                break;
            }
    }
    float outer, inner;
    int k = (int)floorf(pos);
    if (count <= 1 || k >= count - 1) {
        int last = count > 0 ? count - 1 : 0;
        outer = p->limit_outer[last];
        inner = p->limit_inner[last];
    } else {
        float f = pos - k;
        outer = p->limit_outer[k] + f * (p->limit_outer[k + 1] - p->limit_outer[k]);
        inner = p->limit_inner[k] + f * (p->limit_inner[k + 1] - p->limit_inner[k]);
    }
    double v1 = erosion_dig(e->x, e->z, p->radius, (double)e->weight * p->depth * outer * n);
    double v2 = erosion_dig(e->x, e->z, p->inner_radius, (double)p->inner_depth * inner * n);
    erosion_deposit(px, pz, p->radius, v1 + v2);
}

} // namespace

double erosion_dig(float x, float z, float radius, double a) {
    bump_area b;
    if (!bump_setup(x, z, radius, &b) || !std::isfinite(a)) return 0.0;
    double sum = 0.0;
    for (int i = b.i0; i <= b.i1; i++)
        for (int j = b.j0; j <= b.j1; j++) {
            float dx = b.gx - j, dz = b.gz - i;
            float d = sqrtf(dx * dx + dz * dz);
            if (d > b.c) continue;
            double change = -a * bump(d / b.c);
            sum += change;
            if (inside(j, i)) terrain.heights[j + i * terrain.size] += (float)change;
        }
    mark(&b);
    return fabs(sum);
}

void erosion_deposit(float x, float z, float radius, double v) {
    bump_area b;
    if (!bump_setup(x, z, radius, &b) || !std::isfinite(v)) return;
    // Weights only over elements on the grid, so material dug near the edge all lands.
    double k_sum = 0.0;
    for (int i = b.i0; i <= b.i1; i++)
        for (int j = b.j0; j <= b.j1; j++) {
            float dx = b.gx - j, dz = b.gz - i;
            float d = sqrtf(dx * dx + dz * dz);
            if (d <= b.c && inside(j, i)) k_sum += bump(d / b.c);
        }
    double scale = v / (k_sum > 1.0 ? k_sum : 1.0);
    for (int i = b.i0; i <= b.i1; i++)
        for (int j = b.j0; j <= b.j1; j++) {
            float dx = b.gx - j, dz = b.gz - i;
            float d = sqrtf(dx * dx + dz * dz);
            if (d <= b.c && inside(j, i))
                terrain.heights[j + i * terrain.size] += (float)(scale * bump(d / b.c));
        }
    mark(&b);
}

void erosion_submit(const uint8_t *stroke, int length) {
    if (erosion_send && erosion_send(stroke, length)) return;
    erosion_decode(stroke, length);
}

void erosion_decode(const uint8_t *s, int length) {
    if (!s || length < EROSION_STROKE_HEADER || s[0] != 1) return;
    float extent = terrain.extent;
    float dx_min = bound_value(s + 1), dz_min = bound_value(s + 3);
    float dx_max = bound_value(s + 5), dz_max = bound_value(s + 7);
    float x = (float)(u24(s + 9) / 16777215.0 * extent);
    float z = (float)(u24(s + 12) / 16777215.0 * extent);
    int extra = (length - EROSION_STROKE_HEADER) / 4;
    if (extra > EROSION_STROKE_POINTS - 1) extra = EROSION_STROKE_POINTS - 1;
    const uint8_t *q = s + 15;
    for (int k = 0;; k++) {
        int w = (q[0] & 3) | (q[1] & 3) << 2;
        enqueue(x, z, direction_value(q[0] >> 2), direction_value(q[1] >> 2), w);
        if (k == extra) break;
        const uint8_t *step = s + EROSION_STROKE_HEADER + 4 * k;
        x += dx_min + step[0] / 255.0f * (dx_max - dx_min);
        z += dz_min + step[1] / 255.0f * (dz_max - dz_min);
        q = step + 2;
    }
}

void erosion_reset(void) {
    erosion.head = 0;
    erosion.count = 0;
    erosion.deadline = -1;
}

int erosion_apply(const float *rider_xz, float f, int tic) {
    if (erosion.count == 0 || !terrain.heights) return 0;
    if ((erosion.deadline >= 0 && erosion.deadline < tic) || erosion.count > EROSION_BACKLOG) {
        erosion.deadline = -1;
        rider_xz = nullptr;
    }
    int backlog = erosion.count - EROSION_BACKLOG;
    int budget = (backlog > 0 ? backlog : 0) / 64 + erosion.count / 512 + 4;
    float n0 = f / 2048.0f;
    int taken = 0;
    while (budget-- > 0 && erosion.count > 0) {
        const erosion_point *e = &erosion.queue[erosion.head];
        if (rider_xz) {
            float dx = e->x - rider_xz[0], dz = e->z - rider_xz[1];
            if (dx * dx + dz * dz < 100.0f) {
                // Ruts next to the local rider wait, so the ground does not move under him.
                int d = tic + EROSION_DEFER_TICS;
                if (erosion.deadline < 0 || d < erosion.deadline) erosion.deadline = d;
                break;
            }
        }
        erosion_point p = *e;
        erosion.head = (erosion.head + 1) % EROSION_QUEUE_SIZE;
        erosion.count--;
        apply_point(&p, n0);
        erosion.deadline = -1;
        taken++;
    }
    return taken;
}
