// Reading ".jm" files into blocks, with tangents, bad-triangle removal, GL upload and the
// "mesh2" export. Counts come from files that may be downloaded with a track, so every count
// and index is checked before it sizes or addresses anything.
#include "render/render_model.h"

#include <cmath>
#include <cstdarg>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "render/zvgl.h"

void (*model_log_tap)(const char *line);
int model_verbose;

void model_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void model_log(const char *fmt, ...) {
    char line[1200];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    platform_log("%s", line);
    if (model_log_tap) model_log_tap(line);
}

static const float tiny = 1.0f / 1048576.0f; // 2^-20

static void block_free(render_model *b) {
    if (b->vao || b->vbo || b->ibo || b->material_buffer) {
        zvglDeleteVertexArrays(1, &b->vao);
        zvglDeleteBuffers(1, &b->vbo);
        zvglDeleteBuffers(1, &b->ibo);
        zvglDeleteBuffers(1, &b->material_buffer);
    }
    zv_free(b->positions);
    zv_free(b->name);
    zv_free(b);
}

void model_free(render_model *m) {
    while (m) {
        render_model *coarser = m->lod;
        render_model *b = m;
        while (b) {
            render_model *next = b->next;
            block_free(b);
            b = next;
        }
        m = coarser;
    }
}

static char *copy_name(const char *name) {
    size_t n = strlen(name) + 1;
    char *s = (char *)zv_alloc(n);
    memcpy(s, name, n);
    return s;
}

// One allocation for every per-vertex array and the triangles.
static render_model *block_create(const char *name, int v, int t, int bones) {
    render_model *b = (render_model *)zv_alloc_zeroed(1, sizeof *b);
    b->name = copy_name(name);
    b->vertex_count = v;
    b->triangle_count = t;
    b->bone_count = bones;
    size_t per_vertex = 11 + (bones ? 8 : 0);
    size_t words = (size_t)v * per_vertex + (size_t)t * 3;
    float *p = (float *)zv_alloc_zeroed(words ? words : 1, 4);
    b->positions = p;
    b->normals = p + (size_t)v * 3;
    b->tangents = p + (size_t)v * 6;
    b->uvs = p + (size_t)v * 9;
    if (bones) {
        b->weights = p + (size_t)v * 11;
        b->bones = (int32_t *)(p + (size_t)v * 15);
    }
    b->triangles = (int32_t *)(p + (size_t)v * per_vertex);
    return b;
}

static int finite_all(const float *v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return 0;
    return 1;
}

