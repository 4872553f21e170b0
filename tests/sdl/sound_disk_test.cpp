// The mixer behind the SDL wave output, recorded by SDL's disk driver, against the same voice
// operations mixed offline.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform_audio.h"
#include "sound/sound_mixer.h"

namespace {

std::vector<unsigned char> test_sound() {
    // Bytes far enough from 128 that no mixed byte is silence at these levels.
    std::vector<unsigned char> s(3000);
    for (size_t i = 0; i < s.size(); i++)
        s[i] = (unsigned char)((i / 37) % 2 ? 150 + i % 100 : 105 - i % 100);
    return s;
}

// SDL fills a queue that runs dry with silence; what the mixer made is what remains.
std::vector<unsigned char> without_silence(const std::vector<unsigned char> &in) {
    std::vector<unsigned char> out;
    for (unsigned char b : in)
        if (b != 128) out.push_back(b);
    return out;
}

TEST(sound_disk, the_disk_recording_is_the_offline_mix) {
    std::string path = std::string(ZV_BINARY_DIR) + "/sound_disk_test.raw";
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    platform_audio_set_mixer(&sound_mixer_ops);
    platform_audio *a = platform_open_audio(nullptr);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_NE(a, nullptr) << "disk audio did not open";
    ASSERT_NE(a->mixer, nullptr);
    const platform_audio_ops *ops = platform_audio_driver();
    std::vector<unsigned char> sound = test_sound();
    platform_voice *v = ops->create_voice(a, sound.data(), (int)sound.size(), 0);
    ASSERT_NE(v, nullptr);
    ops->set_loop(a, v, 1);
    ops->set_pan(a, v, 12000);
    ops->set_rate(a, v, a->rate * 3 / 4);
    ops->start(a, v);
    // Long enough for a few fragments even when the machine is busy (the disk driver's thread
    // writes as it gets the processor).
    for (int waited = 0; waited < 5000; waited += 50) {
        SDL_Delay(50);
        std::ifstream grow(path, std::ios::binary | std::ios::ate);
        if (waited >= 400 && grow && grow.tellg() > 16000) break;
    }
    int rate = a->rate, stereo = a->stereo, fragment = a->fragment_samples;
    platform_close_audio(a);
    platform_audio_set_mixer(nullptr);

    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> disk((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    std::vector<unsigned char> heard = without_silence(disk);
    ASSERT_GT(heard.size(), 4000u) << disk.size() << " bytes recorded";

    platform_mixer *m = sound_mixer_open(rate, 16, stereo, 8, fragment);
    platform_voice *w = sound_mixer_create_voice(m, sound.data(), (int)sound.size(), 0);
    sound_mixer_set_loop(m, w, 1);
    sound_mixer_set_pan(m, w, 12000);
    sound_mixer_set_rate(m, w, rate * 3 / 4);
    sound_mixer_start(m, w);
    size_t frame = (size_t)fragment * (stereo ? 2 : 1);
    std::vector<unsigned char> offline, out(frame);
    while (offline.size() < disk.size() + frame) {
        sound_mixer_mix(m, out.data());
        offline.insert(offline.end(), out.begin(), out.end());
    }
    sound_mixer_close(m);
    std::vector<unsigned char> made = without_silence(offline);
    ASSERT_GE(made.size(), heard.size());
    made.resize(heard.size());
    EXPECT_TRUE(made == heard) << "the recording differs from the offline mix";
    std::remove(path.c_str());
}

} // namespace
