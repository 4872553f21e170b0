// The race view.
#include "render/render_view.h"
#include "sound/sound.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "core/core_camera.h"
#include "core/core_console.h"
#include "core/core_loop.h"
#include "core/core_options.h"
#include "track/track_list.h"
#include "core/core_hooks.h"
#include "core/core_settings.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "render/render_loading.h"
#include "render/render_font.h"
#include "render/render_frame.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/render_objects.h"
#include "render/render_texture.h"
#include "render/zvgl.h"
#include "track/track_gates.h"
#include "track/track_lighting.h"
#include "track/track_objects.h"

namespace {

// Which texture a part is painted with.
enum { TEX_BIKE, TEX_WHEEL, TEX_BODY, TEX_HEAD, TEX_PLATE, TEX_KINDS };

// Which model file each body wears, and its texture.
struct part_entry {
    int body;
    int file;
    int texture;
};
const part_entry parts[] = {
    {BIKE_FRAME, BIKE_FILE_FRAME_MODEL, TEX_BIKE},
    {BIKE_FRAME, BIKE_FILE_SIDE_PLATES_MODEL, TEX_PLATE},
    {BIKE_FORK_UPPER, BIKE_FILE_FORK_UPPER_MODEL, TEX_BIKE},
    {BIKE_FORK_UPPER, BIKE_FILE_FRONT_PLATE_MODEL, TEX_PLATE},
    {BIKE_FORK_LOWER, BIKE_FILE_FORK_LOWER_MODEL, TEX_BIKE},
    {BIKE_SWINGARM, BIKE_FILE_SWINGARM_MODEL, TEX_BIKE},
    {BIKE_FRONT_WHEEL, BIKE_FILE_FRONT_WHEEL_MODEL, TEX_WHEEL},
    {BIKE_REAR_WHEEL, BIKE_FILE_REAR_WHEEL_MODEL, TEX_WHEEL},
    {BIKE_RIDER, BIKE_FILE_BODY_MODEL, TEX_BODY},
    {BIKE_RIDER, BIKE_FILE_BACK_PLATE_MODEL, TEX_PLATE},
    {BIKE_RIDER, BIKE_FILE_HEAD_MODEL, TEX_HEAD},
};
constexpr int PART_COUNT = sizeof parts / sizeof parts[0];
// In the rider view the viewed rider wears the first-person body (arms and legs, no torso) and
// no head, so nothing of the own body sits in front of the eyes.
constexpr int PART_BODY = 8;

// The viewed bike in the rider view.
const bike_record *first_person;

// A model that failed to load is not tried again every frame, only after the cache changed
// (a new track, or a sweep that may have freed what a part used).
struct failed_load {
    int failed, generation, sweeps;
};
failed_load tried[BIKE_MODEL_COUNT][PART_COUNT + 1];

// The textures and models of each slot, chosen again when the slot's bike or rider changes or
// the caches may have dropped what it used.
struct slot_paint {
    int model, robot, generation;
    GLuint tex[TEX_KINDS];
    int model_generation, model_sweeps;
    const render_model *part[PART_COUNT + 1]; // the last one: the first-person body
};
slot_paint paint[BIKE_SLOTS];
int paint_ready;

// The camera of the frame being drawn (the light goes into its eye space).
frame_camera current_camera;

const render_model *load_once(const bike_record *b, int p, int file) {
    const char *name = b->m->files[file];
    if (!name[0] || b->model < 0 || b->model >= BIKE_MODEL_COUNT) return nullptr;
    if (render_model *m = model_find(name)) return m;
    failed_load &f = tried[b->model][p];
    if (f.failed && f.generation == model_cache.generation && f.sweeps == model_cache.sweeps)
        return nullptr;
    render_model *m = model_load(name);
    f = {m ? 0 : 1, model_cache.generation, model_cache.sweeps};
    return m;
}

void body_pose(dBodyID body, float pos[3], float rot[12]) {
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);
    for (int i = 0; i < 3; i++)
        pos[i] = (float)p[i];
    for (int i = 0; i < 12; i++)
        rot[i] = (float)r[i];
}

