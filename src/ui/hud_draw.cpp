// Drawing the HUD. Everything is placed on the plane at depth 1 of the race view's projection:
// h is its half-height and w its half-width, so the gadgets keep their share of the screen at
// any size, and a wide screen puts them further apart rather than making them larger.
#include "ui/hud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_setup.h"
#include "core/core_config.h"
#include "core/core_loop.h"
#include "core/core_settings.h"
#include "data/data_index.h"
#include "render/render_camera.h"
#include "render/render_font.h"
#include "render/render_ground.h"
#include "render/render_ground_levels.h"
#include "render/render_model_draw.h"
#include "render/render_objects.h"
#include "render/render_texture.h"
#include "render/zvgl.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

namespace {

const float PI = 3.14159265358979f;

// The screen measures of the frame being drawn.
struct screen_measures {
    float w, h;
} scr;

void set_screen(int width, int height) {
    float fov = (float)core_settings_number(CORE_SET_FOV);
    if (!(fov >= 10 && fov <= 170)) fov = 110;
    camera_projection p =
        camera_projection_for(width > 0 ? width : 1, height > 0 ? height : 1, fov, 1, 2);
    scr.w = p.h;
    scr.h = p.v;
    zvglViewport(0, 0, width, height);
    zvglMatrixMode(GL_PROJECTION);
    zvglLoadIdentity();
    zvglOrtho(-scr.w, scr.w, -scr.h, scr.h, -1, 1);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
    zvglDisable(GL_DEPTH_TEST);
    zvglDisable(GL_CULL_FACE);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
}

void rect(float x0, float y0, float x1, float y1, float r, float g, float b, float a) {
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglColor4f(r, g, b, a);
    zvglBegin(GL_TRIANGLE_STRIP);
    zvglTexCoord2f(0, 0);
    zvglVertex2f(x0, y0);
    zvglVertex2f(x1, y0);
    zvglVertex2f(x0, y1);
    zvglVertex2f(x1, y1);
    zvglEnd();
}

// A picture on a rectangle: texture rows t0 (top) to t1 (bottom).
void picture(unsigned tex, float x0, float y0, float x1, float y1, float s0, float t0, float s1,
             float t1, float alpha = 1) {
    zvglBindTexture(GL_TEXTURE_2D, tex);
    zvglColor4f(1, 1, 1, alpha);
    zvglBegin(GL_TRIANGLE_STRIP);
    zvglTexCoord2f(s0, t1);
    zvglVertex2f(x0, y0);
    zvglTexCoord2f(s1, t1);
    zvglVertex2f(x1, y0);
    zvglTexCoord2f(s0, t0);
    zvglVertex2f(x0, y1);
    zvglTexCoord2f(s1, t0);
    zvglVertex2f(x1, y1);
    zvglEnd();
}

void triangle(const float p[3][2], float r, float g, float b, float a) {
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglColor4f(r, g, b, a);
    zvglBegin(GL_TRIANGLES);
    for (int i = 0; i < 3; i++)
        zvglVertex2f(p[i][0], p[i][1]);
    zvglEnd();
}

// Text at (x, y) of the current grid, size times the grid unit.
void text_at(float x, float y, float size, float r, float g, float b, float a, const char *text) {
    zvglPushMatrix();
    zvglTranslatef(x, y, 0);
    zvglScalef(size, size, 1);
    render_text_draw(r, g, b, a, text);
    zvglPopMatrix();
}

void centred_at(float left, float right, float y, float size, float r, float g, float b, float a,
                const char *text, int shadow = 0) {
    zvglPushMatrix();
    zvglTranslatef(0, y, 0);
    zvglScalef(size, size, 1);
    if (shadow)
        render_text_centred_shadowed(r, g, b, a, left / size, right / size, text);
    else
        render_text_centred(r, g, b, a, left / size, right / size, text);
    zvglPopMatrix();
}

void right_at(float right, float y, float size, float r, float g, float b, float a,
              const char *text) {
    zvglPushMatrix();
    zvglTranslatef(0, y, 0);
    zvglScalef(size, size, 1);
    render_text_right(r, g, b, a, right / size, text);
    zvglPopMatrix();
}

// A text grid of n lines: unit 2h / n, x from the left edge, y up, origin one line below the top.
float grid_begin(int n) {
    float unit = 2 * scr.h / (float)n;
    zvglPushMatrix();
    zvglTranslatef(-scr.w, scr.h - unit, 0);
    zvglScalef(unit, unit, 1);
    return unit;
}

void grid_end(void) {
    zvglPopMatrix();
}

const bike_record *bike_of(int slot) {
    if (slot < 0 || slot >= BIKE_SLOTS) return nullptr;
    const bike_record *b = &bike_world.bikes[slot];
    return b->present && b->m && b->body[BIKE_FRAME] ? b : nullptr;
}

void frame_pose(const bike_record *b, float pos[3], float rot[12]) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *r = dBodyGetRotation(b->body[BIKE_FRAME]);
    for (int i = 0; i < 3; i++)
        pos[i] = (float)p[i];
    for (int i = 0; i < 12; i++)
        rot[i] = (float)r[i];
}

