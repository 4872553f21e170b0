// The line store and its "ct03" text file.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "robot/robot.h"
#include "track/track_gates.h"

robot_line_store robot_lines;
int robot_verbose;

enum {
    LINES_PER_SECTION_MAX = 1000000, // beyond this a section count is a corrupt record
};

static struct {
    char dir[256];
    int skill;
    int loaded;
} lines_file_state;

void robot_line_clear(robot_line *l) {
    zv_free(l->samples);
    memset(l, 0, sizeof *l);
    l->t1 = l->t2 = ROBOT_UNTIMED;
    l->fastest_t1 = l->fastest_t2 = ROBOT_UNTIMED;
    l->last_picked = -1000000; // never picked counts as long ago
}

void robot_lines_free(void) {
    robot_line_store *s = &robot_lines;
    if (s->lines)
        for (int i = 0; i < s->sections * ROBOT_SLOTS; i++)
            zv_free(s->lines[i].samples);
    zv_free(s->lines);
    zv_free(s->counts);
    for (int m = 0; m < 3; m++)
        zv_free(s->recommended[m]);
    int seq = s->next_sequence;
    memset(s, 0, sizeof *s);
    s->next_sequence = seq; // sequence numbers stay unique over the program run
}

int robot_lines_reset(int first_sections, int normal_sections) {
    robot_lines_free();
    robot_line_store *s = &robot_lines;
    if (first_sections < 0 || normal_sections < 0 ||
        first_sections + normal_sections > ROBOT_SECTIONS_MAX ||
        first_sections + normal_sections == 0)
        return 0;
    int n = first_sections + normal_sections;
    s->lines = (robot_line *)zv_alloc_zeroed((size_t)n * ROBOT_SLOTS, sizeof(robot_line));
    s->counts = (int *)zv_alloc_zeroed(n, sizeof(int));
    for (int m = 0; m < 3; m++)
        s->recommended[m] = (int *)zv_alloc_zeroed(n, sizeof(int));
    if (!s->lines || !s->counts || !s->recommended[0] || !s->recommended[1] || !s->recommended[2]) {
        robot_lines_free();
        return 0;
    }
    s->sections = n;
    s->first_sections = first_sections;
    s->normal_sections = normal_sections;
    for (int i = 0; i < n * ROBOT_SLOTS; i++)
        robot_line_clear(&s->lines[i]);
    return 1;
}

int robot_section_wrap(int s) {
    const robot_line_store *st = &robot_lines;
    if (s < 0 || st->sections == 0) return 0;
    if (s < st->first_sections) return s;
    if (st->normal_sections == 0) return st->first_sections - 1;
    return st->first_sections + (s - st->first_sections) % st->normal_sections;
}

robot_line *robot_line_at(int section, int slot) {
    if (robot_lines.sections == 0 || slot < 0 || slot >= ROBOT_SLOTS) return nullptr;
    return &robot_lines.lines[robot_section_wrap(section) * ROBOT_SLOTS + slot];
}

int robot_line_set(int section, int slot, const robot_sample *samples, int count, int t1, int t2) {
    robot_line *l = robot_line_at(section, slot);
    if (!l || count <= 0 || count > ROBOT_SAMPLES_MAX) return 0;
    robot_sample *copy = (robot_sample *)zv_alloc((size_t)count * sizeof(robot_sample));
    if (!copy) return 0;
    memcpy(copy, samples, (size_t)count * sizeof(robot_sample));
    robot_line_clear(l);
    l->samples = copy;
    l->count = count;
    l->t1 = t1;
    l->t2 = t2;
    l->sequence = ++robot_lines.next_sequence;
    int sec = robot_section_wrap(section);
    if (slot >= robot_lines.counts[sec]) robot_lines.counts[sec] = slot + 1;
    return 1;
}

void robot_line_limit(robot_line *l) {
    if (l->runs <= 0) {
        l->runs = 0;
        if (l->sum_t1 > ROBOT_SUM_MAX || l->sum_t2 > ROBOT_SUM_MAX) l->sum_t1 = l->sum_t2 = 0;
    }
    while (l->runs > ROBOT_RUNS_MAX || l->failures > ROBOT_RUNS_MAX || l->sum_t1 > ROBOT_SUM_MAX ||
           l->sum_t2 > ROBOT_SUM_MAX) {
        double mean1 = l->runs > 0 ? (double)l->sum_t1 / l->runs : 0.0;
        double mean2 = l->runs > 0 ? (double)l->sum_t2 / l->runs : 0.0;
        l->runs /= 2;
        l->failures /= 2;
        l->sum_t1 = (int)(mean1 * l->runs);
        l->sum_t2 = (int)(mean2 * l->runs);
    }
}