int finite_n(const float *v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return 0;
    return 1;
}

// A body's place on the whole bike (model coordinates).
const float *body_place(const bike_geometry &g, int body) {
    switch (body) {
    case BIKE_FRONT_WHEEL:
        return g.front_wheel_pos;
    case BIKE_REAR_WHEEL:
        return g.rear_wheel_pos;
    case BIKE_FORK_UPPER:
        return g.fork_upper_pos;
    case BIKE_FORK_LOWER:
        return g.fork_lower_pos;
    case BIKE_SWINGARM:
        return g.swingarm_pos;
    case BIKE_RIDER:
        return g.rider_pos;
    default:
        return g.frame_pos;
    }
}

// Menu entry of a bike table index (its graphics prefix belongs to the entry).
int menu_of(int model) {
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (bike_menu_model(i) == model) return i;
    return -1;
}

GLuint texture_or(const char *name, GLuint fallback) {
    GLuint t = name && name[0] ? render_texture_load(name) : 0;
    return t ? t : fallback;
}

// Number plate pictures by number, made once while the GL layer runs.
struct plate_entry {
    char number[16];
    GLuint tex;
};
plate_entry plates[256];
int plate_count;

GLuint plate_texture(const char *number) {
    for (int i = 0; i < plate_count; i++)
        if (!strcmp(plates[i].number, number)) return plates[i].tex;
    GLuint t = render_font_plate_texture(number, 0x101010, 0xffffff);
    if (t && plate_count < (int)(sizeof plates / sizeof plates[0])) {
        snprintf(plates[plate_count].number, sizeof plates[0].number, "%s", number);
        plates[plate_count++].tex = t;
    }
    return t;
}

// A robot wears its roster graphics; everyone else the model's own textures.
const slot_paint &slot_textures(const bike_record *b) {
    if (!paint_ready) {
        for (auto &p : paint) {
            p.model = -2;
            p.model_generation = -1;
        }
        paint_ready = 1;
    }
    int s = b->slot >= 0 && b->slot < BIKE_SLOTS ? b->slot : 0;
    int robot = s < RACE_SLOTS ? race.robot_of[s] : -1;
    if (robot < 0 || robot >= RACE_ROBOT_COUNT) robot = -1;
    slot_paint &p = paint[s];
    // A new texture generation may have freed the old names, a sweep the old models.
    int gen = render_texture_generation();
    if (p.model != b->model || p.model_generation != model_cache.generation ||
        p.model_sweeps != model_cache.sweeps) {
        for (int i = 0; i < PART_COUNT; i++)
            p.part[i] = load_once(b, i, parts[i].file);
        p.part[PART_COUNT] = load_once(b, PART_COUNT, BIKE_FILE_BODY_FP_MODEL);
        // Loading may have swept nothing but moved the counters: take them afterwards.
        p.model_generation = model_cache.generation;
        p.model_sweeps = model_cache.sweeps;
    }
    if (p.model == b->model && p.robot == robot && p.generation == gen) return p;
    p.model = b->model;
    p.robot = robot;
    p.generation = gen;
    p.tex[TEX_BIKE] = texture_or(b->m->files[BIKE_FILE_BIKE_TEXTURE], 0);
    p.tex[TEX_WHEEL] = texture_or(b->m->files[BIKE_FILE_WHEEL_TEXTURE], 0);
    p.tex[TEX_BODY] = texture_or(b->m->files[BIKE_FILE_BODY_TEXTURE], 0);
    p.tex[TEX_HEAD] = texture_or(b->m->files[BIKE_FILE_HEAD_TEXTURE], 0);
    // The number plates: a robot's own number, everyone else the slot's place in the gate.
    char number[16];
    snprintf(number, sizeof number, "%d",
             robot >= 0 ? race_robot_roster[robot].number
                        : (s == race.local_slot ? race_player_number : s + 1));
    p.tex[TEX_PLATE] = plate_texture(number);
    if (robot >= 0) {
        const race_robot &r = race_robot_roster[robot];
        char name[160];
        if (r.graphics[0]) {
            snprintf(name, sizeof name, "@rider_head-%s.png", r.graphics[0]);
            p.tex[TEX_HEAD] = texture_or(name, p.tex[TEX_HEAD]);
        }
        if (r.graphics[1]) {
            snprintf(name, sizeof name, "@rider_body-%s.png", r.graphics[1]);
            p.tex[TEX_BODY] = texture_or(name, p.tex[TEX_BODY]);
        }
        int menu = menu_of(b->model);
        if (r.graphics[2] && menu >= 0) {
            snprintf(name, sizeof name, "@%s%s.png", bike_menu_prefix(menu), r.graphics[2]);
            p.tex[TEX_BIKE] = texture_or(name, p.tex[TEX_BIKE]);
        }
    }
    return p;
}

