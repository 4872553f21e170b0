#include "render/render_loading.h"

#include <cstdio>
#include <cstring>

#include "core/core_binding.h"
#include "core/core_loop.h"
#include "core/core_main.h"
#include "platform/platform.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_texture.h"
#include "render/zvgl.h"
#include "track/track_hooks.h"

namespace {

loading_lines g_lines;

// The step a status text names: the text without trailing dots, "...done" or a share done
// (": 40%").
size_t step_length(const char *text) {
    size_t n = strlen(text);
    const char done[] = "...done";
    size_t d = sizeof done - 1;
    if (n >= d && strcmp(text + n - d, done) == 0) n -= d;
    if (n > 0 && text[n - 1] == '%') {
        size_t k = n - 1;
        while (k > 0 && text[k - 1] >= '0' && text[k - 1] <= '9')
            k--;
        if (k >= 2 && k < n - 1 && text[k - 1] == ' ' && text[k - 2] == ':') n = k - 2;
    }
    while (n > 0 && text[n - 1] == '.')
        n--;
    return n;
}

int same_step(const char *a, const char *b) {
    size_t n = step_length(a);
    return n > 0 && n == step_length(b) && strncmp(a, b, n) == 0;
}

// Keys pressed while loading are not meant for the race that follows; a close request is kept.
void drain_input(void) {
    platform_event ev;
    while (core_loop.window && platform_next_event(core_loop.window, &ev))
        if (ev.code == PLATFORM_CLOSE && ev.pressed) core_loop.quit = 1;
    for (int i = 0; i < CORE_BINDINGS; i++)
        core_bindings[i].value = 0;
}

// One quad in overlay coordinates (y up); t runs down the picture, whose top row comes first.
void quad(float x0, float y0, float x1, float y1, const float top[4], const float bottom[4]) {
    zvglBegin(GL_TRIANGLE_STRIP);
    zvglColor4f(bottom[0], bottom[1], bottom[2], bottom[3]);
    zvglTexCoord2f(0, 1);
    zvglVertex2f(x0, y0);
    zvglTexCoord2f(1, 1);
    zvglVertex2f(x1, y0);
    zvglColor4f(top[0], top[1], top[2], top[3]);
    zvglTexCoord2f(0, 0);
    zvglVertex2f(x0, y1);
    zvglTexCoord2f(1, 0);
    zvglVertex2f(x1, y1);
    zvglEnd();
}

void draw(void) {
    if (!core_loop.window || !zvglStarted()) return;
    int w = 0, h = 0;
    if (!platform_frame_begin(core_loop.window, &w, &h)) return;
    title_screen_draw(w, h);
    // Lines of 3% of the window height, the newest at the bottom third, older ones fading above.
    float size = (float)h * 0.03f;
    if (size < 12) size = 12;
    for (int i = 0; i < g_lines.count; i++) {
        int age = g_lines.count - 1 - i;
        float alpha = age == 0 ? 1.0f : 0.65f - 0.07f * (float)age;
        zvglPushMatrix();
        zvglTranslatef(0, (float)h / 3 + size * 1.4f * (float)age, 0);
        zvglScalef(size, size, 1);
        render_text_centred(1, 1, 1, alpha, 0, (float)w / size, g_lines.text[i]);
        zvglPopMatrix();
    }
    zvglFlush();
    platform_swap(core_loop.window);
}

void pump(int redraw) {
    drain_input();
    if (redraw) draw();
}

} // namespace

void loading_lines_clear(loading_lines *lines) {
    lines->count = 0;
}

void loading_lines_add(loading_lines *lines, const char *text) {
    if (!text) return;
    int at;
    if (lines->count > 0 && same_step(lines->text[lines->count - 1], text)) {
        at = lines->count - 1;
    } else if (lines->count < LOADING_LINES) {
        at = lines->count++;
    } else {
        memmove(lines->text[0], lines->text[1], sizeof lines->text[0] * (LOADING_LINES - 1));
        at = LOADING_LINES - 1;
    }
    snprintf(lines->text[at], sizeof lines->text[at], "%s", text);
}

const loading_lines *loading_screen_lines(void) {
    return &g_lines;
}

void loading_screen_show(const char *text) {
    // "Resetting..." starts every load: the screen starts empty with it.
    if (text && strncmp(text, "Resetting", 9) == 0) loading_lines_clear(&g_lines);
    loading_lines_add(&g_lines, text);
    drain_input();
    draw();
}

void title_screen_draw(int w, int h) {
    title_screen_background(w, h);
    GLuint title = render_texture_load("!@title.png");
    if (title) {
        zvglUseProgram(ZVGL_PROGRAM_UNLIT);
        const float aspect = 2.0f; // the picture is twice as wide as high
        float pw = (float)w, ph = pw / aspect;
        if (ph > (float)h) {
            ph = (float)h;
            pw = ph * aspect;
        }
        float x0 = ((float)w - pw) / 2, y0 = ((float)h - ph) / 2;
        static const float white[4] = {1, 1, 1, 1};
        zvglBindTexture(GL_TEXTURE_2D, title);
        quad(x0, y0, x0 + pw, y0 + ph, white, white);
        zvglFlush();
    }
}

void title_screen_background(int w, int h) {
    zvglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    zvglDisable(GL_DEPTH_TEST);
    frame_overlay_projection(w, h);
    // Above and below the title picture the sky and the dirt of its own edges carry on.
    static const float sky[4] = {0.12f, 0.35f, 0.75f, 1}, dirt[4] = {0.42f, 0.27f, 0.16f, 1};
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    quad(0, (float)h / 2, (float)w, (float)h, sky, sky);
    quad(0, 0, (float)w, (float)h / 2, dirt, dirt);
    // The version in the bottom right corner.
    float size = (float)h * 0.022f < 10 ? 10 : (float)h * 0.022f;
    zvglPushMatrix();
    zvglTranslatef((float)w - size * 0.5f, size * 0.5f, 0);
    zvglScalef(size, size, 1);
    render_text_right(1, 1, 1, 0.8f, 0, CORE_VERSION);
    zvglPopMatrix();
    zvglFlush();
}

void overlay_text_centred(const char *text, float size, float dy) {
    if (!core_loop.window || !zvglStarted()) return;
    int w = core_loop.frame_width, h = core_loop.frame_height;
    if (w <= 0 || h <= 0) return;
    zvglDisable(GL_DEPTH_TEST);
    frame_overlay_projection(w, h);
    // Sizes count in 480ths of the window height, as the menus' do.
    float s = size * (float)h / 480.0f, y = (float)h / 2 - dy * (float)h / 480.0f;
    zvglPushMatrix();
    zvglTranslatef(0, y, 0);
    zvglScalef(s, s, 1);
    render_text_centred_shadowed(1, 1, 1, 1, 0, (float)w / s, text);
    zvglPopMatrix();
    zvglFlush();
}

void loading_screen_install(void) {
    track_render.status = loading_screen_show;
    track_render.pump = pump;
}
