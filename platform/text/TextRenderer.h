#pragma once

#include "platform/graphics/CoreGraphics.h"

#include <string>

enum class TextAlignment { Left, Center, Right };

// How a text is drawn. Colours are straight (not premultiplied), 0 to 1.
struct TextStyle {
    // A Pango font description: family, style words, size in pixels
    // ("DejaVu Sans Bold 48"). An unknown family falls back to one that is.
    std::string font = "DejaVu Sans 48";
    double red = 1, green = 1, blue = 1, alpha = 1;
    // Filled behind the text, padding included; transparent by default.
    double backgroundRed = 0, backgroundGreen = 0, backgroundBlue = 0, backgroundAlpha = 0;
    TextAlignment alignment = TextAlignment::Left;
    // Lines wider than this many pixels wrap at word boundaries, and the
    // image is this wide so alignment has room; 0: lines break only at
    // line breaks, and align to the widest.
    double wrapWidth = 0;
    // One line: line breaks become spaces, and with a wrap width a longer
    // line ends in an ellipsis instead of wrapping.
    bool singleLine = false;
    int padding = 0;  // pixels around the text
};

// Lays text out with Pango and draws it with Cairo.
class TextRenderer {
public:
    static constexpr size_t kMaxSide = 8192;
    static constexpr double kMaxFontSize = 2048;
    static constexpr size_t kMaxBytes = 64 * 1024;

    // The text in a premultiplied RGBA image (the host's images' bytes, the
    // first row at the top), as large as the text's extent plus padding.
    // Nothing for an empty text, or when the image cannot be made (`error`
    // says why). Bytes that are not UTF-8 are drawn as replacement marks.
    // A text longer than kMaxBytes is cut there, a picture larger than
    // kMaxSide either way is cut to it, and a font larger than kMaxFontSize
    // is drawn at that size; `warning` then says so.
    static CGImageRef render(const std::string& text, const TextStyle& style, std::string* error,
                             std::string* warning = nullptr);
};
