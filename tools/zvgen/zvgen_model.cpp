// Default ".jm" models: wheels, the parts of every bike family, the rider (third-person body,
// first-person body, helmet, number plate) and the start gate. Built from boxes, tubes, tori
// and ellipsoids in bike coordinates (feet; the bike faces -z, +x to the rider's right, y up).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bike/bike_model.h"
#include "zvgen.h"

namespace {

struct mesh_block {
    float shininess, factor, rgb[3];
    std::vector<float> v; // x y z nx ny nz u v
    std::vector<int> t;
};

struct mesh {
    std::vector<mesh_block> blocks;
    // Room for every block up front: builders hold references to earlier blocks.
    mesh() { blocks.reserve(16); }
    mesh_block &block(float s, float r, float g, float b, float k = 1)
    {
        blocks.push_back({s, k, {r, g, b}, {}, {}});
        return blocks.back();
    }
};

const float pi = 3.14159265f;

int vertex(mesh_block &b, float x, float y, float z, float nx, float ny, float nz, float u,
           float v)
{
    float l = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (l > 0)
        nx /= l, ny /= l, nz /= l;
    float a[8] = {x, y, z, nx, ny, nz, u, v};
    b.v.insert(b.v.end(), a, a + 8);
    return (int)(b.v.size() / 8) - 1;
}

void tri(mesh_block &b, int a, int c, int d) { b.t.insert(b.t.end(), {a, c, d}); }

// Axis-aligned box from its centre and half sizes.
void box(mesh_block &b, float cx, float cy, float cz, float hx, float hy, float hz)
{
    static const int faces[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0},
                                    {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const auto &f : faces) {
        float n[3] = {(float)f[0], (float)f[1], (float)f[2]};
        // u lies in the face; w = n x u, so u x w = n and the quads wind outward.
        float u[3] = {n[0] != 0 ? 0.0f : 1.0f, n[0] != 0 ? 1.0f : 0.0f, 0};
        float w[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2],
                      n[0] * u[1] - n[1] * u[0]};
        float h[3] = {hx, hy, hz};
        int base = -1;
        for (int k = 0; k < 4; k++) {
            float su = (k == 1 || k == 2) ? 1.0f : -1.0f, sw = k >= 2 ? 1.0f : -1.0f;
            float p[3];
            for (int c = 0; c < 3; c++)
                p[c] = (n[c] + u[c] * su + w[c] * sw) * h[c];
            int id = vertex(b, cx + p[0], cy + p[1], cz + p[2], n[0], n[1], n[2],
                            (su + 1) / 2, (sw + 1) / 2);
            if (k == 0)
                base = id;
        }
        tri(b, base, base + 1, base + 2);
        tri(b, base, base + 2, base + 3);
    }
}

