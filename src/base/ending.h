// Every way a run ends. The stages return theirs as values; what each means
// to the user and to a script is one row of the table in endings.h.
#pragma once

#include <cstdint>

enum class Ending : std::uint8_t {
    kUpdated,              // every record accepted
    kRestarted,            // the device restarts after a record
    kDryRunFound,          // --dry-run: the device found, nothing sent
    kNoImageFile,          // the folder holds no "*.led"
    kNotFit,               // the image's name lacks the prefix
    kCannotOpen,           // the image cannot be opened
    kBadImage,             // a record fails its check, the text is cut, or too long
    kImageMismatch,        // the image's SHA-256 is not the one --sha256 gives
    kNoDevice,             // no port pair answered
    kPortNotFound,         // a port chosen is not there (unplugged since --list)
    kResetRequested,       // the device asks to be reset first
    kOutputMissing,        // a chunk could not be sent
    kNotResponding,        // twenty silences in a row
    kUpdateError,          // twenty failures in a row, the last a status byte
    kStoppedBeforeSearch,  // the user asked to stop: nothing was sent
    kStoppedInSearch,      // ... while looking for the device: no record sent
    kStoppedBeforeWrite,   // ... in the transfer, before any chunk went out
    kStoppedInTransfer,    // ... in the transfer: the device holds part of the image
    kUsage,                // a bad command line: nothing was done
    kListed,               // --list: the ports listed
    kNoService,            // --list: no MIDI service can be reached
};

// A run's ending, with what its words need.
struct Outcome {
    Ending ending = Ending::kUpdated;
    // The image's name as given or found (for kNoImageFile the pattern).
    const char* name = "";
    // Where the transfer stood: the record being sent (or for kRestarted the
    // one the device restarted after), from 0, and the share of the image
    // accepted.
    std::uint16_t record = 0;
    unsigned percent = 0;
    // kUsage, kPortNotFound: what is wrong.
    const char* problem = "";
};
