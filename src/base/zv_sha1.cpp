#include "base/zv_sha1.h"

#include <cstdio>

void zv_sha1_init(zv_sha1_ctx *c) {
    SHA1Init(&c->md);
}

void zv_sha1_update(zv_sha1_ctx *c, const void *data, size_t len) {
    // libmd takes the length as size_t but a null pointer with zero length is still a pointer
    // it may touch; skip empty updates.
    if (len) SHA1Update(&c->md, (const uint8_t *)data, len);
}

void zv_sha1_final(zv_sha1_ctx *c, uint8_t out[ZV_SHA1_SIZE]) {
    SHA1Final(out, &c->md);
}

void zv_sha1(const void *data, size_t len, uint8_t out[ZV_SHA1_SIZE]) {
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    zv_sha1_update(&c, data, len);
    zv_sha1_final(&c, out);
}

char *zv_sha1_hex(const uint8_t digest[ZV_SHA1_SIZE], char out[ZV_SHA1_HEX_SIZE]) {
    for (int i = 0; i < ZV_SHA1_SIZE; i++)
        snprintf(out + 2 * i, 3, "%02x", digest[i]);
    out[ZV_SHA1_HEX_SIZE - 1] = 0;
    return out;
}
