// Default ".jm" models and their paint: wheels, the parts of every bike family, the rider
// (third-person body skinned over the bike's bodies, first-person body, helmet, back plate) and
// the start gate, with coarser "_lod" levels for the wheels and the rider.
//
// Coordinates are feet; the bike faces -z, +x is the rider's right, y is up. Every part except
// the wheels is modelled in place on the whole bike, from the bike table's geometry, so each part
// sits where its body sits; wheels are modelled around their own axle.
//
// Colour comes from a palette texture: a strip of 16 swatches, and each block's vertices sample
// the middle of its swatch. A colour scheme is then just another strip with the same layout, so
// one model serves every scheme. The block's own colour is its specular colour.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bike/bike.h"
#include "bike/bike_model.h"
#include "zvgen.h"
#include "zvgen_image.h"

namespace {

const float pi = 3.14159265f;
enum { SWATCHES = 16, SWATCH_PX = 8 };

struct vec3 {
    float x, y, z;
};
vec3 operator+(vec3 a, vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
vec3 operator-(vec3 a, vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
vec3 operator*(vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float dot(vec3 a, vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
vec3 cross(vec3 a, vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(vec3 a) {
    return std::sqrt(dot(a, a));
}
vec3 unit(vec3 a) {
    float l = length(a);
    return l > 0 ? a * (1 / l) : vec3{1, 0, 0};
}
vec3 v3(const float *p) {
    return {p[0], p[1], p[2]};
}
vec3 mirror(vec3 a, float side) {
    return {a.x * side, a.y, a.z};
}

// Skinning weights: one per bike body (frame, wheels, forks, swingarm, rider).
struct weights {
    float w[BIKE_BODIES];
};
weights bone(int b) {
    weights r = {};
    r.w[b] = 1;
    return r;
}
weights blend(int a, int b, float t) {
    weights r = {};
    r.w[a] += 1 - t;
    r.w[b] += t;
    return r;
}

struct mesh_block {
    float shininess, factor, rgb[3];
    int swatch;
    std::vector<float> v; // x y z nx ny nz u v
    std::vector<weights> w;
    std::vector<int> t;
    float gloss = 0; // above 0: the surface also mirrors the sky, this strong (chrome, paint)
};

struct mesh {
    std::vector<mesh_block> blocks;
    bool skinned = false;
    // Room for every block up front: builders hold references to earlier blocks.
    mesh() { blocks.reserve(16); }
    // A lit block painted with a swatch; `grey` is the level of its specular colour.
    mesh_block &block(int swatch, float shininess, float grey) {
        blocks.push_back({shininess, 1, {grey, grey, grey}, swatch, {}, {}, {}, 0});
        return blocks.back();
    }
};

// The weights new vertices get (the skinned rider sets it per limb).
weights current_weights = bone(BIKE_FRAME);

int vertex(mesh_block &b, vec3 p, vec3 n) {
    n = unit(n);
    float u = (b.swatch + 0.5f) / (float)SWATCHES;
    float a[8] = {p.x, p.y, p.z, n.x, n.y, n.z, u, 0.5f};
    b.v.insert(b.v.end(), a, a + 8);
    b.w.push_back(current_weights);
    return (int)(b.v.size() / 8) - 1;
}

void tri(mesh_block &b, int a, int c, int d) {
    b.t.insert(b.t.end(), {a, c, d});
}

// A picture quad (number plates): centre c, unit right and up as a viewer in front sees them,
// texture corners (0, 0) top left to (1, 1) bottom right.
void decal(mesh_block &b, vec3 c, vec3 right, vec3 up, float hw, float hh) {
    vec3 n = unit(cross(right, up));
    vec3 corners[4] = {c - right * hw + up * hh, c + right * hw + up * hh, c + right * hw - up * hh,
                       c - right * hw - up * hh};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    int base = (int)(b.v.size() / 8);
    for (int k = 0; k < 4; k++) {
        float a[8] = {corners[k].x, corners[k].y, corners[k].z, n.x, n.y, n.z, uv[k][0], uv[k][1]};
        b.v.insert(b.v.end(), a, a + 8);
        b.w.push_back(current_weights);
    }
    tri(b, base, base + 3, base + 2);
    tri(b, base, base + 2, base + 1);
}

// Box with centre c and half sizes h along the axes ax, ay, az (unit, right-handed).
void obox(mesh_block &b, vec3 c, vec3 h, vec3 ax, vec3 ay, vec3 az) {
    // Mirrored callers may hand a left-handed set: the faces must still wind outward.
    if (dot(cross(ax, ay), az) < 0) az = az * -1;
    vec3 axes[3] = {ax * h.x, ay * h.y, az * h.z};
    for (int f = 0; f < 6; f++) {
        int k = f / 2;
        float s = (f % 2) ? -1.0f : 1.0f;
        vec3 n = axes[k] * s, u = axes[(k + 1) % 3], w = axes[(k + 2) % 3];
        if (s < 0) std::swap(u, w);
        vec3 nn = unit(n);
        int i0 = vertex(b, c + n - u - w, nn);
        vertex(b, c + n + u - w, nn);
        vertex(b, c + n + u + w, nn);
        vertex(b, c + n - u + w, nn);
        tri(b, i0, i0 + 1, i0 + 2);
        tri(b, i0, i0 + 2, i0 + 3);
    }
}

void box(mesh_block &b, vec3 c, vec3 h) {
    obox(b, c, h, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
}

// Box pitched about x by angle (radians; positive lifts its -z end).
void pbox(mesh_block &b, vec3 c, vec3 h, float angle) {
    float cs = std::cos(angle), sn = std::sin(angle);
    obox(b, c, h, {1, 0, 0}, {0, cs, sn}, {0, -sn, cs});
}

// Box from a to b (its long axis), half width hw along x-ish and half height hh.
void beam(mesh_block &b, vec3 a, vec3 e, float hw, float hh) {
    vec3 d = e - a;
    float len = length(d);
    if (len <= 0) return;
    vec3 az = d * (1 / len);
    vec3 ref = std::fabs(az.x) > 0.9f ? vec3{0, 1, 0} : vec3{1, 0, 0};
    vec3 ay = unit(cross(az, ref));
    vec3 ax = cross(ay, az);
    obox(b, (a + e) * 0.5f, {hw, hh, len / 2}, ax, ay, az);
}

// Sides of tubes that do not ask for a number: coarser levels of detail lower it.
int tube_sides = 10;
// Coarse levels are seen from far off, where a mirrored sky is a few pixels: they go without.
bool mirror_sky = true;

// Tube of radius r0 at a and r1 at e, with caps.
void cone(mesh_block &b, vec3 a, vec3 e, float r0, float r1, int sides = tube_sides) {
    vec3 d = e - a;
    if (length(d) <= 0) return;
    d = unit(d);
    vec3 ref = std::fabs(d.y) > 0.9f ? vec3{1, 0, 0} : vec3{0, 1, 0};
    vec3 p = unit(cross(d, ref)), q = cross(d, p);
    int base = (int)(b.v.size() / 8);
    for (int s = 0; s <= sides; s++) {
        float ang = 2 * pi * s / sides;
        vec3 n = p * std::cos(ang) + q * std::sin(ang);
        vertex(b, a + n * r0, n);
        vertex(b, e + n * r1, n);
    }
    for (int s = 0; s < sides; s++) {
        int i0 = base + s * 2;
        tri(b, i0, i0 + 2, i0 + 1);
        tri(b, i0 + 1, i0 + 2, i0 + 3);
    }
    for (int end = 0; end < 2; end++) {
        vec3 o = end ? e : a;
        float r = end ? r1 : r0;
        vec3 n = end ? d : d * -1;
        int c = vertex(b, o, n);
        int first = (int)(b.v.size() / 8);
        for (int s = 0; s <= sides; s++) {
            float ang = 2 * pi * s / sides;
            vertex(b, o + (p * std::cos(ang) + q * std::sin(ang)) * r, n);
        }
        for (int s = 0; s < sides; s++) {
            if (end)
                tri(b, c, first + s, first + s + 1);
            else
                tri(b, c, first + s + 1, first + s);
        }
    }
}

void tube(mesh_block &b, vec3 a, vec3 e, float r, int sides = tube_sides) {
    cone(b, a, e, r, r, sides);
}

// Ellipsoid with centre c and semi-axes along ax, ay, az (lengths are the radii).
void blob(mesh_block &b, vec3 c, vec3 ax, vec3 ay, vec3 az, int rings = 10, int sides = 14) {
    int base = (int)(b.v.size() / 8);
    float lx = length(ax), ly = length(ay), lz = length(az);
    vec3 ux = unit(ax), uy = unit(ay), uz = unit(az);
    for (int r = 0; r <= rings; r++) {
        float th = pi * r / rings;
        for (int s = 0; s <= sides; s++) {
            float ph = 2 * pi * s / sides;
            float x = std::sin(th) * std::cos(ph), y = std::cos(th),
                  z = std::sin(th) * std::sin(ph);
            vec3 p = c + ax * x + ay * y + az * z;
            vec3 n = ux * (x / lx) + uy * (y / ly) + uz * (z / lz);
            vertex(b, p, n);
        }
    }
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < sides; s++) {
            int i0 = base + r * (sides + 1) + s, i1 = i0 + sides + 1;
            // At the poles one of the two triangles has no area.
            if (r > 0) tri(b, i0, i0 + 1, i1);
            if (r < rings - 1) tri(b, i0 + 1, i1 + 1, i1);
        }
}

void ellipsoid(mesh_block &b, vec3 c, float rx, float ry, float rz, int rings = 10,
               int sides = 14) {
    blob(b, c, {rx, 0, 0}, {0, ry, 0}, {0, 0, rz}, rings, sides);
}

// Ring around the x axis with an elliptic section: radius big, half width hw along x, half
// height hh along the radius.
void ring_x(mesh_block &b, float x, float big, float hw, float hh, int segments, int sides) {
    int base = (int)(b.v.size() / 8);
    for (int i = 0; i <= segments; i++) {
        float a = 2 * pi * i / segments, ca = std::cos(a), sa = std::sin(a);
        for (int j = 0; j <= sides; j++) {
            float c = 2 * pi * j / sides, cc = std::cos(c), sc = std::sin(c);
            float rad = big + hh * cc;
            vec3 p = {x + hw * sc, rad * ca, rad * sa};
            vec3 n = {sc / hw, cc * ca / hh, cc * sa / hh};
            vertex(b, p, n);
        }
    }
    for (int i = 0; i < segments; i++)
        for (int j = 0; j < sides; j++) {
            int i0 = base + i * (sides + 1) + j, i1 = i0 + sides + 1;
            tri(b, i0, i1, i0 + 1);
            tri(b, i0 + 1, i1, i1 + 1);
        }
}

// Flat disc around the x axis at x, from radius r0 to r1, both faces.
void disc_x(mesh_block &b, float x, float r0, float r1, int segments) {
    for (int face = 0; face < 2; face++) {
        float s = face ? 1.0f : -1.0f;
        vec3 n = {s, 0, 0};
        int base = (int)(b.v.size() / 8);
        for (int i = 0; i <= segments; i++) {
            float a = 2 * pi * i / segments, ca = std::cos(a), sa = std::sin(a);
            vertex(b, {x + s * 0.01f, r0 * ca, r0 * sa}, n);
            vertex(b, {x + s * 0.01f, r1 * ca, r1 * sa}, n);
        }
        for (int i = 0; i < segments; i++) {
            int i0 = base + i * 2;
            if (face) {
                tri(b, i0, i0 + 1, i0 + 2);
                tri(b, i0 + 1, i0 + 3, i0 + 2);
            } else {
                tri(b, i0, i0 + 2, i0 + 1);
                tri(b, i0 + 1, i0 + 2, i0 + 3);
            }
        }
    }
}

int write_mesh(const char *name, const mesh &m) {
    zvgen_text t = {};
    if (m.skinned)
        zvgen_text_printf(&t, "JM2\n%d bodies\n", BIKE_BODIES);
    else
        zvgen_text_printf(&t, "JM1\n");
    auto write_block = [&](const mesh_block &b, float shininess, float factor) {
        zvgen_text_printf(&t, "%g %g %g %g %g %d %d\n", shininess, factor, b.rgb[0], b.rgb[1],
                          b.rgb[2], (int)(b.v.size() / 8), (int)(b.t.size() / 3));
        for (size_t i = 0; i < b.v.size(); i += 8) {
            zvgen_text_printf(&t, "%.4f %.4f %.4f %.3f %.3f %.3f %.4f %.4f", b.v[i], b.v[i + 1],
                              b.v[i + 2], b.v[i + 3], b.v[i + 4], b.v[i + 5], b.v[i + 6],
                              1 - b.v[i + 7]);
            if (m.skinned)
                for (float w : b.w[i / 8].w)
                    zvgen_text_printf(&t, " %g", w);
            zvgen_text_printf(&t, "\n");
        }
        for (size_t i = 0; i < b.t.size(); i += 3)
            zvgen_text_printf(&t, "%d %d %d\n", b.t[i], b.t[i + 1], b.t[i + 2]);
    };
    for (const auto &b : m.blocks)
        if (!b.t.empty()) write_block(b, b.shininess, b.factor);
    // The reflection copies go last: the lit pass stops at the first of them. White tint, so
    // the sky shows in its own colours, scaled by the gloss.
    for (const auto &b : m.blocks)
        if (!b.t.empty() && b.gloss > 0 && mirror_sky) {
            mesh_block mirror_copy = b;
            mirror_copy.rgb[0] = mirror_copy.rgb[1] = mirror_copy.rgb[2] = 1;
            write_block(mirror_copy, -1, b.gloss);
        }
    // Compressed: the text of a few hundred models would otherwise dominate the data set.
    int ok = zvgen_write_file_gz(name, t.data, t.len);
    zvgen_text_free(&t);
    return ok;
}

// ---- paint ---------------------------------------------------------------------------------

struct rgb {
    float r, g, b;
};

// A palette strip (PNG, or PPM by its name): swatch k fills columns k * SWATCH_PX .. (k + 1) *
// SWATCH_PX - 1.
int write_palette(const char *name, const rgb *colours, int count) {
    zvgen_canvas c;
    zvgen_canvas_init(&c, SWATCHES * SWATCH_PX, SWATCH_PX, {0, 0, 0, 1});
    for (int k = 0; k < count && k < SWATCHES; k++)
        zvgen_canvas_rect(&c, (float)(k * SWATCH_PX), 0, (float)((k + 1) * SWATCH_PX),
                          (float)SWATCH_PX, {colours[k].r, colours[k].g, colours[k].b, 1});
    size_t n = strlen(name);
    int ok = n > 4 && !strcmp(name + n - 4, ".ppm") ? zvgen_canvas_write_ppm(&c, name)
                                                    : zvgen_canvas_write_png(&c, name, 0);
    zvgen_canvas_free(&c);
    return ok;
}

// The ten team colours of the robots' graphics ("plastics_red", "gear_red", "helmet_red" ...).
struct team_colour {
    const char *name;
    rgb main, accent;
};
const team_colour teams[] = {
    {"red", {0.80f, 0.06f, 0.05f}, {0.95f, 0.95f, 0.95f}},
    {"yellow", {0.95f, 0.78f, 0.05f}, {0.10f, 0.10f, 0.12f}},
    {"black", {0.07f, 0.07f, 0.08f}, {0.85f, 0.20f, 0.10f}},
    {"pink", {0.95f, 0.35f, 0.65f}, {0.95f, 0.95f, 0.95f}},
    {"green", {0.35f, 0.80f, 0.10f}, {0.08f, 0.08f, 0.08f}},
    {"purple", {0.45f, 0.15f, 0.70f}, {0.95f, 0.85f, 0.10f}},
    {"teal", {0.05f, 0.60f, 0.60f}, {0.95f, 0.95f, 0.95f}},
    {"blue", {0.08f, 0.25f, 0.80f}, {0.95f, 0.95f, 0.95f}},
    {"orange", {0.98f, 0.42f, 0.02f}, {0.10f, 0.10f, 0.12f}},
    {"white", {0.92f, 0.92f, 0.92f}, {0.10f, 0.25f, 0.75f}},
};

// Bike swatches.
enum {
    SW_PLASTIC,
    SW_ACCENT,
    SW_FRAME,
    SW_FORK_TUBE,
    SW_FORK_LEG,
    SW_SWINGARM,
    SW_ENGINE,
    SW_PIPE,
    SW_SEAT,
    SW_PLATE,
    SW_BLACK,
    SW_CHROME,
    SW_RADIATOR,
    SW_SILENCER,
    SW_SPRING,
    SW_NUMBER,
};

int write_bike_paint(const char *name, rgb main, rgb accent, rgb frame) {
    rgb c[SWATCHES] = {};
    c[SW_PLASTIC] = main;
    c[SW_ACCENT] = accent;
    c[SW_FRAME] = frame;
    c[SW_FORK_TUBE] = {0.78f, 0.62f, 0.22f};
    c[SW_FORK_LEG] = {0.12f, 0.12f, 0.13f};
    c[SW_SWINGARM] = {0.72f, 0.73f, 0.75f};
    c[SW_ENGINE] = {0.30f, 0.31f, 0.33f};
    c[SW_PIPE] = {0.55f, 0.45f, 0.35f};
    c[SW_SEAT] = {0.06f, 0.06f, 0.07f};
    c[SW_PLATE] = {0.95f, 0.95f, 0.95f};
    c[SW_BLACK] = {0.05f, 0.05f, 0.05f};
    c[SW_CHROME] = {0.85f, 0.86f, 0.88f};
    c[SW_RADIATOR] = {0.15f, 0.15f, 0.16f};
    c[SW_SILENCER] = {0.62f, 0.63f, 0.66f};
    c[SW_SPRING] = accent;
    c[SW_NUMBER] = {0.05f, 0.05f, 0.05f};
    return write_palette(name, c, SWATCHES);
}

enum { WH_TYRE, WH_RIM, WH_HUB, WH_SPOKE, WH_DISC, WH_SPROCKET };

int write_wheel_paint(const char *name, rgb rim) {
    rgb c[SWATCHES] = {};
    c[WH_TYRE] = {0.07f, 0.07f, 0.07f};
    c[WH_RIM] = rim;
    c[WH_HUB] = {0.60f, 0.61f, 0.63f};
    c[WH_SPOKE] = {0.75f, 0.76f, 0.78f};
    c[WH_DISC] = {0.55f, 0.55f, 0.58f};
    c[WH_SPROCKET] = {0.25f, 0.25f, 0.27f};
    return write_palette(name, c, SWATCHES);
}

enum {
    RB_JERSEY,
    RB_JERSEY_ACCENT,
    RB_PANTS,
    RB_PANTS_ACCENT,
    RB_BOOTS,
    RB_BOOT_TRIM,
    RB_GLOVES,
    RB_PLATE,
    RB_NECK
};

int write_body_paint(const char *name, rgb main, rgb accent) {
    rgb c[SWATCHES] = {};
    c[RB_JERSEY] = main;
    c[RB_JERSEY_ACCENT] = accent;
    c[RB_PANTS] = {main.r * 0.7f + 0.05f, main.g * 0.7f + 0.05f, main.b * 0.7f + 0.05f};
    c[RB_PANTS_ACCENT] = accent;
    c[RB_BOOTS] = {0.90f, 0.90f, 0.90f};
    c[RB_BOOT_TRIM] = {0.08f, 0.08f, 0.08f};
    c[RB_GLOVES] = accent;
    c[RB_PLATE] = {0.95f, 0.95f, 0.95f};
    c[RB_NECK] = {0.10f, 0.10f, 0.10f};
    return write_palette(name, c, SWATCHES);
}

enum { HD_SHELL, HD_ACCENT, HD_GOGGLE, HD_LENS, HD_STRAP };

int write_head_paint(const char *name, rgb main, rgb accent) {
    rgb c[SWATCHES] = {};
    c[HD_SHELL] = main;
    c[HD_ACCENT] = accent;
    c[HD_GOGGLE] = {0.95f, 0.95f, 0.95f};
    c[HD_LENS] = {0.20f, 0.35f, 0.55f};
    c[HD_STRAP] = accent;
    return write_palette(name, c, SWATCHES);
}

// ---- wheels --------------------------------------------------------------------------------

// Knobs and spokes are for the full and middle levels; the tread knobs only up close.
int make_wheel(const char *name, float outer, bool front, int detail, bool knobbed) {
    mesh m;
    const float tread = 0.15f;                  // tyre section half height
    const float centre = outer - tread - 0.04f; // leaves room for the knobs
    mesh_block &tyre = m.block(WH_TYRE, 6, 0.08f);
    ring_x(tyre, 0, centre, front ? 0.17f : 0.21f, tread, detail * 3, detail / 3 + 5);
    if (knobbed) {
        // Knobs: two staggered rows around the tread.
        int knobs = 40;
        for (int k = 0; k < knobs; k++) {
            float a = 2 * pi * (k + 0.5f * (k % 2)) / knobs;
            for (float x : {-0.09f, 0.09f}) {
                float r = centre + tread + 0.02f;
                vec3 radial = {0, std::cos(a + x), std::sin(a + x)};
                vec3 tang = {0, -radial.z, radial.y};
                obox(tyre, vec3{x, 0, 0} + radial * r, {0.055f, 0.05f, 0.045f}, {1, 0, 0}, radial,
                     tang);
            }
        }
    }
    mesh_block &rim = m.block(WH_RIM, 40, 0.7f);
    ring_x(rim, 0, centre - tread - 0.02f, 0.13f, 0.04f, detail * 3, 6);
    mesh_block &hub = m.block(WH_HUB, 30, 0.5f);
    tube(hub, {-0.22f, 0, 0}, {0.22f, 0, 0}, 0.13f, detail >= 16 ? 12 : 6);
    if (detail >= 16) {
        mesh_block &spokes = m.block(WH_SPOKE, 40, 0.6f);
        for (int s = 0; s < 32; s++) {
            float a = 2 * pi * s / 32, side = (s % 2) ? 0.16f : -0.16f;
            vec3 in = {side, 0.12f * std::cos(a), 0.12f * std::sin(a)};
            float r = centre - tread - 0.05f;
            vec3 out = {side * 0.2f, r * std::cos(a + 0.35f), r * std::sin(a + 0.35f)};
            tube(spokes, in, out, 0.012f, 3);
        }
    }
    mesh_block &disc = m.block(WH_DISC, 30, 0.5f);
    disc_x(disc, -0.26f, 0.15f, front ? 0.45f : 0.38f, detail * 2);
    if (!front) {
        mesh_block &sprocket = m.block(WH_SPROCKET, 20, 0.3f);
        disc_x(sprocket, 0.27f, 0.15f, 0.42f, detail * 2);
    }
    return write_mesh(name, m);
}

// ---- bike parts ----------------------------------------------------------------------------

struct family_shape {
    float tank_width; // tank and shroud half width
    bool two_stroke;  // expansion chamber and a slim silencer, else header and fat silencer
};

// The parts of one family; lod is "" for the full models, or the "_lod<d>" of a coarser level
// (made with fewer tube sides).
int make_family(const char *fam, const bike_model *bm, const family_shape &st, const char *lod) {
    const bike_geometry &g = bm->geo;
    char name[96];
    vec3 head = v3(g.fork_upper_pos), lower = v3(g.fork_lower_pos);
    vec3 axis = unit(head - lower); // the steering axis, up and back
    vec3 pivot = v3(g.swingarm_pivot), rear = v3(g.rear_wheel_pos), front = v3(g.front_wheel_pos);
    vec3 frame_c = v3(g.frame_pos);

    // Frame: twin spars from the steering head over the engine to the swingarm pivot, cradle
    // tubes under the engine, subframe under the seat; engine, plastics, seat, exhaust.
    mesh frame;
    mesh_block &tubes = frame.block(SW_FRAME, 30, 0.5f);
    tubes.gloss = 0.25f;
    vec3 head_top = head + axis * 0.35f, head_low = head - axis * 0.35f;
    tube(tubes, head_low, head_top, 0.12f);
    for (float s : {-1.0f, 1.0f}) {
        vec3 spar_mid = mirror({0.38f, 2.7f, 3.25f}, s),
             spar_end = mirror({0.38f, 1.75f, 4.05f}, s);
        beam(tubes, head + mirror({0.1f, 0.05f, 0.1f}, s), spar_mid, 0.07f, 0.16f);
        beam(tubes, spar_mid, spar_end, 0.07f, 0.16f);
        vec3 down = head_low + mirror({0.12f, -0.1f, 0.05f}, s);
        vec3 cradle_f = mirror({0.22f, 0.85f, 2.75f}, s),
             cradle_r = mirror({0.22f, 0.78f, 3.85f}, s);
        tube(tubes, down, cradle_f, 0.065f);
        tube(tubes, cradle_f, cradle_r, 0.065f);
        tube(tubes, cradle_r, spar_end, 0.065f);
        vec3 sub_top = mirror({0.25f, 3.0f, 5.55f}, s);
        tube(tubes, mirror({0.35f, 2.55f, 3.75f}, s), sub_top, 0.05f);
        tube(tubes, spar_end + mirror({0, 0.25f, 0.1f}, 1), sub_top, 0.045f);
    }
    mesh_block &engine = frame.block(SW_ENGINE, 20, 0.35f);
    box(engine, {0, 1.35f, 3.35f}, {0.28f, 0.42f, 0.52f});        // crankcase
    pbox(engine, {0, 2.0f, 3.0f}, {0.22f, 0.35f, 0.26f}, -0.35f); // cylinder
    pbox(engine, {0, 2.42f, 2.88f}, {0.26f, 0.1f, 0.3f}, -0.35f); // head
    box(engine, {-0.3f, 1.3f, 3.35f}, {0.04f, 0.3f, 0.32f});      // cover
    mesh_block &plastic = frame.block(SW_PLASTIC, 24, 0.45f);
    plastic.gloss = 0.18f;
    float tw = st.tank_width;
    pbox(plastic, {0, 3.12f, 3.0f}, {tw * 0.8f, 0.25f, 0.5f}, 0.12f); // tank
    for (float s : {-1.0f, 1.0f}) {
        // Radiator shrouds flaring forward of the knees.
        obox(plastic, mirror({tw, 2.82f, 2.7f}, s), {0.045f, 0.42f, 0.52f},
             unit(mirror({1, 0, 0.25f}, s)), {0, 1, 0}, unit(mirror({-0.25f, 0, 1}, s)));
    }
    pbox(plastic, {0, 3.08f, 5.95f}, {0.24f, 0.035f, 0.8f}, -0.22f); // rear fender
    pbox(plastic, {0, 2.55f, 4.6f}, {0.3f, 0.3f, 0.35f}, 0);         // air box cover
    mesh_block &accent = frame.block(SW_ACCENT, 24, 0.45f);
    for (float s : {-1.0f, 1.0f})
        obox(accent, mirror({tw + 0.05f, 2.95f, 2.65f}, s), {0.01f, 0.12f, 0.38f},
             unit(mirror({1, 0, 0.25f}, s)), {0, 1, 0}, unit(mirror({-0.25f, 0, 1}, s)));
    mesh_block &rad = frame.block(SW_RADIATOR, 8, 0.1f);
    for (float s : {-1.0f, 1.0f})
        box(rad, mirror({0.3f, 2.55f, 2.72f}, s), {0.08f, 0.38f, 0.3f});
    mesh_block &seat = frame.block(SW_SEAT, 6, 0.15f);
    pbox(seat, {0, 3.3f, 4.45f}, {0.26f, 0.1f, 1.1f}, -0.05f);
    mesh_block &pipe = frame.block(SW_PIPE, 30, 0.5f);
    mesh_block &silencer = frame.block(SW_SILENCER, 40, 0.6f);
    pipe.gloss = 0.4f;
    silencer.gloss = 0.5f;
    if (st.two_stroke) {
        // Expansion chamber under the tank, out to the right.
        vec3 p0 = {0, 1.95f, 2.55f}, p1 = {0.2f, 1.25f, 2.35f}, p2 = {0.4f, 1.35f, 3.1f},
             p3 = {0.38f, 2.3f, 4.1f};
        cone(pipe, p0, p1, 0.09f, 0.14f);
        cone(pipe, p1, p2, 0.14f, 0.2f);
        cone(pipe, p2, p3, 0.2f, 0.08f);
        cone(silencer, {0.36f, 2.4f, 4.3f}, {0.4f, 2.85f, 5.6f}, 0.12f, 0.11f);
    } else {
        vec3 p0 = {0.1f, 2.1f, 2.65f}, p1 = {0.3f, 1.55f, 2.5f}, p2 = {0.4f, 1.6f, 3.3f},
             p3 = {0.38f, 2.4f, 4.3f};
        tube(pipe, p0, p1, 0.08f);
        tube(pipe, p1, p2, 0.08f);
        tube(pipe, p2, p3, 0.08f);
        cone(silencer, {0.38f, 2.4f, 4.3f}, {0.42f, 2.9f, 5.7f}, 0.17f, 0.15f);
    }
    mesh_block &black = frame.block(SW_BLACK, 10, 0.2f);
    for (float s : {-1.0f, 1.0f}) {
        vec3 peg = frame_c + mirror(v3(bm->rider.foot_peg[s > 0 ? 1 : 0]), 1);
        box(black, peg + vec3{0, -0.05f, 0}, {0.18f, 0.04f, 0.09f});
    }
    // Side number plate boards over the airbox; the numbers are the side plates model.
    mesh_block &boards = frame.block(SW_PLATE, 12, 0.3f);
    for (float sx : {-1.0f, 1.0f})
        pbox(boards, {sx * 0.36f, 2.95f, 4.95f}, {0.035f, 0.3f, 0.5f}, -0.1f);
    mesh_block &spring = frame.block(SW_SPRING, 30, 0.5f);
    tube(spring, {0, 2.6f, 4.1f}, {0, 1.7f, 4.5f}, 0.13f, 10); // rear shock
    snprintf(name, sizeof name, "%s_frame%s.jm", fam, lod);
    if (!write_mesh(name, frame)) return 0;

    // Upper fork: outer tubes along the steering axis, clamps, bars, front fender.
    mesh upper;
    mesh_block &u = upper.block(SW_FORK_TUBE, 40, 0.7f);
    u.gloss = 0.5f;
    float half = g.fork_spacing / 2;
    for (float s : {-1.0f, 1.0f})
        tube(u, head + axis * 0.5f + vec3{s * half, 0, 0},
             head - axis * 1.0f + vec3{s * half, 0, 0}, 0.14f, tube_sides + 2);
    mesh_block &clamps = upper.block(SW_CHROME, 40, 0.7f);
    clamps.gloss = 0.6f;
    for (float at : {0.45f, -0.25f})
        obox(clamps, head + axis * at, {half + 0.15f, 0.07f, 0.18f}, {1, 0, 0}, axis,
             unit(cross({1, 0, 0}, axis)));
    mesh_block &bars = upper.block(SW_BLACK, 30, 0.5f);
    vec3 top = head + axis * 0.55f;
    for (int s = 0; s < 2; s++) {
        float sx = s ? 1.0f : -1.0f;
        vec3 grip = head + v3(bm->rider.grip[s]);
        vec3 rise = top + vec3{sx * 0.2f, 0.22f, 0.05f};
        vec3 bend = grip + vec3{-sx * 0.45f, -0.12f, -0.2f};
        tube(clamps, top + vec3{sx * 0.2f, 0, 0}, rise, 0.06f, 8);
        tube(clamps, rise, bend, 0.045f, 8);
        tube(clamps, bend, grip + vec3{-sx * 0.2f, -0.04f, -0.07f}, 0.045f, 8);
        tube(bars, grip + vec3{-sx * 0.2f, -0.04f, -0.07f}, grip + vec3{sx * 0.12f, 0.02f, 0.04f},
             0.07f, 8);
        box(bars, grip + vec3{-sx * 0.3f, 0.05f, -0.15f}, {0.1f, 0.03f, 0.12f}); // lever
    }
    cone(bars, top + vec3{0, 0.1f, 0}, top + vec3{0, 0.22f, -0.03f}, 0.11f, 0.1f); // bar pad
    mesh_block &fender = upper.block(SW_PLASTIC, 24, 0.45f);
    fender.gloss = 0.18f;
    vec3 fc = head - axis * 0.42f + vec3{0, -0.06f, 0};
    pbox(fender, fc + vec3{0, 0, -0.5f}, {0.23f, 0.03f, 0.55f}, -0.28f);
    pbox(fender, fc + vec3{0, -0.12f, 0.45f}, {0.22f, 0.03f, 0.45f}, 0.45f);
    // Front number plate board in front of the bars; the number is the front plate model.
    vec3 pc = head + axis * 0.35f + vec3{0, 0.05f, -0.42f};
    vec3 pz = unit(cross({1, 0, 0}, axis)); // back and down, off the board's face
    mesh_block &board = upper.block(SW_PLATE, 12, 0.3f);
    obox(board, pc, {0.36f, 0.34f, 0.03f}, {1, 0, 0}, axis, pz);
    snprintf(name, sizeof name, "%s_fork_upper%s.jm", fam, lod);
    if (!write_mesh(name, upper)) return 0;

    // Lower fork: inner tubes up from the axle, leg guards, axle lugs, brake caliper.
    mesh lowm;
    mesh_block &inner = lowm.block(SW_FORK_LEG, 40, 0.6f);
    inner.gloss = 0.6f;
    mesh_block &guard = lowm.block(SW_PLASTIC, 24, 0.45f);
    for (float s : {-1.0f, 1.0f}) {
        vec3 foot = front + vec3{s * half, 0, 0} - axis * 0.12f;
        tube(inner, foot, foot + axis * 1.7f, 0.1f, tube_sides + 2);
        box(inner, front + vec3{s * half, 0, 0}, {0.08f, 0.12f, 0.12f});
        obox(guard, foot + axis * 0.6f + vec3{0, 0, -0.12f}, {0.09f, 0.55f, 0.04f}, {1, 0, 0}, axis,
             unit(cross({1, 0, 0}, axis)));
    }
    tube(inner, front + vec3{-half, 0, 0}, front + vec3{half, 0, 0}, 0.05f, 6); // axle
    box(inner, front + vec3{-half + 0.1f, 0.3f, 0.25f}, {0.06f, 0.12f, 0.15f}); // caliper
    snprintf(name, sizeof name, "%s_fork_lower%s.jm", fam, lod);
    if (!write_mesh(name, lowm)) return 0;

    // Swingarm: two arms from the pivot to the axle, cross member, chain.
    mesh arm;
    mesh_block &s = arm.block(SW_SWINGARM, 40, 0.6f);
    s.gloss = 0.3f;
    for (float sx : {-1.0f, 1.0f}) {
        vec3 a = pivot + vec3{sx * 0.36f, 0, 0}, b = rear + vec3{sx * 0.36f, 0, 0};
        beam(s, a, a + (b - a) * 0.55f, 0.06f, 0.16f);
        beam(s, a + (b - a) * 0.55f, b + unit(b - a) * 0.15f, 0.05f, 0.11f);
    }
    beam(s, pivot + vec3{-0.36f, 0, 0.25f}, pivot + vec3{0.36f, 0, 0.25f}, 0.12f, 0.1f);
    tube(s, pivot + vec3{-0.45f, 0, 0}, pivot + vec3{0.45f, 0, 0}, 0.06f, 8);
    mesh_block &chain = arm.block(SW_BLACK, 10, 0.2f);
    vec3 sprocket = {0.3f, 1.5f, 3.6f};
    beam(chain, sprocket + vec3{0, 0.2f, 0}, rear + vec3{0.3f, 0.4f, 0}, 0.025f, 0.03f);
    beam(chain, sprocket + vec3{0, -0.2f, 0}, rear + vec3{0.3f, -0.4f, 0}, 0.025f, 0.03f);
    snprintf(name, sizeof name, "%s_swingarm%s.jm", fam, lod);
    if (!write_mesh(name, arm)) return 0;

    if (lod[0]) return 1; // plates are flat boxes: nothing to save
    // The numbers: picture quads just off the boards, painted with the rider's number plate.
    mesh side;
    mesh_block &num = side.block(SW_NUMBER, 8, 0.2f);
    for (float sx : {-1.0f, 1.0f}) {
        float a = -0.1f;
        vec3 up = {0, std::cos(a), std::sin(a)}, n = {sx, 0, 0};
        decal(num, {sx * 0.398f, 2.95f, 4.95f}, unit(cross(up, n)), up, 0.3f, 0.27f);
    }
    snprintf(name, sizeof name, "%s_side_plates.jm", fam);
    if (!write_mesh(name, side)) return 0;

    mesh frontm;
    mesh_block &fn = frontm.block(SW_NUMBER, 8, 0.2f);
    vec3 out = pz * -1;
    decal(fn, pc + out * 0.036f, unit(cross(axis, out)), axis, 0.3f, 0.28f);
    snprintf(name, sizeof name, "%s_front_plate.jm", fam);
    return write_mesh(name, frontm);
}

// ---- rider ---------------------------------------------------------------------------------

// The rider's pose points on the whole bike, from the bike table's limb points.
struct rider_pose {
    vec3 shoulder[2], elbow[2], grip[2], hip[2], knee[2], ankle[2], peg[2], head, neck;
};

rider_pose pose_of(const bike_model *bm) {
    const bike_geometry &g = bm->geo;
    const bike_rider_points &r = bm->rider;
    rider_pose p;
    vec3 rc = v3(g.rider_pos), fc = v3(g.frame_pos), uc = v3(g.fork_upper_pos);
    for (int s = 0; s < 2; s++) {
        float sx = s ? 1.0f : -1.0f;
        p.shoulder[s] = rc + v3(r.shoulder[s]);
        p.grip[s] = uc + v3(r.grip[s]);
        p.hip[s] = rc + v3(r.hip[s]);
        p.knee[s] = fc + v3(r.knee[s]);
        p.peg[s] = fc + v3(r.foot_peg[s]);
        p.ankle[s] = p.peg[s] + vec3{0, 0.28f, 0.12f};
        // Elbows out and up, as a rider attacks the track.
        p.elbow[s] = (p.shoulder[s] + p.grip[s]) * 0.5f + vec3{sx * 0.45f, 0.12f, 0.12f};
    }
    // The helmet sits on the neck over the shoulders; the table's head point (a little higher
    // and further back) is the head's collision centre, not where a rider's head looks right.
    vec3 chest = (p.shoulder[0] + p.shoulder[1]) * 0.5f;
    p.head = chest + vec3{0, 0.66f, -0.12f};
    p.neck = chest + vec3{0, 0.3f, -0.06f};
    (void)r.head;
    return p;
}

// Adds a limb segment whose weights blend from bone a at its start to bone b at its end.
void limb(mesh_block &blk, vec3 s, vec3 e, float r0, float r1, int a, int b, int sides) {
    size_t first = blk.w.size();
    cone(blk, s, e, r0, r1, sides);
    vec3 d = e - s;
    float len2 = dot(d, d);
    for (size_t i = first; i < blk.w.size(); i++) {
        vec3 p = {blk.v[i * 8], blk.v[i * 8 + 1], blk.v[i * 8 + 2]};
        float t = len2 > 0 ? dot(p - s, d) / len2 : 0;
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        blk.w[i] = blend(a, b, t);
    }
}

// The board between the shoulder blades that carries the rider's number: its centre, up and
// outward (backward) directions.
void back_board(const rider_pose &p, vec3 *c, vec3 *up, vec3 *back) {
    vec3 chest = (p.shoulder[0] + p.shoulder[1]) * 0.5f;
    vec3 hips = (p.hip[0] + p.hip[1]) * 0.5f;
    *up = unit(chest - hips);
    *back = unit(cross({1, 0, 0}, *up));
    *c = hips + (chest - hips) * 0.62f + *back * 0.36f;
}

int make_rider_body(const char *name, const bike_model *bm, bool first_person, int detail) {
    rider_pose p = pose_of(bm);
    mesh m;
    m.skinned = true;
    int sides = detail >= 10 ? 12 : detail >= 8 ? 8 : 6;
    mesh_block &jersey = m.block(RB_JERSEY, 4, 0.1f);
    mesh_block &accent = m.block(RB_JERSEY_ACCENT, 4, 0.1f);
    mesh_block &pants = m.block(RB_PANTS, 4, 0.1f);
    mesh_block &boots = m.block(RB_BOOTS, 16, 0.3f);
    mesh_block &trim = m.block(RB_BOOT_TRIM, 8, 0.2f);
    mesh_block &gloves = m.block(RB_GLOVES, 6, 0.1f);
    mesh_block &neck = m.block(RB_NECK, 6, 0.1f);
    vec3 hips = (p.hip[0] + p.hip[1]) * 0.5f;
    vec3 chest = (p.shoulder[0] + p.shoulder[1]) * 0.5f;
    vec3 spine = chest - hips;
    vec3 up = unit(spine), side = {1, 0, 0}, fwd = unit(cross(side, up)); // points back
    current_weights = bone(BIKE_RIDER);
    if (!first_person) {
        // Torso leaning over the bars, chest protector bulge, shoulders.
        blob(jersey, hips + spine * 0.55f, side * 0.58f, up * (length(spine) * 0.62f), fwd * 0.42f,
             detail, detail + 4);
        blob(accent, hips + spine * 0.6f + fwd * -0.14f, side * 0.46f, up * (length(spine) * 0.45f),
             fwd * 0.34f, detail / 2 + 3, detail);
        blob(pants, hips + vec3{0, 0.05f, 0.05f}, side * 0.45f, up * 0.35f, fwd * 0.38f,
             detail / 2 + 3, detail);
        tube(neck, chest, p.neck, 0.16f, sides);
        vec3 bc, bu, bb;
        back_board(p, &bc, &bu, &bb);
        mesh_block &board = m.block(RB_PLATE, 8, 0.2f);
        obox(board, bc, {0.27f, 0.25f, 0.02f}, {1, 0, 0}, bu, bb);
        for (int s = 0; s < 2; s++)
            ellipsoid(jersey, p.shoulder[s], 0.22f, 0.2f, 0.22f, detail / 2 + 3, detail);
    }
    for (int s = 0; s < 2; s++) {
        // Arms: upper arm on the rider, forearm handing over to the bars, glove on the grip.
        if (!first_person) {
            limb(jersey, p.shoulder[s], p.elbow[s], 0.17f, 0.14f, BIKE_RIDER, BIKE_RIDER, sides);
            ellipsoid(jersey, p.elbow[s], 0.14f, 0.14f, 0.14f, 4, sides);
        }
        limb(jersey, p.elbow[s], p.grip[s], 0.14f, 0.11f, BIKE_RIDER, BIKE_FORK_UPPER, sides);
        current_weights = bone(BIKE_FORK_UPPER);
        ellipsoid(gloves, p.grip[s] + vec3{0, 0.02f, 0}, 0.12f, 0.1f, 0.13f, 6, 8);
        // Legs: thigh from the hip to the knee, shin to the boot on the peg.
        limb(pants, p.hip[s], p.knee[s], 0.24f, 0.17f, BIKE_RIDER, BIKE_FRAME, sides);
        current_weights = bone(BIKE_FRAME);
        ellipsoid(pants, p.knee[s], 0.17f, 0.17f, 0.17f, 4, sides);
        limb(boots, p.knee[s] + (p.ankle[s] - p.knee[s]) * 0.3f, p.ankle[s], 0.16f, 0.14f,
             BIKE_FRAME, BIKE_FRAME, sides);
        limb(pants, p.knee[s], p.knee[s] + (p.ankle[s] - p.knee[s]) * 0.3f, 0.16f, 0.16f,
             BIKE_FRAME, BIKE_FRAME, sides);
        box(boots, p.peg[s] + vec3{0, 0.1f, -0.12f}, {0.13f, 0.12f, 0.36f});  // foot
        box(trim, p.peg[s] + vec3{0, -0.04f, -0.12f}, {0.14f, 0.03f, 0.38f}); // sole
        for (float at : {0.35f, 0.65f})
            tube(trim, p.knee[s] + (p.ankle[s] - p.knee[s]) * at + vec3{-0.17f, 0, 0},
                 p.knee[s] + (p.ankle[s] - p.knee[s]) * at + vec3{0.17f, 0, 0}, 0.02f, 4);
        current_weights = bone(BIKE_RIDER);
    }
    current_weights = bone(BIKE_FRAME);
    return write_mesh(name, m);
}

int make_rider(const bike_model *bm) {
    if (!make_rider_body("rider_body.jm", bm, false, 12) ||
        !make_rider_body("rider_body_lod5.jm", bm, false, 8) ||
        !make_rider_body("rider_body_lod6.jm", bm, false, 6) ||
        !make_rider_body("rider_body_fp.jm", bm, true, 12))
        return 0;

    // Helmet in place over the rider body: shell, visor peak, chin bar, goggles.
    rider_pose p = pose_of(bm);
    vec3 h = p.head;
    mesh head;
    mesh_block &shell = head.block(HD_SHELL, 48, 0.8f);
    shell.gloss = 0.2f;
    ellipsoid(shell, h, 0.4f, 0.42f, 0.47f, 12, 18);
    mesh_block &accent = head.block(HD_ACCENT, 48, 0.8f);
    pbox(accent, h + vec3{0, 0.3f, -0.5f}, {0.3f, 0.025f, 0.25f}, 0.25f);    // peak
    pbox(accent, h + vec3{0, -0.25f, -0.4f}, {0.2f, 0.13f, 0.14f}, -0.3f);   // chin bar
    ellipsoid(accent, h + vec3{0, 0.12f, 0.02f}, 0.41f, 0.2f, 0.48f, 6, 14); // stripe band
    mesh_block &goggle = head.block(HD_GOGGLE, 20, 0.4f);
    box(goggle, h + vec3{0, 0.05f, -0.42f}, {0.3f, 0.11f, 0.06f});
    mesh_block &lens = head.block(HD_LENS, 80, 1.0f);
    lens.gloss = 0.5f;
    box(lens, h + vec3{0, 0.05f, -0.48f}, {0.25f, 0.08f, 0.02f});
    if (!write_mesh("rider_head.jm", head)) return 0;

    // The number on the back, just off the board the body carries.
    mesh plate;
    mesh_block &pl = plate.block(RB_PLATE, 8, 0.2f);
    vec3 c, up, back;
    back_board(p, &c, &up, &back);
    decal(pl, c + back * 0.025f, unit(cross(up, back)), up, 0.24f, 0.22f);
    return write_mesh("rider_plate.jm", plate);
}

// A shape file: one line per sphere, centre, radius, friction, spring, damping.
int write_shape(const char *name, const std::vector<std::array<float, 4>> &spheres, float friction,
                float spring, float damping) {
    zvgen_text t = {};
    zvgen_text_printf(&t, "%d\n", (int)spheres.size());
    for (const auto &s : spheres)
        zvgen_text_printf(&t, "%g %g %g %g %g %g %g\n", s[0], s[1], s[2], s[3], friction, spring,
                          damping);
    return zvgen_text_write(&t, name);
}

// One bay of the starting gate per slot: a board 3 ft wide and 2 ft high on a hinge at its foot.
// The riders wait on its +z side; it falls away from them (toward -z).
int make_start_gate(void) {
    mesh gate;
    mesh_block &post = gate.block(SW_FRAME, 30, 0.5f);
    mesh_block &plate = gate.block(SW_PLASTIC, 12, 0.3f);
    mesh_block &trim = gate.block(SW_ACCENT, 12, 0.3f);
    tube(post, {-1.6f, 0.05f, 0}, {1.6f, 0.05f, 0}, 0.07f, 6); // hinge bar
    box(plate, {0, 1.0f, 0}, {1.45f, 0.95f, 0.05f});
    box(trim, {0, 1.85f, 0.01f}, {1.5f, 0.12f, 0.06f});
    // The board's frame: side tubes and a brace behind it.
    for (float x : {-1.5f, 1.5f})
        tube(post, {x, 0.05f, 0.08f}, {x, 1.95f, 0.08f}, 0.06f, 8);
    tube(post, {-1.5f, 1.0f, 0.1f}, {1.5f, 1.0f, 0.1f}, 0.05f, 8);
    if (!write_mesh("startgate.jm", gate)) return 0;
    std::vector<std::array<float, 4>> sp;
    for (float y : {0.35f, 1.05f, 1.6f})
        for (int i = 0; i < 5; i++)
            sp.push_back({-1.2f + 0.6f * i, y, 0, 0.35f});
    if (!write_shape("startgate.shp", sp, 0.6f, 10000, 500)) return 0;
    // Named as the gates expect their default picture.
    return write_bike_paint("startgate.ppm", {0.95f, 0.95f, 0.95f}, {0.8f, 0.1f, 0.1f},
                            {0.5f, 0.5f, 0.52f});
}

// Trackside statues: a hay bale, a plastic tuff block and a wall of stacked tires, each with its
// collision shape and palette.
int make_track_statues(void) {
    mesh bale;
    mesh_block &straw = bale.block(SW_PLASTIC, 4, 0.05f);
    mesh_block &twine = bale.block(SW_ACCENT, 4, 0.05f);
    box(straw, {0, 0.8f, 0}, {2.0f, 0.8f, 0.9f});
    for (float x : {-1.0f, 1.0f})
        box(twine, {x, 0.8f, 0}, {0.04f, 0.82f, 0.92f});
    if (!write_mesh("tracks/pinehollow/haybale.jm", bale) ||
        !write_bike_paint("tracks/pinehollow/haybale.png", {0.86f, 0.74f, 0.38f},
                          {0.45f, 0.3f, 0.15f}, {0.5f, 0.4f, 0.2f}))
        return 0;
    std::vector<std::array<float, 4>> sp;
    for (int i = 0; i < 5; i++)
        sp.push_back({-1.6f + 0.8f * i, 0.8f, 0, 0.85f});
    if (!write_shape("tracks/pinehollow/haybale.shp", sp, 0.8f, 8000, 800)) return 0;

    mesh tuff;
    mesh_block &shell = tuff.block(SW_PLASTIC, 40, 0.4f);
    mesh_block &band = tuff.block(SW_ACCENT, 40, 0.4f);
    box(shell, {0, 1.0f, 0}, {3.0f, 1.0f, 0.8f});
    box(band, {0, 1.55f, 0}, {3.02f, 0.22f, 0.82f});
    if (!write_mesh("tracks/pinehollow/tuffblock.jm", tuff) ||
        !write_bike_paint("tracks/pinehollow/tuffblock.png", {0.1f, 0.35f, 0.85f},
                          {0.95f, 0.95f, 0.95f}, {0.2f, 0.2f, 0.2f}))
        return 0;
    sp.clear();
    for (int i = 0; i < 7; i++)
        for (float y : {0.8f, 1.4f})
            sp.push_back({-2.4f + 0.8f * i, y, 0, 0.7f});
    if (!write_shape("tracks/pinehollow/tuffblock.shp", sp, 0.5f, 15000, 1000)) return 0;

    mesh wall;
    mesh_block &rubber = wall.block(SW_BLACK, 8, 0.1f);
    mesh_block &paint = wall.block(SW_PLASTIC, 20, 0.3f);
    for (int i = 0; i < 4; i++)
        for (int k = 0; k < 3; k++) {
            float x = -3.0f + 2.0f * i, y = 0.35f + 0.7f * k;
            mesh_block &b = (i + k) % 2 ? paint : rubber;
            cone(b, {x, y - 0.33f, 0}, {x, y + 0.33f, 0}, 1.0f, 1.0f, 12);
        }
    if (!write_mesh("tracks/pinehollow/tirewall.jm", wall) ||
        !write_bike_paint("tracks/pinehollow/tirewall.png", {0.9f, 0.9f, 0.9f}, {0.9f, 0.1f, 0.1f},
                          {0.1f, 0.1f, 0.1f}))
        return 0;
    sp.clear();
    for (int i = 0; i < 4; i++)
        for (float y : {0.9f, 1.7f})
            sp.push_back({-3.0f + 2.0f * i, y, 0, 1.0f});
    return write_shape("tracks/pinehollow/tirewall.shp", sp, 0.7f, 12000, 1500);
}

// The brand colours of a family's own paint, from its name.
void family_colours(const char *fam, rgb *main, rgb *accent, rgb *frame) {
    *accent = {0.95f, 0.95f, 0.95f};
    *frame = {0.72f, 0.73f, 0.76f};
    if (!strncmp(fam, "kx", 2)) {
        *main = {0.35f, 0.80f, 0.10f};
        *accent = {0.08f, 0.08f, 0.08f};
        *frame = {0.35f, 0.80f, 0.10f};
    } else if (!strncmp(fam, "rm", 2)) {
        *main = {0.95f, 0.80f, 0.05f};
        *accent = {0.10f, 0.20f, 0.75f};
    } else if (!strncmp(fam, "yz", 2)) {
        *main = {0.08f, 0.22f, 0.78f};
        *frame = {0.08f, 0.22f, 0.78f};
    } else if (!strncmp(fam, "fc", 2)) {
        *main = {0.93f, 0.93f, 0.93f};
        *accent = {0.10f, 0.20f, 0.65f};
        *frame = {0.10f, 0.20f, 0.65f};
    } else if (strstr(fam, "sx")) {
        *main = {0.98f, 0.42f, 0.02f};
        *accent = {0.10f, 0.10f, 0.12f};
        *frame = {0.98f, 0.42f, 0.02f};
    } else {
        *main = {0.82f, 0.06f, 0.05f};
    }
}

int make_paints(void) {
    if (!write_wheel_paint("wheels.png", {0.12f, 0.12f, 0.13f}) ||
        !write_wheel_paint("wheels-silver.png", {0.75f, 0.76f, 0.78f}) ||
        !write_wheel_paint("wheels-gold.png", {0.80f, 0.62f, 0.20f}))
        return 0;
    if (!write_body_paint("rider_body.png", {0.10f, 0.20f, 0.70f}, {0.95f, 0.95f, 0.95f}) ||
        !write_head_paint("rider_head.png", {0.95f, 0.95f, 0.95f}, {0.10f, 0.20f, 0.70f}))
        return 0;
    char name[128];
    for (const team_colour &t : teams) {
        snprintf(name, sizeof name, "rider_body-gear_%s.png", t.name);
        if (!write_body_paint(name, t.main, t.accent)) return 0;
        snprintf(name, sizeof name, "rider_head-helmet_%s.png", t.name);
        if (!write_head_paint(name, t.main, t.accent)) return 0;
    }
    // Each menu entry's bike graphics: the ten team schemes under its prefix.
    std::set<std::string> prefixes;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        prefixes.insert(bike_menu_prefix(i));
    for (const std::string &pre : prefixes)
        for (const team_colour &t : teams) {
            snprintf(name, sizeof name, "%splastics_%s.png", pre.c_str(), t.name);
            rgb frame = {0.72f, 0.73f, 0.76f};
            if (!write_bike_paint(name, t.main, t.accent, frame)) return 0;
        }
    return 1;
}

} // namespace

int zvgen_model(void) {
    const bike_model *first = bike_model_get(0);
    if (!first) return 0;
    const float front_outer = first->geo.front_ring_radius + first->geo.tire_radius;
    const float rear_outer = first->geo.rear_ring_radius + first->geo.tire_radius;
    // Levels: full up close, a middle one from 32 ft (no knobs, fewer segments), a coarse one
    // from 64 ft.
    if (!make_wheel("front_wheel.jm", front_outer, true, 24, true) ||
        !make_wheel("rear_wheel.jm", rear_outer, false, 24, true) ||
        !make_wheel("front_wheel_lod5.jm", front_outer, true, 16, false) ||
        !make_wheel("rear_wheel_lod5.jm", rear_outer, false, 16, false) ||
        !make_wheel("front_wheel_lod6.jm", front_outer, true, 8, false) ||
        !make_wheel("rear_wheel_lod6.jm", rear_outer, false, 8, false))
        return 0;
    if (!make_rider(first) || !make_start_gate() || !make_track_statues() || !make_paints())
        return 0;
    int made = 0;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *bm = bike_model_get(i);
        if (!bm) continue;
        char fam[64];
        snprintf(fam, sizeof fam, "%s", bm->files[0][0] == '@' ? bm->files[0] + 1 : bm->files[0]);
        char *tail = strstr(fam, "_frame.jm");
        if (!tail) continue;
        *tail = 0;
        char check[96];
        snprintf(check, sizeof check, "%s_frame.jm.gz", fam);
        if (zvgen_find_file(check, nullptr)) continue;
        family_shape st = {0.42f + 0.02f * (made % 3), strchr(bm->engine_class, 'f') == nullptr};
        // From 22 ft (2 to the 4.5) the sky's reflection is a few pixels of highlight: a middle
        // level without it (one draw a part instead of two); far away a bike is a few pixels: a
        // coarse level from 64 ft on.
        if (!make_family(fam, bm, st, "")) return 0;
        mirror_sky = false;
        tube_sides = 8;
        int middle = make_family(fam, bm, st, "_lod4.5");
        tube_sides = 5;
        int coarse = make_family(fam, bm, st, "_lod6");
        mirror_sky = true;
        tube_sides = 10;
        if (!middle || !coarse) return 0;
        rgb main, accent, frame;
        family_colours(fam, &main, &accent, &frame);
        const char *tex = bm->files[BIKE_FILE_BIKE_TEXTURE];
        if (tex[0] == '@') tex++;
        if (!zvgen_find_file(tex, nullptr) && !write_bike_paint(tex, main, accent, frame)) return 0;
        made++;
    }
    return made > 0;
}
