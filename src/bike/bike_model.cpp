// The 80 built-in bike models. Five records carry measured values; the other 75 are derived
// from the reference record of their engine class by a fixed rule (see bike_model_derive) so
// that brands and years differ in weight, springs, gearing and power.
#include "bike/bike_model.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/zv_message.h"

namespace {

struct model_name {
    const char *name;
    const char *engine_class;
};

const model_name model_names[BIKE_MODEL_COUNT] = {
    {"cr125", "125"},         {"crf250(2007)", "250f"}, {"crf250(2008)", "250f"},
    {"crf250(2009)", "250f"}, {"crf250(2013)", "250f"}, {"crf250(2016)", "250f"},
    {"crf250(2017)", "250f"}, {"crf250(2018)", "250f"}, {"cr250(2007)", "250"},
    {"crf450(2011)", "450f"}, {"crf450(2013)", "450f"}, {"crf450(2016)", "450f"},
    {"crf450(2017)", "450f"}, {"crf450(2018)", "450f"}, {"kx125", "125"},
    {"kx250f(2007)", "250f"}, {"kx250f(2008)", "250f"}, {"kx250f(2009)", "250f"},
    {"kx250f(2013)", "250f"}, {"kx250f(2016)", "250f"}, {"kx250f(2017)", "250f"},
    {"kx250f(2018)", "250f"}, {"kx250(2006)", "250"},   {"kx450f(2011)", "450f"},
    {"kx450f(2013)", "450f"}, {"kx450f(2016)", "450f"}, {"kx450f(2017)", "450f"},
    {"kx450f(2018)", "450f"}, {"rm125", "125"},         {"rmz250(2007)", "250f"},
    {"rmz250(2008)", "250f"}, {"rmz250(2009)", "250f"}, {"rmz250(2013)", "250f"},
    {"rmz250(2016)", "250f"}, {"rmz250(2017)", "250f"}, {"rmz250(2018)", "250f"},
    {"rm250(2008)", "250"},   {"rmz450(2011)", "450f"}, {"rmz450(2013)", "450f"},
    {"rmz450(2016)", "450f"}, {"rmz450(2017)", "450f"}, {"rmz450(2018)", "450f"},
    {"yz125", "125"},         {"yz250f(2007)", "250f"}, {"yz250f_se(2006)", "250f"},
    {"yz250f(2008)", "250f"}, {"yz250f(2009)", "250f"}, {"yz250f(2013)", "250f"},
    {"yz250f(2016)", "250f"}, {"yz250f(2017)", "250f"}, {"yz250f(2018)", "250f"},
    {"yz250(2012)", "250"},   {"yz450f(2011)", "450f"}, {"yz450f(2013)", "450f"},
    {"yz450f(2016)", "450f"}, {"yz450f(2017)", "450f"}, {"yz450f(2018)", "450f"},
    {"125sx", "125"},         {"250sxf(2009)", "250f"}, {"250sxf(2013)", "250f"},
    {"250sxf(2016)", "250f"}, {"250sxf(2017)", "250f"}, {"250sxf(2018)", "250f"},
    {"250sx(2012)", "250"},   {"350sxf(2011)", "450f"}, {"350sxf(2013)", "250f"},
    {"350sxf(2017)", "250f"}, {"450sxf(2011)", "450f"}, {"450sxf(2013)", "450f"},
    {"450sxf(2016)", "450f"}, {"450sxf(2017)", "450f"}, {"450sxf(2018)", "450f"},
    {"fc250(2017)", "250f"},  {"fc250(2018)", "250f"},  {"fc450(2017)", "450f"},
    {"fc450(2018)", "450f"},  {"rs50cr", "50"},         {"rs50kx", "50"},
    {"rs50rm", "50"},         {"rs50yz", "50"},
};

// Menu order: 450 four-strokes newest first, the 350s, 250 two-strokes, 250 four-strokes newest
// first, then 125s and 50s.
const char *const menu_names[BIKE_MODEL_COUNT] = {
    "450sxf(2018)",    "crf450(2018)", "fc450(2018)",  "kx450f(2018)", "rmz450(2018)",
    "yz450f(2018)",    "450sxf(2017)", "crf450(2017)", "fc450(2017)",  "kx450f(2017)",
    "rmz450(2017)",    "yz450f(2017)", "450sxf(2016)", "crf450(2016)", "kx450f(2016)",
    "rmz450(2016)",    "yz450f(2016)", "450sxf(2013)", "crf450(2013)", "kx450f(2013)",
    "rmz450(2013)",    "yz450f(2013)", "450sxf(2011)", "crf450(2011)", "kx450f(2011)",
    "rmz450(2011)",    "yz450f(2011)", "350sxf(2017)", "350sxf(2013)", "350sxf(2011)",
    "250sx(2012)",     "cr250(2007)",  "kx250(2006)",  "rm250(2008)",  "yz250(2012)",
    "250sxf(2018)",    "crf250(2018)", "fc250(2018)",  "kx250f(2018)", "rmz250(2018)",
    "yz250f(2018)",    "250sxf(2017)", "crf250(2017)", "fc250(2017)",  "kx250f(2017)",
    "rmz250(2017)",    "yz250f(2017)", "250sxf(2016)", "crf250(2016)", "kx250f(2016)",
    "rmz250(2016)",    "yz250f(2016)", "250sxf(2013)", "crf250(2013)", "kx250f(2013)",
    "rmz250(2013)",    "yz250f(2013)", "250sxf(2009)", "crf250(2009)", "kx250f(2009)",
    "rmz250(2009)",    "yz250f(2009)", "crf250(2008)", "kx250f(2008)", "rmz250(2008)",
    "yz250f(2008)",    "crf250(2007)", "kx250f(2007)", "rmz250(2007)", "yz250f(2007)",
    "yz250f_se(2006)", "125sx",        "cr125",        "kx125",        "rm125",
    "yz125",           "rs50cr",       "rs50kx",       "rs50rm",       "rs50yz",
};

struct model_table {
    int ready;
    bike_model models[BIKE_MODEL_COUNT];
    int menu_model[BIKE_MODEL_COUNT];
    char menu_prefix[BIKE_MODEL_COUNT][40];
};

model_table table;

// Brands in the order their names are tested; the index drives the per-brand variation.
enum { BRAND_HONDA, BRAND_KAWASAKI, BRAND_SUZUKI, BRAND_YAMAHA, BRAND_KTM, BRAND_HUSQ };

const float lbf_ft_per_fork_kgmm = 1.0f / 0.000744082f;
const float lbf_ft_per_shock_kgmm = 1.0f / 0.0014881639f;

int name_year(const char *name) {
    const char *p = strchr(name, '(');
    return p ? atoi(p + 1) : 0;
}

int name_brand(const char *name) {
    if (strncmp(name, "rs50", 4) == 0) {
        switch (name[4]) {
        case 'k':
            return BRAND_KAWASAKI;
        case 'r':
            return BRAND_SUZUKI;
        case 'y':
            return BRAND_YAMAHA;
        default:
            return BRAND_HONDA;
        }
    }
    if (strncmp(name, "cr", 2) == 0) return BRAND_HONDA;
    if (strncmp(name, "kx", 2) == 0) return BRAND_KAWASAKI;
    if (strncmp(name, "rm", 2) == 0) return BRAND_SUZUKI;
    if (strncmp(name, "yz", 2) == 0) return BRAND_YAMAHA;
    if (strncmp(name, "fc", 2) == 0) return BRAND_HUSQ;
    return BRAND_KTM;
}

// Family part of a name: everything before the year, e.g. "crf250" or "yz250f_se".
void name_family(const char *name, char *out, size_t size) {
    size_t n = strcspn(name, "(");
    if (n >= size) n = size - 1;
    memcpy(out, name, n);
    out[n] = 0;
    if (strncmp(out, "rs50", 4) == 0) out[4] = 0;
}

void set3(float *d, float x, float y, float z) {
    d[0] = x;
    d[1] = y;
    d[2] = z;
}

void default_geometry(bike_geometry *g) {
    set3(g->frame_pos, 0, 1.98f, 3.6f);
    set3(g->front_wheel_pos, 0, 1.09f, 1.11f);
    set3(g->rear_wheel_pos, 0, 1.04f, 6.0f);
    set3(g->fork_upper_pos, 0, 2.9f, 2.16f);
    set3(g->fork_lower_pos, 0, 1.77f, 1.59f);
    set3(g->swingarm_pos, 0, 1.34f, 4.99f);
    set3(g->rider_pos, 0, 4.5f, 4.12f);
    set3(g->frame_box, 0.8333f, 1.6667f, 1.6667f);
    g->front_ring_radius = 0.8333f;
    g->front_ring_element_radius = 0.3333f;
    g->front_ring_mass = 0.40625f;
    g->front_hub_radius = 0.5f;
    g->front_hub_mass = 0.15625f;
    g->rear_ring_radius = 0.75f;
    g->rear_ring_element_radius = 0.3333f;
    g->rear_ring_mass = 0.46875f;
    g->rear_hub_radius = 0.5f;
    g->rear_hub_mass = 0.3125f;
    g->fork_spacing = 0.8333f;
    g->fork_tube_length = 2.0f;
    set3(g->swingarm_pivot, 0, 1.6f, 4.08f);
    g->tire_radius = 0.3333f;
    g->rider_radius = 1.0f;
    g->steer_limit = (float)(M_PI / 4);
    set3(g->rider_anchor, 0, 4.5f, -50.0f);
}

// Limb points. The pegs sit below and slightly behind the frame centre, the hips low on the
// rider body, and a stretched leg (2.75 ft) reaches the peg with the knee bent in the riding
// pose.
void default_rider_points(bike_rider_points *r) {
    for (int s = 0; s < 2; s++) {
        float side = s == 0 ? -1.0f : 1.0f;
        set3(r->shoulder[s], side * 0.556f, 0.580375f, -0.654514f);
        set3(r->grip[s], side * 1.097f, 1.145f, 0.753f);
        set3(r->hip[s], side * 0.35f, -0.75f, 0.2f);
        set3(r->foot_peg[s], side * 0.6f, -0.68f, 0.5f);
        set3(r->knee[s], side * 0.55f, 0.45f, -0.55f);
    }
    set3(r->head, 0, 1.6f, -0.2f);
    r->leg_length = 2.75f;
    r->upper_arm = 0.9f;
    r->forearm = 1.15f;
}

// Engine class references: cr125, crf250(2007), cr250(2007), crf450(2018), rs50cr.
enum { REF_125, REF_250F, REF_250, REF_450F, REF_50, REF_COUNT };

int class_ref(const char *engine_class) {
    if (strcmp(engine_class, "125") == 0) return REF_125;
    if (strcmp(engine_class, "250f") == 0) return REF_250F;
    if (strcmp(engine_class, "250") == 0) return REF_250;
    if (strcmp(engine_class, "450f") == 0) return REF_450F;
    return REF_50;
}

void closed_two_stroke(float *t) {
    static const float head[24] = {2,     2,  1,      0,     -1,     -1.2f, -1.4f,  -1.6f,
                                   -1.8f, -2, -2.25f, -2.5f, -2.75f, -3,    -3.33f, -3.67f,
                                   -4,    -5, -6,     -7,    -8,     -9,    -10,    -10};
    for (int i = 0; i < 24; i++)
        t[i] = head[i];
    for (int i = 24; i < BIKE_ENGINE_CURVE_POINTS; i++)
        t[i] = -11.0f - (float)((i - 24) / 2);
}

void closed_four_stroke(float *t) {
    t[0] = 2;
    t[1] = 2;
    t[2] = 1;
    t[3] = 0;
    for (int i = 4; i < BIKE_ENGINE_CURVE_POINTS; i++)
        t[i] = -(float)((i - 2) / 2);
}

void reference_engine(bike_model *m, int ref) {
    static const float full125[30] = {
        5,         5,         5,         5,         5,         5.7f,      6.4f,      7.2f,
        7.9f,      8.6f,      9.4538f,   10.21775f, 10.32916f, 10.66583f, 11.40459f, 12.46501f,
        13.26159f, 14.14981f, 14.76427f, 15.81163f, 15.96642f, 15.9064f,  15.75634f, 15.11695f,
        12.73637f, 2.10085f,  0,         0,         -1,        -1};
    static const float full250f[30] = {5,     5,     5,     5,     5,   6.3f,  7.7f,  9.1f,
                                       10.5f, 11.8f, 13.2f, 14.6f, 16,  16.8f, 17.6f, 18.6f,
                                       19,    19,    19,    18.5f, 18,  17.5f, 16.9f, 16.1f,
                                       15.4f, 14.7f, 13.6f, 0,     -13, -13.5f};
    static const float full450f[25] = {5,         5,         5,         5,         5,
                                       8.38586f,  11.77173f, 15.15759f, 18.54346f, 21.92932f,
                                       25.32569f, 29.64102f, 31.90659f, 33.99329f, 35.01659f,
                                       35.39924f, 35.13664f, 34.83078f, 33.45596f, 30.29087f,
                                       28.26162f, 26.26557f, 24.06423f, 12.03211f, 0};
    static const float full250[22] = {
        5,         5,         5,         5,         7.5f,      12.5f,     17.50704f, 20.55827f,
        22.45278f, 21.82545f, 25.73535f, 28.07493f, 28.62402f, 30.13905f, 31.58771f, 32.84321f,
        30.79051f, 27.86709f, 22.99258f, 17.0279f,  9.40128f,  0};
    float *full = m->engine.full_torque;
    switch (ref) {
    case REF_125:
        for (int i = 0; i < 30; i++)
            full[i] = full125[i];
        for (int i = 30; i < BIKE_ENGINE_CURVE_POINTS; i++)
            full[i] = -(float)((i - 26) / 2);
        closed_two_stroke(m->engine.closed_torque);
        break;
    case REF_250F:
        for (int i = 0; i < 30; i++)
            full[i] = full250f[i];
        for (int i = 30; i < BIKE_ENGINE_CURVE_POINTS; i++)
            full[i] = -13.5f - 0.5f * (float)(i - 29);
        closed_four_stroke(m->engine.closed_torque);
        break;
    case REF_250:
        for (int i = 0; i < 22; i++)
            full[i] = full250[i];
        for (int i = 22; i < BIKE_ENGINE_CURVE_POINTS; i++)
            full[i] = -10.0f - 0.5f * (float)(i - 22);
        closed_two_stroke(m->engine.closed_torque);
        break;
    case REF_450F:
        for (int i = 0; i < 25; i++)
            full[i] = full450f[i];
        for (int i = 25; i < BIKE_ENGINE_CURVE_POINTS; i++)
            full[i] = -10.0f - (float)(i - 25);
        closed_four_stroke(m->engine.closed_torque);
        break;
    default: {
        // Flat at 1 to 4500 rpm, a smooth rise to the 4.31226 peak at 9500 rpm, zero at 13500.
        for (int i = 0; i < 10; i++)
            full[i] = 1;
        for (int i = 10; i <= 19; i++) {
            float u = (float)(i - 9) / 10.0f;
            full[i] = 1.0f + (4.31226f - 1.0f) * (float)sin(u * M_PI / 2);
        }
        for (int i = 20; i <= 27; i++) {
            float u = (float)(i - 19) / 8.0f;
            full[i] = 4.31226f * (float)cos(u * M_PI / 2);
        }
        full[27] = 0;
        for (int i = 28; i < BIKE_ENGINE_CURVE_POINTS; i++)
            full[i] = -0.5f * (float)((i - 26) / 2);
        float two[BIKE_ENGINE_CURVE_POINTS];
        closed_two_stroke(two);
        m->engine.closed_torque[0] = 2;
        m->engine.closed_torque[1] = 2;
        m->engine.closed_torque[2] = 1;
        m->engine.closed_torque[3] = 0;
        for (int i = 4; i < BIKE_ENGINE_CURVE_POINTS; i++)
            m->engine.closed_torque[i] = two[i] * 0.5f;
        break;
    }
    }
    struct drive {
        float primary;
        int front, rear;
        float gears[6];
        float inertia, stiffness, damping, down, up;
    };
    static const drive drives[REF_COUNT] = {
        {3.15f,
         13,
         52,
         {2.35714f, 1.86667f, 1.57895f, 1.29412f, 1.13333f, -1},
         0.00488281f,
         7500,
         0.75f,
         9400,
         12000},
        {3.16667f,
         13,
         51,
         {2.14286f, 1.75f, 1.45f, 1.22727f, 1.04167f, -1},
         0.00488281f,
         7500,
         0.75f,
         8000,
         12500},
        {3.0f,
         13,
         49,
         {1.8f, 1.47059f, 1.21053f, 1.0f, 0.869565f, -1},
         0.00683594f,
         7500,
         0.75f,
         6000,
         9000},
        {2.32143f,
         13,
         49,
         {2.13333f, 1.70588f, 1.42105f, 1.21053f, 1.04348f, -1},
         0.0088501f,
         7500,
         0.75f,
         6000,
         10500},
        {3.71429f,
         12,
         55,
         {3.09091f, 2.0f, 1.5f, 1.2f, 1.04545f, 0.956522f},
         0.00119358f,
         1200,
         1.0f,
         9400,
         12000},
    };
    const drive *d = &drives[ref];
    bike_engine_spec *e = &m->engine;
    e->primary_ratio = d->primary;
    e->front_sprocket = d->front;
    e->rear_sprocket = d->rear;
    for (int i = 0; i < 6; i++)
        e->gear_ratio[i] = d->gears[i];
    e->inertia = d->inertia;
    e->driveline_stiffness = d->stiffness;
    e->driveline_damping = d->damping;
    e->downshift_rpm = d->down;
    e->upshift_rpm = d->up;
}

struct class_values {
    float frame_mass, fork_tube_mass, swingarm_side_mass, rider_mass;
    float fork_kgmm, shock_kgmm; // spring rate at setting 0, in menu units
    int two_stroke;
};

const class_values class_table[REF_COUNT] = {
    {3.65375f, 0.739688f, 0.541875f, 4.6875f, 0.24f, 2.7f, 1},
    {4.24f, 0.703125f, 0.504375f, 4.6875f, 0.25f, 3.3f, 0},
    {4.36562f, 0.75375f, 0.589375f, 5.46875f, 0.24f, 3.1f, 1},
    {4.735f, 0.703125f, 0.5025f, 5.46875f, 0.28f, 3.7f, 0},
    {3.34125f, 0.739688f, 0.541875f, 4.6875f, 0.23f, 2.7f, 1},
};

float clampf(float v, float lo, float hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// The rule for the 75 derived records. From the class reference:
// - frame mass: + brand offset (Honda 0, Kawasaki +0.03, Suzuki -0.02, Yamaha +0.05, KTM -0.06,
//   Husqvarna -0.04) - 0.01 per model year after 2007, clamped to 3.34-4.74 slugs;
// - fork tubes and swingarm sides: +0.005 x (brand - 2) slugs;
// - fork spring: + 0.01 kg/mm x ((brand + year) mod 3); shock spring: + 0.1 kg/mm x that step;
// - rear sprocket: + ((brand + year) mod 3) - 1 teeth;
// - full-throttle torque: x (1 + 0.01 x (brand - 2) + 0.004 x (year - 2013)) on positive entries.
// The 350s take the 450f class with 8% less torque when listed as 250f.
void bike_model_derive(bike_model *m, int ref, int brand, int year) {
    const class_values *c = &class_table[ref];
    int y = year ? year : 2007;
    int step = (brand + y) % 3;
    static const float brand_frame[6] = {0, 0.03f, -0.02f, 0.05f, -0.06f, -0.04f};
    m->frame_mass =
        clampf(c->frame_mass + brand_frame[brand] - 0.01f * (float)(y - 2007), 3.34f, 4.74f);
    m->fork_tube_mass = c->fork_tube_mass + 0.005f * (float)(brand - 2);
    m->swingarm_side_mass = c->swingarm_side_mass + 0.005f * (float)(brand - 2);
    m->rider_mass = c->rider_mass;
    float fork0 = (c->fork_kgmm + 0.01f * (float)step) * lbf_ft_per_fork_kgmm;
    float shock0 = (c->shock_kgmm + 0.1f * (float)step) * lbf_ft_per_shock_kgmm;
    m->fork[0] = fork0;
    m->fork[1] = fork0 + 0.4f * lbf_ft_per_fork_kgmm;
    m->shock[0] = shock0;
    m->shock[1] = shock0 + 4.0f * lbf_ft_per_shock_kgmm;
    m->engine.rear_sprocket += step - 1;
    float scale = 1.0f + 0.01f * (float)(brand - 2) + 0.004f * (float)(y - 2013);
    for (int i = 0; i < BIKE_ENGINE_CURVE_POINTS; i++)
        if (m->engine.full_torque[i] > 0) m->engine.full_torque[i] *= scale;
}

void fill_common(bike_model *m, const char *name, const char *engine_class) {
    snprintf(m->name, sizeof m->name, "%s", name);
    snprintf(m->engine_class, sizeof m->engine_class, "%s", engine_class);
    default_geometry(&m->geo);
    default_rider_points(&m->rider);
    int ref = class_ref(engine_class);
    int two_stroke = class_table[ref].two_stroke;
    m->fork[2] = 0;
    m->fork[3] = 1.0f / 12;
    m->fork[4] = 5.0f / 12;
    m->fork[5] = 0.25f;
    m->fork[6] = 60;
    m->fork[7] = 60;
    m->fork[8] = two_stroke ? 30 : 32;
    m->fork[9] = 30;
    m->fork_travel = 1.0f;
    m->shock[2] = 0;
    m->shock[3] = 1.0f / 3;
    m->shock[4] = 800;
    m->shock[5] = 200;
    m->shock[6] = two_stroke ? 600 : 650;
    m->shock[7] = 150;
    const float link[7] = {0.283652f, 0.413386f, 0.530304f, 0.75f, 0.315039f, 0.460479f, 0.607049f};
    for (int i = 0; i < 7; i++)
        m->linkage[i] = link[i];
    set3(m->rider_upper_pos, 0, 4.5f, 4.12f);

    char fam[24];
    name_family(name, fam, sizeof fam);
    static const char *const shared[BIKE_FILE_COUNT] = {nullptr,
                                                        "@generic_frame.shp",
                                                        nullptr,
                                                        nullptr,
                                                        "@generic_fork_upper.shp",
                                                        nullptr,
                                                        "@generic_fork_lower.shp",
                                                        nullptr,
                                                        "@generic_swingarm.shp",
                                                        "@front_wheel.jm",
                                                        "@front_wheel.shp",
                                                        "@rear_wheel.jm",
                                                        "@rear_wheel.shp",
                                                        "@wheels.png",
                                                        "@rider_head.jm",
                                                        "@rider_head.png",
                                                        "@rider_body.jm",
                                                        "@rider_body_fp.jm",
                                                        "@generic_rider.shp",
                                                        "@rider_body.png",
                                                        nullptr,
                                                        nullptr,
                                                        "@rider_plate.jm"};
    static const char *const own[BIKE_FILE_COUNT] = {
        "_frame.jm",       nullptr,           ".png",         "_fork_upper.jm", nullptr,
        "_fork_lower.jm",  nullptr,           "_swingarm.jm", nullptr,          nullptr,
        nullptr,           nullptr,           nullptr,        nullptr,          nullptr,
        nullptr,           nullptr,           nullptr,        nullptr,          nullptr,
        "_side_plates.jm", "_front_plate.jm", nullptr};
    for (int i = 0; i < BIKE_FILE_COUNT; i++) {
        if (shared[i])
            snprintf(m->files[i], sizeof m->files[i], "%s", shared[i]);
        else
            snprintf(m->files[i], sizeof m->files[i], "@%s%s", fam, own[i]);
    }
}

void build_model(bike_model *m, int index) {
    const model_name *mn = &model_names[index];
    memset(m, 0, sizeof *m);
    fill_common(m, mn->name, mn->engine_class);
    int ref = class_ref(mn->engine_class);
    // The 350 listed with the 450 class runs the 450 engine; those listed as 250f run a
    // 450 engine with less power (they are still 350s).
    int engine_ref = strncmp(mn->name, "350", 3) == 0 ? REF_450F : ref;
    reference_engine(m, engine_ref);
    if (engine_ref != ref)
        for (int i = 0; i < BIKE_ENGINE_CURVE_POINTS; i++)
            if (m->engine.full_torque[i] > 0) m->engine.full_torque[i] *= 0.92f;

    struct measured {
        const char *name;
        float frame, fork_tubes, fork0, fork100, shock0, shock100, swingarm, rider;
    };
    static const measured known[5] = {
        {"cr125", 3.65375f, 0.739688f, 322.545f, 860.12f, 1814.32f, 4502.19f, 0.541875f, 4.6875f},
        {"crf250(2007)", 4.24f, 0.703125f, 335.984f, 873.56f, 2217.5f, 4905.37f, 0.504375f,
         4.6875f},
        {"cr250(2007)", 4.36562f, 0.75375f, 322.545f, 860.12f, 2083.1f, 4770.98f, 0.589375f,
         5.46875f},
        {"crf450(2018)", 4.735f, 0.703125f, 376.303f, 913.878f, 2486.29f, 5174.16f, 0.5025f,
         5.46875f},
        {"rs50cr", 3.34125f, 0.739688f, 309.106f, 846.681f, 1814.32f, 4502.19f, 0.541875f, 4.6875f},
    };
    for (const measured &k : known) {
        if (strcmp(k.name, mn->name) != 0) continue;
        m->frame_mass = k.frame;
        m->fork_tube_mass = k.fork_tubes;
        m->fork[0] = k.fork0;
        m->fork[1] = k.fork100;
        m->shock[0] = k.shock0;
        m->shock[1] = k.shock100;
        m->swingarm_side_mass = k.swingarm;
        m->rider_mass = k.rider;
        return;
    }
    bike_model_derive(m, ref, name_brand(mn->name), name_year(mn->name));
}

// Graphics generation suffix of a family for a year ("v2017" etc.; empty when the family has
// one look).
const char *graphics_generation(int brand, int year, int four_stroke) {
    if (!four_stroke || year == 0) return "";
    switch (brand) {
    case BRAND_HONDA:
        return year >= 2017 ? "v2017" : (year >= 2013 ? "v2014" : "");
    case BRAND_KTM:
        return year >= 2016 ? "v2016" : "";
    case BRAND_YAMAHA:
        return year >= 2018 ? "v2018" : (year >= 2013 ? "v2014" : "");
    case BRAND_KAWASAKI:
        return year >= 2016 ? "v2016" : "";
    default:
        return "";
    }
}

void table_init(void) {
    if (table.ready) return;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        build_model(&table.models[i], i);
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        int idx = bike_model_find(menu_names[i]);
        table.menu_model[i] = idx;
        const char *name = menu_names[i];
        char fam[24];
        name_family(name, fam, sizeof fam);
        if (strcmp(fam, "rs50") == 0) {
            static const char *const small[4] = {"cr125-", "kx125-", "rm125-", "yz125-"};
            snprintf(table.menu_prefix[i], sizeof table.menu_prefix[i], "%s", small[idx - 76]);
            continue;
        }
        const char *cls = model_names[idx].engine_class;
        int four = strchr(cls, 'f') != nullptr && strstr(name, "_se") == nullptr;
        snprintf(table.menu_prefix[i], sizeof table.menu_prefix[i], "%s%s-", fam,
                 graphics_generation(name_brand(name), name_year(name), four));
    }
    table.ready = 1;
}

} // namespace

