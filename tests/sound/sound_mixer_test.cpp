// The mixer's voice lists, budget, gain switching and output formats, and the positioned-sound
// rules, driven through the operation table the platform calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "sound/sound_mixer.h"
#include "sound/sound_position.h"

namespace {

const platform_mixer_ops &ops = sound_mixer_ops;

std::vector<int16_t> mix16(platform_mixer *m) {
    std::vector<int16_t> out((size_t)m->fragment * (m->stereo ? 2 : 1));
    ops.mix(m, out.data());
    return out;
}

TEST(sound_mixer, levels_budget_and_silent_advance) {
    int l, r;
    sound_mixer_levels(32767, 0, &l, &r);
    EXPECT_EQ(l, 15); // the formula gives 15 on both sides of a centred voice
    EXPECT_EQ(r, 15);
    sound_mixer_levels(32767, -32768, &l, &r);
    EXPECT_EQ(l, 31);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(sound_mixer_table(31, 255), 127 * 31 / 32);
    EXPECT_EQ(sound_mixer_table(7, 0), -128 * 7 / 32); // toward zero: -28

    // Budget 2, mono 16-bit: levels 20, 10 and 5; the quietest is not heard but moves on.
    platform_mixer *m = ops.open(1000, 2, 0, 16, 100);
    ASSERT_NE(m, nullptr);
    std::vector<unsigned char> hi(400, 200);
    platform_voice *v[3];
    int volumes[3] = {(20 << 10) + 16, (10 << 10) + 16, (5 << 10) + 16}; // level ~ volume >> 10
    for (int i = 0; i < 3; i++) {
        v[i] = ops.create_voice(m, hi.data(), (int)hi.size(), 0);
        ops.set_volume(m, v[i], volumes[i]);
        ops.start(m, v[i]);
    }
    EXPECT_EQ(v[2]->level[0], 5);
    mix16(m); // a constant never changes sign: the first fragment stays silent
    std::vector<int16_t> out = mix16(m);
    int expected = sound_mixer_table(v[0]->level[0], 200) + sound_mixer_table(v[1]->level[0], 200);
    EXPECT_EQ(out[50], expected * 256);
    EXPECT_EQ(ops.play_position(m, v[2]), 200);

    // A non-looping voice ends with its buffer: unlinked, position 0; a looping one wraps.
    ops.set_loop(m, v[0], 1);
    mix16(m);
    mix16(m);
    EXPECT_EQ(ops.play_position(m, v[1]), 0);
    EXPECT_FALSE(v[1]->linked);
    EXPECT_EQ(ops.play_position(m, v[0]), 0);
    EXPECT_TRUE(v[0]->linked);
    mix16(m);
    EXPECT_EQ(ops.play_position(m, v[0]), 100);
    ops.close(m); // frees the voices with it
}

TEST(sound_mixer, writes_wrap_clones_share_and_rates_step) {
    platform_mixer *m = ops.open(22050, 16, 1, 8, 64);
    std::vector<unsigned char> buf(1024, 128), data(300);
    for (int i = 0; i < 300; i++)
        data[(size_t)i] = (unsigned char)(i + 1);
    platform_voice *v = ops.create_voice(m, buf.data(), 1024, 0);
    ops.write_samples(m, v, 900, data.data(), 300);
    EXPECT_EQ(v->buffer->samples[900], 1);
    EXPECT_EQ(v->buffer->samples[1023], 124);
    EXPECT_EQ(v->buffer->samples[0], 125);
    EXPECT_EQ(v->buffer->samples[175], 300 & 255);
    EXPECT_EQ(v->buffer->samples[176], 128);
    // Longer than the buffer: only the last 1024 bytes land, where they would have.
    std::vector<unsigned char> big(1500);
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (unsigned char)(i % 251);
    ops.write_samples(m, v, 0, big.data(), 1500);
    EXPECT_EQ(v->buffer->samples[476], big[476]);
    EXPECT_EQ(v->buffer->samples[0], big[1024]);
    EXPECT_EQ(v->buffer->samples[475], big[1499]);

    platform_voice *c = ops.clone_voice(m, v);
    EXPECT_EQ(c->buffer, v->buffer);
    EXPECT_EQ(v->buffer->refs, 2);
    ops.free_voice(m, v);
    EXPECT_EQ(c->buffer->refs, 1);
    EXPECT_EQ(c->pan, 0); // stereo output: centred

    // Resampling at creation: 100 samples at 11025 Hz become 200 at 22050.
    platform_voice *r = ops.create_voice(m, data.data(), 100, 11025);
    EXPECT_EQ(r->buffer->length, 200);
    EXPECT_EQ(r->buffer->samples[199], data[99]);
    // Play rate twice the device rate steps two samples per output sample.
    ops.set_rate(m, r, 44100);
    ops.start(m, r);
    std::vector<unsigned char> out(128);
    ops.mix(m, out.data());
    EXPECT_EQ(ops.play_position(m, r), 128);
    EXPECT_EQ(ops.create_voice(m, data.data(), 0, 0), nullptr);
    EXPECT_EQ(ops.create_voice(m, data.data(), 1, 44100 * 4), nullptr); // rounds to nothing
    ops.close(m);
}

TEST(sound_mixer, gain_switches_wait_for_a_sign_change_but_not_forever) {
    platform_mixer *m = ops.open(1000, 16, 0, 16, 50);
    // A square wave: 10 samples high, 10 low; and a constant (never changes sign).
    std::vector<unsigned char> sq(1000), dc(1000, 255);
    for (int i = 0; i < 1000; i++)
        sq[(size_t)i] = (i / 10) % 2 ? 28 : 228;
    platform_voice *v = ops.create_voice(m, sq.data(), 1000, 0);
    ops.start(m, v);
    std::vector<int16_t> a = mix16(m);
    EXPECT_EQ(a[0], 0); // a start waits for the first sign change too
    EXPECT_EQ(a[10], sound_mixer_table(31, 28) * 256);
    ops.set_volume(m, v, 0);
    a = mix16(m); // at position 50: high until 60, where the sign flips
    EXPECT_NE(a[5], 0);
    EXPECT_EQ(a[10], 0);
    ops.free_voice(m, v);

    platform_voice *d = ops.create_voice(m, dc.data(), 1000, 0);
    ops.set_loop(m, d, 1);
    ops.start(m, d);
    a = mix16(m);
    EXPECT_EQ(a[49], 0); // silence to full never crossed a sign: still silent
    a = mix16(m);
    EXPECT_EQ(a[0], sound_mixer_table(31, 255) * 256); // completed with the fragment
    ops.close(m);
}

TEST(sound_position, gain_doppler_and_pan) {
    EXPECT_FLOAT_EQ(sound_distance_gain(1, 0.5f), 1);
    EXPECT_NEAR(sound_distance_gain(1, 49), 0.5f, 1e-6);
    EXPECT_EQ(sound_distance_gain(1, NAN), 0);
    sound_listener l = {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}};
    float src[3] = {0, 0, -100}, still[3] = {0, 0, 0};
    EXPECT_FLOAT_EQ(sound_doppler(&l, src, still), 1);
    // Coming at 570 units/s: half the speed of sound doubles the pitch.
    float coming[3] = {0, 0, 570.3f};
    EXPECT_NEAR(sound_doppler(&l, src, coming), 2.0f, 0.01f);
    // At or beyond the speed of sound, and far above the limit: capped at 8, never dropped.
    float sonic[3] = {0, 0, 1140.6f}, beyond[3] = {0, 0, 5000};
    EXPECT_FLOAT_EQ(sound_doppler(&l, src, sonic), 8);
    EXPECT_FLOAT_EQ(sound_doppler(&l, src, beyond), 8);
    float leaving[3] = {0, 0, -1e6f};
    EXPECT_FLOAT_EQ(sound_doppler(&l, src, leaving), 0.125f);
    float here[3] = {0.01f, 0, 0};
    EXPECT_FLOAT_EQ(sound_doppler(&l, here, coming), 1);
    EXPECT_EQ(sound_pan(&l, here), 0);
    float right[3] = {10, 0, 0}, left[3] = {-10, 0, 0};
    EXPECT_EQ(sound_pan(&l, right), 32767);
    EXPECT_EQ(sound_pan(&l, left), -32767);
    EXPECT_EQ(sound_rate(44100 * 8.0), 352800);
    EXPECT_EQ(sound_rate(0), 100);
}

} // namespace
