#include "TembraFire.h"

#include "patches/SizePort.h"
#include "patches/fire/FirePasses.h"
#include "patches/fire/FireStep.h"
#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"

#include <array>
#include <new>
#include <thread>

namespace {

// Below this many cells, waking the worker to share a step costs about what
// it saves.
constexpr size_t kWorkerCells = size_t{1} << 16;

}  // namespace

TembraFire::TembraFire(const std::string& identifier) : QCPatch(identifier) {
    inputPixelsWide.setIndexValue(320);
    inputPixelsWide.setMaxIndexValue(4096);
    inputPixelsHigh.setIndexValue(240);
    inputPixelsHigh.setMaxIndexValue(4096);
    inputEnergyBarrier.setDoubleValue(0.0);
    inputReactionRateCoefficient.setDoubleValue(0.01);
    inputMaxReactionRate.setDoubleValue(1.0);
    inputExothermicness.setDoubleValue(1.0);
    inputCoolRate.setDoubleValue(0.99);
    _colorspace = CGColorSpaceCreateDeviceRGB();
    if (!arInit())
        NSLog("TembraFire::arInit(): cannot allocate a grid of %d x %d cells", currentPixelsWide, currentPixelsHigh);
}

TembraFire::~TembraFire() {
    arFini();
    CGColorSpaceRelease(_colorspace);
}

QCContext* TembraFire::setup(QCContext* context) { return context; }

bool TembraFire::arInit() {
    std::unique_ptr<FireGrid> fresh;
    try {
        fresh = std::make_unique<FireGrid>(currentPixelsWide, currentPixelsHigh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    arFini();
    grid = std::move(fresh);

    float* const heat = grid->heat;
    float* const oxygen = grid->oxygen;
    float* const fuel = grid->fuel;
    const size_t cells = grid->cells();
    for (size_t i = 0; i < cells; ++i) {
        heat[i] = 0.3f;
        oxygen[i] = 1.0f;
        fuel[i] = 0.1f;
    }
    // The first vy range, [-3, 1], carries the first step's content upward.
    fireDrawDisplacements(*grid, 0, cells, 4.0f, -2.0f, -3.0f);
    addFuel();
    return true;
}

void TembraFire::arFini() { grid.reset(); }

void TembraFire::addFuel() { fireAddFuel(*grid); }

bool TembraFire::execute(QCOpenGLContext*, double, const QCArguments*) {
    followSize();
    if (!grid) return true;

    const FireChemistry chemistry{static_cast<float>(inputEnergyBarrier.doubleValue()),
                                  static_cast<float>(inputReactionRateCoefficient.doubleValue()),
                                  static_cast<float>(inputMaxReactionRate.doubleValue()),
                                  static_cast<float>(inputExothermicness.doubleValue())};
    const auto coolrate = static_cast<float>(inputCoolRate.doubleValue());

    // The step's stages are merged into three passes over the grid, which
    // gives the same values bit for bit: the copies into heat2 and oxygen2
    // ride on the reaction, which runs just ahead of the transport; the new
    // displacements are drawn (in the same cell order) right behind the
    // transport, which reads the old ones; fuel, which nothing reads after
    // the reaction, is fed then, and the scattered heat is cooled and both
    // fields turned into bytes in one go, which the images then take over
    // without a copy; the scattered fields become the current ones by
    // exchanging arrays. On a large grid the worker shares the step.
    std::array<ImageRef, 3> images;
    FireStep step(*grid, chemistry, coolrate,
                  [&](int i) { images[i] = bufferToQCGLCGImage(takePicture(static_cast<FireGrid::Picture>(i))); });
    if (FireWorker* const helper = worker())
        helper->share([&] { step.helper(); }, [&] { step.leader(); });
    else
        step.leader();
    grid->takeScatteredFields();
    outputImageHeat.setImageValue(std::move(images[0]));
    outputImageOxygen.setImageValue(std::move(images[1]));
    outputImageVisible.setImageValue(std::move(images[2]));
    return true;
}

// A new size restarts the model, once even when both dimensions changed.
void TembraFire::followSize() {
    const int32_t previousWide = currentPixelsWide, previousHigh = currentPixelsHigh;
    // Both ports are looked at, so the model restarts once for two changes.
    const bool wideChanged = followSizePort(inputPixelsWide, currentPixelsWide);
    const bool highChanged = followSizePort(inputPixelsHigh, currentPixelsHigh);
    const bool rebuild = wideChanged || highChanged;
    if (!rebuild || arInit()) return;

    // Out of memory: go on with the grid we have, and say so on the ports.
    NSLog("TembraFire::arInit(): cannot allocate a grid of %d x %d cells, keeping %d x %d", currentPixelsWide,
          currentPixelsHigh, previousWide, previousHigh);
    currentPixelsWide = previousWide;
    currentPixelsHigh = previousHigh;
    inputPixelsWide.setIndexValue(static_cast<uint32_t>(previousWide));
    inputPixelsHigh.setIndexValue(static_cast<uint32_t>(previousHigh));
}

FireWorker* TembraFire::worker() {
    if (grid->cells() < kWorkerCells || std::thread::hardware_concurrency() < 2) return nullptr;
    if (!worker_) worker_ = std::make_unique<FireWorker>();
    return worker_.get();
}

// The step's picture, handed over by the grid, which writes the next step's
// into fresh memory. Without memory for that, nothing is handed over.
PageAlignedBuffer TembraFire::takePicture(FireGrid::Picture picture) {
    try {
        return grid->takePicture(picture);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// The buffer's pixels become the image's, with no copy. An image that cannot
// be made (no pixels) is passed on as it is, so the port then receives an
// empty image.
ImageRef TembraFire::bufferToQCGLCGImage(PageAlignedBuffer _scratchBuffer) const {
    const auto W = static_cast<size_t>(currentPixelsWide), H = static_cast<size_t>(currentPixelsHigh);
    CGImageRef bitmapImage =
        CGImageCreate(W, H, 8, 4 * W, _colorspace, kCGImageAlphaPremultipliedLast, std::move(_scratchBuffer));
    ImageRef qcglOut = std::make_shared<const QCGLCGImage>(bitmapImage, nullptr);
    CGImageRelease(bitmapImage);
    return qcglOut;
}
