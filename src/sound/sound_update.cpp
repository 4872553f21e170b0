// Per frame: every present bike's engine is synthesised into its ring and streamed to its own
// mixer voice, whose volume, rate and pan place it around the listener.
#include "sound/sound.h"

#include "base/zv_alloc.h"
#include "bike/bike.h"
#include "bike/bike_model.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"
#include "race/race.h"
#include "core/core_settings.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "track/track_hooks.h"
#include "sound/sound_engine.h"
#include "sound/sound_mixer.h"
#include "sound/sound_script.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct engine_slot {
    sound_engine *engine;
    const bike_model *model; // the model the engine was loaded for
    int present;             // the bike was present at the last update
    platform_voice *voice;
    unsigned generation; // the mixer the voice belongs to
    // Exhaust pipe set from the console: kept over engine reloads until the bike model changes.
    int pipe_set;
    const bike_model *pipe_model;
    float pipe[3];
    int pipe_taps[2];
};

struct sound_state {
    engine_slot slots[BIKE_SLOTS];
    sound_listener listener;
    int listener_set;
    unsigned char bytes[SOUND_MAX_FILL];
    unsigned char silence[SOUND_RING];
};

sound_state g_sound;

const sound_table *table_by_name(const char *name) {
    return sound_table_load(name);
}

// Applies a definition file when it exists; 1 when it was found.
int apply_file(sound_engine *e, const char *name) {
    char *text = file_to_string(name);
    if (!text) return 0;
    sound_braap_parse(e, text, table_by_name);
    zv_free(text);
    return 1;
}

// The engine sound of a bike: the class's built-in model, then the definition beside the bike
// texture, else the class default.
void load_engine(sound_engine *e, const bike_model *m) {
    sound_engine_builtin(e, sound_engine_class_kind(m->engine_class));
    char name[300];
    const char *tex = m->files[BIKE_FILE_BIKE_TEXTURE];
    const char *cuts[2] = {strrchr(tex, '.'), strrchr(tex, '-')};
    for (const char *cut : cuts) {
        if (!tex[0] || !cut) continue;
        snprintf(name, sizeof name, "%.*s.braap", (int)(cut - tex), tex);
        if (apply_file(e, name)) {
            platform_log("Engine sound of %s: %s\n", m->name, name);
            return;
        }
    }
    static const char *const classes[] = {"50", "125", "250", "250f", "450f"};
    for (const char *c : classes)
        if (strcmp(m->engine_class, c) == 0) {
            snprintf(name, sizeof name, "@default%s.braap", c);
            if (apply_file(e, name)) {
                platform_log("Engine sound of %s: %s\n", m->name, name);
                return;
            }
        }
    platform_log("Engine sound of %s: %s\n", m->name, e->table ? e->table->name : "none");
}

