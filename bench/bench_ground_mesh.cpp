// Ground mesh choice on the default track: the full error pyramid build and the per-frame mesh
// (refinement, culling, fans to a counting sink) from rider-height cameras, as medians.
//
//   bench_ground_mesh [path/to/zzzz.saf]      (default: the build tree's data set)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data_index.h"
#include "track/track_load.h"
#include "track/track_mesh.h"
#include "track/track_terrain.h"

static double now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static void count_fan(void *user, int, int, int, const float *, int triangles, int) {
    *(long *)user += triangles;
}

int main(int argc, char **argv) {
    std::string saf = argc > 1 ? argv[1] : std::string(ZV_BINARY_DIR) + "/zzzz.saf";
    char dir[] = "/tmp/zv_bench_mesh_XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string copy = std::string("cp '") + saf + "' '" + dir + "/zzzz.saf'";
    if (system(copy.c_str()) != 0) return 1;
    setenv("ZV_HOME", dir, 1);
    setenv("XDG_DATA_HOME", dir, 1);
    data_root_reset();
    file_index_build();
    track_select("tracks/pinehollow");
    if (!track_load(nullptr, 0, 0, 0, 3, 0)) {
        fprintf(stderr, "bench_ground_mesh: the default track did not load\n");
        return 1;
    }
    std::vector<double> builds;
    for (int i = 0; i < 3; i++) {
        mesh_free();
        double t0 = now();
        mesh_update_errors(1, -1);
        builds.push_back(now() - t0);
    }
    std::vector<double> frames;
    long total = 0;
    float mid = terrain.extent / 2;
    for (int f = 0; f < 400; f++) {
        float a = f * 0.0157f, r = terrain.extent * 0.3f;
        mesh_view v = {};
        v.eye[0] = mid + r * std::cos(a);
        v.eye[2] = mid + r * std::sin(a);
        v.eye[1] = terrain_height(v.eye[0], v.eye[2]) + 6;
        v.dir[0] = -std::sin(a);
        v.dir[2] = std::cos(a);
        v.dir[1] = -0.1f;
        v.ground_detail = 1;
        long tris = 0;
        mesh_sink sink = {&tris, count_fan};
        double t0 = now();
        mesh_draw(&v, &sink);
        frames.push_back(now() - t0);
        total += tris;
    }
    printf("ground mesh, %dx%d heights: pyramid build median %.1f ms; per frame median %.3f ms, "
           "%ld triangles on average over %zu frames\n",
           terrain.size, terrain.size, median(builds) * 1000, median(frames) * 1000,
           total / (long)frames.size(), frames.size());
    std::string rm = std::string("rm -rf '") + dir + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
