#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(BundleLoading, FoldersLoadInOrderSkippingBadBundlesAndKeepingTheFirstClass) {
    TempDir dir;
    const fs::path extra = dir.path() / "extra";
    fs::create_directories(extra);
    // The same library under another name registers the same classes.
    fs::copy_file(libraryBundlePath(), extra / "libCopy.so");
    dir.write("extra/libBroken.so", "not a shared library");
    const CommandResult r = runCommand("TEMBRA_BUNDLE_PATH=/no/such:" + extra.string() + " " + tembraProgram() + " list");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("cannot load bundle " + (extra / "libBroken.so").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; skipped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("class Expression of " + (extra / "libCopy.so").string() + " is already registered by " +
                         libraryBundlePath()),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("TembraLibrary patches ("), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Copy patches"), std::string::npos) << r.out;
}

TEST(BundleLoading, AGivenBundleThatIsNotOneStopsTheCommand) {
    TempDir dir;
    const CommandResult r = runCommand(tembraProgram() + " --bundle /dev/zero list");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot load bundle /dev/zero: not a regular file"), std::string::npos) << r.err;
}

}  // namespace
