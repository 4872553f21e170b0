// Script sounds on an open output: shared samples for a name added twice, the rate and volume a
// sound has before a script sets them, and files that hold no sample.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/data_index.h"
#include "platform/platform_audio.h"
#include "sound/sound_mixer.h"
#include "sound/sound_position.h"
#include "sound/sound_script.h"

namespace {

TEST(sound_script, added_sounds_share_samples_and_start_silent_at_the_lowest_rate) {
    std::string dir = std::filesystem::temp_directory_path() / "zv_sound_script";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/horn.raw", std::ios::binary) << std::string("\x00\x40\x00\xc0\x7f", 5);
    std::ofstream(dir + "/tiny.raw", std::ios::binary) << "x";
    setenv("ZV_HOME", dir.c_str(), 1);
    data_root_reset();
    file_index_free();
    platform_audio_set_mixer(&sound_mixer_ops);
    platform_audio *a = platform_open_readback(nullptr, 22050, 344);
    ASSERT_NE(a, nullptr);

    int first = sound_script_add("@horn.raw"), second = sound_script_add("@horn.raw");
    ASSERT_EQ(first, 0);
    ASSERT_EQ(second, 1);
    EXPECT_EQ(sound_script_add("@tiny.raw"), -1); // one byte: no sample
    EXPECT_EQ(sound_script_add("@missing.raw"), -1);
    EXPECT_EQ(sound_script_start(2), 0);
    EXPECT_EQ(sound_script_volume(-1, 1), 0);
    ASSERT_EQ(sound_script_start(first), 1);
    sound_listener l = {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}};
    sound_script_place(&l, 1);
    const platform_audio_ops *ops = platform_audio_driver();
    const int16_t *block = ops->read_block(a);
    for (int i = 0; i < 344; i++)
        ASSERT_EQ(block[i], 0) << "a sound whose volume was never set is silent";
    EXPECT_EQ(a->mixer->voices->play_rate, SOUND_MIN_RATE);
    platform_voice *v = a->mixer->voices; // the newest: the clone
    EXPECT_EQ(v->buffer->length, 2);      // the odd byte is no sample
    EXPECT_EQ(v->buffer->samples[0], 0x40 + 128);
    EXPECT_EQ(v->buffer->samples[1], 0xc0 - 128);
    EXPECT_EQ(v->buffer->refs, 2);

    sound_script_clear();
    EXPECT_EQ(sound_script_count(), 0);
    platform_close_audio(a);
    platform_audio_set_mixer(nullptr);
    unsetenv("ZV_HOME");
    data_root_reset();
    std::filesystem::remove_all(dir);
}

} // namespace
