// Points series: reading series and standings files, storing an event's result, the rounds'
// overall places, the next event's lineup, and the texts of the standings table.
#include "race/race_series.h"

#include <cstdio>
#include <cstring>

#include "base/zv_alloc.h"
#include "data/data_file.h"
#include "platform/platform.h"
#include "race/race.h"
#include "track/track_list.h"

race_series_state race_series_list = {nullptr, 0, -1, -1, -1};

namespace {

// A name: text in double quotes (up to 1023 characters) or, failing that, one word.
int read_name(data_file *f, char *out) {
    out[0] = 0;
    data_scanf(f, " ");
    if (data_peek(f) == '"') {
        data_getc(f);
        if (data_peek(f) != '"' && data_scanf(f, "%1023[^\"]", out) != 1) return 0;
        return data_getc(f) == '"'; // a longer name has no quote here and fails
    }
    return data_scanf(f, "%1023s", out) == 1;
}

int read_int(data_file *f, int *v, int lo, int hi) {
    return data_scanf(f, "%d", v) == 1 && *v >= lo && *v <= hi;
}

int read_points(data_file *f, int *table) {
    memset(table, 0, sizeof(int) * RACE_SERIES_RIDERS);
    for (int i = 0; i < RACE_SERIES_POINTS; i++)
        if (!read_int(f, &table[i], 0, RACE_SERIES_POINT_MAX)) return 0;
    return 1;
}

int read_event(data_file *f, race_series_event *e, int riders) {
    char track[RACE_SERIES_TEXT];
    if (!read_name(f, e->name) || !read_name(f, track)) return 0;
    e->track = track_list_find(track);
    if (e->track < 0) return 0;
    if (!read_int(f, &e->minutes, 0, RACE_SERIES_MINUTES) ||
        !read_int(f, &e->laps, 0, RACE_SERIES_LAPS))
        return 0;
    if (!read_points(f, e->race_points) || !read_points(f, e->round_points)) return 0;
    for (int r = 0; r < RACE_SERIES_RIDERS; r++) {
        e->places[r] = riders;
        e->overall[r] = riders;
    }
    return 1;
}

// Completed events from the standings file: R + 1 places each, line breaks not counting. An
// event read part way is not completed, and reading stops there. A place outside 1..R + 1
// counts as no place.
void read_standings(race_series *s) {
    s->completed = 0;
    data_file *f = data_open(s->standings, "rb");
    if (!f) return;
    int places[RACE_SERIES_RIDERS];
    for (int e = 0; e < s->event_count; e++) {
        int r = 0;
        for (; r <= s->riders; r++) {
            int v;
            if (data_scanf(f, "%d", &v) != 1) break;
            places[r] = v >= 1 && v <= s->riders + 1 ? v - 1 : s->riders;
        }
        if (r <= s->riders) break;
        memcpy(s->events[e].places, places, sizeof(int) * (size_t)(s->riders + 1));
        s->completed = e + 1;
    }
    data_close(f);
}

int ends_round(const race_series_event &e) {
    return e.round_points[0] != 0;
}

int points_at(const int *table, int place) {
    return place >= 0 && place < RACE_SERIES_RIDERS ? table[place] : 0;
}

// Total series points of every rider over the completed rounds.
void totals(const race_series *s, int *total) {
    for (int r = 0; r <= s->riders; r++)
        total[r] = 0;
    for (int e = 0; e < s->completed; e++) {
        const race_series_event &ev = s->events[e];
        if (!ends_round(ev)) continue;
        for (int r = 0; r <= s->riders; r++)
            total[r] += points_at(ev.round_points, ev.overall[r]);
    }
}

} // namespace

int race_series_load(const char *file, race_series *s, int verbose) {
    memset(s, 0, sizeof *s);
    // Both names must fit whole: a cut name would read or write some other file.
    if (strlen(file) + 12 > DATA_PATH_MAX) return 0;
    snprintf(s->standings, sizeof s->standings, "@%s_standings", file);
    char name[DATA_PATH_MAX + 2];
    snprintf(name, sizeof name, "@%s", file);
    data_file *f = data_open(name, "rb");
    if (!f) return 0;
    char skill[RACE_SERIES_TEXT];
    int ok = read_name(f, s->name) && read_int(f, &s->riders, 0, RACE_SERIES_ROBOTS) &&
             data_scanf(f, "%1023s", skill) == 1;
    if (ok) s->skill = strcmp(skill, "Novice") == 0 ? 0 : strcmp(skill, "Amateur") == 0 ? 1 : 2;
    for (int j = 0; ok && j < s->riders; j++)
        ok = read_int(f, &s->robot_numbers[j], 0, RACE_SERIES_NUMBER);
    ok = ok && read_int(f, &s->event_count, 0, RACE_SERIES_EVENTS);
    if (ok && s->event_count > 0)
        s->events =
            (race_series_event *)zv_alloc_zeroed((size_t)s->event_count, sizeof(race_series_event));
    for (int e = 0; ok && e < s->event_count; e++)
        ok = read_event(f, &s->events[e], s->riders);
    data_close(f);
    if (!ok) {
        race_series_free(s);
        return 0;
    }
    if (verbose) {
        platform_log("series %s (%s)\n", file, s->name);
        for (int e = 0; e < s->event_count; e++)
            platform_log("  event %s (%s)\n", track_list.dirs[s->events[e].track],
                         s->events[e].name);
    }
    read_standings(s);
    race_series_compute(s);
    return 1;
}

