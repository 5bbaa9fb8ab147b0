#include "ImageLetterbox.h"

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
    if (!image || !image->CGImage() || image->pixelsWide() == 0 || image->pixelsHigh() == 0) return;
    const CGImage& pixels = *image->CGImage();
    if (pixels.bitsPerComponent != 8 || pixels.bitsPerPixel != 32) return;

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
    }

    // The largest centred rectangle of the image's shape.
    const double scale = std::min(static_cast<double>(width) / static_cast<double>(pixels.width),
                                  static_cast<double>(height) / static_cast<double>(pixels.height));
    const int shownWidth = std::max(1, static_cast<int>(std::lround(static_cast<double>(pixels.width) * scale)));
    const int shownHeight = std::max(1, static_cast<int>(std::lround(static_cast<double>(pixels.height) * scale)));
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
    // The image's first row is its top.
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, 1);
    glTexCoord2f(0, 0);
    glVertex2f(-1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glViewport(0, 0, width, height);
}
