#include "patches/fire/FireStep.h"

#include <algorithm>
#include <utility>

namespace {

// Cells per piece of the last pass: a multiple of 16, so each array's part
// starts on a cache line.
constexpr size_t kSettleCells = size_t{1} << 12;

// A few thousand cells of rows at a time, so the scatter follows the
// reaction, and the draws the scatter, closely.
int32_t rowsPerChunk(int32_t W) { return std::max<int32_t>(1, 4096 / W); }

void waitWhileEqual(const std::atomic<int32_t>& value, int32_t old) { value.wait(old, std::memory_order_acquire); }

}  // namespace

FireStep::FireStep(FireGrid& grid, const FireChemistry& chemistry, float coolrate, std::function<void(int)> makeImage)
    : grid_(grid),
      chemistry_(chemistry),
      coolrate_(coolrate),
      makeImage_(std::move(makeImage)),
      W_(grid.width()),
      H_(grid.height()),
      // Rows 10 to H - 11 are sources; the ten top and bottom rows never are.
      firstSource_(10),
      endSource_(std::max(10, grid.height() - 10)),
      rowsPerChunk_(rowsPerChunk(grid.width())),
      reactChunks_((grid.height() + rowsPerChunk_ - 1) / rowsPerChunk_),
      settleChunks_((grid.cells() + kSettleCells - 1) / kSettleCells),
      reacted_(std::make_unique<std::atomic<int32_t>[]>(static_cast<size_t>(reactChunks_))),
      released_(firstSource_) {}

void FireStep::leader() {
    transport();
    reactUpTo(H_ - 1);
    fireAddFuel(grid_);
    if (!drawsTaken_.exchange(true)) fireDrawDisplacements(grid_, 0, grid_.cells(), 5.0f, -2.0f, -2.0f);
    settleOpen_.store(1, std::memory_order_release);
    settleOpen_.notify_all();
    settleAll();
    makeImages();
}

void FireStep::helper() {
    while (reactOne()) {
    }
    if (!drawsTaken_.exchange(true)) drawBehindTransport();
    while (settleOpen_.load(std::memory_order_acquire) == 0) waitWhileEqual(settleOpen_, 0);
    settleAll();
    makeImages();
}

// Reacts the next chunk nobody has taken; false when none is left.
bool FireStep::reactOne() {
    const int32_t chunk = reactNext_.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= reactChunks_) return false;
    const int32_t first = chunk * rowsPerChunk_, last = std::min(first + rowsPerChunk_, H_);
    fireReact(grid_, chemistry_, static_cast<size_t>(first) * W_, static_cast<size_t>(last) * W_);
    reacted_[chunk].store(1, std::memory_order_release);
    reacted_[chunk].notify_all();
    return true;
}

// Returns once every row up to `row` has reacted, reacting chunks itself
// rather than waiting while any is left to take.
void FireStep::reactUpTo(int32_t row) {
    const int32_t needed = std::min(row / rowsPerChunk_, reactChunks_ - 1);
    while (reactedPrefix_ <= needed) {
        if (reacted_[reactedPrefix_].load(std::memory_order_acquire) != 0) {
            ++reactedPrefix_;
        } else if (!reactOne()) {
            waitWhileEqual(reacted_[reactedPrefix_], 0);  // the helper has it in hand
        }
    }
}

void FireStep::transport() {
    constexpr int32_t stretch = 1024;
    int32_t targets[stretch];
    for (int32_t y = firstSource_; y < endSource_; ++y) {
        for (int32_t x0 = 0; x0 < W_; x0 += stretch) {
            const int32_t n = std::min(stretch, W_ - x0);
            reactUpTo(fireTargets(grid_, y, x0, n, targets));
            fireScatter(grid_, y, x0, n, targets);
        }
        if ((y + 1 - firstSource_) % rowsPerChunk_ == 0 || y + 1 == endSource_) {
            released_.store(y + 1, std::memory_order_release);
            released_.notify_all();
        }
    }
}

// The draws in cell order, each row as soon as the scatter has read it.
void FireStep::drawBehindTransport() {
    for (int32_t drawn = 0; drawn < H_;) {
        int32_t upTo = released_.load(std::memory_order_acquire);
        if (upTo >= endSource_) upTo = H_;
        if (upTo == drawn) {
            waitWhileEqual(released_, drawn);
            continue;
        }
        fireDrawDisplacements(grid_, static_cast<size_t>(drawn) * W_, static_cast<size_t>(upTo) * W_, 5.0f, -2.0f,
                              -2.0f);
        drawn = upTo;
    }
}

// Takes pieces of the last pass while any is left, then waits until all are
// done, by either thread.
void FireStep::settleAll() {
    const size_t cells = grid_.cells();
    for (size_t chunk; (chunk = settleNext_.fetch_add(1, std::memory_order_relaxed)) < settleChunks_;) {
        fireSettle(grid_, coolrate_, chunk * kSettleCells, std::min(cells, (chunk + 1) * kSettleCells));
        if (settled_.fetch_add(1, std::memory_order_acq_rel) + 1 == static_cast<int32_t>(settleChunks_))
            settled_.notify_all();
    }
    for (int32_t done; (done = settled_.load(std::memory_order_acquire)) < static_cast<int32_t>(settleChunks_);)
        waitWhileEqual(settled_, done);
}

void FireStep::makeImages() {
    for (int image; (image = imageNext_.fetch_add(1, std::memory_order_relaxed)) < 3;) makeImage_(image);
}
