// Archive packing and gzip compression for the generated data.
#include <climits>
#include <cstdio>
#include <cstring>
#include <zlib.h>

#include "base/zv_alloc.h"
#include "platform/platform.h"
#include "zvgen.h"

int zvgen_pack(const zvgen_member *members, int count, uint8_t **out, size_t *out_len) {
    *out = nullptr;
    *out_len = 0;
    size_t header = 2, body = 0; // "-\n"
    char line[1100];
    for (int i = 0; i < count; i++) {
        int n = snprintf(line, sizeof line, "%zu %s\n", members[i].len, members[i].name);
        // The reader takes lines below 1024 bytes and 32-bit offsets.
        if (n < 0 || n >= 1023 || strchr(members[i].name, '\n')) {
            platform_log("zvgen: member name too long: %.200s\n", members[i].name);
            return 0;
        }
        header += (size_t)n;
        body += members[i].len;
    }
    if (header + body > INT32_MAX) {
        platform_log("zvgen: archive too large\n");
        return 0;
    }
    uint8_t *buf = (uint8_t *)zv_alloc(header + body + 1);
    size_t pos = 0;
    for (int i = 0; i < count; i++)
        pos += (size_t)snprintf((char *)buf + pos, header + 1 - pos, "%zu %s\n", members[i].len,
                                members[i].name);
    memcpy(buf + pos, "-\n", 2);
    pos += 2;
    for (int i = 0; i < count; i++) {
        if (members[i].len) memcpy(buf + pos, members[i].bytes, members[i].len);
        pos += members[i].len;
    }
    *out = buf;
    *out_len = pos;
    return 1;
}

int zvgen_gzip(const void *bytes, size_t len, uint8_t **out, size_t *out_len) {
    *out = nullptr;
    *out_len = 0;
    if (len > UINT_MAX) return 0;
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    size_t bound = deflateBound(&z, (uLong)len);
    uint8_t *buf = (uint8_t *)zv_alloc(10 + bound + 8);
    // Magic, deflate, no flags, time 0, maximum compression, system unknown.
    static const uint8_t header[10] = {31, 139, 8, 0, 0, 0, 0, 0, 2, 255};
    memcpy(buf, header, 10);
    z.next_in = (Bytef *)bytes;
    z.avail_in = (uInt)len;
    z.next_out = buf + 10;
    z.avail_out = (uInt)bound;
    int ret = deflate(&z, Z_FINISH);
    size_t produced = bound - z.avail_out;
    deflateEnd(&z);
    if (ret != Z_STREAM_END) {
        zv_free(buf);
        return 0;
    }
    uint32_t crc = (uint32_t)crc32(0, (const Bytef *)bytes, (uInt)len);
    uint32_t size = (uint32_t)len;
    uint8_t *t = buf + 10 + produced;
    for (int i = 0; i < 4; i++) {
        t[i] = (uint8_t)(crc >> (8 * i));
        t[4 + i] = (uint8_t)(size >> (8 * i));
    }
    *out = buf;
    *out_len = 10 + produced + 8;
    return 1;
}
