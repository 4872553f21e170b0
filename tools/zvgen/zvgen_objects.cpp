// The default track's objects: pine trees and spectators as billboards, banners along the
// start straight, hay bales, tuff blocks and a tire wall with their shapes, the flaggers with
// their pictures, the start-box decal, the trackside cameras, the overview map and the roost
// particle picture.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "track/track_centerline.h"
#include "track/track_gates.h"
#include "zvgen.h"
#include "zvgen_image.h"
#include "zvgen_track.h"

namespace {

#define DIR ZVGEN_TRACK_DIR

struct spot {
    float x, z;
};

const track_centerline *line;

// Distance from (x, z) to the racing line minus the line's half width there (the riding
// surface's edge); negative on the track.
float off_track(float x, float z) {
    float best = 1e9f;
    for (int i = 0; i < line->count; i++) {
        const track_centerline_point &p = line->points[i];
        float d = hypotf(x - p.x, z - p.z) - p.half_width;
        if (d < best) best = d;
    }
    return best;
}

// A point beside the line at arc length t, `out` feet beyond its edge on side (+1 left).
spot beside(float t, float side, float out, float *heading = nullptr) {
    track_centerline_point a = track_centerline_at(line, t - 2),
                           b = track_centerline_at(line, t + 2);
    track_centerline_point p = track_centerline_at(line, t);
    float dx = b.x - a.x, dz = b.z - a.z, l = hypotf(dx, dz);
    if (l <= 0) l = 1, dx = 1, dz = 0;
    dx /= l, dz /= l;
    // Statues lie lengthwise along the edge: their long x axis along the direction of travel.
    if (heading) *heading = atan2f(dz, -dx);
    float r = p.half_width + out;
    return {p.x + dz * side * r, p.z - dx * side * r};
}

// Curvature sign at t: +1 when the line turns left.
float turn_side(float t) {
    track_centerline_point a = track_centerline_at(line, t - 20), b = track_centerline_at(line, t),
                           c = track_centerline_at(line, t + 20);
    float cr = (b.x - a.x) * (c.z - b.z) - (b.z - a.z) * (c.x - b.x);
    return cr > 0 ? 1.0f : -1.0f;
}

float turn_amount(float t) {
    track_centerline_point a = track_centerline_at(line, t - 20), b = track_centerline_at(line, t),
                           c = track_centerline_at(line, t + 20);
    float h1 = atan2f(b.z - a.z, b.x - a.x), h2 = atan2f(c.z - b.z, c.x - b.x);
    float d = h2 - h1;
    while (d > (float)M_PI)
        d -= 2 * (float)M_PI;
    while (d < -(float)M_PI)
        d += 2 * (float)M_PI;
    return fabsf(d);
}

zvgen_rgba rgba(float r, float g, float b, float a = 1) {
    return {r, g, b, a};
}

int picture_tree(const char *name, uint64_t seed) {
    zvgen_rng rng;
    zvgen_rng_seed(&rng, seed);
    zvgen_canvas c;
    zvgen_canvas_init(&c, 64, 128, {0, 0, 0, 0});
    zvgen_canvas_rect(&c, 28, 100, 36, 128, rgba(0.32f, 0.2f, 0.1f));
    for (int k = 0; k < 5; k++) {
        float y0 = 112 - k * 22.0f, w = 30 - k * 5.0f;
        float g = 0.22f + 0.06f * (float)zvgen_rng_uniform(&rng);
        float tri[6] = {32 - w, y0, 32 + w, y0, 32, y0 - 40};
        zvgen_canvas_polygon(&c, tri, 3, rgba(0.08f, g, 0.1f));
    }
    int ok = zvgen_canvas_write_png(&c, name, 1);
    zvgen_canvas_free(&c);
    return ok;
}

void person(zvgen_canvas *c, float x, float h, zvgen_rgba shirt, zvgen_rgba pants, int arm_up) {
    float base = (float)c->height;
    zvgen_canvas_rect(c, x - 4, base - h * 0.48f, x - 0.5f, base, pants);
    zvgen_canvas_rect(c, x + 0.5f, base - h * 0.48f, x + 4, base, pants);
    zvgen_canvas_rect(c, x - 5, base - h * 0.82f, x + 5, base - h * 0.46f, shirt);
    zvgen_canvas_disc(c, x, base - h * 0.9f, h * 0.085f, rgba(0.86f, 0.67f, 0.52f));
    if (arm_up)
        zvgen_canvas_line(c, x + 5, base - h * 0.78f, x + 9, base - h * 1.0f, 2.5f, shirt);
    else
        zvgen_canvas_line(c, x + 5, base - h * 0.78f, x + 6, base - h * 0.5f, 2.5f, shirt);
    zvgen_canvas_line(c, x - 5, base - h * 0.78f, x - 6, base - h * 0.5f, 2.5f, shirt);
}

int picture_crowd(const char *name, uint64_t seed) {
    zvgen_rng rng;
    zvgen_rng_seed(&rng, seed);
    zvgen_canvas c;
    zvgen_canvas_init(&c, 128, 64, {0, 0, 0, 0});
    static const zvgen_rgba shirts[] = {{0.85f, 0.1f, 0.1f, 1}, {0.1f, 0.3f, 0.8f, 1},
                                        {0.95f, 0.8f, 0.1f, 1}, {0.9f, 0.9f, 0.9f, 1},
                                        {0.1f, 0.6f, 0.2f, 1},  {0.2f, 0.2f, 0.2f, 1}};
    for (int i = 0; i < 9; i++) {
        float x = 8 + i * 14 + (float)zvgen_rng_range(&rng, -3, 3);
        person(&c, x, (float)zvgen_rng_range(&rng, 48, 62), shirts[zvgen_rng_int(&rng, 6)],
               rgba(0.15f, 0.18f, 0.3f), zvgen_rng_int(&rng, 3) == 0);
    }
    int ok = zvgen_canvas_write_png(&c, name, 1);
    zvgen_canvas_free(&c);
    return ok;
}

int picture_banner(const char *name, const char *text) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, 256, 64, rgba(1, 1, 1));
    zvgen_canvas_rect(&c, 0, 0, 256, 6, rgba(0.2f, 0.2f, 0.2f));
    zvgen_canvas_rect(&c, 0, 58, 256, 64, rgba(0.2f, 0.2f, 0.2f));
    float w = zvgen_text_width(text, 3.5f);
    zvgen_canvas_text(&c, 128 - w / 2, 12, 3.5f, 4.5f, 0.3f, text, rgba(0.1f, 0.1f, 0.1f));
    int ok = zvgen_canvas_write_png(&c, name, 0);
    zvgen_canvas_free(&c);
    return ok;
}

