// The connection state machine: handshake, clock, states, reliable messages, server commands.
// Everything from the server is bounded before it indexes anything.
#include "net/net_client.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "base/zv_message.h"
#include "base/zv_sha1.h"
#include "bike/bike_setup.h"
#include "bike/bike.h"
#include "bike/bike_shape.h"
#include "demo/demo.h"
#include "net/net_transfer.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track_erosion.h"
#include "track/track_gates.h"
#include "track/track_list.h"
#include "track/track_load.h"

net_client_state net_client;
net_program_calls net_program;

namespace {

const uint32_t ID_A = 0x564c455a; // "ZELV": this client family
const uint32_t ID_B = NET_VERSION;
const int EROSION_RATE_MAX = 1024 * 100;

void transmit(const uint8_t *bytes, int length) {
    if (net_transmit) net_transmit(bytes, length);
}

void clear_race_side(void) {
    memset(net_client.lineup, 0, sizeof net_client.lineup);
    memset(net_client.last_state_tic, 0, sizeof net_client.last_state_tic);
    memset(net_client.slot_lag, 0, sizeof net_client.slot_lag);
    for (int s = 0; s < NET_SLOTS; s++)
        net_client.heard_tic[s] = -1000000;
    net_client.race_slot = NET_NO_SLOT;
    net_client.highest = NET_NO_SLOT;
    net_client.server_tic_seen = 0;
    net_client.server_tic = 0;
    net_client.estimate = 0;
    net_client.progress_sent = -1;
    demo_history_clear();
}

void fail(void) {
    net_client.state = NET_FAILED;
    net_client.last_send = 0;
}

// The model of a rider description: the text up to the first '|' or line end.
void parse_rider(net_remote_rider *r, const uint8_t *p, int len) {
    char text[1024];
    net_copy_text(text, (int)sizeof text - 1, p, len);
    memset(r, 0, sizeof *r);
    char *line2 = strchr(text, '\n');
    char *line3 = line2 ? strchr(line2 + 1, '\n') : nullptr;
    size_t m = strcspn(text, "|\n");
    if (m >= sizeof r->model) m = sizeof r->model - 1;
    memcpy(r->model, text, m);
    if (line2) {
        size_t n = strcspn(line2 + 1, "\n");
        if (n >= sizeof r->number) n = sizeof r->number - 1;
        memcpy(r->number, line2 + 1, n);
    }
    if (line3) snprintf(r->name, sizeof r->name, "%s", line3 + 1);
}

int our_slot_ok(void) {
    return net_client.slot < NET_SLOTS;
}

// The positions a rider can reach in this race: a lap count from the server bounds them.
int progress_limit(void) {
    int per_lap = gates.normal_length > 0 ? gates.normal_length : 1;
    int laps = race.laps > 0 && race.laps < 1000 ? race.laps : 1000;
    long limit = (long)gates.first_length + (long)per_lap * (laps + 1) + 4;
    return limit < RACE_PASS_MAX ? (int)limit : RACE_PASS_MAX;
}

void clock_step(int t, int echoed) {
    if (t < 0 || t > NET_TIC_MAX) return;
    if (!net_client.server_tic_seen) {
        net_client.server_tic_seen = 1;
        race.tic = t;
        bike_world.tic = t;
        net_client.server_tic = t;
        net_client.estimate = t;
    } else if (t > net_client.server_tic) {
        net_client.server_tic = t;
        net_client.estimate = t;
    }
    if (echoed > 0 && echoed <= NET_TIC_MAX) net_client.lag = race.tic - echoed;
}

void start_race(void) {
    char text[64];
    race_length_text(text, sizeof text);
    zv_message_add("%s", text);
    net_client.state = NET_RACING;
    if (!net_client.reached_racing) net_client.racing_since = net_clock();
    net_client.reached_racing = 1;
    net_client.races_started++;
}

void remote_states(const uint8_t *p, int len) {
    int count = (int)net_get32(p + 13);
    if (count <= 0) return;
    if (len < 64) {
        zv_message_add("State packet too small");
        return;
    }
    int off = NET_STATES_HEAD;
    for (int i = 0; i < count; i++, off += NET_RECORD) {
        if (off + NET_RECORD > len) {
            zv_message_add("State packet too small");
            return;
        }
        const uint8_t *r = p + off;
        int slot = net_get16(r);
        int lag = net_get16(r + 2);
        int tic = (int)net_get32(r + 4);
        if (slot >= NET_SLOTS || slot == net_client.slot) continue;
        if (tic < 0 || tic > net_client.server_tic + NET_FUTURE_TICS) continue;
        if (race.status[slot] != RACE_REPLAYED || net_client.lineup[slot] != RACE_REMOTE_HUMAN)
            continue;
        if (tic <= net_client.last_state_tic[slot]) continue;
        net_client.last_state_tic[slot] = tic;
        net_client.slot_lag[slot] = lag;
        net_client.heard_tic[slot] = race.tic;
        demo_history_add(slot, r + 8, tic);
    }
}

void handle_progress(const uint8_t *b, int len) {
    if (len < 8 || net_get32(b) != net_client.session) return;
    uint32_t count = net_get32(b + 4);
    if (count > (uint32_t)(len - 8) / 12) return; // the entries must fit the message
    int limit = progress_limit();
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t *e = b + 8 + 12 * i;
        uint32_t slot = net_get32(e);
        int reached = (int)net_get32(e + 4);
        int tic = (int)net_get32(e + 8);
        if (slot >= NET_SLOTS || (int)slot == net_client.slot || reached < 0 || reached >= limit)
            continue;
        if (!race.present[slot] || race.status[slot] != RACE_REPLAYED) continue;
        race_rider_set_progress((int)slot, reached + 1);
        race_rider *r = &race.riders[slot];
        if (r->pass && reached < r->pass_cap) r->pass[reached] = tic;
        net_client.heard_tic[slot] = race.tic;
    }
    race_check_finish();
    race_update_order();
}

