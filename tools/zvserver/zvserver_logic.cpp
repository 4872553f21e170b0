// zvserver's clients, sessions and relays. Every packet is checked for its least length, its
// sender's address and port, its slot and key before any field is used.
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "base/zv_alloc.h"
#include "tools/zvserver/zvserver.h"

namespace {

void out(zvserver *s, const zvserver_client *c, const uint8_t *b, int len) {
    s->packets_out++;
    s->bytes_out += (uint64_t)len;
    if (s->send) s->send(s->send_ctx, c->addr, c->port, b, len);
}

int slot_of(const zvserver *s, const zvserver_client *c) {
    return (int)(c - s->clients);
}

uint32_t next_random(zvserver *s) {
    s->rng ^= s->rng << 13;
    s->rng ^= s->rng >> 17;
    s->rng ^= s->rng << 5;
    return s->rng;
}

void queue(zvserver *s, zvserver_client *c, int type, const void *body, int len) {
    if (net_reliable_queue(&c->rel, type, body, len)) return;
    // The client cannot keep up; what it misses is logged once per connection.
    if (!c->overflow_logged)
        zvserver_log(s, "slot %d: reliable list full, messages for it are dropped", slot_of(s, c));
    c->overflow_logged = 1;
}

void queue_text(zvserver *s, zvserver_client *c, int type, const char *text) {
    queue(s, c, type, text, (int)strlen(text));
}

void send_race(zvserver *s, zvserver_client *c) {
    uint8_t b[NET_RELIABLE_MAX];
    b[0] = NET_S_RACE;
    net_put32(b + 1, s->session);
    net_put32(b + 5, (uint32_t)(s->cfg.time_limit_minutes * 60 * 128));
    net_put32(b + 9, (uint32_t)s->cfg.laps);
    net_put32(b + 13, (uint32_t)s->gate_drop_tic);
    memcpy(b + 17, s->fingerprint, 20);
    int n = (int)strlen(s->track_dir);
    memcpy(b + 37, s->track_dir, (size_t)n + 1);
    out(s, c, b, 37 + n + 1);
}

// The next other rider after `after` in slot order, or the client's own rider when none is left.
void send_next_rider(zvserver *s, zvserver_client *c) {
    uint8_t b[1100];
    int me = slot_of(s, c);
    for (int i = c->rider_sent + 1; i < s->cfg.max_clients; i++) {
        zvserver_client *o = &s->clients[i];
        // Everyone with a description is in the lineup, those still restarting included.
        if (i == me || o->stage < ZVS_RACE_SENT) continue;
        b[0] = NET_S_RIDER;
        net_put32(b + 1, s->session);
        net_put32(b + 5, (uint32_t)i);
        int n = (int)strlen(o->rider);
        memcpy(b + 9, o->rider, (size_t)n);
        out(s, c, b, 9 + n);
        return;
    }
    b[0] = NET_S_OWN_RIDER;
    net_put32(b + 1, s->session);
    net_put32(b + 5, (uint32_t)c->race_slot);
    int n = (int)strlen(c->rider);
    memcpy(b + 9, c->rider, (size_t)n);
    out(s, c, b, 9 + n);
    c->stage = ZVS_OWN_SENT;
}

void send_options(zvserver *s, zvserver_client *c) {
    char t[256];
    snprintf(t, sizeof t, "erode %u %d", s->session, s->cfg.erosion_rate);
    queue_text(s, c, NET_M_COMMAND, t);
    snprintf(t, sizeof t, "off_course_bias %g", (double)s->cfg.off_course_bias);
    queue_text(s, c, NET_M_COMMAND, t);
    snprintf(t, sizeof t, "off_course_scale %g", (double)s->cfg.off_course_scale);
    queue_text(s, c, NET_M_COMMAND, t);
    if (s->cfg.knockout_count > 0) {
        int n = snprintf(t, sizeof t, "knockout");
        for (int i = 0; i < s->cfg.knockout_count; i++)
            n += snprintf(t + n, sizeof t - (size_t)n, " %d", s->cfg.knockout[i]);
        queue_text(s, c, NET_M_COMMAND, t);
    }
    if (!s->cfg.arcade) queue_text(s, c, NET_M_COMMAND, "no_arcade");
    c->options_sent = 1;
}

void drop(zvserver *s, zvserver_client *c, const char *why) {
    zvserver_log(s, "slot %d (%s) leaves: %s", slot_of(s, c), c->name[0] ? c->name : "?", why);
    zvserver_upload_drop(s, c);
    memset(c, 0, sizeof *c);
}

void broadcast(zvserver *s, int type, const void *body, int len, int min_stage) {
    for (int i = 0; i < s->cfg.max_clients; i++)
        if (s->clients[i].stage >= min_stage && s->clients[i].stage != ZVS_RESTARTING)
            queue(s, &s->clients[i], type, body, len);
}

void chat(zvserver *s, zvserver_client *from, const uint8_t *body, int len) {
    char text[NET_MESSAGE_MAX + 1], line[NET_MESSAGE_MAX + 80];
    net_copy_text(text, NET_MESSAGE_MAX, body, len);
    snprintf(line, sizeof line, "%s: %s", from->name[0] ? from->name : "?", text);
    zvserver_log(s, "chat %s", line);
    for (int i = 0; i < s->cfg.max_clients; i++)
        if (s->clients[i].stage >= ZVS_WELCOMED) queue_text(s, &s->clients[i], NET_M_CHAT, line);
}

void progress(zvserver *s, zvserver_client *c, const uint8_t *b, int len) {
    if (len < 12 || net_get32(b) != s->session || c->stage != ZVS_RACING) return;
    int reached = (int)net_get32(b + 4), tic = (int)net_get32(b + 8);
    if (reached < 0 || reached > (1 << 20)) return;
    c->progress = reached + 1;
    c->progress_tic = tic;
    uint8_t m[20];
    net_put32(m, s->session);
    net_put32(m + 4, 1);
    net_put32(m + 8, (uint32_t)slot_of(s, c));
    net_put32(m + 12, (uint32_t)reached);
    net_put32(m + 16, (uint32_t)tic);
    broadcast(s, NET_M_PROGRESS, m, 20, ZVS_RACING);
    if (s->finish_positions > 0 && c->progress >= s->finish_positions && s->finish_tic < 0) {
        s->finish_tic = s->tic;
        zvserver_log(s, "slot %d (%s) wins session %u", slot_of(s, c), c->name, s->session);
    }
}

void message(zvserver *s, zvserver_client *c, int type, const uint8_t *b, int len) {
    switch (type) {
    case NET_M_RIDER:
        if (len > 0 && len < ZVSERVER_RIDER_TEXT) {
            memcpy(c->rider, b, (size_t)len);
            c->rider[len] = 0;
        }
        break;
    case NET_M_PROGRESS:
        progress(s, c, b, len);
        break;
    case NET_M_COMMAND:
        if (!zvserver_upload_text(s, c, b, len)) chat(s, c, b, len);
        break;
    case NET_M_STROKE:
        // Strokes of this session go to everyone, the sender included: all apply them in the
        // order the server relays them.
        if (len > 4 && net_get32(b) == s->session) broadcast(s, NET_M_STROKE, b, len, ZVS_RACING);
        break;
    case NET_M_VERSION: {
        char v[NET_MESSAGE_MAX + 1];
        int n = len < NET_MESSAGE_MAX ? len : NET_MESSAGE_MAX;
        for (int i = 0; i < n; i++)
            v[i] = (char)~b[i];
        v[n] = 0;
        net_copy_text(v, NET_MESSAGE_MAX, (const uint8_t *)v, n);
        zvserver_log(s, "slot %d runs %s", slot_of(s, c), v);
        break;
    }
    default: // keepalives and their answers: hearing them is enough
        break;
    }
}

struct msg_ctx {
    zvserver *s;
    zvserver_client *c;
};

void on_message(void *ctx, int type, const uint8_t *body, int len) {
    msg_ctx *m = (msg_ctx *)ctx;
    if (m->c->stage != ZVS_FREE) message(m->s, m->c, type, body, len);
}

zvserver_client *find(zvserver *s, uint32_t addr, uint16_t port) {
    for (int i = 0; i < s->cfg.max_clients; i++)
        if (s->clients[i].stage != ZVS_FREE && s->clients[i].addr == addr &&
            s->clients[i].port == port)
            return &s->clients[i];
    return nullptr;
}

void contact(zvserver *s, uint32_t addr, uint16_t port, const uint8_t *p, double now) {
    uint8_t b[64];
    if (net_get32(p + 9) != NET_PROTOCOL) {
        const char t[] = "Server protocol does not match client protocol\n";
        b[0] = NET_S_TEXT;
        memcpy(b + 1, t, sizeof t - 1);
        zvserver_client tmp = {};
        tmp.addr = addr;
        tmp.port = port;
        out(s, &tmp, b, (int)sizeof t);
        return;
    }
    zvserver_client *c = find(s, addr, port);
    if (!c) {
        for (int i = 0; i < s->cfg.max_clients && !c; i++)
            if (s->clients[i].stage == ZVS_FREE) c = &s->clients[i];
        if (!c) {
            zvserver_client tmp = {};
            tmp.addr = addr;
            tmp.port = port;
            b[0] = NET_S_FULL;
            out(s, &tmp, b, 1);
            return;
        }
        memset(c, 0, sizeof *c);
        c->stage = ZVS_WELCOMED;
        c->addr = addr;
        c->port = port;
        c->key = next_random(s) | 1;
        c->client_id = net_get32(p + 13);
        c->rider_sent = -1;
        c->race_slot = NET_NO_SLOT;
        net_reliable_reset(&c->rel);
        if (zvserver_client_count(s) == 1) zvserver_restart(s, now); // a fresh race for the first
        zvserver_log(s, "slot %d contacted from %u.%u.%u.%u:%u", slot_of(s, c), addr & 255,
                     addr >> 8 & 255, addr >> 16 & 255, addr >> 24,
                     (port >> 8 | port << 8) & 0xffff);
    }
    if (c->stage != ZVS_WELCOMED) return;
    c->last_heard = now;
    b[0] = NET_S_WELCOME;
    net_put32(b + 1, (uint32_t)slot_of(s, c));
    net_put32(b + 5, c->key);
    net_put32(b + 9, NET_VERSION);
    out(s, c, b, 13);
}

void info(zvserver *s, zvserver_client *c, const uint8_t *p, int len) {
    if (c->stage != ZVS_WELCOMED && c->stage != ZVS_RACE_SENT) return;
    if (s->cfg.password[0] && net_get32(p + 9) != net_password_proof(s->cfg.password, c->key)) {
        const char t[] = "Wrong password\n";
        uint8_t b[32];
        b[0] = NET_S_TEXT;
        memcpy(b + 1, t, sizeof t - 1);
        out(s, c, b, (int)sizeof t);
        drop(s, c, "wrong password");
        return;
    }
    int n = len - NET_INFO_HEAD;
    if (n > ZVSERVER_RIDER_TEXT - 1) n = ZVSERVER_RIDER_TEXT - 1;
    memcpy(c->rider, p + NET_INFO_HEAD, (size_t)n);
    c->rider[n] = 0;
    // The name is the description's third line.
    const char *l2 = strchr(c->rider, '\n');
    const char *l3 = l2 ? strchr(l2 + 1, '\n') : nullptr;
    net_copy_text(c->name, (int)sizeof c->name - 1, (const uint8_t *)(l3 ? l3 + 1 : "rider"),
                  (int)strlen(l3 ? l3 + 1 : "rider"));
    if (c->stage == ZVS_WELCOMED) {
        c->session = s->session;
        c->race_slot = NET_NO_SLOT;
        if (s->tic < s->gate_drop_tic) {
            // Grid spots in arrival order; later arrivals watch until the next session.
            int used[NET_SLOTS] = {};
            for (int i = 0; i < s->cfg.max_clients; i++)
                if (s->clients[i].stage != ZVS_FREE && s->clients[i].race_slot < NET_SLOTS)
                    used[s->clients[i].race_slot] = 1;
            for (int k = 0; k < NET_SLOTS; k++)
                if (!used[k]) {
                    c->race_slot = k;
                    break;
                }
        }
        zvserver_log(s, "slot %d is %s (race slot %d)", slot_of(s, c), c->name, c->race_slot);
        if (c->race_slot < NET_SLOTS)
            for (int i = 0; i < s->cfg.max_clients; i++)
                if (&s->clients[i] != c && s->clients[i].stage >= ZVS_RIDERS)
                    s->restart_pending = 1;
    }
    c->stage = ZVS_RACE_SENT;
    send_race(s, c);
}

void packet(zvserver *s, zvserver_client *c, const uint8_t *p, int len, double now) {
    c->last_heard = now;
    uint32_t value = net_get32(p + 9);
    switch (p[0]) {
    case NET_C_INFO:
        info(s, c, p, len);
        break;
    case NET_C_TRACK_ACK:
        if (value != s->session) break;
        if (c->stage == ZVS_RACE_SENT) {
            c->stage = ZVS_RIDERS;
            c->rider_sent = -1;
        }
        if (c->stage == ZVS_RIDERS) send_next_rider(s, c);
        break;
    case NET_C_BIKE_ACK: {
        if (value != s->session || (c->stage != ZVS_RIDERS && c->stage != ZVS_OWN_SENT)) break;
        uint32_t highest = net_get32(p + 13);
        if (highest < NET_SLOTS && (int)highest > c->rider_sent) c->rider_sent = (int)highest;
        if (c->stage == ZVS_OWN_SENT) c->stage = ZVS_RIDERS; // our own rider was lost: again
        send_next_rider(s, c);
        break;
    }
    case NET_C_READY:
        if (value != s->session || (c->stage != ZVS_OWN_SENT && c->stage != ZVS_RACING)) break;
        if (c->stage != ZVS_RACING) {
            c->stage = ZVS_RACING;
            c->have_state = 0;
            c->progress = 0;
            zvserver_log(s, "slot %d (%s) is ready in session %u", slot_of(s, c), c->name,
                         s->session);
        }
        if (!c->options_sent) send_options(s, c);
        break;
    case NET_C_STATE: {
        if (value != s->session || c->stage != ZVS_RACING) break;
        int seen = (int)net_get32(p + 13), tic = (int)net_get32(p + 17);
        if (tic < 0 || tic > s->tic + 1024 || (c->have_state && tic <= c->state_tic)) break;
        memcpy(c->state, p + 21, NET_STATE);
        c->have_state = 1;
        c->state_tic = tic;
        c->echo_tic = tic;
        int lag = s->tic - seen;
        c->lag = lag < 0 ? 0 : lag > 65535 ? 65535 : lag;
        break;
    }
    case NET_C_RESTART_REQUEST: {
        if (c->stage != ZVS_RACING || c->restart_vote) break;
        c->restart_vote = 1;
        int racing = 0, votes = 0;
        for (int i = 0; i < s->cfg.max_clients; i++)
            if (s->clients[i].stage == ZVS_RACING) {
                racing++;
                votes += s->clients[i].restart_vote;
            }
        zvserver_log(s, "slot %d asks for a restart (%d of %d)", slot_of(s, c), votes, racing);
        if (2 * votes > racing) zvserver_restart(s, now);
        break;
    }
    case NET_C_RESTART_ACK:
        if (value != s->session || c->stage != ZVS_RESTARTING) break;
        c->stage = ZVS_RACE_SENT;
        c->session = s->session;
        send_race(s, c);
        break;
    case NET_C_DISCONNECT: {
        uint8_t b = NET_S_DISCONNECT;
        out(s, c, &b, 1);
        drop(s, c, "disconnected");
        break;
    }
    case NET_C_RELIABLE: {
        uint32_t number = value;
        msg_ctx m = {s, c};
        if (net_reliable_receive(&c->rel, number, p[13], p + NET_RELIABLE_HEAD,
                                 len - NET_RELIABLE_HEAD, on_message, &m) &&
            c->stage != ZVS_FREE) {
            uint8_t b[5];
            out(s, c, b, net_build_ack_s(b, number));
        }
        break;
    }
    case NET_C_ACK:
        net_reliable_acked(&c->rel, value);
        break;
    default:
        break;
    }
}

// Every 4th tic: the newest state of every other racing rider, as many datagrams as needed.
void relay_states(zvserver *s) {
    uint8_t b[NET_DATAGRAM_MAX];
    int per = (NET_DATAGRAM_MAX - NET_STATES_HEAD) / NET_RECORD;
    for (int i = 0; i < s->cfg.max_clients; i++) {
        zvserver_client *c = &s->clients[i];
        if (c->stage != ZVS_RACING) continue;
        int j = 0, sent = 0;
        for (;;) {
            int m = 0;
            for (; j < s->cfg.max_clients && m < per; j++) {
                const zvserver_client *o = &s->clients[j];
                if (j == i || o->stage != ZVS_RACING || !o->have_state) continue;
                uint8_t *r = b + NET_STATES_HEAD + NET_RECORD * m++;
                net_put16(r, (uint16_t)j);
                net_put16(r + 2, (uint16_t)o->lag);
                net_put32(r + 4, (uint32_t)o->state_tic);
                memcpy(r + 8, o->state, NET_STATE);
            }
            if (m == 0 && sent) break;
            b[0] = m ? NET_S_STATES : NET_S_CLOCK;
            net_put32(b + 1, s->session);
            net_put32(b + 5, (uint32_t)s->tic);
            net_put32(b + 9, (uint32_t)c->echo_tic);
            net_put32(b + 13, (uint32_t)m);
            out(s, c, b, m ? NET_STATES_HEAD + NET_RECORD * m : 13);
            sent = 1;
            if (j >= s->cfg.max_clients) break;
        }
    }
}

void step(zvserver *s, double now) {
    s->tic++;
    if (s->tic % 4 == 0) relay_states(s);
    int racing = 0, finished = 0;
    for (int i = 0; i < s->cfg.max_clients; i++) {
        zvserver_client *c = &s->clients[i];
        if (c->stage == ZVS_FREE) continue;
        if (now - c->last_heard > s->cfg.timeout_seconds) {
            uint8_t b = NET_S_DISCONNECT;
            out(s, c, &b, 1);
            drop(s, c, "timed out");
            continue;
        }
        if (c->stage == ZVS_RESTARTING && s->tic % 128 == 0) {
            uint8_t b[5]; // lost announcements are made again every second
            b[0] = NET_S_RESTART;
            net_put32(b + 1, s->session);
            out(s, c, b, 5);
        }
        if (c->stage == ZVS_RACING && c->race_slot < NET_SLOTS) {
            racing++;
            if (s->finish_positions > 0 && c->progress >= s->finish_positions) finished++;
        }
    }
    if (s->restart_pending) {
        int busy = 0;
        for (int i = 0; i < s->cfg.max_clients; i++)
            busy |= s->clients[i].stage == ZVS_RACE_SENT || s->clients[i].stage == ZVS_RIDERS;
        if (!busy) {
            zvserver_log(s, "a rider joined the grid: starting again");
            zvserver_restart(s, now);
            return;
        }
    }
    // The session ends a while after the winner's finish, at once when all have finished, or
    // two minutes past the time limit.
    int limit = s->cfg.time_limit_minutes * 60 * 128;
    if ((s->finish_tic >= 0 &&
         (s->tic - s->finish_tic > s->cfg.finish_seconds * 128 || finished == racing)) ||
        (limit > 0 && s->tic > s->gate_drop_tic + limit + 120 * 128) ||
        (s->cfg.session_seconds > 0 && racing > 0 && s->tic >= s->cfg.session_seconds * 128))
        zvserver_restart(s, now);
}

} // namespace

