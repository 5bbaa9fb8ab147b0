#include "FireGrid.h"

#include <utility>

namespace {

// The arrays in the order they are allocated.
enum Array { Heat, Heat2, Oxygen, Oxygen2, Fuel, Visible, BufHeat, BufOxygen, BufFuel, BufVisible, Vx, Vy, Count };

std::array<PageAlignedBuffer, 12> allocate(size_t cells) {
    std::array<PageAlignedBuffer, 12> memory;
    // Unfilled: zeroing would touch every page of arrays the model overwrites
    // anyway (and of the two it never uses).
    for (PageAlignedBuffer& array : memory) array = PageAlignedBuffer(cells * 4, PageAlignedBuffer::Fill::None);
    return memory;
}

float* floats(PageAlignedBuffer& buffer) { return reinterpret_cast<float*>(buffer.data()); }

}  // namespace

static_assert(Count == 12);

FireGrid::FireGrid(int32_t width, int32_t height)
    : width_(width),
      height_(height),
      memory_(allocate(static_cast<size_t>(width) * static_cast<size_t>(height))),
      heat(floats(memory_[Heat])),
      heat2(floats(memory_[Heat2])),
      oxygen(floats(memory_[Oxygen])),
      oxygen2(floats(memory_[Oxygen2])),
      fuel(floats(memory_[Fuel])),
      visible(floats(memory_[Visible])),
      bufHeat(memory_[BufHeat].data()),
      bufOxygen(memory_[BufOxygen].data()),
      bufFuel(memory_[BufFuel].data()),
      bufVisible(memory_[BufVisible].data()),
      vx(floats(memory_[Vx])),
      vy(floats(memory_[Vy])) {}

void FireGrid::takeScatteredFields() {
    std::swap(heat, heat2);
    std::swap(oxygen, oxygen2);
}

PageAlignedBuffer FireGrid::takePicture(Picture picture) {
    constexpr Array arrays[] = {BufHeat, BufOxygen, BufVisible};
    uint8_t** const pointers[] = {&bufHeat, &bufOxygen, &bufVisible};
    PageAlignedBuffer& memory = memory_[arrays[picture]];
    PageAlignedBuffer filled(memory.size(), PageAlignedBuffer::Fill::None);
    std::swap(filled, memory);
    *pointers[picture] = memory.data();
    return filled;
}