// A marshal with a board or a flag: board 0 none, 1 held edge-on, 2 shown, 3 lowered; the text
// on a shown board.
int picture_flagger(const char *name, int board, const char *text, zvgen_rgba flag, int waving) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, 64, 128, {0, 0, 0, 0});
    person(&c, 24, 110, rgba(0.95f, 0.55f, 0.1f), rgba(0.15f, 0.15f, 0.2f), board == 2 || waving);
    if (board == 1) zvgen_canvas_rect(&c, 31, 14, 34, 50, rgba(0.9f, 0.9f, 0.9f));
    if (board == 2) {
        zvgen_canvas_rect(&c, 28, 2, 62, 34, rgba(0.95f, 0.95f, 0.95f));
        float w = zvgen_text_width(text, 2.5f);
        zvgen_canvas_text(&c, 45 - w / 2, 8, 2.5f, 2.2f, 0.2f, text, rgba(0.05f, 0.05f, 0.05f));
    }
    if (board == 3) zvgen_canvas_rect(&c, 30, 70, 58, 78, rgba(0.9f, 0.9f, 0.9f));
    if (flag.a > 0) {
        float top = waving ? 2.0f : 40.0f;
        zvgen_canvas_line(&c, 33, top + 30, 33, top, 1.5f, rgba(0.3f, 0.3f, 0.3f));
        float f[8] = {33, top, 58, top + (waving ? 6.0f : 2.0f), 58, top + 16, 33, top + 14};
        zvgen_canvas_polygon(&c, f, 4, flag);
    }
    int ok = zvgen_canvas_write_png(&c, name, 1);
    zvgen_canvas_free(&c);
    return ok;
}

