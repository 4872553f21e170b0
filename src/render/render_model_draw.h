// Model drawing passes. The caller binds the colour, normal and specular maps, sets the
// model-view matrix and the program ("norm_spec_lit" for the lit pass, "norm_env" for the
// reflection pass).
#pragma once

struct render_model;

struct model_draw_state {
    float camera[3];          // eye position for the level-of-detail choice
    float alpha;              // model alpha the caller set
    int specular_map;         // a real specular map is bound: the specular colour is the sun's
    int reflections;          // the environment-reflection setting
    int block_by_block;       // one draw per block: the reference the batched draw must match
    long triangles, vertices; // frame statistics
};
extern model_draw_state model_draw;

// Both return the number of blocks drawn. bones may be 0 (the arrays are then unused).
int model_draw_lit(const render_model *m, const float position[3], int bones, const float *centres,
                   const float *translations, const float *rotations);
int model_draw_reflections(const render_model *m, const float position[3], int bones,
                           const float *centres, const float *translations, const float *rotations);
int model_wants_reflections(const render_model *m, const float position[3]);
