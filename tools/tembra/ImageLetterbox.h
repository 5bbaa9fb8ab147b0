#pragma once

#include "host/QCGLCGImage.h"
#include "host/QCValues.h"
#include "platform/gl/CGL.h"

#include <GL/gl.h>

// Draws an image scaled to fit a surface, aspect kept, centred between
// black bars. The texture lives in the context it was first drawn in.
class ImageLetterbox {
public:
    ImageLetterbox() = default;
    ~ImageLetterbox();
    ImageLetterbox(const ImageLetterbox&) = delete;
    ImageLetterbox& operator=(const ImageLetterbox&) = delete;

    // With `context` current and `width` x `height` its drawable. No image:
    // just black.
    void draw(CGLContextObj context, const ImageRef& image, int width, int height);

private:
    // Copies the pixels into texture_ (bound afterwards); false when they
    // cannot be drawn.
    bool upload(CGLContextObj context, const ImageRef& image);
    void drawQuad(int width, int height, double imageWidth, double imageHeight, bool topFirst);

    CGLContextObj context_ = nullptr;
    GLuint texture_ = 0;
    ImageRef uploaded_;  // the image the texture holds: uploaded again only when a new one comes
};