void zvserver_log(zvserver *s, const char *fmt, ...) {
    if (!s->log) return;
    va_list ap;
    va_start(ap, fmt);
    fprintf(s->log, "zvserver: ");
    vfprintf(s->log, fmt, ap);
    fprintf(s->log, "\n");
    fflush(s->log);
    va_end(ap);
}

int zvserver_init(zvserver *s, const zvserver_config *cfg) {
    memset(s, 0, sizeof *s);
    s->cfg = *cfg;
    if (s->cfg.max_clients < 1) s->cfg.max_clients = 1;
    if (s->cfg.max_clients > ZVSERVER_MAX_CLIENTS) s->cfg.max_clients = ZVSERVER_MAX_CLIENTS;
    s->clients =
        (zvserver_client *)zv_alloc_zeroed((size_t)s->cfg.max_clients, sizeof(zvserver_client));
    s->rng = (uint32_t)time(nullptr) * 2654435761u | 1;
    s->session = 0;
    s->finish_tic = -1;
    s->log = stderr;
    return s->clients != nullptr;
}

void zvserver_free(zvserver *s) {
    for (int i = 0; s->clients && i < s->cfg.max_clients; i++)
        zvserver_upload_drop(s, &s->clients[i]);
    zv_free(s->clients);
    s->clients = nullptr;
}