// Reads the body of a lines file after its header; a bad record ends it, keeping the sections
// before it, and the log says where (file and section) and how much was kept.
static void lines_read_sections(data_file *f, const char *name) {
    robot_line_store *st = &robot_lines;
    robot_sample *scratch = (robot_sample *)zv_alloc(sizeof(robot_sample) * ROBOT_SAMPLES_MAX);
    if (!scratch) return;
    for (int sec = 0; sec < st->sections; sec++) {
        int lines = -1;
        if (data_scanf(f, " %d", &lines) != 1 || lines < 0 || lines > LINES_PER_SECTION_MAX) {
            platform_log("%s: bad section record %d; sections 0 to %d kept\n", name, sec, sec - 1);
            break;
        }
        for (int k = 0; k < lines; k++) {
            int v[9];
            if (data_scanf(f, " %d %d %d %d %d %d %d %d %d ", &v[0], &v[1], &v[2], &v[3], &v[4],
                           &v[5], &v[6], &v[7], &v[8]) != 9) {
                platform_log("%s: bad line record in section %d; sections 0 to %d kept\n", name,
                             sec, sec - 1);
                goto done;
            }
            int bad = v[0] < 0 || v[0] > ROBOT_SAMPLES_MAX;
            for (int i = 1; i < 9; i++)
                bad |= v[i] < 0;
            if (bad) {
                platform_log("%s: bad line record in section %d; sections 0 to %d kept\n", name,
                             sec, sec - 1);
                goto done;
            }
            for (int i = 0; i < v[0]; i++) {
                robot_sample *s = &scratch[i];
                if (data_scanf(f, " [ %f %f %f ] %f %f ", &s->pos[0], &s->pos[1], &s->pos[2],
                               &s->speed, &s->roll) != 5 ||
                    !std::isfinite(s->pos[0]) || !std::isfinite(s->pos[1]) ||
                    !std::isfinite(s->pos[2]) || !std::isfinite(s->speed) ||
                    !std::isfinite(s->roll)) {
                    platform_log("%s: bad sample in section %d; sections 0 to %d kept\n", name, sec,
                                 sec - 1);
                    goto done;
                }
            }
            // Lines past the section's slots are read and dropped; so are empty ones.
            if (st->counts[sec] >= ROBOT_SLOTS || v[0] == 0) continue;
            int slot = st->counts[sec];
            if (!robot_line_set(sec, slot, scratch, v[0], v[1], v[2])) {
                platform_log("%s: line %d of section %d not stored\n", name, k, sec);
                goto done;
            }
            robot_line *l = robot_line_at(sec, slot);
            l->runs = v[3];
            l->fastest_t1 = v[4];
            l->fastest_t2 = v[5];
            l->sum_t1 = v[6];
            l->sum_t2 = v[7];
            l->failures = v[8];
            robot_line_limit(l);
        }
    }
done:
    zv_free(scratch);
}

static int lines_read(data_file *f, const char *name) {
    int n = -1;
    if (data_scanf(f, "ct03 %d", &n) != 1) {
        platform_log("%s: not a lines file\n", name);
        return 0;
    }
    if (n != robot_lines.sections) {
        platform_log("%s: %d sections, the track has %d\n", name, n, robot_lines.sections);
        return 0;
    }
    lines_read_sections(f, name);
    return 1;
}

int robot_lines_parse(const char *text, int len) {
    if (!text || len <= 0 || robot_lines.sections == 0) return 0;
    FILE *fp = fmemopen((void *)text, (size_t)len, "r");
    if (!fp) return 0;
    data_file *f = data_open_stream(fp, 0, len, 0, 0);
    if (!f) return 0;
    int r = lines_read(f, "lines file");
    data_close(f);
    return r;
}

struct text_buffer {
    char *text;
    int len, cap, failed;
};

