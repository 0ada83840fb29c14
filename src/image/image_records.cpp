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

RecordFit RecordAt(const ImageBuffer& image, std::uint32_t pos, std::uint32_t end) {
    if (pos + 2 > end) return {0, ImageProblem::kPastTheEnd};
    const std::uint32_t length = image.bytes[pos] * 256u + image.bytes[pos + 1];
    // Below 2 there is no room for the checksum; above 0xFFFD the 16-bit
    // size wraps and a walk would stall or go backwards.
    if (length < 2 || length > 0xFFFD) return {0, ImageProblem::kBadLength};
    if (pos + length + 2 > end) return {0, ImageProblem::kPastTheEnd};
    std::uint16_t sum = 0;
    for (std::uint32_t i = pos + 2; i < pos + length; ++i) sum += image.bytes[i];
    sum += image.bytes[pos + length] + image.bytes[pos + length + 1] * 256u;
    if (sum != 0) return {0, ImageProblem::kChecksum};
    return {length + 2, ImageProblem::kNone};
}

ImageCheck ValidateImage(const ImageBuffer& image) {
    // An image with no record would "succeed" with nothing sent.
    if (image.count == 0) return {ImageProblem::kNoRecord, 0, 0};
    ImageCheck check;
    for (std::uint32_t pos = 0; pos < image.count; ++check.record) {
        const RecordFit fit = RecordAt(image, pos, image.count);
        if (fit.problem != ImageProblem::kNone) return {fit.problem, check.record, pos};
        pos += fit.size;
    }
    return {};
}
