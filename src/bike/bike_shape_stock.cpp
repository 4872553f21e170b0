// The seven stock shapes of every bike and their fingerprint. The spheres are placed so that a
// bike settled on its tires touches the ground with nothing else: the lowest part sphere sits
// more than a foot above the tire contact at full suspension compression.
#include <cstdio>
#include <cstring>

#include "bike/bike_shape.h"
#include "base/zv_sha1.h"
#include "data/data_file.h"

namespace {

struct stock_sphere {
    float x, y, z, radius, friction, spring, damping;
};

// Body coordinates of each part (origin at the body's model position).
const stock_sphere frame_spheres[] = {
    {0, -0.25f, 0.05f, 0.45f, 0.6f, 10000, 500}, // engine
    {0, 0.35f, -0.75f, 0.35f, 0.6f, 10000, 500}, // tank and steering head
    {0, 0.45f, 0.85f, 0.35f, 0.6f, 10000, 500},  // seat
    {0, 0.55f, 1.75f, 0.25f, 0.6f, 10000, 500},  // rear fender
    {0, -0.05f, 1.0f, 0.3f, 0.6f, 10000, 500},   // airbox and shock
};
const stock_sphere fork_upper_spheres[] = {
    {0, 0, 0, 0.3f, 0.6f, 10000, 500},             // triple clamps
    {-1.0f, 1.05f, 0.65f, 0.2f, 0.6f, 10000, 500}, // left grip
    {1.0f, 1.05f, 0.65f, 0.2f, 0.6f, 10000, 500},  // right grip
    {0, 0.7f, 0.35f, 0.25f, 0.6f, 10000, 500},     // bar clamp
};
const stock_sphere fork_lower_spheres[] = {
    {-0.42f, 0.1f, 0.05f, 0.16f, 0.6f, 10000, 500}, {0.42f, 0.1f, 0.05f, 0.16f, 0.6f, 10000, 500},
    {-0.42f, 0.6f, 0.3f, 0.16f, 0.6f, 10000, 500},  {0.42f, 0.6f, 0.3f, 0.16f, 0.6f, 10000, 500},
    {0, 0.45f, 0.1f, 0.2f, 0.6f, 10000, 500}, // front fender
};
const stock_sphere swingarm_spheres[] = {
    {-0.42f, 0.2f, -0.65f, 0.15f, 0.6f, 10000, 500},
    {0.42f, 0.2f, -0.65f, 0.15f, 0.6f, 10000, 500},
    {-0.42f, -0.1f, 0.4f, 0.15f, 0.6f, 10000, 500},
    {0.42f, -0.1f, 0.4f, 0.15f, 0.6f, 10000, 500},
};
// Wheels: eight spheres of the tube radius around the ring, in the y-z plane, and a hub sphere
// for the spokes, no wider than the tire. Without the hub another wheel's tube fits through the
// ring, and two wheels pushed into each other hook together like chain links.
const stock_sphere front_wheel_spheres[] = {
    {0, 0.8333f, 0, 0.3333f, 1, 25000, 2500},  {0, 0.58924f, 0.58924f, 0.3333f, 1, 25000, 2500},
    {0, 0, 0.8333f, 0.3333f, 1, 25000, 2500},  {0, -0.58924f, 0.58924f, 0.3333f, 1, 25000, 2500},
    {0, -0.8333f, 0, 0.3333f, 1, 25000, 2500}, {0, -0.58924f, -0.58924f, 0.3333f, 1, 25000, 2500},
    {0, 0, -0.8333f, 0.3333f, 1, 25000, 2500}, {0, 0.58924f, -0.58924f, 0.3333f, 1, 25000, 2500},
    {0, 0, 0, 0.3f, 1, 25000, 2500},
};
const stock_sphere rear_wheel_spheres[] = {
    {0, 0.75f, 0, 0.3333f, 1, 25000, 2500},  {0, 0.53033f, 0.53033f, 0.3333f, 1, 25000, 2500},
    {0, 0, 0.75f, 0.3333f, 1, 25000, 2500},  {0, -0.53033f, 0.53033f, 0.3333f, 1, 25000, 2500},
    {0, -0.75f, 0, 0.3333f, 1, 25000, 2500}, {0, -0.53033f, -0.53033f, 0.3333f, 1, 25000, 2500},
    {0, 0, -0.75f, 0.3333f, 1, 25000, 2500}, {0, 0.53033f, -0.53033f, 0.3333f, 1, 25000, 2500},
    {0, 0, 0, 0.3f, 1, 25000, 2500},
};
// Rider: torso at the body origin, head above, hips and knees reaching toward the pegs.
const stock_sphere rider_spheres[] = {
    {0, 0, 0, 0.75f, 0.5f, 5000, 300},                // torso
    {0, 1.45f, -0.2f, 0.45f, 0.5f, 5000, 300},        // helmet
    {-0.45f, -0.95f, 0.1f, 0.35f, 0.5f, 5000, 300},   // left hip
    {0.45f, -0.95f, 0.1f, 0.35f, 0.5f, 5000, 300},    // right hip
    {-0.55f, -1.2f, -0.85f, 0.25f, 0.5f, 5000, 300},  // left knee
    {0.55f, -1.2f, -0.85f, 0.25f, 0.5f, 5000, 300},   // right knee
    {-0.55f, -2.35f, -0.35f, 0.22f, 0.5f, 5000, 300}, // left boot
    {0.55f, -2.35f, -0.35f, 0.22f, 0.5f, 5000, 300},  // right boot
};

struct stock_shape {
    const char *name;
    const stock_sphere *spheres;
    int count;
};

#define STOCK(name, arr)                                                                           \
    { name, arr, (int)(sizeof arr / sizeof arr[0]) }
const stock_shape stock[BIKE_STOCK_SHAPES] = {
    STOCK("@generic_frame.shp", frame_spheres),
    STOCK("@generic_fork_upper.shp", fork_upper_spheres),
    STOCK("@generic_fork_lower.shp", fork_lower_spheres),
    STOCK("@generic_swingarm.shp", swingarm_spheres),
    STOCK("@front_wheel.shp", front_wheel_spheres),
    STOCK("@rear_wheel.shp", rear_wheel_spheres),
    STOCK("@generic_rider.shp", rider_spheres),
};
#undef STOCK

} // namespace