// Pass 0 draws the lit blocks in the parts' paint; pass 1 the environment reflections over
// them, with the environment map the caller bound.
void draw_bike(const bike_record *b, int pass) {
    const slot_paint &pt = slot_textures(b);
    float centres[21], translations[21], rotations[63];
    int bones_ok = view_bones(b, centres, translations, rotations);
    for (int p = 0; p < PART_COUNT; p++) {
        int body_index = parts[p].body;
        dBodyID body = b->body[body_index];
        if (!body) continue;
        const render_model *m;
        if (b == first_person && body_index == BIKE_RIDER) {
            if (p != PART_BODY || core_settings_choice(CORE_SET_HIDE_RIDER) == 1) continue;
            m = pt.part[PART_COUNT];
        } else {
            m = pt.part[p];
        }
        if (!m) continue;
        GLuint tex = pt.tex[parts[p].texture];
        if (!tex && parts[p].texture == TEX_PLATE)
            continue; // a number quad without its number would show a blank square
        const dReal *at = dBodyGetPosition(body);
        float where[3] = {(float)at[0], (float)at[1], (float)at[2]};
        if (pass == 1 && !model_wants_reflections(m, where)) continue;
        if (pass == 0) zvglBindTexture(GL_TEXTURE_2D, tex ? tex : zvglWhiteTexture());
        auto draw = pass == 0 ? model_draw_lit : model_draw_reflections;
        if (m->bone_count == BIKE_BODIES) {
            // Skinned over the bike's bodies: the model-view stays the camera's.
            if (bones_ok) draw(m, where, BIKE_BODIES, centres, translations, rotations);
            continue;
        }
        float mat[16];
        if (!view_part_matrix(b, body_index, mat))
            continue; // a blown-up body is not drawn rather than smeared over the screen
        zvglPushMatrix();
        zvglMultMatrixf(mat);
        draw(m, where, 0, nullptr, nullptr, nullptr);
        zvglPopMatrix();
    }
}

void riders_pass(int pass) {
    if (pass != 0) return;
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    // The shader lights eye-space normals: the sun goes into the camera's axes.
    const float *s = lighting.sun_vector, *ax = current_camera.axes;
    float sun[3];
    for (int r = 0; r < 3; r++)
        sun[r] = ax[r * 3] * s[0] + ax[r * 3 + 1] * s[1] + ax[r * 3 + 2] * s[2];
    zvglSetLightPosition(sun);
    zvglActiveTexture(GL_TEXTURE1);
    zvglBindTexture(GL_TEXTURE_2D, zvglFlatNormalTexture());
    zvglActiveTexture(GL_TEXTURE2);
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    zvglActiveTexture(GL_TEXTURE0);
    model_draw.specular_map = 0;
    for (int i = 0; i < BIKE_SLOTS; i++) {
        const bike_record *b = &bike_world.bikes[i];
        if (b->present && b->m) draw_bike(b, 0);
    }
    objects_draw_statues(&current_camera); // hay bales, blocks, the starting gate
    zvglSetBones(0, nullptr, nullptr, nullptr);
    // "Enable Reflections": the environment map added over the chrome and paint, on the depth
    // the lit pass left (equal depths pass), without writing depth.
    model_draw.reflections = core_render.reflections;
    GLuint env = lighting.sky[LIGHTING_SKY_FACES - 1];
    if (model_draw.reflections && env) {
        zvglUseProgram(ZVGL_PROGRAM_NORM_ENV);
        zvglBindTexture(GL_TEXTURE_2D, env);
        zvglEnable(GL_BLEND);
        zvglBlendFunc(GL_ONE, GL_ONE);
        zvglDepthMask(GL_FALSE);
        for (int i = 0; i < BIKE_SLOTS; i++) {
            const bike_record *b = &bike_world.bikes[i];
            if (b->present && b->m) draw_bike(b, 1);
        }
        zvglSetBones(0, nullptr, nullptr, nullptr);
        zvglDepthMask(GL_TRUE);
        zvglDisable(GL_BLEND);
    }
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
}

