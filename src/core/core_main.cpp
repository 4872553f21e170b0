// Start-up in its fixed order, the main loop, and shutdown in its fixed order. Steps whose
// modules are not part of this build go through the hook table and are skipped when empty.
#include "core/core_main.h"

#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "demo/demo_race.h"
#include "race/race.h"
#include "race/race_series.h"
#include "script/script.h"
#include "sound/sound.h"
#include "robot/robot.h"
#include "robot/robot_race.h"
#include "demo/demo.h"
#include "net/net_client.h"
#include "bike/bike_shape.h"
#include "base/zv_alloc.h"
#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_console.h"
#include "base/zv_label.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "base/zv_message.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "base/zv_sha1.h"
#include "data/data_check.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "track/track_erosion.h"
#include "track/track_hooks.h"
#include "track/track_list.h"
#include "track/track_load.h"
#include "track/track_objects.h"
#include "track/track_roost.h"
#include "track/track_terrain.h"
#include "ui/ui_menu.h"

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>

char core_server_history[CORE_SERVER_HISTORY][CORE_SERVER_NAME];
int core_rider_info_resend;

namespace {

struct demo_entry {
    char *name;    // data name
    char *display; // shown in the menus
};

struct main_state {
    platform_window *window;
    int track_loaded;
    int stock_models;
    demo_entry *demos;
    int demo_count;
    FILE *audio_record;
    platform_audio *audio;
    int lineup[CORE_SLOTS];
    char video_mode[64]; // "Video Mode" item
};

main_state g_main;
bike_setup_tracker g_setup_seen; // the setup-change report's last values

void status_line(const char *text) {
    platform_log("%s\n", text);
    if (core_hook.status_line) core_hook.status_line(text);
    // Input arriving while a status line shows is dropped and every control let go.
    platform_event ev;
    while (g_main.window && platform_next_event(g_main.window, &ev)) {
    }
    for (int i = 0; i < CORE_BINDINGS; i++)
        core_bindings[i].value = 0;
}

// Hooks the core can answer itself from modules that are linked into the simulation.
int main_track_loaded(void) {
    return g_main.track_loaded;
}
int main_bike_in_slot(int slot) {
    return slot >= 0 && slot < BIKE_SLOTS && bike_world.bikes[slot].present;
}

// The loop's erosion rate is the race's; the ground erodes around the first local rider's bike
// (or with no position while there is none).
void main_erode(int rate) {
    race.erosion_rate = rate;
    if (rate <= 0 || !terrain_present()) return;
    float pos[2];
    const float *rider = nullptr;
    for (int s = 0; s < RACE_SLOTS && !rider; s++)
        if (race.present[s] && race.status[s] == RACE_LOCAL && bike_world.bikes[s].present) {
            const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRAME]);
            pos[0] = (float)p[0];
            pos[1] = (float)p[2];
            rider = pos;
        }
    // Benchmarks timing the race tic count the ground's erosion with the tic's own strokes.
    bool timed = race_stage_seconds && race.tic > race.gate_drop_tic;
    auto t0 = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    erosion_apply(rider, rate / 1024.0f, race.tic);
    if (timed)
        race_stage_seconds[RACE_STAGE_EROSION] +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int main_slot_status(int slot) {
    return slot >= 0 && slot < RACE_SLOTS ? race.status[slot] : RACE_REPLAYED;
}

int main_race_finished(void) {
    int leader = race_leader();
    return leader != RACE_NONE && race.lap_total < RACE_UNSET &&
           race_laps_completed(leader) >= race.lap_total;
}

void main_terrain_update(int budget) {
    if (!terrain_present()) return;
    if (budget < 0)
        terrain_sync_all();
    else
        terrain_sync(budget);
}

int main_audio_open(void) {
    return g_main.audio != nullptr;
}
void main_audio_push(void) {
    // The readback driver mixes only when a tic asks for its period.
    const platform_audio_ops *ops = platform_audio_driver();
    if (g_main.audio && !g_main.audio_record && ops && ops->update) ops->update(g_main.audio);
}

void main_set_rider_inputs(int slot, const float *controls) {
    core_rider_inputs_to_bike(slot, controls);
}

// Loads the track for a race; the player rides the rider setup as the menus left it.
int load_race(const int *riders, int play_demo, int record, int time_limit, int laps, int skill) {
    race_player_from_setup(&core_config_setup);
    return track_load(riders, play_demo, record, time_limit, laps, skill);
}

