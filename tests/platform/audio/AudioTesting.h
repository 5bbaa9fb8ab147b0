#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// In CI a missing JACK server is a failure; elsewhere the test is skipped.
#define TEMBRA_REQUIRE_JACK(available)                                                         \
    do {                                                                                       \
        if (!(available)) {                                                                    \
            const char* ci = std::getenv("CI");                                                \
            if (ci != nullptr && std::strcmp(ci, "true") == 0) FAIL() << "no JACK server running"; \
            GTEST_SKIP() << "no JACK server running";                                          \
        }                                                                                      \
    } while (0)
