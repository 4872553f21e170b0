// SHA-1 digests (track fingerprints, model checks, file transfer) over libmd.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>
#include <sha1.h>

enum { CORE_SHA1_SIZE = 20, CORE_SHA1_HEX_SIZE = 41 };

struct core_sha1_ctx {
    SHA1_CTX md;
};

void core_sha1_init(core_sha1_ctx *c);
void core_sha1_update(core_sha1_ctx *c, const void *data, size_t len);
void core_sha1_final(core_sha1_ctx *c, uint8_t out[CORE_SHA1_SIZE]);
// One call over a whole buffer.
void core_sha1(const void *data, size_t len, uint8_t out[CORE_SHA1_SIZE]);
// 40 lower-case hex digits and a terminating zero; returns out.
char *core_sha1_hex(const uint8_t digest[CORE_SHA1_SIZE], char out[CORE_SHA1_HEX_SIZE]);
