#include "PNGSequenceWriter.h"

#include "tools/tembra/Options.h"
#include "platform/graphics/PNGFile.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

FramePattern parsePattern(const std::string& pattern, const char* option) {
    try {
        return FramePattern(pattern);
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string(option) + ": " + e.what());
    }
}

}  // namespace

PNGSequenceWriter::PNGSequenceWriter(const std::string& pattern, const char* option)
    : pattern_(parsePattern(pattern, option)) {
    frame_.bitsPerComponent = 8;
    frame_.bitsPerPixel = 32;
    frame_.bitmapInfo = kCGImageAlphaPremultipliedLast;
    frame_.colorSpace = CGColorSpaceCreateDeviceRGB();
}

void PNGSequenceWriter::write(long index, const CGImage& image) const {
    const std::string path = pattern_.format(index);
    const auto dir = std::filesystem::path(path).parent_path();
    std::error_code dirError;
    if (!dir.empty()) std::filesystem::create_directories(dir, dirError);
    if (dirError) throw std::runtime_error(path + ": cannot create the folder: " + dirError.message());
    std::string error;
    if (!CGImageWriteToPNGFile(image, path, &error)) throw std::runtime_error(error);
}

void PNGSequenceWriter::write(long index, int width, int height, std::span<const uint8_t> rgba) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (frame_.width != static_cast<size_t>(width) || frame_.height != static_cast<size_t>(height)) {
        frame_.pixels = PageAlignedBuffer(rowBytes * static_cast<size_t>(height), PageAlignedBuffer::Fill::None);
        frame_.width = static_cast<size_t>(width);
        frame_.height = static_cast<size_t>(height);
        frame_.bytesPerRow = rowBytes;
    }
    std::memcpy(frame_.pixels.data(), rgba.data(), std::min(rgba.size(), frame_.pixels.size()));
    write(index, frame_);
}
