// Datagrams from anyone, handled by the race server: input byte 0 picks one of four senders for
// each packet, then (16-bit length, bytes); the clock moves a tic per packet. Sent files land in
// a scratch folder so that the transfer commands are reached too.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tools/zvserver/zvserver.h"

namespace {
void drop_packet(void *, uint32_t, uint16_t, const uint8_t *, int) {}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static zvserver s;
    static int ready;
    if (!ready) {
        zvserver_config cfg;
        zvserver_config_defaults(&cfg);
        cfg.max_clients = 4;
        cfg.upload_max_kb = 4;
        char tmpl[] = "/tmp/zv_fuzz_upload_XXXXXX";
        if (mkdtemp(tmpl)) snprintf(cfg.upload_dir, sizeof cfg.upload_dir, "%s", tmpl);
        zvserver_init(&s, &cfg);
        s.log = nullptr;
        s.send = drop_packet;
        snprintf(s.track_dir, sizeof s.track_dir, "tracks/pinehollow");
        ready = 1;
    }
    for (int i = 0; i < s.cfg.max_clients; i++)
        zvserver_upload_drop(&s, &s.clients[i]);
    memset(s.clients, 0, sizeof(zvserver_client) * (size_t)s.cfg.max_clients);
    s.session = 1;
    s.tic = 0;
    s.tic_start = 1.0;
    s.rng = 1; // keys are 1 | random: a fixed seed lets the fuzzer find them
    double now = 1.0;
    size_t off = 0;
    while (off + 3 <= size) {
        uint16_t port = (uint16_t)(1 + data[off] % 4);
        size_t n = (size_t)(data[off + 1] | data[off + 2] << 8);
        off += 3;
        if (n > size - off) n = size - off;
        zvserver_handle(&s, 0x0100007f, port, data + off, (int)n, now);
        now += 1.0 / 128;
        zvserver_update(&s, now);
        off += n;
    }
    return 0;
}
