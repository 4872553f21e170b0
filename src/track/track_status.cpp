// Status line and loading pump of track loading (the drawing belongs to the loading screen).
#include "track/track_status.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "track/track_hooks.h"

static struct {
    char text[128];
    char before_max[128];
    double max_delay;
    double last_show;
    int have_last;
    int dots;
    double last_dots;
    int have_dots;
    double last_pump;
    int have_pump;
} status;

static double track_status_now(void) {
    return platform_seconds(platform_clock());
}

// True when at least `interval` seconds passed since *last (or the clock went back), and then
// moves *last to now.
static int track_status_due(double *last, int *have, double interval) {
    double now = track_status_now();
    if (*have && now >= *last && now - *last < interval) return 0;
    *last = now;
    *have = 1;
    return 1;
}

void track_status_reset(void) {
    status.max_delay = 0;
    status.before_max[0] = 0;
    status.have_last = 0;
    status.dots = 0;
    status.have_dots = 0;
}

void track_status_show(const char *text) {
    double now = track_status_now();
    if (status.have_last) {
        double gap = now - status.last_show;
        if (gap > status.max_delay) {
            status.max_delay = gap;
            snprintf(status.before_max, sizeof status.before_max, "%s", status.text);
        }
    }
    status.last_show = now;
    status.have_last = 1;
    snprintf(status.text, sizeof status.text, "%s", text);
    if (track_render.status) track_render.status(status.text);
}

void track_status_begin(const char *name) {
    track_log("%s\n", name);
    status.dots = 0;
    track_status_show(name);
}

void track_status_update(const char *name) {
    if (!track_status_due(&status.last_dots, &status.have_dots, 0.125)) return;
    char buf[128];
    snprintf(buf, sizeof buf, "%.*s%.*s", TRACK_STATUS_NAME_MAX, name, status.dots, "...");
    status.dots = (status.dots + 1) % 4;
    track_status_show(buf);
    track_pump();
}

void track_status_progress(const char *name, double fraction) {
    if (!track_status_due(&status.last_dots, &status.have_dots, 0.125)) return;
    if (!(fraction >= 0)) fraction = 0;
    if (fraction > 1) fraction = 1;
    char buf[128];
    snprintf(buf, sizeof buf, "%.*s: %d%%", TRACK_STATUS_NAME_MAX, name, (int)(fraction * 100));
    track_status_show(buf);
    track_pump();
}

void track_status_done(const char *name) {
    char buf[128];
    snprintf(buf, sizeof buf, "%.*s...done", TRACK_STATUS_NAME_MAX, name);
    track_status_show(buf);
}

void track_pump(void) {
    int redraw = track_status_due(&status.last_pump, &status.have_pump, 0.0625);
    if (track_render.pump) track_render.pump(redraw);
}

double track_status_max_delay(const char **text) {
    if (text) *text = status.before_max;
    return status.max_delay;
}

const char *track_status_text(void) {
    return status.text;
}
