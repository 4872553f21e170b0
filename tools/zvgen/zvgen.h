// The default data generator: each generator function writes its files through this small API,
// zvgen_main collects them and packs them into zzzz.saf. Output must be a pure function of the
// code: no clocks, no unseeded randomness, numbers formatted in the C locale.
#pragma once

#include <cstddef>
#include <cstdint>

// Adds a file to the data set under its game-relative name ("tracks/x/terrain.hf"). Names are
// relative, use '/', hold no "." or ".." parts and are unique. 1 on success (errors are logged).
int zvgen_write_file(const char *name, const void *bytes, size_t len);
// The same, gzip-compressed, under name + ".gz" (deterministic header: no time, no file name).
int zvgen_write_file_gz(const char *name, const void *bytes, size_t len);
// printf into a file (C locale). 1 on success.
int zvgen_printf_file(const char *name, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
// A file written earlier in this run (generators may build on each other); null when absent.
const uint8_t *zvgen_find_file(const char *name, size_t *len);

// Growable text for files built piece by piece; zvgen_text_write hands it to zvgen_write_file.
struct zvgen_text {
    char *data;
    size_t len, capacity;
};
void zvgen_text_printf(zvgen_text *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int zvgen_text_write(zvgen_text *t, const char *name); // writes and frees
void zvgen_text_free(zvgen_text *t);

// Seeded pseudo-random numbers (xoshiro256**, seeded through SplitMix64): the same seed gives the
// same sequence on every machine.
struct zvgen_rng {
    uint64_t s[4];
};
void zvgen_rng_seed(zvgen_rng *r, uint64_t seed);
uint64_t zvgen_rng_u64(zvgen_rng *r);
uint32_t zvgen_rng_u32(zvgen_rng *r);
double zvgen_rng_uniform(zvgen_rng *r);                     // [0, 1)
double zvgen_rng_range(zvgen_rng *r, double lo, double hi); // [lo, hi)
int zvgen_rng_int(zvgen_rng *r, int n);                     // [0, n); 0 when n <= 0

// Packs members (sorted by name) into ".saf" bytes from zv_alloc. 1 on success.
struct zvgen_member {
    const char *name;
    const uint8_t *bytes;
    size_t len;
};
int zvgen_pack(const zvgen_member *members, int count, uint8_t **out, size_t *out_len);
// gzip bytes (deflate level 9, zero time, no name) from zv_alloc. 1 on success.
int zvgen_gzip(const void *bytes, size_t len, uint8_t **out, size_t *out_len);