// Warp: the lineup moves one slot along and the race starts again on the same track, with the
// race length of the menus.
void restart_rotated(void) {
    int last = g_main.lineup[CORE_SLOTS - 1];
    memmove(g_main.lineup + 1, g_main.lineup, sizeof(int) * (CORE_SLOTS - 1));
    g_main.lineup[0] = last;
    int record = core_settings_choice(CORE_SET_RECORD);
    g_main.track_loaded = load_race(
        g_main.lineup, 0, record, core_settings_int(CORE_SET_MINUTES) * 60 * CORE_TICS_PER_SECOND,
        core_settings_int(CORE_SET_LAPS), core_settings_choice(CORE_SET_SKILL));
    if (g_main.track_loaded) core_loop.viewed_slot = race.viewed_slot;
}

// A race the menus start: the loaded track's first view is its own, and the menu gives way.
int start_loaded(int loaded) {
    g_main.track_loaded = loaded;
    if (loaded) {
        core_loop.viewed_slot = race.viewed_slot;
        core_loop.menu_page = CORE_MENU_NONE;
    }
    return loaded;
}

void close_connection(void) {
    core_options.connect_address[0] = 0;
    net_disconnect_request();
}

// Tab out of the editor: the ground is brought fully up to date, then every bike is lifted clear
// of it (raised 1/8, then 1/4 at a time while it still touches, then lowered 1/8).
void settle_bikes(void) {
    if (terrain_present()) terrain_sync_all();
    for (int s = 0; s < BIKE_SLOTS; s++) {
        bike_record *b = &bike_world.bikes[s];
        if (!b->present) continue;
        bike_move(b, 0, 0.125, 0);
        bike_lift_clear(b);
        bike_move(b, 0, -0.125, 0);
    }
}

// A network race: the server's track with the server's lineup and length; the view follows the
// local rider.
int network_load(const int *lineup, int time_limit, int laps) {
    g_main.track_loaded =
        load_race(lineup, 0, core_settings_choice(CORE_SET_RECORD), time_limit, laps, 0);
    if (g_main.track_loaded) core_loop.viewed_slot = race.viewed_slot;
    return g_main.track_loaded;
}

// Online the erosion rate is the server's; the offline one comes back on disconnecting.
void network_erosion_rate(int rate) {
    static int offline = -1;
    if (rate < 0) {
        if (offline >= 0) core_options.erosion_rate = offline;
        offline = -1;
        return;
    }
    if (offline < 0) offline = core_options.erosion_rate;
    core_options.erosion_rate = rate;
}