const bike_record *viewed_bike(void) {
    int s = core_loop.viewed_slot;
    if (s >= 0 && s < BIKE_SLOTS && bike_world.bikes[s].present && bike_world.bikes[s].m)
        return &bike_world.bikes[s];
    for (s = 0; s < BIKE_SLOTS; s++)
        if (bike_world.bikes[s].present && bike_world.bikes[s].m) return &bike_world.bikes[s];
    return nullptr;
}

// The bike's heading on the ground (x, z), unit length; -z when it points straight up or down.
void ground_heading(const float rot[12], float h[2]) {
    h[0] = -rot[2];
    h[1] = -rot[10];
    float l = std::sqrt(h[0] * h[0] + h[1] * h[1]);
    if (l < 1e-4f) {
        h[0] = 0, h[1] = -1;
        return;
    }
    h[0] /= l, h[1] /= l;
}

view_post_state track_post;

} // namespace

void (*view_ticker)(int width, int height);

void view_look_at(const float eye[3], const float target[3], float fov, frame_camera *out) {
    float back[3] = {eye[0] - target[0], eye[1] - target[1], eye[2] - target[2]};
    float len = std::sqrt(back[0] * back[0] + back[1] * back[1] + back[2] * back[2]);
    if (!(len > 1e-6f)) {
        back[0] = 0, back[1] = 0, back[2] = 1;
        len = 1;
    }
    for (float &c : back)
        c /= len;
    // right = up x back with up = +y; straight up or down falls back to a fixed right.
    float right[3] = {back[2], 0, -back[0]};
    float rl = std::sqrt(right[0] * right[0] + right[2] * right[2]);
    if (rl < 1e-6f) {
        right[0] = 1, right[2] = 0;
        rl = 1;
    }
    right[0] /= rl;
    right[2] /= rl;
    float up[3] = {back[1] * right[2] - back[2] * right[1], back[2] * right[0] - back[0] * right[2],
                   back[0] * right[1] - back[1] * right[0]};
    memcpy(out->position, eye, sizeof out->position);
    memcpy(out->axes, right, sizeof right);
    memcpy(out->axes + 3, up, sizeof up);
    memcpy(out->axes + 6, back, sizeof back);
    out->fov = fov;
}

void view_body_matrix(const float position[3], const float rotation[12], const float rest[3],
                      float m[16]) {
    memset(m, 0, sizeof(float) * 16);
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            m[c * 4 + r] = rotation[r * 4 + c];
        m[12 + r] = position[r] - (rotation[r * 4] * rest[0] + rotation[r * 4 + 1] * rest[1] +
                                   rotation[r * 4 + 2] * rest[2]);
    }
    m[15] = 1;
}

void view_part_rest(const bike_record *b, int body, float rest[3]) {
    if (body == BIKE_FRONT_WHEEL || body == BIKE_REAR_WHEEL) {
        rest[0] = rest[1] = rest[2] = 0;
        return;
    }
    memcpy(rest, body_place(b->m->geo, body), sizeof(float) * 3);
}