void version_report(char *out, int size) {
    const char *gl = net_program.renderer ? net_program.renderer() : nullptr;
    snprintf(out, (size_t)size, "Zelvo client protocol %d version %d, renderer %s", NET_PROTOCOL,
             NET_VERSION, gl && gl[0] ? gl : "none");
}

void reliable_handler(void *, int type, const uint8_t *body, int length) {
    net_client_message(type, body, length);
}

void send_packet3(int type, uint32_t value) {
    uint8_t b[NET_ACK3_LEN];
    transmit(b, net_build3(b, type, net_client.slot, net_client.key, value));
}

void send_handshake(double now) {
    if (now - net_client.last_send < 1.0 && net_client.last_send != 0) return;
    net_client.last_send = now;
    uint8_t b[NET_PACKET_MAX];
    switch (net_client.state) {
    case NET_CONTACTING: {
        zv_message_add("Contacting server\n");
        const char *pw = net_program.password;
        transmit(b, net_build_contact(b, pw && pw[0], ID_A, net_client.client_id, ID_B));
        break;
    }
    case NET_INTRODUCED: {
        zv_message_add("Sending client info\n");
        char rider[983] = "";
        if (race_player_setup) bike_setup_info_line(race_player_setup, rider, sizeof rider);
        uint8_t cred[20] = {};
        char hex[ZV_SHA1_HEX_SIZE];
        bike_shape_files_digest(hex);
        for (int i = 0; i < 20; i++) {
            unsigned v = 0;
            sscanf(hex + 2 * i, "%2x", &v);
            cred[i] = (uint8_t)v;
        }
        transmit(b, net_build_info(b, net_client.slot, net_client.key,
                                   net_password_proof(net_program.password, net_client.key), ID_A,
                                   net_client.client_id, cred, rider));
        snprintf(net_client.rider_sent, sizeof net_client.rider_sent, "%s", rider);
        break;
    }
    case NET_TRACK_KNOWN:
        zv_message_add("Sending track acknowledgment\n");
        send_packet3(NET_C_TRACK_ACK, net_client.session);
        break;
    case NET_RIDERS:
        zv_message_add("Sending bike acknowledgment %d\n", net_client.highest);
        transmit(b, net_build_bike_ack(b, net_client.slot, net_client.key, net_client.session,
                                       (uint32_t)net_client.highest));
        break;
    case NET_LOADED:
        send_packet3(NET_C_READY, net_client.session);
        break;
    case NET_RESTARTING:
        zv_message_add("Sending restart\n");
        send_packet3(NET_C_RESTART_ACK, net_client.session);
        break;
    case NET_FAILED:
        zv_message_add("Disconnecting\n");
        transmit(b, net_build_disconnect(b, net_client.slot, net_client.key));
        break;
    default:
        break;
    }
}

