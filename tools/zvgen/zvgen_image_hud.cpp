// The HUD, title and icon pictures: "title.png" (the game's name over a jump on a dirt track),
// "tach.png" (the tachometer dial: 0 rpm at 135 degrees left of the top, 8000 at the top, 16000
// at 135 degrees right), "shifter.png" (3 x 3 gear cells, gear g in column g mod 3, row g / 3)
// and "pitboard.png" (the board the HUD writes lap and position on).
#include "zvgen.h"
#include "zvgen_image.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static const float pi = 3.14159265358979f;

static zvgen_rgba rgb(float r, float g, float b, float a = 1) {
    return {r, g, b, a};
}

static void centred_text(zvgen_canvas *c, float cx, float y, float s, float bold, const char *text,
                         zvgen_rgba col) {
    float w = zvgen_text_width(text, s) + bold * s;
    zvgen_canvas_text(c, cx - w / 2, y, s, s, bold, text, col);
}

// A dirt bike and rider in side view, in the air; (x, y) is the rear axle, s the wheelbase.
static void draw_bike(zvgen_canvas *c, float x, float y, float s, float tilt) {
    float ca = std::cos(tilt), sa = std::sin(tilt);
    auto P = [&](float u, float v, float *ox, float *oy) {
        *ox = x + (u * ca - v * sa) * s;
        *oy = y + (u * sa + v * ca) * s;
    };
    zvgen_rgba tyre = rgb(0.08f, 0.08f, 0.09f), rim = rgb(0.55f, 0.55f, 0.58f);
    zvgen_rgba body = rgb(0.95f, 0.45f, 0.05f), frame = rgb(0.2f, 0.2f, 0.22f);
    zvgen_rgba gear = rgb(0.1f, 0.25f, 0.6f), skin = rgb(0.92f, 0.92f, 0.95f);
    float ax, ay, bx, by, ex, ey;
    // wheels
    P(0, 0, &ax, &ay);
    P(1, 0, &bx, &by);
    for (int i = 0; i < 2; i++) {
        float wx = i ? bx : ax, wy = i ? by : ay;
        zvgen_canvas_ring(c, wx, wy, 0.24f * s, 0.34f * s, tyre);
        zvgen_canvas_ring(c, wx, wy, 0.2f * s, 0.24f * s, rim);
        zvgen_canvas_disc(c, wx, wy, 0.05f * s, rim);
    }
    // swing arm, forks, frame
    P(0.38f, -0.32f, &ex, &ey);
    zvgen_canvas_line(c, ax, ay, ex, ey, 0.07f * s, frame);
    P(0.86f, -0.62f, &ex, &ey);
    zvgen_canvas_line(c, bx, by, ex, ey, 0.07f * s, rim);
    // body panels: tank and seat, front fender, number plate
    float body_xy[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const float shape[] = {0.12f, -0.5f,  0.45f, -0.56f, 0.82f, -0.7f,
                           0.74f, -0.44f, 0.45f, -0.34f, 0.2f,  -0.38f};
    for (int i = 0; i < 6; i++)
        P(shape[2 * i], shape[2 * i + 1], &body_xy[2 * i], &body_xy[2 * i + 1]);
    zvgen_canvas_polygon(c, body_xy, 6, body);
    P(0.9f, -0.42f, &ex, &ey);
    float fx, fy;
    P(1.2f, -0.36f, &fx, &fy);
    zvgen_canvas_line(c, ex, ey, fx, fy, 0.06f * s, body);
    // engine block
    P(0.5f, -0.2f, &ex, &ey);
    zvgen_canvas_disc(c, ex, ey, 0.13f * s, frame);
    // rider: legs, body, arms, helmet
    float hip_x, hip_y, knee_x, knee_y, foot_x, foot_y, sh_x, sh_y, hand_x, hand_y, head_x, head_y;
    P(0.38f, -0.66f, &hip_x, &hip_y);
    P(0.66f, -0.72f, &knee_x, &knee_y);
    P(0.5f, -0.3f, &foot_x, &foot_y);
    P(0.5f, -1.18f, &sh_x, &sh_y);
    P(0.84f, -0.86f, &hand_x, &hand_y);
    P(0.58f, -1.38f, &head_x, &head_y);
    zvgen_canvas_line(c, hip_x, hip_y, knee_x, knee_y, 0.12f * s, gear);
    zvgen_canvas_line(c, knee_x, knee_y, foot_x, foot_y, 0.1f * s, gear);
    zvgen_canvas_line(c, hip_x, hip_y, sh_x, sh_y, 0.16f * s, skin);
    zvgen_canvas_line(c, sh_x, sh_y, hand_x, hand_y, 0.08f * s, skin);
    zvgen_canvas_disc(c, head_x, head_y, 0.13f * s, body);
    float vx, vy;
    P(0.68f, -1.38f, &vx, &vy);
    zvgen_canvas_disc(c, vx, vy, 0.05f * s, rgb(0.1f, 0.1f, 0.1f));
}

static int make_title(void) {
    const int W = 1024, H = 512;
    zvgen_canvas c;
    zvgen_canvas_init(&c, W, H, rgb(0, 0, 0));
    // Sky: deep blue at the top to a hazy horizon, with a warm glow left of centre.
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            float t = (float)y / (H * 0.7f);
            t = t > 1 ? 1 : t;
            float glow = std::exp(-((x - 300.0f) * (x - 300.0f) + (y - 330.0f) * (y - 330.0f)) /
                                  (2 * 160.0f * 160.0f));
            float *p = c.px + ((size_t)y * W + x) * 4;
            p[0] = 0.12f + 0.6f * t + 0.35f * glow;
            p[1] = 0.35f + 0.45f * t + 0.25f * glow;
            p[2] = 0.75f + 0.15f * t;
            p[3] = 1;
        }
    // Far hills, then the track's dirt with a take-off ramp.
    float hills_poly[2 * 67];
    for (int i = 0; i <= 64; i++) {
        float x = (float)i * W / 64;
        hills_poly[2 * i] = x;
        hills_poly[2 * i + 1] = 340 - 40 * std::sin(x * 0.006f + 1) -
                                22 * std::sin(x * 0.017f + 2) - 8 * std::sin(x * 0.05f);
    }
    // closed along the bottom edge
    hills_poly[130] = (float)W;
    hills_poly[131] = (float)H;
    hills_poly[132] = 0;
    hills_poly[133] = (float)H;
    zvgen_canvas_polygon(&c, hills_poly, 67, rgb(0.28f, 0.45f, 0.3f));
    const float dirt[] = {0,   420, 180, 410,  330, 360,  420, 356, 460,
                          410, 640, 430, 1024, 400, 1024, 512, 0,   512};
    zvgen_canvas_polygon(&c, dirt, 9, rgb(0.5f, 0.33f, 0.2f));
    // Ruts and berm shading on the dirt.
    for (int i = 0; i < 6; i++)
        zvgen_canvas_line(&c, 0, 450.0f + i * 10, 1024, 440.0f + i * 12, 2.5f,
                          rgb(0.38f, 0.24f, 0.14f, 0.6f));
    const float face[] = {330, 360, 420, 356, 460, 410, 400, 412};
    zvgen_canvas_polygon(&c, face, 4, rgb(0.42f, 0.27f, 0.16f));
    draw_bike(&c, 600, 370, 80, -0.18f);
    // The name: outlined, with a drop shadow.
    const char *name = "ZELVO";
    float s = 16, bold = 0.3f;
    float w = zvgen_text_width(name, s) + bold * s;
    float x = (W - w) / 2, y = 24;
    zvgen_canvas_text(&c, x + 8, y + 10, s, s, bold, name, rgb(0, 0, 0, 0.45f));
    for (int k = 0; k < 8; k++) {
        float a = k * pi / 4;
        zvgen_canvas_text(&c, x + 4 * std::cos(a), y + 4 * std::sin(a), s, s, bold, name,
                          rgb(0.15f, 0.08f, 0.03f));
    }
    zvgen_canvas_text(&c, x, y, s, s, bold, name, rgb(1, 0.62f, 0.1f));
    centred_text(&c, W / 2.0f + 3, 193, 5, 0.2f, "DIRT BIKE RACING", rgb(0, 0, 0, 0.5f));
    centred_text(&c, W / 2.0f, 190, 5, 0.2f, "DIRT BIKE RACING", rgb(1, 1, 1));
    int ok = zvgen_canvas_write_png(&c, "title.png", 0);
    zvgen_canvas_free(&c);
    return ok;
}

