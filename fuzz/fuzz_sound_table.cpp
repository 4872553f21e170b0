// Sound table text over arbitrary input (every wave name gives a short wave), then firings
// through whatever table was accepted.
#include <cstdint>
#include <cstring>
#include <vector>

#include "sound/sound_engine.h"

namespace {
std::vector<sound_wave *> waves;
const sound_wave *short_wave(const char *name) {
    if (name[0] == 'x') return nullptr;
    unsigned char bytes[64];
    for (int i = 0; i < 64; i++)
        bytes[i] = (unsigned char)(i * 37 + strlen(name));
    waves.push_back(sound_wave_from_bytes(name, bytes, 2 + (int)(strlen(name) % 62)));
    return waves.back();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back(0);
    sound_table *t = sound_table_parse("fuzz", text.data(), short_wave);
    if (t) {
        static sound_engine e;
        sound_engine_builtin(&e, SOUND_FOUR_STROKE);
        e.table = t;
        static unsigned char out[SOUND_MAX_FILL];
        for (int i = 0; i < 4; i++)
            sound_engine_synth(&e, SOUND_MAX_FILL, 1000.0f + 4000.0f * i, i / 3.0f, out);
        sound_table_free(t);
    }
    for (sound_wave *w : waves)
        sound_wave_free(w);
    waves.clear();
    return 0;
}
