#include "render/render_loading.h"

#include <cstdio>
#include <cstring>

#include "core/core_binding.h"
#include "core/core_loop.h"
#include "platform/platform.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/zvgl.h"
#include "track/track_hooks.h"

namespace {

loading_lines g_lines;

// The step a status text names: the text without trailing dots or "...done".
size_t step_length(const char *text)
{
    size_t n = strlen(text);
    const char done[] = "...done";
    size_t d = sizeof done - 1;
    if (n >= d && strcmp(text + n - d, done) == 0)
        n -= d;
    while (n > 0 && text[n - 1] == '.')
        n--;
    return n;
}

int same_step(const char *a, const char *b)
{
    size_t n = step_length(a);
    return n > 0 && n == step_length(b) && strncmp(a, b, n) == 0;
}

// Keys pressed while loading are not meant for the race that follows; a close request is kept.
void drain_input(void)
{
    platform_event ev;
    while (core_loop.window && platform_next_event(core_loop.window, &ev))
        if (ev.code == PLATFORM_CLOSE && ev.pressed)
            core_loop.quit = 1;
    for (int i = 0; i < CORE_BINDINGS; i++)
        core_bindings[i].value = 0;
}

void draw(void)
{
    if (!core_loop.window || !zvglStarted())
        return;
    int w = 0, h = 0;
    if (!platform_frame_begin(core_loop.window, &w, &h))
        return;
    zvglClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    zvglDisable(GL_DEPTH_TEST);
    frame_overlay_projection(w, h);
    // Lines of 3% of the window height, the newest at the bottom third, older ones fading above.
    float size = (float)h * 0.03f;
    if (size < 12)
        size = 12;
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

void pump(int redraw)
{
    drain_input();
    if (redraw)
        draw();
}

} // namespace

void loading_lines_clear(loading_lines *lines) { lines->count = 0; }

void loading_lines_add(loading_lines *lines, const char *text)
{
    if (!text)
        return;
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

const loading_lines *loading_screen_lines(void) { return &g_lines; }

void loading_screen_show(const char *text)
{
    // "Resetting..." starts every load: the screen starts empty with it.
    if (text && strncmp(text, "Resetting", 9) == 0)
        loading_lines_clear(&g_lines);
    loading_lines_add(&g_lines, text);
    drain_input();
    draw();
}

void loading_screen_install(void)
{
    track_render.status = loading_screen_show;
    track_render.pump = pump;
}
