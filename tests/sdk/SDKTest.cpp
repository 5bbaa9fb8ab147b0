#include "tests/install/InstalledTree.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <vector>
#include <regex>

namespace fs = std::filesystem;

namespace {

// Commands that find the installed tree's pkg-config file only.
std::string withPkgConfig(const fs::path& prefix, const std::string& command) {
    return "env PKG_CONFIG_PATH=" + shellQuoted((prefix / "lib/pkgconfig").string()) + " " + command;
}

TEST(SDK, TheExampleBundleBuildsAgainstTheInstalledTreeAndItsPatchRuns) {
    TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    ASSERT_EQ(installBuildTree(prefix.string()), "");
    // The example as shipped, beside the other examples.
    const fs::path source = prefix / "share/doc/tembra/examples/bundle";
    ASSERT_TRUE(fs::exists(source / "CMakeLists.txt"));
    const fs::path build = dir.path() / "build", mine = dir.path() / "mine";
    const CommandResult made = runCommand(withPkgConfig(
        prefix, std::string(TEMBRA_CMAKE) + " -S " + shellQuoted(source.string()) + " -B " + shellQuoted(build.string()) +
                    " -DCMAKE_BUILD_TYPE=Release && " + TEMBRA_CMAKE + " --build " + shellQuoted(build.string()) + " && " +
                    TEMBRA_CMAKE + " --install " + shellQuoted(build.string()) + " --prefix " +
                    shellQuoted(mine.string())));
    ASSERT_EQ(made.status, 0) << made.out << made.err;
    const fs::path bundle = mine / "lib/tembra/bundles/libBeatPhase.so";
    ASSERT_TRUE(fs::exists(bundle));
    const std::string work = dir.path().string();
    // Found through the search path, beside the installed bundles.
    const std::string path = "TEMBRA_BUNDLE_PATH=" + shellQuoted((mine / "lib/tembra/bundles").string());
    const CommandResult list = runCommand(installedTembra(prefix.string(), "list", work, path));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("BeatPhase  (execution mode 2 provider"), std::string::npos) << list.out;

    // 120 BPM at 8 frames a second: a quarter beat per frame, four beats a bar.
    const CommandResult run = runCommand(installedTembra(
        prefix.string(),
        "--log none run " + shellQuoted((source / "beat.json").string()) +
            " --fps 8 --frames 10 --watch beat.outputPhase --watch beat.outputBeat --set beat.inputBeatsPerBar=2",
        work, path));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "frame 0 t=0.000 beat.outputPhase = 0\n"
              "frame 0 t=0.000 beat.outputBeat = 0\n"
              "frame 1 t=0.125 beat.outputPhase = 0.25\n"
              "frame 2 t=0.250 beat.outputPhase = 0.5\n"
              "frame 3 t=0.375 beat.outputPhase = 0.75\n"
              "frame 4 t=0.500 beat.outputPhase = 0\n"
              "frame 4 t=0.500 beat.outputBeat = 1\n"
              "frame 5 t=0.625 beat.outputPhase = 0.25\n"
              "frame 6 t=0.750 beat.outputPhase = 0.5\n"
              "frame 7 t=0.875 beat.outputPhase = 0.75\n"
              "frame 8 t=1.000 beat.outputPhase = 0\n"
              "frame 8 t=1.000 beat.outputBeat = 0\n"
              "frame 9 t=1.125 beat.outputPhase = 0.25\n");
}

// Every public header compiles on its own with only the installed include
// path, and pulls in no private library's headers (the backends stay inside
// their layers) and, from platform/, nothing of the host above it.
TEST(SDK, EachPublicHeaderStandsAloneAndKeepsPrivateLibrariesOut) {
    TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    ASSERT_EQ(installBuildTree(prefix.string()), "");
    const fs::path include = prefix / "include/tembra";
    const CommandResult flags = runCommand(withPkgConfig(prefix, "pkg-config --cflags tembra"));
    ASSERT_EQ(flags.status, 0) << flags.err;
    const std::string cflags = flags.out.substr(0, flags.out.find('\n'));
    static const std::regex privateHeader(
        R"((/EGL/|/jack/|/libav[a-z]*/|/libsw[a-z]*/|/SDL2/|sndfile\.h|magic\.h|curl/|png\.h|/pango/|/cairo/|/glib-2))");
    std::vector<fs::path> headers;
    for (const auto& entry : fs::recursive_directory_iterator(include))
        if (entry.path().extension() == ".h") headers.push_back(entry.path());
    // -H lists every header that is read, one a line on standard error.
    auto compile = [&](const fs::path& header) {
        return runCommand(std::string(TEMBRA_CXX) + " -std=c++20 -fsyntax-only -H -Wall -Wextra -Wpedantic " + cflags +
                          " -x c++ " + shellQuoted(header.string()));
    };
    // Two at a time: each parse takes a second or more.
    std::vector<CommandResult> results(headers.size());
    auto half = std::async(std::launch::async, [&] {
        for (size_t i = 1; i < headers.size(); i += 2) results[i] = compile(headers[i]);
    });
    for (size_t i = 0; i < headers.size(); i += 2) results[i] = compile(headers[i]);
    half.get();
    for (size_t i = 0; i < headers.size(); ++i) {
        const std::string name = fs::relative(headers[i], include).string();
        const CommandResult& r = results[i];
        EXPECT_EQ(r.status, 0) << name << ":\n" << r.err;
        std::smatch m;
        EXPECT_FALSE(std::regex_search(r.err, m, privateHeader)) << name << " includes " << m.str();
        if (name.starts_with("platform/")) {
            EXPECT_EQ(r.err.find((include / "host").string()), std::string::npos) << name << " includes the host";
        }
    }
    EXPECT_GT(headers.size(), 30u);
}

}  // namespace