int view_part_matrix(const bike_record *b, int body, float m[16]) {
    if (!b || !b->m || body < 0 || body >= BIKE_BODIES || !b->body[body]) return 0;
    float pos[3], rot[12], rest[3];
    body_pose(b->body[body], pos, rot);
    if (!finite_n(pos, 3) || !finite_n(rot, 12)) return 0;
    view_part_rest(b, body, rest);
    view_body_matrix(pos, rot, rest, m);
    return 1;
}

int view_bones(const bike_record *b, float centres[21], float translations[21],
               float rotations[63]) {
    if (!b || !b->m) return 0;
    for (int i = 0; i < BIKE_BODIES; i++) {
        if (!b->body[i]) return 0;
        float pos[3], rot[12];
        body_pose(b->body[i], pos, rot);
        if (!finite_n(pos, 3) || !finite_n(rot, 12)) return 0;
        memcpy(centres + i * 3, body_place(b->m->geo, i), sizeof(float) * 3);
        memcpy(translations + i * 3, pos, sizeof pos);
        for (int c = 0; c < 3; c++)
            for (int r = 0; r < 3; r++)
                rotations[i * 9 + c * 3 + r] = rot[r * 4 + c];
    }
    return 1;
}

view_levelling view_level;
FILE *view_orientation_out;

void view_rider_camera(const bike_record *b, frame_camera *out) {
    // The eyes sit ahead of and above the rider body's centre, higher and further forward with
    // the "1st Person Height" setting; the view turns with the rider body.
    dBodyID rider = b->body[BIKE_RIDER] ? b->body[BIKE_RIDER] : b->body[BIKE_FRAME];
    float pos[3], rot[12];
    body_pose(rider, pos, rot);
    float h = (float)core_settings_number(CORE_SET_FIRST_HEIGHT);
    h = h < 0 ? 0 : h > 1 ? 1 : h;
    const float eye_local[3] = {0, 0.558383f * h + 0.5f, -0.79336953f * h - 0.4f};
    float eye[3], axes[9];
    for (int r = 0; r < 3; r++) {
        eye[r] = pos[r] + rot[r * 4] * eye_local[0] + rot[r * 4 + 1] * eye_local[1] +
                 rot[r * 4 + 2] * eye_local[2];
        for (int k = 0; k < 3; k++)
            axes[k * 3 + r] = rot[r * 4 + k]; // the body's axes are the camera's right, up, back
    }
    float *right = axes, *up = axes + 3, *back = axes + 6;
    double now = core_loop.game_clock;
    if (core_settings_number(CORE_SET_FIRST_GIMBAL) > 0.5) {
        // Keep the horizon level: turn right and up about the view axis by the roll that puts
        // right level, at most a quarter turn either way. After a pause in levelled frames
        // (entering the view, a stall) the correction eases in instead of snapping the horizon.
        view_levelling &lv = view_level;
        if (!lv.valid || now < lv.last || now - lv.last > VIEW_LEVEL_PAUSE) lv.since = now;
        lv.valid = 1;
        lv.last = now;
        double w = (now - lv.since) / VIEW_LEVEL_EASE;
        w = w < 0 ? 0 : w > 1 ? 1 : w;
        float roll = std::atan2(right[1], std::sqrt(right[0] * right[0] + right[2] * right[2]));
        roll = roll > 0.7853982f ? 0.7853982f : roll < -0.7853982f ? -0.7853982f : roll;
        roll *= (float)(w * w * (3 - 2 * w));
        lv.roll = roll;
        float c = std::cos(roll), sn = std::sin(roll);
        for (int k = 0; k < 3; k++) {
            float r = right[k], u = up[k];
            right[k] = c * r - sn * u;
            up[k] = sn * r + c * u;
        }
    } else {
        view_level.valid = 0;
    }
    if (core_options.print_orientation) {
        FILE *out = view_orientation_out        ? view_orientation_out
                    : core_options.record_video ? stderr // stdout carries the video frames
                                                : stdout;
        fprintf(out, "t=%f p0=%f p1=%f p2=%f x0=%f x1=%f x2=%f z0=%f z1=%f z2=%f\n", now, eye[0],
                eye[1], eye[2], right[0], right[1], right[2], back[0], back[1], back[2]);
    }
    // "1st Person Angle": the view tips down about the right axis.
    float pitch = (float)core_settings_number(CORE_SET_FIRST_ANGLE) * 0.017453293f;
    if (pitch != 0) {
        float c = std::cos(pitch), sn = std::sin(pitch);
        for (int k = 0; k < 3; k++) {
            float u = up[k], bk = back[k];
            up[k] = c * u + sn * bk;
            back[k] = -sn * u + c * bk;
        }
    }
    float fov = (float)core_settings_number(CORE_SET_FOV);
    if (!(fov >= 10 && fov <= 170)) fov = 110;
    if (!finite_n(eye, 3) || !finite_n(axes, 9)) {
        const float zero[3] = {0, 10, 0}, ahead[3] = {0, 10, -10};
        view_look_at(zero, ahead, fov, out);
        return;
    }
    memcpy(out->position, eye, sizeof out->position);
    memcpy(out->axes, axes, sizeof axes);
    out->fov = fov;
}