// Tube of radius r between two points, with caps.
void tube(mesh_block &b, const float a[3], const float e[3], float r, int sides = 10)
{
    float d[3] = {e[0] - a[0], e[1] - a[1], e[2] - a[2]};
    float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len <= 0)
        return;
    for (float &c : d)
        c /= len;
    float ref[3] = {0, 1, 0};
    if (std::fabs(d[1]) > 0.9f)
        ref[0] = 1, ref[1] = 0;
    float p[3] = {d[1] * ref[2] - d[2] * ref[1], d[2] * ref[0] - d[0] * ref[2],
                  d[0] * ref[1] - d[1] * ref[0]};
    float pl = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (float &c : p)
        c /= pl;
    float q[3] = {d[1] * p[2] - d[2] * p[1], d[2] * p[0] - d[0] * p[2], d[0] * p[1] - d[1] * p[0]};
    int base = (int)(b.v.size() / 8);
    for (int s = 0; s <= sides; s++) {
        float ang = 2 * pi * s / sides, cs = std::cos(ang), sn = std::sin(ang);
        float n[3] = {p[0] * cs + q[0] * sn, p[1] * cs + q[1] * sn, p[2] * cs + q[2] * sn};
        for (int end = 0; end < 2; end++) {
            const float *o = end ? e : a;
            vertex(b, o[0] + n[0] * r, o[1] + n[1] * r, o[2] + n[2] * r, n[0], n[1], n[2],
                   (float)s / sides, (float)end);
        }
    }
    for (int s = 0; s < sides; s++) {
        int i0 = base + s * 2;
        tri(b, i0, i0 + 2, i0 + 1);
        tri(b, i0 + 1, i0 + 2, i0 + 3);
    }
    for (int end = 0; end < 2; end++) {
        const float *o = end ? e : a;
        float sg = end ? 1.0f : -1.0f;
        int c = vertex(b, o[0], o[1], o[2], d[0] * sg, d[1] * sg, d[2] * sg, 0.5f, 0.5f);
        int first = (int)(b.v.size() / 8);
        for (int s = 0; s <= sides; s++) {
            float ang = 2 * pi * s / sides, cs = std::cos(ang), sn = std::sin(ang);
            vertex(b, o[0] + (p[0] * cs + q[0] * sn) * r, o[1] + (p[1] * cs + q[1] * sn) * r,
                   o[2] + (p[2] * cs + q[2] * sn) * r, d[0] * sg, d[1] * sg, d[2] * sg,
                   0.5f + 0.5f * cs, 0.5f + 0.5f * sn);
        }
        for (int s = 0; s < sides; s++) {
            if (end)
                tri(b, c, first + s, first + s + 1);
            else
                tri(b, c, first + s + 1, first + s);
        }
    }
}

// Ellipsoid with radii (rx, ry, rz).
void ellipsoid(mesh_block &b, float cx, float cy, float cz, float rx, float ry, float rz,
               int rings = 10, int sides = 14)
{
    int base = (int)(b.v.size() / 8);
    for (int r = 0; r <= rings; r++) {
        float th = pi * r / rings;
        for (int s = 0; s <= sides; s++) {
            float ph = 2 * pi * s / sides;
            float x = std::sin(th) * std::cos(ph), y = std::cos(th), z = std::sin(th) * std::sin(ph);
            vertex(b, cx + rx * x, cy + ry * y, cz + rz * z, x / rx, y / ry, z / rz,
                   (float)s / sides, (float)r / rings);
        }
    }
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < sides; s++) {
            int i0 = base + r * (sides + 1) + s, i1 = i0 + sides + 1;
            // At the poles one of the two triangles has no area.
            if (r > 0)
                tri(b, i0, i0 + 1, i1);
            if (r < rings - 1)
                tri(b, i0 + 1, i1 + 1, i1);
        }
}

// Torus around the x axis (a tyre): ring radius R, tube radius r.
void torus_x(mesh_block &b, float big, float small, int segments, int sides)
{
    int base = (int)(b.v.size() / 8);
    for (int i = 0; i <= segments; i++) {
        float a = 2 * pi * i / segments, ca = std::cos(a), sa = std::sin(a);
        for (int j = 0; j <= sides; j++) {
            float c = 2 * pi * j / sides, cc = std::cos(c), sc = std::sin(c);
            float nx = sc, ny = cc * ca, nz = cc * sa;
            vertex(b, small * nx, (big + small * cc) * ca, (big + small * cc) * sa, nx, ny, nz,
                   (float)i / segments * 8, (float)j / sides);
        }
    }
    for (int i = 0; i < segments; i++)
        for (int j = 0; j < sides; j++) {
            int i0 = base + i * (sides + 1) + j, i1 = i0 + sides + 1;
            tri(b, i0, i1, i0 + 1);
            tri(b, i0 + 1, i1, i1 + 1);
        }
}

