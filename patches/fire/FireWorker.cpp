#include "patches/fire/FireWorker.h"

#include <utility>

FireWorker::FireWorker() : thread_([this] { loop(); }) {}

FireWorker::~FireWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void FireWorker::start(void* job, void (*run)(void*)) {
    {
        std::lock_guard lock(mutex_);
        job_ = job;
        run_ = run;
        busy_ = true;
    }
    wake_.notify_one();
}

// Rethrows what the job threw, once it has finished.
void FireWorker::wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void FireWorker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return busy_ || stop_; });
        if (busy_) {
            lock.unlock();
            std::exception_ptr failure;
            try {
                run_(job_);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            failure_ = failure;
            busy_ = false;
            done_.notify_one();
        } else {
            return;
        }
    }
}
