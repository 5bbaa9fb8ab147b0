#include "PageAlignedBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// Patches make a new picture of the same size every frame. Keeping the
// blocks freed last for the next request of the same size spares the page
// faults of fresh memory, which otherwise cost more than the pixels
// themselves. The oldest blocks make room for newer ones, so blocks of a
// size nobody asks for any more (a picture that changed size) cannot keep
// the current size out.
class BlockCache {
public:
    BlockCache() { blocks_.reserve(kMaxBlocks); }  // keep() never allocates
    ~BlockCache() {
        for (const Block& b : blocks_) std::free(b.memory);
    }
    void* take(size_t bytes) {
        std::lock_guard lock(mutex_);
        for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it)
            if (it->bytes == bytes) {
                void* memory = it->memory;
                total_ -= bytes;
                blocks_.erase(std::next(it).base());
                return memory;
            }
        return nullptr;
    }
    bool keep(void* memory, size_t bytes) {
        if (bytes > kMaxBytes) return false;
        std::lock_guard lock(mutex_);
        while (blocks_.size() >= kMaxBlocks || total_ + bytes > kMaxBytes) {
            std::free(blocks_.front().memory);
            total_ -= blocks_.front().bytes;
            blocks_.erase(blocks_.begin());
        }
        blocks_.push_back({memory, bytes});
        total_ += bytes;
        return true;
    }

private:
    static constexpr size_t kMaxBlocks = 16;
    // Room for three pictures of 4096 x 4096 (a fire's images of one step).
    static constexpr size_t kMaxBytes = size_t{256} << 20;
    struct Block {
        void* memory;
        size_t bytes;
    };
    std::mutex mutex_;
    std::vector<Block> blocks_;  // oldest first
    size_t total_ = 0;
};

BlockCache& cache() {
    static BlockCache blocks;
    return blocks;
}

void* allocate(size_t bytes) {
    if (void* memory = cache().take(bytes)) return memory;
    // Large buffers start on a huge-page boundary and ask for huge pages:
    // fresh memory then faults in once per 2 MiB instead of once per page.
    const bool huge = bytes >= kHugePage;
    const size_t alignment = huge ? kHugePage : static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* memory = nullptr;
    if (posix_memalign(&memory, alignment, bytes) != 0) throw std::bad_alloc();
    if (huge) madvise(memory, bytes / kHugePage * kHugePage, MADV_HUGEPAGE);
    return memory;
}

void release(void* memory, size_t bytes) {
    if (memory != nullptr && !cache().keep(memory, bytes)) std::free(memory);
}

}  // namespace

PageAlignedBuffer::PageAlignedBuffer(size_t bytes, Fill fill) {
    if (bytes == 0) return;
    data_ = static_cast<uint8_t*>(allocate(bytes));
    size_ = bytes;
    if (fill == Fill::Zero) std::memset(data_, 0, bytes);
}

PageAlignedBuffer::~PageAlignedBuffer() { release(data_, size_); }

PageAlignedBuffer::PageAlignedBuffer(PageAlignedBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageAlignedBuffer& PageAlignedBuffer::operator=(PageAlignedBuffer&& other) noexcept {
    if (this != &other) {
        release(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}