void race_series_free(race_series *s) {
    zv_free(s->events);
    memset(s, 0, sizeof *s);
}

int race_series_list_build(const char *const *files, int verbose) {
    race_series_list_free();
    int cap = 0;
    for (int i = 0; files && files[i]; i++) {
        size_t len = strlen(files[i]);
        if (len < 7 || strcmp(files[i] + len - 7, ".series") != 0) continue;
        if (race_series_list.count == cap) {
            cap = cap ? cap * 2 : 8;
            race_series_list.list =
                (race_series *)zv_realloc(race_series_list.list, sizeof(race_series) * cap);
        }
        if (race_series_load(files[i], &race_series_list.list[race_series_list.count], verbose))
            race_series_list.count++;
    }
    return race_series_list.count;
}

void race_series_list_free(void) {
    for (int i = 0; i < race_series_list.count; i++)
        race_series_free(&race_series_list.list[i]);
    zv_free(race_series_list.list);
    race_series_list = {nullptr, 0, -1, -1, -1};
}

void race_series_compute(race_series *s) {
    int score[RACE_SERIES_RIDERS] = {};
    int n = s->riders + 1;
    for (int e = 0; e < s->completed; e++) {
        race_series_event &ev = s->events[e];
        for (int r = 0; r < n; r++)
            score[r] += points_at(ev.race_points, ev.places[r]);
        if (!ends_round(ev)) continue;
        int ranked[RACE_SERIES_RIDERS] = {};
        for (int place = 0; place < n; place++) {
            int best = -1;
            for (int r = 0; r < n; r++) {
                if (ranked[r]) continue;
                if (best < 0 || score[r] > score[best] ||
                    (score[r] == score[best] && ev.places[r] < ev.places[best]))
                    best = r;
            }
            ranked[best] = 1;
            ev.overall[best] = place;
        }
        // The next round starts level.
        for (int r = 0; r < n; r++)
            score[r] = -1000000;
    }
}

int race_series_write_standings(const race_series *s) {
    // Written beside and renamed over, so a failed write keeps the old standings.
    char temp[sizeof s->standings + 8];
    snprintf(temp, sizeof temp, "%s.new", s->standings);
    data_file *f = data_open(temp, "wb");
    if (!f) return 0;
    for (int e = 0; e < s->completed; e++) {
        for (int r = 0; r <= s->riders; r++)
            data_printf(f, "%d ", s->events[e].places[r] + 1);
        data_printf(f, "\n");
    }
    if (!data_close(f)) return 0;
    return data_rename(temp, s->standings);
}

void race_series_store(void) {
    race_series_state &l = race_series_list;
    int c = l.current, k = l.current_event;
    l.current = l.current_event = -1;
    if (c < 0 || c >= l.count) return;
    race_series *s = &l.list[c];
    if (k != s->completed || k < 0 || k >= s->event_count) return;
    race_series_event &ev = s->events[k];
    int R = s->riders;
    for (int r = 0; r < RACE_SERIES_RIDERS; r++)
        ev.places[r] = R;
    const race_order_entry *list = race.results_final ? race.results : race.order;
    int count = race.results_final ? race.results_count : race.order_count;
    if (count > RACE_SLOTS) count = RACE_SLOTS;
    char numbers[RACE_SERIES_ROBOTS][16];
    for (int j = 0; j < R; j++)
        snprintf(numbers[j], sizeof numbers[j], "%d", s->robot_numbers[j]);
    int place = 0;
    for (int i = 0; i < count; i++) {
        int slot = list[i].slot;
        if (slot < 0 || slot >= RACE_SLOTS) continue;
        if (race.status[slot] == RACE_LOCAL &&
            (race.results_final || (race.riders[slot].finished && race_cut_penalty(slot) == 0)))
            ev.places[R] = place++;
        char number[16];
        race_rider_number(slot, number, sizeof number);
        for (int j = 0; j < R; j++)
            if (strcmp(numbers[j], number) == 0) {
                ev.places[j] = place++;
                break;
            }
    }
    s->completed = k + 1;
    race_series_compute(s);
    race_series_write_standings(s);
}

