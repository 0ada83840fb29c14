// The one table of endings: for each, its exit status, the console's words
// (the system's own texts, byte for byte), its name (the JSON face's and the
// web page's key) and what to do next. Every face reads it; a new ending is
// one row here and the stage that meets it.
#pragma once

#include <cstddef>

#include "base/ending.h"

// Exit statuses with --batch and --json; without them a run ends 0 whatever
// its outcome, the console text telling it, or 130 when interrupted.
constexpr int kExitUpdated = 0;
constexpr int kExitImageFailed = 1;  // not found, unreadable, or failing its check
constexpr int kExitUsage = 2;        // a bad command line: nothing was done
constexpr int kExitNoDevice = 3;
constexpr int kExitResetRequested = 4;
constexpr int kExitTransferFailed = 5;
constexpr int kExitInterrupted = 130;  // in every mode: the user asked the run to stop

// What the console's words take from the outcome.
enum class Said {
    kAsIs,     // nothing
    kName,     // %s: the image's name
    kWhere,    // %u, %u: the record (from 1) and the share accepted
    kProblem,  // %s: what is wrong with the command line
    kAdvice,   // %s: what to do when no MIDI service can be reached
};

struct EndingRow {
    Ending ending;
    int exitStatus;
    char name[24];
    char said[160];
    Said takes;
    bool onStandardError;  // the words of a command line refused
    char next[200];
};

const EndingRow& RowOf(Ending ending);

// The console's words for the outcome, line ends included, cut to `size`.
void EndingWords(const Outcome& outcome, char* out, std::size_t size);

// The user asked the run to stop.
inline bool Stopped(Ending ending) { return RowOf(ending).exitStatus == kExitInterrupted; }

// The exit status of a run that ended so. Without --batch or --json
// (`statusTellsOutcome`) it is 0, but for a run the user stopped and a
// command line refused.
inline int ExitStatus(Ending ending, bool statusTellsOutcome) {
    const EndingRow& row = RowOf(ending);
    return statusTellsOutcome || Stopped(ending) || row.onStandardError ? row.exitStatus : kExitUpdated;
}
