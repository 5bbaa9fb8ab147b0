#include "Text.h"

#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"
#include "platform/text/TextRenderer.h"

#include <sstream>

Text::Text(const std::string& identifier) : QCPatch(identifier) {
    inputFont.setStringValue(newString("DejaVu Sans 48"));
    inputRed.setDoubleValue(1.0);
    inputGreen.setDoubleValue(1.0);
    inputBlue.setDoubleValue(1.0);
    inputAlpha.setDoubleValue(1.0);
    inputAlignment.setMaxIndexValue(2);
}

bool Text::execute(QCOpenGLContext*, double, const QCArguments*) {
    TextStyle style;
    const StringRef& font = inputFont.stringValue();
    if (font && !font->empty()) style.font = *font;
    style.red = inputRed.doubleValue();
    style.green = inputGreen.doubleValue();
    style.blue = inputBlue.doubleValue();
    style.alpha = inputAlpha.doubleValue();
    const uint32_t alignment = inputAlignment.indexValue();
    style.alignment = alignment == 1 ? TextAlignment::Center : alignment == 2 ? TextAlignment::Right
                                                                             : TextAlignment::Left;
    style.wrapWidth = inputWrapWidth.doubleValue();
    const StringRef& text = inputString.stringValue();
    const std::string shown = text ? *text : std::string();

    // A new string object with the same text is no new picture.
    std::ostringstream key;
    key << style.font << '\n' << style.red << ' ' << style.green << ' ' << style.blue << ' ' << style.alpha << ' '
        << alignment << ' ' << style.wrapWidth << '\n' << shown;
    if (drawn && key.str() == lastKey) return true;
    drawn = true;
    lastKey = key.str();

    std::string error, warning;
    CGImageRef image = TextRenderer::render(shown, style, &error, &warning);
    if (!warning.empty()) NSLogProblem("Text %s: %s", identifier().c_str(), warning.c_str());
    if (!image && !error.empty()) NSLogProblem("Text %s: %s", identifier().c_str(), error.c_str());
    outputImage.setImageValue(image ? std::make_shared<const QCGLCGImage>(image, nullptr) : nullptr);
    return true;
}
