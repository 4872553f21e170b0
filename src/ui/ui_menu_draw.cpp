// Drawing the open menu page over the picture: translucent boxes with their text, the page title,
// and the pages with a look of their own (main, graphics, chat line, quit).
#include "ui/ui_menu.h"
#include "ui/ui_menu_internal.h"

#include "base/zv_message.h"
#include "core/core_config.h"
#include "core/core_loop.h"
#include "core/core_options.h"
#include "net/net_client.h"
#include "race/race.h"
#include "race/race_series.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_texture.h"
#include "render/zvgl.h"

#include <cstdio>
#include <cstring>

namespace {

int g_height; // window height: rectangles count from the top, GL from the bottom

void fill(float x0, float y0, float x1, float y1, float r, float g, float b, float a) {
    float gy0 = (float)g_height - y1, gy1 = (float)g_height - y0;
    zvglBegin(GL_TRIANGLE_STRIP);
    zvglColor4f(r, g, b, a);
    zvglVertex2f(x0, gy0);
    zvglVertex2f(x1, gy0);
    zvglVertex2f(x0, gy1);
    zvglVertex2f(x1, gy1);
    zvglEnd();
}

// The box reaches a margin beyond the text; its border, as wide again, is drawn twice.
void box(const ui_rect &r, float border, const float c[4]) {
    float x0 = (float)r.x0, y0 = (float)r.y0, x1 = (float)r.x1, y1 = (float)r.y1;
    fill(x0, y0, x1, y1, c[0], c[1], c[2], c[3]);
    fill(x0, y0, x1, y0 + border, c[0], c[1], c[2], c[3]);
    fill(x0, y1 - border, x1, y1, c[0], c[1], c[2], c[3]);
    fill(x0, y0 + border, x0 + border, y1 - border, c[0], c[1], c[2], c[3]);
    fill(x1 - border, y0 + border, x1, y1 - border, c[0], c[1], c[2], c[3]);
}

// Text with its top-left corner at (x, y) pixels, size pixels high. Light text gets a shadow so
// it stays readable over a bright sky.
void text_at(float x, float y, float size, const float c[4], const char *text) {
    zvglPushMatrix();
    zvglTranslatef(x, (float)g_height - y - size, 0);
    zvglScalef(size, size, 1);
    if (c[0] + c[1] + c[2] > 1.5f)
        render_text_shadowed(c[0], c[1], c[2], c[3], text);
    else
        render_text_draw(c[0], c[1], c[2], c[3], text);
    zvglPopMatrix();
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
}

void text_centred(float y, float size, const float c[4], const char *text) {
    const ui_menu_geometry &g = ui_menu_geom;
    zvglPushMatrix();
    zvglTranslatef(g.x, (float)g_height - y - size, 0);
    zvglScalef(size, size, 1);
    render_text_centred_shadowed(c[0], c[1], c[2], c[3], 0, g.w / size, text);
    zvglPopMatrix();
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
}

// Text centred between x0 and x1 (pixels), its top at y.
void text_between(float x0, float x1, float y, float size, const float c[4], const char *text) {
    zvglPushMatrix();
    zvglTranslatef(x0, (float)g_height - y - size, 0);
    zvglScalef(size, size, 1);
    render_text_centred_shadowed(c[0], c[1], c[2], c[3], 0, (x1 - x0) / size, text);
    zvglPopMatrix();
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
}

const float normal_box[4] = {0.5f, 0.5f, 0.5f, 0.25f};
const float dark_box[4] = {0.3f, 0.3f, 0.3f, 0.25f};
const float lit_box[4] = {0.9f, 0.9f, 0.9f, 0.8f};
const float normal_text[4] = {0.9f, 0.9f, 0.9f, 0.8f};
const float lit_text[4] = {0, 0, 0, 1};
const float white[4] = {1, 1, 1, 1};

void draw_items(void) {
    const ui_menu_geometry &g = ui_menu_geom;
    float pad = 0.25f * g.line, border = 0.125f * g.line;
    int entry_row = 0;
    for (int i = 0; i < ui_menu.count; i++) {
        const ui_item &it = ui_menu.items[i];
        int lit = i == ui_menu.highlight;
        const float *b = normal_box;
        if (it.kind == UI_ENTRY && (entry_row++ & 1)) b = dark_box;
        if (lit) b = lit_box;
        box(it.rect, border, b);
        char text[1200];
        ui_menu_item_text(&it, text, sizeof text);
        if (lit && it.kind == UI_TEXT) {
            // The cursor shows where typing goes.
            const char *field = ui_text_buffer(&it);
            size_t head = strlen(text) - (field ? strlen(field) : 0);
            int cursor =
                ui_menu.cursor_item == i ? ui_menu.cursor : (int)strlen(field ? field : "");
            size_t at = head + (size_t)cursor;
            if (at <= strlen(text) && strlen(text) + 1 < sizeof text) {
                memmove(text + at + 1, text + at, strlen(text) - at + 1);
                text[at] = '_';
            }
        }
        text_at((float)it.rect.x0 + pad, (float)it.rect.y0 + pad, g.text,
                lit ? lit_text : normal_text, text);
    }
}

void draw_main(void) {
    const ui_menu_geometry &g = ui_menu_geom;
    GLuint title = render_texture_load("!@title.png");
    if (title) {
        // The title picture is twice as wide as high and fills the top of the page.
        float ph = 9 * g.line, pw = 2 * ph;
        float x0 = g.x + (g.w - pw) / 2, y0 = g.y + 1.2f * g.line;
        zvglBindTexture(GL_TEXTURE_2D, title);
        float gy0 = (float)g_height - (y0 + ph), gy1 = (float)g_height - y0;
        zvglBegin(GL_TRIANGLE_STRIP);
        zvglColor4f(1, 1, 1, 1);
        zvglTexCoord2f(0, 1);
        zvglVertex2f(x0, gy0);
        zvglTexCoord2f(1, 1);
        zvglVertex2f(x0 + pw, gy0);
        zvglTexCoord2f(0, 0);
        zvglVertex2f(x0, gy1);
        zvglTexCoord2f(1, 0);
        zvglVertex2f(x0 + pw, gy1);
        zvglEnd();
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    }
    double a = 10 - core_loop.game_clock;
    a = a < 0 ? 0 : a > 1 ? 1 : a;
    if (a > 0) {
        float c[4] = {1, 1, 1, (float)a};
        text_centred(g.y + 27.5f * g.line, 0.7f * g.line, c,
                     "Although this software depicts real objects and places, it is not");
        text_centred(g.y + 28.4f * g.line, 0.7f * g.line, c,
                     "endorsed by or affiliated with any of the subjects depicted.");
    }
}

// The series page's table below its buttons: the next event (or the final standings), then the
// riders by series points in blocks of eight rounds. Table units are two thirds of a line.
void draw_standings(void) {
    int si = race_series_list.selected;
    if (si < 0 || si >= race_series_list.count) return;
    const race_series *s = &race_series_list.list[si];
    const ui_menu_geometry &g = ui_menu_geom;
    float line = g.line, u = line * 2 / 3;
    float x = g.x + (g.w - 38 * line) / 2;
    float y = ui_menu.count ? (float)ui_menu.items[ui_menu.count - 1].rect.y1 + 0.5f * line : 0;
    char text[1000];
    race_series_title(s, text, sizeof text);
    fill(x, y, x + 38 * line, y + line, 0, 0, 0, 0.5f);
    text_between(x, x + 38 * line, y, line, white, text);
    y += line;
    int ends[RACE_SERIES_EVENTS], rounds = 0;
    for (int e = 0; e < s->event_count; e++)
        if (s->events[e].round_points[0] != 0) ends[rounds++] = e;
    int rider[RACE_SERIES_RIDERS], total[RACE_SERIES_RIDERS];
    int n = race_series_order(s, rider, total);
    const float blue[4] = {0.75f, 0.75f, 1, 1};
    float bottom = (float)g_height;
    for (int b = 0; b == 0 || b * RACE_SERIES_ROUND_BLOCK < rounds; b++) {
        int first = b * RACE_SERIES_ROUND_BLOCK;
        int last =
            first + RACE_SERIES_ROUND_BLOCK < rounds ? first + RACE_SERIES_ROUND_BLOCK : rounds;
        if (y + u > bottom) return;
        fill(x, y, x + 57 * u, y + u, 0, 0, 0, 0.5f);
        text_between(x, x + 3 * u, y, u, white, "No.");
        text_between(x + 3 * u, x + 6 * u, y, u, white, "Total");
        for (int r = first; r < last; r++) {
            float c0 = x + (float)(6 + 6 * (r - first)) * u;
            snprintf(text, sizeof text, "Rd %d", r + 1);
            text_between(c0, c0 + 6 * u, y, u, white, text);
        }
        y += u;
        for (int i = 0; i < n; i++, y += u) {
            if (y + u > bottom) return;
            if (i & 1) fill(x, y, x + 57 * u, y + u, 1, 1, 1, 0.25f);
            int r = rider[i];
            if (r < s->riders)
                snprintf(text, sizeof text, "%d", s->robot_numbers[r]);
            else
                snprintf(text, sizeof text, "%.15s", core_config_setup.number);
            text_between(x, x + 3 * u, y, u, r < s->riders ? white : blue, text);
            snprintf(text, sizeof text, "%d", total[i]);
            text_between(x + 3 * u, x + 6 * u, y, u, white, text);
            for (int k = first; k < last; k++) {
                race_series_cell(s, ends[k], r, text, sizeof text);
                float c0 = x + (float)(6 + 6 * (k - first)) * u;
                if (text[0]) text_between(c0, c0 + 6 * u, y, u, white, text);
            }
        }
        y += 0.5f * line;
    }
}

void draw_graphics_notes(void) {
    const ui_menu_geometry &g = ui_menu_geom;
    float y = ui_menu.count ? (float)ui_menu.items[ui_menu.count - 1].rect.y1 + 0.5f * g.line : 0;
    float size = 0.75f * g.line;
    text_centred(y, size, white, ui_menu_current_settings());
    text_centred(y + g.line, size, white, "Some settings will not take effect until next restart");
    if (const zvgl_context_info *ci = zvglContextInfo()) {
        char line[800];
        snprintf(line, sizeof line, "Driver info: %.250s %.250s %.250s", ci->vendor, ci->renderer,
                 ci->version);
        text_centred(y + 2 * g.line, 0.6f * g.line, white, line);
    }
}

// While racing online, the other humans on the server: slot, ping, number, bike and name.
void draw_server_riders(void) {
    if (!net_connected() || net_client.state != NET_RACING) return;
    const ui_menu_geometry &g = ui_menu_geom;
    float size = 0.7f * g.line;
    float y = ui_menu.count ? (float)ui_menu.items[ui_menu.count - 1].rect.y1 + g.line : 0;
    const float cols[5] = {0.06f, 0.16f, 0.28f, 0.38f, 0.62f};
    const char *heads[5] = {"Slot", "Ping", "No.", "Bike", "Name"};
    for (int c = 0; c < 5; c++)
        text_at(g.x + g.w * cols[c], y, size, white, heads[c]);
    for (int slot = 0; slot < NET_SLOTS; slot++) {
        if (slot == net_client.slot || net_client.lineup[slot] != RACE_REMOTE_HUMAN) continue;
        y += size * 1.2f;
        if (y + size > g.y + g.h) break;
        const net_remote_rider &r = net_client.riders[slot];
        char cell[5][80];
        snprintf(cell[0], sizeof cell[0], "%d", slot + 1);
        snprintf(cell[1], sizeof cell[1], "%d", net_client.slot_lag[slot] * 1000 / 128);
        snprintf(cell[2], sizeof cell[2], "%.7s", r.number);
        snprintf(cell[3], sizeof cell[3], "%.63s", r.model);
        snprintf(cell[4], sizeof cell[4], "%.63s", r.name);
        for (int c = 0; c < 5; c++)
            text_at(g.x + g.w * cols[c], y, size, normal_text, cell[c]);
    }
}

void draw_chat(int width, int height) {
    const ui_menu_geometry &g = ui_menu_geom;
    fill(0, 0, (float)width, (float)height, 0, 0, 0, 0.6f);
    float size = 0.7f * g.line;
    int scroll = ui_menu.chat_scroll;
    int rows = 50;
    float bottom = g.y + 28.5f * g.line;
    float step = (bottom - g.y) / (float)rows;
    if (step > size * 1.1f) step = size * 1.1f;
    for (int r = 0; r < rows; r++) {
        // Row 0 is the newest shown line, at the bottom.
        float y = bottom - (float)(r + 1) * step;
        if (y < 0) break;
        if (r == 0 && scroll > 0) {
            text_at(g.x + g.line, y, size, white, "^    ^    ^    ^    ^");
            continue;
        }
        const char *line = zv_message_line(r + scroll - (scroll > 0 ? 1 : 0));
        if (!line) break;
        text_at(g.x + g.line, y, size * 0.9f, white, line);
    }
    draw_items();
}

void draw_quit(void) {
    const ui_menu_geometry &g = ui_menu_geom;
    text_centred(g.y + 12 * g.line, 2.5f * g.line, white, "Zelvo");
    text_centred(g.y + 16 * g.line, 1.0f * g.line, white,
                 "Press any key to exit or ESC to keep playing");
}

} // namespace

void ui_menu_draw(void) {
    int page = core_loop.menu_page;
    if (page == CORE_MENU_NONE || !zvglStarted()) return;
    int w = core_loop.frame_width, h = core_loop.frame_height;
    if (w <= 0 || h <= 0) return;
    g_height = h;
    ui_menu_build();
    zvglDisable(GL_DEPTH_TEST);
    frame_overlay_projection(w, h);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    const ui_menu_geometry &g = ui_menu_geom;
    if (page == UI_PAGE_CHAT) {
        draw_chat(w, h);
    } else if (page == UI_PAGE_QUIT) {
        draw_quit();
    } else {
        if (page == UI_PAGE_MAIN) draw_main();
        if (ui_menu.title[0])
            text_centred(g.y + 0.8f * g.line, 1.4f * g.line, white, ui_menu.title);
        draw_items();
        if (page == UI_PAGE_GRAPHICS) draw_graphics_notes();
        if (page == UI_PAGE_STANDINGS) draw_standings();
        if (page == UI_PAGE_MULTIPLAYER) draw_server_riders();
    }
    zvglDisable(GL_BLEND);
    zvglFlush();
}
