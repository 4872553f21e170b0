// Lighting file: keywords, defaults, limits of the planes, flares and sky textures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "track/track_lighting.h"
#include "track_fixture.h"

namespace {

std::vector<std::string> loaded_textures;
unsigned fake_texture_load(const char *name) {
    loaded_textures.push_back(name);
    return (unsigned)loaded_textures.size();
}

class LightingTest : public track_test::TrackFixture {
  protected:
    track_render_hooks saved;
    void SetUp() override {
        TrackFixture::SetUp();
        saved = track_render;
        track_render = {};
        track_render.texture_load = fake_texture_load;
        loaded_textures.clear();
    }
    void TearDown() override {
        track_render = saved;
        TrackFixture::TearDown();
    }
    void load(const std::string &text) {
        write("lt/lighting", text);
        lighting_load("lt");
    }
    int unknown_messages() {
        int n = 0;
        for (auto &l : track_test::log_lines())
            if (l.find("Unknown identifier") != std::string::npos) n++;
        return n;
    }
};

TEST_F(LightingTest, MissingFileKeepsDefaultsAndLoadsDefaultSky) {
    lighting_load("nothing_here");
    EXPECT_FLOAT_EQ(lighting.near_plane, 0.25f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 5000.0f);
    EXPECT_NEAR(lighting.sun_vector[0], 1 / std::sqrt(3.0f), 1e-6);
    EXPECT_FLOAT_EQ(lighting.ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(lighting.global_ambient[2], 0.2f);
    EXPECT_EQ(lighting.fog_density, 0.0f);
    ASSERT_EQ(loaded_textures.size(), 6u);
    EXPECT_EQ(loaded_textures[0], "@sky-n.ppm");
    EXPECT_EQ(loaded_textures[5], "@sky-env.ppm");
    EXPECT_EQ(lighting.sky[3], 4u);
    EXPECT_EQ(unknown_messages(), 0);
}

TEST_F(LightingTest, PlaneLimits) {
    load("near_plane 0\n");
    EXPECT_FLOAT_EQ(lighting.near_plane, 0.0009765625f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 5000.0f);

    load("far_plane 10\n");
    EXPECT_FLOAT_EQ(lighting.near_plane, 0.25f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 10.0f);

    load("near_plane 3\nfar_plane 1e9\n");
    EXPECT_FLOAT_EQ(lighting.near_plane, 0.875f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 1048576.0f);

    // A far plane before the near plane is raised beyond it: the frustum keeps a depth range.
    load("far_plane 0.1\n");
    EXPECT_GT(lighting.far_plane, lighting.near_plane);
    load("far_plane 0.25\n");
    EXPECT_GT(lighting.far_plane, lighting.near_plane);
    // Non-finite values are refused.
    load("near_plane nan\nfar_plane inf\n");
    EXPECT_FLOAT_EQ(lighting.near_plane, 0.25f);
    EXPECT_FLOAT_EQ(lighting.far_plane, 5000.0f);
}

TEST_F(LightingTest, SunVectorNormalisedAndZeroKeepsDefault) {
    load("sun_vector [ 0 2 0 ]\n");
    EXPECT_FLOAT_EQ(lighting.sun_vector[0], 0.0f);
    EXPECT_FLOAT_EQ(lighting.sun_vector[1], 1.0f);
    EXPECT_FLOAT_EQ(lighting.sun_vector[2], 0.0f);

    load("sun_vector [ 0 0 0 ]\n");
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(std::isfinite(lighting.sun_vector[i]));
        EXPECT_NEAR(lighting.sun_vector[i], 1 / std::sqrt(3.0f), 1e-6);
    }
}

TEST_F(LightingTest, VectorsKeepUnreachedValues) {
    load("sun_color [ 0.5 0.25 ]\nambient [ 0.1 0.2 0.3 ]\n\tglobal_ambient   [ 1 1 1 ]   \n");
    EXPECT_FLOAT_EQ(lighting.sun_color[0], 0.5f);
    EXPECT_FLOAT_EQ(lighting.sun_color[1], 0.25f);
    EXPECT_FLOAT_EQ(lighting.sun_color[2], 1.0f);
    EXPECT_FLOAT_EQ(lighting.ambient[2], 0.3f);
    EXPECT_FLOAT_EQ(lighting.global_ambient[0], 1.0f);
    EXPECT_EQ(unknown_messages(), 0);
}

TEST_F(LightingTest, UnknownKeywordsAndDynamicLighting) {
    load("dynamic_lighting 1\n\n   \nshiny [ 1 2 3 ]\n");
    EXPECT_EQ(unknown_messages(), 1);
    bool named = false;
    for (auto &l : track_test::log_lines())
        named |= l.find("Error reading lighting: Unknown identifier 'shiny'") != std::string::npos;
    EXPECT_TRUE(named);
    EXPECT_FLOAT_EQ(lighting.sun_color[0], 1.0f);
}

TEST_F(LightingTest, FogNeedsAllFourValuesAndColourCarriesOver) {
    load("fog [ 0.5 0.6 0.7 ] 0.01\n");
    EXPECT_FLOAT_EQ(lighting.fog_density, 0.01f);
    EXPECT_FLOAT_EQ(lighting.fog_color[2], 0.7f);
    // Density resets at every load, the colour does not.
    load("fog [ 0.1 0.1 0.1 ]\n");
    EXPECT_EQ(lighting.fog_density, 0.0f);
    EXPECT_FLOAT_EQ(lighting.fog_color[0], 0.5f);
}

TEST_F(LightingTest, FlaresGatherElementsAndDropExtras) {
    std::string text;
    for (int i = 0; i < 9; i++)
        text += "flare_element [ 0 " + std::to_string(i) + " ] [ 1 1 1 ] 4 @flare.png\n";
    text += "flare_point [ 10 20 30 ]\n";
    text += "flare_element [ 0 0.5 ] [ 1 0 0 ] 2\n"; // no texture: not an element
    text += "flare_element [ 0.5 -1 ] [ 1 0 0 ] 2 @ring.png\n";
    text += "flare_vector [ 0 1 0 ]\n";
    text += "flare_element [ 0 1 ] [ 1 1 1 ] 1 @late.png\n"; // after the last flare: dropped
    load(text);
    ASSERT_EQ(lighting.flare_count, 2);
    const lighting_flare &p = lighting.flares[0];
    EXPECT_EQ(p.kind, LIGHTING_FLARE_POINT);
    EXPECT_EQ(p.element_count, 8);
    EXPECT_FLOAT_EQ(p.elements[7].b, 7.0f);
    EXPECT_FLOAT_EQ(p.vector[2], 30.0f);
    const lighting_flare &v = lighting.flares[1];
    EXPECT_EQ(v.kind, LIGHTING_FLARE_VECTOR);
    ASSERT_EQ(v.element_count, 1);
    EXPECT_FLOAT_EQ(v.elements[0].a, 0.5f);
    EXPECT_FLOAT_EQ(v.elements[0].size, 2.0f);
    EXPECT_NE(v.elements[0].texture, 0u);
    // Only the given element textures are loaded (eight + ring), then the six default faces.
    EXPECT_EQ(loaded_textures.size(), 8u + 1u + 6u);
    // The next load starts without flares.
    load("");
    EXPECT_EQ(lighting.flare_count, 0);
}

TEST_F(LightingTest, GivenSkyFacesReplaceDefaults) {
    load("sky_u @clouds.png\nsky_env   @env.png  \n");
    ASSERT_EQ(loaded_textures.size(), 6u);
    EXPECT_EQ(loaded_textures[0], "@clouds.png");
    EXPECT_EQ(loaded_textures[1], "@env.png");
    EXPECT_EQ(loaded_textures[2], "@sky-n.ppm");
    EXPECT_EQ(lighting.sky[4], 1u);
    EXPECT_EQ(lighting.sky[5], 2u);
}

TEST_F(LightingTest, TooManyFlaresAreBounded) {
    std::string text;
    for (int i = 0; i < LIGHTING_FLARES_MAX + 5; i++)
        text += "flare_vector [ 0 1 0 ]\n";
    load(text);
    EXPECT_EQ(lighting.flare_count, LIGHTING_FLARES_MAX);
}

} // namespace
