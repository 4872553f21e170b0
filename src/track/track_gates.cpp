// Reading, checking and writing the timing_gates file. The reader works on the whole text in
// memory with its own number scanner: it is bounded by the text's length, rejects non-finite
// numbers, and does not rescan the rest of the file for every record.
#include "track/track_gates.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "track/track_hooks.h"
#include "track/track_load.h"
#include "track/track_terrain.h"

gates_state gates;
int (*gates_object_create)(const char *, const char *, const char *, float, float, float,
                           float) = nullptr;

namespace {

enum { GATES_NAME_SIZE = TRACK_DIR_MAX + 64 };

const char *const DEFAULT_MODEL = "@startgate.jm";
const char *const DEFAULT_TEXTURE = "@startgate.ppm";
const char *const DEFAULT_SHAPE = "@startgate.shp";

struct cursor {
    const char *p, *end;
};

int is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void skip_space(cursor *c) {
    while (c->p < c->end && is_space(*c->p))
        c->p++;
}

// " %80s ": a word of at most 80 characters, then the whitespace after it.
int read_word(cursor *c, char *out, int max) {
    skip_space(c);
    int n = 0;
    while (c->p < c->end && !is_space(*c->p) && n < max)
        out[n++] = *c->p++;
    out[n] = 0;
    skip_space(c);
    return n > 0;
}

// A decimal float like "%f" reads it; only finite values count as read.
int read_float(cursor *c, float *out) {
    skip_space(c);
    if (c->p >= c->end) return 0;
    char buf[64];
    int n = 0;
    const char *q = c->p;
    while (q < c->end && n < (int)sizeof buf - 1 && !is_space(*q) && *q != '[' && *q != ']')
        buf[n++] = *q++;
    buf[n] = 0;
    char *stop = nullptr;
    errno = 0;
    float v = strtof(buf, &stop);
    if (stop == buf || !std::isfinite(v)) return 0;
    c->p += stop - buf;
    *out = v;
    return 1;
}

int read_char(cursor *c, char ch) {
    skip_space(c);
    if (c->p < c->end && *c->p == ch) {
        c->p++;
        return 1;
    }
    return 0;
}

// "%d", clamped to int's range.
int read_int(cursor *c, int *out) {
    skip_space(c);
    char buf[32];
    int n = 0;
    const char *q = c->p;
    while (q < c->end && n < (int)sizeof buf - 1 && !is_space(*q))
        buf[n++] = *q++;
    buf[n] = 0;
    char *stop = nullptr;
    long long v = strtoll(buf, &stop, 10);
    if (stop == buf) return 0;
    if (v > 2147483647LL) v = 2147483647LL;
    if (v < -2147483647LL - 1) v = -2147483647LL - 1;
    c->p += stop - buf;
    *out = (int)v;
    return 1;
}

char *dup_name(const char *s) {
    size_t n = strlen(s) + 1;
    char *d = (char *)zv_alloc(n);
    memcpy(d, s, n);
    return d;
}

// Reads one slot line; 1 with the slot filled when it holds four finite numbers.
int parse_slot_line(const char *line, gates_slot *s) {
    cursor c = {line, line + strlen(line)};
    float v[4];
    if (!read_char(&c, '[') || !read_float(&c, &v[0]) || !read_float(&c, &v[1]) ||
        !read_float(&c, &v[2]) || !read_char(&c, ']') || !read_float(&c, &v[3]))
        return 0;
    char names[3][GATES_WORD_MAX];
    int count = 0;
    for (; count < 3; count++) {
        skip_space(&c);
        int n = 0;
        while (c.p < c.end && !is_space(*c.p) && n < GATES_WORD_MAX - 1)
            names[count][n++] = *c.p++;
        names[count][n] = 0;
        if (n == 0) break;
        while (c.p < c.end && !is_space(*c.p)) // a longer word is cut like "%1023s" does
            c.p++;
    }
    memset(s, 0, sizeof *s);
    s->pos[0] = v[0];
    s->pos[1] = v[1];
    s->pos[2] = v[2];
    s->angle = gates_wrap_angle(v[3]);
    s->object = -1;
    if (count > 0) {
        const char *m = names[0];
        const char *t = count > 1 ? names[1] : DEFAULT_TEXTURE;
        const char *sh = count > 2 ? names[2] : DEFAULT_SHAPE;
        if (strcmp(m, DEFAULT_MODEL) || strcmp(t, DEFAULT_TEXTURE) || strcmp(sh, DEFAULT_SHAPE)) {
            s->model = dup_name(m);
            s->texture = dup_name(t);
            s->shape = dup_name(sh);
        }
    }
    return 1;
}

int line_starts_with_checkpoints(const char *line) {
    while (is_space(*line))
        line++;
    return strncmp(line, "checkpoints:", 12) == 0;
}

// The next line (without its newline) into buf, cut to size - 1; 0 at the end of the text.
int next_line(cursor *c, char *buf, int size) {
    if (c->p >= c->end) return 0;
    int n = 0;
    while (c->p < c->end && *c->p != '\n') {
        if (n < size - 1 && *c->p) buf[n++] = *c->p;
        c->p++;
    }
    if (c->p < c->end) c->p++;
    buf[n] = 0;
    return 1;
}

int blank(const char *line) {
    while (is_space(*line))
        line++;
    return *line == 0;
}

void create_slot_object(gates_slot *s) {
    s->object = -1;
    if (!gates_object_create) return;
    float x = s->pos[0] - 3.0f * sinf(s->angle);
    float z = s->pos[2] - 3.0f * cosf(s->angle);
    float ground = terrain_present() ? terrain_height(x, z) : 0.0f;
    s->object = gates_object_create(
        s->model ? s->model : DEFAULT_MODEL, s->texture ? s->texture : DEFAULT_TEXTURE,
        s->shape ? s->shape : DEFAULT_SHAPE, x, s->pos[1] - ground, z, s->angle);
}

// Reads up to GATES_LAP_MAX integers of one lap section.
int read_sequence(cursor *c, int *out) {
    int n = 0;
    while (n < GATES_LAP_MAX) {
        const char *save = c->p;
        int v;
        if (!read_int(c, &v)) {
            c->p = save;
            break;
        }
        out[n++] = v;
    }
    return n;
}

// Turns raw integers into references against K checkpoints; returns the lap length.
int convert_sequence(int *refs, int n, int k) {
    int length = 0;
    for (int i = 0; i < n; i++) {
        int e = refs[i];
        if (e < 0) {
            refs[i] = k > 0 ? 0 : -1;
            length++;
        } else if (e < GATES_MARK) {
            refs[i] = e < k - 1 ? e : k - 1;
            length++;
        } else {
            int cp = e % GATES_MARK;
            refs[i] = (cp < k - 1 ? cp : k - 1) + GATES_MARK;
            if (k == 0) length++;
        }
    }
    return length;
}

struct text_buf {
    char *data;
    size_t len, cap;
};

void text_add(text_buf *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void text_add(text_buf *t, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        return;
    }
    if (t->len + (size_t)n + 1 > t->cap) {
        size_t cap = t->cap ? t->cap : 4096;
        while (cap < t->len + (size_t)n + 1)
            cap *= 2;
        t->data = (char *)zv_realloc(t->data, cap);
        t->cap = cap;
    }
    vsnprintf(t->data + t->len, (size_t)n + 1, fmt, ap2);
    va_end(ap2);
    t->len += (size_t)n;
}

} // namespace

