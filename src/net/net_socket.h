// The UDP socket of a server connection: name look-up, a non-blocking socket, sends to the
// server and receives only what comes from the server's address and port.
#pragma once

#include <cstdint>

enum net_socket_result { NET_SOCKET_OK = 0, NET_SOCKET_NO_ADDRESS, NET_SOCKET_NO_SOCKET };

// Resolves host (first IPv4 address) and opens the socket; the transmit seam then sends to it.
net_socket_result net_socket_open(const char *host, int port);
void net_socket_close(void);
int net_socket_is_open(void);
// Hands every waiting datagram from the server to receive; returns how many.
int net_socket_poll(void (*receive)(const uint8_t *bytes, int length));
// The symbolic name of an errno value ("ECONNREFUSED"), or its number.
const char *net_socket_error_name(int err);