int write_mesh(const char *name, const mesh &m)
{
    zvgen_text t = {};
    zvgen_text_printf(&t, "JM1\n");
    for (const auto &b : m.blocks) {
        zvgen_text_printf(&t, "%g %g %g %g %g %d %d\n", b.shininess, b.factor, b.rgb[0], b.rgb[1],
                          b.rgb[2], (int)(b.v.size() / 8), (int)(b.t.size() / 3));
        for (size_t i = 0; i < b.v.size(); i += 8)
            zvgen_text_printf(&t, "%.4f %.4f %.4f %.3f %.3f %.3f %.4f %.4f\n", b.v[i], b.v[i + 1],
                              b.v[i + 2], b.v[i + 3], b.v[i + 4], b.v[i + 5], b.v[i + 6],
                              1 - b.v[i + 7]);
        for (size_t i = 0; i < b.t.size(); i += 3)
            zvgen_text_printf(&t, "%d %d %d\n", b.t[i], b.t[i + 1], b.t[i + 2]);
    }
    // Compressed: the text of a few hundred models would otherwise dominate the data set.
    int ok = zvgen_write_file_gz(name, t.data, t.len);
    zvgen_text_free(&t);
    return ok;
}

int make_wheel(const char *name, float radius, int detail)
{
    mesh m;
    mesh_block &tyre = m.block(4, 0.15f, 0.15f, 0.15f);
    torus_x(tyre, radius - 0.17f, 0.17f, detail * 3, detail / 2 + 4);
    mesh_block &metal = m.block(40, 0.9f, 0.9f, 0.9f);
    torus_x(metal, radius - 0.36f, 0.035f, detail * 3, 6); // rim
    float hub_a[3] = {-0.2f, 0, 0}, hub_b[3] = {0.2f, 0, 0};
    tube(metal, hub_a, hub_b, 0.12f, 10);
    for (int s = 0; s < 18; s++) {
        float a = 2 * pi * s / 18, side = (s % 2) ? 0.15f : -0.15f;
        float in[3] = {side, 0.1f * std::cos(a), 0.1f * std::sin(a)};
        float out[3] = {0, (radius - 0.38f) * std::cos(a + 0.3f), (radius - 0.38f) * std::sin(a + 0.3f)};
        tube(metal, in, out, 0.012f, 3);
    }
    return write_mesh(name, m);
}

struct family_style {
    float tank_scale, seat_len, colour[3];
};

