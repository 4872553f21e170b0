// The track editor: a view of its own in the Tab cycle (with --editor) that takes the keys first.
#pragma once

// 1 when this build carries the editor; the program leaves the editor out of the Tab cycle
// otherwise.
int editor_available(void);
// Sets the program's editor hooks (keys, per-tic step).
void editor_install(void);
