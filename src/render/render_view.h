// The race view: picks the camera of the view mode from the viewed bike and draws the frame with
// every present bike posed from its bodies.
#pragma once

struct frame_camera;

// Camera at eye looking at target, world up +y (a target straight above or below keeps a
// level forward axis). fov in degrees.
void view_look_at(const float eye[3], const float target[3], float fov, frame_camera *out);
// Column-major model matrix of a part whose model coordinates put the body's centre at rest[3]:
// world = rotation * (v - rest) + position. rotation is a 3x4 row-major body rotation.
void view_body_matrix(const float position[3], const float rotation[12], const float rest[3],
                      float m[16]);
// The core's draw_view hook: rider, orbit and track-camera views of the viewed bike.
void view_draw(int view_mode, int width, int height);
// Installs the rider pass of the frame.
void view_install(void);
