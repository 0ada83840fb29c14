// Windows 11 may stop honouring a process's 1 ms timer resolution while its
// window is minimised or hidden (power throttling); every 1 ms pause after a
// chunk would then last a tick of about 15.6 ms.
#pragma once

#include <windows.h>

// The system's SetProcessInformation (Windows 8 and later).
using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// Asks `set` to exempt this process from power throttling, its timer
// resolution included. `set` is null where the system lacks the call; true
// when the system took the request. Nothing else depends on it.
bool OptOutOfPowerThrottling(SetProcessInformationCall set);
