#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread of the MIDI layer that runs posted tasks one at a time, in
// order. The thread starts with the first task and ends with the object.
class MIDITaskThread {
public:
    MIDITaskThread() = default;
    ~MIDITaskThread();
    MIDITaskThread(const MIDITaskThread&) = delete;
    MIDITaskThread& operator=(const MIDITaskThread&) = delete;

    void post(std::function<void()> task);
    // Ends the thread after the task running now; tasks not yet started are
    // dropped (at exit their callbacks may point at objects already gone).
    void stop();
    // Returns once every task posted before the call has run. On the thread
    // itself it returns at once (waiting there could never end).
    void flush();
    // Returns once the task running now (if any) has finished; used so that
    // a callback removed from the layer is known not to be running anymore.
    // On the thread itself it returns at once.
    void waitForRunningTask();

private:
    bool isCurrentThread() const;
    void run();

    std::mutex queueMutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<std::function<void()>> tasks_;
    uint64_t posted_ = 0, finished_ = 0;
    bool stopping_ = false;
    std::mutex runningMutex_;  // held while a task runs
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
};
