// The image's hexadecimal text and its record checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "image/image_buffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Scans text as the loader scans the image file; returns whether it fitted.
bool Scan(const std::string& text, ImageBuffer* image) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    const bool fits = ReadHexText(file, image);
    std::fclose(file);
    return fits;
}

TEST(ImageText, NumbersOfUpToTwoDigitsUntilTheTextStopsBeingHexadecimal) {
    const struct {
        const char* text;
        Bytes bytes;
    } cases[] = {
        {"0A1b 2C\n3d", {0x0A, 0x1B, 0x2C, 0x3D}}, {"A 1B\t\r\nf", {0x0A, 0x1B, 0x0F}}, {"123", {0x12, 0x03}},
        // A sign belongs to the conversion; its value's low eight bits count.
        {"-1 +5", {0xFF, 0x05}}, {"0102 zz 03", {0x01, 0x02}}, {"", {}}, {"; comment\n0102", {}},
    };
    auto image = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        ASSERT_TRUE(Scan(c.text, image.get())) << c.text;
        EXPECT_EQ(Bytes(image->bytes, image->bytes + image->count), c.bytes) << c.text;
    }
    // As many numbers as an image holds, and one more.
    const std::string full = "7E" + std::string(2 * (kImageCapacity - 1), '0');
    ASSERT_TRUE(Scan(full, image.get()));
    EXPECT_EQ(image->count, 0xFFFF);
    EXPECT_FALSE(Scan(full + "00", image.get()));
    EXPECT_EQ(image->bytes[0], 0x7E) << "the count wrapped and overwrote the start";
}

TEST(ImageRecords, EveryRecordBalancesAndTheyTileTheImage) {
    const struct {
        Bytes bytes;
        bool sound;
    } cases[] = {
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF}, true},
        {{0x00, 0x04, 0x01, 0x02, 0xFF, 0xFD}, false},  // checksum high byte first
        {{0x00, 0x02, 0x00, 0x00}, true},               // no data: the length bytes are not summed
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x80, 0xFF}, true},
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x81, 0xFF}, false},  // the second is wrong
        {{}, false},                                         // no record at all
        {{0x00, 0x01, 0x00, 0x00}, false},                   // length below 2
        {{0x00, 0x00, 0x00, 0x00}, false},                   // length 0
        {{0xFF, 0xFE, 0x00, 0x00}, false},                   // the size wraps to 0
        {{0x00, 0x06, 0x01, 0x02, 0xFD, 0xFF}, false},       // runs past the last byte
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00}, false},  // a lone byte after the last record
    };
    auto image = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        std::copy(c.bytes.begin(), c.bytes.end(), image->bytes);
        image->count = static_cast<std::uint16_t>(c.bytes.size());
        EXPECT_EQ(ValidateImage(*image), c.sound) << ::testing::PrintToString(c.bytes);
    }
}

}  // namespace
