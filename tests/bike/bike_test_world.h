// Headless worlds for bike physics tests: height fields made in memory (flat, ramp, wall), the
// stock shapes registered without data files, and helpers that run tics.
#pragma once

#include <cstdint>

#include "bike/bike.h"

// Flat ground at height h: 2^(n+1) cells of spacing s per side.
void test_world_flat(float h = 0, int n = 6, float spacing = 2.0f);
// Ground rising along +x with the given slope (dy/dx), starting at x0.
void test_world_ramp(float slope, float x0, int n = 6, float spacing = 2.0f);
// Flat ground at 0 with a wall of height wall_h for x >= wall_x.
void test_world_wall(float wall_x, float wall_h, int n = 6, float spacing = 1.0f);
// Installs the tire, engine and rider-input steps into the bike update.
void test_world_riding_steps(void);
// Destroys bikes, world and terrain.
void test_world_end(void);

// Runs count whole tics.
void test_world_run(int count);
// SHA-1 of every present bike's body positions, rotations and velocities (hex, 41 bytes).
void test_world_hash(char out[41]);
// True when every body value of the bike is finite.
bool test_bike_finite(const bike_record *b);
