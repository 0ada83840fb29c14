// The device search. No MIDI service is wired in yet, so there is never a
// port to try.
#include "protocol/find_device.h"

#include <cstdio>

std::uint8_t FindUpdateDevice(std::uint8_t) {
    std::printf("\nFailed: Can't find the suitable device to update!\n\n");
    return kNoDevice;
}