int bike_model_find(const char *name) {
    if (!name) return BIKE_MODEL_NONE;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (strcmp(model_names[i].name, name) == 0) return i;
    return BIKE_MODEL_NONE;
}

int bike_model_fallback(const char *name) {
    const char *want = name && strstr(name, "125") ? "125" : "250f";
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (strstr(model_names[i].name, want)) return i;
    return 0;
}

int bike_model_lookup(const char *name) {
    int i = bike_model_find(name);
    if (i != BIKE_MODEL_NONE) return i;
    i = bike_model_fallback(name);
    zv_message_add("bike info for '%.20s' not found using '%.20s' instead\n", name ? name : "",
                   model_names[i].name);
    return i;
}

const bike_model *bike_model_get(int index) {
    if (index < 0 || index >= BIKE_MODEL_COUNT) return nullptr;
    table_init();
    return &table.models[index];
}

int bike_menu_model(int menu_index) {
    if (menu_index < 0 || menu_index >= BIKE_MODEL_COUNT) return BIKE_MODEL_NONE;
    table_init();
    return table.menu_model[menu_index];
}

const char *bike_menu_name(int menu_index) {
    if (menu_index < 0 || menu_index >= BIKE_MODEL_COUNT) return "";
    return menu_names[menu_index];
}

const char *bike_menu_prefix(int menu_index) {
    if (menu_index < 0 || menu_index >= BIKE_MODEL_COUNT) return "";
    table_init();
    return table.menu_prefix[menu_index];
}

int bike_menu_find(const char *name) {
    if (!name) return -1;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++)
        if (strcmp(menu_names[i], name) == 0) return i;
    return -1;
}
