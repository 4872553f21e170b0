// Begin/end immediate mode over one client-side vertex array. Primitives that GL no longer draws
// (quads, quad strips, polygons) become indexed triangles; a primitive that outgrows the array is
// drawn in pieces that carry over the vertices its mode needs to stay seamless.
#include "render/render_gl_internal.h"

#include <cstring>

enum {
    RGL_POINTS = 0,
    RGL_LINES = 1,
    RGL_LINE_LOOP = 2,
    RGL_LINE_STRIP = 3,
    RGL_TRIANGLES = 4,
    RGL_TRIANGLE_STRIP = 5,
    RGL_TRIANGLE_FAN = 6,
    RGL_QUADS = 7,
    RGL_QUAD_STRIP = 8,
    RGL_POLYGON = 9,
};

void rgl_reset_immediate(void) {
    rgl.color[0] = rgl.color[1] = rgl.color[2] = rgl.color[3] = 1.0f;
    rgl.texcoord[0] = rgl.texcoord[1] = rgl.texcoord[2] = 0.0f;
    rgl.texcoord[3] = 1.0f;
    rgl.finished_vertices = rgl.open_vertices = rgl.finished_indices = 0;
    rgl.mode = 0;
    rgl.in_primitive = 0;
    rgl.closing_pending = 0;
}

int rgl_create_immediate_buffers(void) {
    if (rgl.vao) return 1;
    GLint saved_vao = 0, saved_array = 0;
    zvgl_fn.glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &saved_vao);
    zvgl_fn.glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &saved_array);
    zvgl_fn.glGenVertexArrays(1, &rgl.vao);
    zvgl_fn.glGenBuffers(1, &rgl.vbo);
    zvgl_fn.glGenBuffers(1, &rgl.ibo);
    zvgl_fn.glBindVertexArray(rgl.vao);
    zvgl_fn.glBindBuffer(GL_ARRAY_BUFFER, rgl.vbo);
    zvgl_fn.glBufferData(GL_ARRAY_BUFFER, sizeof rgl.vertices, nullptr, GL_STREAM_DRAW);
    zvgl_fn.glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, rgl.ibo);
    zvgl_fn.glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof rgl.indices, nullptr, GL_STREAM_DRAW);
    const GLsizei stride = ZVGL_VERTEX_FLOATS * sizeof(float);
    zvgl_fn.glVertexAttribPointer(ZVGL_ATTR_POSITION, 4, GL_FLOAT, GL_FALSE, stride, (void *)0);
    zvgl_fn.glEnableVertexAttribArray(ZVGL_ATTR_POSITION);
    zvgl_fn.glVertexAttribPointer(ZVGL_ATTR_TEXCOORD, 4, GL_FLOAT, GL_FALSE, stride, (void *)16);
    zvgl_fn.glEnableVertexAttribArray(ZVGL_ATTR_TEXCOORD);
    zvgl_fn.glVertexAttribPointer(ZVGL_ATTR_COLOR, 4, GL_FLOAT, GL_FALSE, stride, (void *)32);
    zvgl_fn.glEnableVertexAttribArray(ZVGL_ATTR_COLOR);
    zvgl_fn.glBindVertexArray((GLuint)saved_vao);
    zvgl_fn.glBindBuffer(GL_ARRAY_BUFFER, (GLuint)saved_array);
    return 1;
}

// Queues the draw of the open primitive as `mode` with its first `count` vertices, then counts all
// of its vertices as finished.
static void rgl_finish_primitive(int mode, int count) {
    int needed = 0;
    switch (mode) {
    case RGL_QUADS:
        count -= count % 4;
        needed = count / 4 * 6;
        break;
    case RGL_QUAD_STRIP:
        count = count < 4 ? 0 : count & ~1;
        needed = count > 2 ? 3 * (count - 2) : 0;
        break;
    case RGL_POLYGON:
        needed = count >= 3 ? 3 * (count - 2) : 0;
        break;
    default:
        break;
    }
    int indexed = mode >= RGL_QUADS;
    if (count > 0 && (!indexed || needed > 0)) {
        // Make room first: a flush here moves the open primitive to the front of the array.
        if (rgl.queue_words + 5 > ZVGL_QUEUE_WORDS ||
            rgl.finished_indices + needed > ZVGL_MAX_INDICES)
            zvglFlushQueue();
        uint32_t base = (uint32_t)rgl.finished_vertices;
        if (!indexed) {
            uint32_t a[3] = {(uint32_t)mode, base, (uint32_t)count};
            rgl_queue(RGL_OP_DRAW_ARRAYS, a, 3);
        } else {
            uint16_t *ix = &rgl.indices[rgl.finished_indices];
            int n = 0;
            if (mode == RGL_QUADS) {
                for (int q = 0; q < count; q += 4) {
                    uint16_t a = (uint16_t)(base + q), b = a + 1, c = a + 2, d = a + 3;
                    ix[n++] = a, ix[n++] = b, ix[n++] = d;
                    ix[n++] = d, ix[n++] = b, ix[n++] = c;
                }
            } else if (mode == RGL_QUAD_STRIP) {
                for (int i = 0; i < count - 2; i++) {
                    uint16_t v = (uint16_t)(base + i);
                    if (i % 2 == 0)
                        ix[n++] = v, ix[n++] = v + 1, ix[n++] = v + 2;
                    else
                        ix[n++] = v, ix[n++] = v + 2, ix[n++] = v + 1;
                }
            } else {
                for (int i = 2; i < count; i++)
                    ix[n++] = (uint16_t)base, ix[n++] = (uint16_t)(base + i - 1),
                    ix[n++] = (uint16_t)(base + i);
            }
            uint32_t a[4] = {(uint32_t)rgl.finished_indices, (uint32_t)n, base, (uint32_t)count};
            rgl_queue(RGL_OP_DRAW_ELEMENTS, a, 4);
            rgl.finished_indices += n;
        }
    }
    rgl.finished_vertices += rgl.open_vertices;
    rgl.open_vertices = 0;
}

