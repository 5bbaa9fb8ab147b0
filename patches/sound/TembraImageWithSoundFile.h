#pragma once

#include "host/QCPatch.h"
#include "platform/graphics/CoreGraphics.h"

#include <cstdint>

// Turns the audio of a sound or movie file into a sound image: 512 pixels
// wide, rows in pairs, stereo frame i in column i mod 512 of row pair
// i div 512 (left sample in the upper row, right in the lower), each sample a
// grey byte. Imports again whenever the path port hands out a new object.
class TembraImageWithSoundFile : public QCPatch {
public:
    static constexpr const char* className = "TembraImageWithSoundFile";
    static constexpr const char* classDescription =
        "Reads a sound or movie file and draws its waveform as an image.";
    static int executionMode() { return 3; }

    explicit TembraImageWithSoundFile(const std::string& identifier);
    ~TembraImageWithSoundFile() override;
    QCContext* setup(QCContext* context) override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    void cleanup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    // The sound image of `sampleCount` interleaved stereo values (an odd last
    // value is left out); nothing for no values or when the pixel memory
    // cannot be had.
    ImageRef QCGLCGImageForSound(const float* samples, uint32_t sampleCount);

    QCStringPort inputSoundFilePath{this, "inputSoundFilePath",
        {.description = "path of the sound or movie file", .path = QCPathKind::File}};
    QCGLImagePort outputImage{this, "outputImage",
        {.description = "the waveform image"}};
    QCIndexPort outputBlah{this, "outputBlah",
        {.description = "number of samples imported (two per stereo frame)"}};  // values imported, two per frame

private:
    StringRef currentSoundFilePath;
    PageAlignedBuffer _scratchBufferPtr;
    uint32_t _scratchBufferRowBytes = 0;
    CGColorSpaceRef _colorspace;
};
