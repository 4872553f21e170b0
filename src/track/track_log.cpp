// Logging and user messages of the track module, and the hook tables the loader calls through.
#include <cstdarg>
#include <cstdio>

#include "base/zv_message.h"
#include "platform/platform.h"
#include "track/track_hooks.h"

track_render_hooks track_render;
track_step_hooks track_steps;
void (*track_log_tap)(const char *line);
int track_verbose;

static void track_log_text(const char *text) {
    platform_log("%s", text);
    if (track_log_tap) track_log_tap(text);
}

void track_log(const char *fmt, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    track_log_text(buf);
}

void track_message(const char *fmt, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    // The message log writes the platform log itself; the tap still sees the line.
    zv_message_add("%s", buf);
    if (track_log_tap) track_log_tap(buf);
}
