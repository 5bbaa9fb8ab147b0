#include "ImageLetterbox.h"

#include "platform/gl/GLShareGroup.h"

#include <algorithm>
#include <cmath>

ImageLetterbox::~ImageLetterbox() {
    if (!texture_) return;
    CGLContextScope current(context_);
    if (current.ok()) glDeleteTextures(1, &texture_);
}

void ImageLetterbox::draw(CGLContextObj context, const ImageRef& image, int width, int height) {
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!image || image->pixelsWide() == 0 || image->pixelsHigh() == 0) return;
    const double imageWidth = static_cast<double>(image->pixelsWide());
    const double imageHeight = static_cast<double>(image->pixelsHigh());
    // The image's own texture where the context shares it; a copy otherwise.
    GLuint texture = image->textureName();
    const bool topFirst = !texture || image->textureTopFirst();
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
    } else if (!upload(context, image)) {
        return;
    }
    drawQuad(width, height, imageWidth, imageHeight, topFirst);
}

bool ImageLetterbox::upload(CGLContextObj context, const ImageRef& image) {
    if (!image->CGImage()) return false;
    const CGImage& pixels = *image->CGImage();
    if (pixels.bitsPerComponent != 8 || pixels.bitsPerPixel != 32) return false;
    if (!texture_) {
        context_ = context;
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (image != uploaded_) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pixels.bytesPerRow / 4));
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(pixels.width), static_cast<GLsizei>(pixels.height),
                     0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.pixels.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        uploaded_ = image;
        GLShareGroup::countUpload(pixels.bytesPerRow * pixels.height);
    }
    return true;
}

void ImageLetterbox::drawQuad(int width, int height, double imageWidth, double imageHeight, bool topFirst) {
    // The largest centred rectangle of the image's shape.
    const double scale = std::min(static_cast<double>(width) / imageWidth,
                                  static_cast<double>(height) / imageHeight);
    const int shownWidth = std::max(1, static_cast<int>(std::lround(imageWidth * scale)));
    const int shownHeight = std::max(1, static_cast<int>(std::lround(imageHeight * scale)));
    glViewport((width - shownWidth) / 2, (height - shownHeight) / 2, shownWidth, shownHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Texture rows of the picture's top and bottom edges.
    const float top = topFirst ? 0.0f : 1.0f, bottom = 1.0f - top;
    glBegin(GL_QUADS);
    glTexCoord2f(0, bottom);
    glVertex2f(-1, -1);
    glTexCoord2f(1, bottom);
    glVertex2f(1, -1);
    glTexCoord2f(1, top);
    glVertex2f(1, 1);
    glTexCoord2f(0, top);
    glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glViewport(0, 0, width, height);
}
