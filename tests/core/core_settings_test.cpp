// The settings registry: item records, presets and the render inputs drawn from them.
#include "core/core_options.h"
#include "core/core_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

struct settings_fixture : testing::Test {
    void SetUp() override { core_settings_init(); }
};

TEST_F(settings_fixture, every_item_has_a_unique_key_a_label_and_a_sound_range) {
    std::set<std::string> keys;
    for (int i = 0; i < CORE_SETTING_COUNT; i++) {
        const core_setting &s = core_setting_items[i];
        ASSERT_NE(s.key, nullptr) << i;
        ASSERT_NE(s.label, nullptr) << s.key;
        EXPECT_TRUE(keys.insert(s.key).second) << s.key;
        EXPECT_EQ(core_settings_find(s.key), i);
        if (s.kind == CORE_SETTING_NUMBER || s.kind == CORE_SETTING_INT) {
            EXPECT_LE(s.min, s.value) << s.key;
            EXPECT_LE(s.value, s.max) << s.key;
            EXPECT_GT(s.step, 0) << s.key;
        }
        if (s.kind == CORE_SETTING_CHOICE) {
            EXPECT_GT(s.choice_count, 0) << s.key;
            EXPECT_LT(s.choice, s.choice_count) << s.key;
        }
    }
    EXPECT_EQ(core_settings_find("Laps"), -1);
    EXPECT_EQ(core_settings_find(nullptr), -1);
    EXPECT_STREQ(core_setting_items[CORE_SET_GATE_FIRST + 39].label, "Gate 40");
    EXPECT_STREQ(core_setting_items[CORE_SET_GATE_FIRST + 7].key, "slot07");
}

TEST_F(settings_fixture, items_start_at_their_own_values_and_the_preset_overrides_them) {
    EXPECT_EQ(core_settings_number(CORE_SET_GROUND_DETAIL), 50);
    EXPECT_EQ(core_settings_number(CORE_SET_ROOST_DENSITY), 250);
    EXPECT_STREQ(core_settings_label(CORE_SET_GROUND_TEXTURE_DIM_NEW), "1024x1024");
    EXPECT_FALSE(core_settings_matches_preset(CORE_PRESET_COMPATIBILITY));
    core_settings_apply_preset(CORE_PRESET_COMPATIBILITY);
    EXPECT_EQ(core_settings_number(CORE_SET_GROUND_DETAIL), 70);
    EXPECT_EQ(core_settings_number(CORE_SET_ROOST_DENSITY), 1000);
    EXPECT_STREQ(core_settings_label(CORE_SET_GROUND_TEXTURE_DIM_NEW), "256x256");
    EXPECT_STREQ(core_settings_label(CORE_SET_TEXTURE_COMPRESS), "No");
    EXPECT_TRUE(core_settings_matches_preset(CORE_PRESET_COMPATIBILITY));

    core_settings_apply_preset(CORE_PRESET_HIGH_FPS);
    EXPECT_TRUE(core_settings_matches_preset(CORE_PRESET_HIGH_FPS));
    EXPECT_FALSE(core_settings_matches_preset(CORE_PRESET_COMPATIBILITY));
    EXPECT_STREQ(core_settings_label(CORE_SET_RENDER_TEXTURE), "Hardware/Direct");
    EXPECT_EQ(core_settings_number(CORE_SET_ROOST_DENSITY), 0);
    EXPECT_EQ(core_settings_number(CORE_SET_GROUND_TEXTURE_DETAIL), 7);
    EXPECT_EQ(core_settings_number(CORE_SET_MODEL_TEXTURE_DETAIL), 7);

    core_settings_apply_preset(CORE_PRESET_HIGH_DETAIL);
    EXPECT_STREQ(core_settings_label(CORE_SET_GROUND_TEXTURE_DIM_NEW), "1024x1024");
    EXPECT_EQ(core_settings_number(CORE_SET_TERRAIN_RESYNC), 8);
    core_settings_set_number(CORE_SET_FOV, 90); // not a preset value
    EXPECT_TRUE(core_settings_matches_preset(CORE_PRESET_HIGH_DETAIL));
    core_settings_set_number(CORE_SET_MODEL_DETAIL, 74);
    EXPECT_FALSE(core_settings_matches_preset(CORE_PRESET_HIGH_DETAIL));
    EXPECT_STREQ(core_settings_preset_name(CORE_PRESET_NORMAL), "Normal");
    EXPECT_STREQ(core_settings_preset_name(9), "Custom");
}

TEST_F(settings_fixture, setters_clamp_and_refuse_what_does_not_fit) {
    EXPECT_EQ(core_settings_set_number(CORE_SET_VOLUME, NAN), 0);
    EXPECT_EQ(core_settings_number(CORE_SET_VOLUME), 10);
    EXPECT_EQ(core_settings_set_number(CORE_SET_VOLUME, -3), 1);
    EXPECT_EQ(core_settings_number(CORE_SET_VOLUME), 0);
    EXPECT_EQ(core_settings_set_number(CORE_SET_RECORD, 1), 0); // a choice is no number
    EXPECT_EQ(core_settings_set_choice(CORE_SET_SKILL, 99), 1);
    EXPECT_STREQ(core_settings_label(CORE_SET_SKILL), "Expert");
    EXPECT_EQ(core_settings_set_label(CORE_SET_SKILL, "expert"), 0);
    EXPECT_EQ(core_settings_set_text(CORE_SET_VOLUME, "x"), 0);
    EXPECT_EQ(core_settings_parse(-1, "1"), 0);
    EXPECT_EQ(core_settings_parse(CORE_SETTING_COUNT, "1"), 0);
    EXPECT_EQ(core_settings_parse(CORE_SET_XRES, "1024 pixels"), 1);
    EXPECT_EQ(core_settings_int(CORE_SET_XRES), 1024);
    EXPECT_EQ(core_settings_parse(CORE_SET_XRES, "wide"), 0);
    char buf[8];
    EXPECT_EQ(core_settings_format(CORE_SET_FOV, buf, sizeof buf), -1); // "110.000000" needs 11
    char big[64];
    EXPECT_EQ(core_settings_format(CORE_SET_FOV, big, sizeof big), 10);
    EXPECT_STREQ(big, "110.000000");
}

TEST_F(settings_fixture, render_settings_derive_from_the_items) {
    core_settings_apply_preset(CORE_PRESET_COMPATIBILITY);
    core_settings_parse(CORE_SET_GROUND_TEXTURE_DIM_NEW, "512x512");
    core_settings_parse(CORE_SET_MODEL_TEXTURE_DETAIL, "7");
    core_settings_parse(CORE_SET_GROUND_DETAIL, "25");
    core_settings_parse(CORE_SET_XRES, "1280");
    core_render_inputs in;
    core_render_inputs_defaults(&in);
    core_settings_render_inputs(&in);
    core_render_settings r;
    core_render_defaults(&r);
    core_render_derive(&in, &r);
    EXPECT_EQ(r.ground_texture_size, 512);
    EXPECT_EQ(r.model_texture_reduction, 3);
    EXPECT_EQ(r.ground_texture_reduction, 1);
    EXPECT_EQ(r.roost_frequency, 1000);
    EXPECT_EQ(r.texture_compression, 0);
    EXPECT_FLOAT_EQ(r.detail, 0.125f / 25);
    EXPECT_EQ(r.xres, 1280);
}

} // namespace
