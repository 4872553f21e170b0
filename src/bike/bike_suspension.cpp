// Suspension force laws: the rear linkage curve, the fork's spring, air spring and dampers, and
// the shock's torque about the swingarm pivot. The joints carry them as motors.
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

// Sets the fork slider's and the swingarm hinge's motors for the next step.
void bike_suspension_motors(bike_record *b) {
    dJointID fork = b->joint[BIKE_JOINT_FORK];
    double p = dJointGetSliderPosition(fork);
    double v = dJointGetSliderPositionRate(fork);
    double f = bike_fork_force(&b->applied, b->m->fork_travel, p, v);
    if (!std::isfinite(f)) f = 0;
    dJointSetSliderParam(fork, dParamVel, f >= 0 ? 100 : 0);
    dJointSetSliderParam(fork, dParamFMax, fabs(f));

    dJointID arm = b->joint[BIKE_JOINT_SWINGARM];
    double theta = dJointGetHingeAngle(arm);
    double omega = dJointGetHingeAngleRate(arm);
    double t = bike_shock_torque(&b->applied, b->m->linkage, theta, omega);
    if (!std::isfinite(t)) t = 0;
    dJointSetHingeParam(arm, dParamVel, t >= 0 ? 100 : 0);
    dJointSetHingeParam(arm, dParamFMax, fabs(t));
}
