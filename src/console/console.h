// How the run's text reaches its reader, and the parts of it that depend on
// that: the progress line, what a long wait for the device shows, and names
// that come from files and devices, which may hold control characters.
#pragma once

#include <cstddef>

enum class ConsoleStyle {
    kPlain,     // a pipe or a file: the progress line overwrites itself, as on a console
    kTerminal,  // a terminal: the same, and a long wait shows on the progress line
    kBatch,     // --batch, for a log: whole lines, the progress every 10 %, long waits as lines
};

// Starts a run's text in the style; nothing of an earlier run's lines is kept.
void SetConsoleStyle(ConsoleStyle style);
ConsoleStyle CurrentConsoleStyle();

// Every try of a record shows the progress line, with its glyph and the
// share of the image the device has accepted.
void ShowProgress(char glyph, unsigned percent);
// The device has the whole image (or says it restarts): the line at 100 %.
void ShowProgressComplete();

// A long wait for the device (a record's answer, the whole search) shows:
// on a terminal, once it has lasted a second, on the progress line, with
// what is awaited and for how long, updated every second; with --batch, as
// a line when it has lasted a second and whenever what is awaited changes
// after that; on a pipe or in a file, not at all.
void BeginWait(const char* what);
// The same wait, for something else now (the search asks other ports).
void WaitFor(const char* what);
// Called while waiting, at least every second.
void TickWait();
// The wait is over: the line is what it would have been without it.
void EndWait();

// What to do when no MIDI service can be reached, in the words of the
// platform the user is on.
extern const char kNoMidiServiceAdvice[];

// A name as it may be printed, so that it cannot drive the terminal:
// control characters (below 0x20, 0x7F, and on systems whose names are
// UTF-8 the C1 controls U+0080 to U+009F) and bytes that are not UTF-8
// written as \xNN, byte by byte; other characters as they are.
struct PrintableName {
    explicit PrintableName(const char* name);
    char text[4 * 260 + 1];
};
