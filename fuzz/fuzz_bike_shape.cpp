// Shape text and rider setup text over arbitrary input.
#include <cstdint>
#include <cstring>
#include <string>

#include "bike/bike_setup.h"
#include "bike/bike_shape.h"
#include "base/zv_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text((const char *)data, size);
    bike_shape s;
    if (bike_shape_parse(text.c_str(), &s)) zv_free(s.spheres);
    static bike_setup setup;
    static int ready;
    if (!ready) {
        bike_setup_init(&setup);
        ready = 1;
    }
    const char *names[] = {text.c_str(), "rider_body-a.png", "wheels-b.png.scram"};
    bike_setup_read_text(&setup, text.c_str(), names, 3);
    char buf[256];
    bike_setup_info_line(&setup, buf, sizeof buf);
    size_t n = bike_setup_write_buffer(&setup, nullptr, 0);
    (void)n;
    return 0;
}