int finite_all(const float *v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return 0;
    return 1;
}

// ---- instruments
// ---------------------------------------------------------------------------------

void draw_graph_plot(float cx, float cy, float u, const float *position, const float *speed,
                     const float *share, float speed_scale, int start) {
    // White frame: outline and centre line.
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglColor4f(1, 1, 1, 1);
    zvglBegin(GL_LINE_STRIP);
    zvglVertex2f(cx - u, cy - u);
    zvglVertex2f(cx + u, cy - u);
    zvglVertex2f(cx + u, cy + u);
    zvglVertex2f(cx - u, cy + u);
    zvglVertex2f(cx - u, cy - u);
    zvglEnd();
    zvglBegin(GL_LINES);
    zvglVertex2f(cx - u, cy);
    zvglVertex2f(cx + u, cy);
    zvglEnd();
    auto clamp1 = [](float v) { return v < -1 ? -1.0f : v > 1 ? 1.0f : v; };
    zvglBegin(GL_LINE_STRIP);
    for (int j = 0; j < HUD_SAMPLES; j++) {
        int k = (start + j) % HUD_SAMPLES;
        zvglVertex2f(cx + u * (2.0f * j / HUD_SAMPLES - 1), cy + u * clamp1(position[k]));
    }
    zvglEnd();
    zvglBegin(GL_LINE_STRIP);
    for (int j = 0; j < HUD_SAMPLES; j++) {
        int k = (start + j) % HUD_SAMPLES;
        zvglColor4f(share[k], 1 - share[k], 0, 1);
        zvglVertex2f(cx + u * (2.0f * j / HUD_SAMPLES - 1),
                     cy + u * clamp1(-speed_scale * speed[k]));
    }
    zvglEnd();
}

void draw_graph_legend(float x, float y, float u, const char *const lines[3]) {
    static const float colours[3][3] = {{1, 1, 1}, {0, 1, 0}, {1, 0, 0}};
    float size = u / 12;
    for (int i = 0; i < 3; i++)
        text_at(x, y - size * (float)(2 * i + 1), size, colours[i][0], colours[i][1], colours[i][2],
                1, lines[i]);
}

void draw_suspension(float u) {
    const hud_suspension &s = hud.suspension;
    int start = s.index >= 0 && s.index < HUD_SAMPLES ? s.index : 0;
    float shock_x = scr.w - 4 * u, y = -scr.h + u, fork_x = shock_x - 3 * u;
    draw_graph_plot(fork_x, y, u, s.fork_position, s.fork_speed, s.fork_share, 0.25f, start);
    draw_graph_plot(shock_x, y, u, s.shock_position, s.shock_speed, s.shock_share, 1, start);
    static const char *const fork[3] = {" Fork Position", " Fork Speed (High)",
                                        " Fork Speed (Low)"};
    static const char *const shock[3] = {" Swingarm Position", " Shock Speed (High)",
                                         " Shock Speed (Low)"};
    draw_graph_legend(fork_x + u, y + u, u, fork);
    draw_graph_legend(shock_x + u, y + u, u, shock);
}

