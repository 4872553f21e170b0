// The world, and a bike's seven bodies and six joints: creation with the mass models, reset,
// rotate, move, placement, activity and destruction.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "bike/bike.h"
#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "track/track_terrain.h"

bike_world_state bike_world;
bike_update_hooks bike_hooks;

namespace {

int ode_ready;

// The physics library's warnings go to our log, not to the terminal.
void ode_message(int num, const char *msg, va_list ap) {
    char text[512];
    vsnprintf(text, sizeof text, msg, ap);
    platform_log("ODE message %d: %s\n", num, text);
}

void body_model_pos(const bike_model *m, int body, double out[3]) {
    const float *p = nullptr;
    const bike_geometry *g = &m->geo;
    switch (body) {
    case BIKE_FRAME:
        p = g->frame_pos;
        break;
    case BIKE_FRONT_WHEEL:
        p = g->front_wheel_pos;
        break;
    case BIKE_REAR_WHEEL:
        p = g->rear_wheel_pos;
        break;
    case BIKE_FORK_UPPER:
        p = g->fork_upper_pos;
        break;
    case BIKE_FORK_LOWER:
        p = g->fork_lower_pos;
        break;
    case BIKE_SWINGARM:
        p = g->swingarm_pos;
        break;
    default:
        p = g->rider_pos;
        break;
    }
    for (int k = 0; k < 3; k++)
        out[k] = p[k];
}

// Moves a mass so its centre sits at the body origin (the world requires it).
void mass_centre(dMass *m) {
    dMassTranslate(m, -m->c[0], -m->c[1], -m->c[2]);
}

void wheel_mass(dMass *out, double ring_radius, double element_radius, double ring_mass,
                double hub_radius, double hub_mass) {
    dMassSetSphereTotal(out, hub_mass, hub_radius);
    for (int i = 0; i < 16; i++) {
        // Sixteen placements 45 degrees apart: two full turns around the axle.
        double a = i * M_PI / 4;
        dMass e;
        dMassSetSphereTotal(&e, ring_mass / 16, element_radius);
        dMassTranslate(&e, 0, ring_radius * cos(a), ring_radius * sin(a));
        dMassAdd(out, &e);
    }
    mass_centre(out);
}

void fork_mass(dMass *out, const bike_model *m) {
    const bike_geometry *g = &m->geo;
    double rake = atan((double)(g->fork_lower_pos[2] - g->fork_upper_pos[2]) /
                       (double)(g->fork_lower_pos[1] - g->fork_upper_pos[1]));
    dMassSetZero(out);
    for (int s = -1; s <= 1; s += 2) {
        dMass t;
        dMassSetCylinderTotal(&t, m->fork_tube_mass / 2, 2, g->fork_spacing / 8,
                              g->fork_tube_length);
        dMassTranslate(&t, s * g->fork_spacing / 2, 0, 0);
        dMassAdd(out, &t);
    }
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, rake);
    dMassRotate(out, r);
    mass_centre(out);
}

void swingarm_mass(dMass *out, const bike_model *m) {
    const bike_geometry *g = &m->geo;
    double w = g->frame_box[0];
    double dy = g->rear_wheel_pos[1] - g->swingarm_pivot[1];
    double dz = g->rear_wheel_pos[2] - g->swingarm_pivot[2];
    double len = sqrt(dy * dy + dz * dz);
    dMassSetZero(out);
    for (int s = -1; s <= 1; s += 2) {
        dMass b;
        dMassSetBoxTotal(&b, m->swingarm_side_mass, w / 4, w / 4, len);
        dMassTranslate(&b, s * w / 2, 0, 0);
        dMassAdd(out, &b);
    }
    dMatrix3 r;
    dRFromAxisAndAngle(r, 1, 0, 0, -atan(dy / dz));
    dMassRotate(out, r);
    mass_centre(out);
}

void set_masses(bike_record *b, double d) {
    const bike_model *m = b->m;
    const bike_geometry *g = &m->geo;
    dMass mass;
    dMassSetBoxTotal(&mass, m->frame_mass + m->rider_mass * (1 - d), g->frame_box[0],
                     g->frame_box[1], g->frame_box[2]);
    dBodySetMass(b->body[BIKE_FRAME], &mass);
    dMassSetSphereTotal(&mass, d * m->rider_mass, g->rider_radius);
    dBodySetMass(b->body[BIKE_RIDER], &mass);
    b->total_mass = 0;
    for (int i = 0; i < BIKE_BODIES; i++) {
        dBodyGetMass(b->body[i], &mass);
        b->total_mass += (float)mass.mass;
    }
    bike_suspension_push_bounds(b);
}

