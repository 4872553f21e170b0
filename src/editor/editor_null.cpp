// This build carries no track editor. The program links this layer in its place, so the loop's
// editor hooks are set like every other, and --editor says plainly that there is nothing to open
// instead of adding an empty view to the Tab cycle.
#include "editor/editor.h"

#include "core/core_hooks.h"

namespace {

int editor_key(int) {
    return 0; // every key goes on to the loop
}

void editor_tic(void) {}

} // namespace

int editor_available(void) {
    return 0;
}

void editor_install(void) {
    core_hook.editor_key = editor_key;
    core_hook.editor_tic = editor_tic;
    core_hook.editor_available = editor_available;
}