void draw_tachometer(const bike_record *b, float u) {
    float cx = scr.w - u, cy = -scr.h + u;
    unsigned dial = render_texture_load("!@tach.png");
    if (dial) picture(dial, cx - u, cy - u, cx + u, cy + u, 0, 0, 1, 1);
    // The gear window in the dial's centre.
    unsigned shifter = render_texture_load("!@shifter.png");
    if (shifter) {
        float cell[4];
        hud_gear_cell(b->engine.gear, cell);
        float r = u / 3;
        picture(shifter, cx - r, cy - r, cx + r, cy + r, cell[0], cell[1], cell[2], cell[3]);
    }
    // The needle turns clockwise from straight up.
    float a = hud_needle_degrees(bike_engine_rpm(&b->engine)) * PI / 180;
    float c = std::cos(a), s = std::sin(a);
    static const float needle[3][2] = {{0, 0.75f}, {-0.1f, 0.25f}, {0.1f, 0.25f}};
    float p[3][2];
    for (int i = 0; i < 3; i++) {
        float x = needle[i][0], y = needle[i][1];
        p[i][0] = cx + u * (x * c + y * s);
        p[i][1] = cy + u * (-x * s + y * c);
    }
    triangle(p, 0.75f, 0, 0, 1);
}

void draw_pit_board(int slot) {
    float v = 0.6227179f * scr.h, x0 = -scr.w, y0 = -scr.h;
    unsigned board = render_texture_load("!@pitboard.png");
    if (board) picture(board, x0, y0 + 0.125f * v, x0 + v, y0 + 0.8125f * v, 0, 0.1875f, 1, 0.875f);
    char lines[HUD_PIT_LINES][64];
    hud_pit_board_lines(slot, lines);
    float lh = 0.0703125f * v, big = 1.25f * lh;
    float x = x0 + 0.37109375f * v, y = y0 + 0.6796875f * v;
    text_at(x, y, lh, 0, 0, 0, 1, lines[0]);
    y -= 2 * big;
    text_at(x, y, big, 0, 0, 0, 1, lines[1]);
    y -= big;
    text_at(x, y, big, 0, 0, 0, 1, lines[2]);
    x -= 2 * big;
    for (int i = 3; i < HUD_PIT_LINES; i++) {
        if (!lines[i][0]) continue;
        y -= big;
        text_at(x, y, big, 0, 0, 0, 1, lines[i]);
    }
    // Riders laps ahead close behind on the track.
    static char warning[HUD_WARNING_MAX + 16];
    if (hud_lapping_text(slot, warning, sizeof warning) > 0) {
        float line = 2 * scr.h / 30;
        rect(-scr.w, -scr.h, scr.w, -scr.h + line, 0, 0.5f, 1, 0.5f);
        centred_at(-scr.w, scr.w, -scr.h + line * 0.05f, line * 0.9f, 1, 1, 1, 1, warning);
    }
}

void draw_lean(const bike_record *b) {
    float pos[3], rot[12];
    frame_pose(b, pos, rot);
    if (!finite_all(pos, 3) || !finite_all(rot, 12) || !terrain_present()) return;
    float n[3];
    terrain_normal(pos[0], pos[2], n);
    // Into the frame's axes (the rotation's columns).
    float local[3];
    for (int c = 0; c < 3; c++)
        local[c] = rot[c] * n[0] + rot[4 + c] * n[1] + rot[8 + c] * n[2];
    float a = hud_lean_angle(local);
    float pts[HUD_LEAN_POINTS][2][2];
    int pairs = hud_lean_strip(a, pts);
    float unit = 0.9336101f * scr.h, red = std::fabs(a) > 0.6283185f ? 1.0f : 0.0f;
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglBegin(GL_TRIANGLE_STRIP);
    for (int i = 0; i < pairs; i++) {
        zvglColor4f(red, 0, 0, 0);
        zvglVertex2f(unit * pts[i][0][0], unit * pts[i][0][1]);
        zvglColor4f(red, 0, 0, 0.25f);
        zvglVertex2f(unit * pts[i][1][0], unit * pts[i][1][1]);
    }
    zvglEnd();
}

void marker(float x, float y, float half, float r, float g, float b) {
    rect(x - half, y - half, x + half, y + half, r, g, b, 1);
}

