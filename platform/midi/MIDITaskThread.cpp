#include "platform/midi/MIDITaskThread.h"

MIDITaskThread::~MIDITaskThread() { stop(); }

void MIDITaskThread::stop() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    drained_.notify_all();
    if (thread_.joinable()) {
        if (isCurrentThread()) thread_.detach();
        else thread_.join();
    }
}

void MIDITaskThread::post(std::function<void()> task) {
    {
        std::lock_guard lock(queueMutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
        ++posted_;
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { run(); });
            threadId_ = thread_.get_id();
        }
    }
    wake_.notify_one();
}

void MIDITaskThread::flush() {
    if (isCurrentThread()) return;
    std::unique_lock lock(queueMutex_);
    const uint64_t target = posted_;
    drained_.wait(lock, [&] { return finished_ >= target || stopping_; });
}

void MIDITaskThread::waitForRunningTask() {
    if (isCurrentThread()) return;
    std::lock_guard running(runningMutex_);
}

bool MIDITaskThread::isCurrentThread() const { return std::this_thread::get_id() == threadId_.load(); }

void MIDITaskThread::run() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
        if (stopping_) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        {
            // Held while the task runs (the queue lock is not: a task may
            // post). A task taken off the queue but not yet started looks
            // up its callbacks only when it runs, so waiting for it is not
            // needed.
            std::lock_guard running(runningMutex_);
            task();
            task = nullptr;  // whatever it captured goes before the next task
        }
        lock.lock();
        ++finished_;
        drained_.notify_all();
    }
}
