// Engine sounds: for each engine class a sound table of waves (rpm rows by closed and open
// throttle columns), the waves as raw 16-bit samples, and the class's default ".braap" file.
//
// One period of a wave is one firing, as long as the firing interval at the row's rpm, so the
// wave plays at its own pitch there and is stretched or squeezed between rows. A period is a
// combustion pulse: a sharp attack ringing through three damped resonances (the cylinder, the
// pipe body and the silencer, lower and longer on the big four-strokes, higher and brighter on
// the small two-strokes), a burst of exhaust noise, and, open, a soft saturation that adds
// harmonics. Each period of four differs a little in strength and noise, which with the bias
// and scale lists keeps the firing from sounding like a buzzer.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "zvgen.h"

namespace {

const int RATE = 44100, PERIODS = 4, ROWS = 3;

struct engine_class {
    const char *name;
    int two_stroke;
    float rpm[ROWS];
    float resonance[3]; // Hz
    float decay[3];     // seconds
    float noise;        // exhaust noise share
    const char *pipe, *torque, *bias, *scale;
    uint64_t seed;
};

const engine_class CLASSES[] = {
    {"50",
     1,
     {2500, 7000, 12000},
     {1150, 2700, 4300},
     {0.004f, 0.0025f, 0.0015f},
     0.30f,
     "pipe 1.2 0.25 -0.7 0 15",
     "lowtorque -1\nhightorque 3.5\n",
     "bias 0 25 -20",
     "scale 1 1.004 0.996 1.002 0.998",
     50},
    {"125",
     1,
     {2500, 7500, 12000},
     {760, 1850, 3300},
     {0.006f, 0.003f, 0.002f},
     0.25f,
     "pipe 1.75 0.3 -0.75 0 15",
     "lowtorque -4\nhightorque 12\n",
     "bias 0 30 -25",
     "scale 1 1.003 0.997 1.001 0.998",
     125},
    {"250",
     1,
     {2000, 6500, 10000},
     {520, 1300, 2500},
     {0.008f, 0.004f, 0.0025f},
     0.22f,
     "pipe 2.4 0.4 -0.72 0 15",
     "lowtorque -5\nhightorque 25\n",
     "bias 0 40 -30",
     "scale 1 1.003 0.996 1.002",
     250},
    {"250f",
     0,
     {2000, 6000, 11000},
     {260, 620, 1350},
     {0.012f, 0.006f, 0.003f},
     0.12f,
     "pipe 5 0.91820717 -0.85 0 15",
     "lowtorque -4\nhightorque 15\n",
     "bias 0 60 -40 20",
     "scale 1 1.01 0.99",
     2500},
    {"450f",
     0,
     {1800, 5500, 9000},
     {170, 410, 900},
     {0.018f, 0.009f, 0.004f},
     0.10f,
     "pipe 6 1.1 -0.82 0 15",
     "lowtorque -5\nhightorque 28\n",
     "bias 0 80 -60 30",
     "scale 1 1.015 0.985",
     4500},
};

// One period of len samples into out.
void period(const engine_class *c, int open, double pitch, double strength, zvgen_rng *rng,
            float *out, int len) {
    double amp = (open ? 0.32 : 0.11) * strength, noise = c->noise * (open ? 1.0 : 1.6);
    double lp = 0; // one-pole low pass on the noise
    for (int i = 0; i < len; i++) {
        double t = (double)i / RATE, y = 0;
        for (int k = 0; k < 3; k++) {
            double w = k == 0 ? 1.0 : k == 1 ? 0.6 : 0.35;
            y += w * std::exp(-t * pitch / c->decay[k]) *
                 std::sin(2 * M_PI * c->resonance[k] * pitch * t);
        }
        double attack = 1 - std::exp(-(double)i / 6.0);
        double burst = std::exp(-t * pitch / (c->decay[0] * 1.5));
        lp += 0.35 * (zvgen_rng_range(rng, -1, 1) - lp);
        y = attack * (y + noise * burst * lp * 3);
        if (open) y = std::tanh(1.6 * y) / std::tanh(1.6);
        // The tail fades into the next period so periods join without a step.
        double edge = (double)(len - i) / (len * 0.1);
        if (edge < 1) y *= edge;
        out[i] = (float)(amp * y);
    }
}

int write_wave(const char *name, const std::vector<float> &w) {
    std::vector<uint8_t> bytes(w.size() * 2);
    for (size_t i = 0; i < w.size(); i++) {
        double v = std::round(w[i] * 32767.0);
        int s = v < -32768 ? -32768 : v > 32767 ? 32767 : (int)v;
        bytes[2 * i] = (uint8_t)(s & 255);
        bytes[2 * i + 1] = (uint8_t)((s >> 8) & 255);
    }
    return zvgen_write_file(name, bytes.data(), bytes.size());
}

int write_class(const engine_class *c) {
    zvgen_rng rng;
    zvgen_rng_seed(&rng, 0x50a4d000u + c->seed);
    zvgen_text table = {};
    zvgen_text_printf(&table, "SOUNDTABLE %d 2\n", ROWS);
    for (float r : c->rpm)
        zvgen_text_printf(&table, "%.0f ", r);
    zvgen_text_printf(&table, "\n0 1\n");
    float per_rev = c->two_stroke ? 1.0f : 0.5f;
    for (int r = 0; r < ROWS; r++)
        for (int open = 0; open < 2; open++) {
            int len = (int)std::lround(RATE / (per_rev * c->rpm[r] / 60.0));
            std::vector<float> wave((size_t)len * PERIODS);
            for (int p = 0; p < PERIODS; p++) {
                double strength = zvgen_rng_range(&rng, 0.8, 1.1);
                // Closed, a two-stroke now and then misses a firing.
                if (!open && c->two_stroke && p == 2) strength *= 0.3;
                period(c, open, c->rpm[r] / c->rpm[1], strength, &rng,
                       wave.data() + (size_t)p * len, len);
            }
            char name[128];
            snprintf(name, sizeof name, "sounds/%s_r%d_%s.raw", c->name, r,
                     open ? "open" : "closed");
            if (!write_wave(name, wave)) {
                zvgen_text_free(&table);
                return 0;
            }
            // Periods played in an order of their own: 0 1 2 3 1 0 3 2 ...
            zvgen_text_printf(&table, "0 1 2 3 1 0 3 2 -1 %d @%s\n", PERIODS, name);
        }
    char tname[64], bname[64];
    snprintf(tname, sizeof tname, "sounds/%s.soundtable", c->name);
    if (!zvgen_text_write(&table, tname)) return 0;
    snprintf(bname, sizeof bname, "default%s.braap", c->name);
    return zvgen_printf_file(bname,
                             "# Default engine sound of the %s class\n%s\nminrpm 1000\n%s%s\n%s\n"
                             "soundtable @%s\n",
                             c->name, c->pipe, c->torque, c->bias, c->scale, tname);
}

} // namespace

int zvgen_sound(void) {
    for (const engine_class &c : CLASSES)
        if (!write_class(&c)) return 0;
    return 1;
}
