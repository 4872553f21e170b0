// The game's wiring of the drawing side: the entries the GL layer, textures, models, ground,
// view, menus and HUD install in the core's and the simulation's hook tables. The executable and
// the GL start-up tests install the same set, so a test run draws as the game does.
#include "game/game_wiring.h"

#include "core/core_hooks.h"
#include "platform/platform.h"
#include "core/core_options.h"
#include "editor/editor.h"
#include "race/race.h"
#include "net/net_client.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "render/render_ground_textures.h"
#include "render/render_loading.h"
#include "render/render_texture.h"
#include "render/render_view.h"
#include "render/zvgl.h"
#include "ui/hud.h"
#include "render/render_model.h"
#include "render/render_objects.h"
#include "track/track_hooks.h"
#include "track/track_lighting.h"
#include "track/track_terrain.h"
#include "ui/ui_menu.h"

namespace {

int gl_start(platform_window *w, int *major, int *minor, int *es) {
    if (!zvglInit(zvgl_platform_loader, w)) return 0;
    const zvgl_context_info *ci = zvglContextInfo();
    platform_log("GL_VENDOR: %s\n", ci->vendor);
    platform_log("GL_RENDERER: %s\n", ci->renderer);
    platform_log("GL_VERSION: %s\n", ci->version);
    platform_log("GL_EXTENSIONS: %s\n", ci->extensions ? ci->extensions : "NULL");
    *major = ci->major;
    *minor = ci->minor;
    *es = ci->es;
    return 1;
}

// The ground's own GL objects go before the layer stops; a restarted context makes new ones.
void gl_stop(void) {
    view_release_textures();
    ground_levels_free();
    ground_free();
    zvglShutdown();
}

// Fixed state, and the drawing settings start-up derived from the configuration and the
// command line: texture size reduction and compression, model level of detail, verbosity.
void gl_setup(void) {
    zvglClearColor(0.196f, 0.6f, 0.8f, 1.0f);
    render_texture_config.reduction = core_render.model_texture_reduction;
    render_texture_config.compression = core_render.texture_compression;
    model_lod_scale = core_render.lod_scale;
    model_lod_bias = core_render.lod_bias;
    // --debug: missing textures, sweeps and deleted models are reported.
    render_texture_config.verbose = core_render.debug_level;
    model_verbose = core_render.debug_level;
}

void load_hud_pictures(void) {
    static const char *const pictures[] = {"!@tach.png", "!@shifter.png", "!@pitboard.png",
                                           "!@title.png"};
    for (const char *name : pictures)
        render_texture_load(name);
}

void delete_textures(void) {
    render_texture_sweep(1);
}

int write_png(const char *name, const unsigned char *rgb, int width, int height) {
    return render_texture_write_png(name, rgb, width, height);
}

unsigned track_texture_load(const char *name) {
    return render_texture_load(name);
}

// Ground tiles shrink by "Ground Texture Levels", models and objects by "Model Texture Detail".
unsigned ground_texture_load(const char *name) {
    int model = render_texture_config.reduction;
    render_texture_config.reduction = core_render.ground_texture_reduction;
    unsigned id = render_texture_load(name);
    render_texture_config.reduction = model;
    return id;
}

// Every track load starts a texture and model generation and takes the ground's settings: its
// detail textures are 128 << k texels, and its mesh tolerance (0.125 / detail) is the settings'.
// The number plates go too: the new lineup may put riders on other slots.
void track_textures_begin(void) {
    view_release_textures();
    int k = 0;
    while (k < 5 && (128 << (k + 1)) <= core_render.ground_texture_size)
        k++;
    terrain_texture_detail = k;
    if (core_render.detail > 0) frame_config.ground_detail = 0.125f / core_render.detail;
    render_texture_new_generation();
    model_new_generation();
}

void terrain_update(int budget) {
    ground_textures_sync(budget);
}

// Models and textures no track uses any more go at the end of a load, so changing tracks does
// not pile up texture memory.
void sweep_unused(void) {
    model_sweep(0);
    render_texture_sweep(0);
}

} // namespace

void game_install_drawing_hooks(void) {
    core_hook.gl_start = gl_start;
    net_program.renderer = [] { return (const char *)zvglContextInfo()->renderer; };
    core_hook.gl_programs = zvglCreatePrograms;
    core_hook.gl_flush = zvglFlush;
    core_hook.gl_finish = zvglFinish;
    core_hook.gl_setup = gl_setup;
    core_hook.gl_stop = gl_stop;
    core_hook.load_fonts = render_font_load_all;
    core_hook.free_fonts = render_font_free_all;
    core_hook.load_hud_pictures = load_hud_pictures;
    core_hook.delete_textures = delete_textures;
    core_hook.delete_models = [] { model_sweep(1); };
    core_hook.write_png = write_png;
    core_hook.read_back_rgb = render_texture_read_back_rgb;
    core_hook.draw_view = view_draw;
    core_hook.draw_menus = ui_menu_draw;
    view_install();
    editor_install();
    objects_draw_install(); // trees, spectators, flaggers and roost
    core_hook.terrain_update = terrain_update;
    core_hook.reshade_terrain = ground_levels_invalidate;
    ground_textures_install();
    track_render.texture_memory_reset = track_textures_begin;
    track_render.texture_load = track_texture_load;
    track_render.ground_texture_load = ground_texture_load;
    track_render.sweep_unused = sweep_unused;
    track_steps.lighting_load = lighting_load;
    loading_screen_install();
    core_hook.status_line = loading_screen_show;
    core_hook.draw_text_centred = overlay_text_centred;
    // The HUD: overlays after the view, the ticker over the track cameras, name tags in the
    // frame, the suspension history at the end of every race tic, the map of every track load.
    core_hook.draw_overlays = hud_draw_overlays;
    view_ticker = hud_draw_ticker;
    frame_passes.name_tags = hud_draw_name_tags;
    race_steps.suspension_graph = hud_suspension_sample;
    track_steps.map_load = hud_map_load;
}
