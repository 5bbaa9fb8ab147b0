#include "RenderFrames.h"

#include "RunCommand.h"
#include "host/QCRenderer.h"
#include "platform/foundation/NSLog.h"
#include "platform/graphics/PNGFile.h"

#include <GL/gl.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <vector>

RenderFrames::RenderFrames(Evaluator& evaluator, const std::string& file, const std::string& renderPattern)
    : evaluator_(evaluator), file_(file) {
    if (!renderPattern.empty()) {
        try {
            pattern_.emplace(renderPattern);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--render: ") + e.what());
        }
        if (!evaluator.hasConsumers()) throw UsageError("--render: the composition has no patch that draws");
    }
    if (!evaluator.hasConsumers()) return;

    width_ = evaluator.document().renderWidth;
    height_ = evaluator.document().renderHeight;
    const NSOpenGLPixelFormatAttribute attributes[] = {
        NSOpenGLPFAPixelBuffer, NSOpenGLPFAAccelerated, NSOpenGLPFADepthSize, 24, 0,
    };
    const auto format = NSOpenGLPixelFormat::initWithAttributes(attributes);
    pixelBuffer_ = NSOpenGLPixelBuffer::initWithTextureTarget(GL_TEXTURE_2D, GL_RGBA, 0, width_, height_);
    context_ = NSOpenGLContext::initWithFormat(format.get(), nullptr);
    if (!pixelBuffer_ || !context_) {
        const std::string why = "cannot make an OpenGL context of " + std::to_string(width_) + "x" +
                                std::to_string(height_) + " to render the composition";
        if (pattern_) throw std::runtime_error(why);
        // Without --render the composition still runs; its drawing is lost.
        NSLog("%s; running it without drawing", why.c_str());
        pixelBuffer_.reset();
        context_.reset();
        return;
    }
    context_->setPixelBuffer(pixelBuffer_.get(), 0, 0, context_->currentVirtualScreen());
}

RenderFrames::~RenderFrames() {
    if (context_) context_->clearDrawable();
}

void RenderFrames::executeFrame(long frame, double time) {
    // Compositions rendered from this one resolve their paths against it and
    // may not render it again.
    QCRenderer::FileScope running(file_);
    if (!context_) return evaluator_.executeFrame(time);
    if (!QCRenderer::renderFrame(evaluator_, context_->CGLContextObj(), width_, height_, time))
        throw std::runtime_error("cannot render frame " + std::to_string(frame));
    if (pattern_) saveFrame(frame);
}

void RenderFrames::saveFrame(long frame) const {
    CGContextRef bitmap = CGBitmapContextCreate(nullptr, static_cast<size_t>(width_), static_cast<size_t>(height_), 8,
                                                static_cast<size_t>(width_) * 4, CGColorSpaceCreateDeviceRGB(),
                                                kCGImageAlphaPremultipliedLast);
    if (!bitmap) throw std::runtime_error("no memory to save frame " + std::to_string(frame));
    {
        CGLContextScope current(context_->CGLContextObj());
        if (!current.ok()) throw std::runtime_error("cannot read frame " + std::to_string(frame));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bitmap->data);
    }
    // OpenGL reads from the bottom row up; files start at the top.
    const size_t rowBytes = bitmap->bytesPerRow;
    std::vector<uint8_t> row(rowBytes);
    for (size_t top = 0, bottom = bitmap->height - 1; top < bottom; ++top, --bottom) {
        std::copy_n(bitmap->data + top * rowBytes, rowBytes, row.data());
        std::copy_n(bitmap->data + bottom * rowBytes, rowBytes, bitmap->data + top * rowBytes);
        std::copy_n(row.data(), rowBytes, bitmap->data + bottom * rowBytes);
    }
    CGImageRef image = CGBitmapContextCreateImage(bitmap.get());
    if (!image) throw std::runtime_error("no memory to save frame " + std::to_string(frame));
    const std::string path = pattern_->format(frame);
    const auto dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir);
    std::string error;
    if (!CGImageWriteToPNGFile(*image, path, &error)) throw std::runtime_error(error);
}
