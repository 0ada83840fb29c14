// The image stage under fuzzing: any text in, the loaded bytes and the
// check's verdict out. Asserts what must hold whatever the file holds: the
// check reads no byte past the loaded ones, its record walk ends, and an
// image it passes is whole records that tile the bytes exactly, each with a
// balancing checksum.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/image_buffer.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARINE_ASAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define TESSARINE_ASAN 1
#endif
#ifdef TESSARINE_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace {

void Require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The checksum rule, written out again so the check is not its own judge.
bool Balances(const ImageBuffer& image, std::uint32_t start, std::uint32_t size) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = start + 2; i < start + size - 2; ++i) sum += image.bytes[i];
    sum += image.bytes[start + size - 2] + 256u * image.bytes[start + size - 1];
    return sum % 65536 == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ImageBuffer image;
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::rewind(file);
    const HexText read = ReadHexText(file, &image);
    std::fclose(file);
    if (read != HexText::kImage) return 0;

    // Any read past the loaded bytes now stops the run.
    ASAN_POISON_MEMORY_REGION(image.bytes + image.count, kImageCapacity - image.count);
    const bool sound = ValidateImage(image).problem == ImageProblem::kNone;
    if (sound) {
        std::uint32_t position = 0;
        std::uint32_t records = 0;
        while (position < image.count) {
            const std::uint16_t recordSize = RecordSizeAt(image, static_cast<std::uint16_t>(position));
            Require(recordSize >= 4, "a passed record is shorter than its length and checksum");
            Require(position + recordSize <= image.count, "a passed record runs past the image");
            Require(Balances(image, position, recordSize), "a passed record does not balance");
            position += recordSize;
            Require(++records <= image.count / 4, "the record walk does not end");
        }
        Require(position == image.count, "the passed records do not tile the image");
    }
    ASAN_UNPOISON_MEMORY_REGION(image.bytes, kImageCapacity);
    return 0;
}
