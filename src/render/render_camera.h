// Cameras of the frame: the projection rule, depth linearisation, and the keyframed camera that
// glides through recorded keyframes with cubic Hermite curves.
#pragma once

struct camera_projection {
    float h, v; // horizontal and vertical half-extents at unit distance
    float near_plane, far_plane;
};

// Half-extents for a window of width x height and a horizontal field of view in degrees: wider
// than 4:3 keeps the vertical view of a 4:3 screen and widens the sides; narrower keeps the
// horizontal view and extends the vertical one. Planes are made usable (far beyond near).
camera_projection camera_projection_for(int width, int height, float fov_degrees, float near_plane,
                                        float far_plane);
// Viewport, frustum on the projection stack, identity model-view.
void camera_set_projection(int width, int height, float fov_degrees);
// The projection last set by camera_set_projection (the flare pass needs its extents).
extern camera_projection camera_current;

// Eye distance of a depth-buffer value z in 0..1, as a fraction of near..far (0 at near).
float camera_linearise_depth(float z, float near_plane, float far_plane);

struct camera_keyframe {
    int tic;
    float position[3];
    float quat[4]; // x, y, z, w
    float fov;
};

// Position, orientation (unit quaternion) and field of view at tic t from keyframes sorted by
// tic. 0 when there are none.
int camera_keyframe_at(const camera_keyframe *keys, int count, double t, float position[3],
                       float quat[4], float *fov);
// Rows of the camera's axes (right, up, back) from a unit quaternion.
void camera_quat_to_matrix(const float q[4], float m[9]);
