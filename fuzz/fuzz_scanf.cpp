// The text scanner over arbitrary input with the formats the game uses.
#include <cstdio>
#include <cstdint>

#include "data/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    static const char *const formats[] = {
        "%d %d",     "[ %f %f %f ]",    " %1[#]%*[^\n]", "%1023s",   "%i%n",    "%lf %Lf",
        "%hd %x %o", "%3c%1000[^]a-z]", "%*d %80s %15s", "%5f%2d%n", "name %d", "%100[0-9]%*[ ] %%",
    };
    const char *fmt = formats[data[0] % (sizeof formats / sizeof formats[0])];
    FILE *fp = fmemopen((void *)(data + 1), size - 1 ? size - 1 : 1, "rb");
    if (!fp) return 0;
    data_file *f = data_open_stream(fp, 0, (int32_t)(size - 1), 0, 0);
    if (!f) return 0;
    static char a[1024], b[1024];
    int i1 = 0, i2 = 0, n = 0;
    float v[3];
    double d = 0;
    long double ld = 0;
    int16_t h = 0;
    for (int round = 0; round < 64; round++) {
        int before = (int)f->position;
        int r;
        switch (data[0] % 12) {
        case 0:
            r = data_scanf(f, fmt, &i1, &i2);
            break;
        case 1:
            r = data_scanf(f, fmt, &v[0], &v[1], &v[2]);
            break;
        case 2:
            r = data_scanf(f, fmt, a);
            break;
        case 3:
            r = data_scanf(f, fmt, a);
            break;
        case 4:
            r = data_scanf(f, fmt, &i1, &n);
            break;
        case 5:
            r = data_scanf(f, fmt, &d, &ld);
            break;
        case 6:
            r = data_scanf(f, fmt, &h, &i1, &i2);
            break;
        case 7:
            r = data_scanf(f, fmt, a, b);
            break;
        case 8:
            r = data_scanf(f, fmt, a, b);
            break;
        case 9:
            r = data_scanf(f, fmt, &v[0], &i1, &n);
            break;
        case 10:
            r = data_scanf(f, fmt, &i1);
            break;
        default:
            r = data_scanf(f, fmt, a);
            break;
        }
        if (r <= 0 && (int)f->position == before) data_getc(f); // make progress past junk
        if (data_peek(f) < 0) break;
    }
    data_close(f);
    return 0;
}
