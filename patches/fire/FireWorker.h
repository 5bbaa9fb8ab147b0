#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>

// A second thread that a fire patch keeps for its lifetime, to share the
// work of a step with the patch's own thread. The thread waits for work
// between steps and is joined when the worker is destroyed.
class FireWorker {
public:
    FireWorker();
    ~FireWorker();
    FireWorker(const FireWorker&) = delete;
    FireWorker& operator=(const FireWorker&) = delete;

    // Runs mine() on the calling thread and offers theirs() to the worker,
    // which runs it if it gets to it before mine() has returned; an offer
    // not taken up by then is withdrawn, so a busy machine that keeps the
    // worker waiting does not hold the caller up. Returns once mine() has
    // returned and theirs(), if it started, has too; an exception from
    // either is passed on after that. mine() must therefore leave nothing
    // undone that theirs() would have done.
    template <class Theirs, class Mine>
    void share(Theirs&& theirs, Mine&& mine) {
        using Job = std::remove_reference_t<Theirs>;
        offer(const_cast<void*>(static_cast<const void*>(&theirs)), [](void* job) { (*static_cast<Job*>(job))(); });
        try {
            mine();
        } catch (...) {
            finish();
            throw;
        }
        finish();
    }

private:
    enum class State { Idle, Offered, Running };

    void offer(void* job, void (*run)(void*));
    void finish();
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    State state_ = State::Idle;
    bool stop_ = false;
    void* job_ = nullptr;
    void (*run_)(void*) = nullptr;
    std::exception_ptr failure_;
    std::thread thread_;  // last, so it starts once the rest exists
};
