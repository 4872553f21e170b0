// Timing gates of the default track, built from its racing line: 40 start slots across the
// start pad at the gate line, and checkpoints about 60 ft apart whose origin is on the line and
// whose direction points along the direction of travel, so the crossing half-disc lies ahead.
// The file text comes from the game's own gates writer, so the game writes back the same bytes.
#include <cmath>

#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"
#include "zvgen.h"
#include "zvgen_track.h"

namespace {

const int START_SLOTS = 40;
const double SLOT_SPACING = 3.3;      // ft between slots across the pad
const double FIRST_CHECKPOINT = 60.0; // ft past the gate line
const double LAST_BEFORE_END = 100.0; // the lap line, ft before the gate line
const double CHECKPOINT_STEP = 60.0;
const double MARGIN = 12.0; // reach beyond the riding surface's edge
const double MAX_REACH = 80.0;

void tangent(const track_centerline *c, double t, double *tx, double *tz) {
    track_centerline_point a = track_centerline_at(c, (float)(t - 2.0));
    track_centerline_point b = track_centerline_at(c, (float)(t + 2.0));
    double dx = b.x - a.x, dz = b.z - a.z, l = hypot(dx, dz);
    *tx = l > 0 ? dx / l : 1.0;
    *tz = l > 0 ? dz / l : 0.0;
}

} // namespace

int zvgen_gates(void) {
    size_t len = 0;
    const uint8_t *text = zvgen_find_file(ZVGEN_TRACK_DIR "/centerline", &len);
    track_centerline c;
    if (!text || !track_centerline_parse((const char *)text, len, &c)) {
        platform_log("zvgen: no racing line for the timing gates\n");
        return 0;
    }
    gates_clear();

    double tx, tz;
    tangent(&c, 0.0, &tx, &tz);
    track_centerline_point start = track_centerline_at(&c, 0.0f);
    float angle = (float)atan2(-tx, -tz); // riders face the direction of travel
    for (int i = 0; i < START_SLOTS; i++) {
        double off = (i - (START_SLOTS - 1) * 0.5) * SLOT_SPACING;
        gates_slot *s = &gates.slots[gates.slot_count++];
        // Across the line: the left normal of the travel direction is (tz, -tx) here.
        s->pos[0] = (float)(start.x + tz * off);
        s->pos[1] = start.y;
        s->pos[2] = (float)(start.z - tx * off);
        s->angle = angle;
        s->object = -1;
    }

    int count = 0;
    double end = c.length - LAST_BEFORE_END;
    int steps = (int)ceil((end - FIRST_CHECKPOINT) / CHECKPOINT_STEP);
    for (int i = 0; i <= steps && count < GATES_CHECKPOINTS_MAX; i++) {
        double t = FIRST_CHECKPOINT + (end - FIRST_CHECKPOINT) * i / steps;
        track_centerline_point p = track_centerline_at(&c, (float)t);
        tangent(&c, t, &tx, &tz);
        double reach = p.half_width + MARGIN;
        if (reach > MAX_REACH) reach = MAX_REACH;
        gates_checkpoint *k = &gates.checkpoints[count++];
        k->origin[0] = p.x;
        k->origin[1] = p.y;
        k->origin[2] = p.z;
        k->direction[0] = (float)(tx * reach);
        k->direction[1] = 0.0f;
        k->direction[2] = (float)(tz * reach);
        k->length = (float)reach;
    }
    gates.checkpoint_count = count;
    // Both laps run through every checkpoint; every fifth one in the middle of a section is
    // marked so the robots' line sections stay long.
    for (int lap = 0; lap < 2; lap++)
        for (int i = 0; i < count; i++) {
            int marked = i % 5 == 2 && i != count - 1;
            gates.sequence[lap * count + i] = i + (marked ? GATES_MARK : 0);
        }
    gates.first_count = gates.normal_count = count;
    track_centerline_free(&c);

    size_t out_len = 0;
    char *out = gates_format(&out_len);
    int ok = zvgen_write_file(ZVGEN_TRACK_DIR "/timing_gates", out, out_len);
    zv_free(out);
    gates_clear();
    return ok;
}
