// A GL layer started on the recording fake, with every logged line captured.
#pragma once

#include "render_fake_gl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline std::vector<std::string> &gl_test_log(void) {
    static std::vector<std::string> lines;
    return lines;
}

inline void gl_test_observe(const char *line) {
    gl_test_log().push_back(line);
}

inline int gl_test_logged(const std::string &text) {
    int n = 0;
    for (const auto &l : gl_test_log())
        n += l == text;
    return n;
}

class FakeGl : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl_reset();
        gl_test_log().clear();
        zvglSetLogObserver(gl_test_observe);
    }
    // Starts the layer (and the programs, with "unlit" current) on the fake as it is configured.
    void start(bool programs = true) {
        ASSERT_EQ(zvglInit(fake_gl_loader, nullptr), 1);
        if (programs) {
            ASSERT_EQ(zvglCreatePrograms(), 1);
            zvglUseProgram(ZVGL_PROGRAM_UNLIT);
        }
    }
    void TearDown() override {
        zvglShutdown();
        zvglSetLogObserver(nullptr);
    }
};
