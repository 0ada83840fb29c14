// Folder search and console wait on Windows.
#include "platform/host.h"

#include <windows.h>
#include <mmsystem.h>

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

void BeginRun() { timeBeginPeriod(kTimerResolutionMs); }

void EndRun() { timeEndPeriod(kTimerResolutionMs); }
