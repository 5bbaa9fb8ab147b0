#include "TembraSoundWithImage.h"

#include "platform/foundation/NSLog.h"

std::shared_ptr<const NSBitmapImageRep> BitmapImageRepFromNSImage(const NSImage& nsImage) {
    NSLog("TembraSoundWithImage::BitmapImageRepFromNSImage()");
    for (const auto& rep : nsImage.representations())
        if (auto bitmap = std::dynamic_pointer_cast<const NSBitmapImageRep>(rep)) return bitmap;
    const NSSize size = nsImage.size();
    nsImage.lockFocus();
    auto bitmap = NSBitmapImageRep::initWithFocusedViewRect(nsImage, NSSize{size.width, size.height});
    nsImage.unlockFocus();
    return bitmap;
}

TembraSoundWithImage::TembraSoundWithImage(const std::string& identifier) : QCPatch(identifier) {
    NSLog("TembraSoundWithImage::initWithIdentifier()");
}

TembraSoundWithImage::~TembraSoundWithImage() {
    NSLog("TembraSoundWithImage::dealloc()");
    // Nobody could stop a sound that outlived its patch.
    if (oscillator) {
        oscillator->stop();
        oscillator.reset();
    }
}

QCContext* TembraSoundWithImage::setup(QCContext* context) {
    NSLog("TembraSoundWithImage::setup()");
    return context;
}

void TembraSoundWithImage::enable(QCContext*) { NSLog("TembraSoundWithImage::enable()"); }
void TembraSoundWithImage::disable(QCContext*) { NSLog("TembraSoundWithImage::disable()"); }
void TembraSoundWithImage::cleanup(QCContext*) { NSLog("TembraSoundWithImage::cleanup()"); }

void TembraSoundWithImage::handPixels(const NSBitmapImageRep& bitmap) {
    oscillator->setBitmapData(bitmap.bitmapData(), static_cast<int32_t>(bitmap.bytesPerRow() * bitmap.pixelsHigh()));
}

bool TembraSoundWithImage::execute(QCOpenGLContext*, double, const QCArguments*) {
    const ImageRef& image = inputImage.imageValue();
    if (image != currentImage) {
        NSLog("TembraSoundWithImage: inputImage update");
        currentImage = image;
        if (oscillator) {
            NSLog("OSC Release");
            oscillator->stop();
            oscillator.reset();
        }

        const auto nsImage = image ? image->NSImage() : nullptr;
        if (!nsImage) {
            NSLog("No NSImage.");
            return true;
        }
        const auto bitmap = BitmapImageRepFromNSImage(*nsImage);
        if (!bitmap || bitmap->pixelsWide() != 512) {
            NSLog("This image isn't 512 width.");
            return true;
        }
        if (bitmap->pixelsHigh() % 2 != 0) {
            NSLog("This image's height isn't even.");
            return true;
        }
        if (bitmap->bitmapFormat() != 0) {
            NSLog("This image's bitmapFormat isn't zero.  I don't know how to deal with these yet.");
            return true;
        }

        oscillator = std::make_unique<Sinewave>();
        NSLog("OSC Alloc");
        handPixels(*bitmap);
        oscillator->setBytesPerRow(static_cast<int32_t>(bitmap->bytesPerRow()));
        oscillator->setSamplesPerPixel(static_cast<int32_t>(bitmap->samplesPerPixel()));
        oscillator->setWidth(static_cast<int32_t>(bitmap->pixelsWide()));
        oscillator->setHeight(static_cast<int32_t>(bitmap->pixelsHigh()));
        oscillator->setup();
        oscillator->start();
    }

    if (!oscillator) return true;

    // Hand the pixels again only when the image yields another bitmap; a
    // missing one keeps the copy already playing.
    const auto nsImage = currentImage ? currentImage->NSImage() : nullptr;
    if (nsImage) {
        const auto bitmap = BitmapImageRepFromNSImage(*nsImage);
        if (bitmap && bitmap != oldbir) {
            oldbir = bitmap;
            if (bitmap->bitmapData() != nullptr) handPixels(*bitmap);
        }
    }
    outputX.setIndexValue(static_cast<uint32_t>(oscillator->curX()));
    outputY.setIndexValue(static_cast<uint32_t>(oscillator->curY()));
    return true;
}
