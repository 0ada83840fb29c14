// The firmware image as bytes, and the records it is made of.
//
// Each record is: a 16-bit length L, high byte first, counting the bytes that
// follow; L - 2 data bytes; a 16-bit checksum, low byte first, chosen so that
// the data bytes plus the checksum word sum to 0 modulo 65536.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "base/ending.h"

// Positions into the image are 16-bit, so an image holds at most 65535 bytes.
constexpr std::uint32_t kImageCapacity = 0xFFFF;

struct ImageBuffer {
    std::uint8_t bytes[kImageCapacity];
    std::uint16_t count;  // bytes[0 .. count) are the image; the rest is unused
};

// Size of the record starting at pos: its length field plus the two length
// bytes, in 16 bits. Needs pos + 1 < count.
std::uint16_t RecordSizeAt(const ImageBuffer& image, std::uint16_t pos);

// The records a validated image is made of.
unsigned CountRecords(const ImageBuffer& image);

enum class HexText {
    kImage,
    kTooLong,             // the text holds more numbers than an image can
    kRecordsAfterTheEnd,  // other text cuts the image short: records follow it
};

// Converts hexadecimal text into image bytes, one byte for every number of at
// most two digits (white space between numbers), until the text ends or
// stops being hexadecimal. Text after that stop is ignored unless it holds
// a record.
HexText ReadHexText(std::FILE* file, ImageBuffer* image);

// What is wrong with an image, if anything.
enum class ImageProblem {
    kNone,
    kTooLong,     // its text holds more numbers than an image can
    kCutInTwo,    // other text cuts its text short: records follow it
    kNoRecord,    // it holds no record at all
    kBadLength,   // a record's length field is below 2 or above 0xFFFD
    kPastTheEnd,  // a record runs past the image's last byte
    kChecksum,    // a record's checksum does not balance its data
};

// An image's check: what is wrong, and where a record is at fault, the
// record (from 0) and its offset in the image's bytes.
struct ImageCheck {
    ImageProblem problem = ImageProblem::kNone;
    unsigned record = 0;
    std::uint32_t offset = 0;
};

// The image's name as given (a path) or found: longer ones are cut.
constexpr std::size_t kImageNameSize = 1024;

struct ImageOutcome {
    // How the run ends here: kNoImageFile, kNotFit, kCannotOpen, or kBadImage
    // (`problem`: the text holds more numbers than an image can, or other
    // text cuts its records in two); none when the image is loaded.
    std::optional<Ending> ending = Ending::kNoImageFile;
    ImageProblem problem = ImageProblem::kNone;
    // The file's name as given or found (for kNoImageFile the pattern).
    char name[kImageNameSize] = "";
    // The file was opened and its text read.
    bool opened = false;
    // The SHA-256 of the file as stored, once it was read.
    char sha256[65] = "";
};

// Loads the image file at `path`, or else the first "*.led" of the current
// folder.
ImageOutcome LoadImageFile(const char* path, ImageBuffer* image);

// The record that starts at `pos` and must end by `end`: its size when it
// is whole and its checksum balances, or what is wrong with it.
struct RecordFit {
    std::uint32_t size;
    ImageProblem problem;
};
RecordFit RecordAt(const ImageBuffer& image, std::uint32_t pos, std::uint32_t end);

// Whether the bytes form whole records, each with a balancing checksum, and
// if not, the first that does not: checked before anything is sent.
ImageCheck ValidateImage(const ImageBuffer& image);
