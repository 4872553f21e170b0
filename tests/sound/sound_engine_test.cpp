// Engine synthesis: the built-in pipes, firing rates, table cells chosen by load, irregular
// firing from bias and scale lists, and definition and table text that must not break it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_engine.h"

namespace {

std::unique_ptr<sound_engine> engine(sound_engine_kind kind) {
    auto e = std::make_unique<sound_engine>();
    sound_engine_builtin(e.get(), kind);
    return e;
}

// Firings during the second second at a steady rpm (the first starts from 10 Hz).
int firings_in_second_second(sound_engine *e, float rpm) {
    std::vector<unsigned char> out(SOUND_MAX_FILL);
    e->rpm_prev = rpm;
    for (int i = 0; i < 5; i++)
        sound_engine_synth(e, SOUND_MAX_FILL, rpm, 1, out.data());
    uint32_t before = e->firings;
    for (int i = 0; i < 5; i++)
        sound_engine_synth(e, SOUND_MAX_FILL, rpm, 1, out.data());
    return (int)(e->firings - before);
}

TEST(sound_engine, builtin_pipes_firing_rates_and_load_columns) {
    auto four = engine(SOUND_FOUR_STROKE);
    EXPECT_EQ(four->tap_delay[0], 386);
    EXPECT_EQ(four->tap_delay[15], 315);
    for (int t = 0; t < SOUND_TAPS; t++) {
        EXPECT_FLOAT_EQ(four->tap_gain[t], -0.053125f);
        if (t > 0) {
            EXPECT_LE(four->tap_delay[t], four->tap_delay[t - 1]);
        }
    }
    auto line = engine(SOUND_TWO_STROKE);
    EXPECT_EQ(sound_braap_parse(line.get(), "pipe 5 0.91820717 -0.85 0 15 # stock\n", nullptr), 1);
    EXPECT_EQ(memcmp(line->tap_delay, four->tap_delay, sizeof four->tap_delay), 0);
    EXPECT_FLOAT_EQ(engine(SOUND_TWO_STROKE)->tap_gain[7], -0.046875f);
    EXPECT_FLOAT_EQ(engine(SOUND_FIFTY)->high_torque, 1.5f);
    EXPECT_EQ(sound_engine_class_kind("250f"), SOUND_FOUR_STROKE);
    EXPECT_EQ(sound_engine_class_kind("125"), SOUND_TWO_STROKE);
    EXPECT_EQ(sound_engine_class_kind("50"), SOUND_FIFTY);

    EXPECT_NEAR(firings_in_second_second(four.get(), 6000), 50, 1);
    auto two = engine(SOUND_TWO_STROKE);
    EXPECT_NEAR(firings_in_second_second(two.get(), 6000), 100, 1);
    // Far beyond any engine the firing stays below the output rate, and below the minimum rpm
    // the engine fires at the minimum.
    EXPECT_LE(firings_in_second_second(two.get(), 1e9f), SOUND_ENGINE_RATE / 2 + 1);
    EXPECT_NEAR(firings_in_second_second(two.get(), 10), 1000 / 60.0, 1);

    // Torque below the low torque: the closed-throttle column alone.
    EXPECT_EQ(sound_engine_load(four.get(), -10), 0);
    EXPECT_EQ(sound_engine_load(four.get(), 0), 0.5f);
    std::vector<unsigned char> out(SOUND_MAX_FILL);
    sound_engine_synth(four.get(), SOUND_MAX_FILL, 6000, sound_engine_load(four.get(), -10),
                       out.data());
    const sound_table *t = sound_builtin_table(0);
    EXPECT_EQ(four->voice[0].wave, t->cells[0].wave->samples);
    EXPECT_EQ(four->voice[1].wave, nullptr);
    EXPECT_EQ(four->voice[3].wave, nullptr);
}

TEST(sound_engine, bias_and_scale_cycle_apart_and_bad_lines_change_nothing) {
    auto e = engine(SOUND_FOUR_STROKE);
    EXPECT_EQ(sound_braap_parse(e.get(),
                                "bias 0 600\nscale 1 1 2\nbias\nscale nan\nminrpm x\n"
                                "hightorque 2.5\nlowtorque 2.5\nnoise 7\n",
                                nullptr),
              6);
    EXPECT_EQ(e->bias_count, 2);
    EXPECT_EQ(e->scale_count, 3);
    EXPECT_EQ(e->min_rpm, 1000);
    EXPECT_EQ(sound_engine_load(e.get(), 2.5f), 1); // equal torques divide by nothing
    EXPECT_EQ(sound_engine_load(e.get(), 2.4f), 0);
    std::vector<float> freq;
    std::vector<unsigned char> out(SOUND_MAX_FILL);
    e->rpm_prev = 6000;
    for (int i = 0; i < 20 && freq.size() < 13; i++) {
        uint32_t before = e->firings;
        for (int k = 0; k < 100; k++) {
            sound_engine_synth(e.get(), 88, 6000, 1, out.data());
            if (e->firings != before) freq.push_back(e->freq);
            before = e->firings;
        }
    }
    ASSERT_GE(freq.size(), 13u);
    // Six firings make the cycle: (6000 + bias[c % 2]) * scale[c % 3] / 60 * 0.5.
    for (size_t c = 0; c < 12; c++) {
        float q = (6000 + (c % 2 ? 600 : 0)) * (c % 3 == 2 ? 2 : 1);
        EXPECT_FLOAT_EQ(freq[c], q / 120) << c;
    }

    // A single tap, absurd lengths: delays stay inside the ring, gains finite.
    sound_braap_parse(e.get(),
                      "pipe 5 1 -0.5 3 3\npipe 1e9 0 -1 4 5\npipe -5 1 1 6 9\n"
                      "pipe 5 1 -0.5 9 2\npipe inf\n",
                      nullptr);
    EXPECT_EQ(e->tap_delay[3], 386);
    EXPECT_FLOAT_EQ(e->tap_gain[3], -0.5f);
    EXPECT_EQ(e->tap_delay[4], SOUND_RING - 1);
    EXPECT_EQ(e->tap_delay[6], 1);
    for (int t = 0; t < SOUND_TAPS; t++)
        EXPECT_TRUE(e->tap_delay[t] >= 1 && e->tap_delay[t] < SOUND_RING);

    // The writer starts the margin ahead of the reader, even across the ring's end.
    EXPECT_EQ(sound_engine_needed(e.get(), 30000), 0);
    EXPECT_EQ(e->write, (30000 + SOUND_AHEAD) & SOUND_RING_MASK);
    EXPECT_EQ(sound_engine_needed(e.get(), 30100), 100);
    EXPECT_EQ(sound_engine_needed(e.get(), 30100 + 20000), SOUND_MAX_FILL);
}

std::vector<sound_wave *> waves;
const sound_wave *fake_wave(const char *name) {
    if (strcmp(name, "missing") == 0) return nullptr;
    unsigned char bytes[200];
    for (int i = 0; i < 100; i++) {
        bytes[2 * i] = 0;
        bytes[2 * i + 1] = (unsigned char)(i < 50 ? 0x40 : 0xc0); // +0.5 then -0.5
    }
    waves.push_back(sound_wave_from_bytes(name, bytes, 200));
    return waves.back();
}

TEST(sound_table, parses_cells_and_refuses_what_would_break_synthesis) {
    const char *good = "SOUNDTABLE 2 2\n3000 3000\n0 1\n"
                       "5 2 -1 4 w00\n-1 1 w01\n-1 2 w10\n-1 100 w11\n";
    sound_table *t = sound_table_parse("good", good, fake_wave);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->cells[0].remap_count, 2);
    EXPECT_EQ(t->cells[0].remap[0], 1); // modulo 4 periods
    EXPECT_FLOAT_EQ(t->cells[0].wave->samples[0], 0.5f);
    EXPECT_FLOAT_EQ(t->cells[0].wave->samples[99], -0.5f);
    // Equal rpm rows: a firing weighs the cells without dividing by their difference.
    auto e = engine(SOUND_FOUR_STROKE);
    e->table = t;
    std::vector<unsigned char> out(SOUND_MAX_FILL);
    for (int i = 0; i < 3; i++)
        sound_engine_synth(e.get(), SOUND_MAX_FILL, 3000 + i * 1000, 0.5f, out.data());
    EXPECT_GT(e->firings, 0u);
    for (int i = 0; i < SOUND_ENGINE_VOICES; i++)
        EXPECT_TRUE(std::isfinite(e->voice[i].weight));
    sound_table_free(t);

