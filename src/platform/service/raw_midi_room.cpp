#include "platform/service/raw_midi_room.h"

#include <algorithm>
#include <cstdio>
#include <string>

long RawMidiRoom(std::istream& proc, bool output, int substream) {
    long room = -1;
    bool inSection = false;
    long size = -1;
    for (std::string line; std::getline(proc, line);) {
        int number = -1;
        if (std::sscanf(line.c_str(), output ? "Output %d" : "Input %d", &number) == 1) {
            inSection = !output || number == substream;
            size = -1;
            continue;
        }
        if (line.rfind("Output ", 0) == 0 || line.rfind("Input ", 0) == 0) inSection = false;
        long value = 0;
        if (!inSection) continue;
        if (std::sscanf(line.c_str(), "  Buffer size : %ld", &value) == 1) size = value;
        if (std::sscanf(line.c_str(), "  Avail : %ld", &value) != 1 || size < 0) continue;
        const long free = output ? value : size - value;
        room = room < 0 ? free : std::min(room, free);
    }
    return room;
}
