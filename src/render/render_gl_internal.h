// State shared by the GL layer's files. Nothing outside src/render/render_gl*.cpp includes this.
#pragma once

#include "render/zvgl.h"

#include <cstdint>

enum {
    // Queue opcodes, one word each, followed by their argument words.
    RGL_OP_ACTIVE_TEXTURE = 1,
    RGL_OP_BIND_TEXTURE = 2,
    RGL_OP_BLEND_FUNC = 3,
    RGL_OP_DEPTH_FUNC = 4,
    RGL_OP_DEPTH_MASK = 5,
    RGL_OP_DISABLE = 6,
    RGL_OP_DRAW_ARRAYS = 7,
    RGL_OP_DRAW_ELEMENTS = 8,
    RGL_OP_ENABLE = 9,
    RGL_OP_FRUSTUM = 10,
    RGL_OP_LOAD_MATRIX = 11,
    RGL_OP_LOAD_IDENTITY = 12,
    RGL_OP_MATRIX_MODE = 13,
    RGL_OP_MULT_MATRIX = 14,
    RGL_OP_ORTHO = 15,
    RGL_OP_POP_MATRIX = 16,
    RGL_OP_PUSH_MATRIX = 17,
    RGL_OP_ROTATE = 18,
    RGL_OP_SCALE = 19,
    RGL_OP_TRANSLATE = 20,
};

// Uniforms looked up lazily per program slot; -2 means not looked up yet, -1 absent.
enum {
    RGL_U_MODELVIEW,
    RGL_U_PROJECTION,
    RGL_U_TEXTURE0, // .. RGL_U_TEXTURE0 + 7
    RGL_U_NBONES = RGL_U_TEXTURE0 + ZVGL_TEXTURE_UNITS,
    RGL_U_BONE_C,
    RGL_U_BONE_T,
    RGL_U_BONE_R,
    RGL_U_FOG_COLOR,
    RGL_U_FOG_DENSITY,
    RGL_U_AMBIENT,
    RGL_U_DIFFUSE,
    RGL_U_SHININESS,
    RGL_U_SPECULAR_COLOR,
    RGL_U_LIGHT_POSITION,
    RGL_U_SPACING,
    RGL_U_SPACING_INV,
    RGL_U_TEXOFFSET,
    RGL_U_TEXSCALE,
    RGL_U_HEIGHTS_DIM_INV,
    RGL_U_ENVMAT,
    RGL_U_NMATERIALS,
    RGL_U_MATERIALS,
    RGL_U_COUNT,
};

struct rgl_stack {
    float m[ZVGL_STACK_DEPTH][16];
    int depth;
};

struct rgl_state {
    zvgl_context_info info;

    rgl_stack stacks[ZVGL_STACKS];
    int stack;       // current stack 0..9
    int active_unit; // 0..7
    unsigned dirty;  // bit per stack

    // Immediate mode.
    float vertices[ZVGL_MAX_VERTICES][ZVGL_VERTEX_FLOATS];
    uint16_t indices[ZVGL_MAX_INDICES];
    float color[4];
    float texcoord[4];
    int finished_vertices; // base of the open primitive
    int open_vertices;
    int finished_indices;
    int mode;         // GL primitive number 0..9 of the open primitive
    int in_primitive; // between zvglBegin and zvglEnd
    float closing_vertex[ZVGL_VERTEX_FLOATS];
    int closing_pending; // a split line loop still owes its first vertex
    GLuint vao, vbo, ibo;

    uint32_t queue[ZVGL_QUEUE_WORDS];
    int queue_words;
    int replaying;

    GLuint programs[ZVGL_PROGRAM_COUNT];
    GLuint vertex_shaders[ZVGL_PROGRAM_COUNT];
    GLuint fragment_shaders[ZVGL_PROGRAM_COUNT];
    int current_program;
    int program_switches;
    int texture_binds; // binds handed to GL (the HUD's "Texture Changes")
    GLint uniforms[ZVGL_PROGRAM_COUNT][RGL_U_COUNT];
    // The counts last given to u_nbones and u_nmaterials per program (-1 unknown): every model
    // part sets them, and setting a zero that is already there is worth skipping.
    int nbones[ZVGL_PROGRAM_COUNT], nmaterials[ZVGL_PROGRAM_COUNT];

    GLuint white_texture, flat_normal_texture;
    int started;
};

extern rgl_state rgl;
extern const char *const rgl_uniform_names[RGL_U_COUNT];

// Formats one line to the platform log and the observer.
void rgl_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Logs, writes to stderr and ends the process with status 1.
[[noreturn]] void rgl_fatal(const char *text);

// Matrix maths and stack operations (render_gl_matrix.cpp).
void rgl_identity(float m[16]);
void rgl_multiply(float out[16], const float a[16], const float b[16]);
void rgl_reset_stacks(void);
void rgl_apply_matrix_op(int op, const float *args);
// Uploads every dirty matrix to the current program; dies when slot 0 is current.
void rgl_prepare_draw(void);

// Queue (render_gl_queue.cpp).
void rgl_queue(int op, const uint32_t *args, int nargs);
void rgl_queue_f(int op, const float *args, int nargs);
// Replays with only the first `upload` vertices of the array sent to GL.
void rgl_replay(int upload_vertices);

// Immediate mode (render_gl_immediate.cpp).
void rgl_reset_immediate(void);
int rgl_create_immediate_buffers(void);

// Programs (render_gl_program.cpp).
GLint rgl_uniform(int which);
void rgl_reset_uniform_caches(void);
void rgl_delete_programs(void);

// Shader sources (render_gl_shaders.cpp): the whole text, beginning with the three header lines.
const char *rgl_shader_source(int program, int fragment);
extern const char *const rgl_program_names[ZVGL_PROGRAM_COUNT];