int our_bike(void) {
    int s = net_client.slot;
    return s < NET_SLOTS && race.present[s] && bike_world.bikes[s].present &&
                   race.status[s] == RACE_LOCAL
               ? s
               : -1;
}

void send_racing(double now) {
    int s = our_bike();
    if (s >= 0 && net_client.race_slot < NET_SLOTS) {
        int p = race.riders[s].progress;
        if (p != net_client.progress_sent && p > 0) {
            uint8_t body[12];
            net_put32(body, net_client.session);
            net_put32(body + 4, (uint32_t)(p - 1));
            net_put32(body + 8, (uint32_t)race_pass_tic(s, p - 1));
            if (net_reliable_queue(&net_client.rel, NET_M_PROGRESS, body, 12))
                net_client.progress_sent = p;
        }
    }
    if (s >= 0 && race.tic % 4 == 0) {
        uint8_t state[NET_STATE], b[NET_STATE_LEN];
        bike_encode(&bike_world.bikes[s], state);
        transmit(b, net_build_state(b, net_client.slot, net_client.key, net_client.session,
                                    net_client.server_tic, race.tic, state));
    }
    if (net_client.race_slot >= NET_SLOTS && now >= net_client.next_alive) {
        net_client.next_alive = now + 10.0;
        net_reliable_queue(&net_client.rel, NET_M_ALIVE, NET_ALIVE_TEXT, 29);
    }
    // A changed rider description goes out once the setup pages are left.
    if (now >= net_client.next_rider_check && race_player_setup &&
        !(net_program.setup_page_open && net_program.setup_page_open())) {
        net_client.next_rider_check = now + 1.0;
        char rider[NET_MESSAGE_MAX + 1];
        bike_setup_info_line(race_player_setup, rider, sizeof rider);
        if (strcmp(rider, net_client.rider_sent) != 0 &&
            net_reliable_queue(&net_client.rel, NET_M_RIDER, rider, (int)strlen(rider)))
            memcpy(net_client.rider_sent, rider, sizeof rider);
    }
}

} // namespace

void net_client_open(uint32_t client_id) {
    net_client.open = 1;
    net_client.state = NET_CONTACTING;
    net_client.slot = NET_NO_SLOT;
    net_client.key = 0;
    net_client.session = 0;
    net_client.client_id = client_id;
    net_client.last_send = 0;
    net_client.redirect_time = 0;
    net_client.redirect_due = 0;
    net_client.script_count = 0;
    net_client.next_alive = 0;
    net_client.next_rider_check = 0;
    net_client.rider_sent[0] = 0;
    net_client.reached_racing = 0;
    net_client.races_started = 0;
    net_client.fake_head = net_client.fake_count = 0;
    net_client.lag = 0;
    net_reliable_reset(&net_client.rel);
    clear_race_side();
}

void (*net_close_tap)(void) = nullptr;