void draw_map(int slot) {
    if (!hud.map_texture || !terrain_present() || !(terrain.extent > 0)) return;
    float scale = (float)core_settings_number(CORE_SET_MAP_SCALE);
    if (!(scale >= 0.125f)) scale = 0.125f;
    if (scale > 8) scale = 8;
    float unit = 0.466805f * scr.h * scale, left = scr.w - unit, top = scr.h;
    picture(hud.map_texture, left, top - unit, scr.w, top, 0, 0, 1, 1, 0.85f);
    auto place = [&](const bike_record *b, float *x, float *y) {
        float pos[3], rot[12], u, v;
        frame_pose(b, pos, rot);
        if (!hud_map_place(pos[0], pos[2], terrain.extent, &u, &v)) return 0;
        *x = left + u * unit;
        *y = top - v * unit;
        return 1;
    };
    float x, y;
    for (int s = 0; s < RACE_SLOTS; s++) {
        const bike_record *b = bike_of(s);
        if (b && race_rider_shown(s) && place(b, &x, &y))
            marker(x, y, 0.015625f / scale * unit, 0, 0, 0);
    }
    int count = race.order_count < RACE_SLOTS ? race.order_count : RACE_SLOTS;
    for (int i = count - 1; i >= 0; i--) {
        int s = race.order[i].slot;
        const bike_record *b = bike_of(s);
        if (!b || !race_rider_shown(s) || !place(b, &x, &y)) continue;
        if (race_finished(s))
            marker(x, y, 0.0078125f / scale * unit, 0.25f, 0.25f, 0.25f);
        else if (i == 0)
            marker(x, y, 0.0078125f / scale * unit, 0, 1, 0);
        else
            marker(x, y, 0.0078125f / scale * unit, 1, 1, 1);
    }
    const bike_record *b = bike_of(slot);
    if (!b || !place(b, &x, &y)) return;
    float pos[3], rot[12];
    frame_pose(b, pos, rot);
    // Heading on the map: the forward axis (-z of the frame), z growing down the picture.
    float dx = -rot[2], dy = rot[10], l = std::sqrt(dx * dx + dy * dy);
    if (!(l > 1e-4f)) return;
    dx /= l, dy /= l;
    for (int pass = 0; pass < 2; pass++) {
        float s = (pass ? 0.0234375f : 0.03515625f) / scale * unit;
        float p[3][2] = {{x + dx * s, y + dy * s},
                         {x - dx * s - dy * s, y - dy * s + dx * s},
                         {x - dx * s + dy * s, y - dy * s - dx * s}};
        triangle(p, pass ? 1.0f : 0.0f, 0, 0, 1);
    }
}

void draw_start_banner(void) {
    double t = race.tic * CORE_TIC_LENGTH;
    float alpha = hud_start_banner_alpha(t);
    if (!(alpha > 0) || !track_loaded.dir) return;
    char first[128], second[64];
    hud_start_banner_lines(first, second);
    float s = 0.1f * scr.h;
    centred_at(-10 * s, 10 * s, 0, s, 1, 1, 1, alpha, first, 1);
    centred_at(-10 * s, 10 * s, -s, s, 1, 1, 1, alpha, second, 1);
}

// ---- results table
// -------------------------------------------------------------------------------

hud_results results;

// Draws the table in grid units; returns 1 when it was drawn.
int draw_results(int viewed) {
    hud_results_table(viewed, &results);
    if (!results.shown) return 0;
    zvglPushMatrix();
    zvglTranslatef(0.25f, -0.25f, 0);
    rect(0, 1, 19, -0.5f, 0, 0, 0, 0.25f);
    centred_at(0, 19, 0, 1, 1, 1, 1, 1, results.final ? "Final Results" : "Unofficial Results");
    float y = -1;
    static const char *const heads[6] = {"Pos.", "No.", "Lap", "Gap", "Best Time", "BLap"};
    static const float edges[7] = {0, 2, 4, 6.25f, 11.5f, 16.5f, 19};
    for (int i = 0; i < 6; i++)
        centred_at(edges[i], edges[i + 1], y, 0.5f, 1, 1, 1, 1, heads[i]);
    y -= 1;
    for (int i = 0; i < results.row_count; i++) {
        const hud_result_row &r = results.rows[i];
        if (i % 2 == 1) rect(0, y + 1, 19, y, 1, 1, 1, 0.25f);
        float c = r.viewed ? 1.0f : 0.75f;
        right_at(1.5f, y, 1, c, c, c, 1, r.position);
        right_at(4, y, 1, c, c, c, 1, r.number);
        right_at(6.25f, y, 1, c, c, c, 1, r.lap);
        right_at(11, y, 1, c, c, c, 1, r.gap);
        right_at(16.5f, y, 1, c, c, c, 1, r.best);
        right_at(19, y, 1, c, c, c, 1, r.best_lap);
        y -= 1;
    }
    if (results.final) {
        text_at(0, y, 1, 0.75f, 0.75f, 0.75f, 1, results.total);
        y -= 2;
        for (int i = 0; i < results.penalty_count; i++, y -= 0.5f)
            text_at(0, y, 0.5f, 1, 0, 0, 1, results.penalties[i]);
    }
    zvglPopMatrix();
    return 1;
}