const char *bike_shape_stock_name(int i) {
    return i >= 0 && i < BIKE_STOCK_SHAPES ? stock[i].name : "";
}

size_t bike_shape_stock_text(int i, char *buf, size_t size) {
    if (i < 0 || i >= BIKE_STOCK_SHAPES) {
        if (size) buf[0] = 0;
        return 0;
    }
    size_t used = 0;
    auto put = [&](const char *fmt, auto... args) {
        int n = snprintf(used < size ? buf + used : nullptr, used < size ? size - used : 0, fmt,
                         args...);
        if (n > 0) used += (size_t)n;
    };
    put("%d\n", stock[i].count);
    for (int k = 0; k < stock[i].count; k++) {
        const stock_sphere *s = &stock[i].spheres[k];
        put("%f %f %f %f %f %f %f\n", (double)s->x, (double)s->y, (double)s->z, (double)s->radius,
            (double)s->friction, (double)s->spring, (double)s->damping);
    }
    return used;
}

void bike_shape_register_stock(void) {
    char buf[4096];
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        bike_shape_stock_text(i, buf, sizeof buf);
        bike_shape_register(stock[i].name, buf);
    }
}

void bike_shape_stock_digest(char hex[41]) {
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    char buf[4096];
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        size_t n = bike_shape_stock_text(i, buf, sizeof buf);
        zv_sha1_update(&c, buf, n);
    }
    uint8_t d[ZV_SHA1_SIZE];
    zv_sha1_final(&c, d);
    zv_sha1_hex(d, hex);
}

void bike_shape_files_digest(char hex[41]) {
    zv_sha1_ctx c;
    zv_sha1_init(&c);
    for (int i = 0; i < BIKE_STOCK_SHAPES; i++) {
        data_file *f = data_open(stock[i].name, "rb");
        if (!f) continue;
        char block[1024];
        int n;
        while ((n = data_read(f, block, (int)sizeof block)) > 0)
            zv_sha1_update(&c, block, (size_t)n);
        data_close(f);
    }
    uint8_t d[ZV_SHA1_SIZE];
    zv_sha1_final(&c, d);
    zv_sha1_hex(d, hex);
}
