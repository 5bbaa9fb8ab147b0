#include "patches/text/TembraFileType.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class FileType : public ::testing::Test {
protected:
    void SetUp() override { patch.setup(nullptr); }
    std::string fileURL(const std::string& path) { return NSURL::fileURLWithPath(path)->absoluteString(); }
    std::string lookUp(const std::string& text) {
        patch.inputFilePath.setStringValue(newString(text));
        EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));
        return output();
    }
    std::string output() const { return *patch.outputUTI.stringValue(); }

    TempDir dir;
    TembraFileType patch{"type"};
};

TEST_F(FileType, CommonExtensionsGiveTheirPublicIdentifiers) {
    const std::pair<const char*, const char*> files[] = {
        {"picture.jpg", "public.jpeg"},   {"PICTURE.JPG", "public.jpeg"},
        {"image.png", "public.png"},      {"read me.txt", "public.plain-text"},
        {"sound.wav", "com.microsoft.waveform-audio"}, {"movie.mp4", "public.mpeg-4"},
    };
    for (const auto& [name, identifier] : files) EXPECT_EQ(lookUp(fileURL(dir.write(name, "x"))), identifier) << name;
    // An extension nobody knows still gets an identifier.
    EXPECT_EQ(lookUp(fileURL(dir.write("data.tembraxyz", "x"))).rfind("dyn.", 0), 0u);
}

TEST_F(FileType, ItemsWithoutAnExtensionAreSniffed) {
    const std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89", 33);
    EXPECT_EQ(lookUp(fileURL(dir.write("picture", png))), "public.png");
    EXPECT_EQ(lookUp(fileURL(dir.write("README", "Just some words in a file.\n"))), "public.plain-text");
    EXPECT_EQ(lookUp(fileURL(dir.path().string())), "public.folder");
}

TEST_F(FileType, WhatCannotBeResolvedGivesTheEmptyStringAndClearsTheLastResult) {
    EXPECT_EQ(output(), "");  // from setup
    const std::string picture = fileURL(dir.write("picture.jpg", "x"));
    const std::string failures[] = {
        fileURL((dir.path() / "missing.jpg").string()),
        "",
        "word",
        (dir.path() / "picture.jpg").string(),  // a bare path is no URL
    };
    for (const std::string& failure : failures) {
        ASSERT_EQ(lookUp(picture), "public.jpeg");
        EXPECT_EQ(lookUp(failure), "") << failure;
    }
    ASSERT_EQ(lookUp(picture), "public.jpeg");
    patch.inputFilePath.setStringValue(nullptr);
    EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));
    EXPECT_EQ(output(), "");
}

TEST_F(FileType, LooksUpAgainOnlyForANewValueObject) {
    const std::string url = fileURL((dir.path() / "later.png").string());
    EXPECT_EQ(lookUp(url), "");
    dir.write("later.png", "x");
    EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));  // same object: not looked up again
    EXPECT_EQ(output(), "");
    EXPECT_EQ(lookUp(url), "public.png");  // equal text, new object

    // A second setup clears the output, and it stays clear while the input
    // keeps its object.
    patch.setup(nullptr);
    EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));
    EXPECT_EQ(output(), "");
}

}  // namespace
