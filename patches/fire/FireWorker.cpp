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

void FireWorker::offer(void* job, void (*run)(void*)) {
    {
        std::lock_guard lock(mutex_);
        job_ = job;
        run_ = run;
        state_ = State::Offered;
    }
    wake_.notify_one();
}

// Withdraws an offer not yet taken up, or waits for the job to end and
// rethrows what it threw.
void FireWorker::finish() {
    std::unique_lock lock(mutex_);
    if (state_ == State::Offered) state_ = State::Idle;
    done_.wait(lock, [this] { return state_ == State::Idle; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void FireWorker::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return state_ == State::Offered || stop_; });
        if (state_ != State::Offered) return;
        state_ = State::Running;
        lock.unlock();
        std::exception_ptr failure;
        try {
            run_(job_);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        state_ = State::Idle;
        done_.notify_one();
    }
}
