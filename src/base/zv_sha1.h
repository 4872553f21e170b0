// SHA-1 digests (track fingerprints, model checks, file transfer) over libmd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <sha1.h>

enum { ZV_SHA1_SIZE = 20, ZV_SHA1_HEX_SIZE = 41 };

struct zv_sha1_ctx {
    SHA1_CTX md;
};

void zv_sha1_init(zv_sha1_ctx *c);
void zv_sha1_update(zv_sha1_ctx *c, const void *data, size_t len);
void zv_sha1_final(zv_sha1_ctx *c, uint8_t out[ZV_SHA1_SIZE]);
// One call over a whole buffer.
void zv_sha1(const void *data, size_t len, uint8_t out[ZV_SHA1_SIZE]);
// 40 lower-case hex digits and a terminating zero; returns out.
char *zv_sha1_hex(const uint8_t digest[ZV_SHA1_SIZE], char out[ZV_SHA1_HEX_SIZE]);
