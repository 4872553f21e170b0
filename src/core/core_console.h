// The console's own records: the camera keyframes the keyframed camera glides through, and the
// last accepted chat line. The commands themselves run from core_console_line (core_main.h).
#pragma once

#include "render/render_camera.h"

enum { CORE_KEYFRAMES_MAX = 100000 };

struct core_console_state {
    camera_keyframe *keys; // increasing tic order
    int key_count, key_capacity;
    int keycam; // the track-camera view flies the keyframes
    double last_chat;
};

extern core_console_state core_console;

// Inserts before the first keyframe with a later tic; 0 when the list is full or memory ran out.
int core_console_add_key(const camera_keyframe *k);
// With fewer than two keyframes every one goes; otherwise the first one later than tic (the last
// when none is later).
void core_console_delete_key(int tic);
void core_console_clear_keys(void);
// The quaternion a camera turned by yaw about y, then pitch about its own x axis has (x, y, z,
// w); radians.
void core_console_yaw_pitch_quat(float yaw, float pitch, float q[4]);
// Keyframe lines "%f %f %f %f %f %f %f %f %d" (position, quaternion, fov, tic), blank lines
// skipped; on success they replace the list. 0 (list unchanged) on a line that does not scan nine
// finite values or when there are too many.
int core_console_parse_keys(const char *text);
