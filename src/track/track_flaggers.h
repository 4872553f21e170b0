// Flaggers: the starting flagger who turns his board at the mark and walks off, the lap-board
// flagger showing the leader's laps, and ordinary flaggers who wave while a rider is down at
// the checkpoints they watch. All are billboards whose pictures follow the race state.
#pragma once

enum { FLAGGERS_MAX = 4096 };

struct flagger_race_view {
    int tic; // race tic counter
    int gate_drop_tic;
    int time_limit; // tics, 0 laps only
    int laps, lap_total, halfway_lap;
    int leader_progress; // -1 when no running order
    int first, normal;   // first-lap and normal-lap sequence lengths
    const int *sequence; // first lap then normal lap
    int checkpoints;
    // Progress of each rider who is down (fallen) now.
    const int *down_progress;
    int down_count;
};

struct flaggers_state {
    int start_billboard, lap_billboard; // -1 none
    float p1[3], p2[3], walk;           // start flagger path and walk time k (s)
    unsigned start_tex[5], lap_tex[4];
    int count;
    struct ordinary {
        int billboard;
        unsigned tex[2];
        int checkpoint[4];
    } * list;
    int cap;
    unsigned char *flags; // one per checkpoint
    int flag_count;
};
extern flaggers_state flaggers;

// Parses a flaggers file; textures through the track's texture hook.
void flaggers_parse(const char *text, int checkpoints);
void flaggers_load(const char *dir);
void flaggers_free(void);
// Textures chosen from the race state; each billboard changes only when its texture differs.
void flaggers_update(const flagger_race_view *v);
// Which of the five (start) or four (lap) textures the rules pick; exposed for tests.
int flaggers_start_picture(double t, double walk, float *w);
int flaggers_lap_picture(const flagger_race_view *v);
// Lap-sequence position of a rider's progress, -1 without laps.
int flaggers_position_of(int progress, int first, int normal);
