// The packet codec, the reliable channel and the connection state machine fed bytes directly,
// and the race server's logic driven in-process through its packet handler.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/zv_message.h"
#include "bike/bike.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "net/net_client.h"
#include "net/net_transfer.h"
#include "race/race.h"
#include "tools/zvserver/zvserver.h"

namespace {

std::vector<std::vector<uint8_t>> g_sent;
void capture(const uint8_t *b, int n) {
    g_sent.emplace_back(b, b + n);
}
double g_now;
double fake_clock(void) {
    return g_now;
}

bool logged(const char *text) {
    for (int i = 0; i < 20; i++)
        if (zv_message_line(i) && strstr(zv_message_line(i), text)) return true;
    return false;
}

std::vector<uint8_t> pkt(std::initializer_list<uint32_t> words, int type) {
    std::vector<uint8_t> p(1 + 4 * words.size());
    p[0] = (uint8_t)type;
    int i = 0;
    for (uint32_t w : words)
        net_put32(p.data() + 1 + 4 * i++, w);
    return p;
}

struct client : testing::Test {
    void SetUp() override {
        zv_message_clear();
        g_sent.clear();
        net_transmit = capture;
        net_clock = fake_clock;
        net_program = net_program_calls();
        g_now = 100;
        net_client_open(1234);
    }
    void TearDown() override { net_client_close(); }
    void feed(const std::vector<uint8_t> &p) { net_client_handle(p.data(), (int)p.size()); }
};

TEST(net_codec, every_packet_needs_its_least_length_and_names_split_at_the_last_colon) {
    const int to_client[][2] = {{2, 13},  {4, 37}, {6, 9},  {8, 9},  {10, 13},
                                {11, 17}, {14, 5}, {17, 6}, {18, 5}, {25, 5}};
    uint8_t b[64] = {};
    for (auto &t : to_client) {
        b[0] = (uint8_t)t[0];
        EXPECT_FALSE(net_packet_ok(b, t[1] - 1, 1)) << t[0];
        EXPECT_TRUE(net_packet_ok(b, t[1], 1)) << t[0];
    }
    const int to_server[][2] = {{0, 21},  {3, 41}, {5, 13},  {7, 17}, {9, 13},
                                {11, 60}, {15, 9}, {17, 14}, {18, 13}};
    for (auto &t : to_server) {
        b[0] = (uint8_t)t[0];
        EXPECT_FALSE(net_packet_ok(b, t[1] - 1, 0)) << t[0];
        EXPECT_TRUE(net_packet_ok(b, t[1], 0)) << t[0];
    }
    EXPECT_FALSE(net_packet_ok(b, 0, 1));
    char host[64];
    EXPECT_EQ(net_split_address("race.example:2345", host, sizeof host), 2345);
    EXPECT_STREQ(host, "race.example");
    EXPECT_EQ(net_split_address("race.example:abc", host, sizeof host), NET_PORT);
    EXPECT_STREQ(host, "race.example:abc");
    EXPECT_EQ(net_split_address("a:b:99", host, sizeof host), 99);
    EXPECT_STREQ(host, "a:b");
    net_connect_request("zelvo:host:77");
    EXPECT_STREQ(net_client.target, "host:77");
    net_client.target[0] = 0;
}

std::vector<int> g_handled;
void record(void *, int type, const uint8_t *, int) {
    g_handled.push_back(type);
}

TEST(net_reliable_channel, in_order_once_with_a_bounded_early_list_and_one_in_flight) {
    static net_reliable r;
    net_reliable_reset(&r);
    g_handled.clear();
    uint8_t body[1] = {0};
    for (int n = 0; n <= 4; n++)
        ASSERT_TRUE(net_reliable_receive(&r, n, 100 + n, body, 1, record, nullptr));
    // 5, 7, 6 after 4: handled as 5, 6, 7; a second 6 is only acknowledged.
    EXPECT_TRUE(net_reliable_receive(&r, 5, 105, body, 1, record, nullptr));
    EXPECT_TRUE(net_reliable_receive(&r, 7, 107, body, 1, record, nullptr));
    EXPECT_TRUE(net_reliable_receive(&r, 6, 106, body, 1, record, nullptr));
    EXPECT_TRUE(net_reliable_receive(&r, 6, 106, body, 1, record, nullptr));
    EXPECT_EQ(g_handled, (std::vector<int>{100, 101, 102, 103, 104, 105, 106, 107}));
    // Far ahead: neither kept nor acknowledged, so it is sent again.
    EXPECT_FALSE(net_reliable_receive(&r, 8 + 300, 1, body, 1, record, nullptr));
    EXPECT_EQ(r.early_count, 0);

    // Outgoing: only the first goes, again after half a second, the next once it is acknowledged.
    ASSERT_TRUE(net_reliable_queue(&r, 24, "a", 1));
    ASSERT_TRUE(net_reliable_queue(&r, 24, "b", 1));
    const net_message *m = net_reliable_due(&r, 10.0);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->body[0], 'a');
    EXPECT_EQ(net_reliable_due(&r, 10.4), nullptr);
    EXPECT_EQ(net_reliable_due(&r, 10.5)->body[0], 'a');
    net_reliable_acked(&r, 1); // not the first: ignored
    EXPECT_EQ(net_reliable_due(&r, 11.0)->body[0], 'a');
    net_reliable_acked(&r, 0);
    EXPECT_EQ(net_reliable_due(&r, 11.0)->body[0], 'b');
    while (net_reliable_queue(&r, 1, "x", 1)) {
    }
    EXPECT_EQ(net_reliable_room(&r), 0); // producers wait
}

