// The headless back end's script controls: tests and tools drive its clock, queue and window.
#pragma once

#include "platform/platform.h"

// Clock to 0, empty queue, devices and aliases cleared, window size 640x480, wait count 0.
void platform_null_reset(void);
void platform_null_set_time(double seconds);
void platform_null_advance(double seconds);
// Queues an event on the window's queue; events queued before the window is created stay
// queued for it. 0 when the queue is full.
int platform_null_push_event(int code, int pressed, platform_time t);
// A scripted event: it joins the window's queue, stamped with its time, when the clock reaches
// `seconds` (at once when the clock is already there). This is how a run is driven "live":
// the program sees it no earlier than a player's key press at that moment.
void platform_null_script_event(int code, int pressed, double seconds);
// The pointer ("cursor-x", "cursor-y", window pixels) moves to (x, y) at `seconds`.
void platform_null_script_pointer(int x, int y, double seconds);
// Windows opened from now on offer a game pad, "XInputGamepad1" (16 buttons); its button b is
// the event code id * 65536 + b, with id its device id. Reset takes it away again.
void platform_null_attach_pad(int attach);
// 0 x 0 means minimised: frame begin fails.
void platform_null_set_size(int width, int height);
// The window goes away: platform_window_closed() turns non-zero and frame begin fails. A null
// pointer means the back end's one window (tests that do not hold the pointer).
void platform_null_close(platform_window *w);
// Real time: from now on the clock follows the machine's clock and waits sleep (a run that
// talks to another process, such as a race server). Off again at reset.
void platform_null_real_time(int on);
// How many times platform_wait was called since the reset.
int platform_null_wait_count(void);
