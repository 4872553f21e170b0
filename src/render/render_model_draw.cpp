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

static void draw_block(const render_model *b) {
    if (!b->vao || b->triangle_count <= 0) return;
    zvglBindVertexArray(b->vao);
    zvglDrawElements(GL_TRIANGLES, b->triangle_count * 3, GL_UNSIGNED_INT, nullptr);
    zvglBindVertexArray(0);
    model_draw.triangles += b->triangle_count;
    model_draw.vertices += b->vertex_count;
}

int model_draw_lit(const render_model *m, const float position[3], int bones, const float *centres,
                   const float *translations, const float *rotations) {
    if (!m) return 0;
    const render_model *level = choose(m, position);
    zvglSetBones(bones, centres, translations, rotations);
    int drawn = 0;
    for (const render_model *b = level; b; b = b->next) {
        if (b->shininess == -1) break; // reflection blocks come last and belong to the other pass
        float ambient[4], diffuse[3], specular[3];
        if (b->shininess == -2) {
            for (int c = 0; c < 3; c++) {
                ambient[c] = b->specular[c];
                diffuse[c] = specular[c] = 0;
            }
            ambient[3] = model_draw.alpha;
            zvglSetShininess(1);
        } else {
            for (int c = 0; c < 3; c++) {
                ambient[c] = lighting.ambient[c] + lighting.global_ambient[c];
                diffuse[c] = lighting.sun_color[c];
                specular[c] = model_draw.specular_map ? lighting.sun_color[c]
                                                      : lighting.sun_color[c] * b->specular[c];
            }
            ambient[3] = model_draw.alpha;
            zvglSetShininess(b->shininess > 0.125f ? b->shininess : 0.125f);
        }
        zvglSetAmbient(ambient);
        zvglSetDiffuse(diffuse);
        zvglSetSpecularColor(specular);
        draw_block(b);
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
    for (const render_model *b = level; b; b = b->next) {
        if (b->shininess != -1) continue;
        float tint[3] = {b->specular[0] * b->factor, b->specular[1] * b->factor,
                         b->specular[2] * b->factor};
        zvglSetSpecularColor(tint);
        draw_block(b);
        drawn++;
    }
    return drawn;
}

int model_wants_reflections(const render_model *m, const float position[3]) {
    return m && model_draw.reflections && choose(m, position)->environment;
}