void net_client_close(void) {
    if (net_close_tap) net_close_tap();
    net_client.open = 0;
    net_client.slot = NET_NO_SLOT;
    net_client.key = 0;
    net_client.session = 0;
    net_client.state = NET_CONTACTING;
    net_reliable_reset(&net_client.rel);
    net_client.fake_count = 0;
    zv_free(net_client.fake);
    net_client.fake = nullptr;
    race.off_course_bias = 10.0f;
    race.off_course_scale = 1.5f;
    bike_world.arcade_allowed = 1;
    net_client.server_tic_seen = 0;
    net_client.estimate = 0;
    if (net_program.set_erosion_rate) net_program.set_erosion_rate(-1);
    if (net_client.redirect_due) {
        snprintf(net_client.target, sizeof net_client.target, "%s", net_client.redirect);
        net_client.redirect_due = 0;
    }
    net_client.redirect_time = 0;
}

void net_client_command(const char *text) {
    char word[32] = "";
    if (sscanf(text, "%31s", word) != 1) return;
    const char *rest = text + strspn(text, " \t");
    rest += strlen(word);
    if (strcmp(word, "no_arcade") == 0) {
        if (bike_world.arcade_allowed) zv_message_add("Arcade physics disabled");
        bike_world.arcade_allowed = 0;
        // Bikes made before the command took their setup's arcade choice with them.
        for (int s = 0; s < NET_SLOTS; s++)
            if (race.present[s] && bike_world.bikes[s].present && race.status[s] != RACE_REPLAYED)
                bike_world.bikes[s].applied.arcade = 0;
    } else if (strcmp(word, "off_course_bias") == 0 || strcmp(word, "off_course_scale") == 0) {
        float v;
        if (sscanf(rest, "%f", &v) != 1 || !std::isfinite(v) || v < 0) return;
        if (word[11] == 'b')
            race.off_course_bias = v;
        else
            race.off_course_scale = v;
    } else if (strcmp(word, "knockout") == 0) {
        int values[BIKE_CRASH_DELAYS] = {};
        int n = 0, prev = 0;
        const char *p = rest;
        for (int i = 0; i < BIKE_CRASH_DELAYS; i++) {
            int v, used = 0;
            if (n == i && sscanf(p, "%d%n", &v, &used) == 1) {
                p += used;
                prev = v < 0 ? 0 : v > BIKE_CRASH_DELAY_MAX ? BIKE_CRASH_DELAY_MAX : v;
                n++;
            }
            values[i] = prev;
        }
        bike_world_set_crash_delays(values, BIKE_CRASH_DELAYS);
    } else if (strcmp(word, "erode") == 0) {
        unsigned session;
        int rate;
        if (sscanf(rest, "%u %d", &session, &rate) != 2) {
            zv_message_add("Malformed erode command received");
            return;
        }
        if (session != net_client.session) return;
        rate = rate < 0 ? 0 : rate > EROSION_RATE_MAX ? EROSION_RATE_MAX : rate;
        if (rate > 0 || race.erosion_rate > 0) zv_message_add("erode %d", rate);
        race.erosion_rate = rate;
        if (net_program.set_erosion_rate) net_program.set_erosion_rate(rate);
        if (rate > 0) track_loaded.force_reload = 1;
        char block[32];
        snprintf(block, sizeof block, "erode %d", rate);
        demo_record_block(DEMO_ERODE, race.tic, block, (int)strlen(block));
    } else if (strcmp(word, "sendready") == 0) {
        net_transfer_ready();
    } else if (strcmp(word, "senddenied") == 0) {
        net_transfer_denied();
    } else if (strcmp(word, "version") == 0) {
        char v[NET_MESSAGE_MAX];
        version_report(v, sizeof v);
        net_send_reliable(NET_M_COMMAND, v, (int)strlen(v));
    } else if (strcmp(word, "redirect") == 0) {
        char name[NET_NAME_MAX + 1];
        rest += strspn(rest, " \t");
        snprintf(name, sizeof name, "%s", rest);
        size_t n = strlen(name);
        while (n && (name[n - 1] == ' ' || name[n - 1] == '\n' || name[n - 1] == '\t'))
            name[--n] = 0;
        if (!n) return;
        memcpy(net_client.redirect, name, sizeof name);
        net_client.redirect_time = net_clock() + 10.0;
        zv_message_add("Redirecting to '%s' in 10 seconds", name);
    }
}

