// The search for the target device among all MIDI port pairs.
#pragma once

#include <cstdint>

// Result of the search: no device found.
constexpr std::uint8_t kNoDevice = 0;
// Result of the search: the device answered with the expected byte.
constexpr std::uint8_t kDeviceFound = 1;

// Tries every input/output pair with the identification request and leaves
// the answering pair open. Returns kNoDevice, kDeviceFound or
// REPLY_NEEDS_RESET. Prints its own outcome lines.
std::uint8_t FindUpdateDevice(std::uint8_t expectedId);
