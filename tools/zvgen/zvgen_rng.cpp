// Seeded pseudo-random numbers for generators.
#include "zvgen.h"

static uint64_t zvgen_splitmix(uint64_t *x) {
    uint64_t z = (*x += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

void zvgen_rng_seed(zvgen_rng *r, uint64_t seed) {
    for (int i = 0; i < 4; i++)
        r->s[i] = zvgen_splitmix(&seed);
}

static uint64_t zvgen_rotl(uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

uint64_t zvgen_rng_u64(zvgen_rng *r) {
    uint64_t *s = r->s;
    uint64_t result = zvgen_rotl(s[1] * 5, 7) * 9;
    uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = zvgen_rotl(s[3], 45);
    return result;
}

uint32_t zvgen_rng_u32(zvgen_rng *r) {
    return (uint32_t)(zvgen_rng_u64(r) >> 32);
}

double zvgen_rng_uniform(zvgen_rng *r) {
    // 53 random bits scaled exactly: no rounding that could differ between machines.
    return (double)(zvgen_rng_u64(r) >> 11) * 0x1.0p-53;
}

double zvgen_rng_range(zvgen_rng *r, double lo, double hi) {
    return lo + (hi - lo) * zvgen_rng_uniform(r);
}

int zvgen_rng_int(zvgen_rng *r, int n) {
    if (n <= 0) return 0;
    return (int)((zvgen_rng_u64(r) >> 32) * (uint64_t)n >> 32);
}
