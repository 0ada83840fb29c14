// The image's hexadecimal text and its record checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/image_buffer.h"

namespace {

std::vector<std::uint8_t> Bytes(const ImageBuffer& image) {
    return std::vector<std::uint8_t>(image.bytes, image.bytes + image.count);
}

// Scans text as the loader scans the image file; returns whether it fitted.
bool Scan(const std::string& text, ImageBuffer* image) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    const bool fits = ReadHexText(file, image);
    std::fclose(file);
    return fits;
}

std::unique_ptr<ImageBuffer> ImageOf(const std::vector<std::uint8_t>& bytes) {
    auto image = std::make_unique<ImageBuffer>();
    for (std::size_t i = 0; i < bytes.size(); ++i) image->bytes[i] = bytes[i];
    image->count = static_cast<std::uint16_t>(bytes.size());
    return image;
}

using Expected = std::vector<std::uint8_t>;

TEST(HexText, ConvertsNumbersOfUpToTwoDigitsAcrossWhiteSpace) {
    auto image = std::make_unique<ImageBuffer>();
    ASSERT_TRUE(Scan("0A1b 2C\n3d", image.get()));
    EXPECT_EQ(Bytes(*image), (Expected{0x0A, 0x1B, 0x2C, 0x3D}));

    ASSERT_TRUE(Scan("A 1B\t\r\nf", image.get()));
    EXPECT_EQ(Bytes(*image), (Expected{0x0A, 0x1B, 0x0F}));

    ASSERT_TRUE(Scan("123", image.get()));
    EXPECT_EQ(Bytes(*image), (Expected{0x12, 0x03}));

    // A sign belongs to the conversion; its value's low eight bits are kept.
    ASSERT_TRUE(Scan("-1 +5", image.get()));
    EXPECT_EQ(Bytes(*image), (Expected{0xFF, 0x05}));
}

TEST(HexText, StopsQuietlyAtTheFirstTextThatIsNotHexadecimal) {
    auto image = std::make_unique<ImageBuffer>();
    ASSERT_TRUE(Scan("0102 zz 03", image.get()));
    EXPECT_EQ(Bytes(*image), (Expected{0x01, 0x02}));

    ASSERT_TRUE(Scan("", image.get()));
    EXPECT_EQ(image->count, 0);

    ASSERT_TRUE(Scan("; comment\n0102", image.get()));
    EXPECT_EQ(image->count, 0);
}

TEST(HexText, RefusesMoreNumbersThanAnImageHolds) {
    auto image = std::make_unique<ImageBuffer>();
    std::string text;
    for (std::uint32_t i = 0; i < kImageCapacity; ++i) text += i == 0 ? "7E" : "00";
    ASSERT_TRUE(Scan(text, image.get()));
    EXPECT_EQ(image->count, 0xFFFF);

    EXPECT_FALSE(Scan(text + "00", image.get()));
    EXPECT_EQ(image->bytes[0], 0x7E) << "the count wrapped and overwrote the start";
}

TEST(ImageRecords, ChecksumBalancesTheDataBytesLowByteFirst) {
    EXPECT_TRUE(ImageRecordsAreSound(*ImageOf({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF})));
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0x00, 0x04, 0x01, 0x02, 0xFF, 0xFD})));
    // The length bytes are not summed; a record without data has checksum 0.
    EXPECT_TRUE(ImageRecordsAreSound(*ImageOf({0x00, 0x02, 0x00, 0x00})));
    // Every record is checked, not only the first.
    EXPECT_TRUE(ImageRecordsAreSound(
        *ImageOf({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x80, 0xFF})));
    EXPECT_FALSE(ImageRecordsAreSound(
        *ImageOf({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x81, 0xFF})));
}

TEST(ImageRecords, RefusesRecordsThatDoNotTileTheImage) {
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({}))) << "no record at all";
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0x00, 0x01, 0x00, 0x00}))) << "length below 2";
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0x00, 0x00, 0x00, 0x00}))) << "length 0";
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0xFF, 0xFE, 0x00, 0x00}))) << "size wraps to 0";
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0x00, 0x06, 0x01, 0x02, 0xFD, 0xFF})))
        << "runs past the last byte";
    EXPECT_FALSE(ImageRecordsAreSound(*ImageOf({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00})))
        << "a lone byte after the last record";
}

}  // namespace