// Bike parts of one family. The frame carries tank, seat, radiator shrouds and engine; the
// proportions change a little from family to family.
int make_family(const char *fam, const family_style &st)
{
    char name[96];
    mesh frame;
    mesh_block &paint = frame.block(24, st.colour[0], st.colour[1], st.colour[2]);
    box(paint, 0, 1.45f, -0.55f, 0.42f * st.tank_scale, 0.22f, 0.5f);     // tank and shrouds
    box(paint, 0, 1.42f, 0.55f + st.seat_len / 2, 0.22f, 0.08f, st.seat_len / 2 + 0.3f); // seat
    box(paint, 0, 1.3f, 1.6f, 0.25f, 0.12f, 0.45f);                          // rear fender
    mesh_block &dark = frame.block(8, 0.2f, 0.2f, 0.2f);
    box(dark, 0, 0.75f, -0.2f, 0.28f, 0.35f, 0.4f);                           // engine
    float f1[3] = {0, 1.35f, -1.1f}, f2[3] = {0, 0.55f, -0.55f}, f3[3] = {0, 0.45f, 0.3f};
    float f4[3] = {0, 1.3f, 0.4f};
    mesh_block &tubes = frame.block(40, 0.7f, 0.7f, 0.75f);
    tube(tubes, f1, f2, 0.06f);
    tube(tubes, f2, f3, 0.06f);
    tube(tubes, f3, f4, 0.06f);
    tube(tubes, f1, f4, 0.06f);
    float ex1[3] = {0.2f, 0.8f, -0.6f}, ex2[3] = {0.3f, 1.2f, 1.3f};
    tube(tubes, ex1, ex2, 0.08f); // exhaust
    snprintf(name, sizeof name, "%s_frame.jm", fam);
    if (!write_mesh(name, frame))
        return 0;

    mesh upper;
    mesh_block &u = upper.block(40, 0.85f, 0.85f, 0.9f);
    for (float x : {-0.3f, 0.3f}) {
        float a[3] = {x, 0.0f, 0}, b[3] = {x, 1.1f, 0};
        tube(u, a, b, 0.09f);
    }
    box(u, 0, 1.0f, 0, 0.36f, 0.06f, 0.12f); // triple clamp
    float bar1[3] = {-0.5f, 1.35f, 0.1f}, bar2[3] = {0.5f, 1.35f, 0.1f};
    tube(u, bar1, bar2, 0.035f);
    snprintf(name, sizeof name, "%s_fork_upper.jm", fam);
    if (!write_mesh(name, upper))
        return 0;

    mesh lower;
    mesh_block &l = lower.block(16, st.colour[0] * 0.5f + 0.3f, st.colour[1] * 0.5f + 0.3f,
                                st.colour[2] * 0.5f + 0.3f);
    // From the axle up; the fender rides above the tyre.
    for (float x : {-0.3f, 0.3f}) {
        float a[3] = {x, 0, 0}, b[3] = {x, 1.0f, 0};
        tube(l, a, b, 0.11f);
    }
    float hub_a[3] = {-0.3f, 0, 0}, hub_b[3] = {0.3f, 0, 0};
    tube(l, hub_a, hub_b, 0.04f, 6); // axle
    box(l, 0, 1.3f, -0.1f, 0.2f, 0.04f, 0.55f); // front fender
    snprintf(name, sizeof name, "%s_fork_lower.jm", fam);
    if (!write_mesh(name, lower))
        return 0;

    mesh arm;
    mesh_block &s = arm.block(40, 0.8f, 0.8f, 0.8f);
    for (float x : {-0.25f, 0.25f}) {
        float a[3] = {x, 0, 0}, b[3] = {x, 0, 1.9f};
        tube(s, a, b, 0.07f);
    }
    float c1[3] = {-0.25f, 0, 0.1f}, c2[3] = {0.25f, 0, 0.1f};
    tube(s, c1, c2, 0.07f);
    snprintf(name, sizeof name, "%s_swingarm.jm", fam);
    if (!write_mesh(name, arm))
        return 0;

    mesh side;
    mesh_block &p = side.block(8, 1, 1, 1);
    box(p, -0.27f, 1.25f, 1.0f, 0.02f, 0.25f, 0.35f);
    box(p, 0.27f, 1.25f, 1.0f, 0.02f, 0.25f, 0.35f);
    snprintf(name, sizeof name, "%s_side_plates.jm", fam);
    if (!write_mesh(name, side))
        return 0;

    mesh front;
    mesh_block &fp = front.block(8, 1, 1, 1);
    box(fp, 0, 1.2f, -0.2f, 0.3f, 0.3f, 0.03f);
    snprintf(name, sizeof name, "%s_front_plate.jm", fam);
    return write_mesh(name, front);
}

// Rider in riding stance: legs to the pegs, torso leaning forward, arms to the bars.
void rider_shape(mesh_block &suit, mesh_block &boots, mesh_block &gloves, bool first_person)
{
    if (!first_person)
        ellipsoid(suit, 0, 2.55f, 0.15f, 0.5f, 0.85f, 0.32f); // torso
    for (float x : {-0.35f, 0.35f}) {
        float hip[3] = {x * 0.7f, 1.9f, 0.45f}, knee[3] = {x * 1.2f, 1.75f, -0.35f};
        float ankle[3] = {x * 1.0f, 0.75f, 0.15f};
        tube(suit, hip, knee, 0.2f);
        tube(suit, knee, ankle, 0.17f);
        box(boots, x, 0.65f, 0.05f, 0.14f, 0.25f, 0.3f);
        float shoulder[3] = {x * 1.25f, 3.1f, -0.15f}, elbow[3] = {x * 1.8f, 2.55f, -0.7f};
        float wrist[3] = {x * 1.45f, 2.4f, -1.35f};
        tube(suit, shoulder, elbow, 0.14f);
        tube(suit, elbow, wrist, 0.12f);
        ellipsoid(gloves, wrist[0], wrist[1], wrist[2], 0.11f, 0.1f, 0.14f, 6, 8);
    }
}

