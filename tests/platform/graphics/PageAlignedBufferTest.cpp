#include "platform/graphics/PageAlignedBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

// A picture freed after many pictures of other sizes is still kept for the
// next picture of its size: memory that comes back holds what was written
// into it, where fresh memory from the system is zero.
TEST(PageAlignedBuffer, TheSizeFreedLastIsKeptWhateverWasFreedBefore) {
    {
        std::vector<PageAlignedBuffer> others;
        for (size_t i = 1; i <= 40; ++i) others.emplace_back(i * 4096);
    }
    constexpr size_t bytes = size_t{8} << 20;
    {
        PageAlignedBuffer picture(bytes, PageAlignedBuffer::Fill::None);
        std::memset(picture.data(), 0x5A, bytes);
    }
    PageAlignedBuffer next(bytes, PageAlignedBuffer::Fill::None);
    EXPECT_EQ(next.data()[0], 0x5A);
    EXPECT_EQ(next.data()[bytes - 1], 0x5A);
}
