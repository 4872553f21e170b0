#include "ride_harness.h"

#include "bike/bike_input_ride.h"
#include "bike/bike_setup.h"
#include "bike/bike_tire_ride.h"
#include "race/race.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "track/track_terrain.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void begin_world(void) {
    bike_world_destroy();
    bike_world_create();
    bike_shape_register_stock();
    bike_input_install();
    ride_harness_race_reset(1);
}

} // namespace

void ride_harness_race_reset(int race_on) {
    race_free();
    memset(&race, 0, sizeof race);
    race.gate_drop_tic = race_on ? 0 : 1 << 30;
    race.lap_total = race.halfway_lap = RACE_UNSET;
    race.viewed_slot = RACE_NONE;
    bike_world.tic = 0;
    bike_world.gate_drop_tic = race_on ? 0 : -1;
}

void ride_harness_step(void) {
    for (int s = 0; s < RACE_SLOTS; s++) {
        race.present[s] = bike_world.bikes[s].present;
        if (race.present[s]) race.status[s] = RACE_LOCAL;
    }
    race_tic();
}

void ride_harness_flat(int n, float spacing) {
    terrain_create(n, spacing, nullptr);
    begin_world();
}

int ride_harness_default_track(const char *binary_dir, double *x, double *z, double *heading) {
    static std::string home;
    if (home.empty()) {
        char h[] = "/tmp/zv_ride_home_XXXXXX";
        if (!mkdtemp(h)) return 0;
        home = h;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(home, ignored);
        });
    }
    setenv("ZV_HOME", binary_dir, 1);
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    file_index_free();
    data_root_reset();
    file_index_build();
    if (!terrain_load("@tracks/pinehollow")) return 0;
    data_file *f = data_open("@tracks/pinehollow/centerline", "rb");
    if (!f) return 0;
    int version = 0, points = 0;
    float length = 0;
    int ok = data_scanf(f, "centerline %d points %d length %f", &version, &points, &length) == 3 &&
             points > 8 && points < 1000000;
    std::vector<float> p;
    for (int i = 0; ok && i < 8; i++) {
        float v[4];
        ok = data_scanf(f, "%f %f %f %f", &v[0], &v[1], &v[2], &v[3]) == 4;
        p.insert(p.end(), v, v + 4);
    }
    data_close(f);
    if (!ok) return 0;
    *x = p[0];
    *z = p[2];
    double dx = p[7 * 4] - p[0], dz = p[7 * 4 + 2] - p[2];
    *heading = std::atan2(-dx, -dz);
    begin_world();
    return 1;
}

bike_record *ride_harness_bike(const char *model, double x, double z, double heading, int arcade) {
    bike_record *b = bike_create(0, model, 1);
    if (!b) return nullptr;
    static bike_setup s; // large; zeroed before init
    s = bike_setup{};
    bike_setup_init(&s);
    s.choice[SETUP_ARCADE] = arcade ? 1 : 0;
    bike_apply_setup(b, &s);
    bike_setup_free(&s);
    bike_place(b, x, z, heading);
    return b;
}

void ride_harness_sample(const bike_record *b, ride_sample *out) {
    dBodyID f = b->body[BIKE_FRAME];
    const dReal *v = dBodyGetLinearVel(f);
    const dReal *p = dBodyGetPosition(f);
    const dReal *w = dBodyGetAngularVel(f);
    out->tic = bike_world.tic;
    out->speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    out->rpm = bike_engine_rpm(&b->engine);
    out->gear = b->engine.gear;
    out->roll = bike_roll(f);
    out->crashed = bike_crashed(b);
    for (int k = 0; k < 3; k++)
        out->pos[k] = p[k];
    dVector3 fwd;
    dBodyVectorToWorld(f, 0, 0, -1, fwd);
    // Heading as placement uses it: 0 faces -z, positive turns toward -x (left).
    out->heading = std::atan2(-fwd[0], -fwd[2]);
    out->yaw_rate = w[1];
}

void ride_harness_tic(bike_record *b, const float controls[BIKE_INPUT_CHANNELS], ride_sample *out) {
    bike_input_apply_values(b, controls);
    ride_harness_step();
    // The tires' erosion samples come from the contact forces of the step just taken.
    bike_tire_erode_bike(b);
    if (out) ride_harness_sample(b, out);
}

bool ride_harness_finite(const bike_record *b) {
    for (int i = 0; i < BIKE_BODIES; i++) {
        const dReal *vals[4] = {dBodyGetPosition(b->body[i]), dBodyGetQuaternion(b->body[i]),
                                dBodyGetLinearVel(b->body[i]), dBodyGetAngularVel(b->body[i])};
        for (int k = 0; k < 4; k++)
            for (int j = 0; j < (k == 1 ? 4 : 3); j++)
                if (!std::isfinite(vals[k][j])) return false;
    }
    return std::isfinite(b->engine.omega) && std::isfinite(b->engine.phi);
}

void ride_harness_end(void) {
    bike_erosion_stroke_clear();
    bike_tire_roost_clear();
    bike_world_destroy();
    terrain_free();
}
