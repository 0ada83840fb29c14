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

// The image as a file holds it: upper-case digit pairs, 32 bytes a line.
std::string ImageText(const Bytes& image);
