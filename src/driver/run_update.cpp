#include "driver/run_update.h"

#include <cstdio>

#include "image/image_buffer.h"
#include "midi/midi_link.h"
#include "platform/host.h"
#include "protocol/find_device.h"
#include "protocol/transfer_image.h"
#include "protocol/wire_protocol.h"

namespace {

// Runs the device stages for a validated image; leaves the ports to the caller.
void UpdateDevice(const ImageBuffer& image, std::uint8_t expectedId) {
    const std::uint8_t found = FindUpdateDevice(expectedId);
    if (found == REPLY_NEEDS_RESET) std::printf("Please reset the product and retry again!\n\n");
    if (found == kDeviceFound) TransferImage(image);
}

}  // namespace

int RunUpdate() {
    std::printf("Update V0.3 - Update Corvilent Tessarine System\n");
    ImageBuffer image;
    std::uint8_t expectedId = 0;
    if (LoadImageFile(&image, &expectedId) && ValidateImage(image)) {
        UpdateDevice(image, expectedId);
        CloseMidiIn();
        CloseMidiOut();
    }
    WaitForKeyPress();
    return 0;
}
