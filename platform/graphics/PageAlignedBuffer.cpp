#include "PageAlignedBuffer.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

PageAlignedBuffer::PageAlignedBuffer(size_t bytes, Fill fill) {
    if (bytes == 0) return;
    void* memory = nullptr;
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    if (posix_memalign(&memory, page, bytes) != 0) throw std::bad_alloc();
    if (fill == Fill::Zero) std::memset(memory, 0, bytes);
    data_ = static_cast<uint8_t*>(memory);
    size_ = bytes;
}

PageAlignedBuffer::~PageAlignedBuffer() { std::free(data_); }

PageAlignedBuffer::PageAlignedBuffer(PageAlignedBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageAlignedBuffer& PageAlignedBuffer::operator=(PageAlignedBuffer&& other) noexcept {
    if (this != &other) {
        std::free(data_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}
