// The race view.
#include "render/render_view.h"

#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "core/core_camera.h"
#include "core/core_loop.h"
#include "render/render_frame.h"
#include "render/render_model.h"
#include "render/render_model_draw.h"
#include "render/zvgl.h"

namespace {

// Which model file each body wears (the rider's body carries the body model; the head is drawn
// with the same body).
struct part_entry {
    int body;
    int file;
};
const part_entry parts[] = {
    {BIKE_FRAME, BIKE_FILE_FRAME_MODEL},          {BIKE_FRAME, BIKE_FILE_SIDE_PLATES_MODEL},
    {BIKE_FORK_UPPER, BIKE_FILE_FRONT_PLATE_MODEL}, {BIKE_FRONT_WHEEL, BIKE_FILE_FRONT_WHEEL_MODEL},
    {BIKE_REAR_WHEEL, BIKE_FILE_REAR_WHEEL_MODEL}, {BIKE_FORK_UPPER, BIKE_FILE_FORK_UPPER_MODEL},
    {BIKE_FORK_LOWER, BIKE_FILE_FORK_LOWER_MODEL}, {BIKE_SWINGARM, BIKE_FILE_SWINGARM_MODEL},
    {BIKE_RIDER, BIKE_FILE_BODY_MODEL},            {BIKE_RIDER, BIKE_FILE_HEAD_MODEL},
};
constexpr int PART_COUNT = sizeof parts / sizeof parts[0];

// In the rider view the viewed rider's own body and head would fill the screen from inside.
const bike_record *hidden_rider;

// A missing file is tried once per bike model, not every frame.
unsigned char tried[BIKE_MODEL_COUNT][PART_COUNT];

// Where a part's model coordinates put its body's centre. Wheel models are built around their
// own axle; every other part is modelled in place on the whole bike.
const float *rest_of(const bike_geometry &g, int body)
{
    static const float origin[3] = {0, 0, 0};
    switch (body) {
    case BIKE_FRONT_WHEEL:
    case BIKE_REAR_WHEEL: return origin;
    case BIKE_FORK_UPPER: return g.fork_upper_pos;
    case BIKE_FORK_LOWER: return g.fork_lower_pos;
    case BIKE_SWINGARM: return g.swingarm_pos;
    case BIKE_RIDER: return g.rider_pos;
    default: return g.frame_pos;
    }
}

const render_model *part_model(const bike_record *b, int p)
{
    const char *name = b->m->files[parts[p].file];
    if (!name[0] || b->model < 0 || b->model >= BIKE_MODEL_COUNT)
        return nullptr;
    if (render_model *m = model_find(name))
        return m;
    if (tried[b->model][p])
        return nullptr;
    tried[b->model][p] = 1;
    return model_load(name);
}

void body_pose(dBodyID body, float pos[3], float rot[12])
{
    const dReal *p = dBodyGetPosition(body);
    const dReal *r = dBodyGetRotation(body);
    for (int i = 0; i < 3; i++)
        pos[i] = (float)p[i];
    for (int i = 0; i < 12; i++)
        rot[i] = (float)r[i];
}

int finite3(const float v[3]) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

void draw_bike(const bike_record *b)
{
    zvglBindTexture(GL_TEXTURE_2D, zvglWhiteTexture());
    for (int p = 0; p < PART_COUNT; p++) {
        dBodyID body = b->body[parts[p].body];
        if (!body || (b == hidden_rider && parts[p].body == BIKE_RIDER))
            continue;
        const render_model *m = part_model(b, p);
        if (!m)
            continue;
        float pos[3], rot[12], mat[16];
        body_pose(body, pos, rot);
        if (!finite3(pos))
            continue; // a blown-up body is not drawn rather than smeared over the screen
        view_body_matrix(pos, rot, rest_of(b->m->geo, parts[p].body), mat);
        zvglPushMatrix();
        zvglMultMatrixf(mat);
        model_draw_lit(m, pos, 0, nullptr, nullptr, nullptr);
        zvglPopMatrix();
    }
}

void riders_pass(int pass)
{
    if (pass != 0)
        return;
    zvglUseProgram(ZVGL_PROGRAM_NORM_SPEC_LIT);
    for (int s = 0; s < BIKE_SLOTS; s++) {
        const bike_record *b = &bike_world.bikes[s];
        if (b->present && b->m)
            draw_bike(b);
    }
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
}

const bike_record *viewed_bike(void)
{
    int s = core_loop.viewed_slot;
    if (s >= 0 && s < BIKE_SLOTS && bike_world.bikes[s].present && bike_world.bikes[s].m)
        return &bike_world.bikes[s];
    for (s = 0; s < BIKE_SLOTS; s++)
        if (bike_world.bikes[s].present && bike_world.bikes[s].m)
            return &bike_world.bikes[s];
    return nullptr;
}

// Point p given in the coordinates of a body (relative to its rest centre) in the world.
void body_point(dBodyID body, const float rest[3], const float p[3], float out[3])
{
    float pos[3], rot[12];
    body_pose(body, pos, rot);
    float d[3] = {p[0] - rest[0], p[1] - rest[1], p[2] - rest[2]};
    for (int r = 0; r < 3; r++)
        out[r] = pos[r] + rot[r * 4] * d[0] + rot[r * 4 + 1] * d[1] + rot[r * 4 + 2] * d[2];
}

} // namespace

