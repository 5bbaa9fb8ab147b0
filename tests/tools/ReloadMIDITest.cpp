#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace {

std::string tembra(const std::string& arguments) {
    return tembraProgram() + " --bundle " + bundlePath() + " " + arguments;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// 24 scripted notes through a note input into a note output, a controller
// input that logs what it hears of the sources, and a second source whose
// name each save changes. The last save adds a second controller input.
std::string composition(int save, bool last) {
    std::string events;
    for (int i = 0; i < 24; ++i)
        events += std::string(i ? ", " : "") + "{\"time\": " + std::to_string(0.5 + 0.3 * i) +
                  (i % 2 ? ", \"bytes\": [128, 60, 0]}" : ", \"bytes\": [144, 60, 100]}");
    return R"({"renderSize": [32, 32], "patches": [
        {"id": "clear", "class": "Clear"},
        {"id": "in", "class": "TembraMIDIInputNote", "inputs": {"inputNote": 60}},
        {"id": "out", "class": "TembraMIDIOutputNote", "inputs": {"inputNote": 60}},
        {"id": "cc", "class": "TembraMIDIInputCC"})" +
           std::string(last ? R"(, {"id": "late", "class": "TembraMIDIInputCC", "inputs": {"inputPortName": "Keys"}})"
                            : "") +
           R"(],
        "connections": [{"from": "in.outputGate", "to": "out.inputGate"}],
        "midiSources": [{"name": "Keys", "events": [)" + events + R"(]}, {"name": "Extra )" + std::to_string(save) +
           R"("}],
        "midiDestinations": [{"name": "Out"}]})";
}

TEST(ReloadMIDI, TwentySavesKeepTheSourcesRemoveTheDroppedOnesOnceAndPrintEveryNote) {
    XServer x;
    if (!x.ok()) {
        if (std::getenv("CI")) FAIL() << x.error();
        GTEST_SKIP() << x.error();
    }
    TempDir dir;
    const std::string doc = dir.write("doc.json", composition(0, false));
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    BackgroundCommand play(x.environment() + tembra("play " + doc + " --print-midi"), out, err);
    ASSERT_TRUE(waitFor([&] { return readFile(err).find("Matching Ports:") != std::string::npos; },
                        std::chrono::seconds(30)))
        << readFile(err);

    for (int save = 1; save <= 20; ++save) {
        // Saved as editors do: a new file renamed over the old one.
        dir.write("doc.json.new", composition(save, save == 20));
        std::filesystem::rename(dir.path() / "doc.json.new", doc);
        ASSERT_TRUE(waitFor([&] { return count(readFile(err), "reloaded " + doc) == size_t(save); },
                            std::chrono::seconds(10)))
            << "save " << save << "\n" << readFile(err);
    }
    ASSERT_TRUE(waitFor([&] { return count(readFile(out), "midi Out ") >= 24; }, std::chrono::seconds(30)))
        << readFile(out);
    EXPECT_EQ(play.interruptAndWait(std::chrono::seconds(10)), 0);

    const std::string printed = readFile(out), log = readFile(err);
    const std::regex note("midi Out t=[0-9.]+ (90|80) 3C 40\n");
    std::vector<std::string> kinds;
    for (std::sregex_iterator it(printed.begin(), printed.end(), note), end; it != end; ++it) kinds.push_back((*it)[1]);
    ASSERT_EQ(kinds.size(), 24u) << printed;
    for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(kinds[i], i % 2 ? "80" : "90") << printed;

    // The kept source is one source: the late input finds it once, and no
    // one hears it come or go.
    EXPECT_EQ(count(log, "\t* \"Keys\""), 2u) << log;
    EXPECT_EQ(count(log, "kMIDIMsgObjectAdded(\"Keys\")"), 0u) << log;
    EXPECT_EQ(count(log, "kMIDIMsgObjectRemoved(\"Keys\")"), 0u) << log;
    // Each dropped source goes once, heard by every controller input: the
    // last one by the late input too.
    for (int save = 0; save < 20; ++save)
        EXPECT_EQ(count(log, "kMIDIMsgObjectRemoved(\"Extra " + std::to_string(save) + "\")"), save < 19 ? 1u : 2u)
            << "Extra " << save << "\n" << log;
}

}  // namespace
