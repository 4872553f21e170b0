// Demos: the per-slot state history that replayed and remote riders are posed from, the demo
// writer that streams recorded riders' states to a file, and the reader that streams them back.
// Demo files come from other players, so the reader bounds every count, length and index.
#pragma once

#include <cstdint>
#include <cstdio>

enum {
    DEMO_SLOTS = 160,
    DEMO_HISTORY = 128,                                      // entries per slot
    DEMO_STATE = 39,                                         // compact bike state record
    DEMO_ENTRY = 44,                                         // rider index, tic, record
    DEMO_BLOCK_HEAD = 9,                                     // length field, tic, type
    DEMO_BLOCK_MAX = DEMO_SLOTS * DEMO_HISTORY * DEMO_ENTRY, // longest payload ever written
    DEMO_READ_AHEAD = 64,                                    // tics
    DEMO_BLOCKS_PER_TIC = 128,
    DEMO_FILE_MAX = 1 << 28, // larger files are refused rather than loaded
    DEMO_TEXT_MAX = 1023,    // chat and script text shown
    DEMO_EROSION_RATE_MAX = 1024 * 16,
    DEMO_GATE_DROP_DEFAULT = 1792,
};

enum demo_block_type {
    DEMO_STATES = 1,
    DEMO_CHAT = 2,
    DEMO_ERODE = 3,
    DEMO_EROSION = 5,
    DEMO_SCRIPT = 6
};

// ---- state history ----------------------------------------------------------------------------
// Entries of a slot stay in increasing tic order, the newest at the head.
//
// Late states (older than the head, possible online) are put in tic order, the newer entries
// moving up one place; when the ring is full the oldest entry drops out, and a state older
// than every entry of a full ring is dropped. Pending counts the newest entries the writer has
// not yet written; a late state joins them only when at most `pending` entries are newer than
// it (it then lands among or just before the unwritten run, so the file keeps each rider's tics
// increasing). A late state older than an entry already written is shown but never recorded.
struct demo_history_slot {
    int tic[DEMO_HISTORY];
    uint8_t rec[DEMO_HISTORY][DEMO_STATE];
    int head;
    int pending;
};
extern demo_history_slot demo_history[DEMO_SLOTS];

void demo_history_clear(void);
void demo_history_clear_slot(int slot);
// Adds a state; 1 when stored, 0 when dropped (slot out of range, tic already held, too old).
int demo_history_add(int slot, const uint8_t rec[DEMO_STATE], int tic);
// Entries around tic t as ring indices; 0 for an empty history.
int demo_history_around(int slot, int t, int *older, int *newer);
// Newest entry's tic, -1 when none.
int demo_history_newest_tic(int slot);

// Blends two state records field by field at fraction f (1 gives newer exactly; above 1
// extrapolates, clamped to each field's range).
void demo_blend(const uint8_t older[DEMO_STATE], const uint8_t newer[DEMO_STATE], double f,
                uint8_t out[DEMO_STATE]);

// ---- demo riders ------------------------------------------------------------------------------
struct demo_rider {
    char model[64];
    char texture[4][64]; // riding gear, bike graphics, wheel graphics, helmet
    char number[4];
    char name[64];
};

// ---- recording --------------------------------------------------------------------------------
struct demo_recording {
    FILE *fp;
    int prev_len;
    int rider_count;
    int slot_of[DEMO_SLOTS]; // rider index -> slot
    long line1_len;
};
extern demo_recording demo_rec;

// Opens path and writes the header; 0 (nothing recorded) when it cannot be opened.
int demo_record_open(const char *path, const demo_rider *riders, const int *slots, int count,
                     int time_limit, int laps, int gate_drop, const char *track_dir);
// Writes one type-1 block of every recorded rider's pending entries stamped tic; 1 when a
// block was written.
int demo_record_states(int tic);
// Any other block (chat, erosion rate, erosion record, script message).
int demo_record_block(int type, int tic, const void *bytes, int length);
// Rewrites line 1 with the final values and closes.
void demo_record_close(int time_limit, int laps, int gate_drop);
int demo_recording_active(void);

// ---- playback ---------------------------------------------------------------------------------
struct demo_sinks {
    void (*chat)(const char *text);
    void (*erode_rate)(int rate);
    void (*erosion)(const uint8_t *stroke, int length);
    void (*script)(const char *text);
};
extern demo_sinks demo_sink;

struct demo_playback {
    uint8_t *data; // the whole file
    int size;
    int version; // 4, 5 or 6
    int rider_count;
    int time_limit, laps, gate_drop;
    char track_dir[256];
    demo_rider riders[DEMO_SLOTS];
    int slot_of[DEMO_SLOTS]; // rider -> slot, -1 when the rider got no slot
    int first_tic;
    int tic_offset;
    int next_tic;
    int next_off;
    int blocks_start;
    int prev_len;
    int erosion_furthest;
    int ended;      // a bad or short block: reading stops, riders keep their last states
    int missing;    // versions 4 and 5: a record could not be read
    int started;    // versions 4 and 5: first playback tic seen
    int time_trial; // the ghost starts when the first block is read
};
extern demo_playback demo_play;

// Parses a demo held in memory (copied); 1 on success. Failure leaves playback closed.
int demo_play_open_buffer(const uint8_t *bytes, int size);
// Loads a file by file-system path and parses it.
int demo_play_open_path(const char *path);
void demo_play_close(void);
int demo_playing(void);
// Reads ahead up to the tic counter + 64 (version 6) or 8 tics (versions 4, 5); *tic is the
// race's tic counter, which the first rider block of a normal playback moves.
void demo_play_tic(int *tic);
// Walks the block chain back until a block at or before target - 64 (or the first block).
void demo_play_rewind_to(int target);
// Versions 4 and 5: positions the reader at the record of tic target.
void demo_play_seek_records(int target);
// A track directory from a demo header is only ever looked up in the track list; this refuses
// names that could mean something else (absolute, home-relative, parent, control characters).
int demo_track_name_ok(const char *name);
// Bytes per rider per tic in versions 4 and 5.
int demo_record_size(int version);

// ---- summary ------------------------------------------------------------------------------------
struct demo_summary_rider {
    int states;
    int first_tic, last_tic; // as recorded
};
struct demo_summary {
    int version, riders, time_limit, laps, gate_drop;
    int blocks, chat, erosion, script;
    int bad; // the block chain ends in a damaged length
    demo_summary_rider rider[DEMO_SLOTS];
};
// Summarises the demo open for playback without moving its cursor; 0 when none is open.
int demo_summarize(demo_summary *out);
// One header line and a line per rider (number, name, model, states, first and last second).
int demo_summary_text(const demo_summary *s, char *buf, int size);

// ---- backups and names ------------------------------------------------------------------------
// Moves default%02d along and default to default00 before a recording; b = configured backups.
// rename_fn returns 1 on success; names are "@demos/..." data names.
void demo_backups_rotate(int b, int (*rename_fn)(const char *from, const char *to));
