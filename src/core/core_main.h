// Program entry: start-up, the main loop, shutdown. Returns the process exit code.
#pragma once

#define CORE_VERSION "2022-11-24-1631 snapshot"

enum { CORE_SERVER_HISTORY = 16, CORE_SERVER_NAME = 128 };

int core_main(int argc, char **argv);

// The demo list the menus show: data names under "demos/" ending ".zvdemo" and their display
// names (file name without directory and extension).
int core_demo_count(void);
const char *core_demo_name(int i);
const char *core_demo_display_name(int i);
// Builds the demo list from a file list (null-terminated); returns the count.
int core_demo_list_build(const char *const *file_list);
void core_demo_list_free(void);

// 1 when the generic bike models match the shipped ones (online play needs it).
int core_stock_models(void);
// SHA-1 over the seven generic model files as 40 hex digits.
void core_generic_models_digest(char hex[41]);

// The server history (16 entries of 127 characters) and the address to connect to at start.
extern char core_server_history[CORE_SERVER_HISTORY][CORE_SERVER_NAME];
// Puts a server name in front of the history (entry 0 the most recent; the oldest drops off),
// unless it is empty or already entry 0. Longer names are cut to 127 characters.
void core_server_history_add(const char *name);

// Set when the rider's name, number, bike or graphics change, so a server hears of it again.
extern int core_rider_info_resend;

// Races the menus start; each first closes a server connection. The track is the chosen one.
// New race: the 40 gates, "Record Demo", "Minutes", "Laps" and "Robot Skill" of the settings; the
// gates are rotated afterwards by the lineup rotation. 1 when a track is loaded.
int core_start_race(void);
// Time trial: no lineup, no time limit, 1000 laps, the robot skill.
int core_start_time_trial(void);
// The next event of points series `series` with its lineup from the last event's result. Entered
// (enter = 1), its result is stored when it ends; that does nothing while the series' event is
// already being raced. 1 when the track is loaded.
int core_start_series_event(int series, int enter);
// Playback of demo i of the demo list in the "Playback Mode" of the settings.
int core_start_demo(int i);
// The window takes the "Video Mode" of the settings now.
void core_switch_video_mode(void);
// "Connect": the address goes in front of the server history and becomes the one the network
// step connects to, as with --connect.
void core_connect_request(const char *address);
// "Disconnect": a connection still making contact is dropped at once, one past that is ended
// with the server.
void core_disconnect_request(void);
// "Request Restart": asks the server to start the race again.
void core_restart_request(void);

// The chat line's entered text: a line starting with '/' or '\' is a console command, anything
// else is chat for the race server. 0 when the line was refused.
int core_console_line(const char *text);

// The rider-input hook the core installs: the local rider's controls vector into the bike in that
// slot, shaped by the bike's input step with the setup's reversed steering and sticky sit/dab.
void core_rider_inputs_to_bike(int slot, const float *controls);