int race_series_lineup(const race_series *s, int *lineup) {
    memset(lineup, 0, sizeof(int) * RACE_SLOTS);
    int k = s->completed, R = s->riders;
    if (k < 0 || k >= s->event_count) return 0;
    if (k == 0) {
        for (int j = 0; j < R; j++)
            lineup[j] = RACE_ROBOT_NUMBER + s->robot_numbers[j];
        lineup[R] = RACE_HUMAN;
        return 1;
    }
    // The winner of the last event starts from the best gate: the slots are handed out from the
    // worst place up. A field too big for the 40 gates goes on behind them.
    static const int wide[40] = {10, 9,  11, 8,  12, 7,  13, 6,  14, 5,  15, 4,  16, 3,
                                 17, 2,  18, 1,  19, 0,  20, 21, 22, 23, 24, 25, 26, 27,
                                 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};
    const int *places = s->events[k - 1].places;
    int n = 0;
    for (int i = R; i >= 0; i--)
        for (int r = 0; r <= R; r++) {
            int p = places[r] < R ? places[r] : R;
            if (p != i) continue;
            int slot = R <= 14 ? 6 + 2 * n : n < 40 ? wide[n] : n;
            n++;
            lineup[slot] = r < R ? RACE_ROBOT_NUMBER + s->robot_numbers[r] : RACE_HUMAN;
        }
    return 1;
}

void race_series_reset(race_series *s) {
    s->completed = 0;
    race_series_compute(s);
}

const race_series_event *race_series_current_event(void) {
    const race_series_state &l = race_series_list;
    if (l.current < 0 || l.current >= l.count) return nullptr;
    const race_series &s = l.list[l.current];
    return l.current_event >= 0 && l.current_event < s.event_count ? &s.events[l.current_event]
                                                                   : nullptr;
}

void race_series_title(const race_series *s, char *out, int size) {
    if (s->completed < s->event_count)
        snprintf(out, (size_t)size, "Next Event: %.900s", s->events[s->completed].name);
    else
        snprintf(out, (size_t)size, "%.900s Final Standings", s->name);
}

int race_series_order(const race_series *s, int *rider, int *total) {
    int n = s->riders + 1;
    int sum[RACE_SERIES_RIDERS];
    totals(s, sum);
    int latest = -1;
    for (int e = 0; e < s->completed; e++)
        if (ends_round(s->events[e])) latest = e;
    for (int r = 0; r < n; r++)
        rider[r] = r;
    // Insertion sort: the field is small and the order must be stable.
    for (int i = 1; i < n; i++) {
        int r = rider[i], j = i;
        auto before = [&](int a, int b) {
            if (sum[a] != sum[b]) return sum[a] > sum[b];
            return latest >= 0 && s->events[latest].overall[a] < s->events[latest].overall[b];
        };
        while (j > 0 && before(r, rider[j - 1])) {
            rider[j] = rider[j - 1];
            j--;
        }
        rider[j] = r;
    }
    for (int i = 0; i < n; i++)
        total[i] = sum[rider[i]];
    return n;
}

void race_series_cell(const race_series *s, int end, int r, char *out, int size) {
    out[0] = 0;
    if (end < 0 || end >= s->event_count || r < 0 || r > s->riders) return;
    int first = end;
    while (first > 0 && !ends_round(s->events[first - 1]))
        first--;
    int events = end - first + 1;
    const race_series_event *ev = s->events;
    if (end < s->completed) {
        int pts = points_at(ev[end].round_points, ev[end].overall[r]);
        if (events == 1)
            snprintf(out, (size_t)size, "%d (%d)", pts, ev[end].overall[r] + 1);
        else if (events == 2)
            snprintf(out, (size_t)size, "%d (%d-%d)", pts, ev[first].places[r] + 1,
                     ev[end].places[r] + 1);
        else if (events == 3)
            snprintf(out, (size_t)size, "%d (%d-%d-%d)", pts, ev[first].places[r] + 1,
                     ev[first + 1].places[r] + 1, ev[end].places[r] + 1);
    } else if (events == 2 && s->completed == end) {
        snprintf(out, (size_t)size, "- (%d-)", ev[first].places[r] + 1);
    }
}
