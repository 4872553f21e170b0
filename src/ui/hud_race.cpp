// The HUD's race figures and texts: gaps, laps, times, the pit board, the lapping warning, the
// start banner, the text column and the results table. No GL here.
#include "ui/hud.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/zv_message.h"
#include "bike/bike.h"
#include "bike/bike_input_ride.h"
#include "core/core_loop.h"
#include "core/core_options.h"
#include "demo/demo.h"
#include "net/net_client.h"
#include "race/race_robots.h"
#include "race/race_series.h"
#include "track/track_erosion.h"
#include "track/track_gates.h"
#include "track/track_load.h"

hud_state hud = {.graph = 0,
                 .stats_max = {},
                 .stats_now = {},
                 .map_texture = 0,
                 .map_load_count = -1,
                 .suspension = {.fork_position = {},
                                .fork_speed = {},
                                .fork_share = {},
                                .shock_position = {},
                                .shock_speed = {},
                                .shock_share = {},
                                .index = HUD_SAMPLES}};

namespace {

const double TIC = CORE_TIC_LENGTH;

long long tics_ms(long long tics) {
    return tics * 1000 / CORE_TICS_PER_SECOND;
}

int valid_slot(int slot) {
    return slot >= 0 && slot < RACE_SLOTS;
}

// A replayed rider's line of the demo being played; null when none.
const demo_rider *demo_rider_of(int slot) {
    if (!race.demo_playback) return nullptr;
    int n = demo_play.rider_count < DEMO_SLOTS ? demo_play.rider_count : DEMO_SLOTS;
    for (int i = 0; i < n; i++)
        if (demo_play.slot_of[i] == slot) return &demo_play.riders[i];
    return nullptr;
}

int robot_of(int slot) {
    int r = valid_slot(slot) ? race.robot_of[slot] : -1;
    return r >= 0 && r < RACE_ROBOT_COUNT ? r : -1;
}

void append(char *out, int size, const char *text) {
    size_t n = strlen(out);
    if (n + 1 < (size_t)size) snprintf(out + n, (size_t)size - n, "%s", text);
}

} // namespace

int hud_gap(const race_order_entry *a, const race_order_entry *b, int count) {
    if (count < 2 || !a || !b) return 0;
    int ta, tb;
    if (a->progress == b->progress) {
        ta = a->tic;
        tb = b->tic;
    } else {
        int k = (a->progress < b->progress ? a->progress : b->progress) - 1;
        ta = race_pass_tic(a->slot, k);
        tb = race_pass_tic(b->slot, k);
    }
    return ta > 0 && tb > 0 ? tb - ta : 0;
}

int hud_best_lap_number(int slot) {
    int c = race_laps_completed(slot);
    if (c < 2) return 0;
    int b = 2;
    for (int j = 3; j <= c; j++) {
        int tb = race_lap_tics(slot, b), tj = race_lap_tics(slot, j);
        if (tb == 0 || (tj > 0 && tj < tb)) b = j;
    }
    return b;
}

int hud_laps_from_progress(int progress) {
    int f = gates_first(), n = gates_normal();
    if (n <= 0 || progress < f) return 0;
    return (progress - f) / n + 1;
}

void hud_time_tenths(char *out, int size, long long ms) {
    if (ms < 0) ms = 0;
    long long m = ms / 60000, s = ms / 1000 - 60 * m, t = (ms % 1000) / 100;
    snprintf(out, (size_t)size, "%lld:%02lld.%lld", m, s, t);
}

void hud_time_millis(char *out, int size, long long ms) {
    if (ms < 0) ms = 0;
    long long m = ms / 60000, s = ms / 1000 - 60 * m;
    snprintf(out, (size_t)size, "%lld:%02lld.%03lld", m, s, ms % 1000);
}

int hud_order_index(int slot) {
    int n = race.order_count < RACE_SLOTS ? race.order_count : RACE_SLOTS;
    if (n < 0) n = 0;
    for (int i = 0; i < n; i++)
        if (race.order[i].slot == slot) return i;
    return n;
}

int hud_fps(double largest) {
    if (!(largest > 0)) return 0;
    double f = 1 / largest;
    return f < 1e9 ? (int)f : 1000000000;
}

void hud_rider_number(int slot, char *out, int size) {
    race_rider_number(slot, out, size);
}

const char *hud_rider_name(int slot) {
    int r = robot_of(slot);
    if (r >= 0) return race_robot_roster[r].name ? race_robot_roster[r].name : "";
    if (const demo_rider *d = demo_rider_of(slot)) return d->name;
    if (valid_slot(slot) && slot == race.local_slot) return race_player_name;
    return "";
}

