// Timing gates of the loaded track: the starting gate slots, the checkpoints riders must cross,
// and the first-lap and normal-lap sequences of checkpoint references. Read at every track load
// from "timing_gates", written back by the editor. Race control applies the lap rules.
#pragma once

#include <cstddef>

enum {
    GATES_SLOTS_MAX = 160,
    GATES_CHECKPOINTS_MAX = 1024,
    GATES_LAP_MAX = 1024,                   // references per sequence
    GATES_SEQUENCE_MAX = 2 * GATES_LAP_MAX, // first lap then normal lap
    GATES_MARK = 100000,                    // a marked reference is checkpoint + this
    GATES_WORD_MAX = 1024,
};

struct gates_slot {
    float pos[3];
    float angle; // -pi..pi
    int object;  // gate object index, -1 when none
    char *model; // zv_alloc'd names of the gate object; null means the default
    char *texture;
    char *shape;
};

struct gates_checkpoint {
    float origin[3];
    float direction[3];
    float length;
    int flag;
};

struct gates_state {
    // What was parsed; kept even when the data fails validation (the editor saves it back).
    int slot_count;
    gates_slot slots[GATES_SLOTS_MAX];
    int checkpoint_count;
    gates_checkpoint checkpoints[GATES_CHECKPOINTS_MAX];
    int first_count, normal_count; // F and N: references in each sequence, marked ones included
    int sequence[GATES_SEQUENCE_MAX];
    int first_length, normal_length; // unmarked references of each sequence
    // 1 when the data passed validation; race control sees laps only then.
    int valid;
};

extern gates_state gates;

// Creates the gate object of a slot (model, texture and shape names, position and angle);
// returns its object index or -1. Installed by the track objects; null means no objects.
extern int (*gates_object_create)(const char *model, const char *texture, const char *shape,
                                  float x, float y, float z, float angle);

// Frees the slot names and empties everything.
void gates_clear(void);
// Parses timing_gates text (len bytes, need not be zero-terminated) into `gates`. Messages go to
// the track log. Returns 1 when the data is valid for racing.
int gates_parse(const char *text, size_t len);
// Reads "@" + dir + "/timing_gates". A missing file leaves a track without timing, silently.
void gates_load(const char *dir);
// The file text gates_save writes, zero-terminated, from zv_alloc; *len receives its length.
char *gates_format(size_t *len);
// Writes the loaded data back to "@" + track directory + "/timing_gates"; 1 on success.
int gates_save(const char *dir);

// Counts race control uses: 0 unless the data is valid.
int gates_checkpoints(void);
int gates_first(void);
int gates_normal(void);
// The checkpoint of sequence entry e (marks removed); -1 when none.
int gates_sequence_checkpoint(int entry);
// The slot angle brought into -pi..pi in single precision.
float gates_wrap_angle(float a);
