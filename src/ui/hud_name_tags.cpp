// Name tags over the riders: a rounded box with the number and name, facing the camera, drawn
// far to near after the scene with the depth test off.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/zv_label.h"
#include "bike/bike.h"
#include "core/core_loop.h"
#include "render/render_camera.h"
#include "render/render_font.h"
#include "render/zvgl.h"
#include "ui/hud.h"

namespace {

struct tag {
    int slot;
    float depth; // eye-space z: more negative is further
    float pos[3];
};

// A box with rounded ends around [x0, x1] x [y0, y1], as one triangle fan from its centre.
void rounded_box(float x0, float y0, float x1, float y1, float radius) {
    const float PI = 3.14159265358979f;
    const int steps = 6;
    zvglBegin(GL_TRIANGLE_FAN);
    zvglVertex2f((x0 + x1) / 2, (y0 + y1) / 2);
    const float corners[4][2] = {{x1, y1}, {x0, y1}, {x0, y0}, {x1, y0}};
    for (int c = 0; c < 4; c++)
        for (int i = 0; i <= steps; i++) {
            float a = (c + (float)i / steps) * PI / 2;
            float cx = corners[c][0] + (c == 0 || c == 3 ? -radius : radius);
            float cy = corners[c][1] + (c < 2 ? -radius : radius);
            zvglVertex2f(cx + radius * std::cos(a), cy + radius * std::sin(a));
        }
    zvglVertex2f(x1, y1 - radius);
    zvglEnd();
}

// Texts facing the camera: blended over the scene, both sides, without writing depth.
void begin_facing(void) {
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglEnable(GL_BLEND);
    zvglBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    zvglDisable(GL_CULL_FACE);
    zvglDepthMask(GL_FALSE);
}

// The model matrix that stands a text at p facing the camera whose model-view is mv: the
// camera's right, up and back axes in world coordinates are the rotation's rows.
void facing_matrix(const float mv[16], const float p[3], float face[16]) {
    const float m[16] = {mv[0], mv[4], mv[8],  0, mv[1], mv[5], mv[9], 0,
                         mv[2], mv[6], mv[10], 0, p[0],  p[1],  p[2],  1};
    for (int i = 0; i < 16; i++)
        face[i] = m[i];
}

// The debug labels of the logging commands: yellow text facing the camera, nearer than 400 ft.
void draw_debug_labels(const float mv[16]) {
    if (zv_labels.count <= 0) return;
    begin_facing();
    for (int i = 0; i < zv_labels.count; i++) {
        const zv_label &l = zv_labels.items[i];
        const float *p = l.position;
        float depth = mv[2] * p[0] + mv[6] * p[1] + mv[10] * p[2] + mv[14];
        if (!(depth < -1 && depth > -400)) continue;
        float scale = std::max(0.25f, 0.03f * camera_current.v * -depth);
        float face[16];
        facing_matrix(mv, p, face);
        zvglPushMatrix();
        zvglMultMatrixf(face);
        zvglScalef(scale, scale, scale);
        float w = render_text_width(l.text);
        render_text_centred(1, 1, 0, 1, -w / 2, w / 2, l.text);
        zvglPopMatrix();
    }
    zvglDepthMask(GL_TRUE);
    zvglEnable(GL_CULL_FACE);
}

} // namespace

void hud_draw_name_tags(void) {
    const float *m = zvglGetMatrix(); // the camera's model-view
    float mv[16];
    for (int i = 0; i < 16; i++)
        mv[i] = m[i];
    static tag tags[BIKE_SLOTS];
    int n = 0;
    int own = core_loop.view_mode == CORE_VIEW_RIDER ? core_loop.viewed_slot : -1;
    for (int s = 0; s < BIKE_SLOTS && s < RACE_SLOTS; s++) {
        const bike_record *b = &bike_world.bikes[s];
        if (!b->present || !b->m || s == own || !race_rider_shown(s)) continue;
        dBodyID body = b->body[BIKE_RIDER] ? b->body[BIKE_RIDER] : b->body[BIKE_FRAME];
        if (!body) continue;
        const dReal *p = dBodyGetPosition(body);
        tag t = {s, 0, {(float)p[0], (float)p[1] + 2.5f, (float)p[2]}};
        if (!std::isfinite(t.pos[0]) || !std::isfinite(t.pos[1]) || !std::isfinite(t.pos[2]))
            continue;
        t.depth = mv[2] * t.pos[0] + mv[6] * t.pos[1] + mv[10] * t.pos[2] + mv[14];
        if (!(t.depth < -1)) continue; // behind the eye or at it
        tags[n++] = t;
    }
    draw_debug_labels(mv);
    if (n == 0) return;
    std::sort(tags, tags + n, [](const tag &a, const tag &b) {
        return a.depth != b.depth ? a.depth < b.depth : a.slot < b.slot;
    });
    begin_facing();
    for (int i = 0; i < n; i++) {
        const tag &t = tags[i];
        char number[16], text[96];
        hud_rider_number(t.slot, number, sizeof number);
        const char *name = hud_rider_name(t.slot);
        snprintf(text, sizeof text, name[0] ? "%s %.60s" : "%s", number, name);
        // Half a foot high near by; far away (or through a long lens) the tag keeps a fortieth
        // of the screen's height so it stays readable.
        float scale = std::max(0.5f, 0.05f * camera_current.v * -t.depth);
        float face[16];
        facing_matrix(mv, t.pos, face);
        zvglPushMatrix();
        zvglMultMatrixf(face);
        zvglScalef(scale, scale, scale);
        float w = render_text_width(text);
        zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
        zvglColor4f(1, 1, 1, 0.6f);
        rounded_box(-w / 2 - 0.3f, -0.2f, w / 2 + 0.3f, 1.2f, 0.3f);
        render_text_centred(0, 0, 0, 1, -w / 2, w / 2, text);
        zvglPopMatrix();
    }
    zvglDepthMask(GL_TRUE);
    zvglEnable(GL_CULL_FACE);
}
