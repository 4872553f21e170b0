// zvload: simulated riders for measuring a race server. Each rider goes through the handshake
// as the game does, then sends a bike state 32 times a second and acknowledges every reliable
// message, for the given time. Reports what came back per rider, how many were dropped, and the
// server's CPU use when given its process id.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "net/net_packet.h"

namespace {

double now_seconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

struct rider {
    int fd;
    int stage; // 0 contact, 3 info, 5 track ack, 7 bike ack, 9 ready, 11 racing, 15 dropped
    uint32_t slot, key, session;
    int highest;
    int server_tic, tic;
    double last_send;
    long long bytes_in, packets_in;
};

double cpu_seconds(int pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE *f = fopen(path, "r");
    if (!f) return -1;
    char buf[1024];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char *p = strrchr(buf, ')');
    unsigned long ut = 0, st = 0;
    if (!p || sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ut, &st) != 2)
        return -1;
    return (double)(ut + st) / (double)sysconf(_SC_CLK_TCK);
}

void send_to(rider *r, const sockaddr_in *to, const uint8_t *b, int n) {
    sendto(r->fd, b, (size_t)n, 0, (const sockaddr *)to, sizeof *to);
}

} // namespace

int main(int argc, char **argv) {
    int count = 40, port = NET_PORT, pid = 0;
    double seconds = 60;
    const char *host = "127.0.0.1";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--riders")) count = atoi(argv[i + 1]);
        if (!strcmp(argv[i], "--seconds")) seconds = atof(argv[i + 1]);
        if (!strcmp(argv[i], "--port")) port = atoi(argv[i + 1]);
        if (!strcmp(argv[i], "--host")) host = argv[i + 1];
        if (!strcmp(argv[i], "--server-pid")) pid = atoi(argv[i + 1]);
    }
    if (count < 1 || count > 160 || seconds <= 0) {
        fprintf(stderr, "usage: zvload [--riders N] [--seconds S] [--host IP] [--port N] "
                        "[--server-pid PID]\n");
        return 1;
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, host, &to.sin_addr);
    std::vector<rider> riders((size_t)count);
    for (auto &r : riders) {
        memset(&r, 0, sizeof r);
        r.fd = socket(AF_INET, SOCK_DGRAM, 0);
        r.highest = NET_NO_SLOT;
    }
    uint8_t state[NET_STATE] = {};
    double start = now_seconds(), cpu0 = pid ? cpu_seconds(pid) : -1, racing_at = 0;
    double next_state = start;
    while (now_seconds() - start < seconds) {
        std::vector<pollfd> fds;
        for (auto &r : riders)
            fds.push_back({r.fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 2);
        double now = now_seconds();
        for (auto &r : riders) {
            uint8_t b[2048];
            ssize_t n;
            while ((n = recv(r.fd, b, sizeof b, MSG_DONTWAIT)) > 0) {
                r.bytes_in += n;
                r.packets_in++;
                if (!net_packet_ok(b, (int)n, 1)) continue;
                switch (b[0]) {
                case NET_S_WELCOME:
                    if (r.stage == 0)
                        r.slot = net_get32(b + 1), r.key = net_get32(b + 5), r.stage = 3,
                        r.last_send = 0;
                    break;
                case NET_S_RACE:
                    if (r.stage == 3) r.session = net_get32(b + 1), r.stage = 5, r.last_send = 0;
                    break;
                case NET_S_RIDER:
                    if (r.stage == 5 || r.stage == 7)
                        r.highest = (int)net_get32(b + 5), r.stage = 7, r.last_send = 0;
                    break;
                case NET_S_OWN_RIDER:
                    if (r.stage == 5 || r.stage == 7) r.stage = 9, r.last_send = 0;
                    break;
                case NET_S_CLOCK:
                case NET_S_STATES:
                    if (r.stage == 9) r.stage = 11;
                    r.server_tic = (int)net_get32(b + 5);
                    break;
                case NET_S_RELIABLE: {
                    uint8_t a[NET_ACK3_LEN];
                    send_to(&r, &to, a, net_build3(a, NET_C_ACK, r.slot, r.key, net_get32(b + 1)));
                    break;
                }
                case NET_S_DISCONNECT:
                case NET_S_FULL:
                    r.stage = 15;
                    break;
                default:
                    break;
                }
            }
            if (r.stage != 11 && r.stage != 15 && now - r.last_send >= 1.0) {
                r.last_send = now;
                uint8_t p[NET_RELIABLE_MAX];
                uint8_t cred[20] = {};
                char desc[64];
                snprintf(desc, sizeof desc, "crf250\n%d\nLoad %d", (int)(&r - riders.data()),
                         (int)(&r - riders.data()));
                int len = 0;
                if (r.stage == 0)
                    len = net_build_contact(p, 0, 1, (uint32_t)(&r - riders.data()), 2);
                if (r.stage == 3) len = net_build_info(p, r.slot, r.key, 0, 1, 0, cred, desc);
                if (r.stage == 5) len = net_build3(p, NET_C_TRACK_ACK, r.slot, r.key, r.session);
                if (r.stage == 7)
                    len = net_build_bike_ack(p, r.slot, r.key, r.session, (uint32_t)r.highest);
                if (r.stage == 9) len = net_build3(p, NET_C_READY, r.slot, r.key, r.session);
                send_to(&r, &to, p, len);
            }
        }
        int racing = 0;
        for (auto &r : riders)
            racing += r.stage == 11;
        if (racing == count && racing_at == 0) racing_at = now - start;
        if (now >= next_state) {
            next_state += 1.0 / 32;
            for (auto &r : riders)
                if (r.stage == 11) {
                    r.tic += 4;
                    uint8_t p[NET_STATE_LEN];
                    send_to(
                        &r, &to, p,
                        net_build_state(p, r.slot, r.key, r.session, r.server_tic, r.tic, state));
                }
        }
    }
    double took = now_seconds() - start;
    long long bytes = 0;
    int dropped = 0, racing = 0;
    for (auto &r : riders) {
        bytes += r.bytes_in;
        dropped += r.stage == 15;
        racing += r.stage == 11;
        uint8_t p[NET_DISCONNECT_LEN];
        send_to(&r, &to, p, net_build_disconnect(p, r.slot, r.key));
        close(r.fd);
    }
    printf("riders %d, all racing after %.2f s, racing at the end %d, dropped %d\n", count,
           racing_at, racing, dropped);
    printf("received %.1f kB/s per rider (%.0f bytes/s in all) over %.1f s\n",
           bytes / took / count / 1000.0, bytes / took, took);
    if (pid) {
        double cpu = cpu_seconds(pid) - cpu0;
        printf("server CPU %.2f s in %.1f s: %.1f %% of one core\n", cpu, took, 100 * cpu / took);
    }
    return dropped ? 2 : 0;
}
