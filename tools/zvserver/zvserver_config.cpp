// zvserver's configuration file and command line.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/zvserver/zvserver.h"

namespace {

int parse_int(const char *v, int lo, int hi, int *out) {
    char *end;
    errno = 0;
    long n = strtol(v, &end, 10);
    if (errno || end == v || *end || n < lo || n > hi) return 0;
    *out = (int)n;
    return 1;
}

int parse_float(const char *v, float *out) {
    char *end;
    float f = strtof(v, &end);
    if (end == v || *end || !std::isfinite(f) || f < 0) return 0;
    *out = f;
    return 1;
}

int parse_yes(const char *v, int *out) {
    if (!strcmp(v, "1") || !strcmp(v, "yes") || !strcmp(v, "true")) return *out = 1, 1;
    if (!strcmp(v, "0") || !strcmp(v, "no") || !strcmp(v, "false")) return *out = 0, 1;
    return 0;
}

// One setting; 1 when the key is known and the value good.
int set(zvserver_config *c, const char *key, const char *v) {
    if (!strcmp(key, "port")) return parse_int(v, 1, 65535, &c->port);
    if (!strcmp(key, "password")) return snprintf(c->password, sizeof c->password, "%s", v), 1;
    if (!strcmp(key, "track")) {
        // Each track line adds to the rotation.
        if (c->track_count >= ZVSERVER_TRACKS || !v[0] || strlen(v) >= ZVSERVER_TEXT) return 0;
        snprintf(c->tracks[c->track_count++], ZVSERVER_TEXT, "%s", v);
        return 1;
    }
    if (!strcmp(key, "laps")) return parse_int(v, 0, 1000, &c->laps);
    if (!strcmp(key, "time_limit")) return parse_int(v, 0, 600, &c->time_limit_minutes);
    if (!strcmp(key, "max_clients")) return parse_int(v, 1, ZVSERVER_MAX_CLIENTS, &c->max_clients);
    if (!strcmp(key, "erosion_rate")) return parse_int(v, 0, 102400, &c->erosion_rate);
    if (!strcmp(key, "knockout")) {
        c->knockout_count = 0;
        const char *p = v;
        while (*p && c->knockout_count < 16) {
            char *end;
            long n = strtol(p, &end, 10);
            if (end == p || n < 0 || n > 460800) return 0;
            c->knockout[c->knockout_count++] = (int)n;
            p = end + strspn(end, " \t,");
        }
        return *p == 0;
    }
    if (!strcmp(key, "off_course_bias")) return parse_float(v, &c->off_course_bias);
    if (!strcmp(key, "off_course_scale")) return parse_float(v, &c->off_course_scale);
    if (!strcmp(key, "arcade")) return parse_yes(v, &c->arcade);
    if (!strcmp(key, "start_seconds")) return parse_int(v, 1, 600, &c->start_seconds);
    if (!strcmp(key, "timeout")) return parse_int(v, 2, 3600, &c->timeout_seconds);
    if (!strcmp(key, "finish_seconds")) return parse_int(v, 0, 3600, &c->finish_seconds);
    if (!strcmp(key, "session_seconds")) return parse_int(v, 0, 86400, &c->session_seconds);
    if (!strcmp(key, "verbose")) return parse_int(v, 0, 2, &c->verbose);
    if (!strcmp(key, "upload_dir"))
        return snprintf(c->upload_dir, sizeof c->upload_dir, "%s", v), 1;
    if (!strcmp(key, "upload_max_kb")) return parse_int(v, 1, 1 << 20, &c->upload_max_kb);
    return 0;
}

void usage(FILE *f) {
    fprintf(f, "usage: zvserver [--config FILE] [--port N] [--password TEXT] [--track DIR]...\n"
               "                [--laps N] [--time-limit MINUTES] [--max-clients N]\n"
               "                [--erosion-rate N] [--knockout \"N N ...\"] [--no-arcade]\n"
               "                [--off-course-bias S] [--off-course-scale X] [--start-seconds S]\n"
               "                [--timeout S] [--finish-seconds S] [--session-seconds S]\n"
               "                [--verbose N] [--upload-dir DIR] [--upload-max-kb N]\n"
               "The game data comes from ZV_HOME as for the game. Settings in the file are\n"
               "key=value lines with the same names (underscores for hyphens).\n");
}

} // namespace

void zvserver_config_defaults(zvserver_config *c) {
    memset(c, 0, sizeof *c);
    c->port = NET_PORT;
    c->laps = 5;
    c->max_clients = 40;
    c->off_course_bias = 10.0f;
    c->off_course_scale = 1.5f;
    c->arcade = 1;
    c->start_seconds = 15;
    c->timeout_seconds = 30;
    c->finish_seconds = 60;
    c->upload_max_kb = 1024;
}

int zvserver_config_text(zvserver_config *c, const char *text, int *line) {
    int n = 0;
    const char *p = text;
    while (*p) {
        n++;
        const char *end = strchr(p, '\n');
        std::string l(p, end ? (size_t)(end - p) : strlen(p));
        p = end ? end + 1 : p + l.size();
        while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t'))
            l.pop_back();
        size_t start = l.find_first_not_of(" \t");
        if (start == std::string::npos || l[start] == '#') continue;
        size_t eq = l.find('=');
        if (eq == std::string::npos) return *line = n, 0;
        std::string key = l.substr(start, eq - start), value = l.substr(eq + 1);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
            key.pop_back();
        value.erase(0, value.find_first_not_of(" \t") == std::string::npos
                           ? value.size()
                           : value.find_first_not_of(" \t"));
        if (!set(c, key.c_str(), value.c_str())) return *line = n, 0;
    }
    return 1;
}

int zvserver_config_file(zvserver_config *c, const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "zvserver: can't open config %s\n", path);
        return 0;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0 && text.size() < (1u << 20))
        text.append(buf, n);
    fclose(f);
    int line = 0;
    if (!zvserver_config_text(c, text.c_str(), &line)) {
        fprintf(stderr, "zvserver: %s line %d: unknown setting or bad value\n", path, line);
        return 0;
    }
    return 1;
}

int zvserver_parse_args(zvserver_config *c, int argc, char **argv, int *code) {
    *code = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            usage(stdout);
            return 0;
        }
        if (!strcmp(a, "--no-arcade")) {
            c->arcade = 0;
            continue;
        }
        if (strncmp(a, "--", 2) != 0 || i + 1 >= argc) {
            fprintf(stderr, "zvserver: bad argument %s (see --help)\n", a);
            *code = 1;
            return 0;
        }
        const char *v = argv[++i];
        if (!strcmp(a, "--config")) {
            if (!zvserver_config_file(c, v)) return *code = 1, 0;
            continue;
        }
        std::string key(a + 2);
        for (char &ch : key)
            if (ch == '-') ch = '_';
        if (!set(c, key.c_str(), v)) {
            fprintf(stderr, "zvserver: bad value for %s: %s\n", a, v);
            *code = 1;
            return 0;
        }
    }
    return 1;
}
