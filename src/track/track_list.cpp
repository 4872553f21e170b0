// Scanning the file list for tracks.
#include "track/track_list.h"

#include <cstring>
#include <strings.h>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "data/data_index.h"
#include "track/track_hooks.h"
#include "track/track_status.h"

track_list_state track_list;

static const char *const track_markers[] = {"/terrain.hf", "/terrain.hf.gz", "/terrain.hf.scram",
                                            "/terrain.hf.gz.scram"};

enum { TRACK_LONG_NAME_MAX = 1024 };

static char *track_strndup(const char *s, size_t n) {
    char *d = (char *)zv_alloc(n + 1);
    memcpy(d, s, n);
    d[n] = 0;
    return d;
}

void track_list_free(void) {
    for (int i = 0; i < track_list.count; i++) {
        zv_free(track_list.dirs[i]);
        zv_free(track_list.long_names[i]);
    }
    zv_free(track_list.dirs);
    zv_free(track_list.long_names);
    memset(&track_list, 0, sizeof track_list);
}

int track_list_find(const char *dir) {
    for (int i = 0; i < track_list.count; i++)
        if (strcmp(track_list.dirs[i], dir) == 0) return i;
    for (int i = 0; i < track_list.count; i++)
        if (strcasecmp(track_list.dirs[i], dir) == 0) return i;
    return -1;
}

// The long name: desc's characters up to the first NUL, line feed, carriage return or the end.
static char *track_long_name(const char *dir) {
    char name[TRACK_LONG_NAME_MAX + 16];
    snprintf(name, sizeof name, "@%s/desc", dir);
    data_file *f = data_open(name, "rb");
    if (!f) return track_strndup(dir, strlen(dir));
    char buf[TRACK_LONG_NAME_MAX];
    size_t n = 0;
    int c;
    while (n + 1 < sizeof buf && (c = data_getc(f)) > 0 && c != '\n' && c != '\r')
        buf[n++] = (char)c;
    data_close(f);
    return track_strndup(buf, n);
}

static void track_list_add(const char *dir, size_t len) {
    if (track_list.count == track_list.capacity) {
        int cap = track_list.capacity ? track_list.capacity * 2 : 16;
        track_list.dirs = (char **)zv_realloc(track_list.dirs, sizeof(char *) * cap);
        track_list.long_names = (char **)zv_realloc(track_list.long_names, sizeof(char *) * cap);
        track_list.capacity = cap;
    }
    char *d = track_strndup(dir, len);
    track_list.dirs[track_list.count] = d;
    track_list.long_names[track_list.count] = track_long_name(d);
    track_list.count++;
}

int track_scan(void) {
    track_list_free();
    const char *const *files = file_index_build();
    for (int f = 0; files && files[f]; f++) {
        const char *name = files[f];
        size_t len = strlen(name);
        int marked = 0;
        for (const char *m : track_markers) {
            size_t ml = strlen(m);
            if (len >= ml && strcmp(name + len - ml, m) == 0) marked = 1;
        }
        if (!marked) continue;
        size_t dlen = (size_t)(strrchr(name, '/') - name);
        if (dlen == 0 || dlen >= TRACK_LONG_NAME_MAX) continue;
        // A track stored in two forms (terrain.hf and terrain.hf.gz) is listed once.
        int seen = 0;
        for (int i = 0; i < track_list.count && !seen; i++)
            seen = strlen(track_list.dirs[i]) == dlen &&
                   strncasecmp(track_list.dirs[i], name, dlen) == 0;
        if (seen) continue;
        track_pump();
        track_list_add(name, dlen);
    }
    // Insertion sort keeps equal long names in file-list order.
    for (int i = 1; i < track_list.count; i++)
        for (int j = i;
             j > 0 && strcasecmp(track_list.long_names[j - 1], track_list.long_names[j]) > 0; j--) {
            char *t = track_list.dirs[j];
            track_list.dirs[j] = track_list.dirs[j - 1];
            track_list.dirs[j - 1] = t;
            t = track_list.long_names[j];
            track_list.long_names[j] = track_list.long_names[j - 1];
            track_list.long_names[j - 1] = t;
        }
    if (track_verbose)
        for (int i = 0; i < track_list.count; i++)
            track_log("%s -> %s\n", track_list.dirs[i], track_list.long_names[i]);
    return track_list.count;
}
