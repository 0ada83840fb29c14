// Making firmware images: records with their length and checksum, and the
// hexadecimal text an image file holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A record around the data bytes: length high byte first, the data, and the
// checksum low byte first that makes data plus checksum sum to 0.
Bytes MakeRecord(const Bytes& data);

// A valid image of exactly `size` bytes (at least 4, at most 65535) in
// records of `recordData` data bytes; the last records are shortened so the
// sizes add up. The data bytes are a fixed pseudo-random sequence.
Bytes MakeImage(std::size_t size, std::size_t recordData);

// The image as a file holds it: upper-case digit pairs, 32 bytes a line.
std::string ImageText(const Bytes& image);
