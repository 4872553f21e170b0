// The game executable: installs the drawing side's entries in the core's hook table, then runs
// the program core.
#include "core/core_main.h"
#include "game/game_wiring.h"

int main(int argc, char **argv) {
    game_install_drawing_hooks();
    return core_main(argc, argv);
}
