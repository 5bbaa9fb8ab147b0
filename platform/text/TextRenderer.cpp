#include "platform/text/TextRenderer.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct ObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};
struct FontDeleter {
    void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
struct GFreeDeleter {
    void operator()(char* s) const { g_free(s); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Cairo = std::unique_ptr<cairo_t, CairoDeleter>;
using Layout = std::unique_ptr<PangoLayout, ObjectDeleter>;

double unit(double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; }

}  // namespace

CGImageRef TextRenderer::render(const std::string& text, const TextStyle& style, std::string* error,
                                std::string* warning) {
    if (warning) warning->clear();
    if (text.empty()) return nullptr;
    auto fail = [error](const std::string& why) -> CGImageRef {
        if (error) *error = why;
        return nullptr;
    };

    // Pango takes UTF-8 only; anything else is drawn as replacement marks.
    const std::unique_ptr<char, GFreeDeleter> valid(g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())));
    std::string shown = valid.get();
    if (shown.size() > kMaxBytes) {
        // Laying out more than a picture can hold only stalls the show.
        size_t end = kMaxBytes;
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
        if (warning) *warning = "the text has " + std::to_string(shown.size()) + " bytes; the first " +
                                std::to_string(end) + " are drawn";
        shown.resize(end);
    }
    if (style.singleLine) std::replace_if(shown.begin(), shown.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');

    // The layout is measured on a one-pixel surface, then drawn on one of its size.
    Surface probe(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    Cairo probeCairo(cairo_create(probe.get()));
    Layout layout(pango_cairo_create_layout(probeCairo.get()));
    // At 72 dots per inch a point is a pixel: "48" is 48 pixels to the em.
    pango_cairo_context_set_resolution(pango_layout_get_context(layout.get()), 72);
    pango_layout_context_changed(layout.get());

    const std::unique_ptr<PangoFontDescription, FontDeleter> font(
        pango_font_description_from_string(style.font.c_str()));
    const double size = static_cast<double>(pango_font_description_get_size(font.get())) / PANGO_SCALE;
    if (size <= 0) {
        pango_font_description_set_size(font.get(), 48 * PANGO_SCALE);
    } else if (size > kMaxFontSize) {
        pango_font_description_set_size(font.get(), static_cast<gint>(kMaxFontSize * PANGO_SCALE));
        if (warning && warning->empty()) *warning = "font size " + std::to_string(static_cast<long long>(size)) + " is drawn at " +
                                std::to_string(static_cast<int>(kMaxFontSize));
    }
    pango_layout_set_font_description(layout.get(), font.get());

    const double wrap = std::isfinite(style.wrapWidth) ? std::clamp(style.wrapWidth, 0.0, double(kMaxSide)) : 0.0;
    const int wrapPixels = static_cast<int>(std::lround(wrap));
    if (wrapPixels > 0) {
        pango_layout_set_width(layout.get(), wrapPixels * PANGO_SCALE);
        if (style.singleLine) pango_layout_set_ellipsize(layout.get(), PANGO_ELLIPSIZE_END);
        else pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    }
    pango_layout_set_alignment(layout.get(), style.alignment == TextAlignment::Center ? PANGO_ALIGN_CENTER
                                             : style.alignment == TextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                                                       : PANGO_ALIGN_LEFT);
    pango_layout_set_text(layout.get(), shown.data(), static_cast<int>(shown.size()));

    // The logical box, grown to hold the ink that reaches past it (italics,
    // accents), and to the wrap width so alignment has room.
    PangoRectangle ink{}, logical{};
    pango_layout_get_pixel_extents(layout.get(), &ink, &logical);
    int x0 = std::min(logical.x, ink.x), y0 = std::min(logical.y, ink.y);
    int x1 = std::max(logical.x + logical.width, ink.x + ink.width);
    const int y1 = std::max(logical.y + logical.height, ink.y + ink.height);
    if (wrapPixels > 0) {
        x0 = std::min(x0, 0);
        x1 = std::max(x1, wrapPixels);
    }
    const int padding = std::clamp(style.padding, 0, 1024);
    const long long wide = static_cast<long long>(x1 - x0) + 2 * padding;
    const long long high = static_cast<long long>(y1 - y0) + 2 * padding;
    if (wide <= 0 || high <= 0) return fail("the text \"" + shown.substr(0, 40) + "\" has no extent");
    const int width = static_cast<int>(std::min<long long>(wide, kMaxSide));
    const int height = static_cast<int>(std::min<long long>(high, kMaxSide));
    if ((wide > width || high > height) && warning && warning->empty())
        *warning = "the text is " + std::to_string(wide) + "x" + std::to_string(high) + " pixels; cut to " +
                   std::to_string(width) + "x" + std::to_string(height);

    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return fail("cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " text image: " +
                    cairo_status_to_string(cairo_surface_status(surface.get())));
    Cairo cairo(cairo_create(surface.get()));
    if (style.backgroundAlpha > 0) {
        cairo_set_source_rgba(cairo.get(), unit(style.backgroundRed), unit(style.backgroundGreen),
                              unit(style.backgroundBlue), unit(style.backgroundAlpha));
        cairo_paint(cairo.get());
    }
    cairo_set_source_rgba(cairo.get(), unit(style.red), unit(style.green), unit(style.blue), unit(style.alpha));
    cairo_move_to(cairo.get(), padding - x0, padding - y0);
    pango_cairo_update_layout(cairo.get(), layout.get());
    pango_cairo_show_layout(cairo.get(), layout.get());
    cairo_surface_flush(surface.get());

    // Cairo's ARGB32 is premultiplied native-endian 32-bit words; the host's
    // images are premultiplied R, G, B, A bytes.
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    PageAlignedBuffer pixels(rowBytes * height, PageAlignedBuffer::Fill::None);
    const uint8_t* source = cairo_image_surface_get_data(surface.get());
    const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface.get()));
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source + y * stride;
        uint8_t* out = pixels.data() + y * rowBytes;
        for (int x = 0; x < width; ++x, in += 4, out += 4) {
            uint32_t word;
            std::memcpy(&word, in, 4);
            out[0] = static_cast<uint8_t>(word >> 16);
            out[1] = static_cast<uint8_t>(word >> 8);
            out[2] = static_cast<uint8_t>(word);
            out[3] = static_cast<uint8_t>(word >> 24);
        }
    }
    return CGImageCreate(width, height, 8, rowBytes, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
                         std::move(pixels));
}
