// The reliable channel of the race-server protocol.
#include "net/net_reliable.h"

#include <cstring>

void net_reliable_reset(net_reliable *r) {
    r->next_out = 0;
    r->next_in = 0;
    r->out_head = r->out_count = 0;
    r->next_send = 0;
    memset(r->early_held, 0, sizeof r->early_held);
    r->early_count = 0;
}

int net_reliable_room(const net_reliable *r) {
    return NET_OUT_MAX - r->out_count;
}

int net_reliable_queue(net_reliable *r, int type, const void *body, int length) {
    if (r->out_count >= NET_OUT_MAX) return 0;
    if (length < 0) length = 0;
    if (length > NET_MESSAGE_MAX) length = NET_MESSAGE_MAX;
    net_message *m = &r->out[(r->out_head + r->out_count) % NET_OUT_MAX];
    m->number = r->next_out++;
    m->type = type;
    m->length = length;
    if (length) memcpy(m->body, body, (size_t)length);
    if (r->out_count++ == 0) r->next_send = 0;
    return 1;
}

const net_message *net_reliable_due(net_reliable *r, double now) {
    if (!r->out_count || now < r->next_send) return nullptr;
    r->next_send = now + NET_RESEND_SECONDS;
    return &r->out[r->out_head];
}

void net_reliable_acked(net_reliable *r, uint32_t number) {
    if (!r->out_count || r->out[r->out_head].number != number) return;
    r->out_head = (r->out_head + 1) % NET_OUT_MAX;
    r->out_count--;
    r->next_send = 0; // the next one goes at the next step
}

int net_reliable_receive(net_reliable *r, uint32_t number, int type, const uint8_t *body,
                         int length, net_message_handler handle, void *ctx) {
    int32_t ahead = (int32_t)(number - r->next_in);
    if (ahead < 0) return 1; // handled before: only acknowledged
    if (length < 0) length = 0;
    if (length > NET_MESSAGE_MAX) length = NET_MESSAGE_MAX;
    if (ahead > 0) {
        if (ahead > NET_EARLY_MAX) return 0;
        int i = (int)(number % NET_EARLY_MAX);
        if (!r->early_held[i]) {
            net_message *m = &r->early[i];
            m->number = number;
            m->type = type;
            m->length = length;
            if (length) memcpy(m->body, body, (size_t)length);
            r->early_held[i] = 1;
            r->early_count++;
        }
        return 1;
    }
    r->next_in++;
    handle(ctx, type, body, length);
    for (;;) {
        int i = (int)(r->next_in % NET_EARLY_MAX);
        if (!r->early_held[i] || r->early[i].number != r->next_in) break;
        r->early_held[i] = 0;
        r->early_count--;
        r->next_in++;
        const net_message *m = &r->early[i];
        handle(ctx, m->type, m->body, m->length);
    }
    return 1;
}
