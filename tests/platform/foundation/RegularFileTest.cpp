#include "platform/foundation/RegularFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Read {
    std::optional<std::string> bytes;
    std::string error;
    bool refused = false;
};

Read readFile(const std::string& path, size_t maxBytes) {
    Read r;
    r.bytes = readRegularFile(path, maxBytes, &r.error, &r.refused);
    return r;
}

}  // namespace

// Where a document or composition is read: a FIFO, /dev/zero or a folder
// must end at once with a reason, never block or read without end.
TEST(RegularFile, ReadsRegularFilesWithinTheCapAndRefusesEverythingElse) {
    TempDir dir;
    const std::string text = dir.write("a.json", "{\"patches\": []}");
    EXPECT_EQ(readFile(text, 15).bytes, "{\"patches\": []}");

    const std::string fifo = (dir.path() / "pipe.json").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path, error;
    };
    for (const Case& c : {Case{fifo, fifo + ": is a FIFO, not a regular file"},
                          Case{"/dev/zero", "/dev/zero: is a character device, not a regular file"},
                          Case{dir.path().string(), dir.path().string() + ": is a directory, not a regular file"},
                          Case{text, text + ": larger than the limit of 14 bytes"}}) {
        const Read r = readFile(c.path, 14);
        EXPECT_FALSE(r.bytes) << c.path;
        EXPECT_TRUE(r.refused) << c.path;
        EXPECT_EQ(r.error, c.error);
    }

    const Read missing = readFile((dir.path() / "missing.json").string(), 100);
    EXPECT_FALSE(missing.bytes);
    EXPECT_FALSE(missing.refused);
    EXPECT_EQ(missing.error, (dir.path() / "missing.json").string() + ": No such file or directory");
}