TEST_F(client, a_version_5_welcome_or_a_bad_slot_fails_and_a_good_one_introduces) {
    feed(pkt({3, 77, 5}, NET_S_WELCOME));
    EXPECT_EQ(net_client.state, NET_FAILED);
    EXPECT_TRUE(logged("Server version does not match client version"));
    net_client_open(1);
    feed(pkt({160, 77, 6}, NET_S_WELCOME));
    EXPECT_EQ(net_client.state, NET_FAILED);
    net_client_open(1);
    feed(pkt({3, 77, 6}, NET_S_WELCOME));
    EXPECT_EQ(net_client.state, NET_INTRODUCED);
    EXPECT_EQ(net_client.slot, 3);
    // A race naming a track the list does not hold.
    std::vector<uint8_t> race_p = pkt({1, 0, 5, 1000, 0, 0, 0, 0, 0}, NET_S_RACE);
    for (const char *c = "tracks/nowhere"; *c; c++)
        race_p.push_back((uint8_t)*c);
    feed(race_p);
    EXPECT_EQ(net_client.state, NET_FAILED);
    EXPECT_TRUE(logged("Can't find track 'tracks/nowhere'"));
}

TEST_F(client, states_clock_and_commands_are_bounded) {
    net_client.slot = 2;
    net_client.session = 12;
    net_client.state = NET_LOADED;
    race.tic = 50;
    // A clock packet with a negative tic cannot move the local tic.
    feed(pkt({12, 0xffffff00u, 0}, NET_S_CLOCK));
    EXPECT_EQ(race.tic, 50);
    feed(pkt({12, 1000, 0}, NET_S_CLOCK));
    EXPECT_EQ(race.tic, 1000);
    EXPECT_EQ(net_client.state, NET_RACING);
    // Two records announced, 80 bytes sent: the first is read, then the packet is too small.
    race.status[5] = RACE_REPLAYED;
    net_client.lineup[5] = RACE_REMOTE_HUMAN;
    std::vector<uint8_t> st = pkt({12, 1004, 0, 2}, NET_S_STATES);
    st.resize(80);
    net_put16(&st[17], 5);
    net_put32(&st[21], 1002);
    feed(st);
    EXPECT_TRUE(logged("State packet too small"));
    EXPECT_EQ(net_client.last_state_tic[5], 1002);
    // A far-future tic would freeze the rider: refused.
    st.resize(64);
    net_put32(&st[13], 1);
    net_put32(&st[21], 900000);
    feed(st);
    EXPECT_EQ(net_client.last_state_tic[5], 1002);

    net_client_command("knockout 5 7");
    EXPECT_EQ(bike_world.crash_delay[0], 5);
    for (int i = 1; i < 16; i++)
        EXPECT_EQ(bike_world.crash_delay[i], 7) << i;
    net_client_command("erode 12 1024");
    EXPECT_EQ(race.erosion_rate, 1024); // factor 1
    net_client_command("erode 12 999999999");
    EXPECT_EQ(race.erosion_rate, 102400);
    net_client_command("erode x");
    EXPECT_TRUE(logged("Malformed erode command received"));
    race.off_course_bias = 10;
    net_client_command("off_course_bias nan");
    net_client_command("off_course_bias -3");
    EXPECT_EQ(race.off_course_bias, 10.0f);
    // Lap progress whose count does not fit its message is ignored.
    uint8_t prog[20];
    net_put32(prog, 12);
    net_put32(prog + 4, 1u << 20);
    net_client_message(NET_M_PROGRESS, prog, 20);
    net_client_command("redirect  other.host:19801   ");
    EXPECT_STREQ(net_client.redirect, "other.host:19801");
    EXPECT_TRUE(logged("Redirecting to 'other.host:19801' in 10 seconds"));
}

