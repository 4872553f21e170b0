#include "base/zv_message.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

zv_message_state zv_messages = {{}, 0, 0, 0, 0.0, ZV_MESSAGE_DEFAULT_LIMIT, 0};

double (*zv_message_clock)(void) = nullptr;

namespace {

constexpr double FIRST_EXPIRY = 2.0;
constexpr double NEXT_EXPIRY = 5.0;

double message_now(void) {
    return zv_message_clock ? zv_message_clock() : 0.0;
}

} // namespace

void zv_message_clear(void) {
    memset(zv_messages.lines, 0, sizeof zv_messages.lines);
    zv_messages.next = 0;
    zv_messages.total = 0;
    zv_messages.showing = 0;
    zv_messages.next_expiry = 0.0;
}

void zv_message_add(const char *fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    if (zv_messages.hide_spam && strstr(text, "[SPAM]")) return;

    size_t len = strlen(text);
    int had_newline = len > 0 && text[len - 1] == '\n';
    if (had_newline) len--;
    // Coloured text must not leave the terminal that shows the log coloured.
    const char *reset = memchr(text, 27, len) ? "\033[0m" : "";
    platform_log("%.*s%s\n", (int)len, text, reset);

    // The ring keeps the text without its line end: the HUD and chat page draw whole lines.
    char *line = zv_messages.lines[zv_messages.next];
    size_t keep = len < ZV_MESSAGE_LINE_SIZE - 1 ? len : ZV_MESSAGE_LINE_SIZE - 1;
    memcpy(line, text, keep);
    line[keep] = 0;
    zv_messages.next = (zv_messages.next + 1) % ZV_MESSAGE_RING;
    if (zv_messages.total < ZV_MESSAGE_RING) zv_messages.total++;

    int limit = zv_messages.line_limit;
    if (limit < 0) limit = 0;
    if (limit > ZV_MESSAGE_RING) limit = ZV_MESSAGE_RING;
    if (zv_messages.showing < limit)
        zv_messages.showing++;
    else
        zv_messages.showing = limit;
    zv_messages.next_expiry = message_now() + FIRST_EXPIRY;
}

void zv_message_toggle(const char *label, int *flag) {
    *flag = !*flag;
    zv_message_add(*flag ? "%.60s ON" : "%.60s OFF", label);
}

void zv_message_age(double game_clock) {
    if (zv_messages.showing > 0 && game_clock > zv_messages.next_expiry) {
        zv_messages.showing--;
        zv_messages.next_expiry += NEXT_EXPIRY;
    }
}

const char *zv_message_line(int age) {
    if (age < 0 || age >= zv_messages.total) return nullptr;
    int i = (zv_messages.next - 1 - age) % ZV_MESSAGE_RING;
    if (i < 0) i += ZV_MESSAGE_RING;
    return zv_messages.lines[i];
}
