// Roost particles: emission at a tire's contact, flight with drag and gravity, growth and fade,
// and death when they come down below the ground. The pool's own generator keeps the particles
// out of everything the simulation draws from.
#include "track/track_roost.h"

#include <cmath>
#include <cstring>

#include "track/track_objects.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

roost_state roost;

namespace {

const float TIC = 1.0f / 128;

float uniform01(void) {
    return (roost_random() >> 8) * (1.0f / 16777216.0f);
}

void hide(roost_particle *p) {
    if (p->billboard >= 0 && p->billboard < objects.billboard_count)
        objects.billboards[p->billboard].texture = 0;
}

// Rotates v about the unit axis by angle a (Rodrigues).
void rotate(const double *v, const double *axis, double a, double *out) {
    double c = cos(a), s = sin(a), d = v[0] * axis[0] + v[1] * axis[1] + v[2] * axis[2];
    double x[3] = {axis[1] * v[2] - axis[2] * v[1], axis[2] * v[0] - axis[0] * v[2],
                   axis[0] * v[1] - axis[1] * v[0]};
    for (int k = 0; k < 3; k++)
        out[k] = v[k] * c + x[k] * s + axis[k] * d * (1 - c);
}

roost_particle *take(void) {
    if (roost.free_head < 0) return nullptr;
    int i = roost.free_head;
    roost_particle *p = &roost.pool[i];
    roost.free_head = p->next;
    p->next = roost.live_head;
    roost.live_head = i;
    roost.live_count++;
    roost.emitted++;
    return p;
}

void show(roost_particle *p, const tiles_roost *t) {
    p->type = t;
    if (p->billboard < 0 || p->billboard >= objects.billboard_count) return;
    track_billboard *b = &objects.billboards[p->billboard];
    b->x = p->pos[0], b->y = p->pos[1], b->z = p->pos[2];
    b->size = t->size;
    b->aspect = 1;
    b->texture = t->texture;
    memcpy(b->colour, t->colour, 4);
}

} // namespace

void roost_seed(uint64_t seed) {
    roost.random = seed ? seed : 0x9e3779b97f4a7c15ull;
}

unsigned roost_random(void) {
    // xorshift64*: a generator only the roost draws from.
    uint64_t x = roost.random ? roost.random : 0x9e3779b97f4a7c15ull;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    roost.random = x;
    return (unsigned)((x * 0x2545F4914F6CDD1Dull) >> 32);
}

void roost_clear(void) {
    // Every particle of a made pool hides; the lists start over.
    if (roost.made)
        for (int i = 0; i < ROOST_POOL; i++)
            hide(&roost.pool[i]);
    roost.live_head = -1;
    roost.live_count = 0;
    for (int i = 0; i < ROOST_POOL; i++)
        roost.pool[i].next = i + 1 < ROOST_POOL ? i + 1 : -1;
    roost.free_head = roost.made ? 0 : -1;
}

void roost_pool_create(void) {
    roost.made = 0;
    for (int i = 0; i < ROOST_POOL; i++) {
        roost_particle *p = &roost.pool[i];
        memset(p, 0, sizeof *p);
        p->billboard = billboard_add(0, 0, 0, 0, 1, nullptr);
    }
    roost.made = 1;
    roost.live_head = -1;
    roost_clear();
}

int roost_limit(void) {
    int d = roost.density < 0 ? 0 : (roost.density > 1000 ? 1000 : roost.density);
    return d / 100 + ((int)(roost_random() % 100) < d % 100 ? 1 : 0);
}

