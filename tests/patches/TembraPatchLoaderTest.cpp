#include "host/PlugInBundle.h"
#include "patches/TembraPatchLoader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The fixed order in which the bundle hands its classes to the host.
const std::vector<std::string> kRegistrationOrder = {
    "TembraMIDIInputCC",    "TembraMIDIInputNote",        "TembraMIDIOutputCC",       "TembraMIDIOutputNote",
    "TembraMIDIClock",      "TembraStringWithFile",       "TembraStringWithURL",      "TembraDocumentInfo",
    "TembraFileType",       "TembraImageWithComposition", "TembraImageWithSoundFile", "TembraSoundWithImage",
    "FreeFrame",            "TembraFire",                 "GLTest",
};

// Records every registration call, refused or not.
struct RecordingManager : QCNodeManager {
    bool registerNodeWithClass(const QCPatchClass& c) override {
        calls.push_back(c.name);
        logLinesBefore.push_back(NSLogCapturedLines().size());
        return QCNodeManager::registerNodeWithClass(c);
    }
    std::vector<std::string> calls;
    std::vector<size_t> logLinesBefore;
};

TEST(TembraPatchLoader, LogsOnceThenRegistersTheClassesInTheFixedOrderEveryTime) {
    LogCapture log;
    RecordingManager manager;
    TembraPatchLoader::registerNodesWithManager(manager);
    ASSERT_FALSE(manager.calls.empty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"TembraPatchLoader::registerNodesWithManager()"});
    for (size_t before : manager.logLinesBefore) EXPECT_EQ(before, 1u);  // the log line comes first

    // Registered classes appear in the fixed order, each once.
    std::vector<std::string> expected;
    for (const std::string& name : kRegistrationOrder)
        if (std::find(manager.calls.begin(), manager.calls.end(), name) != manager.calls.end())
            expected.push_back(name);
    EXPECT_EQ(manager.calls, expected);
    for (const char* name : {"TembraStringWithFile", "TembraStringWithURL"})
        EXPECT_NE(manager.classNamed(name), nullptr) << name;

    // A second call: the same line first, the same classes in the same order.
    const auto first = manager.calls;
    manager.calls.clear();
    TembraPatchLoader::registerNodesWithManager(manager);
    EXPECT_EQ(manager.calls, first);
    EXPECT_EQ(log.count("TembraPatchLoader::registerNodesWithManager()"), 2u);
    EXPECT_EQ(manager.bundleClasses().size(), first.size());
}

TEST(PlugInBundle, LoadsTheBundleThroughItsEntry) {
    LogCapture log;
    QCNodeManager manager;
    PlugInBundle::load(bundlePath(), manager);
    EXPECT_NE(manager.classNamed("TembraStringWithFile"), nullptr);
    EXPECT_TRUE(log.contains("TembraPatchLoader::registerNodesWithManager()"));
}

TEST(PlugInBundle, AMissingBundleOrEntryIsNamed) {
    QCNodeManager manager;
    try {
        PlugInBundle::load("/no/such/libBundle.so", manager);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot load bundle /no/such/libBundle.so: ", 0), 0u) << e.what();
    }
    // A real shared library without the entry.
    const std::string noEntry = std::string(TEMBRA_BINARY_DIR) + "/lib/libtembra_graphics.so";
    try {
        PlugInBundle::load(noEntry, manager);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "bundle " + noEntry + " has no entry TembraBundleRegisterNodes");
    }
}

}  // namespace
