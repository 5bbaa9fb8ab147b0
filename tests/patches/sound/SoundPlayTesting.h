#pragma once

#include "host/QCGLCGImage.h"
#include "host/QCValues.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/TestAudioDevice.h"

#include <cstdint>
#include <functional>
#include <memory>

// A test device of `frames` float stereo frames per cycle, made the default
// output.
inline std::shared_ptr<TestAudioDevice> useTestDevice(uint32_t frames) {
    auto device = TestAudioDevice::create();
    device->setBufferSize(frames * 8);
    AudioHardware::shared().setDefaultOutputDevice(AudioHardware::shared().addDevice(device));
    return device;
}

// An RGBA image whose red, green and blue bytes at (row, column) are
// byteAt(row, column).
inline ImageRef makeImage(size_t width, size_t height, const std::function<uint8_t(size_t, size_t)>& byteAt,
                          uint32_t bitmapInfo = kCGImageAlphaPremultipliedLast) {
    CGContextRef context =
        CGBitmapContextCreate(nullptr, width, height, 8, width * 4, CGColorSpaceCreateDeviceRGB(), bitmapInfo);
    for (size_t row = 0; row < height; ++row)
        for (size_t column = 0; column < width; ++column) {
            uint8_t* pixel = context->data + row * context->bytesPerRow + column * 4;
            pixel[0] = pixel[1] = pixel[2] = byteAt(row, column);
            pixel[3] = 255;
        }
    CGImageRef image = CGBitmapContextCreateImage(context.get());
    return std::make_shared<const QCGLCGImage>(image, nullptr);
}

// The sample a byte plays as.
inline float sampleOf(uint8_t byte) { return static_cast<float>((byte - 128) / 127.0); }
