// Sending the image to the device, record by record, as hexadecimal text.
#pragma once

#include <cstdint>

#include "base/ending.h"
#include "image/image_buffer.h"
#include "protocol/device_link.h"
#include "protocol/progress.h"

struct TransferOutcome {
    // kUpdated, kRestarted, kNotResponding, kUpdateError, kOutputMissing,
    // kStoppedBeforeWrite or kStoppedInTransfer.
    Ending ending = Ending::kUpdated;
    // Where it stood at the end: the record being sent (from 0), and the
    // share of the image the device had accepted.
    std::uint16_t record = 0;
    unsigned percent = 0;
};

// Sends every record of a validated image on the link's output, waiting
// after each for the device's status byte on its open input and sending it
// again after a bad or missing one, until the user asks the run to stop.
// Tells the reporter every try, refusal and wait.
TransferOutcome TransferImage(DeviceLink& link, UINT output, const ImageBuffer& image, ProtocolReporter& reporter);
