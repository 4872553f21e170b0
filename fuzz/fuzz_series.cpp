// A downloaded points series and its standings file ("@@@" between the two), loaded as the game
// loads them; the table texts and the next lineup are built from whatever was read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/data_file.h"
#include "data/data_index.h"
#include "race/race.h"
#include "race/race_series.h"
#include "track/track_list.h"

static void put(const std::string &path, const uint8_t *data, size_t size) {
    if (FILE *f = fopen(path.c_str(), "wb")) {
        fwrite(data, 1, size, f);
        fclose(f);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static std::string dir;
    static char track[] = "tracks/t";
    static char *dirs[1] = {track};
    if (dir.empty()) {
        char tmpl[] = "/tmp/zv_fuzz_series_XXXXXX";
        if (!mkdtemp(tmpl)) abort();
        setenv("XDG_DATA_HOME", tmpl, 1);
        dir = std::string(tmpl) + "/Zelvo/";
        data_make_dirs(dir.c_str());
        track_list = {1, 1, dirs, dirs};
    }
    const uint8_t *cut = (const uint8_t *)memmem(data, size, "@@@", 3);
    size_t head = cut ? (size_t)(cut - data) : size;
    put(dir + "f.series", data, head);
    put(dir + "f.series_standings", cut ? cut + 3 : data, cut ? size - head - 3 : 0);
    race_series s;
    if (!race_series_load("f.series", &s, 0)) return 0;
    if (s.riders < 0 || s.riders > RACE_SERIES_ROBOTS || s.completed < 0 ||
        s.completed > s.event_count)
        __builtin_trap();
    char text[1000];
    race_series_title(&s, text, sizeof text);
    int rider[RACE_SERIES_RIDERS], total[RACE_SERIES_RIDERS], lineup[RACE_SLOTS];
    race_series_order(&s, rider, total);
    for (int e = 0; e < s.event_count; e++)
        for (int r = 0; r <= s.riders; r++)
            race_series_cell(&s, e, r, text, sizeof text);
    if (race_series_lineup(&s, lineup)) {
        int riders = 0;
        for (int i = 0; i < RACE_SLOTS; i++)
            riders += lineup[i] != 0;
        if (riders != s.riders + 1) __builtin_trap(); // every series rider has a gate
    }
    race_series_free(&s);
    return 0;
}
