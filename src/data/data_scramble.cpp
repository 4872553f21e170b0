// The ".scram" transform and the reader that undoes it.
//
// Scrambled files keep casual readers out of data; they are not a secret. Each byte is XORed with
// a keystream byte that depends only on its offset from the data's first byte: the keystream is
// SplitMix64 of (key XOR 8-byte block number), its eight bytes taken little-endian. Being an XOR
// with a position-keyed stream, the same call scrambles and descrambles, a member can be read
// without the bytes before it, and a file keeps its length.
#include "data/data_scramble.h"

#include "base/zv_alloc.h"

static const uint64_t data_scramble_key = 0x5a656c766f446174ull;

static uint64_t data_scramble_block(uint64_t block) {
    uint64_t z = data_scramble_key ^ block;
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

void data_scramble(void *buf, size_t n, uint64_t offset) {
    uint8_t *p = (uint8_t *)buf;
    size_t i = 0;
    while (i < n) {
        uint64_t pos = offset + i;
        uint64_t ks = data_scramble_block(pos >> 3);
        for (unsigned k = (unsigned)(pos & 7); k < 8 && i < n; k++, i++)
            p[i] ^= (uint8_t)(ks >> (8 * k));
    }
}

struct data_descrambler {
    FILE *file;
    uint64_t offset;
};

data_descrambler *data_descrambler_open(FILE *fp) {
    data_descrambler *d = (data_descrambler *)zv_alloc_zeroed(1, sizeof *d);
    d->file = fp;
    return d;
}

size_t data_descrambler_read(data_descrambler *d, void *buf, size_t n) {
    size_t got = fread(buf, 1, n, d->file);
    data_scramble(buf, got, d->offset);
    d->offset += got;
    return got;
}

void data_descrambler_close(data_descrambler *d) {
    zv_free(d);
}
