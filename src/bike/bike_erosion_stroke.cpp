#include "bike/bike_erosion_stroke.h"

#include "track/track_tiles.h"

#include <cmath>
#include <cstring>

static double clampd(double v, double lo, double hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

static void put16(uint8_t *p, int v) {
    p[0] = (uint8_t)(v & 0xff);
    p[1] = (uint8_t)((v >> 8) & 0xff);
}

// 24-bit position over the terrain's side, as the compact bike state encodes positions.
static int position_code(double v, double extent) {
    if (!(extent > 0.0) || !std::isfinite(v)) return 0;
    return (int)std::lround(clampd(v, 0.0, extent) / extent * 16777215.0);
}

int bike_erosion_direction_code(double e) {
    if (!std::isfinite(e)) e = 0.0;
    // One code from one rounding: two codes OR-ed together could disagree by a step.
    int c = (int)std::floor(64.0 * clampd((e + 1.0) / 2.0, 0.0, 1.0));
    return c > 63 ? 63 : c;
}

int bike_erosion_bound_code(double v) {
    if (!std::isfinite(v)) return 0;
    double q = std::round(((v < 1024.0 ? v : 1024.0) + 1024.0) * 31.999512);
    if (q < 0.0) return 0;
    return q > 65535.0 ? 65535 : (int)q;
}

static double bound_value(int code) {
    return code / 65535.0 * 2048.0 - 1024.0;
}

int bike_erosion_stroke_encode(const bike_stroke_point *pts, int count, double min_dx,
                               double min_dz, double max_dx, double max_dz, double extent,
                               uint8_t *out) {
    if (count <= 0) return 0;
    if (count > BIKE_STROKE_MAX_POINTS) count = BIKE_STROKE_MAX_POINTS;
    if (count == 1 || !(min_dx <= max_dx) || !(min_dz <= max_dz)) {
        min_dx = min_dz = max_dx = max_dz = 0.0;
    }
    min_dx -= 1.0 / 16.0;
    min_dz -= 1.0 / 16.0;
    max_dx += 1.0 / 16.0;
    max_dz += 1.0 / 16.0;
    int cminx = min_dx < -1023.9375 ? 0 : bike_erosion_bound_code(min_dx);
    int cminz = min_dz < -1023.9375 ? 0 : bike_erosion_bound_code(min_dz);
    int cmaxx = max_dx < -1024.0625 ? 0 : bike_erosion_bound_code(max_dx);
    int cmaxz = max_dz < -1024.0625 ? 0 : bike_erosion_bound_code(max_dz);
    out[0] = 1;
    put16(out + 1, cminx);
    put16(out + 3, cminz);
    put16(out + 5, cmaxx);
    put16(out + 7, cmaxz);
    double dminx = bound_value(cminx), dmaxx = bound_value(cmaxx);
    double dminz = bound_value(cminz), dmaxz = bound_value(cmaxz);

    int qx = position_code(pts[0].x, extent), qz = position_code(pts[0].z, extent);
    out[9] = (uint8_t)(qx & 0xff);
    out[10] = (uint8_t)((qx >> 8) & 0xff);
    out[11] = (uint8_t)((qx >> 16) & 0xff);
    out[12] = (uint8_t)(qz & 0xff);
    out[13] = (uint8_t)((qz >> 8) & 0xff);
    out[14] = (uint8_t)((qz >> 16) & 0xff);
    // Steps are measured from the positions the receiver will rebuild, so rounding errors do
    // not pile up along the stroke.
    double rx = extent > 0.0 ? qx * extent / 16777215.0 : 0.0;
    double rz = extent > 0.0 ? qz * extent / 16777215.0 : 0.0;

    int at = 15;
    for (int k = 0; k < count; k++) {
        const bike_stroke_point *p = &pts[k];
        if (k > 0) {
            int b[2];
            double d[2] = {p->x - rx, p->z - rz};
            double lo[2] = {dminx, dminz}, hi[2] = {dmaxx, dmaxz};
            for (int j = 0; j < 2; j++) {
                double span = hi[j] - lo[j];
                if (!(d[j] >= lo[j]) || !(span > 0.0))
                    b[j] = 0;
                else
                    b[j] = (int)std::lround((clampd(d[j], lo[j], hi[j]) - lo[j]) * 255.0 / span);
            }
            out[at++] = (uint8_t)b[0];
            out[at++] = (uint8_t)b[1];
            rx += dminx + b[0] / 255.0 * (dmaxx - dminx);
            rz += dminz + b[1] / 255.0 * (dmaxz - dminz);
        }
        // The weight field has four bits: 16 samples must not wrap to 0.
        int n = p->count < 0 ? 0 : (p->count > 15 ? 15 : p->count);
        out[at++] = (uint8_t)((bike_erosion_direction_code(p->ex) << 2) | (n & 3));
        out[at++] = (uint8_t)((bike_erosion_direction_code(p->ez) << 2) | ((n >> 2) & 3));
    }
    return at;
}

void bike_erosion_reset(bike_erosion_acc *a) {
    std::memset(a, 0, sizeof *a);
}

static void send_stroke(bike_erosion_acc *a, double extent, bike_stroke_sink sink, void *ctx) {
    if (a->point_count > 0 && sink) {
        uint8_t bytes[BIKE_STROKE_MAX_BYTES];
        int n = bike_erosion_stroke_encode(a->points, a->point_count, a->min_dx, a->min_dz,
                                           a->max_dx, a->max_dz, extent, bytes);
        if (n > 0) sink(ctx, bytes, n);
    }
    a->point_count = 0;
}

static void start_stroke(bike_erosion_acc *a, const bike_stroke_point *p) {
    a->points[0] = *p;
    a->point_count = 1;
    a->min_dx = a->min_dz = 0.0;
    a->max_dx = a->max_dz = 0.0;
}

static void close_point(bike_erosion_acc *a, int tic, double extent, bike_stroke_sink sink,
                        void *ctx) {
    if (!a->open || a->count <= 0) {
        a->open = 0;
        return;
    }
    bike_stroke_point p;
    p.x = (float)(a->sum_x / a->count);
    p.z = (float)(a->sum_z / a->count);
    p.ex = (float)(a->sum_ex / a->count);
    p.ez = (float)(a->sum_ez / a->count);
    p.count = a->count;
    a->open = 0;
    a->count = 0;
    a->last_change = tic;

    if (a->point_count == 0) {
        start_stroke(a, &p);
        return;
    }
    if (a->point_count >= BIKE_STROKE_MAX_POINTS) {
        send_stroke(a, extent, sink, ctx);
        start_stroke(a, &p);
        return;
    }
    const bike_stroke_point *prev = &a->points[a->point_count - 1];
    double dx = (double)p.x - prev->x, dz = (double)p.z - prev->z;
    double mnx = a->min_dx, mxx = a->max_dx, mnz = a->min_dz, mxz = a->max_dz;
    if (a->point_count == 1)
        mnx = mxx = dx, mnz = mxz = dz;
    else {
        if (dx < mnx) mnx = dx;
        if (dx > mxx) mxx = dx;
        if (dz < mnz) mnz = dz;
        if (dz > mxz) mxz = dz;
    }
    if (mxx - mnx > 64.0 || mxz - mnz > 64.0) {
        send_stroke(a, extent, sink, ctx);
        start_stroke(a, &p);
        return;
    }
    a->min_dx = mnx, a->max_dx = mxx, a->min_dz = mnz, a->max_dz = mxz;
    a->points[a->point_count++] = p;
}

static void open_point(bike_erosion_acc *a, double x, double z, double ex, double ez,
                       double distance) {
    a->open = 1;
    a->sum_x = x, a->sum_z = z, a->sum_ex = ex, a->sum_ez = ez;
    a->count = 1;
    a->distance = distance;
    a->last_x = x, a->last_z = z;
}

void bike_erosion_sample(bike_erosion_acc *a, double x, double z, double ex, double ez, int tic,
                         double extent, bike_stroke_sink sink, void *ctx) {
    if (!std::isfinite(x) || !std::isfinite(z) || !std::isfinite(ex) || !std::isfinite(ez)) return;
    if (!a->open) {
        open_point(a, x, z, ex, ez, 0.0);
        a->last_change = tic;
        return;
    }
    double step = std::hypot(x - a->last_x, z - a->last_z);
    double sum = a->distance + step;
    if (a->count >= BIKE_STROKE_POINT_SAMPLES || sum >= 1.0) {
        int full = a->count >= BIKE_STROKE_POINT_SAMPLES;
        close_point(a, tic, extent, sink, ctx);
        open_point(a, x, z, ex, ez, (full || sum >= 2.0) ? 0.0 : sum - 1.0);
    } else {
        a->sum_x += x, a->sum_z += z, a->sum_ex += ex, a->sum_ez += ez;
        a->count++;
        a->distance = sum;
        a->last_x = x, a->last_z = z;
    }
    a->last_change = tic;
}

void bike_erosion_idle(bike_erosion_acc *a, int tic, double extent, bike_stroke_sink sink,
                       void *ctx) {
    if (a->open && tic - a->last_change > 64) {
        close_point(a, tic, extent, sink, ctx);
        send_stroke(a, extent, sink, ctx);
    }
}

void bike_erosion_flush(bike_erosion_acc *a, double extent, bike_stroke_sink sink, void *ctx) {
    close_point(a, a->last_change, extent, sink, ctx);
    send_stroke(a, extent, sink, ctx);
}

int bike_erosion_force(const bike_erosion_input *in, const tiles_erosion *p, double *ex, double *ez,
                       double raw[2]) {
    *ex = *ez = 0.0;
    if (raw) raw[0] = raw[1] = 0.0;
    if (!(in->depth > 0.0) || !p) return 0;
    double speed =
        std::sqrt(in->vel[0] * in->vel[0] + in->vel[1] * in->vel[1] + in->vel[2] * in->vel[2]);
    double hv = std::hypot(in->vel[0], in->vel[2]);
    double wx = 0.0, wz = 0.0;
    if (hv > 1e-9) wx = in->vel[0] / hv, wz = in->vel[2] / hv;

    double slip_span = (double)p->slip_upper - p->slip_lower;
    double slip_t = slip_span != 0.0 ? clampd((in->slip - p->slip_lower) / slip_span, 0.0, 1.0)
                                     : (in->slip >= p->slip_upper ? 1.0 : 0.0);
    double I = p->slip_base_scale + slip_t * (p->slip_scale - p->slip_base_scale);
    double speed_span = (double)p->on_speed - p->off_speed;
    double C = speed_span != 0.0 ? clampd((speed - p->off_speed) / speed_span, 0.0, 1.0)
                                 : (speed >= p->on_speed ? 1.0 : 0.0);

    const double *F = in->force, *n = in->normal;
    double nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    double a = nn > 0.0 ? (F[0] * n[0] + F[1] * n[1] + F[2] * n[2]) / nn : 0.0;
    double Ex = (F[0] - a * n[0] * p->project_to_ground) * C * I;
    double Ez = (F[2] - a * n[2] * p->project_to_ground) * C * I;

    double lateral = Ex * -wz + Ez * wx;
    Ex += (p->lateral_scale - 1.0) * lateral * -wz;
    Ez += (p->lateral_scale - 1.0) * lateral * wx;
    if (in->front) Ex *= p->front_scale, Ez *= p->front_scale;
    if (raw && std::isfinite(Ex) && std::isfinite(Ez)) raw[0] = Ex, raw[1] = Ez;

    double m = std::hypot(Ex, Ez);
    if (!std::isfinite(m) || m <= p->lower || m <= 1.0 / 32.0) return 0;
    double span = (double)p->upper - p->lower;
    double t = span > 0.0 ? clampd((m - p->lower) / span, 0.0, 1.0) : 1.0;
    double q = 0.125 + 0.875 * t;
    *ex = Ex * q / m;
    *ez = Ez * q / m;
    return 1;
}

// ---- the queue of sent strokes -------------------------------------------------------------

static struct {
    uint8_t bytes[BIKE_STROKE_QUEUE][BIKE_STROKE_MAX_BYTES];
    int length[BIKE_STROKE_QUEUE];
    int head, count;
    int dropped;
} stroke_queue;

void bike_erosion_stroke_send(void *, const uint8_t *bytes, int length) {
    if (length <= 0 || length > BIKE_STROKE_MAX_BYTES) return;
    if (stroke_queue.count >= BIKE_STROKE_QUEUE) {
        // The oldest stroke goes: ruts far behind matter less than the ones being made.
        stroke_queue.head = (stroke_queue.head + 1) % BIKE_STROKE_QUEUE;
        stroke_queue.count--;
        stroke_queue.dropped++;
    }
    int at = (stroke_queue.head + stroke_queue.count) % BIKE_STROKE_QUEUE;
    std::memcpy(stroke_queue.bytes[at], bytes, (size_t)length);
    stroke_queue.length[at] = length;
    stroke_queue.count++;
}

int bike_erosion_stroke_take(uint8_t *out) {
    if (stroke_queue.count == 0) return 0;
    int at = stroke_queue.head;
    int n = stroke_queue.length[at];
    std::memcpy(out, stroke_queue.bytes[at], (size_t)n);
    stroke_queue.head = (at + 1) % BIKE_STROKE_QUEUE;
    stroke_queue.count--;
    return n;
}

int bike_erosion_stroke_pending(void) {
    return stroke_queue.count;
}

void bike_erosion_stroke_clear(void) {
    stroke_queue.head = 0;
    stroke_queue.count = 0;
}
