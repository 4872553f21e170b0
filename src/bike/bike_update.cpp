// The per-tic bike update: trouble flag, stamps, crash detection, crash handling with the
// recovery ropes, the rider's sprung attachment, suspension motors, momentum correction and
// the feet. Engine, tires and rider input have their own steps (bike_hooks).
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "track/track_terrain.h"

namespace {

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

double len3(const double *v) {
    return sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// A soft contact between two bodies at a point along a normal (body a pushed along +normal).
void soft_link(dBodyID a, dBodyID b, const double pos[3], const double normal[3], double depth,
               double spring, double damping, double mass_scale) {
    if (spring == 0 && damping == 0) return;
    dContact c;
    memset(&c, 0, sizeof c);
    c.surface.mode = dContactSoftERP | dContactSoftCFM;
    c.surface.mu = 0;
    double cfm = 1.0 / (mass_scale * damping + bike_tic * mass_scale * spring);
    c.surface.soft_cfm = cfm;
    c.surface.soft_erp = bike_tic * mass_scale * spring * cfm;
    for (int k = 0; k < 3; k++) {
        c.geom.pos[k] = pos[k];
        c.geom.normal[k] = normal[k];
    }
    c.geom.depth = depth;
    dJointID j = dJointCreateContact(bike_world.world, bike_world.contacts, &c);
    dJointAttach(j, a, b);
}

// Keeps a point of body a within length of a point of body b.
void distance_rope(dBodyID a, const double pa[3], dBodyID b, const double pb[3], double length) {
    dVector3 wa, wb;
    dBodyGetRelPointPos(a, pa[0], pa[1], pa[2], wa);
    dBodyGetRelPointPos(b, pb[0], pb[1], pb[2], wb);
    double d[3] = {wb[0] - wa[0], wb[1] - wa[1], wb[2] - wa[2]};
    double dist = len3(d);
    if (dist <= length || dist < 1e-9) return;
    double n[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
    double pos[3] = {wa[0], wa[1], wa[2]};
    soft_link(a, b, pos, n, dist - length, 5000, 500, 1);
}

void riding_pose_offset(const bike_record *b, double out[3]) {
    const bike_geometry *g = &b->m->geo;
    for (int k = 0; k < 3; k++)
        out[k] = g->rider_pos[k] - g->frame_pos[k];
}

int wheel_contact(const bike_record *b, int w) {
    return b->tire[w].depth > 0;
}

void update_stamps(bike_record *b) {
    int now = bike_world.tic;
    int any = wheel_contact(b, 0) || wheel_contact(b, 1);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    if (!any) {
        if (v[1] < 0 && b->landing_tic >= b->airborne_tic) b->airborne_tic = now;
    } else if (b->landing_tic < b->airborne_tic) {
        b->landing_tic = now;
    }
}

void detect_crash(bike_record *b) {
    if (b->applied.arcade || bike_crashed(b)) return;
    int now = bike_world.tic;
    double v_lim = 46.5, a_lim = 2064;
    if (b->landing_tic >= b->airborne_tic) {
        double airtime = (b->landing_tic - b->airborne_tic) * bike_tic;
        double since = (now - b->landing_tic) * bike_tic;
        double ca = clampd((airtime - 0.559) * 7.9365087, 0, 1);
        double cb = clampd((0.25 - since) * 8, 0, 1);
        double t = 1.5 - 0.5 * ca * cb;
        v_lim = 31 * t;
        a_lim = 1376 * t;
    }
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    const dReal *rv = dBodyGetLinearVel(b->body[BIKE_RIDER]);
    dVector3 fv;
    dBodyGetPointVel(b->body[BIKE_FRAME], rp[0], rp[1], rp[2], fv);
    double rel[3] = {rv[0] - fv[0], rv[1] - fv[1], rv[2] - fv[2]};
    if (len3(rel) > v_lim) {
        bike_crash(b);
        return;
    }
    if (b->riding_tics < 4) return; // the history does not reach back four riding tics yet
    const float *old = b->rider_vel[now & 3];
    double acc[3];
    for (int k = 0; k < 3; k++)
        acc[k] = (rv[k] - old[k]) / (4 * bike_tic);
    acc[1] += 32;
    if (len3(acc) > a_lim) bike_crash(b);
}

void crashed_step(bike_record *b) {
    const dReal *rv = dBodyGetLinearVel(b->body[BIKE_RIDER]);
    double speed = sqrt(rv[0] * rv[0] + rv[1] * rv[1] + rv[2] * rv[2]);
    // A rider tangled with another bike is carried along, not sliding on its own: the timer runs
    // as if he lay still, or a bike dragging a fallen one would never let him back on.
    int carried = b->bike_contact_tic == bike_world.tic;
    if (speed < 2 || carried) b->crash_timer--;
    if (b->crash_timer <= 0) {
        b->crash_timer = 0;
        bike_put_rider_on(b);
        return;
    }
    const bike_rider_points *rp = &b->m->rider;
    if (speed >= 2) {
        double arm = (rp->upper_arm + rp->forearm) * 0.875;
        for (int s = 0; s < 2; s++) {
            double sh[3] = {rp->shoulder[s][0], rp->shoulder[s][1], rp->shoulder[s][2]};
            double gr[3] = {rp->grip[s][0], rp->grip[s][1], rp->grip[s][2]};
            distance_rope(b->body[BIKE_RIDER], sh, b->body[BIKE_FORK_UPPER], gr, arm);
        }
        if (b->crash_timer > 511) {
            const double rider_pt[3] = {0, -0.570887, 0.670607};
            const double fork_pt[3] = {0, 1.145, 10.753};
            distance_rope(b->body[BIKE_RIDER], rider_pt, b->body[BIKE_FORK_UPPER], fork_pt, 8);
        }
    }
    if (b->crash_timer <= 511) {
        double len = clampd((b->crash_timer - 128) / 384.0, 0, 1) * 5;
        double off[3];
        riding_pose_offset(b, off);
        for (int s = -1; s <= 1; s++) {
            double fp[3] = {off[0] + 5 * s, off[1] + 10 * (s != 0), off[2]};
            double rpnt[3] = {5.0 * s, 10.0 * (s != 0), 0};
            distance_rope(b->body[BIKE_FRAME], fp, b->body[BIKE_RIDER], rpnt, len);
        }
    }
}

void rider_attachment(bike_record *b) {
    const bike_applied *a = &b->applied;
    double m_rel = b->m->rider_mass / 4.6875;
    dJointID j = b->joint[BIKE_JOINT_RIDER];
    dJointSetHinge2Param(j, dParamSuspensionERP, 0);
    dJointSetHinge2Param(j, dParamSuspensionCFM, 1.0 / (m_rel * (30 * a->rider_zdamping + 5)));
    double off[3];
    riding_pose_offset(b, off);
    dVector3 target;
    dBodyGetRelPointPos(b->body[BIKE_FRAME], off[0], off[1], off[2], target);
    const dReal *rp = dBodyGetPosition(b->body[BIKE_RIDER]);
    double d[3] = {target[0] - rp[0], target[1] - rp[1], target[2] - rp[2]};
    if (d[0] * d[0] + d[1] * d[1] + d[2] * d[2] < 1.0 / 1024) return;
    dVector3 y, z;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 1, 0, y);
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, 1, z);
    double jz = d[0] * z[0] + d[1] * z[1] + d[2] * z[2];
    double ey = d[0] * y[0] + d[1] * y[1] + d[2] * y[2];
    double sit = b->ctl.sit_dab, lean = b->ctl.lean;
    double pos[3] = {rp[0], rp[1], rp[2]};

    double n = clampd((1 + sit) * 0.5 * ey - lean, -0.75, 0.75);
    double e = jz - n;
    double k, c;
    if (fabs(jz) <= 0.75) {
        k = 100 * fabs(e) + 600 * a->rider_zspring;
        c = 0;
    } else {
        k = 2500;
        c = 2500;
    }
    double sign = e >= 0 ? 1 : -1;
    double nz[3] = {sign * z[0], sign * z[1], sign * z[2]};
    soft_link(b->body[BIKE_RIDER], b->body[BIKE_FRAME], pos, nz, fabs(e), k, c, m_rel);

    double f = ey + 0.125 - 0.5 * sit;
    if (ey >= -0.75 && ey <= 0.5) {
        k = 400 * a->rider_yspring;
        c = 100 * a->rider_ydamping;
    } else {
        k = 2500;
        c = 2500;
    }
    sign = f >= 0 ? 1 : -1;
    double ny[3] = {sign * y[0], sign * y[1], sign * y[2]};
    soft_link(b->body[BIKE_RIDER], b->body[BIKE_FRAME], pos, ny, fabs(f), k, c, m_rel);
}

void momentum_correction(bike_record *b) {
    double fsum[3] = {0, 0, 0}, tsum[3] = {0, 0, 0};
    const dReal *pf = dBodyGetPosition(b->body[BIKE_FRAME]);
    for (int i = 0; i < BIKE_JOINTS; i++) {
        dBodyID b1 = dJointGetBody(b->joint[i], 0), b2 = dJointGetBody(b->joint[i], 1);
        if (!b1 || !b2) return; // the rider is off: nothing to correct this tic
    }
    for (int i = 0; i < BIKE_JOINTS; i++) {
        const dJointFeedback *fb = &b->feedback[i];
        const dReal *p1 = dBodyGetPosition(dJointGetBody(b->joint[i], 0));
        const dReal *p2 = dBodyGetPosition(dJointGetBody(b->joint[i], 1));
        double r1[3] = {p1[0] - pf[0], p1[1] - pf[1], p1[2] - pf[2]};
        double r2[3] = {p2[0] - pf[0], p2[1] - pf[1], p2[2] - pf[2]};
        for (int k = 0; k < 3; k++) {
            fsum[k] += fb->f1[k] + fb->f2[k];
            tsum[k] += fb->t1[k] + fb->t2[k];
        }
        tsum[0] += r1[1] * fb->f1[2] - r1[2] * fb->f1[1] + r2[1] * fb->f2[2] - r2[2] * fb->f2[1];
        tsum[1] += r1[2] * fb->f1[0] - r1[0] * fb->f1[2] + r2[2] * fb->f2[0] - r2[0] * fb->f2[2];
        tsum[2] += r1[0] * fb->f1[1] - r1[1] * fb->f1[0] + r2[0] * fb->f2[1] - r2[1] * fb->f2[0];
    }
    for (int k = 0; k < 3; k++)
        if (!std::isfinite(fsum[k]) || !std::isfinite(tsum[k])) return;
    dBodyAddForce(b->body[BIKE_FRAME], -fsum[0], -fsum[1], -fsum[2]);
    dBodyAddTorque(b->body[BIKE_FRAME], -tsum[0], -tsum[1], -tsum[2]);
}

float ground_under(float x, float z) {
    return terrain_present() ? terrain_height(x, z) : 0.0f;
}

// Feet: on the pegs while riding; while the rider is off, particles hanging on the legs.
void update_feet(bike_record *b) {
    const bike_rider_points *rp = &b->m->rider;
    int riding = !bike_crashed(b);
    for (int s = 0; s < 2; s++) {
        const float *peg = rp->foot_peg[s];
        dVector3 pw, pv;
        dBodyGetRelPointPos(b->body[BIKE_FRAME], peg[0], peg[1], peg[2], pw);
        dBodyGetRelPointVel(b->body[BIKE_FRAME], peg[0], peg[1], peg[2], pv);
        float *p = b->foot_pos[s], *v = b->foot_vel[s];
        if (riding || b->activity <= 0.25f) {
            for (int k = 0; k < 3; k++) {
                p[k] = (float)pw[k];
                v[k] = (float)pv[k];
            }
            continue;
        }
        // Leg spring from the hip, only when stretched beyond the leg length.
        dVector3 hip;
        dBodyGetRelPointPos(b->body[BIKE_RIDER], rp->hip[s][0], rp->hip[s][1], rp->hip[s][2], hip);
        double d[3] = {p[0] - hip[0], p[1] - hip[1], p[2] - hip[2]};
        double dist = len3(d);
        double acc[3] = {0, -32, 0};
        if (dist > rp->leg_length && dist > 1e-9) {
            double u[3] = {d[0] / dist, d[1] / dist, d[2] / dist};
            const dReal *hv = dBodyGetLinearVel(b->body[BIKE_RIDER]);
            double radial = (v[0] - hv[0]) * u[0] + (v[1] - hv[1]) * u[1] + (v[2] - hv[2]) * u[2];
            double pull = 800 * (dist - rp->leg_length) + 40 * radial;
            for (int k = 0; k < 3; k++)
                acc[k] -= pull * u[k];
        }
        for (int k = 0; k < 3; k++) {
            v[k] += (float)(acc[k] * bike_tic);
            p[k] += (float)(v[k] * bike_tic);
        }
        // Below 320 tics of the recovery the feet make their way back to the pegs.
        if (b->crash_timer < 320) {
            for (int k = 0; k < 3; k++) {
                p[k] += (float)((pw[k] - p[k]) * 0.0625);
                v[k] = (float)pv[k];
            }
        }
        float floor_y = ground_under(p[0], p[2]) + 0.25f;
        if (p[1] <= floor_y) {
            p[1] = floor_y;
            if (v[1] < 0) v[1] = 0;
            v[0] *= 0.9375f;
            v[2] *= 0.9375f;
        }
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(p[k]) || !std::isfinite(v[k])) {
                p[k] = (float)pw[k];
                v[k] = 0;
            }
    }
}

} // namespace

