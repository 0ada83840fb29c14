// Finding the image file and loading it.
#include <cstdio>
#include <cstring>

#include "image/image_buffer.h"
#include "image/sha256.h"
#include "platform/host/host.h"

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

// The SHA-256 of the whole file, from its first byte.
void HashFile(std::FILE* file, char (&hex)[65]) {
    std::rewind(file);
    Sha256 hash;
    std::uint8_t block[4096];
    for (std::size_t read; (read = std::fread(block, 1, sizeof block, file)) > 0;) hash.Add(block, read);
    hash.Finish(hex);
}

}  // namespace

ImageOutcome LoadImageFile(const char* path, ImageBuffer* image) {
    static_assert(kImageNameSize >= kMaxFileName, "a name found fits");
    ImageOutcome outcome;
    const auto ended = [&](std::optional<Ending> ending) {
        outcome.ending = ending;
        return outcome;
    };
    char found[kMaxFileName];
    if (path == nullptr) {
        std::snprintf(outcome.name, sizeof outcome.name, "%s", kImagePattern);
        if (!FindFirstImageEntry(found)) return ended(Ending::kNoImageFile);
        path = found;
    }
    std::snprintf(outcome.name, sizeof outcome.name, "%s", path);
    if (!HasNamePrefix(path)) return ended(Ending::kNotFit);
    std::FILE* file = IsFile(path) ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) return ended(Ending::kCannotOpen);
    SkipByteOrderMark(file);
    const HexText read = ReadHexText(file, image);
    HashFile(file, outcome.sha256);
    std::fclose(file);
    outcome.opened = true;
    if (read == HexText::kImage) return ended(std::nullopt);
    outcome.problem = read == HexText::kTooLong ? ImageProblem::kTooLong : ImageProblem::kCutInTwo;
    return ended(Ending::kBadImage);
}
