// Display-mode choice shared by the back ends.
#include "platform/platform.h"

platform_display_mode platform_choose_fullscreen_mode(const platform_display_mode *modes, int width,
                                                      int height, platform_display_mode desktop) {
    if (desktop.width <= 0 || desktop.height <= 0) desktop = {640, 480, 32};
    if (width <= 0 || height <= 0 || !modes) return desktop;
    const platform_display_mode *best = nullptr;
    for (const platform_display_mode *m = modes; m->width; m++) {
        if (m->width < width || m->height < height) continue;
        if (!best || m->width + m->height < best->width + best->height) best = m;
    }
    return best ? *best : desktop;
}
