// The chat line's entered text. Chat is for the race server; commands (a leading '/' or '\')
// have no table of their own yet, and a command nobody knows does nothing.
#include "core/core_main.h"

#include "base/zv_message.h"
#include "core/core_hooks.h"
#include "core/core_loop.h"

namespace {
double g_last_chat = -1e9;
}

int core_console_line(const char *text) {
    if (!text) return 0;
    if (text[0] == '/' || text[0] == '\\') return 1;
    // Two seconds between chat lines keeps the server's chat readable.
    if (core_loop.game_clock - g_last_chat < 2) {
        zv_message_add("No one likes a spammer");
        return 0;
    }
    g_last_chat = core_loop.game_clock;
    if (core_hook.connected && core_hook.connected() && core_hook.send_chat)
        core_hook.send_chat(text);
    else
        zv_message_add("Not connected to server");
    return 1;
}
