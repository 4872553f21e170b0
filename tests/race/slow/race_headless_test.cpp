// A whole race headless on the default track: riders at the gate, the gate drop, laps along the
// racing line under a simple line-following rider, and final results whose lap counts and lap
// times match where the riders' front wheels actually crossed the lap line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bike/bike_input_ride.h"
#include "bike/bike_setup.h"
#include "race/race.h"
#include "race/race_robots.h"
#include "support/ride_harness.h"
#include "track/track_centerline.h"
#include "track/track_gates.h"

namespace {

struct wheel_at {
    int tic;
    float x, z;
};

// Steers toward a point a little way down the racing line and holds a moderate speed. The
// rider keeps its own place on the line (searching only a little ahead of it), so a bend that
// passes close to another part of the track is not taken as a short cut.
struct line_rider {
    int index = 0; // nearest line point so far
    int still_tics = 0;
};

void line_rider_controls(line_rider *r, bike_record *b, const track_centerline *line,
                         float speed_goal, float controls[BIKE_INPUT_CHANNELS]) {
    const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
    const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
    int best = r->index;
    float best_d = 1e30f;
    for (int k = -4; k < 24; k++) {
        int i = ((r->index + k) % line->count + line->count) % line->count;
        float dx = line->points[i].x - (float)p[0], dz = line->points[i].z - (float)p[2];
        float d = dx * dx + dz * dz;
        if (d < best_d) best_d = d, best = i;
    }
    r->index = best;
    float step = line->length / (float)line->count;
    double speed = std::sqrt(v[0] * v[0] + v[2] * v[2]);
    // A rider stuck after a fall is put back on the line where he is; nothing is skipped.
    r->still_tics = speed < 1.0 ? r->still_tics + 1 : 0;
    if (r->still_tics > 3 * 128) {
        track_centerline_point here = track_centerline_at(line, (float)r->index * step);
        track_centerline_point ahead = track_centerline_at(line, (float)r->index * step + 4.0f);
        bike_place(b, here.x, here.z, atan2(-(ahead.x - here.x), -(ahead.z - here.z)));
        r->still_tics = 0;
    }
    track_centerline_point aim = track_centerline_at(line, (float)best * step + 12.0f);
    dVector3 fwd;
    dBodyVectorToWorld(b->body[BIKE_FRAME], 0, 0, -1, fwd);
    double heading = atan2(-fwd[0], -fwd[2]);
    double want = atan2(-(aim.x - p[0]), -(aim.z - p[2]));
    double err = std::remainder(want - heading, 2 * M_PI);
    for (int i = 0; i < BIKE_INPUT_CHANNELS; i++)
        controls[i] = 0.0f;
    // No steering until the bike rolls fast enough for the balance aids.
    double reach = std::clamp((speed - 6.0) / 10.0, 0.0, 1.0) * 0.6;
    controls[BIKE_INPUT_STEER] = (float)std::clamp(-1.2 * err, -reach, reach);
    controls[BIKE_INPUT_THROTTLE] = (float)std::clamp((speed_goal - speed) * 0.2 + 0.3, 0.0, 1.0);
    if (speed > speed_goal + 6.0) controls[BIKE_INPUT_REAR_BRAKE] = 0.5f;
}

TEST(RaceHeadless, DefaultTrackFromGateDropToFinalResults) {
    double x0, z0, h0;
    ASSERT_EQ(ride_harness_default_track(ZV_BINARY_DIR, &x0, &z0, &h0), 1);
    track_centerline line;
    ASSERT_EQ(track_centerline_load("tracks/pinehollow", &line), 1);
    gates_load("tracks/pinehollow");
    ASSERT_EQ(gates.valid, 1);

    memset(&race_steps, 0, sizeof race_steps);
    static int results_written;
    results_written = 0;
    race_steps.results_write = [] { results_written++; };
    const int riders[] = {19, 20, 21};
    int lineup[RACE_SLOTS] = {};
    for (int s : riders)
        lineup[s] = RACE_ROBOT;
    race_robots_shuffle(99);
    race_limits_set(0, 0, 2);
    race_lineup_set(lineup);
    static bike_setup setup;
    for (int s : riders) {
        ASSERT_EQ(race_bike_create(s), 1) << s;
        setup = bike_setup{};
        bike_setup_init(&setup);
        setup.choice[SETUP_ARCADE] = 0;
        bike_apply_setup(&bike_world.bikes[s], &setup);
        bike_setup_free(&setup);
        float x, z, h;
        race_grid_position(s, &x, &z, &h);
        bike_place(&bike_world.bikes[s], x, z, h);
    }
    race_reset();
    EXPECT_EQ(race.tic, 0);
    EXPECT_GE(race.gate_drop_tic, 13 * 128);
    EXPECT_LT(race.gate_drop_tic, 15 * 128);
    EXPECT_EQ(race.lap_total, 2);

    std::vector<wheel_at> track[RACE_SLOTS];
    float controls[BIKE_INPUT_CHANNELS];
    line_rider pilots[3];
    int finished_at = -1;
    const int limit = race.gate_drop_tic + 1500 * 128;
    while (race.tic < limit) {
        for (int k = 0; k < 3; k++) {
            int s = riders[k];
            bike_record *b = &bike_world.bikes[s];
            if (race.tic < race.gate_drop_tic || race_finished(s)) {
                memset(controls, 0, sizeof controls);
                controls[BIKE_INPUT_FRONT_BRAKE] = controls[BIKE_INPUT_REAR_BRAKE] = 1.0f;
                controls[BIKE_INPUT_SIT_DAB] = 1.0f;
            } else {
                line_rider_controls(&pilots[k], b, &line, 16.0f + 1.5f * k, controls);
            }
            bike_input_apply_values(b, controls);
        }
        race_tic();
        for (int s : riders) {
            const dReal *p = dBodyGetPosition(bike_world.bikes[s].body[BIKE_FRONT_WHEEL]);
            track[s].push_back({race.tic - 1, (float)p[0], (float)p[2]});
        }
        if (race.results_final) {
            finished_at = race.tic;
            break;
        }
    }
    ASSERT_GT(finished_at, 0) << "leader laps " << race_laps_completed(race_leader());
    EXPECT_EQ(results_written, 1);
    ASSERT_EQ(race.results_count, 3);

    // Nobody moved before the gate dropped far enough to reach the first checkpoint.
    for (int s : riders) {
        EXPECT_GT(race_pass_tic(s, 0), race.gate_drop_tic);
        EXPECT_TRUE(race_finished(s));
        EXPECT_EQ(race_laps_completed(s), 2) << s;
    }
    // The lap line: its checkpoint's half-disc, entered by the front wheel.
    int lap_cp = gates_sequence_checkpoint(race_position_entry(race_lap_end(1)));
    ASSERT_GE(lap_cp, 0);
    for (int s : riders) {
        std::vector<int> entries;
        bool inside = false;
        for (const wheel_at &w : track[s]) {
            bool in = race_checkpoint_crossed(lap_cp, w.x, w.z);
            if (in && !inside) entries.push_back(w.tic);
            inside = in;
        }
        ASSERT_GE(entries.size(), 2u) << s;
        // The passes race control recorded are the tics the wheel first entered the lap line.
        int end1 = race_pass_tic(s, race_lap_end(1)), end2 = race_pass_tic(s, race_lap_end(2));
        EXPECT_NE(std::find(entries.begin(), entries.end(), end1), entries.end()) << s;
        EXPECT_NE(std::find(entries.begin(), entries.end(), end2), entries.end()) << s;
        EXPECT_EQ(race_lap_tics(s, 1), end1 - race.gate_drop_tic);
        EXPECT_EQ(race_lap_tics(s, 2), end2 - end1);
        EXPECT_NEAR(race_lap_time(s, 2), (end2 - end1) / 128.0, 1e-9);
        // A lap of the line at this pace takes tens of seconds, not a few.
        EXPECT_GT(race_lap_time(s, 2), line.length / 60.0);
        EXPECT_LT(race_lap_time(s, 2), line.length / 2.0);
    }
    // The results run in the order the riders finished their second lap.
    for (int i = 1; i < race.results_count; i++)
        EXPECT_LT(race_pass_tic(race.results[i - 1].slot, race_lap_end(2)),
                  race_pass_tic(race.results[i].slot, race_lap_end(2)));
    track_centerline_free(&line);
    gates_clear();
    race_free();
    ride_harness_end();
}

} // namespace
