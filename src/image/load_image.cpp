// Finding the image file and loading it.
#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "image/image_buffer.h"
#include "platform/host.h"
#include "protocol/wire_protocol.h"

namespace {

const char kImagePattern[] = "*.led";
const char kNamePrefix[] = "Corvilent";

char FoldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The file's own name, past the folders of its path.
const char* OwnName(const char* path) {
    const char* name = path;
    for (const char* c = path; *c != '\0'; ++c) {
#ifdef _WIN32
        if (*c == '\\' || *c == ':') name = c + 1;
#endif
        if (*c == '/') name = c + 1;
    }
    return name;
}

bool HasNamePrefix(const char* path) {
    const char* name = OwnName(path);
    for (int i = 0; kNamePrefix[i] != '\0'; ++i) {
        if (name[i] == '\0' || FoldAsciiCase(name[i]) != FoldAsciiCase(kNamePrefix[i])) return false;
    }
    return true;
}

// Windows Notepad begins a text it saves as UTF-8 with one.
void SkipByteOrderMark(std::FILE* file) {
    unsigned char mark[3] = {};
    const std::size_t read = std::fread(mark, 1, sizeof mark, file);
    if (read != sizeof mark || mark[0] != 0xEF || mark[1] != 0xBB || mark[2] != 0xBF) std::rewind(file);
}

}  // namespace

bool LoadImageFile(const char* path, ImageBuffer* image, std::uint8_t* expectedId) {
    char found[kMaxFileName];
    if (path == nullptr) {
        if (!FindFirstImageEntry(found)) {
            std::printf("Error: File '%s' is not found.\n\n", kImagePattern);
            return false;
        }
        path = found;
    }
    if (!HasNamePrefix(path)) {
        std::printf("Error: The fit file is not found.\n\n");
        return false;
    }
    *expectedId = EXPECTED_ID;
    std::FILE* file = IsFile(path) ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        std::printf("Error: File '%s' is not found.\n\n", PrintableName(path).text);
        return false;
    }
    std::printf("OK: File '%s' is open.\n", PrintableName(path).text);
    SkipByteOrderMark(file);
    const bool fits = ReadHexText(file, image);
    std::fclose(file);
    if (!fits) {
        std::printf("Error: The upgrade file is error!\n\n");
        return false;
    }
    return true;
}
