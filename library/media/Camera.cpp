#include "library/media/Camera.h"

#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"
#include "platform/media/MovieDecoder.h"

Camera::Camera(const std::string& identifier) : QCPatch(identifier) {
    inputDevice.setStringValue(newString("/dev/video0"));
    inputWidth.setMaxIndexValue(7680);
    inputHeight.setMaxIndexValue(4320);
}

Camera::~Camera() = default;

bool Camera::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (!hasOpened_ || inputDevice.stringValue() != device_ || inputWidth.indexValue() != width_ ||
        inputHeight.indexValue() != height_ || inputRate.doubleValue() != rate_) {
        hasOpened_ = true;
        device_ = inputDevice.stringValue();
        width_ = inputWidth.indexValue();
        height_ = inputHeight.indexValue();
        rate_ = inputRate.doubleValue();
        decoder_.reset();
        toldError_ = 0;
        if (device_ && !device_->empty()) {
            MovieDecoder::Options options;
            options.device = true;
            options.width = static_cast<int>(width_);
            options.height = static_cast<int>(height_);
            options.rate = rate_;
            decoder_ = std::make_unique<MovieDecoder>(*device_, options);
        }
    }
    if (!decoder_) {
        outputImage.setImageValue(nullptr);
        return true;
    }
    uint64_t serial = 0;
    const std::string error = decoder_->error(&serial);
    if (serial != toldError_) {
        toldError_ = serial;
        NSLog("Camera: %s", error.c_str());
    }
    CGImageRef picture = decoder_->pictureAt(0, false);
    if (!picture) {
        outputImage.setImageValue(nullptr);
        shown_ = nullptr;
    } else if (picture.get() != shown_) {
        shown_ = picture.get();
        outputImage.setImageValue(std::make_shared<const QCGLCGImage>(picture, nullptr));
    }
    return true;
}
