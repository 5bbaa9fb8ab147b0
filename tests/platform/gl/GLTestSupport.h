#pragma once

#include "platform/gl/EGLDisplayConnection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// OpenGL tests run on Mesa's software renderer. Without an EGL display they
// fail in CI and are skipped elsewhere.
#define TEMBRA_REQUIRE_GL()                                                                  \
    do {                                                                                     \
        if (EGLDisplayConnection::display() == EGL_NO_DISPLAY) {                             \
            const char* ci = std::getenv("CI");                                              \
            if (ci && std::strcmp(ci, "true") == 0) FAIL() << "no EGL display in CI";        \
            GTEST_SKIP() << "no EGL display (install Mesa: libegl-mesa0 libgl1-mesa-dri)";   \
        }                                                                                    \
    } while (0)
