// The program takes no arguments and reads no environment: it updates the
// device from the image file in the current folder.
#include <cstdio>

#include "driver/run_update.h"
#include "platform/host.h"

int main() {
    // Every message reaches the console, a pipe or a log the moment it is
    // printed, not when a buffer happens to fill.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    BeginRun();
    const int status = RunUpdate();
    EndRun();
    return status;
}
