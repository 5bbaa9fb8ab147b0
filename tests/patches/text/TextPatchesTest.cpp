#include "patches/text/TembraStringWithFile.h"
#include "patches/text/TembraStringWithURL.h"
#include "platform/foundation/NSURL.h"
#include "tests/support/LocalHTTPServer.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

template <class Patch>
void step(Patch& patch) {
    EXPECT_TRUE(patch.execute(nullptr, 0.0, nullptr));
}

class StringWithFile : public ::testing::Test {
protected:
    void SetUp() override { patch.setup(nullptr); }
    void readPath(const std::string& path) {
        patch.inputFilePath.setStringValue(newString(path));
        step(patch);
    }
    std::string output() const { return *patch.outputFileContent.stringValue(); }

    TempDir dir;
    TembraStringWithFile patch{"reader"};
};

TEST_F(StringWithFile, FirstExecutionWithTheEmptyPathLeavesTheOutputEmpty) {
    const StringRef before = patch.outputFileContent.stringValue();
    step(patch);
    EXPECT_EQ(patch.outputFileContent.stringValue(), before);
    EXPECT_EQ(output(), "");
}

TEST_F(StringWithFile, ReadsWholeFilesAndKeepsTheLastGoodTextOnFailure) {
    readPath(dir.write("a.txt", "caf\xC3\xA9\nline two\n"));
    EXPECT_EQ(output(), "caf\xC3\xA9\nline two\n");

    readPath((dir.path() / "missing.txt").string());
    EXPECT_EQ(output(), "caf\xC3\xA9\nline two\n");

    readPath(dir.write("latin1.txt", "caf\xE9"));  // not UTF-8
    EXPECT_EQ(output(), "caf\xC3\xA9\nline two\n");

    readPath(dir.path().string());  // a folder is not a file
    EXPECT_EQ(output(), "caf\xC3\xA9\nline two\n");

    readPath(dir.write("empty.txt", ""));
    EXPECT_EQ(output(), "");
}

TEST_F(StringWithFile, ReadsAgainOnlyWhenThePortHandsOutANewValue) {
    const std::string path = (dir.path() / "later.txt").string();
    readPath(path);  // missing for now
    dir.write("later.txt", "now here");
    step(patch);
    step(patch);
    EXPECT_EQ(output(), "");  // same value object: no retry

    readPath(path);  // equal text, new object
    EXPECT_EQ(output(), "now here");

    dir.write("later.txt", "changed");
    step(patch);
    EXPECT_EQ(output(), "now here");
}

TEST_F(StringWithFile, SetupAgainClearsTheOutputUntilTheInputChanges) {
    readPath(dir.write("a.txt", "A"));
    EXPECT_EQ(output(), "A");
    patch.setup(nullptr);
    step(patch);
    EXPECT_EQ(output(), "");
    readPath((dir.path() / "a.txt").string());
    EXPECT_EQ(output(), "A");
}

TEST_F(StringWithFile, RefusesFIFOsAndFilesOverTheCapWithOneLogLine) {
    readPath(dir.write("a.txt", "A"));
    const std::string fifo = (dir.path() / "pipe.txt").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.write("huge.txt", "");
    std::filesystem::resize_file(huge, URLFetchLimits::maxBodyBytes + 1);  // sparse: no disk used

    LogCapture log;
    readPath(fifo);
    readPath(huge);
    EXPECT_EQ(output(), "A");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "cannot read text: " + fifo + ": is a FIFO, not a regular file",
                               "cannot read text: " + huge + ": larger than the limit of 67108864 bytes"}));
}

TEST_F(StringWithFile, ANullPathReadsNothing) {
    readPath(dir.write("a.txt", "A"));
    patch.inputFilePath.setStringValue(nullptr);
    step(patch);
    EXPECT_EQ(output(), "A");
}

