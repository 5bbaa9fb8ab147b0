#include "tools/tembra/ErrorOverlay.h"

#include "platform/foundation/NSLogObserver.h"
#include "platform/text/TextRenderer.h"

#include <algorithm>

ErrorOverlay::ErrorOverlay() {
    observer_ = NSLogAddObserver([this](const std::string& line, bool problem) {
        if (problem) logged(line);
    });
}

ErrorOverlay::~ErrorOverlay() {
    NSLogRemoveObserver(observer_);
    if (!texture_) return;
    CGLContextScope current(context_);
    if (current.ok()) glDeleteTextures(1, &texture_);
}

void ErrorOverlay::show(const std::string& line) {
    std::lock_guard lock(mutex_);
    line_ = line;
    until_ = Clock::now() + kShown;
}

void ErrorOverlay::clear() {
    std::lock_guard lock(mutex_);
    line_.clear();
    until_ = {};
}

void ErrorOverlay::watchThisThread(bool on) {
    watcher_.store(std::this_thread::get_id());
    watching_.store(on);
}

void ErrorOverlay::logged(const std::string& line) {
    if (watching_.load() && watcher_.load() == std::this_thread::get_id()) show(line);
}

std::string ErrorOverlay::current() {
    std::lock_guard lock(mutex_);
    return Clock::now() < until_ ? line_ : std::string();
}

void ErrorOverlay::draw(CGLContextObj context, int width, int height) {
    const std::string line = current();
    if (line.empty() || width <= 0 || height <= 0) return;
    if (line != drawnLine_ || width != drawnWidth_ || height != drawnHeight_ || !texture_) {
        // Big enough to read across a room, small enough to leave the picture.
        const int size = std::clamp(height / 28, 10, 36);
        TextStyle style;
        style.font = "DejaVu Sans Bold " + std::to_string(size);
        style.red = 1;
        style.green = 0.93;
        style.blue = 0.86;
        style.backgroundRed = 0.55;
        style.backgroundGreen = 0.05;
        style.backgroundBlue = 0.05;
        style.backgroundAlpha = 0.8;
        style.padding = std::max(2, size / 3);
        style.wrapWidth = std::max(1, width - 2 * style.padding);
        style.singleLine = true;
        std::string error;
        const CGImageRef image = TextRenderer::render(line, style, &error);
        if (!image) return;  // nothing to draw; the line is in the title and the log all the same
        if (!texture_) {
            context_ = context;
            glGenTextures(1, &texture_);
            glBindTexture(GL_TEXTURE_2D, texture_);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }
        glBindTexture(GL_TEXTURE_2D, texture_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(image->bytesPerRow / 4));
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(image->width),
                     static_cast<GLsizei>(image->height), 0, GL_RGBA, GL_UNSIGNED_BYTE, image->pixels.data());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        drawnLine_ = line;
        drawnWidth_ = width;
        drawnHeight_ = height;
        imageWidth_ = std::min(static_cast<int>(image->width), width);
        imageHeight_ = std::min(static_cast<int>(image->height), height);
    }

    // Pixel for pixel along the bottom edge, over the picture (premultiplied).
    glViewport(0, 0, imageWidth_, imageHeight_);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
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
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, 0);
    glViewport(0, 0, width, height);
}
