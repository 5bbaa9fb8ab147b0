#include "FireTestSupport.h"
#include "host/QCGLCGImage.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace {

// Caps the address space a little above what the process uses now, for the
// life of the object.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(size_t headroom) {
        getrlimit(RLIMIT_AS, &saved_);
        std::ifstream statm("/proc/self/statm");
        size_t pages = 0;
        statm >> pages;
        rlimit cap = saved_;
        cap.rlim_cur = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + headroom;
        ok_ = setrlimit(RLIMIT_AS, &cap) == 0;
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &saved_); }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

}  // namespace

TEST(TembraFireMemory, GridThatCannotBeAllocatedKeepsThePreviousOne) {
    TembraFire fire("fire");
    step(fire);
    const FireGrid* grid = fire.fireGrid();
    const float heatBefore = grid->heat[150 * 320 + 200];
    LogCapture log;
    {
        // 4096 x 4096 takes twelve arrays of 64 MiB.
        AddressSpaceCap cap(256u << 20);
        ASSERT_TRUE(cap.ok());
        setSize(fire, 4096, 4096);
        step(fire);
    }
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_NE(log.lines()[0].find("4096 x 4096"), std::string::npos) << log.lines()[0];
    EXPECT_EQ(fire.inputPixelsWide.indexValue(), 320u);
    EXPECT_EQ(fire.inputPixelsHigh.indexValue(), 240u);
    EXPECT_EQ(fire.pixelsWide(), 320);
    EXPECT_EQ(fire.pixelsHigh(), 240);
    // The model went on where it was rather than starting over.
    EXPECT_EQ(fire.fireGrid(), grid);
    EXPECT_NE(grid->heat[150 * 320 + 200], heatBefore);
    EXPECT_EQ(fire.outputImageHeat.imageValue()->pixelsWide(), 320u);

    // The next step with the ports as written back neither retries nor logs.
    step(fire);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(fire.fireGrid(), grid);
}
