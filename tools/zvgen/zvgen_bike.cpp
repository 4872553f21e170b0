// The seven shape files every bike uses, written from the stock shape table so that the files
// and the fingerprint the game compares them with always agree.
#include <cstdio>

#include "bike/bike_shape.h"
#include "zvgen.h"

int zvgen_bike(void) {
    char buf[4096];
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        size_t n = bike_shape_stock_text(i, buf, sizeof buf);
        if (n >= sizeof buf) return 0;
        const char *name = bike_shape_stock_name(i);
        if (name[0] == '@') name++; // data-root names are stored without the '@'
        if (!zvgen_write_file(name, buf, n)) return 0;
    }
    return 1;
}
