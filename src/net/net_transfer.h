// Sending a file to the race server: the file comes from the "outgoing" folder and travels as
// console text messages (sendfile, sendpart parts of 256 bytes, namefile) over the reliable
// channel, paced at four parts a second once the server said it is ready.
#pragma once

struct data_file;

enum {
    NET_SEND_NAME_MAX = 1013, // characters of a file name
    NET_SEND_PART = 256,      // file bytes in one part
};

constexpr double NET_SEND_PART_SECONDS = 0.25;

struct net_transfer_state {
    data_file *file; // the file being sent, or null
    char name[NET_SEND_NAME_MAX + 1];
    double next_part;
    int server_ready; // set by "sendready", cleared by "senddenied" and by a new offer
};

extern net_transfer_state net_transfer;

// The console's sendfile: `args` is the text after the command; its first word names a file of
// "@outgoing/". Checks the name, closes a transfer in progress, opens the file and offers it to
// the server; every outcome is a console message. 1 when the file was offered.
int net_sendfile(const char *args);
// The server's answers to an offer.
void net_transfer_ready(void);
void net_transfer_denied(void);
// Once per network step while connected: the next part when the server is ready and it is due.
void net_transfer_step(double now);
