#pragma once

#include "FireGrid.h"
#include "FireWorker.h"
#include "host/QCPatch.h"
#include "platform/graphics/CoreGraphics.h"

#include <cstdint>
#include <memory>
#include <string>

// A cellular fire: heat, oxygen and fuel on a grid. Fuel and oxygen react
// where their product with heat passes an energy barrier, heat and oxygen
// are scattered by a random displacement per cell, fuel is fed in two fixed
// rectangles and heat cools. One step per execution; the heat, oxygen and
// visible-light fields leave as images.
class TembraFire : public QCPatch {
public:
    static constexpr const char* className = "TembraFire";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit TembraFire(const std::string& identifier);
    ~TembraFire() override;
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputPixelsWide{this, "inputPixelsWide"};
    QCIndexPort inputPixelsHigh{this, "inputPixelsHigh"};
    QCNumberPort inputEnergyBarrier{this, "inputEnergyBarrier"};
    QCNumberPort inputReactionRateCoefficient{this, "inputReactionRateCoefficient"};
    QCNumberPort inputMaxReactionRate{this, "inputMaxReactionRate"};
    QCNumberPort inputExothermicness{this, "inputExothermicness"};
    QCNumberPort inputCoolRate{this, "inputCoolRate"};
    QCGLImagePort outputImageHeat{this, "outputImageHeat"};
    QCGLImagePort outputImageOxygen{this, "outputImageOxygen"};
    QCGLImagePort outputImageFuel{this, "outputImageFuel"};  // declared; never set
    QCGLImagePort outputImageVisible{this, "outputImageVisible"};

    // The size of the grid that is allocated now.
    int32_t pixelsWide() const { return currentPixelsWide; }
    int32_t pixelsHigh() const { return currentPixelsHigh; }
    // The model's state, open to inspection; null only if not even the
    // first grid could be allocated.
    FireGrid* fireGrid() const { return grid.get(); }

    // Allocates a grid of the current size and fills the initial state,
    // releasing the previous grid only once the new one exists. False, with
    // the previous grid kept, when the memory cannot be had.
    bool arInit();
    void arFini();
    void addFuel();
    // An image of the current size that takes the buffer's pixels.
    ImageRef bufferToQCGLCGImage(PageAlignedBuffer _scratchBuffer) const;

private:
    void followSize();
    PageAlignedBuffer takePicture(FireGrid::Picture picture);
    FireWorker* worker();

    int32_t currentPixelsWide = 320;
    int32_t currentPixelsHigh = 240;
    CGColorSpaceRef _colorspace;
    std::unique_ptr<FireGrid> grid;
    // Made on the first step of a grid large enough to share; destroyed
    // (and joined) before the grid it works on.
    std::unique_ptr<FireWorker> worker_;
};
