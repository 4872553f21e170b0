// Reading the racing line file.
#include "track/track_centerline.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"

// Reads one number from *p (bounded by end); 0 when none or not finite.
static int centerline_number(const char **p, const char *end, double *out) {
    const char *s = *p;
    while (s < end && (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n'))
        s++;
    char buf[64];
    size_t n = 0;
    while (s < end && n + 1 < sizeof buf && (strchr("+-.eE", *s) || (*s >= '0' && *s <= '9')))
        buf[n++] = *s++;
    buf[n] = 0;
    if (n == 0) return 0;
    char *stop;
    double v = strtod(buf, &stop);
    if (stop != buf + n || !std::isfinite(v)) return 0;
    *out = v;
    *p = s;
    return 1;
}

static int centerline_word(const char **p, const char *end, const char *word) {
    const char *s = *p;
    while (s < end && (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n'))
        s++;
    size_t n = strlen(word);
    if ((size_t)(end - s) < n || memcmp(s, word, n) != 0) return 0;
    *p = s + n;
    return 1;
}

int track_centerline_parse(const char *text, size_t len, track_centerline *out) {
    memset(out, 0, sizeof *out);
    const char *p = text, *end = text + len;
    double version, count, length;
    if (!centerline_word(&p, end, "centerline") || !centerline_number(&p, end, &version) ||
        version != 1 || !centerline_word(&p, end, "points") ||
        !centerline_number(&p, end, &count) || count < 2 || count > (double)TRACK_CENTERLINE_MAX ||
        count != floor(count) || !centerline_word(&p, end, "length") ||
        !centerline_number(&p, end, &length) || !(length > 0))
        return 0;
    int n = (int)count;
    track_centerline_point *pts =
        (track_centerline_point *)zv_alloc(sizeof(track_centerline_point) * n);
    for (int i = 0; i < n; i++) {
        double v[4];
        for (int k = 0; k < 4; k++)
            if (!centerline_number(&p, end, &v[k])) {
                zv_free(pts);
                return 0;
            }
        pts[i] = {(float)v[0], (float)v[1], (float)v[2], (float)v[3]};
    }
    out->count = n;
    out->length = (float)length;
    out->points = pts;
    return 1;
}

int track_centerline_load(const char *dir, track_centerline *out) {
    char name[1100];
    memset(out, 0, sizeof *out);
    if (snprintf(name, sizeof name, "@%s/centerline", dir) >= (int)sizeof name) return 0;
    int len = 0;
    char *text = file_to_string(name, &len);
    if (!text) return 0;
    int ok = track_centerline_parse(text, (size_t)len, out);
    zv_free(text);
    return ok;
}

void track_centerline_free(track_centerline *c) {
    zv_free(c->points);
    memset(c, 0, sizeof *c);
}

track_centerline_point track_centerline_at(const track_centerline *c, float t) {
    track_centerline_point none = {0, 0, 0, 0};
    if (!c->points || c->count < 1 || !(c->length > 0)) return none;
    double u = fmod((double)t, (double)c->length);
    if (!std::isfinite(u)) u = 0;
    if (u < 0) u += c->length;
    double pos = u / c->length * c->count;
    int a = (int)pos;
    if (a >= c->count) a = c->count - 1;
    int b = (a + 1) % c->count;
    double f = pos - a;
    const track_centerline_point &pa = c->points[a], &pb = c->points[b];
    track_centerline_point r;
    r.x = (float)(pa.x + f * (pb.x - pa.x));
    r.y = (float)(pa.y + f * (pb.y - pa.y));
    r.z = (float)(pa.z + f * (pb.z - pa.z));
    r.half_width = (float)(pa.half_width + f * (pb.half_width - pa.half_width));
    return r;
}