static int make_tach(void) {
    const int S = 256;
    const float cx = S / 2.0f, cy = S / 2.0f, R = S / 2.0f - 2;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, rgb(1, 1, 1, 0));
    zvgen_canvas_disc(&c, cx, cy, R, rgb(0.55f, 0.56f, 0.6f));
    zvgen_canvas_disc(&c, cx, cy, R - 6, rgb(0.07f, 0.07f, 0.09f, 0.92f));
    // Red line from 12000 rpm.
    for (int rpm = 12000; rpm < 16000; rpm += 50) {
        float a0 = (rpm * 0.000046875f - 0.375f) * 2 * pi;
        float a1 = ((rpm + 60) * 0.000046875f - 0.375f) * 2 * pi;
        zvgen_canvas_line(&c, cx + std::sin(a0) * (R - 16), cy - std::cos(a0) * (R - 16),
                          cx + std::sin(a1) * (R - 16), cy - std::cos(a1) * (R - 16), 10,
                          rgb(0.85f, 0.1f, 0.05f));
    }
    for (int rpm = 0; rpm <= 16000; rpm += 500) {
        float a = (rpm * 0.000046875f - 0.375f) * 2 * pi;
        float sn = std::sin(a), cs = -std::cos(a);
        int major = rpm % 2000 == 0;
        float r0 = R - (major ? 26 : 18), r1 = R - 10;
        zvgen_canvas_line(&c, cx + sn * r0, cy + cs * r0, cx + sn * r1, cy + cs * r1,
                          major ? 4.0f : 2.0f, rgb(0.95f, 0.95f, 0.95f));
        if (major) {
            char label[8];
            snprintf(label, sizeof label, "%d", rpm / 1000);
            float rl = R - 44;
            float s = 2.4f;
            float w = zvgen_text_width(label, s);
            zvgen_canvas_text(&c, cx + sn * rl - w / 2, cy + cs * rl - 3.5f * s, s, s, 0.2f, label,
                              rgb(0.95f, 0.95f, 0.95f));
        }
    }
    centred_text(&c, cx, cy + R * 0.45f, 1.6f, 0.1f, "RPM x1000", rgb(0.7f, 0.7f, 0.72f));
    // The gear window the HUD fills from the shifter picture.
    zvgen_canvas_ring(&c, cx, cy, R / 3 + 1, R / 3 + 4, rgb(0.55f, 0.56f, 0.6f));
    int ok = zvgen_canvas_write_png(&c, "tach.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

static int make_shifter(void) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, rgb(1, 1, 1, 0));
    const char *labels[9] = {"N", "1", "2", "3", "4", "5", "6", "7", "8"};
    float cell = S / 3.0f;
    for (int g = 0; g < 9; g++) {
        float x0 = (g % 3) * cell, y0 = (g / 3) * cell;
        float cx = x0 + cell / 2, cy = y0 + cell / 2;
        zvgen_canvas_disc(&c, cx, cy, cell * 0.44f, rgb(0.1f, 0.1f, 0.12f, 0.85f));
        zvgen_rgba col = g == 0 ? rgb(0.2f, 0.95f, 0.3f) : rgb(1, 0.75f, 0.15f);
        float s = 7;
        centred_text(&c, cx, cy - 3.5f * s, s, 0.3f, labels[g], col);
    }
    int ok = zvgen_canvas_write_png(&c, "shifter.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

static int make_pitboard(void) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, rgb(1, 1, 1, 0));
    // The HUD shows rows 0.1875 to 0.875 of the picture: the board fills them.
    float top = 0.1875f * S, bottom = 0.875f * S;
    zvgen_canvas_rect(&c, 2, top, S - 2, bottom, rgb(0.12f, 0.12f, 0.12f));
    zvgen_canvas_rect(&c, 7, top + 5, S - 7, bottom - 5, rgb(0.97f, 0.97f, 0.92f));
    // A team stripe on the left; the HUD writes from 0.37 of the width onwards.
    zvgen_canvas_rect(&c, 7, top + 5, 0.3f * S, bottom - 5, rgb(0.95f, 0.5f, 0.08f));
    centred_text(&c, 0.165f * S, top + 20, 3, 0.2f, "P", rgb(1, 1, 1));
    centred_text(&c, 0.165f * S, top + 60, 3, 0.2f, "I", rgb(1, 1, 1));
    centred_text(&c, 0.165f * S, top + 100, 3, 0.2f, "T", rgb(1, 1, 1));
    int ok = zvgen_canvas_write_png(&c, "pitboard.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

// The desktop icon "icon.png": a bike in the air over a berm of dirt on a rounded tile of sky.
static int make_icon(void) {
    const int S = 256;
    zvgen_canvas c;
    zvgen_canvas_init(&c, S, S, rgb(0, 0, 0, 0));
    // The tile's rounded corners: four discs and two crossed bars.
    const float r = 40;
    zvgen_rgba sky = rgb(0.16f, 0.42f, 0.8f);
    zvgen_canvas_rect(&c, r, 8, S - r, S - 8, sky);
    zvgen_canvas_rect(&c, 8, r, S - 8, S - r, sky);
    const float corners[4][2] = {
        {r + 8, r + 8}, {S - r - 8, r + 8}, {r + 8, S - r - 8}, {S - r - 8, S - r - 8}};
    for (const auto &k : corners)
        zvgen_canvas_disc(&c, k[0], k[1], r, sky);
    // Dirt across the lower third, clipped to the tile by drawing it inside the same outline.
    for (int y = 150; y < S - 8; y++)
        for (int x = 8; x < S - 8; x++) {
            float ground = 165 + 18 * std::sin(x * 0.025f);
            if ((float)y < ground) continue;
            float dx = x < r + 8 ? r + 8 - x : x > S - r - 8 ? x - (S - r - 8) : 0;
            float dy = y > S - r - 8 ? y - (S - r - 8) : 0;
            if (dx * dx + dy * dy > r * r) continue;
            zvgen_canvas_blend(&c, x, y, rgb(0.5f, 0.33f, 0.2f), 1);
        }
    draw_bike(&c, 120, 120, 60, -0.35f);
    int ok = zvgen_canvas_write_png(&c, "icon.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

int zvgen_image_hud(void) {
    return make_title() && make_tach() && make_shifter() && make_pitboard() && make_icon();
}
