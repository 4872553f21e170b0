// Default track load time and terrain query rates, as medians over repeated runs.
//
//   bench_track [path/to/zzzz.saf]      (default: the build tree's data set)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/data_index.h"
#include "track/track_load.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

// Wall time: the headless back end's platform clock is scripted and does not advance by itself.
static double now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main(int argc, char **argv) {
    std::string saf = argc > 1 ? argv[1] : std::string(ZV_BINARY_DIR) + "/zzzz.saf";
    char dir[] = "/tmp/zv_bench_track_XXXXXX";
    if (!mkdtemp(dir)) {
        fprintf(stderr, "bench_track: no temporary directory\n");
        return 1;
    }
    std::string copy = std::string("cp '") + saf + "' '" + dir + "/zzzz.saf'";
    if (system(copy.c_str()) != 0) {
        fprintf(stderr, "bench_track: can't copy %s\n", saf.c_str());
        return 1;
    }
    setenv("ZV_HOME", dir, 1);
    setenv("XDG_DATA_HOME", dir, 1);
    data_root_reset();
    file_index_build();

    const int loads = 7;
    std::vector<double> load_times;
    track_select("tracks/pinehollow");
    for (int i = 0; i < loads; i++) {
        track_force_reload();
        double t0 = now();
        if (!track_load(nullptr, 0, 0, 0, 3, 0)) {
            fprintf(stderr, "bench_track: the default track did not load\n");
            return 1;
        }
        load_times.push_back(now() - t0);
    }
    printf("default track load: median %.1f ms over %d loads (%dx%d heights)\n",
           median(load_times) * 1000.0, loads, terrain.size, terrain.size);

    // Query points spread over the ground, precomputed so only the queries are timed.
    const int points = 1 << 20;
    std::vector<float> xs(points), zs(points);
    uint32_t seed = 12345;
    for (int i = 0; i < points; i++) {
        seed = seed * 1664525u + 1013904223u;
        xs[i] = (float)(seed >> 8) / 16777216.0f * terrain.extent;
        seed = seed * 1664525u + 1013904223u;
        zs[i] = (float)(seed >> 8) / 16777216.0f * terrain.extent;
    }
    // A second set of points walks the ground in half-foot steps, as a wheel does.
    std::vector<float> wx(points), wz(points);
    float x = terrain.extent / 2, z = terrain.extent / 2, heading = 0;
    for (int i = 0; i < points; i++) {
        seed = seed * 1664525u + 1013904223u;
        heading += ((float)(seed >> 8) / 16777216.0f - 0.5f) * 0.2f;
        x += 0.5f * cosf(heading);
        z += 0.5f * sinf(heading);
        if (x < 0 || z < 0 || x > terrain.extent || z > terrain.extent) {
            x = terrain.extent / 2;
            z = terrain.extent / 2;
        }
        wx[i] = x;
        wz[i] = z;
    }
    const int rounds = 9, repeat = 8;
    std::vector<double> height_rates, normal_rates, tile_rates, walk_rates;
    volatile float sink = 0;
    for (int r = 0; r < rounds; r++) {
        double t0 = now();
        float acc = 0;
        for (int k = 0; k < repeat; k++)
            for (int i = 0; i < points; i++)
                acc += terrain_height(xs[i], zs[i]);
        double t1 = now();
        float nrm[3];
        for (int k = 0; k < repeat; k++)
            for (int i = 0; i < points; i++) {
                terrain_normal(xs[i], zs[i], nrm);
                acc += nrm[0];
            }
        double t2 = now();
        int types = 0;
        for (int k = 0; k < repeat; k++)
            for (int i = 0; i < points; i++)
                types += tile_at(xs[i], zs[i]);
        double t3 = now();
        for (int k = 0; k < repeat; k++)
            for (int i = 0; i < points; i++)
                acc += terrain_height(wx[i], wz[i]);
        double t4 = now();
        sink = sink + acc + (float)types;
        walk_rates.push_back((double)points * repeat / (t4 - t3));
        double q = (double)points * repeat;
        height_rates.push_back(q / (t1 - t0));
        normal_rates.push_back(q / (t2 - t1));
        tile_rates.push_back(q / (t3 - t2));
    }
    printf("terrain_height: median %.1f million queries/s\n", median(height_rates) / 1e6);
    printf("terrain_normal: median %.1f million queries/s\n", median(normal_rates) / 1e6);
    printf("terrain_height along a path: median %.1f million queries/s\n",
           median(walk_rates) / 1e6);
    printf("tile_at: median %.1f million queries/s\n", median(tile_rates) / 1e6);
    track_unload();
    file_index_free();
    std::string rm = std::string("rm -rf '") + dir + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
