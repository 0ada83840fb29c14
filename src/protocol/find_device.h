// The search for the target device among the MIDI port pairs.
#pragma once

#include <cstdint>

#include "platform/winmm.h"

// Result of the search: no device found.
constexpr std::uint8_t kNoDevice = 0;
// Result of the search: the device answered with the expected byte.
constexpr std::uint8_t kDeviceFound = 1;
// Result of the search: the user asked the run to stop.
constexpr std::uint8_t kSearchInterrupted = 2;

// The ports the search may use: every one, or the one the user chose.
constexpr UINT kAnyPort = ~0u;
struct PortChoice {
    UINT input = kAnyPort;
    UINT output = kAnyPort;
};

// The pair the device answered on.
struct DevicePorts {
    UINT input = 0;
    UINT output = 0;
};

// Asks the ports of the choice for the device with the identification
// request and leaves the pair that answers open, in `found`. Returns
// kNoDevice, kDeviceFound, REPLY_NEEDS_RESET or kSearchInterrupted. Prints
// its own outcome lines, and before them what keeps ports from being used.
std::uint8_t FindUpdateDevice(std::uint8_t expectedId, const PortChoice& choice, DevicePorts* found);