void vsub(const double *a, const double *c, double *out) {
    for (int k = 0; k < 3; k++)
        out[k] = a[k] - c[k];
}

void make_joints(bike_record *b) {
    const bike_model *m = b->m;
    const bike_geometry *g = &m->geo;
    dWorldID w = bike_world.world;
    double p[BIKE_BODIES][3];
    for (int i = 0; i < BIKE_BODIES; i++)
        body_model_pos(m, i, p[i]);
    double steer[3];
    vsub(p[BIKE_FORK_UPPER], p[BIKE_FORK_LOWER], steer);

    dJointID j = dJointCreateHinge(w, 0);
    dJointAttach(j, b->body[BIKE_FORK_LOWER], b->body[BIKE_FRONT_WHEEL]);
    dJointSetHingeAnchor(j, p[BIKE_FRONT_WHEEL][0], p[BIKE_FRONT_WHEEL][1], p[BIKE_FRONT_WHEEL][2]);
    dJointSetHingeAxis(j, 1, 0, 0);
    b->joint[BIKE_JOINT_FRONT_AXLE] = j;

    j = dJointCreateHinge(w, 0);
    dJointAttach(j, b->body[BIKE_SWINGARM], b->body[BIKE_REAR_WHEEL]);
    dJointSetHingeAnchor(j, p[BIKE_REAR_WHEEL][0], p[BIKE_REAR_WHEEL][1], p[BIKE_REAR_WHEEL][2]);
    dJointSetHingeAxis(j, 1, 0, 0);
    b->joint[BIKE_JOINT_REAR_AXLE] = j;

    j = dJointCreateHinge(w, 0);
    dJointAttach(j, b->body[BIKE_FORK_UPPER], b->body[BIKE_FRAME]);
    dJointSetHingeAnchor(j, p[BIKE_FORK_UPPER][0], p[BIKE_FORK_UPPER][1], p[BIKE_FORK_UPPER][2]);
    dJointSetHingeAxis(j, steer[0], steer[1], steer[2]);
    dJointSetHingeParam(j, dParamLoStop, -g->steer_limit);
    dJointSetHingeParam(j, dParamHiStop, g->steer_limit);
    b->joint[BIKE_JOINT_STEER] = j;

    j = dJointCreateSlider(w, 0);
    dJointAttach(j, b->body[BIKE_FORK_UPPER], b->body[BIKE_FORK_LOWER]);
    dJointSetSliderAxis(j, steer[0], steer[1], steer[2]);
    dJointSetSliderParam(j, dParamBounce, 0);
    dJointSetSliderParam(j, dParamLoStop, -m->fork_travel);
    dJointSetSliderParam(j, dParamHiStop, 0);
    b->joint[BIKE_JOINT_FORK] = j;

    j = dJointCreateHinge(w, 0);
    dJointAttach(j, b->body[BIKE_SWINGARM], b->body[BIKE_FRAME]);
    dJointSetHingeAnchor(j, g->swingarm_pivot[0], g->swingarm_pivot[1], g->swingarm_pivot[2]);
    dJointSetHingeAxis(j, 1, 0, 0);
    dJointSetHingeParam(j, dParamBounce, 0);
    dJointSetHingeParam(j, dParamLoStop, -m->linkage[2]);
    dJointSetHingeParam(j, dParamHiStop, 0);
    b->joint[BIKE_JOINT_SWINGARM] = j;

    b->joint[BIKE_JOINT_RIDER] = dJointCreateHinge2(w, 0);
    for (int i = 0; i < BIKE_JOINTS; i++) {
        memset(&b->feedback[i], 0, sizeof b->feedback[i]);
        dJointSetFeedback(b->joint[i], &b->feedback[i]);
    }
}

// World coordinates of a model-space point for the frame's current pose.
void frame_model_point(const bike_record *b, const double model[3], double out[3]) {
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
    const float *f0 = b->m->geo.frame_pos;
    dVector3 r;
    dBodyVectorToWorld(b->body[BIKE_FRAME], model[0] - f0[0], model[1] - f0[1], model[2] - f0[2],
                       r);
    for (int k = 0; k < 3; k++)
        out[k] = fp[k] + r[k];
}

