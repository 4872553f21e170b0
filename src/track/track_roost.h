// Roost: dirt, sand and water thrown by the tires, a fixed pool of 2000 particles that fly
// with drag, grow, fade and die when they fall back below the ground. Each particle is a
// billboard. The pool draws from its own random generator: the roost density is a graphics
// setting and never changes the simulation.
#pragma once

#include <cstdint>

#include "bike/bike_tire.h"

enum { ROOST_POOL = 2000 };

struct tiles_roost;

struct roost_particle {
    float pos[3], vel[3];
    int billboard;
    const tiles_roost *type;
    int next; // free or live list, -1 end
};

struct roost_state {
    roost_particle pool[ROOST_POOL];
    int free_head, live_head, live_count;
    int made; // pool made for this track
    uint64_t random;
    int density;  // 0..1000
    long emitted; // particles made since the program started
};
extern roost_state roost;

void roost_pool_create(void);
void roost_clear(void);
void roost_seed(uint64_t seed);
unsigned roost_random(void);
// The per-tic limit for the density.
int roost_limit(void);
// One wheel's contact: emits for every roost type of the ground under it.
void roost_emit(const bike_roost_contact *contact, int limit, double max_angle, int tic);
void roost_update(void);
// Emits what the tires queued (their contacts of this tic).
void roost_emit_queued(int tic);
