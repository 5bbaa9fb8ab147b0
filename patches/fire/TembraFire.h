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
    static constexpr const char* classDescription =
        "A cellular fire: heat, oxygen and fuel react and drift, one step a frame.";
    static int executionMode() { return 3; }
    static int timeModeWithIdentifier(const std::string&) { return 1; }

    explicit TembraFire(const std::string& identifier);
    ~TembraFire() override;
    QCContext* setup(QCContext* context) override;
    bool execute(QCOpenGLContext* openglcontext, double time, const QCArguments* arguments) override;

    QCIndexPort inputPixelsWide{this, "inputPixelsWide",
        {.description = "grid width in cells, which is the images' width in pixels; a change restarts the fire"}};
    QCIndexPort inputPixelsHigh{this, "inputPixelsHigh",
        {.description = "grid height in cells, which is the images' height in pixels; a change restarts the fire"}};
    QCNumberPort inputEnergyBarrier{this, "inputEnergyBarrier",
        {.description = "energy a cell needs (oxygen x fuel x heat) before it burns; about 0.3 and above nothing burns", .min = 0, .max = 0.3}};
    QCNumberPort inputReactionRateCoefficient{this, "inputReactionRateCoefficient",
        {.description = "how fast fuel and oxygen burn above the barrier; 0.2 burns briskly", .min = 0, .max = 0.5}};
    QCNumberPort inputMaxReactionRate{this, "inputMaxReactionRate",
        {.description = "most a cell can burn in one step", .min = 0, .max = 1}};
    QCNumberPort inputExothermicness{this, "inputExothermicness",
        {.description = "heat released per unit burnt; below about 1 the fire smoulders, near 10 it fills the frame", .min = 0, .max = 10}};
    QCNumberPort inputCoolRate{this, "inputCoolRate",
        {.description = "factor every cell's heat is multiplied by each step; at 0.9 the flames die out, near 1 they fill the frame", .min = 0.9, .max = 1}};
    QCGLImagePort outputImageHeat{this, "outputImageHeat",
        {.description = "heat field as a grey image"}};
    QCGLImagePort outputImageOxygen{this, "outputImageOxygen",
        {.description = "oxygen field as a grey image"}};
    QCGLImagePort outputImageFuel{this, "outputImageFuel",
        {.description = "declared for compatibility; never set"}};  // declared; never set
    QCGLImagePort outputImageVisible{this, "outputImageVisible",
        {.description = "the flames: heat as colour, more opaque where oxygen is used up"}};

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