int zvserver_client_count(const zvserver *s) {
    int n = 0;
    for (int i = 0; i < s->cfg.max_clients; i++)
        n += s->clients[i].stage != ZVS_FREE;
    return n;
}

void zvserver_handle(zvserver *s, uint32_t addr, uint16_t port, const uint8_t *p, int len,
                     double now) {
    s->packets_in++;
    if (!net_packet_ok(p, len, 0)) return;
    if (p[0] == NET_C_CONTACT) {
        contact(s, addr, port, p, now);
        return;
    }
    zvserver_client *c = find(s, addr, port);
    // Address, port, slot and key must all be the client's.
    if (!c || net_get32(p + 1) != (uint32_t)slot_of(s, c) || net_get32(p + 5) != c->key) return;
    packet(s, c, p, len, now);
}

void zvserver_update(zvserver *s, double now) {
    if (s->tic_start == 0) s->tic_start = now;
    int target = (int)((now - s->tic_start) * 128.0);
    // A stalled machine catches up at most a second at a time.
    if (target - s->tic > 128) {
        s->tic_start = now - (s->tic + 128) / 128.0;
        target = s->tic + 128;
    }
    // A restart inside a step starts the clock again from tic 0 at now.
    while (s->tic < target) {
        uint32_t session = s->session;
        step(s, now);
        if (s->session != session) break;
    }
    for (int i = 0; i < s->cfg.max_clients; i++) {
        zvserver_client *c = &s->clients[i];
        if (c->stage == ZVS_FREE) continue;
        if (const net_message *m = net_reliable_due(&c->rel, now)) {
            uint8_t b[NET_RELIABLE_MAX];
            out(s, c, b, net_build_reliable_s(b, m->number, m->type, m->body, m->length));
        }
    }
}

