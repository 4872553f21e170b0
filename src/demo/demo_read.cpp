// The demo reader: header of versions 4, 5 and 6, then state records (4, 5) or blocks (6).
// The whole file is held in memory; every length read from it is checked against its size.
#include <cstring>

#include "base/zv_alloc.h"
#include "demo/demo.h"

demo_playback demo_play;
demo_sinks demo_sink;

namespace {

uint32_t get32(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// One line ending in a newline; copied (truncated) into out. 0 when no newline follows.
int next_line(int *pos, char *out, int size) {
    const uint8_t *d = demo_play.data;
    int p = *pos, n = 0;
    while (p < demo_play.size && d[p] != '\n') {
        if (n < size - 1) out[n++] = (char)d[p];
        p++;
    }
    out[n] = 0;
    if (p >= demo_play.size) return 0;
    *pos = p + 1;
    return 1;
}

// A decimal integer, saturated to +-1e9 so that no arithmetic on it overflows.
int scan_int(const char **s, int *out) {
    const char *p = *s;
    while (*p == ' ' || *p == '\t')
        p++;
    int neg = 0;
    if (*p == '-' || *p == '+') neg = *p++ == '-';
    if (*p < '0' || *p > '9') return 0;
    long long v = 0;
    while (*p >= '0' && *p <= '9') {
        if (v < 1000000000) v = v * 10 + (*p - '0');
        p++;
    }
    if (v > 1000000000) v = 1000000000;
    *out = (int)(neg ? -v : v);
    *s = p;
    return 1;
}

void copy_field(char *dst, int size, const char *src, int n) {
    if (n > size - 1) n = size - 1;
    memcpy(dst, src, (size_t)n);
    dst[n] = 0;
}

// Copies block text with a bound; embedded zero bytes end it.
void block_text(const uint8_t *p, int len, char *out) {
    int n = len < DEMO_TEXT_MAX ? len : DEMO_TEXT_MAX;
    memcpy(out, p, (size_t)n);
    out[n] = 0;
}

int parse_header(void) {
    char line[1024];
    int pos = 0;
    if (!next_line(&pos, line, sizeof line) || line[0] != 'Z' || line[1] != 'V') return 0;
    const char *s = line + 2;
    int v[5] = {0, 0, 0, 0, DEMO_GATE_DROP_DEFAULT}, got = 0;
    while (got < 5 && scan_int(&s, &v[got]))
        got++;
    if (got < 3 || v[0] < 4 || v[0] > 6 || v[1] < 0 || v[1] > DEMO_SLOTS) return 0;
    demo_play.version = v[0];
    demo_play.rider_count = v[1];
    demo_play.time_limit = v[2] > 0 ? v[2] : 0;
    demo_play.laps = got >= 4 ? (v[3] > 0 ? v[3] : 0) : -1; // -1: the race keeps its own
    demo_play.gate_drop = v[4] > 0 ? v[4] : 0;
    if (!next_line(&pos, line, sizeof line)) return 0;
    copy_field(demo_play.track_dir, sizeof demo_play.track_dir, line, (int)strlen(line));
    if (!demo_track_name_ok(demo_play.track_dir)) return 0;
    for (int r = 0; r < demo_play.rider_count; r++) {
        demo_rider *d = &demo_play.riders[r];
        memset(d, 0, sizeof *d);
        if (!next_line(&pos, line, sizeof line)) return 0;
        char *f = line;
        for (int k = 0; k < 5; k++) {
            char *bar = k < 4 ? strchr(f, '|') : nullptr;
            int n = bar ? (int)(bar - f) : (int)strlen(f);
            if (k == 0)
                copy_field(d->model, sizeof d->model, f, n);
            else
                copy_field(d->texture[k - 1], sizeof d->texture[k - 1], f, n);
            if (!bar) break;
            f = bar + 1;
        }
        if (!next_line(&pos, line, sizeof line)) return 0;
        copy_field(d->number, sizeof d->number, line, (int)strlen(line));
        if (demo_play.version == 6) {
            if (!next_line(&pos, line, sizeof line)) return 0;
            copy_field(d->name, sizeof d->name, line, (int)strlen(line));
            do {
                if (!next_line(&pos, line, sizeof line)) return 0;
            } while (line[0]);
        }
    }
    demo_play.blocks_start = pos;
    return 1;
}

void add_entry(int rider, int tic, const uint8_t *rec) {
    if (rider < 0 || rider >= demo_play.rider_count)
        return; // a rider index beyond the header's riders
    int slot = demo_play.slot_of[rider];
    if (slot >= 0) demo_history_add(slot, rec, tic);
}

int clamp_tic(long long t) {
    return t < -1000000000 ? -1000000000 : t > 1000000000 ? 1000000000 : (int)t;
}

void handle_block(int type, int btic, const uint8_t *p, int len, int block_off, int *tic) {
    char text[DEMO_TEXT_MAX + 1];
    switch (type) {
    case DEMO_STATES:
        if (len % DEMO_ENTRY) return;
        if (demo_play.first_tic < 0) {
            demo_play.first_tic = btic;
            if (demo_play.time_trial)
                demo_play.tic_offset = clamp_tic((long long)*tic - btic); // the ghost starts now
            else if (btic >= 0)
                *tic = btic; // the playback clock jumps to the recording's
        }
        for (int k = 0; k < len; k += DEMO_ENTRY) {
            int t = clamp_tic((long long)(int32_t)get32(p + k + 1) + demo_play.tic_offset);
            if (t >= 0) add_entry(p[k], t, p + k + 5);
        }
        return;
    case DEMO_CHAT:
        block_text(p, len, text);
        if (demo_sink.chat) demo_sink.chat(text);
        return;
    case DEMO_ERODE: {
        block_text(p, len, text);
        const char *s = text;
        int rate;
        if (strncmp(s, "erode", 5) != 0) return;
        s += 5;
        if (!scan_int(&s, &rate)) return;
        if (rate < 0) rate = 0;
        if (rate > DEMO_EROSION_RATE_MAX) rate = DEMO_EROSION_RATE_MAX;
        if (demo_sink.erode_rate) demo_sink.erode_rate(rate);
        return;
    }
    case DEMO_EROSION:
        // Once only: a rewind reads these blocks again.
        if (block_off > demo_play.erosion_furthest) {
            demo_play.erosion_furthest = block_off;
            if (demo_sink.erosion) demo_sink.erosion(p, len);
        }
        return;
    case DEMO_SCRIPT:
        block_text(p, len, text);
        if (demo_sink.script) demo_sink.script(text);
        return;
    default:
        return;
    }
}

void read_blocks(int *tic) {
    for (int n = 0; n < DEMO_BLOCKS_PER_TIC && !demo_play.ended; n++) {
        if ((long long)*tic < (long long)demo_play.next_tic - DEMO_READ_AHEAD) return;
        int off = demo_play.next_off;
        if (off < 0 || off > demo_play.size - DEMO_BLOCK_HEAD)
            return; // short read: nothing more for now
        const uint8_t *d = demo_play.data + off;
        uint32_t len = get32(d) ^ (uint32_t)demo_play.prev_len;
        int btic = (int32_t)get32(d + 4);
        if (len > (uint32_t)DEMO_BLOCK_MAX ||
            (long long)off + DEMO_BLOCK_HEAD + len > (long long)demo_play.size) {
            demo_play.ended = 1; // a bad length ends playback
            return;
        }
        handle_block(d[8], btic, d + DEMO_BLOCK_HEAD, (int)len, off, tic);
        demo_play.prev_len = (int)len;
        demo_play.next_off = off + DEMO_BLOCK_HEAD + (int)len;
        demo_play.next_tic = clamp_tic((long long)btic + demo_play.tic_offset);
    }
}

void read_records(int *tic) {
    int rs = demo_record_size(demo_play.version);
    if (!demo_play.started) {
        demo_play.started = 1;
        demo_play.next_tic = *tic;
    }
    while (demo_play.next_tic <= *tic + 8) {
        for (int r = 0; r < demo_play.rider_count; r++) {
            if ((long long)demo_play.next_off + rs > demo_play.size) {
                demo_play.missing = 1;
                return;
            }
            uint8_t rec[DEMO_STATE] = {};
            memcpy(rec, demo_play.data + demo_play.next_off, (size_t)rs);
            demo_play.next_off += rs;
            add_entry(r, demo_play.next_tic, rec);
        }
        demo_play.next_tic++;
    }
}

} // namespace

int demo_track_name_ok(const char *name) {
    if (!name[0] || name[0] == '/' || name[0] == '@' || strstr(name, "..")) return 0;
    for (const char *p = name; *p; p++)
        if ((unsigned char)*p < 32 || *p == '\\' || *p == ':') return 0;
    return 1;
}

int demo_record_size(int version) {
    return version == 4 ? 26 : DEMO_STATE;
}

int demo_playing(void) {
    return demo_play.data != nullptr;
}

void demo_play_close(void) {
    zv_free(demo_play.data);
    demo_play.data = nullptr;
    demo_play.size = 0;
}

int demo_play_open_buffer(const uint8_t *bytes, int size) {
    demo_play_close();
    if (!bytes || size <= 0 || size > DEMO_FILE_MAX) return 0;
    demo_play.data = (uint8_t *)zv_alloc((size_t)size);
    if (!demo_play.data) return 0;
    memcpy(demo_play.data, bytes, (size_t)size);
    demo_play.size = size;
    for (int i = 0; i < DEMO_SLOTS; i++)
        demo_play.slot_of[i] = -1;
    if (!parse_header()) {
        demo_play_close();
        return 0;
    }
    demo_play.first_tic = -1;
    demo_play.next_tic = 1;
    demo_play.tic_offset = 0;
    demo_play.prev_len = 0;
    demo_play.next_off = demo_play.blocks_start;
    demo_play.erosion_furthest = -1;
    demo_play.ended = 0;
    demo_play.missing = 0;
    demo_play.started = 0;
    demo_play.time_trial = 0;
    return 1;
}

int demo_play_open_path(const char *path) {
    FILE *fp = fopen(path, "rb");
    if (!fp) return 0;
    int ok = 0;
    if (fseek(fp, 0, SEEK_END) == 0) {
        long size = ftell(fp);
        if (size > 0 && size <= DEMO_FILE_MAX && fseek(fp, 0, SEEK_SET) == 0) {
            uint8_t *buf = (uint8_t *)zv_alloc((size_t)size);
            if (buf && fread(buf, 1, (size_t)size, fp) == (size_t)size)
                ok = demo_play_open_buffer(buf, (int)size);
            zv_free(buf);
        }
    }
    fclose(fp);
    return ok;
}

void demo_play_tic(int *tic) {
    if (!demo_play.data) return;
    if (demo_play.version == 6)
        read_blocks(tic);
    else
        read_records(tic);
}

void demo_play_rewind_to(int target) {
    if (!demo_play.data || demo_play.version != 6) return;
    int limit = target < DEMO_READ_AHEAD ? 0 : target - DEMO_READ_AHEAD;
    int off = demo_play.next_off, len = demo_play.prev_len;
    demo_play.ended = 0;
    // Each step goes back at least one block head, so the walk ends at the first block.
    while (off > demo_play.blocks_start) {
        long long start = (long long)off - len - DEMO_BLOCK_HEAD;
        if (start < demo_play.blocks_start || start > demo_play.size - DEMO_BLOCK_HEAD)
            break; // the chain does not lead back to a block: start over
        const uint8_t *d = demo_play.data + start;
        uint32_t prev = get32(d) ^ (uint32_t)len;
        int btic = (int32_t)get32(d + 4);
        if (prev > (uint32_t)DEMO_BLOCK_MAX) break;
        if ((long long)btic + demo_play.tic_offset <= limit) {
            demo_play.next_off = (int)start;
            demo_play.prev_len = (int)prev;
            demo_play.next_tic = clamp_tic((long long)btic + demo_play.tic_offset);
            return;
        }
        off = (int)start;
        len = (int)prev;
    }
    demo_play.next_off = demo_play.blocks_start;
    demo_play.prev_len = 0;
    demo_play.next_tic = 1;
}

void demo_play_seek_records(int target) {
    if (!demo_play.data || demo_play.version == 6) return;
    if (target < 0) target = 0;
    long long off = demo_play.blocks_start +
                    (long long)demo_play.rider_count * target * demo_record_size(demo_play.version);
    demo_play.next_off = off > demo_play.size ? demo_play.size : (int)off;
    demo_play.next_tic = target;
    demo_play.started = 1;
    demo_play.missing = 0;
}
