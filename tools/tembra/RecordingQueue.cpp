#include "RecordingQueue.h"

bool RecordingQueue::pushPicture(long index, double seconds, int width, int height, bool withSound,
                                 std::span<const uint8_t> rgba) {
    std::vector<uint8_t> copy;
    {
        std::lock_guard lock(mutex_);
        if (pictures_ >= maxPictures_) return false;
        ++pictures_;  // the place is held while the copy is made
        if (!spare_.empty()) {
            copy = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    copy.assign(rgba.begin(), rgba.end());
    Item item;
    item.kind = Item::Kind::Picture;
    item.index = index;
    item.seconds = seconds;
    item.width = width;
    item.height = height;
    item.withSound = withSound;
    item.rgba = std::move(copy);
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    ready_.notify_one();
    return true;
}

void RecordingQueue::pushSound(const float* stereo, size_t frames) {
    Item item;
    item.kind = Item::Kind::Sound;
    item.stereo.assign(stereo, stereo + frames * 2);
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
    }
    ready_.notify_one();
}

void RecordingQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    ready_.notify_all();
}

std::optional<RecordingQueue::Item> RecordingQueue::pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !items_.empty() || closed_; });
    if (items_.empty()) return std::nullopt;
    Item item = std::move(items_.front());
    items_.pop_front();
    if (item.kind == Item::Kind::Picture) --pictures_;
    return item;
}

void RecordingQueue::recycle(std::vector<uint8_t>&& rgba) {
    std::lock_guard lock(mutex_);
    if (spare_.size() < maxPictures_) spare_.push_back(std::move(rgba));
}