void roost_emit(const bike_roost_contact *c, int limit, double max_angle, int tic) {
    if (!roost.made || limit <= 0) return;
    for (int r = 0; r < TILES_ROOST_TYPES; r++) {
        const tiles_roost *t = tiles_roost_get(c->tile, r);
        if (!t || t->kind == 0) continue;
        if (!std::isfinite(t->count) || t->count <= 0) continue;
        double whole = floor(t->count);
        int n = (int)(whole > limit ? limit : whole);
        if (t->count - whole > uniform01()) n++;
        if (n > limit) n = limit;
        if (n <= 0) continue;
        if (t->kind == 1) {
            // Sliding speed of the tread over the ground.
            double slip =
                sqrt(c->point_vel[0] * c->point_vel[0] + c->point_vel[1] * c->point_vel[1] +
                     c->point_vel[2] * c->point_vel[2]);
            if (slip < t->slip_threshold) continue;
            double w2 = c->wheel_omega[0] * c->wheel_omega[0] +
                        c->wheel_omega[1] * c->wheel_omega[1] +
                        c->wheel_omega[2] * c->wheel_omega[2];
            double span =
                (double)t->fast_speed * t->fast_speed - (double)t->slow_speed * t->slow_speed;
            double f = span != 0 ? (w2 - (double)t->slow_speed * t->slow_speed) / span
                                 : (w2 >= (double)t->fast_speed * t->fast_speed ? 1 : 0);
            if (!(f >= 0)) f = 0;
            if (f > 1) f = 1;
            double spread = t->slow_angle + (t->fast_angle - t->slow_angle) * f;
            if (spread > max_angle) spread = max_angle;
            double dv = c->wheel_vel[0] * c->point_vel[0] + c->wheel_vel[1] * c->point_vel[1] +
                        c->wheel_vel[2] * c->point_vel[2];
            if (dv >= 0) spread = M_PI / 64;
            double om = sqrt(w2);
            double axis[3] = {1, 0, 0};
            if (om > 1e-9)
                for (int k = 0; k < 3; k++)
                    axis[k] = c->wheel_omega[k] / om;
            for (int i = 0; i < n; i++) {
                roost_particle *p = take();
                if (!p) return;
                double rel[3] = {c->pos[0] - c->wheel_pos[0], c->pos[1] - c->wheel_pos[1],
                                 c->pos[2] - c->wheel_pos[2]};
                // Turning against the spin carries the point up the back of the tread.
                double a = -uniform01() * spread * (om > 0 ? 1 : 0), turned[3];
                rotate(rel, axis, a, turned);
                double wx[3] = {c->wheel_omega[1] * turned[2] - c->wheel_omega[2] * turned[1],
                                c->wheel_omega[2] * turned[0] - c->wheel_omega[0] * turned[2],
                                c->wheel_omega[0] * turned[1] - c->wheel_omega[1] * turned[0]};
                for (int k = 0; k < 3; k++) {
                    double v = c->wheel_vel[k] + wx[k] + (uniform01() - 0.5) * t->randomize;
                    p->vel[k] = (float)(v * t->vscale);
                    p->pos[k] = (float)(c->wheel_pos[k] + turned[k] + p->vel[k] * TIC * i / n);
                }
                show(p, t);
            }
        } else if (t->kind == 2) {
            float nrm[3];
            terrain_normal((float)c->pos[0], (float)c->pos[2], nrm);
            double w[3] = {c->wheel_vel[0], c->wheel_vel[1], c->wheel_vel[2]};
            double along = w[0] * nrm[0] + w[1] * nrm[1] + w[2] * nrm[2];
            for (int k = 0; k < 3; k++)
                w[k] -= along * nrm[k];
            double s = sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
            if (!(s > 1e-6)) continue; // a wheel standing still throws no splash
            double u[3] = {w[0] / s, w[1] / s, w[2] / s};
            double ux[3] = {u[1] * nrm[2] - u[2] * nrm[1], u[2] * nrm[0] - u[0] * nrm[2],
                            u[0] * nrm[1] - u[1] * nrm[0]};
            for (int i = 0; i < n; i++) {
                roost_particle *p = take();
                if (!p) return;
                double sign = ((tic + i) & 1) ? 1 : -1, scale = t->vscale * uniform01();
                for (int k = 0; k < 3; k++) {
                    double dir = (nrm[k] + sign * ux[k]) * s / M_SQRT2;
                    p->pos[k] = (float)(c->pos[k] + dir * TIC * i / n);
                    p->vel[k] = (float)((dir + (uniform01() - 0.5) * t->randomize) * scale);
                }
                show(p, t);
            }
        }
    }
}

void roost_update(void) {
    int prev = -1;
    for (int i = roost.live_head; i >= 0;) {
        roost_particle *p = &roost.pool[i];
        int next = p->next;
        const tiles_roost *t = p->type;
        float drag = t ? t->drag : 0;
        for (int k = 0; k < 3; k++)
            p->pos[k] += TIC * p->vel[k];
        p->vel[0] *= 1 - drag * TIC;
        p->vel[2] *= 1 - drag * TIC;
        p->vel[1] = p->vel[1] * (1 - drag * TIC) - 32 * TIC;
        int dead = 0;
        for (int k = 0; k < 3; k++)
            if (!std::isfinite(p->pos[k]) || !std::isfinite(p->vel[k])) dead = 1;
        if (!dead && p->vel[1] < 0 && terrain_present() &&
            p->pos[1] < terrain_height(p->pos[0], p->pos[2]))
            dead = 1;
        if (!dead && p->billboard >= 0 && p->billboard < objects.billboard_count && t) {
            track_billboard *b = &objects.billboards[p->billboard];
            b->x = p->pos[0], b->y = p->pos[1], b->z = p->pos[2];
            b->size += t->grow * TIC;
            for (int k = 0; k < 4; k++) {
                int v = b->colour[k] + t->fade[k];
                b->colour[k] = (uint8_t)(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
        if (dead) {
            hide(p);
            if (prev < 0)
                roost.live_head = next;
            else
                roost.pool[prev].next = next;
            p->next = roost.free_head;
            roost.free_head = i;
            roost.live_count--;
        } else {
            prev = i;
        }
        i = next;
    }
}

void roost_emit_queued(int tic) {
    bike_roost_contact c;
    while (bike_tire_roost_take(&c))
        roost_emit(&c, c.rounds, c.cone, tic);
}
