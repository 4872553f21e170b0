// Rider setup: preset, reading and writing the text, applying to a bike, graphics lists and
// the rider info line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bike/bike_model.h"
#include "bike/bike_setup.h"

namespace {

struct setup_fixture : public ::testing::Test {
    bike_setup s = {};
    void SetUp() override { bike_setup_init(&s); }
    void TearDown() override { bike_setup_free(&s); }
    void read(const char *text) { bike_setup_read_text(&s, text, nullptr, 0); }
    std::string written() {
        size_t n = bike_setup_write_buffer(&s, nullptr, 0);
        std::vector<char> buf(n + 1);
        bike_setup_write_buffer(&s, buf.data(), buf.size());
        return std::string(buf.data());
    }
};

using BikeSetup = setup_fixture;

TEST_F(BikeSetup, DefaultsAndPresetAtFullStability) {
    EXPECT_STREQ(s.name, "Joe Motocross");
    EXPECT_STREQ(s.number, "999");
    EXPECT_EQ(s.bike, 0);
    EXPECT_FLOAT_EQ(s.value[SETUP_STABILITY], 100);
    // Stability 100 gives the last preset column.
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_DAMPING], 80);
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_LIMIT_FACTOR], 32);
    EXPECT_FLOAT_EQ(s.value[SETUP_STEERING_DAMPING], 60);
    EXPECT_FLOAT_EQ(s.value[SETUP_DIRECT_STEERING], 0.125f);
    EXPECT_FLOAT_EQ(s.value[SETUP_RESTRICTED_LOCK], 1);
    EXPECT_FLOAT_EQ(s.value[SETUP_BRAKE_TORQUE], 500);
    EXPECT_EQ(s.choice[SETUP_ARCADE], 1);
    EXPECT_EQ(s.choice[SETUP_REAR_BRAKE], 0);
    EXPECT_STREQ(bike_setup_graphics_label(&s, GFX_BIKE), "default");
}

TEST_F(BikeSetup, ResetGoesBackToDefaults) {
    const char *files[] = {"wheels-gold.png"};
    bike_setup_rebuild_graphics(&s, files, 1);
    bike_setup_select_graphics(&s, GFX_WHEEL, "gold");
    s.value[SETUP_LEVELING] = 99;
    s.bike = 12;
    bike_setup_reset(&s);
    EXPECT_FLOAT_EQ(s.value[SETUP_LEVELING], 20);
    EXPECT_EQ(s.bike, 0);
    EXPECT_EQ(s.gfx[GFX_WHEEL].count, 1);
    EXPECT_STREQ(bike_setup_graphics_label(&s, GFX_WHEEL), "default");
}

TEST_F(BikeSetup, StabilityFiftyInterpolates) {
    read("stability=50\n");
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_DAMPING], 65);
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_LIMIT_FACTOR], 21);
    EXPECT_FLOAT_EQ(s.value[SETUP_SLOW_DAMPING_FACTOR], 1.75f);
    EXPECT_FLOAT_EQ(s.value[SETUP_RESTRICTED_LOCK], 7.5f);
    // A later key overrides the preset; the integer part drives the preset.
    read("stability=50.9\nroll_damping=12\n");
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_DAMPING], 12);
    EXPECT_FLOAT_EQ(s.value[SETUP_STABILITY], 50.9f);
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_LIMIT_FACTOR], 21);
    read("stability=0\n");
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_LIMIT_ANGLE], 90);
    EXPECT_FLOAT_EQ(s.value[SETUP_RESTRICTED_LOCK], 45);
    read("stability=1000\n");
    EXPECT_FLOAT_EQ(s.value[SETUP_STABILITY], 100);
    EXPECT_FLOAT_EQ(s.value[SETUP_RESTRICTED_LOCK], 1);
}