void net_client_message(int type, const uint8_t *body, int length) {
    char text[NET_MESSAGE_MAX + 1];
    switch (type) {
    case NET_M_CHAT:
        net_copy_text(text, NET_MESSAGE_MAX, body, length);
        zv_message_add("%s", text);
        demo_record_block(DEMO_CHAT, race.tic, text, (int)strlen(text));
        break;
    case NET_M_ALIVE:
        net_send_reliable(NET_M_ALIVE_ACK, NET_ALIVE_ACK_TEXT, 25);
        break;
    case NET_M_PROGRESS:
        handle_progress(body, length);
        break;
    case NET_M_COMMAND:
        net_copy_text(text, NET_MESSAGE_MAX, body, length);
        net_client_command(text);
        break;
    case NET_M_STROKE:
        if (length < 4) break;
        // Strokes of another session are recorded all the same so that playback applies them.
        demo_record_block(DEMO_EROSION, race.tic, body + 4, length - 4);
        if (net_get32(body) == net_client.session) erosion_decode(body + 4, length - 4);
        break;
    case NET_M_VERSION: {
        // The answer is the report with every byte turned over, so that it is not plain text.
        char v[NET_MESSAGE_MAX];
        version_report(v, sizeof v);
        int n = (int)strlen(v);
        for (int i = 0; i < n; i++)
            v[i] = (char)~v[i];
        net_send_reliable(NET_M_VERSION, v, n);
        break;
    }
    case NET_M_SCRIPT: {
        net_copy_text(text, NET_MESSAGE_MAX, body, length);
        unsigned session;
        int used = 0;
        if (sscanf(text, "%u %n", &session, &used) < 1 || used == 0) break;
        demo_record_block(DEMO_SCRIPT, race.tic, text + used, (int)strlen(text + used));
        if (session != net_client.session) break;
        if (net_client.script_count < NET_SCRIPT_QUEUE)
            snprintf(net_client.script_queue[net_client.script_count++], NET_MESSAGE_MAX + 1, "%s",
                     text + used);
        break;
    }
    default:
        break;
    }
}

