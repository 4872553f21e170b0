// Robot riders: the store of lines learned per track section, their ratings and the choice
// among them by personality, the bookkeeping of robot runs, learning from human riders, and
// the per-robot path state the riding control follows.
#pragma once

#include <cstdint>

enum {
    ROBOT_SLOTS = 45,          // lines per section
    ROBOT_SECTIONS_MAX = 2048, // first lap plus normal lap sections
    ROBOT_SAMPLES_MAX = 16384, // samples of one line (a sample every 32 tics: over an hour)
    ROBOT_CHAIN = 8,           // sections a line is judged over
    ROBOT_MODES = 4,
    ROBOT_UNTIMED = 1000000, // t1/t2 of an empty slot, fastest times before a run
    ROBOT_RUNS_MAX = 65535,
    ROBOT_SUM_MAX = 100000000,
    ROBOT_PICKS = 4,
    ROBOT_PERSONALITIES = 5,
};

struct robot_sample {
    float pos[3];
    float speed; // ft/s; negative when both wheels were in the air
    float roll;
};

struct robot_line {
    robot_sample *samples; // zv_alloc'd; null for an empty slot
    int count;
    int t1, t2;
    int runs, fastest_t1, fastest_t2;
    int sum_t1, sum_t2;
    int failures;
    int sequence;    // 0 for an empty slot
    int last_picked; // tic
};

struct robot_line_store {
    int sections;        // Sf + Sn; 0 when no store
    int first_sections;  // Sf
    int normal_sections; // Sn
    robot_line *lines;   // sections x ROBOT_SLOTS
    int *counts;         // stored lines per section (slots in use are 0..count-1 after a read)
    int *recommended[3]; // sequence number of each section's recommended line per mode 0..2
    int next_sequence;
    int changed;
};

extern robot_line_store robot_lines;

struct robot_personality {
    const char *name;
    int mode_close, mode_behind;
    float threshold; // seconds behind the tracked rider
    float reaction_lo, reaction_hi;
};
extern const robot_personality robot_personalities[ROBOT_PERSONALITIES];

// ---- the store ---------------------------------------------------------------------------------
// Empties the store and sizes it for a track's first-lap and normal-lap section counts.
int robot_lines_reset(int first_sections, int normal_sections);
void robot_lines_free(void);
// Section number s brought into the store (first-lap sections, then the normal lap wrapping).
int robot_section_wrap(int s);
robot_line *robot_line_at(int section, int slot);
// Stores a copy of samples in a slot with fresh statistics and a new sequence number.
int robot_line_set(int section, int slot, const robot_sample *samples, int count, int t1, int t2);
void robot_line_clear(robot_line *l);
// Halves runs and failures while any value exceeds its limit, keeping the averages.
void robot_line_limit(robot_line *l);

// ---- the lines file ----------------------------------------------------------------------------
// Parses "ct03" text. A section count that differs from the store's leaves it empty (0). A bad
// record ends reading and keeps what was read (returns 1 then too); 0 for a wrong header.
int robot_lines_parse(const char *text, int len);
// The file text, zero-terminated, zv_alloc'd; *len receives its length.
char *robot_lines_format(int *len);
// Skill 0..2 names "lines_novice", "lines_amateur", "lines_expert".
const char *robot_lines_file_name(int skill);
// Reads "@" dir "/" file of the skill into the store sized for the loaded gates, then analyzes.
int robot_lines_load(const char *dir, int skill);
// Writes the store to "@" dir "/" file of the skill (the home directory). 1 on success.
int robot_lines_save(const char *dir, int skill);
// "Remembering lines": the lines of the track and skill last loaded are written back when
// learning changed them, and the store is emptied. Track loads and shutdown call it.
void robot_lines_remember(void);

// ---- rating ------------------------------------------------------------------------------------
// Cost of a line in tics for mode 0..3 (lower is better).
double robot_line_cost(const robot_line *l, int mode);
// Whether line b may follow line a.
int robot_lines_chain(const robot_line *a, const robot_line *b);
// Scores of every slot of section s for a mode (0..1; 0 for slots with no chain).
void robot_section_scores(int section, int mode, double scores[ROBOT_SLOTS]);
// Recommended chains of modes 0..2 ("Analyzing lines"). Estimated lap seconds of mode 0 into
// first/normal when not null (0 when no chain closes).
void robot_lines_analyze(double *first_lap, double *normal_lap);

// ---- personalities -----------------------------------------------------------------------------
// Index of a personality name; unknown names log and give "mike" (1).
int robot_personality_find(const char *name);
// Mode of a personality for a gap in seconds behind the tracked rider.
int robot_personality_mode(int personality, double gap_seconds);

// ---- robot paths -------------------------------------------------------------------------------
struct robot_path {
    robot_sample *samples;
    int count, cap;
    int progress;           // index of the current sample
    int picks[ROBOT_PICKS]; // sequence numbers of the lines of the last four sections; 0 none
    int pick_sections[ROBOT_PICKS];
    int sections_entered;
};

void robot_path_clear(robot_path *p);
void robot_path_free(robot_path *p);
// Appends samples; drops the samples more than 30 behind the progress index.
int robot_path_append(robot_path *p, const robot_sample *s, int count);
void robot_path_forget_picks(robot_path *p);
// The picked sequence number for a section, 0 when none.
int robot_path_pick_of(const robot_path *p, int section);
void robot_path_remember(robot_path *p, int section, int sequence);

struct robot_pick_input {
    int section; // section number (unwrapped)
    int mode;    // 0..3
    int tic;
    double race_time; // seconds since the gate drop
    float pos[3];     // the rider's position (used while the path holds under 3 samples)
};
// Picks a line for the section and appends it to the path. Returns the chosen slot or -1.
int robot_pick(robot_path *p, const robot_pick_input *in);

// Run bookkeeping on the line with a sequence number in a section.
robot_line *robot_line_by_sequence(int section, int sequence);
void robot_line_fail(int section, int sequence);
void robot_line_run(int section, int sequence, int t1, int t2);

// ---- learning ----------------------------------------------------------------------------------
enum robot_learn_result {
    ROBOT_LEARN_ADDED,
    ROBOT_LEARN_CANCELED,
    ROBOT_LEARN_DUPLICATE,
    ROBOT_LEARN_TOO_SLOW
};
// Offers a recorded section as a candidate line (steps 2-4 of learning).
robot_learn_result robot_learn_candidate(int section, const robot_sample *samples, int count,
                                         int t1, int t2, int invalid);
// The slot a new line of the section would take (first empty, else the eviction choice).
int robot_learn_slot(int section);
// Expected cost of a line in tics (with the lone-start reduction when reduce is set).
double robot_line_expected(int section, int slot, int reduce);

// The verbose flag of the auto pilot's messages.
extern int robot_verbose;
