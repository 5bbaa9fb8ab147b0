// What --record does with the files around it, and how a signal ends a
// recording.
#include "tests/platform/media/RecordingReader.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " --log none " + arguments;
}

std::string example(const std::string& name) { return std::string(TEMBRA_SOURCE_DIR) + "/examples/" + name; }

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A recording that runs until it is stopped, with a line on `out` a frame.
std::string endlessRecording(const std::string& out) {
    return "run " + example("fire.json") + " --realtime --fps 30 --show fire.outputImageVisible"
           " --watch fire.outputImageVisible --record " + out;
}

TEST(RecordingFile, LinksAtTheOutputOrBesideItLeaveTheirTargetsAlone) {
    TempDir dir;
    const std::string victim = dir.write("victim.txt", "precious");
    const std::string out = (dir.path() / "clip.mkv").string();
    // Where the temporary file used to be made, and the output itself.
    ASSERT_EQ(symlink(victim.c_str(), (out + ".part").c_str()), 0);
    const std::string linked = (dir.path() / "linked.mkv").string();
    ASSERT_EQ(symlink(victim.c_str(), linked.c_str()), 0);
    for (const std::string& target : {out, linked}) {
        const CommandResult r = runCommand(tembra("run " + example("gltest.json") + " --frames 2 --record " + target));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(victim), "precious");
        EXPECT_FALSE(fs::is_symlink(target)) << "the recording takes the link's place";
        EXPECT_EQ(readRecording(target).pictures.size(), 2u) << target;
    }
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"clip.mkv", "clip.mkv.part", "linked.mkv", "victim.txt"}));
}

TEST(RecordingFile, WhatAFileCannotReplaceIsRefusedBeforeAnythingRuns) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe.mp4").string(), folder = (dir.path() / "folder.mkv").string();
    const std::string device = (dir.path() / "null.mp4").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
    const std::string wav = (dir.path() / "sound.wav").string();
    for (const auto& [target, what] : {std::pair{fifo, "a FIFO"}, {folder, "a folder"}, {device, "a device"}}) {
        // `timeout`: a FIFO that blocked would otherwise hold the test for ever.
        const CommandResult r = runCommand("timeout 20 " + tembra("run " + example("gltest.json") + " --audio wav:" +
                                                                  wav + " --record " + target));
        EXPECT_EQ(r.status, 1) << target;
        EXPECT_EQ(r.err, "tembra: cannot record to " + target + ": it is " + what +
                             ", not a file that a recording can replace\n");
        EXPECT_FALSE(fs::exists(wav)) << "nothing ran";
    }
    // A FIFO where the temporary file used to be is no obstacle.
    const std::string out = (dir.path() / "clip.mkv").string();
    ASSERT_EQ(mkfifo((out + ".part").c_str(), 0600), 0);
    const CommandResult r = runCommand("timeout 20 " + tembra("run " + example("gltest.json") + " --record " + out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readRecording(out).error, "");
}

TEST(RecordingFile, TermAndHangUpFinishTheRecordingAndAKillLeavesNothing) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const fs::path rec = dir.path() / "rec";
    struct Case {
        int signal;
        std::string command;
        int status;
    };
    const std::string out = (rec / "clip.mp4").string();
    for (const Case& c : {Case{SIGTERM, tembra(endlessRecording(out)), 0},
                          Case{SIGHUP, x.environment() + tembra("play " + example("fire.json") +
                                                                " --watch fire.outputImageVisible --record " + out),
                               0},
                          Case{SIGKILL, tembra(endlessRecording(out)), 128 + SIGKILL}}) {
        fs::remove_all(rec);
        const std::string printed = (dir.path() / "out").string();
        fs::remove(printed);  // the case before's lines are not this one's
        BackgroundCommand command(c.command, printed, (dir.path() / "err").string());
        // The recording has started once frames are coming.
        ASSERT_TRUE(waitFor([&] { return readFile(printed).find("frame 10 ") != std::string::npos; },
                            std::chrono::seconds(30)))
            << c.signal << ": " << readFile(dir.path() / "err");
        EXPECT_EQ(command.signalAndWait(c.signal, std::chrono::seconds(30)), c.status) << c.signal;
        if (c.signal == SIGKILL) {
            EXPECT_EQ(namesIn(rec), std::vector<std::string>{}) << "no partial file stays";
            continue;
        }
        EXPECT_EQ(namesIn(rec), std::vector<std::string>{"clip.mp4"}) << c.signal;
        const CommandResult probe =
            runCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " + out);
        ASSERT_EQ(probe.status, 0) << c.signal << ": " << probe.err;
        EXPECT_GE(std::atoi(probe.out.c_str()), 10) << c.signal;
    }
}

}  // namespace
