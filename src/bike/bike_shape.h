// ".shp" shapes: lists of spheres with contact surface values, the collision geometry of bike
// parts, riders and statues. Parsed once per file name and cached; each user gets a copy.
#pragma once

#include <cstddef>

enum { BIKE_SHAPE_MAX_SPHERES = 256 }; // every pair of shapes costs up to 256 x 256 sphere tests

struct bike_sphere {
    float centre[3];
    float radius, friction, spring, damping;
};

struct bike_shape {
    int count;
    float bound; // largest |centre| + radius
    bike_sphere *spheres;
    const bike_shape *cached; // the cache entry this copy came from
};

// Parses shape text; 1 ok (out owns a zv_alloc'd sphere list), 0 on any missing or bad number.
int bike_shape_parse(const char *text, bike_shape *out);
// Cached by exact name, then ignoring case (with the case-mismatch warning); reads the data
// file on a miss. Returns a new copy (free with bike_shape_free) or null.
bike_shape *bike_shape_load(const char *name);
// Puts shape text into the cache under a name without touching data files (tests, tools).
int bike_shape_register(const char *name, const char *text);
void bike_shape_free(bike_shape *s);
// Drops every cached shape (program exit, tests).
void bike_shape_cache_clear(void);

// The seven stock shapes of a bike, in fingerprint order.
enum { BIKE_STOCK_SHAPES = 7 };
const char *bike_shape_stock_name(int i);
// The text of a stock shape file, as zvgen writes it (written into buf; returns its length).
size_t bike_shape_stock_text(int i, char *buf, size_t size);
// Registers all seven stock shapes from their text.
void bike_shape_register_stock(void);
// SHA-1 over the stock shapes' text in fingerprint order: 40 hex digits into hex[41].
void bike_shape_stock_digest(char hex[41]);
// SHA-1 over the named data files in fingerprint order, read in blocks of up to 1024 bytes (a
// missing file adds nothing).
void bike_shape_files_digest(char hex[41]);
