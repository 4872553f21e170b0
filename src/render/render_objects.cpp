// Statues and billboards in the frame, and the flaggers' race-state pictures.
#include "render/render_objects.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/zv_alloc.h"
#include "bike/bike.h"
#include "race/race.h"
#include "render/render_frame.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/zvgl.h"
#include "track/track_flaggers.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

namespace {

frame_camera camera_now;

struct sort_entry {
    uint32_t key;
    int index;
};
sort_entry *sort_a, *sort_b;
int sort_cap;

void flaggers_from_race(void) {
    flagger_race_view v = {};
    v.tic = race.tic;
    v.gate_drop_tic = race.gate_drop_tic;
    v.time_limit = race.time_limit;
    v.laps = race.laps;
    v.lap_total = race.lap_total;
    v.halfway_lap = race.halfway_lap;
    v.leader_progress = race.order_count > 0 ? race.order[0].progress : -1;
    v.first = gates_first();
    v.normal = gates_normal();
    v.sequence = gates.sequence;
    v.checkpoints = gates_checkpoints();
    int down[RACE_SLOTS], n = 0;
    for (int i = 0; i < race.order_count && i < RACE_SLOTS; i++) {
        int s = race.order[i].slot;
        if (s < 0 || s >= RACE_SLOTS || !bike_world.bikes[s].present) continue;
        if (race.network && race.status[s] == RACE_REPLAYED) continue;
        if (bike_crashed(&bike_world.bikes[s])) down[n++] = race.order[i].progress;
    }
    v.down_progress = down;
    v.down_count = n;
    flaggers_update(&v);
}

void column_matrix(const float rot[9], const float pos[3], float m[16]) {
    // world = rot * local + pos; column-major for GL.
    for (int c = 0; c < 3; c++)
        for (int r = 0; r < 3; r++)
            m[c * 4 + r] = rot[r * 3 + c];
    m[3] = m[7] = m[11] = 0;
    m[12] = pos[0], m[13] = pos[1], m[14] = pos[2], m[15] = 1;
}

} // namespace

void objects_draw_statues(const frame_camera *camera) {
    camera_now = *camera;
    flaggers_from_race();
    statues_face_camera(camera->position, model_lod_scale, model_lod_bias);
    for (int i = 0; i < objects.statue_count; i++) {
        const track_statue &s = objects.statues[i];
        if (!s.model) continue;
        render_model *m = model_find(s.model);
        if (!m) m = model_load(s.model);
        if (!m) continue;
        zvglActiveTexture(GL_TEXTURE1);
        zvglBindTexture(GL_TEXTURE_2D, s.norm ? s.norm : zvglFlatNormalTexture());
        zvglActiveTexture(GL_TEXTURE2);
        zvglBindTexture(GL_TEXTURE_2D, s.spec ? s.spec : zvglWhiteTexture());
        zvglActiveTexture(GL_TEXTURE0);
        zvglBindTexture(GL_TEXTURE_2D, s.tex ? s.tex : zvglWhiteTexture());
        model_draw.specular_map = s.spec != 0;
        float pos[3] = {s.x, s.y, s.z}, mat[16];
        column_matrix(s.draw_rot, pos, mat);
        zvglPushMatrix();
        zvglMultMatrixf(mat);
        model_draw_lit(m, pos, 0, nullptr, nullptr, nullptr);
        zvglPopMatrix();
    }
    model_draw.specular_map = 0;
}

int objects_billboards_drawn;

void objects_draw_billboards(void) {
    int n = objects.billboard_count;
    objects_billboards_drawn = 0;
    if (n <= 0) return;
    if (n > sort_cap) {
        sort_a = (sort_entry *)zv_realloc(sort_a, (size_t)n * sizeof *sort_a);
        sort_b = (sort_entry *)zv_realloc(sort_b, (size_t)n * sizeof *sort_b);
        sort_cap = n;
    }
    const float *ax = camera_now.axes, *eye = camera_now.position;
    // The depth along the view, as a key that sorts farthest first.
    int count = 0;
    for (int i = 0; i < n; i++) {
        const track_billboard &b = objects.billboards[i];
        if (!b.texture || !(b.size > 0)) continue;
        float d = -((b.x - eye[0]) * ax[6] + (b.y - eye[1]) * ax[7] + (b.z - eye[2]) * ax[8]);
        if (!(d > -b.size * b.aspect)) continue; // behind the camera
        float k = d < 0 ? 0 : (d > 65535 ? 65535 : d);
        sort_a[count++] = {0xffffffffu - (uint32_t)(k * 65536.0f), i};
    }
    // Four passes of an 8-bit radix sort.
    for (int shift = 0; shift < 32; shift += 8) {
        int bucket[257] = {};
        for (int i = 0; i < count; i++)
            bucket[((sort_a[i].key >> shift) & 255) + 1]++;
        for (int i = 0; i < 256; i++)
            bucket[i + 1] += bucket[i];
        for (int i = 0; i < count; i++)
            sort_b[bucket[(sort_a[i].key >> shift) & 255]++] = sort_a[i];
        sort_entry *t = sort_a;
        sort_a = sort_b;
        sort_b = t;
    }
    // Upright pictures turned to face the camera about the vertical.
    float rx = ax[0], rz = ax[2], l = std::sqrt(rx * rx + rz * rz);
    if (l < 1e-4f) rx = 1, rz = 0, l = 1;
    rx /= l, rz /= l;
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    unsigned bound = 0;
    int open = 0;
    for (int i = 0; i < count; i++) {
        const track_billboard &b = objects.billboards[sort_a[i].index];
        if (b.texture != bound || !open) {
            if (open) zvglEnd();
            zvglBindTexture(GL_TEXTURE_2D, b.texture);
            bound = b.texture;
            zvglBegin(GL_QUADS);
            open = 1;
        }
        float hw = b.size * b.aspect / 2;
        zvglColor4f(b.colour[0] / 255.0f, b.colour[1] / 255.0f, b.colour[2] / 255.0f,
                    b.colour[3] / 255.0f);
        zvglTexCoord2f(0, 1);
        zvglVertex3f(b.x - rx * hw, b.y, b.z - rz * hw);
        zvglTexCoord2f(1, 1);
        zvglVertex3f(b.x + rx * hw, b.y, b.z + rz * hw);
        zvglTexCoord2f(1, 0);
        zvglVertex3f(b.x + rx * hw, b.y + b.size, b.z + rz * hw);
        zvglTexCoord2f(0, 0);
        zvglVertex3f(b.x - rx * hw, b.y + b.size, b.z - rz * hw);
    }
    if (open) zvglEnd();
    objects_billboards_drawn = count;
    zvglColor4f(1, 1, 1, 1);
}

void objects_draw_install(void) {
    frame_passes.billboards = objects_draw_billboards;
}