int bike_crashes;

int bike_crashed(const bike_record *b) {
    return b->crash_timer > 0;
}

void bike_crash(bike_record *b) {
    if (bike_crashed(b)) return;
    dJointAttach(b->joint[BIKE_JOINT_RIDER], 0, 0);
    int idx = b->crash_count < 0 ? 0 : (b->crash_count > 15 ? 15 : b->crash_count);
    b->crash_timer = bike_world.crash_delay[idx] + 512;
    b->crash_count++;
    bike_crashes++;
    // The feet go on from where they are, as they were moving.
}

void bike_put_rider_on(bike_record *b) {
    double off[3];
    riding_pose_offset(b, off);
    dVector3 p, v;
    dBodyGetRelPointPos(b->body[BIKE_FRAME], off[0], off[1], off[2], p);
    dBodyGetRelPointVel(b->body[BIKE_FRAME], off[0], off[1], off[2], v);
    dBodyID r = b->body[BIKE_RIDER];
    dBodySetPosition(r, p[0], p[1], p[2]);
    dBodySetRotation(r, dBodyGetRotation(b->body[BIKE_FRAME]));
    dBodySetLinearVel(r, v[0], v[1], v[2]);
    const dReal *w = dBodyGetAngularVel(b->body[BIKE_FRAME]);
    dBodySetAngularVel(r, w[0], w[1], w[2]);
    bike_attach_rider_joint(b);
    b->crash_timer = 0;
    b->riding_tics = 0;
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++)
            b->rider_vel[i][k] = (float)v[k];
}

