// Demos in a race: recording local and robot riders, placing a demo's riders in empty slots,
// posing replayed riders from the history, rewinding and skipping, and the time trial's
// last-lap and fastest-lap files.
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "bike/bike_model.h"
#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "data/data_index.h"
#include "track/track_erosion.h"
#include "data/data_file.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "track/track_hooks.h"
#include "track/track_list.h"
#include "track/track_load.h"

demo_race_state demo_race = {};

namespace {

int next_rider; // demo rider handed to the next empty slot

int record_path(const char *name, char *out, size_t size) {
    if (name[0] != '@') {
        if (strlen(name) >= size) return 0;
        strcpy(out, name);
        return 1;
    }
    if (!data_home_path(name, out, size)) return 0;
    data_make_dirs(out);
    return 1;
}

void fill_rider(int slot, demo_rider *r) {
    memset(r, 0, sizeof *r);
    const bike_record *b = &bike_world.bikes[slot];
    if (b->m) snprintf(r->model, sizeof r->model, "%s", b->m->name);
    int ro = race.robot_of[slot];
    if (race.status[slot] == RACE_ROBOT_DRIVEN && ro >= 0 && ro < RACE_ROBOT_COUNT) {
        const race_robot *rb = &race_robot_roster[ro];
        snprintf(r->number, sizeof r->number, "%d", rb->number);
        snprintf(r->name, sizeof r->name, "%s", demo_race.tester_names ? "tester" : "Roborider");
        if (rb->graphics[1]) snprintf(r->texture[0], sizeof r->texture[0], "%s", rb->graphics[1]);
        if (rb->graphics[2]) snprintf(r->texture[1], sizeof r->texture[1], "%s", rb->graphics[2]);
        if (rb->graphics[0]) snprintf(r->texture[3], sizeof r->texture[3], "%s", rb->graphics[0]);
    } else {
        snprintf(r->number, sizeof r->number, "%d", race_player_number);
        snprintf(r->name, sizeof r->name, "%s", race_player_name);
    }
}

int start_recording(const char *name) {
    static demo_rider riders[DEMO_SLOTS];
    int slots[DEMO_SLOTS], count = 0;
    for (int s = 0; s < RACE_SLOTS; s++)
        if (race.present[s] &&
            (race.status[s] == RACE_LOCAL || race.status[s] == RACE_ROBOT_DRIVEN)) {
            fill_rider(s, &riders[count]);
            slots[count++] = s;
        }
    char path[1024];
    if (!record_path(name, path, sizeof path)) return 0;
    const char *dir = track_loaded.dir;
    return demo_record_open(path, riders, slots, count, race.time_limit, race.laps,
                            race.gate_drop_tic, dir ? dir : "");
}

void trial_name(const char *file, char *out, int size) {
    const char *dir = track_loaded.dir;
    snprintf(out, size, "@%s/%s", dir ? dir : "", file);
}

// ---- named calls --------------------------------------------------------------------------------

void history_pose_step(int slot, int display) {
    demo_pose(slot, display);
}

void demo_tic_step(void) {
    demo_race_record_tic(0);
    if (demo_playing()) {
        demo_play.time_trial = race.time_trial;
        demo_play_tic(&race.tic);
    }
}

void history_clear_step(void) {
    demo_history_clear();
    // Setup drew its own gate drop; a played demo's recorded one replaces it.
    if (demo_playing() && !race.time_trial) race.gate_drop_tic = demo_play.gate_drop;
}

void finish_step(void) {
    demo_race_finish();
    demo_play_close();
}

const char *demo_track_step(void) {
    next_rider = 0;
    if (!demo_race_open(demo_race.play_name[0] ? demo_race.play_name : "@demos/default.zvdemo"))
        return nullptr;
    if (demo_play.laps >= 0) race.laps = demo_play.laps;
    race.time_limit = demo_play.time_limit;
    // The demo's track directory is only ever a key into the track list.
    if (track_list_find(demo_play.track_dir) < 0) return nullptr;
    return demo_play.track_dir;
}

int bike_create_step(int slot) {
    if (race_bike_create(slot)) return 1;
    if (!demo_playing() || race.lineup[slot] != RACE_EMPTY || slot < 0 || slot >= RACE_SLOTS)
        return 0;
    while (next_rider < demo_play.rider_count) {
        int r = next_rider++;
        if (demo_place_rider(r, slot)) return 1;
    }
    return 0;
}

void record_start_step(void) {
    if (race.time_trial) return;    // the time trial records from the completion of a lap
    if (demo_race.record_name[0]) { // a tool's chosen file: no backups of the default
        start_recording(demo_race.record_name);
        return;
    }
    demo_backups_rotate(demo_race.backups, data_rename);
    start_recording("@demos/default.zvdemo");
}

void trial_stop_step(void) {
    demo_race_record_tic(1);
    demo_race_finish();
    demo_play_close();
}

int trial_fastest_exists_step(void) {
    char name[320];
    trial_name("fastlap.zvdemo", name, sizeof name);
    char path[1024];
    if (!data_home_path(name, path, sizeof path)) return 0;
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    fclose(f);
    return 1;
}

void trial_keep_last_lap_step(void) {
    char from[320], to[320];
    trial_name("lastlap.zvdemo", from, sizeof from);
    trial_name("fastlap.zvdemo", to, sizeof to);
    demo_race_record_tic(1);
    demo_race_finish();
    demo_copy_file(from, to);
}

int trial_ghost_start_step(void) {
    char name[320];
    trial_name("fastlap.zvdemo", name, sizeof name);
    if (!demo_race_open(name)) return 0;
    demo_play.time_trial = 1;
    int placed = 0;
    for (int r = 0; r < demo_play.rider_count && 1 + placed < RACE_SLOTS; r++)
        if (demo_place_rider(r, 1 + placed)) placed++;
    return placed;
}

void trial_record_start_step(void) {
    char name[320];
    trial_name("lastlap.zvdemo", name, sizeof name);
    demo_race_finish();
    start_recording(name);
}

} // namespace