static void text_append(text_buffer *b, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
static void text_append(text_buffer *b, const char *fmt, ...) {
    if (b->failed) return;
    char tmp[256];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(tmp, sizeof tmp, fmt, ap);
    va_end(ap);
    if (n < 0 || n >= (int)sizeof tmp) {
        b->failed = 1;
        return;
    }
    if (b->len + n + 1 > b->cap) {
        int cap = b->cap ? b->cap * 2 : 65536;
        while (cap < b->len + n + 1)
            cap *= 2;
        char *t = (char *)zv_realloc(b->text, (size_t)cap);
        if (!t) {
            b->failed = 1;
            return;
        }
        b->text = t;
        b->cap = cap;
    }
    memcpy(b->text + b->len, tmp, (size_t)n + 1);
    b->len += n;
}

char *robot_lines_format(int *len) {
    const robot_line_store *st = &robot_lines;
    text_buffer b = {};
    text_append(&b, "ct03 %d\n", st->sections);
    for (int sec = 0; sec < st->sections; sec++) {
        int used = 0;
        for (int k = 0; k < ROBOT_SLOTS; k++)
            used += st->lines[sec * ROBOT_SLOTS + k].count > 0;
        text_append(&b, "%d\n", used);
        for (int k = 0; k < ROBOT_SLOTS; k++) {
            const robot_line *l = &st->lines[sec * ROBOT_SLOTS + k];
            if (l->count <= 0) continue;
            text_append(&b, "%d %d %d %d %d %d %d %d %d\n", l->count, l->t1, l->t2, l->runs,
                        l->fastest_t1, l->fastest_t2, l->sum_t1, l->sum_t2, l->failures);
            for (int i = 0; i < l->count; i++) {
                const robot_sample *s = &l->samples[i];
                text_append(&b, "[%f %f %f] %f %f\n", s->pos[0], s->pos[1], s->pos[2], s->speed,
                            s->roll);
            }
        }
    }
    if (b.failed) {
        zv_free(b.text);
        return nullptr;
    }
    if (len) *len = b.len;
    return b.text;
}

const char *robot_lines_file_name(int skill) {
    static const char *const names[3] = {"lines_novice", "lines_amateur", "lines_expert"};
    return names[skill < 0 ? 0 : skill > 2 ? 2 : skill];
}

int robot_lines_save(const char *dir, int skill) {
    char name[DATA_NAME_MAX + 1], tmp[DATA_NAME_MAX + 1];
    if (snprintf(name, sizeof name, "@%s/%s", dir, robot_lines_file_name(skill)) >=
            (int)sizeof name ||
        snprintf(tmp, sizeof tmp, "%s.new", name) >= (int)sizeof tmp)
        return 0;
    int len = 0;
    char *text = robot_lines_format(&len);
    if (!text) return 0;
    char path[DATA_PATH_MAX + 1];
    if (data_home_path(name, path, sizeof path)) data_make_dirs(path);
    data_file *f = data_open(tmp, "wb");
    int ok = f && data_write(f, text, len) == len;
    ok = data_close(f) && ok;
    zv_free(text);
    if (!ok) {
        platform_log("lines file: cannot write %s\n", name);
        return 0;
    }
    if (!data_rename(tmp, name)) return 0;
    robot_lines.changed = 0;
    return 1;
}

void robot_lines_remember(void) {
    if (lines_file_state.loaded && robot_lines.changed) {
        platform_log("Remembering lines\n");
        robot_lines_save(lines_file_state.dir, lines_file_state.skill);
    }
    lines_file_state.loaded = 0;
    robot_lines_free();
}

int robot_lines_load(const char *dir, int skill) {
    if (lines_file_state.loaded && robot_lines.changed) {
        platform_log("Remembering lines\n");
        robot_lines_save(lines_file_state.dir, lines_file_state.skill);
    }
    lines_file_state.loaded = 0;
    int sf = gates.valid ? gates.first_length : 0, sn = gates.valid ? gates.normal_length : 0;
    if (!robot_lines_reset(sf, sn)) return 0;
    snprintf(lines_file_state.dir, sizeof lines_file_state.dir, "%s", dir);
    lines_file_state.skill = skill;
    lines_file_state.loaded = 1;
    char name[DATA_NAME_MAX + 1];
    if (snprintf(name, sizeof name, "@%s/%s", dir, robot_lines_file_name(skill)) >=
        (int)sizeof name)
        return 0;
    data_file *f = data_open(name, "rb");
    int ok = 0;
    if (f) {
        ok = lines_read(f, name);
        data_close(f);
        if (!ok) {
            // A mismatching file leaves the store empty rather than half-filled.
            robot_lines_reset(sf, sn);
        }
    }
    platform_log("Analyzing lines\n");
    robot_lines_analyze(nullptr, nullptr);
    robot_lines.changed = 0;
    return ok;
}
