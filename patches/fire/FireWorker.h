#pragma once

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <type_traits>

// A second thread that a fire patch keeps for its lifetime, to run one part
// of a pass while the patch's own thread runs the other. The thread waits
// for work between passes and is joined when the worker is destroyed.
class FireWorker {
public:
    FireWorker();
    ~FireWorker();
    FireWorker(const FireWorker&) = delete;
    FireWorker& operator=(const FireWorker&) = delete;

    // Runs there() on the worker's thread and here() on the calling thread,
    // and returns once both have finished; an exception from either is
    // passed on to the caller after that.
    template <class There, class Here>
    void together(There&& there, Here&& here) {
        using Job = std::remove_reference_t<There>;
        start(const_cast<void*>(static_cast<const void*>(&there)), [](void* job) { (*static_cast<Job*>(job))(); });
        try {
            here();
        } catch (...) {
            wait();
            throw;
        }
        wait();
    }

private:
    void start(void* job, void (*run)(void*));
    void wait();
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    void* job_ = nullptr;
    void (*run_)(void*) = nullptr;
    std::exception_ptr failure_;
    bool busy_ = false, stop_ = false;
    std::thread thread_;  // last, so it starts once the rest exists
};