float gates_wrap_angle(float a) {
    const float pi = 3.14159265358979f;
    if (a < -pi || a > pi) {
        float u = (a + pi) / (2.0f * pi);
        a = 2.0f * pi * (u - floorf(u)) - pi;
    }
    return a;
}

void gates_clear(void) {
    for (int i = 0; i < gates.slot_count; i++) {
        zv_free(gates.slots[i].model);
        zv_free(gates.slots[i].texture);
        zv_free(gates.slots[i].shape);
    }
    memset(&gates, 0, sizeof gates);
}

int gates_parse(const char *text, size_t len) {
    gates_clear();
    cursor c = {text, text + len};
    char word[81];
    read_word(&c, word, 80);
    if (strcmp(word, "version2") == 0) read_word(&c, word, 80);

    if (strcmp(word, "startinggate:") == 0) {
        char *line = (char *)zv_alloc(4 * GATES_WORD_MAX + 64);
        int ok = 0;
        const char *line_start = c.p;
        while (next_line(&c, line, 4 * GATES_WORD_MAX + 64)) {
            if (blank(line)) {
                line_start = c.p;
                continue;
            }
            if (gates.slot_count < GATES_SLOTS_MAX &&
                parse_slot_line(line, &gates.slots[gates.slot_count])) {
                create_slot_object(&gates.slots[gates.slot_count]);
                gates.slot_count++;
                line_start = c.p;
                continue;
            }
            ok = line_starts_with_checkpoints(line);
            if (ok) {
                // Anything after the section word on its line belongs to the checkpoints.
                cursor w = {line_start, c.end};
                skip_space(&w);
                if (w.end - w.p >= 12 && strncmp(w.p, "checkpoints:", 12) == 0) c.p = w.p + 12;
            }
            break;
        }
        zv_free(line);
        if (!ok) {
            track_log("Error reading starting gate\n");
            return 0;
        }
        skip_space(&c);
    } else if (strcmp(word, "checkpoints:") != 0) {
        track_log("Error reading starting gate\n");
        return 0;
    }

    while (gates.checkpoint_count < GATES_CHECKPOINTS_MAX) {
        const char *save = c.p;
        gates_checkpoint *k = &gates.checkpoints[gates.checkpoint_count];
        if (!read_float(&c, &k->length) || !read_char(&c, '[') || !read_float(&c, &k->origin[0]) ||
            !read_float(&c, &k->origin[1]) || !read_float(&c, &k->origin[2]) ||
            !read_char(&c, ']') || !read_char(&c, '[') || !read_float(&c, &k->direction[0]) ||
            !read_float(&c, &k->direction[1]) || !read_float(&c, &k->direction[2]) ||
            !read_char(&c, ']')) {
            c.p = save;
            memset(k, 0, sizeof *k);
            break;
        }
        k->flag = 0;
        gates.checkpoint_count++;
    }
    int k_count = gates.checkpoint_count;

    read_word(&c, word, 80);
    if (strcmp(word, "firstlap:") != 0) {
        track_log("Error reading checkpoints\n");
        return 0;
    }
    gates.first_count = read_sequence(&c, gates.sequence);
    read_word(&c, word, 80);
    if (strcmp(word, "normallap:") != 0) {
        gates.first_length = convert_sequence(gates.sequence, gates.first_count, k_count);
        track_log("Error reading firstlap\n");
        return 0;
    }
    gates.normal_count = read_sequence(&c, gates.sequence + gates.first_count);
    gates.first_length = convert_sequence(gates.sequence, gates.first_count, k_count);
    gates.normal_length =
        convert_sequence(gates.sequence + gates.first_count, gates.normal_count, k_count);

    if (k_count < 1 || gates.first_count <= 2 || gates.normal_count <= 2 ||
        gates.first_length <= 2 || gates.normal_length <= 2) {
        // The parsed data stays for the editor; only racing is off.
        track_log("Timing gate error: lap length must be at least 3\n");
        return 0;
    }
    gates.valid = 1;
    if (track_verbose)
        track_log("Found %d timing gates, first lap has %d gates, normal lap has %d\n", k_count,
                  gates.first_count, gates.normal_count);
    return 1;
}

