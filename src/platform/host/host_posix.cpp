// Folder search and console wait on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/host/host.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

namespace {

bool HasImageExtension(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".led") == 0;
}

// NTFS lists a folder in the order of its names upper-cased, code unit by
// code unit; the same order here makes the same file the first on every
// system. Names equal but for case are ordered bytewise so the choice is
// total.
bool ListsBefore(const char* a, const char* b) {
    for (std::size_t i = 0;; ++i) {
        const int upperA = std::toupper(static_cast<unsigned char>(a[i]));
        const int upperB = std::toupper(static_cast<unsigned char>(b[i]));
        if (upperA != upperB) return upperA < upperB;
        if (a[i] == '\0') return std::strcmp(a, b) < 0;
    }
}

std::atomic<bool> stopRequested{false};
std::atomic<bool> continued{false};
// Written when a signal is taken, so that the final wait, in poll, wakes.
int wakeUp[2] = {-1, -1};

// Every thread blocks these, the MIDI service's too (they inherit the mask),
// and one thread takes them: a handler could run on any thread, and under a
// thread checker one that sits in the service's own calls holds it back
// for good.
sigset_t TakenSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGCONT}) sigaddset(&signals, signal);
    return signals;
}

void TakeSignals(sigset_t signals) {
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) return;  // only for a set it cannot take
        (signal == SIGCONT ? continued : stopRequested) = true;
        const char byte = 0;
        const ssize_t written = write(wakeUp[1], &byte, 1);
        (void)written;
    }
}

// One byte of standard input; EOF at its end, or when the run is asked to
// stop. `resumed` runs when the program comes back from being stopped.
int ReadOneByte(const std::function<void()>& resumed) {
    for (;;) {
        pollfd ready[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeUp[0], POLLIN, 0}};
        if (poll(ready, 2, -1) < 0 && errno != EINTR) return EOF;
        if (ready[1].revents & POLLIN) {
            char drained[16];
            while (read(wakeUp[0], drained, sizeof drained) > 0) {
            }
        }
        if (stopRequested) return EOF;
        if (continued.exchange(false) && resumed) resumed();
        if ((ready[0].revents & (POLLIN | POLLHUP)) == 0) continue;
        unsigned char byte = 0;
        const ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got == 0 || errno != EINTR) return EOF;
    }
}

// The rest of a key that sends several bytes (an arrow's escape sequence, a
// letter of several UTF-8 bytes): what follows at once.
void DropRestOfKey() {
    pollfd readable = {STDIN_FILENO, POLLIN, 0};
    unsigned char rest[64];
    while (poll(&readable, 1, 30) > 0 && read(STDIN_FILENO, rest, sizeof rest) > 0) {
    }
}

}  // namespace

bool FindFirstImageEntry(char (&name)[kMaxFileName]) {
    DIR* folder = opendir(".");
    if (folder == nullptr) return false;
    bool found = false;
    while (const dirent* item = readdir(folder)) {
        if (!HasImageExtension(item->d_name)) continue;
        if (found && !ListsBefore(item->d_name, name)) continue;
        if (std::strlen(item->d_name) >= kMaxFileName) continue;
        std::strcpy(name, item->d_name);
        found = true;
    }
    closedir(folder);
    return found;
}

bool IsFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void WaitForKeyPress() {
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) == 0) {  // a terminal
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        // Keys typed before the prompt are not the answer to it.
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
        // Back from Ctrl-Z and fg, the shell has set the terminal its way.
        if (ReadOneByte([&] { tcsetattr(STDIN_FILENO, TCSANOW, &raw); }) != EOF) DropRestOfKey();
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    } else {
        ReadOneByte({});
    }
}

const StopToken& UserStop() {
    static const struct : StopToken {
        bool Requested() const override { return stopRequested; }
    } token;
    return token;
}

void SleepUntil(std::chrono::steady_clock::time_point when) { std::this_thread::sleep_until(when); }

void BeginRun() {
#ifdef __linux__
    // Linux lets a sleeping thread wake up to 50 microseconds late, to save
    // wake-ups: a twentieth of every 1 ms pause.
    prctl(PR_SET_TIMERSLACK, 1UL);
#endif
    // A closed standard stream would let the next open file take its number,
    // and the final wait would then read from that file instead of the user.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) close(opened);
        }
    }
    // A reader of the output that goes away (a pager closed, `| head`) must
    // not end the update midway: what cannot be written is dropped.
    signal(SIGPIPE, SIG_IGN);
    // After them: the pipe must not take a standard stream's number.
    if (wakeUp[0] < 0 && pipe(wakeUp) == 0) {
        for (int fd : wakeUp) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    // Before any other thread is made; once for the process.
    static const bool taking = [] {
        const sigset_t signals = TakenSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        std::thread(TakeSignals, signals).detach();
        return true;
    }();
    (void)taking;
}

void EndRun() {}
