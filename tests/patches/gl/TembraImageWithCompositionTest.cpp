#include "host/QCGLCGImage.h"
#include "library/TembraLibraryLoader.h"
#include "patches/TembraPatchLoader.h"
#include "patches/gl/TembraImageWithComposition.h"
#include "tests/platform/gl/GLTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class TembraImageWithCompositionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        TembraPatchLoader::registerNodesWithManager(QCNodeManager::shared());
        TembraLibraryLoader::registerNodesWithManager(QCNodeManager::shared());
    }
    void SetUp() override { patch.setup(nullptr); }
    bool execute(double time = 0.0) { return patch.execute(nullptr, time, nullptr); }
    std::string clearComposition() {
        return dir.write("clear.json", R"({"patches": [{"id": "c", "class": "Clear", "inputs": {"inputGreen": 1}}]})");
    }

    TempDir dir;
    LogCapture log;
    TembraImageWithComposition patch{"image"};
};

}  // namespace

TEST_F(TembraImageWithCompositionTest, StartsAt320By240WithAMaximumOf4096) {
    EXPECT_EQ(patch.inputPixelsWide.indexValue(), 320u);
    EXPECT_EQ(patch.inputPixelsHigh.indexValue(), 240u);
    EXPECT_EQ(patch.inputPixelsWide.maxIndexValue(), 4096u);
    EXPECT_EQ(patch.inputPixelsHigh.maxIndexValue(), 4096u);
}

TEST_F(TembraImageWithCompositionTest, AnEmptyPathGivesNoImageOnEveryExecutionSilently) {
    patch.outputImage.setImageValue(std::make_shared<const QCGLCGImage>(nullptr, nullptr));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(execute(i));
        EXPECT_FALSE(patch.outputImage.imageValue());
    }
    patch.inputCompositionPath.setStringValue(newString(""));
    EXPECT_TRUE(execute());
    EXPECT_FALSE(patch.outputImage.imageValue());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(TembraImageWithCompositionTest, RendersAtItsSizeAndRebuildsWhenTheSizeChanges) {
    TEMBRA_REQUIRE_GL();
    patch.inputCompositionPath.setStringValue(newString(clearComposition()));
    ASSERT_TRUE(execute());
    ImageRef image = patch.outputImage.imageValue();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelsWide(), 320u);
    EXPECT_EQ(image->pixelsHigh(), 240u);
    EXPECT_EQ(image->CGImage()->pixels.data()[1], 255);  // green

    // A new picture on every execution, even when nothing changed.
    ASSERT_TRUE(execute(0.5));
    EXPECT_NE(patch.outputImage.imageValue(), image);

    patch.inputPixelsWide.setIndexValue(40);
    ASSERT_TRUE(execute());
    ASSERT_TRUE(patch.outputImage.imageValue());
    EXPECT_EQ(patch.outputImage.imageValue()->pixelsWide(), 40u);

    patch.inputPixelsHigh.setIndexValue(0);
    ASSERT_TRUE(execute());
    EXPECT_EQ(patch.inputPixelsHigh.indexValue(), 1u);
    ASSERT_TRUE(patch.outputImage.imageValue());
    EXPECT_EQ(patch.outputImage.imageValue()->pixelsHigh(), 1u);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(TembraImageWithCompositionTest, RebuildsForANewPathObjectOnly) {
    TEMBRA_REQUIRE_GL();
    const std::string missing = (dir.path() / "missing.json").string();
    patch.inputCompositionPath.setStringValue(newString(missing));
    execute();
    execute(1.0);
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 1u);
    EXPECT_FALSE(patch.outputImage.imageValue());

    // The same text as a new object counts as a change.
    patch.inputCompositionPath.setStringValue(newString(missing));
    execute(2.0);
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 2u);

    // setup starts afresh: the next execution builds again.
    patch.inputCompositionPath.setStringValue(newString(clearComposition()));
    execute();
    ASSERT_TRUE(patch.outputImage.imageValue());
    patch.setup(nullptr);
    patch.inputCompositionPath.setStringValue(newString(missing));
    execute();
    EXPECT_EQ(log.count("Cannot create QCRenderer"), 3u);
    EXPECT_FALSE(patch.outputImage.imageValue());
}
