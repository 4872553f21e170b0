// File sending: name checks, the offer, the parts and the closing name message.
#include "net/net_transfer.h"

#include <cstdio>
#include <cstring>

#include "base/zv_message.h"
#include "data/data_file.h"
#include "net/net_client.h"

net_transfer_state net_transfer;

namespace {

const char PART_PREFIX[] = "sendpart -"; // 10 characters, then the raw bytes

void close_file(void) {
    if (net_transfer.file) data_close(net_transfer.file);
    net_transfer.file = nullptr;
}

int name_char_ok(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.';
}

} // namespace

int net_sendfile(const char *args) {
    if (!args) args = "";
    args += strspn(args, " \t");
    size_t n = strcspn(args, " \t\r\n");
    for (size_t i = 0; i < n; i++) {
        if (!name_char_ok(args[i])) {
            zv_message_add("Filename may only contain alphanumeric characters, '_' or '.'");
            return 0;
        }
    }
    // The name travels in one message after "namefile ": a longer one would arrive cut.
    if (n > NET_SEND_NAME_MAX || n > (size_t)NET_MESSAGE_MAX - 9) {
        zv_message_add("Filename too long");
        return 0;
    }
    if (net_transfer.file) {
        zv_message_add("Stopping previous transfer");
        close_file();
    }
    char path[NET_SEND_NAME_MAX + 16];
    snprintf(path, sizeof path, "@outgoing/%.*s", (int)n, args);
    // An empty name, or "." and "..", would name the folder itself.
    data_file *f = n && strspn(args, ".") < n ? data_open(path, "rb") : nullptr;
    if (!f) {
        zv_message_add("Can't open file");
        return 0;
    }
    memcpy(net_transfer.name, args, n);
    net_transfer.name[n] = 0;
    net_transfer.file = f;
    net_transfer.next_part = 0;
    // Each offer waits for its own "sendready", so a server that refuses it gets no parts.
    net_transfer.server_ready = 0;
    if (net_send_reliable(NET_M_COMMAND, "sendfile", 8)) zv_message_add("Sending file");
    return 1;
}

void net_transfer_ready(void) {
    net_transfer.server_ready = 1;
}

void net_transfer_denied(void) {
    net_transfer.server_ready = 0;
    zv_message_add("Send file denied");
    close_file();
}

void net_transfer_step(double now) {
    if (!net_transfer.file || !net_transfer.server_ready || now < net_transfer.next_part) return;
    // The part is read only when there is room for it, so no byte is read and then lost.
    if (!net_connected() || net_reliable_room(&net_client.rel) < 2) return;
    net_transfer.next_part = now + NET_SEND_PART_SECONDS;
    uint8_t body[sizeof PART_PREFIX - 1 + NET_SEND_PART];
    memcpy(body, PART_PREFIX, sizeof PART_PREFIX - 1);
    int got = data_read(net_transfer.file, body + sizeof PART_PREFIX - 1, NET_SEND_PART);
    if (got > 0) {
        net_send_reliable(NET_M_COMMAND, body, (int)(sizeof PART_PREFIX - 1) + got);
        return;
    }
    close_file();
    char text[NET_SEND_NAME_MAX + 16];
    int len = snprintf(text, sizeof text, "namefile %s", net_transfer.name);
    net_send_reliable(NET_M_COMMAND, text, len);
}