TEST_F(BikeSetup, BikeLines) {
    read("bike=yz250f\n");
    EXPECT_STREQ(bike_menu_name(s.bike), "yz250f(2008)");
    read("bike=yz250f(2017)\n");
    EXPECT_STREQ(bike_menu_name(s.bike), "yz250f(2017)");
    read("bike=kx85\n");
    EXPECT_STREQ(bike_menu_name(s.bike), "yz250f(2017)");
    read("bike=crf250\r\n");
    EXPECT_STREQ(bike_menu_name(s.bike), "crf250(2008)");
}

TEST_F(BikeSetup, NamesNumbersValuesAndChoices) {
    read("number=12345\n");
    EXPECT_STREQ(s.number, "123");
    std::string longname = "name=" + std::string(100, 'n') + "\n";
    read(longname.c_str());
    EXPECT_EQ(strlen(s.name), 63u);
    read(
        "leveling=abc\nroll_damping=250\nmax_dab_speed=1\nfront_brake=Normal\nstop_wheelies=Maybe\n"
        "no equals sign here\nrider_mass_distribution=nan\nsteering_strength=inf\n");
    EXPECT_FLOAT_EQ(s.value[SETUP_LEVELING], 20);      // unparsed: unchanged
    EXPECT_FLOAT_EQ(s.value[SETUP_ROLL_DAMPING], 100); // clamped to the slider
    EXPECT_FLOAT_EQ(s.value[SETUP_MAX_DAB_SPEED], 5);
    EXPECT_FLOAT_EQ(s.value[SETUP_RIDER_MASS_DISTRIBUTION], 0.33f);
    EXPECT_FLOAT_EQ(s.value[SETUP_STEERING_STRENGTH], 100); // infinite: clamped like any
    EXPECT_EQ(s.choice[SETUP_FRONT_BRAKE], 0);
    EXPECT_EQ(s.choice[SETUP_STOP_WHEELIES], 1);
    EXPECT_EQ(s.changed, 1);
    EXPECT_EQ(bike_setup_read_line(&s, "roll_damping", "oops"), 1);
    EXPECT_EQ(bike_setup_read_line(&s, "track", "mx1"), 0);
    EXPECT_EQ(bike_setup_read_line(&s, "rider_texture", "blue"), 1);
}

