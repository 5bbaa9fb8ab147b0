#pragma once

#include <cstddef>
#include <cstdint>

// Memory starting on a page boundary, owned alone, zero-filled unless the
// caller is about to overwrite all of it. Throws std::bad_alloc when the
// memory cannot be had.
class PageAlignedBuffer {
public:
    enum class Fill { Zero, None };

    PageAlignedBuffer() = default;
    explicit PageAlignedBuffer(size_t bytes, Fill fill = Fill::Zero);
    ~PageAlignedBuffer();
    PageAlignedBuffer(PageAlignedBuffer&& other) noexcept;
    PageAlignedBuffer& operator=(PageAlignedBuffer&& other) noexcept;
    PageAlignedBuffer(const PageAlignedBuffer&) = delete;
    PageAlignedBuffer& operator=(const PageAlignedBuffer&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
