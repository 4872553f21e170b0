// The race view: picks the camera of the view mode from the viewed bike and draws the frame with
// every present bike posed from its bodies.
#pragma once

#include <cstdio>

struct frame_camera;
struct bike_record;

// Camera at eye looking at target, world up +y (a target straight above or below keeps a
// level forward axis). fov in degrees.
void view_look_at(const float eye[3], const float target[3], float fov, frame_camera *out);
// Column-major model matrix of a part whose model coordinates put the body's centre at rest[3]:
// world = rotation * (v - rest) + position. rotation is a 3x4 row-major body rotation.
void view_body_matrix(const float position[3], const float rotation[12], const float rest[3],
                      float m[16]);

// Where a body's model puts the body's centre: wheel models are built around their own axle,
// every other part (and the skinned rider) in place on the whole bike.
void view_part_rest(const bike_record *b, int body, float rest[3]);
// The model matrix of the part a body wears, from the body's current position and rotation.
// 0 when the bike has no such body or its pose is not finite.
int view_part_matrix(const bike_record *b, int body, float m[16]);
// Skinning data over the bike's seven bodies in body order: rest centres (the bodies' places on
// the whole bike), world positions and column-major rotations. 0 when a pose is not finite.
int view_bones(const bike_record *b, float centres[21], float translations[21],
               float rotations[63]);

// The rider view's camera: at the rider's eyes, turning with the rider body, with the eye
// height, view angle, gimbal and field-of-view settings. With --print-orientation each call
// prints the clock, the eye and the camera's x and z axes.
void view_rider_camera(const bike_record *b, frame_camera *out);

// The gimbal's levelling, on the game clock: it restarts from no correction when no levelled
// frame came for VIEW_LEVEL_PAUSE seconds and reaches the full roll VIEW_LEVEL_EASE seconds later.
constexpr double VIEW_LEVEL_PAUSE = 0.5, VIEW_LEVEL_EASE = 1.0;
struct view_levelling {
    int valid;
    double last;  // clock of the last levelled frame
    double since; // clock the easing started
    float roll;   // roll applied last, radians
};
extern view_levelling view_level;
// Where --print-orientation lines go; null: standard output (standard error while video frames
// go there).
extern FILE *view_orientation_out;

// A trackside camera post that films a bike: it stays put while the bike is in reach and in
// front of it, and moves ahead of the bike otherwise. fov zooms so the bike keeps its size.
struct view_post_state {
    int valid;
    int slot;
    float position[3];
};
void view_track_camera(view_post_state *post, const bike_record *b, frame_camera *out);

// The track-camera view from the track's cameras file: the selected camera (or, with automatic
// switching, the one covering the checkpoint the rider rides toward) films the bike. 0 when no
// track camera is selected (the free camera films instead).
int view_trackside_camera(const bike_record *b, frame_camera *out);
// Moves the free camera toward (speed > 0) or away from the filmed rider.
void view_free_camera_step(float speed, float dt);

// The rider pass alone for a camera whose projection and model-view are already set (the frame
// draws it between the ground and the billboards).
void view_draw_riders(const frame_camera *camera, int first_person_slot);

// The core's draw_view hook: rider, orbit and track-camera views of the viewed bike.
void view_draw(int view_mode, int width, int height);
// The camera of the spectator (chase) and orbit views.
void view_chase_camera(const bike_record *b, int view_mode, frame_camera *out);
// Frees the number plate pictures and forgets every slot's textures; before the GL layer stops.
void view_release_textures(void);
// Installs the rider pass of the frame.
void view_install(void);
// Drawn over the track-camera view (the running-order ticker); set by the program, null: none.
extern void (*view_ticker)(int width, int height);
