// Single-bike simulation speed, headless: whole tics (contacts, world step, bike update with
// engine, tires and balance) per second for one bike riding on flat ground and on the default
// track. Prints medians of several rounds.
#include "../tests/support/ride_harness.cpp"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// The null back end's clock is scripted, so time the rounds with the system's clocks: wall time,
// and this process's CPU time, which a busy shared machine disturbs less.
double wall_now(void) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
double cpu_now(void) {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct rate {
    double wall, cpu;
};

// Tics per second over `tics` tics of a scripted ride (full throttle with a slow weave, or
// random inputs changing every 48 tics).
rate ride_round(bike_record *b, int tics, bool random_inputs, std::mt19937 &rng) {
    std::uniform_real_distribution<float> unit(0, 1), sym(-1, 1);
    float c[BIKE_INPUT_CHANNELS] = {};
    double w0 = wall_now(), c0 = cpu_now();
    for (int t = 0; t < tics; t++) {
        if (random_inputs) {
            if (t % 48 == 0) {
                c[BIKE_INPUT_STEER] = 0.6f * sym(rng);
                c[BIKE_INPUT_THROTTLE] = unit(rng);
                c[BIKE_INPUT_FRONT_BRAKE] = unit(rng) < 0.2f ? unit(rng) : 0;
            }
        } else {
            c[BIKE_INPUT_THROTTLE] = 1;
            c[BIKE_INPUT_STEER] = 0.3f * (float)std::sin(t / 256.0);
        }
        ride_harness_tic(b, c);
    }
    return {tics / (wall_now() - w0), tics / (cpu_now() - c0)};
}

rate median(const std::vector<rate> &v) {
    std::vector<double> w, c;
    for (const rate &r : v)
        w.push_back(r.wall), c.push_back(r.cpu);
    std::sort(w.begin(), w.end());
    std::sort(c.begin(), c.end());
    return {w[w.size() / 2], c[c.size() / 2]};
}

} // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const int tics = 128 * 30;
    std::mt19937 rng(1);

    std::vector<rate> flat;
    for (int r = 0; r < rounds; r++) {
        ride_harness_flat(9, 2.0f);
        bike_record *b = ride_harness_bike("crf250(2007)", 1024, 1800, 0);
        flat.push_back(ride_round(b, tics, false, rng));
        ride_harness_end();
    }
    rate m = median(flat);
    fprintf(stderr,
            "flat ground, full throttle: median %.0f tics/s wall, %.0f per CPU second "
            "(%d rounds of %d tics)\n",
            m.wall, m.cpu, rounds, tics);

    double x, z, h;
    std::vector<rate> track;
    for (int r = 0; r < rounds; r++) {
        if (!ride_harness_default_track(ZV_BINARY_DIR, &x, &z, &h)) {
            fprintf(stderr, "default track not found beside %s\n", ZV_BINARY_DIR);
            return 1;
        }
        bike_record *b = ride_harness_bike("crf250(2007)", x, z, h);
        track.push_back(ride_round(b, tics, true, rng));
        ride_harness_end();
    }
    m = median(track);
    fprintf(stderr,
            "default track, random inputs: median %.0f tics/s wall, %.0f per CPU second "
            "(%d rounds of %d tics)\n",
            m.wall, m.cpu, rounds, tics);
    return 0;
}
