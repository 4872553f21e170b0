// Bikes and riders drawn from the default data set on real GL: the parts come out in their
// paint (the bike family's brand colour, dark tyres, the rider's gear) rather than plain white,
// lit by the sun, and the rider view leaves the own body out of the eyes.
#include "texture_gl_fixture.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "bike/bike.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "render/render_camera.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/render_texture.h"
#include "render/render_view.h"
#include "track/track_hooks.h"
#include "track/track_lighting.h"
#include "track/track_terrain.h"

namespace {

class BikeGl : public PicturesGl {
  protected:
    GLuint depth = 0;
    bike_record *b = nullptr;
    void SetUp() override {
        PicturesGl::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(use_generated_data());
        core_settings_init();
        render_font_load_all(); // the number plates are painted with the digit fonts
        int n = 6, size = (1 << (n + 1)) + 1;
        std::vector<float> g((size_t)size * (size_t)size, 0.0f);
        ASSERT_TRUE(terrain_create(n, 2.0f, g.data()));
        bike_world_destroy();
        ASSERT_TRUE(bike_world_create());
        bike_shape_register_stock();
        bike_hooks = bike_update_hooks{};
        b = bike_create(0, "crf250(2007)", 1);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(bike_place(b, 120, 120, 0));
        race.robot_of[0] = -1; // a rider in the bike's own paint
        lighting_defaults();
        lighting_finish();
        render_texture_new_generation(); // names from an earlier test's context are gone
    }
    // Frees the last picture's targets so the next draw starts afresh.
    void drop_target() {
        zvglDeleteTextures(1, &depth);
        depth = 0;
        zvglDeleteFramebuffers(1, &fbo);
        zvglDeleteTextures(1, &target);
        fbo = target = 0;
    }
    void TearDown() override {
        if (depth) zvglDeleteTextures(1, &depth);
        model_sweep(1);
        render_texture_sweep(1);
        view_release_textures();
        render_font_free_all();
        bike_world_destroy();
        terrain_free();
        PicturesGl::TearDown();
    }
    // Draws the riders pass for the camera into a fresh colour and depth target; RGBA rows.
    std::vector<unsigned char> draw(const frame_camera &cam, int first_person_slot,
                                    const char *picture) {
        render_target(320, 240);
        zvglGenTextures(1, &depth);
        zvglBindTexture(GL_TEXTURE_2D, depth);
        zvglTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, fw, fh, 0, GL_DEPTH_COMPONENT,
                       GL_UNSIGNED_INT, nullptr);
        zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        zvglBindTexture(GL_TEXTURE_2D, 0);
        zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth, 0);
        zvglClearColor(0, 0, 0, 1);
        zvglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        zvglEnable(GL_DEPTH_TEST);
        zvglDepthFunc(GL_LEQUAL);
        camera_set_projection(fw, fh, cam.fov);
        float m[16];
        frame_view_matrix(&cam, 1, m);
        zvglMatrixMode(GL_MODELVIEW);
        zvglLoadMatrixf(m);
        zvglSetEnvMatrix(cam.axes); // as the frame sets it for the reflection pass
        view_draw_riders(&cam, first_person_slot);
        zvglFinish();
        std::vector<unsigned char> px((size_t)fw * fh * 4);
        zvglReadPixels(0, 0, fw, fh, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        // ZV_TEST_PICTURES=dir keeps the pictures for a look.
        if (const char *dir = getenv("ZV_TEST_PICTURES")) {
            std::vector<unsigned char> rgb((size_t)fw * fh * 3);
            for (int i = 0; i < fw * fh; i++)
                memcpy(&rgb[(size_t)i * 3], &px[(size_t)i * 4], 3);
            render_texture_write_png((std::string(dir) + "/" + picture).c_str(), rgb.data(), fw,
                                     fh);
        }
        return px;
    }
    // A camera beside the bike, looking at its middle from its right (forward > 0 moves it
    // towards the front).
    frame_camera side_camera(float distance, float forward = 0) {
        const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
        const dReal *r = dBodyGetRotation(b->body[BIKE_FRAME]);
        float at[3] = {(float)p[0], (float)p[1] + 0.8f, (float)p[2]};
        float eye[3] = {at[0] + (float)r[0] * distance - (float)r[2] * forward, at[1] + 2,
                        at[2] + (float)r[8] * distance - (float)r[10] * forward};
        frame_camera c;
        view_look_at(eye, at, 50, &c);
        return c;
    }
};

struct census {
    int red = 0, blue = 0, dark = 0, lit = 0, white = 0;
};

census count(const std::vector<unsigned char> &px) {
    census c;
    for (size_t i = 0; i + 3 < px.size(); i += 4) {
        int r = px[i], g = px[i + 1], bl = px[i + 2];
        if (r > 90 && r > 2 * g && r > 2 * bl) c.red++;
        if (bl > 70 && bl > 2 * r && bl > g + 30) c.blue++;
        if (r + g + bl > 0 && r < 45 && g < 45 && bl < 45) c.dark++;
        if (r + g + bl > 0) c.lit++;
        if (r > 235 && g > 235 && bl > 235) c.white++;
    }
    return c;
}