// The program's calls into the simulation below it: the race tic and what the loop asks of the
// race and the demos.
void wire_simulation(void) {
    core_hook.race_tic = race_tic;
    core_hook.slot_status = main_slot_status;
    core_hook.running_order_step = race_order_step;
    core_hook.race_finished = main_race_finished;
    core_hook.race_restart_rotated = restart_rotated;
    core_hook.time_trial_active = [] { return race.time_trial; };
    // Backing up again restarts the attempt one position further back; throttle starts it.
    core_hook.time_trial_abort = [](int) {
        race_restart_attempt();
        race.attempt_state++;
    };
    core_hook.time_trial_started = [](int) { race.attempt_state = 2; };
    core_hook.demo_rewind = [] { demo_seek(-1); };
    core_hook.demo_skip = [] { demo_seek(1); };
    core_hook.erode = main_erode;
    core_hook.settle_bikes = settle_bikes;
    core_hook.setup_changes = [](char *letters, int size) {
        return bike_setup_changes(&g_setup_seen, &core_config_setup, letters, size);
    };
    // Engine, tires and the rider's balance drive every bike; race control runs the tic and the
    // track loader's race steps; robots ride in it; demos record and replay it.
    bike_input_install();
    race_install();
    robot_install();
    demo_install();
    script_install();
    // The network wraps the loader's rider steps, so it comes after race control and demos.
    net_install();
    core_hook.connected = net_connected;
    core_hook.net_step = net_update;
    core_hook.server_lead_tics = [](int *before_start) {
        if (before_start) *before_start = race.tic < race.gate_drop_tic;
        return (double)(net_client.estimate - race.tic - 1);
    };
    core_hook.synchronised = []() -> int { return net_client.estimate >= 1; };
    core_hook.send_chat = [](const char *text) {
        if (text) net_send_reliable(NET_M_COMMAND, text, (int)strlen(text));
    };
    core_hook.local_has_race_slot = []() -> int {
        return !net_client.open || net_client.race_slot < NET_SLOTS;
    };
    net_program.load_track = network_load;
    net_program.set_erosion_rate = network_erosion_rate;
    net_program.password = core_options.password;
    net_program.fake_lag = core_options.fake_lag;
    net_program.fake_loss = core_options.fake_loss;
    // A changed rider description waits while any menu page is open (the setup and list pages
    // among them) and goes out once the player is back on the track.
    net_program.setup_page_open = []() -> int {
        return core_loop.menu_page != CORE_MENU_NONE && core_loop.menu_page != CORE_MENU_CHAT;
    };
    if (core_options.connect_address[0]) net_connect_request(core_options.connect_address);
    robot_learning = core_options.learning;
    race_practice = core_render.practice;
    demo_race.tester_names = core_options.editor;
    if (core_options.editor && !(core_hook.editor_available && core_hook.editor_available()))
        platform_log("This build has no track editor: --editor adds no view\n");
    demo_race.accurate_skip = core_options.accurate_skip;
    demo_race.backups = core_settings_int(CORE_SET_DEMO_BACKUPS);
    race_player_from_setup(&core_config_setup);
    // Track objects load with the track; the starting gate's objects turn with the race; the
    // roost density is the program's and pauses while a demo skips.
    objects_install();
    core_hook.track_camera_count = [] { return objects.camera_count; };
    race_steps.gate_object_turn = statue_gate_turn;
    race_steps.debris = roost_update;
    roost.density = core_render.roost_frequency;
    roost_seed(0x726f6f7374ull);
    demo_race.calls.roost_get = [] { return (float)roost.density; };
    demo_race.calls.roost_set = [](float f) { roost.density = (int)f; };
    ui_menu_install();
}

void install_own_hooks(void) {
    if (!core_hook.set_rider_inputs) core_hook.set_rider_inputs = main_set_rider_inputs;
    if (!core_hook.track_loaded) core_hook.track_loaded = main_track_loaded;
    if (!core_hook.bike_in_slot) core_hook.bike_in_slot = main_bike_in_slot;
    if (!core_hook.file_list) core_hook.file_list = file_index_build;
    if (!core_hook.audio_open) core_hook.audio_open = main_audio_open;
    if (!core_hook.terrain_update) core_hook.terrain_update = main_terrain_update;
    if (!core_hook.audio_push) core_hook.audio_push = main_audio_push;
}

void stock_models_check(void) {
    char hex[ZV_SHA1_HEX_SIZE], stock[ZV_SHA1_HEX_SIZE];
    core_generic_models_digest(hex);
    bike_shape_stock_digest(stock);
    g_main.stock_models = strcmp(hex, stock) == 0;
    platform_log("Generic models %s (%s)\n", g_main.stock_models ? "are stock" : "differ", hex);
}

int open_window(void) {
    const core_settings &o = core_options;
    platform_request_gl_version(o.gl_major, o.gl_minor, o.gl_dialect);
    int mode = core_display_mode_find(g_main.video_mode);
    if (mode < 0) mode = CORE_DISPLAY_MODE_FULLSCREEN;
    int depth = o.depth & PLATFORM_DEPTH_MASK;
    if (mode == CORE_DISPLAY_MODE_WINDOWED) {
        g_main.window = platform_create_gl_window("Zelvo", core_render.xres, core_render.yres,
                                                  depth, 0, o.zdepth, 0, 0);
        core_loop.opt.windowed = 1;
    } else {
        const core_display_mode *m = core_display_mode_at(mode);
        g_main.window = platform_create_gl_window("Zelvo", m ? m->width : 0, m ? m->height : 0,
                                                  depth | PLATFORM_FULLSCREEN, 0, o.zdepth, 0, 0);
    }
    return g_main.window != nullptr;
}

