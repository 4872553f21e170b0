// Engine sound definitions over arbitrary text, then a second of synthesis with what they set.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "sound/sound_engine.h"

namespace {
const sound_table *no_table(const char *) {
    return sound_builtin_table(1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<char> text(data, data + size);
    text.push_back(0);
    static sound_engine e;
    sound_engine_builtin(&e, size % 2 ? SOUND_TWO_STROKE : SOUND_FOUR_STROKE);
    sound_braap_parse(&e, text.data(), no_table);
    static unsigned char out[SOUND_MAX_FILL];
    float rpm = size ? data[0] * 100.0f : 0;
    for (int i = 0; i < 2; i++) {
        sound_engine_needed(&e, i * 1000);
        sound_engine_synth(&e, SOUND_MAX_FILL, rpm, (i % 3) / 2.0f, out);
    }
    return 0;
}
