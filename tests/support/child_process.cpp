#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
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
                           const std::string& folder, Console console) {
    // Every descriptor made here is closed on exec: the program inherits
    // only the three it is given.
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    int controller = -1;
    if (console == Console::kTerminal) {
        if (openpty(&controller, &terminal_, nullptr, nullptr, nullptr) != 0) return;
        tcgetattr(terminal_, &startSettings_);
        fcntl(controller, F_SETFD, FD_CLOEXEC);
        fcntl(terminal_, F_SETFD, FD_CLOEXEC);
    } else if (pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        if (console == Console::kTerminal) {
            setsid();
            ioctl(terminal_, TIOCSCTTY, 0);
            for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) dup2(terminal_, fd);
        } else {
            dup2(output[1], STDOUT_FILENO);
            dup2(errors[1], STDERR_FILENO);
            close(STDIN_FILENO);
        }
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (console == Console::kTerminal) {
        outputFd_ = controller;
    } else {
        close(output[1]);
        close(errors[1]);
        outputFd_ = output[0];
        errorsFd_ = errors[0];
    }
}

ChildProcess::~ChildProcess() {
    Stop();
    for (int fd : {outputFd_, errorsFd_, terminal_}) {
        if (fd >= 0) close(fd);
    }
}

// True when it read something within the time.
bool ChildProcess::ReadFor(int milliseconds) {
    pollfd readable[2] = {{outputFd_, POLLIN, 0}, {errorsFd_, POLLIN, 0}};
    if (poll(readable, 2, milliseconds) <= 0) return false;
    bool got = false;
    int* fds[2] = {&outputFd_, &errorsFd_};
    std::string* into[2] = {&output_, &errors_};
    for (int i = 0; i < 2; ++i) {
        if ((readable[i].revents & (POLLIN | POLLHUP)) == 0) continue;
        char buffer[4096];
        const ssize_t length = read(*fds[i], buffer, sizeof buffer);
        if (length > 0) {
            into[i]->append(buffer, static_cast<std::size_t>(length));
            got = true;
        } else if (terminal_ < 0) {
            // The pipe's end: nothing more will come.
            close(*fds[i]);
            *fds[i] = -1;
        }
    }
    return got;
}

bool ChildProcess::WaitForOutput(const std::string& text, int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (output_.find(text) == std::string::npos && MillisecondsLeft(deadline) > 0) ReadFor(10);
    return output_.find(text) != std::string::npos;
}

int ChildProcess::Reap(int options) {
    int status = 0;
    rusage usage = {};
    if (pid_ <= 0 || wait4(pid_, &status, options, &usage) != pid_) return -1;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    cpuSeconds_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return status_;
}

bool ChildProcess::RunsAfter(int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (pid_ > 0 && Reap(WNOHANG) < 0 && MillisecondsLeft(deadline) > 0) ReadFor(10);
    return pid_ > 0;
}

int ChildProcess::Wait(int milliseconds) {
    if (RunsAfter(milliseconds)) {
        Stop();
        return -1;
    }
    while (ReadFor(0)) {
    }
    return status_;
}

int ChildProcess::Stop() {
    Signal(SIGTERM);
    // A loaded (or emulated) machine may take seconds to close a JACK client.
    if (RunsAfter(5000)) {
        Signal(SIGKILL);
        Reap(0);
    }
    return status_;
}

void ChildProcess::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

void ChildProcess::Type(const std::string& keys) const {
    if (write(outputFd_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) return;
}

int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments, std::string* errors) {
    ChildProcess child(program, arguments, folder.path());
    const int status = child.Wait(10 * 60 * 1000);
    *output = child.output();
    if (errors != nullptr) *errors = child.errors();
    return status;
}

int RunBehindHead(const TempFolder& folder, const std::string& program, int lines,
                  const std::vector<std::string>& arguments) {
    std::vector<std::string> shell = {
        "-c", "\"$0\" \"$@\" | head -n " + std::to_string(lines) + " >/dev/null; exit \"${PIPESTATUS[0]}\"", program};
    shell.insert(shell.end(), arguments.begin(), arguments.end());
    std::string nothing;
    return RunIn(folder, "/bin/bash", &nothing, shell);
}
