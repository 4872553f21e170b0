// The loading screen's status line and the loading pump. A step that begins shows its name and
// logs it; a long step cycles dots after the name; a finished step shows "...done". The longest
// gap between two status updates of a load is measured and reported at its end.
#pragma once

enum { TRACK_STATUS_NAME_MAX = 64 };

// Starts a load's measurement: clears the longest delay.
void track_status_reset(void);
// Shows the step name and logs "%s\n".
void track_status_begin(const char *name);
// Shows the name followed by 0..3 dots, one more per call, at most every 0.125 s.
void track_status_update(const char *name);
// Shows the name followed by ": " and the share done in percent, at most every 0.125 s.
void track_status_progress(const char *name, double fraction);
// Shows the name (cut to 64 characters) followed by "...done".
void track_status_done(const char *name);
// Shows a text as it is (no log line); the raw status call every other one goes through.
void track_status_show(const char *text);
// Processes window events and, at most every 0.0625 s, redraws the loading screen.
void track_pump(void);
// Longest gap between two status updates since the reset, in seconds, and the text shown
// before it.
double track_status_max_delay(const char **text);
// The text last shown.
const char *track_status_text(void);
