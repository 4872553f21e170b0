// Keeps the last few normal recordings as default00 (newest) onward.
#include <cstdio>

#include "demo/demo.h"

void demo_backups_rotate(int b, int (*rename_fn)(const char *from, const char *to)) {
    if (b <= 0 || !rename_fn) return;
    if (b > 100) b = 100;
    char from[64], to[64];
    for (int n = b - 2; n >= 0; n--) {
        snprintf(from, sizeof from, "@demos/default%02d.zvdemo", n);
        snprintf(to, sizeof to, "@demos/default%02d.zvdemo", n + 1);
        rename_fn(from, to);
    }
    rename_fn("@demos/default.zvdemo", "@demos/default00.zvdemo");
}