// Position, normal, uv: the common start of every vertex.
static int read_vertex(data_file *f, render_model *b, int i) {
    float v[8];
    if (data_scanf(f, "%f %f %f %f %f %f %f %f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                   &v[7]) != 8 ||
        !finite_all(v, 8))
        return 0;
    memcpy(b->positions + i * 3, v, 12);
    memcpy(b->normals + i * 3, v + 3, 12);
    b->uvs[i * 2] = v[6];
    b->uvs[i * 2 + 1] = 1 - v[7];
    return 1;
}

// Keeps the four strongest of a vertex's bone weights; *warned is set when one was displaced.
static int read_weights(data_file *f, render_model *b, int i, int bones, int *warned) {
    float *w = b->weights + i * 4;
    int32_t *idx = b->bones + i * 4;
    for (int s = 0; s < 4; s++) {
        w[s] = 0;
        idx[s] = 0;
    }
    for (int j = 0; j < bones; j++) {
        float x;
        if (data_scanf(f, "%f", &x) != 1 || !std::isfinite(x)) return 0;
        if (!(x > 0)) continue;
        int m = 0;
        for (int s = 1; s < 4; s++)
            if (w[s] < w[m]) m = s;
        if (w[m] != 0 && !*warned) {
            model_log("Warning: vertex with more than 4 bone influences in '%.900s'\n", b->name);
            *warned = 1;
        }
        // A fifth influence only displaces a weaker one: keeping the four strongest is what
        // the skinning needs, whatever the order of the bones.
        if (x > w[m]) {
            w[m] = x;
            idx[m] = j;
        }
    }
    float sum = w[0] + w[1] + w[2] + w[3];
    if (sum > 0 && std::isfinite(sum)) {
        for (int s = 0; s < 4; s++)
            w[s] /= sum;
    } else {
        for (int s = 0; s < 4; s++) {
            w[s] = 0.25f;
            idx[s] = 0;
        }
    }
    return 1;
}

static int read_triangles(data_file *f, render_model *b) {
    for (int i = 0; i < b->triangle_count; i++) {
        int32_t *t = b->triangles + i * 3;
        if (data_scanf(f, "%d %d %d", &t[0], &t[1], &t[2]) != 3) return 0;
    }
    return 1;
}

void model_tangents(render_model *b) {
    int nv = b->vertex_count;
    float *tan = b->tangents;
    memset(tan, 0, sizeof(float) * 3 * (size_t)nv);
    for (int i = 0; i < b->triangle_count; i++) {
        const int32_t *t = b->triangles + i * 3;
        // Out-of-range triangles are dropped right after; they must not be read here.
        if (t[0] < 0 || t[0] >= nv || t[1] < 0 || t[1] >= nv || t[2] < 0 || t[2] >= nv) continue;
        const float *p0 = b->positions + t[0] * 3, *p1 = b->positions + t[1] * 3,
                    *p2 = b->positions + t[2] * 3;
        const float *u0 = b->uvs + t[0] * 2, *u1 = b->uvs + t[1] * 2, *u2 = b->uvs + t[2] * 2;
        float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        float du1 = u1[0] - u0[0], dv1 = u1[1] - u0[1];
        float du2 = u2[0] - u0[0], dv2 = u2[1] - u0[1];
        float det = du1 * dv2 - dv1 * du2;
        float tv[3];
        if (std::fabs(det) < tiny) {
            float l1 = e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2];
            float l2 = e2[0] * e2[0] + e2[1] * e2[1] + e2[2] * e2[2];
            const float *e = nullptr;
            float l = 0;
            if (l1 > l2)
                e = e1, l = l1;
            else if (l2 > 0)
                e = e2, l = l2;
            if (e) {
                float s = tiny / std::sqrt(l);
                tv[0] = e[0] * s;
                tv[1] = e[1] * s;
                tv[2] = e[2] * s;
            } else {
                tv[0] = tiny;
                tv[1] = tv[2] = 0;
            }
        } else {
            float bt[3];
            for (int k = 0; k < 3; k++) {
                tv[k] = (e1[k] * dv2 - e2[k] * dv1) / det;
                bt[k] = (e2[k] * du1 - e1[k] * du2) / det;
            }
            float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                          e1[0] * e2[1] - e1[1] * e2[0]};
            float c[3] = {tv[1] * bt[2] - tv[2] * bt[1], tv[2] * bt[0] - tv[0] * bt[2],
                          tv[0] * bt[1] - tv[1] * bt[0]};
            if (n[0] * c[0] + n[1] * c[1] + n[2] * c[2] <= 0)
                for (int k = 0; k < 3; k++)
                    tv[k] = -tv[k];
        }
        for (int k = 0; k < 3; k++)
            for (int c = 0; c < 3; c++)
                tan[t[k] * 3 + c] += tv[c];
    }
    for (int i = 0; i < nv; i++) {
        float *t = tan + i * 3;
        float l = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        if (l > 0 && std::isfinite(l)) {
            t[0] /= l;
            t[1] /= l;
            t[2] /= l;
        } else {
            t[0] = 1;
            t[1] = t[2] = 0;
        }
    }
}

