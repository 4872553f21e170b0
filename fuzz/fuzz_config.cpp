// Configuration text, as a hand-edited or damaged "@config" would hold it, applied line by line.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/core_binding.h"
#include "core/core_config.h"
#include "core/core_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int ready;
    if (!ready) {
        core_config_defaults();
        ready = 1;
    }
    char line[CORE_CONFIG_LINE];
    size_t len = 0;
    for (size_t i = 0; i <= size; i++) {
        if (i == size || data[i] == '\n') {
            line[len] = 0;
            core_config_line(line);
            len = 0;
        } else if (len < sizeof line - 1 && data[i] != 0) {
            line[len++] = (char)data[i];
        }
    }
    // Whatever was read, every value stays finite and in range, and every axis maps to 0..1.
    for (int i = 0; i < CORE_SETTING_COUNT; i++) {
        const core_setting &s = core_setting_items[i];
        if ((s.kind == CORE_SETTING_NUMBER || s.kind == CORE_SETTING_INT) &&
            (!std::isfinite(s.value) || s.value < s.min || s.value > s.max))
            __builtin_trap();
        if (s.kind == CORE_SETTING_CHOICE && (s.choice < 0 || s.choice >= s.choice_count))
            __builtin_trap();
        if (s.kind == CORE_SETTING_TEXT && strlen(s.text) > (size_t)s.text_max) __builtin_trap();
    }
    for (int i = 0; i < CORE_BINDINGS; i++)
        if (!std::isfinite(core_bindings[i].low) || !std::isfinite(core_bindings[i].high))
            __builtin_trap();
    static char text[1 << 16];
    core_config_text(text, sizeof text);
    return 0;
}
