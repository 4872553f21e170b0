// The configuration file "@config": every user setting as key=value lines, read once at
// start-up and written once at shutdown. Lines go first to the local rider's setup, then to the
// settings registry, the special keys and the control bindings.
#pragma once

#include "bike/bike_setup.h"
#include "core/core_loop.h"

#include <cstddef>

enum { CORE_CONFIG_LINE = 1024 }; // a line holds at most 1023 characters

// The local rider's setup, kept in the configuration between runs.
extern bike_setup core_config_setup;

// Settings registry and bindings to their defaults, the rider setup reset, and the
// "Compatibility" graphics preset over the item defaults: what a first run writes.
void core_config_defaults(void);
// Applies one line (without or with its line end); 1 when some consumer took its key.
int core_config_line(const char *line);
// Reads a configuration file; 0 when it does not exist or cannot be read (defaults stay).
int core_config_read(const char *name);
// The whole configuration text in its fixed order into buf (always terminated); returns the
// length the text needs.
size_t core_config_text(char *buf, size_t size);
// Writes the configuration to name + ".tmp" and renames it over name, so an interrupted write
// never leaves a truncated file behind; 1 on success.
int core_config_write(const char *name);

// The menu values the main loop mirrors each tic: reversed steering and sticky sit/dab from the
// rider setup, backing-up aborts, terrain sync rate and spy mode from the registry.
void core_config_loop_options(core_loop_options *o);
