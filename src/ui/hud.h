// The HUD: everything drawn over the race picture apart from the menus. The viewed rider's
// instruments (tachometer, gear, pit board with gaps and the lapping warning, lean band,
// suspension graphs, overview map, start banner), the text column (results table, frame rate,
// race time, speed, drawing statistics, "Dabbing!", message lines), the running-order ticker of
// the track cameras, the name banner of a replayed rider and the name tags over riders.
//
// The figures and texts are worked out by functions that need no GL (the tests read them); the
// drawing functions turn them into shapes and text through the GL layer.
#pragma once

#include "race/race.h"

constexpr int HUD_SAMPLES = 1024;    // suspension history per ring
constexpr int HUD_WARNING_MAX = 984; // the lapping warning stays under this many characters
constexpr int HUD_TEXT_LINES = 64;   // text column lines (results rows not counted)
constexpr int HUD_LINE_SIZE = 256;   // one text line
constexpr int HUD_STATS = 7; // ground, models, billboards, decals, textures, shaders, erosion
constexpr int HUD_LEAN_POINTS = 34;    // pairs of the lean band: int(pi * 31 / pi) + 2 = 33 at most
constexpr int HUD_TICKER_SLOT = 215;   // a ticker slot is 21.5 grid units wide (tenths)
constexpr int HUD_RESULT_ROWS = 160;   // every rider of a race
constexpr int HUD_PENALTY_LINES = 160; // one per penalised rider
constexpr int HUD_TEXT_GRID = 50;      // the text column holds 50 lines
constexpr int HUD_TICKER_GRID = 40;    // the ticker's grid
constexpr int HUD_BANNER_GRID = 30;    // the name banner's grid
constexpr int HUD_PIT_LINES = 5;       // number, lap and place, gap, last, best

// Suspension history of the viewed bike: six rings and one write index (HUD_SAMPLES = empty).
struct hud_suspension {
    float fork_position[HUD_SAMPLES], fork_speed[HUD_SAMPLES], fork_share[HUD_SAMPLES];
    float shock_position[HUD_SAMPLES], shock_speed[HUD_SAMPLES], shock_share[HUD_SAMPLES];
    int index;
};

struct hud_state {
    int graph;                // suspension graphs shown ("togglegraph")
    int stats_max[HUD_STATS]; // highest drawing statistics since "renderstats"
    int stats_now[HUD_STATS]; // the last drawn frame's
    unsigned map_texture;     // the track's overview map; 0 when it has none
    int map_load_count;       // the track load the map belongs to
    hud_suspension suspension;
};

extern hud_state hud;

// ---- race figures ------------------------------------------------------------------------------

// Gap in tics between two entries of a list of `count` entries (the running order or the
// results): positive when b is behind a. 0 with fewer than two riders.
int hud_gap(const race_order_entry *a, const race_order_entry *b, int count);
// Best lap number of a rider: 0 below two completed laps; lap 1 never counts.
int hud_best_lap_number(int slot);
// Laps counted from a gate progress: 0 without normal laps or before the first lap's end.
int hud_laps_from_progress(int progress);
// "m:ss.t" and "m:ss.mmm" of whole milliseconds.
void hud_time_tenths(char *out, int size, long long ms);
void hud_time_millis(char *out, int size, long long ms);
// Index of a slot in the running order; the order's count when it is not there.
int hud_order_index(int slot);
// The frame rate line's figure: whole part of 1 / the largest advance, 0 when that is 0.
int hud_fps(double largest_advance);

// The number and display name of a rider slot ("" when it has none).
void hud_rider_number(int slot, char *out, int size);
const char *hud_rider_name(int slot);

// The pit board's lines for the viewed slot: number, "L%d P%d" (or "P%d"), the gap, then the
// last and best lap lines (empty when not shown). Returns the number of lines (always 5).
int hud_pit_board_lines(int slot, char lines[HUD_PIT_LINES][64]);
// The lapping warning text for the viewed slot; returns how many riders it names (0: none).
int hud_lapping_text(int slot, char *out, int size);
// The start banner's lines: the track's name and the race length, or a points-series
// event's name alone. Returns 2.
int hud_start_banner_lines(char first[128], char second[64]);
// The start banner's alpha at race time t seconds (0 once it has gone).
float hud_start_banner_alpha(double t);

// The text column's lines for the viewed slot (results table aside), in order. Resets the
// frame-rate extremes as drawing does. Returns the count.
int hud_text_lines(int slot, char lines[HUD_TEXT_LINES][HUD_LINE_SIZE]);

// One row of the results table.
struct hud_result_row {
    int slot, viewed;
    char position[8], number[8], lap[16], gap[16], best[24], best_lap[16];
};
struct hud_results {
    int shown; // 0: no table
    int final;
    int row_count;
    hud_result_row rows[HUD_RESULT_ROWS];
    char total[64];
    int penalty_count;
    char penalties[HUD_PENALTY_LINES][128];
};
void hud_results_table(int viewed_slot, hud_results *out);

// ---- instruments -------------------------------------------------------------------------------

// Clockwise needle turn from straight up, degrees: 0 rpm at -135, 8000 at 0, 16000 at +135.
float hud_needle_degrees(double rpm);
// Shifter picture cell of an engine gear (-1 neutral, 0 first ...): texture rectangle, row 0 at
// the top of the picture.
void hud_gear_cell(int gear, float rect[4]);
// Lean angle of a bike from the ground normal given in the frame body's axes (radians, positive
// leaning to its left).
float hud_lean_angle(const float normal_in_body[3]);
// The lean band's strip: pairs of (inner, outer) unit-circle points for lean a. Returns pairs.
int hud_lean_strip(float a, float points[HUD_LEAN_POINTS][2][2]);
// A world point's place on the map square, 0..1 from the top-left; 0 without a terrain extent.
int hud_map_place(float x, float z, float extent, float *u, float *v);

// ---- suspension history ------------------------------------------------------------------------

// Adds one sample of the slot's bike (graph on, bike present); the end of every race tic.
void hud_suspension_sample(int slot);
// Low-speed share of the damping at speed v: Cl / (|v| Ch + Cl), 0 for 0 / 0.
float hud_damping_share(double v, double high, double low);

// ---- drawing (GL) ------------------------------------------------------------------------------

// The core's overlay entry: instruments, text column and name banner by view mode.
void hud_draw_overlays(int view_mode);
void hud_draw_instruments(int slot, int width, int height);
// first_line: lines left free at the top (the ticker's strip over the track cameras).
void hud_draw_text(int slot, int width, int height, int first_line);
void hud_draw_name_banner(int slot, int width, int height);
void hud_draw_ticker(int width, int height);
// The frame's name tag pass: the camera's model-view is current.
void hud_draw_name_tags(void);
// Track load step: the track's "map.png", when it has one.
void hud_map_load(const char *dir);
