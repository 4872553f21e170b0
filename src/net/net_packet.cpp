// Packet fields and lengths of the race-server protocol.
#include "net/net_packet.h"

#include <cstring>

#include "base/zv_sha1.h"

const char NET_ALIVE_TEXT[] = "Hello server, I'm still here!";
const char NET_ALIVE_ACK_TEXT[] = "Roger that!  Still alive!";

uint32_t net_get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
uint16_t net_get16(const uint8_t *p) {
    return (uint16_t)(p[0] | p[1] << 8);
}
void net_put32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}
void net_put16(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

int net_min_length(int type, int to_client) {
    if (to_client) {
        switch (type) {
        case NET_S_FULL:
        case NET_S_IGNORED:
        case NET_S_DISCONNECT:
        case NET_S_TEXT:
            return 1;
        case NET_S_WELCOME:
            return 13;
        case NET_S_RACE:
            return 37;
        case NET_S_RIDER:
        case NET_S_OWN_RIDER:
            return 9;
        case NET_S_CLOCK:
            return 13;
        case NET_S_STATES:
            return NET_STATES_HEAD;
        case NET_S_RESTART:
            return 5;
        case NET_S_RELIABLE:
            return 6;
        case NET_S_ACK:
        case NET_S_REFER:
            return 5;
        default:
            return -1;
        }
    }
    switch (type) {
    case NET_C_CONTACT:
        return NET_CONTACT_LEN;
    case NET_C_INFO:
        return NET_INFO_HEAD;
    case NET_C_TRACK_ACK:
    case NET_C_READY:
    case NET_C_RESTART_REQUEST:
    case NET_C_RESTART_ACK:
    case NET_C_ACK:
        return NET_ACK3_LEN;
    case NET_C_BIKE_ACK:
        return NET_BIKE_ACK_LEN;
    case NET_C_STATE:
        return NET_STATE_LEN;
    case NET_C_DISCONNECT:
        return NET_DISCONNECT_LEN;
    case NET_C_RELIABLE:
        return NET_RELIABLE_HEAD;
    default:
        return -1;
    }
}

int net_packet_ok(const uint8_t *p, int len, int to_client) {
    if (!p || len <= 0) return 0;
    int need = net_min_length(p[0], to_client);
    return need > 0 && len >= need;
}

int net_build3(uint8_t *out, int type, uint32_t slot, uint32_t key, uint32_t value) {
    out[0] = (uint8_t)type;
    net_put32(out + 1, slot);
    net_put32(out + 5, key);
    net_put32(out + 9, value);
    return NET_ACK3_LEN;
}

int net_build_contact(uint8_t *out, int password_set, uint32_t id_a, uint32_t client_id,
                      uint32_t id_b) {
    out[0] = NET_C_CONTACT;
    net_put32(out + 1, password_set ? 1 : 0);
    net_put32(out + 5, id_a);
    net_put32(out + 9, NET_PROTOCOL);
    net_put32(out + 13, client_id);
    net_put32(out + 17, id_b);
    return NET_CONTACT_LEN;
}

int net_build_info(uint8_t *out, uint32_t slot, uint32_t key, uint32_t proof, uint32_t id_a,
                   uint32_t client_id, const uint8_t credentials[20], const char *rider) {
    out[0] = NET_C_INFO;
    net_put32(out + 1, slot);
    net_put32(out + 5, key);
    net_put32(out + 9, proof);
    net_put32(out + 13, id_a);
    net_put32(out + 17, client_id);
    memcpy(out + 21, credentials, 20);
    size_t n = rider ? strlen(rider) : 0;
    if (n > 982) n = 982;
    if (n) memcpy(out + NET_INFO_HEAD, rider, n);
    return NET_INFO_HEAD + (int)n;
}

int net_build_bike_ack(uint8_t *out, uint32_t slot, uint32_t key, uint32_t session,
                       uint32_t highest) {
    net_build3(out, NET_C_BIKE_ACK, slot, key, session);
    net_put32(out + 13, highest);
    return NET_BIKE_ACK_LEN;
}

int net_build_state(uint8_t *out, uint32_t slot, uint32_t key, uint32_t session, int32_t server_tic,
                    int32_t tic, const uint8_t state[NET_STATE]) {
    net_build3(out, NET_C_STATE, slot, key, session);
    net_put32(out + 13, (uint32_t)server_tic);
    net_put32(out + 17, (uint32_t)tic);
    memcpy(out + 21, state, NET_STATE);
    return NET_STATE_LEN;
}

int net_build_disconnect(uint8_t *out, uint32_t slot, uint32_t key) {
    out[0] = NET_C_DISCONNECT;
    net_put32(out + 1, slot);
    net_put32(out + 5, key);
    return NET_DISCONNECT_LEN;
}

int net_build_reliable_c(uint8_t *out, uint32_t slot, uint32_t key, uint32_t number, int mtype,
                         const uint8_t *body, int len) {
    if (len < 0) len = 0;
    if (len > NET_MESSAGE_MAX) len = NET_MESSAGE_MAX;
    net_build3(out, NET_C_RELIABLE, slot, key, number);
    out[13] = (uint8_t)mtype;
    if (len) memcpy(out + NET_RELIABLE_HEAD, body, (size_t)len);
    return NET_RELIABLE_HEAD + len;
}

int net_build_reliable_s(uint8_t *out, uint32_t number, int mtype, const uint8_t *body, int len) {
    if (len < 0) len = 0;
    if (len > NET_MESSAGE_MAX) len = NET_MESSAGE_MAX;
    out[0] = NET_S_RELIABLE;
    net_put32(out + 1, number);
    out[5] = (uint8_t)mtype;
    if (len) memcpy(out + 6, body, (size_t)len);
    return 6 + len;
}

int net_build_ack_s(uint8_t *out, uint32_t number) {
    out[0] = NET_S_ACK;
    net_put32(out + 1, number);
    return 5;
}

uint32_t net_password_proof(const char *password, uint32_t key) {
    if (!password || !password[0]) return 0;
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    zv_sha1_update(&c, password, strlen(password));
    uint8_t k[4];
    net_put32(k, key);
    zv_sha1_update(&c, k, 4);
    uint8_t d[ZV_SHA1_SIZE];
    zv_sha1_final(&c, d);
    return (uint32_t)d[3] | (uint32_t)d[2] << 8 | (uint32_t)d[1] << 16 | (uint32_t)d[0] << 24;
}

void net_copy_text(char *out, int max, const uint8_t *p, int len) {
    int n = 0;
    for (int i = 0; i < len && n < max && p[i]; i++) {
        char c = (char)p[i];
        out[n++] = (p[i] < 32 && c != '\n' && c != '\t') ? ' ' : c;
    }
    out[n] = 0;
}
