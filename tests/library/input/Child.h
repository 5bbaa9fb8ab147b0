#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// A shell command in the background, output in files, that a test can see
// end by itself. Interrupted, then killed, if still running when it goes.
class Child {
public:
    Child(const std::string& command, const std::string& outPath, const std::string& errPath);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // Its exit status once it has ended within `limit`, else -1.
    int waitForExit(std::chrono::seconds limit);
    // Sends SIGINT, then waits as above.
    int interrupt(std::chrono::seconds limit);

private:
    pid_t pid_ = -1;
    int status_ = -1;
};