// Recording audio: each tic appends the period the readback driver mixes for it, so the file
// stays in step with the simulation whatever the frame rate.
void record_audio_tic(void) {
    if (!g_main.audio || !g_main.audio_record) return;
    const platform_audio_ops *ops = platform_audio_driver();
    const int16_t *block = ops && ops->read_block ? ops->read_block(g_main.audio) : nullptr;
    int bytes = platform_audio_block_bytes(g_main.audio);
    if (block && bytes > 0 &&
        fwrite(block, 1, (size_t)bytes, g_main.audio_record) != (size_t)bytes) {
        platform_log("Audio recording stopped: write failed\n");
        fclose(g_main.audio_record);
        g_main.audio_record = nullptr;
    }
}

void open_audio(void) {
    const core_settings &o = core_options;
    if (o.record_audio_path) {
        g_main.audio_record = fopen(o.record_audio_path, "wb");
        if (!g_main.audio_record)
            platform_log("Can't open \"%s\" for the audio recording\n", o.record_audio_path);
        // 88320 Hz makes one tic exactly 690 sample frames.
        g_main.audio = platform_open_readback(g_main.window, 88320, 690);
        if (!core_hook.audio_record_tic) core_hook.audio_record_tic = record_audio_tic;
    } else if (!o.sound_off) {
        g_main.audio = platform_open_audio(g_main.window);
    }
}

// Start-up step 21: the window may take a moment to report a drawable size. A close request
// (or the window going away) during the wait ends the run instead of waiting forever.
int wait_for_window_size(void) {
    for (;;) {
        int w = 0, h = 0;
        if (platform_frame_begin(g_main.window, &w, &h)) {
            platform_swap(g_main.window);
            return 1;
        }
        platform_event ev;
        while (platform_next_event(g_main.window, &ev))
            if (ev.code == PLATFORM_CLOSE && ev.pressed) return 0;
        if (platform_window_closed(g_main.window)) return 0;
        platform_wait(0, 62500);
    }
}

// What the run changed that the configuration keeps: the chosen track and the display levels
// the console may have toggled.
void save_config(void) {
    if (const char *dir = track_selected()) core_settings_set_text(CORE_SET_TRACK, dir);
    core_settings_set_number(CORE_SET_DRAW_FPS, core_options.draw_fps);
    core_settings_set_number(CORE_SET_DRAW_TIME, core_options.draw_time);
    core_settings_set_number(CORE_SET_DRAW_PING, core_options.draw_ping);
    core_settings_set_number(CORE_SET_DRAW_SPEED, core_options.draw_speed);
    core_settings_set_number(CORE_SET_SPY, core_loop.opt.spy);
    core_config_write("@config");
}

void flip_once(void) {
    int w, h;
    if (platform_frame_begin(g_main.window, &w, &h)) platform_swap(g_main.window);
}

// Shutdown steps 4 onwards: also the way out after a failed window or an old GL.
void shutdown_late(void) {
    status_line("Writing config files");
    save_config();
    status_line("Freeing memory (2)");
    race_series_list_free();
    track_list_free();
    status_line("Freeing memory (3)");
    core_demo_list_free();
    core_display_modes_free();
    status_line("Freeing file list");
    file_index_free();
    status_line("Freeing memory (4)");
    status_line("Deleting textures");
    if (core_hook.delete_textures) core_hook.delete_textures();
    status_line("Deleting models");
    if (core_hook.delete_models) core_hook.delete_models();
    if (core_hook.free_fonts) core_hook.free_fonts();
    if (core_hook.gl_stop && g_main.window) core_hook.gl_stop();
    if (g_main.window) platform_destroy_gl_window(g_main.window);
    g_main.window = nullptr;
    platform_log(nullptr);
    zv_alloc_report();
    platform_wait(1, 0);
}

void shutdown_full(void) {
    net_disconnect(); // the server hears that we left
    // A points-series event left unfinished counts with the places as they stand.
    race_series_store();
    // What the run learned and recorded is kept: the robots' lines go back to their file and
    // the demo being recorded gets its final header.
    robot_lines_remember();
    if (g_main.track_loaded) race_log_local_distance();
    platform_log("Deallocating bikes\n");
    bike_world_destroy();
    platform_log("Finished deallocating bikes\n");
    demo_play_close();
    demo_race_finish();
    if (g_main.track_loaded) track_unload();
    g_main.track_loaded = 0;
    status_line("Freeing memory (1)");
    core_loop_shutdown();
    core_console_clear_keys();
    zv_label_clear();
    status_line("Closing input devices");
    core_binding_release_all();
    status_line("Closing audio");
    sound_reset();
    if (g_main.audio) platform_close_audio(g_main.audio);
    g_main.audio = nullptr;
    if (g_main.audio_record) fclose(g_main.audio_record);
    g_main.audio_record = nullptr;
    shutdown_late();
}

} // namespace

