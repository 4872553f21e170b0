// The track loading sequence, freeing, the fingerprint and the track info file.
#include "track/track_load.h"

#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "base/zv_sha1.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "track/track_hooks.h"
#include "track/track_list.h"
#include "track/track_status.h"
#include "track/track_terrain.h"

track_loaded_state track_loaded;

static char *track_chosen;

enum { TRACK_NAME_SIZE = TRACK_DIR_MAX + 64, TRACK_SHAPE_FILES = 4096 };

static char *track_copy(const char *s) {
    size_t n = strlen(s);
    char *d = (char *)zv_alloc(n + 1);
    memcpy(d, s, n + 1);
    return d;
}

void track_select(const char *dir) {
    zv_free(track_chosen);
    track_chosen = dir ? track_copy(dir) : nullptr;
}

const char *track_selected(void) {
    return track_chosen;
}

void track_force_reload(void) {
    track_loaded.force_reload = 1;
    track_message("Track will be reloaded on next restart");
}

const uint8_t *track_fingerprint(void) {
    return track_loaded.fingerprint;
}

static unsigned long track_texture_memory(void) {
    return track_render.texture_memory ? track_render.texture_memory() : 0;
}

// Feeds one track file, in its plain form, into the digest; a missing file adds nothing.
static void track_hash_file(zv_sha1_ctx *c, const char *name) {
    data_file *f = data_open(name, "rb");
    if (!f) return;
    uint8_t block[1024];
    int n;
    while ((n = data_read(f, block, sizeof block)) > 0)
        zv_sha1_update(c, block, (size_t)n);
    data_close(f);
}

static void track_file_name(char *out, size_t size, const char *dir, const char *file) {
    snprintf(out, size, "@%s/%s", dir, file);
}

static int track_file_opens(const char *name) {
    data_file *f = data_open(name, "rb");
    if (!f) return 0;
    data_close(f);
    return 1;
}

void track_unload(void) {
    track_log("Deallocating track\n");
    terrain_free();
    zv_free(track_loaded.dir);
    zv_free(track_loaded.long_name);
    track_loaded.dir = nullptr;
    track_loaded.long_name = nullptr;
    track_log("Finished deallocating track\n");
}

// Steps 7 to 17: the files of the track, in their fixed order. 0 when the terrain failed.
static int track_load_files(const char *dir, uint8_t digest[TRACK_FINGERPRINT_SIZE]) {
    char name[TRACK_NAME_SIZE];
    track_loaded.dir = track_copy(dir);
    track_loaded.load_count++;
    if (track_render.texture_memory_reset) track_render.texture_memory_reset();
    int idx = track_list_find(dir);
    track_loaded.long_name = track_copy(idx >= 0 ? track_list.long_names[idx] : dir);
    zv_sha1_ctx sha;
    zv_sha1_init(&sha);

    track_status_begin("Scanning");
    static const char *const scanned[] = {"terrain.hf", "terrain.png", "texturelist",
                                          "tilemap",    "tileinfo",    "nofrills.js"};
    for (const char *file : scanned) {
        track_status_update("Scanning");
        track_file_name(name, sizeof name, dir, file);
        track_hash_file(&sha, name);
    }
    track_status_done("Scanning");

    char at_dir[TRACK_NAME_SIZE];
    snprintf(at_dir, sizeof at_dir, "@%s", dir);
    if (track_verbose) track_log("Loading '%s'\n", at_dir);
    if (track_steps.lighting_load) track_steps.lighting_load(dir);

    if (!terrain_load(at_dir)) {
        // Nothing to race on: no track stays loaded and the next attempt loads again.
        zv_free(track_loaded.dir);
        zv_free(track_loaded.long_name);
        track_loaded.dir = nullptr;
        track_loaded.long_name = nullptr;
        memset(track_loaded.fingerprint, 0, sizeof track_loaded.fingerprint);
        zv_sha1_final(&sha, digest);
        return 0;
    }
    if (track_verbose)
        track_log("%lu bytes texture memory used after hf creation\n", track_texture_memory());

    track_file_name(name, sizeof name, dir, "timing_gates");
    track_hash_file(&sha, name);
    if (track_steps.gates_load) track_steps.gates_load(dir);
    if (track_steps.roost_pool_create) track_steps.roost_pool_create();

    track_status_begin("Loading flaggers");
    if (track_steps.flaggers_load) track_steps.flaggers_load(dir);
    track_status_done("Loading flaggers");
    if (track_verbose)
        track_log("%lu bytes texture memory used after flagger creation\n", track_texture_memory());

    track_file_name(name, sizeof name, dir, "billboards");
    if (track_file_opens(name)) {
        track_status_begin("Loading billboards");
        if (track_steps.billboards_load) track_steps.billboards_load(dir);
        track_status_done("Loading billboards");
    }
    if (track_verbose)
        track_log("%lu bytes texture memory used after billboard creation\n",
                  track_texture_memory());

    track_file_name(name, sizeof name, dir, "statues");
    track_hash_file(&sha, name);
    if (track_file_opens(name)) {
        track_status_begin("Loading statues");
        if (track_steps.statues_load) track_steps.statues_load(dir);
        track_status_done("Loading statues");
    }

    if (track_verbose)
        track_log("%lu bytes texture memory used after statue creation\n", track_texture_memory());
    track_status_begin("Loading map");
    if (track_steps.map_load) track_steps.map_load(dir);
    if (track_steps.object_grid_rebuild) track_steps.object_grid_rebuild();
    if (track_steps.object_shape_files) {
        const char **shapes = (const char **)zv_alloc(sizeof(const char *) * TRACK_SHAPE_FILES);
        int n = track_steps.object_shape_files(shapes, TRACK_SHAPE_FILES);
        for (int i = 0; i < n && i < TRACK_SHAPE_FILES; i++)
            if (shapes[i]) track_hash_file(&sha, shapes[i]);
        zv_free(shapes);
    }
    zv_sha1_final(&sha, digest);
    track_status_done("Loading map");

    int cameras = track_steps.cameras_load ? track_steps.cameras_load(dir) : 0;
    if (track_verbose) track_log("%d cameras found\n", cameras);
    return 1;
}

