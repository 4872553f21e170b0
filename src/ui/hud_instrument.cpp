// The instruments' geometry and the suspension history: needle angle, gear cell, lean band,
// map places and the per-tic suspension samples. No GL here.
#include "ui/hud.h"

#include <cmath>
#include <cstring>

#include "bike/bike.h"

namespace {

const float PI = 3.14159265358979f;

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : v > hi ? hi : v;
}

float finite_or_zero(double v) {
    return std::isfinite(v) ? (float)v : 0.0f;
}

} // namespace

float hud_needle_degrees(double rpm) {
    if (!std::isfinite(rpm)) rpm = 0;
    return (float)((rpm * 0.000046875 - 0.375) * 360);
}

void hud_gear_cell(int gear, float rect[4]) {
    // Cell 0 holds neutral, cell g gear g: the engine counts first gear from 0.
    int g = gear < 0 ? 0 : gear + 1;
    int col = g % 3, row = (g / 3) % 3;
    rect[0] = col / 3.0f;
    rect[1] = row / 3.0f;
    rect[2] = (col + 1) / 3.0f;
    rect[3] = (row + 1) / 3.0f;
}

float hud_lean_angle(const float n[3]) {
    if (!std::isfinite(n[0]) || !std::isfinite(n[1])) return 0;
    return std::atan2(n[0], n[1]);
}

int hud_lean_strip(float a, float points[HUD_LEAN_POINTS][2][2]) {
    if (!std::isfinite(a)) a = 0;
    a = clampf(a, -PI, PI);
    int pairs = (int)(std::fabs(a) * 31 / PI) + 2;
    if (pairs > HUD_LEAN_POINTS) pairs = HUD_LEAN_POINTS;
    // From the lean to the horizontal on the leaning side.
    float from = a >= 0 ? a - PI / 2 : PI / 2, to = a >= 0 ? -PI / 2 : a + PI / 2;
    for (int i = 0; i < pairs; i++) {
        float th = from + (to - from) * (float)i / (float)(pairs - 1);
        float s = std::sin(th), c = std::cos(th);
        points[i][0][0] = 0.5f * s;
        points[i][0][1] = 0.5f * c;
        points[i][1][0] = s;
        points[i][1][1] = c;
    }
    return pairs;
}

int hud_map_place(float x, float z, float extent, float *u, float *v) {
    if (!(extent > 0) || !std::isfinite(x) || !std::isfinite(z)) return 0;
    *u = x / extent;
    *v = z / extent;
    return 1;
}

float hud_damping_share(double v, double high, double low) {
    double d = std::fabs(v) * high + low;
    if (!std::isfinite(d) || d == 0) return 0;
    return finite_or_zero(low / d);
}

void hud_suspension_sample(int slot) {
    if (!hud.graph || slot < 0 || slot >= BIKE_SLOTS) return;
    const bike_record *b = &bike_world.bikes[slot];
    if (!b->present || !b->m || !b->joint[BIKE_JOINT_FORK] || !b->joint[BIKE_JOINT_SWINGARM])
        return;
    hud_suspension &s = hud.suspension;
    if (s.index < 0 || s.index >= HUD_SAMPLES) {
        memset(&s, 0, sizeof s);
        s.index = 0;
    }
    const bike_applied &a = b->applied;
    int i = s.index;
    // Fork: 0 extended, 1 fully compressed. No travel leaves an empty plot.
    double travel = b->m->fork_travel;
    double p = dJointGetSliderPosition(b->joint[BIKE_JOINT_FORK]);
    double v = dJointGetSliderPositionRate(b->joint[BIKE_JOINT_FORK]);
    if (travel > 0 && std::isfinite(p) && std::isfinite(v)) {
        s.fork_position[i] = finite_or_zero(-p / travel);
        s.fork_speed[i] = finite_or_zero(v);
        s.fork_share[i] = v < 0 ? hud_damping_share(v, a.fork_hs_comp, a.fork_ls_comp)
                                : hud_damping_share(v, a.fork_hs_reb, a.fork_ls_reb);
    } else {
        s.fork_position[i] = s.fork_speed[i] = s.fork_share[i] = 0;
    }
    // Shock: the swingarm's share of its range, its rate through the linkage.
    double range = b->m->linkage[2];
    double th = dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]);
    double w = dJointGetHingeAngleRate(b->joint[BIKE_JOINT_SWINGARM]);
    if (range > 0 && std::isfinite(th) && std::isfinite(w)) {
        float x = clampf(finite_or_zero(-th / range), 0, 1);
        bike_linkage l = bike_linkage_curve(b->m->linkage, x);
        double sv = w * l.leverage;
        s.shock_position[i] = x;
        s.shock_speed[i] = finite_or_zero(sv);
        s.shock_share[i] = sv < 0 ? hud_damping_share(sv, a.shock_hs_comp, a.shock_ls_comp)
                                  : hud_damping_share(sv, a.shock_hs_reb, a.shock_ls_reb);
    } else {
        s.shock_position[i] = s.shock_speed[i] = s.shock_share[i] = 0;
    }
    s.index = i + 1 >= HUD_SAMPLES ? 0 : i + 1;
}
