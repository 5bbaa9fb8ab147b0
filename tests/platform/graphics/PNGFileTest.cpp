#include "platform/graphics/PNGFile.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <sys/stat.h>

namespace {

void putBigEndian(std::string& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(value >> shift);
}

void putChunk(std::string& bytes, const char* type, const std::string& data) {
    putBigEndian(bytes, static_cast<uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    bytes += body;
    putBigEndian(bytes, static_cast<uint32_t>(
                            crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

// A few dozen bytes whose header announces a picture of width x height.
std::string pngHeaderClaiming(uint32_t width, uint32_t height) {
    std::string bytes = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
    putChunk(bytes, "IHDR", header);
    std::string row(64, '\0');  // the start of the first row, deflated
    uLongf size = compressBound(static_cast<uLong>(row.size()));
    std::string deflated(size, '\0');
    compress(reinterpret_cast<Bytef*>(deflated.data()), &size, reinterpret_cast<const Bytef*>(row.data()),
             static_cast<uLong>(row.size()));
    deflated.resize(size);
    putChunk(bytes, "IDAT", deflated);
    putChunk(bytes, "IEND", "");
    return bytes;
}

}  // namespace

TEST(PNGFile, PicturesTooLargeForTheHostAreRefusedBeforeDecoding) {
    TempDir dir;
    const std::string bomb = dir.write("bomb.png", pngHeaderClaiming(30000, 30000));
    std::string error;
    EXPECT_EQ(CGImageCreateWithPNGFile(bomb, &error), nullptr);
    EXPECT_EQ(error, bomb + ": picture too large (30000 x 30000); the limit is 268435456 pixels (16384 x 16384)");
}

TEST(PNGFile, AFIFOIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string fifo = (dir.path() / "pipe.png").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_EQ(CGImageCreateWithPNGFile(fifo, &error), nullptr);
    EXPECT_EQ(error, "cannot open " + fifo + ": is a FIFO, not a regular file");
}
