// The frame's CPU cost with a full grid: 40 bikes on the default track, each posed from the
// simulation and drawn with its rider, under the ground and the sky, from the orbit, rider and
// track-camera views. The GL layer runs on the recording stand-in of the tests (no driver, no
// rasteriser), which keeps no vertex copies and is cleared after every frame, so the time is our
// code's: camera, sky, ground mesh refinement and fans, model posing, the GL command layer and its
// batching, plus the stand-in's own bookkeeping (a real driver's submission cost is not included).
// Each view is timed without and with the HUD (instruments, text column, map, ticker, name tags).
// Prints medians.
#include "../tests/render/render_fake_gl.cpp"
#include "../tests/support/ride_harness.cpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/core_loop.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "render/render_ground_textures.h"
#include "render/render_model.h"
#include "render/render_texture.h"
#include "render/render_view.h"
#include "track/track_centerline.h"
#include "track/track_hooks.h"
#include "track/track_lighting.h"
#include "ui/hud.h"

namespace {

double now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpu_now(void) {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

unsigned texture_load(const char *name) {
    return render_texture_load(name);
}

void forget_recording(void) {
    fake_gl.calls.clear();
    fake_gl.draws.clear();
    fake_gl.uniform_sets.clear();
    fake_gl.texture_uploads.clear();
    fake_gl.uniform_lookups.clear();
}

const int BIKES = 40, WIDTH = 1280, HEIGHT = 720, FRAMES = 200;

} // namespace

int main(void) {
    fake_gl_reset();
    fake_gl.keep_vertices = false;
    if (!zvglInit(fake_gl_loader, nullptr) || !zvglCreatePrograms()) {
        fprintf(stderr, "bench_frame: the GL layer did not start on the stand-in\n");
        return 1;
    }
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    // The drawing side's hooks as the game installs them, before the track loads its textures.
    ground_textures_install();
    track_render.texture_load = texture_load;
    view_install();
    core_settings_init();

    double x, z, heading;
    if (!ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &heading)) {
        fprintf(stderr, "bench_frame: no default track in %s\n", ZV_BINARY_DIR);
        return 1;
    }
    render_font_load_all();
    lighting_defaults();
    lighting_finish();
    ground_textures_sync(-1);

    // 40 bikes in rows of four behind the start along the racing line, each a robot with its
    // own paint.
    track_centerline line = {};
    if (!track_centerline_load("tracks/pinehollow", &line)) {
        fprintf(stderr, "bench_frame: no racing line\n");
        return 1;
    }
    memset(&race, 0, sizeof race);
    for (int k = 0; k < BIKES; k++) {
        float t = line.length - 10.0f * (float)(k / 4), side = -6.0f + 4.0f * (float)(k % 4);
        track_centerline_point a = track_centerline_at(&line, t - 4),
                               b0 = track_centerline_at(&line, t + 4);
        float dx = b0.x - a.x, dz = b0.z - a.z, l = std::hypot(dx, dz);
        dx /= l > 0 ? l : 1;
        dz /= l > 0 ? l : 1;
        float px = (a.x + b0.x) / 2 - dz * side, pz = (a.z + b0.z) / 2 + dx * side;
        bike_record *b = bike_create(k, "crf250(2007)", 1);
        if (!b || !bike_place(b, px, pz, std::atan2(-dx, -dz))) {
            fprintf(stderr, "bench_frame: bike %d could not be placed\n", k);
            return 1;
        }
        race.present[k] = 1;
        race.status[k] = RACE_ROBOT_DRIVEN;
        race.robot_of[k] = k;
    }
    track_centerline_free(&line);
    // A second of standing so suspension and riders settle into their poses.
    for (int t = 0; t < 128; t++) {
        for (int k = 0; k < BIKES; k++)
            bike_prestep(&bike_world.bikes[k]);
        bike_world_step();
        for (int k = 0; k < BIKES; k++)
            bike_update(&bike_world.bikes[k]);
        bike_world.tic++;
    }
    core_loop.viewed_slot = 17; // in the middle of the grid
    // The running order of the grid for the HUD: everyone still on the line, in slot order.
    race.order_count = BIKES;
    for (int k = 0; k < BIKES; k++)
        race.order[k] = {k, 0, 0};
    race.viewed_slot = 17;
    race.local_slot = -1;
    race.lap_total = 3;
    core_loop.frame_width = WIDTH;
    core_loop.frame_height = HEIGHT;
    core_options.draw_fps = core_options.draw_time = core_options.draw_speed = 1;
    hud_map_load("tracks/pinehollow");
    core_loop.orbit_distance = 14;
    core_loop.orbit_height = 4;

    struct view {
        const char *name;
        int mode;
    } views[] = {{"orbit", CORE_VIEW_ORBIT},
                 {"rider", CORE_VIEW_RIDER},
                 {"track camera", CORE_VIEW_CAMERAS}};
    printf("| view | HUD | frame (ms, wall) | frame (ms, CPU) | overlays and flush (ms, CPU) | GL "
           "calls | draws | vertices |\n");
    printf("|---|---|---|---|---|---|---|---|\n");
    // Two more orbit rows without the HUD: with "Enable Reflections" as the game starts, and
    // with the level of detail of "Model Geometric Detail" 25 instead of the default 50.
    core_render_inputs detail;
    core_render_inputs_defaults(&detail);
    core_render_settings defaults = core_render, coarse = core_render;
    core_render_derive(&detail, &defaults);
    detail.model_detail = 25;
    core_render_derive(&detail, &coarse);
    for (int run = 0; run < 8; run++) {
        const view &v = views[run < 6 ? run / 2 : 0];
        int with_hud = run < 6 ? run % 2 : 0;
        core_render.reflections = run == 6;
        model_lod_scale = run == 7 ? coarse.lod_scale : defaults.lod_scale;
        model_lod_bias = run == 7 ? coarse.lod_bias : defaults.lod_bias;
        const char *extra = run == 6 ? ", reflections" : run == 7 ? ", model detail 25" : "";
        // The HUD as the game wires it: name tags in the frame, the ticker over the track
        // cameras, the overlays after the view.
        frame_passes.name_tags = with_hud ? hud_draw_name_tags : nullptr;
        view_ticker = with_hud ? hud_draw_ticker : nullptr;
        std::vector<double> wall, cpu, overlay;
        size_t calls = 0, draws = 0, vertices = 0;
        for (int f = 0; f < FRAMES + 10; f++) {
            forget_recording();
            double a = now(), c = cpu_now();
            view_draw(v.mode, WIDTH, HEIGHT);
            double e = cpu_now();
            if (with_hud) hud_draw_overlays(v.mode);
            zvglFlush();
            double b = now(), d = cpu_now();
            if (f < 10) continue; // the first frames draw every ground level whole
            wall.push_back(b - a);
            cpu.push_back(d - c);
            overlay.push_back(d - e);
            calls = fake_gl.calls.size();
            draws = fake_gl.draws.size();
            vertices = 0;
            for (const fake_gl_draw &dr : fake_gl.draws)
                vertices += (size_t)dr.count;
        }
        printf("| %s%s | %s | %.2f | %.2f | %.3f | %zu | %zu | %zu |\n", v.name, extra,
               with_hud ? "on" : "off", median(wall) * 1e3, median(cpu) * 1e3,
               median(overlay) * 1e3, calls, draws, vertices);
        fflush(stdout);
    }
    forget_recording();
    model_sweep(1);
    render_texture_sweep(1);
    view_release_textures();
    render_font_free_all();
    ground_levels_free();
    ground_free();
    bike_world_destroy();
    zvglShutdown();
    return 0;
}
