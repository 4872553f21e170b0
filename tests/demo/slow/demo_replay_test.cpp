// A recorded race of eight riders over three laps on the default track (until the winner is home
// and five seconds more), played back: every recorded state comes back byte for byte at its tic,
// and race control replaying the riders from their histories gives the same order, laps and lap
// times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include "bike/bike_input_ride.h"
#include "demo/demo.h"
#include "demo/demo_race.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "support/ride_harness.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"
#include "track/track_hooks.h"
#include "track/track_load.h"

namespace {

// Follows the racing line at a set speed; enough to make laps worth recording.
struct pilot {
    int index = 0;
    int still = 0;
};

void steer(pilot *r, bike_record *b, const track_centerline *line, float goal, float *c) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    int best = r->index;
    float best_d = 1e30f;
    for (int k = -2; k < 12; k++) {
        int i = ((r->index + k) % line->count + line->count) % line->count;
        float dx = line->points[i].x - (float)p[0], dz = line->points[i].z - (float)p[2];
        if (dx * dx + dz * dz < best_d) best_d = dx * dx + dz * dz, best = i;
    }
    r->index = best;
    float step = line->length / (float)line->count;
    double speed = std::sqrt(v[0] * v[0] + v[2] * v[2]);
    r->still = speed < 1.0 ? r->still + 1 : 0;
    if (r->still > 3 * 128) {
        track_centerline_point here = track_centerline_at(line, (float)r->index * step);
        track_centerline_point ahead = track_centerline_at(line, (float)r->index * step + 4.0f);
        bike_place(b, here.x, here.z, atan2(-(ahead.x - here.x), -(ahead.z - here.z)));
        r->still = 0;
    }
    track_centerline_point aim = track_centerline_at(line, (float)best * step + 14.0f);
    dVector3 fwd;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, -1, fwd);
    double err =
        std::remainder(atan2(-(aim.x - p[0]), -(aim.z - p[2])) - atan2(-fwd[0], -fwd[2]), 2 * M_PI);
    for (int i = 0; i < BIKE_INPUT_CHANNELS; i++)
        c[i] = 0.0f;
    double reach = std::clamp((speed - 6.0) / 10.0, 0.0, 1.0) * 0.5;
    c[BIKE_INPUT_STEER] = (float)std::clamp(-1.2 * err, -reach, reach);
    c[BIKE_INPUT_THROTTLE] = (float)std::clamp((goal - speed) * 0.2 + 0.3, 0.0, 1.0);
    if (speed > goal + 6.0) c[BIKE_INPUT_REAR_BRAKE] = 0.5f;
}

