// Folder search and console wait on Windows.
#include "platform/host.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool FindFirstImageEntry(ImageEntry* entry) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.led", &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    std::strncpy(entry->name, found.cFileName, kMaxFileName - 1);
    entry->name[kMaxFileName - 1] = '\0';
    entry->isFile = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return true;
}

void WaitForKeyPress() {
    std::fflush(stdout);
    std::system("pause");
}

void PrepareConsole() {}
