#include "Billboard.h"

#include "host/QCGLCGImage.h"
#include "host/QCOpenGLContext.h"
#include "platform/gl/CGL.h"
#include "platform/gl/GLShareGroup.h"

#include <GL/gl.h>

Billboard::Billboard(const std::string& identifier) : QCPatch(identifier) { inputWidth.setDoubleValue(2.0); }

namespace {

// Uploads the image into the bound 2D texture, leaving the context's pixel
// store settings as they were. False for a layout that is not four
// components of 8-bit integers or 32-bit floats.
bool uploadTexture(const CGImage& image) {
    GLShareGroup::countUpload(image.bytesPerRow * image.height);
    const bool isFloat = (image.bitmapInfo & kCGBitmapFloatComponents) != 0;
    const size_t bytesPerPixel = isFloat ? 16 : 4;
    if (image.bitsPerPixel != bytesPerPixel * 8 || image.bytesPerRow % bytesPerPixel != 0) return false;
    const uint32_t alpha = image.bitmapInfo & kCGBitmapAlphaInfoMask;
    // Images without alpha keep a fourth byte that means nothing.
    const bool opaque = alpha == kCGImageAlphaNone || alpha == kCGImageAlphaNoneSkipLast;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerRow / bytesPerPixel));
    glTexImage2D(GL_TEXTURE_2D, 0, opaque ? GL_RGB8 : GL_RGBA8, static_cast<GLsizei>(image.width),
                 static_cast<GLsizei>(image.height), 0, GL_RGBA, isFloat ? GL_FLOAT : GL_UNSIGNED_BYTE,
                 image.pixels.data());
    glPopClientAttrib();
    return true;
}

}  // namespace

bool Billboard::execute(QCOpenGLContext* openglcontext, double, const QCArguments*) {
    const ImageRef& image = inputImage.imageValue();
    if (!openglcontext || !image || image->pixelsWide() == 0) return true;
    CGLContextScope current(openglcontext->CGLContextObj());
    if (!current.ok()) return true;

    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    // The image's own texture, made once; a context outside the share
    // group gets a copy of the pixels each frame instead.
    GLuint texture = image->textureName();
    GLuint ownTexture = 0;
    bool topFirst = image->textureTopFirst();
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture);
    } else if (image->CGImage()) {
        glGenTextures(1, &ownTexture);
        glBindTexture(GL_TEXTURE_2D, ownTexture);
        if (uploadTexture(*image->CGImage())) texture = ownTexture;
        topFirst = true;
    }
    if (texture) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnable(GL_TEXTURE_2D);
        // The host's images carry premultiplied alpha.
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);

        const double halfWidth = inputWidth.doubleValue() / 2.0;
        const double halfHeight = halfWidth * static_cast<double>(image->pixelsHigh()) / image->pixelsWide();
        const double x = inputX.doubleValue(), y = inputY.doubleValue();
        // Texture row of the picture's top edge.
        const double top = topFirst ? 0 : 1, bottom = 1 - top;
        // Placed in the host's units, whatever earlier patches did to the
        // model-view matrix.
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glBegin(GL_QUADS);
        glTexCoord2d(0, top);
        glVertex2d(x - halfWidth, y + halfHeight);
        glTexCoord2d(1, top);
        glVertex2d(x + halfWidth, y + halfHeight);
        glTexCoord2d(1, bottom);
        glVertex2d(x + halfWidth, y - halfHeight);
        glTexCoord2d(0, bottom);
        glVertex2d(x - halfWidth, y - halfHeight);
        glEnd();
        glPopMatrix();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    if (ownTexture) glDeleteTextures(1, &ownTexture);
    glPopAttrib();
    return true;
}
