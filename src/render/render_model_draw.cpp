// Drawing models: the lit pass (lit and unshaded blocks, up to the first reflection block) and
// the reflection pass (reflection blocks only), with the level of detail chosen by distance.
#include <cstdint>

#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/zvgl.h"
#include "track/track_lighting.h"

model_draw_state model_draw;

static const render_model *choose(const render_model *m, const float position[3]) {
    float d2 = 0;
    for (int c = 0; c < 3; c++) {
        float d = position[c] - model_draw.camera[c];
        d2 += d * d;
    }
    return model_choose_lod(m, d2 * model_lod_scale * model_lod_scale, model_lod_bias);
}

// Indices [first, first + count) of a level's buffer.
static void draw_range(const render_model *level, int first, int count) {
    if (!level->vao || count <= 0) return;
    zvglBindVertexArray(level->vao);
    zvglDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT,
                     (const void *)((uintptr_t)first * sizeof(uint32_t)));
    zvglBindVertexArray(0);
}

static void draw_block(const render_model *level, const render_model *b) {
    if (b->triangle_count <= 0) return;
    draw_range(level, b->first_index, b->triangle_count * 3);
    model_draw.triangles += b->triangle_count;
    model_draw.vertices += b->vertex_count;
}

// The light a lit or unshaded block gets, as three vec4: ambient rgba, diffuse rgb, specular rgb
// with the shininess in the fourth place.
static void block_material(const render_model *b, float mat[12]) {
    float *ambient = mat, *diffuse = mat + 4, *specular = mat + 8;
    if (b->shininess == -2) {
        for (int c = 0; c < 3; c++) {
            ambient[c] = b->specular[c];
            diffuse[c] = specular[c] = 0;
        }
        specular[3] = 1;
    } else {
        for (int c = 0; c < 3; c++) {
            ambient[c] = lighting.ambient[c] + lighting.global_ambient[c];
            diffuse[c] = lighting.sun_color[c];
            specular[c] = model_draw.specular_map ? lighting.sun_color[c]
                                                  : lighting.sun_color[c] * b->specular[c];
        }
        specular[3] = b->shininess > 0.125f ? b->shininess : 0.125f;
    }
    ambient[3] = model_draw.alpha;
    diffuse[3] = 0;
}

int model_draw_lit(const render_model *m, const float position[3], int bones, const float *centres,
                   const float *translations, const float *rotations) {
    if (!m) return 0;
    const render_model *level = choose(m, position);
    zvglSetBones(bones, centres, translations, rotations);
    int drawn = 0;
    const render_model *b = level;
    if (!model_draw.block_by_block && level->batch_blocks > 1) {
        // The leading lit blocks in one draw, each vertex picking its block's material.
        float materials[MODEL_BATCH_BLOCKS][12];
        for (; drawn < level->batch_blocks; b = b->next, drawn++) {
            block_material(b, materials[drawn]);
            model_draw.triangles += b->triangle_count;
            model_draw.vertices += b->vertex_count;
        }
        zvglSetMaterials(drawn, materials[0]);
        draw_range(level, 0, level->batch_indices);
        // Any lit block beyond the batch takes its material from the single uniforms again.
        if (b && b->shininess != -1) zvglSetMaterials(0, nullptr);
    } else {
        zvglSetMaterials(0, nullptr);
    }
    for (; b; b = b->next) {
        if (b->shininess == -1) break; // reflection blocks come last and belong to the other pass
        float mat[12];
        block_material(b, mat);
        zvglSetAmbient(mat);
        zvglSetDiffuse(mat + 4);
        zvglSetSpecularColor(mat + 8);
        zvglSetShininess(mat[11]);
        draw_block(level, b);
        drawn++;
    }
    return drawn;
}

int model_draw_reflections(const render_model *m, const float position[3], int bones,
                           const float *centres, const float *translations,
                           const float *rotations) {
    if (!m) return 0;
    const render_model *level = choose(m, position);
    zvglSetBones(bones, centres, translations, rotations);
    int drawn = 0;
    if (!model_draw.block_by_block && level->reflection_batch > 0) {
        // Every reflection block in one draw; the tints sit in the specular places of the
        // material array, indexed by block number.
        float materials[MODEL_BATCH_BLOCKS][12] = {};
        int number = 0;
        for (const render_model *b = level; b; b = b->next, number++) {
            if (b->shininess != -1) continue;
            for (int c = 0; c < 3; c++)
                materials[number][8 + c] = b->specular[c] * b->factor;
            model_draw.triangles += b->triangle_count;
            model_draw.vertices += b->vertex_count;
            drawn++;
        }
        zvglSetMaterials(level->reflection_batch, materials[0]);
        draw_range(level, level->reflection_first, level->reflection_indices);
        return drawn;
    }
    zvglSetMaterials(0, nullptr);
    for (const render_model *b = level; b; b = b->next) {
        if (b->shininess != -1) continue;
        float tint[3] = {b->specular[0] * b->factor, b->specular[1] * b->factor,
                         b->specular[2] * b->factor};
        zvglSetSpecularColor(tint);
        draw_block(level, b);
        drawn++;
    }
    return drawn;
}

int model_wants_reflections(const render_model *m, const float position[3]) {
    return m && model_draw.reflections && choose(m, position)->environment;
}
