// The readback driver: mixes on demand into memory, one block per call, so the program can
// record its audio in step with the simulation instead of with a sound card.
#include "platform/platform_audio.h"

#include <cstdint>

namespace {

int16_t g_block[PLATFORM_AUDIO_MAX_BLOCK];

platform_audio *readback_open(platform_window *) {
    return nullptr;
}

platform_audio *readback_open_readback(int rate, int block_length);

void readback_close(platform_audio *a) {
    platform_log("Closing audio\n");
    platform_audio_release(a);
}

int readback_update(platform_audio *) {
    return 1;
}

const int16_t *readback_read_block(platform_audio *a) {
    if (!a || !a->open) return nullptr;
    platform_audio_mix(a, g_block);
    return g_block;
}

const platform_audio_ops readback_ops = {
    .open = readback_open,
    .open_readback = readback_open_readback,
    .close = readback_close,
    .update = readback_update,
    .read_block = readback_read_block,
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

platform_audio *readback_open_readback(int rate, int block_length) {
    platform_log("Opening readback audio...\n");
    if (rate < PLATFORM_AUDIO_MIN_RATE || rate > 4 * PLATFORM_AUDIO_MAX_RATE || block_length <= 0 ||
        block_length > PLATFORM_AUDIO_MAX_BLOCK) {
        platform_log("Bad readback format %d Hz, %d samples\n", rate, block_length);
        return nullptr;
    }
    platform_audio *a = platform_audio_claim(&readback_ops);
    if (!a) return nullptr;
    int channels = platform_audio_option("sound-channels", 16, 1, PLATFORM_AUDIO_MAX_CHANNELS);
    platform_audio_attach_mixer(a, rate, channels, 0, 16, block_length);
    platform_log("Audio opened!\n");
    return a;
}

} // namespace

platform_audio *platform_open_readback(platform_window *, int rate, int block_length) {
    return readback_open_readback(rate, block_length);
}

int platform_audio_block_bytes(platform_audio *a) {
    if (!a || !a->open || a->ops != &readback_ops) return 0;
    return a->fragment_samples * (int)sizeof(int16_t);
}
