// Debug labels: short texts pinned to world positions and drawn in the 3D view, so a developer
// can see where along the track something happened (the tire model leaves them while logging).
#pragma once

enum { ZV_LABEL_TEXT = 1024, ZV_LABEL_MAX = 65536 };

enum { ZV_LOG_TIRES = 1 }; // logging flag: the tire model places labels

struct zv_label {
    float position[3];
    char *text; // at most ZV_LABEL_TEXT - 1 characters
};

struct zv_label_state {
    zv_label *items;
    int count, capacity;
    int flags;     // logging flags (ZV_LOG_*)
    float spacing; // feet of travel between two labels of one logger; 10 unless set
};

extern zv_label_state zv_labels;

// Adds a label (text cut to 1023 characters); 0 when the list is full, the position not finite or
// memory ran out.
int zv_label_add(const float position[3], const char *text);
// Removes every label and frees the list.
void zv_label_clear(void);
