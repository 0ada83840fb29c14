#include "support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& folder) {
    int ends[2];
    if (pipe(ends) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(ends[1], STDOUT_FILENO);
        dup2(ends[1], STDERR_FILENO);
        close(ends[0]);
        close(ends[1]);
        close(STDIN_FILENO);
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(ends[1]);
    fd_ = ends[0];
}

ChildProcess::~ChildProcess() {
    Stop();
    if (fd_ >= 0) close(fd_);
}

// True when it read something within the time.
bool ChildProcess::ReadFor(int milliseconds) {
    pollfd readable = {fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&readable, 1, milliseconds) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got > 0) output_.append(buffer, static_cast<std::size_t>(got));
    return got > 0;
}

bool ChildProcess::WaitForOutput(const std::string& text, int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (output_.find(text) == std::string::npos && MillisecondsLeft(deadline) > 0) ReadFor(10);
    return output_.find(text) != std::string::npos;
}

int ChildProcess::Reap(int options) {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, options) != pid_) return -1;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

int ChildProcess::Wait(int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (pid_ > 0 && Reap(WNOHANG) < 0 && MillisecondsLeft(deadline) > 0) ReadFor(10);
    if (pid_ > 0) {
        Stop();
        return -1;
    }
    while (ReadFor(0)) {
    }
    return status_;
}

int ChildProcess::Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    Reap(0);
    return status_;
}

int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments) {
    ChildProcess child(program, arguments, folder.path());
    const int status = child.Wait(10 * 60 * 1000);
    *output = child.output();
    return status;
}
