#include "base/zv_label.h"

#include "base/zv_alloc.h"

#include <cmath>
#include <cstring>

zv_label_state zv_labels = {nullptr, 0, 0, 0, 10};

int zv_label_add(const float position[3], const char *text) {
    if (!position || !text) return 0;
    for (int c = 0; c < 3; c++)
        if (!std::isfinite(position[c])) return 0;
    if (zv_labels.count >= ZV_LABEL_MAX) return 0;
    if (zv_labels.count == zv_labels.capacity) {
        int cap = zv_labels.capacity ? zv_labels.capacity * 2 : 64;
        void *p = zv_realloc(zv_labels.items, sizeof(zv_label) * (size_t)cap);
        if (!p) return 0;
        zv_labels.items = (zv_label *)p;
        zv_labels.capacity = cap;
    }
    size_t n = strnlen(text, ZV_LABEL_TEXT - 1);
    char *copy = (char *)zv_alloc(n + 1);
    if (!copy) return 0;
    memcpy(copy, text, n);
    copy[n] = 0;
    zv_label &l = zv_labels.items[zv_labels.count++];
    memcpy(l.position, position, sizeof l.position);
    l.text = copy;
    return 1;
}

void zv_label_clear(void) {
    for (int i = 0; i < zv_labels.count; i++)
        zv_free(zv_labels.items[i].text);
    zv_free(zv_labels.items);
    zv_labels.items = nullptr;
    zv_labels.count = zv_labels.capacity = 0;
}
