#include "platform/foundation/LaunchServices.h"
#include "platform/foundation/NSURL.h"
#include "platform/foundation/UTType.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::optional<std::string> identifierForExtension(const std::string& extension) {
    return UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, extension, nullptr);
}

// The eight-byte signature and the header chunk of a 1x1 PNG.
const std::string kPNGHead("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89", 33);

TEST(UTType, KnownExtensionsGiveTheirPublicIdentifiersRegardlessOfCase) {
    const std::pair<const char*, const char*> known[] = {
        {"Jpeg", "public.jpeg"},          {"mov", "com.apple.quicktime-movie"},
        {"zip", "public.zip-archive"},    {"PDF", "com.adobe.pdf"},
        {"cpp", "public.c-plus-plus-source"}, {"gz", "org.gnu.gnu-zip-archive"},
    };
    for (const auto& [extension, identifier] : known) EXPECT_EQ(identifierForExtension(extension), identifier) << extension;
    EXPECT_EQ(UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, "Image/PNG", nullptr), "public.png");
    EXPECT_EQ(UTTypeCreatePreferredIdentifierForTag(kUTTagClassOSType, "PNGf", nullptr), "public.png");
}

TEST(UTType, UnknownTagsGetStableDynamicIdentifiers) {
    const auto unknown = identifierForExtension("tembraxyz");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->rfind("dyn.", 0), 0u) << *unknown;
    EXPECT_GT(unknown->size(), 5u);
    EXPECT_EQ(identifierForExtension("TembraXYZ"), unknown);  // case folded before encoding
    EXPECT_NE(identifierForExtension("tembraxy"), unknown);
    EXPECT_NE(UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, "tembraxyz", nullptr), unknown);
    for (char c : *unknown) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '.') << *unknown;

    // No answer without a tag, for a class the layer does not know, or under
    // a conformance constraint it does not model.
    EXPECT_FALSE(identifierForExtension(""));
    EXPECT_FALSE(UTTypeCreatePreferredIdentifierForTag("public.no-such-class", "jpg", nullptr));
    EXPECT_FALSE(UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, "jpg", "public.image"));
}

TEST(UTType, TypeCodesStandInForMissingExtensions) {
    EXPECT_EQ(UTCreateStringForOSType(UTGetOSTypeFromString("PNGf")), "PNGf");
    EXPECT_EQ(UTCreateStringForOSType(0), "");
    EXPECT_EQ(UTGetOSTypeFromString("toolong"), 0u);

    auto viaCode = [](const char* mime) {
        return identifierForExtension(UTCreateStringForOSType(UTTypeOSTypeForMIMEType(mime)));
    };
    EXPECT_EQ(viaCode("audio/x-wav"), "com.microsoft.waveform-audio");
    EXPECT_EQ(viaCode("image/webp"), "org.webmproject.webp");  // no classic code: its extension serves
    EXPECT_EQ(viaCode("text/x-tembra-unknown"), "public.plain-text");
    EXPECT_EQ(viaCode("application/x-tembra-unknown"), "public.data");
}

TEST(LaunchServices, ResolvesFileURLsOfExistingItemsOnly) {
    TempDir dir;
    const std::string path = dir.write("a picture.JPG", "not really a jpeg");
    FSRef ref;
    const auto url = NSURL::fileURLWithPath(path);
    ASSERT_TRUE(url);
    EXPECT_NE(url->absoluteString().find("a%20picture.JPG"), std::string::npos) << url->absoluteString();
    ASSERT_TRUE(CFURLGetFSRef(url.get(), &ref));
    EXPECT_EQ(ref.path, path);

    auto resolves = [](const std::string& text) {
        FSRef r;
        const auto u = NSURL::URLWithString(text);
        return u && CFURLGetFSRef(u.get(), &r);
    };
    EXPECT_TRUE(resolves("file://localhost" + path.substr(0, path.find("a picture")) + "a%20picture.JPG"));
    EXPECT_TRUE(resolves("file://" + dir.path().string() + "/"));
    EXPECT_FALSE(resolves("file://" + (dir.path() / "missing.jpg").string()));
    EXPECT_FALSE(resolves("file://elsewhere.example" + path));
    EXPECT_FALSE(resolves("http://localhost" + path));
    EXPECT_FALSE(resolves("file://" + dir.path().string() + "/a%00picture.JPG"));
    EXPECT_FALSE(CFURLGetFSRef(nullptr, &ref));
}

TEST(LaunchServices, ItemInfoGivesTheExtensionOrASniffedTypeCode) {
    TempDir dir;
    auto info = [](const std::string& path, LSItemInfoRecord& record) {
        return LSCopyItemInfoForRef(FSRef{path}, kLSRequestExtension | kLSRequestTypeCreator, &record);
    };
    LSItemInfoRecord record;
    ASSERT_EQ(info(dir.write("archive.tar.GZ", "x"), record), noErr);
    EXPECT_EQ(record.extension, "GZ");
    EXPECT_EQ(record.filetype, 0u);

    ASSERT_EQ(info(dir.write(".profile", "export A=1\n"), record), noErr);
    EXPECT_FALSE(record.extension);  // a leading dot starts no extension

    ASSERT_EQ(info(dir.write("picture", kPNGHead), record), noErr);
    EXPECT_FALSE(record.extension);
    EXPECT_EQ(UTCreateStringForOSType(record.filetype), "PNGf");

    EXPECT_EQ(info((dir.path() / "gone").string(), record), fnfErr);
}

}  // namespace