int picture_roost(void) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, 32, 32, {1, 1, 1, 0});
    zvgen_rng rng;
    zvgen_rng_seed(&rng, 77);
    for (int i = 0; i < 14; i++)
        zvgen_canvas_disc(&c, (float)zvgen_rng_range(&rng, 9, 23),
                          (float)zvgen_rng_range(&rng, 9, 23), (float)zvgen_rng_range(&rng, 3, 7),
                          rgba(1, 1, 1, 0.8f));
    int ok = zvgen_canvas_write_png(&c, "roost.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

int picture_startbox(void) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, 256, 32, rgba(0.42f, 0.33f, 0.24f, 0.85f));
    zvgen_canvas_rect(&c, 0, 0, 256, 3, rgba(0.95f, 0.95f, 0.95f));
    zvgen_canvas_rect(&c, 0, 29, 256, 32, rgba(0.95f, 0.95f, 0.95f));
    for (int i = 0; i <= 40; i++)
        zvgen_canvas_rect(&c, i * 6.3f, 3, i * 6.3f + 0.8f, 29, rgba(0.9f, 0.9f, 0.9f, 0.6f));
    int ok = zvgen_canvas_write_png(&c, DIR "/startbox.png", 1);
    zvgen_canvas_free(&c);
    return ok;
}

} // namespace

