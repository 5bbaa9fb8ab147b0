#pragma once

#include "platform/media/HugePages.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

// Interleaved stereo samples that grow as frames are decoded.
class GrowingSamples {
public:
    // The count handed on is a 32-bit number of values, two per frame.
    static constexpr uint64_t kMostFrames = std::numeric_limits<uint32_t>::max() / 2;
    static constexpr uint64_t kScratchFrames = 65536;

    // Room for `frames` frames; false when the memory cannot be had.
    bool reserve(uint64_t frames) {
        if (frames <= capacity_) return true;
        if (frames > kMostFrames) return false;
        try {
            auto bigger = std::make_unique_for_overwrite<float[]>(frames * 2);
            adviseHugePages(bigger.get(), frames * 2 * sizeof(float));
            std::copy_n(data_.get(), frames_ * 2, bigger.get());
            data_ = std::move(bigger);
            capacity_ = frames;
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    uint64_t frames() const { return frames_; }
    uint64_t room() const { return capacity_ - frames_; }
    float* end() { return data_.get() + frames_ * 2; }
    // Where a fill goes when there is no room: the caller appends from it.
    float* scratch() {
        if (!scratch_) scratch_ = std::make_unique_for_overwrite<float[]>(kScratchFrames * 2);
        return scratch_.get();
    }
    // Takes `count` frames written at end() or into scratch().
    bool append(const float* from, uint64_t count) {
        if (from != end()) {
            const uint64_t needed = frames_ + count;
            if (needed > capacity_ && !reserve(std::max(needed, std::min(capacity_ * 2, kMostFrames)))) return false;
            std::copy_n(from, count * 2, end());
        }
        frames_ += count;
        return true;
    }
    // Silence from the last decoded frame up to `total` (within the room).
    void padWithSilence(uint64_t total) {
        std::fill(end(), data_.get() + std::min(total, capacity_) * 2, 0.0f);
        frames_ = std::max(frames_, std::min(total, capacity_));
    }
    std::unique_ptr<float[]> release() { return std::move(data_); }

private:
    std::unique_ptr<float[]> data_;
    std::unique_ptr<float[]> scratch_;
    uint64_t capacity_ = 0;
    uint64_t frames_ = 0;
};