void view_look_at(const float eye[3], const float target[3], float fov, frame_camera *out)
{
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
                      float m[16])
{
    memset(m, 0, sizeof(float) * 16);
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            m[c * 4 + r] = rotation[r * 4 + c];
        m[12 + r] = position[r] - (rotation[r * 4] * rest[0] + rotation[r * 4 + 1] * rest[1] +
                                   rotation[r * 4 + 2] * rest[2]);
    }
    m[15] = 1;
}

void view_draw(int view_mode, int width, int height)
{
    frame_camera cam;
    const bike_record *b = viewed_bike();
    hidden_rider = view_mode == CORE_VIEW_RIDER ? b : nullptr;
    if (!b) {
        float eye[3] = {0, 50, 0}, at[3] = {100, 0, 100};
        view_look_at(eye, at, 60, &cam);
        frame_draw(&cam, width, height);
        return;
    }
    float frame_pos[3], frame_rot[12];
    body_pose(b->body[BIKE_FRAME], frame_pos, frame_rot);
    // The bike's forward axis is the frame's -z.
    float fwd[3] = {-frame_rot[2], -frame_rot[6], -frame_rot[10]};
    if (view_mode == CORE_VIEW_RIDER && b->body[BIKE_RIDER]) {
        const bike_geometry &g = b->m->geo;
        float eye[3];
        body_point(b->body[BIKE_RIDER], g.rider_pos, b->m->rider.head, eye);
        float at[3] = {eye[0] + fwd[0] * 10, eye[1] + fwd[1] * 10 - 1.5f, eye[2] + fwd[2] * 10};
        view_look_at(eye, at, 75, &cam);
    } else if (view_mode == CORE_VIEW_CAMERAS) {
        // A vantage point high beside the track that follows the bike from a distance.
        float eye[3] = {frame_pos[0] + 60, frame_pos[1] + 35, frame_pos[2] + 60};
        float ground = core_camera_ground_height(eye[0], eye[2]) + 10;
        if (eye[1] < ground)
            eye[1] = ground;
        view_look_at(eye, frame_pos, 40, &cam);
    } else {
        core_chase_input in = {};
        memcpy(in.centre, frame_pos, sizeof in.centre);
        in.centre[1] += 2;
        in.heading[0] = fwd[0];
        in.heading[1] = fwd[2];
        const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
        for (int i = 0; i < 3; i++)
            in.velocity[i] = (float)v[i];
        in.riding = view_mode != CORE_VIEW_ORBIT;
        in.distance = core_loop.orbit_distance > 1 ? core_loop.orbit_distance : 14;
        in.height = core_loop.orbit_height != 0 ? core_loop.orbit_height : 4;
        in.yaw = core_loop.orbit_yaw;
        float eye[3];
        core_camera_chase(&in, eye);
        view_look_at(eye, in.centre, 70, &cam);
    }
    model_draw.camera[0] = cam.position[0];
    model_draw.camera[1] = cam.position[1];
    model_draw.camera[2] = cam.position[2];
    model_draw.alpha = 1;
    frame_draw(&cam, width, height);
}

void view_install(void) { frame_passes.riders = riders_pass; }
