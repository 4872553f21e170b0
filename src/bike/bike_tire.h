// Tire and ground contact: each wheel is a torus (ring radius R around the axle, tube radius r)
// that finds its deepest penetration into the height field's triangles, and one soft contact
// joint per wheel per tic carries the tire's stiffness, damping and friction from the ground
// type's curve. Rolling resistance, the roost contact and the erosion samples come from the same
// contact.
#pragma once

#include "bike/bike_erosion_stroke.h"

#include <ode/ode.h>

struct tiles_type;

// Result of the torus-against-height-field test.
struct bike_tire_hit {
    double pos[3];    // tube surface point
    double normal[3]; // unit, from the ground toward the wheel
    double depth;     // > 0 when touching
    int cell[3];      // the triangle touched: grid cell i, k and which of its two (0 or 1)
};

enum {
    BIKE_TIRE_DEEPEST = 0, // the contact: the deepest triangle wins
    BIKE_TIRE_ROOST = 1,   // the roost contact: the first penetrated triangle, coarser edges
};

// The torus (centre, unit axle, R, r) against the loaded terrain's triangles under it.
// Returns 1 with the hit filled when some triangle is penetrated, else 0 (depth 0). The roost
// mode tries the triangle try_first names (a cell[3] as a hit gives it) before the others.
int bike_tire_collide(const double centre[3], const double axle[3], double R, double r, int mode,
                      bike_tire_hit *hit, const int *try_first = nullptr);

// One wheel's tire.
struct bike_tire {
    dBodyID wheel;
    double axle_local[3]; // in wheel-body coordinates, (1, 0, 0)
    double R, r;
    double pos[3];           // contact point
    double vel[3];           // velocity of the wheel's material point at the contact
    double normal[3];        // contact normal
    double depth;            // 0 or less: not in contact
    double mu;               // friction coefficient used this tic
    int tile;                // ground type under the contact
    dJointFeedback feedback; // the contact joint's forces from the last step
    bike_erosion_acc erosion;
    double erode_force[2]; // the last erosion force (x, z) before it became a direction
    // Roost contact of this tic (Part of the pre-step), computed at most once per tic.
    int roost_tic;
    int roost_touch;
    int ground_cell[3]; // the triangle of the last tire contact, when ground_cell_ok
    int ground_cell_ok;
    double roost_pos[3], roost_normal[3], roost_vel[3];
};

// Sets the tire up for a wheel body; clears its contact, feedback and erosion state.
void bike_tire_init(bike_tire *t, dBodyID wheel, double R, double r);
// Forgets the contact and erosion state (bike reset).
void bike_tire_clear(bike_tire *t);

// Friction coefficient of a ground type at argument speed v: below the first point (or with no
// point) the first coefficient, past the last the last; modes 1 and 2 interpolate in speed,
// others in squared speed.
double bike_tire_friction(const tiles_type *type, double v);
// The slip function's argument: |u| for modes 0 and 1; for mode 2 the ground speed along the
// slip, ((v + w x rho) . u) / |u| clamped to -|u|..|u| (w without its axle part), 0 for |u| < 1/16.
double bike_tire_friction_argument(int mode, const double u[3], const double v[3],
                                   const double w[3], const double axle[3], const double rho[3]);
// The arcade friction factor: less grip as the bike leans (62.5% at 45 degrees and beyond).
double bike_tire_arcade_factor(double roll);

// Spring (lbf/ft) and damping (lbf s/ft) of the tire at a depth, and the ERP and CFM the joint
// gets for a tic of length h.
struct bike_tire_soft {
    double spring, damping, erp, cfm;
};
bike_tire_soft bike_tire_softness(double depth, double r, double h);

// Rolling resistance force magnitude at ground speed W and compression c (0-1).
double bike_tire_roll_resist(const tiles_type *type, double W, double c);

// The wheel's contact for this tic: finds the contact, makes the contact joint in group (with
// the tire's feedback record) and adds the rolling resistance. With no contact the depth and the
// feedback are zeroed. Returns 1 when the tire touches. group 0 only tests.
int bike_tire_contact(bike_tire *t, dWorldID world, dJointGroupID group, double friction_factor,
                      double h);
// The roost contact of this tic (first penetrated triangle, downward normals turned up).
// Computed once per tic; returns whether the wheel touches.
int bike_tire_roost_contact(bike_tire *t, int tic);

// The roost emitter's inputs for one wheel; handed over through bike_tire_roost_emit until the
// emitter exists.
struct bike_roost_contact {
    int tile;
    double pos[3], point_vel[3];
    double wheel_vel[3], wheel_omega[3], wheel_pos[3];
    int rounds;  // emission rounds this tic
    double cone; // spray cone limit: pi/8 front, 2 pi rear
};
// Emission rounds per tic for a roost density in percent, with the random number to use.
int bike_tire_roost_rounds(double density, unsigned random);
// Queue of roost contacts waiting for the emitter (newest kept when full).
void bike_tire_roost_emit(const bike_roost_contact *c);
int bike_tire_roost_take(bike_roost_contact *out);
void bike_tire_roost_clear(void);

// The erosion producer for one wheel: samples the contact force of the last step.
void bike_tire_erode(bike_tire *t, int front, int tic, double extent, bike_stroke_sink sink,
                     void *ctx);

// The tire debug readout of one wheel: "speed=%.2f\nslip=%.2f\nfx=%.2f\nfz=%.2f\npfx=%.2f\n"
// "pfz=%.2f\n" with the wheel's speed, the slip speed, the negated lateral and longitudinal
// contact force and the negated lateral and longitudinal erosion force. Returns the length.
int bike_tire_debug_text(const bike_tire *t, char *buf, int size);
