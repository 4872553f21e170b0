// The menus' own rules, on pages built as the program builds them: navigation over the gate
// columns, the type-ahead, sliders under the pointer, the preset line, the lineup rotation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bike/bike_model.h"
#include "core/core_config.h"
#include "core/core_loop.h"
#include "core/core_options.h"
#include "core/core_settings.h"
#include "platform/null/platform_null.h"
#include "ui/ui_menu.h"

namespace {

struct menu_pages : testing::Test {
    void SetUp() override {
        platform_null_reset();
        core_config_defaults();
        core_loop_init(nullptr);
        core_menu_key.up = PLATFORM_KEY_BASE + 0x148;
        core_menu_key.down = PLATFORM_KEY_BASE + 0x150;
        core_menu_key.left = PLATFORM_KEY_BASE + 0x14B;
        core_menu_key.right = PLATFORM_KEY_BASE + 0x14D;
        core_menu_key.cursor_left = PLATFORM_MOUSE_LEFT;
        core_loop.frame_width = 640;
        core_loop.frame_height = 480;
        ui_menu_install();
        ui_menu_reset_highlight();
    }
    void TearDown() override { core_loop_shutdown(); }
    void open(int page, const char *label) {
        core_loop.menu_page = page;
        ui_menu_reset_highlight();
        ui_menu_build();
        ui_menu.highlight = ui_menu_find(label);
        ASSERT_GE(ui_menu.highlight, 0) << label;
    }
    std::string lit() { return ui_menu.items[ui_menu.highlight].label; }
};

TEST_F(menu_pages, down_runs_from_laps_into_the_gates_and_stops_at_the_last) {
    open(UI_PAGE_NEW_RACE, "Laps");
    ui_menu_key(core_menu_key.down);
    EXPECT_EQ(lit(), "Gate 1");
    open(UI_PAGE_NEW_RACE, "Gate 40");
    ui_menu_key(core_menu_key.down);
    EXPECT_EQ(lit(), "Gate 40");
    // The second column sits beside the first.
    const ui_item &g1 = ui_menu.items[ui_menu_find("Gate 1")];
    const ui_item &g21 = ui_menu.items[ui_menu_find("Gate 21")];
    EXPECT_EQ(g1.rect.y0, g21.rect.y0);
    EXPECT_LT(g1.rect.x1, g21.rect.x0);
}

TEST_F(menu_pages, typing_on_a_choice_jumps_to_a_matching_option) {
    open(UI_PAGE_BIKE, "Bike");
    ui_menu_key('y');
    ui_menu_key('z');
    EXPECT_NE(std::string(bike_menu_name(core_config_setup.bike)).find("yz"), std::string::npos);
    int chosen = core_config_setup.bike;
    // A character no option holds is taken back out again.
    ui_menu_key('#');
    EXPECT_STREQ(ui_menu.typeahead, "yz");
    EXPECT_EQ(core_config_setup.bike, chosen);
    ui_menu_key(8); // backspace empties the buffer
    EXPECT_STREQ(ui_menu.typeahead, "");
}

TEST_F(menu_pages, a_slider_follows_the_pointer_in_whole_steps) {
    double v = -1;
    ASSERT_TRUE(ui_slider_from_pointer(0, 1000, 10, 100, 200, 143, &v));
    EXPECT_DOUBLE_EQ(v, 430);
    ASSERT_TRUE(ui_slider_from_pointer(0, 1000, 10, 100, 200, 212, &v)); // tolerance
    EXPECT_DOUBLE_EQ(v, 1000);
    EXPECT_FALSE(ui_slider_from_pointer(0, 1000, 10, 100, 200, 216, &v));

    // Clicked on the page, the roost density (0 to 1000 in tens) takes the pointer's value.
    open(UI_PAGE_ADVANCED, "Roost Density");
    const ui_item &it = ui_menu.items[ui_menu.highlight];
    core_loop.pointer_x = it.rect.x0 + (int)((it.rect.x1 - it.rect.x0) * 0.43 + 0.5);
    core_loop.pointer_y = (it.rect.y0 + it.rect.y1) / 2;
    ui_menu_key(PLATFORM_MOUSE_LEFT);
    EXPECT_NEAR(core_settings_number(CORE_SET_ROOST_DENSITY), 430, 10);
    EXPECT_EQ(core_render.roost_frequency, (int)core_settings_number(CORE_SET_ROOST_DENSITY));
}

TEST_F(menu_pages, the_settings_line_names_the_first_matching_preset) {
    core_settings_apply_preset(CORE_PRESET_NORMAL);
    EXPECT_STREQ(ui_menu_current_settings(), "Current Settings: Normal");
    core_settings_apply_preset(CORE_PRESET_COMPATIBILITY);
    EXPECT_STREQ(ui_menu_current_settings(), "Current Settings: Compatibility");
    core_settings_set_number(CORE_SET_MODEL_DETAIL, 51);
    EXPECT_STREQ(ui_menu_current_settings(), "Current Settings: Custom");
}

TEST_F(menu_pages, the_lineup_rotates_within_the_gates) {
    int gates[CORE_GATES] = {};
    gates[0] = 1;
    gates[39] = 2;
    ui_rotate_gates(gates, CORE_GATES, 161); // 161 places is one place round 40 gates
    EXPECT_EQ(gates[1], 1);
    EXPECT_EQ(gates[0], 2);
    int riders = 0;
    for (int g : gates)
        riders += g != 0;
    EXPECT_EQ(riders, 2); // nobody rotated out of the gates
}

TEST_F(menu_pages, a_text_field_keeps_its_cursor_inside_a_replaced_text) {
    snprintf(core_config_setup.name, sizeof core_config_setup.name, "A long rider name");
    open(UI_PAGE_BIKE, "Name");
    ui_menu_key('!'); // the cursor starts at the end
    EXPECT_STREQ(core_config_setup.name, "A long rider name!");
    // A setup read replaces the text with a shorter one: typing goes at its end.
    snprintf(core_config_setup.name, sizeof core_config_setup.name, "Al");
    ui_menu_key('x');
    EXPECT_STREQ(core_config_setup.name, "Alx");
}

} // namespace
