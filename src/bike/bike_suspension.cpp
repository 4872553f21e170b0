// Suspension force laws: the rear linkage curve, the fork's spring, air spring and dampers, and
// the shock's torque about the swingarm pivot. The joints carry them as motors; a push the motor
// could never complete is handed to the bodies as forces instead (see bike_suspension_motors).
#include <cmath>

#include "bike/bike.h"

namespace {

double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Damping of either unit: compression with v < 0, rebound otherwise; the low-speed base is
// bounded to between 1/8 and 8 times the high-speed term.
double damping_force(double v, double hs_comp, double ls_comp, double hs_reb, double ls_reb) {
    if (v < 0) {
        double x = -v * hs_comp;
        return clampd(x + ls_comp, x / 8, 8 * x);
    }
    double x = v * hs_reb;
    return -clampd(x + ls_reb, x / 8, 8 * x);
}

} // namespace

bike_linkage bike_linkage_curve(const float link[7], double x) {
    double p1 = link[0], p2 = link[1], b = link[3];
    double t0 = link[4], t1 = link[5], t2 = link[6];
    x = clampd(x, 0, 1);
    double y0, y1, m0, m1, u, span;
    if (x <= b) {
        span = b;
        u = x / b;
        y0 = 0;
        y1 = p1;
        m0 = t0 * b;
        m1 = t1 * b;
    } else {
        span = 1 - b;
        u = (x - b) / span;
        y0 = p1;
        y1 = p2;
        m0 = t1 * span;
        m1 = t2 * span;
    }
    double u2 = u * u, u3 = u2 * u;
    bike_linkage r;
    r.s = (2 * u3 - 3 * u2 + 1) * y0 + (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) * y1 +
          (u3 - u2) * m1;
    double ds_du = (6 * u2 - 6 * u) * y0 + (3 * u2 - 4 * u + 1) * m0 + (-6 * u2 + 6 * u) * y1 +
                   (3 * u2 - 2 * u) * m1;
    r.leverage = ds_du / span;
    return r;
}

double bike_fork_force(const bike_applied *a, double travel, double p, double v) {
    if (p > 0) p = 0;
    double fd = damping_force(v, a->fork_hs_comp, a->fork_ls_comp, a->fork_hs_reb, a->fork_ls_reb);
    double f = (a->fork_preload - p) * a->fork_spring + fd;
    // Air spring of the gap above the oil: ((g + T) / (g + T - min(-p, T)))^1.4 - 1.
    double g = a->fork_air_gap;
    double room = g + travel - fmin(-p, travel);
    if (room > 1e-6)
        f += (pow((g + travel) / room, 1.4) - 1) * 82.46169;
    else
        f += (pow((g + travel) / 1e-6, 1.4) - 1) * 82.46169; // no air gap left: as stiff as it gets
    return f * clampd(-32 * p / travel, 0, 1);
}

double bike_shock_torque(const bike_applied *a, const float link[7], double theta, double omega) {
    double x = clampd(-theta / link[2], 0, 1);
    bike_linkage l = bike_linkage_curve(link, x);
    double w = omega * l.leverage;
    double fd =
        damping_force(w, a->shock_hs_comp, a->shock_ls_comp, a->shock_hs_reb, a->shock_ls_reb);
    return clampd(32 * x, 0, 1) * l.leverage * ((a->shock_preload + l.s) * a->shock_spring + fd);
}

