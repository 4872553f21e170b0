#include "core/core_options.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct parsed {
    core_settings s;
    core_render_settings r;
    core_options_result out;
};

parsed parse(std::initializer_list<const char *> args) {
    static std::vector<std::string> keep;
    keep.assign(1, "zelvo");
    for (const char *a : args)
        keep.push_back(a);
    static std::vector<char *> argv;
    argv.clear();
    for (auto &k : keep)
        argv.push_back(k.data());
    argv.push_back(nullptr);
    parsed p;
    core_settings_defaults(&p.s);
    core_render_defaults(&p.r);
    core_options_parse((int)keep.size(), argv.data(), &p.s, &p.r, &p.out);
    return p;
}

TEST(core_options, table_has_46_options_in_matching_order) {
    static const char *const expected[] = {"--fugly",
                                           "--nosound",
                                           "--novertexarrays",
                                           "--learn",
                                           "--nolearn",
                                           "--nommx",
                                           "--debug",
                                           "--super-debug",
                                           "--practice",
                                           "--warp",
                                           "--texture-detail",
                                           "--ground-texture-detail",
                                           "--roostfrequency",
                                           "--erode",
                                           "--detail",
                                           "--max-detail-distance",
                                           "--lod-scale",
                                           "--lod-bias",
                                           "--lock-fps",
                                           "--fake-lag",
                                           "--fake-loss",
                                           "--record-audio",
                                           "--record-video",
                                           "--rotate-lineup",
                                           "--editor",
                                           "--hidden-pause",
                                           "--hidden-hud",
                                           "--bikes",
                                           "--width",
                                           "--height",
                                           "--depth",
                                           "--zdepth",
                                           "--draw-fps",
                                           "--draw-time",
                                           "--draw-ping",
                                           "--draw-speed",
                                           "--draw-render-stats",
                                           "--accurate-skip",
                                           "--track",
                                           "--connect",
                                           "--password",
                                           "--chase-center",
                                           "--open-home",
                                           "--glfinish",
                                           "--glversion",
                                           "--print-orientation"};
    ASSERT_EQ(core_options_count(), 46);
    for (int i = 0; i < 46; i++)
        EXPECT_STREQ(core_options_name(i), expected[i]) << i;
    EXPECT_EQ(core_options_name(46), nullptr);
}

