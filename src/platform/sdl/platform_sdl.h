// The SDL2 back end's internal pieces: the one window record and the hooks between the window,
// input and audio files of this back end.
#pragma once

#include "platform/platform_input.h"

#include <SDL.h>

struct platform_window {
    char title[256];
    int open;
    SDL_Window *window;
    SDL_GLContext context;
    int requested_width, requested_height;
    int depth;
    int fullscreen_wanted, fullscreen_active;
    int threaded;
    int closing;
    int width, height; // drawable size, updated on resize under the lock
    platform_display_mode fullscreen_mode;
    // Held from frame begin to swap and for size updates. Recursive: without a message thread,
    // window messages (a resize) may be pumped by the drawing thread while it holds the lock.
    std::recursive_mutex lock;
    int busy;
    int gl_major, gl_minor, gl_dialect; // of the context made
    platform_input input;
};

// Milliseconds to add to an SDL event stamp to put it on the platform clock.
long long platform_sdl_stamp_offset(void);
// An SDL event stamp on the platform clock, never later than now.
platform_time platform_sdl_event_time(Uint32 stamp);
// Starts the SDL subsystems the back end needs (refcounted by SDL); 0 on failure.
int platform_sdl_init(Uint32 flags);

// Input (platform_sdl_input.cpp).
// The set-1 scan code (0x100 added for extended keys) for an SDL scancode; 0 when it has none.
int platform_sdl_scan_code(SDL_Scancode sc);
// Roll calls for game controllers, joysticks and the pointer, then the standard aliases.
void platform_sdl_input_open(platform_window *w);
// Turns one SDL event into queued events; returns 1 when it was an input event.
int platform_sdl_input_event(platform_window *w, const SDL_Event *e);

// Audio (platform_sdl_audio.cpp): fragments produced since open, and the mix-ahead in use.
long long platform_sdl_audio_fragments(void);
int platform_sdl_audio_mixahead(void);