void clear_state(bike_record *b) {
    memset(&b->ctl, 0, sizeof b->ctl);
    b->ctl.clutch = 1;
    bike_engine_reset(&b->engine);
    b->crash_timer = 0;
    b->crash_count = 0;
    b->knock = 0;
    b->knock_count = 0;
    b->bike_contact_tic = -1;
    b->airborne_tic = 0;
    b->landing_tic = 0;
    b->riding_tics = 0;
    b->landing_mult = 1;
    b->lock_indicator = 0;
    memset(b->rider_vel, 0, sizeof b->rider_vel);
    b->touched_parts = 0;
    for (int i = 0; i < 2; i++)
        bike_tire_clear(&b->tire[i]);
}

} // namespace

// Joins the rider to the frame with the hinge-2 joint for the bodies' current poses, which
// must be the riding pose relative to the frame.
void bike_attach_rider_joint(bike_record *b) {
    const bike_geometry *g = &b->m->geo;
    dJointID j = b->joint[BIKE_JOINT_RIDER];
    dJointAttach(j, b->body[BIKE_RIDER], b->body[BIKE_FRAME]);
    double model_anchor[3] = {g->rider_anchor[0], g->rider_anchor[1], g->rider_anchor[2]};
    double anchor[3];
    frame_model_point(b, model_anchor, anchor);
    dJointSetHinge2Anchor(j, anchor[0], anchor[1], anchor[2]);
    dVector3 a1, a2;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 1, 1, a1);
    dBodyVectorToWorld(b->body[BIKE_FRAME], 1, 0, 0, a2);
    dJointSetHinge2Axes(j, a1, a2);
    dJointSetHinge2Param(j, dParamLoStop, 0);
    dJointSetHinge2Param(j, dParamHiStop, 0);
    dJointSetHinge2Param(j, dParamSuspensionERP, 0);
}

int bike_world_create(void) {
    if (!ode_ready) {
        dInitODE2(0);
        dSetMessageHandler(ode_message);
        ode_ready = 1;
    }
    if (bike_world.world) return 1;
    bike_world.world = dWorldCreate();
    dWorldSetGravity(bike_world.world, 0, -32, 0);
    dWorldSetAutoDisableFlag(bike_world.world, 0);
    bike_world.contacts = dJointGroupCreate(0);
    bike_world.tic = 0;
    bike_world.gate_drop_tic = -1;
    bike_world.arcade_allowed = 1;
    memset(bike_world.crash_delay, 0, sizeof bike_world.crash_delay);
    return bike_world.world != nullptr;
}

void bike_world_destroy(void) {
    for (int i = 0; i < BIKE_SLOTS; i++)
        if (bike_world.bikes[i].present) bike_destroy(&bike_world.bikes[i]);
    if (bike_world.contacts) dJointGroupDestroy(bike_world.contacts);
    if (bike_world.world) dWorldDestroy(bike_world.world);
    bike_world.contacts = nullptr;
    bike_world.world = nullptr;
}

void bike_world_set_crash_delays(const int *values, int count) {
    if (count < 0) count = 0;
    if (count > BIKE_CRASH_DELAYS) count = BIKE_CRASH_DELAYS;
    int last = 0;
    for (int i = 0; i < BIKE_CRASH_DELAYS; i++) {
        if (i < count) {
            last = values[i];
            if (last < 0) last = 0;
            if (last > BIKE_CRASH_DELAY_MAX) last = BIKE_CRASH_DELAY_MAX;
        }
        bike_world.crash_delay[i] = count ? last : 0;
    }
}

void bike_world_step(void) {
    dWorldStep(bike_world.world, bike_tic);
    dJointGroupEmpty(bike_world.contacts);
}

static void list_present(void) {
    bike_world.present_count = 0;
    for (int i = 0; i < BIKE_SLOTS; i++)
        if (bike_world.bikes[i].present) bike_world.present_slots[bike_world.present_count++] = i;
}

