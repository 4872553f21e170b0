// The contact stage of the race tic: simulated bikes against each other (waking the bikes they
// touch), then every bike against the track objects near it. Replayed bikes only touch the
// starting gates, in the first 10 s after the drop, so the gates stop as they did when the
// race was recorded.
#include "bike/bike_collide.h"
#include "race/race.h"
#include "track/track_gates.h"
#include "track/track_objects.h"

int race_contact_bikes = 0;

namespace {

enum { NEAR_MAX = 256 };

int simulated(int s) {
    return race.present[s] && bike_world.bikes[s].present && race.status[s] != RACE_REPLAYED;
}

void pair(bike_record *a, bike_record *b) {
    int mode = a->bike_contact_tic == race.tic || b->bike_contact_tic == race.tic
                   ? BIKE_CONTACT_FORCE
                   : BIKE_CONTACT_JOINT;
    if (!bike_against_bike(a, b, mode, race.tic)) return;
    race_contact_bikes++;
    bike_wake_by_contact(a);
    bike_wake_by_contact(b);
    if (race_steps.robot_forget_picks) {
        race_steps.robot_forget_picks(a->slot);
        race_steps.robot_forget_picks(b->slot);
    }
}

} // namespace

void race_contacts(void) {
    if (!bike_world.world) return;
    int list[RACE_SLOTS], count = 0;
    double speed[RACE_SLOTS];
    // Slowest first: the first pair a bike meets in the tic gets the contact joints, so bikes
    // tangled at a standstill are held by joints and a faster one brushing past them by forces.
    // Equal speeds keep slot order, so the pairing is the same on every machine.
    for (int s = 0; s < RACE_SLOTS; s++) {
        if (!simulated(s)) continue;
        double v = bike_frame_speed(&bike_world.bikes[s]);
        int at = count++;
        for (; at > 0 && speed[at - 1] > v; at--) {
            list[at] = list[at - 1];
            speed[at] = speed[at - 1];
        }
        list[at] = s;
        speed[at] = v;
    }
    if (!race.network) {
        for (int i = 0; i < count; i++)
            for (int j = i + 1; j < count; j++)
                pair(&bike_world.bikes[list[i]], &bike_world.bikes[list[j]]);
    } else if (race.local_slot >= 0 && race.local_slot < RACE_SLOTS && simulated(race.local_slot)) {
        // Online only the local rider is simulated here: remote riders push against it.
        for (int s = 0; s < RACE_SLOTS; s++)
            if (s != race.local_slot && race.present[s] && bike_world.bikes[s].present &&
                race.status[s] == RACE_REPLAYED)
                pair(&bike_world.bikes[race.local_slot], &bike_world.bikes[s]);
    }

    int gates_window = race.tic >= race.gate_drop_tic && race.tic < race.gate_drop_tic + 10 * 128;
    for (int s = 0; s < RACE_SLOTS; s++) {
        bike_record *b = &bike_world.bikes[s];
        if (!race.present[s] || !b->present) continue;
        int replayed = race.status[s] == RACE_REPLAYED;
        if (replayed && (race.network || !gates_window)) continue;
        const dReal *p = dBodyGetPosition(b->body[BIKE_FRAME]);
        int near[NEAR_MAX];
        int n = objects_near((float)p[0], (float)p[2], 6, near, NEAR_MAX);
        for (int i = 0; i < n; i++) {
            track_statue *st = &objects.statues[near[i]];
            if (replayed) {
                if (!st->gate) continue;
                // A posed bike only leans on the gate: test, and note the touch.
                bike_object probe = st->body;
                probe.shape = st->shape;
                int touched = 0;
                for (int part = 0; part < BIKE_BODIES && !touched; part++) {
                    if (!b->shape[part]) continue;
                    bike_placed_shape ps = bike_shape_on_body(b->shape[part], b->body[part]);
                    bike_placed_shape os = {st->shape, {}, {}, 0};
                    for (int k = 0; k < 3; k++)
                        os.pos[k] = probe.pos[k];
                    for (int k = 0; k < 9; k++)
                        os.rot[k] = probe.rot[k];
                    touched = bike_shape_shape(&ps, &os, BIKE_CONTACT_TEST);
                }
                if (touched) st->body.touch_tic = race.tic;
                continue;
            }
            bike_against_object(b, &st->body, race.tic);
        }
    }
    // A bike against a starting-gate object holds that gate this tic.
    for (int g = 0; g < race.start_gate_count && g < gates.slot_count; g++) {
        int o = gates.slots[g].object;
        if (o >= 0 && o < objects.statue_count && objects.statues[o].body.touch_tic == race.tic)
            race.start_gates[g].touch_tic = race.tic;
    }
}