void demo_pose(int slot, int display) {
    int o, n;
    if (slot < 0 || slot >= RACE_SLOTS || !bike_world.bikes[slot].present ||
        !demo_history_around(slot, display, &o, &n))
        return;
    const demo_history_slot *h = &demo_history[slot];
    bike_record *b = &bike_world.bikes[slot];
    int to = h->tic[o], tn = h->tic[n];
    if (o == n || to >= display || tn <= to) {
        bike_decode(b, h->rec[o], nullptr, 0);
        return;
    }
    int until = display < tn + zv::TICS_PER_SECOND / 2 ? display : tn + zv::TICS_PER_SECOND / 2;
    double f = (double)(until - to) / (tn - to);
    if (f == 0) {
        bike_decode(b, h->rec[o], nullptr, 0);
        return;
    }
    uint8_t mix[DEMO_STATE];
    demo_blend(h->rec[o], h->rec[n], f, mix);
    int tics = (int)std::lround(f * (tn - to));
    bike_decode(b, mix, h->rec[o], tics > 0 ? tics : 1);
}

int demo_place_rider(int r, int slot) {
    if (r < 0 || r >= demo_play.rider_count || slot < 0 || slot >= RACE_SLOTS || !bike_world.world)
        return 0;
    if (bike_world.bikes[slot].present) {
        if (race.present[slot]) return 0;      // somebody rides there
        bike_destroy(&bike_world.bikes[slot]); // left over from the last time-trial lap
    }
    demo_history_clear_slot(slot);
    bike_record *b = bike_create(slot, race_model_name(demo_play.riders[r].model), 1);
    if (!b) return 0; // this rider is dropped
    float x, z, heading;
    race_grid_position(slot, &x, &z, &heading);
    bike_place(b, x, z, heading);
    // A replayed rider is posed from the history, never simulated on top of it.
    bike_apply_remote_values(b);
    race.present[slot] = 1;
    race.status[slot] = RACE_REPLAYED;
    demo_play.slot_of[r] = slot;
    return 1;
}

int demo_race_open(const char *name) {
    // Home files are written during the run, after the file index was built: look there first.
    char path[1024];
    if (name[0] == '@' && data_home_path(name, path, sizeof path) && demo_play_open_path(path))
        return 1;
    data_file *f = data_open(name, "rb");
    if (!f) return 0;
    int cap = 1 << 16, size = 0, ok = 1;
    uint8_t *buf = (uint8_t *)zv_alloc((size_t)cap);
    while (buf) {
        if (size == cap) {
            if (cap >= DEMO_FILE_MAX) {
                ok = 0;
                break;
            }
            uint8_t *more = (uint8_t *)zv_realloc(buf, (size_t)cap * 2);
            if (!more) {
                ok = 0;
                break;
            }
            buf = more;
            cap *= 2;
        }
        int n = data_read(f, buf + size, cap - size);
        if (n <= 0) break;
        size += n;
    }
    data_close(f);
    ok = ok && buf && demo_play_open_buffer(buf, size);
    zv_free(buf);
    return ok;
}

void demo_race_record_tic(int force) {
    if (!demo_recording_active()) return;
    int t = race.tic;
    if (t % 4 == 0 || force) {
        uint8_t rec[DEMO_STATE];
        for (int i = 0; i < demo_rec.rider_count; i++) {
            int s = demo_rec.slot_of[i];
            if (s < 0 || s >= RACE_SLOTS || !bike_world.bikes[s].present) continue;
            if (race.status[s] != RACE_LOCAL && race.status[s] != RACE_ROBOT_DRIVEN) continue;
            bike_encode(&bike_world.bikes[s], rec);
            demo_history_add(s, rec, t);
        }
    }
    if (t % 16 == 0 || force) demo_record_states(t);
}