int model_delete_bad_triangles(render_model *b) {
    int nv = b->vertex_count, kept = 0;
    const double min_area2 = std::ldexp(1.0, -80);
    for (int i = 0; i < b->triangle_count; i++) {
        int32_t *t = b->triangles + i * 3;
        if (t[0] < 0 || t[0] >= nv || t[1] < 0 || t[1] >= nv || t[2] < 0 || t[2] >= nv) continue;
        const float *p0 = b->positions + t[0] * 3, *p1 = b->positions + t[1] * 3,
                    *p2 = b->positions + t[2] * 3;
        double e1[3] = {(double)p1[0] - p0[0], (double)p1[1] - p0[1], (double)p1[2] - p0[2]};
        double e2[3] = {(double)p2[0] - p0[0], (double)p2[1] - p0[1], (double)p2[2] - p0[2]};
        double c[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                       e1[0] * e2[1] - e1[1] * e2[0]};
        if (c[0] * c[0] + c[1] * c[1] + c[2] * c[2] < min_area2) continue;
        memmove(b->triangles + kept * 3, t, 12);
        kept++;
    }
    int dropped = b->triangle_count - kept;
    b->triangle_count = kept;
    return dropped;
}

// Static buffers and the vertex array of a whole level, skipped without a GL context (tools,
// headless tests). One buffer for all blocks lets the lit blocks go in one draw, each vertex
// carrying its block's number; a block alone is a range of the index buffer.
static void level_upload(render_model *level) {
    const zvgl_context_info *info = zvglContextInfo();
    size_t v = 0, t = 0;
    int bones = level->bone_count;
    for (render_model *b = level; b; b = b->next) {
        b->first_index = (int)(t * 3);
        v += (size_t)b->vertex_count;
        t += (size_t)b->triangle_count;
    }
    // A level too big for 32-bit index offsets (a corrupt or hostile file) is not drawn.
    if (t * 3 > (size_t)INT32_MAX || v > (size_t)INT32_MAX) return;
    int lit = 0;
    for (render_model *b = level; b && b->shininess != -1 && lit < MODEL_BATCH_BLOCKS; b = b->next)
        lit++;
    level->batch_blocks = lit;
    level->batch_indices = 0;
    {
        int k = 0;
        for (render_model *b = level; k < lit; b = b->next, k++)
            level->batch_indices += b->triangle_count * 3;
    }
    // Reflection blocks come last, so theirs is one range too; a file that breaks that order
    // draws them one by one.
    level->reflection_batch = level->reflection_first = level->reflection_indices = 0;
    int number = 0, reflections = 0, fits = 1;
    for (render_model *b = level; b; b = b->next, number++) {
        if (b->shininess != -1) {
            if (reflections) fits = 0;
            continue;
        }
        if (!reflections++) level->reflection_first = b->first_index;
        level->reflection_indices += b->triangle_count * 3;
    }
    if (fits && reflections > 1 && number <= MODEL_BATCH_BLOCKS) level->reflection_batch = number;
    if (!info || info->major < 3 || v == 0) return;
    size_t per_vertex = 11 + (bones ? 8 : 0);
    float *data = (float *)zv_alloc(v * per_vertex * 4);
    uint32_t *tris = (uint32_t *)zv_alloc((t ? t : 1) * 12);
    unsigned char *material = (unsigned char *)zv_alloc(v);
    // Each array of every block after the same array of the blocks before it.
    const size_t offsets[6] = {0, v * 3, v * 6, v * 9, v * 11, v * 15};
    size_t at = 0, ti = 0;
    number = 0;
    for (render_model *b = level; b; b = b->next, number++) {
        size_t n = (size_t)b->vertex_count;
        memcpy(data + offsets[0] + at * 3, b->positions, n * 12);
        memcpy(data + offsets[1] + at * 3, b->normals, n * 12);
        memcpy(data + offsets[2] + at * 3, b->tangents, n * 12);
        memcpy(data + offsets[3] + at * 2, b->uvs, n * 8);
        if (bones) {
            memcpy(data + offsets[4] + at * 4, b->weights, n * 16);
            memcpy(data + offsets[5] + at * 4, b->bones, n * 16);
        }
        memset(material + at, number < MODEL_BATCH_BLOCKS ? number : 0, n);
        for (int i = 0; i < b->triangle_count * 3; i++)
            tris[ti++] = (uint32_t)b->triangles[i] + (uint32_t)at;
        at += n;
    }
    zvglGenVertexArrays(1, &level->vao);
    zvglGenBuffers(1, &level->vbo);
    zvglGenBuffers(1, &level->ibo);
    zvglGenBuffers(1, &level->material_buffer);
    zvglBindVertexArray(level->vao);
    zvglBindBuffer(GL_ARRAY_BUFFER, level->vbo);
    zvglBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(v * per_vertex * 4), data, GL_STATIC_DRAW);
    struct {
        GLuint index;
        GLint size;
        GLenum type;
        size_t offset;
    } attrs[] = {{ZVGL_ATTR_POSITION, 3, GL_FLOAT, offsets[0] * 4},
                 {ZVGL_ATTR_NORMAL, 3, GL_FLOAT, offsets[1] * 4},
                 {ZVGL_ATTR_TANGENT, 3, GL_FLOAT, offsets[2] * 4},
                 {ZVGL_ATTR_TEXCOORD, 2, GL_FLOAT, offsets[3] * 4},
                 {ZVGL_ATTR_WEIGHTS, 4, GL_FLOAT, offsets[4] * 4},
                 {ZVGL_ATTR_BONES, 4, GL_INT, offsets[5] * 4}};
    int count = bones ? 6 : 4;
    for (int i = 0; i < count; i++) {
        zvglEnableVertexAttribArray(attrs[i].index);
        zvglVertexAttribPointer(attrs[i].index, attrs[i].size, attrs[i].type, GL_FALSE, 0,
                                (const void *)attrs[i].offset);
    }
    zvglBindBuffer(GL_ARRAY_BUFFER, level->material_buffer);
    zvglBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)v, material, GL_STATIC_DRAW);
    zvglEnableVertexAttribArray(ZVGL_ATTR_MATERIAL);
    zvglVertexAttribPointer(ZVGL_ATTR_MATERIAL, 1, GL_UNSIGNED_BYTE, GL_FALSE, 0, nullptr);
    zvglBindBuffer(GL_ELEMENT_ARRAY_BUFFER, level->ibo);
    zvglBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)(t * 12), tris, GL_STATIC_DRAW);
    zvglBindVertexArray(0);
    zvglBindBuffer(GL_ARRAY_BUFFER, 0);
    zv_free(material);
    zv_free(tris);
    zv_free(data);
}

