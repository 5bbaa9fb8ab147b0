#include "TembraImageWithComposition.h"

#include "patches/SizePort.h"

TembraImageWithComposition::TembraImageWithComposition(const std::string& identifier) : QCPatch(identifier) {
    currentPixelsWide = 320;
    currentPixelsHigh = 240;
    inputPixelsWide.setIndexValue(320);
    inputPixelsWide.setMaxIndexValue(4096);
    inputPixelsHigh.setIndexValue(240);
    inputPixelsHigh.setMaxIndexValue(4096);
}

TembraImageWithComposition::~TembraImageWithComposition() { or_.reset(); }

QCContext* TembraImageWithComposition::setup(QCContext* context) {
    or_.reset();
    // An object of the patch's own, so the port's value always differs.
    currentPath = newString("");
    return context;
}

bool TembraImageWithComposition::execute(QCOpenGLContext*, double time, const QCArguments*) {
    bool realloc = false;

    if (inputCompositionPath.stringValue() != currentPath) {
        currentPath = inputCompositionPath.stringValue();
        realloc = true;
    }
    if (followSizePort(inputPixelsWide, currentPixelsWide)) realloc = true;
    if (followSizePort(inputPixelsHigh, currentPixelsHigh)) realloc = true;

    if (realloc) {
        or_.reset();
        or_ = OfflineRenderer::initWithCompositionPath(currentPath ? *currentPath : std::string(),
                                                       static_cast<uint32_t>(currentPixelsWide),
                                                       static_cast<uint32_t>(currentPixelsHigh));
    }

    ImageRef qcglOut = or_ ? or_->QCGLCGImageForTime(time) : nullptr;
    outputImage.setImageValue(qcglOut);
    qcglOut.reset();
    return true;
}
