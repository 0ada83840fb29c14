// Folder search and console wait on POSIX systems.
#include "platform/host.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

int ReadOneByte() {
    unsigned char byte = 0;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &byte, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? byte : EOF;
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
    std::printf("Press any key to continue . . . ");
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) == 0) {  // a terminal
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        ReadOneByte();
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    } else {
        ReadOneByte();
    }
    std::printf("\n");
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
}

void EndRun() {}