TEST(DemoReplay, EightRidersThreeLapsComeBackExactly) {
    double x0, z0, h0;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x0, &z0, &h0), 1);
    track_centerline line;
    ASSERT_EQ(track_centerline_load("tracks/pinehollow", &line), 1);
    gates_load("tracks/pinehollow");
    ASSERT_EQ(gates.valid, 1);

    static char dir[] = "tracks/pinehollow";
    track_loaded.dir = dir;
    memset(&race_steps, 0, sizeof race_steps);
    demo_install();
    race_steps.demo_tic = [] { demo_race_record_tic(0); };
    const int first = 16, count = 8;
    int lineup[RACE_SLOTS] = {};
    for (int k = 0; k < count; k++)
        lineup[first + k] = RACE_ROBOT;
    race_robots_shuffle(7);
    race_limits_set(0, 0, 3);
    race_lineup_set(lineup);
    for (int k = 0; k < count; k++)
        ASSERT_EQ(race_bike_create(first + k), 1);
    race_reset();
    track_steps.demo_record_start();
    ASSERT_TRUE(demo_recording_active());

    std::map<std::pair<int, int>, std::vector<uint8_t>> seen;
    pilot pilots[count];
    float c[BIKE_INPUT_CHANNELS];
    const int limit = race.gate_drop_tic + 900 * 128;
    int minutes_tics = 0;
    int end_tic = limit;
    while (race.tic < end_tic && !race.results_final) {
        int leader = race_leader();
        if (end_tic == limit && leader != RACE_NONE && race_finished(leader))
            end_tic = race.tic + 5 * 128; // a little of the field coming home
        for (int k = 0; k < count; k++) {
            int s = first + k;
            bike_record *b = &bike_world.bikes[s];
            if (race.tic < race.gate_drop_tic || race_finished(s)) {
                memset(c, 0, sizeof c);
                c[BIKE_INPUT_FRONT_BRAKE] = c[BIKE_INPUT_REAR_BRAKE] = c[BIKE_INPUT_SIT_DAB] = 1.0f;
            } else {
                steer(&pilots[k], b, &line, 20.0f + 1.0f * k, c);
            }
            bike_input_apply_values(b, c);
        }
        race_tic();
        if (race.tic % 4 == 0)
            for (int k = 0; k < count; k++) {
                std::vector<uint8_t> r(DEMO_STATE);
                bike_encode(&bike_world.bikes[first + k], r.data());
                seen[{k, race.tic}] = r;
            }
        minutes_tics = race.tic;
    }
    ASSERT_LT(end_tic, limit) << "nobody finished";
    demo_race_record_tic(1);
    demo_race_finish();
    int order[count], done[count], laps[count][3];
    race_update_order();
    ASSERT_EQ(race.order_count, count);
    for (int k = 0; k < count; k++) {
        order[k] = race.order[k].slot;
        done[k] = race_laps_completed(first + k);
        for (int l = 0; l < 3; l++)
            laps[k][l] = race_lap_tics(first + k, l + 1);
    }
    EXPECT_EQ(done[race_leader() - first], 3);

    // Every state recorded comes back at its tic.
    ASSERT_TRUE(demo_race_open("@demos/default.zvdemo"));
    EXPECT_EQ(demo_play.rider_count, count);
    static demo_summary sum;
    ASSERT_TRUE(demo_summarize(&sum));
    long size = demo_play.size;
    fprintf(stderr, "demo: %ld bytes, %.1f s, %.0f bytes per minute per rider\n", size,
            minutes_tics / 128.0, size / (minutes_tics / 128.0 / 60.0) / count);
    for (int k = 0; k < count; k++)
        demo_play.slot_of[k] = 40 + k;
    demo_history_clear();
    int read_tic = 0, matched = 0;
    demo_play_tic(&read_tic); // the clock jumps to the first block; earlier states came with it
    for (int tic = 0; tic <= minutes_tics + 64; tic++) {
        if (tic > read_tic) {
            read_tic = tic;
            demo_play_tic(&read_tic);
        }
        for (int k = 0; k < count && tic % 4 == 0; k++) {
            int o, n;
            auto it = seen.find({k, tic});
            if (it == seen.end() || !demo_history_around(40 + k, tic + 1, &o, &n)) continue;
            const demo_history_slot *h = &demo_history[40 + k];
            int at = h->tic[n] == tic ? n : h->tic[o] == tic ? o : -1;
            ASSERT_GE(at, 0) << k << " " << tic;
            ASSERT_EQ(memcmp(h->rec[at], it->second.data(), DEMO_STATE), 0) << k << " " << tic;
            matched++;
        }
    }
    EXPECT_EQ(matched, (int)seen.size());

    // Race control replays the riders from the demo.
    int empty[RACE_SLOTS] = {};
    for (int s = 0; s < RACE_SLOTS; s++)
        if (bike_world.bikes[s].present) bike_destroy(&bike_world.bikes[s]);
    race_limits_set(0, 0, 10);
    race_lineup_set(empty);
    ASSERT_TRUE(demo_race_open("@demos/default.zvdemo"));
    race.laps = demo_play.laps;
    for (int k = 0; k < count; k++)
        ASSERT_EQ(demo_place_rider(k, first + k), 1);
    race_reset();
    demo_install();
    while (race.tic < end_tic)
        race_tic();
    race_update_order();
    ASSERT_EQ(race.order_count, count);
    for (int k = 0; k < count; k++) {
        EXPECT_EQ(race.order[k].slot, order[k]) << k;
        EXPECT_EQ(race_laps_completed(first + k), done[k]) << k;
        for (int l = 0; l < 3; l++)
            EXPECT_NEAR(race_lap_tics(first + k, l + 1), laps[k][l], 4) << k << " lap " << l + 1;
    }
    demo_play_close();
    race_steps = race_step_hooks{};
    track_centerline_free(&line);
    gates_clear();
    race_free();
    track_loaded.dir = nullptr;
    ride_harness_end();
}

} // namespace
