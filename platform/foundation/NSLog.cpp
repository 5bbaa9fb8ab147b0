#include "NSLog.h"
#include "NSLogObserver.h"

#include <syslog.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

namespace {

struct LogState {
    std::mutex mutex;
    LogDestination destination = LogDestination::StandardError;
    std::string programName = "tembra";
    FILE* file = nullptr;
    std::vector<std::string> captured;
    std::vector<std::pair<uint64_t, NSLogObserver>> observers;
    uint64_t lastToken = 0;
};

LogState& state() {
    static LogState s;
    return s;
}

// "2026-12-08 04:44:10.123 tembra[1234] " as NSLog prints it.
std::string prefix(const std::string& program) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s.%03d %s[%d] ", stamp, static_cast<int>(millis),
                  program.c_str(), static_cast<int>(getpid()));
    return buffer;
}

}  // namespace

namespace {

void writeLine(bool problem, const char* format, std::va_list args) {
    char small[512];
    std::va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    std::string line;
    if (length < 0) {
        line = format;
    } else if (static_cast<size_t>(length) < sizeof small) {
        line.assign(small, static_cast<size_t>(length));
    } else {
        line.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(line.data(), line.size(), format, copy);
        line.resize(static_cast<size_t>(length));
    }
    va_end(copy);

    LogState& s = state();
    std::lock_guard lock(s.mutex);
    // Under the lock, so lines reach them in the order they are written.
    for (const auto& [token, observe] : s.observers) observe(line, problem);
    switch (s.destination) {
    case LogDestination::StandardError:
        std::fprintf(stderr, "%s%s\n", prefix(s.programName).c_str(), line.c_str());
        break;
    case LogDestination::Syslog:
        syslog(LOG_NOTICE, "%s", line.c_str());
        break;
    case LogDestination::File:
        std::fprintf(s.file, "%s%s\n", prefix(s.programName).c_str(), line.c_str());
        std::fflush(s.file);
        break;
    case LogDestination::Capture:
        s.captured.push_back(std::move(line));
        break;
    case LogDestination::None:
        break;
    }
}

}  // namespace

void NSLog(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(false, format, args);
    va_end(args);
}

void NSLogProblem(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    writeLine(true, format, args);
    va_end(args);
}

uint64_t NSLogAddObserver(NSLogObserver observer) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.observers.emplace_back(++s.lastToken, std::move(observer));
    return s.lastToken;
}

void NSLogRemoveObserver(uint64_t token) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    std::erase_if(s.observers, [token](const auto& entry) { return entry.first == token; });
}

bool NSLogSetDestination(LogDestination destination, const std::string& path, std::string* error) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    FILE* file = nullptr;
    if (destination == LogDestination::File) {
        file = std::fopen(path.c_str(), "a");
        if (!file) {
            if (error) *error = "cannot open log file " + path;
            return false;
        }
    }
    if (s.file) std::fclose(s.file);
    s.file = file;
    if (destination == LogDestination::Syslog) openlog(s.programName.c_str(), LOG_PID, LOG_USER);
    s.destination = destination;
    return true;
}

void NSLogSetProgramName(const std::string& name) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.programName = name;
}

std::vector<std::string> NSLogCapturedLines() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    return s.captured;
}

void NSLogClearCaptured() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.captured.clear();
}