// Tangents and bad triangles: what every block gets after reading (the upload is per level).
static void block_finish(render_model *b, int *deleted) {
    model_tangents(b);
    *deleted += model_delete_bad_triangles(b);
}

static render_model *read_legacy(data_file *f, const char *name, int *deleted) {
    int v, t;
    if (data_scanf(f, "%d %d", &v, &t) != 2 || v < 0 || v > MODEL_VERTICES_MAX || t < 0 ||
        t > MODEL_TRIANGLES_MAX)
        return nullptr;
    render_model *b = block_create(name, v, t, 0);
    b->specular[0] = b->specular[1] = b->specular[2] = 1;
    b->factor = 1;
    b->shininess = 32;
    for (int i = 0; i < v; i++)
        if (!read_vertex(f, b, i)) {
            block_free(b);
            return nullptr;
        }
    if (!read_triangles(f, b)) {
        block_free(b);
        return nullptr;
    }
    block_finish(b, deleted);
    return b;
}

// One block, or null when it does not start (end of the chain) or breaks off.
static render_model *read_block(data_file *f, const char *name, int bones, int *deleted) {
    float s, k, rgb[3];
    int v, t;
    if (data_scanf(f, "%f %f %f %f %f %d %d", &s, &k, &rgb[0], &rgb[1], &rgb[2], &v, &t) != 7)
        return nullptr;
    float mat[5] = {s, k, rgb[0], rgb[1], rgb[2]};
    if (!finite_all(mat, 5) || v < 0 || v > MODEL_VERTICES_MAX || t < 0 || t > MODEL_TRIANGLES_MAX)
        return nullptr;
    render_model *b = block_create(name, v, t, bones);
    memcpy(b->specular, rgb, sizeof rgb);
    b->shininess = s;
    b->factor = s < 0 ? k : 1;
    int warned = 0;
    for (int i = 0; i < v; i++) {
        if (!read_vertex(f, b, i) || (bones && !read_weights(f, b, i, bones, &warned))) {
            block_free(b);
            return nullptr;
        }
    }
    if (!read_triangles(f, b)) {
        block_free(b);
        return nullptr;
    }
    block_finish(b, deleted);
    return b;
}