void net_client_handle(const uint8_t *p, int len) {
    if (!net_client.open || !p || len <= 0 || p[0] > NET_TYPE_MAX) return;
    if (!net_packet_ok(p, len, 1)) return;
    int st = net_client.state;
    switch (p[0]) {
    case NET_S_FULL:
        zv_message_add("Server is full\n");
        break;
    case NET_S_WELCOME: {
        if (st != NET_CONTACTING) break;
        uint32_t slot = net_get32(p + 1);
        net_client.key = net_get32(p + 5);
        net_client.last_send = 0;
        if (slot >= NET_SLOTS) {
            zv_message_add("Server gave a bad slot\n");
            fail();
            break;
        }
        net_client.slot = (int)slot;
        if (net_get32(p + 9) == NET_VERSION) {
            net_client.state = NET_INTRODUCED;
        } else {
            zv_message_add("Server version does not match client version\n");
            fail();
        }
        break;
    }
    case NET_S_RACE: {
        if ((st != NET_INTRODUCED && st != NET_RESTARTING) || !our_slot_ok()) break;
        uint32_t session = net_get32(p + 1);
        if (net_client.session && session != net_client.session) break;
        char dir[256];
        net_copy_text(dir, (int)sizeof dir - 1, p + 37, len - 37);
        net_client.last_send = 0;
        int t = demo_track_name_ok(dir) ? track_list_find(dir) : -1;
        if (t < 0) {
            zv_message_add("Can't find track '%.150s'\n", dir);
            fail();
            break;
        }
        net_client.session = session;
        int limit = (int)net_get32(p + 5), laps = (int)net_get32(p + 9);
        net_client.time_limit = limit < 0 ? 0 : limit > NET_TIC_MAX ? NET_TIC_MAX : limit;
        net_client.laps = laps < 0 ? 0 : laps > 1000 ? 1000 : laps;
        int drop = (int)net_get32(p + 13);
        net_client.gate_drop_tic = drop < 0 ? 0 : drop > NET_TIC_MAX ? NET_TIC_MAX : drop;
        memcpy(net_client.fingerprint, p + 17, 20);
        snprintf(net_client.track_dir, sizeof net_client.track_dir, "%s", track_list.dirs[t]);
        clear_race_side();
        net_client.state = NET_TRACK_KNOWN;
        break;
    }
    case NET_S_RIDER: {
        if ((st != NET_TRACK_KNOWN && st != NET_RIDERS) || !our_slot_ok()) break;
        if (net_get32(p + 1) != net_client.session) break;
        uint32_t slot = net_get32(p + 5);
        if (slot >= NET_SLOTS) break;
        if (net_client.highest != NET_NO_SLOT && (int)slot <= net_client.highest) break;
        if ((int)slot != net_client.slot) {
            net_client.lineup[slot] = RACE_REMOTE_HUMAN;
            parse_rider(&net_client.riders[slot], p + 9, len - 9);
        }
        net_client.highest = (int)slot;
        net_client.state = NET_RIDERS;
        net_client.last_send = 0;
        break;
    }
    case NET_S_OWN_RIDER: {
        if ((st != NET_TRACK_KNOWN && st != NET_RIDERS) || !our_slot_ok()) break;
        if (net_get32(p + 1) != net_client.session) break;
        uint32_t race_slot = net_get32(p + 5);
        net_client.race_slot = race_slot < NET_SLOTS ? (int)race_slot : NET_NO_SLOT;
        net_client.lineup[net_client.slot] = RACE_HUMAN;
        net_client.state = NET_LOADED; // the loader asks for the network track in this state
        net_client.last_send = 0;
        int ok = net_program.load_track &&
                 net_program.load_track(net_client.lineup, net_client.time_limit, net_client.laps);
        if (!ok || memcmp(track_fingerprint(), net_client.fingerprint, 20) != 0) {
            zv_message_add("Client track modified - does not match server's track (%.100s)\n",
                           net_client.track_dir);
            fail();
        }
        break;
    }
    case NET_S_CLOCK:
    case NET_S_STATES: {
        if ((st != NET_LOADED && st != NET_RACING) || !our_slot_ok()) break;
        if (net_get32(p + 1) != net_client.session) break;
        clock_step((int)net_get32(p + 5), (int)net_get32(p + 9));
        if (st == NET_LOADED) start_race();
        if (p[0] == NET_S_STATES) remote_states(p, len);
        break;
    }
    case NET_S_RESTART: {
        if ((st != NET_LOADED && st != NET_RACING) || !our_slot_ok()) break;
        uint32_t session = net_get32(p + 1);
        if (session > net_client.session) {
            net_client.session = session;
            net_client.state = NET_RESTARTING;
            net_client.last_send = 0;
        }
        break;
    }
    case NET_S_DISCONNECT:
        zv_message_add("Disconnected\n");
        net_disconnect();
        break;
    case NET_S_TEXT: {
        char text[NET_MESSAGE_MAX + 1];
        net_copy_text(text, NET_MESSAGE_MAX, p + 1, len - 1);
        zv_message_add("%s", text);
        fail();
        break;
    }
    case NET_S_RELIABLE: {
        uint32_t number = net_get32(p + 1);
        if (net_reliable_receive(&net_client.rel, number, p[5], p + 6, len - 6, reliable_handler,
                                 nullptr)) {
            send_packet3(NET_C_ACK, number);
        }
        break;
    }
    case NET_S_ACK:
        net_reliable_acked(&net_client.rel, net_get32(p + 1));
        break;
    case NET_S_REFER: {
        if (st != NET_CONTACTING || net_get32(p + 1) != net_client.client_id) break;
        char name[NET_NAME_MAX + 1];
        net_copy_text(name, NET_NAME_MAX, p + 5, len - 5);
        net_disconnect();
        net_connect_request(name);
        break;
    }
    default:
        break;
    }
}