// ---- drawing statistics
// --------------------------------------------------------------------------

long last_model_triangles, last_decals;
int last_program_switches, last_texture_binds;

void take_statistics(void) {
    long m = model_draw.triangles;
    int p = zvglProgramSwitches(), t = zvglTextureBinds();
    hud.stats_now[0] = ground_frame_stats.triangles;
    hud.stats_now[1] = (int)(m >= last_model_triangles ? m - last_model_triangles : m);
    hud.stats_now[2] = objects_billboards_drawn;
    hud.stats_now[3] = (int)(ground_decals_drawn >= last_decals ? ground_decals_drawn - last_decals
                                                                : ground_decals_drawn);
    hud.stats_now[4] = t >= last_texture_binds ? t - last_texture_binds : t;
    hud.stats_now[5] = p >= last_program_switches ? p - last_program_switches : p;
    last_model_triangles = m;
    last_decals = ground_decals_drawn;
    last_program_switches = p;
    last_texture_binds = t;
}

} // namespace

void hud_draw_instruments(int slot, int width, int height) {
    set_screen(width, height);
    if (const bike_record *b = bike_of(slot)) {
        float u = 0.2334025f * scr.h;
        if (hud.graph) draw_suspension(u);
        draw_tachometer(b, u);
        draw_pit_board(slot);
        if (race.status[slot] == RACE_REPLAYED) hud_draw_name_banner(slot, width, height);
        set_screen(width, height);
        if (core_config_setup.choice[SETUP_LEAN_INDICATOR] == 1) draw_lean(b);
    }
    draw_map(slot);
    draw_start_banner();
    zvglFlush();
}

void hud_draw_text(int slot, int width, int height, int first_line) {
    set_screen(width, height);
    grid_begin(HUD_TEXT_GRID);
    zvglTranslatef(0, -(float)first_line, 0);
    float x = 0;
    if (draw_results(slot)) x = 19.5f;
    static char lines[HUD_TEXT_LINES][HUD_LINE_SIZE];
    int n = hud_text_lines(slot, lines);
    for (int i = 0; i < n; i++) {
        zvglPushMatrix();
        zvglTranslatef(x, -(float)i, 0);
        render_text_grey_shadowed(lines[i]);
        zvglPopMatrix();
    }
    grid_end();
    zvglFlush();
}

void hud_draw_name_banner(int slot, int width, int height) {
    if (slot < 0 || slot >= RACE_SLOTS || race.status[slot] != RACE_REPLAYED) return;
    const char *name = hud_rider_name(slot);
    if (!name || !name[0]) return;
    set_screen(width, height);
    grid_begin(HUD_BANNER_GRID);
    float across = 2 * scr.w / (2 * scr.h / HUD_BANNER_GRID);
    centred_at(0, across, -28, 1, 1, 1, 1, 1, name, 1);
    grid_end();
    zvglFlush();
}

