#include "core/core_camera.h"

#include "track/track_terrain.h"

#include <cmath>

namespace {

// Spacing comes from track data; a tiny spacing must not turn one query into millions of reads.
constexpr int MAX_REACH = 256;

float sample(int i, int k) {
    int n = terrain.size;
    i = i < 0 ? 0 : i >= n ? n - 1 : i;
    k = k < 0 ? 0 : k >= n ? n - 1 : k;
    return terrain.heights[i + k * n];
}

int clamp_index(double v) {
    if (!std::isfinite(v)) return 0;
    if (v < -1e6) return -1000000;
    if (v > 1e6) return 1000000;
    return (int)floor(v);
}

} // namespace

float core_camera_ground_height(float x, float z) {
    if (!terrain.heights || terrain.size <= 0 || !(terrain.spacing > 0)) return 0;
    double c = terrain.spacing;
    if (!std::isfinite(x) || !std::isfinite(z)) return sample(0, 0);
    double radius = 10 + c;
    int reach = (int)ceil(radius / c);
    if (reach > MAX_REACH) reach = MAX_REACH;
    int ci = clamp_index(x / c), ck = clamp_index(z / c);
    double sum = 0, weight = 0;
    for (int k = ck - reach; k <= ck + reach + 1; k++) {
        for (int i = ci - reach; i <= ci + reach + 1; i++) {
            double dx = i * c - x, dz = k * c - z;
            double d = sqrt(dx * dx + dz * dz);
            double w = d < 10 ? 1 : d < radius ? (radius - d) / c : 0;
            if (w <= 0) continue;
            sum += w * sample(i, k);
            weight += w;
        }
    }
    if (weight > 0) return (float)(sum / weight);
    return sample(clamp_index((x - 10) / c), clamp_index((z - 10) / c));
}

void core_camera_chase(const core_chase_input *in, float eye[3]) {
    const float *c = in->centre;
    float dx, dz, dist;
    if (in->riding) {
        float hx = in->heading[0], hz = in->heading[1];
        float hl = sqrtf(hx * hx + hz * hz);
        if (hl > 0) {
            hx /= hl;
            hz /= hl;
        } else {
            hx = 0;
            hz = -1; // a bike faces -z
        }
        float vx = in->velocity[0], vz = in->velocity[2];
        float v = sqrtf(vx * vx + vz * vz);
        float w = in->rigid ? 0.0f : fminf(fmaxf((v - 10) * 0.05f, 0.0f), 1.0f);
        float fx = hx, fz = hz;
        if (w > 0 && v > 0) {
            fx = hx + (vx / v - hx) * w;
            fz = hz + (vz / v - hz) * w;
            float fl = sqrtf(fx * fx + fz * fz);
            if (fl > 1e-6f) {
                fx /= fl;
                fz /= fl;
            } else { // travel straight against the heading half-way: keep the heading
                fx = hx;
                fz = hz;
            }
        }
        // Behind the centre, against the direction of travel.
        dx = -fx;
        dz = -fz;
        dist = in->distance;
    } else {
        dx = sinf(in->yaw);
        dz = cosf(in->yaw);
        dist = in->distance;
    }
    eye[0] = c[0] + dx * dist;
    eye[2] = c[2] + dz * dist;
    float ground = core_camera_ground_height(eye[0], eye[2]) + 5;
    float above = c[1] + in->height;
    eye[1] = ground > above ? ground : above;
}
