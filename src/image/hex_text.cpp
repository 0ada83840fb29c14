// Reading the image file's hexadecimal text into bytes.
#include "image/image_buffer.h"

namespace {

bool IsWhiteSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int HexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The next number of the text: white space skipped, then one or two
// hexadecimal digits. -1 at the end of the text, or at a character that is
// neither, which is left unread. A sign or a "0x" is no digit.
int NextNumber(std::FILE* file) {
    int c = std::fgetc(file);
    while (IsWhiteSpace(c)) c = std::fgetc(file);
    const int high = HexDigitValue(c);
    if (high < 0) {
        if (c != EOF) std::ungetc(c, file);
        return -1;
    }
    c = std::fgetc(file);
    const int low = HexDigitValue(c);
    if (low >= 0) return high * 16 + low;
    if (c != EOF) std::ungetc(c, file);
    return high;
}

// A record with data, whose length and checksum add up, starts somewhere
// in bytes [from, to).
bool HoldsARecord(const ImageBuffer& image, std::uint32_t from, std::uint32_t to) {
    // Five bytes at least: a record without data is too likely a trailer's.
    for (std::uint32_t start = from; start < to; ++start) {
        const RecordFit fit = RecordAt(image, start, to);
        if (fit.problem == ImageProblem::kNone && fit.size >= 5) return true;
    }
    return false;
}

}  // namespace

HexText ReadHexText(std::FILE* file, ImageBuffer* image) {
    image->count = 0;
    for (int number; (number = NextNumber(file)) >= 0;) {
        if (image->count == kImageCapacity) return HexText::kTooLong;
        image->bytes[image->count++] = static_cast<std::uint8_t>(number);
    }
    // The image ends here. What follows is a trailer (a comment, an end of
    // file byte) unless it holds records: then the image was cut in two by
    // other text, and what comes before the cut must not go alone. The
    // numbers that follow are read, past any other character, after the
    // image's bytes.
    std::uint32_t end = image->count;
    for (;;) {
        const int number = NextNumber(file);
        if (number < 0 && std::fgetc(file) == EOF) break;
        if (number < 0) continue;
        if (end == kImageCapacity) return HexText::kTooLong;
        image->bytes[end++] = static_cast<std::uint8_t>(number);
    }
    return HoldsARecord(*image, image->count, end) ? HexText::kRecordsAfterTheEnd : HexText::kImage;
}