int core_start_race(void) {
    close_connection();
    int gates[CORE_GATES];
    for (int i = 0; i < CORE_GATES; i++)
        gates[i] = core_settings_choice(CORE_SET_GATE_FIRST + i);
    memset(g_main.lineup, 0, sizeof g_main.lineup);
    memcpy(g_main.lineup, gates, sizeof gates);
    int ok = start_loaded(load_race(g_main.lineup, 0, core_settings_choice(CORE_SET_RECORD),
                                    core_settings_int(CORE_SET_MINUTES) * 60 * CORE_TICS_PER_SECOND,
                                    core_settings_int(CORE_SET_LAPS),
                                    core_settings_choice(CORE_SET_SKILL)));
    // The rotation stays within the 40 gates, so every rider of this race rides the next one.
    ui_rotate_gates(gates, CORE_GATES, core_options.lineup_rotation);
    for (int i = 0; i < CORE_GATES; i++)
        core_settings_set_choice(CORE_SET_GATE_FIRST + i, gates[i]);
    return ok;
}

int core_start_time_trial(void) {
    close_connection();
    return start_loaded(load_race(nullptr, 0, 0, 0, 1000, core_settings_choice(CORE_SET_SKILL)));
}

int core_start_series_event(int series, int enter) {
    race_series_state &l = race_series_list;
    if (series < 0 || series >= l.count || (enter && l.current == series)) return 0;
    race_series *s = &l.list[series];
    int lineup[CORE_SLOTS];
    if (!race_series_lineup(s, lineup)) return 0;
    const race_series_event &ev = s->events[s->completed];
    if (ev.track < 0 || ev.track >= track_list.count) return 0;
    track_select(track_list.dirs[ev.track]);
    close_connection();
    memcpy(g_main.lineup, lineup, sizeof lineup);
    int ok = start_loaded(load_race(g_main.lineup, 0, core_settings_choice(CORE_SET_RECORD),
                                    ev.minutes * 60 * CORE_TICS_PER_SECOND, ev.laps, s->skill));
    // The track load stored whatever series event was running; this one counts from now on.
    if (ok && enter) {
        l.current = series;
        l.current_event = s->completed;
    }
    return ok;
}

int core_start_demo(int i) {
    if (!core_demo_name(i)) return 0;
    // The list holds file-index names; opening one goes through the data roots.
    char name[1100];
    snprintf(name, sizeof name, "@%s", core_demo_name(i));
    close_connection();
    int race_against = core_settings_choice(CORE_SET_PLAYBACK_MODE) == 1;
    int record = demo_menu_start(name, race_against, core_settings_choice(CORE_SET_RECORD));
    memset(g_main.lineup, 0, sizeof g_main.lineup);
    if (race_against) {
        // The first gate marked "Human" (gate 1 when none) is the player's among the demo's riders.
        int human = 0;
        for (int g = 0; g < CORE_GATES; g++)
            if (core_settings_choice(CORE_SET_GATE_FIRST + g) == 1) {
                human = g;
                break;
            }
        g_main.lineup[human] = 1;
    }
    if (demo_race_open(name) && track_list_find(demo_play.track_dir) >= 0)
        track_select(demo_play.track_dir);
    demo_play_close();
    return start_loaded(
        load_race(g_main.lineup, 1, record, 0, 10, core_settings_choice(CORE_SET_SKILL)));
}

void core_switch_video_mode(void) {
    int i = core_display_mode_find(core_settings_text(CORE_SET_VIDEO_MODE));
    const core_display_mode *m = core_display_mode_at(i);
    if (!m || !g_main.window) return;
    snprintf(g_main.video_mode, sizeof g_main.video_mode, "%s", m->name);
    core_loop.opt.windowed = i == CORE_DISPLAY_MODE_WINDOWED;
    if (core_loop.opt.windowed)
        platform_set_windowed(g_main.window, core_settings_int(CORE_SET_XRES),
                              core_settings_int(CORE_SET_YRES));
    else
        platform_set_fullscreen(g_main.window, m->width, m->height);
}

