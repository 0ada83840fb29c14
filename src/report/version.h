// The program's name, version and licence, as GNU programs tell them for
// --version. TESSARINE_VERSION comes from the build (the file VERSION).
#pragma once

#include <cstdio>

inline void PrintVersion(const char* program) {
    std::printf(
        "%s %s\n"
        "Copyright (C) 2026 The tessarine-update developers.\n"
        "License MIT: <https://opensource.org/licenses/MIT>.\n"
        "This is free software: you are free to change and redistribute it.\n"
        "There is NO WARRANTY, to the extent permitted by law.\n",
        program, TESSARINE_VERSION);
}
