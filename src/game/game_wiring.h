// The game's drawing side wired into the program core (see game_wiring.cpp).
#pragma once

// Installs every drawing, menu and HUD entry in the core's and the simulation's hook tables.
void game_install_drawing_hooks(void);
