// The platform log file and the QUVA_OPTIONS switches. The log is written from the main thread,
// the window thread and the audio thread, so each message goes out whole under one mutex.
#include "platform/platform.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

const char log_default_key[] = "QUVA_LOGFILE=";

struct log_state {
    std::mutex lock;
    FILE *file;
    int initialised;
    char last_error[1024];
};

log_state g_log = {{}, nullptr, 0, "Unknown"};

struct option_state {
    std::mutex lock;
    int loaded;
    char text[4096];
};

option_state g_options = {{}, 0, ""};

// Writes one message with its clock prefix; the caller holds the lock.
void log_write_locked(const char *text, size_t len) {
    if (!g_log.file) return;
    platform_time t = platform_clock();
    int sec = t.sec < 0 ? 0 : t.sec;
    int usec = t.usec < 0 ? 0 : t.usec;
    fprintf(g_log.file, "[%d:%02d:%02d.%02d] ", sec / 3600, sec / 60 % 60, sec % 60, usec / 10000);
    fwrite(text, 1, len, g_log.file);
    fflush(g_log.file);
}

void log_printf_locked(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void log_printf_locked(const char *fmt, ...) {
    char buf[1200];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    size_t len = (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1;
    log_write_locked(buf, len);
}

// Opens the log on the first message. Returns 1 when the message itself was the default-path
// setting and must not be written.
int log_open_locked(const char *first) {
    g_log.initialised = 1;
    char path[1024] = "";
    int consumed = 0;
    const char *env = getenv("QUVA_LOGFILE");
    if (strncmp(first, log_default_key, sizeof log_default_key - 1) == 0) {
        consumed = 1;
        if (!env) {
            snprintf(path, sizeof path, "%.1000s", first + sizeof log_default_key - 1);
            // The message is a line of its own; the newline is no part of the path.
            size_t n = strlen(path);
            while (n > 0 && (path[n - 1] == '\n' || path[n - 1] == '\r'))
                path[--n] = 0;
        }
    }
    if (env) snprintf(path, sizeof path, "%.1000s", env);
    if (!path[0]) return consumed;

    const char *name = path;
    char mode[16] = "w";
    if (strncmp(name, ">>", 2) == 0) {
        name += 2;
        strcpy(mode, "a");
    } else if (name[0] == '>') {
        name += 1;
    }
    const char *flags = getenv("QUVA_LOGFILE_FLAGS");
    if (flags && flags[0]) snprintf(mode, sizeof mode, "%s", flags);
    // fopen only understands modes that start with r, w or a; anything else would be rejected
    // there anyway, so keep its answer (no log) without handing it a stranger string.
    if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') return consumed;
    g_log.file = fopen(name, mode);
    if (!g_log.file) return consumed;
    log_printf_locked("Logfile \"%s\" opened\n", name);
    log_printf_locked("QUVA 0.31\n");
    return consumed;
}

void options_load_locked(void) {
    if (g_options.loaded) return;
    g_options.loaded = 1;
    const char *env = getenv("QUVA_OPTIONS");
    snprintf(g_options.text, sizeof g_options.text, "%s", env ? env : "");
}

// The text following "[name:" in the options, or null.
const char *option_find(const char *name) {
    char key[80];
    snprintf(key, sizeof key, "[%.60s:", name);
    std::lock_guard<std::mutex> hold(g_options.lock);
    options_load_locked();
    const char *hit = strstr(g_options.text, key);
    return hit ? hit + strlen(key) : nullptr;
}

} // namespace

void platform_log(const char *fmt, ...) {
    std::lock_guard<std::mutex> hold(g_log.lock);
    if (!fmt) {
        if (g_log.file) fclose(g_log.file);
        g_log.file = nullptr;
        return;
    }
    char buf[2048];
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (!g_log.initialised && log_open_locked(buf)) {
        va_end(again);
        return;
    }
    if (!g_log.file || buf[0] == 0x13) {
        va_end(again);
        return;
    }
    if ((size_t)n < sizeof buf) {
        log_write_locked(buf, (size_t)n);
    } else {
        // Too long for the buffer: format straight into the file, still under the lock.
        platform_time t = platform_clock();
        int sec = t.sec < 0 ? 0 : t.sec;
        int usec = t.usec < 0 ? 0 : t.usec;
        fprintf(g_log.file, "[%d:%02d:%02d.%02d] ", sec / 3600, sec / 60 % 60, sec % 60,
                usec / 10000);
        vfprintf(g_log.file, fmt, again);
        fflush(g_log.file);
    }
    va_end(again);
}

void platform_log_error(const char *text) {
    if (!text) text = "(null)";
    {
        std::lock_guard<std::mutex> hold(g_log.lock);
        snprintf(g_log.last_error, sizeof g_log.last_error, "%s", text);
    }
    platform_log("Error: %s\n", text);
}

const char *platform_last_error(void) {
    return g_log.last_error;
}

void platform_log_reset(void) {
    std::lock_guard<std::mutex> hold(g_log.lock);
    if (g_log.file) fclose(g_log.file);
    g_log.file = nullptr;
    g_log.initialised = 0;
    snprintf(g_log.last_error, sizeof g_log.last_error, "Unknown");
}

void platform_options_reset(void) {
    std::lock_guard<std::mutex> hold(g_options.lock);
    g_options.loaded = 0;
    g_options.text[0] = 0;
}

int platform_switch_option(const char *name, int def) {
    const char *v = option_find(name);
    if (!v) return def;
    if (strncmp(v, "yes]", 4) == 0 || strncmp(v, "on]", 3) == 0) return 1;
    if (strncmp(v, "no]", 3) == 0 || strncmp(v, "off]", 4) == 0) return 0;
    platform_log("unrecognized setting for %s\n", name);
    return def;
}

int platform_number_option(const char *name, int def) {
    const char *v = option_find(name);
    if (!v) return def;
    const char *p = v;
    if (*p == '-' || *p == '+') p++;
    if (*p < '0' || *p > '9') {
        platform_log("unrecognized setting for %s\n", name);
        return def;
    }
    errno = 0;
    char *end = nullptr;
    long n = strtol(v, &end, 10);
    if (errno == ERANGE || n > INT_MAX || n < INT_MIN || *end != ']') {
        platform_log("unrecognized setting for %s\n", name);
        return def;
    }
    return (int)n;
}
