// Sending the image to the device, record by record, as hexadecimal text.
#pragma once

#include <cstdint>

#include "image/image_buffer.h"
#include "protocol/device_link.h"
#include "protocol/progress.h"

// The glyphs the progress line turns through, each shown for two records.
constexpr char SPINNER_GLYPHS[] = "--\\\\||//";

struct TransferOutcome {
    enum class Ending {
        kCompleted,      // every record accepted
        kRestarted,      // the device answered that it restarts
        kNotResponding,  // the last of too many failed tries in a row was silence
        kUpdateError,    // ... was a status byte other than "accepted"
        kOutputMissing,  // a chunk could not be sent
        kStopped,        // the user asked the run to stop
    };
    Ending ending = Ending::kCompleted;
    // Where it stood at the end: the record being sent (from 0), the share
    // of the image the device had accepted, and whether any chunk had gone
    // out.
    std::uint16_t record = 0;
    unsigned percent = 0;
    bool written = false;
};

// Sends every record of a validated image on the link's output, waiting
// after each for the device's status byte on its open input and sending it
// again after a bad or missing one. Tells the reporter every try, refusal
// and wait.
TransferOutcome TransferImage(DeviceLink& link, UINT output, const ImageBuffer& image, ProtocolReporter& reporter);
