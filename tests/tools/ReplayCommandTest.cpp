// tembra run --replay with takes written here: where inputs land, what a
// replay says it cannot bring back, and takes that are cut or broken.

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " --bundle " + libraryBundlePath() + " " + arguments;
}

std::string document(const std::string& expression, bool url = false) {
    nlohmann::json doc = {{"patches",
                           {{{"id", "k"}, {"class", "Keyboard"}, {"inputs", {{"inputKey", "a"}}}},
                            {{"id", "e"}, {"class", "Expression"}, {"expression", expression}}}}};
    if (url) doc["patches"].push_back({{"id", "feed"}, {"class", "TembraStringWithURL"}});
    return doc.dump();
}

// Ten frames 0.1 s apart at 10 fps; "a" goes down at frame 3 (t=0.3), the
// document is reloaded at frame 6 (t=0.6) with one that also reads a URL.
std::string take(bool withEnd = true) {
    std::string text =
        nlohmann::json({{"take", 1}, {"fps", 10}, {"sets", nlohmann::json::array()}, {"document", document("1")}})
            .dump() +
        "\n";
    for (int f = 0; f < 10; ++f) {
        const double t = f / 10.0;
        if (f == 3)
            text +=
                nlohmann::json({{"kind", "key"}, {"key", "a"}, {"down", true}, {"frame", f}, {"t", t}}).dump() + "\n";
        if (f == 6)
            text +=
                nlohmann::json({{"kind", "reload"}, {"document", document("2", true)}, {"frame", f}, {"t", t}}).dump() +
                "\n";
        text += nlohmann::json({{"kind", "frame"}, {"clock", t}, {"frame", f}, {"t", t}}).dump() + "\n";
    }
    if (withEnd)
        text += R"({"kind":"end","frames":10,"frame":9,"t":0.9})"
                "\n";
    return text;
}

TEST(Replay, InputsLandAtTheirFramesOrAtTheFirstFrameAtOrAfterTheirTime) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", document("0"));
    const std::string path = dir.write("show.take", take());
    const std::string watches = " --watch k.outputDown --watch e.outputResult";

    // The take's own frames: frame N is the show's frame N.
    CommandResult own = runCommand(tembra("run " + doc + " --replay " + path + watches));
    ASSERT_EQ(own.status, 0) << own.err;
    EXPECT_NE(own.out.find("frame 0 t=0.000 e.outputResult = 1\n"), std::string::npos) << own.out;
    EXPECT_NE(own.out.find("frame 3 t=0.300 k.outputDown = true\n"), std::string::npos) << own.out;
    EXPECT_NE(own.out.find("frame 6 t=0.600 e.outputResult = 2\n"), std::string::npos) << own.out;
    EXPECT_EQ(own.out.find("frame 10 "), std::string::npos) << own.out;
    // Named once, from the frame of the document that brought it.
    EXPECT_NE(own.err.find("replay may differ from frame 6 on: a URL read"), std::string::npos) << own.err;
    EXPECT_EQ(own.err.find("cut short"), std::string::npos) << own.err;

    // At 4 fps the show's 0.9 s are frames at 0, 0.25, 0.5 and 0.75.
    CommandResult slow = runCommand(tembra("run " + doc + " --replay " + path + " --fps 4" + watches));
    ASSERT_EQ(slow.status, 0) << slow.err;
    EXPECT_NE(slow.out.find("frame 2 t=0.500 k.outputDown = true\n"), std::string::npos) << slow.out;
    EXPECT_NE(slow.out.find("frame 3 t=0.750 e.outputResult = 2\n"), std::string::npos) << slow.out;
    EXPECT_EQ(slow.out.find("frame 4 "), std::string::npos) << slow.out;
    EXPECT_NE(slow.err.find("replay may differ from frame 3 on: a URL read"), std::string::npos) << slow.err;
}

TEST(Replay, ACutTakeReplaysItsWholeFramesAndABrokenOneIsRefusedByLine) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", document("0"));
    const std::string watches = " --watch k.outputDown --watch e.outputResult";

    // Killed while writing frame 6's inputs: the half record and frame 6 are not replayed.
    const size_t reload = take(false).find("\"kind\":\"reload\"");
    ASSERT_NE(reload, std::string::npos);
    const std::string cut = take(false).substr(0, reload + 20);
    const std::string path = dir.write("cut.take", cut);
    CommandResult replay = runCommand(tembra("run " + doc + " --replay " + path + watches));
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_NE(replay.out.find("frame 3 t=0.300 k.outputDown = true\n"), std::string::npos) << replay.out;
    EXPECT_EQ(replay.out.find("e.outputResult = 2"), std::string::npos) << replay.out;
    EXPECT_NE(replay.err.find("was cut short; replayed its 6 whole frames"), std::string::npos) << replay.err;

    // A line in the middle that is not a record is an error naming it.
    std::string broken = take();
    broken.insert(broken.find('\n') + 1, "{\"kind\": \"key\", \"key\"\n");
    CommandResult bad = runCommand(tembra("run " + doc + " --replay " + dir.write("bad.take", broken)));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("bad.take: line 2 is not a record of a take"), std::string::npos) << bad.err;

    // A record that makes no sense names its line and what it needs.
    std::string wrong = take();
    wrong.insert(wrong.find('\n') + 1, R"({"kind":"midi","client":"c","port":"p","bytes":[300],"frame":0,"t":0})"
                                       "\n");
    CommandResult midi = runCommand(tembra("run " + doc + " --replay " + dir.write("wrong.take", wrong)));
    EXPECT_EQ(midi.status, 1);
    EXPECT_NE(midi.err.find("wrong.take:2: a MIDI record needs \"bytes\""), std::string::npos) << midi.err;

    // Not a take, and a FIFO: refused at once.
    CommandResult notTake = runCommand(tembra("run " + doc + " --replay " + doc));
    EXPECT_EQ(notTake.status, 1);
    EXPECT_NE(notTake.err.find("not a take"), std::string::npos) << notTake.err;
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CommandResult pipe = runCommand(tembra("run " + doc + " --replay " + fifo));
    EXPECT_EQ(pipe.status, 1);
    EXPECT_NE(pipe.err.find("FIFO"), std::string::npos) << pipe.err;
}

TEST(Capture, ATakeIsNeverWrittenOver) {
    TempDir dir;
    const std::string doc = dir.write("doc.json", document("0"));
    const std::string existing = dir.write("set.take", "last night's set\n");
    CommandResult play =
        runCommand("env -u DISPLAY -u WAYLAND_DISPLAY " + tembra("play " + doc + " --capture " + existing));
    EXPECT_NE(play.status, 0);
    EXPECT_NE(play.err.find("cannot capture to " + existing + ": it exists already"), std::string::npos) << play.err;
    std::stringstream kept;
    kept << std::ifstream(existing).rdbuf();
    EXPECT_EQ(kept.str(), "last night's set\n");
}

}  // namespace
