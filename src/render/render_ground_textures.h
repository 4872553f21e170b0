// The GL side of the ground's data: the height, light and detail-level textures the terrain
// module asks for, the ground program's uniforms, and the upload of changed height blocks.
#pragma once

#include <cstdint>

// Specular factor and exponent / 128 painted into the third texture of every level: dirt is
// nearly matte.
#define GROUND_SPECULAR_FACTOR 0.12f
#define GROUND_SPECULAR_EXPONENT 0.08f

// One-channel float heights of w x h texels from rows of `stride` floats, linear filtering.
unsigned ground_textures_height_create(const float *heights, int stride, int w, int h);
void ground_textures_height_update(unsigned tex, const float *heights, int stride, int x, int y,
                                   int w, int h);
// One-channel 8-bit light map with mipmaps, trilinear minification.
unsigned ground_textures_light_create(const uint8_t *light, int stride, int w, int h);
// RGB t x t texture with a mip chain (a detail-level texture; the level redraw rebuilds it).
unsigned ground_textures_rgb_create(const uint8_t *rgb, int t);
void ground_textures_delete(unsigned tex);
// Spacing and 1 / (size - 1) of the loaded grid, given to the ground program when it draws.
void ground_textures_uniforms(float spacing, float inv_cells);
// Gives the fog to the programs that draw the scene.
void ground_textures_fog(const float color[3], float density);

// Makes "terrain" current with the height texture on unit 3 and the grid, light and material
// uniforms set; the light direction is set by the caller (it is in eye space).
void ground_textures_begin(void);

// Brings changed height blocks into the height texture: budget blocks, or all when budget < 0.
// Returns how many were brought.
int ground_textures_sync(int budget);

// Installs the entries above in the track module's drawing hooks, with the texture memory
// counter of the texture cache.
void ground_textures_install(void);