bike_record *bike_create(int slot, const char *model_name, int active) {
    if (slot < 0 || slot >= BIKE_SLOTS) return nullptr;
    if (!bike_world.world && !bike_world_create()) return nullptr;
    bike_record *b = &bike_world.bikes[slot];
    if (b->present) bike_destroy(b);
    memset(b, 0, sizeof *b);
    b->slot = slot;
    b->model = bike_model_lookup(model_name);
    b->m = bike_model_get(b->model);
    const bike_model *m = b->m;
    const bike_geometry *g = &m->geo;
    for (int i = 0; i < BIKE_BODIES; i++)
        b->body[i] = dBodyCreate(bike_world.world);

    dMass mass;
    wheel_mass(&mass, g->front_ring_radius, g->front_ring_element_radius, g->front_ring_mass,
               g->front_hub_radius, g->front_hub_mass);
    dBodySetMass(b->body[BIKE_FRONT_WHEEL], &mass);
    wheel_mass(&mass, g->rear_ring_radius, g->rear_ring_element_radius, g->rear_ring_mass,
               g->rear_hub_radius, g->rear_hub_mass);
    dBodySetMass(b->body[BIKE_REAR_WHEEL], &mass);
    fork_mass(&mass, m);
    dBodySetMass(b->body[BIKE_FORK_UPPER], &mass);
    dBodySetMass(b->body[BIKE_FORK_LOWER], &mass);
    swingarm_mass(&mass, m);
    dBodySetMass(b->body[BIKE_SWINGARM], &mass);
    bike_applied_defaults(&b->applied, m);
    set_masses(b, b->applied.rider_mass_distribution);
    dBodySetFiniteRotationMode(b->body[BIKE_FRONT_WHEEL], 1);
    dBodySetFiniteRotationMode(b->body[BIKE_REAR_WHEEL], 1);

    for (int i = 0; i < BIKE_BODIES; i++) {
        double p[3];
        body_model_pos(m, i, p);
        dBodySetPosition(b->body[i], p[0], p[1], p[2]);
    }
    make_joints(b);
    bike_attach_rider_joint(b);
    bike_tire_init(&b->tire[0], b->body[BIKE_FRONT_WHEEL], g->front_ring_radius, g->tire_radius);
    bike_tire_init(&b->tire[1], b->body[BIKE_REAR_WHEEL], g->rear_ring_radius, g->tire_radius);

    static const int shape_file[BIKE_BODIES] = {
        BIKE_FILE_FRAME_SHAPE,      BIKE_FILE_FRONT_WHEEL_SHAPE, BIKE_FILE_REAR_WHEEL_SHAPE,
        BIKE_FILE_FORK_UPPER_SHAPE, BIKE_FILE_FORK_LOWER_SHAPE,  BIKE_FILE_SWINGARM_SHAPE,
        BIKE_FILE_RIDER_SHAPE};
    for (int i = 0; i < BIKE_BODIES; i++)
        b->shape[i] = bike_shape_load(m->files[shape_file[i]]);
    b->present = 1;
    list_present();
    bike_reset(b);
    if (!active) bike_set_activity(b, 0);
    return b;
}

void bike_destroy(bike_record *b) {
    if (!b || !b->present) return;
    for (int i = 0; i < BIKE_JOINTS; i++)
        if (b->joint[i]) dJointDestroy(b->joint[i]);
    for (int i = 0; i < BIKE_BODIES; i++) {
        if (b->body[i]) dBodyDestroy(b->body[i]);
        bike_shape_free(b->shape[i]);
    }
    memset(b, 0, sizeof *b);
    list_present();
}

void bike_reset(bike_record *b) {
    for (int i = 0; i < BIKE_BODIES; i++) {
        double p[3];
        body_model_pos(b->m, i, p);
        dBodyID body = b->body[i];
        dBodyEnable(body);
        dBodySetPosition(body, p[0], p[1], p[2]);
        dMatrix3 r;
        dRSetIdentity(r);
        dBodySetRotation(body, r);
        dBodySetLinearVel(body, 0, 0, 0);
        dBodySetAngularVel(body, 0, 0, 0);
        dBodySetForce(body, 0, 0, 0);
        dBodySetTorque(body, 0, 0, 0);
    }
    bike_attach_rider_joint(b);
    clear_state(b);
    for (int s = 0; s < 2; s++) {
        double peg[3];
        dVector3 w;
        const float *pp = b->m->rider.foot_peg[s];
        dBodyGetRelPointPos(b->body[BIKE_FRAME], pp[0], pp[1], pp[2], w);
        for (int k = 0; k < 3; k++) {
            peg[k] = w[k];
            b->foot_pos[s][k] = (float)peg[k];
            b->foot_vel[s][k] = 0;
        }
    }
    b->activity = 1;
}

void bike_rotate(bike_record *b, const double axis[3], double angle) {
    dMatrix3 r;
    dRFromAxisAndAngle(r, axis[0], axis[1], axis[2], angle);
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        dVector3 q;
        dMultiply0_331(q, r, p);
        dBodySetPosition(b->body[i], q[0], q[1], q[2]);
        dBodySetRotation(b->body[i], r);
    }
}

