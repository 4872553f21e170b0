// The 39-byte compact bike state that demos and the network carry, and the decoder that
// rebuilds all seven bodies from it.
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "track/track_terrain.h"

namespace {

const double full24 = 16777215.0;

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

long round_clamped(double v, long lo, long hi) {
    if (!std::isfinite(v)) return lo;
    long r = lround(clampd(v, (double)lo, (double)hi));
    return r < lo ? lo : (r > hi ? hi : r);
}

void put16(uint8_t *p, long v) {
    p[0] = (uint8_t)(v & 0xff);
    p[1] = (uint8_t)((v >> 8) & 0xff);
}

void put24(uint8_t *p, long v) {
    put16(p, v & 0xffff);
    p[2] = (uint8_t)((v >> 16) & 0xff);
}

long get16(const uint8_t *p) {
    return (long)p[0] | ((long)p[1] << 8);
}
long get24(const uint8_t *p) {
    return get16(p) | ((long)p[2] << 16);
}

// Terrain size S and base height Y0; without a terrain a 1 ft box at 0 keeps the maths finite.
void terrain_box(double *size, double *base) {
    *size = terrain_present() && terrain.extent > 0 ? terrain.extent : 1.0;
    *base = terrain_present() ? terrain.bottom : 0.0;
}

void put_quat(uint8_t *p, const dReal *q) {
    for (int k = 0; k < 4; k++)
        put16(p + 2 * k, round_clamped((clampd(q[k], -1, 1) + 1) * 32767.5, 0, 65535));
}

void get_quat(const uint8_t *p, dQuaternion q) {
    double n = 0;
    for (int k = 0; k < 4; k++) {
        q[k] = get16(p + 2 * k) / 65535.0 * 2 - 1;
        n += q[k] * q[k];
    }
    n = sqrt(n);
    if (n < 1e-9) {
        q[0] = 1;
        q[1] = q[2] = q[3] = 0;
        return;
    }
    for (int k = 0; k < 4; k++)
        q[k] /= n;
}

struct decoded {
    double frame_pos[3];
    dQuaternion frame_q;
    double rider_rel[3];
    dQuaternion rider_q;
    double steer, swingarm, fork, front_axle, rear_axle;
    int gear, dab, throttle_level, crashed, crash_level;
    double rpm;
};

void decode_bytes(const uint8_t *s, decoded *d) {
    double size, base;
    terrain_box(&size, &base);
    d->frame_pos[0] = get24(s) * size / full24;
    d->frame_pos[1] = base + get24(s + 3) * size / full24;
    d->frame_pos[2] = get24(s + 6) * size / full24;
    get_quat(s + 9, d->frame_q);
    d->steer = s[17] / 162.33803 - M_PI / 4;
    d->swingarm = 0; // filled by the caller, which knows the model
    d->fork = 0;
    for (int k = 0; k < 3; k++)
        d->rider_rel[k] = get16(s + 20 + 2 * k) / 2047.9688 - 16;
    get_quat(s + 26, d->rider_q);
    d->front_axle = s[34] / 40.584507 - M_PI;
    d->rear_axle = s[35] / 40.584507 - M_PI;
    d->crashed = (s[36] & 7) == 7;
    d->gear = s[36] & 7;
    d->dab = (s[36] >> 3) & 1;
    d->throttle_level = s[36] >> 4;
    d->crash_level = s[36] >> 4;
    d->rpm = get16(s + 37) / 1.9999695;
}

struct pose {
    double pos[BIKE_BODIES][3];
    dQuaternion q[BIKE_BODIES];
};

void quat_axis(dQuaternion q, double x, double y, double z, double angle) {
    dQFromAxisAndAngle(q, x, y, z, angle);
}

// q = a * b
void qmul(dQuaternion out, const dQuaternion a, const dQuaternion b) {
    dQuaternion r;
    dQMultiply0(r, a, b);
    for (int k = 0; k < 4; k++)
        out[k] = r[k];
}

void qrotate(const dQuaternion q, const double v[3], double out[3]) {
    dMatrix3 r;
    dQtoR(q, r);
    dVector3 in = {v[0], v[1], v[2], 0}, o;
    dMultiply0_331(o, r, in);
    for (int k = 0; k < 3; k++)
        out[k] = o[k];
}

// Rebuilds every body's world pose from the frame pose, the rider pose and the joint values,
// by the bike's joint geometry in model coordinates.
void build_pose(const bike_record *b, const decoded *d, pose *out) {
    const bike_geometry *g = &b->m->geo;
    double up[3], lo[3], fw[3], rw[3], sw[3], piv[3], f0[3];
    for (int k = 0; k < 3; k++) {
        up[k] = g->fork_upper_pos[k];
        lo[k] = g->fork_lower_pos[k];
        fw[k] = g->front_wheel_pos[k];
        rw[k] = g->rear_wheel_pos[k];
        sw[k] = g->swingarm_pos[k];
        piv[k] = g->swingarm_pivot[k];
        f0[k] = g->frame_pos[k];
    }
    double axis[3] = {up[0] - lo[0], up[1] - lo[1], up[2] - lo[2]};
    double al = sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    for (int k = 0; k < 3; k++)
        axis[k] /= al;

    double mpos[BIKE_BODIES][3];
    dQuaternion mq[BIKE_BODIES];
    for (int k = 0; k < 3; k++)
        mpos[BIKE_FRAME][k] = f0[k];
    quat_axis(mq[BIKE_FRAME], 1, 0, 0, 0);

    // Steering turns the upper fork about the steering axis through its own position.
    quat_axis(mq[BIKE_FORK_UPPER], axis[0], axis[1], axis[2], d->steer);
    for (int k = 0; k < 3; k++)
        mpos[BIKE_FORK_UPPER][k] = up[k];
    // The lower fork slides along the axis (upper minus lower grows by p) and steers along.
    double rel[3], r2[3];
    for (int k = 0; k < 3; k++)
        rel[k] = lo[k] - up[k] - d->fork * axis[k];
    qrotate(mq[BIKE_FORK_UPPER], rel, r2);
    for (int k = 0; k < 3; k++)
        mpos[BIKE_FORK_LOWER][k] = up[k] + r2[k];
    for (int k = 0; k < 4; k++)
        mq[BIKE_FORK_LOWER][k] = mq[BIKE_FORK_UPPER][k];
    // Front wheel at its place on the lower fork, turned by the axle angle.
    for (int k = 0; k < 3; k++)
        rel[k] = fw[k] - lo[k];
    qrotate(mq[BIKE_FORK_LOWER], rel, r2);
    for (int k = 0; k < 3; k++)
        mpos[BIKE_FRONT_WHEEL][k] = mpos[BIKE_FORK_LOWER][k] + r2[k];
    dQuaternion spin;
    quat_axis(spin, 1, 0, 0, -d->front_axle);
    qmul(mq[BIKE_FRONT_WHEEL], mq[BIKE_FORK_LOWER], spin);
    // Swingarm about the pivot, rear wheel on its end.
    quat_axis(mq[BIKE_SWINGARM], 1, 0, 0, d->swingarm);
    for (int k = 0; k < 3; k++)
        rel[k] = sw[k] - piv[k];
    qrotate(mq[BIKE_SWINGARM], rel, r2);
    for (int k = 0; k < 3; k++)
        mpos[BIKE_SWINGARM][k] = piv[k] + r2[k];
    for (int k = 0; k < 3; k++)
        rel[k] = rw[k] - piv[k];
    qrotate(mq[BIKE_SWINGARM], rel, r2);
    for (int k = 0; k < 3; k++)
        mpos[BIKE_REAR_WHEEL][k] = piv[k] + r2[k];
    quat_axis(spin, 1, 0, 0, -d->rear_axle);
    qmul(mq[BIKE_REAR_WHEEL], mq[BIKE_SWINGARM], spin);

    for (int i = 0; i < BIKE_BODIES; i++) {
        if (i == BIKE_RIDER) continue;
        for (int k = 0; k < 3; k++)
            rel[k] = mpos[i][k] - f0[k];
        qrotate(d->frame_q, rel, r2);
        for (int k = 0; k < 3; k++)
            out->pos[i][k] = d->frame_pos[k] + r2[k];
        qmul(out->q[i], d->frame_q, mq[i]);
    }
    for (int k = 0; k < 3; k++)
        out->pos[BIKE_RIDER][k] = d->frame_pos[k] + d->rider_rel[k];
    for (int k = 0; k < 4; k++)
        out->q[BIKE_RIDER][k] = d->rider_q[k];
}

void decode_full(const bike_record *b, const uint8_t *s, decoded *d, pose *p) {
    decode_bytes(s, d);
    double tmax = b->m->linkage[2], travel = b->m->fork_travel;
    d->swingarm = s[18] / 255.0 * tmax - tmax;
    d->fork = s[19] / 255.0 * travel - travel;
    build_pose(b, d, p);
}

} // namespace

