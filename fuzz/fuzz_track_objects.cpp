// The track object files over arbitrary text: billboards, statues, decals, flaggers and cameras
// (downloaded tracks carry them), then the object grid and a save of what was read.
#include <cstdint>
#include <cstring>
#include <string>

#include "base/zv_alloc.h"
#include "track/track_flaggers.h"
#include "track/track_objects.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    int mode = data[0] % 5, checkpoints = data[1];
    std::string text((const char *)data + 2, size - 2);
    objects_free();
    switch (mode) {
    case 0:
        billboards_parse(text.c_str());
        zv_free(billboards_format());
        break;
    case 1:
        statues_parse(text.c_str());
        objects_grid_rebuild();
        zv_free(statues_format());
        break;
    case 2:
        decals_parse(text.c_str());
        break;
    case 3:
        flaggers_parse(text.c_str(), checkpoints);
        break;
    default:
        cameras_parse(text.c_str());
        for (int i = 0; i < OBJECTS_CAMERA_GATES; i++)
            camera_for_checkpoint(i);
        break;
    }
    objects_free();
    return 0;
}