render_model *model_parse(const char *name) {
    data_file *f = data_open(name, "rb");
    if (!f) return nullptr;
    int deleted = 0;
    render_model *first = nullptr;
    int c;
    do
        c = data_getc(f);
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n');
    data_ungetc(f, c);
    if (c == 'J') {
        int version = 0, bones = 0;
        char word[1024];
        int ok = data_scanf(f, "JM%d", &version) == 1;
        if (ok && version == 2)
            ok = data_scanf(f, "%d %1023s", &bones, word) == 2 && bones >= 0 &&
                 bones <= MODEL_BONES_MAX;
        else if (ok && version != 1)
            ok = 0;
        if (ok) {
            render_model **tail = &first;
            while (render_model *b = read_block(f, name, bones, &deleted)) {
                *tail = b;
                tail = &b->next;
            }
        }
    } else {
        first = read_legacy(f, name, &deleted);
    }
    data_close(f);
    if (first) {
        for (render_model *b = first; b; b = b->next)
            if (b->shininess == -1) first->environment = 1;
        level_upload(first);
    }
    if (deleted) model_log("%d degenerate triangles deleted in %.100s\n", deleted, name);
    return first;
}

static void pov_vectors(FILE *out, const char *title, const float *v, int n, int dims) {
    fprintf(out, "\t%s {\n", title);
    fprintf(out, "\t\t%d\n", n);
    for (int i = 0; i < n; i++) {
        const char *sep = i + 1 < n ? "," : "";
        if (dims == 3)
            fprintf(out, "\t\t<%f,%f,%f>%s\n", v[i * 3], v[i * 3 + 1], v[i * 3 + 2], sep);
        else
            fprintf(out, "\t\t<%f,%f>%s\n", v[i * 2], v[i * 2 + 1], sep);
    }
    fprintf(out, "\t}\n");
}

int model_export_pov(const render_model *m, FILE *out) {
    if (!m || !out) return 0;
    int wrap = m->next != nullptr;
    if (wrap) fprintf(out, "union {\n");
    for (const render_model *b = m; b; b = b->next) {
        fprintf(out, "mesh2 {\n");
        pov_vectors(out, "vertex_vectors", b->positions, b->vertex_count, 3);
        pov_vectors(out, "normal_vectors", b->normals, b->vertex_count, 3);
        pov_vectors(out, "uv_vectors", b->uvs, b->vertex_count, 2);
        fprintf(out, "\tface_indices {\n");
        fprintf(out, "\t\t%d\n", b->triangle_count);
        for (int i = 0; i < b->triangle_count; i++) {
            const int32_t *t = b->triangles + i * 3;
            fprintf(out, "\t\t<%d,%d,%d>%s\n", t[0], t[1], t[2],
                    i + 1 < b->triangle_count ? "," : "");
        }
        fprintf(out, "\t}\n");
        fprintf(out, "}\n");
    }
    if (wrap) fprintf(out, "}\n");
    return ferror(out) ? 0 : 1;
}