void core_connect_request(const char *address) {
    if (!address || !address[0]) return;
    core_server_history_add(address);
    snprintf(core_options.connect_address, sizeof core_options.connect_address, "%s", address);
    net_connect_request(address);
    core_loop.menu_page = CORE_MENU_NONE;
}

void core_disconnect_request(void) {
    core_options.connect_address[0] = 0;
    net_disconnect_request();
}

void core_restart_request(void) {
    net_request_restart();
}

int core_stock_models(void) {
    return g_main.stock_models;
}

void core_rider_inputs_to_bike(int slot, const float *controls) {
    static_assert((int)CORE_CTL_STEER == (int)BIKE_INPUT_STEER &&
                      (int)CORE_CTL_SHIFT == (int)BIKE_INPUT_SHIFT &&
                      (int)CORE_CTL_CLUTCH == (int)BIKE_INPUT_CLUTCH &&
                      (int)CORE_CTL_DAB == (int)BIKE_INPUT_SIT_DAB &&
                      (int)CORE_CTL_LEAN == (int)BIKE_INPUT_LEAN &&
                      (int)CORE_CONTROLS == (int)BIKE_INPUT_CHANNELS,
                  "the controls vector is the bike's channels in the same order");
    if (!controls || slot < 0 || slot >= BIKE_SLOTS || !bike_world.bikes[slot].present) return;
    bike_input_apply_local(&bike_world.bikes[slot], controls, core_loop.opt.reversed_steering,
                           core_loop.opt.sticky_dab, 0);
}

void core_server_history_add(const char *name) {
    if (!name || !name[0]) return;
    char text[CORE_SERVER_NAME];
    snprintf(text, sizeof text, "%s", name);
    if (strcmp(text, core_server_history[0]) == 0) return;
    memmove(core_server_history[1], core_server_history[0],
            sizeof core_server_history - sizeof core_server_history[0]);
    memcpy(core_server_history[0], text, sizeof text);
}

// The bike module reads the seven files in their fingerprint order, 1024 bytes at a time.
void core_generic_models_digest(char hex[41]) {
    bike_shape_files_digest(hex);
}

int core_demo_list_build(const char *const *file_list) {
    core_demo_list_free();
    int count = 0, cap = 0;
    for (int i = 0; file_list && file_list[i]; i++) {
        const char *name = file_list[i];
        size_t len = strlen(name);
        if (strncmp(name, "demos/", 6) != 0 || len < 13 || strcmp(name + len - 7, ".zvdemo") != 0)
            continue;
        if (count == cap) {
            cap = cap ? cap * 2 : 16;
            g_main.demos = (demo_entry *)zv_realloc(g_main.demos, sizeof(demo_entry) * cap);
        }
        const char *base = strrchr(name, '/') + 1;
        const char *dot = strrchr(base, '.');
        size_t shown = dot ? (size_t)(dot - base) : strlen(base);
        demo_entry *e = &g_main.demos[count++];
        e->name = (char *)zv_alloc(len + 1);
        memcpy(e->name, name, len + 1);
        e->display = (char *)zv_alloc(shown + 1);
        memcpy(e->display, base, shown);
        e->display[shown] = 0;
        if (core_render.debug_level) platform_log("%s -> %s\n", e->name, e->display);
    }
    g_main.demo_count = count;
    return count;
}

void core_demo_list_free(void) {
    for (int i = 0; i < g_main.demo_count; i++) {
        zv_free(g_main.demos[i].name);
        zv_free(g_main.demos[i].display);
    }
    zv_free(g_main.demos);
    g_main.demos = nullptr;
    g_main.demo_count = 0;
}

int core_demo_count(void) {
    return g_main.demo_count;
}
const char *core_demo_name(int i) {
    return i >= 0 && i < g_main.demo_count ? g_main.demos[i].name : nullptr;
}
const char *core_demo_display_name(int i) {
    return i >= 0 && i < g_main.demo_count ? g_main.demos[i].display : nullptr;
}

