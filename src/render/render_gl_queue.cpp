// The command queue: state changes and immediate-mode draws are recorded as words and replayed in
// order after one upload of the immediate vertex and index arrays.
#include "render/render_gl_internal.h"

#include <cstring>

void rgl_queue(int op, const uint32_t *args, int nargs) {
    if (rgl.queue_words + 1 + nargs > ZVGL_QUEUE_WORDS) zvglFlushQueue();
    uint32_t *w = &rgl.queue[rgl.queue_words];
    w[0] = (uint32_t)op;
    if (nargs > 0) memcpy(w + 1, args, (size_t)nargs * sizeof(uint32_t));
    rgl.queue_words += 1 + nargs;
}

void rgl_queue_f(int op, const float *args, int nargs) {
    static_assert(sizeof(float) == sizeof(uint32_t), "floats travel bit for bit in queue words");
    rgl_queue(op, (const uint32_t *)(const void *)args, nargs);
}

void zvglActiveTexture(GLenum unit_enum) {
    uint32_t a = unit_enum;
    rgl_queue(RGL_OP_ACTIVE_TEXTURE, &a, 1);
}

void zvglBindTexture(GLenum target, GLuint name) {
    uint32_t a[2] = {target, name};
    rgl_queue(RGL_OP_BIND_TEXTURE, a, 2);
}

void zvglBlendFunc(GLenum src, GLenum dst) {
    uint32_t a[2] = {src, dst};
    rgl_queue(RGL_OP_BLEND_FUNC, a, 2);
}

void zvglDepthFunc(GLenum func) {
    uint32_t a = func;
    rgl_queue(RGL_OP_DEPTH_FUNC, &a, 1);
}

void zvglDepthMask(GLboolean flag) {
    uint32_t a = flag;
    rgl_queue(RGL_OP_DEPTH_MASK, &a, 1);
}

void zvglEnable(GLenum cap) {
    uint32_t a = cap;
    rgl_queue(RGL_OP_ENABLE, &a, 1);
}

void zvglDisable(GLenum cap) {
    uint32_t a = cap;
    rgl_queue(RGL_OP_DISABLE, &a, 1);
}

static int rgl_op_args(uint32_t op) {
    static const int counts[21] = {-1, 1, 2, 2,  1, 1, 1, 3, 4, 1, 6,
                                   16, 0, 1, 16, 6, 0, 0, 4, 3, 3};
    return op <= 20 ? counts[op] : -1;
}

static void rgl_active_texture(GLenum unit_enum) {
    zvgl_fn.glActiveTexture(unit_enum);
    // Only units 0..7 have a texture matrix stack; anything else must not move the stack index.
    uint32_t unit = unit_enum - GL_TEXTURE0;
    if (unit >= ZVGL_TEXTURE_UNITS) {
        rgl_log("Error: glActiveTexture out of range\n");
        return;
    }
    rgl.active_unit = (int)unit;
    if (rgl.stack >= 2) rgl.stack = 2 + (int)unit;
}

static void rgl_execute(void) {
    int pos = 0;
    while (pos < rgl.queue_words) {
        uint32_t op = rgl.queue[pos];
        int n = rgl_op_args(op);
        if (n < 0 || pos + 1 + n > rgl.queue_words) rgl_fatal("Invalid GL command queued\n");
        const uint32_t *a = &rgl.queue[pos + 1];
        pos += 1 + n;
        switch (op) {
        case RGL_OP_ACTIVE_TEXTURE:
            rgl_active_texture(a[0]);
            break;
        case RGL_OP_BIND_TEXTURE:
            zvgl_fn.glBindTexture(a[0], a[1]);
            rgl.texture_binds++;
            break;
        case RGL_OP_BLEND_FUNC:
            zvgl_fn.glBlendFunc(a[0], a[1]);
            break;
        case RGL_OP_DEPTH_FUNC:
            zvgl_fn.glDepthFunc(a[0]);
            break;
        case RGL_OP_DEPTH_MASK:
            zvgl_fn.glDepthMask((GLboolean)(a[0] & 0xff));
            break;
        case RGL_OP_DISABLE:
            zvgl_fn.glDisable(a[0]);
            break;
        case RGL_OP_ENABLE:
            zvgl_fn.glEnable(a[0]);
            break;
        case RGL_OP_DRAW_ARRAYS:
            rgl_prepare_draw();
            zvgl_fn.glDrawArrays(a[0], (GLint)a[1], (GLsizei)a[2]);
            break;
        case RGL_OP_DRAW_ELEMENTS:
            rgl_prepare_draw();
            zvgl_fn.glDrawRangeElements(GL_TRIANGLES, a[2], a[2] + a[3] - 1, (GLsizei)a[1],
                                        GL_UNSIGNED_SHORT,
                                        (const void *)(uintptr_t)(2 * (uintptr_t)a[0]));
            break;
        default: {
            float f[16];
            memcpy(f, a, (size_t)n * sizeof(uint32_t));
            rgl_apply_matrix_op((int)op, f);
            break;
        }
        }
    }
}

void rgl_replay(int upload_vertices) {
    if (rgl.replaying) return;
    rgl.replaying = 1;
    GLint saved_vao = 0, saved_array = 0, saved_elements = 0;
    int upload = upload_vertices > 0 && rgl.vao;
    if (upload) {
        zvgl_fn.glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &saved_vao);
        zvgl_fn.glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &saved_array);
        zvgl_fn.glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &saved_elements);
        zvgl_fn.glBindVertexArray(rgl.vao);
        zvgl_fn.glBindBuffer(GL_ARRAY_BUFFER, rgl.vbo);
        zvgl_fn.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, rgl.ibo);
        // Orphan the old storage so the driver need not wait for last flush's draws.
        zvgl_fn.glBufferData(GL_ARRAY_BUFFER, sizeof rgl.vertices, nullptr, GL_STREAM_DRAW);
        zvgl_fn.glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof rgl.indices, nullptr, GL_STREAM_DRAW);
        zvgl_fn.glBufferSubData(GL_ARRAY_BUFFER, 0,
                                (GLsizeiptr)upload_vertices * ZVGL_VERTEX_FLOATS * sizeof(float),
                                rgl.vertices);
        if (rgl.finished_indices > 0)
            zvgl_fn.glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0,
                                    (GLsizeiptr)rgl.finished_indices * sizeof(uint16_t),
                                    rgl.indices);
    }
    rgl_execute();
    rgl.queue_words = 0;
    if (upload) {
        // The element binding belongs to the vertex array object, so restore that first.
        zvgl_fn.glBindVertexArray((GLuint)saved_vao);
        zvgl_fn.glBindBuffer(GL_ARRAY_BUFFER, (GLuint)saved_array);
        zvgl_fn.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, (GLuint)saved_elements);
    }
    // A primitive still being built moves to the front of the emptied array and goes on.
    if (rgl.in_primitive && rgl.open_vertices > 0 && rgl.finished_vertices > 0)
        memmove(rgl.vertices[0], rgl.vertices[rgl.finished_vertices],
                (size_t)rgl.open_vertices * sizeof rgl.vertices[0]);
    if (!rgl.in_primitive) rgl.open_vertices = 0;
    rgl.finished_vertices = 0;
    rgl.finished_indices = 0;
    rgl.replaying = 0;
}

void zvglFlushQueue(void) {
    if (rgl.queue_words == 0 && rgl.finished_vertices == 0) return;
    rgl_replay(rgl.finished_vertices);
}