void zvserver_restart(zvserver *s, double now) {
    if (s->session > 0 && s->cfg.track_count > 1) {
        int next = (s->track + 1) % s->cfg.track_count;
        if (!zvserver_load_track(s, next))
            zvserver_log(s, "track %s did not load: the rotation stays on %s", s->cfg.tracks[next],
                         s->track_dir);
    }
    s->session++;
    s->tic = 0;
    s->tic_start = now;
    s->gate_drop_tic = s->cfg.start_seconds * 128;
    s->finish_tic = -1;
    s->restart_pending = 0;
    zvserver_log(s, "session %u on %s", s->session, s->track_dir);
    for (int i = 0; i < s->cfg.max_clients; i++) {
        zvserver_client *c = &s->clients[i];
        if (c->stage == ZVS_FREE) continue;
        c->restart_vote = 0;
        c->options_sent = 0;
        c->have_state = 0;
        c->progress = 0;
        c->race_slot = NET_NO_SLOT;
        if (c->stage >= ZVS_RACE_SENT) {
            // Everyone already in lines up again, in slot order.
            int k = 0;
            for (int j = 0; j < i; j++)
                k += s->clients[j].stage >= ZVS_RACE_SENT;
            c->race_slot = k;
            c->stage = ZVS_RESTARTING;
        }
        if (c->stage == ZVS_RESTARTING) {
            uint8_t b[5];
            b[0] = NET_S_RESTART;
            net_put32(b + 1, s->session);
            out(s, c, b, 5);
        }
    }
}

void zvserver_shutdown(zvserver *s) {
    for (int i = 0; i < s->cfg.max_clients; i++)
        if (s->clients[i].stage != ZVS_FREE) {
            uint8_t b = NET_S_DISCONNECT;
            out(s, &s->clients[i], &b, 1);
        }
}
