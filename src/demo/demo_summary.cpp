// What a loaded demo holds, for inspecting demos without a window: the header, and per rider
// how many states it carries over which stretch of tics. Walks a copy of the cursor, so the
// playback itself is untouched.
#include <cstring>

#include "demo/demo.h"

namespace {

uint32_t get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void note(demo_summary_rider *r, int tic) {
    if (r->states == 0 || tic < r->first_tic) r->first_tic = tic;
    if (r->states == 0 || tic > r->last_tic) r->last_tic = tic;
    r->states++;
}

} // namespace

int demo_summarize(demo_summary *out) {
    memset(out, 0, sizeof *out);
    if (!demo_playing()) return 0;
    out->version = demo_play.version;
    out->riders = demo_play.rider_count;
    out->time_limit = demo_play.time_limit;
    out->laps = demo_play.laps;
    out->gate_drop = demo_play.gate_drop;
    const uint8_t *d = demo_play.data;
    if (demo_play.version != 6) {
        long long each = (long long)demo_play.rider_count * demo_record_size(demo_play.version);
        int tics = each > 0 ? (int)((demo_play.size - demo_play.blocks_start) / each) : 0;
        for (int r = 0; r < demo_play.rider_count; r++)
            for (int t = 0; t < tics; t++)
                note(&out->rider[r], t);
        return 1;
    }
    int off = demo_play.blocks_start, prev = 0;
    while (off <= demo_play.size - DEMO_BLOCK_HEAD) {
        uint32_t len = get32(d + off) ^ (uint32_t)prev;
        if (len > (uint32_t)DEMO_BLOCK_MAX ||
            (long long)off + DEMO_BLOCK_HEAD + len > demo_play.size) {
            out->bad = 1;
            break;
        }
        const uint8_t *p = d + off + DEMO_BLOCK_HEAD;
        out->blocks++;
        switch (d[off + 8]) {
        case DEMO_STATES:
            if (len % DEMO_ENTRY == 0)
                for (uint32_t k = 0; k < len; k += DEMO_ENTRY)
                    if (p[k] < demo_play.rider_count)
                        note(&out->rider[p[k]], (int32_t)get32(p + k + 1));
            break;
        case DEMO_CHAT:
            out->chat++;
            break;
        case DEMO_EROSION:
            out->erosion++;
            break;
        case DEMO_SCRIPT:
            out->script++;
            break;
        default:
            break;
        }
        prev = (int)len;
        off += DEMO_BLOCK_HEAD + (int)len;
    }
    return 1;
}

int demo_summary_text(const demo_summary *s, char *buf, int size) {
    if (size <= 0) return 0;
    int n =
        snprintf(buf, (size_t)size,
                 "version %d, %d riders, %d laps, time limit %.2f s, gate drop %.2f s, %d blocks, "
                 "%d chat lines%s\n",
                 s->version, s->riders, s->laps, s->time_limit / 128.0, s->gate_drop / 128.0,
                 s->blocks, s->chat, s->bad ? ", ends in a damaged block" : "");
    for (int r = 0; r < s->riders && n >= 0 && n < size; r++) {
        const demo_rider *d = &demo_play.riders[r];
        const demo_summary_rider *x = &s->rider[r];
        n += snprintf(buf + n, (size_t)(size - n), "  #%s %s (%s): %d states, %.2f s to %.2f s\n",
                      d->number, d->name, d->model, x->states, x->first_tic / 128.0,
                      x->last_tic / 128.0);
    }
    return n < size ? n : size - 1;
}
