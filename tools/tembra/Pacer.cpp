#include "Pacer.h"

#include <thread>

double RealtimePacer::waitFor(double time) {
    using Clock = std::chrono::steady_clock;
    std::this_thread::sleep_until(start_ +
                                  std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time)));
    return std::chrono::duration<double>(Clock::now() - start_).count();
}
