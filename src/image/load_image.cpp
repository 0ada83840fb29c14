// Finding the image file in the current folder and loading it.
#include <cstdio>

#include "image/image_buffer.h"
#include "platform/host.h"
#include "protocol/wire_protocol.h"

namespace {

const char kImagePattern[] = "*.led";
const char kNamePrefix[] = "Corvilent";

char FoldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool HasNamePrefix(const char* name) {
    for (int i = 0; kNamePrefix[i] != '\0'; ++i) {
        if (name[i] == '\0' || FoldAsciiCase(name[i]) != FoldAsciiCase(kNamePrefix[i])) return false;
    }
    return true;
}

}  // namespace

bool LoadImageFile(ImageBuffer* image, std::uint8_t* expectedId) {
    ImageEntry entry;
    if (!FindFirstImageEntry(&entry)) {
        std::printf("Error: File '%s' is not found.\n\n", kImagePattern);
        return false;
    }
    if (!HasNamePrefix(entry.name)) {
        std::printf("Error: The fit file is not found.\n\n");
        return false;
    }
    *expectedId = EXPECTED_ID;
    std::FILE* file = entry.isFile ? std::fopen(entry.name, "rb") : nullptr;
    if (file == nullptr) {
        std::printf("Error: File '%s' is not found.\n\n", entry.name);
        return false;
    }
    std::printf("OK: File '%s' is open.\n", entry.name);
    const bool fits = ReadHexText(file, image);
    std::fclose(file);
    if (!fits) {
        std::printf("Error: The upgrade file is error!\n\n");
        return false;
    }
    return true;
}
