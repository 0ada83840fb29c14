// The program takes no arguments and reads no environment: it updates the
// device from the image file in the current folder.
#include "driver/run_update.h"
#include "platform/host.h"

int main() {
    BeginRun();
    const int status = RunUpdate();
    EndRun();
    return status;
}
