// zvserver: the race server. It admits game clients over UDP, hands out slots, sends each the
// race, the other riders and its own rider, keeps the race clock (128 tics a second), relays
// states, chat, strokes, script messages and lap progress, and runs restarts and sessions.
// The logic here has no socket: packets come in through zvserver_handle and leave through the
// send call of the server record, so tests and fuzzers drive it directly.
#pragma once

#include <cstdint>
#include <cstdio>

#include "net/net_packet.h"
#include "net/net_reliable.h"

enum {
    ZVSERVER_MAX_CLIENTS = 160,
    ZVSERVER_TRACKS = 16,
    ZVSERVER_TEXT = 256,
    ZVSERVER_RIDER_TEXT = 983,
};

struct zvserver_config {
    int port;
    char password[ZVSERVER_TEXT];
    char tracks[ZVSERVER_TRACKS][ZVSERVER_TEXT]; // the rotation, in order
    int track_count;
    int laps;
    int time_limit_minutes;
    int max_clients;  // 1..160
    int erosion_rate; // 1024 x the erosion factor; 0 keeps the ground as it is
    int knockout[16];
    int knockout_count;
    float off_course_bias, off_course_scale;
    int arcade;
    int start_seconds;   // from a session's start to the gate drop
    int timeout_seconds; // a client silent this long is dropped
    int finish_seconds;  // after the winner's finish, the session ends this much later
    int session_seconds; // a session ends after this long whatever happened; 0 never
    int verbose;
    char upload_dir[ZVSERVER_TEXT]; // where sent files land; empty refuses them
    int upload_max_kb;              // the largest file taken
};

enum zvserver_stage {
    ZVS_FREE = 0,
    ZVS_WELCOMED,   // slot and key given, waiting for the client info
    ZVS_RACE_SENT,  // the race went out, waiting for its acknowledgement
    ZVS_RIDERS,     // sending the other riders
    ZVS_OWN_SENT,   // the client's own rider went out, waiting for ready
    ZVS_RACING,     // in the race: clock and states
    ZVS_RESTARTING, // a new session was announced
};

struct zvserver_client {
    int stage;
    uint32_t addr; // network order
    uint16_t port; // network order
    uint32_t key, client_id;
    uint32_t session;
    int race_slot;
    int rider_sent; // highest other slot sent, -1 none
    char rider[ZVSERVER_RIDER_TEXT];
    char name[64];
    uint8_t state[NET_STATE];
    int have_state, state_tic, echo_tic, lag;
    double last_heard;
    int restart_vote;
    int options_sent; // the session's race options went out
    int progress, progress_tic;
    int overflow_logged;
    FILE *upload;      // the file being received, or null
    long upload_bytes; // bytes of it so far
    net_reliable rel;
};

struct zvserver {
    zvserver_config cfg;
    zvserver_client *clients; // cfg.max_clients records
    uint32_t session;
    int tic;          // tics since the session began
    double tic_start; // time of tic 0
    int gate_drop_tic;
    int track; // index in the rotation
    char track_dir[ZVSERVER_TEXT];
    uint8_t fingerprint[20];
    int finish_tic;       // tic of the winner's finish, -1 while nobody finished
    int finish_positions; // gate positions that finish the race; 0 unknown
    // A rider joined the grid after others had their rider lists: the session starts again
    // (once nobody is in the middle of receiving riders) so that everyone sees everyone.
    int restart_pending;
    uint32_t rng;
    // Where packets go; the program's socket or a test's capture.
    void (*send)(void *ctx, uint32_t addr, uint16_t port, const uint8_t *bytes, int length);
    void *send_ctx;
    // Log lines go here (standard error in the program).
    FILE *log;
    // Counters for the load figures.
    uint64_t packets_in, packets_out, bytes_out;
};

void zvserver_config_defaults(zvserver_config *c);
// key=value lines ('#' comments); 1 on success, else *line has the bad line's number.
int zvserver_config_text(zvserver_config *c, const char *text, int *line);
int zvserver_config_file(zvserver_config *c, const char *path);
// The command line over the configuration; 1 to run, 0 to exit with *code.
int zvserver_parse_args(zvserver_config *c, int argc, char **argv, int *code);

// Creates the client table; the track fingerprint and directory are set by the caller (or by
// zvserver_load_track). 0 when memory ran out.
int zvserver_init(zvserver *s, const zvserver_config *cfg);
void zvserver_free(zvserver *s);
// Loads rotation entry i through the game's track loader; 1 when loaded.
int zvserver_load_track(zvserver *s, int i);
// One datagram from addr:port at time now.
void zvserver_handle(zvserver *s, uint32_t addr, uint16_t port, const uint8_t *p, int len,
                     double now);
// Runs the clock up to time now: one step per tic (states every 4th), resends, time-outs.
void zvserver_update(zvserver *s, double now);
// A new session on the next track of the rotation: every client is told to restart.
void zvserver_restart(zvserver *s, double now);
// Every client is told the server goes away.
void zvserver_shutdown(zvserver *s);
int zvserver_client_count(const zvserver *s);
// A client's console text that belongs to a file transfer (sendfile, sendpart, namefile): 1
// when it was one and has been handled, 0 for chat.
int zvserver_upload_text(zvserver *s, zvserver_client *c, const uint8_t *b, int len);
// Drops the file a client was sending (it leaves, or a new offer replaces it).
void zvserver_upload_drop(zvserver *s, zvserver_client *c);
void zvserver_log(zvserver *s, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
