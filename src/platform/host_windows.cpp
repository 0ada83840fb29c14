// Folder search and console wait on Windows.
#include "platform/host.h"

#include <windows.h>
#include <mmsystem.h>

#include "platform/power_throttling.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool FindFirstImageEntry(ImageEntry* entry) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.led", &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    std::strncpy(entry->name, found.cFileName, kMaxFileName - 1);
    entry->name[kMaxFileName - 1] = '\0';
    entry->isFile = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

void WaitForKeyPress() {
    std::fflush(stdout);
    std::system("pause");
}

// Windows sleeps in ticks of about 15.6 ms unless asked for finer ones:
// every 1 ms pause after a chunk would last a tick.
constexpr UINT kTimerResolutionMs = 1;

bool OptOutOfPowerThrottling(SetProcessInformationCall set) {
    if (set == nullptr) return false;
    PROCESS_POWER_THROTTLING_STATE state = {};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;  // neither throttled nor allowed to ignore the resolution
    return set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state) != FALSE;
}

void BeginRun() {
    // Looked up, not imported: the program still starts where the call is
    // missing, and older systems do not throttle this way.
    const auto set = reinterpret_cast<SetProcessInformationCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    OptOutOfPowerThrottling(set);
    timeBeginPeriod(kTimerResolutionMs);
}

void EndRun() { timeEndPeriod(kTimerResolutionMs); }
