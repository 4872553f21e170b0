// The formatted scan over a data handle. It behaves like the C library's scanf family except
// where the text formats rely on something else: a literal mismatch returns -1 even after
// assignments, %x takes no "0x" prefix, integers wrap in 32 bits, reals accumulate in extended
// precision without "inf", "nan" or hexadecimal forms, and a suppressed %[ ends the call.
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "data/data_file.h"

enum {
    SCAN_DEFAULT_WIDTH = 1000000,
    // Exponents beyond this give 0 or infinity anyway; saturating keeps the sum in range.
    SCAN_EXPONENT_MAX = 100000,
};

struct scan_state {
    data_file *f;
    int consumed; // characters taken since the call began, for %n
};

static int scan_get(scan_state *s) {
    int c = data_getc(s->f);
    if (c >= 0) s->consumed++;
    return c;
}

static void scan_unget(scan_state *s, int c) {
    if (c < 0) return;
    data_ungetc(s->f, c);
    s->consumed--;
}

static int scan_is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips whitespace; returns the first other character, consumed, or -1 at the end.
static int scan_skip_space(scan_state *s) {
    int c;
    do
        c = scan_get(s);
    while (scan_is_space(c));
    return c;
}

static int scan_digit_value(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// 10^n for 0 <= n, as the product of 1e4096 (per whole 4096) and the binary powers of the rest.
static long double scan_power_of_ten(int n) {
    static const long double factors[] = {1e1L,  1e2L,   1e4L,   1e8L,   1e16L,   1e32L,
                                          1e64L, 1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L};
    long double p = 1.0L;
    for (; n >= 4096; n -= 4096)
        p *= 1e4096L;
    for (int bit = 0; bit < 12; bit++)
        if (n & (1 << bit)) p *= factors[bit];
    return p;
}

// Result of one conversion's input phase.
enum { SCAN_OK = 0, SCAN_NONE = 1, SCAN_EOF = 2 };

static int scan_integer(scan_state *s, int conv, int width, uint32_t *out) {
    int c = scan_skip_space(s);
    if (c < 0) return SCAN_EOF;
    int taken = 0, negative = 0, digits = 0;
    if (c == '-' || c == '+') {
        negative = c == '-';
        taken++;
        if (taken >= width) return SCAN_NONE;
        c = scan_get(s);
    }
    int base = conv == 'o' ? 8 : conv == 'x' || conv == 'X' ? 16 : 10;
    if (conv == 'i') {
        base = 10;
        if (c == '0') {
            base = 8;
            digits = 1; // the '0' alone is a number
            taken++;
            if (taken < width) {
                c = scan_get(s);
                if (c == 'x' || c == 'X') {
                    base = 16;
                    taken++;
                    c = taken < width ? scan_get(s) : -1;
                }
            } else {
                c = -1;
            }
        }
    }
    uint32_t value = 0;
    while (c >= 0 && taken < width && scan_digit_value(c) < base) {
        value = value * (uint32_t)base + (uint32_t)scan_digit_value(c);
        digits++;
        taken++;
        c = taken < width ? scan_get(s) : -1;
    }
    if (c >= 0 && !(taken >= width && digits)) scan_unget(s, c);
    if (!digits) return SCAN_NONE;
    *out = negative ? 0u - value : value;
    return SCAN_OK;
}

static int scan_real(scan_state *s, int width, long double *out) {
    int c = scan_skip_space(s);
    if (c < 0) return SCAN_EOF;
    int taken = 0, negative = 0, digits = 0, point = 0;
    long exponent = 0;
    long double m = 0.0L;
    // Takes the next character while the width allows; -1 once it does not.
#define SCAN_NEXT() (++taken < width ? scan_get(s) : -1)
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = SCAN_NEXT();
    }
    for (; c >= 0; c = SCAN_NEXT()) {
        if (c >= '0' && c <= '9') {
            m = m * 10.0L + (long double)(c - '0');
            digits++;
            if (point && exponent > -SCAN_EXPONENT_MAX) exponent--;
        } else if (c == '.' && !point) {
            point = 1;
        } else {
            break;
        }
    }
    if (!digits) {
        scan_unget(s, c);
        return SCAN_NONE;
    }
    if (c == 'e' || c == 'E') {
        c = SCAN_NEXT();
        int eneg = 0;
        if (c == '-' || c == '+') {
            eneg = c == '-';
            c = SCAN_NEXT();
        }
        long e = 0;
        for (; c >= '0' && c <= '9'; c = SCAN_NEXT())
            if (e < SCAN_EXPONENT_MAX) e = e * 10 + (c - '0');
        exponent += eneg ? -e : e;
    }
#undef SCAN_NEXT
    scan_unget(s, c);
    if (exponent > SCAN_EXPONENT_MAX) exponent = SCAN_EXPONENT_MAX;
    if (exponent < -SCAN_EXPONENT_MAX) exponent = -SCAN_EXPONENT_MAX;
    if (m != 0.0L) { // zero times an infinite power would be a NaN
        if (exponent >= 0)
            m *= scan_power_of_ten((int)exponent);
        else
            m /= scan_power_of_ten((int)-exponent);
    }
    *out = negative ? -m : m;
    return SCAN_OK;
}