int core_main(int argc, char **argv) {
    // 1. Opening the home folder needs nothing else.
    if (argc == 2 && strcmp(argv[1], "--open-home") == 0) {
        open_home();
        return 0;
    }
    // The usage needs nothing either, not even the game data.
    for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; i++)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            core_options_usage(stdout);
            return 0;
        }
    // 2. Standard output carries raw video frames; on this system it is already binary.
    zv_message_clear();

    // 3. Without the data nothing can run; that is a failure, not a normal end.
    if (!game_data_check()) {
        platform_message_box("Problem starting Zelvo", "Can't find game data\n");
        fprintf(stderr, "Can't find game data\n");
        return 1;
    }
    // 4.
    platform_log("Zelvo version %s\n", CORE_VERSION);
    memset(core_server_history, 0, sizeof core_server_history);
    // 5.
    core_display_modes_build(platform_display_modes());
    // 6-7. Defaults the configuration may override (the "Compatibility" preset among them),
    // then the configuration file.
    core_config_defaults();
    core_config_read("@config");
    core_config_setup.changed = 0; // what was read is the baseline, not a change
    bike_setup_track(&g_setup_seen, &core_config_setup);
    snprintf(g_main.video_mode, sizeof g_main.video_mode, "%s",
             core_settings_text(CORE_SET_VIDEO_MODE));
    core_render_inputs inputs;
    core_render_inputs_defaults(&inputs);
    core_settings_render_inputs(&inputs);

    // 8-9. Render settings from the configuration, then the command line over them.
    core_settings_defaults(&core_options);
    core_options.draw_fps = core_settings_int(CORE_SET_DRAW_FPS);
    core_options.draw_time = core_settings_int(CORE_SET_DRAW_TIME);
    core_options.draw_ping = core_settings_int(CORE_SET_DRAW_PING);
    core_options.draw_speed = core_settings_int(CORE_SET_DRAW_SPEED);
    zv_messages.line_limit = core_settings_int(CORE_SET_MESSAGE_LINES);
    core_render_defaults(&core_render);
    core_render_derive(&inputs, &core_render);
    core_options_result opts;
    core_options_parse(argc, argv, &core_options, &core_render, &opts);
    if (opts.stderr_text[0]) fputs(opts.stderr_text, stderr);
    if (opts.show_usage) core_options_usage(stdout);
    if (opts.exit_code != CORE_OPTIONS_GO_ON) {
        if (core_options.open_home) open_home();
        core_display_modes_free();
        return opts.exit_code;
    }

    if (core_options.connect_address[0]) core_server_history_add(core_options.connect_address);
    // --debug and --super-debug are the loaders' verbose mode.
    track_verbose = core_render.debug_level;
    robot_verbose = core_render.debug_level;

    // 10. The window.
    if (!open_window()) {
        const char *why = platform_last_error();
        platform_message_box("Problem starting Zelvo", "Can't open a window: %s", why);
        fprintf(stderr,
                "Zelvo can't open a window (%s). It needs a display: run it inside a "
                "desktop session, or with SDL_VIDEODRIVER=offscreen.\n",
                why);
        shutdown_late();
        return 1;
    }
    // 11. GL entry points and version.
    if (core_hook.gl_start) {
        // Desktop GL needs 3.1; OpenGL ES 3.0 has what the shaders use.
        int major = 0, minor = 0, es = 0;
        int ok = core_hook.gl_start(g_main.window, &major, &minor, &es);
        if (!ok || major * 100 + minor < (es ? 300 : 301)) {
            platform_log("OpenGL version too old\n");
            fprintf(stderr, "OpenGL version too old\n");
            shutdown_late();
            return 1;
        }
    }
    // 12.
    if (core_hook.gl_programs && !core_hook.gl_programs()) {
        fprintf(stderr, "Can't initialize shaders\n");
        return 1;
    }
    // 13.
    if (core_hook.gl_flush) core_hook.gl_flush();
    const char *const *files = file_index_build();
    if (core_render.debug_level)
        for (int i = 0, n = file_index_count(); i < n; i++) {
            char line[1200];
            if (file_index_describe(i, line, sizeof line)) platform_log("%s\n", line);
        }
    // 14.
    stock_models_check();
    // 15. The rider setup's texture variant lists (rider, head, bike graphics, wheels) were
    // built from the file list when the configuration was read, with its choices selected.
    // 16.
    if (track_scan() <= 0) {
        fprintf(stderr, "No tracks found\n");
        return 1;
    }
    // 17-18.
    core_demo_list_build(files);
    race_series_list_build(files, core_render.debug_level);
    // 19. The list holds data directories ("tracks/<name>"); a bare name is accepted as well.
    char start_dir[300] = "";
    if (core_options.start_track) {
        snprintf(start_dir, sizeof start_dir, "%s", core_options.start_track);
        if (track_list_find(start_dir) < 0) {
            char longer[300];
            snprintf(longer, sizeof longer, "tracks/%s", core_options.start_track);
            if (track_list_find(longer) >= 0)
                snprintf(start_dir, sizeof start_dir, "%s", longer);
            else
                platform_log("Track \"%s\" not found\n", core_options.start_track);
        }
        track_select(start_dir);
    } else if (core_settings_text(CORE_SET_TRACK)[0] &&
               track_list_find(core_settings_text(CORE_SET_TRACK)) >= 0) {
        track_select(core_settings_text(CORE_SET_TRACK));
    } else if (track_list.count > 0) {
        track_select(track_list.dirs[0]);
    }
    // 20. The engines are synthesised and mixed by the sound module, heard from the first frame.
    sound_install();
    open_audio();
    // 21.
    int window_open = wait_for_window_size();
    if (window_open) {
        // 22.
        if (core_hook.gl_setup) core_hook.gl_setup();
        if (core_hook.load_fonts) core_hook.load_fonts();
        if (core_hook.load_hud_pictures) core_hook.load_hud_pictures();
        flip_once();
        window_open = !platform_window_closed(g_main.window);
    }
    install_own_hooks();
    core_binding_reset_all(g_main.window);
    core_loop_init(g_main.window);
    // The loop mirrors the menu values it reads each tic.
    core_config_loop_options(&core_loop.opt);
    core_loop.opt.windowed =
        core_display_mode_find(g_main.video_mode) == CORE_DISPLAY_MODE_WINDOWED;
    if (window_open) {
        // 23. The physics world lives for the whole run.
        if (!bike_world_create()) platform_log("Can't create the physics world\n");
        wire_simulation();
        // 24. A demo named on the command line plays on its own track.
        if (core_options.file_arg) {
            snprintf(demo_race.play_name, sizeof demo_race.play_name, "%s", core_options.file_arg);
            if (demo_race_open(demo_race.play_name) && track_list_find(demo_play.track_dir) >= 0)
                snprintf(start_dir, sizeof start_dir, "%s", demo_play.track_dir);
            else
                platform_log("Can't play demo \"%s\"\n", core_options.file_arg);
            demo_play_close();
        }
        // 25. Every slot empty; without a demo to play the first gate holds a robot.
        memset(g_main.lineup, 0, sizeof g_main.lineup);
        if (!core_options.file_arg) g_main.lineup[0] = 2;
        // 26. A race asked for on the command line starts with the gates, length and skill the
        // race menu would use, so the player rides among the robots at once.
        // Connecting, the server chooses the track.
        int race_now =
            start_dir[0] && track_list_find(start_dir) >= 0 && !core_options.connect_address[0];
        int offline_race = race_now && !core_options.file_arg && !core_options.connect_address[0];
        if (offline_race)
            for (int i = 0; i < CORE_GATES; i++)
                g_main.lineup[i] = core_settings_choice(CORE_SET_GATE_FIRST + i);
        if (race_now) {
            int minutes = offline_race ? core_settings_int(CORE_SET_MINUTES) : 0;
            int laps = offline_race ? core_settings_int(CORE_SET_LAPS) : 5;
            int skill = offline_race ? core_settings_choice(CORE_SET_SKILL) : 0;
            int record = !core_options.file_arg && core_settings_choice(CORE_SET_RECORD);
            g_main.track_loaded =
                track_load(g_main.lineup, core_options.file_arg != nullptr, record,
                           minutes * 60 * CORE_TICS_PER_SECOND, laps, skill);
        }
        if (g_main.track_loaded) core_loop.viewed_slot = race.viewed_slot;
        // 27. A race started from the command line is ridden straight away: a menu open over
        // it would take the keys meant for the bike.
        core_loop.menu_page = core_options.connect_address[0] || g_main.track_loaded
                                  ? CORE_MENU_NONE
                                  : CORE_MENU_MAIN;
        // The menu opens on its first item, whatever an earlier run in this process left lit.
        if (core_loop.menu_page == CORE_MENU_MAIN && core_hook.menu_reset_highlight)
            core_hook.menu_reset_highlight();
        // 28.
        core_loop_run();
    }
    shutdown_full();
    return 0;
}
