// Demo files from other players: header, blocks, rewinding through the length chain and
// seeking by records, into the state history.
#include <cstdint>
#include <cstring>

#include "demo/demo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > (1u << 20)) return 0;
    demo_history_clear();
    if (!demo_play_open_buffer(data, (int)size)) return 0;
    for (int r = 0; r < demo_play.rider_count; r++)
        demo_play.slot_of[r] = r % 3 ? r : -1; // some riders get no slot
    static demo_summary sum;
    demo_summarize(&sum);
    static char text[1 << 16];
    demo_summary_text(&sum, text, sizeof text);
    demo_play.time_trial = size & 1;
    int tic = demo_play.time_trial ? 38400 : 0;
    for (int n = 0; n < 200; n++, tic++)
        demo_play_tic(&tic);
    demo_play_rewind_to(tic - 129);
    demo_play_seek_records(tic / 2);
    for (int n = 0; n < 50; n++, tic++)
        demo_play_tic(&tic);
    demo_play_rewind_to(0);
    demo_play_tic(&tic);
    for (int s = 0; s < DEMO_SLOTS; s++) {
        int o, nw;
        if (demo_history_around(s, tic, &o, &nw) &&
            (o < 0 || o >= DEMO_HISTORY || nw < 0 || nw >= DEMO_HISTORY))
            __builtin_trap();
    }
    demo_play_close();
    return 0;
}
