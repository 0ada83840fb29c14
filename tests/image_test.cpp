// The image: finding its file, its hexadecimal text, its records, and the
// file's SHA-256.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "device/image_maker.h"
#include "image/image_buffer.h"
#include "image/sha256.h"
#include "support/temp_folder.h"

namespace {

// Scans text as the loader scans the image file.
HexText Scan(const std::string& text, ImageBuffer* image) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    const HexText read = ReadHexText(file, image);
    std::fclose(file);
    return read;
}

const std::string kValid = "00 04 01 02 FD FF\n";  // one record: data 01 02, checksum FFFD low byte first
const std::string kFolder = "<folder>";
const std::string kLinkNowhere = "<link>";

TEST(ImageFile, TheFirstOfTheFolderOrTheOneNamedWithThePrefixInAnyCase) {
    const std::string longName = "Corvilent" + std::string(200, 'x') + ".led";
    const struct {
        std::vector<std::pair<std::string, std::string>> files;
        const char* path;  // named on the command line
        std::optional<Ending> ending;
        std::string name;  // as given or found
        // clang-format off
    } cases[] = {
        {{{"Corvilent.txt", kValid}}, nullptr, Ending::kNoImageFile, "*.led"},
        // Only the first, in the order NTFS lists names: by their upper-cased
        // letters, so "_" comes after the letters; names equal but for case
        // (NTFS would not hold both) in byte order, whichever the folder
        // lists first.
        {{{"Corvilent.led", kValid}, {"alpha.led", kValid}}, nullptr, Ending::kNotFit, "alpha.led"},
        {{{"_old.led", kValid}, {"Corvilent.led", kValid}}, nullptr, std::nullopt, "Corvilent.led"},
        {{{"CORVILENT_b.led", kValid}, {"corvilenta.led", kValid}}, nullptr, std::nullopt, "corvilenta.led"},
#ifndef _WIN32
        // (Windows holds no two names equal but for case.)
        {{{"corvilent.led", kValid}, {"CORVILENT.led", kValid}}, nullptr, std::nullopt, "CORVILENT.led"},
        {{{"corvilent2.led", kValid}, {"CORVILENT2.led", kValid}}, nullptr, std::nullopt, "CORVILENT2.led"},
        {{{"corvilentx.led", kValid}, {"CORVILENTx.led", kValid}}, nullptr, std::nullopt, "CORVILENTx.led"},
#endif
        // The prefix in any letter case, but all nine letters of it.
        {{{"corvilent.LED", kValid}}, nullptr, std::nullopt, "corvilent.LED"},
        {{{"Corvilen_t.led", kValid}}, nullptr, Ending::kNotFit, "Corvilen_t.led"},
        {{{"xCorvilent.led", kValid}}, nullptr, Ending::kNotFit, "xCorvilent.led"},
        {{{"Dorvilent.led", kValid}}, nullptr, Ending::kNotFit, "Dorvilent.led"},
        {{{"Corvilent.led", kFolder}}, nullptr, Ending::kCannotOpen, "Corvilent.led"},
#ifndef _WIN32
        {{{"Corvilent.led", kLinkNowhere}}, nullptr, Ending::kCannotOpen, "Corvilent.led"},
#endif
        // A name too long for 99 characters is kept whole.
        {{{longName, kValid}}, nullptr, std::nullopt, longName},
        // A byte-order mark at the very start, as Windows Notepad writes
        // it, is no text of the image; a second one is, and so is part of
        // one.
        {{{"Corvilent.led", "\xEF\xBB\xBF" + kValid}}, nullptr, std::nullopt, "Corvilent.led"},
        {{{"Corvilent.led", "\xEF\xBB\xBF\xEF\xBB\xBF" + kValid}}, nullptr, Ending::kBadImage, "Corvilent.led"},
        {{{"Corvilent.led", "\xEF\xBB" + kValid}}, nullptr, Ending::kBadImage, "Corvilent.led"},
        {{{"Corvilent.led", "0\xBB\xBF" + kValid}}, nullptr, Ending::kBadImage, "Corvilent.led"},
        // Named, with its path as given: its own name must have the prefix;
        // the folder's files are not looked at.
        {{{"Corvilent.led", kValid}}, "../Corvilent-kept.led", Ending::kCannotOpen, "../Corvilent-kept.led"},
        {{{"Corvilent.led", kValid}}, "Firmware.led", Ending::kNotFit, "Firmware.led"},
        {{{"Corvilent", kFolder}, {"Corvilent/fw.led", kValid}}, "Corvilent/fw.led", Ending::kNotFit,
         "Corvilent/fw.led"},
        {{{"fw", kFolder}, {"fw/corvilent-2.led", kValid}}, "fw/corvilent-2.led", std::nullopt, "fw/corvilent-2.led"},
    };
    // clang-format on
    const std::filesystem::path previous = std::filesystem::current_path();
    auto image = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        TempFolder folder;
        for (const auto& [name, content] : c.files) {
            if (content == kFolder)
                folder.MakeFolder(name);
            else if (content == kLinkNowhere)
                folder.MakeLink(name, "nowhere.txt");
            else
                folder.WriteFile(name, content);
        }
        std::filesystem::current_path(folder.path());
        const ImageOutcome loaded = LoadImageFile(c.path, image.get());
        std::filesystem::current_path(previous);
        EXPECT_EQ(loaded.ending, c.ending) << c.name;
        EXPECT_EQ(loaded.name, c.name);
        EXPECT_EQ(loaded.opened, !c.ending || c.ending == Ending::kBadImage) << c.name;
        if (!c.ending) {
            EXPECT_EQ(image->count, 6u) << c.name;
        }
    }
}

