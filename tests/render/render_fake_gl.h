// A recording stand-in for an OpenGL driver. It keeps enough state (buffers, vertex arrays,
// shaders, programs, uniforms, texture uploads) for tests to see what the GL layer drew and set,
// and hands its functions out through a loader like a real context would.
#pragma once

#include "render/zvgl.h"

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

struct fake_gl_call {
    std::string name;
    std::vector<long long> args;
};

// One draw as GL would assemble it: the vertices in the order the primitive uses them (indices
// already resolved), read from the buffers as they were at the moment of the draw.
struct fake_gl_draw {
    GLenum mode;
    bool indexed;
    GLuint program;
    int first, count; // arrays: first vertex and count; elements: index count
    bool range_ok;    // every index inside the declared [start, end]
    std::vector<std::array<float, ZVGL_VERTEX_FLOATS>> vertices;
};

struct fake_gl_uniform_set {
    GLuint program;
    std::string name;
    std::string kind; // "1i", "1f", "2fv", "3fv", "4fv", "m3", "m4"
    int count;
    std::vector<float> values;
};

struct fake_gl_texture_upload {
    GLuint texture;
    int width, height;
    GLenum format;
    std::vector<unsigned char> bytes; // first pixel row(s), RGB/RGBA unsigned bytes only
};

struct fake_gl_state {
    // What the context reports.
    std::string vendor = "Fake Vendor", renderer = "Fake Renderer";
    std::string version = "4.5 (Core Profile) Fake";
    const char *extensions = nullptr;
    std::set<std::string> missing_functions; // the loader returns null for these

    // Failure injection: the n-th shader compiled (1-based) fails; link fails for the n-th program.
    int fail_compile_at = 0;
    int fail_link_at = 0;
    std::string compile_log; // non-empty: every shader reports this info log
    // Draws keep copies of their vertices; a benchmark turns this off so the stand-in's own
    // bookkeeping stays small beside the code it measures.
    bool keep_vertices = true;

    // Recording.
    std::vector<fake_gl_call> calls;
    std::vector<fake_gl_draw> draws;
    std::vector<fake_gl_uniform_set> uniform_sets;
    std::vector<fake_gl_texture_upload> texture_uploads;
    std::vector<std::string> shader_texts; // as handed to glShaderSource, in order
    std::map<std::pair<GLuint, std::string>, int> uniform_lookups;

    // Object state.
    GLuint next_name = 1;
    std::map<GLuint, std::vector<unsigned char>> buffers;
    std::map<GLuint, GLuint> vao_element_buffer, vao_vertex_buffer;
    GLuint array_buffer = 0, vertex_array = 0, current_program = 0, bound_texture = 0;
    std::map<GLuint, std::string> shader_source;
    std::map<GLuint, GLenum> shader_type;
    std::map<GLuint, bool> shader_compiled;
    std::map<GLuint, std::vector<GLuint>> program_shaders;
    std::map<GLuint, std::map<std::string, GLint>> program_locations; // assigned at lookup
    std::map<GLuint, bool> program_linked;
    std::set<GLuint> live_shaders, live_programs;
    int compiles = 0, links = 0;
};

extern fake_gl_state fake_gl;

// Clears everything back to a fresh desktop 4.5 core context.
void fake_gl_reset(void);
// A zvgl_loader over the fake's functions; `user` is ignored.
void *fake_gl_loader(void *user, const char *name);
// How many recorded calls have this name.
int fake_gl_count(const char *name);
// Index in the call log of the first call with this name at or after `from`, or -1.
int fake_gl_find(const char *name, int from = 0);
// The last values set for a uniform of a program, or null.
const fake_gl_uniform_set *fake_gl_last_uniform(GLuint program, const char *name);
