#include "core/core_sha1.h"

#include <cstdio>

void core_sha1_init(core_sha1_ctx *c) {
    SHA1Init(&c->md);
}

void core_sha1_update(core_sha1_ctx *c, const void *data, size_t len) {
    // libmd takes the length as size_t but a null pointer with zero length is still a pointer
    // it may touch; skip empty updates.
    if (len) SHA1Update(&c->md, (const uint8_t *)data, len);
}

void core_sha1_final(core_sha1_ctx *c, uint8_t out[CORE_SHA1_SIZE]) {
    SHA1Final(out, &c->md);
}

void core_sha1(const void *data, size_t len, uint8_t out[CORE_SHA1_SIZE]) {
    core_sha1_ctx c;
    core_sha1_init(&c);
    core_sha1_update(&c, data, len);
    core_sha1_final(&c, out);
}

char *core_sha1_hex(const uint8_t digest[CORE_SHA1_SIZE], char out[CORE_SHA1_HEX_SIZE]) {
    for (int i = 0; i < CORE_SHA1_SIZE; i++)
        snprintf(out + 2 * i, 3, "%02x", digest[i]);
    out[CORE_SHA1_HEX_SIZE - 1] = 0;
    return out;
}
