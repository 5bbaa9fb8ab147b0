#include "tests/install/InstalledTree.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The .deb of this build, made with cpack into `dir`; empty on failure.
fs::path makePackage(const TempDir& dir, std::string* log) {
    const CommandResult r = runCommand("cd " + shellQuoted(dir.path().string()) + " && " + TEMBRA_CPACK + " --config " +
                                       shellQuoted(std::string(TEMBRA_BINARY_DIR) + "/CPackConfig.cmake") +
                                       " -B " + shellQuoted((dir.path() / "package").string()));
    *log = r.out + r.err;
    if (r.status != 0) return {};
    for (const auto& entry : fs::directory_iterator(dir.path() / "package"))
        if (entry.path().extension() == ".deb") return entry.path();
    return {};
}

TEST(DebianPackage, UnpacksToATreeThatRunsAndWhoseDependenciesResolve) {
    TempDir dir;
    std::string log;
    const fs::path deb = makePackage(dir, &log);
    ASSERT_FALSE(deb.empty()) << log;
    const CommandResult arch = runCommand("dpkg --print-architecture");
    EXPECT_EQ(deb.filename().string(),
              std::string("tembra_") + TEMBRA_VERSION + "_" + arch.out.substr(0, arch.out.find('\n')) + ".deb");

    // dpkg-shlibdeps named the libraries the program needs.
    const CommandResult depends = runCommand("dpkg-deb -f " + shellQuoted(deb.string()) + " Depends");
    EXPECT_NE(depends.out.find("libc6"), std::string::npos) << depends.out << depends.err;
    EXPECT_NE(depends.out.find("libjack"), std::string::npos) << depends.out;

    const fs::path root = dir.path() / "root";
    const CommandResult unpack =
        runCommand("dpkg-deb -x " + shellQuoted(deb.string()) + " " + shellQuoted(root.string()));
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    const std::string prefix = (root / "usr").string();
    fs::create_directories(dir.path() / "work");
    const std::string work = (dir.path() / "work").string();

    const CommandResult list = runCommand(installedTembra(prefix, "list", work));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("TembraStringWithFile  (execution mode"), std::string::npos) << list.out;

    const CommandResult run = runCommand(installedTembra(
        prefix, "--log none run " + shellQuoted(prefix + "/share/doc/tembra/examples/gltest.json") + " --render out/gl-%d.png",
        work));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(dir.path() / "work/out/gl-0.png")) << run.out << run.err;

    // What the package depends on is to be had here; nothing is installed.
    const CommandResult apt = runCommand("cd " + shellQuoted(deb.parent_path().string()) +
                                         " && apt-get install --simulate -o Debug::NoLocking=1 ./" +
                                         deb.filename().string());
    EXPECT_EQ(apt.status, 0) << apt.out << apt.err;
    EXPECT_NE(apt.out.find("Inst tembra"), std::string::npos) << apt.out;
}

}  // namespace
