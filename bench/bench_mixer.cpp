// The sound module's cost with 40 engines audible: per rendered frame (60 a second) every engine
// synthesises its samples and streams them to its voice, and the mixer adds the voices into
// fragments of 1/64 s. Two outputs: the wave output's (22050 Hz stereo 8-bit, budget 16) and the
// recording's (88320 Hz mono 16-bit, budget 16), and the wave output with a budget of 40.
// Prints medians of 5 rounds of 10 s of sound, as CPU milliseconds per second of sound.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "sound/sound_engine.h"
#include "sound/sound_mixer.h"

namespace {

const int ENGINES = 40, FPS = 60, SECONDS = 10, ROUNDS = 5;

double cpu_now(void) {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

struct result {
    double synth_ms, mix_ms; // per second of sound
};

result round_of(int rate, int stereo, int bits, int budget) {
    int fragment = rate / 64;
    platform_mixer *m = sound_mixer_open(rate, budget, stereo, bits, fragment);
    std::vector<std::unique_ptr<sound_engine>> engines;
    std::vector<platform_voice *> voices;
    std::vector<unsigned char> silence(SOUND_RING, 128), bytes(SOUND_MAX_FILL);
    std::vector<unsigned char> out((size_t)fragment * (stereo ? 2 : 1) * (bits / 8));
    for (int i = 0; i < ENGINES; i++) {
        engines.push_back(std::make_unique<sound_engine>());
        sound_engine_builtin(engines.back().get(), i % 2 ? SOUND_TWO_STROKE : SOUND_FOUR_STROKE);
        platform_voice *v = sound_mixer_create_voice(m, silence.data(), SOUND_RING, 0);
        sound_mixer_set_loop(m, v, 1);
        // Every engine audible: levels spread from loud to quiet, pans across the field.
        sound_mixer_set_volume(m, v, 32767 - i * 700);
        sound_mixer_set_pan(m, v, -30000 + i * 1500);
        sound_mixer_start(m, v);
        voices.push_back(v);
    }
    double synth = 0, mix = 0;
    long long mixed = 0;
    for (int f = 0; f < FPS * SECONDS; f++) {
        double t0 = cpu_now();
        for (int i = 0; i < ENGINES; i++) {
            float rpm = 4000 + 3000 * std::sin(f * 0.02f + i);
            sound_mixer_set_rate(m, voices[(size_t)i], 44100 + (i % 7) * 300);
            int n = sound_engine_needed(engines[(size_t)i].get(),
                                        sound_mixer_play_position(m, voices[(size_t)i]));
            if (n <= 0) continue;
            int at =
                sound_engine_synth(engines[(size_t)i].get(), n, rpm, (f / 30) % 2, bytes.data());
            sound_mixer_write_samples(m, voices[(size_t)i], at, bytes.data(), n);
        }
        double t1 = cpu_now();
        // The fragments that fall due in this frame.
        long long due = (long long)(f + 1) * 64 / FPS;
        for (; mixed < due; mixed++)
            sound_mixer_mix(m, out.data());
        double t2 = cpu_now();
        synth += t1 - t0;
        mix += t2 - t1;
    }
    sound_mixer_close(m);
    return {synth * 1000 / SECONDS, mix * 1000 / SECONDS};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(const char *name, int rate, int stereo, int bits, int budget) {
    std::vector<double> s, m;
    for (int r = 0; r < ROUNDS; r++) {
        result x = round_of(rate, stereo, bits, budget);
        s.push_back(x.synth_ms);
        m.push_back(x.mix_ms);
    }
    printf("%-34s synthesis %7.1f ms/s   mix %6.2f ms/s   (CPU per second of sound)\n", name,
           median(s), median(m));
}

} // namespace

int main() {
    printf("%d engines audible, %d frames a second, medians of %d rounds of %d s\n", ENGINES, FPS,
           ROUNDS, SECONDS);
    report("22050 Hz stereo 8-bit, budget 16", 22050, 1, 8, 16);
    report("22050 Hz stereo 8-bit, budget 40", 22050, 1, 8, 40);
    report("88320 Hz mono 16-bit, budget 16", 88320, 0, 16, 16);
    return 0;
}