void bike_encode(const bike_record *b, uint8_t out[BIKE_STATE_SIZE]) {
    double size, base;
    terrain_box(&size, &base);
    const dReal *fp = dBodyGetPosition(b->body[BIKE_FRAME]);
    put24(out, round_clamped(clampd(fp[0], 0, size) / size * full24, 0, 16777215));
    put24(out + 3,
          round_clamped((clampd(fp[1], base, base + size) - base) / size * full24, 0, 16777215));
    put24(out + 6, round_clamped(clampd(fp[2], 0, size) / size * full24, 0, 16777215));
    put_quat(out + 9, dBodyGetQuaternion(b->body[BIKE_FRAME]));
    double steer = dJointGetHingeAngle(b->joint[BIKE_JOINT_STEER]);
    out[17] =
        (uint8_t)round_clamped((clampd(steer, -M_PI / 4, M_PI / 4) + M_PI / 4) * 162.33803, 0, 255);
    // A joint pushed past its stop would give a value outside the byte: clamp it.
    double tmax = b->m->linkage[2];
    double theta = dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]);
    long arm = round_clamped((fmin(theta, 0) + tmax) / tmax * 255, 0, 255);
    out[18] = (uint8_t)(arm | 1);
    double travel = b->m->fork_travel;
    double p = dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]);
    long fork = round_clamped((fmin(p, 0) + travel) / travel * 255, 0, 255);
    out[19] = (uint8_t)(fork & ~1L);
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    for (int k = 0; k < 3; k++)
        put16(out + 20 + 2 * k,
              round_clamped((clampd(rp[k] - fp[k], -16, 16) + 16) * 2047.9688, 0, 65535));
    put_quat(out + 26, dBodyGetQuaternion(b->body[BIKE_RIDER]));
    double fa = dJointGetHingeAngle(b->joint[BIKE_JOINT_FRONT_AXLE]);
    double ra = dJointGetHingeAngle(b->joint[BIKE_JOINT_REAR_AXLE]);
    out[34] = (uint8_t)round_clamped((clampd(fa, -M_PI, M_PI) + M_PI) * 40.584507, 0, 255);
    out[35] = (uint8_t)round_clamped((clampd(ra, -M_PI, M_PI) + M_PI) * 40.584507, 0, 255);
    if (bike_crashed(b)) {
        long level = (15L * b->crash_timer - 15) / 127;
        if (level > 15) level = 15;
        if (level < 0) level = 0;
        out[36] = (uint8_t)(7 | (level << 4));
    } else {
        long gear = b->engine.gear < 0 ? 0 : (b->engine.gear > 6 ? 6 : b->engine.gear);
        long thr = round_clamped(15.0 * b->ctl.throttle, 0, 15);
        out[36] = (uint8_t)(gear | (b->ctl.dab_pose > 0 ? 8 : 0) | (thr << 4));
    }
    double rpm = bike_engine_rpm(&b->engine);
    put16(out + 37, round_clamped(clampd(rpm, 0, 32768) * 1.9999695, 0, 65535));
}

