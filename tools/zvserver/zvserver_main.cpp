// zvserver: hosts online races. Logs to standard error; SIGTERM and SIGINT end it cleanly after
// telling every client.
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bike/bike_input_ride.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "demo/demo_race.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track_objects.h"
#include "robot/robot_race.h"
#include "tools/zvserver/zvserver.h"
#include "track/track_list.h"

namespace {

volatile sig_atomic_t g_stop;
int g_fd = -1;

double now_seconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

void socket_send(void *, uint32_t addr, uint16_t port, const uint8_t *bytes, int length) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = port;
    // A full socket buffer loses the datagram, as the network may: the protocol copes.
    sendto(g_fd, bytes, (size_t)length, MSG_DONTWAIT, (const sockaddr *)&to, sizeof to);
}

} // namespace

int main(int argc, char **argv) {
    static zvserver_config cfg;
    zvserver_config_defaults(&cfg);
    int code = 0;
    if (!zvserver_parse_args(&cfg, argc, argv, &code)) return code;
    if (cfg.track_count == 0) snprintf(cfg.tracks[cfg.track_count++], ZVSERVER_TEXT, "pinehollow");

    // The game's data, as the game finds it; the loader's steps as the game installs them, so
    // the fingerprint covers the same files.
    data_root_reset();
    file_index_build();
    if (track_scan() <= 0) {
        fprintf(stderr, "zvserver: no tracks in the game data (set ZV_HOME)\n");
        return 1;
    }
    bike_input_install();
    race_install();
    robot_install();
    demo_install();
    // The track's objects are part of its fingerprint: the server loads them as the game does.
    objects_install();

    static zvserver s;
    if (!zvserver_init(&s, &cfg)) return 1;
    if (!zvserver_load_track(&s, 0)) {
        fprintf(stderr, "zvserver: can't load track %s\n", cfg.tracks[0]);
        return 1;
    }

    g_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in me = {};
    me.sin_family = AF_INET;
    me.sin_addr.s_addr = htonl(INADDR_ANY);
    me.sin_port = htons((uint16_t)cfg.port);
    if (g_fd < 0 || bind(g_fd, (const sockaddr *)&me, sizeof me) < 0) {
        fprintf(stderr, "zvserver: can't listen on UDP port %d: %s\n", cfg.port, strerror(errno));
        return 1;
    }
    s.send = socket_send;
    struct sigaction sa = {};
    sa.sa_handler = [](int) { g_stop = 1; };
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    zvserver_log(&s, "listening on UDP port %d, up to %d clients, %d laps, %d minutes", cfg.port,
                 s.cfg.max_clients, cfg.laps, cfg.time_limit_minutes);

    double start = now_seconds(), next_report = start + 60;
    zvserver_restart(&s, start);
    while (!g_stop) {
        pollfd pfd = {g_fd, POLLIN, 0};
        // Wake for the next tic at the latest.
        double next = s.tic_start + (s.tic + 1) / 128.0, wait = next - now_seconds();
        int ms = wait > 0 ? (int)(wait * 1000) + 1 : 0;
        poll(&pfd, 1, ms);
        double now = now_seconds();
        for (;;) {
            uint8_t buf[2048];
            sockaddr_in from;
            socklen_t fl = sizeof from;
            ssize_t n = recvfrom(g_fd, buf, sizeof buf, MSG_DONTWAIT, (sockaddr *)&from, &fl);
            if (n < 0) break;
            if (n == 0 || fl != sizeof from) continue;
            zvserver_handle(&s, from.sin_addr.s_addr, from.sin_port, buf, (int)n, now);
        }
        zvserver_update(&s, now);
        if (cfg.verbose && now >= next_report) {
            next_report += 60;
            zvserver_log(&s, "%d clients, %llu packets in, %llu out, %llu bytes out",
                         zvserver_client_count(&s), (unsigned long long)s.packets_in,
                         (unsigned long long)s.packets_out, (unsigned long long)s.bytes_out);
        }
    }
    zvserver_log(&s, "stopping: telling %d clients", zvserver_client_count(&s));
    zvserver_shutdown(&s);
    close(g_fd);
    zvserver_free(&s);
    return 0;
}