// Parses the set after '[' into member[256]; returns the format position after the ']'.
static const char *scan_parse_set(const char *p, unsigned char member[256]) {
    int invert = 0;
    memset(member, 0, 256);
    if (*p == '^') {
        invert = 1;
        p++;
    }
    if (*p == ']') member[(unsigned char)*p++] = 1;
    while (*p && *p != ']') {
        unsigned char lo = (unsigned char)*p;
        if (p[1] == '-' && p[2] && p[2] != ']') {
            unsigned char hi = (unsigned char)p[2];
            for (int c = lo; c <= hi; c++)
                member[c] = 1;
            p += 3;
        } else {
            member[lo] = 1;
            p++;
        }
    }
    if (*p == ']') p++;
    if (invert)
        for (int c = 0; c < 256; c++)
            member[c] = !member[c];
    return p;
}

int data_scanf(data_file *f, const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    scan_state s = {f, 0};
    int count = 0;
    const char *p = format;
    int result;
    for (;;) {
        int fc = (unsigned char)*p;
        if (!fc) {
            result = count;
            break;
        }
        if (scan_is_space(fc)) {
            scan_unget(&s, scan_skip_space(&s));
            p++;
            continue;
        }
        if (fc != '%' || p[1] == '%') {
            if (fc == '%') p++;
            int c = scan_get(&s);
            if (c != fc) {
                scan_unget(&s, c);
                result = -1;
                break;
            }
            p++;
            continue;
        }
        p++;
        int suppress = 0, width = 0, half = 0, longs = 0;
        if (*p == '*') {
            suppress = 1;
            p++;
        }
        while (*p >= '0' && *p <= '9') {
            if (width < SCAN_DEFAULT_WIDTH) width = width * 10 + (*p - '0');
            p++;
        }
        for (;; p++) {
            if (*p == 'h')
                half = 1;
            else if (*p == 'l')
                longs++;
            else if (*p == 'L' || *p == 'q')
                longs = 2;
            else
                break;
        }
        int conv = (unsigned char)*p;
        if (!conv) {
            result = count;
            break;
        }
        p++;
        int has_width = width > 0;
        if (!has_width) width = SCAN_DEFAULT_WIDTH;
        int outcome = SCAN_OK;
        switch (conv) {
        case 'd':
        case 'i':
        case 'o':
        case 'x':
        case 'X': {
            uint32_t v = 0;
            outcome = scan_integer(&s, conv, width, &v);
            if (outcome == SCAN_OK && !suppress) {
                if (half)
                    *va_arg(ap, int16_t *) = (int16_t)(uint16_t)v;
                else
                    *va_arg(ap, int32_t *) = (int32_t)v;
                count++;
            }
            break;
        }
        case 'f':
        case 'e':
        case 'g':
        case 'E':
        case 'G': {
            long double v = 0;
            outcome = scan_real(&s, width, &v);
            if (outcome == SCAN_OK && !suppress) {
                if (longs >= 2)
                    *va_arg(ap, long double *) = v;
                else if (longs == 1)
                    *va_arg(ap, double *) = (double)v;
                else
                    *va_arg(ap, float *) = (float)v;
                count++;
            }
            break;
        }
        case 's': {
            int c = scan_skip_space(&s);
            if (c < 0) {
                outcome = SCAN_EOF;
                break;
            }
            char *out = suppress ? nullptr : va_arg(ap, char *);
            int n = 0;
            while (c >= 0 && !scan_is_space(c)) {
                if (out) out[n] = (char)c;
                n++;
                if (n >= width) break;
                c = scan_get(&s);
            }
            if (n < width) scan_unget(&s, c);
            if (out) {
                out[n] = 0;
                count++;
            }
            break;
        }
        case 'c': {
            if (!has_width) width = 1;
            char *out = suppress ? nullptr : va_arg(ap, char *);
            int n = 0;
            for (; n < width; n++) {
                int c = scan_get(&s);
                if (c < 0) break;
                if (out) out[n] = (char)c;
            }
            if (n == 0) {
                outcome = SCAN_EOF;
                break;
            }
            if (out) count++;
            break;
        }
        case '[': {
            unsigned char member[256];
            p = scan_parse_set(p, member);
            char *out = suppress ? nullptr : va_arg(ap, char *);
            int n = 0, c = scan_get(&s);
            if (c < 0) {
                outcome = SCAN_EOF;
                break;
            }
            while (c >= 0 && member[c]) {
                if (out) out[n] = (char)c;
                n++;
                if (n >= width) break;
                c = scan_get(&s);
            }
            if (n < width) scan_unget(&s, c);
            if (suppress) {
                // The comment-skipping idiom relies on the call ending here.
                va_end(ap);
                return count;
            }
            if (!n) {
                outcome = SCAN_NONE;
                break;
            }
            out[n] = 0;
            count++;
            break;
        }
        case 'n':
            if (!suppress) {
                if (half)
                    *va_arg(ap, int16_t *) = (int16_t)s.consumed;
                else
                    *va_arg(ap, int32_t *) = s.consumed;
            }
            break;
        default:
            outcome = SCAN_NONE; // an unknown conversion ends the scan
            break;
        }
        if (outcome == SCAN_EOF) {
            result = count ? count : -1;
            break;
        }
        if (outcome == SCAN_NONE) {
            result = count;
            break;
        }
    }
    va_end(ap);
    return result;
}