int track_load(const int *riders, int play_demo, int record_demo, int time_limit, int laps,
               int robot_level) {
    char name[TRACK_NAME_SIZE];
    track_status_reset();
    track_status_show("Resetting...");
    track_log("Resetting\n");
    if (track_steps.series_store) track_steps.series_store();
    if (track_steps.robots_shuffle) track_steps.robots_shuffle();

    track_status_begin("Remembering lines");
    if (track_loaded.dir && track_steps.robot_lines_save) track_steps.robot_lines_save();
    if (track_steps.demo_finish) track_steps.demo_finish();

    track_status_begin("Cleaning up");
    track_log("Deallocating bikes\n");
    if (track_steps.bikes_destroy) track_steps.bikes_destroy();
    track_log("Finished deallocating bikes\n");

    const char *network_dir = track_steps.network_track ? track_steps.network_track() : nullptr;
    int network = network_dir != nullptr;
    if (track_steps.race_limits_set) track_steps.race_limits_set(network, time_limit, laps);
    const char *dir = nullptr;
    if (play_demo && track_steps.demo_track) dir = track_steps.demo_track();
    if (!dir) dir = network_dir;
    if (!dir) dir = track_chosen;
    if (!dir || !dir[0] || strlen(dir) >= TRACK_DIR_MAX) {
        track_message("No track chosen");
        return 0;
    }
    char chosen[TRACK_DIR_MAX];
    snprintf(chosen, sizeof chosen, "%s", dir);

    if (track_steps.script_reset) track_steps.script_reset();

    int reuse = track_loaded.dir && !network && strcmp(chosen, track_loaded.dir) == 0 &&
                !track_loaded.force_reload;
    if (!reuse) {
        track_loaded.force_reload = 0;
        if (track_loaded.dir) track_unload();
        uint8_t digest[TRACK_FINGERPRINT_SIZE];
        if (!track_load_files(chosen, digest)) return 0;
        memcpy(track_loaded.fingerprint, digest, sizeof digest);
    }

    if (track_steps.lineup_set) track_steps.lineup_set(riders);

    track_status_begin("Analyzing lines");
    if (track_steps.robot_lines_load) track_steps.robot_lines_load(track_loaded.dir, robot_level);

    track_status_begin("Loading bikes");
    for (int slot = 0; slot < TRACK_SLOTS && track_steps.bike_create; slot++)
        if (track_steps.bike_create(slot)) track_status_update("Loading bikes");
    if (track_steps.bikes_finish) track_steps.bikes_finish();
    track_status_done("Loading bikes");

    if (record_demo && track_steps.demo_record_start) track_steps.demo_record_start();

    track_status_begin("Loading track script");
    snprintf(name, sizeof name, "%s/frills.js", track_loaded.dir);
    track_loaded.frills = file_index_exists(name) ? 1 : 0;
    track_file_name(name, sizeof name, track_loaded.dir,
                    track_loaded.frills ? "frills.js" : "nofrills.js");
    if (track_steps.script_run) track_steps.script_run(name, track_loaded.frills);
    track_status_done("Loading track script");

    track_message("%d MB texture memory used\n", (int)(track_texture_memory() >> 20));
    if (track_render.sweep_unused) track_render.sweep_unused();

    if (time_limit) {
        track_loaded.first_lap_gates = 1000000;
        track_loaded.normal_lap_gates = 1000000;
    } else {
        track_loaded.first_lap_gates = (laps + 1) / 2;
        track_loaded.normal_lap_gates = laps;
    }
    // Race control's own reset (below) sets its halfway lap and lap total from the same rule.

    const char *before;
    double delay = track_status_max_delay(&before);
    track_log("Max loading delay was %f (%s)\n", delay, before);
    if (track_steps.race_reset) track_steps.race_reset();
    if (track_steps.bike_setup_apply) track_steps.bike_setup_apply();
    track_working_set();
    return 1;
}

int track_save_info(void) {
    if (!track_loaded.dir) return 0;
    char name[TRACK_NAME_SIZE];
    snprintf(name, sizeof name, "@%s.trackinfo", track_loaded.dir);
    data_file *f = data_open(name, "wb");
    if (!f) {
        track_message("Can't open '%.950s'", name);
        return 0;
    }
    int first = 0, normal = 0, gates = 0;
    if (track_steps.gate_counts) track_steps.gate_counts(&first, &normal, &gates);
    char hex[ZV_SHA1_HEX_SIZE];
    zv_sha1_hex(track_loaded.fingerprint, hex);
    data_printf(f, "dir=%s\n", track_loaded.dir);
    data_printf(f, "longname=%s\n",
                track_loaded.long_name ? track_loaded.long_name : track_loaded.dir);
    data_printf(f, "firstlap=%d\n", first);
    data_printf(f, "normallap=%d\n", normal);
    data_printf(f, "gatecount=%d\n", gates);
    data_printf(f, "hash=%s\n", hex);
    data_flush(f);
    int ok = !ferror(f->file);
    data_close(f);
    if (!ok) {
        track_message("Error writing '%.950s'", name);
        return 0;
    }
    track_message("Track info saved to %s.trackinfo", track_loaded.dir);
    return 1;
}
