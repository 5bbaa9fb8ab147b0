#include "QCGLCGImage.h"

QCGLCGImage::QCGLCGImage(CGImageRef image, const void* /*options*/) : image_(std::move(image)) {
    if (image_) {
        auto bitmap = std::make_shared<const NSBitmapImageRep>(image_);
        nsImage_ = std::make_shared<const ::NSImage>(std::vector<std::shared_ptr<const NSImageRep>>{bitmap});
    }
}
