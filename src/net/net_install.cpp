// The network step and its place in the simulation: the remote riders' bikes in the track loader,
// strokes to the server, and who was heard lately for race control. The program sets the loop's
// network hooks from these.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/zv_message.h"
#include "bike/bike.h"
#include "bike/bike_shape.h"
#include "demo/demo.h"
#include "platform/platform.h"
#include "net/net_client.h"
#include "net/net_socket.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "track/track_erosion.h"
#include "track/track_hooks.h"

void (*net_transmit)(const uint8_t *bytes, int length) = nullptr;

namespace {

double platform_now(void) {
    return platform_seconds(platform_clock());
}

void receive(const uint8_t *bytes, int length) {
    net_client_receive(bytes, length, net_clock());
}

// Connecting: the fixed files, the name, the socket, then the contact packet at once.
void connect_now(void) {
    char target[NET_NAME_MAX + 1];
    snprintf(target, sizeof target, "%s", net_client.target);
    net_client.target[0] = 0;
    char hex[41], stock[41];
    bike_shape_files_digest(hex);
    bike_shape_stock_digest(stock);
    if (strcmp(hex, stock) != 0) {
        zv_message_add("Fixed file mismatch\n");
        return;
    }
    char host[NET_NAME_MAX + 1];
    int port = net_split_address(target, host, sizeof host);
    net_socket_result r = net_socket_open(host, port);
    if (r == NET_SOCKET_NO_ADDRESS) {
        zv_message_add("Can't resolve address\n");
        return;
    }
    if (r != NET_SOCKET_OK) {
        zv_message_add("Can't create socket\n");
        return;
    }
    platform_log("Connecting to %s port %d\n", host, port);
    net_client_open((uint32_t)time(nullptr));
    net_client_send(net_clock());
}

// Track loader steps of a network race, each wrapped around the one installed before.
int (*prev_bike_create)(int slot);
void (*prev_lineup_set)(const int *riders);
void (*prev_race_reset)(void);

const char *network_track(void) {
    return net_client.open && net_client.state == NET_LOADED ? net_client.track_dir : nullptr;
}

void lineup_set_step(const int *riders) {
    // An offline race, a time trial or a demo started while connected ends the connection.
    if (net_client.open && !race.network) net_disconnect();
    if (prev_lineup_set) prev_lineup_set(riders);
    if (race.network && net_client.open)
        race.local_slot = net_client.race_slot < NET_SLOTS ? net_client.race_slot : -1;
}

// A remote rider gets the bike of its description, posed from the history like a replay.
int bike_create_step(int slot) {
    if (race.network && net_client.open && slot >= 0 && slot < NET_SLOTS &&
        race.lineup[slot] == RACE_REMOTE_HUMAN && bike_world.world) {
        race.present[slot] = 0;
        if (bike_world.bikes[slot].present) bike_destroy(&bike_world.bikes[slot]);
        demo_history_clear_slot(slot);
        bike_record *b = bike_create(slot, race_model_name(net_client.riders[slot].model), 1);
        if (!b) return 0;
        float x, z, heading;
        race_grid_position(slot, &x, &z, &heading);
        bike_place(b, x, z, heading);
        bike_apply_remote_values(b);
        race.present[slot] = 1;
        race.status[slot] = RACE_REPLAYED;
        return 1;
    }
    return prev_bike_create ? prev_bike_create(slot) : 0;
}

void race_reset_step(void) {
    if (prev_race_reset) prev_race_reset();
    if (!race.network || !net_client.open) return;
    race.gate_drop_tic = net_client.gate_drop_tic;
    race.remote_delay = net_client.race_slot < NET_SLOTS ? 0 : 127;
    bike_world.gate_drop_tic = race.tic >= race.gate_drop_tic ? race.gate_drop_tic : -1;
    race.erosion_rate = -1; // until the server's erode command
}

int send_stroke(const uint8_t *stroke, int length) {
    if (!net_client.open || !race.network) return 0;
    if (length <= 0 || length > NET_MESSAGE_MAX - 4) return 1; // too long to travel: not ours
    uint8_t body[NET_MESSAGE_MAX];
    net_put32(body, net_client.session);
    memcpy(body + 4, stroke, (size_t)length);
    net_reliable_queue(&net_client.rel, NET_M_STROKE, body, length + 4);
    return 1;
}

int stroke_room(void) {
    return !net_client.open || net_reliable_room(&net_client.rel) > 8;
}

} // namespace

double (*net_clock)(void) = platform_now;

void net_update(void) {
    if (net_client.target[0] && !net_client.open) connect_now();
    if (!net_client.open) return;
    double now = net_clock();
    net_socket_poll(receive);
    if (net_client.open) net_client_send(now);
}

void net_disconnect(void) {
    if (!net_client.open) return;
    zv_message_add("Disconnecting\n");
    uint8_t b[NET_DISCONNECT_LEN];
    if (net_transmit) net_transmit(b, net_build_disconnect(b, net_client.slot, net_client.key));
    net_client_close();
    net_socket_close();
}

void net_disconnect_request(void) {
    net_client.target[0] = 0;
    if (!net_client.open) return;
    if (net_client.state == NET_CONTACTING) {
        zv_message_add("Disconnected\n");
        net_client_close();
        net_socket_close();
        return;
    }
    net_client.state = NET_FAILED;
    net_client.last_send = 0;
}

void net_install(void) {
    race_steps.heard_within = [](int slot, int tics) -> int {
        return slot >= 0 && slot < NET_SLOTS && race.tic - net_client.heard_tic[slot] < tics;
    };
    erosion_send = send_stroke;
    erosion_send_room = stroke_room;
    track_steps.network_track = network_track;
    if (track_steps.bike_create != bike_create_step) {
        prev_bike_create = track_steps.bike_create;
        track_steps.bike_create = bike_create_step;
    }
    if (track_steps.lineup_set != lineup_set_step) {
        prev_lineup_set = track_steps.lineup_set;
        track_steps.lineup_set = lineup_set_step;
    }
    if (track_steps.race_reset != race_reset_step) {
        prev_race_reset = track_steps.race_reset;
        track_steps.race_reset = race_reset_step;
    }
}