TEST(ImageText, NumbersOfUpToTwoDigitsUntilTheTextStopsBeingHexadecimal) {
    const struct {
        const char* text;
        Bytes bytes;
        // clang-format off
    } cases[] = {
        {"0A1b 2C\n3d", {0x0A, 0x1B, 0x2C, 0x3D}},
        {"A 1B\t\r\nf\v0\f1", {0x0A, 0x1B, 0x0F, 0x00, 0x01}},
        {"123", {0x12, 0x03}},
        {"0102 zz 03", {0x01, 0x02}},
        {"", {}},
        {"; comment\n0102", {}},
        // Neither a sign nor a prefix is a digit.
        {"05 -1 +5", {0x05}},
        {"+5", {}},
        {"0x1F", {0x00}},
        {"0X1F", {0x00}},
    };
    // clang-format on
    auto image = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        ASSERT_EQ(Scan(c.text, image.get()), HexText::kImage) << c.text;
        EXPECT_EQ(Bytes(image->bytes, image->bytes + image->count), c.bytes) << c.text;
    }
    // As many numbers as an image holds, and one more, before the text
    // stops or after it.
    const std::string full = "7E" + std::string(std::size_t{2} * (kImageCapacity - 1), '0');
    ASSERT_EQ(Scan(full, image.get()), HexText::kImage);
    EXPECT_EQ(image->count, 0xFFFF);
    EXPECT_EQ(Scan(full + "00", image.get()), HexText::kTooLong);
    EXPECT_EQ(image->bytes[0], 0x7E) << "the count wrapped and overwrote the start";
    EXPECT_EQ(Scan(full.substr(0, 100) + "; " + full.substr(100) + "00", image.get()), HexText::kTooLong);
}

