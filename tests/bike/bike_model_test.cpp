// The bike model table, the menu list and the fallback rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "bike/bike_model.h"
#include "base/zv_message.h"

namespace {

TEST(BikeModel, TableOrderAndClasses) {
    EXPECT_EQ(bike_model_find("cr125"), 0);
    EXPECT_EQ(bike_model_find("crf250(2018)"), 7);
    EXPECT_EQ(bike_model_find("cr250(2007)"), 8);
    EXPECT_EQ(bike_model_find("yz250f_se(2006)"), 44);
    EXPECT_EQ(bike_model_find("350sxf(2011)"), 64);
    EXPECT_EQ(bike_model_find("rs50yz"), 79);
    EXPECT_EQ(bike_model_find("CR125"), BIKE_MODEL_NONE); // case matters
    EXPECT_EQ(bike_model_find("kx85"), BIKE_MODEL_NONE);
    EXPECT_STREQ(bike_model_get(64)->engine_class, "450f");
    EXPECT_STREQ(bike_model_get(65)->engine_class, "250f");
    EXPECT_STREQ(bike_model_get(76)->engine_class, "50");
    EXPECT_EQ(bike_model_get(80), nullptr);
    EXPECT_EQ(bike_model_get(-1), nullptr);
}

TEST(BikeModel, MeasuredRecords) {
    struct row {
        const char *name;
        float frame, tubes, f0, f100, s0, s100, arm, primary;
        int front, rear;
        float rider;
    } rows[] = {
        {"cr125", 3.65375f, 0.739688f, 322.545f, 860.12f, 1814.32f, 4502.19f, 0.541875f, 3.15f, 13,
         52, 4.6875f},
        {"crf250(2007)", 4.24f, 0.703125f, 335.984f, 873.56f, 2217.5f, 4905.37f, 0.504375f,
         3.16667f, 13, 51, 4.6875f},
        {"cr250(2007)", 4.36562f, 0.75375f, 322.545f, 860.12f, 2083.1f, 4770.98f, 0.589375f, 3.0f,
         13, 49, 5.46875f},
        {"crf450(2018)", 4.735f, 0.703125f, 376.303f, 913.878f, 2486.29f, 5174.16f, 0.5025f,
         2.32143f, 13, 49, 5.46875f},
        {"rs50cr", 3.34125f, 0.739688f, 309.106f, 846.681f, 1814.32f, 4502.19f, 0.541875f, 3.71429f,
         12, 55, 4.6875f},
    };
    for (const row &r : rows) {
        const bike_model *m = bike_model_get(bike_model_find(r.name));
        ASSERT_NE(m, nullptr) << r.name;
        EXPECT_FLOAT_EQ(m->frame_mass, r.frame) << r.name;
        EXPECT_FLOAT_EQ(m->fork_tube_mass, r.tubes) << r.name;
        EXPECT_FLOAT_EQ(m->fork[0], r.f0) << r.name;
        EXPECT_FLOAT_EQ(m->fork[1], r.f100) << r.name;
        EXPECT_FLOAT_EQ(m->shock[0], r.s0) << r.name;
        EXPECT_FLOAT_EQ(m->shock[1], r.s100) << r.name;
        EXPECT_FLOAT_EQ(m->swingarm_side_mass, r.arm) << r.name;
        EXPECT_FLOAT_EQ(m->engine.primary_ratio, r.primary) << r.name;
        EXPECT_EQ(m->engine.front_sprocket, r.front) << r.name;
        EXPECT_EQ(m->engine.rear_sprocket, r.rear) << r.name;
        EXPECT_FLOAT_EQ(m->rider_mass, r.rider) << r.name;
        EXPECT_FLOAT_EQ(m->fork_travel, 1.0f);
        EXPECT_FLOAT_EQ(m->fork[3], 1.0f / 12);
        EXPECT_FLOAT_EQ(m->shock[3], 1.0f / 3);
        EXPECT_FLOAT_EQ(m->linkage[2], 0.530304f);
    }
    const bike_model *m = bike_model_get(0);
    // Torque rows: a few telling entries of the reference curves.
    EXPECT_FLOAT_EQ(m->engine.full_torque[20], 15.96642f);
    EXPECT_FLOAT_EQ(m->engine.full_torque[49], -11);
    EXPECT_FLOAT_EQ(m->engine.closed_torque[49], -23);
    const bike_model *h = bike_model_get(bike_model_find("crf450(2018)"));
    EXPECT_FLOAT_EQ(h->engine.full_torque[15], 35.39924f);
    EXPECT_FLOAT_EQ(h->engine.full_torque[49], -34);
    EXPECT_FLOAT_EQ(h->engine.closed_torque[49], -23);
    const bike_model *f = bike_model_get(bike_model_find("crf250(2007)"));
    EXPECT_FLOAT_EQ(f->engine.full_torque[49], -23.5f);
    const bike_model *t = bike_model_get(bike_model_find("cr250(2007)"));
    EXPECT_FLOAT_EQ(t->engine.full_torque[22], -10);
    EXPECT_FLOAT_EQ(t->engine.full_torque[49], -23.5f);
    const bike_model *s = bike_model_get(bike_model_find("rs50cr"));
    EXPECT_FLOAT_EQ(s->engine.full_torque[19], 4.31226f);
    EXPECT_FLOAT_EQ(s->engine.full_torque[27], 0);
    EXPECT_FLOAT_EQ(s->engine.closed_torque[10], -1.125f);
}

TEST(BikeModel, DerivedRecordsStayInRangeAndDiffer) {
    std::set<std::string> sigs;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        const bike_model *m = bike_model_get(i);
        EXPECT_GE(m->frame_mass, 3.34f) << m->name;
        EXPECT_LE(m->frame_mass, 4.74f) << m->name;
        bool heavy = !strcmp(m->engine_class, "250") || !strcmp(m->engine_class, "450f");
        EXPECT_FLOAT_EQ(m->rider_mass, heavy ? 5.46875f : 4.6875f) << m->name;
        EXPECT_GT(m->fork[1], m->fork[0]);
        EXPECT_GT(m->shock[1], m->shock[0]);
        EXPECT_GE(m->engine.rear_sprocket, 40);
        // Peak torque per class.
        float peak = 0;
        for (float v : m->engine.full_torque)
            peak = fmaxf(peak, v);
        if (!strcmp(m->engine_class, "450f") && strncmp(m->name, "350", 3)) {
            EXPECT_GT(peak, 30);
            EXPECT_LT(peak, 40);
        }
        for (int k = 0; k < BIKE_FILE_COUNT; k++)
            EXPECT_EQ(m->files[k][0], '@') << m->name;
        char sig[128];
        snprintf(sig, sizeof sig, "%.4f/%.2f/%.2f/%d/%.3f", m->frame_mass, m->fork[0], m->shock[0],
                 m->engine.rear_sprocket, peak);
        sigs.insert(sig);
    }
    // Brand and year matter: most models carry a combination of their own.
    EXPECT_GE(sigs.size(), 60u);
    const bike_model *m = bike_model_get(bike_model_find("kx250f(2013)"));
    EXPECT_STREQ(m->files[BIKE_FILE_FRAME_MODEL], "@kx250f_frame.jm");
    EXPECT_STREQ(m->files[BIKE_FILE_BIKE_TEXTURE], "@kx250f.png");
    EXPECT_STREQ(m->files[BIKE_FILE_FRAME_SHAPE], "@generic_frame.shp");
    EXPECT_STREQ(m->files[BIKE_FILE_RIDER_SHAPE], "@generic_rider.shp");
    EXPECT_STREQ(m->files[BIKE_FILE_SIDE_PLATES_MODEL], "@kx250f_side_plates.jm");
}