void gates_load(const char *dir) {
    gates_clear();
    if (!dir) return;
    char name[GATES_NAME_SIZE];
    snprintf(name, sizeof name, "@%s/timing_gates", dir);
    int len = 0;
    char *text = file_to_string(name, &len);
    if (!text) return;
    gates_parse(text, (size_t)len);
    zv_free(text);
}

char *gates_format(size_t *len) {
    text_buf t = {nullptr, 0, 0};
    text_add(&t, "%s", "");
    if (gates.checkpoint_count > 254 || gates.first_count + gates.normal_count > 254)
        text_add(&t, "version2\n");
    if (gates.slot_count > 0) {
        text_add(&t, "startinggate:\n");
        for (int i = 0; i < gates.slot_count; i++) {
            const gates_slot *s = &gates.slots[i];
            text_add(&t, "[%f %f %f]", s->pos[0], s->pos[1], s->pos[2]);
            text_add(&t, " %f", s->angle);
            // Custom names are written even when the object could not be made: they are data.
            if (s->model || s->texture || s->shape)
                text_add(&t, " %s %s %s\n", s->model ? s->model : "null",
                         s->texture ? s->texture : "null", s->shape ? s->shape : "null");
            else
                text_add(&t, "\n");
        }
    }
    if (gates.checkpoint_count > 0) {
        text_add(&t, "checkpoints:\n");
        for (int i = 0; i < gates.checkpoint_count; i++) {
            const gates_checkpoint *k = &gates.checkpoints[i];
            text_add(&t, "%f ", k->length);
            text_add(&t, "[%f %f %f]", k->origin[0], k->origin[1], k->origin[2]);
            text_add(&t, " ");
            text_add(&t, "[%f %f %f]", k->direction[0], k->direction[1], k->direction[2]);
            text_add(&t, "\n");
        }
    }
    if (gates.first_count > 0) {
        text_add(&t, "firstlap:\n");
        for (int i = 0; i < gates.first_count; i++)
            text_add(&t, "%d ", gates.sequence[i]);
        text_add(&t, "\n");
    }
    if (gates.normal_count > 0) {
        text_add(&t, "normallap:\n");
        for (int i = 0; i < gates.normal_count; i++)
            text_add(&t, "%d ", gates.sequence[gates.first_count + i]);
        text_add(&t, "\n");
    }
    if (len) *len = t.len;
    return t.data;
}

int gates_save(const char *dir) {
    char name[GATES_NAME_SIZE];
    snprintf(name, sizeof name, "@%s/timing_gates", dir ? dir : "");
    data_file *f = dir ? data_open(name, "wb") : nullptr;
    if (!f) {
        track_message("Can't open 'timing_gates'\n");
        return 0;
    }
    size_t len = 0;
    char *text = gates_format(&len);
    int ok = data_write(f, text, (int)len) == (int)len;
    zv_free(text);
    ok &= data_close(f);
    return ok;
}

int gates_checkpoints(void) {
    return gates.valid ? gates.checkpoint_count : 0;
}
int gates_first(void) {
    return gates.valid ? gates.first_count : 0;
}
int gates_normal(void) {
    return gates.valid ? gates.normal_count : 0;
}

int gates_sequence_checkpoint(int entry) {
    if (entry < 0 || entry >= gates.first_count + gates.normal_count) return -1;
    int r = gates.sequence[entry];
    if (r >= GATES_MARK) r -= GATES_MARK;
    return r >= 0 && r < gates.checkpoint_count ? r : -1;
}