TEST_F(BikeSetup, WriteThenReadReproducesEverything) {
    const char *files[] = {"rider_body-blue.png", "rider_head-red.png.scram", "wheels-gold.png",
                           "crf450v2017-race.png"};
    bike_setup_select_bike(&s, "crf450(2017)");
    bike_setup_rebuild_graphics(&s, files, 4);
    ASSERT_TRUE(bike_setup_select_graphics(&s, GFX_RIDER, "blue"));
    ASSERT_TRUE(bike_setup_select_graphics(&s, GFX_HEAD, "red"));
    ASSERT_TRUE(bike_setup_select_graphics(&s, GFX_WHEEL, "gold"));
    ASSERT_TRUE(bike_setup_select_graphics(&s, GFX_BIKE, "race"));
    snprintf(s.name, sizeof s.name, "Ann Rider");
    snprintf(s.number, sizeof s.number, "42");
    s.value[SETUP_STABILITY] = 37;
    bike_setup_apply_stability(&s, 37);
    s.value[SETUP_ROLL_DAMPING] = 3; // differs from the preset
    s.value[SETUP_RESTRICTED_LOCK] = 12.125f;
    s.value[SETUP_FRONT_SPROCKET] = -2;
    s.value[SETUP_SHOCK_PRELOAD] = 81;
    s.value[SETUP_RIDER_MASS_DISTRIBUTION] = 0.47f;
    s.choice[SETUP_STOP_WHEELIES] = 2;
    s.choice[SETUP_ARCADE] = 0;
    std::string text = written();
    EXPECT_EQ(text.rfind("bike=crf450(2017)\nname=Ann Rider\nnumber=42\nrider_texture=blue\n", 0),
              0u);
    EXPECT_NE(text.find("restricted_lock=12.125000\narcade=No\n"), std::string::npos);
    EXPECT_NE(text.find("lean_indicator=Yes\nauto_clutch_rpms=5000.000000\n"), std::string::npos);
    EXPECT_NE(text.find("stop_wheelies=Front Only\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 33), "rider_mass_distribution=0.470000\n");
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    EXPECT_EQ(lines, 7 + SETUP_VALUE_COUNT + SETUP_CHOICE_COUNT);

    bike_setup t = {};
    bike_setup_init(&t);
    bike_setup_rebuild_graphics(&t, files, 4); // as at start-up
    bike_setup_read_text(&t, text.c_str(), files, 4);
    EXPECT_EQ(t.bike, s.bike);
    EXPECT_STREQ(t.name, s.name);
    EXPECT_STREQ(t.number, s.number);
    for (int v = 0; v < SETUP_VALUE_COUNT; v++)
        EXPECT_NEAR(t.value[v], s.value[v], 1e-5) << v;
    for (int c = 0; c < SETUP_CHOICE_COUNT; c++)
        EXPECT_EQ(t.choice[c], s.choice[c]) << c;
    for (int k = 0; k < GFX_KIND_COUNT; k++)
        EXPECT_STREQ(bike_setup_graphics_label(&t, k), bike_setup_graphics_label(&s, k)) << k;
    EXPECT_STREQ(bike_setup_graphics_file(&t, GFX_HEAD), "@rider_head-red.png");
    bike_setup_free(&t);
}

TEST_F(BikeSetup, GraphicsListsFilterNames) {
    const char *files[] = {"rider_body-blue.png",
                           "rider_body-blue_norm.png",
                           "rider_body-x_spec.png.scram",
                           "gear/rider_body-green.png.scram",
                           "rider_body-old.jpg",
                           "xrider_body-no.png",
                           "wheels-black.png"};
    bike_setup_rebuild_graphics(&s, files, 7);
    const bike_graphics_list *l = &s.gfx[GFX_RIDER];
    ASSERT_EQ(l->count, 3);
    EXPECT_STREQ(l->entries[0].label, "default");
    EXPECT_STREQ(l->entries[0].file, "");
    EXPECT_STREQ(l->entries[1].label, "blue");
    EXPECT_STREQ(l->entries[1].file, "@rider_body-blue.png");
    EXPECT_STREQ(l->entries[2].label, "green");
    EXPECT_STREQ(l->entries[2].file, "@gear/rider_body-green.png");
    EXPECT_EQ(s.gfx[GFX_WHEEL].count, 2);
    EXPECT_FALSE(bike_setup_select_graphics(&s, GFX_RIDER, "purple"));
    EXPECT_EQ(l->choice, 0);
    // Reading a setup resets the bike graphics when the bike changes and its label is gone.
    read("bike=cr125\nbike_texture=race\n");
    EXPECT_STREQ(bike_setup_graphics_label(&s, GFX_BIKE), "default");
    // Many files: the list grows past its first 16 entries.
    std::vector<std::string> many;
    for (int i = 0; i < 40; i++)
        many.push_back("wheels-w" + std::to_string(i) + ".png");
    std::vector<const char *> ptrs;
    for (auto &m : many)
        ptrs.push_back(m.c_str());
    bike_setup_rebuild_graphics(&s, ptrs.data(), (int)ptrs.size());
    EXPECT_EQ(s.gfx[GFX_WHEEL].count, 41);
    EXPECT_TRUE(bike_setup_select_graphics(&s, GFX_WHEEL, "w39"));
}

TEST_F(BikeSetup, ApplyMapsAndClamps) {
    const bike_model *m = bike_model_get(bike_model_find("cr125"));
    bike_applied a;
    bike_applied_defaults(&a, m);
    read("max_dab_speed=5\nfront_sprocket_adjustment=-2\nrear_sprocket_adjustment=2\n"
         "fork_compression_adjustment=100\nfork_slow_compression_adjustment=0\n"
         "fork_oil_level_adjustment=100\nshock_spring_rate_adjustment=0\nroll_limit_angle=180\n"
         "restricted_lock=45\nrider_ydamping=30\nstop_wheelies=Front Only\nrear_brake=Antilock\n");
    bike_setup_apply(&s, m, 1, &a);
    EXPECT_NEAR(a.max_dab_speed, 7.3333335f, 1e-4);
    EXPECT_EQ(a.front_teeth, 11);
    EXPECT_EQ(a.rear_teeth, 54);
    EXPECT_FLOAT_EQ(a.final_drive, 54.0f / 11.0f);
    EXPECT_FLOAT_EQ(a.fork_hs_comp, m->fork[6] * 4);
    EXPECT_FLOAT_EQ(a.fork_ls_comp, -m->fork[7]);
    EXPECT_FLOAT_EQ(a.fork_air_gap, 0.25f);
    EXPECT_FLOAT_EQ(a.shock_spring, m->shock[0]);
    EXPECT_NEAR(a.roll_limit_angle, M_PI, 1e-6);
    EXPECT_NEAR(a.restricted_lock, M_PI / 4, 1e-6);
    EXPECT_FLOAT_EQ(a.rider_ydamping, 0.3f);
    EXPECT_EQ(a.arcade, 1);
    EXPECT_EQ(a.flags & BIKE_FLAG_STOP_WHEELIES, 0);
    EXPECT_NE(a.flags & BIKE_FLAG_STOP_STOPPIES, 0);
    EXPECT_NE(a.flags & BIKE_FLAG_REAR_ANTILOCK, 0);
    // The server may forbid arcade physics.
    bike_setup_apply(&s, m, 0, &a);
    EXPECT_EQ(a.arcade, 0);
    // Values edited behind the reader's back are clamped on the way in; sprockets never fall
    // below 3 teeth.
    s.value[SETUP_FULL_LOCK_SPEED] = 0;
    s.value[SETUP_FRONT_SPROCKET] = -50;
    s.value[SETUP_MAX_DAB_SPEED] = 500;
    bike_setup_apply(&s, m, 1, &a);
    EXPECT_FLOAT_EQ(a.full_lock_speed, 1);
    EXPECT_EQ(a.front_teeth, 11);
    EXPECT_NEAR(a.max_dab_speed, 60 * 1.4666667f, 1e-3);
    bike_model tiny = *m;
    tiny.engine.front_sprocket = 2;
    tiny.engine.rear_sprocket = 1;
    s.value[SETUP_FRONT_SPROCKET] = 0;
    s.value[SETUP_REAR_SPROCKET] = 0;
    bike_setup_apply(&s, &tiny, 1, &a);
    EXPECT_EQ(a.front_teeth, 3);
    EXPECT_EQ(a.rear_teeth, 3);
}

TEST_F(BikeSetup, FreshBikeDefaults) {
    const bike_model *m = bike_model_get(bike_model_find("crf250(2007)"));
    bike_applied a;
    bike_applied_defaults(&a, m);
    EXPECT_NEAR(a.restricted_lock, 5 * M_PI / 180, 1e-6);
    EXPECT_FLOAT_EQ(a.max_dab_speed, 30);
    EXPECT_EQ(a.flags, BIKE_FLAG_STOP_STOPPIES | BIKE_FLAG_FRONT_ANTILOCK | BIKE_FLAG_REALIGN);
    EXPECT_FLOAT_EQ(a.shock_hs_comp, 1600);
    EXPECT_FLOAT_EQ(a.shock_ls_reb, 150);
    EXPECT_FLOAT_EQ(a.fork_air_gap, 5.0f / 12);
    EXPECT_FLOAT_EQ(a.rider_ydamping, 0.75f);
    EXPECT_FLOAT_EQ(a.final_drive, 51.0f / 13.0f);
}

TEST_F(BikeSetup, InfoLineAndDisplay) {
    const char *files[] = {"rider_body-blue.png", "wheels-gold.png"};
    bike_setup_rebuild_graphics(&s, files, 2);
    bike_setup_select_graphics(&s, GFX_RIDER, "blue");
    bike_setup_select_graphics(&s, GFX_WHEEL, "gold");
    char buf[256];
    bike_setup_info_line(&s, buf, sizeof buf);
    EXPECT_STREQ(buf, "450sxf(2018)|@rider_body-blue.png||@wheels-gold.png|\n999\nJoe Motocross");
    char small[48];
    bike_setup_info_line(&s, small, sizeof small);
    EXPECT_STREQ(small, "450sxf(2018)\n999\nJoe Motocross");

    const bike_model *m = bike_model_get(bike_model_find("crf450(2018)"));
    char d[64];
    EXPECT_STREQ(bike_setup_display(&s, m, SETUP_FORK_SPRING_RATE, d, sizeof d), "0.480 kg/mm");
    EXPECT_STREQ(bike_setup_display(&s, m, SETUP_SHOCK_SPRING_RATE, d, sizeof d), "5.70 kg/mm");
    EXPECT_STREQ(bike_setup_display(&s, m, SETUP_SHOCK_PRELOAD, d, sizeof d), "50.80 mm");
    s.value[SETUP_FRONT_SPROCKET] = -2;
    EXPECT_STREQ(bike_setup_display(&s, m, SETUP_FRONT_SPROCKET, d, sizeof d), "11.00 teeth");
    EXPECT_STREQ(bike_setup_display(&s, m, SETUP_LEVELING, d, sizeof d), "");
}

} // namespace

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "base/zv_message.h"
#include "data/data_index.h"

namespace {

TEST(BikeSetupFiles, WritesAndReadsSetupFiles) {
    char dir[] = "/tmp/zv_bike_setup_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string tmp = dir;
    setenv("XDG_DATA_HOME", (tmp + "/home").c_str(), 1);
    setenv("ZV_HOME", (tmp + "/game").c_str(), 1);
    mkdir((tmp + "/game").c_str(), 0777);
    file_index_free();
    data_root_reset();

    bike_setup s = {};
    bike_setup_init(&s);
    bike_setup_select_bike(&s, "kx250f(2016)");
    s.value[SETUP_FORK_PRELOAD] = 17;
    zv_message_clear();
    ASSERT_EQ(bike_setup_write_file(&s, "fast"), 1);
    EXPECT_STREQ(zv_message_line(0), "Setup written");
    FILE *f = fopen((tmp + "/home/Zelvo/setups/fast").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char first[64] = {};
    ASSERT_NE(fgets(first, sizeof first, f), nullptr);
    fclose(f);
    EXPECT_STREQ(first, "bike=kx250f(2016)\n");

    bike_setup t = {};
    bike_setup_init(&t);
    ASSERT_EQ(bike_setup_read_file(&t, "fast"), 1);
    EXPECT_STREQ(zv_message_line(0), "Setup updated");
    EXPECT_EQ(t.bike, s.bike);
    EXPECT_FLOAT_EQ(t.value[SETUP_FORK_PRELOAD], 17);
    EXPECT_EQ(t.changed, 1);

    t.value[SETUP_FORK_PRELOAD] = 3;
    EXPECT_EQ(bike_setup_read_file(&t, "missing"), 0);
    EXPECT_STREQ(zv_message_line(0), "Error reading setup");
    EXPECT_FLOAT_EQ(t.value[SETUP_FORK_PRELOAD], 3);

    bike_setup_free(&s);
    bike_setup_free(&t);
    file_index_free();
    std::string cmd = "rm -rf '" + tmp + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace

// The setup-change report names the values that moved since the last report, once each.
TEST_F(BikeSetup, ChangeReportLettersTheMovedValuesOnce) {
    bike_setup_tracker t;
    bike_setup_track(&t, &s);
    s.value[SETUP_LEVELING] += 1;                  // the first tracked value: 'a'
    s.value[SETUP_RIDER_MASS_DISTRIBUTION] = 0.4f; // the last: 'N'
    char letters[64];
    EXPECT_EQ(bike_setup_changes(&t, &s, letters, sizeof letters), 2);
    EXPECT_EQ(std::string(letters), "a" + std::string(38, '-') + "N");
    EXPECT_EQ(bike_setup_changes(&t, &s, letters, sizeof letters), 0);
    EXPECT_EQ(std::string(letters), std::string(40, '-'));
}
