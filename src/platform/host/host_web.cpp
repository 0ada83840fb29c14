// The host side of the platform seam in the browser: the page hands the
// image over (a file of the page's own file system, named as chosen), shows
// the end itself, and asks the run to stop with its Stop button.
#include <emscripten.h>
#include <sys/stat.h>

#include "platform/host/host.h"

// The JavaScript below is the page's, as the browser reads it.
// clang-format off
EM_JS(int, WebStopRequested, (), { return Module.tessarine.stopRequested ? 1 : 0; });
EM_JS(void, WebBeginRun, (), { Module.tessarine.stopRequested = false; });
// clang-format on

// The page always names the image.
bool FindFirstImageEntry(char (&)[kMaxFileName]) { return false; }

bool IsFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool StandardOutputIsTerminal() { return false; }

void WaitForKeyPress() {}

const StopToken& UserStop() {
    static const struct : StopToken {
        bool Requested() const override { return WebStopRequested() != 0; }
    } token;
    return token;
}

void BeginRun() { WebBeginRun(); }

void EndRun() {}
