// ".jm" triangle models: blocks with their materials, optional skinning with up to four bone
// influences per vertex, coarser level-of-detail variants found by file name, and a cache by
// name that is swept after each track load.
#pragma once

#include <cstdint>
#include <cstdio>

enum {
    MODEL_BONES_MAX = 32,          // the skinning uniforms hold no more
    MODEL_VERTICES_MAX = 1 << 20,  // per block; a larger count is a corrupt file
    MODEL_TRIANGLES_MAX = 1 << 21, // per block
    MODEL_LOD_MAX = 16,            // coarser levels kept per model
    MODEL_BATCH_BLOCKS = 16,       // lit blocks one draw can carry (the shader's materials)
};

// One block of a model; the first block of a level is also the level, and the first block of the
// full level is the model.
struct render_model {
    char *name;
    render_model *next;  // next block of this level
    render_model *lod;   // next coarser level (first block of a level only)
    float lod_threshold; // distance from which that level is used
    int generation;      // cache generation of the last use (first block of the model)
    int environment;     // some block of this level is an environment-reflection block
    // GL objects of the whole level (first block of a level only): every block's vertices back
    // to back, the triangles rebased onto them, and each vertex's block number for batching.
    unsigned vao, vbo, ibo, material_buffer;
    int first_index;   // where this block's triangles start in the level's index buffer
    int batch_blocks;  // first block of a level: its leading lit blocks that draw as one
    int batch_indices; // and their index count
    // First block of a level: its trailing reflection blocks when they all draw as one (block
    // numbers below MODEL_BATCH_BLOCKS), else 0; where their indices start, and how many.
    int reflection_batch, reflection_first, reflection_indices;
    int vertex_count, triangle_count, bone_count;
    float specular[3]; // specular colour (lit), constant colour (unshaded), tint (reflection)
    float factor;      // K: 1 for lit blocks
    float shininess;   // S: -1 reflection, -2 unshaded, else the specular exponent
    // Arrays in one allocation: positions, normals, tangents (3 floats each), uv (2 floats),
    // with bones weights (4 floats) and bone indices (4 ints); then triangles (3 ints each).
    float *positions, *normals, *tangents, *uvs, *weights;
    int32_t *bones;
    int32_t *triangles;
};

struct render_model_cache {
    render_model **models;
    int count, capacity;
    int generation; // incremented by the track loader once per load
    int sweeps;     // sweeps that freed something: a failed load may be worth a new try
};
extern render_model_cache model_cache;

// Receives every line the model code logs (tests and tools); the platform log gets them too.
extern void (*model_log_tap)(const char *line); // seam: tests and tools read the log
// Verbose sweep messages.
extern int model_verbose;
// Level-of-detail scale and bias used at draw time.
extern float model_lod_scale, model_lod_bias;

// Parses one ".jm" file into a chain of blocks (no level-of-detail search, no cache). Null when
// the file cannot be opened, the header is bad or the first block is incomplete.
render_model *model_parse(const char *name);
// Frees a whole model: its blocks and its coarser levels, with their GL objects.
void model_free(render_model *m);

// Cached model by name (exact, then ignoring case with a warning); stamps a found model with
// the current generation unless its stamp is 0. Null when absent.
render_model *model_find(const char *name);
// Find, or parse with the level-of-detail search and add to the cache.
render_model *model_load(const char *name);
// Frees every model when all is 1, else those stamped neither 0 nor the current generation.
void model_sweep(int all);
// The track loader's once-per-load step: models used from now on carry the new generation.
void model_new_generation(void);

// Attaches the "_lod<d>" variants of a "@" name found among the given file names (the data
// index's file list in the game) to a parsed model.
void model_find_lods(render_model *m, const char *name, const char *const *files, int count);
// The level to draw at squared distance dist2 (already scaled) with the given bias.
const render_model *model_choose_lod(const render_model *m, float dist2, float bias);

// Computes the per-vertex tangents of a block from its positions and texture coordinates.
void model_tangents(render_model *b);
// Drops triangles with indices out of range or (nearly) zero area; returns how many.
int model_delete_bad_triangles(render_model *b);

// Writes each block as a "mesh2" object; several blocks are wrapped in a union. 1 on success.
int model_export_pov(const render_model *m, FILE *out);