void bike_update(bike_record *b) {
    if (!b->present) return;
    int now = bike_world.tic;
    // 1. Trouble: a slow frame well after the gate drop (riders waiting at the gate are fine).
    if (!b->trouble && bike_world.gate_drop_tic >= 0 && now - bike_world.gate_drop_tic > 256) {
        const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
        if (v[0] * v[0] + v[1] * v[1] + v[2] * v[2] < 25) b->trouble = 1;
    }
    // 2. Parked bikes only move their feet.
    if (b->activity <= 0.25f) {
        update_feet(b);
        return;
    }
    // 3. Knock counter.
    b->knock = b->knock <= 1 ? 0 : b->knock - 1;
    // 4. Airborne and landing stamps.
    update_stamps(b);
    // 5. Crash detection; 6. crashed handling.
    if (!bike_crashed(b))
        detect_crash(b);
    else
        crashed_step(b);
    // 7. Controls and aids.
    if (bike_hooks.controls) bike_hooks.controls(b);
    // 8. Rider attachment.
    if (!bike_crashed(b)) rider_attachment(b);
    // 9. Fork and shock.
    bike_suspension_motors(b);
    // 10. Steering aids, shifting, engine, driveline, brakes, steering damping.
    if (bike_hooks.drivetrain) bike_hooks.drivetrain(b);
    // 11. Momentum correction, from the third riding tic on.
    if (!bike_crashed(b) && b->riding_tics >= 2) momentum_correction(b);
    // 12. Dab and realign after a fall; controls written back.
    if (bike_hooks.aids) bike_hooks.aids(b);
    // 13. The dab pose fades.
    b->ctl.dab_pose -= (float)(4 * bike_tic);
    if (b->ctl.dab_pose < 0) b->ctl.dab_pose = 0;
    // 14. Feet.
    update_feet(b);
    // 15. Rider velocity history.
    const dReal *rv = dBodyGetLinearVel(b->body[BIKE_RIDER]);
    for (int k = 0; k < 3; k++)
        b->rider_vel[now & 3][k] = (float)rv[k];
    if (!bike_crashed(b)) b->riding_tics++;
}