// The crf family is red, the default gear blue, the tyres near black: each shows in a side view
// of a standing bike, and the picture is not washed out to white.
TEST_F(BikeGl, PartsShowTheirPaint) {
    auto px = draw(side_camera(14), -1, "bike_side.png");
    census c = count(px);
    int total = fw * fh;
    EXPECT_GT(c.lit, total / 20) << "the bike covers a good part of the picture";
    EXPECT_GT(c.red, total / 200) << "red plastics";
    EXPECT_GT(c.blue, total / 200) << "blue riding gear";
    EXPECT_GT(c.dark, total / 200) << "dark tyres";
    EXPECT_LT(c.white, c.lit / 3) << "mostly paint, not bare white";
    zvglDeleteTextures(1, &depth);
    depth = 0;
    zvglDeleteFramebuffers(1, &fbo);
    zvglDeleteTextures(1, &target);
    fbo = target = 0;
    census front = count(draw(side_camera(7, 8), -1, "bike_front.png"));
    EXPECT_GT(front.red, total / 200);
}

// The sun lights the side that faces it: the same bike seen from its sunny side is brighter than
// from its shaded side.
TEST_F(BikeGl, SunLightsTheFacingSide) {
    auto sum = [](const std::vector<unsigned char> &px) {
        double s = 0;
        for (size_t i = 0; i + 3 < px.size(); i += 4)
            s += px[i] + px[i + 1] + px[i + 2];
        return s;
    };
    // The sun from +x: the bike faces -z, so its right side (+x) is sunny.
    lighting.sun_vector[0] = 1, lighting.sun_vector[1] = 0.2f, lighting.sun_vector[2] = 0;
    lighting.ambient[0] = lighting.ambient[1] = lighting.ambient[2] = 0.15f;
    lighting.global_ambient[0] = lighting.global_ambient[1] = lighting.global_ambient[2] = 0;
    double sunny = sum(draw(side_camera(14), -1, "bike_sunny.png"));
    zvglDeleteTextures(1, &depth);
    depth = 0;
    zvglDeleteFramebuffers(1, &fbo);
    zvglDeleteTextures(1, &target);
    fbo = target = 0;
    double shaded = sum(draw(side_camera(-14), -1, "bike_shaded.png"));
    EXPECT_GT(sunny, shaded * 1.5);
}

// From the rider's eyes the own torso and helmet are left out and nothing of the bike sits in
// front of the eyes; looking down from the same place shows the front of the bike from above
// (the eye is over the bike, not inside it, where back faces would hide everything).
TEST_F(BikeGl, RiderViewSeesPastTheOwnBody) {
    frame_camera cam;
    view_rider_camera(b, &cam);
    auto px = draw(cam, 0, "bike_rider_view.png");
    int middle = 0;
    for (int y = fh / 3; y < fh; y++)
        for (int x = fw / 4; x < fw * 3 / 4; x++) {
            const unsigned char *p = &px[((size_t)y * fw + x) * 4];
            if (p[0] + p[1] + p[2] > 0) middle++;
        }
    EXPECT_LT(middle, fw * fh / 30) << "nothing of the own bike in front of the eyes";

    zvglDeleteTextures(1, &depth);
    depth = 0;
    zvglDeleteFramebuffers(1, &fbo);
    zvglDeleteTextures(1, &target);
    fbo = target = 0;
    const dReal *axle = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
    float at[3] = {(float)axle[0], (float)axle[1], (float)axle[2]};
    frame_camera down;
    view_look_at(cam.position, at, 75, &down);
    census c = count(draw(down, 0, "bike_rider_down.png"));
    EXPECT_GT(c.red, fw * fh / 50) << "fender and plate in red from above";
    EXPECT_GT(c.blue, fw * fh / 200) << "the own arms reach to the bars";
}

// One draw per part carries all its lit blocks, each with its own material: the picture is the
// one the block-by-block draw makes, pixel for pixel. "Enable Reflections" then only adds light:
// the sky shows on chrome and paint, nothing gets darker, and switching it off takes it away.
TEST_F(BikeGl, BatchedPartsMatchBlockByBlockAndReflectionsOnlyAddLight) {
    // The sky pictures as the game loads them, the environment map among them.
    track_render.texture_load = [](const char *name) { return render_texture_load(name); };
    lighting_defaults();
    lighting_finish();
    track_render.texture_load = nullptr;
    ASSERT_NE(lighting.sky[LIGHTING_SKY_FACES - 1], 0u) << "the environment map is loaded";
    frame_camera cam = side_camera(9, 2);
    core_render.reflections = 0;
    model_draw.block_by_block = 1;
    auto blocks = draw(cam, -1, "bike_blocks.png");
    drop_target();
    model_draw.block_by_block = 0;
    auto batched = draw(cam, -1, "bike_batched.png");
    drop_target();
    int differ = 0;
    for (size_t i = 0; i < blocks.size(); i++)
        differ += blocks[i] != batched[i];
    EXPECT_EQ(differ, 0) << "the batched picture is the block-by-block one";
    EXPECT_GT(count(batched).lit, fw * fh / 20);

    core_render.reflections = 1;
    auto shiny = draw(cam, -1, "bike_reflections.png");
    int brighter = 0, darker = 0;
    for (size_t i = 0; i + 3 < shiny.size(); i += 4)
        for (int c = 0; c < 3; c++) {
            brighter += shiny[i + c] > batched[i + c];
            darker += shiny[i + c] < batched[i + c];
        }
    EXPECT_GT(brighter, fw * fh / 100) << "the sky mirrored on the bike";
    EXPECT_EQ(darker, 0);
    drop_target();
    model_draw.block_by_block = 1;
    auto shiny_blocks = draw(cam, -1, "bike_reflections_blocks.png");
    model_draw.block_by_block = 0;
    differ = 0;
    for (size_t i = 0; i < shiny.size(); i++)
        differ += shiny[i] != shiny_blocks[i];
    EXPECT_EQ(differ, 0) << "batched reflections are the block-by-block ones";
}

} // namespace
