// A real GL context for the picture tests: an SDL window (offscreen driver without a display),
// the zvgl layer with its programs, and an RGBA framebuffer to draw into and read back.
#pragma once

#include "data/data_index.h"
#include "platform/platform.h"
#include "render/zvgl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

class PicturesGl : public ::testing::Test {
  protected:
    platform_window *w = nullptr;
    GLuint fbo = 0, target = 0;
    int fw = 0, fh = 0;
    std::string data_dir;

    void SetUp() override {
        if (!getenv("SDL_VIDEODRIVER") && !getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY"))
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
        platform_request_gl_version(3, 2, PLATFORM_GL_CORE);
        w = platform_create_gl_window("Zelvo", 64, 64, 32, 8, 24, 8, 0);
        if (!w) GTEST_SKIP() << "no GL context on this machine: " << platform_last_error();
        if (!zvglInit(zvgl_platform_loader, w)) GTEST_SKIP() << "GL entry points missing";
        if (zvglContextInfo()->major * 10 + zvglContextInfo()->minor < 31)
            GTEST_SKIP() << "GL context older than 3.1";
        ASSERT_EQ(1, zvglCreatePrograms());
        zvglPixelStorei(GL_PACK_ALIGNMENT, 1);
        zvglPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    void TearDown() override {
        if (fbo) zvglDeleteFramebuffers(1, &fbo);
        if (target) zvglDeleteTextures(1, &target);
        if (w) {
            zvglShutdown();
            platform_destroy_gl_window(w);
        }
        if (!data_dir.empty()) {
            file_index_free();
            std::string cmd = "rm -rf '" + data_dir + "'";
            if (system(cmd.c_str()) != 0) ADD_FAILURE() << cmd;
        }
    }
    // The default data set that zvgen made, through the file index; false when it is missing.
    bool use_generated_data() {
        std::string saf = std::string(ZV_BINARY_DIR) + "/zzzz.saf";
        if (access(saf.c_str(), R_OK) != 0) return false;
        char tmpl[] = "/tmp/zv_glpics_XXXXXX";
        if (!mkdtemp(tmpl)) return false;
        data_dir = tmpl;
        if (symlink(saf.c_str(), (data_dir + "/zzzz.saf").c_str()) != 0) return false;
        setenv("ZV_HOME", data_dir.c_str(), 1);
        setenv("XDG_DATA_HOME", (data_dir + "/user").c_str(), 1);
        file_index_free();
        data_root_reset();
        return file_index_build() != nullptr;
    }
    // Draws into an RGBA texture of w x h from here on.
    void render_target(int width, int height) {
        fw = width;
        fh = height;
        zvglGenTextures(1, &target);
        zvglBindTexture(GL_TEXTURE_2D, target);
        zvglTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                       nullptr);
        zvglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        zvglBindTexture(GL_TEXTURE_2D, 0);
        zvglGenFramebuffers(1, &fbo);
        zvglBindFramebuffer(GL_FRAMEBUFFER, fbo);
        zvglFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
        ASSERT_EQ((GLenum)GL_FRAMEBUFFER_COMPLETE, zvglCheckFramebufferStatus(GL_FRAMEBUFFER));
        zvglViewport(0, 0, width, height);
        zvglClearColor(0, 0, 0, 1);
        zvglClear(GL_COLOR_BUFFER_BIT);
    }
    std::vector<uint8_t> read_back(GLenum format = GL_RGBA) {
        std::vector<uint8_t> px((size_t)fw * fh * (format == GL_RGBA ? 4 : 3));
        zvglFinish();
        zvglReadPixels(0, 0, fw, fh, format, GL_UNSIGNED_BYTE, px.data());
        return px;
    }
};
