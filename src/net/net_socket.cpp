// A non-blocking UDP socket to one server.
#include "net/net_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/zv_message.h"
#include "net/net_client.h"
#include "net/net_packet.h"

namespace {
int g_fd = -1;
sockaddr_in g_server;

void socket_send(const uint8_t *bytes, int length) {
    if (g_fd < 0 || length <= 0) return;
    if (sendto(g_fd, bytes, (size_t)length, 0, (const sockaddr *)&g_server, sizeof g_server) < 0 &&
        errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
        zv_message_add("sendto error (%.100s)", net_socket_error_name(errno));
}
} // namespace

const char *net_socket_error_name(int err) {
    const char *name = strerrorname_np(err);
    if (name) return name;
    static char number[16];
    snprintf(number, sizeof number, "%d", err);
    return number;
}

net_socket_result net_socket_open(const char *host, int port) {
    net_socket_close();
    addrinfo hints = {}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return NET_SOCKET_NO_ADDRESS;
    memcpy(&g_server, found->ai_addr, sizeof g_server);
    g_server.sin_port = htons((uint16_t)port);
    freeaddrinfo(found);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return NET_SOCKET_NO_SOCKET;
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        close(fd);
        return NET_SOCKET_NO_SOCKET;
    }
    g_fd = fd;
    net_transmit = socket_send;
    return NET_SOCKET_OK;
}

void net_socket_close(void) {
    if (g_fd >= 0) close(g_fd);
    g_fd = -1;
    if (net_transmit == socket_send) net_transmit = nullptr;
}

int net_socket_is_open(void) {
    return g_fd >= 0;
}

int net_socket_poll(void (*receive)(const uint8_t *bytes, int length)) {
    int n = 0;
    while (g_fd >= 0) {
        uint8_t buf[NET_PACKET_MAX];
        sockaddr_in from;
        socklen_t from_len = sizeof from;
        ssize_t got = recvfrom(g_fd, buf, sizeof buf, 0, (sockaddr *)&from, &from_len);
        if (got < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                zv_message_add("%s", net_socket_error_name(errno));
            break;
        }
        // Only the server speaks to us; empty datagrams carry nothing.
        if (got == 0 || from.sin_addr.s_addr != g_server.sin_addr.s_addr ||
            from.sin_port != g_server.sin_port)
            continue;
        receive(buf, (int)got);
        n++;
    }
    return n;
}
