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
    static constexpr const char* classDescription =
        "Plays an image as sound, reading its rows as a waveform.";
    static int executionMode() { return 1; }

    explicit TembraSoundWithImage(const std::string& identifier);
    ~TembraSoundWithImage() override;
    QCContext* setup(QCContext* context) override;
    void enable(QCContext* context) override;
    void disable(QCContext* context) override;
    void cleanup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCGLImagePort inputImage{this, "inputImage",
        {.description = "the image to play"}};
    QCIndexPort outputX{this, "outputX",
        {.description = "column of the playing cursor"}};
    QCIndexPort outputY{this, "outputY",
        {.description = "row of the playing cursor (the upper row of the pair being played)"}};

    // The playing oscillator, if any (for tests and the host's inspection).
    const Sinewave* currentOscillator() const { return oscillator.get(); }

private:
    void handPixels(const NSBitmapImageRep& bitmap);

    std::unique_ptr<Sinewave> oscillator;
    ImageRef currentImage;
    std::shared_ptr<const NSBitmapImageRep> oldbir;
};