void net_client_receive(const uint8_t *p, int len, double now) {
    if (len <= 0 || len > NET_PACKET_MAX) return;
    if (net_program.fake_lag <= 0 && net_program.fake_loss <= 0) {
        net_client_handle(p, len);
        return;
    }
    if (net_program.fake_loss >= 100) return;
    net_client.fake_rng = net_client.fake_rng * 1103515245u + 12345u;
    if ((int)((net_client.fake_rng >> 16) & 32767) < net_program.fake_loss * 327) return;
    if (!net_client.fake) {
        net_client.fake =
            (net_fake_packet *)zv_alloc(sizeof(net_fake_packet) * (size_t)NET_FAKE_QUEUE);
        net_client.fake_head = net_client.fake_count = 0;
    }
    if (net_client.fake_count >= NET_FAKE_QUEUE) return;
    net_fake_packet *f =
        &net_client.fake[(net_client.fake_head + net_client.fake_count++) % NET_FAKE_QUEUE];
    f->arrival = now;
    f->length = len;
    memcpy(f->bytes, p, (size_t)len);
}

void net_client_send(double now) {
    if (!net_client.open) return;
    // Held packets whose lag has passed are handled first.
    while (net_client.fake && net_client.fake_count > 0) {
        net_fake_packet *f = &net_client.fake[net_client.fake_head];
        if (now < f->arrival + net_program.fake_lag) break;
        net_client.fake_head = (net_client.fake_head + 1) % NET_FAKE_QUEUE;
        net_client.fake_count--;
        net_client_handle(f->bytes, f->length);
        if (!net_client.open) return;
    }
    if (net_client.estimate > 0) net_client.estimate++;
    if (net_client.redirect_time > 0 && now >= net_client.redirect_time) {
        net_client.redirect_time = 0;
        net_client.redirect_due = 1;
        zv_message_add("Redirecting to '%s'", net_client.redirect);
        fail();
    }
    if (net_client.state == NET_RACING)
        send_racing(now);
    else
        send_handshake(now);
    if (net_client.slot < NET_SLOTS) net_transfer_step(now);
    if (net_client.slot < NET_SLOTS) {
        if (const net_message *m = net_reliable_due(&net_client.rel, now)) {
            uint8_t b[NET_RELIABLE_MAX];
            transmit(b, net_build_reliable_c(b, net_client.slot, net_client.key, m->number, m->type,
                                             m->body, m->length));
        }
    }
}

int net_send_reliable(int type, const void *body, int length) {
    if (!net_client.open) {
        zv_message_add("Not connected to server");
        return 0;
    }
    return net_reliable_queue(&net_client.rel, type, body, length);
}

int net_connected(void) {
    return net_client.open;
}

void net_request_restart(void) {
    if (!net_client.open) return;
    zv_message_add("Requesting restart\n");
    send_packet3(NET_C_RESTART_REQUEST, 1);
}

int net_split_address(const char *name, char *host, int host_size) {
    snprintf(host, (size_t)host_size, "%s", name);
    char *colon = strrchr(host, ':');
    if (!colon || !colon[1]) return NET_PORT;
    char *end;
    long port = strtol(colon + 1, &end, 10);
    if (*end || port <= 0 || port > 65535 || colon[1] == '-' || colon[1] == '+') return NET_PORT;
    *colon = 0;
    return (int)port;
}

void net_connect_request(const char *address) {
    if (!address) return;
    if (strncmp(address, "zelvo:", 6) == 0) address += 6;
    if (!address[0]) return;
    snprintf(net_client.target, sizeof net_client.target, "%s", address);
}
