// Sending the image to the device, record by record, as hexadecimal text.
#pragma once

#include "image/image_buffer.h"
#include "platform/winmm.h"

// The glyphs the progress line turns through, each shown for two records.
constexpr char SPINNER_GLYPHS[] = "--\\\\||//";

enum class TransferOutcome {
    kCompleted,      // every record accepted
    kRestarted,      // the device answered that it restarts
    kNotResponding,  // the last of too many failed tries in a row was silence
    kUpdateError,    // ... was a status byte other than "accepted"
    kOutputMissing,  // a chunk could not be sent
    kInterrupted,    // the user asked the run to stop
};

// Sends every record of a validated image on the output, waiting after each
// for the device's status byte on the open input and sending it again after
// a bad or missing one. Prints the progress line and the outcome.
TransferOutcome TransferImage(const ImageBuffer& image, UINT output);
