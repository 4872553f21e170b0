// The engine sound model: each firing starts one period of a waveform picked from a sound table
// by rpm and load, and the sum passes through an exhaust pipe comb of up to sixteen taps into a
// 32768-sample ring streamed to the bike's mixer voice. Parameters come from ".braap" files.
#pragma once

#include <cstdint>

enum {
    SOUND_RING = 32768,
    SOUND_RING_MASK = SOUND_RING - 1,
    SOUND_AHEAD = 4410,    // the writer keeps 0.1 s ahead of the stream's play position
    SOUND_MAX_FILL = 8820, // samples per fill at most
    SOUND_TAPS = 16,
    SOUND_LIST_MAX = 100, // bias and scale values
    SOUND_ENGINE_VOICES = 4,
    SOUND_TABLE_MAX_CELLS = 4096,
    SOUND_REMAP_MAX = 4096,
    SOUND_WAVE_MAX = 1 << 22, // samples
};

// The stream's sample rate.
constexpr int SOUND_ENGINE_RATE = 44100;

struct sound_wave {
    char name[256];
    float *samples;
    int length;
};

struct sound_cell {
    const sound_wave *wave;
    int periods;
    int *remap; // period indices, already modulo periods
    int remap_count;
};

struct sound_table {
    char name[256];
    int rows, cols;
    float *rpm, *load;
    sound_cell *cells; // row-major
};

struct sound_engine_voice {
    const float *wave; // null when idle
    int length;
    int64_t pos, inc; // 22.10 fixed point
    float weight;
};

struct sound_engine {
    const sound_table *table;
    float firings_per_rev;
    float low_torque, high_torque;
    float min_rpm;
    int tap_delay[SOUND_TAPS]; // samples back from the write position, 1-32767
    float tap_gain[SOUND_TAPS];
    float bias[SOUND_LIST_MAX], scale[SOUND_LIST_MAX];
    int bias_count, scale_count;
    float ring[SOUND_RING];
    int write;      // next ring position written
    int fresh;      // set at load: the first fill places the writer ahead of the play position
    uint32_t phase; // 24-bit fraction of a firing
    uint32_t firings;
    float freq; // current firing frequency, Hz
    float rpm_prev;
    sound_engine_voice voice[SOUND_ENGINE_VOICES];
};

enum sound_engine_kind { SOUND_FOUR_STROKE, SOUND_TWO_STROKE, SOUND_FIFTY };

// The built-in tables ("default_four_stroke", "default_two_stroke").
const sound_table *sound_builtin_table(int two_stroke);
// Resets e to a built-in model with a cleared ring.
void sound_engine_builtin(sound_engine *e, sound_engine_kind kind);
// The built-in kind of an engine class ("50", "...f", others).
sound_engine_kind sound_engine_class_kind(const char *engine_class);

// Applies the "pipe" values: length, spread, gain and the tap range a-b (as the line reads).
void sound_engine_pipe(sound_engine *e, float length, float spread, float gain, int a, int b);
// Applies definition text (".braap") over the model. Table names are looked up through
// load_table (null: "soundtable" lines are ignored). Returns the lines understood.
using sound_table_source = const sound_table *(const char *name);
int sound_braap_parse(sound_engine *e, const char *text, sound_table_source *load_table);

// Parses sound table text; waves are fetched through load_wave. Null (with the error logged as
// the file's) when it cannot be used. The result is freed with sound_table_free.
using sound_wave_source = const sound_wave *(const char *name);
sound_table *sound_table_parse(const char *name, const char *text, sound_wave_source *load_wave);
void sound_table_free(sound_table *t);
// Converts raw 16-bit little-endian samples; null for fewer than 2 bytes.
sound_wave *sound_wave_from_bytes(const char *name, const unsigned char *bytes, int length);
void sound_wave_free(sound_wave *w);
// The shared caches over the data files: tables and waves by name, loaded once.
const sound_table *sound_table_load(const char *name);
const sound_wave *sound_wave_load(const char *name);
void sound_cache_free(void);

// Load 0-1 of an engine torque between the model's low and high torque.
float sound_engine_load(const sound_engine *e, float torque);
// Synthesises n samples (at most 8820) at rpm r and load, writing the 8-bit stream bytes into
// out (n bytes); the first new sample's ring position is returned.
int sound_engine_synth(sound_engine *e, int n, float rpm, float load, unsigned char *out);
// How many samples the writer needs to stay 0.1 s ahead of the play position.
int sound_engine_needed(sound_engine *e, int play_position);
