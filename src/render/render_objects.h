// Drawing the track objects: statues with their models after the riders, billboards (trees,
// spectators, flaggers, roost particles) sorted back to front, and the flaggers' pictures
// chosen from the race state each frame.
#pragma once

struct frame_camera;

// Updates the flaggers and the camera-facing statues, then draws the statues (lit models).
void objects_draw_statues(const frame_camera *camera);
// The billboard pass: every billboard with a texture, farthest first.
void objects_draw_billboards(void);
// Billboards the last pass drew (render statistics).
extern int objects_billboards_drawn;
// Installs the billboard pass into the frame.
void objects_draw_install(void);
