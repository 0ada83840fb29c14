// The firmware image as bytes, and the records it is made of.
//
// Each record is: a 16-bit length L, high byte first, counting the bytes that
// follow; L - 2 data bytes; a 16-bit checksum, low byte first, chosen so that
// the data bytes plus the checksum word sum to 0 modulo 65536.
#pragma once

#include <cstdint>
#include <cstdio>

// Positions into the image are 16-bit, so an image holds at most 65535 bytes.
constexpr std::uint32_t kImageCapacity = 0xFFFF;

struct ImageBuffer {
    std::uint8_t bytes[kImageCapacity];
    std::uint16_t count;  // bytes[0 .. count) are the image; the rest is unused
};

// Size of the record starting at pos: its length field plus the two length
// bytes, in 16 bits. Needs pos + 1 < count.
std::uint16_t RecordSizeAt(const ImageBuffer& image, std::uint16_t pos);

// Converts hexadecimal text into image bytes, one byte for every number of at
// most two digits, until the text ends or stops being hexadecimal. Returns
// false when the text holds more numbers than an image can.
bool ReadHexText(std::FILE* file, ImageBuffer* image);

// True when the bytes form whole records, each with a balancing checksum.
bool ImageRecordsAreSound(const ImageBuffer& image);

// Loads the image file at `path`, or else the first "*.led" of the current
// folder. On success sets the identification byte the device must answer
// with. Prints its own messages; returns false on any failure.
bool LoadImageFile(const char* path, ImageBuffer* image, std::uint8_t* expectedId);

// Checks every record before anything is sent. Prints the failure message.
bool ValidateImage(const ImageBuffer& image);