TEST(BikeModel, FallbackRuleAndMessage) {
    EXPECT_EQ(bike_model_fallback("kx85"), bike_model_find("kx250f(2007)"));
    EXPECT_EQ(bike_model_fallback("super125x"), 0);
    EXPECT_EQ(bike_model_fallback(""), bike_model_find("kx250f(2007)"));
    zv_message_clear();
    int i = bike_model_lookup("kx85");
    EXPECT_EQ(i, 15);
    const char *line = zv_message_line(0);
    ASSERT_NE(line, nullptr);
    EXPECT_STREQ(line, "bike info for 'kx85' not found using 'kx250f(2007)' instead");
    zv_message_clear();
    EXPECT_EQ(bike_model_lookup("yz125"), 42);
    EXPECT_EQ(zv_message_line(0), nullptr);
}

TEST(BikeModel, MenuListCoversEveryModelOnce) {
    std::set<int> seen;
    for (int i = 0; i < BIKE_MODEL_COUNT; i++) {
        int idx = bike_menu_model(i);
        ASSERT_NE(idx, BIKE_MODEL_NONE) << bike_menu_name(i);
        seen.insert(idx);
        const char *p = bike_menu_prefix(i);
        EXPECT_EQ(p[strlen(p) - 1], '-') << p;
    }
    EXPECT_EQ(seen.size(), 80u);
    EXPECT_STREQ(bike_menu_name(0), "450sxf(2018)");
    EXPECT_STREQ(bike_menu_name(27), "350sxf(2017)");
    EXPECT_STREQ(bike_menu_name(30), "250sx(2012)");
    EXPECT_STREQ(bike_menu_name(70), "yz250f_se(2006)");
    EXPECT_STREQ(bike_menu_name(71), "125sx");
    EXPECT_STREQ(bike_menu_name(79), "rs50yz");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("crf450(2017)")), "crf450v2017-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("450sxf(2016)")), "450sxfv2016-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("rmz450(2018)")), "rmz450-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("crf250(2013)")), "crf250v2014-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("yz250f_se(2006)")), "yz250f_se-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("cr125")), "cr125-");
    EXPECT_STREQ(bike_menu_prefix(bike_menu_find("rs50kx")), "kx125-");
    EXPECT_EQ(bike_menu_model(80), BIKE_MODEL_NONE);
}

} // namespace
