// The tires of a simulated bike outside the contact test: the roost contacts of the pre-step and
// the erosion producer after the world step.
#include "base/zv_label.h"
#include "bike/bike.h"
#include "bike/bike_tire_ride.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static const double ROOST_CONE_FRONT = 3.14159265358979323846 / 8.0;
static const double ROOST_CONE_REAR = 2.0 * 3.14159265358979323846;

int bike_tire_prestep_roost(bike_record *b, double density, unsigned random) {
    int rounds = bike_tire_roost_rounds(density, random);
    if (rounds <= 0 || b->activity <= 0.25f) return 0;
    int emitted = 0;
    for (int w = 0; w < 2; w++) {
        bike_tire *t = &b->tire[w];
        if (!bike_tire_roost_contact(t, bike_world.tic)) continue;
        bike_roost_contact c;
        std::memset(&c, 0, sizeof c);
        c.tile = tile_at((float)t->roost_pos[0], (float)t->roost_pos[2]);
        for (int k = 0; k < 3; k++) {
            c.pos[k] = t->roost_pos[k];
            c.point_vel[k] = t->roost_vel[k];
        }
        const dReal *v = dBodyGetLinearVel(t->wheel);
        const dReal *om = dBodyGetAngularVel(t->wheel);
        const dReal *p = dBodyGetPosition(t->wheel);
        for (int k = 0; k < 3; k++) {
            c.wheel_vel[k] = v[k];
            c.wheel_omega[k] = om[k];
            c.wheel_pos[k] = p[k];
        }
        c.rounds = rounds;
        c.cone = w == 0 ? ROOST_CONE_FRONT : ROOST_CONE_REAR;
        bike_tire_roost_emit(&c);
        emitted++;
    }
    return emitted;
}

void bike_tire_erode_bike(bike_record *b) {
    if (!b->present || b->activity <= 0.25f || !terrain_present()) return;
    for (int w = 0; w < 2; w++)
        bike_tire_erode(&b->tire[w], w == 0, bike_world.tic, terrain.extent,
                        bike_erosion_stroke_send, nullptr);
}

int bike_tire_debug_readout(const bike_record *b, char *buf, int size) {
    if (!buf || size <= 0) return 0;
    char wheel[2][160];
    for (int w = 0; w < 2; w++)
        bike_tire_debug_text(&b->tire[w], wheel[w], sizeof wheel[w]);
    int n = std::snprintf(buf, (size_t)size, "front:\n%srear:\n%s", wheel[0], wheel[1]);
    return n < 0 ? 0 : (n >= size ? size - 1 : n);
}

int bike_tire_log_labels(const bike_record *b) {
    if (!(zv_labels.flags & ZV_LOG_TIRES) || !b->present || b->slot < 0 || b->slot >= BIKE_SLOTS)
        return 0;
    // Where each wheel of each slot last left a label; a bike made again starts afresh.
    static double last[BIKE_SLOTS][2][3];
    static int have[BIKE_SLOTS][2];
    int added = 0;
    for (int w = 0; w < 2; w++) {
        const bike_tire *t = &b->tire[w];
        if (!t->wheel || !(t->depth > 0)) continue;
        double *l = last[b->slot][w];
        double dx = t->pos[0] - l[0], dy = t->pos[1] - l[1], dz = t->pos[2] - l[2];
        double d = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (have[b->slot][w] && d < zv_labels.spacing) continue;
        char text[200];
        int n = std::snprintf(text, sizeof text, "%s ", w == 0 ? "front" : "rear");
        if (n > 0 && n < (int)sizeof text) bike_tire_debug_text(t, text + n, (int)sizeof text - n);
        for (char *c = text; *c; c++)
            if (*c == '\n') *c = ' ';
        const float at[3] = {(float)t->pos[0], (float)t->pos[1] + 0.5f, (float)t->pos[2]};
        if (!zv_label_add(at, text)) continue;
        memcpy(l, t->pos, sizeof(double) * 3);
        have[b->slot][w] = 1;
        added++;
    }
    return added;
}
