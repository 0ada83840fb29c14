// The host side of the platform seam that is not MIDI: the folder search for
// the image file, the console's final wait, and what the run needs of the
// system from its start to its end.
// Windows implements it with its own calls, every other platform with POSIX.
#pragma once

#include <chrono>
#include <cstddef>

#include "base/stop_token.h"

// Long enough for any file name on Windows (MAX_PATH) and POSIX (NAME_MAX).
constexpr std::size_t kMaxFileName = 260;

// Looks for the first entry of the current folder that matches "*.led" and
// puts its bare name in `name`. Returns false when there is none.
bool FindFirstImageEntry(char (&name)[kMaxFileName]);

// The path names a file (not a folder, a device or a dangling link).
bool IsFile(const char* path);

// Standard output is a terminal (a console window), not a pipe or a file.
bool StandardOutputIsTerminal();

// Holds the console until the user presses a key (keys typed before do not
// count), or asks the run to stop; returns at once when standard input has
// ended. The console's prompt is the face's to show, but on Windows, where
// the command interpreter's "pause" shows its own.
void WaitForKeyPress();

// The user's request to stop the run: Ctrl-C, SIGTERM or SIGHUP (a closed
// terminal); on Windows Ctrl-C, Ctrl-Break or a closed console window; in
// the browser the page's Stop.
const StopToken& UserStop();

// The platform's own sleep, to a point on the steady clock; it may wake
// late by its timer's latency.
void SleepUntil(std::chrono::steady_clock::time_point when);

// Before the run: makes the standard streams safe to use (an output whose
// reader has gone no longer ends the program), asks for the fine timers the
// protocol's 1 ms pauses are built on, and takes the requests to stop
// (UserStop) in place of ending the program at once.
void BeginRun();
// After the run: gives back what BeginRun asked for.
void EndRun();