int hud_pit_board_lines(int slot, char lines[HUD_PIT_LINES][64]) {
    for (int i = 0; i < HUD_PIT_LINES; i++)
        lines[i][0] = 0;
    int count = race.order_count < RACE_SLOTS ? race.order_count : RACE_SLOTS;
    int i = hud_order_index(slot);
    hud_rider_number(slot, lines[0], 64);
    if (race.time_trial)
        snprintf(lines[1], 64, "P%d", i + 1);
    else
        snprintf(lines[1], 64, "L%d P%d", race_laps_completed(slot) + 1, i + 1);
    // The leader sees his margin over the second, everyone else his deficit to the one ahead.
    // A rider missing from the order has no neighbours to compare with.
    int gap = 0;
    if (i < count && count >= 2)
        gap = i == 0 ? hud_gap(&race.order[0], &race.order[1], count)
                     : hud_gap(&race.order[i], &race.order[i - 1], count);
    snprintf(lines[2], 64, "%+.1f ", gap * TIC);
    long long last = 0, best = 0;
    if (race.time_trial) {
        last = tics_ms(race.last_lap);
        best = tics_ms(race.best_lap);
    } else {
        int c = race_laps_completed(slot);
        if (c >= 2) last = tics_ms(race_lap_tics(slot, c));
        int b = hud_best_lap_number(slot);
        if (b > 0) best = tics_ms(race_lap_tics(slot, b));
    }
    char t[32];
    if (last > 0) {
        hud_time_tenths(t, sizeof t, last);
        snprintf(lines[3], 64, "Last - %s ", t);
    }
    if (best > 0) {
        hud_time_tenths(t, sizeof t, best);
        snprintf(lines[4], 64, "Best - %s", t);
    }
    return HUD_PIT_LINES;
}

int hud_lapping_text(int slot, char *out, int size) {
    if (size > 0) out[0] = 0;
    int count = race.order_count < RACE_SLOTS ? race.order_count : RACE_SLOTS;
    int i = hud_order_index(slot);
    int n = gates_normal();
    if (count < 2 || i == 0 || i >= count || n <= 0 || size <= 0) return 0;
    int p = race.order[i].progress, w = race.order[i].tic;
    if (p < gates_first()) return 0;
    int added = 0;
    for (int j = 0; j < i; j++) {
        int q = race.order[j].progress, v = race.order[j].tic;
        if (q <= p) continue;
        // The latest position the viewed rider passed at the same place of the lap as the other
        // rider's last one.
        long long k = (long long)q - 1 - (long long)n * (((q - p - 1) / n) + 1);
        if (k < 0 || k > RACE_PASS_MAX) continue;
        int u = race_pass_tic(slot, (int)k);
        if (u < 0 || u > v) continue;
        double behind = (v - u) * TIC;
        if ((w - u) * TIC > 15 || !(behind > 0) || behind > 3) continue;
        char number[16], part[48];
        hud_rider_number(race.order[j].slot, number, sizeof number);
        snprintf(part, sizeof part, " %.5s (%.1f) ", number, behind);
        if (strlen(out) + strlen(part) >= (size_t)(size < HUD_WARNING_MAX ? size : HUD_WARNING_MAX))
            break;
        append(out, size, part);
        added++;
    }
    return added;
}

int hud_start_banner_lines(char first[128], char second[64]) {
    // A points-series event is announced by its own name.
    if (const race_series_event *e = race_series_current_event()) {
        snprintf(first, 128, "%.127s", e->name);
        second[0] = 0;
        return 2;
    }
    snprintf(first, 128, "%s", track_loaded.long_name ? track_loaded.long_name : "");
    race_length_text(second, 64);
    return 2;
}

float hud_start_banner_alpha(double t) {
    if (!(t < 3)) return 0;
    double a = 3 - t;
    return (float)(a < 0 ? 0 : a > 1 ? 1 : a);
}

