#include "tests/tools/XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Starts `arguments` with standard input and output on /dev/null and, when
// given, `fd3` as descriptor 3. The child is killed when the test ends, so a
// test that fails or crashes leaves no server or player behind (one holding
// ctest's output pipe would keep ctest waiting).
pid_t spawn(const std::vector<std::string>& arguments, int fd3 = -1) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        if (fd3 == 3) fcntl(3, F_SETFD, 0);  // dup2 onto itself would keep close-on-exec
        else if (fd3 >= 0) dup2(fd3, 3);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(devnull);
    return pid;
}

// Waits for `pid` to end, at most `limit`; its status, or -1.
int waitForExit(pid_t pid, std::chrono::seconds limit) {
    int status = -1;
    const bool ended = waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

XServer::XServer(const std::string& screen) {
    // Xvfb picks a free display and writes its number to this pipe once it
    // accepts connections. -noreset: by default the server resets when its
    // last client leaves and refuses the next one for a moment, which is when
    // a test's next command comes.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "no pipe";
        return;
    }
    pid_ = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, fds[1]);
    close(fds[1]);
    if (pid_ < 0) {
        error_ = "cannot start Xvfb (package xvfb)";
        close(fds[0]);
        return;
    }
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[16];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not come up within 20 s";
        return;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
}

std::string XServer::environment() const {
    const char* asan = std::getenv("ASAN_OPTIONS");
    return "env DISPLAY=" + display_ + " ASAN_OPTIONS=" + (asan && *asan ? std::string(asan) + ":" : "") +
           "detect_leaks=0 ";
}

XServer::~XServer() {
    if (pid_ < 0) return;
    kill(pid_, SIGTERM);
    if (waitForExit(pid_, std::chrono::seconds(10)) < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

BackgroundCommand::BackgroundCommand(const std::string& command, const std::string& outPath,
                                     const std::string& errPath) {
    pid_ = spawn({"/bin/sh", "-c", "exec " + command + " >" + outPath + " 2>" + errPath});
}

BackgroundCommand::~BackgroundCommand() {
    if (pid_ < 0) return;
    if (interruptAndWait(std::chrono::seconds(10)) < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int BackgroundCommand::interruptAndWait(std::chrono::seconds limit) { return signalAndWait(SIGINT, limit); }

int BackgroundCommand::signalAndWait(int signal, std::chrono::seconds limit) {
    if (pid_ < 0) return status_;
    kill(pid_, signal);
    status_ = waitForExit(pid_, limit);
    if (status_ >= 0) pid_ = -1;
    return status_;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string readFile(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}
