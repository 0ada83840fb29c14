// What host and device say to each other. Every message is a System
// Exclusive message: F0, data bytes below 0x80, F7. The host sends the
// identification request and the image as hexadecimal text; the device
// answers each with one status byte, the first after F0.
#pragma once

#include <cstdint>

// The identification request's body.
constexpr std::uint8_t HANDSHAKE_BODY[] = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};

// Answers to the identification request.
constexpr std::uint8_t EXPECTED_ID = 0x3D;        // the device for a "Corvilent" image
constexpr std::uint8_t REPLY_NEEDS_RESET = 0x15;  // reset the device first

// Answers to a record.
constexpr std::uint8_t REPLY_RECORD_OK = 0x1A;
constexpr std::uint8_t REPLY_CRC_ERROR = 0x20;
constexpr std::uint8_t REPLY_FILE_DAMAGED = 0x21;
constexpr std::uint8_t REPLY_FILE_DAMAGED_ALT = 0x22;  // the device's other code for it
constexpr std::uint8_t REPLY_VERIFY_ERROR = 0x24;
constexpr std::uint8_t REPLY_ERASE_ERROR = 0x25;
constexpr std::uint8_t REPLY_RESTARTING = 0x77;  // update complete, the device restarts

// How long the host waits for the answer to an identification request.
constexpr std::uint16_t kIdentifyWaitMs = 500;

// Image bytes travel as text, two upper-case hexadecimal digits a byte.
constexpr std::uint8_t kChunkBytes = 11;

// Writes b as two upper-case hexadecimal digits, high nibble first.
void HexEncodeByte(std::uint8_t b, std::uint8_t* out);
