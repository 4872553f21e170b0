// Track scripts: the script a track ships runs at load and on every tic, and takes the script
// messages of demos and of the race server.
#pragma once

// Sets the loader's, the race tic's and the demo player's script hooks.
void script_install(void);
