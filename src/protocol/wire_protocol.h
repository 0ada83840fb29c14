// What host and device say to each other: System Exclusive messages whose
// first byte after F0 is, in the device's replies, a status byte.
#pragma once

#include <cstdint>

// Identification answers.
constexpr std::uint8_t EXPECTED_ID = 0x3D;        // the device for a "Corvilent" image
constexpr std::uint8_t REPLY_NEEDS_RESET = 0x15;  // reset the device first
