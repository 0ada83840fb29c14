#include "image_maker.h"

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
