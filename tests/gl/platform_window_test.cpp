// Real GL contexts through the SDL back end: the version and dialect rules, the GL strings in
// the log, a cleared frame read back, and a version the driver cannot make failing cleanly.
#include "platform/sdl/platform_sdl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct gl_env {
    gl_env() {
        // Without a display server the offscreen (EGL) driver still makes real contexts.
        if (!getenv("SDL_VIDEODRIVER") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
    }
} g_gl_env;

typedef void (*clear_color_fn)(float, float, float, float);
typedef void (*clear_fn)(unsigned);
typedef void (*read_pixels_fn)(int, int, int, int, unsigned, unsigned, void *);
typedef void (*get_integer_fn)(unsigned, int *);
typedef const unsigned char *(*get_string_fn)(unsigned);
typedef void (*pixel_store_fn)(unsigned, int);

std::string slurp(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class PlatformWindow : public ::testing::Test {
  protected:
    std::string log_path;
    platform_window *w = nullptr;
    void SetUp() override {
        log_path = std::string(ZV_BINARY_DIR) + "/platform_gl_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        platform_log(nullptr);
        platform_log_reset();
        platform_options_reset();
        unsetenv("QUVA_OPTIONS");
        setenv("QUVA_LOGFILE", log_path.c_str(), 1);
    }
    void TearDown() override {
        if (w) platform_destroy_gl_window(w);
        platform_log(nullptr);
        platform_log_reset();
        unsetenv("QUVA_LOGFILE");
    }
    // Every message is flushed as it is written, so the file can be read while it is open.
    std::string log_text() { return slurp(log_path); }
    int gl_version() {
        get_integer_fn get = (get_integer_fn)platform_gl_proc(w, "glGetIntegerv");
        int major = 0, minor = 0;
        get(0x821B, &major);
        get(0x821C, &minor);
        return major * 10 + minor;
    }
    const char *gl_text(unsigned name) {
        get_string_fn get = (get_string_fn)platform_gl_proc(w, "glGetString");
        const unsigned char *s = get(name);
        return s ? (const char *)s : "";
    }
};

TEST_F(PlatformWindow, CoreRequestOf31GetsAtLeast32AndDraws) {
    platform_request_gl_version(3, 1, PLATFORM_GL_CORE);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
    EXPECT_GE(gl_version(), 32);
    int major = 0, minor = 0, dialect = -1;
    ASSERT_EQ(platform_gl_context_version(w, &major, &minor, &dialect), 1);
    EXPECT_EQ(major * 10 + minor, gl_version());
    EXPECT_EQ(dialect, PLATFORM_GL_CORE);
    int width = 0, height = 0;
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    ((pixel_store_fn)platform_gl_proc(w, "glPixelStorei"))(0x0D05, 1); // GL_PACK_ALIGNMENT
    ((clear_color_fn)platform_gl_proc(w, "glClearColor"))(1.0f, 0.5f, 0.0f, 1.0f);
    ((clear_fn)platform_gl_proc(w, "glClear"))(0x4000);
    unsigned char px[4] = {0, 0, 0, 0};
    ((read_pixels_fn)platform_gl_proc(w, "glReadPixels"))(0, 0, 1, 1, 0x1908, 0x1401, px);
    EXPECT_EQ(px[0], 255);
    EXPECT_NEAR(px[1], 128, 1);
    EXPECT_EQ(px[2], 0);
    platform_swap(w);
    std::string log = log_text();
    EXPECT_NE(log.find("] GL_VERSION: "), std::string::npos);
    EXPECT_NE(log.find("] GL_RENDERER: "), std::string::npos);
    EXPECT_NE(log.find("] GL_SHADING_LANGUAGE_VERSION: "), std::string::npos);
    EXPECT_NE(log.find("] Creating window\n"), std::string::npos);
    EXPECT_NE(log.find("]  threaded: [off]\n"), std::string::npos);
    platform_destroy_gl_window(w);
    w = nullptr;
    log = log_text();
    EXPECT_NE(log.find("] Deleting OpenGL context\n"), std::string::npos);
    EXPECT_NE(log.find("] Window shutdown complete\n"), std::string::npos);
}

TEST_F(PlatformWindow, EsContext) {
    platform_request_gl_version(3, 0, PLATFORM_GL_ES);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
    const char *version = gl_text(0x1F02);
    if (strncmp(version, "OpenGL ES", 9) != 0)
        GTEST_SKIP() << "the driver gave a desktop context for ES: " << version;
    EXPECT_GE(gl_version(), 30);
    int dialect = -1;
    ASSERT_EQ(platform_gl_context_version(w, nullptr, nullptr, &dialect), 1);
    EXPECT_EQ(dialect, PLATFORM_GL_ES);
    EXPECT_NE(std::string(gl_text(0x8B8C)).find("OpenGL ES GLSL ES"), std::string::npos);
}

TEST_F(PlatformWindow, OptionsOverrideTheRequest) {
    setenv("QUVA_OPTIONS", "[glmajor:3][glminor:3][glcore:on]", 1);
    platform_request_gl_version(3, 1, PLATFORM_GL_COMPATIBILITY);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
    EXPECT_GE(gl_version(), 33);
}

TEST_F(PlatformWindow, UnreachableVersionFailsWithoutHanging) {
    // Find what the driver makes, then ask for more than that.
    platform_request_gl_version(3, 2, PLATFORM_GL_CORE);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
    int have = gl_version();
    platform_destroy_gl_window(w);
    w = nullptr;
    if (have >= 46) GTEST_SKIP() << "the driver makes GL 4.6; no higher version to refuse";
    auto start = std::chrono::steady_clock::now();
    platform_request_gl_version(4, 6, PLATFORM_GL_CORE);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(w, nullptr);
    EXPECT_LT(seconds, 20.0);
    EXPECT_STREQ(platform_last_error(), "Couldn't create OpenGL context with attributes");
    // The window record is free again: a later request that can be met succeeds.
    platform_request_gl_version(3, 1, PLATFORM_GL_CORE);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    EXPECT_NE(w, nullptr);
}

TEST_F(PlatformWindow, DisplayModesAndFullScreenSwitch) {
    const platform_display_mode *modes = platform_display_modes();
    ASSERT_NE(modes, nullptr);
    for (const platform_display_mode *m = modes; m->width; m++) {
        EXPECT_GT(m->height, 0);
        EXPECT_TRUE(m->bpp == 15 || m->bpp == 16 || m->bpp == 24 || m->bpp == 32);
    }
    platform_request_gl_version(3, 1, PLATFORM_GL_CORE);
    w = platform_create_gl_window("Zelvo", 64, 48, 32, 0, 24, 8, 0);
    if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
    platform_set_fullscreen(w, 64, 48);
    int width = 0, height = 0;
    platform_set_windowed(w, 80, 60);
    ASSERT_EQ(platform_frame_begin(w, &width, &height), 1);
    EXPECT_EQ(width, 80);
    EXPECT_EQ(height, 60);
    platform_swap(w);
}

} // namespace
