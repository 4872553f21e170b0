// Packets from a race server, handled by the client's state machine in every handshake state:
// input byte 0 picks the state, then packets follow as (16-bit length, bytes).
#include <cstdint>
#include <cstring>

#include "net/net_client.h"
#include "race/race.h"

namespace {
void drop_packet(const uint8_t *, int) {}
double fixed_clock(void) {
    return 5.0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    net_transmit = drop_packet;
    net_clock = fixed_clock;
    net_client_open(7);
    static const int states[] = {NET_CONTACTING, NET_INTRODUCED, NET_TRACK_KNOWN, NET_RIDERS,
                                 NET_LOADED,     NET_RACING,     NET_RESTARTING,  NET_FAILED};
    net_client.state = states[data[0] % 8];
    net_client.slot = data[0] & 8 ? NET_NO_SLOT : 3;
    net_client.session = 1;
    size_t off = 1;
    while (off + 2 <= size && net_client.open) {
        size_t n = (size_t)(data[off] | data[off + 1] << 8);
        off += 2;
        if (n > size - off) n = size - off;
        net_client_handle(data + off, (int)n);
        net_client_send(5.0);
        off += n;
    }
    net_client_close();
    return 0;
}
