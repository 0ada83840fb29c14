#include "support/child_process.h"

#include <fcntl.h>
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
    int output[2];
    if (pipe(output) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        close(STDIN_FILENO);
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(output[1]);
    output_fd_ = output[0];
}

ChildProcess::~ChildProcess() {
    Stop();
    if (output_fd_ >= 0) close(output_fd_);
}

bool ChildProcess::ReadSome(int milliseconds) {
    if (output_fd_ < 0) return false;
    pollfd readable = {output_fd_, POLLIN, 0};
    if (poll(&readable, 1, milliseconds) <= 0) return true;
    char buffer[4096];
    const ssize_t got = read(output_fd_, buffer, sizeof buffer);
    if (got <= 0) {
        close(output_fd_);
        output_fd_ = -1;
        return false;
    }
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool ChildProcess::WaitForOutput(const std::string& text, int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (output_.find(text) == std::string::npos && MillisecondsLeft(deadline) > 0) {
        if (!ReadSome(MillisecondsLeft(deadline))) break;
    }
    return output_.find(text) != std::string::npos;
}

int ChildProcess::Reap(int options) {
    if (pid_ <= 0) return status_;
    int status = 0;
    if (waitpid(pid_, &status, options) != pid_) return -1;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

bool ChildProcess::Running() {
    Reap(WNOHANG);
    return pid_ > 0;
}

int ChildProcess::Wait(int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (MillisecondsLeft(deadline) > 0 && ReadSome(MillisecondsLeft(deadline))) {
    }
    while (Running() && MillisecondsLeft(deadline) > 0) usleep(10000);
    if (Running()) {
        Stop();
        return -1;
    }
    return status_;
}

int ChildProcess::Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    return Reap(0);
}