void bike_move(bike_record *b, double dx, double dy, double dz) {
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *p = dBodyGetPosition(b->body[i]);
        dBodySetPosition(b->body[i], p[0] + dx, p[1] + dy, p[2] + dz);
    }
    for (int s = 0; s < 2; s++) {
        b->foot_pos[s][0] += (float)dx;
        b->foot_pos[s][1] += (float)dy;
        b->foot_pos[s][2] += (float)dz;
    }
}

int bike_lift_clear(bike_record *b) {
    // A bounded number of raises; the test makes no joints, so the shared contact group is never
    // touched mid-tic.
    int raises = 0;
    while (raises < BIKE_PLACE_TRIES && bike_terrain_contact(b, 1, 0)) {
        bike_move(b, 0, 0.25, 0);
        raises++;
    }
    // The contact tests only looked: nothing they did may push the bike in the next step.
    for (int i = 0; i < BIKE_BODIES; i++) {
        dBodySetForce(b->body[i], 0, 0, 0);
        dBodySetTorque(b->body[i], 0, 0, 0);
    }
    for (int w = 0; w < 2; w++)
        bike_tire_clear(&b->tire[w]);
    return raises;
}

int bike_place(bike_record *b, double x, double z, double heading) {
    bike_reset(b);
    const double up[3] = {0, 1, 0};
    bike_rotate(b, up, heading);
    bike_move(b, x, terrain_present() ? terrain_height((float)x, (float)z) : 0, z);
    int raises = bike_lift_clear(b);
    for (int s = 0; s < 2; s++) {
        const float *pp = b->m->rider.foot_peg[s];
        dVector3 w;
        dBodyGetRelPointPos(b->body[BIKE_FRAME], pp[0], pp[1], pp[2], w);
        for (int k = 0; k < 3; k++)
            b->foot_pos[s][k] = (float)w[k];
    }
    return raises;
}

void bike_set_activity(bike_record *b, float level) {
    if (!std::isfinite(level)) return;
    if (level < 0) level = 0;
    if (level > 1) level = 1;
    float old = b->activity;
    b->activity = level;
    if (level <= 0.25f) {
        for (int i = 0; i < BIKE_BODIES; i++) {
            dBodySetLinearVel(b->body[i], 0, 0, 0);
            dBodySetAngularVel(b->body[i], 0, 0, 0);
            dBodyDisable(b->body[i]);
        }
    } else if (old <= 0.25f) {
        for (int i = 0; i < BIKE_BODIES; i++)
            dBodyEnable(b->body[i]);
    }
}

void bike_wake_by_contact(bike_record *b) {
    if (b->activity <= 0)
        bike_set_activity(b, 1);
    else if (b->activity <= 0.25f)
        bike_set_activity(b, 0.25f);
}

void bike_activity_decay(bike_record *b) {
    bike_set_activity(b, b->activity - (float)bike_tic);
}

void bike_set_mass_distribution(bike_record *b, float d) {
    if (!std::isfinite(d)) d = 1.0f / 3.0f;
    if (d < 0.33f) d = 0.33f;
    if (d > 0.5f) d = 0.5f;
    b->applied.rider_mass_distribution = d;
    set_masses(b, d);
}

void bike_apply_setup(bike_record *b, const bike_setup *s) {
    bike_setup_apply(s, b->m, bike_world.arcade_allowed, &b->applied);
    bike_set_mass_distribution(b, b->applied.rider_mass_distribution);
}

void bike_apply_remote_values(bike_record *b) {
    b->applied.roll_damping = 100;
    b->applied.full_lock_speed = 5;
    b->applied.restricted_lock_speed = 50;
    b->applied.restricted_lock = 0.04363323f;
    bike_set_activity(b, 0);
}

double bike_roll(dBodyID body) {
    dVector3 up, fwd;
    dBodyVectorToWorld(body, 0, 1, 0, up);
    dBodyVectorToWorld(body, 0, 0, -1, fwd);
    double hx = fwd[0], hz = fwd[2];
    double len = sqrt(hx * hx + hz * hz);
    if (len < 1e-9) return 0; // pointing straight up or down: no heading
    hx /= len;
    hz /= len;
    // Right of the heading, horizontal: heading turned -90 degrees about y.
    double rx = -hz, rz = hx;
    double d = up[0] * rx + up[2] * rz;
    if (d > 1) d = 1;
    if (d < -1) d = -1;
    return -asin(d);
}
