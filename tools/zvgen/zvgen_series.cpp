// The points series of the default data: a field of five robots over four events on the default
// track, grouped into three rounds (a sprint, two motos scored together, a final).
#include "zvgen.h"
#include "zvgen_track.h"

namespace {

// Points by place 1 to 40, the same table for races and rounds.
void points(zvgen_text *t, int scored) {
    static const int top[20] = {25, 22, 20, 18, 16, 15, 14, 13, 12, 11,
                                10, 9,  8,  7,  6,  5,  4,  3,  2,  1};
    for (int i = 0; i < 40; i++)
        zvgen_text_printf(t, "%d%s", scored && i < 20 ? top[i] : 0, i % 10 == 9 ? "\n" : " ");
}

void event(zvgen_text *t, const char *name, int minutes, int laps, int ends_round) {
    zvgen_text_printf(t, "\n\"%s\" %s\n%d %d\n", name, ZVGEN_TRACK_DIR, minutes, laps);
    points(t, 1);
    points(t, ends_round);
}

} // namespace

int zvgen_series(void) {
    zvgen_text t = {};
    zvgen_text_printf(&t, "\"Pine Hollow Championship\"\n5 Amateur\n7 12 14 21 22\n4\n");
    event(&t, "Pine Hollow Sprint", 0, 1, 1);
    event(&t, "Pine Hollow Moto 1", 0, 3, 0);
    event(&t, "Pine Hollow Moto 2", 0, 3, 1);
    event(&t, "Pine Hollow Final", 8, 1, 1);
    return zvgen_text_write(&t, "series/pinehollow.series");
}
