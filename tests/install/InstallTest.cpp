#include "tests/install/InstalledTree.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(InstalledTree, RunsAnExampleWhereverTheTreeIsMovedWithNothingFromTheBuild) {
    TempDir dir;
    const std::string first = (dir.path() / "first").string();
    ASSERT_EQ(installBuildTree(first), "");
    // Installed once, then moved: the tree finds itself from where it is.
    fs::create_directories(dir.path() / "home" / ".local");
    const fs::path prefix = dir.path() / "home" / ".local" / "tembra";
    fs::rename(first, prefix);
    for (const char* file : {"include/tembra/host/QCPatch.h", "lib/pkgconfig/tembra.pc", "share/man/man1/tembra.1.gz",
                             "share/doc/tembra/examples/fire.json", "lib/tembra/bundles/libTembra.so"})
        EXPECT_TRUE(fs::exists(prefix / file)) << file;

    // No installed program or library looks for anything in the build tree.
    std::string binaries = shellQuoted((prefix / "bin" / "tembra").string());
    for (const auto& entry : fs::recursive_directory_iterator(prefix / "lib"))
        if (entry.path().extension() == ".so") binaries += " " + shellQuoted(entry.path().string());
    const CommandResult elf = runCommand("readelf -d " + binaries);
    ASSERT_EQ(elf.status, 0) << elf.err;
    EXPECT_EQ(elf.out.find(TEMBRA_BINARY_DIR), std::string::npos) << elf.out;
    EXPECT_NE(elf.out.find("$ORIGIN"), std::string::npos) << elf.out;

    fs::create_directories(dir.path() / "work");
    const std::string work = (dir.path() / "work").string();
    const CommandResult list = runCommand(installedTembra(prefix.string(), "list", work));
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("TembraFire  (execution mode"), std::string::npos) << list.out;

    const std::string example = (prefix / "share/doc/tembra/examples/fire.json").string();
    const CommandResult run = runCommand(installedTembra(
        prefix.string(), "--log none run " + shellQuoted(example) + " --frames 2 --save fire.outputImageVisible=out/f-%d.png",
        work));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_TRUE(fs::exists(dir.path() / "work/out/f-1.png")) << run.err;

    const CommandResult sheet = runCommand("cd " + shellQuoted(work) + " && " +
                                           shellQuoted((prefix / "bin/tembra-contact-sheet").string()) +
                                           " --columns 2 sheet.png out/f-0.png out/f-1.png");
    EXPECT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_TRUE(fs::exists(dir.path() / "work/sheet.png"));
}

TEST(TembraVersion, NamesTheProjectVersionAndTheCommitBuilt) {
    std::string commit = "unknown";
    if (fs::exists(fs::path(TEMBRA_SOURCE_DIR) / ".git")) {
        const CommandResult git = runCommand("git -C " + shellQuoted(TEMBRA_SOURCE_DIR) + " rev-parse --short=12 HEAD");
        ASSERT_EQ(git.status, 0) << git.err;
        commit = git.out.substr(0, git.out.find('\n'));
    }
    const CommandResult r = runCommand(tembraProgram() + " --version");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string("tembra ") + TEMBRA_VERSION + " (commit " + commit + ")\n");
}

// The options a --help text lists, and the commands under "Subcommands:".
std::set<std::string> optionsIn(const std::string& help) {
    std::set<std::string> options;
    static const std::regex option(R"((^|[\s,])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        options.insert((*it)[2]);
    return options;
}

std::vector<std::string> subcommandsIn(const std::string& help) {
    std::vector<std::string> names;
    const size_t start = help.find("Subcommands:");
    if (start == std::string::npos) return names;
    std::istringstream lines(help.substr(start));
    std::string line;
    std::getline(lines, line);
    static const std::regex entry(R"(^\s+([a-z][a-z-]*)\s)");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, entry)) names.push_back(m[1]);
        else if (!line.empty() && line[0] != ' ') break;
    }
    return names;
}

TEST(ManPage, DescribesEveryCommandAndOptionTheHelpLists) {
    // roff writes a minus sign as \-.
    std::string page = readFile(fs::path(TEMBRA_SOURCE_DIR) / "docs/tembra.1");
    ASSERT_FALSE(page.empty());
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");

    const CommandResult top = runCommand(tembraProgram() + " --help");
    ASSERT_EQ(top.status, 0) << top.err;
    const auto commands = subcommandsIn(top.out);
    ASSERT_GE(commands.size(), 3u) << top.out;
    std::vector<std::pair<std::string, std::string>> helps{{"tembra", top.out}};
    for (const auto& command : commands) {
        EXPECT_NE(page.find(".B " + command), std::string::npos) << "command " << command;
        const CommandResult r = runCommand(tembraProgram() + " " + command + " --help");
        ASSERT_EQ(r.status, 0) << command << ": " << r.err;
        helps.emplace_back("tembra " + command, r.out);
    }
    for (const auto& [who, help] : helps)
        for (const auto& option : optionsIn(help))
            EXPECT_TRUE(std::regex_search(page, std::regex("(^|[^A-Za-z0-9-])" + option + "([^A-Za-z0-9-]|$)")))
                << who << " lists " << option << ", the man page does not";
}

}  // namespace
