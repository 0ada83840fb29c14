#include "support/sim_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& arguments) {
    int output[2];
    if (pipe(output) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(output[1], STDOUT_FILENO);
        close(output[0]);
        close(output[1]);
        std::vector<char*> argv = {const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(output[1]);
    // It says it is ready in one line on standard output.
    std::string said;
    pollfd readable = {output[0], POLLIN, 0};
    while (said.find('\n') == std::string::npos && poll(&readable, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t got = read(output[0], buffer, sizeof buffer);
        if (got <= 0) break;
        said.append(buffer, static_cast<std::size_t>(got));
    }
    close(output[0]);
    ready_ = said.find("ready") != std::string::npos;
}

SimProcess::~SimProcess() { Stop(); }

int SimProcess::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
