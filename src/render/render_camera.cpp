// Projection and keyframed camera.
#include "render/render_camera.h"

#include <cmath>

#include "render/zvgl.h"
#include "track/track_lighting.h"

camera_projection camera_current = {1, 0.75f, 0.25f, 5000};

camera_projection camera_projection_for(int width, int height, float fov_degrees, float near_plane,
                                        float far_plane) {
    camera_projection p;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    if (!std::isfinite(fov_degrees) || fov_degrees <= 0 || fov_degrees >= 179) fov_degrees = 60;
    double t = std::tan(fov_degrees * 0.008726646259971648);
    if ((double)width / height > 4.0 / 3.0) {
        p.v = (float)(0.75 * t);
        p.h = (float)(width * (0.75 * t) / height);
    } else {
        p.h = (float)t;
        p.v = (float)(height * t / width);
    }
    lighting_clamp_planes(&near_plane, &far_plane);
    p.near_plane = near_plane;
    p.far_plane = far_plane;
    return p;
}

void camera_set_projection(int width, int height, float fov_degrees) {
    camera_current =
        camera_projection_for(width, height, fov_degrees, lighting.near_plane, lighting.far_plane);
    const camera_projection &p = camera_current;
    zvglViewport(0, 0, width, height);
    zvglMatrixMode(GL_PROJECTION);
    zvglLoadIdentity();
    zvglFrustum(-p.h * p.near_plane, p.h * p.near_plane, -p.v * p.near_plane, p.v * p.near_plane,
                p.near_plane, p.far_plane);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
}

float camera_linearise_depth(float z, float near_plane, float far_plane) {
    // The planes go through the same limits as the projection, so f - n is never 0.
    lighting_clamp_planes(&near_plane, &far_plane);
    double n = near_plane, f = far_plane;
    double den = z * (f - n) - f;
    if (den == 0) return 1;
    return (float)((-(f * n) / den - n) / (f - n));
}

static float hermite(float p0, float p1, float p2, float p3, float e, float g, float f) {
    float delta = p2 - p1;
    float m1 = e > 0 ? ((p1 - p0) / e + delta) / 2 : 0;
    float m2 = g > 0 ? ((p3 - p2) / g + delta) / 2 : 0;
    return p1 + m1 * f + (3 * delta - 2 * m1 - m2) * f * f + (m1 + m2 - 2 * delta) * f * f * f;
}

int camera_keyframe_at(const camera_keyframe *keys, int count, double t, float position[3],
                       float quat[4], float *fov) {
    if (!keys || count <= 0) return 0;
    int i = 0;
    while (i < count && !(keys[i].tic > t))
        i++;
    if (i == 0 || i == count) {
        const camera_keyframe &k = keys[i == 0 ? 0 : count - 1];
        for (int c = 0; c < 3; c++)
            position[c] = k.position[c];
        for (int c = 0; c < 4; c++)
            quat[c] = k.quat[c];
        *fov = k.fov;
        return 1;
    }
    const camera_keyframe &k1 = keys[i - 1], &k2 = keys[i];
    const camera_keyframe &k0 = keys[i >= 2 ? i - 2 : 0];
    const camera_keyframe &k3 = keys[i + 1 < count ? i + 1 : count - 1];
    float d = (float)(k2.tic - k1.tic);
    float f = 0;
    if (d != 0) {
        f = (float)((t - k1.tic) / d);
        f = f < 0 ? 0 : f > 1 ? 1 : f;
    }
    float e = d > 0 ? (float)(k1.tic - k0.tic) / d : 0;
    float g = d > 0 ? (float)(k3.tic - k2.tic) / d : 0;
    *fov = k1.fov + f * (k2.fov - k1.fov);
    if (d <= 0) {
        for (int c = 0; c < 3; c++)
            position[c] = k1.position[c];
        for (int c = 0; c < 4; c++)
            quat[c] = k1.quat[c];
        return 1;
    }
    for (int c = 0; c < 3; c++)
        position[c] =
            hermite(k0.position[c], k1.position[c], k2.position[c], k3.position[c], e, g, f);
    // All four quaternions into k2's hemisphere, so the curve takes the short way round.
    float q[4][4];
    const camera_keyframe *ks[4] = {&k0, &k1, &k2, &k3};
    for (int s = 0; s < 4; s++) {
        float dot = 0;
        for (int c = 0; c < 4; c++)
            dot += ks[s]->quat[c] * k2.quat[c];
        float sign = (s != 2 && dot < 0) ? -1.0f : 1.0f;
        for (int c = 0; c < 4; c++)
            q[s][c] = sign * ks[s]->quat[c];
    }
    float len = 0;
    for (int c = 0; c < 4; c++) {
        quat[c] = hermite(q[0][c], q[1][c], q[2][c], q[3][c], e, g, f);
        len += quat[c] * quat[c];
    }
    len = std::sqrt(len);
    if (len > 0 && std::isfinite(len)) {
        for (int c = 0; c < 4; c++)
            quat[c] /= len;
    } else {
        for (int c = 0; c < 4; c++)
            quat[c] = k1.quat[c];
    }
    return 1;
}

void camera_quat_to_matrix(const float q[4], float m[9]) {
    float x = q[0], y = q[1], z = q[2], w = q[3];
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y + w * z);
    m[2] = 2 * (x * z - w * y);
    m[3] = 2 * (x * y - w * z);
    m[4] = 1 - 2 * (x * x + z * z);
    m[5] = 2 * (y * z + w * x);
    m[6] = 2 * (x * z + w * y);
    m[7] = 2 * (y * z - w * x);
    m[8] = 1 - 2 * (x * x + y * y);
}