void bike_decode(bike_record *b, const uint8_t newer[BIKE_STATE_SIZE],
                 const uint8_t older[BIKE_STATE_SIZE], int tics) {
    decoded dn, dold;
    pose pn, po;
    decode_full(b, newer, &dn, &pn);
    int have_old = older && tics > 0;
    if (have_old) decode_full(b, older, &dold, &po);

    // Never leave the rear wheel buried: keep its centre a ring radius above the ground.
    double lift = 0;
    if (terrain_present()) {
        const double *rw = pn.pos[BIKE_REAR_WHEEL];
        double ground = terrain_height((float)rw[0], (float)rw[2]);
        double need = ground + b->m->geo.rear_ring_radius;
        if (rw[1] < need) lift = need - rw[1];
    }
    double dt = have_old ? tics * bike_tic : 0;
    for (int i = 0; i < BIKE_BODIES; i++) {
        dBodyID body = b->body[i];
        dBodySetPosition(body, pn.pos[i][0], pn.pos[i][1] + lift, pn.pos[i][2]);
        dBodySetQuaternion(body, pn.q[i]);
        double v[3] = {0, 0, 0}, w[3] = {0, 0, 0};
        if (have_old) {
            for (int k = 0; k < 3; k++)
                v[k] = (pn.pos[i][k] - po.pos[i][k]) / dt;
            // Angular velocity from the rotation taking the older pose to the newer one.
            dQuaternion inv = {po.q[i][0], -po.q[i][1], -po.q[i][2], -po.q[i][3]}, dq;
            qmul(dq, pn.q[i], inv);
            if (dq[0] < 0)
                for (int k = 0; k < 4; k++)
                    dq[k] = -dq[k];
            double s = sqrt(dq[1] * dq[1] + dq[2] * dq[2] + dq[3] * dq[3]);
            if (s > 1e-12) {
                double angle = 2 * atan2(s, dq[0]);
                for (int k = 0; k < 3; k++)
                    w[k] = dq[k + 1] / s * angle / dt;
            }
        }
        dBodySetLinearVel(body, v[0], v[1], v[2]);
        dBodySetAngularVel(body, w[0], w[1], w[2]);
    }
    if (dn.crashed) {
        if (!bike_crashed(b)) dJointAttach(b->joint[BIKE_JOINT_RIDER], 0, 0);
        b->crash_timer = (dn.crash_level * 127 + 15) / 15;
        if (b->crash_timer < 1) b->crash_timer = 1;
    } else {
        if (bike_crashed(b) || !dJointGetBody(b->joint[BIKE_JOINT_RIDER], 0))
            bike_attach_rider_joint(b);
        b->crash_timer = 0;
        b->engine.gear = dn.gear;
        b->ctl.dab_pose = dn.dab ? 1.0f : 0.0f;
        b->ctl.throttle = dn.throttle_level / 15.0f;
    }
    b->engine.omega = dn.rpm * 2 * M_PI / 60;
}
