// Text on a real GL context with the generated font: "Hg" covers its expected box and nothing
// far outside it; and a picture of the title screen, written as a screenshot for people to see.
#include "texture_gl_fixture.h"

#include "data/data_image.h"
#include "render/render_font.h"
#include "render/render_texture.h"

#include <sys/stat.h>

namespace {

TEST_F(PicturesGl, HgCoversItsBoxAndNothingFarOutside) {
    if (!use_generated_data()) FAIL() << "no generated data in " << ZV_BINARY_DIR;
    render_font_load_all();
    ASSERT_TRUE(render_font_main.loaded);
    ASSERT_NE(0u, render_font_main.texture);
    render_target(256, 128);
    const float x0 = 32, y0 = 32, size = 64;
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglMatrixMode(GL_PROJECTION);
    zvglLoadIdentity();
    zvglOrtho(0, 256, 0, 128, -1, 1);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
    zvglTranslatef(x0, y0, 0);
    zvglScalef(size, size, 1);
    render_text_white("Hg");
    float width = render_text_width("Hg") * size;
    auto px = read_back();
    int inside = 0, outside = 0;
    for (int y = 0; y < fh; y++)
        for (int x = 0; x < fw; x++) {
            int lit = px[((size_t)y * fw + x) * 4] > 64;
            bool in_box = x >= x0 && x < x0 + width && y >= y0 && y < y0 + size;
            bool near = x >= x0 - 2 && x < x0 + width + 2 && y >= y0 - 2 && y < y0 + size + 2;
            inside += lit && in_box;
            outside += lit && !near;
        }
    EXPECT_GT(inside, (int)(width * size * 0.08f)); // real strokes, not a speck
    EXPECT_EQ(0, outside);
    // The descender of g reaches below the baseline (the lower quarter of the box); H does not.
    int below = 0;
    for (int y = (int)y0; y < y0 + size * 0.2f; y++)
        for (int x = (int)x0; x < x0 + width; x++)
            below += px[((size_t)y * fw + x) * 4] > 64;
    EXPECT_GT(below, 0);
    render_font_free_all();
}

// The title screen as the game shows it at start: the title picture over the whole window, the
// main menu's items and the version in the corner. Saved as title_screen.png in the build
// directory (run under Xvfb or the offscreen driver).
TEST_F(PicturesGl, TitleScreenScreenshot) {
    if (!use_generated_data()) FAIL() << "no generated data in " << ZV_BINARY_DIR;
    render_font_load_all();
    GLuint title = render_texture_load("!@title.png");
    ASSERT_NE(0u, title);
    const int W = 800, H = 600;
    render_target(W, H);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
    zvglMatrixMode(GL_PROJECTION);
    zvglLoadIdentity();
    zvglOrtho(0, W, 0, H, -1, 1);
    zvglMatrixMode(GL_MODELVIEW);
    zvglLoadIdentity();
    zvglBindTexture(GL_TEXTURE_2D, title);
    zvglBegin(GL_QUADS);
    zvglColor4f(1, 1, 1, 1);
    zvglTexCoord2f(0, 0);
    zvglVertex2f(0, H);
    zvglTexCoord2f(0, 1);
    zvglVertex2f(0, 0);
    zvglTexCoord2f(1, 1);
    zvglVertex2f(W, 0);
    zvglTexCoord2f(1, 0);
    zvglVertex2f(W, H);
    zvglEnd();
    const char *items[] = {
        "New Race",   "Playback Race",        "Points Series",      "Time Trial", "Multiplayer",
        "Bike Setup", "Graphics/Sound Setup", "Customize Controls", "Quit"};
    for (int i = 0; i < 9; i++) {
        zvglPushMatrix();
        zvglTranslatef(0, 300 - i * 30.0f, 0);
        zvglScalef(26, 26, 1);
        render_text_centred_shadowed(1, 1, 1, 1, 0, W / 26.0f,
                                     i == 0 ? "\x1b[1;33mNew Race" : items[i]);
        zvglPopMatrix();
    }
    zvglPushMatrix();
    zvglTranslatef(W - 4, 6, 0);
    zvglScalef(14, 14, 1);
    render_text_right(0.8f, 0.8f, 0.8f, 1, 0, "2022-11-24-1631 snapshot");
    zvglPopMatrix();
    auto px = read_back(GL_RGB);
    std::string path = std::string(ZV_BINARY_DIR) + "/title_screen.png";
    ASSERT_EQ(1, render_texture_write_png(path.c_str(), px.data(), W, H));
    // The picture is really there: the sky at the top is blue, the dirt at the bottom brown.
    const uint8_t *top = &px[((size_t)(H - 5) * W + 20) * 3];
    const uint8_t *bottom = &px[((size_t)5 * W + 20) * 3];
    EXPECT_GT(top[2], top[0]);
    EXPECT_GT(bottom[0], bottom[2]);
    data_image back;
    ASSERT_EQ(1, data_image_load(path.c_str(), &back));
    EXPECT_EQ(W, back.width);
    data_image_free(&back);
    render_texture_sweep(1);
    render_font_free_all();
}

} // namespace
