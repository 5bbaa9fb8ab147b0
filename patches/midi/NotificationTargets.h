#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

// Live objects that a MIDI client's notification callback may reach. A
// client outlives the object that made it, so the callback's context is a
// token, never the object: a token whose object is gone reaches nothing.
// Removal waits for a callback that is using the object to finish.
template <class T>
class NotificationTargets {
public:
    void* add(T* target) {
        std::lock_guard lock(mutex_);
        const uintptr_t token = nextToken_++;
        targets_[token] = target;
        return reinterpret_cast<void*>(token);
    }

    void remove(void* token) {
        std::lock_guard lock(mutex_);
        targets_.erase(reinterpret_cast<uintptr_t>(token));
    }

    // Runs `action` on the live object of `token`, if any, holding off its removal.
    template <class Action>
    void with(void* token, Action&& action) {
        std::lock_guard lock(mutex_);
        const auto found = targets_.find(reinterpret_cast<uintptr_t>(token));
        if (found != targets_.end()) action(*found->second);
    }

private:
    std::mutex mutex_;
    std::unordered_map<uintptr_t, T*> targets_;
    uintptr_t nextToken_ = 1;
};
