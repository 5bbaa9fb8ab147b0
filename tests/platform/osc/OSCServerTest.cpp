#include "platform/osc/OSCServerRegistry.h"
#include "tests/platform/osc/OSCTestPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

bool waitFor(const std::function<bool()>& condition) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(OSCServerRegistry, PatchesOnOnePortShareItsServerAndItClosesWithTheLast) {
    const uint16_t port = OSCTest::freePort();
    std::string error;
    auto first = OSCServerRegistry::shared().serverFor("", port, &error);
    ASSERT_TRUE(first) << error;
    auto second = OSCServerRegistry::shared().serverFor("127.0.0.1", port, &error);
    EXPECT_EQ(first, second);
    // One socket cannot listen on two addresses of one port.
    EXPECT_FALSE(OSCServerRegistry::shared().serverFor("0.0.0.0", port, &error));
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << error;

    auto a = std::make_shared<OSCMailbox>("/a");
    auto b = std::make_shared<OSCMailbox>("/*");
    first->subscribe(a);
    second->subscribe(b);
    const OSCTest::Peer peer;
    peer.sendTo(port, OSCTest::message("/a", 0.25f));
    peer.sendTo(port, OSCTest::message("/a", 0.5f));
    ASSERT_TRUE(waitFor([&] { return a->posted() == 2 && b->posted() == 2; }));
    // The last value wins.
    const auto latest = a->take();
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->number, 0.5);
    EXPECT_FALSE(a->take());
    EXPECT_TRUE(b->take());

    first.reset();
    second.reset();
    // Closed: the port can be had again, on another address too.
    EXPECT_TRUE(OSCServerRegistry::shared().serverFor("0.0.0.0", port, &error)) << error;
}

TEST(OSCServer, DropsAndCountsWhatIsNotAUsableMessageAndGoesOn) {
    const uint16_t port = OSCTest::freePort();
    std::string error;
    auto server = OSCServer::open("", port, &error);
    ASSERT_TRUE(server) << error;
    auto box = std::make_shared<OSCMailbox>("/x");
    server->subscribe(box);
    const OSCTest::Peer peer;

    std::vector<uint8_t> truncated = OSCTest::message("/x", 1.0f);
    truncated.resize(truncated.size() - 2);
    std::vector<uint8_t> badTags = OSCTest::message("/x", 1.0f);
    badTags[4] = 'f';  // type tags must start with ','
    std::vector<uint8_t> blob = {'/', 'x', 0, 0, ',', 'b', 0, 0, 0, 0, 0, 1, 7, 0, 0, 0};
    std::vector<uint8_t> badBundle = OSCTest::bundle({OSCTest::message("/x", 1.0f)});
    badBundle[19] = 0x7f;  // an element longer than the bundle
    for (const auto& packet : {truncated, badTags, std::vector<uint8_t>{'h', 'i', 0, 0}, badBundle})
        peer.sendTo(port, packet);
    peer.sendTo(port, blob);                                            // first argument of no usable type
    peer.sendTo(port, OSCTest::message("/x", std::string(20000, 'a')));  // too big
    peer.sendTo(port, OSCTest::message("/x", std::numeric_limits<float>::infinity()));
    peer.sendTo(port, OSCTest::message("/x", std::string("\xff\xfe")));  // not UTF-8
    // What is well formed still comes through, bundled or not.
    peer.sendTo(port, OSCTest::bundle({OSCTest::message("/x", 3, "three"), OSCTest::message("/y", 1.0f)}));

    ASSERT_TRUE(waitFor([&] { return server->counts().packets == 9; }));
    const OSCServer::Counts counts = server->counts();
    EXPECT_EQ(counts.malformed, 4u);
    EXPECT_EQ(counts.wrongType, 3u);
    EXPECT_EQ(counts.huge, 1u);
    EXPECT_EQ(counts.messages, 2u);
    EXPECT_EQ(counts.delivered, 1u);
    const auto message = box->take();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->arguments, (std::vector<std::string>{"3", "three"}));
    EXPECT_DOUBLE_EQ(message->number, 3);
    // Reported once, then not again until more is dropped.
    std::string report;
    ASSERT_TRUE(waitFor([&] { return !(report = server->takeDropReport()).empty(); }));
    EXPECT_NE(report.find("4 malformed"), std::string::npos) << report;
    EXPECT_NE(report.find("1 too big"), std::string::npos) << report;
    EXPECT_EQ(server->takeDropReport(), "");
}

TEST(OSCServer, APortHeldByAnotherProgramIsAnErrorNamingIt) {
    const OSCTest::Peer holder;  // a socket bound to the port, as another program's
    std::string error;
    EXPECT_FALSE(OSCServer::open("127.0.0.1", holder.port(), &error));
    EXPECT_EQ(error, "cannot listen for OSC on 127.0.0.1:" + std::to_string(holder.port()) + ": Address already in use");
    EXPECT_FALSE(OSCServer::open("my-phone", 9000, &error));
    EXPECT_NE(error.find("not a numeric IP address"), std::string::npos) << error;
}

}  // namespace
