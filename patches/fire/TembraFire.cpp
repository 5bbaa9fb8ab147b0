#include "TembraFire.h"

#include "patches/SizePort.h"
#include "patches/fire/FirePasses.h"
#include "host/QCGLCGImage.h"
#include "platform/foundation/NSLog.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

namespace {

// Below this many cells, handing half a pass to the worker costs about what
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

void TembraFire::addFuel() {
    const int32_t W = grid->width(), H = grid->height();
    float* const fuel = grid->fuel;
    const auto fill = [&](int32_t top, int32_t bottom, int32_t left, int32_t right) {
        for (int32_t y = top; y < bottom; ++y)
            for (int32_t x = left; x < right; ++x) fuel[static_cast<size_t>(y) * W + x] = 1.0f;
    };
    fill(3 * H / 5, 4 * H / 5, 3 * W / 5, 4 * W / 5);
    fill(440 * H / 512, 450 * H / 512, W / 5, 2 * W / 5);
}

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
    // ride on the reaction, the new displacements are drawn (in the same
    // cell order) right behind the transport, which reads the old ones, and
    // fuel, which nothing else here reads, is fed before heat and oxygen are
    // copied back, cooled and turned into bytes in one go. On a large grid
    // the worker takes half of each pass, and draws while the transport
    // runs.
    FireGrid& g = *grid;
    inHalves([&](size_t begin, size_t end) { fireReact(g, chemistry, begin, end); });
    transport();
    addFuel();
    inHalves([&](size_t begin, size_t end) { fireSettle(g, coolrate, begin, end); });
    publishImages();
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

// Runs part(begin, end) over all cells: in two halves at once on a large
// grid, the split on a multiple of 16 cells.
template <class Part>
void TembraFire::inHalves(Part&& part) {
    const size_t cells = grid->cells();
    FireWorker* const helper = worker();
    if (!helper) return part(0, cells);
    const size_t middle = cells / 2 / 16 * 16;
    helper->together([&] { part(middle, cells); }, [&] { part(0, middle); });
}

// The scatter runs in scan order on this thread, and the worker draws the
// next displacements, in cell order, for the rows the scatter is done with.
void TembraFire::transport() {
    FireGrid& g = *grid;
    const int32_t W = g.width(), H = g.height();
    // Rows 10 to H - 11 are sources; the ten top and bottom rows never are.
    const int32_t first = 10, end = std::max(first, H - 10);
    FireWorker* const helper = worker();
    if (!helper) {
        fireTransport(g, first, end);
        fireDrawDisplacements(g, 0, g.cells(), 5.0f, -2.0f, -2.0f);
        return;
    }
    // Rows before this one are no longer read by the scatter.
    std::atomic<int32_t> released{first};
    const auto cellOf = [W](int32_t row) { return static_cast<size_t>(row) * static_cast<size_t>(W); };
    helper->together(
        [&] {
            for (int32_t drawn = 0; drawn < H;) {
                int32_t upTo = released.load(std::memory_order_acquire);
                if (upTo >= end) upTo = H;
                if (upTo == drawn) {
                    released.wait(drawn, std::memory_order_acquire);
                    continue;
                }
                fireDrawDisplacements(g, cellOf(drawn), cellOf(upTo), 5.0f, -2.0f, -2.0f);
                drawn = upTo;
            }
        },
        [&] {
            // A few thousand cells at a time, so the draws follow closely.
            const int32_t rows = std::max<int32_t>(1, 8192 / W);
            for (int32_t y = first; y < end; y += rows) {
                const int32_t last = std::min(y + rows, end);
                fireTransport(g, y, last);
                released.store(last, std::memory_order_release);
                released.notify_one();
            }
        });
}

// The images are made at once on a large grid, and set in the order heat,
// oxygen, visible.
void TembraFire::publishImages() {
    ImageRef heat, oxygen, visible;
    const auto heatAndOxygen = [&] {
        heat = bufferToQCGLCGImage(grid->bufHeat);
        oxygen = bufferToQCGLCGImage(grid->bufOxygen);
    };
    const auto visibleOnly = [&] { visible = bufferToQCGLCGImage(grid->bufVisible); };
    if (FireWorker* const helper = worker()) {
        helper->together(visibleOnly, heatAndOxygen);
    } else {
        heatAndOxygen();
        visibleOnly();
    }
    outputImageHeat.setImageValue(std::move(heat));
    outputImageOxygen.setImageValue(std::move(oxygen));
    outputImageVisible.setImageValue(std::move(visible));
}

// The image copies the buffer's pixels once; later writes to the buffer do
// not reach it. A context or image that cannot be made is passed on as it
// is, so the port then receives an empty image.
ImageRef TembraFire::bufferToQCGLCGImage(uint8_t* _scratchBufferPtr) const {
    const auto W = static_cast<size_t>(currentPixelsWide), H = static_cast<size_t>(currentPixelsHigh);
    CGContextRef bitmapContext =
        CGBitmapContextCreate(_scratchBufferPtr, W, H, 8, 4 * W, _colorspace, kCGImageAlphaPremultipliedLast);
    CGImageRef bitmapImage = CGBitmapContextCreateImage(bitmapContext.get());
    ImageRef qcglOut = std::make_shared<const QCGLCGImage>(bitmapImage, nullptr);
    CGImageRelease(bitmapImage);
    CGContextRelease(bitmapContext);
    return qcglOut;
}
