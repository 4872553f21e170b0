// The graphics settings as the game applies them: the program started as the executable starts
// it (its drawing wiring, the configuration file, the command line) on a real GL context, racing
// on the default track, and each setting seen in what the frames draw: texture sizes and formats,
// model triangles, the camera's matrices, lens-flare read-backs, animated texture contents, the
// printed orientation, and the GL textures alive after a second load of the same track.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "data/data_index.h"
#include "game/game_wiring.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render_flare.h"
#include "render/render_frame.h"
#include "render/render_model_draw.h"
#include "render/render_texture.h"
#include "render/render_view.h"
#include "render/zvgl.h"
#include "track/track_lighting.h"
#include "track/track_terrain.h"
#include "ui/hud.h"

namespace {

const char *const TILE = "@tracks/pinehollow/hardpack.png";
const char *const ANIM = "@zvtest-anim.seq";

// What one run saw.
struct run_record {
    int frames = 0;         // race frames drawn
    int view_mode = -1;     // of the last frame
    int compressed = 0;     // cached textures GL stores compressed
    int tile_width = 0;     // the hard-packed dirt tile, from GL
    int sky_width = 0;      // a sky face
    long triangles = 0;     // model triangles of the last measured frame
    float eye_back = 0;     // camera behind the bike's frame, along the ground
    float eye_up = 0;       // camera above the bike's frame
    float eye_side = 0;     // camera to the bike's right
    float projection_x = 0; // projection matrix [0]: narrower for a wider field of view
    long flare_reads = 0;   // flare read-backs during the measured frames
    int billboards = 0;     // most billboards and decals the render statistics counted a frame
    int decals = 0;
    std::set<unsigned> anim_colours;
    std::vector<int> textures;            // live GL textures before each reload and at the end
    std::vector<size_t> memory;           // the loader's texture memory figure at the same times
    int reloaded = 0;                     // loads after the first
    std::vector<std::string> orientation; // printed lines
    std::string log;
};

run_record rec;
int g_measure_from, g_quit_at, g_reload_at, g_tab_at, g_slide;
unsigned g_anim;
void (*g_riders)(int);
void (*g_overlays)(int);
void (*g_terrain_update)(int);

int gl_width(unsigned tex, GLenum what = GL_TEXTURE_WIDTH) {
    GLint v = 0;
    zvglBindTexture(GL_TEXTURE_2D, tex);
    zvglGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &v);
    zvglBindTexture(GL_TEXTURE_2D, 0);
    return v;
}

int live_textures(void) {
    int n = 0;
    for (GLuint id = 1; id < 4096; id++)
        n += gl_width(id) > 0;
    while (zvglGetError() != GL_NO_ERROR) {
    }
    return n;
}