int hud_text_lines(int slot, char lines[HUD_TEXT_LINES][HUD_LINE_SIZE]) {
    int n = 0;
    auto line = [&](void) -> char * { return n < HUD_TEXT_LINES ? lines[n++] : nullptr; };
    if (core_options.draw_fps)
        if (char *l = line())
            snprintf(l, HUD_LINE_SIZE, "FPS - %d", hud_fps(core_loop.max_advance));
    core_loop.min_advance = 1;
    core_loop.max_advance = 0;
    if (core_options.draw_time) {
        int t = race.tic - race.gate_drop_tic;
        char text[32];
        hud_time_tenths(text, sizeof text, tics_ms(t > 0 ? t : 0));
        if (char *l = line()) snprintf(l, HUD_LINE_SIZE, "Time - %s ", text);
    }
    // Online: our own slot's delay as the server reports it, and how far the server's clock is
    // ahead of ours.
    if (core_options.draw_ping && net_connected() && net_client.slot >= 0 &&
        net_client.slot < NET_SLOTS)
        if (char *l = line())
            snprintf(l, HUD_LINE_SIZE, "Ping - %dms (%dms offset)",
                     (int)tics_ms(net_client.slot_lag[net_client.slot]),
                     (int)tics_ms(net_client.estimate - race.tic));
    const bike_record *b = slot >= 0 && slot < BIKE_SLOTS && bike_world.bikes[slot].present &&
                                   bike_world.bikes[slot].body[BIKE_FRAME]
                               ? &bike_world.bikes[slot]
                               : nullptr;
    if (core_options.draw_speed && b) {
        const dReal *v = dBodyGetLinearVel(b->body[BIKE_FRAME]);
        double s = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * 0.6818182;
        if (char *l = line())
            snprintf(l, HUD_LINE_SIZE, "Speed - %.2f", std::isfinite(s) ? s : 0.0);
    }
    if (core_options.draw_render_stats) {
        static const char *const names[HUD_STATS - 1] = {"Ground polygons", "Model polygons",
                                                         "Billboards",      "Decals",
                                                         "Texture Changes", "Shader Changes"};
        for (int k = 0; k < HUD_STATS - 1; k++) {
            if (hud.stats_now[k] > hud.stats_max[k]) hud.stats_max[k] = hud.stats_now[k];
            if (char *l = line())
                snprintf(l, HUD_LINE_SIZE, "%s - %d max=%d", names[k], hud.stats_now[k],
                         hud.stats_max[k]);
        }
        if (char *l = line()) snprintf(l, HUD_LINE_SIZE, "Erode buffered - %d", erosion.count);
    }
    if (core_loop.opt.sticky_dab && bike_input_local_sticky())
        if (char *l = line()) snprintf(l, HUD_LINE_SIZE, "Dabbing!");
    int shown = zv_messages.showing;
    if (shown < 0) shown = 0;
    if (shown > ZV_MESSAGE_RING) shown = ZV_MESSAGE_RING;
    for (int k = shown; k >= 1; k--) {
        int at = ((zv_messages.next - k) % ZV_MESSAGE_RING + ZV_MESSAGE_RING) % ZV_MESSAGE_RING;
        if (char *l = line()) snprintf(l, HUD_LINE_SIZE, "%s", zv_messages.lines[at]);
    }
    return n;
}

void hud_results_table(int viewed, hud_results *out) {
    out->shown = 0;
    out->row_count = 0;
    out->penalty_count = 0;
    out->total[0] = 0;
    out->final = race.results_final != 0;
    const race_order_entry *list = out->final ? race.results : race.order;
    int count = out->final ? race.results_count : race.order_count;
    if (count > RACE_SLOTS) count = RACE_SLOTS;
    if (count < 1 || !valid_slot(list[0].slot) || !race_finished(list[0].slot)) return;
    out->shown = 1;
    for (int i = 0; i < count; i++) {
        const race_order_entry &e = list[i];
        if (!out->final && !race_finished(e.slot)) continue;
        hud_result_row &r = out->rows[out->row_count++];
        r.slot = e.slot;
        r.viewed = e.slot == viewed;
        snprintf(r.position, sizeof r.position, "%d", i + 1);
        char number[16];
        hud_rider_number(e.slot, number, sizeof number);
        snprintf(r.number, sizeof r.number, "%3.3s", number);
        snprintf(r.lap, sizeof r.lap, "L%d", hud_laps_from_progress(e.progress));
        // Time lost to the rider above; the first row compares with the second.
        int g = i == 0 ? (count > 1 ? -hud_gap(&list[0], &list[1], count) : 0)
                       : -hud_gap(&list[i], &list[i - 1], count);
        snprintf(r.gap, sizeof r.gap, "%7.3f", g > 0 ? g * TIC : 0.0);
        int b = hud_best_lap_number(e.slot);
        hud_time_millis(r.best, sizeof r.best, b > 0 ? tics_ms(race_lap_tics(e.slot, b)) : 0);
        snprintf(r.best_lap, sizeof r.best_lap, "(%d)", b);
    }
    if (!out->final) return;
    char t[32];
    hud_time_millis(t, sizeof t, tics_ms((long long)list[0].tic - race.gate_drop_tic));
    snprintf(out->total, sizeof out->total, "Total Race Time: %s", t);
    for (int i = 0; i < count && out->penalty_count < HUD_PENALTY_LINES; i++) {
        const race_order_entry &e = list[i];
        int passed = e.progress >= 1 ? race_pass_tic(e.slot, e.progress - 1) : -1;
        if (passed < 0 || e.tic <= passed) continue;
        char number[16], *l = out->penalties[out->penalty_count++];
        hud_rider_number(e.slot, number, sizeof number);
        snprintf(l, 128, "%3.3s penalized ", number);
        int lost = race_laps_completed(e.slot) - hud_laps_from_progress(e.progress);
        if (lost > 0) {
            char part[32];
            snprintf(part, sizeof part, "%d %s ", lost, lost == 1 ? "lap" : "laps");
            append(l, 128, part);
        }
        char part[64];
        snprintf(part, sizeof part, "%.2f seconds for cutting track", (e.tic - passed) * TIC);
        append(l, 128, part);
    }
}
