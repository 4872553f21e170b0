// Body collisions: spheres against spheres (contact joints, penalty forces or a test), tires
// against shapes, shapes against shapes, and the bike-against-object and bike-against-bike
// tests with their consequences (crashes, knock counters, contact tics).
#pragma once

#include <ode/ode.h>

#include "bike/bike.h"

enum {
    BIKE_CONTACT_TEST = -1, // only tests
    BIKE_CONTACT_JOINT = 0, // a soft contact joint in the tic's group
    BIKE_CONTACT_FORCE = 1, // penalty forces added to the bodies
};

// One sphere placed in the world, on a body or static (body 0).
struct bike_world_sphere {
    double pos[3];
    double radius, friction, spring, damping;
    dBodyID body;
};

// What a touching pair made: depth, unit normal from A toward B, contact point, and the
// surface used (spring already reduced for deep overlaps). depth 0 when the centres coincide.
struct bike_contact_result {
    double depth, normal[3], point[3];
    double friction, spring, damping;
};

// The sphere contact rule. Returns 1 when the spheres touch; out (may be null) gets the
// contact when one was made or would be.
int bike_sphere_contact(const bike_world_sphere *a, const bike_world_sphere *b, int mode,
                        bike_contact_result *out);
// CFM and ERP of a soft contact of spring k and damping c over a tic of h seconds. The
// denominator never reaches 0, so a surface with neither spring nor damping stays finite.
void bike_contact_softness(double k, double c, double h, double *cfm, double *erp);

// A shape placed in the world: sphere centres are rot (row-major) x centre + pos. body is the
// body that moves the shape (0: static).
struct bike_placed_shape {
    const bike_shape *shape;
    double pos[3];
    double rot[9];
    dBodyID body;
};
// The placement of a part shape on its body this tic.
bike_placed_shape bike_shape_on_body(const bike_shape *shape, dBodyID body);

// A tire (ring R around the axle, tube r) against a placed shape. When the tire has no ground
// contact from its last contact test, the deepest contact is stored in the tire record.
int bike_tire_shape(bike_tire *t, const bike_placed_shape *s, int mode);
// Shape against shape (every sphere against every sphere after a bounding test).
int bike_shape_shape(const bike_placed_shape *a, const bike_placed_shape *b, int mode);

// A track object with a collision shape as the collision tests see it.
struct bike_object {
    const bike_shape *shape;
    double pos[3];
    double rot[9];
    dBodyID body;  // moving objects; 0 for static ones
    int touch_tic; // tic a bike last touched it, -1 never
};
// A bike against one object (contact joints): tires, then frame, forks, swingarm and rider. A
// riding rider who touches it faster than 20 ft/s relative to it crashes. Returns the touched
// part bits; a touch records the tic in the object.
int bike_against_object(bike_record *b, bike_object *o, int tic);
// A bike against another: every part and tire of a against every part and tire of b, in the
// given mode. Returns the parts of a that touched b in the low 7 bits and those of b that
// touched a in bits 8-14. The knock rules and the contact tics follow from them.
int bike_against_bike(bike_record *a, bike_record *b, int mode, int tic);
// Knock counters raised by bike-against-bike hits since the program started.
extern int bike_knocks;
// How far the bike's part shapes reach from its frame's centre (ft).
double bike_reach(const bike_record *b);
// Frame speed of a bike (ft/s).
double bike_frame_speed(const bike_record *b);
