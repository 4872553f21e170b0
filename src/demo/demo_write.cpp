// The demo writer: a text header, then blocks whose length fields are XOR-chained so that a
// reader can walk them backwards.
#include <cstring>

#include "demo/demo.h"

demo_recording demo_rec;

namespace {

void put32(uint8_t *p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// A newline or '|' inside a field would shift every later header line for the reader.
void put_field(FILE *fp, const char *s, int max) {
    for (int i = 0; i < max && s[i]; i++) {
        char c = s[i];
        fputc(c == '\n' || c == '\r' || c == '|' ? ' ' : c, fp);
    }
}

// Fixed widths so the rewrite at the end has exactly the length written at the start.
int line1(char *buf, int size, int riders, int time_limit, int laps, int gate_drop) {
    return snprintf(buf, size, "ZV06 %3d %10d %10d %10d\n", riders, time_limit, laps, gate_drop);
}

int write_block(int type, int tic, const void *bytes, int length) {
    uint8_t head[DEMO_BLOCK_HEAD];
    put32(head, (uint32_t)length ^ (uint32_t)demo_rec.prev_len);
    put32(head + 4, (uint32_t)tic);
    head[8] = (uint8_t)type;
    if (fwrite(head, 1, sizeof head, demo_rec.fp) != sizeof head) return 0;
    if (length > 0 && fwrite(bytes, 1, (size_t)length, demo_rec.fp) != (size_t)length) return 0;
    demo_rec.prev_len = length;
    fflush(demo_rec.fp);
    return 1;
}

} // namespace

int demo_recording_active(void) {
    return demo_rec.fp != nullptr;
}

int demo_record_open(const char *path, const demo_rider *riders, const int *slots, int count,
                     int time_limit, int laps, int gate_drop, const char *track_dir) {
    if (demo_rec.fp) demo_record_close(time_limit, laps, gate_drop);
    if (count < 0 || count > DEMO_SLOTS) return 0;
    FILE *fp = fopen(path, "wb");
    if (!fp) return 0; // the race runs unrecorded
    demo_rec.fp = fp;
    demo_rec.prev_len = 0;
    demo_rec.rider_count = count;
    for (int i = 0; i < count; i++)
        demo_rec.slot_of[i] = slots[i];
    char buf[96];
    int n = line1(buf, sizeof buf, count, time_limit, laps, gate_drop);
    fputs(buf, fp);
    demo_rec.line1_len = n;
    put_field(fp, track_dir, 255);
    fputc('\n', fp);
    for (int i = 0; i < count; i++) {
        const demo_rider *r = &riders[i];
        put_field(fp, r->model, sizeof r->model);
        for (int t = 0; t < 4; t++) {
            fputc('|', fp);
            put_field(fp, r->texture[t], sizeof r->texture[t]);
        }
        fputc('\n', fp);
        put_field(fp, r->number, 3);
        fputc('\n', fp);
        put_field(fp, r->name, sizeof r->name);
        fputs("\n\n", fp);
    }
    fflush(fp);
    return 1;
}

int demo_record_states(int tic) {
    if (!demo_rec.fp) return 0;
    int count = 0;
    for (int i = 0; i < demo_rec.rider_count; i++) {
        int s = demo_rec.slot_of[i];
        if (s >= 0 && s < DEMO_SLOTS) count += demo_history[s].pending;
    }
    if (count == 0) return 0;
    static uint8_t payload[DEMO_BLOCK_MAX];
    int len = 0;
    for (int i = 0; i < demo_rec.rider_count; i++) {
        int s = demo_rec.slot_of[i];
        if (s < 0 || s >= DEMO_SLOTS) continue;
        demo_history_slot *h = &demo_history[s];
        for (int k = h->pending - 1; k >= 0; k--) { // oldest first
            int at = ((h->head - k) % DEMO_HISTORY + DEMO_HISTORY) % DEMO_HISTORY;
            payload[len] = (uint8_t)i;
            put32(payload + len + 1, (uint32_t)h->tic[at]);
            memcpy(payload + len + 5, h->rec[at], DEMO_STATE);
            len += DEMO_ENTRY;
        }
        h->pending = 0;
    }
    return write_block(DEMO_STATES, tic, payload, len);
}

int demo_record_block(int type, int tic, const void *bytes, int length) {
    if (!demo_rec.fp || length < 0 || length > DEMO_BLOCK_MAX) return 0;
    return write_block(type, tic, bytes, length);
}

void demo_record_close(int time_limit, int laps, int gate_drop) {
    if (!demo_rec.fp) return;
    char buf[96];
    int n = line1(buf, sizeof buf, demo_rec.rider_count, time_limit, laps, gate_drop);
    // A value too wide for its field would run into the track line: keep the old line then.
    if (n == demo_rec.line1_len && fseek(demo_rec.fp, 0, SEEK_SET) == 0)
        fwrite(buf, 1, (size_t)n, demo_rec.fp);
    fclose(demo_rec.fp);
    demo_rec.fp = nullptr;
}
