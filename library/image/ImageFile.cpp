#include "ImageFile.h"

#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/PNGFile.h"

ImageFile::ImageFile(const std::string& identifier) : QCPatch(identifier) {}

bool ImageFile::execute(QCOpenGLContext*, double, const QCArguments*) {
    if (hasRead && inputPath.stringValue() == currentPath) return true;
    hasRead = true;
    currentPath = inputPath.stringValue();
    if (!currentPath || currentPath->empty()) {
        outputImage.setImageValue(nullptr);
        return true;
    }
    std::string error;
    CGImageRef picture = CGImageCreateWithPNGFile(*currentPath, &error);
    if (!picture) {
        NSLogProblem("ImageFile: %s", error.c_str());
        outputImage.setImageValue(nullptr);
        return true;
    }
    outputImage.setImageValue(std::make_shared<const QCGLCGImage>(picture, nullptr));
    return true;
}
