// Lens flares after the scene.
#include "render/render_flare.h"

#include <cmath>

#include "render/render_camera.h"
#include "render/zvgl.h"

void flare_to_camera(const lighting_flare *f, const float eye[3], const float axes[9],
                     float out[3]) {
    float w[3] = {f->vector[0], f->vector[1], f->vector[2]};
    if (f->kind == LIGHTING_FLARE_POINT)
        for (int c = 0; c < 3; c++)
            w[c] -= eye[c];
    for (int r = 0; r < 3; r++)
        out[r] = axes[r * 3] * w[0] + axes[r * 3 + 1] * w[1] + axes[r * 3 + 2] * w[2];
}

int flare_project(const float c[3], float h, float v, float *x, float *y) {
    float depth = -c[2];
    // Behind the eye or on its plane the bounds below are empty: nothing to divide by.
    if (!(depth > 0)) return 0;
    if (c[0] < -h * depth || c[0] > h * depth || c[1] < -v * depth || c[1] > v * depth) return 0;
    *x = c[0] / depth;
    *y = c[1] / depth;
    return 1;
}

static float clamp01(float a) {
    return a < 0 ? 0 : a > 1 ? 1 : a;
}

int flare_pixel(float x, float y, float h, float v, int width, int height, int *px, int *py) {
    int col = (int)(clamp01((x + h) / (2 * h)) * (float)width);
    int row = (int)(clamp01((y + v) / (2 * v)) * (float)height);
    if (col < 0 || row < 0 || col >= width || row >= height) return 0;
    *px = col;
    *py = row;
    return 1;
}

int flare_seen(const unsigned char rgb[3], float depth, float near_plane, float far_plane, int kind,
               float distance) {
    if (rgb[0] <= 223 || rgb[1] <= 223 || rgb[2] <= 223) return 0;
    float own = kind == LIGHTING_FLARE_VECTOR ? 0.4f : clamp01((distance - 0.25f) * 0.00020001f);
    return camera_linearise_depth(depth, near_plane, far_plane) >= own;
}

float flare_fade(float x, float y, float h, float v) {
    float k = (h < v ? h : v) / 32;
    if (!(k > 0)) return 0;
    float a = clamp01((h - std::fabs(x)) / k), b = clamp01((v - std::fabs(y)) / k);
    return a < b ? a : b;
}

void flare_element_centre(float a, float b, float x, float y, float out[2]) {
    out[0] = b * x + a * y;
    out[1] = b * y - a * x;
}

flare_statistics flare_stats;

void flare_update_all(const float eye[3], const float axes[9], float h, float v, int width,
                      int height, flare_pixel_reader read_pixel) {
    for (int i = 0; i < lighting.flare_count; i++) {
        lighting_flare *f = &lighting.flares[i];
        f->visibility = 0;
        float c[3], x, y;
        int px, py;
        flare_to_camera(f, eye, axes, c);
        if (!flare_project(c, h, v, &x, &y) || !flare_pixel(x, y, h, v, width, height, &px, &py))
            continue;
        f->screen_x = x;
        f->screen_y = y;
        unsigned char rgb[3];
        float depth;
        if (!read_pixel || !read_pixel(px, py, rgb, &depth)) continue;
        flare_stats.read_backs++;
        if (flare_seen(rgb, depth, lighting.near_plane, lighting.far_plane, f->kind, -c[2]))
            f->visibility = flare_fade(x, y, h, v);
    }
}

void flare_draw_all(void) {
    // Squares on the plane at unit distance: the projection maps (X, Y, -1) to the screen.
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
    zvglDepthFunc(GL_ALWAYS);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE);
    zvglDepthMask(GL_FALSE);
    for (int i = 0; i < lighting.flare_count; i++) {
        const lighting_flare *f = &lighting.flares[i];
        if (!(f->visibility > 0)) continue;
        for (int e = 0; e < f->element_count; e++) {
            const lighting_flare_element *el = &f->elements[e];
            float c[2];
            flare_element_centre(el->a, el->b, f->screen_x, f->screen_y, c);
            float s = el->size;
            zvglBindTexture(GL_TEXTURE_2D, el->texture ? el->texture : zvglWhiteTexture());
            zvglColor4f(el->color[0] * f->visibility, el->color[1] * f->visibility,
                        el->color[2] * f->visibility, 1);
            zvglBegin(GL_TRIANGLE_STRIP);
            zvglTexCoord2f(0, 0);
            zvglVertex3f(c[0] - s, c[1] - s, -1);
            zvglTexCoord2f(1, 0);
            zvglVertex3f(c[0] + s, c[1] - s, -1);
            zvglTexCoord2f(0, 1);
            zvglVertex3f(c[0] - s, c[1] + s, -1);
            zvglTexCoord2f(1, 1);
            zvglVertex3f(c[0] + s, c[1] + s, -1);
            zvglEnd();
            flare_stats.elements++;
        }
    }
    zvglDepthMask(GL_TRUE);
    zvglDisable(GL_BLEND);
    zvglDepthFunc(GL_LEQUAL);
}
