#include "TembraImageWithSoundFile.h"

#include "SoundFileImport.h"
#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kSoundImageWidth = 512;
constexpr uint32_t kSoundImageRowBytes = kSoundImageWidth * 4;

// An object no port ever holds, so the first execution always imports.
const StringRef& emptyPathConstant() {
    static const StringRef empty = newString("");
    return empty;
}

// trunc(s * 127 + 128) in single precision, clamped to a byte: samples past
// full scale stay at the loudest byte instead of wrapping to the other side.
uint8_t sampleByte(float sample) {
    const float value = sample * 127.0f + 128.0f;
    if (value != value) return 128;  // not a number: silence
    if (!(value > 0.0f)) return 0;
    if (value >= 255.0f) return 255;
    return static_cast<uint8_t>(value);
}

// Grey pixel v, opaque.
void writeSample(uint8_t* pixel, uint8_t v) {
    const uint8_t rgba[4] = {v, v, v, 255};
    std::memcpy(pixel, rgba, 4);
}

}  // namespace

TembraImageWithSoundFile::TembraImageWithSoundFile(const std::string& identifier) : QCPatch(identifier) {
    NSLog("TembraImageWithSoundFile::initWithIdentifier()");
}

TembraImageWithSoundFile::~TembraImageWithSoundFile() { NSLog("TembraImageWithSoundFile::dealloc()"); }

QCContext* TembraImageWithSoundFile::setup(QCContext* context) {
    NSLog("TembraImageWithSoundFile::setup()");
    currentSoundFilePath = emptyPathConstant();
    return context;
}

void TembraImageWithSoundFile::enable(QCContext*) { NSLog("TembraImageWithSoundFile::enable()"); }
void TembraImageWithSoundFile::disable(QCContext*) { NSLog("TembraImageWithSoundFile::disable()"); }
void TembraImageWithSoundFile::cleanup(QCContext*) { NSLog("TembraImageWithSoundFile::cleanup()"); }

bool TembraImageWithSoundFile::execute(QCOpenGLContext*, double, const QCArguments*) {
    NSLog("TembraImageWithSoundFile::execute()");
    if (inputSoundFilePath.stringValue() == currentSoundFilePath) return true;
    NSLog("TembraImageWithSoundFile::execute() new sound file");
    currentSoundFilePath = inputSoundFilePath.stringValue();

    std::unique_ptr<float[]> samples;
    uint32_t sampleCount = 0;
    importAudioFromFile(currentSoundFilePath ? *currentSoundFilePath : std::string(), samples, sampleCount);

    outputBlah.setIndexValue(sampleCount);
    // A failed or empty import leaves nothing to show: no image rather than
    // the previous file's.
    outputImage.setImageValue(sampleCount == 0 ? nullptr : QCGLCGImageForSound(samples.get(), sampleCount));
    return true;
}

ImageRef TembraImageWithSoundFile::QCGLCGImageForSound(const float* samples, uint32_t sampleCount) {
    NSLog("TembraImageWithSoundFile::QCGLCGImageForSound()");
    _scratchBufferPtr = PageAlignedBuffer();

    const uint64_t n = sampleCount;
    uint64_t height = (n + 511) >> 9;
    if (height % 2 == 1) height += 1;
    if (height == 0) return nullptr;

    _scratchBufferRowBytes = kSoundImageRowBytes;
    try {
        _scratchBufferPtr = PageAlignedBuffer(height * _scratchBufferRowBytes, PageAlignedBuffer::Fill::None);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    _colorspace = CGColorSpaceCreateDeviceRGB();

    // Frame i: column i mod 512 of row pair i div 512. Frames past the last
    // one fill the rest of the last row pair with silence.
    const uint64_t frames = n / 2;
    for (uint64_t pair = 0; pair < height / 2; ++pair) {
        uint8_t* upper = _scratchBufferPtr.data() + pair * 2 * _scratchBufferRowBytes;
        uint8_t* lower = upper + _scratchBufferRowBytes;
        for (uint64_t x = 0, i = pair * kSoundImageWidth; x < kSoundImageWidth; ++x, ++i) {
            const bool sounding = i < frames;
            writeSample(upper + 4 * x, sounding ? sampleByte(samples[2 * i]) : 128);
            writeSample(lower + 4 * x, sounding ? sampleByte(samples[2 * i + 1]) : 128);
        }
    }

    CGContextRef context = CGBitmapContextCreate(_scratchBufferPtr.data(), kSoundImageWidth, height, 8,
                                                 _scratchBufferRowBytes, _colorspace, kCGImageAlphaPremultipliedLast);
    CGImageRef image = CGBitmapContextCreateImage(context.get());
    ImageRef soundImage = image ? std::make_shared<const QCGLCGImage>(image, nullptr) : nullptr;
    CGImageRelease(image);
    CGContextRelease(context);
    return soundImage;
}