namespace {

// The motors push toward extension with a target speed of 100 (ft/s or rad/s) that a suspension
// never reaches, so such a push always ends at its force limit: the solver's answer is that force,
// found at the price of one more bounded row in every bike's constraint problem, two of the ten
// or so that dominate the cost of the world step. While the push and the joint's own rate leave
// the target twice out of reach in one tic, the force goes on the bodies directly, exactly as the
// motor would apply it; a hold (target 0) and a violent push stay motors.
const double PUSH_TARGET = 100.0;
const double DIRECT_MARGIN = 0.5;

// A lower bound on the smallest principal moment of a body (Gershgorin), 0 when it tells nothing.
double least_moment(const dMass &m) {
    double least = 1e300;
    for (int i = 0; i < 3; i++) {
        double off = 0;
        for (int j = 0; j < 3; j++)
            if (j != i) off += fabs(m.I[4 * i + j]);
        least = fmin(least, m.I[4 * i + i] - off);
    }
    return least > 0 ? least : 0;
}

// 1 / mass and 1 / least moment of a body; false when either is not a positive bound.
bool inverse_mass(dBodyID body, double *inv_m, double *inv_i) {
    dMass m;
    dBodyGetMass(body, &m);
    double i = least_moment(m);
    if (!(m.mass > 0 && i > 0)) return false;
    *inv_m = 1 / m.mass;
    *inv_i = 1 / i;
    return true;
}

// The fork's push as the slider motor applies it: +f along the axis on the upper body, -f on the
// lower, and the torque that keeps the pair acting through the midpoint of the two centres.
// Returns false where the motor must do it.
bool push_slider(dJointID j, const double k[2], double f, double rate) {
    dBodyID b0 = dJointGetBody(j, 0), b1 = dJointGetBody(j, 1);
    if (!b0 || !b1 || !(k[0] > 0 && k[1] > 0)) return false;
    dVector3 ax;
    dJointGetSliderAxis(j, ax);
    const dReal *p0 = dBodyGetPosition(b0), *p1 = dBodyGetPosition(b1);
    double c[3] = {0.5 * (p1[0] - p0[0]), 0.5 * (p1[1] - p0[1]), 0.5 * (p1[2] - p0[2])};
    double ltd[3] = {c[1] * ax[2] - c[2] * ax[1], c[2] * ax[0] - c[0] * ax[2],
                     c[0] * ax[1] - c[1] * ax[0]};
    double l2 = ltd[0] * ltd[0] + ltd[1] * ltd[1] + ltd[2] * ltd[2];
    double reach = fabs(rate) + f * bike_tic * (k[0] + l2 * k[1]);
    if (!(reach < DIRECT_MARGIN * PUSH_TARGET)) return false;
    dBodyAddForce(b0, f * ax[0], f * ax[1], f * ax[2]);
    dBodyAddForce(b1, -f * ax[0], -f * ax[1], -f * ax[2]);
    dBodyAddTorque(b0, f * ltd[0], f * ltd[1], f * ltd[2]);
    dBodyAddTorque(b1, f * ltd[0], f * ltd[1], f * ltd[2]);
    return true;
}

// The shock's push as the hinge motor applies it: +t about the axis on the swingarm, -t on the
// frame.
bool push_hinge(dJointID j, double k, double t, double rate) {
    dBodyID b0 = dJointGetBody(j, 0), b1 = dJointGetBody(j, 1);
    if (!b0 || !b1 || !(k > 0)) return false;
    double reach = fabs(rate) + t * bike_tic * k;
    if (!(reach < DIRECT_MARGIN * PUSH_TARGET)) return false;
    dVector3 ax;
    dJointGetHingeAxis(j, ax);
    dBodyAddTorque(b0, t * ax[0], t * ax[1], t * ax[2]);
    dBodyAddTorque(b1, -t * ax[0], -t * ax[1], -t * ax[2]);
    return true;
}

} // namespace

void bike_suspension_push_bounds(bike_record *b) {
    b->fork_push_k[0] = b->fork_push_k[1] = b->shock_push_k = 0;
    double m0, i0, m1, i1;
    if (inverse_mass(b->body[BIKE_FORK_UPPER], &m0, &i0) &&
        inverse_mass(b->body[BIKE_FORK_LOWER], &m1, &i1)) {
        b->fork_push_k[0] = m0 + m1;
        b->fork_push_k[1] = i0 + i1;
    }
    if (inverse_mass(b->body[BIKE_SWINGARM], &m0, &i0) &&
        inverse_mass(b->body[BIKE_FRAME], &m1, &i1))
        b->shock_push_k = i0 + i1;
}

// Sets the fork slider's and the swingarm hinge's motors for the next step.
void bike_suspension_motors(bike_record *b) {
    dJointID fork = b->joint[BIKE_JOINT_FORK];
    double p = dJointGetSliderPosition(fork);
    double v = dJointGetSliderPositionRate(fork);
    double f = bike_fork_force(&b->applied, b->m->fork_travel, p, v);
    if (!std::isfinite(f)) f = 0;
    bool pushed = f > 0 && push_slider(fork, b->fork_push_k, f, v);
    dJointSetSliderParam(fork, dParamVel, f >= 0 ? PUSH_TARGET : 0);
    dJointSetSliderParam(fork, dParamFMax, pushed ? 0 : fabs(f));

    dJointID arm = b->joint[BIKE_JOINT_SWINGARM];
    double theta = dJointGetHingeAngle(arm);
    double omega = dJointGetHingeAngleRate(arm);
    double t = bike_shock_torque(&b->applied, b->m->linkage, theta, omega);
    if (!std::isfinite(t)) t = 0;
    pushed = t > 0 && push_hinge(arm, b->shock_push_k, t, omega);
    dJointSetHingeParam(arm, dParamVel, t >= 0 ? PUSH_TARGET : 0);
    dJointSetHingeParam(arm, dParamFMax, pushed ? 0 : fabs(t));
}