TEST(core_options, flags_set_their_fields) {
    parsed p =
        parse({"--fugly", "--nosound", "--novertexarrays", "--nolearn", "--nommx", "--super-debug",
               "--practice", "--warp", "--record-video", "--editor", "--hidden-pause",
               "--hidden-hud", "--accurate-skip", "--glfinish", "--print-orientation"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_STREQ(p.out.stderr_text, "");
    EXPECT_EQ(p.r.fugly, 1);
    EXPECT_EQ(p.s.sound_off, 1);
    EXPECT_EQ(p.r.novertexarrays, 1);
    EXPECT_EQ(p.s.learning, 0);
    EXPECT_EQ(p.r.debug_level, 2);
    EXPECT_EQ(p.r.practice, 1);
    EXPECT_EQ(p.s.warp, 1);
    EXPECT_EQ(p.s.record_video, 1);
    EXPECT_EQ(p.s.editor, 1);
    EXPECT_EQ(p.s.show_pause_text, 0);
    EXPECT_EQ(p.s.show_hud, 0);
    EXPECT_EQ(p.s.accurate_skip, 1);
    EXPECT_EQ(p.s.glfinish, 1);
    EXPECT_EQ(p.s.print_orientation, 1);
    EXPECT_EQ(parse({"--nolearn", "--learn"}).s.learning, 1);
    EXPECT_EQ(parse({"--debug"}).r.debug_level, 1);
    // A flag does not match with a value attached.
    parsed bad = parse({"--warp=1"});
    EXPECT_EQ(bad.out.exit_code, 1);
    EXPECT_STREQ(bad.out.stderr_text,
                 "bad option '--warp=1'\nRun 'zelvo --help' for the options.\n");
}

TEST(core_options, value_forms_separate_and_joined) {
    for (auto p :
         {parse({"--width", "800", "--height", "600"}), parse({"--width=800", "--height=600"})}) {
        EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
        EXPECT_EQ(p.r.xres, 800);
        EXPECT_EQ(p.r.yres, 600);
    }
    // As the last argument --width has no value and changes nothing.
    parsed last = parse({"--width"});
    EXPECT_EQ(last.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_EQ(last.r.xres, 640);
}

TEST(core_options, clamps) {
    parsed p = parse({"--texture-detail", "9"});
    EXPECT_EQ(p.r.model_texture_reduction, 4);
    EXPECT_EQ(p.r.ground_texture_reduction, 4);
    p = parse({"--texture-detail=-3"});
    EXPECT_EQ(p.r.model_texture_reduction, 0);
    EXPECT_EQ(p.r.ground_texture_reduction, 0);
    p = parse({"--texture-detail", "2", "--ground-texture-detail", "7"});
    EXPECT_EQ(p.r.model_texture_reduction, 2);
    EXPECT_EQ(p.r.ground_texture_reduction, 4);
    EXPECT_EQ(parse({"--roostfrequency", "5000"}).r.roost_frequency, 1000);
    EXPECT_EQ(parse({"--roostfrequency", "-5"}).r.roost_frequency, 0);
    EXPECT_EQ(parse({"--erode", "150"}).s.erosion_rate, 100 * 1024);
    EXPECT_EQ(parse({"--erode", "0.5"}).s.erosion_rate, 512);
    EXPECT_EQ(parse({"--erode", "-1"}).s.erosion_rate, 0);
    EXPECT_FLOAT_EQ(parse({"--fake-lag", "2000"}).s.fake_lag, 1.0f);
    EXPECT_FLOAT_EQ(parse({"--fake-lag", "250"}).s.fake_lag, 0.25f);
    EXPECT_FLOAT_EQ(parse({"--fake-lag", "-9"}).s.fake_lag, 0.0f);
    EXPECT_EQ(parse({"--fake-loss", "140"}).s.fake_loss, 100);
    EXPECT_EQ(parse({"--fake-loss", "-2"}).s.fake_loss, 0);
    EXPECT_FLOAT_EQ(parse({"--lod-scale", "0"}).r.lod_scale, 1e-6f);
    EXPECT_FLOAT_EQ(parse({"--lod-scale", "1e9"}).r.lod_scale, 1e6f);
    p = parse({"--max-detail-distance", "100", "--detail", "0.5", "--lod-bias", "-3", "--lock-fps",
               "50"});
    EXPECT_FLOAT_EQ(p.r.max_detail_distance, 100);
    EXPECT_FLOAT_EQ(p.r.max_detail_distance_plus5, 105);
    EXPECT_FLOAT_EQ(p.r.detail, 0.5f);
    EXPECT_FLOAT_EQ(p.r.lod_bias, -3);
    EXPECT_FLOAT_EQ(p.s.lock_fps, 50);
    // Huge integers saturate rather than wrap.
    EXPECT_EQ(parse({"--roostfrequency", "99999999999999"}).r.roost_frequency, 1000);
}

TEST(core_options, every_bad_arg_text_and_exit_code) {
    struct bad_case {
        const char *option;
        const char *value;
        const char *text;
    };
    const bad_case cases[] = {
        {"--texture-detail", "x", "Bad arg for --texture-detail\n"},
        {"--ground-texture-detail", "x", "Bad arg for --ground-texture-detail\n"},
        {"--roostfrequency", "x", "Bad arg for --roostfrequency\n"},
        {"--erode", "x", "Bad arg for --erode\n"},
        {"--detail", "x", "Bad arg for --detail\n"},
        {"--max-detail-distance", "x", "Bad arg for --max-detail-distance\n"},
        {"--lod-scale", "x", "Bad arg for --lod-scale\n"},
        {"--lod-bias", "x", "Bad arg for --lod-bias\n"},
        {"--lock-fps", "x", "Bad arg for --lock-fps\n"},
        {"--fake-lag", "x", "Bad arg for --fake-lag\n"},
        {"--fake-loss", "x", "Bad arg for --fake-loss\n"},
        {"--chase-center", "1,2", "Bad arg for --chase-center\n"},
        {"--glversion", "3", "bad arg for --glversion\n"},
        {"--glversion", "3.2foo",
         "unknown OpenGL dialect for --glversion (must be 'compatibility', 'core' or 'es')\n"},
    };
    for (const bad_case &c : cases) {
        parsed sep = parse({c.option, c.value, "--warp"});
        EXPECT_EQ(sep.out.exit_code, 1) << c.option;
        EXPECT_STREQ(sep.out.stderr_text, c.text) << c.option;
        EXPECT_EQ(sep.s.warp, 0) << "parsing must stop at the error";
        std::string joined = std::string(c.option) + "=" + c.value;
        parsed j = parse({joined.c_str()});
        EXPECT_EQ(j.out.exit_code, 1) << joined;
        EXPECT_STREQ(j.out.stderr_text, c.text) << joined;
        // With no value at all (the last argument) the conversion fails too.
        parsed none = parse({c.option});
        EXPECT_EQ(none.out.exit_code, 1) << c.option;
        if (std::string(c.option) != "--glversion")
            EXPECT_STREQ(none.out.stderr_text, c.text) << c.option;
        else
            EXPECT_STREQ(none.out.stderr_text, "bad arg for --glversion\n");
    }
}

TEST(core_options, real_options_reject_non_finite_values) {
    const char *reals[] = {"--erode",     "--detail",   "--max-detail-distance",
                           "--lod-scale", "--lod-bias", "--lock-fps",
                           "--fake-lag"};
    for (const char *opt : reals) {
        for (const char *v : {"nan", "inf", "-inf", "infinity", "1e999", "NAN"}) {
            parsed p = parse({opt, v});
            EXPECT_EQ(p.out.exit_code, 1) << opt << " " << v;
            EXPECT_EQ(std::string(p.out.stderr_text), std::string("Bad arg for ") + opt + "\n");
        }
    }
    for (const char *v : {"nan,1,2", "1,inf,2", "1,2,nan"}) {
        parsed p = parse({"--chase-center", v});
        EXPECT_EQ(p.out.exit_code, 1) << v;
        EXPECT_FLOAT_EQ(p.s.chase_center[1], 2.52f);
    }
}

TEST(core_options, ignored_and_zero_on_failure_values) {
    parsed p = parse({"--width", "abc", "--height=", "--rotate-lineup", "zz"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_EQ(p.r.xres, 640);
    EXPECT_EQ(p.r.yres, 480);
    EXPECT_EQ(p.s.lineup_rotation, 0);
    EXPECT_EQ(parse({"--rotate-lineup", "3"}).s.lineup_rotation, 3);
    p = parse({"--depth", "abc", "--zdepth", "24", "--draw-fps", "2", "--draw-time", "x",
               "--draw-ping", "0", "--draw-speed", "3", "--draw-render-stats", "1"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_EQ(p.s.depth, 0);
    EXPECT_EQ(p.s.zdepth, 24);
    EXPECT_EQ(p.s.draw_fps, 2);
    EXPECT_EQ(p.s.draw_time, 0);
    EXPECT_EQ(p.s.draw_ping, 0);
    EXPECT_EQ(p.s.draw_speed, 3);
    EXPECT_EQ(p.s.draw_render_stats, 1);
    // "%d" reads the leading digits.
    EXPECT_EQ(parse({"--width", "1024px"}).r.xres, 1024);
}

TEST(core_options, bikes_note_and_text_values) {
    parsed p = parse({"--bikes", "whatever", "--track", "hills", "--password", "pw",
                      "--record-audio", "out.raw", "--chase-center=1.5,2,-3"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_STREQ(p.out.stderr_text, "--bikes doesn't do anything anymore\n");
    EXPECT_STREQ(p.s.start_track, "hills");
    EXPECT_STREQ(p.s.password, "pw");
    EXPECT_STREQ(p.s.record_audio_path, "out.raw");
    EXPECT_FLOAT_EQ(p.s.chase_center[0], 1.5f);
    EXPECT_FLOAT_EQ(p.s.chase_center[1], 2.0f);
    EXPECT_FLOAT_EQ(p.s.chase_center[2], -3.0f);
    EXPECT_EQ(p.s.file_arg, nullptr);
}

TEST(core_options, connect_strips_scheme_keeps_127_and_clears_track) {
    parsed p = parse({"--track", "hills", "--connect", "zelvo:race.example:19800"});
    EXPECT_STREQ(p.s.connect_address, "race.example:19800");
    EXPECT_EQ(p.s.start_track, nullptr);
    EXPECT_STREQ(parse({"--connect=host"}).s.connect_address, "host");
    std::string longer(300, 'h');
    p = parse({"--connect", longer.c_str()});
    EXPECT_EQ(std::string(p.s.connect_address), std::string(127, 'h'));
    EXPECT_EQ(parse({"--track", "hills"}).s.start_track, std::string("hills"));
}

TEST(core_options, file_arguments_and_end_of_options) {
    parsed p = parse({"race.zvdemo"});
    EXPECT_STREQ(p.s.file_arg, "race.zvdemo");
    p = parse({"a.zvdemo", "b.zvdemo"});
    EXPECT_EQ(p.out.exit_code, 1);
    EXPECT_STREQ(p.out.stderr_text, "Too many files!\n");
    p = parse({"--", "--warp"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_STREQ(p.s.file_arg, "--warp");
    EXPECT_EQ(p.s.warp, 0);
    p = parse({"--", "-x", "--width=3"});
    EXPECT_EQ(p.out.exit_code, 1);
    EXPECT_STREQ(p.out.stderr_text, "Too many files!\n");
    // A second "--" is an ordinary file argument.
    p = parse({"--", "--"});
    EXPECT_STREQ(p.s.file_arg, "--");
    // The three whole-string flags still count after "--".
    p = parse({"--", "--fugly", "--nosound", "--novertexarrays"});
    EXPECT_EQ(p.r.fugly, 1);
    EXPECT_EQ(p.s.sound_off, 1);
    EXPECT_EQ(p.r.novertexarrays, 1);
    EXPECT_EQ(p.s.file_arg, nullptr);
    p = parse({"-q"});
    EXPECT_EQ(p.out.exit_code, 1);
    EXPECT_STREQ(p.out.stderr_text, "bad option '-q'\nRun 'zelvo --help' for the options.\n");
    // A longer name is not a match for a shorter option.
    p = parse({"--widthx=4"});
    EXPECT_STREQ(p.out.stderr_text,
                 "bad option '--widthx=4'\nRun 'zelvo --help' for the options.\n");
}

TEST(core_options, glversion_dialects) {
    parsed p = parse({"--glversion", "4.6"});
    EXPECT_EQ(p.out.exit_code, CORE_OPTIONS_GO_ON);
    EXPECT_EQ(p.s.gl_major, 4);
    EXPECT_EQ(p.s.gl_minor, 6);
    EXPECT_EQ(p.s.gl_dialect, PLATFORM_GL_COMPATIBILITY);
    p = parse({"--glversion=3.2core"});
    EXPECT_EQ(p.s.gl_major, 3);
    EXPECT_EQ(p.s.gl_minor, 2);
    EXPECT_EQ(p.s.gl_dialect, PLATFORM_GL_CORE);
    EXPECT_EQ(parse({"--glversion", "3.0es"}).s.gl_dialect, PLATFORM_GL_ES);
    EXPECT_EQ(parse({"--glversion", "3.3compatibility"}).s.gl_dialect, PLATFORM_GL_COMPATIBILITY);
    EXPECT_EQ(parse({"--glversion", "3.2 core"}).s.gl_dialect, PLATFORM_GL_CORE);
    p = parse({});
    EXPECT_EQ(p.s.gl_major, 3);
    EXPECT_EQ(p.s.gl_minor, 1);
    EXPECT_EQ(p.s.gl_dialect, PLATFORM_GL_CORE);
    EXPECT_EQ(parse({"--glversion", "3.2Core"}).out.exit_code, 1);
    EXPECT_EQ(parse({"--glversion", "3.2coreX"}).out.exit_code, 1);
    EXPECT_EQ(parse({"--glversion", "3.x"}).out.exit_code, 1);
}

TEST(core_options, open_home_ends_with_zero) {
    parsed p = parse({"--warp", "--open-home", "--nonsense"});
    EXPECT_EQ(p.out.exit_code, 0);
    EXPECT_EQ(p.s.open_home, 1);
    EXPECT_STREQ(p.out.stderr_text, "");
}

TEST(core_render, derivation_from_configuration_values) {
    core_render_inputs in;
    core_render_inputs_defaults(&in);
    core_render_settings r;
    core_render_defaults(&r);
    core_render_derive(&in, &r);
    EXPECT_EQ(r.roost_frequency, 250);
    EXPECT_EQ(r.model_texture_reduction, 1);
    EXPECT_EQ(r.ground_texture_reduction, 1);
    EXPECT_EQ(r.ground_texture_size, 1024);
    EXPECT_FLOAT_EQ(r.detail, 0.125f / 50);
    EXPECT_FLOAT_EQ(r.lod_bias, 50 - 50 * 1.0f);
    EXPECT_FLOAT_EQ(r.lod_scale, 1.0f);
    EXPECT_EQ(r.reserved_value0, 65536);
    EXPECT_FLOAT_EQ(r.max_detail_distance_plus5, 75);

    in.model_detail = 20; // bias 50 - 50*0.5, scale (80*0.02)^3
    in.ground_detail = 0; // must not divide by zero
    in.model_texture_detail = -5;
    in.ground_texture_levels = 12;
    in.ground_texture_dim_choice = 0;
    in.xres = 1280;
    core_render_derive(&in, &r);
    EXPECT_FLOAT_EQ(r.lod_bias, 25);
    EXPECT_FLOAT_EQ(r.lod_scale, 1.6f * 1.6f * 1.6f);
    EXPECT_FLOAT_EQ(r.detail, 0.125f);
    EXPECT_TRUE(std::isfinite(r.detail));
    EXPECT_EQ(r.model_texture_reduction, 10);
    EXPECT_EQ(r.ground_texture_reduction, 0);
    EXPECT_EQ(r.ground_texture_size, 128);
    EXPECT_EQ(r.xres, 1280);

    in.model_detail = 100;
    core_render_derive(&in, &r);
    EXPECT_FLOAT_EQ(r.lod_bias, 0);
    EXPECT_FLOAT_EQ(r.lod_scale, 0);

    // Command-line options applied after the derivation win.
    char arg0[] = "zelvo", arg1[] = "--detail=0.3";
    char *argv[] = {arg0, arg1, nullptr};
    core_settings s;
    core_settings_defaults(&s);
    core_options_result out;
    core_options_parse(2, argv, &s, &r, &out);
    EXPECT_FLOAT_EQ(r.detail, 0.3f);
}

TEST(core_display_modes, list_keeps_first_depth_in_order) {
    const platform_display_mode modes[] = {
        {1920, 1080, 32}, {800, 600, 16}, {1024, 768, 32}, {640, 480, 32}, {0, 0, 0}};
    ASSERT_EQ(core_display_modes_build(modes), 5);
    EXPECT_STREQ(core_display_mode_at(0)->name, "Default Fullscreen");
    EXPECT_EQ(core_display_mode_at(0)->width, 0);
    EXPECT_STREQ(core_display_mode_at(1)->name, "Windowed");
    EXPECT_STREQ(core_display_mode_at(2)->name, "1920x1080");
    EXPECT_STREQ(core_display_mode_at(3)->name, "1024x768");
    EXPECT_EQ(core_display_mode_at(3)->height, 768);
    EXPECT_STREQ(core_display_mode_at(4)->name, "640x480");
    EXPECT_EQ(core_display_mode_at(5), nullptr);
    EXPECT_EQ(core_display_mode_find("1024x768"), 3);
    EXPECT_EQ(core_display_mode_find("800x600"), -1);
    EXPECT_EQ(core_display_modes_build(nullptr), 2);
    core_display_modes_free();
    EXPECT_EQ(core_display_mode_count(), 0);
}

} // namespace