int zvgen_objects(void) {
    size_t len = 0;
    const uint8_t *text = zvgen_find_file(DIR "/centerline", &len);
    track_centerline cl;
    if (!text || !track_centerline_parse((const char *)text, len, &cl)) return 0;
    line = &cl;
    const uint8_t *gt = zvgen_find_file(DIR "/timing_gates", &len);
    gates_clear();
    if (gt) gates_parse((const char *)gt, len);
    float extent = 1024 * 0.75f;

    int ok = picture_roost() && picture_startbox();
    for (int i = 0; i < 3 && ok; i++) {
        char n[64];
        snprintf(n, sizeof n, DIR "/pine%d.png", i);
        ok = picture_tree(n, 100 + (uint64_t)i);
        snprintf(n, sizeof n, DIR "/crowd%d.png", i);
        ok = ok && picture_crowd(n, 200 + (uint64_t)i);
    }
    ok = ok && picture_banner(DIR "/banner_hollow.png", "PINE HOLLOW") &&
         picture_banner(DIR "/banner_mx.png", "MOTOCROSS");
    // Start flagger: board edge-on, turning, shown "30", lowered, walking off; lap board: blank
    // lap, halfway, last lap (white), finish (chequered); ordinary: standing, yellow flag.
    static const zvgen_rgba none = {0, 0, 0, 0}, yellow = {1, 0.85f, 0.05f, 1},
                            white = {1, 1, 1, 1}, black = {0.05f, 0.05f, 0.05f, 1};
    ok = ok && picture_flagger(DIR "/start0.png", 1, "", none, 0) &&
         picture_flagger(DIR "/start1.png", 2, "", none, 0) &&
         picture_flagger(DIR "/start2.png", 2, "30", none, 0) &&
         picture_flagger(DIR "/start3.png", 3, "", none, 0) &&
         picture_flagger(DIR "/start4.png", 0, "", none, 0) &&
         picture_flagger(DIR "/lap0.png", 0, "", none, 0) &&
         picture_flagger(DIR "/lap1.png", 2, "1/2", none, 0) &&
         picture_flagger(DIR "/lap2.png", 0, "", white, 1) &&
         picture_flagger(DIR "/lap3.png", 0, "", black, 1) &&
         picture_flagger(DIR "/flag0.png", 0, "", yellow, 0) &&
         picture_flagger(DIR "/flag1.png", 0, "", yellow, 1);
    if (!ok) return 0;

    // Cameras: posts outside the line every sixth of the lap, each covering the checkpoints
    // nearest to it.
    const int CAMS = 6;
    std::vector<spot> posts;
    for (int i = 0; i < CAMS; i++) {
        float t = cl.length * (i + 0.5f) / CAMS;
        spot s = beside(t, -turn_side(t), 28);
        posts.push_back(s);
    }
    zvgen_rng rng;
    zvgen_rng_seed(&rng, 4242);
    zvgen_text bb = {};
    // Pines in the infield and around the outside, never on the riding surface.
    int trees = 0;
    for (int tries = 0; tries < 4000 && trees < 140; tries++) {
        float x = (float)zvgen_rng_range(&rng, 40, extent - 40);
        float z = (float)zvgen_rng_range(&rng, 40, extent - 40);
        float off = off_track(x, z);
        if (off < 30 || off > 220) continue;
        int by_camera = 0; // the cameras keep a clear view of the track
        for (const spot &c : posts)
            by_camera |= hypotf(x - c.x, z - c.z) < 90;
        if (by_camera) continue;
        float size = (float)zvgen_rng_range(&rng, 22, 38);
        zvgen_text_printf(&bb, "[%g 0 %g] %g 0.5 @" DIR "/pine%d.png\n", x, z, size,
                          zvgen_rng_int(&rng, 3));
        trees++;
    }
    // Spectators along the outside of the turns and by the start.
    for (float t = 30; t < cl.length; t += 55) {
        if (turn_amount(t) < 0.25f && t > 200) continue;
        float side = -turn_side(t);
        spot s = beside(t, side, 16 + (float)zvgen_rng_range(&rng, 0, 4));
        if (off_track(s.x, s.z) < 10) continue;
        zvgen_text_printf(&bb, "[%g 0 %g] 4 2 @" DIR "/crowd%d.png\n", s.x, s.z,
                          zvgen_rng_int(&rng, 3));
    }
    // Banners on both sides of the start straight, tinted alternately.
    for (int i = 0; i < 6; i++) {
        float t = 40 + i * 30.0f;
        for (float side : {-1.0f, 1.0f}) {
            spot s = beside(t, side, 7);
            if (off_track(s.x, s.z) < 4) continue;
            zvgen_text_printf(&bb, "[%g 0.5 %g] 2.2 4 %s@" DIR "/%s.png\n", s.x, s.z,
                              i % 2 ? "#ffd010#" : "", i % 3 ? "banner_hollow" : "banner_mx");
        }
    }
    if (!zvgen_text_write(&bb, DIR "/billboards")) return 0;

    // Statues beside the outside of turns: hay bales at every bend, a tire wall at the sharpest,
    // tuff blocks lining the start straight.
    zvgen_text st = {};
    float sharpest = 0, sharp_t = 0;
    for (float t = 250; t < cl.length - 150; t += 10)
        if (turn_amount(t) > sharpest) sharpest = turn_amount(t), sharp_t = t;
    for (float t = 250; t < cl.length - 150; t += 28) {
        if (turn_amount(t) < 0.15f || fabsf(t - sharp_t) < 40) continue;
        float heading;
        spot s = beside(t, -turn_side(t), 7, &heading);
        if (off_track(s.x, s.z) < 5) continue;
        zvgen_text_printf(
            &st, "[%g 0 %g] %g @" DIR "/haybale.jm @" DIR "/haybale.png @" DIR "/haybale.shp\n",
            s.x, s.z, heading);
    }
    for (float d : {-16.0f, 0.0f, 16.0f}) {
        float heading;
        spot s = beside(sharp_t + d, -turn_side(sharp_t), 9, &heading);
        if (off_track(s.x, s.z) < 6) continue;
        zvgen_text_printf(
            &st, "[%g 0 %g] %g @" DIR "/tirewall.jm @" DIR "/tirewall.png @" DIR "/tirewall.shp\n",
            s.x, s.z, heading);
    }
    for (int i = 0; i < 4; i++)
        for (float side : {-1.0f, 1.0f}) {
            float heading;
            spot s = beside(60 + i * 45.0f, side, 5.0f, &heading);
            if (off_track(s.x, s.z) < 2.5f) continue;
            zvgen_text_printf(&st,
                              "[%g 0 %g] %g @" DIR "/tuffblock.jm @" DIR "/tuffblock.png @" DIR
                              "/tuffblock.shp\n",
                              s.x, s.z, heading);
        }
    if (!zvgen_text_write(&st, DIR "/statues")) return 0;

    // Flaggers: the starter ahead of the gate on the left, walking off the track; the lap board
    // at the finish line; marshals watching checkpoints around the lap.
    zvgen_text fl = {};
    // The starter stands on the line 16 ft ahead of the gate, facing the riders, and walks off
    // to the pad's edge once he has shown the board.
    track_centerline_point mid = track_centerline_at(line, 16);
    spot a = {mid.x, mid.z}, b = beside(16, 1, 12);
    zvgen_text_printf(&fl,
                      "[%g 0 %g] [%g 0 %g] 6 0.5 4 @" DIR "/start0.png @" DIR "/start1.png @" DIR
                      "/start2.png @" DIR "/start3.png @" DIR "/start4.png\n",
                      a.x, a.z, b.x, b.z);
    spot lap = beside(cl.length - 100, 1, 5);
    zvgen_text_printf(&fl,
                      "[%g 0 %g] 6 0.5 @" DIR "/lap0.png @" DIR "/lap1.png @" DIR "/lap2.png @" DIR
                      "/lap3.png\n",
                      lap.x, lap.z);
    int cps = gates.checkpoint_count;
    for (int i = 3; i < cps; i += 4) {
        const gates_checkpoint &k = gates.checkpoints[i];
        float l = hypotf(k.direction[0], k.direction[2]);
        if (l <= 0) continue;
        float dx = k.direction[0] / l, dz = k.direction[2] / l;
        float t = 0;
        // Beside the checkpoint: across the line's direction by the reach.
        float x = k.origin[0] + dz * (k.length + 4), z = k.origin[2] - dx * (k.length + 4);
        (void)t;
        if (off_track(x, z) < 4) continue;
        zvgen_text_printf(&fl,
                          "[%g 0 %g] 6 0.5 %d %d -1 -1 @" DIR "/flag0.png @" DIR "/flag1.png\n", x,
                          z, i - 1, i);
    }
    if (!zvgen_text_write(&fl, DIR "/flaggers")) return 0;

    // The start box under the gate: across the slots, reaching back to the riders' wheels.
    if (gates.slot_count > 0) {
        const gates_slot &s0 = gates.slots[0], &s1 = gates.slots[gates.slot_count - 1];
        float cx = (s0.pos[0] + s1.pos[0]) / 2, cz = (s0.pos[2] + s1.pos[2]) / 2;
        float ang = s0.angle;
        float w = hypotf(s1.pos[0] - s0.pos[0], s1.pos[2] - s0.pos[2]) + 6;
        cx += sinf(ang) * 2.5f, cz += cosf(ang) * 2.5f;
        if (!zvgen_printf_file(DIR "/decals", "[%g %g] %g %g %g @" DIR "/startbox.png\n", cx, cz,
                               ang, w, 12 / w))
            return 0;
    }

    std::vector<std::vector<int>> covered(CAMS);
    for (int i = 0; i < cps; i++) {
        int best = 0;
        float bd = 1e9f;
        for (int c = 0; c < CAMS; c++) {
            float d = hypotf(gates.checkpoints[i].origin[0] - posts[c].x,
                             gates.checkpoints[i].origin[2] - posts[c].z);
            if (d < bd) bd = d, best = c;
        }
        covered[best].push_back(i);
    }
    zvgen_text cm = {};
    for (int c = 0; c < CAMS; c++) {
        zvgen_text_printf(&cm, "fov 55\nautofovsize 40\ngate");
        for (int g : covered[c])
            zvgen_text_printf(&cm, " %d", g);
        zvgen_text_printf(&cm, "\naddcamera %g 18 %g\n", posts[c].x, posts[c].z);
    }
    if (!zvgen_text_write(&cm, DIR "/cameras")) return 0;
    gates_clear();
    track_centerline_free(&cl);
    return 1;
}
