// Driver choice, the readback driver and the fragment arithmetic, with a recording mixer.
#include "platform/null/platform_null.h"
#include "platform/platform_audio.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

struct recording_mixer {
    int opens, closes, mixes;
    int rate, channels, stereo, bits, fragment;
    int last_volume;
};

recording_mixer g_rec;
int g_voice_token;

platform_mixer *rec_open(int rate, int channels, int stereo, int bits, int fragment) {
    g_rec.opens++;
    g_rec.rate = rate;
    g_rec.channels = channels;
    g_rec.stereo = stereo;
    g_rec.bits = bits;
    g_rec.fragment = fragment;
    return (platform_mixer *)&g_rec;
}
void rec_close(platform_mixer *) {
    g_rec.closes++;
}
void rec_mix(platform_mixer *, void *out) {
    g_rec.mixes++;
    int16_t *s = (int16_t *)out;
    for (int i = 0; i < g_rec.fragment; i++)
        s[i] = (int16_t)(i + g_rec.mixes);
}
platform_voice *rec_create(platform_mixer *, const void *, int, int) {
    return (platform_voice *)&g_voice_token;
}
void rec_volume(platform_mixer *, platform_voice *, int v) {
    g_rec.last_volume = v;
}

platform_mixer_ops recording_ops() {
    platform_mixer_ops ops = {};
    ops.open = rec_open;
    ops.close = rec_close;
    ops.mix = rec_mix;
    ops.create_voice = rec_create;
    ops.set_volume = rec_volume;
    return ops;
}

class PlatformAudio : public ::testing::Test {
  protected:
    void SetUp() override {
        platform_null_reset();
        platform_options_reset();
        unsetenv("QUVA_OPTIONS");
        platform_audio_set_mixer(nullptr);
        g_rec = recording_mixer{};
    }
    void TearDown() override {
        if (platform_audio_driver()) platform_close_audio(nullptr);
        platform_audio_set_mixer(nullptr);
        platform_options_reset();
        unsetenv("QUVA_OPTIONS");
    }
};

TEST(PlatformAudioMath, MixAheadFragments) {
    EXPECT_EQ(platform_audio_mixahead_fragments(125), 8);
    EXPECT_EQ(platform_audio_mixahead_fragments(10), 1);
    EXPECT_EQ(platform_audio_mixahead_fragments(1000), 32);
    EXPECT_EQ(platform_audio_mixahead_fragments(15), 1); // 960 is still one
    EXPECT_EQ(platform_audio_mixahead_fragments(16), 1); // 1024 / 1000
    EXPECT_EQ(platform_audio_mixahead_fragments(515), 32);
    EXPECT_EQ(platform_audio_mixahead_fragments(516), 32);
    EXPECT_EQ(platform_audio_mixahead_fragments(500), 32);
    EXPECT_EQ(platform_audio_mixahead_fragments(499), 31);
    EXPECT_EQ(platform_audio_mixahead_fragments(-5), 1);
    EXPECT_EQ(platform_audio_mixahead_fragments(2147483647), 32); // no overflow
    EXPECT_EQ(platform_audio_fragment_samples(22050), 344);
    EXPECT_EQ(platform_audio_fragment_samples(44100), 689);
}

TEST_F(PlatformAudio, NullBackEndHasNoPlaybackDevice) {
    platform_window *w = platform_create_gl_window("Zelvo", 0, 0, 32, 0, 24, 8, 0);
    EXPECT_EQ(platform_open_audio(w), nullptr);
    EXPECT_EQ(platform_audio_driver(), nullptr);
    platform_destroy_gl_window(w);
}

TEST_F(PlatformAudio, ReadbackGivesSilentTicBlocksWithoutMixer) {
    platform_audio *a = platform_open_readback(nullptr, 88320, 690);
    ASSERT_NE(a, nullptr);
    const platform_audio_ops *ops = platform_audio_driver();
    ASSERT_NE(ops, nullptr);
    EXPECT_EQ(platform_audio_block_bytes(a), 1380);
    EXPECT_EQ(ops->open(nullptr), nullptr); // the readback table cannot open playback
    EXPECT_EQ(ops->update(a), 1);
    const int16_t *block = ops->read_block(a);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 690; i++)
        ASSERT_EQ(block[i], 0);
    unsigned char bytes[4] = {128, 128, 128, 128};
    EXPECT_EQ(ops->create_voice(a, bytes, 4, 22050), nullptr); // no mixer, no voices
    // A second open while one is open fails.
    EXPECT_EQ(platform_open_readback(nullptr, 88320, 690), nullptr);
    platform_close_audio(nullptr); // the one open device
    EXPECT_EQ(platform_audio_driver(), nullptr);
    EXPECT_EQ(platform_audio_block_bytes(a), 0);
}

TEST_F(PlatformAudio, ReadbackMixesThroughInstalledMixer) {
    platform_mixer_ops ops = recording_ops();
    platform_audio_set_mixer(&ops);
    setenv("QUVA_OPTIONS", "[sound-channels:8]", 1);
    platform_audio *a = platform_open_readback(nullptr, 88320, 690);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(g_rec.opens, 1);
    EXPECT_EQ(g_rec.rate, 88320);
    EXPECT_EQ(g_rec.channels, 8);
    EXPECT_EQ(g_rec.stereo, 0);
    EXPECT_EQ(g_rec.bits, 16);
    EXPECT_EQ(g_rec.fragment, 690);
    const platform_audio_ops *d = platform_audio_driver();
    const int16_t *block = d->read_block(a);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[689], 690);
    unsigned char bytes[4] = {128, 200, 60, 128};
    platform_voice *v = d->create_voice(a, bytes, 4, 0);
    EXPECT_EQ(v, (platform_voice *)&g_voice_token);
    d->set_volume(a, v, 1234);
    EXPECT_EQ(g_rec.last_volume, 1234);
    d->set_pan(a, v, 5); // not provided by this mixer: ignored, not a crash
    EXPECT_EQ(d->play_position(a, v), 0);
    platform_close_audio(a);
    EXPECT_EQ(g_rec.closes, 1);
}

TEST_F(PlatformAudio, ReadbackRejectsBadFormats) {
    EXPECT_EQ(platform_open_readback(nullptr, 0, 690), nullptr);
    EXPECT_EQ(platform_open_readback(nullptr, 88320, 0), nullptr);
    EXPECT_EQ(platform_open_readback(nullptr, 88320, 1 << 20), nullptr);
    EXPECT_EQ(platform_audio_driver(), nullptr);
}

TEST_F(PlatformAudio, RangeCheckedOptions) {
    setenv("QUVA_OPTIONS", "[sound-rate:0][sound-channels:100000][sound-mixahead:50]", 1);
    EXPECT_EQ(platform_audio_option("sound-rate", 22050, PLATFORM_AUDIO_MIN_RATE,
                                    PLATFORM_AUDIO_MAX_RATE),
              22050);
    EXPECT_EQ(platform_audio_option("sound-channels", 16, 1, PLATFORM_AUDIO_MAX_CHANNELS), 16);
    EXPECT_EQ(platform_audio_option("sound-mixahead", 125, 0, 100000), 50);
}

} // namespace
