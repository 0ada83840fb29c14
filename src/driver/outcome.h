// How a run ends, and the exit status each ending gives.
#pragma once

#include <cstdint>

enum class Ending {
    kUpdated,             // every record accepted
    kRestarted,           // the device restarts after a record
    kDryRunFound,         // --dry-run: the device found, nothing sent
    kNoImageFile,         // the folder holds no "*.led"
    kNotFit,              // the image's name lacks the prefix
    kCannotOpen,          // the image cannot be opened
    kBadImage,            // a record fails its check, or the file is too long
    kNoDevice,            // no port pair answered, or a port chosen is not there
    kResetRequested,      // the device asks to be reset first
    kOutputMissing,       // a chunk could not be sent
    kNotResponding,       // twenty silences in a row
    kUpdateError,         // twenty failures in a row, the last a status byte
    kStoppedBeforeSearch, // the user asked to stop: nothing was sent
    kStoppedInSearch,     // ... while looking for the device: no record sent
    kStoppedBeforeWrite,  // ... in the transfer, before any chunk went out
    kStoppedInTransfer,   // ... in the transfer: the device holds part of the image
};

struct Outcome {
    Ending ending = Ending::kUpdated;
    // The image's name (kCannotOpen), and where the transfer stood
    // (kStoppedInTransfer): the record being sent, from 0, and the share of
    // the image accepted.
    const char* name = "";
    std::uint16_t record = 0;
    unsigned percent = 0;
};

// Exit statuses. Without --batch a run ends 0 whatever its outcome, as the
// console text tells it; with --batch the status tells it too.
constexpr int kExitUpdated = 0;
constexpr int kExitImageFailed = 1;  // not found, unreadable, or failing its check
constexpr int kExitUsage = 2;        // a bad command line: nothing was done
constexpr int kExitNoDevice = 3;
constexpr int kExitResetRequested = 4;
constexpr int kExitTransferFailed = 5;
constexpr int kExitInterrupted = 130;  // in every mode: the user asked the run to stop

// The status of a run that ended so, with --batch.
int BatchExitStatus(Ending ending);
// The user asked the run to stop.
bool Stopped(Ending ending);
