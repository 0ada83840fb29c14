// Folder search and console wait on Windows.
// windows.h first: mmsystem.h builds on it.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include "platform/host/host.h"
#include "platform/host/power_throttling.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool FindFirstImageEntry(char (&name)[kMaxFileName]) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.led", &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    std::strncpy(name, found.cFileName, kMaxFileName - 1);
    name[kMaxFileName - 1] = '\0';
    return true;
}

bool IsFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool StandardOutputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void WaitForKeyPress() {
    // The prompt comes from another process: what this one holds back must
    // go first (standard output is buffered where a test captures it).
    std::fflush(stdout);
    // Keys typed before the prompt are not the answer to it.
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    std::system("pause");
}

namespace {

std::atomic<bool> stopRequested{false};
// Set once the run has closed its ports: a closed console window ends the
// process when the handler returns.
HANDLE runEnded = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    stopRequested = true;
    // Windows allows a closing window's handler about five seconds.
    if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(runEnded, 4000);
    return TRUE;
}

}  // namespace

const StopToken& UserStop() {
    static const struct : StopToken {
        bool Requested() const override { return stopRequested; }
    } token;
    return token;
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

// A high-resolution timer where the system has them (Windows 10, 1803 and
// later); elsewhere Sleep, which wakes on the next tick.
void SleepUntil(std::chrono::steady_clock::time_point when) {
    static const HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(when - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    LARGE_INTEGER due;
    due.QuadPart = -10 * left.count();  // relative, in 100 ns
    if (timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        WaitForSingleObject(timer, INFINITE);
    } else {
        Sleep(static_cast<DWORD>((left.count() + 999) / 1000));
    }
}

void BeginRun() {
    // Looked up, not imported: the program still starts where the call is
    // missing, and older systems do not throttle this way.
    const auto set = reinterpret_cast<SetProcessInformationCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessInformation")));
    OptOutOfPowerThrottling(set);
    timeBeginPeriod(kTimerResolutionMs);
    runEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void EndRun() {
    timeEndPeriod(kTimerResolutionMs);
    SetEvent(runEnded);
}
