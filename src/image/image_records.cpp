// The record walk: sizes and checksums.
#include "image/image_buffer.h"

std::uint16_t RecordSizeAt(const ImageBuffer& image, std::uint16_t pos) {
    const unsigned length = image.bytes[pos] * 256u + image.bytes[pos + 1];
    return static_cast<std::uint16_t>(length + 2);
}

unsigned CountRecords(const ImageBuffer& image) {
    unsigned records = 0;
    for (std::uint32_t pos = 0; pos < image.count; pos += RecordSizeAt(image, static_cast<std::uint16_t>(pos))) {
        ++records;
    }
    return records;
}

// True when the bytes form whole records, each with a balancing checksum.
bool ValidateImage(const ImageBuffer& image) {
    // An image with no record would "succeed" with nothing sent.
    if (image.count == 0) return false;
    std::uint32_t pos = 0;
    while (pos < image.count) {
        if (pos + 2 > image.count) return false;
        const std::uint32_t length = image.bytes[pos] * 256u + image.bytes[pos + 1];
        // Below 2 there is no room for the checksum; above 0xFFFD the 16-bit
        // size wraps and the walk would stall or go backwards.
        if (length < 2 || length > 0xFFFD) return false;
        const std::uint32_t end = pos + length + 2;
        if (end > image.count) return false;
        std::uint16_t sum = 0;
        for (std::uint32_t i = pos + 2; i < end - 2; ++i) sum += image.bytes[i];
        sum += image.bytes[end - 2] + image.bytes[end - 1] * 256u;
        if (sum != 0) return false;
        pos = end;
    }
    return true;
}
