// The host side of the platform seam that is not MIDI: the folder search for
// the image file, the console's final wait, and what the run needs of the
// system from its start to its end.
// Windows implements it with its own calls, every other platform with POSIX.
#pragma once

#include <chrono>
#include <cstddef>

// Long enough for any file name on Windows (MAX_PATH) and POSIX (NAME_MAX).
constexpr std::size_t kMaxFileName = 260;

struct ImageEntry {
    char name[kMaxFileName];  // bare file name, terminated
    bool isFile;              // false for a folder, a device or a dangling link
};

// Looks for the first entry of the current folder that matches "*.led".
// Returns false when there is none.
bool FindFirstImageEntry(ImageEntry* entry);

// Holds the console until the user presses a key; returns at once when
// standard input has ended.
void WaitForKeyPress();

// The platform's own sleep, to a point on the steady clock; it may wake
// late by its timer's latency.
void SleepUntil(std::chrono::steady_clock::time_point when);

// Before the run: makes the standard streams safe to use, and asks for the
// fine timers the protocol's 1 ms pauses are built on.
void BeginRun();
// After the run: gives back what BeginRun asked for.
void EndRun();
