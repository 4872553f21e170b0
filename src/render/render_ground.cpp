// Ground drawing. The mesh module decides the triangles; this file streams them to GL. Fans
// arrive nearest first, and consecutive fans mostly share a texture level, so a run of one level
// becomes one draw.
#include "render/render_ground.h"

#include <cstring>

#include "render/zvgl.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"

ground_level_origin ground_origins[GROUND_LEVELS_MAX];
ground_stats ground_frame_stats;

namespace {

struct ground_run {
    int level, first, count;
};

struct ground_batch {
    float xyz[GROUND_BATCH_VERTICES * 3];
    int vertices;
    ground_run runs[GROUND_DRAWS_MAX];
    int run_count;
    unsigned vao, vbo;
    int level_slot[GROUND_LEVELS_MAX + 1]; // terrain detail slot of each mesh level
    int level_count;
};

ground_batch batch;

void bind_level(int level) {
    int slot = batch.level_slot[level < batch.level_count ? level : batch.level_count];
    if (slot < 0) return;
    const terrain_detail_level *d = &terrain.detail[slot];
    for (int u = 0; u < 3; u++) {
        zvglActiveTexture(GL_TEXTURE0 + u);
        zvglBindTexture(GL_TEXTURE_2D, d->textures[u]);
    }
    zvglActiveTexture(GL_TEXTURE0);
    float offset[2] = {0, 0};
    if (level < batch.level_count) {
        offset[0] = -(float)ground_origins[level].origin_u * terrain.spacing;
        offset[1] = -(float)ground_origins[level].origin_v * terrain.spacing;
    }
    float cov = d->coverage > 0 ? (float)d->coverage : 1.0f;
    zvglSetTerrainTexTransform(offset, 1.0f / (cov * terrain.spacing));
}

void flush(void) {
    if (batch.vertices == 0) return;
    if (!batch.vbo) {
        zvglGenVertexArrays(1, &batch.vao);
        zvglGenBuffers(1, &batch.vbo);
        zvglBindVertexArray(batch.vao);
        zvglBindBuffer(GL_ARRAY_BUFFER, batch.vbo);
        zvglBufferData(GL_ARRAY_BUFFER, sizeof batch.xyz, nullptr, GL_STREAM_DRAW);
        zvglEnableVertexAttribArray(0);
        zvglVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    zvglBindVertexArray(batch.vao);
    zvglBindBuffer(GL_ARRAY_BUFFER, batch.vbo);
    zvglBufferSubData(GL_ARRAY_BUFFER, 0, (GLsizeiptr)batch.vertices * 12, batch.xyz);
    for (int r = 0; r < batch.run_count; r++) {
        const ground_run &run = batch.runs[r];
        if (run.count <= 0) continue;
        bind_level(run.level);
        zvglDrawArrays(GL_TRIANGLES, run.first, run.count);
        ground_frame_stats.draws++;
    }
    zvglBindVertexArray(0);
    ground_frame_stats.buffers++;
    // The last level carries over into the next buffer.
    int level = batch.run_count ? batch.runs[batch.run_count - 1].level : 0;
    batch.vertices = 0;
    batch.runs[0] = {level, 0, 0};
    batch.run_count = 1;
}

void sink_fan(void *, int, int, int, const float *xyz, int triangles, int level) {
    if (batch.vertices + triangles * 3 > GROUND_BATCH_VERTICES) flush();
    if (batch.run_count == 0 || batch.runs[batch.run_count - 1].level != level) {
        if (batch.run_count == GROUND_DRAWS_MAX) flush();
        if (batch.run_count > 0 && batch.runs[batch.run_count - 1].count == 0)
            batch.runs[batch.run_count - 1].level = level; // an empty carried-over run
        else
            batch.runs[batch.run_count++] = {level, batch.vertices, 0};
    }
    memcpy(batch.xyz + batch.vertices * 3, xyz, sizeof(float) * 9 * (size_t)triangles);
    batch.vertices += triangles * 3;
    batch.runs[batch.run_count - 1].count += triangles * 3;
    ground_frame_stats.triangles += triangles;
}

} // namespace

int ground_draw(const float eye[3], const float dir[3], float ground_detail) {
    ground_frame_stats = {};
    if (!terrain_present()) return 0;
    mesh_update_errors(ground_detail, MESH_ERROR_BUDGET);

    mesh_view view = {};
    memcpy(view.eye, eye, sizeof view.eye);
    memcpy(view.dir, dir, sizeof view.dir);
    view.ground_detail = ground_detail;
    // Texture levels finest first; the whole-grid level is the fallback.
    batch.level_count = 0;
    int whole = -1;
    for (int s = 0; s < TERRAIN_DETAIL_SPARE; s++) {
        int c = terrain.detail[s].coverage;
        if (c <= 0) continue;
        if (c >= terrain.size - 1) {
            whole = s;
            continue;
        }
        if (batch.level_count < GROUND_LEVELS_MAX && batch.level_count < MESH_LEVELS_MAX) {
            int l = batch.level_count++;
            batch.level_slot[l] = s;
            view.levels[l] = {c, ground_origins[l].origin_u, ground_origins[l].origin_v};
        }
    }
    view.level_count = batch.level_count;
    batch.level_slot[batch.level_count] = whole;

    batch.vertices = 0;
    batch.run_count = 0;
    mesh_sink sink = {nullptr, sink_fan};
    int n = mesh_draw(&view, &sink);
    flush();
    return n;
}

void ground_free(void) {
    if (batch.vbo) {
        zvglDeleteBuffers(1, &batch.vbo);
        zvglDeleteVertexArrays(1, &batch.vao);
    }
    batch.vbo = batch.vao = 0;
}
