// zvserver's tracks come from the game's data through the game's own loader, so the fingerprint
// the clients compare is computed the same way.
#include <cstdio>
#include <cstring>

#include "data/data_index.h"
#include "race/race.h"
#include "tools/zvserver/zvserver.h"
#include "track/track_list.h"
#include "track/track_load.h"

int zvserver_load_track(zvserver *s, int i) {
    if (i < 0 || i >= s->cfg.track_count) return 0;
    char dir[ZVSERVER_TEXT + 8];
    snprintf(dir, sizeof dir, "%s", s->cfg.tracks[i]);
    if (track_list_find(dir) < 0) snprintf(dir, sizeof dir, "tracks/%s", s->cfg.tracks[i]);
    int t = track_list_find(dir);
    if (t < 0) {
        zvserver_log(s, "track %s is not in the game data", s->cfg.tracks[i]);
        return 0;
    }
    track_select(track_list.dirs[t]);
    int empty[RACE_SLOTS] = {};
    if (!track_load(empty, 0, 0, s->cfg.time_limit_minutes * 60 * 128, s->cfg.laps, 0)) return 0;
    s->track = i;
    snprintf(s->track_dir, sizeof s->track_dir, "%s", track_loaded.dir);
    memcpy(s->fingerprint, track_fingerprint(), 20);
    // A lap-limited race is won at the end position of its last lap.
    int end = s->cfg.time_limit_minutes == 0 && s->cfg.laps > 0 ? race_lap_end(s->cfg.laps) : -1;
    s->finish_positions = end >= 0 ? end + 1 : 0;
    char hex[41];
    for (int k = 0; k < 20; k++)
        snprintf(hex + 2 * k, 3, "%02x", s->fingerprint[k]);
    zvserver_log(s, "track %s loaded, fingerprint %s, %d gate positions to finish", s->track_dir,
                 hex, s->finish_positions);
    return 1;
}
