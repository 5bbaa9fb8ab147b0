#pragma once

#include "Sinewave.h"
#include "host/QCGLCGImage.h"
#include "host/QCPatch.h"
#include "platform/graphics/NSImage.h"

#include <memory>

// The first bitmap representation of `nsImage`, or a bitmap drawn from the
// image when it has none (the caller then holds the only reference).
std::shared_ptr<const NSBitmapImageRep> BitmapImageRepFromNSImage(const NSImage& nsImage);

// Plays its input image, a sound image, on the default output device and
// publishes the play cursor. Each new image object stops the sound; an image
// that passes the checks gets a fresh oscillator playing from (0, 0).
class TembraSoundWithImage : public QCPatch {
public:
    static constexpr const char* className = "TembraSoundWithImage";
    static int executionMode() { return 1; }

    explicit TembraSoundWithImage(const std::string& identifier);
    ~TembraSoundWithImage() override;
    QCContext* setup(QCContext* context) override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    void cleanup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCGLImagePort inputImage{this, "inputImage"};
    QCIndexPort outputX{this, "outputX"};
    QCIndexPort outputY{this, "outputY"};

    // The playing oscillator, if any (for tests and the host's inspection).
    const Sinewave* currentOscillator() const { return oscillator.get(); }

private:
    void handPixels(const NSBitmapImageRep& bitmap);

    std::unique_ptr<Sinewave> oscillator;
    ImageRef currentImage;
    std::shared_ptr<const NSBitmapImageRep> oldbir;
};
