#include "report/printable_name.h"

#include <cstdio>
#include <cstring>

namespace {

#ifndef _WIN32
// The length of the valid UTF-8 sequence `c` begins, 0 when there is none.
std::size_t Utf8Length(const unsigned char* c) {
    const auto follows = [&](std::size_t i, unsigned char low, unsigned char high) {
        return c[i] >= low && c[i] <= high;
    };
    if (c[0] >= 0xC2 && c[0] <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
    if (c[0] >= 0xE0 && c[0] <= 0xEF) {
        // Neither overlong nor a surrogate.
        const unsigned char low = c[0] == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = c[0] == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (c[0] >= 0xF0 && c[0] <= 0xF4) {
        const unsigned char low = c[0] == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c[0] == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}
#endif

// How many bytes from `c` on are printed as they are: 0 for a byte to
// escape.
std::size_t Printable(const unsigned char* c) {
    if (c[0] < 0x20 || c[0] == 0x7F) return 0;
    if (c[0] < 0x80) return 1;
#ifdef _WIN32
    // Names there are in the system's ANSI code page, not UTF-8.
    return 1;
#else
    // A C1 control (U+0080 to U+009F, U+009B a terminal's escape) is not.
    if (c[0] == 0xC2 && c[1] <= 0x9F) return 0;
    return Utf8Length(c);
#endif
}

}  // namespace

PrintableName::PrintableName(const char* name) {
    const auto* c = reinterpret_cast<const unsigned char*>(name);
    std::size_t at = 0;
    while (*c != '\0' && at + 5 < sizeof text) {
        const std::size_t length = Printable(c);
        if (length == 0) {
            at += static_cast<std::size_t>(std::snprintf(text + at, sizeof text - at, "\\x%02X", *c++));
            continue;
        }
        if (at + length >= sizeof text) break;
        std::memcpy(text + at, c, length);
        at += length;
        c += length;
    }
    text[at] = '\0';
}