class StringWithURL : public ::testing::Test {
protected:
    std::map<std::string, LocalHTTPServer::Response> routes() const {
        std::map<std::string, LocalHTTPServer::Response> r;
        r["/hello"] = {200, "h\xC3\xA9llo", {}};
        r["/empty"] = {200, "", {}};
        r["/latin1"] = {200, "caf\xE9", {}};
        r["/big"] = {200, std::string(URLFetchLimits::maxBodyBytes + 1, 'x'), {}};
        r["/error"] = {500, "server trouble", {}};
        for (int i = 0; i < 7; ++i) r["/hop" + std::to_string(i)] = {302, "", "/hop" + std::to_string(i + 1)};
        r["/hop7"] = {200, "end of the chain", {}};
        r["/to-file"] = {302, "", "file://" + localFile.write("secret.txt", "local secret")};
        r["/to-ftp"] = {302, "", "ftp://127.0.0.1:1/x"};
        return r;
    }
    void SetUp() override { patch.setup(nullptr); }
    void fetch(const std::string& url) {
        patch.inputURL.setStringValue(newString(url));
        step(patch);
    }
    std::string output() const { return *patch.outputURLContent.stringValue(); }

    TempDir localFile;  // before the server, whose routes name a file in it
    LocalHTTPServer server{routes()};
    TembraStringWithURL patch{"fetcher"};
};

TEST_F(StringWithURL, FetchesTextAndKeepsItWhenALaterFetchFails) {
    fetch(server.url("/hello"));
    EXPECT_EQ(output(), "h\xC3\xA9llo");
    for (const char* bad : {"/missing", "/error", "/latin1", "/big"}) {
        fetch(server.url(bad));
        EXPECT_EQ(output(), "h\xC3\xA9llo") << bad;
    }
    fetch(server.url("/empty"));
    EXPECT_EQ(output(), "");
}

TEST_F(StringWithURL, FollowsAtMostFiveRedirects) {
    fetch(server.url("/hop2"));  // five hops to the end
    EXPECT_EQ(output(), "end of the chain");
    fetch(server.url("/empty"));
    fetch(server.url("/hop1"));  // six hops: too many
    EXPECT_EQ(output(), "");
}

TEST_F(StringWithURL, RefusesTextThatIsNotAURLAndSchemesOutsideTheAllowedOnes) {
    fetch(server.url("/hello"));
    for (const std::string& bad : std::vector<std::string>{"", "not a url", "hello",
                                  "dict://127.0.0.1:1/x", "gopher://127.0.0.1/"}) {
        fetch(bad);
        EXPECT_EQ(output(), "h\xC3\xA9llo") << bad;
    }
}

TEST_F(StringWithURL, ReadsFileURLs) {
    TempDir dir;
    fetch("file://" + dir.write("page.txt", "from a file"));
    EXPECT_EQ(output(), "from a file");
}

TEST_F(StringWithURL, RedirectsLeadOnlyToWebAddresses) {
    fetch(server.url("/hello"));
    for (const char* away : {"/to-file", "/to-ftp"}) {
        fetch(server.url(away));
        EXPECT_EQ(output(), "h\xC3\xA9llo") << away;
    }
}

TEST_F(StringWithURL, FileURLsNamingAFIFOEndAtOnce) {
    TempDir dir;
    fetch("file://" + dir.write("page.txt", "from a file"));
    const std::string fifo = (dir.path() / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    LogCapture log;
    fetch("file://" + fifo);
    EXPECT_EQ(output(), "from a file");
    EXPECT_TRUE(log.contains("cannot read URL file://" + fifo + ": " + fifo + ": is a FIFO, not a regular file"));
}

TEST_F(StringWithURL, TheSameValueObjectIsNotFetchedAgain) {
    fetch(server.url("/missing"));
    EXPECT_EQ(output(), "");
    step(patch);
    EXPECT_EQ(output(), "");
    fetch(server.url("/hello"));
    EXPECT_EQ(output(), "h\xC3\xA9llo");
}

}  // namespace
