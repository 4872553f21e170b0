// The ten matrix stacks kept on the CPU: model-view, projection and one texture matrix per unit.
// Operations are queued and applied here when the queue is replayed; dirty tops are uploaded to
// the current program only when a draw needs them.
#include "render/render_gl_internal.h"

#include <cmath>
#include <cstring>

void rgl_identity(float m[16]) {
    memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// Column-major: out = a x b. out may alias a or b.
void rgl_multiply(float out[16], const float a[16], const float b[16]) {
    float r[16];
    for (int col = 0; col < 4; col++) {
        for (int row = 0; row < 4; row++) {
            float sum = 0.0f;
            for (int k = 0; k < 4; k++)
                sum += a[k * 4 + row] * b[col * 4 + k];
            r[col * 4 + row] = sum;
        }
    }
    memcpy(out, r, sizeof r);
}

void rgl_reset_stacks(void) {
    for (int s = 0; s < ZVGL_STACKS; s++) {
        for (int level = 0; level < ZVGL_STACK_DEPTH; level++)
            rgl_identity(rgl.stacks[s].m[level]);
        rgl.stacks[s].depth = 0;
    }
    rgl.stack = 0;
    rgl.active_unit = 0;
    rgl.dirty = (1u << ZVGL_STACKS) - 1;
}

static float *rgl_top(void) {
    rgl_stack *s = &rgl.stacks[rgl.stack];
    return s->m[s->depth];
}

static void rgl_mult_top(const float m[16]) {
    float *top = rgl_top();
    rgl_multiply(top, top, m);
}

static void rgl_rotation(float m[16], float degrees, float x, float y, float z) {
    rgl_identity(m);
    float len = sqrtf(x * x + y * y + z * z);
    if (!(len > 0.0f) || !std::isfinite(len)) return; // no axis: leave the identity
    x /= len;
    y /= len;
    z /= len;
    float a = degrees * (float)(M_PI / 180.0);
    float c = cosf(a), s = sinf(a), t = 1.0f - c;
    m[0] = x * x * t + c;
    m[1] = y * x * t + z * s;
    m[2] = x * z * t - y * s;
    m[4] = x * y * t - z * s;
    m[5] = y * y * t + c;
    m[6] = y * z * t + x * s;
    m[8] = x * z * t + y * s;
    m[9] = y * z * t - x * s;
    m[10] = z * z * t + c;
}

// Returns 0 for a degenerate volume, which GL would refuse too.
static int rgl_frustum(float m[16], const float *a) {
    float l = a[0], r = a[1], b = a[2], t = a[3], n = a[4], f = a[5];
    if (r == l || t == b || f == n) return 0;
    memset(m, 0, 16 * sizeof(float));
    m[0] = 2.0f * n / (r - l);
    m[5] = 2.0f * n / (t - b);
    m[8] = (r + l) / (r - l);
    m[9] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -1.0f;
    m[14] = -2.0f * f * n / (f - n);
    return 1;
}

static int rgl_ortho(float m[16], const float *a) {
    float l = a[0], r = a[1], b = a[2], t = a[3], n = a[4], f = a[5];
    if (r == l || t == b || f == n) return 0;
    rgl_identity(m);
    m[0] = 2.0f / (r - l);
    m[5] = 2.0f / (t - b);
    m[10] = -2.0f / (f - n);
    m[12] = -(r + l) / (r - l);
    m[13] = -(t + b) / (t - b);
    m[14] = -(f + n) / (f - n);
    return 1;
}

void rgl_apply_matrix_op(int op, const float *args) {
    float m[16];
    rgl_stack *s = &rgl.stacks[rgl.stack];
    switch (op) {
    case RGL_OP_MATRIX_MODE: {
        uint32_t mode;
        memcpy(&mode, args, sizeof mode);
        if (mode == GL_MODELVIEW)
            rgl.stack = 0;
        else if (mode == GL_PROJECTION)
            rgl.stack = 1;
        else if (mode == GL_TEXTURE)
            rgl.stack = 2 + rgl.active_unit;
        return;
    }
    case RGL_OP_PUSH_MATRIX:
        if (s->depth >= ZVGL_STACK_DEPTH - 1) {
            rgl_log("Error: zvglPushMatrix overflowed\n");
            return;
        }
        memcpy(s->m[s->depth + 1], s->m[s->depth], sizeof s->m[0]);
        s->depth++;
        return; // the top is unchanged, so nothing to upload
    case RGL_OP_POP_MATRIX:
        if (s->depth == 0) {
            rgl_log("Error: zvglPopMatrix with empty stack\n");
            return;
        }
        s->depth--;
        break;
    case RGL_OP_LOAD_IDENTITY:
        rgl_identity(rgl_top());
        break;
    case RGL_OP_LOAD_MATRIX:
        memcpy(rgl_top(), args, 16 * sizeof(float));
        break;
    case RGL_OP_MULT_MATRIX:
        rgl_mult_top(args);
        break;
    case RGL_OP_TRANSLATE:
        rgl_identity(m);
        m[12] = args[0];
        m[13] = args[1];
        m[14] = args[2];
        rgl_mult_top(m);
        break;
    case RGL_OP_SCALE:
        rgl_identity(m);
        m[0] = args[0];
        m[5] = args[1];
        m[10] = args[2];
        rgl_mult_top(m);
        break;
    case RGL_OP_ROTATE:
        rgl_rotation(m, args[0], args[1], args[2], args[3]);
        rgl_mult_top(m);
        break;
    case RGL_OP_FRUSTUM:
        if (!rgl_frustum(m, args)) return;
        rgl_mult_top(m);
        break;
    case RGL_OP_ORTHO:
        if (!rgl_ortho(m, args)) return;
        rgl_mult_top(m);
        break;
    default:
        return;
    }
    rgl.dirty |= 1u << rgl.stack;
}

void rgl_prepare_draw(void) {
    if (rgl.current_program == ZVGL_PROGRAM_NONE) rgl_fatal("Error: Fixed shader used\n");
    if (!rgl.dirty) return;
    for (int s = 0; s < ZVGL_STACKS; s++) {
        if (!(rgl.dirty & (1u << s))) continue;
        // Stacks 0, 1 and 2+i map onto the cache entries in the same order.
        GLint loc = rgl_uniform(RGL_U_MODELVIEW + s);
        if (loc >= 0)
            zvgl_fn.glUniformMatrix4fv(loc, 1, GL_FALSE, rgl.stacks[s].m[rgl.stacks[s].depth]);
    }
    rgl.dirty = 0;
}

// ---- queued calls ------------------------------------------------------------------------------

void zvglMatrixMode(GLenum mode) {
    uint32_t arg = mode;
    rgl_queue(RGL_OP_MATRIX_MODE, &arg, 1);
}

void zvglLoadIdentity(void) {
    rgl_queue(RGL_OP_LOAD_IDENTITY, nullptr, 0);
}
void zvglLoadMatrixf(const float m[16]) {
    rgl_queue_f(RGL_OP_LOAD_MATRIX, m, 16);
}
void zvglMultMatrixf(const float m[16]) {
    rgl_queue_f(RGL_OP_MULT_MATRIX, m, 16);
}
void zvglPushMatrix(void) {
    rgl_queue(RGL_OP_PUSH_MATRIX, nullptr, 0);
}
void zvglPopMatrix(void) {
    rgl_queue(RGL_OP_POP_MATRIX, nullptr, 0);
}

void zvglTranslatef(float x, float y, float z) {
    float a[3] = {x, y, z};
    rgl_queue_f(RGL_OP_TRANSLATE, a, 3);
}

void zvglRotatef(float angle_degrees, float x, float y, float z) {
    float a[4] = {angle_degrees, x, y, z};
    rgl_queue_f(RGL_OP_ROTATE, a, 4);
}

void zvglScalef(float x, float y, float z) {
    float a[3] = {x, y, z};
    rgl_queue_f(RGL_OP_SCALE, a, 3);
}

void zvglFrustum(double l, double r, double b, double t, double n, double f) {
    float a[6] = {(float)l, (float)r, (float)b, (float)t, (float)n, (float)f};
    rgl_queue_f(RGL_OP_FRUSTUM, a, 6);
}

void zvglOrtho(double l, double r, double b, double t, double n, double f) {
    float a[6] = {(float)l, (float)r, (float)b, (float)t, (float)n, (float)f};
    rgl_queue_f(RGL_OP_ORTHO, a, 6);
}

const float *zvglGetMatrix(void) {
    // Queued operations must land before the caller reads the result.
    zvglFlushQueue();
    return rgl_top();
}

int zvglCurrentStack(void) {
    zvglFlushQueue();
    return rgl.stack;
}

int zvglStackDepth(int stack) {
    zvglFlushQueue();
    if (stack < 0 || stack >= ZVGL_STACKS) return -1;
    return rgl.stacks[stack].depth;
}

int zvglActiveUnit(void) {
    zvglFlushQueue();
    return rgl.active_unit;
}