TEST(ImageText, RecordsAfterOtherTextMeanTheImageWasCutInTwo) {
    const Bytes image = MakeImage(1024, 252);  // four records of 256 bytes
    const std::string text = ImageText(image);
    const std::string first = ImageText(Bytes(image.begin(), image.begin() + 256));
    const std::string rest = ImageText(Bytes(image.begin() + 256, image.end()));
    const struct {
        std::string text;
        HexText read;
        std::size_t count;
        // clang-format off
    } cases[] = {
        {text, HexText::kImage, 1024},
        // What follows the image is no record: ignored.
        {text + "; built 2026-12-01\n", HexText::kImage, 1024},
        {text + "\x1A", HexText::kImage, 1024},
        {text + "; checksum 0004 0102\n", HexText::kImage, 1024},
        // A line of other text between the first record and the second.
        {first + "second part:\n" + rest, HexText::kRecordsAfterTheEnd, 256},
        // A record of one byte after other text, glued to it.
        {"00 04 01 02 FD FF\nzz000305FBFF", HexText::kRecordsAfterTheEnd, 6},
        {"-3 00 04 01 02 FD FF", HexText::kRecordsAfterTheEnd, 0},
        // A record with no data is too likely a trailer's.
        {"00 04 01 02 FD FF ; 0002 0000", HexText::kImage, 6},
    };
    // clang-format on
    auto buffer = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        const std::string tail = c.text.substr(c.text.size() - std::min<std::size_t>(c.text.size(), 40));
        EXPECT_EQ(Scan(c.text, buffer.get()), c.read) << tail;
        EXPECT_EQ(buffer->count, c.count) << tail;
    }
}

TEST(ImageRecords, EveryRecordBalancesAndTheyTileTheImage) {
    const Bytes largest = MakeRecord(Bytes(0xFFFB, 0x55));  // its length field 0xFFFD, the most there is
    constexpr ImageProblem kSound = ImageProblem::kNone;
    const struct {
        Bytes bytes;
        ImageProblem problem;
        // clang-format off
    } cases[] = {
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF}, kSound},
        {{0x00, 0x04, 0x01, 0x02, 0xFF, 0xFD}, ImageProblem::kChecksum},  // checksum high byte first
        {{0x00, 0x02, 0x00, 0x00}, kSound},                               // no data: the length bytes are not summed
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x80, 0xFF}, kSound},
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x03, 0x80, 0x81, 0xFF}, ImageProblem::kChecksum},  // the second
        {{}, ImageProblem::kNoRecord},
        {{0x00, 0x01, 0x00, 0x00}, ImageProblem::kBadLength},                 // length below 2
        {{0xFF, 0xFE, 0x00, 0x00}, ImageProblem::kBadLength},                 // the size wraps to 0
        {{0x00, 0x06, 0x01, 0x02, 0xFD, 0xFF}, ImageProblem::kPastTheEnd},    // runs past the last byte
        {{0x00, 0x04, 0x01, 0x02, 0xFD}, ImageProblem::kPastTheEnd},          // one byte short
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00}, ImageProblem::kPastTheEnd},  // a lone byte after the last record
        {{0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF, 0x00, 0x01}, ImageProblem::kBadLength},  // two: a length, below 2
        {largest, kSound},
    };
    // clang-format on
    auto image = std::make_unique<ImageBuffer>();
    for (const auto& c : cases) {
        std::copy(c.bytes.begin(), c.bytes.end(), image->bytes);
        image->count = static_cast<std::uint16_t>(c.bytes.size());
        EXPECT_EQ(ValidateImage(*image).problem, c.problem) << ::testing::PrintToString(c.bytes).substr(0, 80);
    }
}

TEST(ImageFile, ItsFingerprintIsTheSha256OfTheFileAsStored) {
    // FIPS 180-4's examples, and lengths about the 56 bytes where the
    // padding needs a block of its own.
    const struct {
        std::string text;
        const char* sha256;
        // clang-format off
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    // clang-format on
    for (const auto& c : cases) {
        Sha256 hash;
        // In two parts, across a block's end.
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.text.data());
        hash.Add(bytes, c.text.size() / 2);
        hash.Add(bytes + c.text.size() / 2, c.text.size() - c.text.size() / 2);
        char hex[65];
        hash.Finish(hex);
        EXPECT_STREQ(hex, c.sha256) << c.text.size();
    }
}

}  // namespace
