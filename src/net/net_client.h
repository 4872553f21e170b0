// The game's side of a race-server connection: the handshake that ends with the server's track
// loaded and checked, the clock kept in step with the server's, bike states every fourth tic,
// reliable messages both ways and the server's commands. One connection per process.
#pragma once

#include <cstdint>

#include "net/net_packet.h"
#include "net/net_reliable.h"

enum net_state {
    NET_CONTACTING = 0,
    NET_INTRODUCED = 3,
    NET_TRACK_KNOWN = 5,
    NET_RIDERS = 7,
    NET_LOADED = 9,
    NET_RACING = 11,
    NET_RESTARTING = 14,
    NET_FAILED = 15,
};

enum {
    NET_FAKE_QUEUE = 1024,
    NET_PACKET_MAX = 2048,
    NET_SCRIPT_QUEUE = 16,
    NET_MODEL_NAME = 64,
    NET_TIC_MAX = 1 << 26, // server tics beyond this (over 145 hours) are not believed
    NET_FUTURE_TICS = 512, // a state this far ahead of the server's clock is refused
};

struct net_remote_rider {
    char model[NET_MODEL_NAME];
    char number[8];
    char name[64];
};

struct net_fake_packet {
    double arrival;
    int length;
    uint8_t bytes[NET_PACKET_MAX];
};

struct net_client_state {
    int open; // a connection exists (socket, or a test's transport)
    char target[NET_NAME_MAX + 1];
    int state;
    int slot;
    int lineup[NET_SLOTS];
    int gate_drop_tic;
    int time_limit, laps;
    uint8_t fingerprint[20];
    char track_dir[256];
    int race_slot;
    int highest; // highest rider received, NET_NO_SLOT for none
    uint32_t key, session, client_id;
    double last_send;
    net_reliable rel;
    int server_tic_seen;
    int server_tic;
    int estimate;
    int lag;
    int slot_lag[NET_SLOTS];
    int last_state_tic[NET_SLOTS];
    int heard_tic[NET_SLOTS];
    net_remote_rider riders[NET_SLOTS];
    char redirect[NET_NAME_MAX + 1];
    double redirect_time; // 0 when none pending
    int redirect_due;
    int progress_sent;
    double next_alive;
    double next_rider_check;
    char rider_sent[NET_MESSAGE_MAX + 1];
    // Script messages wait here until a track script takes them.
    char script_queue[NET_SCRIPT_QUEUE][NET_MESSAGE_MAX + 1];
    int script_count;
    // Fake lag and loss of the receiving side.
    net_fake_packet *fake; // NET_FAKE_QUEUE entries, made when first needed
    int fake_head, fake_count;
    uint32_t fake_rng;
    int reached_racing;  // the race state was reached in this connection
    double racing_since; // net clock when it was first reached
    int races_started;   // races of this connection (restarts start another)
};

extern net_client_state net_client;

// What the program provides; set at start-up. Every entry may be null.
struct net_program_calls {
    // Loads the server's track with the network lineup; 1 when a track is loaded.
    int (*load_track)(const int *lineup, int time_limit, int laps);
    void (*set_erosion_rate)(int rate); // the loop's erosion rate; -1 restores the offline one
    const char *(*renderer)(void);      // the graphics renderer for the version report
    int (*setup_page_open)(void);       // the bike setup page or a list page is showing
    const char *password;
    float fake_lag; // seconds, 0..1
    int fake_loss;  // percent, 0..100
};
extern net_program_calls net_program;

// How packets leave; the socket installs its own when a connection opens.
extern void (*net_transmit)(const uint8_t *bytes, int length); // seam: tests capture packets
// Called as a connection closes, while the race and its ground are still there; and the time
// in seconds that paces resends and handshakes (the platform clock by default).
extern void (*net_close_tap)(void); // seam: tests read what the connection left behind
extern double (*net_clock)(void);   // seam: tests and fuzzers run the clock

// ---- the calls of the menus, the command line and the loop -----------------------------------
// Sets the target to connect to; the next network step connects. "zelvo:" before the name is
// removed. The menu's Connect and --connect both call this.
void net_connect_request(const char *address);
// The menu's Disconnect: closes at once while contacting ("Disconnected"), else asks the
// server to end the connection (state 15) and closes when it answers.
void net_disconnect_request(void);
// Sends packet 15 ("Disconnecting") and clears the connection.
void net_disconnect(void);
void net_request_restart(void);
// The network step, once per tic: connects, receives, handles, sends.
void net_update(void);
// Appends a reliable message; "Not connected to server" without a connection. 0 when the
// outgoing list is full (the caller tries again later).
int net_send_reliable(int type, const void *body, int length);
int net_connected(void);
// Splits "host[:port]" at the last ':'; a part after it that is not a decimal port leaves the
// whole name as the host. Returns the port (NET_PORT by default).
int net_split_address(const char *name, char *host, int host_size);

// ---- the state machine, without a socket ---------------------------------------------------
// Opens the connection record (state 0, client id) as connecting does after the socket exists.
void net_client_open(uint32_t client_id);
// Closes the record: slot, key, session, numbers, race options back to their defaults.
void net_client_close(void);
// One packet from the server (already filtered by address).
void net_client_handle(const uint8_t *p, int len);
// One received datagram through the fake lag and loss queue.
void net_client_receive(const uint8_t *p, int len, double now);
// Sends what the state asks for at time now (handshake, state, keepalive, reliable).
void net_client_send(double now);
// Handles one reliable message from the server (also used by tests).
void net_client_message(int type, const uint8_t *body, int length);
// A server command of a message 24.
void net_client_command(const char *text);

// Installs the network into the loop's hooks, race control, erosion and the track loader.
void net_install(void);