void demo_race_finish(void) {
    if (!demo_recording_active()) return;
    demo_record_close(race.time_limit, race.laps, race.gate_drop_tic);
    if (demo_race.pending_name[0]) {
        char to[sizeof demo_race.pending_name + 8];
        snprintf(to, sizeof to, "@demos/%s", demo_race.pending_name);
        data_rename("@demos/default.zvdemo", to);
        demo_race.pending_name[0] = 0;
    }
}

int demo_copy_file(const char *from, const char *to) {
    char src[1024], dst[1024];
    if (!record_path(from, src, sizeof src) || !record_path(to, dst, sizeof dst)) return 0;
    FILE *in = fopen(src, "rb");
    if (!in) return 0;
    FILE *out = fopen(dst, "wb");
    if (!out) {
        fclose(in);
        return 0;
    }
    char buf[8192];
    size_t n;
    int ok = 1;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0)
        if (fwrite(buf, 1, n, out) != n) ok = 0;
    fclose(in);
    if (fclose(out) != 0) ok = 0;
    return ok;
}

int demo_seek(int x) {
    if (!demo_playing() || demo_recording_active()) return 0;
    for (int s = 0; s < RACE_SLOTS; s++)
        if (race.present[s] && race.status[s] != RACE_REPLAYED) return 0;
    int before = race.tic;
    int target = race.tic - 1 + x * zv::TICS_PER_SECOND;
    if (target < 0) target = 0;
    int fast = x > 0 && (demo_play.version == 6 || demo_race.accurate_skip);
    if (fast) {
        float roost = demo_race.calls.roost_get ? demo_race.calls.roost_get() : 0;
        if (demo_race.calls.roost_set) demo_race.calls.roost_set(0);
        int until = race.tic + x * zv::TICS_PER_SECOND;
        // Bounded: a race tic that fails to advance the clock must not hang the skip.
        for (int n = 0; race.tic < until && n < 4 * zv::TICS_PER_SECOND; n++)
            demo_race.calls.race_tic();
        if (demo_race.calls.roost_set) demo_race.calls.roost_set(roost);
        return 1;
    }
    if (demo_play.version == 6)
        demo_play_rewind_to(target);
    else
        demo_play_seek_records(target);
    if (target < before) {
        for (int s = 0; s < RACE_SLOTS; s++)
            if (race.present[s]) {
                race_rider *r = &race.riders[s];
                while (r->progress > 0 && race_pass_tic(s, r->progress - 1) > target)
                    r->progress--;
                // skipped positions just before the kept ones go too
                while (r->progress > 0 && race_pass_tic(s, r->progress - 1) < 0)
                    r->progress--;
                r->finished = 0;
            }
        race.results_final = 0;
        race_update_order();
    }
    race.tic = target;
    demo_history_clear();
    demo_play_tic(&race.tic);
    if (demo_race.calls.race_tic) demo_race.calls.race_tic();
    return 1;
}

int demo_menu_start(const char *name, int race_against, int record_demo) {
    snprintf(demo_race.play_name, sizeof demo_race.play_name, "%s", name ? name : "");
    if (!race_against || !record_demo) return 0;
    if (data_name_compare(demo_race.play_name, "@demos/default.zvdemo") == 0) {
        zv_message_add("Can't record and play from same file - recording disabled");
        return 0;
    }
    return 1;
}

void demo_install(void) {
    demo_sink.chat = [](const char *text) { zv_message_add("%s", text); };
    demo_sink.erode_rate = [](int rate) { race.erosion_rate = rate; };
    demo_sink.erosion = [](const uint8_t *stroke, int length) { erosion_decode(stroke, length); };
    race_steps.history_pose = history_pose_step;
    race_steps.history_newest_tic = demo_history_newest_tic;
    race_steps.demo_tic = demo_tic_step;
    race_steps.demo_history_clear = history_clear_step;
    race_steps.trial_demo_stop = trial_stop_step;
    race_steps.trial_fastest_exists = trial_fastest_exists_step;
    race_steps.trial_keep_last_lap = trial_keep_last_lap_step;
    race_steps.trial_ghost_start = trial_ghost_start_step;
    race_steps.trial_record_start = trial_record_start_step;
    track_steps.demo_finish = finish_step;
    track_steps.bikes_finish = demo_history_clear; // no state of the last race is replayed
    track_steps.demo_track = demo_track_step;
    track_steps.demo_record_start = record_start_step;
    track_steps.bike_create = bike_create_step;
    if (!demo_race.calls.race_tic) demo_race.calls.race_tic = race_tic;
}
