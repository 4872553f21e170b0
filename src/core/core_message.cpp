#include "core/core_message.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

core_message_state core_messages = {{}, 0, 0, 0, 0.0, CORE_MESSAGE_DEFAULT_LIMIT, 0};

double (*core_message_clock)(void) = nullptr;

namespace {

constexpr double FIRST_EXPIRY = 2.0;
constexpr double NEXT_EXPIRY = 5.0;

double message_now(void) {
    return core_message_clock ? core_message_clock() : 0.0;
}

} // namespace

void core_message_clear(void) {
    memset(core_messages.lines, 0, sizeof core_messages.lines);
    core_messages.next = 0;
    core_messages.total = 0;
    core_messages.showing = 0;
    core_messages.next_expiry = 0.0;
}

void core_message_add(const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (core_messages.hide_spam && strstr(text, "[SPAM]")) return;

    size_t len = strlen(text);
    int had_newline = len > 0 && text[len - 1] == '\n';
    if (had_newline) len--;
    // Coloured text must not leave the terminal that shows the log coloured.
    const char *reset = memchr(text, 27, len) ? "\033[0m" : "";
    platform_log("%.*s%s\n", (int)len, text, reset);

    // The ring keeps the text without its line end: the HUD and chat page draw whole lines.
    char *line = core_messages.lines[core_messages.next];
    size_t keep = len < CORE_MESSAGE_LINE_SIZE - 1 ? len : CORE_MESSAGE_LINE_SIZE - 1;
    memcpy(line, text, keep);
    line[keep] = 0;
    core_messages.next = (core_messages.next + 1) % CORE_MESSAGE_RING;
    if (core_messages.total < CORE_MESSAGE_RING) core_messages.total++;

    int limit = core_messages.line_limit;
    if (limit < 0) limit = 0;
    if (limit > CORE_MESSAGE_RING) limit = CORE_MESSAGE_RING;
    if (core_messages.showing < limit)
        core_messages.showing++;
    else
        core_messages.showing = limit;
    core_messages.next_expiry = message_now() + FIRST_EXPIRY;
}

void core_message_toggle(const char *label, int *flag) {
    *flag = !*flag;
    core_message_add(*flag ? "%.60s ON" : "%.60s OFF", label);
}

void core_message_age(double game_clock) {
    if (core_messages.showing > 0 && game_clock > core_messages.next_expiry) {
        core_messages.showing--;
        core_messages.next_expiry += NEXT_EXPIRY;
    }
}

const char *core_message_line(int age) {
    if (age < 0 || age >= core_messages.total) return nullptr;
    int i = (core_messages.next - 1 - age) % CORE_MESSAGE_RING;
    if (i < 0) i += CORE_MESSAGE_RING;
    return core_messages.lines[i];
}