// One texel of a texture's level 0 through a framebuffer, as 0xRRGGBB.
unsigned texel(unsigned tex) {
    GLuint fb = 0;
    zvglGenFramebuffers(1, &fb);
    zvglBindFramebuffer(GL_FRAMEBUFFER, fb);
    zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
    unsigned char px[4] = {0, 0, 0, 0};
    if (zvglCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
        zvglReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    zvglBindFramebuffer(GL_FRAMEBUFFER, 0);
    zvglDeleteFramebuffers(1, &fb);
    return (unsigned)px[0] << 16 | (unsigned)px[1] << 8 | px[2];
}

const bike_record *viewed_bike(void) {
    int s = core_loop.viewed_slot;
    return s >= 0 && s < BIKE_SLOTS && bike_world.bikes[s].present ? &bike_world.bikes[s] : nullptr;
}

// Inside the frame, with the camera's matrices current: where the camera is, and the sun put
// straight ahead so that the flare test has its pixel to read.
void probe_riders(int pass) {
    long before = model_draw.triangles;
    if (pass == 0 && rec.frames >= g_measure_from) {
        zvglMatrixMode(GL_PROJECTION);
        rec.projection_x = zvglGetMatrix()[0];
        zvglMatrixMode(GL_MODELVIEW);
        const float *m = zvglGetMatrix();
        float eye[3];
        for (int i = 0; i < 3; i++)
            eye[i] = -(m[i * 4] * m[12] + m[i * 4 + 1] * m[13] + m[i * 4 + 2] * m[14]);
        if (const bike_record *b = viewed_bike()) {
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
            const dReal *r = dBodyGetRotation(b->body[BIKE_FRAME]);
            float d[3] = {eye[0] - (float)p[0], eye[1] - (float)p[1], eye[2] - (float)p[2]};
            rec.eye_up = d[1];
            // The bike faces -z of its frame: behind is +z.
            float bx = (float)r[2], bz = (float)r[10], l = std::sqrt(bx * bx + bz * bz);
            rec.eye_back = l > 0 ? (d[0] * bx + d[2] * bz) / l : 0;
            rec.eye_side = l > 0 ? (d[0] * bz - d[2] * bx) / l : 0;
        }
        for (int i = 0; i < lighting.flare_count; i++)
            if (lighting.flares[i].kind == 1)
                for (int k = 0; k < 3; k++)
                    lighting.flares[i].vector[k] = -m[k * 4 + 2]; // the view's -z, in world
        rec.triangles = 0;
    }
    g_riders(pass);
    if (rec.frames >= g_measure_from) rec.triangles += model_draw.triangles - before;
}

void probe_overlays(int view_mode) {
    g_overlays(view_mode);
    if (view_mode == CORE_VIEW_TITLE) return;
    rec.billboards = std::max(rec.billboards, hud.stats_now[2]);
    rec.decals = std::max(rec.decals, hud.stats_now[3]);
    rec.frames++;
    rec.view_mode = view_mode;
    if (rec.frames == g_tab_at) {
        SDL_Event e = {};
        e.type = SDL_KEYDOWN;
        e.key.state = SDL_PRESSED;
        e.key.keysym.scancode = SDL_SCANCODE_TAB;
        e.key.keysym.sym = SDLK_TAB;
        SDL_PushEvent(&e);
        e.type = SDL_KEYUP;
        e.key.state = SDL_RELEASED;
        SDL_PushEvent(&e);
    }
    // Counted in the same view before and after the second load.
    if (g_reload_at && (rec.frames - g_reload_at) % 4 == 3) {
        rec.textures.push_back(live_textures());
        rec.memory.push_back(render_texture_memory());
    }
    if (rec.frames == 1) {
        if (!g_reload_at) g_anim = render_texture_load(ANIM); // the reload would sweep it
        for (GLuint id = 1; id < 4096; id++)
            rec.compressed += render_texture_name(id) && gl_width(id, GL_TEXTURE_COMPRESSED);
        if (GLuint tile = render_texture_find(TILE)) rec.tile_width = gl_width(tile);
        rec.sky_width = gl_width(lighting.sky[0]);
    }
    if (g_anim) rec.anim_colours.insert(texel(g_anim));
    if (rec.frames == g_measure_from) rec.flare_reads = flare_stats.read_backs;
    if (rec.frames == g_quit_at) {
        rec.flare_reads = flare_stats.read_backs - rec.flare_reads;
        if (rec.reloaded) rec.textures.push_back(live_textures());
        if (rec.reloaded) rec.memory.push_back(render_texture_memory());
        SDL_Event e = {};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
    }
}

// Between frames: the program's own restart of the race loads the track a second time; with
// g_slide the bike slides sideways at 30 ft/s, so a chase camera that follows the direction of
// travel swings round to its side.
void probe_terrain_update(int budget) {
    g_terrain_update(budget);
    const bike_record *b = viewed_bike();
    if (g_slide && b && rec.frames >= g_measure_from - 1) {
        const dReal *r = dBodyGetRotation(b->body[BIKE_FRAME]);
        dReal l = std::sqrt(r[2] * r[2] + r[10] * r[10]);
        if (l > 0) dBodySetLinearVel(b->body[BIKE_FRAME], 30 * r[10] / l, 0, -30 * r[2] / l);
    }
    if (g_reload_at && rec.frames == g_reload_at + 4 * rec.reloaded && rec.reloaded < 2 &&
        core_hook.race_restart_rotated) {
        rec.reloaded++;
        core_hook.race_restart_rotated();
    }
}

struct GameSettingsGl : testing::Test {
    std::string home;
    void SetUp() override {
        if (!getenv("SDL_VIDEODRIVER") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
        platform_request_gl_version(3, 2, PLATFORM_GL_CORE);
        platform_window *w = platform_create_gl_window("Zelvo", 64, 64, 32, 8, 24, 8, 0);
        if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
        platform_destroy_gl_window(w);
        char tmpl[] = "/tmp/zv_game_gl_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        home = tmpl;
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        setenv("ZV_HOME", ZV_BINARY_DIR, 1);
        std::filesystem::create_directories(home + "/Zelvo/tracks/pinehollow");
        // A 512 x 512 tile in the home folder stands in for the track's 128 x 128 one, so that
        // the ground's texture setting has something to shrink.
        std::vector<uint8_t> tile(512 * 512 * 3);
        uint32_t seed = 12345;
        for (uint8_t &b : tile) {
            seed = seed * 1664525u + 1013904223u;
            b = (uint8_t)(96 + (seed >> 26));
        }
        ASSERT_EQ(1,
                  render_texture_write_png((home + "/Zelvo/tracks/pinehollow/hardpack.png").c_str(),
                                           tile.data(), 512, 512));
        // A two-frame animation, one tic a frame: red, then blue (inline predictive RGB).
        std::ofstream anim(home + "/Zelvo/zvtest-anim.seq", std::ios::binary);
        anim << "ANIM1 2 2 1 1\n0 1 \n";
        const unsigned char red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
        for (const unsigned char *c : {red, blue}) {
            anim << "J6 4 4\n";
            for (int i = 0; i < 16; i++)
                if (i == 0)
                    anim.write((const char *)c, 3);
                else
                    anim.write("\0\0\0", 3); // same as the prediction
        }
    }
    void TearDown() override {
        if (home.empty()) return;
        unsetenv("XDG_DATA_HOME");
        unsetenv("ZV_HOME");
        std::error_code ignored;
        if (!getenv("ZV_KEEP_HOME")) std::filesystem::remove_all(home, ignored);
    }
    // One run: the configuration lines, extra options; the race view from the second frame
    // (Tab to the chase view at frame `tab`), measured from `measure` on, quit at `quit`.
    run_record run(const std::string &config, std::vector<const char *> extra, int tab = 0,
                   int measure = 3, int quit = 5, int reload = 0, int slide = 0) {
        {
            std::ofstream out(home + "/Zelvo/config");
            out << "laps=1\nminutes=0\nskill=Expert\nrecord=No\nslot00=Human\n";
            for (int i = 1; i < 40; i++)
                out << "slot" << (i < 10 ? "0" : "") << i << "=Empty\n";
            out << config;
        }
        rec = run_record();
        g_measure_from = measure;
        g_quit_at = quit;
        g_tab_at = tab;
        g_reload_at = reload;
        g_slide = slide;
        g_anim = 0;
        core_hook = core_hooks();
        frame_passes = frame_pass_hooks();
        file_index_free();
        data_root_reset();
        game_install_drawing_hooks();
        g_riders = frame_passes.riders;
        frame_passes.riders = probe_riders;
        g_overlays = core_hook.draw_overlays;
        core_hook.draw_overlays = probe_overlays;
        g_terrain_update = core_hook.terrain_update;
        core_hook.terrain_update = probe_terrain_update;
        char orient[] = "/tmp/zv_orient_XXXXXX";
        int fd = mkstemp(orient);
        view_orientation_out = fd >= 0 ? fdopen(fd, "w+") : nullptr;
        std::vector<const char *> args = {"zelvo",    "--nosound",  "--lock-fps", "30",
                                          "--track",  "pinehollow", "--width",    "320",
                                          "--height", "240"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char *> argv;
        for (const char *a : args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        std::string log_path = home + "/log.txt";
        setenv("QUVA_LOGFILE", log_path.c_str(), 1);
        platform_log_reset();
        int rc = core_main((int)argv.size() - 1, argv.data());
        platform_log_reset();
        unsetenv("QUVA_LOGFILE");
        std::ifstream log(log_path);
        rec.log.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
        if (view_orientation_out) {
            fflush(view_orientation_out);
            rewind(view_orientation_out);
            char line[512];
            while (fgets(line, sizeof line, view_orientation_out))
                rec.orientation.push_back(line);
            fclose(view_orientation_out);
            view_orientation_out = nullptr;
            remove(orient);
        }
        EXPECT_EQ(rc, 0) << config;
        return rec;
    }
};

// Texture detail, ground texture levels and compression reach the textures GL holds; an
// animated texture plays on the race clock; the gimbal's view prints its orientation.
TEST_F(GameSettingsGl, TextureSettingsReachTheTexturesAndAnimationsPlay) {
    run_record full = run("model_texture_detail=10\nground_texture_detail=10\n"
                          "texture_compress=No\n",
                          {"--print-orientation"}, 0, 3, 8);
    run_record low = run("model_texture_detail=8\nground_texture_detail=9\n"
                         "texture_compress=Always\n",
                         {});
    ASSERT_GE(full.frames, 5);
    ASSERT_GE(low.frames, 5);
    // Two halvings stop at 128 texels; the ground's one setting halves its tile once.
    EXPECT_EQ(full.sky_width, 256);
    EXPECT_EQ(low.sky_width, 128) << "Model Texture Detail";
    EXPECT_EQ(full.tile_width, 512);
    EXPECT_EQ(low.tile_width, 256) << "Ground Texture Levels";
    EXPECT_EQ(full.compressed, 0);
    EXPECT_GT(low.compressed, 0) << "Compress Textures";
    EXPECT_EQ(full.anim_colours, (std::set<unsigned>{0xff0000, 0x0000ff})) << "animated texture";
    // The rider view prints a line a frame: time, eye and the camera's axes.
    EXPECT_GE((int)full.orientation.size(), full.frames);
    for (const std::string &line : full.orientation) {
        double t, p[3], x[3], z[3];
        ASSERT_EQ(10, sscanf(line.c_str(),
                             "t=%lf p0=%lf p1=%lf p2=%lf x0=%lf x1=%lf x2=%lf "
                             "z0=%lf z1=%lf z2=%lf",
                             &t, p, p + 1, p + 2, x, x + 1, x + 2, z, z + 1, z + 2))
            << line;
        EXPECT_NEAR(x[0] * z[0] + x[1] * z[1] + x[2] * z[2], 0, 1e-3) << line;
    }
    EXPECT_TRUE(low.orientation.empty()) << "printed without --print-orientation";
}

// The chase view takes the 3rd-person distance, height and field of view; lens flares are
// tested only when enabled; coarser model detail draws fewer triangles, and so do the level of
// detail options; a second load of the track leaves as many GL textures as the first.
TEST_F(GameSettingsGl, CameraDetailAndFlareSettingsChangeTheFrame) {
    const std::string near_camera = "third_person_distance=6\nthird_person_height=2\nfov=60\n";
    run_record near_run =
        run(near_camera + "lens_flare=Yes\nmodel_detail=100\n", {"--debug"}, 2, 5, 13, 6, 1);
    run_record far_run = run("third_person_distance=30\nthird_person_height=15\nfov=100\n"
                             "lens_flare=No\nmodel_detail=100\n",
                             {}, 2, 5, 7);
    run_record coarse = run(near_camera + "model_detail=0\nrigid_camera=Yes\n", {}, 2, 5, 7, 0, 1);
    run_record biased = run(near_camera + "model_detail=100\n", {"--lod-bias", "100000"}, 2, 5, 7);
    run_record scaled = run(near_camera + "model_detail=100\n", {"--lod-scale", "1000"}, 2, 5, 7);
    ASSERT_EQ(near_run.view_mode, CORE_VIEW_ORBIT);
    ASSERT_EQ(far_run.view_mode, CORE_VIEW_ORBIT);
    EXPECT_NEAR(std::hypot(near_run.eye_back, near_run.eye_side), 6.5, 1.5)
        << "3rd Person Distance";
    EXPECT_GT(far_run.eye_back, 25);
    EXPECT_GT(far_run.eye_up, near_run.eye_up + 8) << "3rd Person Height";
    // Sliding sideways the camera follows the slide, unless it is rigid.
    EXPECT_GT(std::fabs(near_run.eye_side), 4);
    EXPECT_LT(std::fabs(coarse.eye_side), 1) << "Rigid 3rd person camera";
    EXPECT_NEAR(coarse.eye_back, 6.5, 1.5);
    EXPECT_LT(far_run.projection_x, near_run.projection_x * 0.6f) << "Field Of View";
    EXPECT_GT(near_run.flare_reads, 0) << "Enable Lens Flares";
    EXPECT_EQ(far_run.flare_reads, 0);
    // Trees, spectators and flaggers, and the start box painted into the ground.
    EXPECT_GT(near_run.billboards, 10) << "render statistics: billboards";
    EXPECT_GT(near_run.decals, 0) << "render statistics: decals";
    EXPECT_GT(near_run.triangles, 0);
    EXPECT_LT(coarse.triangles, near_run.triangles) << "Model Geometric Detail";
    EXPECT_LT(biased.triangles, near_run.triangles) << "--lod-bias";
    EXPECT_LT(scaled.triangles, near_run.triangles) << "--lod-scale";
    ASSERT_EQ(near_run.reloaded, 2);
    ASSERT_EQ(near_run.textures.size(), 3u);
    EXPECT_GT(near_run.textures[0], 10);
    // The first restart puts the player on another slot and adds one 128 x 128 texture; from then
    // on each load of the same track leaves the GL textures and the loader's texture memory
    // where the previous one left them.
    ASSERT_EQ(near_run.memory.size(), 3u);
    EXPECT_EQ(near_run.textures[2], near_run.textures[1]) << "loads of the same track";
    EXPECT_EQ(near_run.memory[2], near_run.memory[1]);
}

} // namespace