// The array is full. Either earlier primitives make room by being drawn, or the open primitive
// alone fills it and is drawn in part, continuing in the emptied array.
static void rgl_split(void) {
    if (rgl.open_vertices < ZVGL_MAX_VERTICES) {
        rgl_replay(rgl.finished_vertices);
        return;
    }
    float first[ZVGL_VERTEX_FLOATS], prev[ZVGL_VERTEX_FLOATS], last[ZVGL_VERTEX_FLOATS];
    memcpy(first, rgl.vertices[0], sizeof first);
    memcpy(prev, rgl.vertices[ZVGL_MAX_VERTICES - 2], sizeof prev);
    memcpy(last, rgl.vertices[ZVGL_MAX_VERTICES - 1], sizeof last);
    int mode = rgl.mode;
    const float *carry[2] = {nullptr, nullptr};
    switch (mode) {
    case RGL_LINE_STRIP:
        rgl_finish_primitive(mode, ZVGL_MAX_VERTICES);
        carry[0] = last;
        break;
    case RGL_LINE_LOOP:
        // Drawn open; the loop's first vertex closes it at the end.
        rgl_finish_primitive(RGL_LINE_STRIP, ZVGL_MAX_VERTICES);
        memcpy(rgl.closing_vertex, first, sizeof first);
        rgl.closing_pending = 1;
        rgl.mode = RGL_LINE_STRIP;
        carry[0] = last;
        break;
    case RGL_TRIANGLES:
        rgl_finish_primitive(mode, ZVGL_MAX_VERTICES - 2);
        carry[0] = prev, carry[1] = last;
        break;
    case RGL_TRIANGLE_STRIP:
    case RGL_QUAD_STRIP:
        rgl_finish_primitive(mode, ZVGL_MAX_VERTICES);
        carry[0] = prev, carry[1] = last;
        break;
    case RGL_TRIANGLE_FAN:
    case RGL_POLYGON:
        rgl_finish_primitive(mode, ZVGL_MAX_VERTICES);
        carry[0] = first, carry[1] = last;
        break;
    default: // points, lines, quads: whole units fill the array exactly
        rgl_finish_primitive(mode, ZVGL_MAX_VERTICES);
        break;
    }
    rgl_replay(rgl.finished_vertices);
    for (int i = 0; i < 2 && carry[i]; i++)
        memcpy(rgl.vertices[rgl.open_vertices++], carry[i], sizeof first);
}

static void rgl_add_vertex(const float v[ZVGL_VERTEX_FLOATS]) {
    if (!rgl.in_primitive) return;
    if (rgl.finished_vertices + rgl.open_vertices >= ZVGL_MAX_VERTICES) rgl_split();
    memcpy(rgl.vertices[rgl.finished_vertices + rgl.open_vertices], v,
           ZVGL_VERTEX_FLOATS * sizeof(float));
    rgl.open_vertices++;
}

void zvglBegin(GLenum mode) {
    if (rgl.in_primitive) {
        rgl_log("Error: zvglBegin without zvglEnd\n");
        zvglEnd();
    }
    if (mode > RGL_POLYGON) {
        rgl_log("Error: zvglBegin with unknown mode %u\n", mode);
        return;
    }
    if (!rgl.vao) rgl_create_immediate_buffers();
    rgl.mode = (int)mode;
    rgl.open_vertices = 0;
    rgl.closing_pending = 0;
    rgl.in_primitive = 1;
}

static void rgl_vertex(float x, float y, float z) {
    float v[ZVGL_VERTEX_FLOATS] = {x, y, z, 1.0f};
    memcpy(v + 4, rgl.texcoord, sizeof rgl.texcoord);
    memcpy(v + 8, rgl.color, sizeof rgl.color);
    rgl_add_vertex(v);
}

void zvglVertex2f(float x, float y) {
    rgl_vertex(x, y, 0.0f);
}
void zvglVertex3f(float x, float y, float z) {
    rgl_vertex(x, y, z);
}

void zvglColor4f(float r, float g, float b, float a) {
    rgl.color[0] = r;
    rgl.color[1] = g;
    rgl.color[2] = b;
    rgl.color[3] = a;
}

void zvglTexCoord2f(float s, float t) {
    rgl.texcoord[0] = s;
    rgl.texcoord[1] = t;
    rgl.texcoord[2] = 0.0f;
    rgl.texcoord[3] = 1.0f;
}

void zvglEnd(void) {
    if (!rgl.in_primitive) return;
    if (rgl.closing_pending) {
        rgl.closing_pending = 0;
        rgl_add_vertex(rgl.closing_vertex);
    }
    rgl_finish_primitive(rgl.mode, rgl.open_vertices);
    rgl.in_primitive = 0;
}