void hud_draw_ticker(int width, int height) {
    set_screen(width, height);
    float W = HUD_TICKER_GRID * scr.w / scr.h;
    const float slot_w = HUD_TICKER_SLOT / 10.0f;
    const race_order_entry *list = race.results_final ? race.results : race.order;
    int total = race.results_final ? race.results_count : race.order_count;
    if (total > RACE_SLOTS) total = RACE_SLOTS;
    if (total < 0) total = 0;
    // An online spectator does not see riders simulated here.
    int keep_local = !race.network || race.local_slot >= 0;
    static race_order_entry shown[RACE_SLOTS];
    int count = 0;
    for (int i = 0; i < total; i++)
        if (keep_local || race.status[list[i].slot] != RACE_LOCAL) shown[count++] = list[i];
    grid_begin(HUD_TICKER_GRID);
    double c = 0.5 * core_loop.game_clock;
    double fl = std::floor(c);
    int f = (int)std::fmod(fl, (double)(count + 1));
    if (f < 0) f += count + 1;
    zvglPushMatrix();
    zvglTranslatef((float)(fl - c) * slot_w, -0.25f, 0);
    for (float x = 0; x < W + slot_w && x < 4000; x += slot_w) {
        zvglPushMatrix();
        zvglTranslatef(x, 0, 0);
        rect(0, 2, slot_w, -1, 0, 0, 0, 0.75f);
        if (f < count) {
            const race_order_entry &e = shown[f];
            char text[32], number[16];
            snprintf(text, sizeof text, "%d", f + 1);
            centred_at(0, 3, 0, 1, 1, 1, 1, 1, text);
            rect(3, 0, 6, 1, 1, 1, 1, 1);
            hud_rider_number(e.slot, number, sizeof number);
            snprintf(text, sizeof text, "%3.3s", number);
            centred_at(3, 6, 0, 1, 0, 0, 0, 1, text);
            rect(6.5f, 0, slot_w, 1, 1, 1, 1, 1);
            zvglPushMatrix();
            zvglTranslatef(6.75f, 0, 0);
            render_text_draw(0, 0, 0, 1, hud_rider_name(e.slot));
            zvglPopMatrix();
            if (f > 0 && count > 1) {
                int g = hud_gap(&shown[0], &e, count);
                if (g > 0) {
                    snprintf(text, sizeof text, "%7.3f", g * CORE_TIC_LENGTH);
                    text_at(6.75f, -1, 1, 1, 1, 1, 1, text);
                }
            }
        }
        zvglPopMatrix();
        f = f + 1 > count ? 0 : f + 1;
        if (x + slot_w > W) break;
    }
    zvglPopMatrix();
    // The lap box: the leader's lap, white on the last one, a chequer once the race is run.
    int h = count > 0 ? hud_laps_from_progress(shown[0].progress) : 0;
    int L = race.lap_total;
    zvglPushMatrix();
    zvglTranslatef(W - 5, -1.25f, 0);
    if (h < L) {
        if (h + 1 == L)
            rect(0, 0, 5, 1, 1, 1, 1, 1);
        else
            rect(0, 0, 5, 1, 0, 0.75f, 0, 1);
        char text[32];
        snprintf(text, sizeof text, "Lap %d", h + 1);
        centred_at(0, 5, 0, 1, 0, 0, 0, 1, text);
    } else {
        rect(0, 0, 5, 1, 1, 1, 1, 1);
        for (int r = 0; r < 2; r++)
            for (int k = r % 2; k < 4; k += 2)
                rect(k * 1.25f, r * 0.5f, k * 1.25f + 1.25f, r * 0.5f + 0.5f, 0, 0, 0, 1);
    }
    zvglPopMatrix();
    grid_end();
    zvglFlush();
}

void hud_draw_overlays(int view_mode) {
    int width = core_loop.frame_width, height = core_loop.frame_height;
    if (width <= 0 || height <= 0 || !zvglStarted() || view_mode == CORE_VIEW_TITLE) return;
    take_statistics();
    int slot = core_loop.viewed_slot;
    if (view_mode == CORE_VIEW_RIDER || view_mode == CORE_VIEW_ORBIT)
        hud_draw_instruments(slot, width, height);
    if (view_mode == CORE_VIEW_CAMERAS && core_loop.auto_camera)
        hud_draw_name_banner(slot, width, height);
    // Over the track cameras the ticker's strip takes the top three lines.
    hud_draw_text(slot, width, height, view_mode == CORE_VIEW_CAMERAS ? 3 : 0);
}

void hud_map_load(const char *dir) {
    hud.map_texture = 0;
    hud.map_load_count = track_loaded.load_count;
    if (!dir || !zvglStarted()) return;
    char name[1100];
    snprintf(name, sizeof name, "%s/map.png", dir);
    // No map.png, no map: only a picture that is there is asked for.
    if (!file_index_exists(name)) return;
    snprintf(name, sizeof name, "@%s/map.png", dir);
    hud.map_texture = render_texture_load(name);
}
