// Entry points from the platform window. Kept apart so that programs which fill the table some
// other way (tests with a recording GL) do not pull in a window back end.
#include "platform/platform.h"
#include "render/zvgl.h"

void *zvgl_platform_loader(void *user, const char *name) {
    return platform_gl_proc((platform_window *)user, name);
}
