// The sound module's face to the program: it installs the mixer and the per-frame update, and
// every frame streams each bike's engine and places it around the listener.
#pragma once

#include "sound/sound_position.h"

struct sound_engine;

// Makes the software mixer the platform's and sets the core's sound hook. Call before audio
// opens.
void sound_install(void);
// The core's per-frame hook: m is the master factor (0, 0.25 or 1) the loop chose.
void sound_update(float m);
// The listener the next update uses; without one it follows the viewed bike (a chase position).
void sound_set_listener(const sound_listener *l);
// The exhaust pipe of a slot's engine (length, spread, gain, tap range a-b), now and whenever the
// engine is loaded again for the same bike model.
void sound_slot_pipe(int slot, float length, float spread, float gain, int a, int b);
// The engine of a slot (null before its bike was first heard).
const sound_engine *sound_slot_engine(int slot);
// Frees every engine and cache (shutdown, tests).
void sound_reset(void);
