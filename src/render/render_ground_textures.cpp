// Ground textures on the GPU. The terrain module owns the data and asks for its textures through
// hooks, so headless loads make none; this file answers those hooks with GL objects.
#include "render/render_ground_textures.h"

#include "render/render_texture.h"
#include "render/zvgl.h"
#include "track/track_hooks.h"
#include "track/track_lighting.h"
#include "track/track_terrain.h"

#include <cstring>
#include <vector>

#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif

namespace {

struct ground_gl {
    float spacing;
    float inv_cells;
};
ground_gl ground_gl_state = {1.0f, 1.0f};

unsigned new_texture(void) {
    if (!zvglStarted()) return 0;
    GLuint tex = 0;
    zvglGenTextures(1, &tex);
    zvglActiveTexture(GL_TEXTURE0);
    zvglBindTexture(GL_TEXTURE_2D, tex);
    zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return tex;
}

void clamp_to_edge(void) {
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

} // namespace

unsigned ground_textures_height_create(const float *heights, int stride, int w, int h) {
    if (!heights || w <= 0 || h <= 0 || stride < w) return 0;
    unsigned tex = new_texture();
    if (!tex) return 0;
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, stride);
    zvglTexImage2D(GL_TEXTURE_2D, 0, GL_R32F, w, h, 0, GL_RED, GL_FLOAT, heights);
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // ES 3.0 filters 32-bit floats only with an extension: without it a linear filter would
    // leave the texture incomplete and every height 0.
    const zvgl_context_info *ci = zvglContextInfo();
    int linear =
        !ci->es || (ci->extensions && strstr(ci->extensions, "GL_OES_texture_float_linear"));
    GLint filter = linear ? GL_LINEAR : GL_NEAREST;
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    clamp_to_edge();
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

void ground_textures_height_update(unsigned tex, const float *heights, int stride, int x, int y,
                                   int w, int h) {
    if (!tex || !heights || w <= 0 || h <= 0 || stride < w || x < 0 || y < 0 || !zvglStarted())
        return;
    zvglActiveTexture(GL_TEXTURE0);
    zvglBindTexture(GL_TEXTURE_2D, tex);
    zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, stride);
    zvglTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RED, GL_FLOAT, heights);
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    zvglBindTexture(GL_TEXTURE_2D, 0);
}

unsigned ground_textures_light_create(const uint8_t *light, int stride, int w, int h) {
    if (!light || w <= 0 || h <= 0 || stride < w) return 0;
    unsigned tex = new_texture();
    if (!tex) return 0;
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, stride);
    zvglTexImage2D(GL_TEXTURE_2D, 0, GL_R8, w, h, 0, GL_RED, GL_UNSIGNED_BYTE, light);
    zvglPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    zvglGenerateMipmap(GL_TEXTURE_2D);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    clamp_to_edge();
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

unsigned ground_textures_rgb_create(const uint8_t *rgb, int t) {
    if (!rgb || t <= 0) return 0;
    unsigned tex = new_texture();
    if (!tex) return 0;
    // RGBA so that every driver can render into it; ES wants the pixels in the same layout.
    std::vector<uint8_t> rgba((size_t)t * t * 4);
    for (size_t i = 0; i < (size_t)t * t; i++) {
        memcpy(&rgba[i * 4], rgb + i * 3, 3);
        rgba[i * 4 + 3] = 255;
    }
    zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, t, t, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    zvglGenerateMipmap(GL_TEXTURE_2D);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    clamp_to_edge();
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return tex;
}

void ground_textures_delete(unsigned tex) {
    if (!tex || !zvglStarted()) return;
    // Pictures of the texture cache (sky faces) stay cached by name; its sweep deletes them.
    if (render_texture_name(tex)) return;
    GLuint name = tex;
    zvglDeleteTextures(1, &name);
}

void ground_textures_uniforms(float spacing, float inv_cells) {
    ground_gl_state.spacing = spacing;
    ground_gl_state.inv_cells = inv_cells;
}

void ground_textures_fog(const float color[3], float density) {
    int previous = zvglCurrentProgram();
    static const int programs[] = {ZVGL_PROGRAM_NORM_SPEC_LIT, ZVGL_PROGRAM_TERRAIN,
                                   ZVGL_PROGRAM_UNLIT};
    for (int p : programs) {
        zvglUseProgram(p);
        zvglSetFogColor(color);
        zvglSetFogDensity(density);
    }
    zvglUseProgram(previous);
}

void ground_textures_begin(void) {
    zvglUseProgram(ZVGL_PROGRAM_TERRAIN);
    zvglSetTerrainSpacing(ground_gl_state.spacing);
    zvglSetHeightsDimInv(ground_gl_state.inv_cells);
    // The ground takes the light as the models do, so a bike on sunlit dirt is lit like the dirt.
    float ambient[4], diffuse[3], specular[3];
    for (int c = 0; c < 3; c++) {
        ambient[c] = lighting.ambient[c] + lighting.global_ambient[c];
        diffuse[c] = lighting.sun_color[c];
        specular[c] = lighting.sun_color[c];
    }
    ambient[3] = 1;
    zvglSetAmbient(ambient);
    zvglSetDiffuse(diffuse);
    zvglSetSpecularColor(specular);
    zvglSetFogDensity(lighting.fog_density);
    zvglActiveTexture(GL_TEXTURE3);
    zvglBindTexture(GL_TEXTURE_2D, terrain.height_texture);
    zvglActiveTexture(GL_TEXTURE0);
}

int ground_textures_sync(int budget) {
    if (!terrain_present()) return 0;
    if (budget < 0) {
        int before = 0;
        for (int bk = 0; bk < terrain.blocks; bk++)
            for (int bi = 0; bi < terrain.blocks; bi++)
                before += terrain_block_changed(bi, bk);
        terrain_sync_all();
        return before;
    }
    return terrain_sync(budget);
}

static unsigned long texture_memory(void) {
    return (unsigned long)render_texture_memory();
}

void ground_textures_install(void) {
    track_render.height_texture_create = ground_textures_height_create;
    track_render.height_texture_update = ground_textures_height_update;
    track_render.light_texture_create = ground_textures_light_create;
    track_render.rgb_texture_create = ground_textures_rgb_create;
    track_render.texture_delete = ground_textures_delete;
    track_render.terrain_uniforms = ground_textures_uniforms;
    track_render.texture_memory = texture_memory;
    track_render.texture_memory_reset = render_texture_new_generation;
    lighting_fog_apply = ground_textures_fog;
}
