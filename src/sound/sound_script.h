// Sounds that track scripts add: raw 16-bit files played as positioned voices. Indices 0-4095;
// calls with an invalid index return 0, valid ones 1.
#pragma once

enum { SOUND_SCRIPT_MAX = 4096 };

// Adds a sound file (a name added before shares its samples); the index, or -1.
int sound_script_add(const char *name);
int sound_script_start(int index);
int sound_script_stop(int index);
int sound_script_loop(int index, int loop);
int sound_script_frequency(int index, float hz);
int sound_script_volume(int index, float volume);
int sound_script_position(int index, const float p[3]);
int sound_script_velocity(int index, const float v[3]);
// Places every script sound for the listener (per frame; gain is the master and competitor
// factors already multiplied).
struct sound_listener;
void sound_script_place(const sound_listener *l, float gain);
// Frees every script sound (the track is unloaded, or audio closes).
void sound_script_clear(void);
int sound_script_count(void);
