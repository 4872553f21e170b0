// Tire steps of a simulated bike that race control runs around the world step.
#pragma once

struct bike_record;

// Pre-step roost: with the rounds a roost density (percent) gives this tic, each wheel's roost
// contact is handed to the roost emitter (queued until it exists: bike_tire_roost_take).
// random picks the extra round. Returns the number of wheels that threw dirt.
int bike_tire_prestep_roost(bike_record *b, double density, unsigned random);
// Erode: both wheels' erosion producers after the world step; finished strokes go to the stroke
// queue (bike_erosion_stroke_take) until the ground deformation consumes them.
void bike_tire_erode_bike(bike_record *b);
// The tire debug display text: "front:\n", the front wheel's readout, "rear:\n", the rear's.
int bike_tire_debug_readout(const bike_record *b, char *buf, int size);
// Tire logging (console "log e"): a debug label with the wheel's readout at each contact that
// lies the label spacing or more from the wheel's previous label. Returns the labels added.
int bike_tire_log_labels(const bike_record *b);
