#include "tools/tembra/FramePattern.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(FramePattern, FillsTheFrameNumberWithItsWidth) {
    EXPECT_EQ(FramePattern("out/frame-%04d.png").format(7), "out/frame-0007.png");
    EXPECT_EQ(FramePattern("f%d.png").format(12345), "f12345.png");
    EXPECT_EQ(FramePattern("100%%-%02d.png").format(3), "100%-03.png");
}

TEST(FramePattern, RefusesPatternsWithoutExactlyOneFrameField) {
    for (const char* bad : {"frame.png", "%d-%d.png", "%s.png", "%4d.png", "trailing%"})
        EXPECT_THROW(FramePattern{bad}, std::invalid_argument) << bad;
}
