// The race-server packets: type numbers, lengths and the little-endian field codec shared by the
// game and the race server. No socket here: callers hand in bytes and get bytes back, so tests
// and fuzzers drive it directly. Packets come from the network: every reader is bounded.
#pragma once

#include <cstdint>

enum {
    NET_PORT = 19800,
    NET_PROTOCOL = 43,
    NET_VERSION = 6,
    NET_SLOTS = 160,
    NET_NO_SLOT = 160,
    NET_STATE = 39,         // compact bike state record
    NET_RECORD = 47,        // one record of a states packet: slot, lag, tic, state
    NET_STATES_HEAD = 17,   // type, session, server tic, echoed tic, record count
    NET_RELIABLE_MAX = 480, // a whole reliable packet
    NET_RELIABLE_HEAD = 14, // type, slot, key, number, message type
    NET_MESSAGE_MAX = NET_RELIABLE_MAX - NET_RELIABLE_HEAD, // 466 bytes of message body
    NET_DATAGRAM_MAX = 1400, // what the server puts in one states datagram
    NET_NAME_MAX = 127,      // server names
    NET_TYPE_MAX = 25,       // received types above this are ignored
};

// Packet types: client to server.
enum {
    NET_C_CONTACT = 0,
    NET_C_INFO = 3,
    NET_C_TRACK_ACK = 5,
    NET_C_BIKE_ACK = 7,
    NET_C_READY = 9,
    NET_C_STATE = 11,
    NET_C_RESTART_REQUEST = 13,
    NET_C_RESTART_ACK = 14,
    NET_C_DISCONNECT = 15,
    NET_C_RELIABLE = 17,
    NET_C_ACK = 18,
};

// Packet types: server to client.
enum {
    NET_S_FULL = 1,
    NET_S_WELCOME = 2,
    NET_S_RACE = 4,
    NET_S_RIDER = 6,
    NET_S_OWN_RIDER = 8,
    NET_S_CLOCK = 10,
    NET_S_STATES = 11,
    NET_S_IGNORED = 13,
    NET_S_RESTART = 14,
    NET_S_DISCONNECT = 15,
    NET_S_TEXT = 16,
    NET_S_RELIABLE = 17,
    NET_S_ACK = 18,
    NET_S_REFER = 25,
};

// Reliable message types.
enum {
    NET_M_RIDER = 3,      // client: our rider description
    NET_M_CHAT = 19,      // server: console text
    NET_M_ALIVE = 20,     // both: keepalive
    NET_M_PROGRESS = 21,  // lap progress
    NET_M_COMMAND = 24,   // client: console text; server: a server command
    NET_M_STROKE = 27,    // erosion stroke with its session
    NET_M_VERSION = 30,   // server asks, client answers
    NET_M_ALIVE_ACK = 31, // answer to the server's keepalive
    NET_M_SCRIPT = 32,    // server: "session command" for the track script
};

// The sizes of the fixed client packets, and of the keepalive texts.
enum {
    NET_CONTACT_LEN = 21,
    NET_INFO_HEAD = 41,
    NET_ACK3_LEN = 13, // slot, key, one value (5, 9, 13, 14, 18)
    NET_BIKE_ACK_LEN = 17,
    NET_STATE_LEN = 60,
    NET_DISCONNECT_LEN = 9,
};
extern const char NET_ALIVE_TEXT[];     // "Hello server, I'm still here!" (29 bytes sent)
extern const char NET_ALIVE_ACK_TEXT[]; // "Roger that!  Still alive!" (25 bytes sent)

uint32_t net_get32(const uint8_t *p);
uint16_t net_get16(const uint8_t *p);
void net_put32(uint8_t *p, uint32_t v);
void net_put16(uint8_t *p, uint16_t v);

// The least length a packet of this type needs before any of its fields is read; -1 for a type
// the receiver does not know. to_client picks the direction.
int net_min_length(int type, int to_client);
// 1 when a packet may be handled: not empty, a known type, at least its least length.
int net_packet_ok(const uint8_t *p, int len, int to_client);

// Builders. Each writes into out (room for the packet) and returns the length.
int net_build3(uint8_t *out, int type, uint32_t slot, uint32_t key, uint32_t value);
int net_build_contact(uint8_t *out, int password_set, uint32_t id_a, uint32_t client_id,
                      uint32_t id_b);
// Client info with the rider description; the text is cut to fit a datagram of 1024 bytes.
int net_build_info(uint8_t *out, uint32_t slot, uint32_t key, uint32_t proof, uint32_t id_a,
                   uint32_t client_id, const uint8_t credentials[20], const char *rider);
int net_build_bike_ack(uint8_t *out, uint32_t slot, uint32_t key, uint32_t session,
                       uint32_t highest);
int net_build_state(uint8_t *out, uint32_t slot, uint32_t key, uint32_t session, int32_t server_tic,
                    int32_t tic, const uint8_t state[NET_STATE]);
int net_build_disconnect(uint8_t *out, uint32_t slot, uint32_t key);
// Client reliable packet: body cut so that the packet stays within 480 bytes.
int net_build_reliable_c(uint8_t *out, uint32_t slot, uint32_t key, uint32_t number, int mtype,
                         const uint8_t *body, int len);
// Server reliable packet (no slot and key) and acknowledgement.
int net_build_reliable_s(uint8_t *out, uint32_t number, int mtype, const uint8_t *body, int len);
int net_build_ack_s(uint8_t *out, uint32_t number);

// The password proof: the first four bytes of SHA-1(password, key as 4 little-endian bytes)
// taken in reverse order; 0 without a password.
uint32_t net_password_proof(const char *password, uint32_t key);

// Copies at most max characters of text from a packet into out (size max + 1), stopping at a
// zero byte; control characters other than newline and tab become spaces.
void net_copy_text(char *out, int max, const uint8_t *p, int len);