int make_rider(void)
{
    mesh body;
    mesh_block &suit = body.block(6, 0.4f, 0.4f, 0.4f);
    mesh_block *boots, *gloves;
    body.block(10, 0.3f, 0.3f, 0.3f);
    body.block(4, 0.2f, 0.2f, 0.2f);
    boots = &body.blocks[1];
    gloves = &body.blocks[2];
    (void)suit;
    rider_shape(body.blocks[0], *boots, *gloves, false);
    if (!write_mesh("rider_body.jm", body))
        return 0;

    mesh fp;
    fp.block(6, 0.4f, 0.4f, 0.4f);
    fp.block(10, 0.3f, 0.3f, 0.3f);
    fp.block(4, 0.2f, 0.2f, 0.2f);
    rider_shape(fp.blocks[0], fp.blocks[1], fp.blocks[2], true);
    if (!write_mesh("rider_body_fp.jm", fp))
        return 0;

    mesh head;
    mesh_block &shell = head.block(48, 1, 1, 1);
    ellipsoid(shell, 0, 0, 0, 0.42f, 0.45f, 0.48f, 12, 18);
    box(shell, 0, 0.28f, -0.45f, 0.3f, 0.03f, 0.18f); // peak
    box(shell, 0, -0.25f, -0.42f, 0.18f, 0.12f, 0.1f); // chin guard
    mesh_block &goggle = head.block(-2, 0.1f, 0.1f, 0.12f);
    box(goggle, 0, 0.05f, -0.45f, 0.28f, 0.09f, 0.04f);
    if (!write_mesh("rider_head.jm", head))
        return 0;

    mesh plate;
    mesh_block &p = plate.block(8, 1, 1, 1);
    box(p, 0, 0, 0, 0.3f, 0.25f, 0.02f);
    return write_mesh("rider_plate.jm", plate);
}

int make_start_gate(void)
{
    mesh gate;
    mesh_block &post = gate.block(30, 0.7f, 0.7f, 0.7f);
    mesh_block &plate = gate.block(12, 0.9f, 0.9f, 0.9f);
    for (int i = 0; i <= 10; i++) {
        float x = -15.0f + i * 3.0f;
        float a[3] = {x, 0, 0}, b[3] = {x, 2.2f, 0};
        tube(post, a, b, 0.1f, 6);
    }
    float r1[3] = {-15, 2.2f, 0}, r2[3] = {15, 2.2f, 0};
    tube(post, r1, r2, 0.08f, 6);
    for (int i = 0; i < 10; i++)
        box(plate, -13.5f + i * 3.0f, 0.9f, -0.1f, 1.35f, 0.9f, 0.04f);
    return write_mesh("startgate.jm", gate);
}

} // namespace

int zvgen_model(void)
{
    if (!make_wheel("front_wheel.jm", 1.1f, 24) || !make_wheel("rear_wheel.jm", 1.05f, 24) ||
        !make_wheel("front_wheel_lod6.jm", 1.1f, 8) || !make_wheel("rear_wheel_lod6.jm", 1.05f, 8))
        return 0;
    if (!make_rider() || !make_start_gate())
        return 0;
    // Every family named by the bike table, each with its own colours and proportions.
    static const float palette[6][3] = {{0.85f, 0.1f, 0.1f}, {0.1f, 0.55f, 0.15f},
                                        {0.95f, 0.45f, 0.05f}, {0.1f, 0.25f, 0.8f},
                                        {0.9f, 0.8f, 0.1f},  {0.85f, 0.85f, 0.85f}};
    int made = 0;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *bm = bike_model_get(i);
        if (!bm)
            continue;
        char fam[64];
        snprintf(fam, sizeof fam, "%s", bm->files[0][0] == '@' ? bm->files[0] + 1 : bm->files[0]);
        char *tail = strstr(fam, "_frame.jm");
        if (!tail)
            continue;
        *tail = 0;
        char check[96];
        snprintf(check, sizeof check, "%s_frame.jm.gz", fam);
        if (zvgen_find_file(check, nullptr))
            continue;
        family_style st = {0.9f + 0.05f * (made % 4), 0.8f + 0.1f * (made % 3), {}};
        for (int c = 0; c < 3; c++)
            st.colour[c] = palette[made % 6][c];
        if (!make_family(fam, st))
            return 0;
        made++;
    }
    return made > 0;
}
