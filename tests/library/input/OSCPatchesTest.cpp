#include "tests/library/input/Child.h"
#include "tests/platform/osc/OSCTestPeer.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/XServer.h"

#include <gtest/gtest.h>

namespace {

std::string tembra(const std::string& arguments) { return tembraProgram() + " " + arguments; }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string receiver(uint16_t port) {
    return R"({"patches": [{"id": "r", "class": "OSCReceive", "inputs": {"inputPort": )" + std::to_string(port) +
           R"(, "inputAddress": "/fader"}}]})";
}

// Sends `packet` every 20 ms until `condition` holds (30 s at most: a
// sanitizer build on a busy machine is slow): the first ones may come before
// the patch listens.
bool sendUntil(const OSCTest::Peer& peer, uint16_t port, const std::vector<uint8_t>& packet,
               const std::function<bool()>& condition) {
    return waitFor([&] {
        peer.sendTo(port, packet);
        return condition();
    }, std::chrono::seconds(30));
}

TEST(OSCPatches, ReceiveGivesTheLatestMessageAndSurvivesGarbageAndFloods) {
    TempDir dir;
    const uint16_t port = OSCTest::freePort();
    const std::string doc = dir.write("osc.json", receiver(port));
    const std::string out = (dir.path() / "out").string(), err = (dir.path() / "err").string();
    Child run(tembra("run " + doc + " --realtime --watch r.outputValue --watch r.outputString"
                     " --watch r.outputArguments --watch r.outputTrig"),
              out, err);
    const OSCTest::Peer peer;
    ASSERT_TRUE(sendUntil(peer, port, OSCTest::message("/fader", 3, "three"),
                          [&] { return has(readFile(out), "r.outputArguments = \"3 three\"\n"); }))
        << readFile(out) << readFile(err);
    const std::string first = readFile(out);
    EXPECT_TRUE(has(first, "r.outputValue = 3\n")) << first;
    EXPECT_TRUE(has(first, "r.outputString = \"3\"\n")) << first;
    EXPECT_TRUE(has(first, "r.outputTrig = true\n")) << first;

    // Garbage, a message too big, a type it cannot use, another address.
    peer.sendTo(port, {'n', 'o', 't', 0});
    peer.sendTo(port, OSCTest::message("/fader", std::string(30000, 'x')));
    peer.sendTo(port, {'/', 'f', 'a', 'd', 'e', 'r', 0, 0, ',', 'b', 0, 0, 0, 0, 0, 1, 7, 0, 0, 0});
    peer.sendTo(port, OSCTest::message("/other", -5.0f));
    // A flood, bounded; the last value sent is the one that must show.
    for (int i = 0; i < 20000; ++i) peer.sendTo(port, OSCTest::message("/fader", static_cast<float>(i)));
    ASSERT_TRUE(sendUntil(peer, port, OSCTest::message("/fader", 0.8f),
                          [&] { return has(readFile(out), "r.outputValue = 0.8\n"); }))
        << readFile(err);
    EXPECT_FALSE(has(readFile(out), "r.outputValue = -5\n")) << "another address came through";
    for (const char* dropped : {"malformed", "of a type not used", "too big"})
        EXPECT_TRUE(waitFor([&] { return has(readFile(err), dropped); }, std::chrono::seconds(10))) << readFile(err);
    EXPECT_EQ(run.interrupt(std::chrono::seconds(10)), 0) << readFile(err);
}

TEST(OSCPatches, APortInUseIsSaidOnceAndTheOutputsStayEmpty) {
    TempDir dir;
    const OSCTest::Peer holder;  // another program's socket
    const CommandResult r = runCommand(tembra("run " + dir.write("osc.json", receiver(holder.port())) +
                                              " --frames 5 --watch r.outputString"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string line = "cannot listen for OSC on 127.0.0.1:" + std::to_string(holder.port()) +
                             ": Address already in use";
    EXPECT_TRUE(has(r.err, line)) << r.err;
    EXPECT_EQ(r.err.find(line), r.err.rfind(line)) << "said once: " << r.err;
    EXPECT_EQ(r.out, "frame 0 t=0.000 r.outputString = \"\"\n");
}

TEST(OSCPatches, SendSendsTheValueOnceUntilItChanges) {
    TempDir dir;
    const OSCTest::Peer listener;
    const std::string doc = dir.write("send.json", R"({"patches": [{"id": "s", "class": "OSCSend", "inputs": {
        "inputHost": "localhost", "inputPort": )" + std::to_string(listener.port()) +
                                                       R"(, "inputAddress": "/out", "inputValue": 0.5}}]})");
    const CommandResult r = runCommand(tembra("run " + doc + " --frames 3"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listener.receive(5000), OSCTest::message("/out", 0.5f));
    // All it sent is in the socket by now: nothing more.
    EXPECT_TRUE(listener.receive(0).empty());

    const CommandResult bad = runCommand(tembra("run " + doc + " --frames 3 --set s.inputHost=my.desk"));
    EXPECT_EQ(bad.status, 0) << bad.err;
    EXPECT_TRUE(has(bad.err, "the host must be a numeric IP address")) << bad.err;
}

}  // namespace
