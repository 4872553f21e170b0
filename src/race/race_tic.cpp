// The race tic in its fixed order, the starting gates and the false-start rule. Steps that
// belong to modules built elsewhere go through race_steps.
#include <chrono>
#include <cmath>

#include "bike/bike.h"
#include "bike/bike_erosion_stroke.h"
#include "base/zv_label.h"
#include "bike/bike_tire_ride.h"
#include "race/race.h"
#include "track/track_erosion.h"
#include "track/track_gates.h"
#include "track/track_roost.h"

double *race_stage_seconds;
long race_stage_tics;

namespace {

// Stage timing, only while a benchmark asks for it and from the gate drop on: the time since the
// last mark goes to stage k.
struct stage_clock {
    std::chrono::steady_clock::time_point last;
    bool on = false;
    void start() {
        on = race_stage_seconds && race.tic >= race.gate_drop_tic;
        if (!on) return;
        last = std::chrono::steady_clock::now();
        race_stage_tics++;
    }
    void mark(int k) {
        if (!on) return;
        auto now = std::chrono::steady_clock::now();
        race_stage_seconds[k] += std::chrono::duration<double>(now - last).count();
        last = now;
    }
};

// The gate model turns about its hinge by fall angle x 33.75 degrees.
const float GATE_HINGE = 0.5890486f;

int present_bike(int s) {
    return race.present[s] && bike_world.world && bike_world.bikes[s].present;
}

void start_gates_tic(void) {
    if (race.tic > race.gate_drop_tic + 10 * 128 + race.remote_delay) return;
    const float tic = 1.0f / 128.0f;
    for (int g = 0; g < race.start_gate_count && g < RACE_SLOTS; g++) {
        race_start_gate *sg = &race.start_gates[g];
        float before = sg->fall;
        if (race.tic < race.gate_drop_tic) {
            sg->fall = 1.0f;
            sg->speed = 0.0f;
        } else if (sg->fall > 0.0f) {
            // A bike leaning on the gate holds it this tic, for half a second at most: a rider
            // with the throttle open at the drop would otherwise hold it up for ever.
            if (sg->touch_tic == race.tic && race.tic - race.gate_drop_tic < 64) {
                sg->speed = 0.0f;
            } else {
                sg->speed += 32.0f * tic;
                if (sg->speed > 8.0f) sg->speed = 8.0f;
                sg->fall -= sg->speed * tic;
                if (sg->fall < 0.0f) sg->fall = 0.0f;
            }
        }
        if (sg->fall != before && race_steps.gate_object_turn && g < gates.slot_count &&
            gates.slots[g].object >= 0)
            race_steps.gate_object_turn(gates.slots[g].object, sg->fall * GATE_HINGE);
    }
}

void false_start(int s) {
    bike_record *b = &bike_world.bikes[s];
    if (race.tic < race.gate_drop_tic) {
        b->ctl.sit_dab = 1.0f;
        const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
        double dx = p[0] - race.start_pos[0], dy = p[1] - race.start_pos[1],
               dz = p[2] - race.start_pos[2];
        if (race.penalty_countdown <= 0 && dx * dx + dy * dy + dz * dz >= 9.0) {
            if (race_steps.message) race_steps.message("15 second false start penalty");
            race.penalty_countdown = race.gate_drop_tic - race.tic + 1920;
        }
    }
    if (race.penalty_countdown > 0) {
        race.penalty_countdown--;
        b->ctl.front_brake = 1.0f;
        b->ctl.rear_brake = 1.0f;
        b->ctl.throttle = 0.0f;
        b->ctl.clutch = 0.0f;
        b->ctl.back_up = 0.0f;
        b->ctl.sit_dab = 1.0f;
    }
}

} // namespace

