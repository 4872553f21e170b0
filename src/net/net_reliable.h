// The reliable channel: numbered messages over datagrams, one in flight, resent every half
// second until acknowledged; messages arriving early wait in order. Both ends use it; it holds
// no socket and reads no clock (the caller passes the time in seconds).
#pragma once

#include <cstdint>

#include "net/net_packet.h"

enum {
    NET_OUT_MAX = 256,   // messages waiting to go out; producers wait when it is full
    NET_EARLY_MAX = 256, // the next numbers after the expected one that are kept
};

constexpr double NET_RESEND_SECONDS = 0.5;

struct net_message {
    uint32_t number;
    int type;
    int length;
    uint8_t body[NET_MESSAGE_MAX];
};

struct net_reliable {
    uint32_t next_out; // number of the next message queued
    uint32_t next_in;  // number of the next message expected
    net_message out[NET_OUT_MAX];
    int out_head, out_count;
    double next_send;                 // when the first waiting message goes (again); 0 at once
    net_message early[NET_EARLY_MAX]; // indexed by number mod NET_EARLY_MAX
    uint8_t early_held[NET_EARLY_MAX];
    int early_count;
};

void net_reliable_reset(net_reliable *r);
// Queues a message (body cut to NET_MESSAGE_MAX); 0 when the list is full.
int net_reliable_queue(net_reliable *r, int type, const void *body, int length);
int net_reliable_room(const net_reliable *r);
// The first waiting message when it is due at time now (and marks it sent); null otherwise.
const net_message *net_reliable_due(net_reliable *r, double now);
// An acknowledgement: removes the first waiting message when the number is its own.
void net_reliable_acked(net_reliable *r, uint32_t number);

typedef void (*net_message_handler)(void *ctx, int type, const uint8_t *body, int length);
// A received message. Returns 1 when it must be acknowledged (handled now, held early, or a
// copy of one already handled), 0 when it lies beyond the early window and is left unanswered
// so that the sender keeps resending it. Handles it and any held ones that follow in order.
int net_reliable_receive(net_reliable *r, uint32_t number, int type, const uint8_t *body,
                         int length, net_message_handler handle, void *ctx);