void view_track_camera(view_post_state *post, const bike_record *b, frame_camera *out) {
    float pos[3], rot[12];
    body_pose(b->body[BIKE_FRAME], pos, rot);
    float heading[2];
    ground_heading(rot, heading);
    const float reach = 140, setback = 25;
    int move = !post->valid || post->slot != b->slot || !finite_n(post->position, 3);
    if (!move) {
        float dx = pos[0] - post->position[0], dz = pos[2] - post->position[2];
        float d = std::sqrt(dx * dx + dz * dz);
        // Gone too far, or driving away from the post with it behind.
        move = d > reach || (dx * heading[0] + dz * heading[1] > 0 && d > reach * 0.5f);
    }
    if (move) {
        // Ahead of the bike and off to one side, a little above the ground.
        float side = (b->slot & 1) ? 1.0f : -1.0f;
        post->position[0] = pos[0] + heading[0] * 70 - heading[1] * setback * side;
        post->position[2] = pos[2] + heading[1] * 70 + heading[0] * setback * side;
        post->position[1] = core_camera_ground_height(post->position[0], post->position[2]) + 9;
        post->valid = 1;
        post->slot = b->slot;
    }
    float eye[3] = {post->position[0], post->position[1], post->position[2]};
    float ground = core_camera_ground_height(eye[0], eye[2]) + 4;
    if (eye[1] < ground) eye[1] = ground;
    float target[3] = {pos[0], pos[1] + 1.5f, pos[2]};
    float dx = target[0] - eye[0], dy = target[1] - eye[1], dz = target[2] - eye[2];
    float dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    // About 18 ft of the scene across the view: bike and rider fill a good part of it.
    float fov = 2 * std::atan2(9.0f, dist > 1 ? dist : 1) * 57.29578f;
    fov = fov < 6 ? 6 : fov > 70 ? 70 : fov;
    view_look_at(eye, target, fov, out);
}

