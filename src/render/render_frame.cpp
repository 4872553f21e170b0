// Frame composition.
#include "render/render_frame.h"

#include <cstring>

#include "render/render_camera.h"
#include "render/render_flare.h"
#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "render/render_ground_textures.h"
#include "track/track_terrain.h"
#include "render/zvgl.h"
#include "track/track_lighting.h"

frame_pass_hooks frame_passes;
frame_settings frame_config = {1.0f, 1, 1};

void frame_view_matrix(const frame_camera *c, int with_translation, float m[16]) {
    memset(m, 0, sizeof(float) * 16);
    for (int r = 0; r < 3; r++)
        for (int k = 0; k < 3; k++)
            m[k * 4 + r] = c->axes[r * 3 + k];
    m[15] = 1;
    if (with_translation)
        for (int r = 0; r < 3; r++)
            m[12 + r] = -(c->axes[r * 3] * c->position[0] + c->axes[r * 3 + 1] * c->position[1] +
                          c->axes[r * 3 + 2] * c->position[2]);
}

// Sky faces as a box around the eye; drawn with depth writes off so everything covers it.
static void draw_sky(void) {
    static const float faces[5][4][3] = {
        {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1}}, // north (-z)
        {{1, -1, -1}, {1, -1, 1}, {1, 1, -1}, {1, 1, 1}},     // east (+x)
        {{1, -1, 1}, {-1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     // south (+z)
        {{-1, -1, 1}, {-1, -1, -1}, {-1, 1, 1}, {-1, 1, -1}}, // west (-x)
        {{-1, 1, -1}, {1, 1, -1}, {-1, 1, 1}, {1, 1, 1}},     // up
    };
    // Pictures are stored top row first: the top row goes up (on the up face, toward south).
    static const float uv[4][2] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
    // Inside the near plane's reach whatever the track sets: the box is scaled to it.
    float s = lighting.near_plane * 2;
    zvglPushMatrix();
    zvglScalef(s, s, s);
    for (int f = 0; f < 5; f++) {
        zvglBindTexture(GL_TEXTURE_2D, lighting.sky[f] ? lighting.sky[f] : zvglWhiteTexture());
        zvglColor4f(1, 1, 1, 1);
        zvglBegin(GL_TRIANGLE_STRIP);
        for (int k = 0; k < 4; k++) {
            zvglTexCoord2f(uv[k][0], uv[k][1]);
            zvglVertex3f(faces[f][k][0], faces[f][k][1], faces[f][k][2]);
        }
        zvglEnd();
    }
    zvglPopMatrix();
}

static int read_pixel(int x, int y, unsigned char rgb[3], float *depth) {
    unsigned char px[4] = {0, 0, 0, 0};
    zvglReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    zvglReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, depth);
    rgb[0] = px[0];
    rgb[1] = px[1];
    rgb[2] = px[2];
    return 1;
}

void frame_draw(const frame_camera *camera, int width, int height) {
    // Texture level upkeep first: it draws into its own framebuffer and viewport.
    if (terrain_present()) {
        float g = camera->position[0] * terrain.inv_spacing;
        float h = camera->position[2] * terrain.inv_spacing;
        // The first frame of a track draws every level whole rather than show their test
        // pattern for three frames a level; after that, one step a frame.
        int steps = ground_levels_none_drawn() ? 3 * GROUND_LEVELS_MAX : 1;
        for (int s = 0; s < steps && ground_levels_update(g, h); s++) {
        }
    }
    camera_set_projection(width, height, camera->fov);
    float m[16];
    frame_view_matrix(camera, 0, m);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadMatrixf(m);
    zvglUseProgram(ZVGL_PROGRAM_NORM_ENV);
    float env[9];
    memcpy(env, camera->axes, sizeof env);
    zvglSetEnvMatrix(env);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);

    // Sky.
    zvglEnable(GL_DEPTH_TEST);
    zvglDepthFunc(GL_ALWAYS);
    zvglClear(frame_config.clear_colour ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT
                                        : GL_DEPTH_BUFFER_BIT);
    zvglDepthMask(GL_FALSE);
    zvglDisable(GL_BLEND);
    draw_sky();
    zvglDepthMask(GL_TRUE);

    // Ground.
    zvglSetFogDensity(lighting.fog_density);
    zvglTranslatef(-camera->position[0], -camera->position[1], -camera->position[2]);
    // The lit programs take the light in eye space: the sun turned into the camera's axes.
    float sun[3];
    for (int r = 0; r < 3; r++)
        sun[r] = camera->axes[r * 3] * lighting.sun_vector[0] +
                 camera->axes[r * 3 + 1] * lighting.sun_vector[1] +
                 camera->axes[r * 3 + 2] * lighting.sun_vector[2];
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    zvglSetLightPosition(sun);
    ground_textures_begin();
    zvglSetLightPosition(sun);
    zvglDepthFunc(GL_LEQUAL);
    float dir[3] = {-camera->axes[6], -camera->axes[7], -camera->axes[8]};
    ground_draw(camera->position, dir, frame_config.ground_detail);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);

    if (frame_passes.riders) frame_passes.riders(0);
    if (frame_passes.billboards) {
        zvglDisable(GL_CULL_FACE);
        zvglEnable(GL_BLEND);
        zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        zvglDepthMask(GL_FALSE);
        frame_passes.billboards();
        zvglDepthMask(GL_TRUE);
        zvglEnable(GL_CULL_FACE);
        zvglDisable(GL_BLEND);
    }
    if (frame_passes.riders) frame_passes.riders(1);
    if (frame_passes.lines) frame_passes.lines();
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglSetFogDensity(0);
    if (frame_passes.name_tags) {
        zvglDisable(GL_DEPTH_TEST);
        frame_passes.name_tags();
        zvglEnable(GL_DEPTH_TEST);
    }

    // Lens flares, tested against what the scene left in the buffers.
    if (frame_config.lens_flares && lighting.flare_count > 0) {
        flare_update_all(camera->position, camera->axes, camera_current.h, camera_current.v, width,
                         height, read_pixel);
        flare_draw_all();
    }
}

void frame_overlay_projection(int width, int height) {
    zvglViewport(0, 0, width, height);
    zvglMatrixMode(GL_PROJECTION);
    zvglLoadIdentity();
    zvglOrtho(0, width > 0 ? width : 1, 0, height > 0 ? height : 1, -1, 1);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
}