    const char *bad[] = {
        "SOUNDTABLE 0 2\n",
        "SOUNDTABLE 1 1\n1000\n0\n-1 0 w\n",       // no periods
        "SOUNDTABLE 1 1\n1000\n0\n-1 1.5 w\n",     // fractional periods
        "SOUNDTABLE 1 1\n1000\n0\n-1 101 w\n",     // periods shorter than a sample
        "SOUNDTABLE 1 1\n1000\n0\n-3 -1 1 w\n",    // negative remap entry
        "SOUNDTABLE 1 1\n1000\n0\n-1 1 missing\n", // unreadable wave
        "SOUNDTABLE 1 2\n1000\n0\n-1 1 w\n",       // cut short
        "SOUNDTABLE 100 100\n",                    // too many cells
        "SOUNDTABLE 66666666666666666666 3\n",     // the cell count would overflow
        "SOUNDTABLE 1 1\nnan\n0\n-1 1 w\n",
    };
    for (const char *text : bad)
        EXPECT_EQ(sound_table_parse("bad", text, fake_wave), nullptr) << text;
    EXPECT_EQ(sound_wave_from_bytes("one byte", (const unsigned char *)"x", 1), nullptr);
    for (sound_wave *w : waves)
        sound_wave_free(w);
    waves.clear();
}

} // namespace