void default_listener(sound_listener *l) {
    memset(l, 0, sizeof *l);
    l->right[0] = 1;
    int slot = core_loop.viewed_slot;
    if (slot < 0 || slot >= BIKE_SLOTS || !bike_world.bikes[slot].present) return;
    const bike_record *b = &bike_world.bikes[slot];
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *r = dBodyGetRotation(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    // A chase position: behind the bike along its heading on the ground, a little above.
    double back[2] = {r[2], r[10]}, right[2] = {r[0], r[8]};
    double bl = std::hypot(back[0], back[1]), rl = std::hypot(right[0], right[1]);
    if (bl > 1e-6) {
        l->position[0] = (float)(p[0] + back[0] / bl * 8);
        l->position[2] = (float)(p[2] + back[1] / bl * 8);
    } else {
        l->position[0] = (float)p[0];
        l->position[2] = (float)p[2];
    }
    l->position[1] = (float)p[1] + 3;
    if (rl > 1e-6) {
        l->right[0] = (float)(right[0] / rl);
        l->right[1] = 0;
        l->right[2] = (float)(right[1] / rl);
    }
    for (int i = 0; i < 3; i++)
        l->velocity[i] = (float)v[i];
}

void drop_voice(platform_audio *a, const platform_audio_ops *ops, engine_slot *s) {
    if (s->voice && a && ops && s->generation == sound_mixer_generation)
        ops->free_voice(a, s->voice);
    s->voice = nullptr;
}

void update_slot(platform_audio *a, const platform_audio_ops *ops, int slot, float master,
                 float others) {
    engine_slot *s = &g_sound.slots[slot];
    const bike_record *b = &bike_world.bikes[slot];
    if (s->voice && s->generation != sound_mixer_generation) s->voice = nullptr; // closed mixer
    if (!b->present || !b->m) {
        if (s->voice) ops->set_volume(a, s->voice, 0);
        s->present = 0;
        return;
    }
    if (!s->engine) s->engine = (sound_engine *)zv_alloc_zeroed(1, sizeof(sound_engine));
    int reload = !s->present || s->model != b->m;
    if (reload) {
        load_engine(s->engine, b->m);
        s->model = b->m;
        if (s->pipe_set && s->pipe_model == b->m)
            sound_engine_pipe(s->engine, s->pipe[0], s->pipe[1], s->pipe[2], s->pipe_taps[0],
                              s->pipe_taps[1]);
        else
            s->pipe_set = 0;
    }
    s->present = 1;
    if (!s->voice) {
        // The ring plays at its own rate: created unresampled (rate 0), not at the device's.
        s->voice = ops->create_voice(a, g_sound.silence, SOUND_RING, 0);
        if (!s->voice) return;
        s->generation = sound_mixer_generation;
        ops->set_loop(a, s->voice, 1);
        ops->set_volume(a, s->voice, 0);
        ops->start(a, s->voice);
        reload = 1;
    }
    if (reload) ops->write_samples(a, s->voice, 0, g_sound.silence, SOUND_RING);
    sound_engine *e = s->engine;
    int n = sound_engine_needed(e, ops->play_position(a, s->voice));
    double rpm = bike_engine_rpm(&b->engine);
    float throttle = b->crash_timer > 0 ? 0.0f : b->ctl.throttle;
    float torque = (float)bike_engine_curve_torque(&b->m->engine, rpm, throttle);
    if (n > 0) {
        int at = sound_engine_synth(e, n, (float)rpm, sound_engine_load(e, torque), g_sound.bytes);
        ops->write_samples(a, s->voice, at, g_sound.bytes, n);
    }

    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    float pos[3] = {(float)p[0], (float)p[1], (float)p[2]};
    float vel[3] = {(float)v[0], (float)v[1], (float)v[2]};
    const sound_listener *l = &g_sound.listener;
    float d = std::sqrt((l->position[0] - pos[0]) * (l->position[0] - pos[0]) +
                        (l->position[1] - pos[1]) * (l->position[1] - pos[1]) +
                        (l->position[2] - pos[2]) * (l->position[2] - pos[2]));
    float g = sound_distance_gain(1.0f, d) * master;
    if (slot != core_loop.viewed_slot) g *= others;
    if (!race_rider_shown(slot)) g = 0; // a rider the race does not show is not heard either
    double volume = g * 32767.0;
    ops->set_volume(a, s->voice, (int)(volume < 0 ? 0 : volume > 32767 ? 32767 : volume));
    ops->set_rate(a, s->voice, sound_rate(SOUND_ENGINE_RATE * sound_doppler(l, pos, vel)));
    ops->set_pan(a, s->voice, sound_pan(l, pos));
}

} // namespace

void sound_set_listener(const sound_listener *l) {
    g_sound.listener = *l;
    g_sound.listener_set = 1;
}

void sound_slot_pipe(int slot, float length, float spread, float gain, int a, int b) {
    if (slot < 0 || slot >= BIKE_SLOTS) return;
    engine_slot *s = &g_sound.slots[slot];
    s->pipe_set = 1;
    s->pipe_model = bike_world.bikes[slot].m;
    s->pipe[0] = length;
    s->pipe[1] = spread;
    s->pipe[2] = gain;
    s->pipe_taps[0] = a;
    s->pipe_taps[1] = b;
    if (s->engine && s->model == s->pipe_model)
        sound_engine_pipe(s->engine, length, spread, gain, a, b);
}

const sound_engine *sound_slot_engine(int slot) {
    return slot >= 0 && slot < BIKE_SLOTS ? g_sound.slots[slot].engine : nullptr;
}

void sound_update(float m) {
    platform_audio *a = platform_audio_current();
    const platform_audio_ops *ops = platform_audio_driver();
    if (!a || !ops) return;
    if (g_sound.silence[0] != 128) memset(g_sound.silence, 128, sizeof g_sound.silence);
    if (!g_sound.listener_set) default_listener(&g_sound.listener);
    g_sound.listener_set = 0;
    float master = 0.1f * (float)core_settings_int(CORE_SET_VOLUME) * m;
    float others = 0.1f * (float)core_settings_int(CORE_SET_COMP_VOLUME);
    for (int slot = 0; slot < BIKE_SLOTS; slot++)
        update_slot(a, ops, slot, master, others);
    sound_script_place(&g_sound.listener, master * others);
}

void sound_reset(void) {
    platform_audio *a = platform_audio_current();
    const platform_audio_ops *ops = platform_audio_driver();
    for (engine_slot &s : g_sound.slots) {
        drop_voice(a, ops, &s);
        zv_free(s.engine);
        s = {};
    }
    sound_script_clear();
    sound_cache_free();
}

void sound_install(void) {
    platform_audio_set_mixer(&sound_mixer_ops);
    core_hook.sound_update = sound_update;
    // Script sounds go with the track; a script host that takes this step frees them itself.
    if (!track_steps.script_reset) track_steps.script_reset = sound_script_clear;
}
