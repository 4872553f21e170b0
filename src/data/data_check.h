// The start-up check for the game data archive, and opening the home directory in the file
// browser.
#pragma once

#include <cstdint>

enum { DATA_CHECK_BYTES = 1048576 }; // the leading bytes of zzzz.saf that are hashed

// Directs the log to home + "lastlog.txt", then looks for a "zzzz.saf" in the data roots whose
// first 1048576 bytes hash to the digest of the data built with this program. 1 on success.
int game_data_check(void);
// The same search against a given SHA-1 digest (20 bytes).
int game_data_check_digest(const uint8_t *expected);
// SHA-1 of the first 1048576 bytes of a file; 1 on success.
int data_check_hash_file(const char *path, uint8_t out[20]);
// The digest built into the program, or null when the build did not supply one.
const uint8_t *data_check_release_digest(void);

// Creates the home directory and opens it with xdg-open. 1 when the browser was started.
int open_home(void);
