// Sound output on SDL2 in the role of the wave-output driver: our own thread mixes one fragment
// (1/64 s) at a time under the mixer lock and hands it to SDL's queue, staying a bounded number
// of fragments ahead of the device. SDL has no hardware-voice API, so that driver is absent.
#include "platform/platform_audio.h"
#include "platform/sdl/platform_sdl.h"

#include <atomic>
#include <thread>

namespace {

enum { FRAGMENTS = 64, MAX_FRAGMENT_BYTES = PLATFORM_AUDIO_MAX_RATE / 64 * 2 };

struct wave_state {
    SDL_AudioDeviceID device;
    int mixahead; // fragments
    int fragment_bytes;
    unsigned char buffers[FRAGMENTS][MAX_FRAGMENT_BYTES];
    std::atomic<long long> produced;
    std::atomic<int> stop;
    std::thread thread;
};

wave_state g_wave;

void wave_thread(platform_audio *a) {
    platform_log("Audio thread begin\n");
    int b = 0;
    while (!g_wave.stop.load()) {
        long long produced = ++g_wave.produced;
        platform_audio_mix(a, g_wave.buffers[b]);
        if (SDL_QueueAudio(g_wave.device, g_wave.buffers[b], (Uint32)g_wave.fragment_bytes) != 0)
            platform_log("Audio thread: Write error\n");
        b = (b + 1) % FRAGMENTS;
        if (produced < g_wave.mixahead) continue;
        // Wait until the fragment handed over mix-ahead fragments ago has been played, that
        // is until fewer than mix-ahead fragments are still queued.
        Uint32 limit = (Uint32)((g_wave.mixahead - 1) * g_wave.fragment_bytes);
        int tries = 0;
        while (!g_wave.stop.load() && SDL_GetQueuedAudioSize(g_wave.device) > limit) {
            SDL_Delay(15);
            if (++tries >= 67) {
                SDL_ClearQueuedAudio(g_wave.device);
                platform_log("Audio thread: Timeout on fragment %lld\n", g_wave.produced.load());
                tries = 0;
            }
        }
    }
    platform_log("Audio thread end\n");
}

platform_audio *wave_open(platform_window *w);
platform_audio *wave_open_readback(int, int) {
    return nullptr;
}

void wave_close(platform_audio *a) {
    platform_log("Closing audio\n");
    g_wave.stop.store(1);
    if (g_wave.thread.joinable()) g_wave.thread.join();
    g_wave.stop.store(0);
    if (g_wave.device) {
        SDL_ClearQueuedAudio(g_wave.device);
        SDL_CloseAudioDevice(g_wave.device);
    }
    g_wave.device = 0;
    platform_audio_release(a);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

int wave_update(platform_audio *) {
    return 1;
}
const int16_t *wave_read_block(platform_audio *) {
    return nullptr;
}

const platform_audio_ops wave_ops = {
    .open = wave_open,
    .open_readback = wave_open_readback,
    .close = wave_close,
    .update = wave_update,
    .read_block = wave_read_block,
    .create_voice = platform_audio_create_voice,
    .clone_voice = platform_audio_clone_voice,
    .free_voice = platform_audio_free_voice,
    .start = platform_audio_start,
    .stop = platform_audio_stop,
    .set_rate = platform_audio_set_rate,
    .set_volume = platform_audio_set_volume,
    .set_pan = platform_audio_set_pan,
    .set_loop = platform_audio_set_loop,
    .play_position = platform_audio_play_position,
    .write_samples = platform_audio_write_samples,
};

platform_audio *wave_open(platform_window *) {
    platform_log("Opening waveOut audio...\n");
    platform_audio *a = platform_audio_claim(&wave_ops);
    if (!a) return nullptr;
    // Our own reference on the audio subsystem, given back at close.
    if (!platform_sdl_init(0) || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        platform_log("No audio device\n");
        platform_audio_release(a);
        return nullptr;
    }
    const char *driver = SDL_GetCurrentAudioDriver();
    const char *device = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    platform_log("Found a %s\n", device ? device : driver ? driver : "sound device");

    int channels = platform_audio_option("sound-channels", 16, 1, PLATFORM_AUDIO_MAX_CHANNELS);
    int rate = platform_audio_option("sound-rate", PLATFORM_AUDIO_DEFAULT_RATE,
                                     PLATFORM_AUDIO_MIN_RATE, PLATFORM_AUDIO_MAX_RATE);
    int mixahead_ms = platform_number_option("sound-mixahead", 125);
    g_wave.mixahead = platform_audio_mixahead_fragments(mixahead_ms);

    SDL_AudioSpec want = {}, have = {};
    want.freq = rate;
    want.format = AUDIO_U8;
    want.channels = 2;
    want.samples = (Uint16)platform_audio_fragment_samples(rate);
    want.callback = nullptr; // queued
    g_wave.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (!g_wave.device) {
        platform_log("Can't open waveOut\n");
        platform_log("%s\n", SDL_GetError());
        platform_audio_release(a);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    int stereo = have.channels >= 2;
    if (have.channels > 2) {
        // More than two channels: take stereo and let SDL convert.
        SDL_CloseAudioDevice(g_wave.device);
        g_wave.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        stereo = 1;
        if (!g_wave.device) {
            platform_log("Can't open waveOut\n");
            platform_audio_release(a);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
    }
    int fragment = platform_audio_fragment_samples(rate);
    g_wave.fragment_bytes = fragment * (stereo ? 2 : 1);
    platform_log("Waveout rate: %d\n", rate);
    platform_log("Waveout channels: %d\n", channels);
    platform_log("Waveout mixahead: %d\n", g_wave.mixahead * 1000 / 64);
    platform_audio_attach_mixer(a, rate, channels, stereo, 8, fragment);
    g_wave.produced = 0;
    g_wave.stop.store(0);
    SDL_PauseAudioDevice(g_wave.device, 0);
    g_wave.thread = std::thread(wave_thread, a);
    platform_log("Audio opened!\n");
    return a;
}

} // namespace

platform_audio *platform_open_audio(platform_window *w) {
    if (platform_switch_option("dsnd", 1))
        platform_log("No hardware voice driver on this platform\n");
    if (!platform_switch_option("waveout", 1)) {
        platform_log("No audio driver allowed\n");
        return nullptr;
    }
    return wave_open(w);
}

long long platform_sdl_audio_fragments(void) {
    return g_wave.produced.load();
}
int platform_sdl_audio_mixahead(void) {
    return g_wave.mixahead;
}
