// Textures: every picture is loaded once by name, its levels built on the CPU, reduced, and
// uploaded through the zvgl layer. A texture is known by its GL name (the texture id); 0 means
// none. Animated textures (".seq") advance per tic, and scripts compose frames by pasting.
#pragma once

#include <GL/glcorearb.h>

#include <cstddef>
#include <cstdint>

// Flags of a texture.
enum {
    RENDER_TEXTURE_REPEAT_S = 1,
    RENDER_TEXTURE_REPEAT_T = 2,
    RENDER_TEXTURE_COMPRESS = 4,
    RENDER_TEXTURE_SINGLE_LEVEL = 8,
};

// The module's settings: the size-reduction level (0..10, from the texture detail), the
// compression setting (0 never, 1 when the ".info" asks, 2 always) and verbose messages.
struct render_texture_settings {
    int reduction;
    int compression;
    int verbose;
};
extern render_texture_settings render_texture_config;

// Sets the reduction from a detail setting: 10 - detail, clamped to 0..10.
void render_texture_set_detail(int detail);

// The track loader starts a new generation once per track load; the memory total restarts at 0
// and counts the textures created or used in the new generation.
void render_texture_new_generation(void);
int render_texture_generation(void);
size_t render_texture_memory(void);

// Flags from a name: "-repeat." both directions, "-hrepeat." s only, "-vrepeat." t only.
int render_texture_name_flags(const char *name);

GLuint render_texture_load(const char *name);
// The table lookup alone (exact, then ignoring case with a warning); 0 if absent.
GLuint render_texture_find(const char *name);
const char *render_texture_name(GLuint id);
const char *render_texture_info(GLuint id);
// If name ends with ending, loads name with that ending replaced; else 0.
GLuint render_texture_load_companion(const char *name, const char *ending, const char *replacement);

// Uploads levels (all of them, one after another) after resampling, reduction and redundant
// level removal. Adds nothing to the table.
GLuint render_texture_create(uint8_t *levels, int width, int height, int bpp, int reduction,
                             int flags, const char *name);
// Clamp to edge, trilinear, every level, no reduction or compression (fonts, number plates).
GLuint render_texture_create_plain(const uint8_t *levels, int width, int height, int bpp);

// Screenshots: an 8-bit RGB PNG from rows read back bottom to top. 1 on success.
int render_texture_write_png(const char *name, const uint8_t *rgb, int width, int height);
// Reads the current frame buffer back as RGB rows (bottom to top) into a zv_alloc buffer the
// caller frees; null for a size that is not a valid picture.
uint8_t *render_texture_read_back_rgb(int width, int height);

// ---- animations --------------------------------------------------------------------------------

// The play-list entry shown at tic t: (t - start) / step, wrapped with loop, else held at the end.
int render_texture_anim_entry(int tic, int start, int step, int length, int loop);
void render_texture_animate(int tic);
void render_texture_restart_animation(GLuint id, int start_tic);
void render_texture_stop_animation(GLuint id);
// Introspection for tests and the console: the frame now uploaded, or -1 without an animation.
int render_texture_anim_frame(GLuint id);

// Custom frames for scripts. Each returns 1 on success, 0 on failure.
int render_texture_begin_custom_frame(GLuint id);
int render_texture_paste(GLuint id, int frame, float sx, float sy, float dx, float dy, float w,
                         float h);
int render_texture_end_custom_frame(GLuint id);

// The rectangle arithmetic of pasting on a W x H frame: source and destination corners and size
// in pixels. 0 when nothing is left to copy.
struct render_paste_rect {
    int x0, y0, x1, y1, n, m;
};
int render_texture_paste_rect(int W, int H, float sx, float sy, float dx, float dy, float w,
                              float h, render_paste_rect *r);
// Composites one source pixel onto a destination pixel (bpp 3 copies, bpp 4 blends by alpha).
void render_texture_paste_pixel(const uint8_t *s, uint8_t *d, int bpp);

// ---- lifetime ----------------------------------------------------------------------------------

// Deletes textures of older generations (all with all != 0), then orphaned animations.
void render_texture_sweep(int all);

// The names in the file list that begin with prefix (texture variants such as "wheels-"), sorted
// and owned by the module until the next call with the same slot or render_texture_sweep(1).
// slot 0..7. Returns the count; *names receives the array.
int render_texture_variants(int slot, const char *prefix, const char *const **names);