// The spectator view trails the bike at the "3rd Person" distance and height with the rider's
// field of view; the orbit view circles it at the loop's own yaw, distance and height.
void view_chase_camera(const bike_record *b, int view_mode, frame_camera *out) {
    float frame_pos[3], frame_rot[12];
    body_pose(b->body[BIKE_FRAME], frame_pos, frame_rot);
    float heading[2];
    ground_heading(frame_rot, heading);
    core_chase_input in = {};
    // The centre is the --chase-center point in the bike's own frame.
    const float *cc = core_options.chase_center;
    for (int r = 0; r < 3; r++)
        in.centre[r] = frame_pos[r] + frame_rot[r * 4] * cc[0] + frame_rot[r * 4 + 1] * cc[1] +
                       frame_rot[r * 4 + 2] * cc[2];
    in.heading[0] = heading[0];
    in.heading[1] = heading[1];
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    for (int i = 0; i < 3; i++)
        in.velocity[i] = (float)v[i];
    // While the player rides the viewed bike the orbit view trails it with the "3rd Person"
    // settings; otherwise it circles at the loop's own yaw.
    int ridden = b->slot >= 0 && b->slot < RACE_SLOTS && race.status[b->slot] == RACE_LOCAL;
    in.riding = view_mode != CORE_VIEW_ORBIT || ridden;
    float fov = 70;
    if (in.riding) {
        in.distance = (float)core_settings_number(CORE_SET_THIRD_DISTANCE);
        in.height = (float)core_settings_number(CORE_SET_THIRD_HEIGHT);
        in.rigid = core_settings_choice(CORE_SET_RIGID_CAMERA) == 1;
        fov = (float)core_settings_number(CORE_SET_FOV);
        if (!(fov >= 10 && fov <= 170)) fov = 110;
    } else {
        in.distance = core_loop.orbit_distance > 1 ? core_loop.orbit_distance : 14;
        in.height = core_loop.orbit_height != 0 ? core_loop.orbit_height : 4;
        in.yaw = core_loop.orbit_yaw;
    }
    float eye[3];
    core_camera_chase(&in, eye);
    view_look_at(eye, in.centre, fov, out);
}

int view_trackside_camera(const bike_record *b, frame_camera *out) {
    int count = objects.camera_count;
    if (count <= 0) return 0;
    // Automatic switching: the camera that covers the checkpoint the rider rides toward.
    if (core_loop.auto_camera) {
        int s = b->slot;
        int entry = s >= 0 && s < RACE_SLOTS ? race_position_entry(race.riders[s].progress) : -1;
        int cam = camera_for_checkpoint(gates_sequence_checkpoint(entry));
        if (cam >= 0 && cam < count) core_loop.track_camera = cam;
    }
    int c = core_loop.track_camera;
    if (c < 0 || c >= count) return 0;
    const track_camera &tc = objects.cameras[c];
    float pos[3], rot[12];
    body_pose(b->body[BIKE_FRAME], pos, rot);
    float target[3] = {pos[0], pos[1] + 1.5f, pos[2]};
    float fov = tc.fov;
    if (tc.autofov > 0) {
        // Zoom so a picture of the auto size fills the view at the rider's distance.
        float dx = target[0] - tc.pos[0], dy = target[1] - tc.pos[1], dz = target[2] - tc.pos[2];
        float d = std::sqrt(dx * dx + dy * dy + dz * dz);
        fov = 2 * std::atan2(tc.autofov / 2, d > 1 ? d : 1) * 57.29578f;
        fov = fov < 10 ? 10 : (fov > 170 ? 170 : fov);
    }
    view_look_at(tc.pos, target, fov, out);
    return 1;
}

void view_free_camera_step(float speed, float dt) {
    if (!track_post.valid || !std::isfinite(speed) || !std::isfinite(dt)) return;
    const bike_record *b = viewed_bike();
    if (!b) return;
    // Toward or away from the filmed rider along the ground.
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    float dx = (float)p[0] - track_post.position[0], dz = (float)p[2] - track_post.position[2];
    float l = std::sqrt(dx * dx + dz * dz);
    if (l < 1e-3f) return;
    track_post.position[0] += dx / l * speed * dt;
    track_post.position[2] += dz / l * speed * dt;
    float ground = core_camera_ground_height(track_post.position[0], track_post.position[2]) + 2;
    if (track_post.position[1] < ground) track_post.position[1] = ground;
}

// The keyframed camera of the console, when it is on and has keyframes: the curve through them
// at the race's tic.
static int keyframed_camera(frame_camera *out) {
    if (!core_console.keycam || core_console.key_count <= 0) return 0;
    float q[4];
    if (!camera_keyframe_at(core_console.keys, core_console.key_count, race.tic, out->position, q,
                            &out->fov))
        return 0;
    camera_quat_to_matrix(q, out->axes);
    if (!(out->fov >= 1 && out->fov <= 179)) out->fov = 60;
    return 1;
}