TEST_F(client, full_fake_loss_drops_everything_and_reliable_text_is_acknowledged) {
    net_program.fake_loss = 100;
    for (int i = 0; i < 200; i++) {
        std::vector<uint8_t> w = pkt({3, 77, 6}, NET_S_WELCOME);
        net_client_receive(w.data(), (int)w.size(), g_now);
    }
    EXPECT_EQ(net_client.state, NET_CONTACTING);
    net_program.fake_loss = 0;
    net_client.slot = 1;
    std::vector<uint8_t> chat = pkt({0}, NET_S_RELIABLE);
    chat.push_back(NET_M_CHAT);
    for (const char *c = "Rider 2: hello"; *c; c++)
        chat.push_back((uint8_t)*c);
    g_sent.clear();
    feed(chat);
    EXPECT_TRUE(logged("Rider 2: hello"));
    ASSERT_EQ(g_sent.size(), 1u);
    EXPECT_EQ(g_sent[0][0], NET_C_ACK);
}

// The server: two clients on loopback addresses come in, and chat comes back as "name: text".
struct server_capture {
    std::vector<std::pair<uint16_t, std::vector<uint8_t>>> out;
};
void server_send(void *ctx, uint32_t, uint16_t port, const uint8_t *b, int n) {
    ((server_capture *)ctx)->out.push_back({port, std::vector<uint8_t>(b, b + n)});
}

