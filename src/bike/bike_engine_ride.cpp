// The drivetrain step of a simulated bike: automatic shifting, the engine and the driveline on
// the rear axle, the brakes as axle motors, and the steering damping torque.
#include "bike/bike.h"
#include "bike/bike_input_ride.h"

#include <cmath>

static void steering_damping(bike_record *b) {
    dBodyID w = b->body[BIKE_FRONT_WHEEL];
    const dReal *om = dBodyGetAngularVel(w);
    dVector3 a;
    dBodyVectorToWorld(w, 1, 0, 0, a);
    double spin = om[0] * a[0] + om[1] * a[1] + om[2] * a[2];
    double k = b->applied.steering_damping;
    double t[3];
    for (int i = 0; i < 3; i++)
        t[i] = k * (spin * a[i] - om[i]);
    if (!std::isfinite(t[0] + t[1] + t[2])) return;
    dBodyAddTorque(w, t[0], t[1], t[2]);
    dBodyAddTorque(b->body[BIKE_FRAME], -t[0], -t[1], -t[2]);
}

void bike_engine_drivetrain_step(bike_record *b) {
    if (!b->m) return;
    const bike_engine_spec &spec = b->m->engine;
    int flags = b->applied.flags;
    int front_contact = b->tire[0].depth > 0, rear_contact = b->tire[1].depth > 0;
    double final_drive =
        b->applied.final_drive > 0
            ? b->applied.final_drive
            : bike_engine_final_drive(spec.front_sprocket, spec.rear_sprocket, 0, 0);
    dJointID rear = b->joint[BIKE_JOINT_REAR_AXLE], front = b->joint[BIKE_JOINT_FRONT_AXLE];
    double axle_rate = dJointGetHingeAngleRate(rear);
    double axle_angle = dJointGetHingeAngle(rear);
    int crashed = bike_crashed(b);

    // Automatic shifting looks at the wheel only while the rear carries load and the tire grips.
    if ((flags & BIKE_FLAG_AUTO_SHIFT) && !crashed && (bike_world.tic & 31) == 0 &&
        dJointGetHingeAngle(b->joint[BIKE_JOINT_SWINGARM]) < -0.01) {
        const double *u = b->tire[1].vel;
        if (!rear_contact || u[0] * u[0] + u[1] * u[1] + u[2] * u[2] < 4.0) {
            double G = bike_engine_ratio(&spec, b->engine.gear, final_drive);
            if (G > 0) {
                double wheel_rpm = G * axle_rate * 60.0 / (2.0 * 3.14159265358979323846);
                b->engine.gear = bike_engine_auto_shift_gear(&spec, b->engine.gear, wheel_rpm);
            }
        }
    }

    bike_driveline_input in;
    in.axle_rate = axle_rate;
    in.axle_angle = axle_angle;
    in.clutch = b->ctl.clutch;
    in.auto_clutch_rpm = b->applied.auto_clutch_rpms;
    in.throttle = crashed ? 0.0f : b->ctl.throttle;
    dVector3 frame_w;
    const dReal *fw = dBodyGetAngularVel(b->body[BIKE_FRAME]);
    dBodyVectorFromWorld(b->body[BIKE_FRAME], fw[0], fw[1], fw[2], frame_w);
    in.cut_drive = bike_engine_wheelie_cut(flags, front_contact, rear_contact, frame_w[0]);
    double T = bike_engine_step(&spec, &b->engine, final_drive, &in, bike_tic);
    if (T != 0.0) {
        // The reaction on the frame lifts the front under power.
        dBodyAddRelTorque(b->body[BIKE_REAR_WHEEL], -T, 0, 0);
        dBodyAddRelTorque(b->body[BIKE_FRAME], T, 0, 0);
    }

    const double *fu = b->tire[0].vel, *ru = b->tire[1].vel;
    double front_t =
        bike_engine_front_brake(b->ctl.front_brake, b->applied.brake_torque, flags, front_contact,
                                fu[0] * fu[0] + fu[1] * fu[1] + fu[2] * fu[2], rear_contact);
    double rear_t =
        bike_engine_rear_brake(b->ctl.rear_brake, b->applied.rear_brake_torque, flags, rear_contact,
                               ru[0] * ru[0] + ru[1] * ru[1] + ru[2] * ru[2]);
    dJointSetHingeParam(front, dParamVel, 0);
    dJointSetHingeParam(front, dParamFMax, front_t);
    dJointSetHingeParam(rear, dParamVel, 0);
    dJointSetHingeParam(rear, dParamFMax, rear_t);

    steering_damping(b);
}