// The free camera: the post that films the viewed bike, or, once aimed from the console, the
// post looking along the yaw and pitch it was given. Either way the loop learns where it is and
// where it looks, so a keyframe can be taken from it.
static void free_camera(const bike_record *b, frame_camera *cam) {
    view_track_camera(&track_post, b, cam);
    if (core_loop.free_aimed) {
        float q[4];
        core_console_yaw_pitch_quat(core_loop.free_yaw, core_loop.free_pitch, q);
        camera_quat_to_matrix(q, cam->axes);
    } else {
        const float *back = cam->axes + 6;
        float y = back[1] < -1 ? -1 : back[1] > 1 ? 1 : back[1];
        core_loop.free_yaw = std::atan2(back[0], back[2]);
        core_loop.free_pitch = -std::asin(y);
    }
    memcpy(core_loop.free_position, cam->position, sizeof core_loop.free_position);
    core_loop.free_fov = cam->fov;
}

void view_draw(int view_mode, int width, int height) {
    frame_config.lens_flares = core_settings_choice(CORE_SET_LENS_FLARE) == 1;
    // Animated textures show the frame of the race's clock.
    render_texture_animate(race.tic > 0 ? race.tic : 0);
    if (view_mode == CORE_VIEW_TITLE) {
        if (core_loop.menu_page == CORE_MENU_NONE)
            title_screen_draw(width, height);
        else
            title_screen_background(width, height);
        return;
    }
    frame_camera cam;
    const bike_record *b = viewed_bike();
    first_person = view_mode == CORE_VIEW_RIDER ? b : nullptr;
    if (view_mode == CORE_VIEW_CAMERAS && keyframed_camera(&cam)) {
        b = nullptr; // no ticker: the keyframes film, not a track camera
    } else if (!b) {
        float eye[3] = {0, 50, 0}, at[3] = {100, 0, 100};
        view_look_at(eye, at, 60, &cam);
    } else if (view_mode == CORE_VIEW_RIDER) {
        view_rider_camera(b, &cam);
    } else if (view_mode == CORE_VIEW_CAMERAS) {
        if (!view_trackside_camera(b, &cam)) free_camera(b, &cam);
    } else {
        view_chase_camera(b, view_mode, &cam);
    }
    current_camera = cam;
    // The engines are heard from this camera: it moves with the bike except on a track post.
    sound_listener ear = {};
    memcpy(ear.position, cam.position, sizeof ear.position);
    memcpy(ear.right, cam.axes, sizeof ear.right);
    if (b && view_mode != CORE_VIEW_CAMERAS) {
        const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
        for (int i = 0; i < 3; i++)
            ear.velocity[i] = (float)v[i];
    }
    sound_set_listener(&ear);
    model_draw.camera[0] = cam.position[0];
    model_draw.camera[1] = cam.position[1];
    model_draw.camera[2] = cam.position[2];
    model_draw.alpha = 1;
    frame_draw(&cam, width, height);
    if (view_mode == CORE_VIEW_CAMERAS && b && view_ticker) view_ticker(width, height);
}

void view_draw_riders(const frame_camera *camera, int first_person_slot) {
    current_camera = *camera;
    first_person = first_person_slot >= 0 && first_person_slot < BIKE_SLOTS
                       ? &bike_world.bikes[first_person_slot]
                       : nullptr;
    memcpy(model_draw.camera, camera->position, sizeof model_draw.camera);
    model_draw.alpha = 1;
    riders_pass(0);
}

void view_release_textures(void) {
    for (int i = 0; i < plate_count; i++)
        zvglDeleteTextures(1, &plates[i].tex);
    plate_count = 0;
    paint_ready = 0; // every slot chooses its textures again
}

void view_install(void) {
    frame_passes.riders = riders_pass;
    core_hook.free_camera_step = view_free_camera_step;
}
