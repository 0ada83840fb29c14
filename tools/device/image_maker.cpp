#include "image_maker.h"

#include <algorithm>

Bytes MakeRecord(const Bytes& data) {
    const std::size_t length = data.size() + 2;
    std::uint16_t sum = 0;
    for (std::uint8_t b : data) sum = static_cast<std::uint16_t>(sum + b);
    const std::uint16_t checksum = static_cast<std::uint16_t>(0x10000 - sum);
    Bytes record = {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    record.insert(record.end(), data.begin(), data.end());
    record.push_back(static_cast<std::uint8_t>(checksum));
    record.push_back(static_cast<std::uint8_t>(checksum >> 8));
    return record;
}

std::string ImageText(const Bytes& image) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < image.size(); ++i) {
        text += kDigits[image[i] >> 4];
        text += kDigits[image[i] & 0x0F];
        if (i % 32 == 31 || i + 1 == image.size()) text += '\n';
    }
    return text;
}

Bytes MakeImage(std::size_t size, std::size_t recordData) {
    Bytes image;
    std::uint32_t seed = 0x2545F491;
    std::size_t remaining = size;
    while (remaining > 0) {
        std::size_t take = std::min(recordData + 4, remaining);
        // Leave no remainder too small to be a record of its own: shorten
        // this record, or where it cannot give enough, take the rest in.
        const std::size_t left = remaining - take;
        if (left > 0 && left < 4) take = take >= 8 - left ? take - (4 - left) : remaining;
        Bytes data(take - 4);
        for (std::uint8_t& b : data) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        const Bytes record = MakeRecord(data);
        image.insert(image.end(), record.begin(), record.end());
        remaining -= take;
    }
    return image;
}