void race_tic(void) {
    stage_clock clock;
    clock.start();
    int display = race.tic - race.remote_delay > 0 ? race.tic - race.remote_delay : 0;
    // 1. the track script
    if (race_steps.script_tic) race_steps.script_tic(display);
    // 2. replayed and remote riders from their state history
    if (race_steps.history_pose)
        for (int s = 0; s < RACE_SLOTS; s++)
            if (race.present[s] && race.status[s] == RACE_REPLAYED)
                race_steps.history_pose(s, display);
    // 3. time trial: laps before this tic
    if (race.time_trial) race_time_trial_note();
    clock.mark(RACE_STAGE_POSES);
    // 4. contacts between bikes and with objects
    if (race_steps.contacts) race_steps.contacts();
    clock.mark(RACE_STAGE_CONTACTS);

    int list[RACE_SLOTS], count = 0;
    for (int s = 0; s < RACE_SLOTS; s++)
        if (present_bike(s)) list[count++] = s;
    // 5. pre-steps in an order that rotates every tic, so no slot always goes first
    for (int i = 0; i < count; i++) {
        bike_record *b = &bike_world.bikes[list[(i + race.tic) % count]];
        bike_prestep(b);
    }
    // Roost: the tires' spray from the pool's own generator, so its density changes nothing
    // the bikes do.
    if (roost.made && roost.density > 0) {
        for (int i = 0; i < count; i++) {
            bike_tire_prestep_roost(&bike_world.bikes[list[i]], roost.density, roost_random());
            roost_emit_queued(race.tic);
        }
    }
    clock.mark(RACE_STAGE_PRESTEP);
    // 6. physics
    if (bike_world.world) bike_world_step();
    clock.mark(RACE_STAGE_WORLD);
    if (zv_labels.flags)
        for (int i = 0; i < count; i++)
            if (race.status[list[i]] == RACE_LOCAL)
                bike_tire_log_labels(&bike_world.bikes[list[i]]);
    // 7. erosion under the simulated bikes
    if (race.erosion_rate > 0) {
        for (int i = 0; i < count; i++) {
            int s = list[i];
            if (race.status[s] == RACE_REPLAYED || (race.network && race.local_slot < 0)) continue;
            bike_tire_erode_bike(&bike_world.bikes[s]);
        }
        uint8_t stroke[BIKE_STROKE_MAX_BYTES];
        int n;
        while ((!erosion_send_room || erosion_send_room()) &&
               (n = bike_erosion_stroke_take(stroke)) > 0)
            erosion_submit(stroke, n);
    }
    clock.mark(RACE_STAGE_EROSION);
    // 8. robots, false starts, the bike update, line learning, the gate test
    for (int i = 0; i < count; i++) {
        int s = list[i];
        bike_record *b = &bike_world.bikes[s];
        if (race.status[s] == RACE_ROBOT_DRIVEN && race_steps.robot_control)
            race_steps.robot_control(s);
        clock.mark(RACE_STAGE_ROBOTS);
        if (race.network && race.status[s] == RACE_LOCAL) false_start(s);
        bike_update(b);
        clock.mark(RACE_STAGE_UPDATE);
        if (race_steps.autopilot_learn) race_steps.autopilot_learn(s);
        if (!race.network || race.status[s] == RACE_LOCAL) {
            const dReal *p = dBodyGetPosition(b->body[BIKE_FRONT_WHEEL]);
            if (race_gate_test(s, (float)p[0], (float)p[2])) race_update_order();
        }
        const dReal *f = dBodyGetPosition(b->body[BIKE_FRAME]);
        race_track_distance(s, (float)f[0], (float)f[2]);
        b->gates_passed = race.riders[s].progress;
        b->last_gate_tic = race_pass_tic(s, race.riders[s].progress - 1);
        clock.mark(RACE_STAGE_RIDERS);
    }
    // 9. flying debris (the roost particles)
    if (race_steps.debris) race_steps.debris();
    // 10. starting gates
    start_gates_tic();
    // 11. the clock
    int before = race.tic;
    race.tic++;
    if (race.network && before % 512 == 510 && !race.results_final) race_update_order();
    // 12. demo recording and playback
    if (race_steps.demo_tic) race_steps.demo_tic();
    // 13. time-trial laps
    if (race.time_trial) race_time_trial_tic();
    // 14. suspension graph
    if (race_steps.suspension_graph) race_steps.suspension_graph(race.viewed_slot);
    // The bike layer's view of the clock, last: demo playback and time-trial restarts may have
    // moved the race clock in this tic.
    bike_world.tic = race.tic;
    bike_world.gate_drop_tic = race.tic >= race.gate_drop_tic ? race.gate_drop_tic : -1;
    clock.mark(RACE_STAGE_REST);
}

int race_live(int slot) {
    int local = race.local_slot;
    if (slot < 0 || slot >= RACE_SLOTS) return 0;
    if (race.network && local < 0) return race.present[slot];
    if (!race.network || local >= RACE_SLOTS || !race.present[local]) return 1;
    if (!race.present[slot]) return 0;
    if (slot != local && race_steps.heard_within && !race_steps.heard_within(slot, 128)) return 0;
    if (race.order_count <= 1 || (race.tic - race.gate_drop_tic) < race.off_course_bias * 128.0f ||
        race_finished(local) || race_off_course(local))
        return 1;
    return !race_finished(slot) && !race_off_course(slot);
}

int race_rider_shown(int slot) {
    if (slot < 0 || slot >= RACE_SLOTS || !race.present[slot]) return 0;
    int st = race.status[slot];
    if (race.network && race.local_slot < 0 && st == RACE_LOCAL) return slot == race.viewed_slot;
    if (st == RACE_LOCAL || st == RACE_ROBOT_DRIVEN) return 1;
    // Replayed riders need history around now (the state history answers with its newest).
    int newest = race_steps.history_newest_tic ? race_steps.history_newest_tic(slot) : -1;
    if (newest < 0 || race.tic > newest + 128) return 0;
    return race_live(slot);
}
