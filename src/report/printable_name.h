// Names from files and devices made printable, whichever face shows them.
#pragma once

#include <cstddef>

// A name as it may be printed, so that it cannot drive the terminal:
// control characters (below 0x20, 0x7F, and on systems whose names are
// UTF-8 the C1 controls U+0080 to U+009F) and bytes that are not UTF-8
// written as \xNN, byte by byte; other characters as they are.
struct PrintableName {
    explicit PrintableName(const char* name);
    char text[4 * 1024 + 1];
};