TEST(net_server, admits_checks_keys_relays_chat_and_answers_full) {
    zvserver_config cfg;
    zvserver_config_defaults(&cfg);
    int line = 0;
    ASSERT_TRUE(zvserver_config_text(&cfg, "# two at most\nmax_clients = 2\nlaps=3\n", &line));
    EXPECT_FALSE(zvserver_config_text(&cfg, "max_clients=500\n", &line));
    EXPECT_EQ(line, 1);
    static zvserver s;
    ASSERT_TRUE(zvserver_init(&s, &cfg));
    s.log = nullptr;
    snprintf(s.track_dir, sizeof s.track_dir, "tracks/pinehollow");
    server_capture cap;
    s.send = server_send;
    s.send_ctx = &cap;
    uint8_t b[256];
    uint32_t keys[3] = {};
    for (uint16_t port = 1; port <= 3; port++) {
        cap.out.clear();
        zvserver_handle(&s, 0x0100007f, port, b, net_build_contact(b, 0, 1, port, 2), 1.0);
        ASSERT_EQ(cap.out.size(), 1u);
        if (port == 3) {
            EXPECT_EQ(cap.out[0].second[0], NET_S_FULL);
            break;
        }
        ASSERT_EQ(cap.out[0].second[0], NET_S_WELCOME);
        keys[port] = net_get32(&cap.out[0].second[5]);
        uint8_t cred[20] = {};
        std::string rider = "crf250|a|b|c|d\n7\nRider " + std::to_string(port);
        int n = net_build_info(b, port - 1, keys[port], 0, 1, port, cred, rider.c_str());
        cap.out.clear();
        zvserver_handle(&s, 0x0100007f, port, b, n, 1.1);
        ASSERT_EQ(cap.out.size(), 1u);
        EXPECT_EQ(cap.out[0].second[0], NET_S_RACE);
    }
    // A wrong key is not the client's packet.
    cap.out.clear();
    int n = net_build_reliable_c(b, 0, keys[1] ^ 1, 0, NET_M_COMMAND, (const uint8_t *)"hi", 2);
    zvserver_handle(&s, 0x0100007f, 1, b, n, 1.2);
    EXPECT_TRUE(cap.out.empty());
    n = net_build_reliable_c(b, 0, keys[1], 0, NET_M_COMMAND, (const uint8_t *)"hi", 2);
    zvserver_handle(&s, 0x0100007f, 1, b, n, 1.2);
    ASSERT_FALSE(cap.out.empty());
    EXPECT_EQ(cap.out[0].second[0], NET_S_ACK);
    cap.out.clear();
    zvserver_update(&s, 1.3);
    bool relayed = false;
    for (auto &o : cap.out)
        if (o.first == 2 && o.second[0] == NET_S_RELIABLE && o.second[5] == NET_M_CHAT)
            relayed = std::string(o.second.begin() + 6, o.second.end()) == "Rider 1: hi";
    EXPECT_TRUE(relayed);
    zvserver_free(&s);
}

} // namespace

namespace {

// Sends and acknowledges whatever the client has for the server until `until`; returns the
// console-text messages in the order they went out.
std::vector<std::string> commands_sent(double until) {
    std::vector<std::string> got;
    for (; g_now < until; g_now += 0.05) {
        g_sent.clear();
        net_client_send(g_now);
        for (auto &p : g_sent) {
            if (p[0] != NET_C_RELIABLE) continue;
            if (p[13] == NET_M_COMMAND) got.emplace_back(p.begin() + 14, p.end());
            uint8_t ack[5] = {NET_S_ACK};
            memcpy(ack + 1, &p[9], 4);
            net_client_handle(ack, 5);
        }
    }
    return got;
}

TEST_F(client, a_file_goes_out_in_parts_of_256_bytes_once_the_server_is_ready) {
    char tmpl[] = "/tmp/zv_send_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string home = tmpl;
    std::filesystem::create_directories(home + "/Zelvo/outgoing");
    std::string bytes(600, '\0');
    for (int i = 0; i < 600; i++)
        bytes[i] = (char)(i * 7);
    std::ofstream(home + "/Zelvo/outgoing/lap.zvdemo", std::ios::binary) << bytes;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    file_index_free();
    data_root_reset();
    feed(pkt({0, 99, NET_VERSION}, NET_S_WELCOME));

    EXPECT_FALSE(net_sendfile("../x"));
    EXPECT_TRUE(logged("Filename may only contain alphanumeric characters, '_' or '.'"));
    EXPECT_FALSE(net_sendfile("missing.zvdemo"));
    EXPECT_TRUE(logged("Can't open file"));
    ASSERT_TRUE(net_sendfile("lap.zvdemo extra words"));
    EXPECT_TRUE(logged("Sending file"));
    // Nothing but the offer until the server says it is ready.
    EXPECT_EQ(commands_sent(g_now + 1), std::vector<std::string>{"sendfile"});
    net_client_command("sendready");
    std::vector<std::string> got = commands_sent(g_now + 2);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "sendpart -" + bytes.substr(0, 256));
    EXPECT_EQ(got[1], "sendpart -" + bytes.substr(256, 256));
    EXPECT_EQ(got[2], "sendpart -" + bytes.substr(512));
    EXPECT_EQ(got[3], "namefile lap.zvdemo");
    EXPECT_EQ(net_transfer.file, nullptr);

