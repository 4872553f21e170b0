// The main loop: one drawn frame, then as many fixed tics of 1/128 s as real time demands (at
// most 16 a frame). Also routes input events, keeps the view mode, pause and orbit camera, and
// measures itself (histogram, frame-time log, stutter points).
#pragma once

#include "base/zv_shared.h"
#include "platform/platform.h"

constexpr double CORE_TIC_LENGTH = zv::TIC;
constexpr int CORE_TICS_PER_SECOND = zv::TICS_PER_SECOND;
constexpr double CORE_MAX_ADVANCE = 0.125; // 16 tics of catch-up at most
constexpr int CORE_WARP_TICS = 100;
constexpr int CORE_FRAME_LOG_SIZE = 1048576;
constexpr int CORE_SLOTS = zv::SLOTS;

enum core_view_mode {
    CORE_VIEW_RIDER = 0,
    CORE_VIEW_SPECTATOR = 1,
    CORE_VIEW_EDITOR = 2,
    CORE_VIEW_ORBIT = 3,
    CORE_VIEW_CAMERAS = 4,
    CORE_VIEW_TITLE = 5,
};

enum core_control {
    CORE_CTL_STEER,
    CORE_CTL_THROTTLE,
    CORE_CTL_FRONT_BRAKE,
    CORE_CTL_REAR_BRAKE,
    CORE_CTL_SHIFT,
    CORE_CTL_CLUTCH,
    CORE_CTL_DAB,
    CORE_CTL_BACK_UP,
    CORE_CTL_LEAN,
    CORE_CONTROLS
};

enum { CORE_MENU_NONE = -1, CORE_MENU_MAIN = 0, CORE_MENU_CHAT = 16 };

// Menu settings the loop reads (the menus own the items; these mirror their values).
struct core_loop_options {
    int reversed_steering;
    int sticky_dab;
    int backing_up_aborts;
    int terrain_sync_rate; // "Terrain Sync Rate"
    int windowed;          // "Video Mode" is "Windowed": the drawable size becomes xres x yres
    int spy;               // spy mode
};

struct core_loop_state {
    platform_window *window;
    int quit;
    int frames;
    int frame_width, frame_height; // the drawable as the last frame found it; 0 before one
    long long tics;                // tics run by the loop (race tics and paused ones alike)

    // Clock (seconds).
    double last_frame_end; // wall clock at the previous frame's end
    double target_time;    // sum of frame advances
    double simulated_time; // sum of tic lengths run
    double game_clock;
    double frame_real_time; // wall clock after this frame's wait
    double last_advance;
    double min_advance, max_advance;

    int histogram[8];
    float *frame_log;
    int frame_log_count;

    double stutter_threshold;
    double stutter_stamp;
    int stutter_have_stamp;

    int view_mode;
    int viewed_slot;
    int paused;
    int menu_page;
    int menu_page_changed; // during one tic
    int swallow_character; // the chat key's own character is still to come
    float controls[CORE_CONTROLS];
    float back_up_previous;

    float orbit_yaw, orbit_distance, orbit_height;
    float camera_speed;
    int auto_camera;
    float dab_camera_previous;
    int track_camera; // -1 free camera
    // The free camera as the track-camera view last placed it (position, yaw and pitch in
    // radians, y up, yaw about y then pitch); aimed: the console fixed its yaw and pitch, so it
    // no longer turns toward the filmed rider.
    float free_position[3], free_yaw, free_pitch, free_fov;
    int free_aimed;

    platform_axis *cursor_x, *cursor_y;
    int pointer_x, pointer_y;
    int pointer_known; // a first position has been reported
    int mouse_button;  // state of the "cursor-left" key

    int screenshot_scanned;
    unsigned screenshot_counter;
    double next_setup_report;

    core_loop_options opt;
};

extern core_loop_state core_loop;

// The fixed (not configurable) keys of the menus, looked up by name when the loop starts;
// -1 where the platform has no such key.
struct core_menu_keys {
    int up, down, left, right, enter, keypad_enter, esc, pause, cursor_left, cursor_right, page_up,
        page_down, close;
};

extern core_menu_keys core_menu_key;

// Prepares the loop for the window: state as at the start of a run, frame clock at now. The
// frame-time log is allocated here (1 048 576 floats) and freed by core_loop_shutdown.
void core_loop_init(platform_window *w);
void core_loop_shutdown(void);
// Runs one frame and its tics; 0 when the loop must end (quit flag or window closed).
int core_loop_frame(void);
// Runs frames until the loop ends.
void core_loop_run(void);

// Labels a stutter point: with a threshold set, a gap since the previous point longer than the
// threshold adds "Stutter in <label> - <seconds> seconds".
void core_loop_stutter(const char *label);
// One input event as a tic routes it (exposed for the tests and the status-line drain).
void core_loop_event(int code, int pressed);
// The view mode Tab leads to.
int core_loop_tab_view(int mode, int editor_flag);
// The file name of the next screenshot ("screenshot%03d.png"); scans the file list on first use.
void core_loop_next_screenshot(char *name, int size, const char *const *file_list);
// The fixed key codes the loop recognises.
int core_loop_key_code(const char *name);
