#include "tests/library/input/Child.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <thread>

extern char** environ;

Child::Child(const std::string& command, const std::string& outPath, const std::string& errPath) {
    const std::string line = "exec " + command + " >" + outPath + " 2>" + errPath;
    const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
}

Child::~Child() {
    if (pid_ < 0) return;
    if (interrupt(std::chrono::seconds(10)) < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int Child::waitForExit(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ >= 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
}

int Child::interrupt(std::chrono::seconds limit) {
    if (pid_ >= 0) kill(pid_, SIGINT);
    return waitForExit(limit);
}