    // An empty file is only its name; a denial closes the file and sends nothing more.
    std::ofstream(home + "/Zelvo/outgoing/empty.zvdemo");
    ASSERT_TRUE(net_sendfile("empty.zvdemo"));
    net_client_command("sendready");
    EXPECT_EQ(commands_sent(g_now + 1),
              (std::vector<std::string>{"sendfile", "namefile empty.zvdemo"}));
    ASSERT_TRUE(net_sendfile("lap.zvdemo"));
    net_client_command("senddenied");
    EXPECT_TRUE(logged("Send file denied"));
    EXPECT_EQ(commands_sent(g_now + 1), std::vector<std::string>{"sendfile"});
    EXPECT_FALSE(net_sendfile(std::string(500, 'a').c_str())); // the name would arrive cut
    EXPECT_TRUE(logged("Filename too long"));
    file_index_free();
    std::filesystem::remove_all(home);
}

TEST(net_server, a_sent_file_is_stored_under_a_plain_name_within_its_size) {
    char tmpl[] = "/tmp/zv_upload_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    zvserver_config cfg;
    zvserver_config_defaults(&cfg);
    cfg.max_clients = 1;
    static zvserver s;
    ASSERT_TRUE(zvserver_init(&s, &cfg));
    s.log = nullptr;
    zvserver_client *c = &s.clients[0];
    auto say = [&](const std::string &t) {
        return zvserver_upload_text(&s, c, (const uint8_t *)t.data(), (int)t.size());
    };
    auto answer = [&]() {
        std::string a;
        if (c->rel.out_count) {
            const net_message &m =
                c->rel.out[(c->rel.out_head + c->rel.out_count - 1) % NET_OUT_MAX];
            a.assign((const char *)m.body, (size_t)m.length);
        }
        net_reliable_reset(&c->rel);
        return a;
    };
    // A server without an upload folder refuses; chat is not a transfer.
    EXPECT_TRUE(say("sendfile"));
    EXPECT_EQ(answer(), "senddenied");
    EXPECT_FALSE(say("sendfiles are fun"));
    snprintf(s.cfg.upload_dir, sizeof s.cfg.upload_dir, "%s", dir.c_str());
    s.cfg.upload_max_kb = 1;

    EXPECT_TRUE(say(std::string("sendpart -stray", 15))); // no offer: dropped
    EXPECT_TRUE(say("sendfile"));
    EXPECT_EQ(answer(), "sendready");
    say(std::string("sendpart -a\0b", 13));
    say("namefile ../evil");
    EXPECT_FALSE(std::filesystem::exists(dir + "/../evil"));
    for (const char *bad : {"namefile .hidden", "namefile a/b", "namefile "}) {
        say("sendfile");
        say("sendpart -x");
        say(bad);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));

    for (int round = 0; round < 2; round++) {
        say("sendfile");
        say(std::string("sendpart -a\0b", 13));
        say("namefile lap.zvdemo");
    }
    std::ifstream in(dir + "/lap.zvdemo", std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), std::string("a\0b", 3));
    EXPECT_TRUE(std::filesystem::exists(dir + "/lap.zvdemo.1")); // the first one is kept

    answer();
    say("sendfile");
    std::string big = "sendpart -" + std::string(400, 'z');
    for (int i = 0; i < 3; i++)
        say(big);
    EXPECT_EQ(answer(), "senddenied"); // over 1 KiB
    EXPECT_EQ(c->upload, nullptr);
    say("namefile big.zvdemo");
    EXPECT_FALSE(std::filesystem::exists(dir + "/big.zvdemo"));
    zvserver_free(&s);
    std::filesystem::remove_all(dir);
}

} // namespace
